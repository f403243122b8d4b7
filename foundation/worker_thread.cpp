#include "foundation/worker_thread.h"

#include <functional>
#include <system_error>

namespace {
u32 ThreadNumber() {
    return static_cast<u32>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}
}  // namespace

classWorkerThread::~classWorkerThread() {
    Stop(1000);
    if (thread_.joinable()) {
        bool finished;
        {
            std::lock_guard<std::mutex> hold(stateMutex_);
            finished = finished_;
        }
        // Only at process exit can a thread still run here; the entry function
        // has already decided to leave without tearing down what it uses.
        if (finished) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }
}

bool classWorkerThread::Start() {
    if (routine_ == nullptr) return false;
    if (thread_.joinable()) {
        if (IsRunning()) return false;
        thread_.join();
    }
    stopRequest_.store(0, std::memory_order_release);
    {
        std::lock_guard<std::mutex> hold(stateMutex_);
        finished_ = false;
        // A nudge meant for the thread's last run is no concern of this one.
        nudged_ = false;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> hold(stateMutex_);
        finished_ = true;
        return false;
    }
    hasThread_ = true;
    return true;
}

bool classWorkerThread::StartWithRoutine(WorkerRoutine routine) {
    routine_ = routine;
    return Start();
}

void classWorkerThread::Run() {
    threadId_.store(ThreadNumber(), std::memory_order_relaxed);
    routine_(this);
    // Notified under the lock: once Stop sees the end, its caller may destroy the holder.
    std::lock_guard<std::mutex> hold(stateMutex_);
    finished_ = true;
    stateChanged_.notify_all();
}

u8 classWorkerThread::RequestStop(u8 value) {
    {
        // Under the state mutex so that a thread about to sleep cannot miss it.
        std::lock_guard<std::mutex> hold(stateMutex_);
        stopRequest_.store(value, std::memory_order_release);
    }
    stateChanged_.notify_all();
    return value;
}

u32 classWorkerThread::Stop(u32 milliseconds) {
    RequestStop(1);
    if (!hasThread_) return kNeverStarted;
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return kTimedOut;
    {
        std::unique_lock<std::mutex> hold(stateMutex_);
        if (!stateChanged_.wait_for(hold, std::chrono::milliseconds(milliseconds), [this] { return finished_; })) {
            return kTimedOut;
        }
    }
    if (thread_.joinable()) thread_.join();
    return kStopped;
}

bool classWorkerThread::IsCallingThread() const {
    return ThreadId() != 0 && ThreadId() == ThreadNumber();
}

bool classWorkerThread::IsRunning() {
    std::lock_guard<std::mutex> hold(stateMutex_);
    return !finished_;
}

bool classWorkerThread::SleepFor(std::chrono::nanoseconds duration) {
    return SleepUntil(std::chrono::steady_clock::now() + duration);
}

bool classWorkerThread::SleepUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> hold(stateMutex_);
    return stateChanged_.wait_until(hold, deadline, [this] { return IsStopRequested(); });
}

bool classWorkerThread::SleepUntil(std::chrono::steady_clock::time_point deadline, bool* nudged) {
    std::unique_lock<std::mutex> hold(stateMutex_);
    stateChanged_.wait_until(hold, deadline, [this] { return IsStopRequested() || nudged_; });
    if (nudged != nullptr) *nudged = nudged_;
    nudged_ = false;
    return IsStopRequested();
}

void classWorkerThread::Nudge() {
    {
        std::lock_guard<std::mutex> hold(stateMutex_);
        nudged_ = true;
    }
    stateChanged_.notify_all();
}

void classWorkerThread::WaitForStopRequest() {
    std::unique_lock<std::mutex> hold(stateMutex_);
    stateChanged_.wait(hold, [this] { return IsStopRequested(); });
}
