#include "commands/control_commands.h"

#include <chrono>
#include <memory>
#include <thread>

#include "commands/flow_arguments.h"
#include "foundation/application.h"
#include "foundation/frame_device.h"
#include "foundation/input_manager.h"
#include "platform/clock.h"
#include "presentation/command_queue.h"
#include "script/script_value.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"

using handlerargs::Integer;
using handlerargs::Text;

namespace {

// The group the games put their music in; a skip to the next choice turns it
// down, so its end must turn it up again.
constexpr int32 kMusicGroup = 7;
// The main scene's object the games use as a "skipping" marker.
constexpr int64 kSkipMarkerObject = 800;
constexpr int64 kResetTransitionMs = 1000;

void StoreFlag(std::atomic<u8>& field, const std::vector<classScriptValue>& arguments, int32 count) {
    const auto value = Integer(arguments, count, 0);
    if (value.IsSet()) field.store(value.Get() != 0 ? 1 : 0);
}

void StoreNumber(std::atomic<int64>& field, const std::vector<classScriptValue>& arguments, int32 count) {
    const auto value = Integer(arguments, count, 0);
    if (value.IsSet()) field.store(value.Get());
}

void WaitFrameIfAny() {
    if (classApplication* application = GetApplication()) application->WaitFrame();
}

// The transition's length, in steps, so that a quit is not held up by it.
void SleepUnlessQuitting(int64 ms) {
    const u32 start = platform::NowMs();
    while (true) {
        classApplication* application = GetApplication();
        if (application != nullptr && (application->quitRequested.load() != 0 || application->IsQuitting()))
            return;
        const int64 elapsed = static_cast<int64>(static_cast<u32>(platform::NowMs() - start));
        if (elapsed >= ms) return;
        const int64 step = ms - elapsed < 20 ? ms - elapsed : 20;
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
    }
}

}  // namespace

void WakeAllScriptWaiters() {
    g_inputManager.WakeAllWaiters();
}

void ClearSceneAndReset() {
    // The end of a skip releases the main script's held batch with this
    // fade, whichever thread ends it, so it posts and commits as the main
    // script does.
    const classQuePosterScope asMain(kMainScriptPoster);
    classQueue* queue = GetMainQueue();
    classApplication* application = GetApplication();
    queue->Compact();
    {
        classQueHolder holder;
        holder.NewGraphicStirSlotAllFinish()->sceneMask = 1;
        holder.Post();
        holder.NewGraphicStdTextDrawingAllFinish()->sceneMask = 1;
        holder.Post();
    }
    // The skip is still on, so this commit is refused on the main queue; the
    // finishing records go out together with the fade below.
    CommitQueue(queue);
    WaitFrameIfAny();
    if (application != nullptr) {
        application->nextSelectSkipping.store(0);
        if (classSoundManager* sound = application->soundManager) {
            classCriticalSectionLock hold(g_soundLock);
            if (classSoundGroup* group = sound->FindGroup(kMusicGroup)) group->SetVolume(1000);
        }
    }
    {
        classQueHolder holder;
        classQue_GraphicDelete* marker = holder.NewGraphicDelete();
        marker->sceneMask = 1;
        marker->path = {kSkipMarkerObject};
        holder.Post();
    }
    {
        auto transition = std::make_unique<classQue_Transition>();
        transition->time = kResetTransitionMs;
        queue->Post(QueRecordPtr(transition.release()), true);
    }
    CommitQueue(queue);
    WaitFrameIfAny();
    SleepUnlessQuitting(kResetTransitionMs);
}

bool CommandDammy(classScriptContext&, const std::vector<classScriptValue>&, int32, classScriptValue&) {
    return true;
}

bool CommandApply(classScriptContext&, const std::vector<classScriptValue>&, int32, classScriptValue&) {
    CommitQueue(GetMainQueue());
    return true;
}

bool CommandIsDebug(classScriptContext&, const std::vector<classScriptValue>&, int32,
                    classScriptValue& result) {
    result.SetInteger(0);
    return true;
}

bool CommandIsNowSkipping(classScriptContext&, const std::vector<classScriptValue>&, int32,
                          classScriptValue& result) {
    const classApplication* application = GetApplication();
    const bool skipping =
        application != nullptr && (application->IsSkipPlaying() || application->IsCtrlSkip());
    result.SetInteger(skipping ? 1 : 0);
    return true;
}

bool CommandWindowTitle(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue&) {
    const auto text = Text(arguments, count, 0);
    classApplication* application = GetApplication();
    if (text.IsSet() && application != nullptr) application->SetWindowTitle(text.Get());
    return true;
}

bool CommandWindowIcon(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                       classScriptValue&) {
    const auto number = Integer(arguments, count, 0);
    classApplication* application = GetApplication();
    // Resource numbers are 16 bits wide; the rest of No is not looked at.
    if (number.IsSet() && application != nullptr) application->SetWindowIcon(static_cast<u32>(number.Get() & 0xFFFF));
    return true;
}

bool CommandSystemScreenModeChange(classScriptContext&, const std::vector<classScriptValue>& arguments,
                                   int32 count, classScriptValue&) {
    const auto value = Integer(arguments, count, 0);
    classApplication* application = GetApplication();
    if (!value.IsSet() || application == nullptr || application->graphicDevice == nullptr) return true;
    if (value.Get() == 0 || value.Get() == 1) application->graphicDevice->RequestFullScreen(value.Get() == 1);
    return true;
}

#define VELK2_SETTING(name, store, field)                                                                \
    bool name(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,          \
              classScriptValue&) {                                                                       \
        if (classApplication* application = GetApplication()) store(application->field, arguments, count); \
        return true;                                                                                     \
    }

VELK2_SETTING(CommandSystemTextColor, StoreNumber, textColor)
VELK2_SETTING(CommandSystemTextSpeed, StoreNumber, textSpeed)
VELK2_SETTING(CommandSystemAutoSpeed, StoreNumber, autoSpeed)
VELK2_SETTING(CommandSystemKeyWaitVoiceStop, StoreFlag, keyWaitAfterVoiceStop)
VELK2_SETTING(CommandSystemTranstionCut, StoreFlag, transitionCut)
VELK2_SETTING(CommandSystemSkipAlready, StoreFlag, skipAlreadyOnly)
VELK2_SETTING(CommandSystemParametorSkipType, StoreNumber, parameterSkipType)
#undef VELK2_SETTING

bool CommandSkipPlaying(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue&) {
    if (classApplication* application = GetApplication()) StoreFlag(application->skipPlaying, arguments, count);
    WakeAllScriptWaiters();
    return true;
}

bool CommandAutoPlaying(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue&) {
    if (classApplication* application = GetApplication()) StoreFlag(application->autoPlaying, arguments, count);
    WakeAllScriptWaiters();
    return true;
}

#define VELK2_QUESTION(name, field)                                                          \
    bool name(classScriptContext&, const std::vector<classScriptValue>&, int32,              \
              classScriptValue& result) {                                                    \
        const classApplication* application = GetApplication();                              \
        result.SetInteger(application != nullptr ? application->field.load() : 0);           \
        return true;                                                                         \
    }

VELK2_QUESTION(CommandSystemTranstionCutIs, transitionCut)
VELK2_QUESTION(CommandSkipPlayingIs, skipPlaying)
VELK2_QUESTION(CommandAutoPlayingIs, autoPlaying)
VELK2_QUESTION(CommandNextSelectSkipingIs, nextSelectSkipping)
#undef VELK2_QUESTION

bool CommandNextSelectSkiping(classScriptContext&, const std::vector<classScriptValue>&, int32,
                              classScriptValue&) {
    // What the script showed so far goes out before commits are held back.
    CommitQueue(GetMainQueue());
    if (classApplication* application = GetApplication()) application->nextSelectSkipping.store(1);
    WakeAllScriptWaiters();
    return true;
}

bool CommandNextSelectSkipingAbort(classScriptContext&, const std::vector<classScriptValue>&, int32,
                                   classScriptValue&) {
    const classApplication* application = GetApplication();
    if (application == nullptr || application->nextSelectSkipping.load() == 0) return true;
    ClearSceneAndReset();
    WakeAllScriptWaiters();
    return true;
}

bool CommandCloseDisable(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    // The command names no parameter, so scripts call it bare: bare means
    // "disable", and an explicit 0 (positional) enables closing again.
    const auto value = Integer(arguments, count, 0);
    if (classApplication* application = GetApplication())
        application->closeDisabled.store(!value.IsSet() || value.Get() != 0 ? 1 : 0);
    return true;
}
