#include "foundation/cursor_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/archive.h"
#include "support/le_bytes.h"
#include "support/png_writer.h"
#include "support/temp_folder.h"

namespace {

using testbytes::LeBytes;
using testpng::EncodePng;

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

}  // namespace

// Rows are stored bottom row first; the mask (1 = transparent) decides alpha
// below 32 bits and when a 32-bit image has no alpha at all.
TEST(CursorFile, DecodesEveryDepthToTopDownBgra) {
    std::vector<u8> mono = Px({255, 255, 255, 255});
    for (int i = 0; i < 7; ++i) mono.insert(mono.end(), {0, 0, 0, 255});
    mono.insert(mono.end(), {255, 255, 255, 255});
    const auto png = EncodePng(Px({255, 0, 0, 255, 0, 0, 255, 128}), 2, 1, testpng::Layout::Rgba);  // R, G, B, A
    struct Case {
        const char* name;
        ImageRecord record;
        int width, height;
        std::vector<u8> bgra;
    };
    const Case cases[] = {
        {"32 bits with alpha, mask ignored",
         {2, 2, 1, 0,
          InfoHeader(2, 2, 32)
              .U8(255).U8(0).U8(0).U8(255).U8(0).U8(0).U8(0).U8(0)        // bottom: blue, clear
              .U8(0).U8(0).U8(255).U8(255).U8(0).U8(255).U8(0).U8(128)    // top: red, half green
              .U8(0xFF).Zeros(3).U8(0xFF).Zeros(3).Bytes()},
         2, 2, Px({0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 0, 0, 0, 0})},
        {"32 bits without alpha take the mask",
         {2, 2, 1, 0,
          InfoHeader(2, 2, 32)
              .U8(1).U8(2).U8(3).U8(0).U8(4).U8(5).U8(6).U8(0)
              .U8(7).U8(8).U8(9).U8(0).U8(10).U8(11).U8(12).U8(0)
              .U8(0x80).Zeros(3).U8(0x00).Zeros(3).Bytes()},
         2, 2, Px({7, 8, 9, 255, 10, 11, 12, 255, 0, 0, 0, 0, 4, 5, 6, 255})},
        // Indices 0, 1, 2 of a three-colour palette, the row padded to 4 bytes.
        {"8 bits",
         {3, 1, 1, 0,
          InfoHeader(3, 1, 8, 3)
              .U8(10).U8(20).U8(30).U8(0).U8(40).U8(50).U8(60).U8(0).U8(70).U8(80).U8(90).U8(0)
              .U8(0).U8(1).U8(2).U8(0xEE).U8(0x40).Zeros(3).Bytes()},
         3, 1, Px({10, 20, 30, 255, 0, 0, 0, 0, 70, 80, 90, 255})},
        // Pixels 1,0,0,0,0,0,0,0 | 1 in two bytes padded to 4.
        {"1 bit",
         {9, 1, 1, 0,
          InfoHeader(9, 1, 1).U8(0).U8(0).U8(0).U8(0).U8(255).U8(255).U8(255).U8(0)
              .U8(0x80).U8(0x80).Zeros(2).Zeros(4).Bytes()},
         9, 1, mono},
        {"4 bits: nibbles 2, 1, 0",
         {3, 1, 1, 0,
          InfoHeader(3, 1, 4, 3).U8(1).U8(1).U8(1).U8(0).U8(2).U8(2).U8(2).U8(0).U8(3).U8(3).U8(3).U8(0)
              .U8(0x21).U8(0x00).Zeros(2).Zeros(4).Bytes()},
         3, 1, Px({3, 3, 3, 255, 2, 2, 2, 255, 1, 1, 1, 255})},
        {"24 bits: rows of 9 bytes padded to 12",
         {3, 2, 1, 0,
          InfoHeader(3, 2, 24)
              .U8(1).U8(1).U8(1).U8(2).U8(2).U8(2).U8(3).U8(3).U8(3).Zeros(3)
              .U8(4).U8(4).U8(4).U8(5).U8(5).U8(5).U8(6).U8(6).U8(6).Zeros(3)
              .Zeros(8).Bytes()},
         3, 2, Px({4, 4, 4, 255, 5, 5, 5, 255, 6, 6, 6, 255, 1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255})},
        {"png", {2, 1, 1, 0, png}, 2, 1, Px({0, 0, 255, 255, 255, 0, 0, 128})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto cursor = Decode(BuildCursor({c.record}));
        EXPECT_EQ(cursor.width, c.width);
        EXPECT_EQ(cursor.height, c.height);
        EXPECT_EQ(cursor.hotX, 1);
        EXPECT_EQ(cursor.hotY, 0);
        EXPECT_EQ(cursor.bgra, c.bgra);
    }
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
    auto patched = [&](std::size_t at, std::vector<u8> bytes) {
        auto f = file;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
        return f;
    };
    auto header = [&](std::size_t at, u32 value) { return LeBytes().Append(file).PatchU32(22 + at, value).Bytes(); };
    auto png = EncodePng(Px({255, 0, 0, 255, 0, 0, 255, 128}), 2, 1, testpng::Layout::Rgba);
    png[png.size() - 20] ^= 0xFF;
    struct Case {
        const char* name;
        std::vector<u8> bytes;
    };
    const Case cases[] = {
        {"short directory", LeBytes().U16(0).U16(2).Bytes()},
        {"no images", LeBytes().U16(0).U16(2).U16(0).Bytes()},
        {"an icon, not a cursor", LeBytes().U16(0).U16(1).U16(1).Zeros(16).Bytes()},
        {"records past the end", LeBytes().U16(0).U16(2).U16(3).Zeros(16).Bytes()},
        {"image cut short", std::vector<u8>(file.begin(), file.end() - 9)},
        {"image offset far past the end", patched(18, {0xF0, 0, 0, 0xFF})},
        {"byte size 0xFF00FFFF", patched(14, {0xFF, 0xFF, 0, 0xFF})},
        {"width 0", header(4, 0)},
        {"width beyond any cursor", header(4, 100000)},
        {"odd doubled height", header(8, 3)},
        {"negative height", header(8, 0xFFFFFFFE)},
        {"compressed", header(16, 1)},
        {"header too small", header(0, 12)},
        {"header larger than the image", header(0, 5000)},
        {"more colours than the depth allows",
         BuildCursor({{1, 1, 0, 0, InfoHeader(1, 1, 1, 3).Zeros(12).Zeros(4).Zeros(4).Bytes()}})},
        {"no mask below 32 bits", BuildCursor({{1, 1, 0, 0, InfoHeader(1, 1, 24).Zeros(4).Bytes()}})},
        {"png with a broken checksum", BuildCursor({{2, 1, 0, 0, png}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decode(c.bytes, false);
    }
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
