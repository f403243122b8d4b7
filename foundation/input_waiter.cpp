#include "foundation/input_waiter.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "foundation/application.h"
#include "foundation/input_manager.h"
#include "foundation/worker_threads.h"
#include "platform/window_messages.h"
#include "script/script_host.h"

using namespace platform;

namespace {

// What a failed wait stored as its result, as the original event wait did.
constexpr u32 kWaitTimedOut = 258;
// A blocked wait looks at the quit and restart flags this often, so a quit
// that no message follows still ends it.
constexpr auto kQuitPollInterval = std::chrono::milliseconds(100);

// Asked of the script host, as the scripts' own run loops and waits ask it: a
// host standing in for the application (a test, a fuzz run) ends a blocked
// wait the same way the program's quit does.
bool IsQuitOrRestartRequested() {
    const classScriptHost& host = GetScriptHost();
    return host.IsQuitting() || host.IsQuitRequested() || host.IsRestartRequested();
}

// Truncation toward zero that stays defined for NaN and huge values; NaN lands
// far outside every area.
int ToPixel(float value) {
    if (std::isnan(value)) return INT_MIN;
    if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<float>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

u32 ButtonOfMessage(u32 message) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return VK_LBUTTON;
        case WM_RBUTTONDOWN:
            return VK_RBUTTON;
        case WM_MBUTTONDOWN:
            return VK_MBUTTON;
        default:
            return 0;
    }
}

// Atomic: screens open and close on script threads, waiters ask on the UI thread.
std::atomic<int> g_sideScreens{0};

bool LookUpVisible(const std::vector<int64>& path, InputObjectInfo& info) {
    classInputSceneQuery* query = GetInputSceneQuery();
    if (query == nullptr || !query->LookUp(path, info)) return false;
    return !info.hiddenInTree;
}

}  // namespace

void BeginSideScreen() {
    g_sideScreens.fetch_add(1);
}

void EndSideScreen() {
    g_sideScreens.fetch_sub(1);
}

bool IsSideScreenOpen() {
    return g_sideScreens.load() > 0;
}

// ---- targets ----

classInputTarget* classInputTarget::SetMouseButton(classInputTarget* target, u32 button, u8 holdFlag) {
    if (target == nullptr) return nullptr;
    target->kind = kMouseButton;
    target->code = button;
    target->hold = holdFlag;
    return target;
}

classInputTarget* classInputTarget::SetWheelUp(classInputTarget* target) {
    if (target != nullptr) target->kind = kWheelUp;
    return target;
}

classInputTarget* classInputTarget::SetWheelDown(classInputTarget* target) {
    if (target != nullptr) target->kind = kWheelDown;
    return target;
}

classInputTarget* classInputTarget::SetKey(classInputTarget* target, u32 virtualKey, u8 holdFlag) {
    if (target == nullptr) return nullptr;
    target->kind = kKey;
    target->code = virtualKey;
    target->hold = holdFlag;
    return target;
}

classInputTarget* classInputTarget::SetKeySequence(classInputTarget* target, std::vector<int64> keys) {
    if (target == nullptr) return nullptr;
    target->kind = kKeySequence;
    target->keyList = std::move(keys);
    return target;
}

classInputTarget* classInputTarget::SetWindowMessage(classInputTarget* target, u64 windowMessage) {
    if (target == nullptr) return nullptr;
    target->kind = kWindowMessage;
    target->message = windowMessage;
    return target;
}

classInputTarget* classInputTarget::SetMoveOut(classInputTarget* target, int direction) {
    if (target == nullptr) return nullptr;
    if (direction >= 1 && direction <= 4) target->kind = static_cast<u32>(6 + direction);
    return target;
}

bool classInputTarget::HitTestRegion(int px, int py) const {
    InputObjectInfo info;
    if (!LookUpVisible(region, info) || !info.hasTexture) return false;
    classApplication* application = GetApplication();
    if (application == nullptr) return false;
    // Halves of integers are integer halves, as the areas were laid out with them.
    double halfW = static_cast<double>(application->logicalWidth / 2);
    double halfH = static_cast<double>(application->logicalHeight / 2);
    double halfTw = static_cast<double>(info.textureWidth / 2);
    double halfTh = static_cast<double>(info.textureHeight / 2);
    double x = info.hitX;
    double y = info.hitY;
    double left = std::trunc(halfW + (x - halfTw));
    double right = std::trunc(halfW + (x + halfTw));
    double top = std::trunc(halfH + (-y - halfTh));
    double bottom = std::trunc(halfH + (halfTh - y));
    return left <= px && px <= right && top <= py && py <= bottom;
}

bool classInputTarget::GetRegionPosition(float& x, float& y, float& z) const {
    InputObjectInfo info;
    if (!LookUpVisible(region, info) || !info.hasTexture) return false;
    x = info.hitX;
    y = info.hitY;
    z = info.hitZ;
    return true;
}

bool classInputTarget::MatchesButton(u32 windowMessage, float x, float y) const {
    if (kind != kMouseButton || disabled != 0) return false;
    u32 button = ButtonOfMessage(windowMessage);
    if (button == 0 || button != code) return false;
    return region.empty() || HitTestRegion(ToPixel(x), ToPixel(y));
}

bool classInputTarget::MatchesWheel(u64 wParam, float x, float y) const {
    if (disabled != 0) return false;
    bool up = kind == kWheelUp && static_cast<int32>(static_cast<u32>(wParam)) >= 65536;
    bool down = kind == kWheelDown && static_cast<int16>(static_cast<u16>((wParam >> 16) & 0xFFFF)) < 0;
    if (!up && !down) return false;
    return region.empty() || HitTestRegion(ToPixel(x), ToPixel(y));
}

bool classInputTarget::MatchesKey(u64 virtualKey) const {
    return kind == kKey && disabled == 0 && virtualKey == code;
}

bool classInputTarget::MatchesKeySequence(const std::vector<int64>& recent) const {
    if (kind != kKeySequence || disabled != 0 || keyList.empty()) return false;
    // The last n presses, oldest first; before n keys were pressed the missing
    // older ones count as 0, so a sequence cannot match too early.
    size_t n = keyList.size();
    size_t have = recent.size();
    for (size_t i = 0; i < n; ++i) {
        size_t missing = n > have ? n - have : 0;
        int64 key = i < missing ? 0 : recent[have - n + i];
        if (key != keyList[i]) return false;
    }
    return true;
}

bool classInputTarget::MatchesWindowMessage(u32 windowMessage) const {
    return kind == kWindowMessage && disabled == 0 && message == static_cast<u64>(windowMessage);
}

bool classInputTarget::MatchesHover(float x, float y) const {
    return kind == kMouseButton && disabled == 0 && !region.empty() && HitTestRegion(ToPixel(x), ToPixel(y));
}

// ---- waiter ----

classInputWaiter::classInputWaiter(int64 priorityValue) : priority(priorityValue) {
    Reset();
}

void classInputWaiter::Reset() {
    EndBetweenWaits();
    waiting.store(0);
    waitResult = 0;
    firedTarget = nullptr;
    selectedTarget = nullptr;
    queue = nullptr;
    standsAside = 0;
    yieldsToSideScreens = 0;
    selectLayer.clear();
    targets.clear();
    navigationMode = 1;
}

classInputTarget* classInputWaiter::AddTarget() {
    EndBetweenWaits();
    classInputTarget& target = targets.emplace_back();
    target.owner = this;
    return &target;
}

void classInputWaiter::ClearTargets() {
    EndBetweenWaits();
    targets.clear();
    firedTarget = nullptr;
    selectedTarget = nullptr;
}

void classInputWaiter::ResetChoiceSettings() {
    // The UI thread may still be matching a press against them.
    EndBetweenWaits();
    selectLayer.clear();
    navigationMode = 1;
}

classInputTarget* classInputWaiter::EndBetweenWaits() {
    std::unique_lock<std::mutex> hold(stateMutex_);
    while (state_ == State::kBusy) changed_.wait(hold);
    if (state_ == State::kBetween) state_ = State::kIdle;
    classInputTarget* kept = keptPress_;
    keptPress_ = nullptr;
    return kept;
}

classInputTarget* classInputWaiter::Wait(int64 timeoutMs) {
    return Wait(timeoutMs, WakeCount());
}

u64 classInputWaiter::WakeCount() {
    std::lock_guard<std::mutex> hold(stateMutex_);
    return wakes_;
}

classInputTarget* classInputWaiter::Wait(int64 timeoutMs, u64 seenWakes) {
    if (classInputTarget* kept = EndBetweenWaits()) {
        // Shown and returned as if it had come during this wait.
        firedTarget = kept;
        classInputTarget::ApplyCaseState(kept, kCaseDecide);
        CommitQueue();
        waitResult = 0;
        std::lock_guard<std::mutex> hold(stateMutex_);
        state_ = State::kBetween;
        return kept;
    }
    // Nothing could ever end an endless wait for no target.
    if (timeoutMs < 0 && targets.empty()) return nullptr;
    ShowCommittedRecords();

    using Clock = std::chrono::steady_clock;
    // About 35 years: longer than any wait, short enough not to overflow the clock.
    constexpr int64 kLongestWait = int64{1} << 40;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::min(timeoutMs, kLongestWait));

    std::unique_lock<std::mutex> hold(stateMutex_);
    signalled_ = wakes_ != seenWakes;
    firedInWait_ = false;
    state_ = State::kWaiting;
    waiting.store(1);

    if (firedTarget != nullptr && firedTarget->hold == 1 && g_inputManager.IsKeyDown(VK_LBUTTON)) {
        waitResult = 0;
        state_ = State::kBetween;
        waiting.store(0);
        return firedTarget;
    }

    for (;;) {
        // While the UI thread is busy with our targets we may not leave: it
        // may be firing one, and the caller would free what it reads.
        if (state_ == State::kBusy) {
            changed_.wait(hold);
            continue;
        }
        // Flags are looked at after raising the waiting state, so a quit or
        // restart set just before this wait is never missed.
        if (signalled_ || IsQuitOrRestartRequested()) break;
        Clock::time_point now = Clock::now();
        if (timeoutMs >= 0 && now >= deadline) break;
        Clock::time_point until = now + kQuitPollInterval;
        if (timeoutMs >= 0 && deadline < until) until = deadline;
        changed_.wait_until(hold, until);
    }
    bool woken = signalled_ || IsQuitOrRestartRequested();
    waitResult = woken ? 0 : kWaitTimedOut;
    state_ = State::kBetween;
    waiting.store(0);
    // A wake-up (a mode switched, a movie ended, a quit) is no press: the
    // press that fired an earlier wait was answered there, and handing it
    // out again would turn a page nobody asked to turn. It stays recorded
    // for the hold rule above.
    return woken && firedInWait_ ? firedTarget : nullptr;
}

void classInputWaiter::Wake() {
    std::lock_guard<std::mutex> hold(stateMutex_);
    ++wakes_;
    signalled_ = true;
    changed_.notify_all();
}

bool classInputWaiter::IsAccepting() const {
    if (standsAside != 0 && IsMainScriptInInterrupt()) return false;
    if (yieldsToSideScreens != 0 && IsSideScreenOpen()) return false;
    if (!selectLayer.empty()) {
        InputObjectInfo info;
        if (!LookUpVisible(selectLayer, info)) return false;
    }
    return true;
}

bool classInputWaiter::OnMessage(u32 message, u64 wParam, int64 lParam) {
    {
        std::lock_guard<std::mutex> hold(stateMutex_);
        if (IsQuitOrRestartRequested()) {
            // Release the thread so it sees the flags; the message goes on to
            // the next waiter, which is released the same way.
            waiting.store(0);
            signalled_ = true;
            changed_.notify_all();
            return false;
        }
        if (state_ != State::kWaiting) return false;
        state_ = State::kBusy;
    }

    classInputTarget* fired = nullptr;
    bool taken = false;
    if (IsAccepting()) {
        fired = FindWindowMessageTarget(message);
        if (fired == nullptr) {
            switch (message) {
                case WM_KEYDOWN: {
                    fired = FindKeyTarget(wParam);
                    if (fired == nullptr) fired = FindKeySequenceTarget(g_inputManager.RecentKeys());
                    if (fired == nullptr) {
                        classInputTarget* moved = Navigate(message, wParam);
                        if (moved != nullptr && moved->IsAnyMoveOut()) {
                            fired = moved;
                        } else if (moved != nullptr) {
                            selectedTarget = moved;
                            ResetCaseStates(moved);
                            CommitQueue();
                            taken = true;
                        }
                    }
                    if (fired == nullptr && !taken && wParam == VK_RETURN && selectedTarget != nullptr &&
                        selectedTarget->IsMoveOn()) {
                        fired = selectedTarget;
                    }
                    break;
                }
                case WM_MOUSEMOVE:
                    taken = OnMouseMove(lParam);
                    break;
                case WM_LBUTTONDOWN:
                case WM_RBUTTONDOWN:
                case WM_MBUTTONDOWN: {
                    float x = static_cast<float>(PointParamX(lParam));
                    float y = static_cast<float>(PointParamY(lParam));
                    MapClientToLogical(x, y);
                    fired = FindButtonTarget(message, x, y);
                    break;
                }
                case WM_MOUSEWHEEL: {
                    // The window layer puts the client position into the wheel
                    // message, so it maps like a click.
                    float x = static_cast<float>(PointParamX(lParam));
                    float y = static_cast<float>(PointParamY(lParam));
                    MapClientToLogical(x, y);
                    fired = FindWheelTarget(wParam, x, y);
                    break;
                }
                default:
                    break;
            }
        }
    }
    if (fired != nullptr) {
        // The decided case shows as decided before its script goes on.
        firedTarget = fired;
        classInputTarget::ApplyCaseState(fired, kCaseDecide);
        CommitQueue();
    }

    std::lock_guard<std::mutex> hold(stateMutex_);
    if (fired != nullptr) {
        signalled_ = true;
        firedInWait_ = true;
        waiting.store(0);
    }
    // A fired waiter takes nothing more until its thread has seen the fire.
    state_ = fired != nullptr ? State::kDone : State::kWaiting;
    changed_.notify_all();
    return fired != nullptr || taken;
}

bool classInputWaiter::KeepPressForNextWait(u32 message, u64 wParam, int64 lParam) {
    const bool button = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
    // A held key's repeats come again soon enough; only a fresh press is one
    // the player made once.
    const bool key = message == WM_KEYDOWN && (lParam & kPreviousDownBit) == 0;
    if (!button && !key) return false;
    State resume = State::kIdle;
    {
        std::lock_guard<std::mutex> hold(stateMutex_);
        if (IsQuitOrRestartRequested() || keptPress_ != nullptr) return false;
        // A fired waiter whose thread has not yet returned is between waits too.
        if (state_ != State::kBetween && state_ != State::kDone) return false;
        resume = state_;
        state_ = State::kBusy;
    }

    classInputTarget* kept = nullptr;
    if (IsAccepting()) {
        // The same precedence a wait gives the press.
        kept = FindWindowMessageTarget(message);
        if (kept == nullptr && key) kept = FindKeyTarget(wParam);
        if (kept == nullptr && button) {
            float x = static_cast<float>(PointParamX(lParam));
            float y = static_cast<float>(PointParamY(lParam));
            MapClientToLogical(x, y);
            kept = FindButtonTarget(message, x, y);
        }
    }

    std::lock_guard<std::mutex> hold(stateMutex_);
    keptPress_ = kept;
    state_ = resume;
    changed_.notify_all();
    return kept != nullptr;
}

void classInputWaiter::PostToQueue(const InputCaseRecord& record) {
    classInputQueueSink* sink = GetInputQueueSink();
    const classQuePosterScope owner(poster);
    if (sink != nullptr) sink->Post(queue, record);
}

void classInputWaiter::CommitQueue() {
    classInputQueueSink* sink = GetInputQueueSink();
    const classQuePosterScope owner(poster);
    if (sink != nullptr) sink->Commit(queue);
}

classInputTarget* classInputWaiter::FindWindowMessageTarget(u32 message) {
    for (classInputTarget& target : targets) {
        if (target.MatchesWindowMessage(message)) return &target;
    }
    return nullptr;
}

classInputTarget* classInputWaiter::FindKeyTarget(u64 virtualKey) {
    for (classInputTarget& target : targets) {
        if (target.MatchesKey(virtualKey)) return &target;
    }
    return nullptr;
}

classInputTarget* classInputWaiter::FindKeySequenceTarget(const std::vector<int64>& recent) {
    for (classInputTarget& target : targets) {
        if (target.MatchesKeySequence(recent)) return &target;
    }
    return nullptr;
}

classInputTarget* classInputWaiter::FindButtonTarget(u32 message, float x, float y) {
    for (classInputTarget& target : targets) {
        if (target.MatchesButton(message, x, y)) return &target;
    }
    return nullptr;
}

classInputTarget* classInputWaiter::FindWheelTarget(u64 wParam, float x, float y) {
    for (classInputTarget& target : targets) {
        if (target.MatchesWheel(wParam, x, y)) return &target;
    }
    return nullptr;
}

classInputTarget* classInputWaiter::FindHoverTarget(float x, float y) {
    for (classInputTarget& target : targets) {
        if (target.MatchesHover(x, y)) return &target;
    }
    return nullptr;
}
