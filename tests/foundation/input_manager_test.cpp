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

// Every press counts, even a repeat, and counts are never reset; only fresh
// presses enter the recent keys. Mouse buttons are keys 1, 2 and 4; Alt and
// F10 come as system keys but are keys; Alt+X stays a system key.
TEST_F(InputManagerTest, MessagesSetKeyStatesCountsAndRecentKeys) {
    struct Message {
        u32 message;
        u64 wParam;
        int64 lParam;
    };
    struct Key {
        u64 code;
        bool down;
        int presses;
    };
    struct Case {
        const char* name;
        std::vector<Message> messages;
        std::vector<Key> keys;
        std::vector<int64> recent;
    };
    const int64 repeat = kPreviousDownBit;
    const Case cases[] = {
        {"a press and two repeats", {{WM_KEYDOWN, 'A', 0}, {WM_KEYDOWN, 'A', repeat}, {WM_KEYDOWN, 'A', repeat}},
         {{'A', true, 3}}, {'A'}},
        {"released, then another key",
         {{WM_KEYDOWN, 'A', 0}, {WM_KEYDOWN, 'A', repeat}, {WM_KEYUP, 'A', 0}, {WM_KEYDOWN, 'B', 0}},
         {{'A', false, 2}, {'B', true, 1}}, {'A', 'B'}},
        {"three buttons", {{WM_LBUTTONDOWN, 0, 0}, {WM_RBUTTONDOWN, 0, 0}, {WM_MBUTTONDOWN, 0, 0}},
         {{1, true, 1}, {2, true, 1}, {4, true, 1}, {3, false, 0}}, {}},
        {"the right button released", {{WM_LBUTTONDOWN, 0, 0}, {WM_RBUTTONDOWN, 0, 0}, {WM_RBUTTONUP, 0, 0}},
         {{1, true, 1}, {2, false, 1}}, {}},
        {"an up without a down only clears", {{WM_MBUTTONDOWN, 0, 0}, {WM_MBUTTONUP, 0, 0}, {WM_MBUTTONUP, 0, 0}},
         {{4, false, 1}}, {}},
        {"Alt, released, then F10", {{WM_SYSKEYDOWN, VK_MENU, 0}, {WM_SYSKEYUP, VK_MENU, 0}, {WM_SYSKEYDOWN, VK_F10, 0}},
         {{VK_MENU, false, 1}, {VK_F10, true, 1}}, {VK_MENU, VK_F10}},
        {"Alt+X", {{WM_SYSKEYDOWN, 'X', 0}}, {{'X', false, 0}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_inputManager.ResetForTest();
        for (const Message& m : c.messages) Send(m.message, m.wParam, m.lParam);
        for (const Key& k : c.keys) {
            EXPECT_EQ(g_inputManager.IsKeyDown(k.code), k.down) << k.code;
            EXPECT_EQ(g_inputManager.GetKey(k.code)->GetPressCount(), k.presses) << k.code;
        }
        EXPECT_EQ(g_inputManager.RecentKeys(), c.recent);
    }
    EXPECT_NE(g_inputManager.GetKey(255), nullptr);
    EXPECT_EQ(g_inputManager.GetKey(256), nullptr);
    EXPECT_FALSE(classKeyState::IsDown(nullptr));
}

TEST_F(InputManagerTest, WaitersSeeAltAsAKeyDownButAltXAsItCame) {
    classInputWaiter* waiter = g_inputManager.AddWaiter(0);
    classInputTarget* sysKey = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_SYSKEYDOWN);
    classInputTarget* keyDown = classInputTarget::SetWindowMessage(waiter->AddTarget(), WM_KEYDOWN);
    const std::pair<u64, classInputTarget*> cases[] = {{VK_MENU, keyDown}, {'X', sysKey}};
    for (const auto& [key, expected] : cases) {
        BlockedWait wait(waiter, -1);
        Send(WM_SYSKEYDOWN, key);
        ASSERT_TRUE(wait.Returned());
        EXPECT_EQ(wait.Result(), expected) << key;
    }
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

TEST_F(InputManagerTest, ClientPositionsMapThroughTheBarsToTheLogicalScreen) {
    struct Case {
        const char* name;
        float clientW, clientH, x, y, logicalX, logicalY;
    };
    const Case cases[] = {
        // 1920 x 1200: s = 1.5, oy = (1200 - 1080) / 2 = 60.
        {"letterboxed", 1920, 1200, 960, 60, 640, 0},
        {"inside the top bar", 1920, 1200, 0, 30, 0, -20},
        // 2000 x 720: s = 1, ox = (2000 - 1280) / 2 = 360.
        {"pillarboxed", 2000, 720, 1000, 360, 640, 360},
        // 640 x 480: s = 0.5, oy = (480 - 360) / 2 = 60.
        {"smaller than the screen", 640, 480, 320, 60, 640, 0},
        // 1280 x 721: oy = 0.5 truncated to 0.
        {"half a pixel of bar", 1280, 721, 10, 1, 10, 1},
    };
    for (const Case& c : cases) {
        float x = c.x, y = c.y;
        ASSERT_TRUE(MapClientToLogical(x, y, c.clientW, c.clientH, 1280.0f, 720.0f)) << c.name;
        EXPECT_FLOAT_EQ(x, c.logicalX) << c.name;
        EXPECT_FLOAT_EQ(y, c.logicalY) << c.name;
    }
}

TEST_F(InputManagerTest, AZeroSizedClientLeavesThePositionAlone) {
    // A window squashed flat on one side only is as empty as a minimised one.
    const float sizes[][2] = {{0.0f, 0.0f}, {0.0f, 720.0f}, {1280.0f, 0.0f}};
    for (const auto& size : sizes) {
        float x = 5.0f;
        float y = 7.0f;
        EXPECT_FALSE(MapClientToLogical(x, y, size[0], size[1], 1280.0f, 720.0f)) << size[0] << "x" << size[1];
        EXPECT_EQ(x, 5.0f);
        EXPECT_EQ(y, 7.0f);
    }

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

// Each case sets locks at clock times (a duration of -1 clears) and then asks
// whether the lock holds at a time.
TEST_F(KeyWaitLockTest, RunsForItsDurationFromItsStart) {
    struct Step {
        u32 now;
        int64 duration;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        u32 at;
        bool locked;
    };
    const Case cases[] = {
        {"at its start", {{1000, 500}}, 1000, true},
        {"its last millisecond", {{1000, 500}}, 1499, true},
        {"at its end", {{1000, 500}}, 1500, false},
        // Set again while running: the later of 1500 and 1200 + 400.
        {"re-set while running lasts for the new text too", {{1000, 500}, {1200, 400}}, 1599, true},
        {"and ends when the new text has appeared", {{1000, 500}, {1200, 400}}, 1600, false},
        {"a shorter new text keeps the old end", {{1000, 500}, {1200, 200}}, 1499, true},
        {"and ends at the old end", {{1000, 500}, {1200, 200}}, 1500, false},
        {"no time of its own changes nothing", {{1000, 500}, {1400, 0}}, 1500, false},
        {"re-set after its end runs afresh from then", {{1000, 500}, {1600, 300}}, 1899, true},
        {"and ends from then, not from the old start", {{1000, 500}, {1600, 300}}, 1900, false},
        {"a fresh lock takes its own duration, not the old one", {{1000, 900}, {2000, 100}}, 2100, false},
        {"raised while running again", {{1000, 500}, {1600, 300}, {1700, 700}}, 2399, true},
        {"and ends 700 ms after that", {{1000, 500}, {1600, 300}, {1700, 700}}, 2400, false},
        {"raised across the clock's wrap", {{0xFFFFFFF0u, 100}, {0x10u, 100}}, 0x73u, true},
        {"and ends 100 ms after", {{0xFFFFFFF0u, 100}, {0x10u, 100}}, 0x74u, false},
        {"a new end just beyond the clock's range stops at its longest",
         {{1000, 500}, {1001, 0xFFFFFFFFu}}, 0x80000000u, true},
        {"started at clock 0", {{0, 100}}, 50, true},
        {"cleared", {{1000, 500}, {1200, -1}}, 1200, false},
        {"set again after a clear runs from then", {{1000, 500}, {1600, -1}, {1600, 300}}, 1899, true},
        {"and ends from then", {{1000, 500}, {1600, -1}, {1600, 300}}, 1900, false},
        {"99 ms across the clock's wrap", {{0xFFFFFFF0u, 100}}, 0x53u, true},
        {"100 ms across the clock's wrap", {{0xFFFFFFF0u, 100}}, 0x54u, false},
        {"zero duration", {{5000, 0}}, 5000, false},
    };
    for (const Case& c : cases) {
        ClearKeyWaitLock();
        for (const Step& step : c.steps) {
            g_fakeNow = step.now;
            if (step.duration < 0) ClearKeyWaitLock();
            else SetKeyWaitLock(static_cast<u32>(step.duration));
        }
        EXPECT_EQ(IsKeyWaitLocked(c.at), c.locked) << c.name;
    }
    g_fakeNow = 1000;
    ClearKeyWaitLock();
    SetKeyWaitLock(1);
    EXPECT_TRUE(IsKeyWaitLockedNow());
    g_fakeNow = 1001;
    EXPECT_FALSE(IsKeyWaitLockedNow());
}

}  // namespace
