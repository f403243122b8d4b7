#include "foundation/input_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/subsystem_hooks.h"
#include "platform/clock.h"
#include "support/input_fakes.h"

using namespace platform;
using fakes::BlockedWait;

namespace {

class InputManagerTest : public fakes::InputTest {};

// ---- key states and recent keys ----

TEST_F(InputManagerTest, KeyDownCountsEveryPressButOnlyFreshPressesEnterRecentKeys) {
    KeyDown('A');
    KeyDown('A', /*repeat=*/true);
    KeyDown('A', /*repeat=*/true);
    EXPECT_EQ(g_inputManager.GetKey('A')->GetPressCount(), 3);
    EXPECT_TRUE(g_inputManager.IsKeyDown('A'));
    EXPECT_EQ(g_inputManager.RecentKeys(), (std::vector<int64>{'A'}));

    Send(WM_KEYUP, 'A');
    EXPECT_FALSE(g_inputManager.IsKeyDown('A'));
    EXPECT_EQ(g_inputManager.GetKey('A')->GetPressCount(), 3);  // never reset

    KeyDown('B');
    EXPECT_EQ(g_inputManager.RecentKeys(), (std::vector<int64>{'A', 'B'}));
}

TEST_F(InputManagerTest, MouseButtonsAreKeysOneTwoAndFour) {
    Send(WM_LBUTTONDOWN);
    Send(WM_RBUTTONDOWN);
    Send(WM_MBUTTONDOWN);
    EXPECT_TRUE(g_inputManager.IsKeyDown(1));
    EXPECT_TRUE(g_inputManager.IsKeyDown(2));
    EXPECT_TRUE(g_inputManager.IsKeyDown(4));
    EXPECT_FALSE(g_inputManager.IsKeyDown(3));
    Send(WM_RBUTTONUP);
    EXPECT_FALSE(g_inputManager.IsKeyDown(2));
    EXPECT_TRUE(g_inputManager.IsKeyDown(1));

    // An up without a down only clears the byte.
    Send(WM_MBUTTONUP);
    Send(WM_MBUTTONUP);
    EXPECT_FALSE(g_inputManager.IsKeyDown(4));
    EXPECT_EQ(g_inputManager.GetKey(4)->GetPressCount(), 1);
}

TEST_F(InputManagerTest, GetKeyIsNullOutsideTheTable) {
    EXPECT_NE(g_inputManager.GetKey(0), nullptr);
    EXPECT_NE(g_inputManager.GetKey(255), nullptr);
    EXPECT_EQ(g_inputManager.GetKey(256), nullptr);
    EXPECT_FALSE(classKeyState::IsDown(nullptr));
}

TEST_F(InputManagerTest, AltAndF10AreKeysButOtherSystemKeysTouchNothing) {
    classInputWaiter* waiter = g_inputManager.AddWaiter(0);
    classInputTarget* keyDown = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    {
        BlockedWait wait(waiter, -1);
        Send(WM_SYSKEYDOWN, VK_MENU);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), keyDown);
    }
    EXPECT_TRUE(g_inputManager.IsKeyDown(VK_MENU));
    Send(WM_SYSKEYUP, VK_MENU);
    EXPECT_FALSE(g_inputManager.IsKeyDown(VK_MENU));
    Send(WM_SYSKEYDOWN, VK_F10);
    EXPECT_TRUE(g_inputManager.IsKeyDown(VK_F10));
    EXPECT_EQ(g_inputManager.RecentKeys(), (std::vector<int64>{VK_MENU, VK_F10}));

    // Alt+X stays a system key: no state, and waiters see it as it came.
    waiter->ClearTargets();
    classInputTarget* sysKey = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_SYSKEYDOWN);
    classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    BlockedWait wait(waiter, -1);
    Send(WM_SYSKEYDOWN, 'X');
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), sysKey);
    EXPECT_FALSE(g_inputManager.IsKeyDown('X'));
    EXPECT_EQ(g_inputManager.GetKey('X')->GetPressCount(), 0);
}

TEST_F(InputManagerTest, KeyCodesBeyondTheTableChangeNoStateButAreStillOffered) {
    classInputWaiter* waiter = g_inputManager.AddWaiter(0);
    classInputTarget* target = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    BlockedWait wait(waiter, -1);
    KeyDown(300);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), target);
    for (u64 code = 0; code < 256; ++code) EXPECT_EQ(g_inputManager.GetKey(code)->GetPressCount(), 0);
}

TEST_F(InputManagerTest, FocusLossReleasesHeldKeysButKeepsTheirCounts) {
    RegisterInputSubsystem();
    KeyDown(VK_CONTROL);
    Send(WM_LBUTTONDOWN);
    EXPECT_TRUE(GetSubsystemHooks().isVirtualKeyDown(VK_CONTROL));
    Send(WM_KILLFOCUS);
    EXPECT_FALSE(GetSubsystemHooks().isVirtualKeyDown(VK_CONTROL));
    EXPECT_FALSE(g_inputManager.IsKeyDown(VK_LBUTTON));
    EXPECT_EQ(g_inputManager.GetKey(VK_CONTROL)->GetPressCount(), 1);
    EXPECT_FALSE(GetSubsystemHooks().onWindowMessage(WindowMessage{WM_KEYDOWN, VK_CONTROL, 0}));
    EXPECT_TRUE(GetSubsystemHooks().isVirtualKeyDown(VK_CONTROL));
    GetSubsystemHooks().onWindowMessage = nullptr;
    GetSubsystemHooks().isVirtualKeyDown = nullptr;
}

TEST_F(InputManagerTest, TheWindowProcedureHandsMessagesOnAndAHeldCloseStillReachesAWait) {
    RegisterInputSubsystem();
    app->closeDisabled = 1;
    classInputWaiter* waiter = g_inputManager.AddWaiter(0);
    classInputTarget* close = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_CLOSE);
    {
        BlockedWait wait(waiter, -1);
        EXPECT_TRUE(app->HandleWindowMessage(WindowMessage{WM_CLOSE, 0, 0}));  // held open by the script
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), close);
    }
    // Input never counts a message as handled.
    EXPECT_FALSE(app->HandleWindowMessage(WindowMessage{WM_KEYDOWN, VK_CONTROL, 0}));
    EXPECT_TRUE(app->IsCtrlSkip());
    GetSubsystemHooks().onWindowMessage = nullptr;
    GetSubsystemHooks().isVirtualKeyDown = nullptr;
}

// ---- waiter order ----

TEST_F(InputManagerTest, HigherPrioritiesFirstAndEqualOnesInRegistrationOrder) {
    classInputWaiter* first0 = g_inputManager.AddWaiter(0);
    classInputWaiter* second0 = g_inputManager.AddWaiter(0);
    classInputWaiter* late2 = g_inputManager.AddWaiter(2);
    classInputWaiter* late1 = g_inputManager.AddWaiter(1);
    classInputWaiter* order[] = {late2, late1, first0, second0};
    for (classInputWaiter* waiter : order) classInputTarget::SetKey(waiter->AddTarget(), 'K', 0);

    // Each press goes to the first waiter still blocked, in priority order.
    std::vector<std::unique_ptr<BlockedWait>> waits;
    for (classInputWaiter* waiter : order) waits.push_back(std::make_unique<BlockedWait>(waiter, -1));
    for (size_t i = 0; i < 4; ++i) {
        KeyDown('K');
        ASSERT_TRUE(waits[i]->Returned()) << "waiter " << i;
        EXPECT_EQ(waits[i]->Result(), &order[i]->Targets().front());
        for (size_t j = i + 1; j < 4; ++j) EXPECT_TRUE(order[j]->IsWaiting()) << i << " " << j;
    }
}

TEST_F(InputManagerTest, RemovedWaitersGetNoMessagesAndUnknownAddressesAreIgnored) {
    classInputWaiter* gone = g_inputManager.AddWaiter(5);
    classInputWaiter* stays = g_inputManager.AddWaiter(0);
    classInputTarget::SetKey(stays->AddTarget(), 'K', 0);
    g_inputManager.RemoveWaiter(gone);
    classInputWaiter stranger(9);
    g_inputManager.RemoveWaiter(&stranger);
    UnregisterInputWaiter(nullptr);
    BlockedWait wait(stays, -1);
    KeyDown('K');
    ASSERT_TRUE(wait.Returned());
    EXPECT_NE(wait.Result(), nullptr);
}

TEST_F(InputManagerTest, HolderRegistersAndResetUnregisters) {
    classInputWaiterHolder holder(1);
    ASSERT_NE(holder.Get(), nullptr);
    EXPECT_EQ(holder.Get()->priority, 1);
    classInputTarget* target = classInputTarget::SetKey(holder.AddTarget(), 'H', 0);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->owner, holder.Get());
    {
        BlockedWait wait(holder.Get(), -1);
        KeyDown('H');
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), target);
    }
    holder.Reset();
    EXPECT_EQ(holder.Get(), nullptr);
    EXPECT_EQ(holder.AddTarget(), nullptr);
    holder.ClearTargets();  // nothing held: no effect
}

TEST_F(InputManagerTest, WakeAllIsSafeAgainstConcurrentAddAndRemove) {
    std::atomic<bool> stop{false};
    std::thread waker([&] {
        while (!stop.load()) g_inputManager.WakeAllWaiters();
    });
    std::vector<std::thread> scripts;
    for (int t = 0; t < 4; ++t) {
        scripts.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                classInputWaiterHolder holder(t % 3);
                classInputTarget::SetKey(holder.AddTarget(), 'W', 0);
                holder.Get()->Wait(1);
            }
        });
    }
    for (int i = 0; i < 2000; ++i) KeyDown('W', /*repeat=*/true);
    for (std::thread& script : scripts) script.join();
    stop = true;
    waker.join();
    EXPECT_GE(g_inputManager.GetKey('W')->GetPressCount(), 2000);
}

// ---- mapping from the client area ----

TEST_F(InputManagerTest, LetterboxedClientMapsThroughTheBars) {
    float x = 960.0f;
    float y = 60.0f;
    ASSERT_TRUE(MapClientToLogical(x, y, 1920.0f, 1200.0f, 1280.0f, 720.0f));
    EXPECT_FLOAT_EQ(x, 640.0f);
    EXPECT_FLOAT_EQ(y, 0.0f);

    // Inside the top bar: above the logical screen.
    x = 0.0f;
    y = 30.0f;
    ASSERT_TRUE(MapClientToLogical(x, y, 1920.0f, 1200.0f, 1280.0f, 720.0f));
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, -20.0f);
}

TEST_F(InputManagerTest, PillarboxedClientMapsWithAHorizontalOffset) {
    // 2000 x 720 is wider than 16:9: s = 1, ox = (2000 - 1280) / 2 = 360.
    float x = 1000.0f;
    float y = 360.0f;
    ASSERT_TRUE(MapClientToLogical(x, y, 2000.0f, 720.0f, 1280.0f, 720.0f));
    EXPECT_FLOAT_EQ(x, 640.0f);
    EXPECT_FLOAT_EQ(y, 360.0f);

    // 640 x 480: s = 0.5, oy = (480 - 360) / 2 = 60.
    x = 320.0f;
    y = 60.0f;
    ASSERT_TRUE(MapClientToLogical(x, y, 640.0f, 480.0f, 1280.0f, 720.0f));
    EXPECT_FLOAT_EQ(x, 640.0f);
    EXPECT_FLOAT_EQ(y, 0.0f);
}

TEST_F(InputManagerTest, BarOffsetsAreTruncatedToWholePixels) {
    // 1280 x 721: s = 1, oy = 0.5 truncated to 0.
    float x = 10.0f;
    float y = 1.0f;
    ASSERT_TRUE(MapClientToLogical(x, y, 1280.0f, 721.0f, 1280.0f, 720.0f));
    EXPECT_FLOAT_EQ(y, 1.0f);
}

TEST_F(InputManagerTest, AZeroSizedClientLeavesThePositionAlone) {
    float x = 5.0f;
    float y = 7.0f;
    EXPECT_FALSE(MapClientToLogical(x, y, 0.0f, 0.0f, 1280.0f, 720.0f));
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(y, 7.0f);

    SetClient(1920, 1200);
    MoveTo(960, 60);
    SetClient(0, 0);
    MoveTo(100, 100);
    EXPECT_FLOAT_EQ(g_inputManager.mouseX.load(), 640.0f);
    EXPECT_FLOAT_EQ(g_inputManager.mouseY.load(), 0.0f);
}

TEST_F(InputManagerTest, MouseMoveStoresTheLogicalPositionOfSignedCoordinates) {
    SetClient(1920, 1200);
    MoveTo(-15, 1230);
    // (-15 - 0) / 1.5 and (1230 - 60) / 1.5
    EXPECT_FLOAT_EQ(g_inputManager.mouseX.load(), -10.0f);
    EXPECT_FLOAT_EQ(g_inputManager.mouseY.load(), 780.0f);
}

// ---- key-wait lock ----

std::atomic<u32> g_fakeNow{0};
u32 FakeNow() {
    return g_fakeNow.load();
}

class KeyWaitLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClockSource(FakeNow);
        ClearKeyWaitLock();
    }
    void TearDown() override {
        ClearKeyWaitLock();
        SetClockSource(nullptr);
    }
};

TEST_F(KeyWaitLockTest, RunsForItsDurationAndReSettingDoesNotRestartIt) {
    g_fakeNow = 1000;
    SetKeyWaitLock(500);
    EXPECT_TRUE(IsKeyWaitLocked(1000));
    EXPECT_TRUE(IsKeyWaitLocked(1499));
    EXPECT_FALSE(IsKeyWaitLocked(1500));

    // Expired but not cleared: the old start stays, the longer duration wins.
    g_fakeNow = 1600;
    SetKeyWaitLock(300);
    EXPECT_FALSE(IsKeyWaitLocked(1600));
    SetKeyWaitLock(700);
    EXPECT_TRUE(IsKeyWaitLocked(1699));
    EXPECT_FALSE(IsKeyWaitLocked(1700));

    ClearKeyWaitLock();
    EXPECT_FALSE(IsKeyWaitLocked(1600));
    SetKeyWaitLock(300);
    EXPECT_TRUE(IsKeyWaitLockedNow());
    EXPECT_TRUE(IsKeyWaitLocked(1899));
    EXPECT_FALSE(IsKeyWaitLocked(1900));
}

TEST_F(KeyWaitLockTest, SurvivesTheWrapOfTheClock) {
    g_fakeNow = 0xFFFFFFF0u;
    SetKeyWaitLock(100);
    EXPECT_TRUE(IsKeyWaitLocked(0x00000053u));   // 99 ms later
    EXPECT_FALSE(IsKeyWaitLocked(0x00000054u));  // 100 ms later
}

TEST_F(KeyWaitLockTest, ZeroDurationNeverLocks) {
    g_fakeNow = 5000;
    SetKeyWaitLock(0);
    EXPECT_FALSE(IsKeyWaitLocked(5000));
    EXPECT_FALSE(IsKeyWaitLockedNow());
}

}  // namespace
