#include "foundation/cursor_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/archive.h"
#include "support/le_bytes.h"
#include "support/temp_folder.h"

namespace {

using testbytes::LeBytes;

struct ImageRecord {
    u8 width, height;
    u16 hotX, hotY;
    std::vector<u8> image;
};

// The cursor directory, its records and the images after them, in order.
std::vector<u8> BuildCursor(const std::vector<ImageRecord>& images) {
    LeBytes out;
    out.U16(0).U16(2).U16(static_cast<u16>(images.size()));
    u32 at = 6 + 16 * static_cast<u32>(images.size());
    for (const auto& i : images) {
        out.U8(i.width).U8(i.height).U8(0).U8(0).U16(i.hotX).U16(i.hotY);
        out.U32(static_cast<u32>(i.image.size())).U32(at);
        at += static_cast<u32>(i.image.size());
    }
    for (const auto& i : images) out.Append(i.image);
    return out.Bytes();
}

// A 40-byte info header; the height counts colour and mask rows.
LeBytes InfoHeader(int width, int height, int bits, u32 colorsUsed = 0) {
    LeBytes h;
    h.U32(40).U32(static_cast<u32>(width)).U32(static_cast<u32>(height * 2)).U16(1).U16(static_cast<u16>(bits));
    h.U32(0).U32(0).U32(0).U32(0).U32(colorsUsed).U32(0);
    return h;
}

// Pixels as B, G, R, A quadruples, top row first.
std::vector<u8> Px(std::initializer_list<int> values) {
    std::vector<u8> out;
    for (int v : values) out.push_back(static_cast<u8>(v));
    return out;
}

platform::CursorImage Decode(const std::vector<u8>& file, bool expectOk = true) {
    platform::CursorImage image;
    EXPECT_EQ(DecodeCursorFile(file.data(), file.size(), image), expectOk);
    return image;
}

// --- a minimal PNG writer: stored (uncompressed) deflate blocks, by hand ---
u32 Crc32(const std::vector<u8>& bytes, std::size_t from) {
    u32 crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}
void BigEndian32(std::vector<u8>& out, u32 v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<u8>(v >> s));
}
void Chunk(std::vector<u8>& png, const char* type, const std::vector<u8>& body) {
    BigEndian32(png, static_cast<u32>(body.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    BigEndian32(png, Crc32(png, typeAt));
}
// An RGBA8 PNG of the given pixels (R, G, B, A per pixel, top row first).
std::vector<u8> BuildPng(int width, int height, const std::vector<u8>& rgba) {
    std::vector<u8> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<u8> ihdr;
    BigEndian32(ihdr, static_cast<u32>(width));
    BigEndian32(ihdr, static_cast<u32>(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, no interlace
    Chunk(png, "IHDR", ihdr);
    std::vector<u8> raw;  // each row: filter 0, then its pixels
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba.begin() + y * width * 4, rgba.begin() + (y + 1) * width * 4);
    }
    std::vector<u8> z = {0x78, 0x01, 0x01};  // zlib header, one final stored block
    const u16 len = static_cast<u16>(raw.size());
    z.insert(z.end(), {static_cast<u8>(len), static_cast<u8>(len >> 8), static_cast<u8>(~len),
                       static_cast<u8>(~len >> 8)});
    z.insert(z.end(), raw.begin(), raw.end());
    u32 a = 1, b = 0;
    for (u8 byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    BigEndian32(z, (b << 16) | a);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

TEST(CursorFile, Decodes32BitImagesWithTheirOwnAlphaAndHotSpot) {
    // 2 by 2, bottom row stored first: the top row is red/half-green, the
    // bottom row blue/transparent. The mask is all zero and ignored.
    const auto image = InfoHeader(2, 2, 32)
                           .U8(255).U8(0).U8(0).U8(255)   // bottom-left blue
                           .U8(0).U8(0).U8(0).U8(0)       // bottom-right clear
                           .U8(0).U8(0).U8(255).U8(255)   // top-left red
                           .U8(0).U8(255).U8(0).U8(128)   // top-right green, half
                           .Zeros(8)                      // mask: 2 rows of 4 bytes
                           .Bytes();
    const auto cursor = Decode(BuildCursor({{2, 2, 1, 0, image}}));
    EXPECT_EQ(cursor.width, 2);
    EXPECT_EQ(cursor.height, 2);
    EXPECT_EQ(cursor.hotX, 1);
    EXPECT_EQ(cursor.hotY, 0);
    EXPECT_EQ(cursor.bgra, Px({0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 0, 0, 0, 0}));
}

TEST(CursorFile, A32BitImageWithoutAlphaTakesTheMask) {
    // Alpha all zero: the mask decides. Mask rows bottom-up, 1 = transparent;
    // the bottom row's first pixel (bit 7 of its first byte) is transparent.
    const auto image = InfoHeader(2, 2, 32)
                           .U8(1).U8(2).U8(3).U8(0).U8(4).U8(5).U8(6).U8(0)
                           .U8(7).U8(8).U8(9).U8(0).U8(10).U8(11).U8(12).U8(0)
                           .U8(0x80).Zeros(3)
                           .U8(0x00).Zeros(3)
                           .Bytes();
    const auto cursor = Decode(BuildCursor({{2, 2, 0, 0, image}}));
    EXPECT_EQ(cursor.bgra, Px({7, 8, 9, 255, 10, 11, 12, 255, 0, 0, 0, 0, 4, 5, 6, 255}));
}

TEST(CursorFile, DecodesPalettedImagesWithTheirMask) {
    // 8 bits, 3 by 1: indices 0, 1, 2 over a three-colour palette; the row
    // pads to 4 bytes; the mask makes the middle pixel transparent (bit 6).
    const auto image = InfoHeader(3, 1, 8, 3)
                           .U8(10).U8(20).U8(30).U8(0)
                           .U8(40).U8(50).U8(60).U8(0)
                           .U8(70).U8(80).U8(90).U8(0)
                           .U8(0).U8(1).U8(2).U8(0xEE)
                           .U8(0x40).Zeros(3)
                           .Bytes();
    const auto cursor = Decode(BuildCursor({{3, 1, 2, 0, image}}));
    EXPECT_EQ(cursor.width, 3);
    EXPECT_EQ(cursor.height, 1);
    EXPECT_EQ(cursor.hotX, 2);
    EXPECT_EQ(cursor.bgra, Px({10, 20, 30, 255, 0, 0, 0, 0, 70, 80, 90, 255}));
}

TEST(CursorFile, DecodesOneFourAndTwentyFourBitImages) {
    // 1 bit, 9 by 1: the pixels 1,0,0,0,0,0,0,0 | 1 (two bytes, padded to 4).
    const auto mono = InfoHeader(9, 1, 1)
                          .U8(0).U8(0).U8(0).U8(0)
                          .U8(255).U8(255).U8(255).U8(0)
                          .U8(0x80).U8(0x80).Zeros(2)
                          .Zeros(4)
                          .Bytes();
    const auto m = Decode(BuildCursor({{9, 1, 0, 0, mono}}));
    ASSERT_EQ(m.bgra.size(), 36u);
    EXPECT_EQ(m.bgra[0], 255);
    EXPECT_EQ(m.bgra[4], 0);
    EXPECT_EQ(m.bgra[32], 255);
    EXPECT_EQ(m.bgra[35], 255);

    // 4 bits, 3 by 1: the nibbles 2, 1, 0 (bytes 0x21 0x00).
    const auto nibble = InfoHeader(3, 1, 4, 3)
                            .U8(1).U8(1).U8(1).U8(0)
                            .U8(2).U8(2).U8(2).U8(0)
                            .U8(3).U8(3).U8(3).U8(0)
                            .U8(0x21).U8(0x00).Zeros(2)
                            .Zeros(4)
                            .Bytes();
    EXPECT_EQ(Decode(BuildCursor({{3, 1, 0, 0, nibble}})).bgra,
              Px({3, 3, 3, 255, 2, 2, 2, 255, 1, 1, 1, 255}));

    // 24 bits, 3 by 2: rows of 9 bytes padded to 12, bottom row first.
    const auto rgb = InfoHeader(3, 2, 24)
                         .U8(1).U8(1).U8(1).U8(2).U8(2).U8(2).U8(3).U8(3).U8(3).Zeros(3)
                         .U8(4).U8(4).U8(4).U8(5).U8(5).U8(5).U8(6).U8(6).U8(6).Zeros(3)
                         .Zeros(8)
                         .Bytes();
    EXPECT_EQ(Decode(BuildCursor({{3, 2, 0, 0, rgb}})).bgra,
              Px({4, 4, 4, 255, 5, 5, 5, 255, 6, 6, 6, 255, 1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255}));
}

TEST(CursorFile, DecodesPngImages) {
    // R, G, B, A: opaque red, then a half-transparent blue.
    const auto png = BuildPng(2, 1, Px({255, 0, 0, 255, 0, 0, 255, 128}));
    const auto cursor = Decode(BuildCursor({{2, 1, 1, 0, png}}));
    EXPECT_EQ(cursor.width, 2);
    EXPECT_EQ(cursor.height, 1);
    EXPECT_EQ(cursor.hotX, 1);
    EXPECT_EQ(cursor.bgra, Px({0, 0, 255, 255, 255, 0, 0, 128}));
    // A PNG with a broken checksum is refused.
    auto bad = png;
    bad[bad.size() - 20] ^= 0xFF;
    Decode(BuildCursor({{2, 1, 0, 0, bad}}), false);
}

TEST(CursorFile, PrefersTheImageNearestThirtyTwoAndFallsBack) {
    const auto small = InfoHeader(1, 1, 32).U8(1).U8(1).U8(1).U8(255).Zeros(4).Bytes();
    auto large = InfoHeader(32, 32, 32).Zeros(32 * 32 * 4).Zeros(32 * 4).Bytes();
    large[40] = 9;  // top-left of the bottom row
    large[43] = 255;
    EXPECT_EQ(Decode(BuildCursor({{1, 1, 0, 0, small}, {32, 32, 5, 6, large}})).width, 32);
    // A broken 32 by 32 image gives way to the one that decodes.
    auto broken = large;
    broken[14] = 16;  // 16 bits per pixel is not supported
    const auto cursor = Decode(BuildCursor({{1, 1, 0, 0, small}, {32, 32, 5, 6, broken}}));
    EXPECT_EQ(cursor.width, 1);
    // Hot spots outside the image are pulled inside it.
    const auto clamped = Decode(BuildCursor({{1, 1, 40, 9, small}}));
    EXPECT_EQ(clamped.hotX, 0);
    EXPECT_EQ(clamped.hotY, 0);
}

TEST(CursorFile, RefusesMalformedFiles) {
    const auto good = InfoHeader(2, 2, 32).Zeros(16).Zeros(8).Bytes();
    const auto file = BuildCursor({{2, 2, 0, 0, good}});
    ASSERT_EQ(file.size(), 6u + 16 + 40 + 16 + 8);
    Decode(file, true);

    Decode(LeBytes().U16(0).U16(2).Bytes(), false);                  // short directory
    Decode(LeBytes().U16(0).U16(2).U16(0).Bytes(), false);           // no images
    Decode(LeBytes().U16(0).U16(1).U16(1).Zeros(16).Bytes(), false); // an icon, not a cursor
    Decode(LeBytes().U16(0).U16(2).U16(3).Zeros(16).Bytes(), false); // records past the end
    Decode(std::vector<u8>(file.begin(), file.end() - 9), false);    // image cut short
    auto offset = file;
    offset[18] = 0xF0;  // image offset far past the end
    offset[21] = 0xFF;
    Decode(offset, false);
    auto bytes = file;
    bytes[14] = 0xFF;  // a byte size of 0xFF00FFFF, far past the end
    bytes[15] = 0xFF;
    bytes[17] = 0xFF;
    Decode(bytes, false);

    auto patch = [&](std::size_t at, u32 value) {
        auto f = file;
        LeBytes fixed;
        fixed.Append(f).PatchU32(22 + at, value);
        return fixed.Bytes();
    };
    Decode(patch(4, 0), false);          // width 0
    Decode(patch(4, 100000), false);     // width beyond any cursor
    Decode(patch(8, 3), false);          // odd doubled height
    Decode(patch(8, 0xFFFFFFFE), false); // negative height
    Decode(patch(16, 1), false);         // compressed
    Decode(patch(0, 12), false);         // header too small
    Decode(patch(0, 5000), false);       // header larger than the image
    // A palette that claims more colours than its depth allows.
    const auto paletted = InfoHeader(1, 1, 1, 3).Zeros(12).Zeros(4).Zeros(4).Bytes();
    Decode(BuildCursor({{1, 1, 0, 0, paletted}}), false);
    // Fewer than 32 bits need the mask.
    const auto noMask = InfoHeader(1, 1, 24).Zeros(4).Bytes();
    Decode(BuildCursor({{1, 1, 0, 0, noMask}}), false);
}

TEST(CursorFile, IsLoadedThroughTheArchives) {
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    ResetArchivesForTesting();
    EXPECT_EQ(LoadCursorFromArchive("system\\ceol.cur"), nullptr);

    const auto cursor = BuildCursor({{1, 1, 0, 0, InfoHeader(1, 1, 32).U8(9).U8(8).U8(7).U8(255).Zeros(4).Bytes()}});
    LeBytes archive;
    const std::string name = "system\\ceol.cur";
    archive.Zeros(16).U32(24).U32(20);
    archive.U32(44).U32(static_cast<u32>(name.size() + 1)).U32(static_cast<u32>(44 + name.size() + 1));
    archive.U32(static_cast<u32>(cursor.size())).U32(0);
    archive.Text(name).Z().Append(cursor);
    folder.Put("data01.qvc", archive.Bytes());
    ResetArchivesForTesting();
    const auto loaded = LoadCursorFromArchive("System\\CEOL.cur");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->bgra, Px({9, 8, 7, 255}));

    folder.Put("system/broken.cur", std::vector<u8>{0, 0, 2, 0});
    EXPECT_EQ(LoadCursorFromArchive("system\\broken.cur"), nullptr);
    ResetArchivesForTesting();
}
