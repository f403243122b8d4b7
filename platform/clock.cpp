#include "platform/clock.h"

#include <time.h>

#include <atomic>

namespace platform {
namespace {

u32 MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    u64 ms = static_cast<u64>(now.tv_sec) * 1000u + static_cast<u64>(now.tv_nsec) / 1000000u;
    // The monotonic clock starts near boot; lift it clear of 0 so that a
    // fresh machine never hands out the "not running" value.
    return static_cast<u32>(ms + 0x10000u);
}

std::atomic<ClockSource> g_clockSource{nullptr};  // atomic: swapped by tests, read by every thread

}  // namespace

u32 NowMs() {
    ClockSource source = g_clockSource.load(std::memory_order_acquire);
    return source ? source() : MonotonicMs();
}

void SetClockSource(ClockSource source) { g_clockSource.store(source, std::memory_order_release); }

}  // namespace platform
