#pragma once
// What the wait and choice command tests share: an application with the
// input fakes, a script context with a waiter of its own, a frame pump that
// ends frames (so WaitFrame returns) without running the queues, and a look
// at what the commands left on the main queue.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/input_manager.h"
#include "foundation/key_wait_lock.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "script/script_context.h"
#include "script/script_value.h"
#include "support/input_fakes.h"

namespace fakes {

struct PostedRecord {
    QueRecordType type;
    bool committed;
    u64 sceneMask;
    int64 transitionTime;  // for transitions, else 0
};

class CommandWaitTest : public InputTest {
  protected:
    void SetUp() override {
        InputTest::SetUp();
        GetMainQueue()->DiscardAll();
        ClearKeyWaitLock();
        holder = std::make_unique<classInputWaiterHolder>(0);
        context.inputWaiter = holder.get();
        pumping = true;
        pump = std::thread([this] {
            while (pumping.load()) {
                app->RenderFrame();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    void TearDown() override {
        pumping = false;
        pump.join();
        context.inputWaiter = nullptr;
        holder.reset();
        GetMainQueue()->DiscardAll();
        ClearKeyWaitLock();
        app->mainScriptContext = nullptr;
        InputTest::TearDown();
    }

    using Handler = bool (*)(classScriptContext&, const std::vector<classScriptValue>&, int32, classScriptValue&);

    // Runs a handler on a thread of its own; returns once it blocks in its
    // wait or has ended.
    std::future<void> Start(Handler handler, std::vector<classScriptValue> arguments) {
        auto done = std::async(std::launch::async, [this, handler, arguments = std::move(arguments)] {
            classScriptValue result;
            handler(context, arguments, static_cast<int32>(arguments.size()), result);
        });
        for (int i = 0; i < 2000 && done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
             ++i) {
            if (holder->Get()->IsWaiting()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done;
    }
    static bool Ends(std::future<void>& done, std::chrono::milliseconds within = std::chrono::seconds(5)) {
        return done.wait_for(within) == std::future_status::ready;
    }
    static bool StillWaiting(std::future<void>& done, std::chrono::milliseconds for_ = std::chrono::milliseconds(150)) {
        return done.wait_for(for_) == std::future_status::timeout;
    }

    // Returns once a command that was just woken has come back to its wait.
    void WaitForNextPass() {
        for (int i = 0; i < 500 && holder->Get()->IsWaiting(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < 2000 && !holder->Get()->IsWaiting(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    static std::vector<PostedRecord> Posted() {
        std::vector<PostedRecord> out;
        GetMainQueue()->ForEachRecord([&out](const classQueBase& record, bool committed) {
            int64 time = 0;
            if (record.GetType() == QueTransition) time = static_cast<const classQue_Transition&>(record).time;
            out.push_back({record.GetType(), committed, record.sceneMask, time});
        });
        return out;
    }

    classScriptContext context;
    std::unique_ptr<classInputWaiterHolder> holder;
    std::atomic<bool> pumping{false};
    std::thread pump;
};

// A command started on its own thread that, when the test is done with it
// (or fails half-way), is ended by a quit: a modal screen whose way out is
// broken fails its test instead of hanging it.
class CommandRun {
  public:
    explicit CommandRun(std::future<void> done) : done_(std::move(done)) {}
    CommandRun(CommandRun&&) = default;
    ~CommandRun() {
        if (!done_.valid() || done_.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) return;
        if (classApplication* application = GetApplication()) application->RequestQuit();
        done_.wait();
        if (classApplication* application = GetApplication()) application->quitRequested.store(0);
    }
    bool Ends(std::chrono::milliseconds within = std::chrono::seconds(5)) {
        return done_.wait_for(within) == std::future_status::ready;
    }

  private:
    std::future<void> done_;
};

inline std::vector<classScriptValue> Integers(const std::vector<int64>& values) {
    std::vector<classScriptValue> out(values.size());
    size_t i = 0;
    for (int64 v : values) out[i++].SetInteger(v);
    return out;
}

}  // namespace fakes
