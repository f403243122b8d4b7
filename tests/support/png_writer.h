#pragma once
// PNG fixtures written with libpng's own writer, so a decoder under test is
// never checked against files of its own making.

#include <vector>

#include "foundation/types.h"

namespace testpng {

enum class Layout { Rgba, Grey, Palette };

// Pixels top row first: R, G, B, A per pixel for Rgba, one byte per pixel
// otherwise; a palette holds R, G, B, A per entry (alpha below 255 is written
// as tRNS). Empty when libpng refuses.
std::vector<u8> EncodePng(const std::vector<u8>& pixels, int width, int height, Layout layout,
                          const std::vector<u8>& palette = {});

}  // namespace testpng
