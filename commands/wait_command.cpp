#include "commands/wait_command.h"

#include "foundation/application.h"
#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "presentation/command_queue.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_threads.h"
#include "script/script_value.h"

namespace {

constexpr u32 kKeyEnter = 13;
constexpr u32 kKeyControl = 17;
constexpr u32 kLeftButton = 1;

// A parameter is given when its argument reads as an integer.
bool IntegerArgument(const std::vector<classScriptValue>& arguments, int32 count, int32 position,
                     int64& out) {
    if (position >= count || static_cast<size_t>(position) >= arguments.size()) return false;
    classScriptValue copy = arguments[static_cast<size_t>(position)];
    const int64* value = copy.AsInteger();
    if (value == nullptr) return false;
    out = *value;
    return true;
}

bool IsNextChoiceSkipping() {
    const classApplication* application = GetApplication();
    return application != nullptr && application->nextSelectSkipping.load() != 0;
}

}  // namespace

bool CommandWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue&) {
    int64 time = kWaitDefaultTime;
    int64 skipOn = 0;
    IntegerArgument(arguments, count, 0, time);
    IntegerArgument(arguments, count, 1, skipOn);

    const classScriptHost& host = GetScriptHost();
    classScriptContext* mainContext = host.GetMainScriptContext();
    const bool isMain = mainContext == &context;
    if (isMain && IsNextChoiceSkipping()) return true;
    CommitQueue(GetMainQueue());
    if (context.skipFlag.load(std::memory_order_relaxed)) return true;

    // A context without a registered waiter (a tool, a test) still waits,
    // on a waiter of its own that no input reaches.
    classInputWaiter standIn(0);
    classInputWaiter* waiter = context.inputWaiter != nullptr ? context.inputWaiter->Get() : nullptr;
    if (waiter == nullptr) waiter = &standIn;
    waiter->ClearTargets();
    classInputTarget* skipTargets[3] = {
        classInputTarget::SetKey(waiter->AddTarget(), kKeyEnter, 0),
        classInputTarget::SetKey(waiter->AddTarget(), kKeyControl, 0),
        classInputTarget::SetMouseButton(waiter->AddTarget(), kLeftButton, 0),
    };
    for (classInputTarget* target : skipTargets)
        if (target != nullptr && skipOn == 0) target->disabled = 1;

    const u32 generation = CurrentRestartGeneration();
    int64 remaining = time;
    u32 last = platform::NowMs();
    while (remaining > 0) {
        classInputTarget* fired = waiter->Wait(remaining);
        CommitQueue(GetMainQueue());
        if (IsScriptWaitOver(generation)) break;
        if (mainContext != nullptr && mainContext->IsCurrentFrameCovered()) break;
        if (isMain && IsNextChoiceSkipping()) break;
        if (fired != nullptr &&
            (fired == skipTargets[0] || fired == skipTargets[1] || fired == skipTargets[2]))
            break;
        if (skipOn != 0 && IsSkipRequested()) break;
        const u32 now = platform::NowMs();
        remaining -= static_cast<int64>(static_cast<u32>(now - last));
        last = now;
    }
    return true;
}
