// The statement executor's rules: where command results go, what is marked
// read and when, the skip flag, the snapshot on entering an interrupt, and the
// bounds that keep a runaway script from taking the program down.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_frame.h"
#include "support/executor/script_runner.h"
#include "support/le_bytes.h"

namespace {

using testexec::AddSource;
using testexec::Render;
using testexec::ScriptRun;
using Trace = std::vector<std::string>;
using Ctx = classScriptContext&;
using Args = const std::vector<classScriptValue>&;
using Out = classScriptValue&;

// Runs hand-built tables as the only frame of the run's context.
// A pending target other than -1 is what a saved frame may bring back.
void RunTables(ScriptRun& run, classScriptTables&& tables, const std::string& name = "built.qvs",
               int64 pendingTarget = -1) {
    classScriptFrame frame;
    frame.scriptName = name;
    frame.SetTables(std::move(tables));
    if (pendingTarget >= 0) frame.pendingTarget.Set(static_cast<u32>(pendingTarget));
    run.context.frames.push_back(std::move(frame));
    run.context.Run(nullptr);
}

std::string SystemVariable(const std::string& name) {
    classScriptValue value;
    return g_systemVariables.TryGet(name, 0, value) ? Render(value) : "-";
}

// A variable statement takes the result of the command after it; "=" with
// arguments, or any command with no result, leaves no target waiting.
TEST(PendingTarget, AVariableStatementReceivesTheNextCommandsResult) {
    using Build = void (*)(classScriptTables&);
    struct Case {
        const char* name;
        Build build;
        const char* global;
    };
    const Case cases[] = {
        {"the next command's result",
         [](classScriptTables& t) {
             t.AddStatement(t.AddGlobalRecord("x", -1));
             t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(5)}));
         },
         "s:5.000000"},
        {"a command without a result drops it",
         [](classScriptTables& t) {
             t.AddStatement(t.AddGlobalRecord("x", -1));
             t.AddStatement(t.AddCommandRecord("Dammy", std::vector<int32>{}));
             t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(5)}));
         },
         "-"},
        {"an argumentless = passes it on",
         [](classScriptTables& t) {
             const int32 tmp = t.AddTmpRecord();
             t.AddStatement(tmp);
             t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{}));
             t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(5)}));
             t.AddStatement(t.AddGlobalRecord("x", -1));
             t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{tmp}));
         },
         "s:5.000000"},
        {"an = whose value comes out empty still drops it",
         [](classScriptTables& t) {
             t.AddStatement(t.AddGlobalRecord("x", -1));
             const std::vector<int32> empty{t.AddRealRecord(1.5), t.AddOperatorRecord("&"),
                                            t.AddIntegerRecord(1)};
             t.AddStatement(t.AddCommandRecord("=", empty));
             t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(5)}));
         },
         "-"},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        classScriptTables t;
        c.build(t);
        RunTables(run, std::move(t));
        EXPECT_EQ(run.Global("x"), c.global) << c.name;
    }
}

// A damaged save may name a statement past the script's end, or one that is
// no variable, as the waiting target: the result is dropped, not stored.
TEST(PendingTarget, ATargetThatIsNoVariableIsDropped) {
    for (int64 target : {0, 1, 99}) {
        ScriptRun run;
        classScriptTables t;
        t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(5)}));
        t.AddStatement(t.AddCommandRecord("ToString", std::vector<int32>{t.AddIntegerRecord(6)}));
        RunTables(run, std::move(t), "damaged.qvs", target);
        EXPECT_EQ(run.table.trace, (Trace{"ToString(i:5)", "ToString(i:6)"})) << target;
    }
}

TEST(PendingTarget, EveryScopeTakesItsValue) {
    ScriptRun run;
    classScriptTables t;
    const int32 seven = t.AddIntegerRecord(7);
    const int32 tmp = t.AddTmpRecord();
    t.AddStatement(tmp);
    t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{seven}));
    const int32 local = t.AddLocalRecord("l", -1);
    t.AddStatement(local);
    t.AddStatement(
        t.AddCommandRecord("=", std::vector<int32>{tmp, t.AddOperatorRecord("*"), t.AddIntegerRecord(2)}));
    t.AddStatement(t.AddNomalRecord("n", t.AddIntegerRecord(-3)));
    t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{local, t.AddOperatorRecord("+"), seven}));
    t.AddStatement(t.AddGlobalRecord("g", -1));
    t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{local}));
    t.AddStatement(t.AddSystemRecord("s", -1));
    t.AddStatement(t.AddCommandRecord("=", std::vector<int32>{seven}));
    RunTables(run, std::move(t));
    EXPECT_EQ(run.Nomal("n", -3), "i:21") << "14 + 7 into element -3";
    EXPECT_EQ(run.Global("g"), "i:14");
    EXPECT_EQ(SystemVariable("s"), "i:7") << "a System-scope assignment keeps its value in the system store";
}

TEST(Executor, UnknownCommandsStillEvaluateTheirArguments) {
    ScriptRun run;
    classScriptTables t;
    const int32 y = t.AddGlobalRecord("y", t.AddIntegerRecord(3));
    t.AddStatement(t.AddCommandRecord("NoSuchCommand", std::vector<int32>{y}));
    RunTables(run, std::move(t));
    classScriptValue value;
    EXPECT_TRUE(g_globalVariables.TryGet("y", 3, value)) << "reading y[3] made it";
    EXPECT_TRUE(value.IsEmpty());
    EXPECT_TRUE(run.table.trace.empty()) << "nothing was called";
}

TEST(Executor, ArgumentVectorIsNeverShrunk) {
    ScriptRun run;
    std::vector<size_t> sizes;
    std::vector<std::string> staleSecond;
    run.table.Handle("Dammy", [&](Ctx context, Args arguments, int32 count, Out) {
        sizes.push_back(static_cast<size_t>(count));
        staleSecond.push_back(Render(arguments[1]));
        EXPECT_GE(arguments.size(), 32u);
    });
    AddSource("shrink.qvs", "Dammy(1, 2, 3) Dammy(4)");
    run.Run("shrink.qvs");
    EXPECT_EQ(sizes, (std::vector<size_t>{3, 1}));
    EXPECT_EQ(staleSecond, (std::vector<std::string>{"i:2", "i:2"}))
        << "entries past the count keep old values";
}

TEST(AlreadyRead, MarkedOnlyWhenTheStatementMovesOn) {
    ScriptRun run;
    std::vector<std::string> seen;
    int repeats = 0;
    run.table.Handle("Dammy", [&](Ctx context, Args arguments, int32, Out) {
        classScriptFrame* frame = context.GetCurrentFrame();
        seen.push_back(std::to_string(frame->pc) + (frame->IsAlreadyReadAt(frame->pc) ? "r" : "u") +
                       (frame->IsAlreadyReadAt(0) ? "0r" : "0u"));
        if (arguments[0].integer == 2 && repeats < 2) {
            ++repeats;
            frame->SetNextPcToPc();
        }
    });
    AddSource("marks-move.qvs", "Dammy(1) Dammy(2) Dammy(3)");
    run.Run("marks-move.qvs");
    EXPECT_EQ(seen, (std::vector<std::string>{"0u0u", "1u0r", "1u0r", "1u0r", "2u0r"}));
    classScriptFrame again("marks-move.qvs");
    EXPECT_TRUE(again.IsAlreadyReadAt(0));
    EXPECT_TRUE(again.IsAlreadyReadAt(1)) << "marked once it finally moved on";
    EXPECT_TRUE(again.IsAlreadyReadAt(2));
}

struct SkipCase {
    bool ctrl, skipPlaying, alreadyOnly;
    const char* firstRun;
    const char* secondRun;
};

TEST(SkipRule, CtrlSkipsEverythingSkipPlayingMayWaitForRead) {
    const SkipCase cases[] = {
        {false, false, false, "Dammy(i:1)", "Dammy(i:1)"},
        {true, false, false, "Dammy(i:1)+skip", "Dammy(i:1)+skip"},
        {true, false, true, "Dammy(i:1)+skip", "Dammy(i:1)+skip"},
        {false, true, false, "Dammy(i:1)+skip", "Dammy(i:1)+skip"},
        // Seen for the first time: not skipped, even in skip mode; marked
        // afterwards, so skipped the next time.
        {false, true, true, "Dammy(i:1)", "Dammy(i:1)+skip"},
        {false, false, true, "Dammy(i:1)", "Dammy(i:1)"},
    };
    int n = 0;
    for (const SkipCase& c : cases) {
        const std::string name = "skip" + std::to_string(n++) + ".qvs";
        AddSource(name, "Dammy(1)");
        for (const char* expected : {c.firstRun, c.secondRun}) {
            ScriptRun run;
            AddSource(name, "Dammy(1)");
            run.host.ctrl = c.ctrl;
            run.host.skipPlaying = c.skipPlaying;
            run.host.skipAlreadyOnly = c.alreadyOnly;
            run.table.recordSkipFlag = true;
            run.Run(name);
            EXPECT_EQ(run.table.trace, Trace{expected}) << name;
        }
    }
}

TEST(Snapshot, TakenOncePerInterruptEntryOfTheMainScript) {
    ScriptRun run;
    AddSource("intr.qvs", "Dammy(10) Dammy(11) Dammy(12)");
    AddSource("main.qvs",
              "Dammy(1) ScriptCall(File=\"intr.qvs\", Interrupt=1) Dammy(2) "
              "ScriptCall(File=\"intr.qvs\", Interrupt=1) Dammy(3) ScriptCall(File=\"intr.qvs\")");
    run.Run("main.qvs");
    EXPECT_EQ(run.host.snapshots.load(), 2) << "one per interrupt, none for a plain call";
    EXPECT_FALSE(g_autoSnapshotTaken.load()) << "cleared by the first statement outside";
    EXPECT_EQ(run.table.trace.size(), 15u);
}

TEST(Snapshot, ASnapshotNotWrittenIsNotTakenAndIsTriedAgainAtTheNextStatement) {
    struct Case {
        const char* name;
        int refused;
        int tries;
        bool takenAtEnd;  // read inside the interrupt's last statement
    };
    // The interrupt runs three statements.
    const Case cases[] = {
        {"written at once", 0, 1, true},
        {"refused once", 1, 2, true},
        {"refused through the whole interrupt", 3, 3, false},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        AddSource("intr.qvs", "Dammy(10) Dammy(11) Dammy(12)");
        AddSource("main.qvs", "ScriptCall(File=\"intr.qvs\", Interrupt=1) Dammy(2)");
        run.host.snapshotsRefused = c.refused;
        bool takenAtEnd = false;
        run.table.Handle("Dammy", [&](Ctx, Args arguments, int32, Out) {
            classScriptValue first = arguments[0];
            if (const int64* number = first.AsInteger(); number != nullptr && *number == 12)
                takenAtEnd = g_autoSnapshotTaken.load();
        });
        run.Run("main.qvs");
        EXPECT_EQ(run.host.snapshots.load(), c.tries) << c.name;
        EXPECT_EQ(takenAtEnd, c.takenAtEnd) << c.name;
    }
}

TEST(Snapshot, NeverTakenByAnotherThreadsContext) {
    ScriptRun run;
    classScriptContext mainContext;
    run.host.mainContext = &mainContext;
    AddSource("intr.qvs", "Dammy(10)");
    AddSource("function.qvs", "ScriptCall(File=\"intr.qvs\", Interrupt=1)");
    run.Run("function.qvs");
    EXPECT_EQ(run.table.trace, (Trace{"ScriptCall(s:intr.qvs, -, i:1)", "Dammy(i:10)"}));
    EXPECT_EQ(run.host.snapshots.load(), 0);
}

// An interrupt pushed onto the main script while one of its statements runs
// comes before the statement after it. Only a wait that gave up its wait for
// the interrupt runs again; a statement that ran to its end does not. Frames
// started inside the interrupt belong to it.
TEST(Interrupt, ComesBeforeTheNextStatementAndOnlyAWaitThatGaveUpRunsAgain) {
    const Trace interrupt = {"Dammy(i:10)", "ScriptCall(s:inner.qvs)", "Dammy(i:20)", "Dammy(i:11)"};
    struct Case {
        bool gaveUp;
        Trace after;
        std::vector<int> flags;
    } cases[] = {
        {true, {"Wait(i:5)", "Dammy(i:2)"}, {0, 1, 1, 1, 0}},
        {false, {"Dammy(i:2)"}, {0, 1, 1, 1, 0}},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        AddSource("intr.qvs", "Dammy(10) ScriptCall(File=\"inner.qvs\") Dammy(11)");
        AddSource("inner.qvs", "Dammy(20)");
        AddSource("waits.qvs", "Dammy(1) Wait(Time=5) Dammy(2)");
        bool interrupted = false;
        run.table.Handle("Wait", [&](Ctx context, Args, int32, Out) {
            if (interrupted) return;
            interrupted = true;
            EXPECT_NE(BeginScriptInterrupt(context, "intr.qvs"), nullptr);
            EXPECT_TRUE(context.IsCurrentFrameCovered());
            EXPECT_TRUE(context.IsInInterrupt());
            if (c.gaveUp) context.RepeatCurrentStatement();
        });
        std::vector<int> flags;
        run.table.Handle("Dammy", [&](Ctx context, Args, int32, Out) {
            flags.push_back(context.GetCurrentFrame()->interruptFlag);
        });
        run.Run("waits.qvs");
        Trace expected = {"Dammy(i:1)", "Wait(i:5)"};
        expected.insert(expected.end(), interrupt.begin(), interrupt.end());
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(run.table.trace, expected) << "gave up: " << c.gaveUp;
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(run.host.snapshots.load(), 1);
    }
}

// Read from another thread between two statements (no current frame), the
// main script is neither covered nor in an interrupt until one is on top.
TEST(Interrupt, BetweenStatementsOnlyAnInterruptOnTopCounts) {
    struct Case {
        const char* name;
        bool interrupt;
        bool expected;
    } cases[] = {{"a plain frame", false, false}, {"an interrupt pushed", true, true}};
    for (const Case& c : cases) {
        ScriptRun run;
        AddSource("plain.qvs", "Dammy(1)");
        AddSource("intr.qvs", "Dammy(2)");
        classScriptContext context;
        ASSERT_NE(context.PushLoadedFrame(classScriptFrame("plain.qvs")), nullptr);
        if (c.interrupt) {
            ASSERT_NE(BeginScriptInterrupt(context, "intr.qvs"), nullptr);
        }
        EXPECT_EQ(context.IsCurrentFrameCovered(), c.expected) << c.name;
        EXPECT_EQ(context.IsInInterrupt(), c.expected) << c.name;
    }
}

TEST(Frames, PushesInheritTheFlagsOfTheCurrentFrame) {
    ScriptRun run;
    AddSource("flags.qvs", "Dammy(1) Dammy(2)");
    std::vector<std::pair<int, int>> pushed;
    run.table.Handle("Dammy", [&](Ctx context, Args arguments, int32, Out) {
        classScriptFrame* current = context.GetCurrentFrame();
        if (arguments[0].integer != 1) return;
        current->reservedFlag = 3;
        current->interruptFlag = 1;
        classScriptFrame* copy = context.PushFrame(*current);
        pushed.emplace_back(copy->interruptFlag, copy->reservedFlag);
        copy->SeekEnd();
        current->interruptFlag = 0;
    });
    run.Run("flags.qvs");
    EXPECT_EQ(pushed, (std::vector<std::pair<int, int>>{{1, 3}}));
}

TEST(Frames, DepthIsCappedSoSelfCallsEnd) {
    ScriptRun run;
    AddSource("self.qvs", "#a Dammy(1)\nScriptCall(Label=#a)\nDammy(2)");
    size_t deepest = 0;
    run.table.Handle(
        "Dammy", [&](Ctx context, Args, int32, Out) { deepest = std::max(deepest, context.frames.size()); });
    testing::internal::CaptureStderr();
    run.Run("self.qvs");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(deepest, classScriptContext::kMaxFrameDepth);
    EXPECT_TRUE(run.context.frames.empty());
    EXPECT_EQ(run.table.trace.size(), 3 * classScriptContext::kMaxFrameDepth)
        << "every level went on after its call";
    // Said once, with the line of the call that was not made.
    const std::size_t at = said.find("self.qvs, line 2: calls are nested");
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find("self.qvs", at + 1), std::string::npos) << said;
}

// A call made by a script's last statement ends its caller at once, so the
// stack never grows; the calls still count, and stop 1000 deep. The main
// script is frame 1: a script that calls itself runs in frames 2 to 1000,
// of two that call each other the first runs in the even ones, and the main
// script goes on after its call.
TEST(Frames, CallsFromALastStatementCountTowardTheDepth) {
    struct Case {
        const char* name;
        const char* start;
        size_t dammies;
    };
    const Case cases[] = {
        {"by label", "#a Dammy(1) ScriptCall(Label=#a)", 999},
        {"by file", "Dammy(1) ScriptCall(File=\"tail.qvs\")", 999},
        {"two files in turn", "Dammy(1) ScriptCall(File=\"pong.qvs\")", 500},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        AddSource("pong.qvs", "ScriptCall(File=\"tail.qvs\")");
        AddSource("tail.qvs", c.start);
        AddSource("main.qvs", "ScriptCall(File=\"tail.qvs\") Dammy(2)");
        size_t ones = 0, twos = 0;
        run.table.Handle("Dammy", [&](Ctx, Args arguments, int32, Out) { ++(arguments[0].integer == 1 ? ones : twos); });
        testing::internal::CaptureStderr();
        run.Run("main.qvs");
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(ones, c.dammies) << c.name;
        EXPECT_EQ(twos, 1u) << c.name << ": the caller went on";
    }
}

// A label its script lacks is said with the line of the statement that asked
// for it; the script goes on as each command does without the label.
TEST(Frames, AMissingLabelIsSaidWithTheLineThatAskedForIt) {
    struct Case {
        const char* script;
        const char* text;
        const char* other;  // "name=text" of the script asked for, or null
        Trace trace;
        const char* said;
    };
    const Case cases[] = {
        {"label1.qvs", "Dammy(1)\nScriptJump(File=\"to1.qvs\", Label=#Nope)\nDammy(2)", "to1.qvs=Dammy(3)",
         {"Dammy(i:1)", "Dammy(i:3)"},
         "velk2: label1.qvs, line 2: no label \"#Nope\" in \"to1.qvs\"; the script runs from its first statement\n"},
        {"label2.qvs", "Dammy(1)\n\nScriptCall(File=\"to2.qvs\", Label=#Nope)\nDammy(2)", "to2.qvs=Dammy(3)",
         {"Dammy(i:1)", "Dammy(i:2)"},
         "velk2: label2.qvs, line 3: no label \"#Nope\" in \"to2.qvs\"; the call returns at once\n"},
        {"label3.qvs", "ScriptCall(Label=#Nope)\nDammy(2)", nullptr, {"Dammy(i:2)"},
         "velk2: label3.qvs, line 1: no label \"#Nope\" in \"label3.qvs\"; the call returns at once\n"},
        {"label4.qvs", "Dammy(1)\nScriptJump(Label=#Nope)\nDammy(2)", nullptr, {"Dammy(i:1)"},
         "velk2: label4.qvs, line 2: no label \"#Nope\" in \"label4.qvs\"; the script ends here\n"},
        {"label5.qvs", "ScriptCall(File=\"to5.qvs\", Label=#There)\nDammy(2)", "to5.qvs=Dammy(4)\n#There\nDammy(5)",
         {"Dammy(i:5)", "Dammy(i:2)"}, ""},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        AddSource(c.script, c.text);
        if (c.other != nullptr) {
            const std::string other = c.other;
            AddSource(other.substr(0, other.find('=')), other.substr(other.find('=') + 1));
        }
        testing::internal::CaptureStderr();
        run.Run(c.script);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said) << c.script;
        Trace dammies;
        for (const std::string& call : run.table.trace)
            if (call.rfind("Dammy(", 0) == 0) dammies.push_back(call);
        EXPECT_EQ(dammies, c.trace) << c.script;
    }
}

// An "if" whose "{" was never closed jumps through -1: the frame ends and the
// script does not start over.
TEST(Frames, JumpToANegativeStatementEndsTheFrame) {
    ScriptRun run;
    AddSource("unclosed.qvs", "Dammy(0) if(0) { Dammy(1)");
    run.Run("unclosed.qvs");
    EXPECT_EQ(run.table.trace, (Trace{"Dammy(i:0)", "if(i:0)"}));
}

TEST(Frames, RunStopsOnQuitAndRestart) {
    for (int which = 0; which < 3; ++which) {
        ScriptRun run;
        AddSource("stop.qvs", "Dammy(1) Dammy(2) Dammy(3)");
        run.table.Handle("Dammy", [&](Ctx, Args, int32, Out) {
            if (which == 0) run.host.quitting = true;
            if (which == 1) run.host.quitRequested = true;
            if (which == 2) run.host.restartRequested = true;
        });
        run.Run("stop.qvs");
        EXPECT_EQ(run.table.trace, Trace{"Dammy(i:1)"}) << which;
        EXPECT_EQ(run.context.frames.size(), 1u) << "the frame stays for the restart to replace";
    }
}

TEST(Frames, PopAllFramesEndsEveryFrame) {
    ScriptRun run;
    AddSource("outer.qvs", "ScriptCall(File=\"inner.qvs\") Dammy(1)");
    AddSource("inner.qvs", "Quit Dammy(2)");
    run.Run("outer.qvs");
    EXPECT_EQ(run.table.trace, (Trace{"ScriptCall(s:inner.qvs)", "Quit()"}));
}

// "if" reads its argument as an integer: reals are truncated toward zero,
// saturating beyond the 64-bit range, and NaN reads as 0.
TEST(IfCommand, ConditionsReadAsIntegers) {
    struct Case {
        const char* name;
        char kind;  // 'r' real, 's' string, 'o' operator, '-' no argument
        double real;
        const char* text;
        bool runs;
    };
    const Case cases[] = {
        {"a huge real saturates", 'r', 1e300, "", true},
        {"a huge negative real saturates", 'r', -1e300, "", true},
        {"NaN reads as 0", 'r', std::numeric_limits<double>::quiet_NaN(), "", false},
        {"-0.5 truncates toward zero", 'r', -0.5, "", false},
        {"a hex text", 's', 0, "0x10", true},
        {"an operator has no integer", 'o', 0, "+", false},
        {"no argument skips the block", '-', 0, "", false},
    };
    for (const Case& c : cases) {
        ScriptRun run;
        classScriptTables t;
        // 0 if(c), 1 {, 2 Dammy(1), 3 }, 4 Dammy(2)
        std::vector<int32> args;
        if (c.kind == 'r') args.push_back(t.AddRealRecord(c.real));
        if (c.kind == 's') args.push_back(t.AddStringRecord(c.text));
        if (c.kind == 'o') args.push_back(t.AddOperatorRecord(c.text));
        t.AddStatement(t.AddCommandRecord("if", args));
        const int32 open = t.AddBlockMarkerRecord("{");
        t.AddStatement(open);
        t.AddStatement(t.AddCommandRecord("Dammy", std::vector<int32>{t.AddIntegerRecord(1)}));
        t.AddStatement(t.AddBlockMarkerRecord("}"));
        t.SetRecordB(open, 3);
        t.AddStatement(t.AddCommandRecord("Dammy", std::vector<int32>{t.AddIntegerRecord(2)}));
        RunTables(run, std::move(t));
        const Trace dammies(run.table.trace.begin() + 1, run.table.trace.end());
        EXPECT_EQ(dammies, c.runs ? (Trace{"Dammy(i:1)", "Dammy(i:2)"}) : (Trace{"Dammy(i:2)"})) << c.name;
    }
}

TEST(Snapshot, OnlyTheMainContextsResetClearsTheMark) {
    ScriptRun run;
    g_autoSnapshotTaken.store(true);
    {
        classScriptContext functionContext;
        functionContext.Reset();
    }
    EXPECT_TRUE(g_autoSnapshotTaken.load()) << "a Function thread's context comes and goes";
    run.context.Reset();
    EXPECT_FALSE(g_autoSnapshotTaken.load());
}

// Damaged images can make argument lists that refer to themselves or ask for
// more values than a statement may make; evaluation stops within bounds and
// the handler is never told of arguments the vector does not hold.
size_t Depth(const classScriptValue& value) {
    size_t deepest = 0;
    for (const classScriptValue& child : value.children) deepest = std::max(deepest, Depth(child));
    return value.IsList() ? deepest + 1 : 0;
}

TEST(Evaluation, SelfReferringAndOversizedListsStayBounded) {
    ScriptRun run;
    std::vector<std::pair<int32, size_t>> seen;
    size_t depth = 0;
    run.table.Handle("Dammy", [&](Ctx, Args arguments, int32 count, Out) {
        seen.emplace_back(count, arguments.size());
        if (count > 0) depth = Depth(arguments[0]);
    });
    classScriptTables t;
    const int32 one = t.AddIntegerRecord(1);
    t.AddStatement(t.AddCommandRecord("Dammy", std::vector<int32>(20000, one)));
    // A parenthesis record is {8, a, b}; its list (b) is made to name the
    // record itself four times by building the list first and pointing at it.
    const u32 listIndex = static_cast<u32>(t.ArgumentListTable().size());
    const int32 self = static_cast<int32>(t.RecordTable().size());
    t.AddStatement(t.AddCommandRecord("Dammy", std::vector<int32>{self, self, self, self}));
    const int32 paren = t.AddParenthesisRecord("", std::vector<int32>{});
    ASSERT_EQ(paren, self + 1) << "the command record came first";
    std::vector<u8> written;
    t.WriteImage(written);
    testbytes::LeBytes image;
    image.Append(written);
    // Point the Dammy's arguments at the parenthesis record and the
    // parenthesis record's list at that same argument list.
    for (int i = 0; i < 4; ++i) image.PatchU32(image.GetU32(20) + 4 * (listIndex + 1 + i), paren);
    image.PatchU32(image.GetU32(28) + 12 * paren + 8, listIndex);
    classScriptTables patched;
    ASSERT_TRUE(patched.ReadImage(image.Bytes().data(), image.Size()));
    testing::internal::CaptureStderr();
    RunTables(run, std::move(patched));
    const std::string said = testing::internal::GetCapturedStderr();
    // 20000 arguments are more than one statement may evaluate, and the list
    // that holds itself ends at the nesting bound: neither command is given
    // values cut short, and each is named once.
    EXPECT_TRUE(seen.empty()) << seen.size() << " calls, the first deep " << depth;
    EXPECT_NE(said.find(", statement 0:"), std::string::npos) << said;
    EXPECT_NE(said.find(", statement 1:"), std::string::npos) << said;
}

std::atomic<int> g_loadsWithLockFree{0};
std::atomic<int> g_loads{0};

// A load that may show a Retry/Cancel box must not hold up other threads on
// the frame lock: while it runs, another thread can take the lock.
bool LockProbingLoader(const std::string& name, classScriptTables& out) {
    g_loads.fetch_add(1);
    bool free = false;
    std::thread probe([&] {
        if (g_scriptFrameLock.try_lock()) {
            free = true;
            g_scriptFrameLock.unlock();
        }
    });
    probe.join();
    if (free) g_loadsWithLockFree.fetch_add(1);
    out.AddStatement(out.AddCommandRecord("Dammy", std::vector<int32>{}));
    return !name.empty();
}

TEST(Frames, ScriptsAreLoadedOutsideTheFrameLock) {
    ScriptRun run;
    SetScriptLoader(&LockProbingLoader);
    g_loads = 0;
    g_loadsWithLockFree = 0;
    classScriptFrame base;
    base.scriptName = "base.qvs";
    run.context.frames.push_back(base);
    BeginScriptCall(run.context, "a.qvs", "");
    BeginScriptJump(run.context, "b.qvs", "");
    BeginScriptInterrupt(run.context, "c.qvs");
    run.context.PushScript("d.qvs");
    EXPECT_EQ(run.context.frames.size(), 5u);
    EXPECT_EQ(g_loads.load(), 4);
    EXPECT_EQ(g_loadsWithLockFree.load(), 4);
    testexec::InstallLoader();
}

// Long texts are data a game may really build; only runaway statements meet
// the evaluator's bounds, and then nothing is stored cut short.
TEST(EvaluationLimits, A64MiBTextAssignsAndConcatenatesIntact) {
    ScriptRun run;
    // "abcdefgh" doubled 23 times: 8 << 23 bytes, 64 MiB.
    AddSource("grow.qvs",
              "Variable(Global, Name=big) Variable(Global, Name=k) big = \"abcdefgh\" k = 0 "
              "#again big = big + big k = k + 1 if (k < 23) { ScriptJump(Label=#again) } "
              "Variable(Global, Name=copy) copy = big");
    testing::internal::CaptureStderr();
    run.Run("grow.qvs");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    struct Case {
        const char* name;
    };
    const Case cases[] = {{"big"}, {"copy"}};
    for (const Case& c : cases) {
        classScriptValue value;
        ASSERT_TRUE(g_globalVariables.TryGet(c.name, 0, value)) << c.name;
        const std::string* text = value.AsString();
        ASSERT_NE(text, nullptr) << c.name;
        ASSERT_EQ(text->size(), std::size_t{64} << 20) << c.name;
        for (std::size_t at : {std::size_t{0}, std::size_t{8} << 20, (std::size_t{64} << 20) - 8})
            EXPECT_EQ(text->compare(at, 8, "abcdefgh"), 0) << c.name << " at " << at;
    }
    g_globalVariables.Clear();
}

TEST(EvaluationLimits, AStatementBeyondTheBoundsIsLeftOutAndSaidOnceWithItsPlace) {
    // An expression of 18001 values and operators, beyond the 16384 one
    // statement may evaluate.
    std::string nested = "1";
    for (int i = 0; i < 9000; ++i) nested += " + 1";
    ScriptRun run;
    AddSource("deep.qvs", "Variable(Global, Name=v) Variable(Global, Name=k) v = \"old\" k = 0\n#again v = " +
                              nested + " k = k + 1 if (k < 3) { ScriptJump(Label=#again) } Dammy(v)");
    testing::internal::CaptureStderr();
    run.Run("deep.qvs");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(run.table.trace.back(), "Dammy(s:old)") << "the variable keeps its value";
    const std::size_t first = said.find("deep.qvs, line 2: ");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("deep.qvs", first + 1), std::string::npos) << "said once for three runs: " << said;
    g_globalVariables.Clear();
}

TEST(EvaluationLimits, AnArgumentBeyondTheBoundsTakesItsDefaultAndTheCommandRuns) {
    std::string nested = "1";
    for (int i = 0; i < 9000; ++i) nested += " + 1";
    ScriptRun run;
    AddSource("arg.qvs", "Dammy(7)\nDammy(" + nested + ")\nDammy(8)");
    testing::internal::CaptureStderr();
    run.Run("arg.qvs");
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(run.table.trace.size(), 3u);
    EXPECT_EQ(run.table.trace[0], "Dammy(i:7)");
    EXPECT_EQ(run.table.trace[2], "Dammy(i:8)");
    EXPECT_EQ(run.table.trace[1].find("i:"), std::string::npos) << "no value cut short: " << run.table.trace[1];
    EXPECT_NE(said.find("arg.qvs, line 2: an argument's value is beyond what one statement may evaluate; the "
                        "argument takes its default and the command runs"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("not run"), std::string::npos) << said;
}

// A save asked for by a Function script serialises the main script's frames
// on the render thread while the main script goes on writing its locals and
// temporaries. Every snapshot must be a state the script was in: its counter
// never runs backwards and its text always belongs to a counter value.
TEST(FrameLock, ASaveReadsTheLocalsOfARunningScriptWhileItWritesThem) {
    ScriptRun run;
    AddSource("busy.qvs",
              "Variable(Local, Name=n) Variable(Local, Name=t) n = 0 "
              "#again n = n + 1 t = \"step \" + n if (n < 20000) { ScriptJump(Label=#again) }");
    std::atomic<bool> done{false};
    std::vector<int64> counters;
    std::vector<std::string> texts;
    std::thread saver([&] {
        while (!done.load()) {
            classMemoryStream out;
            run.context.SerializeFrames(out);
            classScriptContext loaded;
            loaded.DeserializeFrames(out.Data(), out.Size());
            if (loaded.loadedFrames.empty()) continue;
            classScriptFrame& frame = loaded.loadedFrames.front();
            classScriptValue* n = frame.localVariables.Find("n", 0);
            classScriptValue* t = frame.localVariables.Find("t", 0);
            if (n == nullptr || n->AsInteger() == nullptr) continue;
            counters.push_back(*n->AsInteger());
            texts.push_back(t != nullptr && t->AsString() != nullptr ? *t->AsString() : std::string());
        }
    });
    run.Run("busy.qvs");
    done = true;
    saver.join();
    for (std::size_t i = 0; i < counters.size(); ++i) {
        ASSERT_GE(counters[i], 0) << i;
        ASSERT_LE(counters[i], 20000) << i;
        if (i > 0) {
            ASSERT_GE(counters[i], counters[i - 1]) << i;
        }
        // "t" follows "n" one statement later: it names n or n - 1.
        if (!texts[i].empty()) {
            ASSERT_TRUE(texts[i] == "step " + std::to_string(counters[i]) ||
                        texts[i] == "step " + std::to_string(counters[i] - 1))
                << i << ": " << texts[i] << " with n " << counters[i];
        }
    }
}

}  // namespace
