// "Transition", "GraphicWait" and "KeyWait" on a script thread, with the test
// thread as the UI thread: what they post to the main queue, what wakes them,
// what they ignore, and the time-out and auto-mode arithmetic.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "commands/wait_command.h"
#include "foundation/critical_section.h"
#include "foundation/key_wait_lock.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "presentation/graphic_object.h"
#include "presentation/graphic_slot.h"
#include "support/executor/script_runner.h"
#include "support/wait_fixture.h"

namespace {

using namespace std::chrono_literals;
using fakes::Integers;

u32 Since(u32 start) {
    return static_cast<u32>(platform::NowMs() - start);
}

TEST(WaitTimeouts, HugeTimesWaitWithoutLimitAndNothingPositiveBecomesZero) {
    EXPECT_EQ(WaiterTimeoutFor(1), 1);
    EXPECT_EQ(WaiterTimeoutFor(0xFFFFFFFELL), 0xFFFFFFFELL);
    // 2^32 ms truncated to 32 bits would be 0, a busy loop; 2^32+5 would be 5.
    EXPECT_EQ(WaiterTimeoutFor(0x100000000LL), -1);
    EXPECT_EQ(WaiterTimeoutFor(0x100000005LL), -1);
    EXPECT_EQ(WaiterTimeoutFor(0xFFFFFFFFLL), -1);
    EXPECT_EQ(WaiterTimeoutFor(kKeyWaitDefaultTime), -1);
}

TEST(AutoModeTime, TheVoiceDecidesFirstThenTheText) {
    // A 4000 ms voice that has played 1000 ms: 3000 ms left, text ignored.
    EXPECT_EQ(AutoModePageTime(true, 1000, 4000, true, 50, 9000, 700), 3000);
    // Run past its length: negative, so the next pass looks at the voice again.
    EXPECT_EQ(AutoModePageTime(true, 4500, 4000, true, 50, 9000, 700), -500);
    // Exactly at its end: the text decides, max(12 x 100, 900) + 700.
    EXPECT_EQ(AutoModePageTime(true, 4000, 4000, true, 12, 900, 700), 1900);
    // No voice: max(3 x 100, 2000) + 700.
    EXPECT_EQ(AutoModePageTime(false, 0, 0, true, 3, 2000, 700), 2700);
    // Neither voice nor text object.
    EXPECT_EQ(AutoModePageTime(false, 0, 0, false, 0, 0, 700), 0);
    // 32-bit layer times subtract as 64-bit numbers, never wrapping.
    EXPECT_EQ(AutoModePageTime(true, 0xFFFFFFFFu, 0, false, 0, 0, 0), -4294967295LL);
    // A giant character count saturates instead of overflowing.
    EXPECT_EQ(AutoModePageTime(false, 0, 0, true, INT64_MAX / 10, 0, 1000), INT64_MAX);
}

TEST(AutoModeTime, AVoicePlayingOnIsLookedAtWhenItsPlayPositionReachesItsEnd) {
    // The page's voice has 40 ms left to play: 40 ms, not the auto speed.
    EXPECT_EQ(AutoModeRecheckTime(true, 40, 1000), 40);
    // Played to its end but not yet stopped by the mixer: the floor.
    EXPECT_EQ(AutoModeRecheckTime(true, -25, 1000), kAutoModeMinimumRecheckMs);
    // Another voice, or one in a loop: the auto speed.
    EXPECT_EQ(AutoModeRecheckTime(false, 0, 1000), 1000);
    // A speed of 0 or less neither stalls nor spins.
    EXPECT_EQ(AutoModeRecheckTime(false, 0, -300), kAutoModeMinimumRecheckMs);
}

class TransitionTest : public fakes::CommandWaitTest {};

TEST_F(TransitionTest, PostsAtTheCommitPointAndNoInputShortensIt) {
    // A record posted before the transition waits behind it, uncommitted
    // until the transition's own commit.
    GetMainQueue()->Post(new classQue_PageFeed());
    const u32 start = platform::NowMs();
    auto done = Start(CommandTransition, Integers({300}));
    KeyDown(13);
    Click(5, 5);
    EXPECT_TRUE(StillWaiting(done, 100ms)) << "Enter and a click do not end a transition";
    ASSERT_TRUE(Ends(done));
    EXPECT_GE(Since(start), 300u);
    auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].type, QueTransition);
    EXPECT_EQ(posted[0].transitionTime, 300);
    EXPECT_EQ(posted[1].type, QuePageFeed);
    EXPECT_TRUE(posted[0].committed && posted[1].committed);
}

TEST_F(TransitionTest, CasesThatPostNothingOrDoNotWait) {
    struct Case {
        const char* name;
        std::atomic<u8> classApplication::*flag;  // set to 1 for the case, if any
        std::vector<int64> arguments;
        std::vector<int64> posted;  // the transition times posted, all committed
    };
    const Case cases[] = {
        {"skip mode (as Ctrl held)", &classApplication::skipPlaying, {500}, {}},
        {"IsQue 1 on an empty main queue", nullptr, {500, 0, 0, 0, 1}, {}},
        {"the player's setting cuts every transition", &classApplication::transitionCut, {500}, {}},
        {"Async: posted, not waited for", nullptr, {5000, 0, 0, 1}, {5000}},
        {"a negative time only removes a running one", nullptr, {-1}, {-1}},
        {"next-choice skipping on the main script", &classApplication::nextSelectSkipping, {500}, {}},
    };
    app->mainScriptContext = &context;
    for (const Case& c : cases) {
        if (c.flag != nullptr) (app->*c.flag) = 1;
        auto done = Start(CommandTransition, Integers(c.arguments));
        EXPECT_TRUE(Ends(done, 500ms)) << c.name;
        if (c.flag != nullptr) (app->*c.flag) = 0;
        std::vector<int64> times;
        for (const auto& record : Posted()) {
            times.push_back(record.transitionTime);
            EXPECT_TRUE(record.committed) << c.name;
        }
        EXPECT_EQ(times, c.posted) << c.name;
        GetMainQueue()->DiscardAll();
    }
}

TEST_F(TransitionTest, QuitEndsALongTransition) {
    auto done = Start(CommandTransition, Integers({100000}));
    EXPECT_TRUE(StillWaiting(done));
    app->RequestQuit();
    EXPECT_TRUE(Ends(done));
}

class GraphicWaitTest : public fakes::CommandWaitTest {
  protected:
    void SetUp() override {
        fakes::CommandWaitTest::SetUp();
        mainRoot = classGraphicObject::New();
        overlayRoot = classGraphicObject::New();
        classCriticalSectionLock hold(app->GetLock());
        app->mainScene = mainRoot;
    }
    void TearDown() override {
        {
            classCriticalSectionLock hold(app->GetLock());
            app->mainScene = nullptr;
            app->overlayScene = nullptr;
        }
        fakes::CommandWaitTest::TearDown();
        classGraphicObject::Delete(mainRoot);
        classGraphicObject::Delete(overlayRoot);
    }
    // An object at the path with slot 1 running (or finished).
    void PutObject(classGraphicObject* root, const std::vector<int64>& path, bool running) {
        classCriticalSectionLock hold(app->GetLock());
        classGraphicObject* object = classGraphicObject::CreateAtPath(root, path);
        object->slots.clear();
        classGraphicSlot* slot = object->GetOrCreateSlot(classKey64(1));
        slot->Loop = running ? 1 : 0;
    }
    std::vector<classScriptValue> Arguments(std::vector<int64> path, int64 keyToSkip) {
        std::vector<classScriptValue> out(3);
        out[0].SetInteger(1);
        auto* list = out[1].MakeList();
        for (int64 key : path) list->emplace_back().SetInteger(key);
        out[2].SetInteger(keyToSkip);
        return out;
    }
    classGraphicObject* mainRoot = nullptr;
    classGraphicObject* overlayRoot = nullptr;
};

TEST_F(GraphicWaitTest, AMissingObjectReturnsAtOnceARunningOneUntilItFinishes) {
    auto missing = Start(CommandGraphicWait, Arguments({7, 7}, 0));
    EXPECT_TRUE(Ends(missing, 1s));

    PutObject(mainRoot, {1, 2}, true);
    auto running = Start(CommandGraphicWait, Arguments({1, 2}, 0));
    Click(5, 5);
    EXPECT_TRUE(StillWaiting(running, 250ms)) << "without KeyToSkip a click changes nothing";
    PutObject(mainRoot, {1, 2}, false);
    EXPECT_TRUE(Ends(running, 1s)) << "seen within a poll or two of 100 ms";
}

TEST_F(GraphicWaitTest, TheOverlaySceneIsAskedFirstAndKeyToSkipLetsAClickEndIt) {
    // Finished in the overlay, running in the main scene: the overlay decides.
    PutObject(mainRoot, {3}, true);
    PutObject(overlayRoot, {3}, false);
    {
        classCriticalSectionLock hold(app->GetLock());
        app->overlayScene = overlayRoot;
    }
    auto overlayFirst = Start(CommandGraphicWait, Arguments({3}, 0));
    EXPECT_TRUE(Ends(overlayFirst, 1s));
    {
        classCriticalSectionLock hold(app->GetLock());
        app->overlayScene = nullptr;
    }

    auto skippable = Start(CommandGraphicWait, Arguments({3}, 1));
    EXPECT_TRUE(StillWaiting(skippable));
    Click(5, 5);
    EXPECT_TRUE(Ends(skippable, 1s)) << "the animation still runs, the click ends the wait";
}

TEST_F(GraphicWaitTest, NextChoiceSkippingEndsOnlyTheMainScriptsWait) {
    struct Case {
        const char* name;
        bool main;
        u8 skipping;
        bool ends;
    } cases[] = {
        {"the main script, not skipping", true, 0, false},
        {"another script, skipping", false, 1, false},
        {"the main script, skipping", true, 1, true},
    };
    for (const Case& c : cases) {
        PutObject(mainRoot, {4}, true);
        app->mainScriptContext = c.main ? &context : nullptr;
        app->nextSelectSkipping = c.skipping;
        auto done = Start(CommandGraphicWait, Arguments({4}, 0));
        if (c.ends) {
            EXPECT_TRUE(Ends(done, 1s)) << c.name;
        } else {
            EXPECT_TRUE(StillWaiting(done, 250ms)) << c.name;
            PutObject(mainRoot, {4}, false);
            EXPECT_TRUE(Ends(done, 1s)) << c.name;
        }
    }
    app->mainScriptContext = nullptr;
    app->nextSelectSkipping = 0;
}

class KeyWaitTest : public fakes::CommandWaitTest {};

TEST_F(KeyWaitTest, EndsByItsTimeOrAClickAndStopsTheVoiceWhenAsked) {
    app->voiceStartedSinceKeyWait = 1;
    app->keyWaitAfterVoiceStop = 1;
    const u32 start = platform::NowMs();
    auto timed = Start(CommandKeyWait, Integers({200}));
    ASSERT_TRUE(Ends(timed));
    EXPECT_GE(Since(start), 200u);
    EXPECT_EQ(app->voiceStartedSinceKeyWait.load(), 0);
    auto posted = Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].type, QueSoundStopToVoice);
    EXPECT_TRUE(posted[0].committed);
    GetMainQueue()->DiscardAll();

    app->keyWaitAfterVoiceStop = 0;
    auto endless = Start(CommandKeyWait, {});
    EXPECT_TRUE(StillWaiting(endless, 300ms)) << "no Time: no limit";
    Click(5, 5);
    EXPECT_TRUE(Ends(endless));
    EXPECT_TRUE(Posted().empty()) << "the setting is off: the voice plays on";
}

TEST_F(KeyWaitTest, EachAdvanceInputEndsIt) {
    app->keyWaitAfterVoiceStop = 0;
    const int64 wheelDown = static_cast<int64>(static_cast<u64>(static_cast<u16>(-120)) << 16);
    for (u64 key : {13ull, 17ull, 40ull, 34ull}) {
        auto done = Start(CommandKeyWait, {});
        KeyDown(key);
        EXPECT_TRUE(Ends(done)) << "key " << key;
        Send(platform::WM_KEYUP, key);
    }
    auto wheel = Start(CommandKeyWait, {});
    Send(platform::WM_MOUSEWHEEL, static_cast<u64>(wheelDown), platform::MakePointParam(5, 5));
    EXPECT_TRUE(Ends(wheel));
}

TEST_F(KeyWaitTest, APressWhileTheTextIsDrawnFinishesItAndTheNextOneAdvances) {
    app->keyWaitAfterVoiceStop = 0;
    SetKeyWaitLock(100000);
    auto done = Start(CommandKeyWait, {});
    Click(5, 5);
    EXPECT_TRUE(StillWaiting(done)) << "the first click only finishes the text";
    auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].type, QueGraphicStdTextDrawingAllFinish);
    EXPECT_EQ(posted[0].sceneMask, 3u);
    EXPECT_EQ(posted[1].type, QueTransition);
    EXPECT_EQ(posted[1].transitionTime, 0);
    EXPECT_TRUE(posted[0].committed && posted[1].committed);
    EXPECT_FALSE(IsKeyWaitLockedNow());
    // Auto or skip mode switched, a movie ended: a wake-up is no new press.
    WaitForNextPass();
    g_inputManager.WakeAllWaiters();
    EXPECT_TRUE(StillWaiting(done)) << "the click that finished the text counts once";
    Click(5, 5);
    EXPECT_TRUE(Ends(done));
}

TEST_F(KeyWaitTest, ASkippedStatementFinishesTheTextWithoutWaiting) {
    app->keyWaitAfterVoiceStop = 1;
    SetKeyWaitLock(100000);
    context.skipFlag = true;
    auto done = Start(CommandKeyWait, {});
    EXPECT_TRUE(Ends(done, 1s));
    auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].type, QueGraphicStdTextDrawingAllFinish);
    EXPECT_EQ(posted[1].type, QueSoundStopToVoice);
    EXPECT_FALSE(IsKeyWaitLockedNow()) << "the lock is always cleared at the end";
}

TEST_F(KeyWaitTest, AutoModeWaitsForTheTextAndASpeedOfZeroDoesNotStall) {
    app->keyWaitAfterVoiceStop = 0;
    classGraphicObject* root = classGraphicObject::New();
    {
        classCriticalSectionLock hold(app->GetLock());
        classGraphicObject* text = classGraphicObject::CreateAtPath(root, std::vector<int64>{100, 0});
        text->characterCount = 2;
        text->textTime = 100;
        app->mainScene = root;
    }
    app->autoSpeed = 150;
    app->autoPlaying = 1;
    // max(2 x 100, 100) + 150 = 350 ms, then no voice plays: the page advances.
    u32 start = platform::NowMs();
    auto paced = Start(CommandKeyWait, {});
    ASSERT_TRUE(Ends(paced));
    EXPECT_GE(Since(start), 350u);

    // Speed 0 or less and an empty page: no wait at all, and no endless one.
    {
        classCriticalSectionLock hold(app->GetLock());
        app->mainScene = nullptr;
    }
    app->autoSpeed = -5000;
    auto empty = Start(CommandKeyWait, {});
    EXPECT_TRUE(Ends(empty, 1s));

    app->autoPlaying = 0;
    classGraphicObject::Delete(root);
}

TEST_F(KeyWaitTest, AQuitEndsAWaitWithoutLimit) {
    app->keyWaitAfterVoiceStop = 0;
    auto quit = Start(CommandKeyWait, {});
    app->RequestQuit();
    EXPECT_TRUE(Ends(quit));
}

}  // namespace

namespace {

class KeyWaitScriptTest : public fakes::CommandWaitTest {
  protected:
    void WaitUntilWaiting() {
        for (int i = 0; i < 5000 && !holder->Get()->IsWaiting(); ++i) std::this_thread::sleep_for(1ms);
    }
    // "Dammy(9)" is what the pushed script runs: `ran` is set when it does.
    static void NoteDammy9(testexec::ScriptRun& run, std::atomic<bool>& ran) {
        run.table.Handle("Dammy", [&ran](classScriptContext&, const std::vector<classScriptValue>& a, int32 n,
                                         classScriptValue&) {
            if (n >= 1 && a[0].IsInteger() && a[0].integer == 9) ran = true;
        });
    }
};

// Up opens the backlog over the page and the same key wait runs again after
// it, also when the game's calls are as deep as they may go: the backlog is
// the engine's own frame. One that cannot be pushed even so leaves the page
// waiting.
TEST_F(KeyWaitScriptTest, UpOpensTheBacklogAndTheSameKeyWaitRunsAgainAfterIt) {
    const std::vector<std::string> reopened = {"KeyWait()", "Dammy(i:9)", "KeyWait()", "Dammy(i:1)"};
    const std::vector<std::string> kept = {"KeyWait()", "Dammy(i:1)"};
    const size_t limit = classScriptContext::kMaxFrameDepth;
    struct Case {
        size_t depth;  // frames with the page's on top
        const std::vector<std::string>& trace;
    } cases[] = {{1, reopened}, {limit, reopened}, {limit + classScriptContext::kEngineFrameAllowance, kept}};
    for (const Case& c : cases) {
        app->keyWaitAfterVoiceStop = 1;
        GetMainQueue()->DiscardAll();
        testexec::ScriptRun run;
        testexec::AddSource("page.qvs", "KeyWait Dammy(1)");
        testexec::AddSource("system\\History.qvs", "Dammy(9)");
        testexec::AddSource("floor.qvs", "");
        for (size_t i = 1; i < c.depth; ++i) run.context.frames.emplace_back(std::string("floor.qvs"));
        run.context.inputWaiter = holder.get();
        std::atomic<bool> backlogRan{false};
        NoteDammy9(run, backlogRan);
        auto done = std::async(std::launch::async, [&run] { run.Run("page.qvs"); });
        WaitUntilWaiting();
        KeyDown(38);
        // The backlog script runs, then the page waits again.
        for (int i = 0; i < 5000 && c.trace == reopened && !(backlogRan.load() && holder->Get()->IsWaiting());
             ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(StillWaiting(done)) << c.depth << ": the page still waits";
        EXPECT_TRUE(Posted().empty()) << c.depth << ": a key wait that goes on does not end the page's voice";
        Click(5, 5);
        ASSERT_TRUE(Ends(done)) << c.depth;
        EXPECT_EQ(run.table.trace, c.trace) << c.depth;
        auto posted = Posted();
        ASSERT_EQ(posted.size(), 1u) << c.depth;
        EXPECT_EQ(posted[0].type, QueSoundStopToVoice) << c.depth << ": the page really ended this time";
    }
}

// An interrupt pushed over the main script while one of its waits waits, or
// just before it begins to, makes the wait give up and run again after the
// interrupt; nothing but the wait itself marks it so.
TEST_F(KeyWaitScriptTest, AWaitThatAnInterruptCoversRunsAgainAfterIt) {
    classGraphicObject* root = classGraphicObject::New();
    {
        classCriticalSectionLock hold(app->GetLock());
        app->mainScene = root;
        classGraphicObject* object = classGraphicObject::CreateAtPath(root, std::vector<int64>{5});
        object->GetOrCreateSlot(classKey64(1))->Loop = 1;
    }
    struct Case {
        const char* statement;
        const char* handler;
        Handler command;
        bool before;  // pushed as the statement begins, before it waits
    } cases[] = {
        {"Wait(Time=100000)", "Wait", CommandWait, false},
        {"Wait(Time=100000)", "Wait", CommandWait, true},
        {"GraphicWait(Layer=5)", "GraphicWait", CommandGraphicWait, false},
        {"KeyWait()", "KeyWait", CommandKeyWait, false},
        {"KeyWait()", "KeyWait", CommandKeyWait, true},
    };
    for (const Case& c : cases) {
        testexec::ScriptRun run;
        testexec::AddSource("page.qvs", std::string(c.statement) + " Dammy(1)");
        testexec::AddSource("intr.qvs", "Dammy(9)");
        run.context.inputWaiter = holder.get();
        std::atomic<int> interrupts{0};
        if (c.before) {
            run.table.Handle(c.handler, [&c, &interrupts](classScriptContext& context,
                                                          const std::vector<classScriptValue>& a, int32 n,
                                                          classScriptValue& out) {
                // No wake-up: it came before the wait could be woken.
                if (interrupts.fetch_add(1) == 0) BeginScriptInterrupt(context, "intr.qvs");
                c.command(context, a, n, out);
            });
        }
        std::atomic<bool> backlogRan{false};
        NoteDammy9(run, backlogRan);
        auto done = std::async(std::launch::async, [&run] { run.Run("page.qvs"); });
        WaitUntilWaiting();
        if (!c.before) {
            BeginScriptInterrupt(run.context, "intr.qvs");
            g_inputManager.WakeAllWaiters();
        }
        for (int i = 0; i < 5000 && !(backlogRan.load() && holder->Get()->IsWaiting()); ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(StillWaiting(done)) << c.statement << c.before;
        run.host.quitRequested = true;
        g_inputManager.WakeAllWaiters();
        ASSERT_TRUE(Ends(done)) << c.statement << c.before;
        ASSERT_EQ(run.table.trace.size(), 3u) << c.statement << c.before;
        EXPECT_EQ(run.table.trace[1], "Dammy(i:9)") << c.statement << c.before;
        EXPECT_EQ(run.table.trace[2], run.table.trace[0]) << c.statement << c.before << ": ran again";
    }
    classCriticalSectionLock hold(app->GetLock());
    app->mainScene = nullptr;
    classGraphicObject::Delete(root);
}

}  // namespace
