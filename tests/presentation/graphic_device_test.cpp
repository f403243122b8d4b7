// The device holder against an in-memory device and a hand-driven clock:
// lazy creation, the reset deadline on a wrapping clock, the back-buffer size
// rule, screen-mode resets with their one retry, and the lost-device cycle.

#include "presentation/graphic_device.h"

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/subsystem_hooks.h"
#include "platform/clock.h"
#include "support/fake_gpu_device.h"

namespace {

std::atomic<u32> g_now{1000};
u32 FakeNow() {
    return g_now.load();
}

int g_tilesReleased = 0;
int g_targetsReleased = 0;
int g_shadersReleased = 0;

class GraphicDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now = 1000;
        platform::SetClockSource(FakeNow);
        g_tilesReleased = g_targetsReleased = g_shadersReleased = 0;
        GetDeviceObjectHooks() = classDeviceObjectHooks{
            [] { ++g_targetsReleased; }, [] { ++g_tilesReleased; }, [] { ++g_shadersReleased; }};
        auto fake = std::make_unique<fakes::FakeGpuDevice>();
        gpu = fake.get();
        holder.Setup(
            std::move(fake), [this] { return client; }, 1280, 720, 0);
        holder.SetDisplaySizeSource([this] { return display; });
    }
    void TearDown() override {
        platform::SetClockSource(nullptr);
        GetDeviceObjectHooks() = classDeviceObjectHooks{};
    }
    // Start and the creating first frame.
    void StartReady() {
        ASSERT_TRUE(holder.Start());
        ASSERT_FALSE(holder.IsReady());
        ASSERT_TRUE(holder.IsReady());
    }

    platform::ClientSize client{1280, 720};
    platform::ClientSize display{1920, 1080};
    fakes::FakeGpuDevice* gpu = nullptr;
    classGraphicDevice holder;
};

TEST_F(GraphicDeviceTest, FirstFrameCreatesTheDeviceAndDrawsNothingSecondDraws) {
    EXPECT_EQ(holder.GetDevice(), nullptr) << "set-up before the render thread makes no device";
    EXPECT_EQ(gpu->creates, 0);
    ASSERT_TRUE(holder.Start());
    EXPECT_FALSE(holder.IsReady());
    EXPECT_NE(holder.GetDevice(), nullptr);
    EXPECT_TRUE(holder.IsReady());
    EXPECT_TRUE(holder.BeginFrame());
    holder.EndFrame();
    EXPECT_EQ(gpu->presents, 1);
}

TEST_F(GraphicDeviceTest, CreationThatFailsIsTriedAgainEveryFrame) {
    ASSERT_TRUE(holder.Start());
    gpu->resetFailures = 2;  // the creation's first two attempts cannot size the back buffer
    EXPECT_FALSE(holder.IsReady());
    EXPECT_FALSE(holder.IsReady());
    EXPECT_EQ(holder.GetDevice(), nullptr);
    EXPECT_FALSE(holder.BeginFrame());
    holder.EndFrame();
    EXPECT_EQ(gpu->presents, 0) << "nothing is shown without a device";
    EXPECT_FALSE(holder.IsReady()) << "the third attempt creates it; that frame still draws nothing";
    EXPECT_TRUE(holder.IsReady());
}

TEST_F(GraphicDeviceTest, NoContextMeansNoFrames) {
    gpu->createFailures = 1;
    EXPECT_FALSE(holder.Start());
    EXPECT_EQ(holder.GetDevice(), nullptr);
}

TEST_F(GraphicDeviceTest, ResetDeadlineFiresOneMillisecondAfterItAcrossTheClockWrap) {
    struct Case {
        const char* name;
        u32 armedAt;
        u32 deadline;  // armedAt + 100, and all ones where that sums to 0
        u32 quietAt[3];
        u32 firesAt;
    };
    const Case cases[] = {
        {"a deadline summing to zero is stored as all ones", 0xFFFFFF9Cu, 0xFFFFFFFFu,
         {0xFFFFFF9Cu, 0xFFFFFFFEu, 0xFFFFFFFFu}, 0},
        {"a deadline past the wrap", 0xFFFFFFF0u, 0x54u, {0xFFFFFFFFu, 0x10, 0x54}, 0x55},
        {"no wrap at all", 1000, 1100, {1000, 1099, 1100}, 1101},
    };
    StartReady();
    for (const Case& c : cases) {
        const size_t resetsBefore = gpu->resets.size();
        g_now = c.armedAt;
        holder.ArmResetDeadline(100);
        EXPECT_EQ(holder.GetResetDeadline(), c.deadline) << c.name;
        for (u32 quiet : c.quietAt) {
            g_now = quiet;
            EXPECT_TRUE(holder.IsReady()) << c.name << ": not due at " << quiet;
        }
        EXPECT_EQ(gpu->resets.size(), resetsBefore) << c.name;
        g_now = c.firesAt;
        EXPECT_FALSE(holder.IsReady()) << c.name << ": the reset runs";
        EXPECT_EQ(gpu->resets.size(), resetsBefore + 1) << c.name;
        EXPECT_EQ(holder.GetResetDeadline(), 0u) << c.name;
        EXPECT_TRUE(holder.IsReady()) << c.name;
    }
}

TEST_F(GraphicDeviceTest, ClientRectComesFromTheCacheUnlessRefreshed) {
    classDeviceRect rect;
    ASSERT_TRUE(holder.GetClientRect(&rect, 1));
    EXPECT_EQ(rect.right, 1280);
    client = {999, 555};
    ASSERT_TRUE(holder.GetClientRect(&rect, 0));
    EXPECT_EQ(rect.right, 1280) << "cached";
    ASSERT_TRUE(holder.GetClientRect(&rect, 1));
    EXPECT_EQ(rect.right, 999);
    EXPECT_EQ(rect.bottom, 555);
}

TEST_F(GraphicDeviceTest, FullScreenAndBackEachResetOnceAndAskTheWindowToFollow) {
    StartReady();
    holder.RequestFullScreen(true);
    EXPECT_NE(holder.GetResetDeadline(), 0u);
    EXPECT_FALSE(holder.IsFullScreen()) << "carried out by the render thread, not by the request";
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_TRUE(holder.IsFullScreen());
    EXPECT_EQ(gpu->resets.back(), std::make_pair(1920, 1080)) << "the back buffer covers the display";
    EXPECT_EQ(g_targetsReleased, 1);
    EXPECT_EQ(g_shadersReleased, 1);
    EXPECT_TRUE(holder.TakeModeSwitchRequest());
    EXPECT_FALSE(holder.TakeModeSwitchRequest()) << "taken once";
    EXPECT_FALSE(holder.TakeRestorePlacementRequest());

    holder.RequestFullScreen(false);
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_FALSE(holder.IsFullScreen());
    EXPECT_EQ(gpu->resets.back(), std::make_pair(1280, 720));
    EXPECT_TRUE(holder.TakeModeSwitchRequest());
    EXPECT_TRUE(holder.TakeRestorePlacementRequest()) << "leaving full screen restores the window's place";
}

TEST_F(GraphicDeviceTest, FullScreenBackBufferIsTheDisplayTheWindowIsOnAtTheSwitch) {
    struct Case {
        const char* name;
        platform::ClientSize display;  // what the window's display says at the switch
        std::pair<int, int> backBuffer;
    };
    const Case cases[] = {
        {"the display the program started on", {1920, 1080}, {1920, 1080}},
        {"a display changed since start-up", {2560, 1440}, {2560, 1440}},
        {"a portrait display", {1080, 1920}, {1080, 1920}},
        {"a display that cannot be asked", {0, 0}, {1280, 720}},
    };
    StartReady();
    for (const Case& c : cases) {
        display = c.display;
        holder.RequestFullScreen(true);
        g_now += 1;
        EXPECT_FALSE(holder.IsReady()) << c.name;
        EXPECT_EQ(gpu->resets.back(), c.backBuffer) << c.name;
        EXPECT_EQ(gpu->BackBufferWidth(), c.backBuffer.first) << c.name;
        // A resize in full screen keeps the size the switch chose.
        display = {640, 480};
        holder.ArmResetDeadline(0);
        g_now += 1;
        EXPECT_FALSE(holder.IsReady()) << c.name;
        EXPECT_EQ(gpu->resets.back(), c.backBuffer) << c.name << ": a later reset in full screen";
        holder.RequestFullScreen(false);
        g_now += 1;
        EXPECT_FALSE(holder.IsReady()) << c.name;
        EXPECT_EQ(gpu->resets.back(), std::make_pair(1280, 720)) << c.name << ": back in the window";
    }
}

TEST_F(GraphicDeviceTest, WindowResizeGivesTheBackBufferTheClientSize) {
    struct Case {
        const char* name;
        platform::ClientSize client;
        std::pair<int, int> backBuffer;
    };
    const Case cases[] = {
        {"a larger window", {1600, 900}, {1600, 900}},
        {"a wide window below half the logical height", {1900, 300}, {1900, 720}},
        {"a window below half the logical size", {600, 300}, {1280, 720}},
        {"just over half the width, exactly half the height", {641, 360}, {641, 720}},
        {"exactly half the width", {640, 500}, {1280, 500}},
        {"back at the logical size", {1280, 720}, {1280, 720}},
    };
    StartReady();
    for (const Case& c : cases) {
        client = c.client;
        holder.ArmResetDeadline(100);
        g_now += 100;
        EXPECT_TRUE(holder.IsReady()) << c.name << ": not yet at the very millisecond";
        g_now += 1;
        EXPECT_FALSE(holder.IsReady()) << c.name;
        EXPECT_EQ(gpu->resets.back(), c.backBuffer) << c.name;
        EXPECT_EQ(std::make_pair(gpu->BackBufferWidth(), gpu->BackBufferHeight()), c.backBuffer) << c.name;
    }
}

TEST_F(GraphicDeviceTest, TwoTogglesBeforeAFrameStillResetButSwitchNothing) {
    StartReady();
    holder.RequestFullScreen(true);
    holder.RequestFullScreen(false);
    EXPECT_NE(holder.GetResetDeadline(), 0u) << "the second request leaves the deadline armed";
    size_t resetsBefore = gpu->resets.size();
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_EQ(gpu->resets.size(), resetsBefore + 1);
    EXPECT_FALSE(holder.IsFullScreen());
    EXPECT_FALSE(holder.TakeModeSwitchRequest());
}

TEST_F(GraphicDeviceTest, FailedResetDropsTheRequestRetriesOnceAndRestoresTheWindow) {
    StartReady();
    size_t resetsBefore = gpu->resets.size();
    gpu->resetFailures = 1;
    holder.RequestFullScreen(true);
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    ASSERT_EQ(gpu->resets.size(), resetsBefore + 2) << "the full-screen attempt, then the old state once";
    EXPECT_EQ(gpu->resets[resetsBefore], std::make_pair(1920, 1080));
    EXPECT_EQ(gpu->resets[resetsBefore + 1], std::make_pair(1280, 720));
    EXPECT_FALSE(holder.IsFullScreen());
    EXPECT_EQ(holder.fullScreen.GetRequested(), 0) << "the request is forgotten";
    EXPECT_GE(g_tilesReleased, 1);
    EXPECT_TRUE(holder.TakeModeSwitchRequest());
    EXPECT_TRUE(holder.TakeRestorePlacementRequest());
    EXPECT_TRUE(holder.IsReady()) << "the next frame draws again";

    holder.RequestFullScreen(true);
    EXPECT_NE(holder.GetResetDeadline(), 0u) << "the same request arms a new reset";
}

TEST_F(GraphicDeviceTest, ResetThatKeepsFailingIsRetriedExactlyOnce) {
    StartReady();
    size_t resetsBefore = gpu->resets.size();
    gpu->resetFailures = 100;
    holder.RequestFullScreen(true);
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_EQ(gpu->resets.size(), resetsBefore + 2);
}

TEST_F(GraphicDeviceTest, LostDeviceSkipsFramesUntilItMayBeResetThenResets) {
    StartReady();
    gpu->presentFails = true;
    ASSERT_TRUE(holder.BeginFrame());
    holder.EndFrame();
    EXPECT_TRUE(holder.IsDeviceLost());
    gpu->presentFails = false;
    gpu->canReset = false;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_FALSE(holder.IsReady());
    EXPECT_TRUE(holder.IsDeviceLost());
    gpu->canReset = true;
    size_t resetsBefore = gpu->resets.size();
    EXPECT_FALSE(holder.IsReady());
    EXPECT_FALSE(holder.IsDeviceLost());
    EXPECT_EQ(gpu->resets.size(), resetsBefore) << "the reset waits for its deadline";
    g_now += 1;
    EXPECT_FALSE(holder.IsReady());
    EXPECT_EQ(gpu->resets.size(), resetsBefore + 1);
    EXPECT_TRUE(holder.IsReady());
}

TEST_F(GraphicDeviceTest, TransformsNeedADeviceAndAreKept) {
    platform::GpuMatrix view;
    view.m[14] = -12800.f;
    EXPECT_FALSE(holder.SetView(view));
    StartReady();
    EXPECT_TRUE(holder.SetView(view));
    EXPECT_EQ(holder.GetView().m[14], -12800.f);
    EXPECT_EQ(gpu->view.m[14], -12800.f);
}

TEST_F(GraphicDeviceTest, StopReleasesTheDeviceAndTheHolderIsGlobalWhileItLives) {
    StartReady();
    holder.Stop();
    EXPECT_EQ(gpu->releases, 1);
    EXPECT_EQ(holder.GetDevice(), nullptr);
    EXPECT_EQ(g_tilesReleased, 1);

    auto* other = classGraphicDevice::Create();
    SetGraphicDevice(other);
    EXPECT_EQ(GetGraphicDevice(), other);
    classGraphicDevice::Destroy(other);
    EXPECT_EQ(GetGraphicDevice(), nullptr);
}

}  // namespace

namespace {

TEST(GraphicDeviceRegistration, FillsTheDeviceAndTheDrawingHooks) {
    SubsystemHooks saved = GetSubsystemHooks();
    GetSubsystemHooks() = SubsystemHooks{};
    RegisterGraphicDeviceSubsystem();
    EXPECT_NE(GetSubsystemHooks().createFrameDevice, nullptr);
    EXPECT_NE(GetSubsystemHooks().drawScenes, nullptr)
        << "a device without drawing would present every frame";
    GetSubsystemHooks() = saved;
}

}  // namespace
