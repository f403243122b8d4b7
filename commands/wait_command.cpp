#include "commands/wait_command.h"

#include <algorithm>
#include <string>

#include "commands/handler_arguments.h"
#include "foundation/application.h"
#include "foundation/critical_section.h"
#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "foundation/key_wait_lock.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_threads.h"
#include "script/script_value.h"
#include "sound/sound_manager.h"

namespace {

bool IsNextChoiceSkipping() {
    const classApplication* application = GetApplication();
    return application != nullptr && application->nextSelectSkipping.load() != 0;
}

classScriptContext* MainContext() {
    return GetScriptHost().GetMainScriptContext();
}

bool MainCovered() {
    const classScriptContext* main = MainContext();
    return main != nullptr && main->IsCurrentFrameCovered();
}

// Whether a wait gives up because an interrupt was pushed over the main
// script. A wait of the main script's own then runs again once the interrupt
// has ended; nothing else marks it.
bool GiveUpForInterrupt(classScriptContext& context, bool isMain) {
    if (!MainCovered()) return false;
    if (isMain) context.RepeatCurrentStatement();
    return true;
}

void CommitMain() {
    CommitQueue(GetMainQueue());
}

void PostMain(classQueBase* record, bool commitPoint = false) {
    if (classQueue* queue = GetMainQueue()) {
        queue->Post(record, commitPoint);
    } else {
        QueRecordPtr drop(record);
    }
}

void PostTransition(int64 time) {
    auto* record = new classQue_Transition();
    record->time = time;
    PostMain(record, true);
}

void PostFinishTextDrawing() {
    auto* record = new classQue_GraphicStdTextDrawingAllFinish();
    record->sceneMask = 3;
    PostMain(record);
}

// The waiter of the thread running the context. A context without one (a
// tool, a test) still waits, on a stand-in no input reaches.
class ScopedWaiter {
  public:
    explicit ScopedWaiter(classScriptContext& context) {
        waiter_ = context.inputWaiter != nullptr ? context.inputWaiter->Get() : nullptr;
        if (waiter_ == nullptr) waiter_ = &standIn_;
    }
    classInputWaiter* operator->() const { return waiter_; }
    classInputWaiter* Get() const { return waiter_; }

  private:
    classInputWaiter standIn_{0};
    classInputWaiter* waiter_;
};

// Enter, Ctrl (with its hold) and the left button, in that order.
struct SkipTargets {
    classInputTarget* items[3] = {nullptr, nullptr, nullptr};

    void Add(classInputWaiter* waiter, u8 ctrlHold, bool enabled) {
        items[0] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_RETURN, 0);
        items[1] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_CONTROL, ctrlHold);
        items[2] = classInputTarget::SetMouseButton(waiter->AddTarget(), platform::VK_LBUTTON, 0);
        for (classInputTarget* target : items)
            if (target != nullptr) target->disabled = enabled ? 0 : 1;
    }
    bool Contains(const classInputTarget* fired) const {
        return fired != nullptr && (fired == items[0] || fired == items[1] || fired == items[2]);
    }
};

// The remaining time of a wait. The clock is 32-bit milliseconds, so the
// elapsed time is taken modulo 2^32 and stays right across its wrap.
class RemainingTime {
  public:
    explicit RemainingTime(int64 ms) : remaining_(ms), last_(platform::NowMs()) {}
    int64 Get() const { return remaining_; }
    // The elapsed milliseconds since the last pass.
    int64 Update() {
        const u32 now = platform::NowMs();
        const int64 elapsed = static_cast<int64>(static_cast<u32>(now - last_));
        last_ = now;
        if (remaining_ != 0) remaining_ -= elapsed;
        return elapsed;
    }

  private:
    int64 remaining_;
    u32 last_;
};

// Whether the object at the path is still animating or playing. The render
// thread changes the trees under the application lock, so they are read under
// it; the overlay scene is asked first, and the first scene holding the
// object decides.
bool IsObjectBusy(const std::vector<int64>& path) {
    classApplication* application = GetApplication();
    if (application == nullptr) return false;
    classCriticalSectionLock hold(application->GetLock());
    for (classGraphicObject* root : {application->overlayScene, application->mainScene}) {
        if (root == nullptr) continue;
        classGraphicObject* object = classGraphicObject::FindByPath(root, path);
        if (object != nullptr) return object->IsBusy();
    }
    return false;
}

int64 CurrentAutoModePageTime() {
    classApplication* application = GetApplication();
    if (application == nullptr) return 0;
    bool hasVoice = false;
    int64 voiceLayer = 0;
    {
        classCriticalSectionLock hold(application->GetLock());
        hasVoice = !application->lastVoiceFile.empty();
        voiceLayer = application->lastVoiceLayer.load();
    }
    u32 elapsed = 0;
    u32 total = 0;
    // One call under the sound lock: the layer may be deleted at any time.
    if (hasVoice && application->soundManager != nullptr &&
        !application->soundManager->GetLayerTimes(static_cast<int32>(voiceLayer), &elapsed, &total)) {
        elapsed = total = 0;
    }
    bool hasText = false;
    int64 characters = 0;
    int64 textTime = 0;
    {
        classCriticalSectionLock hold(application->GetLock());
        const std::vector<int64> textPath = {100, 0};
        if (classGraphicObject* text = classGraphicObject::FindByPath(application->mainScene, textPath)) {
            hasText = true;
            characters = text->characterCount;
            textTime = text->textTime;
        }
    }
    return AutoModePageTime(hasVoice, elapsed, total, hasText, characters, textTime,
                            application->autoSpeed.load());
}

// How much of the page's voice is left to hear, when that voice plays once.
bool PageVoiceRemaining(int64* remainingMs) {
    classApplication* application = GetApplication();
    if (application == nullptr || application->soundManager == nullptr) return false;
    {
        classCriticalSectionLock hold(application->GetLock());
        if (application->lastVoiceFile.empty()) return false;
    }
    const int64 layer = application->lastVoiceLayer.load();
    return application->soundManager->GetLayerRemainingByPosition(static_cast<int32>(layer), remainingMs);
}

bool IsVoicePlaying() {
    classApplication* application = GetApplication();
    return application != nullptr && application->soundManager != nullptr &&
           application->soundManager->IsVoicePlaying();
}

bool IsAutoPlaying() {
    classApplication* application = GetApplication();
    return application != nullptr && application->autoPlaying.load() != 0;
}

// Saturating, so neither a huge count nor a huge speed overflows.
int64 SaturatingAdd(int64 a, int64 b) {
    int64 out = 0;
    if (__builtin_add_overflow(a, b, &out)) return b > 0 ? INT64_MAX : INT64_MIN;
    return out;
}

}  // namespace

int64 WaiterTimeoutFor(int64 remainingMs) {
    if (remainingMs >= 0xFFFFFFFFLL) return -1;
    return remainingMs < 0 ? 0 : remainingMs;
}

int64 AutoModeRecheckTime(bool pageVoicePlaysOnce, int64 pageVoiceRemainingMs, int64 autoSpeedMs) {
    const int64 time = pageVoicePlaysOnce ? pageVoiceRemainingMs : autoSpeedMs;
    return std::max(time, kAutoModeMinimumRecheckMs);
}

int64 AutoModePageTime(bool hasVoice, u32 voiceElapsedMs, u32 voiceTotalMs, bool hasText, int64 characters,
                       int64 textTimeMs, int64 autoSpeedMs) {
    int64 time = 0;
    if (hasVoice) time = static_cast<int64>(voiceTotalMs) - static_cast<int64>(voiceElapsedMs);
    if (time == 0 && hasText) {
        int64 byCharacters = 0;
        if (__builtin_mul_overflow(characters, int64{100}, &byCharacters))
            byCharacters = characters > 0 ? INT64_MAX : INT64_MIN;
        time = SaturatingAdd(std::max(byCharacters, textTimeMs), autoSpeedMs);
    }
    return time;
}

bool CommandTransition(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    int64 time = args.Integer(0, kTransitionDefaultTime);
    const int64 async = args.Integer(3, 0);
    const int64 isQue = args.Integer(4, 0);
    // File (1) and Shader (2) select nothing: every transition is the same
    // cross-dissolve.

    const bool isMain = MainContext() == &context;
    if (isMain && IsNextChoiceSkipping()) return true;
    classApplication* application = GetApplication();
    classQueue* queue = GetMainQueue();
    if (IsSkipRequested() || (isQue != 0 && queue != nullptr && queue->GetRecordCount() == 0) ||
        (application != nullptr && application->transitionCut.load() == 1))
        time = 0;
    if (time != 0) PostTransition(time);

    if (async == 0 && time > 0) {
        CommitMain();
        ScopedWaiter waiter(context);
        waiter->ClearTargets();
        // Present but disabled: nothing the player does shortens a transition.
        SkipTargets skip;
        skip.Add(waiter.Get(), 1, false);
        const u32 generation = CurrentRestartGeneration();
        RemainingTime remaining(time);
        while (remaining.Get() > 0) {
            waiter->Wait(WaiterTimeoutFor(remaining.Get()));
            CommitMain();
            if (IsScriptWaitOver(generation)) break;
            remaining.Update();
        }
    }
    if (!IsSkipRequested()) CommitMain();
    return true;
}

bool CommandWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    const int64 time = args.Integer(0, kWaitDefaultTime);
    const int64 skipOn = args.Integer(1, 0);

    const bool isMain = MainContext() == &context;
    if (isMain && IsNextChoiceSkipping()) return true;
    CommitMain();
    if (context.skipFlag.load(std::memory_order_relaxed)) return true;

    ScopedWaiter waiter(context);
    waiter->ClearTargets();
    SkipTargets skip;
    skip.Add(waiter.Get(), 0, skipOn != 0);

    const u32 generation = CurrentRestartGeneration();
    RemainingTime remaining(time);
    // Counted before the interrupt test: an interrupt pushed between the
    // two (its wake-up) still ends the wait at once.
    u64 wakes = waiter->WakeCount();
    if (isMain && GiveUpForInterrupt(context, isMain)) return true;
    while (remaining.Get() > 0) {
        classInputTarget* fired = waiter->Wait(WaiterTimeoutFor(remaining.Get()), wakes);
        wakes = waiter->WakeCount();
        CommitMain();
        if (IsScriptWaitOver(generation)) break;
        if (GiveUpForInterrupt(context, isMain)) break;
        if (isMain && IsNextChoiceSkipping()) break;
        if (skip.Contains(fired)) break;
        if (skipOn != 0 && IsSkipRequested()) break;
        remaining.Update();
    }
    return true;
}

bool CommandGraphicWait(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                        int32 count, classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    // Target (0) is read by scripts but chooses nothing: both scenes are asked.
    const std::vector<int64> path = args.Integers(1);
    const int64 keyToSkip = args.Integer(2, 0);

    const bool isMain = MainContext() == &context;
    if (isMain && IsNextChoiceSkipping()) return true;
    CommitMain();
    WaitFrame();

    ScopedWaiter waiter(context);
    waiter->ClearTargets();
    SkipTargets skip;
    if (keyToSkip != 0) skip.Add(waiter.Get(), 1, true);

    // A looping movie without KeyToSkip is only left by a quit, a restart or
    // an interrupt: that is how the script asked for it.
    const u32 generation = CurrentRestartGeneration();
    for (;;) {
        // Counted before the test: a movie that ends between the test and
        // the wait (its end wakes every waiter) still ends the wait at once.
        const u64 wakes = waiter->WakeCount();
        if (!IsObjectBusy(path)) break;
        classInputTarget* fired = waiter->Wait(kGraphicWaitPollMs, wakes);
        if (IsScriptWaitOver(generation)) break;
        if (GiveUpForInterrupt(context, isMain)) break;
        if (isMain && IsNextChoiceSkipping()) break;
        if (skip.Contains(fired)) break;
    }
    return true;
}

bool CommandKeyWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                    classScriptValue&) {
    const classHandlerArguments args(arguments, count);
    const int64 time = args.Integer(0, kKeyWaitDefaultTime);

    const bool isMain = MainContext() == &context;
    if (isMain && IsNextChoiceSkipping()) return true;
    CommitMain();
    WaitFrame();

    if (context.skipFlag.load(std::memory_order_relaxed)) {
        PostFinishTextDrawing();
        CommitMain();
    } else {
        ScopedWaiter waiter(context);
        waiter->ClearTargets();
        classInputTarget* advance[6] = {};
        classInputTarget* history[3] = {};
        advance[0] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_RETURN, 0);
        advance[1] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_CONTROL, 1);
        advance[2] = classInputTarget::SetMouseButton(waiter->AddTarget(), platform::VK_LBUTTON, 0);
        advance[3] = classInputTarget::SetWheelDown(waiter->AddTarget());
        history[0] = classInputTarget::SetWheelUp(waiter->AddTarget());
        history[1] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_UP, 0);
        advance[4] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_DOWN, 0);
        history[2] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_PRIOR, 0);
        advance[5] = classInputTarget::SetKey(waiter->AddTarget(), platform::VK_NEXT, 0);
        auto isOneOf = [](const classInputTarget* fired, classInputTarget* const* list, int n) {
            if (fired == nullptr) return false;
            for (int i = 0; i < n; ++i)
                if (list[i] == fired) return true;
            return false;
        };

        int64 autoTime = CurrentAutoModePageTime();
        const u32 generation = CurrentRestartGeneration();
        RemainingTime remaining(time);
        // Counted before each interrupt test: an interrupt pushed between
        // the test and the wait (its wake-up) still ends the wait at once.
        u64 wakes = waiter->WakeCount();
        const bool coveredAlready = context.IsCurrentFrameCovered();
        if (coveredAlready) context.RepeatCurrentStatement();
        while (!coveredAlready && remaining.Get() > 0) {
            const bool autoMode = IsAutoPlaying();
            if (autoMode && autoTime <= 0) {
                if (!IsVoicePlaying()) break;
                // The page's voice ends when the mixer has played it, a little
                // after its wall-clock length: look again then, not a whole
                // auto speed later. Anything else still playing is looked at
                // after the auto speed.
                int64 voiceLeft = 0;
                const bool pageVoice = PageVoiceRemaining(&voiceLeft);
                autoTime = AutoModeRecheckTime(pageVoice, voiceLeft, GetApplication()->autoSpeed.load());
            }
            const int64 waitTime = autoMode ? std::min(autoTime, remaining.Get()) : remaining.Get();
            classInputTarget* fired = waiter->Wait(WaiterTimeoutFor(waitTime), wakes);
            wakes = waiter->WakeCount();
            CommitMain();
            if (IsScriptWaitOver(generation)) break;
            if (isOneOf(fired, advance, 6)) {
                if (!IsKeyWaitLockedNow()) break;
                // The text is still being drawn: this press finishes it, and
                // the next one advances.
                PostFinishTextDrawing();
                CommitMain();
                PostTransition(0);
                CommitMain();
                ClearKeyWaitLock();
            } else if (isOneOf(fired, history, 3)) {
                // The backlog is the engine's own frame, pushed past the
                // game's call limit. One that still cannot be pushed leaves
                // the page waiting: the press asked for no new page.
                classScriptContext* main = MainContext();
                if (main != nullptr &&
                    BeginScriptInterrupt(*main, kHistoryScript, FrameOwner::Engine) != nullptr) {
                    if (main == &context)
                        context.RepeatCurrentStatement();
                    else
                        g_inputManager.WakeAllWaiters();  // the main script's wait gives way to it
                    break;
                }
            }
            if (context.IsSkipping()) break;
            if (isMain && IsNextChoiceSkipping()) break;
            if (context.IsCurrentFrameCovered()) {
                context.RepeatCurrentStatement();
                break;
            }
            const int64 elapsed = remaining.Update();
            if (autoTime != 0) autoTime -= elapsed;
        }
    }

    if (!context.IsCurrentFrameCovered()) {
        classApplication* application = GetApplication();
        if (application != nullptr) {
            application->voiceStartedSinceKeyWait.store(0);
            if (application->keyWaitAfterVoiceStop.load() != 0) {
                auto* stop = new classQue_SoundStopToVoice();
                stop->fadeTime.Set(kKeyWaitVoiceFadeMs);
                PostMain(stop);
            }
        }
        CommitMain();
    }
    ClearKeyWaitLock();
    return true;
}
