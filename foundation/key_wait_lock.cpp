#include "foundation/key_wait_lock.h"

#include <atomic>

#include "platform/clock.h"

namespace {

// Low half: the start (0 = not running); high half: the duration. Atomic.
std::atomic<u64> g_keyWaitLock{0};

u32 StartOf(u64 packed) {
    return static_cast<u32>(packed & 0xFFFFFFFFu);
}
u32 DurationOf(u64 packed) {
    return static_cast<u32>(packed >> 32);
}
u64 Pack(u32 start, u32 duration) {
    return (static_cast<u64>(duration) << 32) | start;
}

}  // namespace

void SetKeyWaitLock(u32 ms) {
    u32 now = platform::NowMs();
    u64 old = g_keyWaitLock.load();
    for (;;) {
        u32 start = StartOf(old) == 0 ? now : StartOf(old);
        // A clock reading of 0 would look like "not running"; one millisecond
        // earlier is indistinguishable to the player.
        if (start == 0) start = 0xFFFFFFFFu;
        u32 duration = DurationOf(old) > ms ? DurationOf(old) : ms;
        if (g_keyWaitLock.compare_exchange_weak(old, Pack(start, duration))) return;
    }
}

void ClearKeyWaitLock() {
    g_keyWaitLock.store(0);
}

bool IsKeyWaitLocked(u32 now) {
    u64 packed = g_keyWaitLock.load();
    u32 start = StartOf(packed);
    u32 duration = DurationOf(packed);
    if (start == 0 || duration == 0) return false;
    return static_cast<u32>(now - start) < duration;
}

bool IsKeyWaitLockedNow() {
    return IsKeyWaitLocked(platform::NowMs());
}
