#include "foundation/application.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/fake_window.h"
#include "foundation/player_files.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"

using namespace std::chrono_literals;
using namespace platform;

namespace {

// One application object per test, with hooks restored afterwards.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedHooks_ = GetSubsystemHooks();
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
    }
    void TearDown() override {
        if (app != nullptr) app->graphicDevice = nullptr;  // the tests own their fakes
        ShutdownApplication();
        GetSubsystemHooks() = savedHooks_;
    }

    classApplication* app = nullptr;

private:
    SubsystemHooks savedHooks_;
};

// Starts a WaitFrame on another thread and reports when it returns.
class Waiter {
public:
    // Returns once the thread is inside WaitFrame, so a frame rendered after
    // the constructor is one the wait must accept, however slow the machine.
    explicit Waiter(classApplication* app) {
        const int before = app->FrameWaiterCount();
        thread_ = std::thread([this, app] {
            app->WaitFrame();
            returned_ = true;
        });
        while (app->FrameWaiterCount() <= before && !returned_.load()) std::this_thread::sleep_for(1ms);
    }
    ~Waiter() { thread_.join(); }
    bool Returned() const { return returned_.load(); }
    bool ReturnsWithin(std::chrono::milliseconds limit) const {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!returned_.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
        return returned_.load();
    }

private:
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

std::atomic<int> g_offered{0};
std::atomic<u32> g_lastOffered{0};
bool RecordOffer(const WindowMessage& message) {
    g_offered.fetch_add(1);
    g_lastOffered = message.message;
    return false;
}
bool CtrlDown(u32 vk) { return vk == VK_CONTROL; }

// What one frame asked of the subsystems, in order.
std::vector<std::string> g_frameSteps;
bool g_lockHeldInFrame = true;
void NoteLockHeld() {
    // Another thread cannot take the application lock while the frame holds it.
    std::thread probe([] {
        bool free = GetApplication()->lock.TryEnter();
        if (free) GetApplication()->lock.Leave();
        if (free) g_lockHeldInFrame = false;
    });
    probe.join();
}
void ExecuteQueues() { g_frameSteps.push_back("queues"); NoteLockHeld(); }
void UpdateScenes(u32) { g_frameSteps.push_back("update"); }
void DrawScenes() { g_frameSteps.push_back("draw"); NoteLockHeld(); }

}  // namespace

TEST_F(ApplicationTest, DefaultsOfTheObject) {
    EXPECT_EQ(app->logicalWidth, 800);
    EXPECT_EQ(app->logicalHeight, 600);
    EXPECT_EQ(app->windowStyle, 0xCF0000u);
    EXPECT_EQ(app->windowExStyle, 0x40000u);
    EXPECT_FLOAT_EQ(app->frameInterval, 16.666666f);
    EXPECT_EQ(app->textColor.load(), 0xFFFFFF);
    EXPECT_EQ(app->textSpeed.load(), 100);
    EXPECT_EQ(app->textRequestValue.load(), 300);
    EXPECT_EQ(app->keyWaitAfterVoiceStop.load(), 1);
    EXPECT_EQ(app->autoSpeed.load(), 1000);
    EXPECT_EQ(app->dataFolder, "Hollin-Gate/Merisande/");
    EXPECT_EQ(app->frameCounter.load(), 0u);
    EXPECT_FALSE(app->IsQuitting());
}

// The build's player folder becomes every new application's; a folder that
// would be the data home itself is never taken.
TEST(PlayerFiles, TheBuildsFolderAndIdentityAreTheGames) {
    struct Case {
        const char* given;
        const char* folder;
        u8 firstByte;
    } cases[] = {
        {"Maker/Game", "Maker/Game/", 1},
        {"Other/Game/", "Other/Game/", 2},
        {"", "Other/Game/", 3},
        {"/", "Other/Game/", 4},
    };
    for (const Case& c : cases) {
        const u8 identity[16] = {c.firstByte, 0xEE};
        UsePlayerFiles(c.given, identity);
        ASSERT_TRUE(InitApplication());
        EXPECT_EQ(GetApplication()->dataFolder, c.folder) << c.given;
        ShutdownApplication();
        EXPECT_EQ(g_applicationGuid[0], c.firstByte) << c.given;
        EXPECT_EQ(g_applicationGuid[1], 0xEE) << c.given;
    }
    UsePlayerFiles(kDefaultPlayerFolder, kDefaultPlayerIdentity);
    EXPECT_EQ(PlayerFolderName(), "Hollin-Gate/Merisande/");
}

// A wait for a frame returns after the next frame that ran whole, or on quit;
// frame numbers wrap.
TEST_F(ApplicationTest, WaitFrameReturnsAfterTheNextWholeFrameOrOnQuit) {
    struct Case {
        const char* name;
        u32 frame, done;  // frame 5 begun but not ended: 5, 4
        void (*during)(classApplication*);
        bool returns;
        u32 doneAfter;
    };
    const Case cases[] = {
        {"the running frame's end is not enough", 5, 4,
         [](classApplication* a) { a->frameDoneCounter = 5; a->WakeFrameWaiters(); }, false, 5},
        {"the next whole frame", 5, 4,
         [](classApplication* a) { a->frameDoneCounter = 5; a->WakeFrameWaiters(); a->RenderFrame(); }, true, 6},
        {"one frame across the wrap", 0xFFFFFFFFu, 0xFFFFFFFFu, [](classApplication* a) { a->RenderFrame(); }, true, 0},
        {"no frame comes", 3, 3, [](classApplication*) {}, false, 3},
        {"quit", 3, 3, [](classApplication* a) { a->RequestQuit(); }, true, 3},
    };
    for (const Case& c : cases) {
        app->frameCounter = c.frame;
        app->frameDoneCounter = c.done;
        {
            Waiter waiter(app);
            std::this_thread::sleep_for(20ms);
            c.during(app);
            if (c.returns) {
                EXPECT_TRUE(waiter.ReturnsWithin(5s)) << c.name;
            } else {
                std::this_thread::sleep_for(30ms);
                EXPECT_FALSE(waiter.Returned()) << c.name;
            }
            EXPECT_EQ(app->frameDoneCounter.load(), c.doneAfter) << c.name;
            app->RequestQuit();  // lets a wait the case left blocked go
        }
        app->quitRequested = 0;
    }
    app->isQuitting = 1;  // stored without a wake-up: still noticed
    Waiter late(app);
    EXPECT_TRUE(late.ReturnsWithin(5s));
}

TEST_F(ApplicationTest, SkipRequests) {
    EXPECT_FALSE(app->IsSkipRequested());
    app->skipPlaying = 1;
    EXPECT_TRUE(app->IsSkipRequested());
    EXPECT_TRUE(IsSkipRequested());
    app->skipPlaying = 0;

    fakes::FakeWindow window;
    app->windowHandle = &window;
    GetSubsystemHooks().isVirtualKeyDown = CtrlDown;
    EXPECT_TRUE(app->IsSkipRequested()) << "Ctrl skips whichever window is in front";
    EXPECT_TRUE(app->IsCtrlSkip());
    window.focus = false;
    EXPECT_FALSE(app->IsCtrlSkip()) << "Ctrl held over another window is no Ctrl skip";
    EXPECT_TRUE(app->IsSkipRequested());
    app->windowHandle = nullptr;
}

TEST(ApplicationLifetime, NullSafeHelpersOutsideTheObjectsLife) {
    ASSERT_EQ(GetApplication(), nullptr);
    WaitFrame();  // returns at once
    EXPECT_FALSE(IsSkipRequested());
}

TEST_F(ApplicationTest, WindowProcedureHandlesCloseSizeAndScreenMode) {
    fakes::FakeWindow window;
    fakes::FakeDevice device;
    app->windowHandle = &window;
    app->graphicDevice = &device;
    GetSubsystemHooks().onWindowMessage = RecordOffer;
    g_offered = 0;

    app->closeDisabled = 1;
    EXPECT_TRUE(app->HandleWindowMessage({WM_CLOSE, 0, 0})) << "a refused close is handled";
    EXPECT_EQ(g_lastOffered.load(), WM_CLOSE) << "scripts still see the close";
    WndProc({WM_CLOSE, 0, 0});
    EXPECT_FALSE(app->IsQuitting());
    EXPECT_EQ(app->quitRequested.load(), 0);

    EXPECT_FALSE(app->HandleWindowMessage({WM_SIZE, SIZE_MAXIMIZED, 0}));
    EXPECT_EQ(app->sizeState.load(), 2u);
    EXPECT_EQ(device.resetsArmed.load(), 1);
    app->HandleWindowMessage({WM_SIZE, 7, 0});
    EXPECT_EQ(app->sizeState.load(), 2u) << "unknown size kinds leave the state";

    int offeredBefore = g_offered.load();
    EXPECT_TRUE(app->HandleWindowMessage({WM_SYSKEYDOWN, VK_RETURN, kAltDownBit | 1}));
    EXPECT_EQ(device.RequestedFullScreen(), 1);
    EXPECT_EQ(g_offered.load(), offeredBefore) << "Alt+Enter never reaches a script's wait";
    EXPECT_FALSE(app->HandleWindowMessage({WM_KEYDOWN, VK_RETURN, 1}));
    EXPECT_EQ(g_lastOffered.load(), WM_KEYDOWN);
    EXPECT_EQ(g_offered.load(), offeredBefore + 1);
    EXPECT_EQ(device.RequestedFullScreen(), 1) << "Enter alone changes no mode";

    app->HandleWindowMessage({WM_SETCURSOR, 0, 1});
    EXPECT_EQ(window.cursorApplied.load(), 1);

    app->closeDisabled = 0;
    WndProc({WM_CLOSE, 0, 0});
    EXPECT_TRUE(app->IsQuitting());
    EXPECT_EQ(app->quitRequested.load(), 1);
    EXPECT_EQ(window.Log().back(), "hide");
    app->windowHandle = nullptr;
}

TEST(SystemCommandFilter, SwallowsWhatFullScreenAndMaximizedForbid) {
    const u32 style = 0xCF0000;
    for (u64 command : {SC_SIZE, SC_MOVE, SC_MAXIMIZE, SC_KEYMENU}) {
        EXPECT_TRUE(IsSystemCommandSwallowed(command, true, style, 0)) << command;
        EXPECT_FALSE(IsSystemCommandSwallowed(command, false, style, 0)) << command;
    }
    EXPECT_TRUE(IsSystemCommandSwallowed(SC_MAXIMIZE, false, style & ~0x10000u, 0));
    EXPECT_TRUE(IsSystemCommandSwallowed(SC_MOVE, false, style, 2));
    EXPECT_FALSE(IsSystemCommandSwallowed(SC_SIZE, false, style, 2));
    EXPECT_FALSE(IsSystemCommandSwallowed(0xF060, true, style, 0)) << "close stays allowed";
}

TEST_F(ApplicationTest, ScreenModeSwitchIsHandedToTheUiThread) {
    fakes::FakeWindow window;
    fakes::FakeDevice device;
    app->windowHandle = &window;
    app->graphicDevice = &device;
    app->logicalWidth = 1280;
    app->logicalHeight = 720;

    device.RequestFullScreen(true);
    app->RenderFrame();
    EXPECT_TRUE(window.Log().empty()) << "nothing happens to the window off the UI thread";
    WindowMessage message;
    EXPECT_FALSE(window.WaitMessage(message));  // runs the posted task
    EXPECT_EQ(window.Log(), (std::vector<std::string>{"fullscreen"}));

    device.RequestFullScreen(false);
    app->RenderFrame();
    window.WaitMessage(message);
    EXPECT_EQ(window.Log().back(), "restore 1280x720") << "leaving full screen restores size and place";
    EXPECT_EQ(device.frames.load(), 2);
    app->windowHandle = nullptr;
}

TEST_F(ApplicationTest, TitleAndShowChangesFromOtherThreadsRunOnTheUiThread) {
    fakes::FakeWindow window;
    app->windowHandle = &window;
    std::thread script([this] {
        app->SetWindowTitle("Chapter 1");
        app->ShowMainWindow(false);
    });
    script.join();
    EXPECT_TRUE(window.Log().empty());
    EXPECT_EQ(app->windowTitle, "");
    WindowMessage message;
    window.WaitMessage(message);
    window.WaitMessage(message);
    EXPECT_EQ(window.Log(), (std::vector<std::string>{"title Chapter 1", "hide"}));
    EXPECT_EQ(app->windowTitle, "Chapter 1");
    app->windowHandle = nullptr;
    EXPECT_FALSE(app->ShowMainWindow(true)) << "no window, nothing to show";
}

TEST_F(ApplicationTest, AFrameRunsQueuesUpdatesAndDrawsUnderTheApplicationLock) {
    fakes::FakeDevice device;
    app->graphicDevice = &device;
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.executeAllQueues = ExecuteQueues;
    hooks.updateScenes = UpdateScenes;
    hooks.drawScenes = DrawScenes;
    g_frameSteps.clear();
    g_lockHeldInFrame = true;
    app->RenderFrame();
    EXPECT_EQ(g_frameSteps, (std::vector<std::string>{"queues", "update", "draw"}));
    EXPECT_TRUE(g_lockHeldInFrame);
    EXPECT_EQ(app->frameCounter.load(), 1u) << "frames are numbered from 1";
    EXPECT_EQ(app->frameDoneCounter.load(), 1u);
    EXPECT_EQ(device.frames.load(), 1);

    app->graphicDevice = nullptr;  // no device: the frame still runs and counts
    g_frameSteps.clear();
    app->RenderFrame();
    EXPECT_EQ(g_frameSteps, (std::vector<std::string>{"queues", "update"}));
    EXPECT_EQ(app->frameDoneCounter.load(), 2u);
}

// Frames ten seconds apart: only a frame let in between them can end a wait
// within the test. One is let in for records committed while the screen
// stands still, as soon as a thread waits; not without records, nor while
// frames are being shown.
TEST_F(ApplicationTest, CommittedRecordsOnAStillScreenAreShownWithoutWaitingForTheSchedule) {
    fakes::FakeDevice device;
    device.shows = false;
    app->graphicDevice = &device;
    app->frameInterval = 10000.f;
    ASSERT_TRUE(g_renderThread.StartWithRoutine(RenderThreadProc));
    while (app->frameDoneCounter.load() < 1) std::this_thread::sleep_for(1ms);

    NoteCommittedRecords();
    {
        Waiter committed(app);
        EXPECT_TRUE(committed.ReturnsWithin(5s)) << "records committed to a still screen";
    }
    {
        Waiter nothingNew(app);
        EXPECT_FALSE(nothingNew.ReturnsWithin(100ms)) << "a wait with nothing committed";
        device.shows = true;
        device.samePicture = true;  // drawn again, but nothing on it moved
        NoteCommittedRecords();
        ShowCommittedRecords();
        EXPECT_TRUE(nothingNew.ReturnsWithin(5s)) << "another thread's commit and wait";
    }
    device.samePicture = false;
    NoteCommittedRecords();
    {
        Waiter afterTheSamePicture(app);
        EXPECT_TRUE(afterTheSamePicture.ReturnsWithin(5s)) << "records committed after a frame that moved nothing";
    }
    NoteCommittedRecords();
    {
        Waiter moving(app);
        EXPECT_FALSE(moving.ReturnsWithin(100ms)) << "records committed while the last frame was shown";
        app->RequestQuit();
    }
    g_renderThread.Stop(5000);
}
