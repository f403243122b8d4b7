#pragma once
// A signalled/unsignalled event, manual- or auto-reset, for threads that hand
// each other a wake-up. A waiter that must also end on quit waits with a time
// limit or is woken by whoever sets the quit flag.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "foundation/types.h"

class classEvent {
public:
    // An infinite wait.
    static constexpr u32 kInfinite = 0xFFFFFFFFu;

    explicit classEvent(bool manualReset = false, bool initiallySet = false)
        : manualReset_(manualReset), signalled_(initiallySet) {}
    classEvent(const classEvent&) = delete;
    classEvent& operator=(const classEvent&) = delete;

    void Set() {
        // Notified under the lock: a woken waiter may destroy the event at once.
        std::lock_guard<std::mutex> hold(mutex_);
        signalled_ = true;
        if (manualReset_) {
            changed_.notify_all();
        } else {
            changed_.notify_one();
        }
    }

    void Reset() {
        std::lock_guard<std::mutex> hold(mutex_);
        signalled_ = false;
    }

    // True when the event was signalled within the time; an auto-reset event
    // is consumed by the one waiter that sees it.
    bool Wait(u32 milliseconds = kInfinite) {
        std::unique_lock<std::mutex> hold(mutex_);
        auto signalled = [this] { return signalled_; };
        if (milliseconds == kInfinite) {
            changed_.wait(hold, signalled);
        } else if (!changed_.wait_for(hold, std::chrono::milliseconds(milliseconds), signalled)) {
            return false;
        }
        if (!manualReset_) signalled_ = false;
        return true;
    }

    bool IsSet() {
        std::lock_guard<std::mutex> hold(mutex_);
        return signalled_;
    }

private:
    const bool manualReset_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;  // guarded by mutex_
};
