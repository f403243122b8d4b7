#pragma once
// 24-bit BMP files for picture-loading tests: bottom row first, rows padded
// to four bytes, each pixel's (blue, green, red) chosen by the caller so that
// tests can tell the channels and the rows apart.

#include <array>
#include <functional>
#include <vector>

#include "support/le_bytes.h"

namespace testbytes {

// `pixel(x, y)` gives (blue, green, red) for column x of row y, top row 0.
inline std::vector<u8> Bmp24(int width, int height, const std::function<std::array<u8, 3>(int, int)>& pixel) {
    const u32 stride = static_cast<u32>((width * 3 + 3) / 4 * 4);
    LeBytes b;
    b.Text("BM").U32(54 + stride * static_cast<u32>(height)).U32(0).U32(54);
    b.U32(40).U32(static_cast<u32>(width)).U32(static_cast<u32>(height)).U16(1).U16(24).U32(0);
    b.U32(stride * static_cast<u32>(height)).U32(2835).U32(2835).U32(0).U32(0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::array<u8, 3> bgr = pixel(x, y);
            b.U8(bgr[0]).U8(bgr[1]).U8(bgr[2]);
        }
        b.Zeros(stride - static_cast<u32>(width) * 3);
    }
    return b.Bytes();
}

// Every pixel (blue, green, red).
inline std::vector<u8> SolidBmp(int width, int height, u8 blue, u8 green, u8 red) {
    return Bmp24(width, height, [=](int, int) { return std::array<u8, 3>{blue, green, red}; });
}

}  // namespace testbytes
