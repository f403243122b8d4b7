// Runs fuzzed scripts for a bounded number of statements. The first byte
// picks what the rest is: a "QVS002" image run as a script, or frame records
// as a play-data file holds them, swapped in and run where they stopped.
// Both come from files anyone can edit, so neither may crash the executor,
// hang it or make it read out of range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/input_manager.h"
#include "script/already_read.h"
#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_frame.h"
#include "script/script_host.h"

namespace {

constexpr int kStatementLimit = 200;

// Stops the run loop after a fixed number of statements: the run loop asks
// for the quit request once per statement. No player ever answers a wait
// here and a wait's time is real time, so the player quits as soon as a
// command blocks in its wait: the wait and the run end as they would on a
// real quit, and a wait that overlooks a quit still hangs the run.
class BoundedHost final : public classScriptHost {
  public:
    bool IsQuitting() const override { return false; }
    bool IsQuitRequested() const override {
        if (waiter.Get() != nullptr && waiter.Get()->IsWaiting()) quit_ = true;
        return quit_ || ++asked_ > kStatementLimit;
    }
    bool IsRestartRequested() const override { return false; }
    bool IsCtrlSkip() const override { return false; }
    bool IsSkipPlaying() const override { return true; }
    bool IsSkipAlreadyOnly() const override { return true; }
    classScriptContext* GetMainScriptContext() const override { return main; }
    bool TakeInterruptSnapshot() override { return true; }

    classScriptContext* main = nullptr;
    // The context's own: a wait on a stand-in would go unseen.
    classInputWaiterHolder waiter;
    mutable int asked_ = 0;
    mutable bool quit_ = false;
};

// Scripts pushed by name are not read from disk here.
bool NoScripts(const std::string&, classScriptTables&) {
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    SetScriptLoader(&NoScripts);
    // Values grow up to the byte bound in every statement, and every call
    // copies its frame's values; a small bound keeps a thousand nested calls
    // inside the fuzzer's memory limit.
    classScriptFrame::SetEvaluatedBytesPerStatement(u64{1} << 16);
    BoundedHost host;
    SetScriptHost(&host);
    {
        classScriptContext context;
        host.main = &context;
        context.inputWaiter = &host.waiter;
        if ((data[0] & 1) == 0) {
            classScriptFrame frame;
            frame.scriptName = "fuzz.qvs";
            frame.ReadImage(data + 1, size - 1);
            context.frames.push_back(std::move(frame));
        } else {
            context.DeserializeFrames(data + 1, size - 1);
            context.SwapInLoadedFrames();
        }
        context.Run();
        context.inputWaiter = nullptr;
        host.main = nullptr;
    }
    SetScriptHost(nullptr);
    // Nothing from one input may pile up into the next.
    g_globalVariables.Clear();
    g_nomalVariables.Clear();
    g_systemVariables.Clear();
    g_alreadyReadList.Clear();
    return 0;
}
