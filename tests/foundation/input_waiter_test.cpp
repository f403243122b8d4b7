#include "foundation/input_waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "foundation/input_manager.h"
#include "script/script_host.h"
#include "support/input_fakes.h"

using namespace platform;
using namespace std::chrono_literals;
using fakes::BlockedWait;
using T = classInputTarget;

namespace {

class InputWaiterTest : public fakes::InputTest {
  protected:
    classInputWaiter* waiter = nullptr;
    void SetUp() override {
        fakes::InputTest::SetUp();
        waiter = g_inputManager.AddWaiter(0);
    }
};

const u64 kNotchUp = u64{120} << 16;
const u64 kNotchDown = u64{static_cast<u16>(-120)} << 16;

// One blocked Wait, its targets and what the UI thread sends: the target the
// wait returns, or none while the wait goes on.
TEST_F(InputWaiterTest, ABlockedWaitReturnsTheTargetTheMessagesFire) {
    struct Case {
        const char* name;
        std::function<T*()> arrange;  // the target that must fire, nullptr: none
        std::function<void()> send;
    };
    auto areaButton = [this] {
        scene.Put({3}, 100, 40, -100.0f, 0.0f);  // x 490..590, y 340..380
        T* target = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
        target->region = {3};
        return target;
    };
    auto selectedKey = [this] {
        waiter->selectLayer = {300};
        return T::SetKey(waiter->AddTarget(), 'A', 0);
    };
    const Case cases[] = {
        {"a button without area fires in the bar above the picture",
         [this] {
             SetClient(1920, 1200);
             T::SetMouseButton(waiter->AddTarget(), VK_RBUTTON, 0);
             return T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
         },
         [] { Click(960, 10); }},
        {"a click just right of the area goes on", [&] { areaButton(); return nullptr; }, [] { Click(591, 360); }},
        {"a click on the area's far corner fires", areaButton, [] { Click(590, 380); }},
        {"a wheel notch up fires the up target",
         [this] {
             T* up = T::SetWheelUp(waiter->AddTarget());
             T::SetWheelDown(waiter->AddTarget());
             return up;
         },
         [] { Send(WM_MOUSEWHEEL, kNotchUp, MakePointParam(5, 5)); }},
        {"a disabled key does not fire",
         [this] { T::SetKey(waiter->AddTarget(), 'A', 0)->disabled = 1; return nullptr; },
         [] { KeyDown('A'); }},
        {"a key fires on its repeats", [this] { return T::SetKey(waiter->AddTarget(), 'B', 0); },
         [] { KeyDown('B', true); }},
        {"a sequence fires on its last key",
         [this] { return T::SetKeySequence(waiter->AddTarget(), {38, 38, 40}); },
         [] { KeyDown(38); KeyDown(38); KeyDown(38, true); KeyDown(40); }},
        {"a sequence waits for its last key",
         [this] { T::SetKeySequence(waiter->AddTarget(), {38, 38, 40}); return nullptr; },
         [] { KeyDown(38); KeyDown(38); }},
        {"a repeat is no press of a sequence",
         [this] { T::SetKeySequence(waiter->AddTarget(), {38, 38, 40}); return nullptr; },
         [] { KeyDown(38); KeyDown(38, true); KeyDown(40); }},
        {"a repeat of a sequence's held last key matches again",
         [this] {
             KeyDown(38);  // pressed while nobody waits
             KeyDown(38);
             KeyDown(40);
             return T::SetKeySequence(waiter->AddTarget(), {38, 38, 40});
         },
         [] { KeyDown(40, true); }},
        {"a longer sequence matches the latest three keys",
         [this] {
             T::SetKeySequence(waiter->AddTarget(), {38, 40});
             return T::SetKeySequence(waiter->AddTarget(), {65, 66, 67});
         },
         [] { KeyDown(38); KeyDown(40, true); KeyDown(65); KeyDown(66); KeyDown(67); }},
        {"a shorter sequence matches beside a longer one",
         [this] {
             T::SetKeySequence(waiter->AddTarget(), {65, 66, 67});
             return T::SetKeySequence(waiter->AddTarget(), {38, 40});
         },
         [] { KeyDown(38); KeyDown(40); }},
        {"a window message target comes before a key target",
         [this] {
             T::SetKey(waiter->AddTarget(), 'A', 0);
             return T::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
         },
         [] { KeyDown('A'); }},
        {"closing reaches a waiter as a message",
         [this] { return T::SetWindowMessage(waiter->AddTarget(), WM_CLOSE); }, [] { Send(WM_CLOSE); }},
        {"a missing select layer takes no input", [&] { selectedKey(); return nullptr; }, [] { KeyDown('A'); }},
        {"a hidden select layer takes no input",
         [&] { selectedKey(); scene.Put({300}, 10, 10, 0.0f, 0.0f, true); return nullptr; }, [] { KeyDown('A'); }},
        {"a shown select layer takes input",
         [&] { scene.Put({300}, 10, 10, 0.0f, 0.0f); return selectedKey(); }, [] { KeyDown('A'); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_inputManager.ResetForTest();
        SetClient(1280, 720);
        waiter = g_inputManager.AddWaiter(0);
        T* expected = c.arrange();
        BlockedWait wait(waiter, -1);
        c.send();
        if (expected == nullptr) {
            EXPECT_FALSE(wait.Returned(20ms));
        } else {
            ASSERT_TRUE(wait.Returned());
            EXPECT_EQ(wait.Result(), expected);
        }
    }
}

TEST_F(InputWaiterTest, WaitsWithoutTargetsOrWithATimeOutEndEmpty) {
    EXPECT_EQ(waiter->Wait(-1), nullptr);
    T::SetKey(waiter->AddTarget(), 'A', 0);
    EXPECT_EQ(waiter->Wait(0), nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waiter->Wait(30), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_FALSE(waiter->IsWaiting());
}

// A host standing in for the application that has been asked to quit.
class QuitHost : public classScriptHost {
  public:
    bool IsQuitRequested() const override { return true; }
};

// Quit, restart and a general wake end endless waits with nothing fired, and
// a quit takes no message from anyone.
TEST_F(InputWaiterTest, QuitRestartAndWakeReleaseEveryWaitEmpty) {
    struct Case {
        const char* name;
        bool quitBefore;
        std::function<void(classApplication*)> during;
    };
    static QuitHost quitHost;
    struct HostGuard {
        ~HostGuard() { SetScriptHost(nullptr); }
    } hostGuard;
    const Case cases[] = {
        {"quit just before the wait", true, [](classApplication*) {}},
        {"restart during the wait", false, [](classApplication* a) { a->restartRequested = 1; }},
        {"quit, then a key", false, [](classApplication* a) { a->quitRequested = 1; KeyDown('A'); }},
        {"wake all", false, [](classApplication*) { g_inputManager.WakeAllWaiters(); }},
        {"quit of an installed script host", false, [](classApplication*) { SetScriptHost(&quitHost); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetScriptHost(nullptr);
        g_inputManager.ResetForTest();
        app->quitRequested = c.quitBefore ? 1 : 0;
        app->restartRequested = 0;
        queue.commits = 0;
        classInputWaiter* upper = g_inputManager.AddWaiter(0);
        classInputWaiter* lower = g_inputManager.AddWaiter(-1);
        T::SetWindowMessage(upper->AddTarget(), WM_KEYDOWN);
        T::SetKey(lower->AddTarget(), 'A', 0);
        BlockedWait upperWait(upper, -1);
        BlockedWait lowerWait(lower, -1);
        if (!c.quitBefore) {
            EXPECT_FALSE(upperWait.Returned(20ms));
        }
        c.during(app);
        ASSERT_TRUE(upperWait.Returned());
        ASSERT_TRUE(lowerWait.Returned());
        EXPECT_EQ(upperWait.Result(), nullptr);
        EXPECT_EQ(lowerWait.Result(), nullptr);
        EXPECT_EQ(queue.commits.load(), 0);
    }
    app->quitRequested = 0;
    app->restartRequested = 0;
}

// A caller tests its condition, then waits for it to change: a wake-up that
// comes between the two ends the wait at once; one that came before the test
// was answered by the test and does not shorten the wait.
TEST_F(InputWaiterTest, AWakeUpBetweenTheTestAndTheWaitIsNotLost) {
    struct Case {
        const char* name;
        bool wakeAfterCount;
        bool endsAtOnce;
    };
    const Case cases[] = {
        {"woken after the count", true, true},
        {"woken before the count", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.wakeAfterCount) g_inputManager.WakeAllWaiters();
        const u64 seen = waiter->WakeCount();
        if (c.wakeAfterCount) g_inputManager.WakeAllWaiters();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(waiter->Wait(c.endsAtOnce ? 10000 : 60, seen), nullptr);
        const auto took = std::chrono::steady_clock::now() - start;
        if (c.endsAtOnce) {
            EXPECT_LT(took, 5000ms);
        } else {
            EXPECT_GE(took, 60ms);
        }
    }
}

TEST_F(InputWaiterTest, AWaiterThatIsNotWaitingTakesNothing) {
    classInputWaiter* lower = g_inputManager.AddWaiter(-1);
    T::SetKey(waiter->AddTarget(), 'A', 0);
    T* lowerKey = T::SetKey(lower->AddTarget(), 'A', 0);
    BlockedWait wait(lower, -1);
    KeyDown('A');
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), lowerKey);
    EXPECT_EQ(waiter->GetFiredTarget(), nullptr);
}

TEST_F(InputWaiterTest, AHeldButtonReturnsItsHoldTargetAgainAtOnce) {
    T* target = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 1);
    {
        BlockedWait wait(waiter, -1);
        Click(10, 10);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), target);
    }
    EXPECT_EQ(waiter->Wait(-1), target);
    EXPECT_FALSE(waiter->IsWaiting()) << "a hold answered at once leaves the wait";
    EXPECT_EQ(waiter->Wait(-1), target);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(waiter->Wait(0), nullptr);
    target->hold = 0;
    Click(10, 10);  // between waits: kept for the next wait, once
    EXPECT_EQ(waiter->Wait(0), target);
    EXPECT_EQ(waiter->Wait(0), nullptr) << "without the hold byte a held button brings nothing back";
}

// What the player presses while the thread is between two waits on the same
// targets: the wait that follows returns what the press would have fired
// (expected), or nothing.
TEST_F(InputWaiterTest, APressBetweenTwoWaitsIsKeptForTheNextWait) {
    struct Case {
        const char* name;
        bool waitedBefore;
        std::function<T*()> arrange;
        std::function<void()> between;
    };
    auto keyA = [this] { return T::SetKey(waiter->AddTarget(), 'A', 0); };
    auto areaButton = [this] {
        scene.Put({3}, 100, 40, -100.0f, 0.0f);  // x 490..590, y 340..380
        T* target = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
        target->region = {3};
        return target;
    };
    const Case cases[] = {
        {"a click on the area", true, areaButton, [] { Click(590, 380); }},
        {"a click beside the area", true, [&] { areaButton(); return nullptr; }, [] { Click(591, 360); }},
        {"a right click for a right button", true,
         [this] { return T::SetMouseButton(waiter->AddTarget(), VK_RBUTTON, 0); },
         [] { Send(WM_RBUTTONDOWN, 0, MakePointParam(5, 5)); }},
        {"a middle click for a middle button", true,
         [this] { return T::SetMouseButton(waiter->AddTarget(), VK_MBUTTON, 0); },
         [] { Send(WM_MBUTTONDOWN, 0, MakePointParam(5, 5)); }},
        {"a fresh key", true, keyA, [] { KeyDown('A'); }},
        {"a key's repeat", true, [&] { keyA(); return nullptr; }, [] { KeyDown('A', true); }},
        {"a wheel notch", true, [this] { T::SetWheelDown(waiter->AddTarget()); return nullptr; },
         [] { Send(WM_MOUSEWHEEL, kNotchDown, MakePointParam(5, 5)); }},
        {"a disabled key", true, [&] { keyA()->disabled = 1; return nullptr; }, [] { KeyDown('A'); }},
        {"a key while the select layer is missing", true,
         [&] { keyA(); waiter->selectLayer = {300}; return nullptr; }, [] { KeyDown('A'); }},
        {"a key before the first wait", false, [&] { keyA(); return nullptr; }, [] { KeyDown('A'); }},
        {"the first of two keys", true,
         [&] { T* a = keyA(); T::SetKey(waiter->AddTarget(), 'B', 0); return a; },
         [] { KeyDown('A'); KeyDown('B'); }},
        {"a key, then the targets cleared", true, [&] { keyA(); return nullptr; },
         [&] { KeyDown('A'); waiter->ClearTargets(); keyA(); }},
        {"a key another thread waits for", true, [&] { keyA(); return nullptr; },
         [] {
             classInputWaiter* other = g_inputManager.AddWaiter(-1);
             T* otherKey = T::SetKey(other->AddTarget(), 'A', 0);
             BlockedWait otherWait(other, -1);
             KeyDown('A');
             ASSERT_TRUE(otherWait.Returned());
             EXPECT_EQ(otherWait.Result(), otherKey);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_inputManager.ResetForTest();
        waiter = g_inputManager.AddWaiter(0);
        T* expected = c.arrange();
        if (c.waitedBefore) {
            EXPECT_EQ(waiter->Wait(0), nullptr);
        }
        c.between();
        EXPECT_EQ(waiter->Wait(0), expected);
        EXPECT_EQ(waiter->Wait(0), nullptr) << "a kept press comes back once";
    }
}

TEST_F(InputWaiterTest, ASecondPressWhileTheFirstWaitEndsIsShownDecidedAtTheNextWait) {
    T* first = T::SetKey(waiter->AddTarget(), 'A', 0);
    T* second = T::SetKey(waiter->AddTarget(), 'B', 0);
    second->caseStrings[kCaseDecide] = "b_decided.png";
    {
        BlockedWait wait(waiter, -1);
        KeyDown('A');
        KeyDown('B');  // the thread may not have left its wait yet
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), first);
    }
    queue.Take();
    const int commits = queue.commits.load();
    EXPECT_EQ(waiter->Wait(0), second);
    EXPECT_EQ(waiter->GetFiredTarget(), second);
    const std::vector<InputCaseRecord> posted = queue.Take();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].file, "b_decided.png");
    EXPECT_EQ(queue.commits.load(), commits + 1);
}

TEST_F(InputWaiterTest, TimeOutsRacingFiresNeverLoseAFireNorFreeLiveTargets) {
    // Every fire commits its waiter's queue once; every fire must come back
    // out of a Wait, whatever the time-out was doing meanwhile.
    std::atomic<bool> done{false};
    int returned = 0;
    std::thread script([&] {
        std::minstd_rand random(7);
        for (int i = 0; i < 3000; ++i) {
            waiter->ClearTargets();
            T* target = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
            target->caseStrings[3] = "decided.png";
            if (waiter->Wait(static_cast<int64>(random() % 2)) != nullptr) ++returned;
        }
        done = true;
    });
    while (!done.load()) {
        Click(1, 1);
        Send(WM_LBUTTONUP);
    }
    script.join();
    EXPECT_EQ(returned, queue.commits.load());
    EXPECT_GT(returned, 0);
}

TEST_F(InputWaiterTest, AreaEdgesBelongToTheAreaWithIntegerHalves) {
    // Texture 101 x 50 at hitOffset (10, 20) on 1280 x 720: x 600..700
    // (640 + 10 -+ 50), y 315..365 (360 - 20 -+ 25).
    scene.Put({7, 1}, 101, 50, 10.0f, 20.0f);
    T* target = waiter->AddTarget();
    target->region = {7, 1};
    struct Case {
        int x, y;
        bool hit;
    };
    const Case cases[] = {{600, 315, true},  {700, 365, true},  {599, 340, false},
                          {701, 340, false}, {650, 314, false}, {650, 366, false}};
    for (const Case& c : cases) EXPECT_EQ(target->HitTestRegion(c.x, c.y), c.hit) << c.x << "," << c.y;
    float x = 0, y = 0, z = 0;
    EXPECT_TRUE(target->GetRegionPosition(x, y, z));
    EXPECT_EQ(x, 10.0f);
    EXPECT_EQ(y, 20.0f);
}

TEST_F(InputWaiterTest, HiddenMissingOrTexturelessAreasNeverHit) {
    T* target = waiter->AddTarget();
    target->region = {9};
    EXPECT_FALSE(target->HitTestRegion(640, 360));  // missing
    scene.Put({9}, 100, 100, 0.0f, 0.0f, /*hidden=*/true);
    EXPECT_FALSE(target->HitTestRegion(640, 360));
    float x, y, z;
    EXPECT_FALSE(target->GetRegionPosition(x, y, z));
    scene.Put({9}, InputObjectInfo{});
    EXPECT_FALSE(target->HitTestRegion(640, 360));
    scene.Put({9}, 100, 100, 0.0f, 0.0f);
    EXPECT_TRUE(target->HitTestRegion(640, 360));
}

TEST_F(InputWaiterTest, WheelDirectionsComeFromTheSignedHighWord) {
    T* up = T::SetWheelUp(waiter->AddTarget());
    T* down = T::SetWheelDown(waiter->AddTarget());
    T* off = T::SetWheelDown(waiter->AddTarget());
    off->disabled = 1;
    struct Case {
        const char* name;
        T* target;
        u64 wParam;
        bool matches;
    };
    const Case cases[] = {
        {"up on a notch up", up, kNotchUp, true},
        {"up on a notch down", up, kNotchDown, false},
        {"down on a notch down with control", down, kNotchDown | MK_CONTROL, true},
        {"down on a notch up", down, kNotchUp, false},
        {"up on no turn", up, MK_LBUTTON, false},
        {"down on no turn", down, MK_LBUTTON, false},
        {"a disabled down", off, kNotchDown, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.target->MatchesWheel(c.wParam, 0, 0), c.matches) << c.name;
}

TEST_F(InputWaiterTest, KeySequenceDoesNotMatchBeforeEnoughKeysWerePressed) {
    T* target = T::SetKeySequence(waiter->AddTarget(), {0, 65});
    EXPECT_TRUE(target->MatchesKeySequence({65}));  // missing older presses count as 0
    EXPECT_FALSE(target->MatchesKeySequence({}));
    EXPECT_FALSE(T::SetKeySequence(waiter->AddTarget(), {})->MatchesKeySequence({1, 2}));
}

TEST_F(InputWaiterTest, SettersAreNullSafeAndMoveOutIgnoresBadDirections) {
    EXPECT_EQ(T::SetKey(nullptr, 1, 0), nullptr);
    EXPECT_EQ(T::SetMoveOut(nullptr, 1), nullptr);
    T* target = T::SetKey(waiter->AddTarget(), 'A', 0);
    T::SetMoveOut(target, 5);
    EXPECT_EQ(target->GetKind(), T::kKey);
    T::SetMoveOut(target, 4);
    EXPECT_EQ(target->GetKind(), T::kMoveOutRight);
    EXPECT_TRUE(target->IsMoveOut(4));
    EXPECT_FALSE(target->IsMoveOut(3));
}

bool InInterrupt() {
    return true;
}

TEST_F(InputWaiterTest, AStandingAsideWaiterLetsMessagesPassDuringAnInterrupt) {
    classInputWaiter* function = g_inputManager.AddWaiter(1);
    function->standsAside = 1;
    T* functionKey = T::SetKey(function->AddTarget(), 'A', 0);
    T* mainKey = T::SetKey(waiter->AddTarget(), 'A', 0);
    SetInputInterruptTest(InInterrupt);
    BlockedWait functionWait(function, -1);
    BlockedWait mainWait(waiter, -1);
    KeyDown('A');
    ASSERT_TRUE(mainWait.Returned());
    EXPECT_EQ(mainWait.Result(), mainKey);
    EXPECT_TRUE(function->IsWaiting());
    SetInputInterruptTest(nullptr);  // after the interrupt the higher waiter comes first again
    KeyDown('A');
    ASSERT_TRUE(functionWait.Returned());
    EXPECT_EQ(functionWait.Result(), functionKey);
}

// The mirror for a screen a side script runs: the main script's waiter takes
// nothing meanwhile, not even what the screen leaves, nor keeps it for later.
TEST_F(InputWaiterTest, TheMainScriptsWaiterTakesNothingWhileASideScreenIsOpen) {
    classInputWaiter* screen = g_inputManager.AddWaiter(1);
    waiter->yieldsToSideScreens = 1;
    T::SetKey(screen->AddTarget(), 'B', 0);
    T* mainKey = T::SetKey(waiter->AddTarget(), VK_RETURN, 0);
    T* mainClick = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
    {
        const SideScreenScope open(true);
        BlockedWait mainWait(waiter, -1);
        KeyDown(VK_RETURN);
        Click(10, 10);
        EXPECT_FALSE(mainWait.Returned(50ms)) << "Enter and a click the screen does not use go nowhere";
        g_inputManager.WakeAllWaiters();
        ASSERT_TRUE(mainWait.Returned());
        EXPECT_EQ(mainWait.Result(), nullptr);
        KeyDown(VK_RETURN);  // between two waits: not kept either
    }
    EXPECT_EQ(waiter->Wait(0), nullptr);
    BlockedWait mainWait(waiter, -1);
    KeyDown(VK_RETURN);
    ASSERT_TRUE(mainWait.Returned());
    EXPECT_EQ(mainWait.Result(), mainKey) << "once the screen is closed the main script takes its keys again";
    (void)mainClick;
}

// A wake-up (a mode switched, a movie ended) ends a wait with nothing: the
// press that fired the wait before is not handed out again, but is still the
// one the hold rule repeats while the button stays down.
TEST_F(InputWaiterTest, APressCountsOnceButStaysForTheHoldRule) {
    T* click = T::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 1);
    {
        BlockedWait wait(waiter, -1);
        Click(10, 10);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), click);
    }
    Send(WM_LBUTTONUP);
    {
        BlockedWait wait(waiter, -1);
        EXPECT_FALSE(wait.Returned(20ms));
        g_inputManager.WakeAllWaiters();
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), nullptr);
    }
    EXPECT_EQ(waiter->GetFiredTarget(), click);
    Send(WM_LBUTTONDOWN, 0, MakePointParam(10, 10));  // between waits: a press of its own
    EXPECT_EQ(waiter->Wait(-1), click);
    EXPECT_EQ(waiter->Wait(-1), click) << "held down: the hold rule repeats it";
}

TEST_F(InputWaiterTest, ResetClearsEverythingButThePriority) {
    classInputWaiter* other = g_inputManager.AddWaiter(7);
    other->standsAside = 1;
    other->yieldsToSideScreens = 1;
    other->selectLayer = {1};
    other->navigationMode = 2;
    T::SetKey(other->AddTarget(), 'A', 0);
    other->Reset();
    EXPECT_EQ(other->priority, 7);
    EXPECT_EQ(other->standsAside, 0);
    EXPECT_EQ(other->yieldsToSideScreens, 0);
    EXPECT_TRUE(other->selectLayer.empty());
    EXPECT_EQ(other->navigationMode, 1u);
    EXPECT_TRUE(other->Targets().empty());
    EXPECT_EQ(other->GetFiredTarget(), nullptr);
}

}  // namespace
