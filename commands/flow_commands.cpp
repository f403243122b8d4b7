#include "commands/flow_commands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

#include "commands/control_commands.h"
#include "commands/flow_services.h"
#include "commands/flow_arguments.h"
#include "foundation/application.h"
#include "foundation/file_times.h"
#include "foundation/report_once.h"
#include "presentation/command_queue.h"
#include "script/already_read.h"
#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_frame.h"
#include "script/script_host.h"
#include "script/script_threads.h"
#include "script/script_value.h"
#include "system/history_store.h"
#include "system/play_data.h"
#include "system/system_files.h"

using handlerargs::Integer;
using handlerargs::Text;

namespace {

std::atomic<void (*)(classScriptContext&)> g_runBacklogScreen{nullptr};

classScriptContext& MainContextOr(classScriptContext& fallback) {
    classScriptContext* main = GetScriptHost().GetMainScriptContext();
    return main != nullptr ? *main : fallback;
}

bool IsNextChoiceSkipping() {
    const classApplication* application = GetApplication();
    return application != nullptr && application->nextSelectSkipping.load() != 0;
}

void WaitFrameIfAny() {
    if (classApplication* application = GetApplication()) application->WaitFrame();
}

// A slot is there when its file's times can be read.
bool SlotExists(const std::string& path) {
    return GetFileTimesUtf8(path, nullptr, nullptr, nullptr);
}

}  // namespace

void SetFlowCommandServices(const FlowCommandServices& services) {
    g_runBacklogScreen.store(services.runBacklogScreen);
}

FlowCommandServices GetFlowCommandServices() {
    FlowCommandServices services;
    services.runBacklogScreen = g_runBacklogScreen.load();
    return services;
}

// ---- Script flow ----

bool CommandReturn(classScriptContext& context, const std::vector<classScriptValue>&, int32,
                   classScriptValue&) {
    if (classScriptFrame* frame = context.GetCurrentFrame()) frame->SeekEnd();
    return true;
}

namespace {

// A text given as Label names a label of the script, "#" and all, as it does
// beside File. The statement of the label, or -1 when the script has none
// (said once, with what comes of it).
int32 FindNamedLabel(const classScriptFrame& frame, const std::string& name, const char* consequence) {
    const int32 target = frame.FindLabel(name);
    if (target >= 0) return target;
    std::string what = "no label " + QuotedName(name) + " in " + QuotedName(frame.scriptName) + consequence;
    if (name.empty() || name.front() != '#') what += " (a label starts with \"#\")";
    ReportOnce(what);
    return -1;
}

bool IsText(const classScriptValue* value) {
    return value != nullptr && value->tag == ScriptValueString;
}

}  // namespace

bool CommandScriptJump(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue&) {
    const auto file = Text(arguments, count, 0);
    if (file.IsSet() && !file.Get().empty()) {
        const auto label = Text(arguments, count, 1);
        BeginScriptJump(context, file.Get(), label.Get());
        return true;
    }
    classScriptFrame* frame = context.GetCurrentFrame();
    if (frame == nullptr) return true;
    // Read as a number, any text would be statement 0: the script would
    // start over for ever.
    if (const classScriptValue* label = handlerargs::At(arguments, count, 1); IsText(label) && !label->text.empty()) {
        const int32 target = FindNamedLabel(*frame, label->text, "; nothing happens");
        if (target >= 0) frame->SetNextPc(target);
        return true;
    }
    // Within the script: only a statement that exists, or the end itself. A
    // negative one (a label never linked) ends the frame, as it does for
    // every other jump, instead of carrying on as if nothing was asked.
    const auto target = Integer(arguments, count, 1);
    if (!target.IsSet() || IsText(handlerargs::At(arguments, count, 1))) {
        ReportOnce("\"ScriptJump\" names no script and no label; nothing happens");
        return true;
    }
    if (target.Get() < 0) {
        if (const classScriptValue* label = handlerargs::At(arguments, count, 1);
            label != nullptr && label->tag == ScriptValueLabel)
            ReportOnce("no label " + QuotedName(label->text) + " in " + QuotedName(frame->scriptName) +
                       "; the script ends here");
        frame->SetNextPc(-1);
    }
    else if (target.Get() <= frame->GetStatementCount())
        frame->SetNextPc(static_cast<int32>(target.Get()));
    return true;
}

bool CommandScriptCall(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue&) {
    const auto file = Text(arguments, count, 0);
    const auto label = Text(arguments, count, 1);
    const auto interrupt = Integer(arguments, count, 2);
    classScriptFrame* pushed = nullptr;
    if (file.IsSet() && !file.Get().empty()) {
        pushed = BeginScriptCall(context, file.Get(), label.Get());
    } else if (classScriptFrame* frame = context.GetCurrentFrame()) {
        const classScriptValue* given = handlerargs::At(arguments, count, 1);
        if (given != nullptr && (given->tag == ScriptValueInteger || given->tag == ScriptValueReal)) {
            // A statement number: the script is called from there.
            const auto target = Integer(arguments, count, 1);
            if (target.Get() >= 0 && target.Get() < frame->GetStatementCount()) {
                std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
                pushed = context.PushFrame(*frame);
                if (pushed != nullptr) pushed->pc = pushed->nextPc = static_cast<int32>(target.Get());
            }
        } else if (!label.IsSet() || label.Get().empty()) {
            // An empty label would call the script from its top, which then
            // calls itself again and again.
            ReportOnce("\"ScriptCall\" names no script and no label; nothing is called");
            return true;
        } else if (IsText(given) && FindNamedLabel(*frame, label.Get(), "; nothing is called") < 0) {
            return true;
        } else {
            pushed = context.CallLabel(*frame, label.Get());
        }
    }
    if (pushed == nullptr || !interrupt.IsSet() || interrupt.Get() == 0) return true;
    if (IsNextChoiceSkipping()) ClearSceneAndReset();
    {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        pushed->interruptFlag = 1;
    }
    WakeAllScriptWaiters();
    return true;
}

bool CommandScriptInterrupt(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                            int32 count, classScriptValue&) {
    const auto file = Text(arguments, count, 0);
    if (!file.IsSet() || file.Get().empty()) return true;
    // Whichever thread asks, the interrupt runs over the main script. What
    // the main script is executing is not marked: the main script itself
    // goes on after this statement (run again, it would interrupt for ever);
    // a call, a fade or a save in progress runs once, the interrupt after it;
    // a wait woken here gives up and runs again itself.
    BeginScriptInterrupt(MainContextOr(context), file.Get());
    WakeAllScriptWaiters();
    return true;
}

bool CommandQuit(classScriptContext& context, const std::vector<classScriptValue>&, int32,
                 classScriptValue&) {
    if (classApplication* application = GetApplication()) application->RequestQuit();
    context.PopAllFrames();
    WakeAllScriptWaiters();
    return true;
}

bool CommandRestart(classScriptContext& context, const std::vector<classScriptValue>&, int32,
                    classScriptValue&) {
    if (IsNextChoiceSkipping()) ClearSceneAndReset();
    context.PopAllFrames();
    // Whichever thread asks, it is the game that starts over: the start-up
    // thread swaps in what lies in the main context's loaded frames. A
    // Function thread's own context is never swapped in.
    classScriptContext& main = MainContextOr(context);
    classScriptFrame start(kRestartScript);  // loaded outside the frame lock
    {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        main.loadedFrames.clear();
        main.loadedFrames.push_back(std::move(start));
    }
    if (&main == &context) context.selectPhase = 0;
    if (classApplication* application = GetApplication()) application->restartRequested.store(1);
    {
        // The clearing belongs to the game that starts over: it goes out with
        // the main script's first commit, in front of what it shows anew.
        const classQuePosterScope asMain(kMainScriptPoster);
        classQueHolder holder;
        holder.NewGraphicAllDelete()->sceneMask = 1;
        holder.Post();
        holder.NewSoundAllDelete();
        holder.Post();
    }
    WakeAllScriptWaiters();
    return true;
}

// ---- Variables and system files ----

bool CommandVariableReset(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                          int32 count, classScriptValue&) {
    const auto global = Integer(arguments, count, 0);
    const auto nomal = Integer(arguments, count, 1);
    const auto local = Integer(arguments, count, 2);
    if (global.IsSet() && global.Get() != 0) g_globalVariables.Clear();
    if (nomal.IsSet() && nomal.Get() != 0) g_nomalVariables.Clear();
    if (local.IsSet() && local.Get() != 0) {
        if (classScriptFrame* frame = context.GetCurrentFrame()) {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            frame->localVariables.Clear();
        }
    }
    return true;
}

bool CommandSystemDataSave(classScriptContext&, const std::vector<classScriptValue>&, int32,
                           classScriptValue&) {
    WriteSystemData();
    WriteAlreadyData(g_alreadyReadList);
    return true;
}

int64 GetGlobalVariableInt(std::string_view name) {
    classScriptValue value;
    if (!g_globalVariables.TryGet(name, 0, value)) return 0;
    const int64* converted = value.AsInteger();
    return converted != nullptr ? *converted : 0;
}

double GetGlobalVariableDouble(std::string_view name) {
    classScriptValue value;
    if (!g_globalVariables.TryGet(name, 0, value)) return 0.0;
    const double* converted = value.AsReal();
    return converted != nullptr ? *converted : 0.0;
}

// ---- Play data ----

bool CommandPlayDataSave(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    const auto index = Text(arguments, count, 1);
    // A load of this save goes on after it: made again at every load, it
    // would overwrite the slot (or another, numbered by a Global) each time.
    context.SetSavingItself(true);
    // A save writes the whole game as its main script has shown it, so from
    // a side script it goes out with the main script's batch, after what
    // this thread posted before it (a menu taken down).
    CommitQueue(GetMainQueue());
    const classQuePosterScope asMain(kMainScriptPoster);
    {
        classQueHolder holder;
        classQue_DataSave* save = holder.NewDataSave();
        save->path = MakePlayDataPath(no.Get());
        save->indexText = index.Get();
        holder.Post();
    }
    // While a skip to the next choice holds commits back, the save waits in
    // the queue with everything else and is written when the skip ends.
    CommitQueue(GetMainQueue());
    WaitFrameIfAny();
    context.SetSavingItself(false);
    // The frame wrote the file; a failure is shown from here, where no
    // engine lock is held.
    ReportFailedPlayDataWrites();
    return true;
}

bool CommandPlayDataLoad(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    const std::string path = MakePlayDataPath(no.Get());
    // An empty or foreign slot changes nothing: no fade, no restart.
    if (!IsPlayDataFileValid(path)) return true;
    classQueue* queue = GetMainQueue();
    // A load replaces the whole game: what this thread and the main script
    // posted before it goes out first, or it would land on the restored
    // scene later.
    CommitQueue(queue);
    const classQuePosterScope asMain(kMainScriptPoster);
    {
        auto transition = std::make_unique<classQue_Transition>();
        transition->time = kPlayDataLoadTransitionMs;
        queue->Post(QueRecordPtr(transition.release()), true);
    }
    {
        classQueHolder holder;
        holder.NewDataLoad()->path = path;
        holder.Post();
    }
    CommitQueue(queue);
    WaitFrameIfAny();
    // The slot-0 copy the load put back may have failed to be written.
    ReportFailedPlayDataWrites();
    return true;
}

bool CommandPlayDataCheck(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                          classScriptValue& result) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    result.SetInteger(SlotExists(MakePlayDataPath(no.Get())) ? 1 : 0);
    return true;
}

bool CommandPlayDataDelete(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                           classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(MakePlayDataPath(no.Get())), ignored);
    return true;
}

bool CommandPlayDataGetIndex(classScriptContext&, const std::vector<classScriptValue>& arguments,
                             int32 count, classScriptValue& result) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    std::string index;
    if (ReadPlayDataIndex(MakePlayDataPath(no.Get()), index))
        result.SetString(index);
    else
        result.SetInteger(0);
    return true;
}

bool CommandPlayDataGetDate(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                            classScriptValue& result) {
    const auto no = Integer(arguments, count, 0);
    if (!no.IsSet()) return true;
    classLocalFileTime written;
    if (!GetFileTimesUtf8(MakePlayDataPath(no.Get()), nullptr, nullptr, &written)) {
        result.SetInteger(0);
        return true;
    }
    // A precision already pads with zeros; zero flags beside it would
    // change nothing.
    char text[64];
    std::snprintf(text, sizeof text, "Date. %4.4d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d", written.year, written.month,
                  written.day, written.hour, written.minute, written.second);
    result.SetString(text);
    return true;
}

// ---- Backlog ----

bool CommandHistoryReset(classScriptContext&, const std::vector<classScriptValue>&, int32, classScriptValue&) {
    g_historyLog.Clear();
    return true;
}

bool CommandHistory(classScriptContext& context, const std::vector<classScriptValue>&, int32,
                    classScriptValue&) {
    if (auto run = g_runBacklogScreen.load()) run(context);
    return true;
}
