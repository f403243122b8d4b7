#pragma once
// The program's millisecond clock: 32 bits that wrap about every 49.7 days,
// so every user subtracts times as unsigned 32-bit values. It runs on the
// monotonic clock and never starts at 0 (callers use 0 for "not running").
// Tests install their own source to drive time by hand, e.g. near the wrap.

#include "foundation/types.h"

namespace platform {

using ClockSource = u32 (*)();

// Milliseconds; any thread.
u32 NowMs();
// Installs a source for tests; null restores the monotonic clock.
void SetClockSource(ClockSource source);

}  // namespace platform
