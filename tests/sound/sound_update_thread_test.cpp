#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "sound/sound_update_thread.h"

namespace {

TEST(SoundUpdateThread, SlotsHoldEachManagerOnceAndAtMostTen) {
    classSoundUpdateThread& thread = classSoundUpdateThread::Instance();
    const int before = thread.UsedSlots();
    {
        classSoundManager first;  // registers itself
        EXPECT_EQ(thread.UsedSlots(), before + 1);
        RegisterSoundTickClient(&first, 1);
        EXPECT_EQ(thread.UsedSlots(), before + 1);
        std::vector<std::unique_ptr<classSoundManager>> more;
        for (int i = 0; i < 12; ++i) more.push_back(std::make_unique<classSoundManager>());
        EXPECT_EQ(thread.UsedSlots(), classSoundUpdateThread::kSlotCount);
    }
    EXPECT_EQ(thread.UsedSlots(), before);
}

TEST(SoundUpdateThread, TicksFadesInRealTimeAndStopsOnRequest) {
    classSoundManager manager;
    classSoundLayer* layer = manager.GetOrCreateLayer(1);
    {
        classCriticalSectionLock hold(g_soundLock);
        layer->SetVolume(0);
        layer->FadeVolume(1000, 300);
    }
    ASSERT_TRUE(StartSoundUpdateThread());
    bool done = false;
    for (int i = 0; i < 400 && !done; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        classCriticalSectionLock hold(g_soundLock);
        done = !layer->IsFading();
    }
    auto asked = std::chrono::steady_clock::now();
    StopSoundUpdateThread();
    // The stop interrupts the 100 ms sleep instead of waiting it out.
    EXPECT_FALSE(classSoundUpdateThread::Instance().IsRunning());
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    EXPECT_TRUE(done);
    EXPECT_EQ(layer->GetVolume(), 1000);
}

TEST(SoundSystem, StartsWithOrWithoutADeviceAndShutsDownCleanly) {
    EXPECT_TRUE(InitSoundSystem());
    EXPECT_TRUE(classSoundUpdateThread::Instance().IsRunning());
    ShutdownSoundSystem();
    EXPECT_FALSE(classSoundUpdateThread::Instance().IsRunning());
}

}  // namespace
