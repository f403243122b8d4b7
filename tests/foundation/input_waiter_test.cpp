#include "foundation/input_waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "foundation/input_manager.h"
#include "support/input_fakes.h"

using namespace platform;
using namespace std::chrono_literals;
using fakes::BlockedWait;

namespace {

class InputWaiterTest : public fakes::InputTest {
  protected:
    classInputWaiter* waiter = nullptr;
    void SetUp() override {
        fakes::InputTest::SetUp();
        waiter = g_inputManager.AddWaiter(0);
    }
};

// ---- waiting ----

TEST_F(InputWaiterTest, EndlessWaitWithoutTargetsAndZeroTimeOutReturnAtOnce) {
    EXPECT_EQ(waiter->Wait(-1), nullptr);
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    EXPECT_EQ(waiter->Wait(0), nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waiter->Wait(30), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_FALSE(waiter->IsWaiting());
}

TEST_F(InputWaiterTest, AWaiterThatIsNotWaitingTakesNothing) {
    classInputWaiter* lower = g_inputManager.AddWaiter(-1);
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    classInputTarget* lowerKey = classInputTarget::SetKey(lower->AddTarget(), 'A', 0);
    BlockedWait wait(lower, -1);
    KeyDown('A');
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), lowerKey);
    EXPECT_EQ(waiter->GetFiredTarget(), nullptr);
}

TEST_F(InputWaiterTest, QuitJustBeforeAnEndlessWaitEndsItAtOnce) {
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    app->quitRequested = 1;
    BlockedWait wait(waiter, -1);
    ASSERT_TRUE(wait.Returned(2000ms));
    EXPECT_EQ(wait.Result(), nullptr);
}

TEST_F(InputWaiterTest, QuitSetDuringAnEndlessWaitEndsItWithoutAMessage) {
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    BlockedWait wait(waiter, -1);
    EXPECT_FALSE(wait.Returned(20ms));
    app->restartRequested = 1;
    ASSERT_TRUE(wait.Returned(2000ms));
    EXPECT_EQ(wait.Result(), nullptr);
}

TEST_F(InputWaiterTest, UnderQuitEveryWaiterIsReleasedAndNoMessageIsTaken) {
    classInputWaiter* lower = g_inputManager.AddWaiter(-1);
    classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    classInputTarget::SetWindowMessage(lower->AddTarget(), WM_KEYDOWN);
    BlockedWait upperWait(waiter, -1);
    BlockedWait lowerWait(lower, -1);
    app->quitRequested = 1;
    KeyDown('A');
    ASSERT_TRUE(upperWait.Returned());
    ASSERT_TRUE(lowerWait.Returned());
    EXPECT_EQ(upperWait.Result(), nullptr);
    EXPECT_EQ(lowerWait.Result(), nullptr);
    EXPECT_EQ(queue.commits.load(), 0);  // nothing fired, so nothing was decided
}

TEST_F(InputWaiterTest, WakeAllReleasesEveryBlockedWaiterWithoutAFire) {
    classInputWaiter* second = g_inputManager.AddWaiter(3);
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    classInputTarget::SetKey(second->AddTarget(), 'A', 0);
    BlockedWait first(waiter, -1);
    BlockedWait other(second, -1);
    g_inputManager.WakeAllWaiters();
    ASSERT_TRUE(first.Returned());
    ASSERT_TRUE(other.Returned());
    EXPECT_EQ(first.Result(), nullptr);
    EXPECT_EQ(other.Result(), nullptr);
}

TEST_F(InputWaiterTest, HeldLeftButtonReturnsAHoldTargetAgainAtOnce) {
    classInputTarget* target = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 1);
    {
        BlockedWait wait(waiter, -1);
        Click(10, 10);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), target);
    }
    EXPECT_EQ(waiter->Wait(-1), target);  // still held
    EXPECT_EQ(waiter->Wait(-1), target);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(waiter->Wait(0), nullptr);

    // Without the hold byte a held button does not repeat.
    target->hold = 0;
    Click(10, 10);  // not waiting: only the key state changes
    EXPECT_EQ(waiter->Wait(0), nullptr);
}

TEST_F(InputWaiterTest, TimeOutsRacingFiresNeverLoseAFireNorFreeLiveTargets) {
    // Every fire commits its waiter's queue once; every fire must come back
    // out of a Wait, whatever the time-out was doing meanwhile.
    constexpr int kRounds = 3000;
    std::atomic<bool> done{false};
    int returned = 0;
    std::thread script([&] {
        std::minstd_rand random(7);
        for (int i = 0; i < kRounds; ++i) {
            waiter->ClearTargets();
            classInputTarget* target = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
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

// ---- mouse targets and areas ----

TEST_F(InputWaiterTest, ButtonWithoutAreaFiresAnywhereEvenInTheBars) {
    SetClient(1920, 1200);
    classInputTarget::SetMouseButton(waiter->AddTarget(), VK_RBUTTON, 0);
    classInputTarget* left = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
    BlockedWait wait(waiter, -1);
    Click(960, 10);  // in the top bar: logical y is negative
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), left);
}

TEST_F(InputWaiterTest, AreaEdgesBelongToTheAreaWithIntegerHalves) {
    // Texture 101 x 50 at hitOffset (10, 20) on 1280 x 720:
    // left 640 + (10 - 50) = 600, right 640 + (10 + 50) = 700,
    // top 360 + (-20 - 25) = 315, bottom 360 + (25 - 20) = 365.
    scene.Put({7, 1}, 101, 50, 10.0f, 20.0f);
    classInputTarget* target = waiter->AddTarget();
    target->region = {7, 1};
    EXPECT_TRUE(target->HitTestRegion(600, 315));
    EXPECT_TRUE(target->HitTestRegion(700, 365));
    EXPECT_FALSE(target->HitTestRegion(599, 340));
    EXPECT_FALSE(target->HitTestRegion(701, 340));
    EXPECT_FALSE(target->HitTestRegion(650, 314));
    EXPECT_FALSE(target->HitTestRegion(650, 366));
    float x = 0, y = 0, z = 0;
    EXPECT_TRUE(target->GetRegionPosition(x, y, z));
    EXPECT_EQ(x, 10.0f);
    EXPECT_EQ(y, 20.0f);
}

TEST_F(InputWaiterTest, HiddenMissingOrTexturelessAreasNeverHit) {
    classInputTarget* target = waiter->AddTarget();
    target->region = {9};
    EXPECT_FALSE(target->HitTestRegion(640, 360));  // missing
    scene.Put({9}, 100, 100, 0.0f, 0.0f, /*hidden=*/true);
    EXPECT_FALSE(target->HitTestRegion(640, 360));
    float x, y, z;
    EXPECT_FALSE(target->GetRegionPosition(x, y, z));
    InputObjectInfo bare;
    scene.Put({9}, bare);
    EXPECT_FALSE(target->HitTestRegion(640, 360));
    scene.Put({9}, 100, 100, 0.0f, 0.0f);
    EXPECT_TRUE(target->HitTestRegion(640, 360));
}

TEST_F(InputWaiterTest, ClickInsideAnAreaFiresAndOutsideGoesOn) {
    scene.Put({3}, 100, 40, -100.0f, 0.0f);  // x 490..590, y 340..380
    classInputTarget* target = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
    target->region = {3};
    BlockedWait wait(waiter, -1);
    Click(600, 360);
    EXPECT_FALSE(wait.Returned(20ms));
    Click(590, 380);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), target);
}

TEST_F(InputWaiterTest, WheelDirectionsComeFromTheSignedHighWord) {
    classInputTarget* up = classInputTarget::SetWheelUp(waiter->AddTarget());
    classInputTarget* down = classInputTarget::SetWheelDown(waiter->AddTarget());
    u64 notchUp = u64{120} << 16;
    u64 notchDown = u64{static_cast<u16>(-120)} << 16;
    EXPECT_TRUE(up->MatchesWheel(notchUp, 0, 0));
    EXPECT_FALSE(up->MatchesWheel(notchDown, 0, 0));
    EXPECT_TRUE(down->MatchesWheel(notchDown | MK_CONTROL, 0, 0));
    EXPECT_FALSE(down->MatchesWheel(notchUp, 0, 0));
    EXPECT_FALSE(up->MatchesWheel(MK_LBUTTON, 0, 0));  // delta 0
    EXPECT_FALSE(down->MatchesWheel(MK_LBUTTON, 0, 0));
    down->disabled = 1;
    EXPECT_FALSE(down->MatchesWheel(notchDown, 0, 0));

    BlockedWait wait(waiter, -1);
    Send(WM_MOUSEWHEEL, notchUp, MakePointParam(5, 5));
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), up);
}

// ---- keys ----

TEST_F(InputWaiterTest, KeyTargetsFireOnRepeatsButNotWhenDisabled) {
    classInputTarget* off = classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    off->disabled = 1;
    classInputTarget* on = classInputTarget::SetKey(waiter->AddTarget(), 'B', 0);
    BlockedWait wait(waiter, -1);
    KeyDown('A');
    EXPECT_FALSE(wait.Returned(20ms));
    KeyDown('B', /*repeat=*/true);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), on);
}

TEST_F(InputWaiterTest, KeySequenceFiresOnItsLastKeyAndIgnoresRepeats) {
    classInputTarget* sequence = classInputTarget::SetKeySequence(waiter->AddTarget(), {38, 38, 40});
    {
        BlockedWait wait(waiter, -1);
        KeyDown(38);
        KeyDown(38);
        KeyDown(38, /*repeat=*/true);  // held long
        EXPECT_FALSE(wait.Returned(20ms));
        KeyDown(40);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), sequence);
    }
    // Down still held: every repeat matches again.
    waiter->ClearTargets();
    sequence = classInputTarget::SetKeySequence(waiter->AddTarget(), {38, 38, 40});
    BlockedWait again(waiter, -1);
    KeyDown(40, /*repeat=*/true);
    ASSERT_TRUE(again.Returned());
    EXPECT_EQ(again.Result(), sequence);
}

TEST_F(InputWaiterTest, KeySequenceDoesNotMatchBeforeEnoughKeysWerePressed) {
    classInputTarget* target = classInputTarget::SetKeySequence(waiter->AddTarget(), {0, 65});
    // Missing older presses count as 0, so a lone 65 matches 0, 65.
    EXPECT_TRUE(target->MatchesKeySequence({65}));
    EXPECT_FALSE(target->MatchesKeySequence({}));
    classInputTarget* empty = classInputTarget::SetKeySequence(waiter->AddTarget(), {});
    EXPECT_FALSE(empty->MatchesKeySequence({1, 2}));
}

TEST_F(InputWaiterTest, SequencesOfDifferentLengthsEachMatchTheLatestKeys) {
    classInputTarget* shortOne = classInputTarget::SetKeySequence(waiter->AddTarget(), {38, 40});
    classInputTarget* longOne = classInputTarget::SetKeySequence(waiter->AddTarget(), {65, 66, 67});
    {
        BlockedWait wait(waiter, -1);
        KeyDown(38);
        KeyDown(40);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), shortOne);
    }
    waiter->ClearTargets();
    classInputTarget::SetKeySequence(waiter->AddTarget(), {38, 40});
    longOne = classInputTarget::SetKeySequence(waiter->AddTarget(), {65, 66, 67});
    BlockedWait wait(waiter, -1);
    KeyDown(65);
    KeyDown(66);
    KeyDown(67);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), longOne);
}

TEST_F(InputWaiterTest, WindowMessageTargetsComeBeforeKeyTargets) {
    classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    classInputTarget* message = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    BlockedWait wait(waiter, -1);
    KeyDown('A');
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), message);
}

TEST_F(InputWaiterTest, CloseReachesAWaiterAsAnyMessage) {
    classInputTarget* close = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_CLOSE);
    BlockedWait wait(waiter, -1);
    Send(WM_CLOSE);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), close);
}

TEST_F(InputWaiterTest, SettersAreNullSafeAndMoveOutIgnoresBadDirections) {
    EXPECT_EQ(classInputTarget::SetKey(nullptr, 1, 0), nullptr);
    EXPECT_EQ(classInputTarget::SetMoveOut(nullptr, 1), nullptr);
    classInputTarget* target = classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    classInputTarget::SetMoveOut(target, 5);
    EXPECT_EQ(target->GetKind(), classInputTarget::kKey);
    classInputTarget::SetMoveOut(target, 4);
    EXPECT_EQ(target->GetKind(), classInputTarget::kMoveOutRight);
    EXPECT_TRUE(target->IsMoveOut(4));
    EXPECT_FALSE(target->IsMoveOut(3));
}

// ---- when a waiter accepts input ----

bool InInterrupt() {
    return true;
}

TEST_F(InputWaiterTest, AStandingAsideWaiterLetsMessagesPassDuringAnInterrupt) {
    classInputWaiter* function = g_inputManager.AddWaiter(1);
    function->standsAside = 1;
    classInputTarget::SetKey(function->AddTarget(), 'A', 0);
    classInputTarget* mainKey = classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    SetInputInterruptTest(InInterrupt);
    BlockedWait functionWait(function, -1);
    BlockedWait mainWait(waiter, -1);
    KeyDown('A');
    ASSERT_TRUE(mainWait.Returned());
    EXPECT_EQ(mainWait.Result(), mainKey);
    EXPECT_TRUE(function->IsWaiting());

    // Once the interrupt is over, the Function thread's waiter comes first again.
    SetInputInterruptTest(nullptr);
    KeyDown('A');
    ASSERT_TRUE(functionWait.Returned());
    EXPECT_EQ(functionWait.Result(), &function->Targets().front());
}

TEST_F(InputWaiterTest, SelectLayerMustBePresentAndVisible) {
    waiter->selectLayer = {300};
    classInputTarget* key = classInputTarget::SetKey(waiter->AddTarget(), 'A', 0);
    BlockedWait wait(waiter, -1);
    KeyDown('A');
    EXPECT_FALSE(wait.Returned(20ms));
    scene.Put({300}, 10, 10, 0.0f, 0.0f, /*hidden=*/true);
    KeyDown('A');
    EXPECT_FALSE(wait.Returned(20ms));
    scene.Put({300}, 10, 10, 0.0f, 0.0f);
    KeyDown('A');
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), key);
}

TEST_F(InputWaiterTest, ResetClearsEverythingButThePriority) {
    classInputWaiter* other = g_inputManager.AddWaiter(7);
    other->standsAside = 1;
    other->selectLayer = {1};
    other->navigationMode = 2;
    classInputTarget::SetKey(other->AddTarget(), 'A', 0);
    other->Reset();
    EXPECT_EQ(other->priority, 7);
    EXPECT_EQ(other->standsAside, 0);
    EXPECT_TRUE(other->selectLayer.empty());
    EXPECT_EQ(other->navigationMode, 1u);
    EXPECT_TRUE(other->Targets().empty());
    EXPECT_EQ(other->GetFiredTarget(), nullptr);
}

}  // namespace
