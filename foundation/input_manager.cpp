#include "foundation/input_manager.h"

#include <algorithm>
#include <cmath>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "platform/window_messages.h"

using namespace platform;

classInputManager g_inputManager;

namespace {

// Longer than any key sequence a script would wait for; the oldest presses
// beyond it are forgotten.
constexpr size_t kRecentKeyLimit = 64;

}  // namespace

bool classInputManager::OnWindowMessage(void* /*windowHandle*/, u32 message, u64 wParam, int64 lParam) {
    // Alt and F10 come as system keys, but the player means them as keys.
    if ((message == WM_SYSKEYDOWN || message == WM_SYSKEYUP) && (wParam == VK_MENU || wParam == VK_F10)) {
        message = message == WM_SYSKEYDOWN ? WM_KEYDOWN : WM_KEYUP;
    }

    switch (message) {
        case WM_LBUTTONDOWN:
            keys_[VK_LBUTTON].Press();
            break;
        case WM_RBUTTONDOWN:
            keys_[VK_RBUTTON].Press();
            break;
        case WM_MBUTTONDOWN:
            keys_[VK_MBUTTON].Press();
            break;
        case WM_LBUTTONUP:
            keys_[VK_LBUTTON].Release();
            break;
        case WM_RBUTTONUP:
            keys_[VK_RBUTTON].Release();
            break;
        case WM_MBUTTONUP:
            keys_[VK_MBUTTON].Release();
            break;
        case WM_MOUSEMOVE: {
            float x = static_cast<float>(PointParamX(lParam));
            float y = static_cast<float>(PointParamY(lParam));
            if (MapClientToLogical(x, y)) {
                mouseX.store(x);
                mouseY.store(y);
            }
            break;
        }
        case WM_KEYDOWN:
            if (wParam < 256) keys_[wParam].Press();
            if ((lParam & kPreviousDownBit) == 0) RecordKeyPress(wParam);
            break;
        case WM_KEYUP:
            if (wParam < 256) keys_[wParam].Release();
            break;
        case WM_KILLFOCUS:
            // Releases made in another window never reach us; a Ctrl left
            // "down" would skip text for ever.
            for (classKeyState& key : keys_) key.Release();
            break;
        default:
            break;
    }

    classCriticalSectionLock hold(lock);
    for (classInputWaiter& waiter : waiters_) {
        if (waiter.OnMessage(message, wParam, lParam)) return false;
    }
    // Only a press no waiting thread wanted is kept for a thread that is
    // between two of its waits, so none is acted on twice.
    for (classInputWaiter& waiter : waiters_) {
        if (waiter.KeepPressForNextWait(message, wParam, lParam)) break;
    }
    return false;
}

void classInputManager::RecordKeyPress(u64 key) {
    recentKeys_.push_back(static_cast<int64>(key));
    if (recentKeys_.size() > kRecentKeyLimit) recentKeys_.erase(recentKeys_.begin());
}

classInputWaiter* classInputManager::AddWaiter(int64 priority) {
    classCriticalSectionLock hold(lock);
    std::lock_guard<std::mutex> members(membership_);
    auto at = std::find_if(waiters_.begin(), waiters_.end(),
                           [priority](const classInputWaiter& waiter) { return waiter.priority < priority; });
    return &*waiters_.emplace(at, priority);
}

void classInputManager::RemoveWaiter(classInputWaiter* waiter) {
    if (waiter == nullptr) return;
    classCriticalSectionLock hold(lock);
    std::lock_guard<std::mutex> members(membership_);
    waiters_.remove_if([waiter](const classInputWaiter& stored) { return &stored == waiter; });
}

void classInputManager::WakeAllWaiters() {
    std::lock_guard<std::mutex> members(membership_);
    for (classInputWaiter& waiter : waiters_) waiter.Wake();
}

classKeyState* classInputManager::GetKey(u64 code) {
    return code < 256 ? &keys_[code] : nullptr;
}

void classInputManager::ResetForTest() {
    {
        classCriticalSectionLock hold(lock);
        std::lock_guard<std::mutex> members(membership_);
        waiters_.clear();
    }
    for (classKeyState& key : keys_) key.ClearForTest();
    recentKeys_.clear();
    mouseX.store(0.0f);
    mouseY.store(0.0f);
}

bool MapClientToLogical(float& x, float& y, float surfaceWidth, float surfaceHeight, float logicalWidth,
                        float logicalHeight) {
    // A minimised window reports 0 x 0; the last position is better than NaN.
    if (!(surfaceWidth > 0.0f) || !(surfaceHeight > 0.0f) || !(logicalWidth > 0.0f) ||
        !(logicalHeight > 0.0f)) {
        return false;
    }
    // The device is set up with the logical size, so its aspect is the logical one.
    float reference = logicalWidth / logicalHeight;
    float scale = 0.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    if (surfaceWidth / surfaceHeight >= reference) {
        scale = surfaceHeight / logicalHeight;
        offsetX = std::trunc((surfaceWidth - logicalWidth * scale) / 2.0f);
    } else {
        scale = surfaceWidth / logicalWidth;
        offsetY = std::trunc((surfaceHeight - logicalHeight * scale) / 2.0f);
    }
    x = (x - offsetX) / scale;
    y = (y - offsetY) / scale;
    return true;
}

bool MapClientToLogical(float& x, float& y) {
    classApplication* application = GetApplication();
    if (application == nullptr || application->windowHandle == nullptr) return false;
    ClientSize client = application->windowHandle->GetClientSize();
    return MapClientToLogical(x, y, static_cast<float>(client.width), static_cast<float>(client.height),
                              static_cast<float>(application->logicalWidth),
                              static_cast<float>(application->logicalHeight));
}

classInputWaiterHolder::classInputWaiterHolder() : waiter_(g_inputManager.AddWaiter(0)) {}
classInputWaiterHolder::classInputWaiterHolder(int64 priority)
    : waiter_(g_inputManager.AddWaiter(priority)) {}

void classInputWaiterHolder::Reset() {
    UnregisterInputWaiter(waiter_);
    waiter_ = nullptr;
}

void UnregisterInputWaiter(classInputWaiter* waiter) {
    if (waiter != nullptr) g_inputManager.RemoveWaiter(waiter);
}

void RegisterInputSubsystem() {
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.onWindowMessage = [](const WindowMessage& message) {
        return g_inputManager.OnWindowMessage(nullptr, message.message, message.wParam, message.lParam);
    };
    hooks.isVirtualKeyDown = [](u32 virtualKey) { return g_inputManager.IsKeyDown(virtualKey); };
}
