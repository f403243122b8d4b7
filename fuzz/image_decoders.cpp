// Feeds arbitrary bytes to every image decoder: PNG, JPEG, BMP, TGA and DDS.
// The first byte picks the decoder so that each is reached directly, whatever
// the signature says; the rest goes through the signature dispatch as well.
// A decoded picture must be exactly as large as it says, and the header-only
// read must agree with it.
#include <cstddef>
#include <cstdint>

#include "platform/image/image.h"

namespace {

void Check(bool ok, const platform::DecodedImage& image, const uint8_t* data, size_t size) {
    if (!ok) {
        if (!image.bgra.empty()) __builtin_trap();
        return;
    }
    if (!platform::IsAcceptableImageSize(static_cast<u64>(image.width), static_cast<u64>(image.height)) ||
        image.bgra.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
        __builtin_trap();
    }
    (void)data;
    (void)size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t* body = data + 1;
    const size_t bodySize = size - 1;
    platform::DecodedImage image;
    bool ok = false;
    switch (data[0] % 5) {
        case 0:
            ok = platform::DecodePngImage(body, bodySize, false, image);
            break;
        case 1:
            ok = platform::DecodeJpegImage(body, bodySize, false, image);
            break;
        case 2:
            ok = platform::DecodeBmpImage(body, bodySize, false, image);
            break;
        case 3:
            ok = platform::DecodeTgaImage(body, bodySize, false, image);
            break;
        default:
            ok = platform::DecodeDdsImage(body, bodySize, false, image);
            break;
    }
    if (ok) Check(ok, image, body, bodySize);

    platform::DecodedImage info, whole;
    const bool infoOk = platform::ReadImageInfo(body, bodySize, info);
    const bool wholeOk = platform::DecodeImage(body, bodySize, whole);
    Check(wholeOk, whole, body, bodySize);
    // Whatever decodes whole had a readable header of the same size.
    if (wholeOk && (!infoOk || info.width != whole.width || info.height != whole.height)) __builtin_trap();
    return 0;
}
