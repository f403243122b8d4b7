// The program's lock: a thread with a wait hook (the UI thread) runs it while
// another thread holds the lock, and only then.
#include "foundation/critical_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> g_waiting{0};
std::atomic<int> g_acquired{0};
std::atomic<bool> g_release{false};

void Waiting() {
    // The holder lets go once the waiter has been seen waiting a few times.
    if (g_waiting.fetch_add(1) + 1 == 3) g_release = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
void Acquired() {
    g_acquired.fetch_add(1);
}

}  // namespace

TEST(CriticalSection, AWaitHookRunsOnlyWhileAnotherThreadHoldsTheLock) {
    struct Case {
        const char* name;
        bool contended;
        bool hook;
        bool waitsSeen;
        int acquired;
    };
    const Case cases[] = {
        {"free lock: the hook is not asked", false, true, false, 0},
        {"held lock: the hook runs until it is free", true, true, true, 1},
        {"held lock, no hook: a plain wait", true, false, false, 0},
    };
    static const LockWaitHook hook{Waiting, Acquired};
    for (const Case& c : cases) {
        g_waiting = 0;
        g_acquired = 0;
        g_release = false;
        classCriticalSection lock;
        std::atomic<bool> held{false};
        std::thread holder;
        if (c.contended) {
            holder = std::thread([&] {
                lock.Enter();
                held = true;
                const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                while (!g_release.load() && std::chrono::steady_clock::now() < end) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                lock.Leave();
            });
            while (!held.load()) std::this_thread::yield();
        }
        t_lockWaitHook = c.hook ? &hook : nullptr;
        lock.Enter();
        t_lockWaitHook = nullptr;
        EXPECT_EQ(g_waiting.load() >= 3, c.waitsSeen) << c.name << ": " << g_waiting.load();
        EXPECT_EQ(g_acquired.load(), c.acquired) << c.name;
        lock.Leave();
        if (holder.joinable()) holder.join();
    }
}
