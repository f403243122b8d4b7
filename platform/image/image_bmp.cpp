// Windows bitmaps: the 12-byte core header and the 40-byte header with its
// longer versions; 1, 4, 8, 16, 24 and 32 bits a pixel, plain or with bit
// fields, bottom-up or top-down. The save thumbnails are 24-bit bottom-up
// files of this kind. Compressed (run-length) bitmaps are refused.
#include "platform/image/image.h"
#include "platform/image/image_bits.h"

namespace platform {
namespace {

using image_bits::Le16;
using image_bits::Le32;
using image_bits::MaskChannel;

constexpr u32 kBiRgb = 0;
constexpr u32 kBiBitfields = 3;
constexpr u32 kBiAlphaBitfields = 6;

}  // namespace

bool DecodeBmpImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    if (data == nullptr || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
    const u64 pixelOffset = Le32(data + 10);
    const u64 headerSize = Le32(data + 14);
    if (headerSize < 12 || 14 + headerSize > size) return false;
    const u8* header = data + 14;
    const bool core = headerSize < 40;
    if (core && headerSize != 12) return false;
    int64 width = 0, height = 0;
    u32 bits = 0, compression = kBiRgb, coloursUsed = 0;
    if (core) {
        width = Le16(header + 4);
        height = Le16(header + 6);
        bits = Le16(header + 10);
    } else {
        width = static_cast<int32>(Le32(header + 4));
        height = static_cast<int32>(Le32(header + 8));
        bits = Le16(header + 14);
        compression = Le32(header + 16);
        coloursUsed = Le32(header + 32);
    }
    // A negative height means the rows are stored top row first.
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || !IsAcceptableImageSize(static_cast<u64>(width), static_cast<u64>(height))) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (compression != kBiRgb && compression != kBiBitfields && compression != kBiAlphaBitfields) return false;
    if (compression != kBiRgb && bits != 16 && bits != 32) return false;

    // Masks: after a 40-byte header they follow it; longer headers hold them inside.
    MaskChannel red, green, blue, alpha;
    u64 afterHeader = 14 + headerSize;
    if (compression == kBiRgb) {
        if (bits == 16) {
            red = MaskChannel(0x7C00);
            green = MaskChannel(0x03E0);
            blue = MaskChannel(0x001F);
        } else {
            red = MaskChannel(0x00FF0000);
            green = MaskChannel(0x0000FF00);
            blue = MaskChannel(0x000000FF);
        }
        // The fourth byte of a plain 32-bit bitmap is padding, not alpha.
    } else {
        const u8* masks = header + 40;
        u64 maskBytes = compression == kBiAlphaBitfields ? 16 : 12;
        if (headerSize == 40) {
            if (afterHeader + maskBytes > size) return false;
            masks = data + afterHeader;
            afterHeader += maskBytes;
        } else if (headerSize < 40 + maskBytes) {
            return false;
        }
        red = MaskChannel(Le32(masks));
        green = MaskChannel(Le32(masks + 4));
        blue = MaskChannel(Le32(masks + 8));
        if (maskBytes == 16 || headerSize >= 56) alpha = MaskChannel(Le32(masks + 12));
    }

    // The palette sits between the headers (and masks) and the pixels.
    u8 palette[256][4] = {};
    u32 paletteCount = 0;
    if (bits <= 8) {
        const u32 maxColours = 1u << bits;
        paletteCount = coloursUsed == 0 || coloursUsed > maxColours ? maxColours : coloursUsed;
        const u64 entry = core ? 3 : 4;
        u64 available = afterHeader < size ? (size - afterHeader) / entry : 0;
        // Some writers count more colours than they store; take what is there.
        if (available < paletteCount) paletteCount = static_cast<u32>(available);
        if (paletteCount == 0) return false;
        for (u32 i = 0; i < paletteCount; ++i) {
            const u8* colour = data + afterHeader + i * entry;
            palette[i][0] = colour[0];
            palette[i][1] = colour[1];
            palette[i][2] = colour[2];
            palette[i][3] = 255;
        }
    }

    // Rows are padded to whole 32-bit words.
    const u64 stride = ((static_cast<u64>(width) * bits + 31) / 32) * 4;
    const u64 pixelBytes = stride * static_cast<u64>(height);
    if (pixelOffset > size || pixelBytes > size - pixelOffset) return false;
    out.format = ImageFormat::Bmp;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    if (headerOnly) return true;

    out.bgra.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    for (int64 y = 0; y < height; ++y) {
        const u8* row = data + pixelOffset + stride * static_cast<u64>(topDown ? y : height - 1 - y);
        u8* target = out.bgra.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        for (int64 x = 0; x < width; ++x, target += 4) {
            if (bits <= 8) {
                const u64 bitPos = static_cast<u64>(x) * bits;
                const u32 index = (row[bitPos / 8] >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
                if (index < paletteCount) {
                    target[0] = palette[index][0];
                    target[1] = palette[index][1];
                    target[2] = palette[index][2];
                }
                // An index past the palette shows black.
                target[3] = 255;
            } else if (bits == 24) {
                target[0] = row[x * 3];
                target[1] = row[x * 3 + 1];
                target[2] = row[x * 3 + 2];
                target[3] = 255;
            } else {
                const u32 value = bits == 16 ? Le16(row + x * 2) : Le32(row + x * 4);
                target[0] = blue.Extract(value);
                target[1] = green.Extract(value);
                target[2] = red.Extract(value);
                target[3] = alpha.Present() ? alpha.Extract(value) : 255;
            }
        }
    }
    return true;
}

}  // namespace platform
