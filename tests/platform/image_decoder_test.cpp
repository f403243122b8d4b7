// Image decoders against fixtures laid out by hand from the file layouts
// (BMP, TGA, DDS) or encoded here with libpng's and libjpeg's own writers.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "platform/image/image.h"
#include "support/le_bytes.h"
#include "support/png_writer.h"

using platform::DecodedImage;
using platform::ImageFormat;
using testbytes::LeBytes;
using testpng::EncodePng;
using testpng::Layout;

namespace {

// BGRA of the texel at (x, y), top row first.
std::vector<int> Texel(const DecodedImage& image, int x, int y) {
    const u8* p = image.bgra.data() + (static_cast<size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

// A BITMAPFILEHEADER + BITMAPINFOHEADER (40 bytes); the caller adds masks,
// palette and rows.
LeBytes BmpHeader(int32 width, int32 height, u16 bits, u32 compression, u32 coloursUsed, u32 pixelOffset,
                  u32 fileSize) {
    LeBytes b;
    b.Text("BM").U32(fileSize).U32(0).U32(pixelOffset);
    b.U32(40).U32(static_cast<u32>(width)).U32(static_cast<u32>(height)).U16(1).U16(bits).U32(compression);
    b.U32(0).U32(2835).U32(2835).U32(coloursUsed).U32(0);
    return b;
}

}  // namespace

namespace {

LeBytes TgaHeader(u8 idLength, u8 mapType, u8 imageType, u16 mapFirst, u16 mapLength, u8 mapBits, u16 width,
                  u16 height, u8 bits, u8 descriptor) {
    LeBytes b;
    b.U8(idLength).U8(mapType).U8(imageType).U16(mapFirst).U16(mapLength).U8(mapBits);
    b.U16(0).U16(0).U16(width).U16(height).U8(bits).U8(descriptor);
    return b;
}

}  // namespace

namespace {

// "DDS " and the 124-byte header; the pixel format fields are the caller's.
LeBytes DdsHeader(u32 width, u32 height, u32 pfFlags, u32 fourCC, u32 bits, u32 r, u32 g, u32 b, u32 a) {
    LeBytes h;
    h.Text("DDS ").U32(124).U32(0x1007).U32(height).U32(width).U32(0).U32(0).U32(1).Zeros(44);
    h.U32(32).U32(pfFlags).U32(fourCC).U32(bits).U32(r).U32(g).U32(b).U32(a);
    h.U32(0x1000).Zeros(16);
    return h;
}

constexpr u32 kDxt1 = 0x31545844;  // "DXT1"
constexpr u32 kDxt3 = 0x33545844;
constexpr u32 kDxt5 = 0x35545844;

}  // namespace

namespace {

struct JpegWriteError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// A width × height picture of one colour (or grey), baseline or progressive.
std::vector<u8> EncodeJpeg(int width, int height, bool grey, bool progressive, u8 r, u8 g, u8 b) {
    jpeg_compress_struct info{};
    JpegWriteError error{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegWriteError*>(c->err)->jump, 1); };
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<u8> row(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&info);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<u8> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

}  // namespace

namespace {

// A PNG of one RGBA texel whose header is patched to side × side (CRC fixed).
std::vector<u8> PngClaiming(u8 sideHigh, u8 sideLow) {
    auto png = EncodePng({1, 2, 3, 4}, 1, 1, Layout::Rgba);
    const u8 side[4] = {0, 0, sideHigh, sideLow};
    std::memcpy(png.data() + 16, side, 4);
    std::memcpy(png.data() + 20, side, 4);
    const u32 crc = static_cast<u32>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<u8>(crc >> (24 - 8 * i));
    return png;
}

}  // namespace

// Expected texels come from each layout's definition; -1 is a channel the
// format leaves open. JPEG is lossy: flat colours come back within a few steps.
TEST(ImageDecoder, DecodesEachLayoutToTopDownBgra) {
    struct Probe {
        int x, y;
        std::vector<int> bgra;
    };
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        ImageFormat format;
        int width, height;
        std::vector<Probe> probes;
        int tolerance = 0;
    };
    const std::vector<u8> map = {255, 0, 0, 255, 0, 255, 0, 0};
    const Case cases[] = {
        // Rows of 9 bytes padded to 12, stored bottom row first.
        {"bmp 24 bits",
         BmpHeader(3, 2, 24, 0, 0, 54, 54 + 24)
             .U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8).U8(9).Zeros(3)
             .U8(10).U8(11).U8(12).U8(13).U8(14).U8(15).U8(16).U8(17).U8(18).Zeros(3).Bytes(),
         ImageFormat::Bmp, 3, 2, {{0, 0, {10, 11, 12, 255}}, {2, 0, {16, 17, 18, 255}}, {1, 1, {4, 5, 6, 255}}}},
        // Two colours used, height -2 (top row first); index 7 has no colour.
        {"bmp 8 bits top down",
         BmpHeader(2, -2, 8, 0, 2, 54 + 8, 54 + 8 + 8)
             .U8(0xFF).U8(0).U8(0).U8(0).U8(0).U8(0x80).U8(0).U8(0)
             .U8(1).U8(0).Zeros(2).U8(7).U8(0).Zeros(2).Bytes(),
         ImageFormat::Bmp, 2, 2, {{0, 0, {0, 0x80, 0, 255}}, {1, 0, {0xFF, 0, 0, 255}}, {0, 1, {0, 0, 0, 255}}}},
        {"bmp 1 bit: 0b101",
         BmpHeader(3, 1, 1, 0, 0, 54 + 8, 54 + 8 + 4)
             .U8(0).U8(0).U8(0).U8(0).U8(0xFF).U8(0xFF).U8(0xFF).U8(0).U8(0xA0).Zeros(3).Bytes(),
         ImageFormat::Bmp, 3, 1,
         {{0, 0, {255, 255, 255, 255}}, {1, 0, {0, 0, 0, 255}}, {2, 0, {255, 255, 255, 255}}}},
        // Green 0x0400 >> 5 = 32 of 63, widened by repeating bits: 0b100000 10 = 130.
        {"bmp 16 bits through masks",
         BmpHeader(2, 1, 16, 3, 0, 54 + 12, 54 + 12 + 4).U32(0xF800).U32(0x07E0).U32(0x001F)
             .U16(0xF800).U16(0x0400).Bytes(),
         ImageFormat::Bmp, 2, 1, {{0, 0, {0, 0, 255, 255}}, {1, 0, {0, 130, 0, 255}}}},
        {"bmp 32 bits: the fourth byte is padding", BmpHeader(1, 1, 32, 0, 0, 54, 58).U8(1).U8(2).U8(3).U8(0).Bytes(),
         ImageFormat::Bmp, 1, 1, {{0, 0, {1, 2, 3, 255}}}},
        // A 3-byte id to skip, bottom row first.
        {"tga 32 bits",
         TgaHeader(3, 0, 2, 0, 0, 0, 2, 2, 32, 8).Text("abc")
             .U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8)
             .U8(9).U8(10).U8(11).U8(12).U8(13).U8(14).U8(15).U8(16).Bytes(),
         ImageFormat::Tga, 2, 2, {{0, 0, {9, 10, 11, 12}}, {1, 1, {5, 6, 7, 8}}}},
        {"tga 24 bits top first", TgaHeader(0, 0, 2, 0, 0, 0, 1, 2, 24, 0x20).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).Bytes(),
         ImageFormat::Tga, 1, 2, {{0, 0, {1, 2, 3, 255}}, {0, 1, {4, 5, 6, 255}}}},
        {"tga run of 2, raw packet of 1",
         TgaHeader(0, 0, 10, 0, 0, 0, 3, 1, 24, 0x20).U8(0x81).U8(10).U8(20).U8(30).U8(0x00).U8(40).U8(50).U8(60).Bytes(),
         ImageFormat::Tga, 3, 1, {{1, 0, {10, 20, 30, 255}}, {2, 0, {40, 50, 60, 255}}}},
        // The map starts at index 5 with two entries; 9 is outside it.
        {"tga colour mapped",
         TgaHeader(0, 1, 1, 5, 2, 24, 2, 1, 8, 0x20).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(6).U8(9).Bytes(),
         ImageFormat::Tga, 2, 1, {{0, 0, {4, 5, 6, 255}}, {1, 0, {0, 0, 0, 255}}}},
        {"tga grey", TgaHeader(0, 0, 3, 0, 0, 0, 1, 1, 8, 0).U8(77).Bytes(), ImageFormat::Tga, 1, 1,
         {{0, 0, {77, 77, 77, 255}}}},
        // One attribute bit: 0x7C00 is red without it, 0x801F opaque blue.
        {"tga 16 bits", TgaHeader(0, 0, 2, 0, 0, 0, 2, 1, 16, 0x21).U16(0x7C00).U16(0x801F).Bytes(), ImageFormat::Tga, 2,
         1, {{0, 0, {0, 0, 255, 0}}, {1, 0, {255, 0, 0, 255}}}},
        // c0 red > c1 blue: colour 2 = (2·red + blue)/3; row 0 indices 0,1,2,3.
        {"dxt1 four colours", DdsHeader(4, 4, 0x4, kDxt1, 0, 0, 0, 0, 0).U16(0xF800).U16(0x001F).U32(0xE4).Bytes(),
         ImageFormat::Dds, 4, 4,
         {{0, 0, {0, 0, 255, 255}}, {1, 0, {255, 0, 0, 255}}, {2, 0, {85, 0, 170, 255}}, {3, 0, {170, 0, 85, 255}},
          {0, 3, {0, 0, 255, 255}}}},
        // c0 <= c1: colour 2 is the mean, colour 3 transparent black.
        {"dxt1 transparent mode", DdsHeader(4, 1, 0x4, kDxt1, 0, 0, 0, 0, 0).U16(0x001F).U16(0xF800).U32(0xE4).Bytes(),
         ImageFormat::Dds, 4, 1, {{1, 0, {0, 0, 255, 255}}, {2, 0, {127, 0, 127, 255}}, {3, 0, {0, 0, 0, 0}}}},
        {"dxt1 smaller than its block", DdsHeader(2, 2, 0x4, kDxt1, 0, 0, 0, 0, 0).U16(0x001F).U16(0xF800).U32(0xE4).Bytes(),
         ImageFormat::Dds, 2, 2, {{1, 0, {0, 0, 255, 255}}, {1, 1, {255, 0, 0, 255}}}},
        // Nibble 0x3 → 51, 0xF → 255.
        {"dxt3", DdsHeader(4, 4, 0x4, kDxt3, 0, 0, 0, 0, 0).U8(0xF3).Zeros(7).U16(0xFFFF).U16(0).U32(0).Bytes(),
         ImageFormat::Dds, 4, 4,
         {{0, 0, {255, 255, 255, 51}}, {1, 0, {255, 255, 255, 255}}, {2, 0, {255, 255, 255, 0}}}},
        // a0 = 255 > a1 = 0; texel 0 index 2 → 6·255/7 = 218, texel 1 index 1 → 0.
        {"dxt5", DdsHeader(4, 4, 0x4, kDxt5, 0, 0, 0, 0, 0).U8(255).U8(0).U8(0x0A).Zeros(5).U16(0xFFFF).U16(0).U32(0).Bytes(),
         ImageFormat::Dds, 4, 4,
         {{0, 0, {255, 255, 255, 218}}, {1, 0, {255, 255, 255, 0}}, {2, 0, {255, 255, 255, 255}}}},
        {"dds a8r8g8b8",
         DdsHeader(1, 1, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000).U32(0x80102030).Bytes(),
         ImageFormat::Dds, 1, 1, {{0, 0, {0x30, 0x20, 0x10, 0x80}}}},
        {"dds r5g6b5", DdsHeader(1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x001F, 0).U16(0x001F).Bytes(), ImageFormat::Dds, 1,
         1, {{0, 0, {255, 0, 0, 255}}}},
        // Alpha stays straight, not multiplied into the colour.
        {"png rgba", EncodePng({200, 100, 50, 128, 0, 0, 255, 0}, 2, 1, Layout::Rgba), ImageFormat::Png, 2, 1,
         {{0, 0, {50, 100, 200, 128}}, {1, 0, {-1, -1, -1, 0}}}},
        {"png grey", EncodePng({0, 90, 255}, 1, 3, Layout::Grey), ImageFormat::Png, 1, 3, {{0, 1, {90, 90, 90, 255}}}},
        {"png palette with tRNS", EncodePng({1, 0}, 2, 1, Layout::Palette, map), ImageFormat::Png, 2, 1,
         {{0, 0, {-1, -1, -1, 0}}, {1, 0, {0, 0, 255, 255}}}},
        {"jpeg baseline", EncodeJpeg(20, 12, false, false, 200, 120, 40), ImageFormat::Jpeg, 20, 12,
         {{19, 11, {40, 120, 200, 255}}}, 3},
        {"jpeg progressive", EncodeJpeg(17, 9, false, true, 10, 250, 90), ImageFormat::Jpeg, 17, 9,
         {{8, 4, {90, 250, 10, 255}}}, 3},
        {"jpeg grey", EncodeJpeg(8, 8, true, false, 60, 0, 0), ImageFormat::Jpeg, 8, 8, {{3, 3, {60, 60, 60, 255}}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::DetectImageFormat(c.bytes.data(), c.bytes.size()), c.format);
        DecodedImage image;
        ASSERT_TRUE(platform::DecodeImage(c.bytes.data(), c.bytes.size(), image));
        EXPECT_EQ(image.format, c.format);
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        ASSERT_EQ(image.bgra.size(), static_cast<size_t>(c.width * c.height * 4));
        for (const Probe& probe : c.probes) {
            const std::vector<int> got = Texel(image, probe.x, probe.y);
            for (size_t i = 0; i < 4; ++i) {
                if (probe.bgra[i] < 0) continue;
                EXPECT_NEAR(got[i], probe.bgra[i], c.tolerance) << probe.x << "," << probe.y << " channel " << i;
            }
        }
    }
}

TEST(ImageDecoder, RefusesBrokenFilesWithoutAPicture) {
    auto bmp24 = BmpHeader(3, 2, 24, 0, 0, 54, 54 + 24).Zeros(24).Bytes();
    bmp24.pop_back();
    const auto png = EncodePng({1, 2, 3, 4, 5, 6, 7, 8}, 2, 1, Layout::Rgba);
    const auto jpeg = EncodeJpeg(16, 16, false, false, 1, 2, 3);
    struct Case {
        const char* name;
        std::vector<u8> bytes;
    };
    const Case cases[] = {
        {"bmp one byte short of its last row's padding", bmp24},
        {"bmp run-length compressed", BmpHeader(1, 1, 8, 1, 0, 54, 60).Zeros(8).Bytes()},
        {"bmp side past the limit", BmpHeader(100000, 1, 24, 0, 0, 54, 60).Zeros(8).Bytes()},
        {"bmp width 0", BmpHeader(0, 1, 24, 0, 0, 54, 60).Zeros(8).Bytes()},
        {"bmp pixels past the end", BmpHeader(1, 1, 24, 0, 0, 0xFFFFFFF0u, 58).Zeros(4).Bytes()},
        {"bmp 7 bits", BmpHeader(1, 1, 7, 0, 0, 54, 58).Zeros(4).Bytes()},
        {"bmp header size past the end", LeBytes().Text("BM").U32(0).U32(0).U32(54).U32(124).Zeros(20).Bytes()},
        {"tga run past the picture", TgaHeader(0, 0, 10, 0, 0, 0, 3, 1, 24, 0x20).U8(0x83).U8(10).U8(20).U8(30).Bytes()},
        {"tga rows cut short", TgaHeader(0, 0, 2, 0, 0, 0, 2, 2, 24, 0).Zeros(11).Bytes()},
        {"tga type 4", TgaHeader(0, 0, 4, 0, 0, 0, 1, 1, 24, 0).Zeros(3).Bytes()},
        {"dxt5 8 × 8 with three blocks", DdsHeader(8, 8, 0x4, kDxt5, 0, 0, 0, 0, 0).Zeros(48).Bytes()},
        {"dds DX10", DdsHeader(4, 4, 0x4, 0x30315844, 0, 0, 0, 0, 0).Zeros(64).Bytes()},
        {"png cut short", std::vector<u8>(png.begin(), png.end() - 20)},
        // 2^24 texels cannot come out of ~70 bytes of deflate data.
        {"png claiming 4096 × 4096", PngClaiming(0x10, 0)},
        {"png claiming 64 × 64 without its rows", PngClaiming(0, 64)},
        {"jpeg start marker and garbage", {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05}},
        {"jpeg header cut in its tables", std::vector<u8>(jpeg.begin(), jpeg.begin() + 40)},
        {"text", {'h', 'e', 'l', 'l', 'o', '!'}},
        {"nothing", {}},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        EXPECT_FALSE(platform::DecodeImage(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size(), image)) << c.name;
        EXPECT_TRUE(image.bgra.empty()) << c.name;
    }
    // The process is still here after libjpeg's errors, and a good file decodes.
    DecodedImage image;
    EXPECT_TRUE(platform::DecodeImage(jpeg.data(), jpeg.size(), image));
}

// A save thumbnail's size is read from the header alone; a size no file of
// these bytes could hold is not believed.
TEST(ImageDecoder, InfoReadsTheSizeFromTheHeaderAlone) {
    // 142 × 80 at 24 bits: rows of 426 bytes padded to 428; 54 + 428 × 80 = 34294.
    const auto bmp = BmpHeader(142, 80, 24, 0, 0, 54, 34294).Zeros(428 * 80).Bytes();
    const auto jpeg = EncodeJpeg(16, 16, false, false, 1, 2, 3);
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool ok;
        int width, height;
    };
    const Case cases[] = {
        {"bmp thumbnail", bmp, true, 142, 80},
        {"png", EncodePng({1, 2, 3, 4, 5, 6, 7, 8}, 2, 1, Layout::Rgba), true, 2, 1},
        {"png claiming 64 × 64", PngClaiming(0, 64), true, 64, 64},
        {"png claiming 4096 × 4096", PngClaiming(0x10, 0), false, 0, 0},
        {"jpeg", jpeg, true, 16, 16},
        {"jpeg header cut in its tables", std::vector<u8>(jpeg.begin(), jpeg.begin() + 40), false, 0, 0},
    };
    for (const Case& c : cases) {
        DecodedImage info;
        ASSERT_EQ(platform::ReadImageInfo(c.bytes.data(), c.bytes.size(), info), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(info.width, c.width) << c.name;
        EXPECT_EQ(info.height, c.height) << c.name;
        EXPECT_TRUE(info.bgra.empty()) << c.name;
    }
}
