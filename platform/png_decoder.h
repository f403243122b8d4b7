#pragma once
// PNG images held in memory, decoded by libpng into straight-alpha BGRA with
// the top row first.

#include <cstddef>
#include <vector>

#include "foundation/types.h"

namespace platform {

// False for anything libpng rejects and for images wider or taller than
// maxSide (checked before any pixel memory is taken).
bool DecodePngToBgra(const u8* data, std::size_t size, int maxSide, int& width, int& height,
                     std::vector<u8>& bgra);

// The size from the header alone; false for anything libpng rejects there.
// With `alpha`, whether the picture has any (an alpha channel or a
// transparent colour).
bool ReadPngSize(const u8* data, std::size_t size, int& width, int& height, bool* alpha = nullptr);

}  // namespace platform
