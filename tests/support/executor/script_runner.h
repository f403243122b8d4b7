#pragma once
// Runs scripts headless for the executor tests: a host whose flags the test
// sets, a loader that compiles sources held in memory or found under
// tests/data/scripts, and a command table that records every command call
// (name and evaluated arguments) before handing it to the real handler or to
// a test's own.

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_value.h"

namespace testexec {

class TestHost : public classScriptHost {
  public:
    bool IsQuitting() const override { return quitting.load(); }
    bool IsQuitRequested() const override { return quitRequested.load(); }
    bool IsRestartRequested() const override { return restartRequested.load(); }
    bool IsCtrlSkip() const override { return ctrl.load(); }
    bool IsSkipPlaying() const override { return skipPlaying.load(); }
    bool IsSkipAlreadyOnly() const override { return skipAlreadyOnly.load(); }
    classScriptContext* GetMainScriptContext() const override { return mainContext.load(); }
    bool TakeInterruptSnapshot() override {
        snapshots.fetch_add(1);
        if (snapshotsRefused.load() == 0) return true;
        snapshotsRefused.fetch_sub(1);
        return false;
    }

    std::atomic<bool> quitting{false}, quitRequested{false}, restartRequested{false};
    std::atomic<bool> ctrl{false}, skipPlaying{false}, skipAlreadyOnly{false};
    std::atomic<classScriptContext*> mainContext{nullptr};
    std::atomic<int> snapshots{0};
    // The next this many snapshots are not written.
    std::atomic<int> snapshotsRefused{0};
};

// "i:3", "r:2.5", "s:abc", "-" (empty), "#a@5" (label), "op:+", "(i:1, i:2)".
std::string Render(const classScriptValue& value);

// Scripts by name. A source added here wins over a file of the same name
// under $VELK2_TEST_DATA/scripts ("\\" read as "/").
void AddSource(const std::string& name, const std::string& text);
void ClearSources();
// Installs the loader above (idempotent).
void InstallLoader();

using TestHandler =
    std::function<void(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue& result)>;

class RecordingTable {
  public:
    // Calls are recorded as "Name(arg, arg)"; "=" is not recorded unless asked.
    void Install(classScriptContext& context);
    void Handle(const std::string& name, TestHandler handler) { handlers_[name] = std::move(handler); }
    // Keeps the host for the call limit; "IsNowSkipping" gives the skip flag
    // of the statement instead of the application's skip state. The flow
    // commands run their real handlers.
    void HandleFlowCommands(TestHost& host);

    std::vector<std::string> trace;
    // A script that never ends (a regression) is stopped after this many
    // calls through the host's quit request instead of hanging the test.
    size_t callLimit = 100000;
    bool recordAssignments = false;
    // Appends "+skip" to the entries of statements that ran with the skip flag set.
    bool recordSkipFlag = false;

  private:
    static void Dispatch(void* user, int32 index, classScriptContext& context,
                         const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue& result);
    std::map<std::string, TestHandler> handlers_;
    TestHost* host_ = nullptr;
    size_t calls_ = 0;
};

// A fresh host, context and table, with the run-wide variables cleared.
struct ScriptRun {
    ScriptRun();
    ~ScriptRun();
    // Runs the named script on the context to its end.
    void Run(const std::string& name);
    // Value of a run-wide variable as Render shows it ("-" when absent or empty).
    std::string Global(const std::string& name, int64 index = 0) const;
    std::string Nomal(const std::string& name, int64 index = 0) const;

    TestHost host;
    classScriptContext context;
    RecordingTable table;
};

}  // namespace testexec
