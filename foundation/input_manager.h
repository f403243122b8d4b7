#pragma once
// The input manager: the one place where keyboard and mouse input enters the
// engine. The window procedure hands it every message on the UI thread; it
// keeps the 256 virtual-key states (mouse buttons under 1, 2 and 4), the last
// mouse position in logical pixels and the recent key presses, and offers each
// message to the registered waiters from the highest priority down until one
// takes it.
//
// Lock order: the manager lock, then the membership lock, then a waiter's
// state lock; on the UI thread the manager lock also comes before the
// command-queue lock and the scene lock, so no thread may take the manager
// lock while it holds either of those. WakeAllWaiters takes only the
// membership lock, so it may be called under the queue lock.

#include <atomic>
#include <list>
#include <mutex>
#include <vector>

#include "foundation/critical_section.h"
#include "foundation/input_waiter.h"
#include "foundation/key_wait_lock.h"
#include "foundation/types.h"

class classKeyState {
  public:
    void Press() {
        pressCount.fetch_add(1);
        down.store(1);
    }
    void Release() { down.store(0); }
    static bool IsDown(const classKeyState* state) { return state != nullptr && state->down.load() != 0; }
    int64 GetPressCount() const { return pressCount.load(); }
    // Tests only: back to never pressed.
    void ClearForTest() {
        pressCount.store(0);
        down.store(0);
    }

  private:
    std::atomic<int64> pressCount{0};  // atomic: written on the UI thread, read anywhere
    std::atomic<u8> down{0};           // atomic: written on the UI thread, read anywhere
};

class classInputManager {
  public:
    classInputManager() = default;
    classInputManager(const classInputManager&) = delete;
    classInputManager& operator=(const classInputManager&) = delete;

    // UI thread. Always false: the window's default processing follows.
    bool OnWindowMessage(void* windowHandle, u32 message, u64 wParam, int64 lParam);

    // Script threads. The stored waiter stays valid until it is removed.
    classInputWaiter* AddWaiter(int64 priority);
    void RemoveWaiter(classInputWaiter* waiter);
    // Any thread, also under the command-queue lock.
    void WakeAllWaiters();

    // Null for a code outside 0 to 255.
    classKeyState* GetKey(u64 code);
    bool IsKeyDown(u64 code) { return classKeyState::IsDown(GetKey(code)); }

    // UI thread: the recent key presses, oldest first (see OnWindowMessage).
    const std::vector<int64>& RecentKeys() const { return recentKeys_; }

    // Last mouse position in logical pixels from the top-left of the logical
    // screen. Atomic: written on the UI thread, read by the screens.
    std::atomic<float> mouseX{0.0f};
    std::atomic<float> mouseY{0.0f};

    // Tests: forgets every waiter, key state and recent key.
    void ResetForTest();

  private:
    void RecordKeyPress(u64 key);

    classCriticalSection lock;             // guards walking the waiter list (held while offering)
    std::mutex membership_;                // guards the list's membership; taken after `lock`
    std::list<classInputWaiter> waiters_;  // descending priority; changed under both locks
    classKeyState keys_[256];
    // UI thread only: the newest presses, oldest first, bounded so a long
    // session does not grow it.
    std::vector<int64> recentKeys_;
};

extern classInputManager g_inputManager;

// The logical screen is letter- or pillar-boxed into the client area, centred.
// Turns a client-area position into logical coordinates, in place. False (and
// x, y unchanged) when a size is 0.
bool MapClientToLogical(float& x, float& y, float surfaceWidth, float surfaceHeight, float logicalWidth,
                        float logicalHeight);
// The same against the application's window and logical size.
bool MapClientToLogical(float& x, float& y);

// A script thread's hold on its registered waiter.
class classInputWaiterHolder {
  public:
    classInputWaiterHolder();
    explicit classInputWaiterHolder(int64 priority);
    ~classInputWaiterHolder() { Reset(); }
    classInputWaiterHolder(const classInputWaiterHolder&) = delete;
    classInputWaiterHolder& operator=(const classInputWaiterHolder&) = delete;

    void Reset();
    classInputWaiter* Get() const { return waiter_; }
    classInputTarget* AddTarget() { return waiter_ != nullptr ? waiter_->AddTarget() : nullptr; }
    void ClearTargets() {
        if (waiter_ != nullptr) waiter_->ClearTargets();
    }

  private:
    classInputWaiter* waiter_ = nullptr;
};

// Removes a waiter from g_inputManager; null is ignored.
void UnregisterInputWaiter(classInputWaiter* waiter);

// Fills the input hooks of the application frame.
void RegisterInputSubsystem();
