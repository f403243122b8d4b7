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
        u32 start = StartOf(old);
        u32 duration = DurationOf(old);
        // A lock that ran out and was never cleared (text shown with no key
        // wait after it) is over: the new text gets a lock of its own from
        // now, or a click on it would skip a page not yet drawn.
        if (start != 0 && static_cast<u32>(now - start) >= duration) start = 0;
        if (start == 0) {
            // A clock reading of 0 would look like "not running"; one
            // millisecond earlier is indistinguishable to the player.
            start = now == 0 ? 0xFFFFFFFFu : now;
            duration = 0;
        }
        // A running lock (a title card still drawing when the next page
        // begins) keeps its start but lasts until the new text has appeared
        // too: measured from the old start alone, it would end while the new
        // page still draws and let a click skip it.
        const u64 wanted = static_cast<u64>(static_cast<u32>(now - start)) + ms;
        if (wanted > duration) duration = wanted > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(wanted);
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
