#pragma once
// A volume as a script hands it over: a real from 0 (silence) to 1 (full).
// Every road from a script real to a layer or group volume passes here (the
// sound commands, their records, the settings screen), so they all agree:
// NaN is silence, and anything outside the range, infinities too, is pinned
// to its nearer end.

#include <algorithm>
#include <cmath>

#include "foundation/types.h"

inline double ScriptVolume(double value) {
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

// The same in the thousandths layers and groups keep, truncated toward zero.
inline int32 ScriptVolumeThousandths(double value) {
    return static_cast<int32>(ScriptVolume(value) * 1000.0);
}
