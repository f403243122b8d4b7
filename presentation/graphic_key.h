#pragma once
// The 64-bit key of a graphic object among its siblings, and of a slot in its
// object. Stored as the two halves the scene records keep; it orders as the
// signed 64-bit number, so negative keys come first.

#include <compare>

#include "foundation/types.h"

struct classKey64 {
    u32 low = 0;
    int32 high = 0;

    constexpr classKey64() = default;
    // Implicit on purpose: scripts and records carry keys as plain 64-bit numbers.
    constexpr classKey64(int64 value)
        : low(static_cast<u32>(static_cast<u64>(value))),
          high(static_cast<int32>(static_cast<u64>(value) >> 32)) {}

    constexpr int64 Value() const {
        return static_cast<int64>((static_cast<u64>(static_cast<u32>(high)) << 32) | static_cast<u64>(low));
    }

    friend constexpr bool operator==(const classKey64& a, const classKey64& b) {
        return a.Value() == b.Value();
    }
    friend constexpr std::strong_ordering operator<=>(const classKey64& a, const classKey64& b) {
        return a.Value() <=> b.Value();
    }
};
static_assert(sizeof(classKey64) == 8);
