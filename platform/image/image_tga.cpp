// Targa pictures: colour-mapped, true-colour and grey, plain or run-length
// encoded, 8, 15, 16, 24 or 32 bits a pixel. The file has no signature, so
// the header is checked closely before anything is believed.
#include "platform/image/image.h"
#include "platform/image/image_bits.h"

namespace platform {
namespace {

using image_bits::Le16;

constexpr size_t kHeaderSize = 18;

// One stored pixel (or colour-map entry) of `bits` bits as BGRA.
void ToBgra(const u8* p, u32 bits, bool grey, bool useAlpha, u8* target) {
    if (grey) {
        target[0] = target[1] = target[2] = p[0];
        target[3] = bits == 16 ? p[1] : 255;
        return;
    }
    switch (bits) {
        case 15:
        case 16: {
            const u32 v = Le16(p);
            const u32 r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            target[0] = static_cast<u8>((b << 3) | (b >> 2));
            target[1] = static_cast<u8>((g << 3) | (g >> 2));
            target[2] = static_cast<u8>((r << 3) | (r >> 2));
            target[3] = bits == 16 && useAlpha ? ((v & 0x8000) != 0 ? 255 : 0) : 255;
            break;
        }
        case 24:
            target[0] = p[0];
            target[1] = p[1];
            target[2] = p[2];
            target[3] = 255;
            break;
        default:  // 32
            target[0] = p[0];
            target[1] = p[1];
            target[2] = p[2];
            target[3] = useAlpha ? p[3] : 255;
            break;
    }
}

}  // namespace

bool DecodeTgaImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    if (data == nullptr || size < kHeaderSize) return false;
    const u32 idLength = data[0];
    const u32 mapType = data[1];
    const u32 imageType = data[2];
    const u32 mapFirst = Le16(data + 3);
    const u32 mapLength = Le16(data + 5);
    const u32 mapBits = data[7];
    const u32 width = Le16(data + 12);
    const u32 height = Le16(data + 14);
    const u32 bits = data[16];
    const u32 descriptor = data[17];
    const u32 alphaBits = descriptor & 15;
    const bool rle = imageType >= 9;
    const u32 baseType = rle ? imageType - 8 : imageType;
    if (mapType > 1 || (baseType != 1 && baseType != 2 && baseType != 3) || imageType > 11) return false;
    if ((descriptor & 0xC0) != 0) return false;  // interleaved rows: never written by anything we read
    const bool mapped = baseType == 1;
    const bool grey = baseType == 3;
    if (mapped && (mapType != 1 || bits != 8 || mapLength == 0)) return false;
    if (mapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return false;
    if (grey && bits != 8 && bits != 16) return false;
    if (baseType == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    if (!IsAcceptableImageSize(width, height)) return false;

    u64 offset = kHeaderSize + idLength;
    const u64 mapEntry = mapType == 1 ? (mapBits + 7) / 8 : 0;
    const u64 mapOffset = offset;
    offset += mapEntry * mapLength;
    if (offset > size) return false;
    const u64 pixelSize = (bits + 7) / 8;
    const u64 pixelCount = static_cast<u64>(width) * height;
    // Even run-length data needs one byte for every 128 pixels.
    if (!rle && pixelCount * pixelSize > size - offset) return false;
    if (rle && pixelCount / 128 > size - offset) return false;
    out.format = ImageFormat::Tga;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    if (headerOnly) return true;

    // Fewer than eight attribute bits in a 32-bit file are still its alpha;
    // only "no attribute bits at all" makes it opaque in 16-bit files.
    const bool useAlpha = bits == 32 || alphaBits != 0;
    const bool mapAlpha = mapBits == 32 || (mapBits == 16 && alphaBits != 0);
    std::vector<u8> pixels(static_cast<size_t>(pixelCount) * 4, 0);
    auto decodeOne = [&](const u8* p, u8* target) {
        if (mapped) {
            const u32 index = p[0];
            if (index < mapFirst || index - mapFirst >= mapLength) {
                target[0] = target[1] = target[2] = 0;
                target[3] = 255;
                return;
            }
            ToBgra(data + mapOffset + (index - mapFirst) * mapEntry, mapBits, false, mapAlpha, target);
        } else {
            ToBgra(p, bits, grey, useAlpha, target);
        }
    };
    u64 position = offset;
    u64 done = 0;
    while (done < pixelCount) {
        if (!rle) {
            decodeOne(data + position, pixels.data() + done * 4);
            position += pixelSize;
            ++done;
            continue;
        }
        if (position >= size) return false;
        const u32 packet = data[position++];
        const u64 count = (packet & 127) + 1;
        if (count > pixelCount - done) return false;
        if ((packet & 128) != 0) {
            if (pixelSize > size - position) return false;
            u8 colour[4];
            decodeOne(data + position, colour);
            position += pixelSize;
            for (u64 i = 0; i < count; ++i, ++done) {
                for (int c = 0; c < 4; ++c) pixels[done * 4 + c] = colour[c];
            }
        } else {
            if (count * pixelSize > size - position) return false;
            for (u64 i = 0; i < count; ++i, ++done) {
                decodeOne(data + position, pixels.data() + done * 4);
                position += pixelSize;
            }
        }
    }

    // Stored bottom row first unless the descriptor says top; right to left when bit 4 is set.
    const bool topFirst = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    out.bgra.assign(pixels.size(), 0);
    for (u64 y = 0; y < height; ++y) {
        const u64 sourceRow = topFirst ? y : height - 1 - y;
        for (u64 x = 0; x < width; ++x) {
            const u64 sourceX = rightToLeft ? width - 1 - x : x;
            const u8* from = pixels.data() + (sourceRow * width + sourceX) * 4;
            u8* to = out.bgra.data() + (y * width + x) * 4;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = from[3];
        }
    }
    return true;
}

}  // namespace platform
