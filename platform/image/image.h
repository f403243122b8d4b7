#pragma once
// Image files held in memory (PNG, JPEG, BMP, TGA, DDS), decoded to straight-
// alpha BGRA8 with the top row first. Every reader checks each size against
// the bytes it was given before it touches or allocates anything, and reports
// bad data as a false result: game archives are not to be trusted.

#include <cstddef>
#include <vector>

#include "foundation/types.h"

namespace platform {

// Larger sides are refused outright: no texture the engine can make is that
// big, and it keeps width × height × 4 far from overflowing.
inline constexpr int kMaxImageSide = 16384;
// And so is a picture of more texels than this (a quarter gigabyte of BGRA),
// whatever its shape.
inline constexpr u64 kMaxImagePixels = u64{64} * 1024 * 1024;

enum class ImageFormat { Unknown, Png, Jpeg, Bmp, Tga, Dds };

struct DecodedImage {
    int width = 0;
    int height = 0;
    ImageFormat format = ImageFormat::Unknown;
    std::vector<u8> bgra;  // width × height × 4 bytes; empty after ReadImageInfo
    bool opaque = false;   // its format holds no alpha: every texel's is 255, unlooked at
};

// The format by its signature; TGA has none and is whatever is left that
// passes its header checks.
ImageFormat DetectImageFormat(const u8* data, size_t size);

// Width, height and format from the header alone (no pixels decoded).
bool ReadImageInfo(const u8* data, size_t size, DecodedImage& info);
// The whole picture. On failure `out` is left empty.
bool DecodeImage(const u8* data, size_t size, DecodedImage& out);

// One format each; with `headerOnly` only width and height are filled.
bool DecodePngImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out);
bool DecodeJpegImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out);
bool DecodeBmpImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out);
bool DecodeTgaImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out);
bool DecodeDdsImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out);

// Whether a picture of this size may be decoded at all.
bool IsAcceptableImageSize(u64 width, u64 height);

}  // namespace platform
