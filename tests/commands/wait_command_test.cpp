// "Wait" on a script thread: how long it waits, what may cut it short, and
// that quitting, a restart and an interrupt on the main script always end it.
// Each wait runs on a thread of its own; the test thread plays the UI thread.
#include "commands/wait_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "foundation/input_manager.h"
#include "platform/clock.h"
#include "script/script_context.h"
#include "script/script_value.h"
#include "support/input_fakes.h"

namespace {

using namespace std::chrono_literals;

std::vector<classScriptValue> Arguments(int64 time, int64 skipOn) {
    std::vector<classScriptValue> arguments(2);
    arguments[0].SetInteger(time);
    arguments[1].SetInteger(skipOn);
    return arguments;
}

class WaitCommandTest : public fakes::InputTest {
  protected:
    void TearDown() override {
        context.inputWaiter = nullptr;
        holder.reset();
        fakes::InputTest::TearDown();
    }
    // Starts "Wait" on its own thread and returns once it blocks (or ended).
    std::future<void> StartWait(std::vector<classScriptValue> arguments, int32 count = 2) {
        auto done = std::async(std::launch::async, [this, arguments = std::move(arguments), count] {
            classScriptValue result;
            CommandWait(context, arguments, count, result);
        });
        for (int i = 0; holder && i < 2000 && done.wait_for(0ms) != std::future_status::ready; ++i) {
            if (holder->Get()->IsWaiting()) break;
            std::this_thread::sleep_for(1ms);
        }
        return done;
    }
    void UseWaiter() {
        holder = std::make_unique<classInputWaiterHolder>(0);
        context.inputWaiter = holder.get();
    }
    static bool Ends(std::future<void>& done) { return done.wait_for(5s) == std::future_status::ready; }

    classScriptContext context;
    std::unique_ptr<classInputWaiterHolder> holder;
};

TEST_F(WaitCommandTest, WaitsItsTimeWithoutAWaiterAndTheDefaultIsASecond) {
    const u32 start = platform::NowMs();
    classScriptValue result;
    CommandWait(context, Arguments(120, 0), 2, result);
    EXPECT_GE(static_cast<u32>(platform::NowMs() - start), 120u);
    EXPECT_TRUE(result.IsEmpty()) << "Wait gives no result";

    // No arguments at all: 1000 ms. A quit after a moment ends it early, so
    // only the lower bound of the early end is looked at.
    auto done = StartWait({}, 0);
    EXPECT_EQ(done.wait_for(300ms), std::future_status::timeout) << "still waiting for its second";
    app->RequestQuit();
    EXPECT_TRUE(Ends(done));
}

TEST_F(WaitCommandTest, ASkippedStatementOrNextChoiceSkippingOnTheMainScriptDoesNotWait) {
    context.skipFlag = true;
    auto skipped = StartWait(Arguments(100000, 0));
    EXPECT_TRUE(Ends(skipped));
    context.skipFlag = false;

    app->mainScriptContext = &context;
    app->nextSelectSkipping = 1;
    auto onMain = StartWait(Arguments(100000, 0));
    EXPECT_TRUE(Ends(onMain));
    app->mainScriptContext = nullptr;
}

TEST_F(WaitCommandTest, EnterCutsItShortOnlyWithSkipOn) {
    UseWaiter();
    auto locked = StartWait(Arguments(100000, 0));
    KeyDown(13);
    Send(platform::WM_KEYUP, 13);
    Click(10, 10);
    EXPECT_EQ(locked.wait_for(200ms), std::future_status::timeout)
        << "SkipOn 0: Enter and clicks are ignored";
    app->RequestQuit();
    EXPECT_TRUE(Ends(locked));
    app->quitRequested = 0;

    auto open = StartWait(Arguments(100000, 1));
    KeyDown(13);
    EXPECT_TRUE(Ends(open));
}

TEST_F(WaitCommandTest, ARestartEndsItEvenWhenTheFlagIsAlreadyClearAgain) {
    UseWaiter();
    auto done = StartWait(Arguments(100000, 0));
    // What the start-up thread does when it takes a restart up: a new
    // generation, the flag cleared, every waiter woken.
    app->restartRequested = 1;
    app->restartGeneration.fetch_add(1);
    app->restartRequested = 0;
    g_inputManager.WakeAllWaiters();
    EXPECT_TRUE(Ends(done));
}

TEST_F(WaitCommandTest, AnInterruptPushedOntoTheMainScriptEndsAFunctionThreadsWait) {
    classScriptContext mainContext;
    app->mainScriptContext = &mainContext;
    UseWaiter();
    auto done = StartWait(Arguments(100000, 0));
    g_inputManager.WakeAllWaiters();
    EXPECT_EQ(done.wait_for(150ms), std::future_status::timeout) << "a wake-up alone goes back to waiting";
    {
        // Between statements the main context has no current frame: the
        // interrupt on top of its stack covers it.
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        mainContext.frames.emplace_back().interruptFlag = 1;
    }
    g_inputManager.WakeAllWaiters();
    EXPECT_TRUE(Ends(done));
    app->mainScriptContext = nullptr;
}

}  // namespace
