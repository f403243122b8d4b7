// The setting, control, script-flow and play-data commands: their effect on
// the application's flags, on the frames of the running script and on the
// slot files. Expected values are worked out by hand from each command's
// parameters.
#include "commands/control_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "commands/flow_commands.h"
#include "foundation/application.h"
#include "foundation/file_times.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "script/global_variables.h"
#include "script/script_compiler.h"
#include "script/script_context.h"
#include "script/script_threads.h"
#include "script/script_value.h"
#include "support/executor/script_runner.h"
#include "support/fake_window.h"
#include "support/script/values.h"
#include "support/temp_folder.h"
#include "system/play_data.h"

namespace {

using Trace = std::vector<std::string>;

class ControlFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->dataFolder = folder.Path().string() + "/";
        testexec::InstallLoader();
        GetMainQueue()->TakeRecords();
    }
    void TearDown() override {
        StopFrames();
        GetMainQueue()->TakeRecords();
        testexec::ClearSources();
        app->graphicDevice = nullptr;
        ShutdownApplication();
    }

    // Runs `source`; the trace holds every command call but "=".
    Trace Run(const std::string& source, testexec::ScriptRun& run) {
        testexec::AddSource("flow.qvs", source);
        run.Run("flow.qvs");
        return run.table.trace;
    }

    // A handler called directly, as the executor would, with integer arguments.
    template <typename Handler>
    classScriptValue Call(Handler handler, std::vector<classScriptValue> arguments = {}) {
        classScriptContext context;
        classScriptValue result;
        handler(context, arguments, static_cast<int32>(arguments.size()), result);
        return result;
    }
    static std::string Rendered(const classScriptValue& value) { return testexec::Render(value); }

    // Frames end at once, as a render thread with nothing to draw would end them.
    void StartFrames() {
        frames = std::thread([this] {
            while (!stopFrames.load()) {
                const u32 next = app->frameCounter.fetch_add(1) + 1;
                app->frameDoneCounter.store(next);
                app->WakeFrameWaiters();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void StopFrames() {
        stopFrames.store(true);
        if (frames.joinable()) frames.join();
    }

    testfiles::TempFolder folder;
    classApplication* app = nullptr;
    std::thread frames;
    std::atomic<bool> stopFrames{false};
};

TEST_F(ControlFlowTest, SettingsChangeOnlyWhenTheirValueIsGiven) {
    app->textSpeed = 77;
    testexec::ScriptRun run;
    Run("SystemTextSpeed() SystemAutoSpeed(Speed=2500) SystemTextColor(Color=255) SystemKeyWaitVoiceStop(Value=0) "
        "SystemTranstionCut(Value=7) SystemSkipAlready(Value=1) SystemParametorSkipType(Value=3)",
        run);
    EXPECT_EQ(app->textSpeed.load(), 77) << "no Speed, no change";
    EXPECT_EQ(app->autoSpeed.load(), 2500);
    EXPECT_EQ(app->textColor.load(), 255);
    EXPECT_EQ(app->keyWaitAfterVoiceStop.load(), 0);
    EXPECT_EQ(app->transitionCut.load(), 1) << "a flag: 7 is stored as 1";
    EXPECT_EQ(app->skipAlreadyOnly.load(), 1);
    EXPECT_EQ(app->parameterSkipType.load(), 3);
    EXPECT_EQ(Rendered(Call(CommandSystemTranstionCutIs)), "i:1");

    testexec::ScriptRun again;
    Run("SystemControl.SkipPlaying(State=1) SystemControl.AutoPlaying(State=0) SystemControl.WM_CLOSE.Disable()",
        again);
    EXPECT_EQ(Rendered(Call(CommandSkipPlayingIs)), "i:1");
    EXPECT_EQ(Rendered(Call(CommandAutoPlayingIs)), "i:0");
    EXPECT_EQ(app->closeDisabled.load(), 1) << "called bare, it disables closing";
    Call(CommandCloseDisable, {testscript::I(0)});
    EXPECT_EQ(app->closeDisabled.load(), 0);
}

TEST_F(ControlFlowTest, QuestionsAnswerFromTheApplication) {
    EXPECT_EQ(Rendered(Call(CommandIsDebug)), "i:0");
    EXPECT_EQ(Rendered(Call(CommandIsNowSkipping)), "i:0");
    app->skipPlaying = 1;
    EXPECT_EQ(Rendered(Call(CommandIsNowSkipping)), "i:1");
    EXPECT_EQ(Rendered(Call(CommandNextSelectSkipingIs)), "i:0");
    EXPECT_EQ(Rendered(Call(CommandDammy)), "-") << "writes no result";
}

TEST_F(ControlFlowTest, ScreenModeTakesOnlyZeroOrOne) {
    fakes::FakeDevice device;
    app->graphicDevice = &device;
    Call(CommandSystemScreenModeChange, {testscript::I(1)});
    EXPECT_EQ(device.RequestedFullScreen(), 1);
    Call(CommandSystemScreenModeChange, {testscript::I(2)});
    Call(CommandSystemScreenModeChange, {});
    EXPECT_EQ(device.RequestedFullScreen(), 1) << "2 and nothing change nothing";
    Call(CommandSystemScreenModeChange, {testscript::I(0)});
    EXPECT_EQ(device.RequestedFullScreen(), 0);
}

TEST_F(ControlFlowTest, WindowIconAsksTheWindowForTheLow16BitsOfNo) {
    struct Case {
        const char* name;
        std::vector<classScriptValue> arguments;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"65637 is resource 101", {testscript::I(65637)}, {"icon 101"}},
        {"a plain number", {testscript::I(101)}, {"icon 101"}},
        {"-1 keeps its low 16 bits", {testscript::I(-1)}, {"icon 65535"}},
        {"bits above 32 are dropped too", {testscript::I((int64{7} << 32) | 0x10066)}, {"icon 102"}},
        {"no No, no change", {}, {}},
    };
    for (const Case& c : cases) {
        fakes::FakeWindow window;
        app->windowHandle = &window;
        Call(CommandWindowIcon, c.arguments);
        // The icon is changed on the UI thread: run what was posted, up to a marker.
        bool marked = false;
        window.PostTask([&marked] { marked = true; });
        platform::WindowMessage message;
        while (!marked) window.WaitMessage(message);
        EXPECT_EQ(window.Log(), c.expected) << c.name;
        app->windowHandle = nullptr;
    }
}

TEST_F(ControlFlowTest, ApplyCommitsAndNextChoiceSkippingHoldsLaterCommitsBack) {
    testexec::ScriptRun run;
    Run("Sound(Layer=1) Apply()", run);
    EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 2);
    GetMainQueue()->TakeRecords();

    Call(CommandNextSelectSkiping);
    EXPECT_EQ(app->nextSelectSkipping.load(), 1);
    testexec::ScriptRun skipping;
    Run("Sound(Layer=1, Loop=-1) Apply()", skipping);
    EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 0);
    GetMainQueue()->TakeRecords();

    // Ending a skip that is not on returns at once and posts nothing.
    app->nextSelectSkipping = 0;
    Call(CommandNextSelectSkipingAbort);
    EXPECT_EQ(GetMainQueue()->GetRecordCount(), 0u);
}

TEST_F(ControlFlowTest, EndingASkipFinishesTheSceneAndFadesIn) {
    StartFrames();
    app->nextSelectSkipping = 1;
    Call(CommandNextSelectSkipingAbort);
    EXPECT_EQ(app->nextSelectSkipping.load(), 0);
    auto records = GetMainQueue()->TakeRecords();
    std::vector<QueRecordType> types;
    for (const auto& record : records) types.push_back(record->GetType());
    // The fade goes in at the commit point, ahead of what still waits.
    ASSERT_EQ(types, (std::vector<QueRecordType>{QueTransition, QueGraphicStirSlotAllFinish,
                                                 QueGraphicStdTextDrawingAllFinish, QueGraphicDelete}));
    EXPECT_EQ(static_cast<classQue_Transition*>(records[0].get())->time, 1000);
    auto* marker = static_cast<classQue_GraphicDelete*>(records[3].get());
    EXPECT_EQ(marker->sceneMask, 1u);
    EXPECT_EQ(marker->path, QuePath{800});
}

TEST_F(ControlFlowTest, FromASideScriptSavesLoadsRestartsAndTheEndOfASkipActForTheWholeGame) {
    // Each command runs as a side script while the main script's batch (m)
    // and the side script's own (s) wait in the main queue; the queue
    // afterwards, oldest first, with + for committed and - for waiting, and
    // what still waits once the main script commits (the side script's).
    {
        // A slot worth loading holds a frame with a statement to run.
        classScriptContext main;
        classScriptCompiler compiler("start.qvs");
        compiler.Compile("Dammy(1)");
        classScriptFrame frame;
        frame.SetTables(compiler.TakeTables());
        main.frames.push_back(std::move(frame));
        app->mainScriptContext = &main;
        ASSERT_TRUE(WritePlayData(MakePlayDataPath(7)));
        app->mainScriptContext = nullptr;
    }
    StartFrames();
    struct Case {
        const char* name;
        std::function<void()> command;
        bool skipping;
        const char* queue;
        const char* side;
    };
    const Case cases[] = {
        {"a save writes what both have shown", [&] { Call(CommandPlayDataSave, {testscript::I(12)}); }, false,
         "m+ s+ save+", ""},
        {"a load lets nothing from before it land after it", [&] { Call(CommandPlayDataLoad, {testscript::I(7)}); },
         false, "fade+ m+ s+ load+", ""},
        {"a restart's clearing waits for the main script", [&] { Call(CommandRestart); }, false,
         "m- s- clear- silence-", "s-"},
        {"the end of a skip releases the held batch with its fade", [&] { Call(CommandNextSelectSkipingAbort); },
         true, "fade+ m+ s- slots+ texts+ marker+", "s-"},
    };
    const std::map<QueRecordType, std::string> names = {
        {QueGraphicCreate, "m"},       {QueSoundPlay, "s"},          {QueDataSave, "save"},
        {QueTransition, "fade"},       {QueDataLoad, "load"},        {QueGraphicAllDelete, "clear"},
        {QueSoundAllDelete, "silence"}, {QueGraphicStirSlotAllFinish, "slots"},
        {QueGraphicStdTextDrawingAllFinish, "texts"}, {QueGraphicDelete, "marker"}};
    for (const Case& c : cases) {
        GetMainQueue()->TakeRecords();
        app->nextSelectSkipping = c.skipping ? 1 : 0;
        GetMainQueue()->Post(new classQue_GraphicCreate());
        {
            const classQuePosterScope side(1);
            GetMainQueue()->Post(new classQue_SoundPlay());
            c.command();
        }
        auto listed = [&](bool waitingOnly) {
            std::string out;
            GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool committed) {
                if (waitingOnly && committed) return;
                out += (out.empty() ? "" : " ") + names.at(record.GetType()) + (committed ? "+" : "-");
            });
            return out;
        };
        EXPECT_EQ(listed(false), c.queue) << c.name;
        GetMainQueue()->Commit();
        EXPECT_EQ(listed(true), c.side) << c.name;
        app->restartRequested = 0;
    }
}

TEST_F(ControlFlowTest, JumpsWithinAScriptTakeStatementsThatExistAndANegativeOneEndsTheFrame) {
    struct Case {
        const char* name;
        const char* source;
        Trace expected;
    };
    const Case cases[] = {
        {"past the end moves nothing",
         "Dammy(1) ScriptJump(Label=99) Dammy(2)",
         {"Dammy(i:1)", "ScriptJump(-, i:99)", "Dammy(i:2)"}},
        {"no target moves nothing", "ScriptJump() Dammy(4)", {"ScriptJump()", "Dammy(i:4)"}},
        // Statement 4 is the last Dammy; the count itself is the end.
        {"to the last statement",
         "Dammy(1) ScriptJump(Label=4) Dammy(2) Dammy(3) Dammy(4)",
         {"Dammy(i:1)", "ScriptJump(-, i:4)", "Dammy(i:4)"}},
        {"to the end", "ScriptJump(Label=3) Dammy(2) Dammy(3)", {"ScriptJump(-, i:3)"}},
        {"to a label", "ScriptJump(Label=#skip) Dammy(1) #skip Dammy(2)", {"ScriptJump(-, #skip@2)", "Dammy(i:2)"}},
        {"to a negative statement", "Dammy(1) ScriptJump(Label=-1) Dammy(2)", {"Dammy(i:1)", "ScriptJump(-, i:-1)"}},
        // A label used only as an argument was never linked: it carries -1.
        {"to a label used only as an argument",
         "ScriptJump(Label=#nowhere) Dammy(3)",
         {"ScriptJump(-, #nowhere@-1)"}},
        {"a call to that label ends the frame it made, and returns",
         "ScriptCall(Label=#nowhere) Dammy(3)",
         {"ScriptCall(-, #nowhere@-1)", "Dammy(i:3)"}},
        // A text names a label, "#" and all; read as a number it was statement 0 for ever.
        {"to a label named by a text", "ScriptJump(Label=\"#skip\") Dammy(1) #skip Dammy(2)",
         {"ScriptJump(-, s:#skip)", "Dammy(i:2)"}},
        {"to a text that names no label", "Dammy(1) ScriptJump(Label=\"skip\") Dammy(2) #skip",
         {"Dammy(i:1)", "ScriptJump(-, s:skip)", "Dammy(i:2)"}},
        {"a call of a label named by a text", "ScriptCall(Label=\"#sub\") Dammy(1) return() #sub Dammy(2)",
         {"ScriptCall(-, s:#sub)", "Dammy(i:2)", "Dammy(i:1)", "return()"}},
        {"a call of a text that names no label", "ScriptCall(Label=\"sub\") Dammy(1) return() #sub Dammy(2)",
         {"ScriptCall(-, s:sub)", "Dammy(i:1)", "return()"}},
        // With no label, the script was called again from its top, 1000 deep.
        {"a call of nothing", "Dammy(1) ScriptCall() Dammy(2)", {"Dammy(i:1)", "ScriptCall()", "Dammy(i:2)"}},
        {"a call of an empty label", "Dammy(1) ScriptCall(Label=\"\") Dammy(2)",
         {"Dammy(i:1)", "ScriptCall(-, s:)", "Dammy(i:2)"}},
        // Statement 3 is Dammy(2); the call comes back to Dammy(1).
        {"a call of a statement", "ScriptCall(Label=3) Dammy(1) return() Dammy(2)",
         {"ScriptCall(-, i:3)", "Dammy(i:2)", "Dammy(i:1)", "return()"}},
    };
    for (const Case& c : cases) {
        testexec::ScriptRun run;
        EXPECT_EQ(Run(c.source, run), c.expected) << c.name;
    }
}

TEST_F(ControlFlowTest, CallsToOtherScriptsReturnAndJumpsDoNot) {
    testexec::AddSource("sub.qvs", "Dammy(10) return() Dammy(11) #second Dammy(12)");
    testexec::ScriptRun run;
    EXPECT_EQ(Run("ScriptCall(File=\"sub.qvs\") ScriptCall(File=\"sub.qvs\", Label=#nowhere) "
                  "ScriptCall(File=\"sub.qvs\", Label=#second) ScriptJump(File=\"sub.qvs\") Dammy(1)",
                  run),
              (Trace{"ScriptCall(s:sub.qvs)", "Dammy(i:10)", "return()", "ScriptCall(s:sub.qvs, #nowhere@-1)",
                     "ScriptCall(s:sub.qvs, #second@-1)", "Dammy(i:12)", "ScriptJump(s:sub.qvs)", "Dammy(i:10)",
                     "return()"}));
}

TEST_F(ControlFlowTest, AnInterruptTheMainScriptAsksForItselfReturnsAfterItsStatement) {
    testexec::AddSource("intr.qvs", "Dammy(20)");
    testexec::ScriptRun run;
    EXPECT_EQ(Run("ScriptInterrupt(File=\"intr.qvs\") Dammy(1)", run),
              (Trace{"ScriptInterrupt(s:intr.qvs)", "Dammy(i:20)", "Dammy(i:1)"}));
    EXPECT_EQ(run.host.snapshots.load(), 1) << "one entry into the interrupt, one snapshot";
}

TEST_F(ControlFlowTest, QuitEndsTheScriptAndAsksEveryThreadToStop) {
    testexec::ScriptRun run;
    EXPECT_EQ(Run("Dammy(1) Quit() Dammy(2)", run), (Trace{"Dammy(i:1)", "Quit()"}));
    EXPECT_EQ(app->quitRequested.load(), 1);
}

TEST_F(ControlFlowTest, RestartFromAnotherThreadRestartsTheMainScript) {
    classScriptContext main;
    app->mainScriptContext = &main;
    testexec::ScriptRun function;  // its host names its own context the main one; undo that
    function.host.mainContext.store(&main);
    testexec::AddSource("start.qvs", "Dammy(100)");
    EXPECT_EQ(Run("Dammy(1) Restart() Dammy(2)", function), (Trace{"Dammy(i:1)", "Restart()"}));
    EXPECT_EQ(app->restartRequested.load(), 1);
    ASSERT_EQ(main.loadedFrames.size(), 1u);
    EXPECT_EQ(main.loadedFrames.front().scriptName, "start.qvs") << "the name as the command writes it";
    EXPECT_TRUE(function.context.loadedFrames.empty());
    auto records = GetMainQueue()->TakeRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->GetType(), QueGraphicAllDelete);
    EXPECT_EQ(records[0]->sceneMask, 1u);
    EXPECT_EQ(records[1]->GetType(), QueSoundAllDelete);
    EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 0) << "they wait for the next commit";
    app->mainScriptContext = nullptr;
    main.loadedFrames.clear();
}

TEST_F(ControlFlowTest, VariableResetClearsOnlyTheScopesItNames) {
    auto set = [] {
        classScriptValue one;
        one.SetInteger(1);
        g_globalVariables.Update("g", 0, [&](classScriptValue& v) { v = one; });
        g_nomalVariables.Update("n", 0, [&](classScriptValue& v) { v = one; });
    };
    testexec::ScriptRun run;
    set();
    Run("VariableReset()", run);
    EXPECT_EQ(run.Global("g"), "i:1");
    EXPECT_EQ(run.Nomal("n"), "i:1");
    testexec::ScriptRun nomal;
    set();
    Run("VariableReset(Nomal=1)", nomal);
    EXPECT_EQ(nomal.Global("g"), "i:1");
    EXPECT_EQ(nomal.Nomal("n"), "-");
    testexec::ScriptRun global;
    set();
    Run("VariableReset(Global=1, Nomal=0)", global);
    EXPECT_EQ(global.Global("g"), "-");
    EXPECT_EQ(global.Nomal("n"), "i:1");
    EXPECT_EQ(GetGlobalVariableInt("g"), 0);
    set();
    EXPECT_EQ(GetGlobalVariableInt("g"), 1);
    EXPECT_DOUBLE_EQ(GetGlobalVariableDouble("g"), 1.0);
    EXPECT_EQ(GetGlobalVariableInt("absent"), 0);
    g_globalVariables.Clear();
    g_nomalVariables.Clear();
}

TEST_F(ControlFlowTest, SlotQuestionsReadTheSlotFile) {
    EXPECT_EQ(Rendered(Call(CommandPlayDataCheck, {testscript::I(3)})), "i:0");
    EXPECT_EQ(Rendered(Call(CommandPlayDataGetIndex, {testscript::I(3)})), "i:0") << "an integer, not an empty text";
    EXPECT_EQ(Rendered(Call(CommandPlayDataGetDate, {testscript::I(3)})), "i:0");
    EXPECT_EQ(Rendered(Call(CommandPlayDataCheck, {})), "-") << "no slot number, no answer";
    Call(CommandPlayDataDelete, {testscript::I(3)});  // an empty slot: nothing happens

    folder.Put("save0003.dat", std::string("not a play-data file"));
    EXPECT_EQ(Rendered(Call(CommandPlayDataCheck, {testscript::I(3)})), "i:1") << "any file counts as there";
    EXPECT_EQ(Rendered(Call(CommandPlayDataGetIndex, {testscript::I(3)})), "i:0") << "but a foreign one has no index";
    const std::string date = Call(CommandPlayDataGetDate, {testscript::I(3)}).text;
    ASSERT_TRUE(std::regex_match(date, std::regex(R"(Date\. \d{4}/\d\d/\d\d \d\d:\d\d:\d\d)"))) << date;
    classLocalFileTime written;
    ASSERT_TRUE(GetFileTimesUtf8(folder / "save0003.dat", nullptr, nullptr, &written));
    char expected[64];
    std::snprintf(expected, sizeof expected, "Date. %04d/%02d/%02d %02d:%02d:%02d", written.year, written.month,
                  written.day, written.hour, written.minute, written.second);
    EXPECT_EQ(date, expected);

    // An empty or foreign slot is never loaded: no fade, no load record.
    Call(CommandPlayDataLoad, {testscript::I(3)});
    Call(CommandPlayDataLoad, {testscript::I(4)});
    EXPECT_EQ(GetMainQueue()->GetRecordCount(), 0u);

    Call(CommandPlayDataDelete, {testscript::I(3)});
    EXPECT_EQ(Rendered(Call(CommandPlayDataCheck, {testscript::I(3)})), "i:0");
}

TEST_F(ControlFlowTest, SaveHandsItsSlotAndIndexToTheRenderThread) {
    StartFrames();
    Call(CommandPlayDataSave, {testscript::I(12), testscript::S("Chapter 1")});
    Call(CommandPlayDataSave, {testscript::I(-1)});
    StopFrames();
    auto records = GetMainQueue()->TakeRecords();
    ASSERT_EQ(records.size(), 2u);
    ASSERT_EQ(records[0]->GetType(), QueDataSave);
    auto* save = static_cast<classQue_DataSave*>(records[0].get());
    EXPECT_EQ(save->path, folder / "save0012.dat");
    EXPECT_EQ(save->indexText, "Chapter 1");
    save = static_cast<classQue_DataSave*>(records[1].get());
    EXPECT_EQ(save->path, folder / "save-0001.dat");
    EXPECT_EQ(save->indexText, "");
}

}  // namespace
