#pragma once
// The program's one lock type. It stays recursive: a command record that runs
// inside a frame enters the application lock again while the frame holds it.
// Callers may enter and leave by hand, but new code should prefer the guard
// below so that no early return forgets a Leave.
//
// Lock order, where two are held at once: the application lock, then the
// command-queue lock, then the device lock or the sound lock. On the UI thread
// the input manager's lock comes before the queue and device locks.

#include <mutex>

// What a thread does while it waits for a lock that another thread holds.
// The UI thread installs one: the holder may be waiting for a message box,
// and only the UI thread can show it, so the UI thread keeps serving boxes
// instead of sleeping on the lock (a save that fails inside a frame asks
// whether to retry while it holds the frame's locks).
struct LockWaitHook {
    void (*waiting)();   // called over and over until the lock is free
    void (*acquired)();  // called once the lock is taken after waiting
};
// Per thread; null: a plain blocking wait.
inline thread_local const LockWaitHook* t_lockWaitHook = nullptr;

class classCriticalSection {
public:
    classCriticalSection() = default;
    classCriticalSection(const classCriticalSection&) = delete;
    classCriticalSection& operator=(const classCriticalSection&) = delete;

    // The mutex is ready from construction; these two remain for owners that
    // set up and tear down their locks explicitly.
    void Initialize() {}
    void Delete() {}

    void Enter() {
        if (mutex_.try_lock()) return;
        const LockWaitHook* hook = t_lockWaitHook;
        if (hook == nullptr) {
            mutex_.lock();
            return;
        }
        while (!mutex_.try_lock()) hook->waiting();
        hook->acquired();
    }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }

    // For std::unique_lock / std::scoped_lock users.
    std::recursive_mutex& Native() { return mutex_; }

private:
    std::recursive_mutex mutex_;
};

// Holds a classCriticalSection for one scope.
class classCriticalSectionLock {
public:
    explicit classCriticalSectionLock(classCriticalSection& section) : section_(section) { section_.Enter(); }
    ~classCriticalSectionLock() { section_.Leave(); }
    classCriticalSectionLock(const classCriticalSectionLock&) = delete;
    classCriticalSectionLock& operator=(const classCriticalSectionLock&) = delete;

private:
    classCriticalSection& section_;
};
