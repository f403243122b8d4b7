// The three script threads over scripts held in memory, with the real
// built-in commands ("=", "if", "Wait"): the order of the start-up sequence,
// restarts reaching every thread, fixed scripts that are missing, and the
// program closing itself when its main script ends.
#include "script/script_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/application.h"
#include "foundation/entry.h"
#include "foundation/input_links.h"
#include "foundation/input_manager.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/window_messages.h"
#include "presentation/command_queue.h"
#include "script/declared_names.h"
#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_frame.h"
#include "script/script_loader.h"
#include "support/executor/script_runner.h"
#include "support/fake_window.h"
#include "support/temp_folder.h"
#include "system/system_files.h"

namespace {

using namespace std::chrono_literals;

std::string Global(const std::string& name) {
    classScriptValue value;
    if (!g_globalVariables.TryGet(name, 0, value)) return "absent";
    if (const int64* integer = value.AsInteger(); value.IsInteger() && integer != nullptr)
        return std::to_string(*integer);
    if (value.IsString()) return value.text;
    return "other";
}

// Polls until the condition holds; false after five seconds.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

// Counts the loads of each script name on the way to the in-memory sources.
std::mutex g_loadsLock;
std::map<std::string, int> g_loads;  // guarded by g_loadsLock
ScriptLoaderFunction g_innerLoader = nullptr;

bool CountingLoader(const std::string& name, classScriptTables& out) {
    {
        std::lock_guard<std::mutex> hold(g_loadsLock);
        ++g_loads[name];
    }
    return g_innerLoader(name, out);
}

int Loads(const std::string& name) {
    std::lock_guard<std::mutex> hold(g_loadsLock);
    return g_loads[name];
}

class ScriptThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedLoader_ = GetScriptLoader();
        testexec::InstallLoader();
        g_innerLoader = GetScriptLoader();
        SetScriptLoader(CountingLoader);
        {
            std::lock_guard<std::mutex> hold(g_loadsLock);
            g_loads.clear();
        }
        ClearDeclaredNames();
        g_globalVariables.Clear();
        g_nomalVariables.Clear();
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->mainScriptContext = &g_mainScriptContext;
    }
    void TearDown() override {
        if (startup.IsRunning()) {
            app->RequestQuit();
            startup.Stop(5000);
        }
        g_mainScriptContext.Reset();
        {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            g_mainScriptContext.loadedFrames.clear();
        }
        ShutdownApplication();
        testexec::ClearSources();
        SetScriptLoader(savedLoader_);
        g_globalVariables.Clear();
        g_nomalVariables.Clear();
    }

    void Start() {
        ASSERT_TRUE(startup.StartWithRoutine([](void* argument) -> u32 {
            StartupScriptMain(*static_cast<classWorkerThread*>(argument));
            return 0;
        }));
    }
    // Quits and expects the start-up thread and both Function threads to end.
    void QuitAndJoin() {
        app->RequestQuit();
        EXPECT_EQ(startup.Stop(5000), classWorkerThread::kStopped);
        EXPECT_FALSE(g_functionScriptThread.IsRunning());
        EXPECT_FALSE(g_exitFunctionScriptThread.IsRunning());
    }
    // What a play-data load leaves behind: the saved frames waiting (depth
    // of them, all of the script), the restart requested, every waiter woken.
    void SimulateLoad(const std::string& resumeScript, size_t depth = 1) {
        classScriptFrame frame(resumeScript);
        {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            g_mainScriptContext.loadedFrames.clear();
            g_mainScriptContext.loadedFrames.insert(g_mainScriptContext.loadedFrames.end(), depth, frame);
        }
        app->restartRequested = 1;
        g_inputManager.WakeAllWaiters();
    }

    classApplication* app = nullptr;
    classWorkerThread startup;

  private:
    ScriptLoaderFunction savedLoader_ = nullptr;
};

TEST_F(ScriptThreadsTest, NamesDeclaredInVariableReachStartAndTheFunctionThreads) {
    testexec::AddSource("Variable.qvs",
                        "Variable(Global, Name=thrFromStart)\n"
                        "Variable(Global, Name=thrFromFunction)\n"
                        "Variable(Global, Name=thrFromExit)\n");
    testexec::AddSource("Start.qvs", "thrFromStart = 1 + 2\nWait(Time=100000)\n");
    testexec::AddSource("system\\Function.qvs", "thrFromFunction = 5\nWait(Time=100000)\n");
    testexec::AddSource("system\\ExitFunction.qvs", "thrFromExit = 6\nWait(Time=100000)\n");
    Start();
    ASSERT_TRUE(Eventually([] {
        return Global("thrFromStart") == "3" && Global("thrFromFunction") == "5" &&
               Global("thrFromExit") == "6";
    })) << Global("thrFromStart")
        << " " << Global("thrFromFunction") << " " << Global("thrFromExit");
    EXPECT_TRUE(g_functionScriptThread.IsRunning());
    EXPECT_TRUE(g_exitFunctionScriptThread.IsRunning());
    EXPECT_EQ(Loads("Variable.qvs"), 1);
    QuitAndJoin();
}

TEST_F(ScriptThreadsTest, EachLoadRunsPreDataLoadThenTheSavedFramesAndRestartsTheFunctionScript) {
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrTrail)\nVariable(Global, Name=thrRuns)\n");
    testexec::AddSource("Start.qvs", "thrTrail = \"S\"\nWait(Time=100000)\n");
    testexec::AddSource("system\\PreDataLoad.qvs", "thrTrail = thrTrail + \"P\"\n");
    testexec::AddSource("resume.qvs", "thrTrail = thrTrail + \"R\"\nWait(Time=100000)\n");
    // The Function script counts its starts and then sits in a long wait.
    testexec::AddSource("system\\Function.qvs", "thrRuns = thrRuns + 1\nWait(Time=100000)\n");
    Start();
    ASSERT_TRUE(Eventually([] { return Global("thrTrail") == "S" && Global("thrRuns") == "1"; }));

    // A choice leaves its layer and cursor movement on the main waiter; the
    // restored game has neither. The last save's calls go as deep as a
    // game's may: the script after the load runs all the same.
    classInputWaiter* waiter = g_mainScriptContext.inputWaiter->Get();
    std::string expected = "S";
    for (int load = 1; load <= 5; ++load) {
        waiter->selectLayer = {300};
        waiter->navigationMode = 2;
        SimulateLoad("resume.qvs", load == 5 ? classScriptContext::kMaxFrameDepth : 1);
        expected += "PR";
        ASSERT_TRUE(Eventually([&] { return Global("thrTrail") == expected; }))
            << "load " << load << ": " << Global("thrTrail");
        EXPECT_TRUE(waiter->selectLayer.empty()) << "load " << load;
        EXPECT_EQ(waiter->navigationMode, 1u) << "load " << load;
        ASSERT_TRUE(Eventually([&] { return Global("thrRuns") == std::to_string(load + 1); }))
            << "load " << load << ": the Function script starts over from its first statement";
        EXPECT_EQ(app->restartRequested.load(), 0);
        EXPECT_EQ(app->restartGeneration.load(), static_cast<u32>(load));
    }
    QuitAndJoin();
}

TEST_F(ScriptThreadsTest, MissingFixedScriptsAreLoadedOncePerRestartNotInALoop) {
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrStage)\n");
    // Two waits: after the restart the main script goes on with the second.
    testexec::AddSource("Start.qvs", "thrStage = 1\nWait(Time=100000)\nthrStage = 2\nWait(Time=100000)\n");
    Start();
    ASSERT_TRUE(Eventually([] { return Global("thrStage") == "1"; }));
    ASSERT_TRUE(Eventually([] { return Loads("system\\ExitFunction.qvs") == 1; }));
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(Loads("system\\Function.qvs"), 1) << "nothing changed, so nothing is loaded again";
    EXPECT_EQ(Loads("system\\ExitFunction.qvs"), 1);

    app->restartRequested = 1;
    g_inputManager.WakeAllWaiters();
    ASSERT_TRUE(Eventually([] { return Global("thrStage") == "2"; })) << "no saved frames: the stack goes on";
    EXPECT_TRUE(Eventually(
        [] { return Loads("system\\Function.qvs") == 2 && Loads("system\\ExitFunction.qvs") == 2; }));
    EXPECT_EQ(Loads("system\\PreDataLoad.qvs"), 1);
    QuitAndJoin();
}

// A Function script stopped by a restart starts over only once the restart
// is done, not again and again while it is still under way.
TEST_F(ScriptThreadsTest, AFunctionScriptWaitsOutARestartBeforeStartingOver) {
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrRestarts)\n");
    testexec::AddSource("system\\Function.qvs", "thrRestarts = thrRestarts + 1\nWait(Time=100000)\n");
    ClearDeclaredNames();
    classScriptTables declarations;
    ASSERT_TRUE(GetScriptLoader()("Variable.qvs", declarations));
    classWorkerThread function;
    ASSERT_TRUE(function.StartWithRoutine(FunctionThreadProc));
    ASSERT_TRUE(Eventually([] { return Global("thrRestarts") == "1"; })) << Global("thrRestarts");
    app->restartRequested = 1;
    g_inputManager.WakeAllWaiters();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Loads("system\\Function.qvs"), 1) << "still restarting: not loaded again";
    app->restartRequested = 0;
    EXPECT_TRUE(Eventually([] { return Global("thrRestarts") == "2"; })) << Global("thrRestarts");
    app->RequestQuit();
    EXPECT_EQ(function.Stop(5000), classWorkerThread::kStopped);
}

// While the main script runs an interrupt the player's input is its own:
// the ExitFunction thread's waiter stands aside as the Function thread's does.
std::atomic<bool> g_mainInInterrupt{false};

TEST_F(ScriptThreadsTest, BothFixedThreadsLetInputPassDuringAnInterrupt) {
    SetInputInterruptTest([] { return g_mainInInterrupt.load(); });
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrSkipped)\n");
    ClearDeclaredNames();
    classScriptTables declarations;
    ASSERT_TRUE(GetScriptLoader()("Variable.qvs", declarations));
    struct Case {
        const char* name;
        u32 (*routine)(void*);
    } cases[] = {{"system\\Function.qvs", FunctionThreadProc}, {"system\\ExitFunction.qvs", ExitFunctionThreadProc}};
    for (const Case& c : cases) {
        // Enter ends the first wait.
        testexec::AddSource(c.name, "thrSkipped = 0\nWait(Time=100000, SkipOn=1)\nthrSkipped = 1\nWait(Time=100000)\n");
        classWorkerThread thread;
        ASSERT_TRUE(thread.StartWithRoutine(c.routine));
        ASSERT_TRUE(Eventually([] { return Global("thrSkipped") == "0"; })) << c.name;
        g_mainInInterrupt = true;
        // Pressed again and again, so that some presses find the wait begun.
        for (int i = 0; i < 15; ++i) {
            g_inputManager.OnWindowMessage(nullptr, platform::WM_KEYDOWN, platform::VK_RETURN, 0);
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(Global("thrSkipped"), "0") << c.name << ": took a key during the interrupt";
        g_mainInInterrupt = false;
        g_inputManager.OnWindowMessage(nullptr, platform::WM_KEYDOWN, platform::VK_RETURN, 0);
        EXPECT_TRUE(Eventually([] { return Global("thrSkipped") == "1"; })) << c.name << ": input again after it";
        app->RequestQuit();
        EXPECT_EQ(thread.Stop(5000), classWorkerThread::kStopped) << c.name;
        app->quitRequested = 0;
    }
    SetInputInterruptTest(nullptr);
}

TEST_F(ScriptThreadsTest, AFunctionScriptWithoutAWaitIsPausedBetweenRuns) {
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrSpins)\n");
    testexec::AddSource("Start.qvs", "Wait(Time=100000)\n");
    testexec::AddSource("system\\Function.qvs", "thrSpins = thrSpins + 1\n");
    Start();
    ASSERT_TRUE(Eventually([] { return Global("thrSpins") != "absent"; }));
    std::this_thread::sleep_for(340ms);
    // At most one start per 17 ms pause: about 20 in this time, never the
    // hundreds of thousands a tight loop would make.
    const std::string runs = Global("thrSpins");
    QuitAndJoin();
    ASSERT_NE(runs, "other");
    EXPECT_LE(std::stoll(runs), 40);
    EXPECT_GE(std::stoll(runs), 2) << "it does start over";
}

// A side script's records wait for its own commits; a run that ends has
// finished its batch, and one a restart cuts short posted for a game that
// is gone.
TEST_F(ScriptThreadsTest, AFunctionScriptsRunCommitsWhatItLeftOrARestartDropsIt) {
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrRuns)\n");
    testexec::AddSource("system\\Function.qvs",
                        "thrRuns = thrRuns + 1\nSoundStopToVoice()\n#spin\nif (thrRuns = 2) {\n"
                        "    ScriptJump(Label=#spin)\n}\n");
    ClearDeclaredNames();
    classScriptTables declarations;
    ASSERT_TRUE(GetScriptLoader()("Variable.qvs", declarations));
    GetMainQueue()->DiscardAll();
    auto queued = [] {
        std::string out;
        GetMainQueue()->ForEachRecord([&](const classQueBase&, bool committed) { out += committed ? "+" : "-"; });
        return out;
    };
    classWorkerThread function;
    ASSERT_TRUE(function.StartWithRoutine(FunctionThreadProc));
    ASSERT_TRUE(Eventually([&] { return queued() == "+-"; })) << "the first run's, then the second's: " << queued();
    app->restartRequested = 1;
    EXPECT_TRUE(Eventually([&] { return queued() == "+"; })) << queued();
    app->RequestQuit();
    EXPECT_EQ(function.Stop(5000), classWorkerThread::kStopped);
    GetMainQueue()->DiscardAll();
}

TEST_F(ScriptThreadsTest, FontsAreHandedToTheRegistrarInOrderBeforeAnyScript) {
    static std::vector<std::string> seen;
    static std::atomic<bool> scriptsBefore{false};
    seen.clear();
    SetStartupFontRegistrar([](const StartupFont& font) {
        if (Loads("Variable.qvs") != 0) scriptsBefore = true;
        seen.push_back(std::to_string(font.number) + ":" + (font.face != nullptr ? font.face : "-") + ":" +
                       std::to_string(font.size) + ":" + std::to_string(font.width));
    });
    testexec::AddSource("Variable.qvs", "Variable(Global, Name=thrFonts)\n");
    testexec::AddSource("Start.qvs", "thrFonts = 1\n");
    Start();
    EXPECT_TRUE(Eventually([this] { return !startup.IsRunning(); })) << "Start.qvs ends, so does the routine";
    startup.Stop(1000);
    SetStartupFontRegistrar(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"0:メイリオ:30:0", "1:-:20:0", "2:-:10:0",
                                              "9:ＭＳ ゴシック:30:0", "10:-:190:344"}));
    EXPECT_FALSE(scriptsBefore.load());
    EXPECT_EQ(Global("thrFonts"), "1");
}

// ---- The whole program ----

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedHooks_ = GetSubsystemHooks();
        savedLoader_ = GetScriptLoader();
        SubsystemHooks& hooks = GetSubsystemHooks();
        hooks.createFrameDevice = [](platform::Window&, int, int) -> std::unique_ptr<FrameDevice> {
            return std::make_unique<fakes::FakeDevice>();
        };
        RegisterSystemFiles();
        RegisterScriptSubsystem();
        InstallScriptLoader();
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        platform::SetDialogService(&dialogs);
        environment.workingDirectory = folder.Path().string();
        environment.lockDirectory = folder / "locks";
        std::filesystem::create_directories(environment.lockDirectory);
        environment.createWindow = [] { return std::make_unique<fakes::FakeWindow>(); };
        ClearDeclaredNames();
        g_globalVariables.Clear();
    }
    void TearDown() override {
        platform::SetDialogService(nullptr);
        GetSubsystemHooks() = savedHooks_;
        SetScriptLoader(savedLoader_);
        unsetenv("XDG_DATA_HOME");
        g_mainScriptContext.Reset();
        g_globalVariables.Clear();
    }

    testfiles::TempFolder folder;
    fakes::RecordingDialogs dialogs;
    EntryEnvironment environment;

  private:
    SubsystemHooks savedHooks_;
    ScriptLoaderFunction savedLoader_ = nullptr;
};

TEST_F(ProgramTest, TheProgramClosesWhenStartEndsAndSystemDatCarriesGlobalsToTheNextRun) {
    folder.Put("Variable.qvs", std::string("Variable(Global, Name=progLaunches)\n"));
    folder.Put("Start.qvs", std::string("progLaunches = progLaunches + 1\n"
                                        "if (progLaunches > 1) { progLaunches = progLaunches + 10 }\n"));
    // Empty fixed scripts: nothing to run, and the program still ends.
    folder.Put("system/Function.qvs", std::string(""));
    folder.Put("system/ExitFunction.qvs", std::string("// nothing\n"));
    testfiles::ScopedWorkingDirectory cwd(folder.Path());

    EXPECT_EQ(RunApplication(environment), 0) << "no one closes the window: the main script's end does";
    EXPECT_EQ(Global("progLaunches"), "1");
    const std::string systemDat = folder / "data/Hollin-Gate/Merisande/System.dat";
    ASSERT_TRUE(std::filesystem::exists(systemDat));
    EXPECT_TRUE(std::filesystem::exists(folder / "data/Hollin-Gate/Merisande/Already.dat"))
        << "Start.qvs was read, so it has marks";

    g_globalVariables.Clear();
    EXPECT_EQ(RunApplication(environment), 0);
    EXPECT_EQ(Global("progLaunches"), "12") << "1 read back from System.dat, + 1, then + 10";
    EXPECT_TRUE(dialogs.Shown().empty());
}

}  // namespace
