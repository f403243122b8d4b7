#include "foundation/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/critical_section.h"
#include "foundation/event.h"
#include "foundation/flag_pair.h"

using namespace std::chrono_literals;

namespace {

std::atomic<bool> g_releaseStubborn{false};
std::atomic<int> g_loopPasses{0};

u32 StopsWhenAsked(void* argument) {
    auto* self = static_cast<classWorkerThread*>(argument);
    while (!self->IsStopRequested()) {
        g_loopPasses.fetch_add(1);
        self->SleepFor(1ms);
    }
    return 0;
}

u32 IgnoresStop(void*) {
    while (!g_releaseStubborn.load()) std::this_thread::sleep_for(1ms);
    return 0;
}

u32 SleepsLong(void* argument) {
    static_cast<classWorkerThread*>(argument)->SleepFor(60s);
    return 0;
}

}  // namespace

TEST(WorkerThread, StopResults) {
    classWorkerThread idle(StopsWhenAsked);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(idle.Stop(1000), 128u) << "a holder that never started has nothing to wait for";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);

    classWorkerThread worker(StopsWhenAsked);
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.IsStopRequested());
    EXPECT_EQ(worker.Stop(5000), 0u);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Stop(5000), 0u) << "a second stop of an ended thread returns at once";
}

TEST(WorkerThread, ThreadThatIgnoresTheRequestTimesOutAndKeepsRunning) {
    g_releaseStubborn = false;
    classWorkerThread stubborn(IgnoresStop);
    ASSERT_TRUE(stubborn.Start());
    EXPECT_EQ(stubborn.Stop(50), 258u);
    EXPECT_TRUE(stubborn.IsRunning());
    EXPECT_TRUE(stubborn.IsStopRequested());
    EXPECT_FALSE(stubborn.Start()) << "a running thread is not started twice";
    g_releaseStubborn = true;
    EXPECT_EQ(stubborn.Stop(5000), 0u);
}

TEST(WorkerThread, StopWakesAnInterruptibleSleepAtOnce) {
    classWorkerThread sleeper(SleepsLong);
    ASSERT_TRUE(sleeper.Start());
    std::this_thread::sleep_for(20ms);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(sleeper.Stop(5000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

TEST(WorkerThread, ANudgeEndsOneNudgeableSleep) {
    classWorkerThread holder;
    const auto far = std::chrono::steady_clock::now() + 60s;
    bool nudged = false;
    holder.Nudge();
    holder.Nudge();
    EXPECT_FALSE(holder.SleepUntil(far, &nudged)) << "a nudge is no stop request";
    EXPECT_TRUE(nudged) << "a nudge given before the sleep ends it";
    EXPECT_FALSE(holder.SleepUntil(std::chrono::steady_clock::now() + 5ms, &nudged));
    EXPECT_FALSE(nudged) << "two nudges end one sleep, and the deadline ends the next";

    holder.Nudge();
    EXPECT_FALSE(holder.SleepUntil(std::chrono::steady_clock::now() + 5ms));
    EXPECT_FALSE(holder.SleepUntil(far, &nudged));
    EXPECT_TRUE(nudged) << "a plain sleep leaves the nudge for the next nudgeable one";

    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        holder.Nudge();
    });
    EXPECT_FALSE(holder.SleepUntil(far, &nudged));
    EXPECT_TRUE(nudged) << "another thread's nudge ends a sleep under way";
    other.join();
}

TEST(WorkerThread, RestartsAfterItEndedAndClearsTheStopRequest) {
    classWorkerThread worker(StopsWhenAsked);
    ASSERT_TRUE(worker.Start());
    ASSERT_EQ(worker.Stop(5000), 0u);
    EXPECT_EQ(worker.RequestStop(1), 1);
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.IsStopRequested());
    int passes = g_loopPasses.load();
    while (g_loopPasses.load() == passes) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.Stop(5000), 0u);
    EXPECT_FALSE(classWorkerThread().Start()) << "no routine, no thread";
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    classCriticalSection section;
    section.Enter();
    section.Enter();
    std::atomic<bool> otherGotIn{false};
    std::thread other([&] { otherGotIn = section.TryEnter(); if (otherGotIn) section.Leave(); });
    other.join();
    EXPECT_FALSE(otherGotIn.load());
    section.Leave();
    section.Leave();
    std::thread again([&] { otherGotIn = section.TryEnter(); if (otherGotIn) section.Leave(); });
    again.join();
    EXPECT_TRUE(otherGotIn.load());
}

TEST(Event, AutoResetWakesOneWaitManualStaysSet) {
    classEvent automatic;
    EXPECT_FALSE(automatic.Wait(10));
    automatic.Set();
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(10)) << "an auto-reset event is consumed by its waiter";

    classEvent manual(true);
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(10));

    classEvent crossThread;
    std::thread setter([&] { std::this_thread::sleep_for(10ms); crossThread.Set(); });
    EXPECT_TRUE(crossThread.Wait(classEvent::kInfinite));
    setter.join();
}

TEST(FlagPair, RequestApplyAndDrop) {
    classFlagPair pair;
    EXPECT_EQ(pair.GetCurrent(), 0);
    EXPECT_FALSE(pair.IsChanged());
    pair.SetRequested(0);
    EXPECT_FALSE(pair.IsChanged()) << "asking for the state in force is no change";
    pair.SetRequested(1);
    EXPECT_TRUE(pair.IsChanged());
    EXPECT_EQ(pair.GetCurrent(), 0);
    pair.ApplyRequested();
    EXPECT_EQ(pair.GetCurrent(), 1);
    EXPECT_FALSE(pair.IsChanged());
    pair.SetRequested(0);
    pair.DropRequested();
    EXPECT_EQ(pair.GetRequested(), 1);
    EXPECT_FALSE(pair.IsChanged());
}

TEST(FlagPair, RequestArrivingWhileTheOwnerWorksIsKept) {
    classFlagPair pair;
    pair.SetRequested(1);
    u8 seen = pair.GetRequested();
    pair.SetRequested(0);  // the player changes their mind during the reset
    pair.Apply(seen);
    EXPECT_EQ(pair.GetCurrent(), 1);
    EXPECT_TRUE(pair.IsChanged()) << "the newer request still waits to be carried out";

    pair.SetRequested(0);
    seen = pair.GetRequested();
    pair.SetRequested(1);
    pair.DropRequested(seen);  // the owner gives up the old request only
    EXPECT_EQ(pair.GetRequested(), 1);
}

TEST(FlagPair, ConcurrentRequestsAreNeverLost) {
    classFlagPair pair;
    std::atomic<bool> done{false};
    std::thread owner([&] {
        while (!done.load()) {
            if (pair.IsChanged()) pair.Apply(pair.GetRequested());
        }
        if (pair.IsChanged()) pair.Apply(pair.GetRequested());
    });
    for (int i = 1; i <= 2000; ++i) pair.SetRequested(static_cast<u8>(i & 1));
    done = true;
    owner.join();
    EXPECT_EQ(pair.GetCurrent(), 0) << "the last request (2000 is even) is the one in force";
}
