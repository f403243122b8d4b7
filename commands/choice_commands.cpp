#include "commands/choice_commands.h"

#include <atomic>
#include <cstdio>

#include "commands/control_commands.h"
#include "commands/handler_arguments.h"
#include "foundation/application.h"
#include "foundation/critical_section.h"
#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "foundation/key_wait_lock.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "script/script_record.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_threads.h"
#include "script/script_value.h"
#include "system/play_data.h"

namespace {

// Installed before any script thread starts; atomic because they are read
// on every script thread.
std::atomic<ChoicePlayDataPathMaker> g_pathMaker{nullptr};
std::atomic<ChoiceSkipEnder> g_skipEnder{nullptr};

// "Case" parameters by position.
enum CaseParam : int32 {
    kDisable = 0,
    kInKey = 1,
    kInKeyTable = 2,
    kInKeyMouse = 3,
    kInKeyMouseWheel = 4,
    kGraphicLayer = 8,
    kGraphicFirstFile = 9,  // 9..12: normal, select, decide, disable
    kSoundLayer = 13,
    kSoundFirstFile = 14,  // 14..17
    kTextLayer = 18,
    kText = 19,
    kTextFirstColor = 20,  // 20..23
    kInWindowMessage = 24,
    kMoveOn = 25,
    kMoveAfterward = 26,
};

// "Select" parameters by position.
enum SelectParam : int32 {
    kSelectGraphicLayer = 0,
    kSelectTransition = 1,
    kSelectCursorMoveType = 2,
};

// The "{" that opens the block right after the statement at pc, or null.
const classScriptRecord* FollowingBlock(const classScriptFrame& frame, int32& index) {
    index = frame.NextIndex(frame.pc);
    const classScriptRecord* marker = frame.GetStatementRecord(index);
    if (marker == nullptr || marker->type != ScriptRecordBlockMarker) return nullptr;
    if (frame.GetTextA(*marker) != "{") return nullptr;
    return marker;
}

classInputWaiter* WaiterOf(classScriptContext& context) {
    return context.inputWaiter != nullptr ? context.inputWaiter->Get() : nullptr;
}

// The queue a thread's choice shows itself through: the Function threads'
// own, so their texts appear when they commit; the main queue otherwise.
classQueue* ChoiceQueue(const classInputWaiter* waiter) {
    return waiter != nullptr && waiter->queue != nullptr ? waiter->queue : GetMainQueue();
}

void RegisterCase(classScriptContext& context, const classHandlerArguments& args) {
    classInputWaiter* waiter = WaiterOf(context);
    if (waiter == nullptr) return;

    const classOptionalValue<int64> moveAfterward = args.Integer(kMoveAfterward);
    const classOptionalValue<int64> inKey = args.Integer(kInKey);
    const classOptionalValue<int64> wheel = args.Integer(kInKeyMouseWheel);
    const classOptionalValue<int64> message = args.Integer(kInWindowMessage);
    const std::vector<int64> keyTable = args.Integers(kInKeyTable);
    const int64 mouseButton = args.Integer(kInKeyMouse, 1);

    // A wheel of 0 names neither direction: no target at all.
    if (!moveAfterward.IsSet() && !inKey.IsSet() && wheel.IsSet() && wheel.Get() == 0) return;

    classInputTarget* target = waiter->AddTarget();
    if (target == nullptr) return;
    if (moveAfterward.IsSet()) {
        classInputTarget::SetMoveOut(target, static_cast<int>(moveAfterward.Get()));
    } else if (inKey.IsSet()) {
        classInputTarget::SetKey(target, static_cast<u32>(inKey.Get()), 0);
    } else if (wheel.IsSet()) {
        if (wheel.Get() > 0)
            classInputTarget::SetWheelUp(target);
        else
            classInputTarget::SetWheelDown(target);
    } else if (keyTable.empty()) {
        if (message.IsSet())
            classInputTarget::SetWindowMessage(target, static_cast<u64>(message.Get()));
        else
            classInputTarget::SetMouseButton(target, static_cast<u32>(mouseButton), 0);
    } else {
        classInputTarget::SetKeySequence(target, keyTable);
    }

    if (const classScriptFrame* frame = context.GetCurrentFrame()) target->jump.Set(int64{frame->pc} + 1);

    if (const classOptionalValue<int64> disable = args.Integer(kDisable); disable.IsSet())
        target->disabled = disable.Get() != 0 ? 1 : 0;
    const std::vector<int64> region = args.Integers(kGraphicLayer);
    if (!region.empty()) target->region = region;
    for (int32 state = 0; state < 4; ++state) {
        std::string file = args.Text(kGraphicFirstFile + state);
        if (!file.empty()) target->caseStrings[classInputTarget::kCurrentImage + 1 + state] = std::move(file);
        std::string sound = args.Text(kSoundFirstFile + state);
        if (!sound.empty()) target->caseStrings[classInputTarget::kCurrentSound + 1 + state] = std::move(sound);
    }
    if (const classOptionalValue<int64> layer = args.Integer(kSoundLayer); layer.IsSet())
        target->soundLayer.Set(layer.Get());
    if (const classOptionalValue<int64> moveOn = args.Integer(kMoveOn); moveOn.IsSet())
        target->moveOn = moveOn.Get() != 0 ? 1 : 0;

    const std::string text = args.Text(kText);
    if (text.empty()) return;
    std::vector<int64> textLayer = args.Integers(kTextLayer);
    if (textLayer.empty()) textLayer = region;
    if (!textLayer.empty()) target->textLayer = textLayer;
    for (int32 state = 0; state < 4; ++state) {
        const classOptionalValue<int64> color = args.Integer(kTextFirstColor + state);
        if (color.IsSet())
            target->caseStrings[classInputTarget::kCurrentText + 1 + state] = FormatCaseText(color.Get(), text);
    }
    if (target->textLayer.empty()) return;

    // The case text shows at once, in the normal colour.
    classQueue* queue = ChoiceQueue(waiter);
    if (queue == nullptr) return;
    auto* feed = new classQue_PageFeed();
    feed->sceneMask = 1;
    feed->path = target->textLayer;
    queue->Post(feed);
    auto* out = new classQue_GraphicStdOutTextX();
    out->sceneMask = 1;
    out->path = target->textLayer;
    out->text = text;
    out->fontNo.Set(0);
    if (const classOptionalValue<int64> color = args.Integer(kTextFirstColor); color.IsSet())
        out->color.Set(color.Get());
    out->speed.Set(0);
    out->fadeMode.Set(0);
    out->fadeTime.Set(0);
    queue->Post(out);
}

bool IsMain(const classScriptContext& context) {
    return GetScriptHost().GetMainScriptContext() == &context;
}

// First run: the block runs in a frame of its own so its cases register,
// then this statement runs again.
void BeginRegistration(classScriptContext& context, classScriptFrame& frame) {
    int32 blockIndex = 0;
    const classScriptRecord* block = FollowingBlock(frame, blockIndex);
    // Without its block a "Select" has nothing to register; running the
    // frame from the script's start instead would run the whole script as
    // cases.
    if (block == nullptr) return;
    if (classInputWaiter* waiter = WaiterOf(context)) waiter->ClearTargets();
    const u32 end = static_cast<u32>(block->b);
    {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        classScriptFrame* blockFrame = context.CallLabel(frame, "");
        if (blockFrame == nullptr) return;
        blockFrame->SetNextPc(blockIndex);
        blockFrame->RestorePc();
        blockFrame->stopPosition.Set(end);
        frame.SetNextPcToPc();
    }
    context.selectPhase = 1;
}

void WriteChoiceSlot() {
    const ChoicePlayDataPathMaker maker = g_pathMaker.load();
    auto* save = new classQue_DataSave();
    save->path = maker != nullptr ? maker(0) : MakePlayDataPath(0);
    if (classQueue* queue = GetMainQueue()) {
        queue->Post(save);
        CommitQueue(queue);
        WaitFrame();
    } else {
        QueRecordPtr drop(save);
    }
}

void WaitForDecision(classScriptContext& context, classScriptFrame& frame, const classHandlerArguments& args) {
    classInputWaiter* waiter = WaiterOf(context);
    classInputWaiter standIn(0);
    if (waiter == nullptr) waiter = &standIn;

    const std::vector<int64> layer = args.Integers(kSelectGraphicLayer);
    const classOptionalValue<int64> cursorMoveType = args.Integer(kSelectCursorMoveType);
    // Safe without a lock: the UI thread reads a waiter's settings only
    // while the waiter is in Wait or between two waits on the same targets,
    // and registering the cases has just changed them.
    if (!layer.empty()) waiter->selectLayer = layer;
    if (cursorMoveType.IsSet()) waiter->navigationMode = static_cast<u32>(cursorMoveType.Get());
    if (const classOptionalValue<int64> transition = args.Integer(kSelectTransition); transition.IsSet()) {
        auto* record = new classQue_Transition();
        record->time = transition.Get();
        if (classQueue* queue = GetMainQueue())
            queue->Post(record, true);
        else
            QueRecordPtr drop(record);
    }

    // A disabled case shows so from the first frame the choice is seen, not
    // from the first move of the pointer. Its thread still owns the targets:
    // input reaches them only once it waits.
    for (classInputTarget& target : waiter->Targets()) {
        if (target.disabled != 0) classInputTarget::ApplyCaseState(&target, kCaseDisable);
    }

    const bool isMain = IsMain(context);
    const u32 generation = CurrentRestartGeneration();
    for (;;) {
        waiter->CommitQueue();
        classInputTarget* fired = waiter->Wait(kSelectWaitStepMs);
        if (IsScriptWaitOver(generation)) break;
        if (fired != nullptr) {
            if (fired->jump.IsSet()) {
                const int64 jump = fired->jump.Get();
                if (isMain && !context.IsInInterrupt()) WriteChoiceSlot();
                // A jump left over from another script (a stale target) must
                // not send this frame somewhere arbitrary.
                if (jump >= 0 && jump < frame.GetStatementCount()) frame.SetNextPc(static_cast<int32>(jump));
            }
            break;
        }
        if (context.IsCurrentFrameCovered()) {
            frame.SetNextPcToPc();
            break;
        }
    }
    context.selectPhase = 0;
    ClearKeyWaitLock();
}

}  // namespace

void SetChoiceHooks(ChoicePlayDataPathMaker pathMaker, ChoiceSkipEnder skipEnder) {
    g_pathMaker.store(pathMaker);
    g_skipEnder.store(skipEnder);
}

std::string FormatCaseText(int64 color, const std::string& text) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "@c(%d)", static_cast<int>(static_cast<int32>(static_cast<u32>(color))));
    return tag + text;
}

bool CommandCase(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    if (context.selectPhase == 1) RegisterCase(context, args);
    classScriptFrame* frame = context.GetCurrentFrame();
    if (frame == nullptr) return true;
    int32 blockIndex = 0;
    if (const classScriptRecord* block = FollowingBlock(*frame, blockIndex))
        frame->SetNextPc(static_cast<int32>(block->b));
    return true;
}

bool CommandSelect(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                   classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    classApplication* application = GetApplication();
    if (IsMain(context) && application != nullptr && application->nextSelectSkipping.load() != 0) {
        if (const ChoiceSkipEnder ender = g_skipEnder.load())
            ender();
        else
            ClearSceneAndReset();
    }
    classScriptFrame* frame = context.GetCurrentFrame();
    if (frame == nullptr) return true;
    if (context.selectPhase == 0)
        BeginRegistration(context, *frame);
    else
        WaitForDecision(context, *frame, args);
    return true;
}
