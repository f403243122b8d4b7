// Without a host of its own, the executor takes its flags from the
// application object and writes its snapshot through the play-data side's
// writer.
#include "script/script_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/application.h"
#include "script/script_context.h"
#include "support/executor/script_runner.h"

namespace {

int g_snapshotsWritten = 0;
bool CountSnapshot() {
    ++g_snapshotsWritten;
    return true;
}

TEST(ApplicationHost, FlagsAndSnapshotComeFromTheProgram) {
    SetScriptHost(nullptr);
    using Flag = bool (classScriptHost::*)() const;
    const std::pair<const char*, Flag> flags[] = {
        {"quitting", &classScriptHost::IsQuitting},
        {"quit requested", &classScriptHost::IsQuitRequested},
        {"restart requested", &classScriptHost::IsRestartRequested},
        {"ctrl skip", &classScriptHost::IsCtrlSkip},
        {"skip playing", &classScriptHost::IsSkipPlaying},
        {"skip already-read only", &classScriptHost::IsSkipAlreadyOnly},
    };
    for (const auto& [name, flag] : flags)
        EXPECT_FALSE((GetScriptHost().*flag)()) << name << ", no application";
    EXPECT_EQ(GetScriptHost().GetMainScriptContext(), nullptr);

    ASSERT_TRUE(InitApplication());
    for (const auto& [name, flag] : flags) EXPECT_FALSE((GetScriptHost().*flag)()) << name << ", none set";
    classApplication* app = GetApplication();
    testexec::InstallLoader();
    classScriptContext context;
    testexec::RecordingTable table;
    table.Install(context);
    app->mainScriptContext = &context;
    EXPECT_EQ(GetScriptHost().GetMainScriptContext(), &context);

    app->skipPlaying = 1;
    EXPECT_TRUE(GetScriptHost().IsSkipPlaying());
    app->skipAlreadyOnly = 1;
    EXPECT_TRUE(GetScriptHost().IsSkipAlreadyOnly());
    app->skipPlaying = 0;
    app->skipAlreadyOnly = 0;

    g_snapshotsWritten = 0;
    SetInterruptSnapshotWriter(&CountSnapshot);
    testexec::AddSource("host-interrupt.qvs", "Dammy(1) Dammy(2)");
    testexec::AddSource("host-main.qvs", "Dammy(0) Dammy(3)");
    context.frames.emplace_back(std::string("host-main.qvs"));
    BeginScriptInterrupt(context, "host-interrupt.qvs");
    context.Run();
    EXPECT_EQ(table.trace,
              (std::vector<std::string>{"Dammy(i:1)", "Dammy(i:2)", "Dammy(i:0)", "Dammy(i:3)"}));
    EXPECT_EQ(g_snapshotsWritten, 1);

    table.trace.clear();
    context.frames.emplace_back(std::string("host-main.qvs"));
    app->quitRequested = 1;
    context.Run();
    EXPECT_EQ(table.trace, (std::vector<std::string>{"Dammy(i:0)"})) << "a quit request stops the run";

    SetInterruptSnapshotWriter(nullptr);
    app->mainScriptContext = nullptr;
    context.Reset();
    ShutdownApplication();
    testexec::ClearSources();
}

}  // namespace
