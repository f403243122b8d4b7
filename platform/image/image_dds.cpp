// DirectDraw surfaces: the top level of the first surface only, either block
// compressed (DXT1, DXT3, DXT5) or uncompressed with bit masks (A8R8G8B8,
// X8R8G8B8, R8G8B8, R5G6B5, A1R5G5B5, A4R4G4B4 and the like).
#include <cstring>

#include "platform/image/image.h"
#include "platform/image/image_bits.h"

namespace platform {
namespace {

using image_bits::Le16;
using image_bits::Le32;
using image_bits::MaskChannel;

constexpr size_t kHeaderEnd = 128;  // "DDS " + a 124-byte header
constexpr u32 kPfAlphaPixels = 0x1;
constexpr u32 kPfFourCC = 0x4;
constexpr u32 kPfRgb = 0x40;
constexpr u32 kPfLuminance = 0x20000;

constexpr u32 FourCC(char a, char b, char c, char d) {
    return static_cast<u32>(static_cast<u8>(a)) | (static_cast<u32>(static_cast<u8>(b)) << 8) |
           (static_cast<u32>(static_cast<u8>(c)) << 16) | (static_cast<u32>(static_cast<u8>(d)) << 24);
}

// The four colours of a block's colour half, BGRA; `threeColour` is DXT1's
// mode with a transparent black fourth entry.
void BlockColours(const u8* block, bool allowThreeColour, u8 colours[4][4]) {
    const u32 c0 = Le16(block), c1 = Le16(block + 2);
    auto expand = [](u32 c, u8* out) {
        const u32 r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        out[0] = static_cast<u8>((b << 3) | (b >> 2));
        out[1] = static_cast<u8>((g << 2) | (g >> 4));
        out[2] = static_cast<u8>((r << 3) | (r >> 2));
        out[3] = 255;
    };
    expand(c0, colours[0]);
    expand(c1, colours[1]);
    if (!allowThreeColour || c0 > c1) {
        for (int ch = 0; ch < 3; ++ch) {
            colours[2][ch] = static_cast<u8>((2 * colours[0][ch] + colours[1][ch]) / 3);
            colours[3][ch] = static_cast<u8>((colours[0][ch] + 2 * colours[1][ch]) / 3);
        }
        colours[2][3] = colours[3][3] = 255;
    } else {
        for (int ch = 0; ch < 3; ++ch) {
            colours[2][ch] = static_cast<u8>((colours[0][ch] + colours[1][ch]) / 2);
            colours[3][ch] = 0;
        }
        colours[2][3] = 255;
        colours[3][3] = 0;
    }
}

void DecodeBlocks(const u8* blocks, u32 fourCC, u32 width, u32 height, std::vector<u8>& bgra) {
    const u32 blockBytes = fourCC == FourCC('D', 'X', 'T', '1') ? 8 : 16;
    const u32 across = (width + 3) / 4, down = (height + 3) / 4;
    for (u32 by = 0; by < down; ++by) {
        for (u32 bx = 0; bx < across; ++bx) {
            const u8* block = blocks + (static_cast<u64>(by) * across + bx) * blockBytes;
            const u8* colourHalf = blockBytes == 8 ? block : block + 8;
            u8 colours[4][4];
            BlockColours(colourHalf, blockBytes == 8, colours);
            u8 alphas[8] = {};
            if (fourCC == FourCC('D', 'X', 'T', '5')) {
                const u32 a0 = block[0], a1 = block[1];
                alphas[0] = static_cast<u8>(a0);
                alphas[1] = static_cast<u8>(a1);
                if (a0 > a1) {
                    for (u32 i = 1; i < 7; ++i) alphas[i + 1] = static_cast<u8>(((7 - i) * a0 + i * a1) / 7);
                } else {
                    for (u32 i = 1; i < 5; ++i) alphas[i + 1] = static_cast<u8>(((5 - i) * a0 + i * a1) / 5);
                    alphas[6] = 0;
                    alphas[7] = 255;
                }
            }
            u64 alphaBits = 0;
            for (int i = 0; i < 6; ++i) alphaBits |= static_cast<u64>(block[2 + i]) << (8 * i);
            const u32 indices = Le32(colourHalf + 4);
            for (u32 py = 0; py < 4; ++py) {
                const u32 y = by * 4 + py;
                if (y >= height) break;
                for (u32 px = 0; px < 4; ++px) {
                    const u32 x = bx * 4 + px;
                    if (x >= width) break;
                    const u32 texel = py * 4 + px;
                    u8* target = bgra.data() + (static_cast<size_t>(y) * width + x) * 4;
                    std::memcpy(target, colours[(indices >> (2 * texel)) & 3], 4);
                    if (fourCC == FourCC('D', 'X', 'T', '3')) {
                        const u32 nibble = (block[texel / 2] >> (4 * (texel % 2))) & 15;
                        target[3] = static_cast<u8>(nibble * 17);
                    } else if (fourCC == FourCC('D', 'X', 'T', '5')) {
                        target[3] = alphas[(alphaBits >> (3 * texel)) & 7];
                    }
                }
            }
        }
    }
}

}  // namespace

bool DecodeDdsImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    if (data == nullptr || size < kHeaderEnd || std::memcmp(data, "DDS ", 4) != 0) return false;
    const u8* header = data + 4;
    if (Le32(header) != 124 || Le32(header + 72) != 32) return false;
    const u32 height = Le32(header + 8);
    const u32 width = Le32(header + 12);
    const u32 pfFlags = Le32(header + 76);
    const u32 fourCC = Le32(header + 80);
    const u32 bitCount = Le32(header + 84);
    if (!IsAcceptableImageSize(width, height)) return false;
    const u64 available = size - kHeaderEnd;
    const bool compressed = (pfFlags & kPfFourCC) != 0;
    if (compressed) {
        if (fourCC != FourCC('D', 'X', 'T', '1') && fourCC != FourCC('D', 'X', 'T', '3') &&
            fourCC != FourCC('D', 'X', 'T', '5')) {
            return false;
        }
        const u64 blockBytes = fourCC == FourCC('D', 'X', 'T', '1') ? 8 : 16;
        const u64 need = ((static_cast<u64>(width) + 3) / 4) * ((static_cast<u64>(height) + 3) / 4) * blockBytes;
        if (need > available) return false;
    } else {
        if ((pfFlags & (kPfRgb | kPfLuminance)) == 0) return false;
        if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
        if (static_cast<u64>(width) * height * (bitCount / 8) > available) return false;
    }
    out.format = ImageFormat::Dds;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    if (headerOnly) return true;

    out.bgra.assign(static_cast<size_t>(width) * height * 4, 0);
    const u8* pixels = data + kHeaderEnd;
    if (compressed) {
        DecodeBlocks(pixels, fourCC, width, height, out.bgra);
        return true;
    }
    // Rows are tightly packed: the pitch field is too often wrong to trust.
    const MaskChannel red(Le32(header + 88)), green(Le32(header + 92)), blue(Le32(header + 96));
    const MaskChannel alpha((pfFlags & kPfAlphaPixels) != 0 ? Le32(header + 100) : 0);
    const bool luminance = (pfFlags & kPfRgb) == 0;
    const u32 bytes = bitCount / 8;
    for (u64 i = 0, count = static_cast<u64>(width) * height; i < count; ++i) {
        const u8* p = pixels + i * bytes;
        u32 value = 0;
        for (u32 b = 0; b < bytes; ++b) value |= static_cast<u32>(p[b]) << (8 * b);
        u8* target = out.bgra.data() + i * 4;
        if (luminance) {
            target[0] = target[1] = target[2] = red.Extract(value);
        } else {
            target[0] = blue.Extract(value);
            target[1] = green.Extract(value);
            target[2] = red.Extract(value);
        }
        target[3] = alpha.Present() ? alpha.Extract(value) : 255;
    }
    return true;
}

}  // namespace platform
