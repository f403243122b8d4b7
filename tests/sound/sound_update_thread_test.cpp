#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "sound/sound_update_thread.h"
#include "tests/sound/sound_fixtures.h"

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

namespace {

// The three threads that touch sound at once: the update thread ticking, a
// render thread making, playing and deleting a voice layer, and a script
// thread asking whether it still plays. Run under the thread sanitizer, this
// shows every lookup and use happens under the one lock.
TEST(SoundUpdateThread, RenderScriptAndUpdateThreadsShareLayersSafely) {
    classSoundManager manager;
    ASSERT_TRUE(StartSoundUpdateThread());
    std::atomic<bool> stop{false};
    std::thread script([&] {
        while (!stop.load()) {
            manager.IsLayerPlayingByTime(99);
            u32 elapsed = 0, total = 0;
            manager.GetLayerTimes(99, &elapsed, &total);
            manager.IsVoicePlaying();
        }
    });
    const std::vector<u8> wave = soundfixtures::StereoWave(4410, 100);
    for (int i = 0; i < 200; ++i) {
        classCriticalSectionLock hold(g_soundLock);
        classSoundLayer* layer = manager.GetOrCreateLayer(99);
        layer->SetFiles("v.wav");
        layer->FileAt(0)->SetFileData(wave);
        layer->SetStream(static_cast<u8>(i & 1));
        layer->Play();
        layer->FadeVolume(i % 1000, 50);
        if (i % 3 == 0) manager.DeleteLayer(99);
    }
    stop.store(true);
    script.join();
    StopSoundUpdateThread();
    EXPECT_LE(manager.LayerCount(), 1u);
}

}  // namespace
