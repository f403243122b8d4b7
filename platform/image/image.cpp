#include "platform/image/image.h"

#include <cstring>

#include "platform/png_decoder.h"

namespace platform {

bool IsAcceptableImageSize(u64 width, u64 height) {
    return width > 0 && height > 0 && width <= static_cast<u64>(kMaxImageSide) &&
           height <= static_cast<u64>(kMaxImageSide) && width * height <= kMaxImagePixels;
}

ImageFormat DetectImageFormat(const u8* data, size_t size) {
    if (data == nullptr) return ImageFormat::Unknown;
    static const u8 kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return ImageFormat::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::Jpeg;
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return ImageFormat::Dds;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::Bmp;
    DecodedImage probe;
    if (DecodeTgaImage(data, size, true, probe)) return ImageFormat::Tga;
    return ImageFormat::Unknown;
}

namespace {

bool Dispatch(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    out = DecodedImage{};
    bool ok = false;
    switch (DetectImageFormat(data, size)) {
        case ImageFormat::Png:
            ok = DecodePngImage(data, size, headerOnly, out);
            break;
        case ImageFormat::Jpeg:
            ok = DecodeJpegImage(data, size, headerOnly, out);
            break;
        case ImageFormat::Bmp:
            ok = DecodeBmpImage(data, size, headerOnly, out);
            break;
        case ImageFormat::Tga:
            ok = DecodeTgaImage(data, size, headerOnly, out);
            break;
        case ImageFormat::Dds:
            ok = DecodeDdsImage(data, size, headerOnly, out);
            break;
        case ImageFormat::Unknown:
            break;
    }
    if (!ok) out = DecodedImage{};
    return ok;
}

}  // namespace

bool ReadImageInfo(const u8* data, size_t size, DecodedImage& info) {
    return Dispatch(data, size, true, info);
}

bool DecodeImage(const u8* data, size_t size, DecodedImage& out) {
    return Dispatch(data, size, false, out);
}

bool DecodePngImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    int width = 0, height = 0;
    bool alpha = true;
    if (!ReadPngSize(data, size, width, height, &alpha)) return false;
    if (!IsAcceptableImageSize(static_cast<u64>(width), static_cast<u64>(height))) return false;
    // Deflate packs at most 1032 bytes into one, and a row holds at least one
    // bit a texel: a picture larger than that bound cannot be in these bytes,
    // so its pixel memory is never taken.
    if (static_cast<u64>(width) * static_cast<u64>(height) / 8 > static_cast<u64>(size) * 1032 + 1024) return false;
    out.format = ImageFormat::Png;
    out.width = width;
    out.height = height;
    if (headerOnly) return true;
    out.opaque = !alpha;
    return DecodePngToBgra(data, size, kMaxImageSide, out.width, out.height, out.bgra) && out.width == width &&
           out.height == height;
}

}  // namespace platform
