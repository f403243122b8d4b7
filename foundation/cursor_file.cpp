#include "foundation/cursor_file.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "foundation/archive.h"
#include "platform/png_decoder.h"

namespace {

constexpr u64 kDirectorySize = 6;
constexpr u64 kRecordSize = 16;
constexpr u64 kInfoHeaderSize = 40;

u16 U16(const u8* p) {
    return static_cast<u16>(p[0] | (p[1] << 8));
}
u32 U32(const u8* p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}
bool Inside(u64 offset, u64 length, u64 total) {
    return offset <= total && length <= total - offset;
}

struct Record {
    int width, height;
    int hotX, hotY;
    u32 bytes, offset;
};

bool MaskBit(const u8* mask, u64 stride, int row, int x) {
    return (mask[row * stride + static_cast<u64>(x / 8)] >> (7 - x % 8)) & 1;
}

// A bitmap image: colour rows then mask rows, both bottom-up.
bool DecodeBitmap(const u8* p, u64 size, platform::CursorImage& out) {
    if (size < kInfoHeaderSize) return false;
    const u32 headerSize = U32(p);
    const auto width = static_cast<int32>(U32(p + 4));
    const auto doubleHeight = static_cast<int32>(U32(p + 8));
    const u16 planes = U16(p + 12);
    const u16 bits = U16(p + 14);
    const u32 compression = U32(p + 16);
    const u32 colorsUsed = U32(p + 32);
    if (headerSize < kInfoHeaderSize || headerSize > size) return false;
    if (width <= 0 || width > kMaxCursorSide || doubleHeight <= 0 || doubleHeight % 2 != 0 ||
        doubleHeight / 2 > kMaxCursorSide) {
        return false;
    }
    if (planes != 1 || compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    const int height = doubleHeight / 2;

    u64 colors = 0;
    if (bits <= 8) {
        colors = colorsUsed != 0 ? colorsUsed : (u64{1} << bits);
        if (colors > (u64{1} << bits)) return false;
    }
    const u64 paletteAt = headerSize;
    const u64 colorAt = paletteAt + colors * 4;
    const u64 colorStride = (static_cast<u64>(width) * bits + 31) / 32 * 4;
    const u64 maskStride = (static_cast<u64>(width) + 31) / 32 * 4;
    const u64 maskAt = colorAt + colorStride * static_cast<u64>(height);
    if (!Inside(colorAt, colorStride * static_cast<u64>(height), size)) return false;
    // 32-bit images carry their own alpha; some writers leave the mask out.
    const bool hasMask = Inside(maskAt, maskStride * static_cast<u64>(height), size);
    if (!hasMask && bits != 32) return false;

    const u8* palette = p + paletteAt;
    const u8* colorRows = p + colorAt;
    const u8* mask = hasMask ? p + maskAt : nullptr;
    std::vector<u8> bgra(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const int row = height - 1 - y;  // stored bottom-up
        const u8* src = colorRows + static_cast<u64>(row) * colorStride;
        for (int x = 0; x < width; ++x) {
            u8* dst = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            if (bits == 32) {
                std::copy_n(src + x * 4, 4, dst);
                anyAlpha = anyAlpha || dst[3] != 0;
                continue;
            }
            if (bits == 24) {
                std::copy_n(src + x * 3, 3, dst);
            } else {
                u32 index;
                if (bits == 8) {
                    index = src[x];
                } else if (bits == 4) {
                    index = (x % 2 == 0) ? (src[x / 2] >> 4) : (src[x / 2] & 0x0F);
                } else {
                    index = (src[x / 8] >> (7 - x % 8)) & 1;
                }
                // An index past a short palette is drawn black.
                if (index < colors) std::copy_n(palette + index * 4, 3, dst);
            }
            dst[3] = 255;
        }
    }
    // Without alpha in the colour data (every pixel's alpha 0, or fewer than
    // 32 bits) the mask decides what is transparent.
    if (mask != nullptr && (bits != 32 || !anyAlpha)) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                u8* dst = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
                if (MaskBit(mask, maskStride, height - 1 - y, x)) {
                    dst[0] = dst[1] = dst[2] = dst[3] = 0;
                } else {
                    dst[3] = 255;
                }
            }
        }
    }
    out.width = width;
    out.height = height;
    out.bgra = std::move(bgra);
    return true;
}

bool DecodeImage(const u8* data, u64 size, const Record& record, platform::CursorImage& out) {
    if (!Inside(record.offset, record.bytes, size)) return false;
    const u8* image = data + record.offset;
    static const u8 kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    platform::CursorImage decoded;
    if (record.bytes >= 8 && std::equal(kPngSignature, kPngSignature + 8, image)) {
        if (!platform::DecodePngToBgra(image, record.bytes, kMaxCursorSide, decoded.width, decoded.height,
                                       decoded.bgra)) {
            return false;
        }
    } else if (!DecodeBitmap(image, record.bytes, decoded)) {
        return false;
    }
    // A hot spot outside the image would put the click point off the cursor.
    decoded.hotX = std::clamp(record.hotX, 0, decoded.width - 1);
    decoded.hotY = std::clamp(record.hotY, 0, decoded.height - 1);
    out = std::move(decoded);
    return true;
}

}  // namespace

bool DecodeCursorFile(const u8* data, std::size_t size, platform::CursorImage& out) {
    if (data == nullptr || size < kDirectorySize) return false;
    if (U16(data) != 0 || U16(data + 2) != 2) return false;
    const u64 count = U16(data + 4);
    if (count == 0 || !Inside(kDirectorySize, count * kRecordSize, size)) return false;

    std::vector<Record> records;
    records.reserve(static_cast<std::size_t>(count));
    for (u64 i = 0; i < count; ++i) {
        const u8* r = data + kDirectorySize + i * kRecordSize;
        records.push_back({r[0] == 0 ? 256 : r[0], r[1] == 0 ? 256 : r[1], U16(r + 4), U16(r + 6), U32(r + 8),
                           U32(r + 12)});
    }
    // The size the original platform shows a cursor at is 32 by 32.
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return std::abs(a.width - 32) + std::abs(a.height - 32) <
               std::abs(b.width - 32) + std::abs(b.height - 32);
    });
    for (const Record& record : records) {
        if (DecodeImage(data, size, record, out)) return true;
    }
    return false;
}

std::shared_ptr<const platform::CursorImage> LoadCursorFromArchive(const std::string& name) {
    std::vector<u8> bytes;
    if (!ReadWholeFile(name, bytes, false)) return nullptr;
    auto image = std::make_shared<platform::CursorImage>();
    if (!DecodeCursorFile(bytes.data(), bytes.size(), *image)) return nullptr;
    return image;
}
