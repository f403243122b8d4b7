#pragma once
// The program's numbered icon resources: PNG files built into the executable
// from resources/icons/<number>.png (icon 101 is the window's own).

#include <cstddef>
#include <span>

#include "foundation/types.h"

namespace platform {

struct IconResource {
    u16 number;
    const u8* bytes;
    std::size_t size;
};

// Every built-in icon, in ascending number (generated at build time).
std::span<const IconResource> BuiltInIcons();

// The icon with that number, or null when the program has none.
const IconResource* FindIconResource(u32 number);

// The number of the window's own icon, set when the window is made.
constexpr u32 kWindowIconResource = 101;

}  // namespace platform
