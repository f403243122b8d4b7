// Image decoders against fixtures laid out by hand from the file layouts
// (BMP, TGA, DDS) or encoded here with libpng's and libjpeg's own writers.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "platform/image/image.h"
#include "support/le_bytes.h"

using platform::DecodedImage;
using platform::ImageFormat;
using testbytes::LeBytes;

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

std::vector<u8> Bytes(const LeBytes& b) {
    return b.Bytes();
}

}  // namespace

TEST(BmpDecoder, TwentyFourBitBottomUpRowsArePaddedAndFlipped) {
    // 3 × 2: rows of 9 bytes padded to 12. Stored bottom row first.
    LeBytes b = BmpHeader(3, 2, 24, 0, 0, 54, 54 + 24);
    b.U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8).U8(9).Zeros(3);          // bottom row
    b.U8(10).U8(11).U8(12).U8(13).U8(14).U8(15).U8(16).U8(17).U8(18).Zeros(3);  // top row
    auto data = Bytes(b);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(image.format, ImageFormat::Bmp);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{10, 11, 12, 255}));
    EXPECT_EQ(Texel(image, 2, 0), (std::vector<int>{16, 17, 18, 255}));
    EXPECT_EQ(Texel(image, 1, 1), (std::vector<int>{4, 5, 6, 255}));

    // One byte short of the last row's padding is a broken file, not a picture.
    data.pop_back();
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_TRUE(image.bgra.empty());
}

TEST(BmpDecoder, SaveThumbnailSizeIsReadFromTheHeaderAlone) {
    // 142 × 80 at 24 bits: 426 bytes a row padded to 428; 54 + 428 × 80 = 34294.
    LeBytes b = BmpHeader(142, 80, 24, 0, 0, 54, 34294);
    b.Zeros(428 * 80);
    auto data = Bytes(b);
    ASSERT_EQ(data.size(), 34294u);
    DecodedImage info;
    ASSERT_TRUE(platform::ReadImageInfo(data.data(), data.size(), info));
    EXPECT_EQ(info.width, 142);
    EXPECT_EQ(info.height, 80);
    EXPECT_TRUE(info.bgra.empty());
}

TEST(BmpDecoder, PalettedTopDownAndIndexedOutsideThePalette) {
    // 8-bit, 2 colours used, height −2 (top row first); index 7 has no colour.
    LeBytes b = BmpHeader(2, -2, 8, 0, 2, 54 + 8, 54 + 8 + 8);
    b.U8(0xFF).U8(0).U8(0).U8(0);  // blue
    b.U8(0).U8(0x80).U8(0).U8(0);  // green
    b.U8(1).U8(0).Zeros(2);        // top row
    b.U8(7).U8(0).Zeros(2);        // bottom row
    auto data = Bytes(b);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{0, 0x80, 0, 255}));
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{0xFF, 0, 0, 255}));
    EXPECT_EQ(Texel(image, 0, 1), (std::vector<int>{0, 0, 0, 255}));

    // One-bit: 0b10100000 → colours 1, 0, 1.
    LeBytes one = BmpHeader(3, 1, 1, 0, 0, 54 + 8, 54 + 8 + 4);
    one.U8(0).U8(0).U8(0).U8(0).U8(0xFF).U8(0xFF).U8(0xFF).U8(0);
    one.U8(0xA0).Zeros(3);
    data = Bytes(one);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0)[0], 0xFF);
    EXPECT_EQ(Texel(image, 1, 0)[0], 0);
    EXPECT_EQ(Texel(image, 2, 0)[0], 0xFF);
}

TEST(BmpDecoder, BitFieldsAndTheFourthByteOfPlainThirtyTwoBit) {
    // 16-bit 5-6-5 through masks after the 40-byte header: 0xF800 is full red, 0x07E0 full green.
    LeBytes b = BmpHeader(2, 1, 16, 3, 0, 54 + 12, 54 + 12 + 4);
    b.U32(0xF800).U32(0x07E0).U32(0x001F);
    b.U16(0xF800).U16(0x0400);
    auto data = Bytes(b);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{0, 0, 255, 255}));
    // Green 0x0400 >> 5 = 32 of 63: widened by repeating bits, 32 → 0b100000 10 = 130.
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{0, 130, 0, 255}));

    // A plain 32-bit bitmap: the fourth byte is padding, so the texel stays opaque.
    LeBytes plain = BmpHeader(1, 1, 32, 0, 0, 54, 58);
    plain.U8(1).U8(2).U8(3).U8(0);
    data = Bytes(plain);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{1, 2, 3, 255}));
}

TEST(BmpDecoder, RefusesBadHeadersAndHugeSizes) {
    DecodedImage image;
    auto decode = [&](const LeBytes& b) {
        auto data = Bytes(b);
        return platform::DecodeImage(data.data(), data.size(), image);
    };
    // Run-length compression is not read.
    EXPECT_FALSE(decode(BmpHeader(1, 1, 8, 1, 0, 54, 60).Zeros(8)));
    // A side past the limit is refused before anything is allocated.
    EXPECT_FALSE(decode(BmpHeader(100000, 1, 24, 0, 0, 54, 60).Zeros(8)));
    EXPECT_FALSE(decode(BmpHeader(0, 1, 24, 0, 0, 54, 60).Zeros(8)));
    // Pixels said to start past the end of the file.
    EXPECT_FALSE(decode(BmpHeader(1, 1, 24, 0, 0, 0xFFFFFFF0u, 58).Zeros(4)));
    // Bit count 7 does not exist.
    EXPECT_FALSE(decode(BmpHeader(1, 1, 7, 0, 0, 54, 58).Zeros(4)));
    // A header size that runs past the end.
    LeBytes cut;
    cut.Text("BM").U32(0).U32(0).U32(54).U32(124).Zeros(20);
    EXPECT_FALSE(decode(cut));
}

namespace {

LeBytes TgaHeader(u8 idLength, u8 mapType, u8 imageType, u16 mapFirst, u16 mapLength, u8 mapBits, u16 width,
                  u16 height, u8 bits, u8 descriptor) {
    LeBytes b;
    b.U8(idLength).U8(mapType).U8(imageType).U16(mapFirst).U16(mapLength).U8(mapBits);
    b.U16(0).U16(0).U16(width).U16(height).U8(bits).U8(descriptor);
    return b;
}

}  // namespace

TEST(TgaDecoder, TrueColourBottomUpAndTopFirst) {
    // 2 × 2, 32 bits, 8 attribute bits, bottom row stored first; a 3-byte id to skip.
    LeBytes b = TgaHeader(3, 0, 2, 0, 0, 0, 2, 2, 32, 8);
    b.Text("abc");
    b.U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8);          // bottom row
    b.U8(9).U8(10).U8(11).U8(12).U8(13).U8(14).U8(15).U8(16);   // top row
    auto data = Bytes(b);
    EXPECT_EQ(platform::DetectImageFormat(data.data(), data.size()), ImageFormat::Tga);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{9, 10, 11, 12}));
    EXPECT_EQ(Texel(image, 1, 1), (std::vector<int>{5, 6, 7, 8}));

    // 24 bits with the top-left origin bit: stored order is display order.
    LeBytes top = TgaHeader(0, 0, 2, 0, 0, 0, 1, 2, 24, 0x20);
    top.U8(1).U8(2).U8(3).U8(4).U8(5).U8(6);
    data = Bytes(top);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{1, 2, 3, 255}));
    EXPECT_EQ(Texel(image, 0, 1), (std::vector<int>{4, 5, 6, 255}));
}

TEST(TgaDecoder, RunLengthColourMappedGreyAndSixteenBit) {
    // RLE true colour, 3 × 1 top first: a run of 2 then a raw packet of 1.
    LeBytes rle = TgaHeader(0, 0, 10, 0, 0, 0, 3, 1, 24, 0x20);
    rle.U8(0x81).U8(10).U8(20).U8(30).U8(0x00).U8(40).U8(50).U8(60);
    auto data = Bytes(rle);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{10, 20, 30, 255}));
    EXPECT_EQ(Texel(image, 2, 0), (std::vector<int>{40, 50, 60, 255}));

    // A run longer than the picture is a broken file.
    LeBytes over = TgaHeader(0, 0, 10, 0, 0, 0, 3, 1, 24, 0x20);
    over.U8(0x83).U8(10).U8(20).U8(30);
    data = Bytes(over);
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));

    // Colour-mapped: map starts at index 5, two 24-bit entries; index 6 is the second, 9 is outside.
    LeBytes mapped = TgaHeader(0, 1, 1, 5, 2, 24, 2, 1, 8, 0x20);
    mapped.U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(6).U8(9);
    data = Bytes(mapped);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{4, 5, 6, 255}));
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{0, 0, 0, 255}));

    // Grey: R = G = B.
    LeBytes grey = TgaHeader(0, 0, 3, 0, 0, 0, 1, 1, 8, 0);
    grey.U8(77);
    data = Bytes(grey);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{77, 77, 77, 255}));

    // 16 bits with one attribute bit: 0x7C00 is red without its alpha bit, 0x801F opaque blue.
    LeBytes sixteen = TgaHeader(0, 0, 2, 0, 0, 0, 2, 1, 16, 0x21);
    sixteen.U16(0x7C00).U16(0x801F);
    data = Bytes(sixteen);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{0, 0, 255, 0}));
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{255, 0, 0, 255}));
}

TEST(TgaDecoder, TruncatedAndNonsenseHeadersFail) {
    DecodedImage image;
    LeBytes cut = TgaHeader(0, 0, 2, 0, 0, 0, 2, 2, 24, 0);
    cut.Zeros(11);  // 12 needed
    auto data = Bytes(cut);
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));
    // Image type 4 does not exist; unknown bytes are not taken for a picture.
    LeBytes odd = TgaHeader(0, 0, 4, 0, 0, 0, 1, 1, 24, 0);
    odd.Zeros(3);
    data = Bytes(odd);
    EXPECT_EQ(platform::DetectImageFormat(data.data(), data.size()), ImageFormat::Unknown);
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));
}

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

TEST(DdsDecoder, Dxt1FourColourAndTransparentModes) {
    // c0 = red (0xF800) > c1 = blue (0x001F): colour 2 = (2·red + blue)/3.
    // Indices row 0: 0,1,2,3 → bits 0b11100100 = 0xE4.
    LeBytes b = DdsHeader(4, 4, 0x4, kDxt1, 0, 0, 0, 0, 0);
    b.U16(0xF800).U16(0x001F).U32(0x000000E4);
    auto data = Bytes(b);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Texel(image, 2, 0), (std::vector<int>{85, 0, 170, 255}));
    EXPECT_EQ(Texel(image, 3, 0), (std::vector<int>{170, 0, 85, 255}));
    EXPECT_EQ(Texel(image, 0, 3), (std::vector<int>{0, 0, 255, 255}));

    // c0 ≤ c1: colour 2 is the mean, colour 3 transparent black.
    LeBytes t = DdsHeader(2, 2, 0x4, kDxt1, 0, 0, 0, 0, 0);
    t.U16(0x001F).U16(0xF800).U32(0x000000E4);
    data = Bytes(t);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(image.width, 2);
    // Only the block's top-left 2 × 2 lands: indices 0 and 1 on row 0, 0 and 0 on row 1.
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{0, 0, 255, 255}));
    LeBytes t4 = DdsHeader(4, 1, 0x4, kDxt1, 0, 0, 0, 0, 0);
    t4.U16(0x001F).U16(0xF800).U32(0x000000E4);
    data = Bytes(t4);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 2, 0), (std::vector<int>{127, 0, 127, 255}));
    EXPECT_EQ(Texel(image, 3, 0), (std::vector<int>{0, 0, 0, 0}));
}

TEST(DdsDecoder, Dxt3AndDxt5Alpha) {
    // DXT3: explicit 4-bit alpha; texel 0 nibble 0x3 → 51, texel 1 nibble 0xF → 255.
    LeBytes three = DdsHeader(4, 4, 0x4, kDxt3, 0, 0, 0, 0, 0);
    three.U8(0xF3).Zeros(7).U16(0xFFFF).U16(0).U32(0);
    auto data = Bytes(three);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{255, 255, 255, 51}));
    EXPECT_EQ(Texel(image, 1, 0)[3], 255);
    EXPECT_EQ(Texel(image, 2, 0)[3], 0);

    // DXT5: a0 = 255 > a1 = 0; texel 0 index 2 → (6·255)/7 = 218, texel 1 index 1 → 0.
    // Index bits: texel 0 = 010, texel 1 = 001 → 0b001010 = 0x0A.
    LeBytes five = DdsHeader(4, 4, 0x4, kDxt5, 0, 0, 0, 0, 0);
    five.U8(255).U8(0).U8(0x0A).Zeros(5).U16(0xFFFF).U16(0).U32(0);
    data = Bytes(five);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0)[3], 218);
    EXPECT_EQ(Texel(image, 1, 0)[3], 0);
    EXPECT_EQ(Texel(image, 2, 0)[3], 255);  // index 0 → a0
}

TEST(DdsDecoder, UncompressedMasksAndShortData) {
    // A8R8G8B8 and R5G6B5, one texel each.
    LeBytes argb = DdsHeader(1, 1, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    argb.U32(0x80102030);
    auto data = Bytes(argb);
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{0x30, 0x20, 0x10, 0x80}));
    LeBytes rgb565 = DdsHeader(1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x001F, 0);
    rgb565.U16(0x001F);
    data = Bytes(rgb565);
    ASSERT_TRUE(platform::DecodeImage(data.data(), data.size(), image));
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{255, 0, 0, 255}));

    // 8 × 8 DXT5 needs four 16-byte blocks; three are a broken file.
    LeBytes shortBlocks = DdsHeader(8, 8, 0x4, kDxt5, 0, 0, 0, 0, 0);
    shortBlocks.Zeros(48);
    data = Bytes(shortBlocks);
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));
    // A format code we do not read.
    LeBytes dx10 = DdsHeader(4, 4, 0x4, 0x30315844, 0, 0, 0, 0, 0);
    dx10.Zeros(64);
    data = Bytes(dx10);
    EXPECT_FALSE(platform::DecodeImage(data.data(), data.size(), image));
}

namespace {

std::vector<u8> EncodePng(const std::vector<u8>& pixels, int width, int height, png_uint_32 format,
                          const std::vector<u8>* colormap = nullptr, int colormapEntries = 0) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormapEntries);
    png_alloc_size_t size = 0;
    const void* map = colormap != nullptr ? colormap->data() : nullptr;
    if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, map)) return {};
    std::vector<u8> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, map)) return {};
    out.resize(size);
    return out;
}

}  // namespace

TEST(PngDecoder, StraightAlphaGreyAndPaletteTransparency) {
    // RGBA in, BGRA out, alpha kept straight (not multiplied into the colour).
    std::vector<u8> rgba = {200, 100, 50, 128, 0, 0, 255, 0};
    auto png = EncodePng(rgba, 2, 1, PNG_FORMAT_RGBA);
    ASSERT_FALSE(png.empty());
    DecodedImage image;
    ASSERT_TRUE(platform::DecodeImage(png.data(), png.size(), image));
    EXPECT_EQ(image.format, ImageFormat::Png);
    EXPECT_EQ(Texel(image, 0, 0), (std::vector<int>{50, 100, 200, 128}));
    EXPECT_EQ(Texel(image, 1, 0)[3], 0);

    auto grey = EncodePng({0, 90, 255}, 1, 3, PNG_FORMAT_GRAY);
    ASSERT_TRUE(platform::DecodeImage(grey.data(), grey.size(), image));
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(Texel(image, 0, 1), (std::vector<int>{90, 90, 90, 255}));

    // A palette with a transparent entry (written as tRNS).
    std::vector<u8> map = {255, 0, 0, 255, 0, 255, 0, 0};
    auto paletted = EncodePng({1, 0}, 2, 1, PNG_FORMAT_RGBA_COLORMAP, &map, 2);
    ASSERT_FALSE(paletted.empty());
    ASSERT_TRUE(platform::DecodeImage(paletted.data(), paletted.size(), image));
    EXPECT_EQ(Texel(image, 0, 0)[3], 0);
    EXPECT_EQ(Texel(image, 1, 0), (std::vector<int>{0, 0, 255, 255}));

    // The header alone tells the size; a cut-off file fails cleanly.
    ASSERT_TRUE(platform::ReadImageInfo(png.data(), png.size(), image));
    EXPECT_EQ(image.width, 2);
    EXPECT_TRUE(image.bgra.empty());
    EXPECT_FALSE(platform::DecodeImage(png.data(), png.size() - 20, image));
}

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

void ExpectNear(const std::vector<int>& got, const std::vector<int>& want, int tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "channel " << i;
}

}  // namespace

TEST(JpegDecoder, BaselineProgressiveAndGreyDecodeOpaque) {
    DecodedImage image;
    // A flat colour survives JPEG to within a few steps of each channel.
    auto baseline = EncodeJpeg(20, 12, false, false, 200, 120, 40);
    ASSERT_FALSE(baseline.empty());
    ASSERT_TRUE(platform::DecodeImage(baseline.data(), baseline.size(), image));
    EXPECT_EQ(image.format, ImageFormat::Jpeg);
    EXPECT_EQ(image.width, 20);
    EXPECT_EQ(image.height, 12);
    ExpectNear(Texel(image, 19, 11), {40, 120, 200, 255}, 3);

    auto progressive = EncodeJpeg(17, 9, false, true, 10, 250, 90);
    ASSERT_TRUE(platform::DecodeImage(progressive.data(), progressive.size(), image));
    ExpectNear(Texel(image, 8, 4), {90, 250, 10, 255}, 3);

    auto grey = EncodeJpeg(8, 8, true, false, 60, 0, 0);
    ASSERT_TRUE(platform::DecodeImage(grey.data(), grey.size(), image));
    ExpectNear(Texel(image, 3, 3), {60, 60, 60, 255}, 2);
}

TEST(JpegDecoder, CorruptDataIsAFailureNotAnExit) {
    DecodedImage image;
    auto jpeg = EncodeJpeg(16, 16, false, false, 1, 2, 3);
    ASSERT_FALSE(jpeg.empty());
    // Only the start marker and garbage: libjpeg raises an error, which comes back as false.
    std::vector<u8> garbage = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_FALSE(platform::DecodeImage(garbage.data(), garbage.size(), image));
    // The header cut in the middle of its tables.
    std::vector<u8> cut(jpeg.begin(), jpeg.begin() + 40);
    EXPECT_FALSE(platform::ReadImageInfo(cut.data(), cut.size(), image));
    // The process is still here, and a good file still decodes afterwards.
    EXPECT_TRUE(platform::DecodeImage(jpeg.data(), jpeg.size(), image));
}

TEST(ImageFormats, SignaturesDecideTheDecoder) {
    const u8 png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const u8 jpeg[3] = {0xFF, 0xD8, 0xFF};
    const u8 text[6] = {'h', 'e', 'l', 'l', 'o', '!'};
    EXPECT_EQ(platform::DetectImageFormat(png, 8), ImageFormat::Png);
    EXPECT_EQ(platform::DetectImageFormat(jpeg, 3), ImageFormat::Jpeg);
    EXPECT_EQ(platform::DetectImageFormat(reinterpret_cast<const u8*>("DDS "), 4), ImageFormat::Dds);
    EXPECT_EQ(platform::DetectImageFormat(text, 6), ImageFormat::Unknown);
    EXPECT_EQ(platform::DetectImageFormat(nullptr, 0), ImageFormat::Unknown);
    DecodedImage image;
    EXPECT_FALSE(platform::DecodeImage(text, 6, image));
    EXPECT_FALSE(platform::DecodeImage(nullptr, 0, image));
}

TEST(PngDecoder, AHeaderClaimingMoreThanTheBytesCanHoldIsRefused) {
    // A valid 1 × 1 file whose header is patched to 4096 × 4096 (CRC fixed):
    // 2^24 texels, at least 2 MiB of rows, cannot come out of ~70 bytes of
    // deflate data. Even the size is not believed.
    auto png = EncodePng({1, 2, 3, 4}, 1, 1, PNG_FORMAT_RGBA);
    ASSERT_GE(png.size(), 33u);
    const u8 side[4] = {0, 0, 0x10, 0};
    std::memcpy(png.data() + 16, side, 4);
    std::memcpy(png.data() + 20, side, 4);
    const u32 crc = static_cast<u32>(crc32(0, png.data() + 12, 17));
    png[29] = static_cast<u8>(crc >> 24);
    png[30] = static_cast<u8>(crc >> 16);
    png[31] = static_cast<u8>(crc >> 8);
    png[32] = static_cast<u8>(crc);
    DecodedImage image;
    EXPECT_FALSE(platform::ReadImageInfo(png.data(), png.size(), image));
    EXPECT_FALSE(platform::DecodeImage(png.data(), png.size(), image));
    EXPECT_TRUE(image.bgra.empty());
    // The same patch to 64 × 64 is believed (and then fails on the missing rows).
    const u8 small[4] = {0, 0, 0, 64};
    std::memcpy(png.data() + 16, small, 4);
    std::memcpy(png.data() + 20, small, 4);
    const u32 crc2 = static_cast<u32>(crc32(0, png.data() + 12, 17));
    png[29] = static_cast<u8>(crc2 >> 24);
    png[30] = static_cast<u8>(crc2 >> 16);
    png[31] = static_cast<u8>(crc2 >> 8);
    png[32] = static_cast<u8>(crc2);
    ASSERT_TRUE(platform::ReadImageInfo(png.data(), png.size(), image));
    EXPECT_EQ(image.width, 64);
    EXPECT_FALSE(platform::DecodeImage(png.data(), png.size(), image));
}
