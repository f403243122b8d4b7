#pragma once
// Float-to-integer conversion where the engine truncates towards zero. Script
// values reach these products (rates, speeds, volumes), and a NaN or a value
// out of range must not become undefined behaviour: they saturate, NaN gives 0.

#include <cmath>
#include <limits>

#include "foundation/types.h"

inline int64 TruncToI64(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (value >= 9223372036854775808.0) return std::numeric_limits<int64>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<int64>::min();
    return static_cast<int64>(value);
}
