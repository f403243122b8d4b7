#pragma once
// The holder of one background thread with a cooperative stop request.
//
// A thread leaves its loop when it sees IsStopRequested. Stop asks and then
// waits a bounded time; a thread that does not end in time keeps running and
// its holder keeps it (never detached while the objects it uses are alive).
// SleepFor/WaitForStopRequest are the holder's own interruptible waits: a
// thread that sleeps through them notices Stop at once instead of at the end
// of its sleep.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/types.h"

using WorkerRoutine = u32 (*)(void* argument);

class classWorkerThread {
public:
    // Results of Stop, as callers of the original wait expect them.
    static constexpr u32 kStopped = 0;
    static constexpr u32 kTimedOut = 258;
    static constexpr u32 kNeverStarted = 128;

    explicit classWorkerThread(WorkerRoutine routine = nullptr) : routine_(routine) {}
    ~classWorkerThread();
    classWorkerThread(const classWorkerThread&) = delete;
    classWorkerThread& operator=(const classWorkerThread&) = delete;

    // Clears the stop request and runs the routine with the holder itself as
    // its argument. False when there is no routine or the thread still runs.
    bool Start();
    bool StartWithRoutine(WorkerRoutine routine);

    bool IsStopRequested() const { return stopRequest_.load(std::memory_order_acquire) != 0; }
    u8 RequestStop(u8 value);
    // RequestStop(1), then waits at most `milliseconds` for the routine to end:
    // kStopped, kTimedOut, or kNeverStarted for a holder that has no thread.
    u32 Stop(u32 milliseconds);

    // True from Start until the routine has returned.
    bool IsRunning();
    // On the holder's own thread: sleeps, or returns early (true) on a stop request.
    bool SleepFor(std::chrono::nanoseconds duration);
    bool SleepUntil(std::chrono::steady_clock::time_point deadline);
    // The same, and a nudge from another thread ends the sleep early too; it
    // is taken, and `*nudged` tells whether it ended the sleep.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline, bool* nudged);
    void WaitForStopRequest();
    // Any thread: ends the holder's next or current nudgeable sleep early.
    // Nudges do not add up: any number before a sleep end one.
    void Nudge();

    u32 ThreadId() const { return threadId_.load(std::memory_order_relaxed); }
    // Whether the caller is the thread this holder started last.
    bool IsCallingThread() const;

private:
    void Run();

    WorkerRoutine routine_;                // set before Start, read by the new thread after its creation
    std::atomic<u32> threadId_{0};         // atomic: written by the new thread, read anywhere
    std::atomic<u8> stopRequest_{0};       // atomic: the flag every pass of the thread's loop polls
    bool nudged_ = false;                  // guarded by stateMutex_
    std::thread thread_;                   // owner's thread only (Start, Stop, destructor)
    bool hasThread_ = false;               // owner's thread only
    std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    bool finished_ = true;                 // guarded by stateMutex_
};
