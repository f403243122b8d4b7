// Sample scripts under tests/data/scripts/executor compiled and run headless
// on a context whose command table records every call. Expected traces and
// variables are worked out by hand from the scripts.
#include "support/executor/script_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/global_variables.h"

namespace {

using testexec::Render;
using testexec::ScriptRun;
using Trace = std::vector<std::string>;

Trace Only(const Trace& trace, const std::string& command) {
    Trace kept;
    for (const std::string& entry : trace)
        if (entry.compare(0, command.size() + 1, command + "(") == 0) kept.push_back(entry);
    return kept;
}

TEST(SampleScripts, AssignmentsInEveryScope) {
    ScriptRun run;
    run.Run("executor\\scopes.qvs");
    EXPECT_EQ(run.Global("g"), "i:42") << "6 * 7";
    EXPECT_EQ(run.Nomal("n"), "i:30") << "42 - 6 * 2";
    EXPECT_EQ(run.Global("arr", 2), "i:7");
    EXPECT_EQ(run.Global("arr", -1), "i:14");
    EXPECT_EQ(run.Global("arr", 3), "s:three");
    classScriptValue system;
    ASSERT_TRUE(g_systemVariables.TryGet("s", 0, system));
    EXPECT_EQ(Render(system), "i:5");
    EXPECT_EQ(run.Global("l"), "-") << "a local never reaches the run-wide stores";
    EXPECT_EQ(run.table.trace, (Trace{"Dammy(i:7, i:42, i:7)"}));
}

TEST(SampleScripts, IfElseChains) {
    ScriptRun run;
    run.Run("executor\\branches.qvs");
    EXPECT_EQ(run.Global("path"), "s:bcfmoik");
    EXPECT_EQ(Only(run.table.trace, "Dammy"), (Trace{"Dammy(i:1)", "Dammy(i:2)"}))
        << "a false if without braces skips nothing; the else of a true if is skipped";
}

TEST(SampleScripts, LabelsAndJumps) {
    ScriptRun run;
    run.Run("executor\\jumps.qvs");
    EXPECT_EQ(run.Global("count"), "i:3");
    EXPECT_EQ(Only(run.table.trace, "Dammy"),
              (Trace{"Dammy(i:1)", "Dammy(i:2)", "Dammy(i:3)", "Dammy(i:100)"}));
}

TEST(SampleScripts, CallsWithReturns) {
    ScriptRun run;
    run.Run("executor\\calls.qvs");
    EXPECT_EQ(run.Global("trail"), "s:start/sub/back/end");
    EXPECT_EQ(Only(run.table.trace, "Dammy"), (Trace{"Dammy(i:5)", "Dammy(i:1)"}))
        << "the label call changed its own copy of the local";
    EXPECT_TRUE(run.context.frames.empty());
}

}  // namespace
