#include "foundation/entry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include <thread>

#include "foundation/application.h"
#include "foundation/player_files.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"
#include "platform/instance_lock.h"
#include "support/fake_window.h"
#include "support/temp_folder.h"

using namespace platform;

#if defined(__SANITIZE_THREAD__)
constexpr bool kUnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kUnderThreadSanitizer = true;
#else
constexpr bool kUnderThreadSanitizer = false;
#endif
#else
constexpr bool kUnderThreadSanitizer = false;
#endif

namespace {

// Everything a run observes, reset by the fixture.
struct Observed {
    std::atomic<fakes::FakeWindow*> window{nullptr};
    std::atomic<fakes::FakeDevice*> device{nullptr};
    std::atomic<bool> deviceStarts{true};
    std::atomic<int> windowsMade{0};
    std::atomic<int> framesSeenByScript{0};
    std::atomic<int> systemFilesWritten{0};
    std::atomic<bool> threadAliveAtWrite{false};
    std::atomic<bool> applicationAliveAtWrite{false};
    std::atomic<bool> functionThreadRan{false};
    std::atomic<bool> readBeforeWindow{false};
    std::atomic<bool> preparedOffTheUiThread{false};
    std::atomic<bool> preparedBeforeScript{false};
};
Observed* g_seen = nullptr;

std::unique_ptr<FrameDevice> MakeFakeDevice(Window&, int, int) {
    auto device = std::make_unique<fakes::FakeDevice>();
    device->startResult = g_seen->deviceStarts.load();
    g_seen->device = device.get();
    return device;
}

void ReadSystemData() { g_seen->readBeforeWindow = g_seen->windowsMade.load() == 0; }

void WriteSystemData() {
    g_seen->systemFilesWritten.fetch_add(1);
    g_seen->threadAliveAtWrite = g_renderThread.IsRunning() || g_startupScriptThread.IsRunning() ||
                                 g_functionScriptThread.IsRunning();
    g_seen->applicationAliveAtWrite = GetApplication() != nullptr;
}

u32 FunctionScriptProc(void* argument) {
    auto* self = static_cast<classWorkerThread*>(argument);
    g_seen->functionThreadRan = true;
    // Blocks in frame waits until the program ends, as a script would.
    while (!self->IsStopRequested()) WaitFrame();
    return 0;
}

// A main script that watches three frames go by and then closes the window
// the way the player would.
std::thread::id g_uiThread;
std::atomic<bool> g_prepared{false};

void PrepareWhileTheWindowOpens() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_seen->preparedOffTheUiThread = std::this_thread::get_id() != g_uiThread;
    g_prepared = true;
}

u32 ScriptThatCloses(void*) {
    g_seen->preparedBeforeScript = g_prepared.load();
    g_functionScriptThread.StartWithRoutine(FunctionScriptProc);
    for (int i = 0; i < 3; ++i) {
        WaitFrame();
        g_seen->framesSeenByScript.fetch_add(1);
    }
    g_seen->window.load()->PostMessage(WindowMessage{WM_CLOSE, 0, 0});
    return 0;
}

std::atomic<bool> g_releaseStuck{false};
std::string g_markerPath;

// A script thread that never looks at its stop request.
u32 StuckFunctionProc(void*) {
    while (!g_releaseStuck.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
}

u32 ScriptThatLeavesAStuckThread(void*) {
    g_functionScriptThread.StartWithRoutine(StuckFunctionProc);
    WaitFrame();
    g_seen->window.load()->PostMessage(WindowMessage{WM_CLOSE, 0, 0});
    return 0;
}

void WriteMarker() {
    FILE* marker = std::fopen(g_markerPath.c_str(), "w");
    if (marker != nullptr) {
        std::fputs(GetApplication() != nullptr ? "written, object alive" : "written, object gone", marker);
        std::fclose(marker);
    }
}

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen = &seen;
        savedHooks_ = GetSubsystemHooks();
        SubsystemHooks& hooks = GetSubsystemHooks();
        hooks.createFrameDevice = MakeFakeDevice;
        hooks.readSystemData = ReadSystemData;
        hooks.writeSystemData = WriteSystemData;
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        SetDialogService(&dialogs);
        environment.workingDirectory = folder.Path().string();
        environment.lockDirectory = folder / "locks";
        std::filesystem::create_directories(environment.lockDirectory);
        environment.createWindow = [] {
            auto window = std::make_unique<fakes::FakeWindow>();
            g_seen->window = window.get();
            g_seen->windowsMade.fetch_add(1);
            return window;
        };
    }
    void TearDown() override {
        SetDialogService(nullptr);
        GetSubsystemHooks() = savedHooks_;
        unsetenv("XDG_DATA_HOME");
        g_seen = nullptr;
    }

    Observed seen;
    testfiles::TempFolder folder;
    fakes::RecordingDialogs dialogs;
    EntryEnvironment environment;

private:
    SubsystemHooks savedHooks_;
};

}  // namespace

TEST_F(EntryTest, RunsFramesUntilClosedAndJoinsEveryThreadBeforeWritingFiles) {
    GetSubsystemHooks().startupScriptRoutine = ScriptThatCloses;
    GetSubsystemHooks().prepareWhileTheWindowOpens = PrepareWhileTheWindowOpens;
    g_uiThread = std::this_thread::get_id();
    g_prepared = false;
    EXPECT_EQ(RunApplication(environment), 0);
    EXPECT_EQ(seen.framesSeenByScript.load(), 3);
    EXPECT_TRUE(seen.functionThreadRan.load());
    EXPECT_EQ(seen.systemFilesWritten.load(), 1);
    EXPECT_FALSE(seen.threadAliveAtWrite.load()) << "files are written only after every thread has ended";
    EXPECT_TRUE(seen.applicationAliveAtWrite.load());
    EXPECT_TRUE(seen.readBeforeWindow.load());
    EXPECT_TRUE(seen.preparedOffTheUiThread.load()) << "prepared beside the window";
    EXPECT_TRUE(seen.preparedBeforeScript.load()) << "and done before the start-up script runs";
    EXPECT_EQ(GetApplication(), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "data/Hollin-Gate/Merisande"))
        << "the per-user folder is made with its missing parents";
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(EntryTest, TemporariesOfCutOffSavesAreRemovedAtStartUpAndNothingElse) {
    const std::string user = "data/Hollin-Gate/Merisande/";
    // No process has pid 2^22 + 1, above the kernel's largest.
    folder.Put(user + "save0001.dat.tmp-4194305-0", std::string("cut off"));
    folder.Put(user + "save0001.dat", std::string("the slot"));
    folder.Put(user + "notes.tmp", std::string("not ours"));
    GetSubsystemHooks().startupScriptRoutine = ScriptThatCloses;
    EXPECT_EQ(RunApplication(environment), 0);
    auto names = folder.List(user);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"notes.tmp", "save0001.dat"}));
}

TEST_F(EntryTest, ACopyWhosePlayerFolderIsInUseIsRefusedBeforeItTouchesTheFolder) {
    const std::string user = "data/Hollin-Gate/Merisande/";
    const std::string stale = user + "save0001.dat.tmp-4194305-0";
    folder.Put(stale, std::string("cut off"));
    // The copy in another working directory that plays on these files.
    InstanceLock playing;
    ASSERT_EQ(playing.Acquire(folder / user, environment.lockDirectory, LockedDirectory::PlayerFolder),
              InstanceLockResult::Acquired);
    GetSubsystemHooks().startupScriptRoutine = ScriptThatCloses;
    const u8 ownIdentity[16] = {1};
    struct Case {
        const char* name;
        const char* playerFolder;  // null: the default one
        std::vector<std::string> boxes;
        int windows;
    } cases[] = {
        {"the default folder, in use", nullptr, {"[!] ２重起動 Error|同一アプリケーションが既に起動されています"}, 0},
        {"a game with its own folder", "Own Maker/Own Game", {}, 1},
    };
    for (const Case& c : cases) {
        if (c.playerFolder != nullptr) UsePlayerFiles(c.playerFolder, ownIdentity);
        seen.windowsMade = 0;
        seen.readBeforeWindow = false;
        const std::size_t shownBefore = dialogs.Shown().size();
        EXPECT_EQ(RunApplication(environment), 0) << c.name;
        UsePlayerFiles(kDefaultPlayerFolder, kDefaultPlayerIdentity);
        const std::vector<std::string> shown = dialogs.Shown();
        EXPECT_EQ(std::vector<std::string>(shown.begin() + shownBefore, shown.end()), c.boxes) << c.name;
        EXPECT_EQ(seen.windowsMade.load(), c.windows) << c.name;
        EXPECT_EQ(seen.readBeforeWindow.load(), c.windows == 1) << c.name << ": System.dat read";
        EXPECT_TRUE(std::filesystem::exists(folder / stale)) << c.name << ": the running copy's folder is not cleaned";
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder / "data/Own Maker/Own Game"));
}

TEST_F(EntryTest, WithoutAScriptRuntimeTheWindowStaysOpenUntilClosed) {
    std::thread closer([this] {
        while (seen.window.load() == nullptr || GetApplication() == nullptr ||
               GetApplication()->frameDoneCounter.load() < 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(g_startupScriptThread.IsRunning()) << "the stand-in script thread waits for the end";
        seen.window.load()->PostMessage(WindowMessage{WM_CLOSE, 0, 0});
    });
    EXPECT_EQ(RunApplication(environment), 0);
    closer.join();
    EXPECT_FALSE(g_startupScriptThread.IsRunning());
    EXPECT_EQ(seen.systemFilesWritten.load(), 1);
}

TEST_F(EntryTest, DataFolderThatCannotBeMadeEndsWithItsBox) {
    folder.Put("blocker", "a file where a folder should go");
    setenv("XDG_DATA_HOME", (folder / "blocker").c_str(), 1);
    EXPECT_EQ(RunApplication(environment), 0);
    EXPECT_EQ(dialogs.Shown(), (std::vector<std::string>{"[!] Data Folder Create Error|データフォルダの作成に失敗しました"}));
    EXPECT_EQ(seen.windowsMade.load(), 0);
    EXPECT_EQ(GetApplication(), nullptr);
}

TEST_F(EntryTest, NoGraphicsDeviceReportsAndEndsCleanly) {
    seen.deviceStarts = false;
    EXPECT_EQ(RunApplication(environment), 0);
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].substr(0, 31), "[!] Direct3D DeviceCreateError|");
    EXPECT_FALSE(g_startupScriptThread.IsRunning()) << "its first-frame wait ended on quit";
    EXPECT_EQ(seen.systemFilesWritten.load(), 1);
}

TEST_F(EntryTest, WindowThatCannotOpenIsAFailure) {
    environment.createWindow = [] {
        auto window = std::make_unique<fakes::FakeWindow>();
        window->createResult = false;
        return window;
    };
    EXPECT_EQ(RunApplication(environment), 1);
    EXPECT_EQ(GetApplication(), nullptr);
}

TEST_F(EntryTest, AThreadThatWillNotStopStillGetsTheFilesWrittenAndThenTheProcessLeaves) {
    if (kUnderThreadSanitizer) GTEST_SKIP() << "threads started in a forked child are beyond the thread sanitizer";
    g_markerPath = folder / "marker.txt";
    GetSubsystemHooks().startupScriptRoutine = ScriptThatLeavesAStuckThread;
    GetSubsystemHooks().writeSystemData = WriteMarker;
    environment.generousStopMs = 50;
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = RunApplication(environment);
        _exit(code == 0 ? 100 : 101);  // reaching here means the stuck thread was torn down under
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "left at once with the normal exit code";
    EXPECT_EQ(folder.GetText("marker.txt"), "written, object alive");
}

TEST_F(EntryTest, NoSoundDeviceNeverStopsFrames) {
    GetSubsystemHooks().initSoundSystem = [] { return false; };
    GetSubsystemHooks().startupScriptRoutine = ScriptThatCloses;
    EXPECT_EQ(RunApplication(environment), 0);
    EXPECT_EQ(seen.framesSeenByScript.load(), 3);
    EXPECT_TRUE(dialogs.Shown().empty()) << "silence is no reason for a box";
}
