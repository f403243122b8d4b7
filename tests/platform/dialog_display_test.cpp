// The program's own message boxes under an X server (xvfb-run): a box asked
// for on another thread is opened by the main window's loop and answered
// through its own window; a box of the UI thread itself waits in place and
// keeps the main window's events for later; the end of the program closes
// every box and lets the waiting thread go.

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "foundation/critical_section.h"
#include "platform/dialog.h"
#include "platform/sdl/sdl_dialog_host.h"
#include "platform/window.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

class DialogDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = getenv("DISPLAY");
        if (display == nullptr || display[0] == 0) GTEST_SKIP() << "no X display";
        unsetenv("VELK2_DIALOGS");
        unsetenv("SDL_VIDEODRIVER");
        InstallSystemDialogService();
        window = CreateSdlWindow();
        ASSERT_TRUE(window->Create("main", 320, 200));
    }
    void TearDown() override {
        window.reset();
        SetDialogService(nullptr);
        ShutdownVideo();
    }

    // The box window with this caption, once the loop has opened it.
    Uint32 FindBox(const std::string& caption) {
        for (Uint32 id = 1; id < 512; ++id) {
            SDL_Window* w = SDL_GetWindowFromID(id);
            if (w != nullptr && caption == SDL_GetWindowTitle(w)) return id;
        }
        return 0;
    }
    // Runs the main window's loop until `done` holds or five seconds pass.
    template <typename Condition>
    bool Pump(Condition done) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            WindowMessage message;
            window->WaitMessage(message);
        }
        return true;
    }
    static void PushKey(Uint32 id, SDL_Keycode key, Uint16 mod = KMOD_NONE) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = id;
        event.key.state = SDL_PRESSED;
        event.key.keysym.sym = key;
        event.key.keysym.mod = mod;
        SDL_PushEvent(&event);
    }
    static void PushClose(Uint32 id) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = id;
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        SDL_PushEvent(&event);
    }

    std::unique_ptr<Window> window;
};

}  // namespace

TEST_F(DialogDisplayTest, ABoxOfAnotherThreadOpensInTheLoopAndAnswersFromItsWindow) {
    struct Case {
        const char* name;
        DialogButtons buttons;
        std::vector<SDL_Keycode> keys;  // none: the window's close button
        DialogAnswer answer;
    };
    const Case cases[] = {
        {"Enter takes Retry", DialogButtons::RetryCancel, {SDLK_RETURN}, DialogAnswer::Retry},
        {"Escape is Cancel", DialogButtons::RetryCancel, {SDLK_ESCAPE}, DialogAnswer::Cancel},
        {"Tab then Enter is Cancel",
         DialogButtons::RetryCancel,
         {SDLK_TAB, SDLK_RETURN},
         DialogAnswer::Cancel},
        {"closing the box is Cancel", DialogButtons::RetryCancel, {}, DialogAnswer::Cancel},
        {"Enter on OK", DialogButtons::Ok, {SDLK_KP_ENTER}, DialogAnswer::Ok},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string caption = "Box " + std::to_string(++n);
        std::atomic<bool> done{false};
        std::optional<DialogAnswer> answer;
        testing::internal::CaptureStderr();
        std::thread asker([&] {
            answer = ShowMessageBox("\xE8\xB5\xB7\xE5\x8B\x95 text", caption, c.buttons);
            done = true;
        });
        Uint32 box = 0;
        EXPECT_TRUE(Pump([&] { return (box = FindBox(caption)) != 0; })) << c.name << ": no box window";
        EXPECT_FALSE(done.load()) << c.name << ": answered before anyone pressed anything";
        if (c.keys.empty()) PushClose(box);
        for (SDL_Keycode key : c.keys) PushKey(box, key);
        EXPECT_TRUE(Pump([&] { return done.load(); })) << c.name << ": no answer";
        asker.join();
        const std::string echoed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, c.answer) << c.name;
        EXPECT_NE(echoed.find("[" + caption + "] \xE8\xB5\xB7\xE5\x8B\x95 text"), std::string::npos)
            << c.name << ": every box also goes to stderr";
        EXPECT_EQ(SDL_GetWindowFromID(box), nullptr) << c.name << ": the box is gone";
    }
}

TEST_F(DialogDisplayTest, TheEndOfTheLoopClosesBoxesAndLetsTheirThreadsGo) {
    struct Case {
        const char* name;
        bool loopGoesOn;  // the program's end is known before its loop ends
    };
    const Case cases[] = {
        {"the loop ends", false},
        {"the main script ends, from its own thread", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallSystemDialogService();
        AttachDialogHost();
        std::atomic<bool> done{false};
        std::optional<DialogAnswer> answer;
        testing::internal::CaptureStderr();
        std::thread asker([&] {
            answer = ShowMessageBox("text", "Waiting box", DialogButtons::RetryCancel);
            done = true;
        });
        Uint32 box = 0;
        EXPECT_TRUE(Pump([&] { return (box = FindBox("Waiting box")) != 0; }));
        if (c.loopGoesOn) {
            std::thread([] { CloseDialogsAsProgramEnds(); }).join();
            if (!Pump([&] { return done.load() && SDL_GetWindowFromID(box) == nullptr; })) {
                ADD_FAILURE() << "the box stays over a program that has said it ends";
                CloseAllDialogs();  // lets the asking thread go
            }
        } else {
            CloseAllDialogs();
        }
        asker.join();
        EXPECT_EQ(answer, DialogAnswer::Cancel);
        EXPECT_EQ(SDL_GetWindowFromID(box), nullptr) << "no box outlives the program";

        // Nobody would act on a box now: it is answered at once.
        const auto start = std::chrono::steady_clock::now();
        std::thread late([&] { answer = ShowMessageBox("text", "Late box", DialogButtons::RetryCancel); });
        late.join();
        EXPECT_EQ(answer, DialogAnswer::Cancel);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        testing::internal::GetCapturedStderr();
    }
}

TEST_F(DialogDisplayTest, TheUiThreadsOwnBoxWaitsInPlaceAndKeepsTheGamesEventsForLater) {
    // Find the next window id: the box made now takes the one after it.
    std::atomic<bool> asked{false};
    std::thread probe([&] {
        ShowMessageBox("x", "Probe box", DialogButtons::Ok);
        asked = true;
    });
    Uint32 probeBox = 0;
    ASSERT_TRUE(Pump([&] { return (probeBox = FindBox("Probe box")) != 0; }));
    PushKey(probeBox, SDLK_ESCAPE);
    ASSERT_TRUE(Pump([&] { return asked.load(); }));
    probe.join();

    bool taskRan = false;
    window->PostTask([&] { taskRan = true; });
    // Tab, Tab comes back to Retry: an answer no headless box would give.
    PushKey(probeBox + 1, SDLK_TAB);
    PushKey(probeBox + 1, SDLK_TAB);
    PushKey(probeBox + 1, SDLK_SPACE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox("text", "Own box", DialogButtons::RetryCancel), DialogAnswer::Retry);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(taskRan) << "the game's work waits until the box is gone";
    EXPECT_TRUE(Pump([&] { return taskRan; })) << "and then runs";
}

namespace {

// The UI thread's wait hook as the program installs it, with the player's
// Escape pressed on the box once it is on the screen.
Uint32 g_boxUnderLock = 0;
void ServeAndPress() {
    ServeDialogsWhileBlocked();
    if (g_boxUnderLock != 0) return;
    for (Uint32 id = 1; id < 512; ++id) {
        SDL_Window* w = SDL_GetWindowFromID(id);
        if (w != nullptr && std::strcmp(SDL_GetWindowTitle(w), "Box under a lock") == 0) {
            g_boxUnderLock = id;
            SDL_Event event{};
            event.type = SDL_KEYDOWN;
            event.key.windowID = id;
            event.key.state = SDL_PRESSED;
            event.key.keysym.sym = SDLK_ESCAPE;
            SDL_PushEvent(&event);
        }
    }
}

}  // namespace

TEST_F(DialogDisplayTest, TheUiThreadWaitingForALockStillServesTheBoxOfTheThreadThatHoldsIt) {
    // As a save that fails inside a frame: the render thread holds the frame's
    // locks while it asks whether to retry, and the UI thread wants one of them.
    classCriticalSection lock;
    std::atomic<bool> held{false};
    std::optional<DialogAnswer> answer;
    testing::internal::CaptureStderr();
    std::thread holder([&] {
        lock.Enter();
        held = true;
        answer = ShowMessageBox("text", "Box under a lock", DialogButtons::RetryCancel);
        lock.Leave();
    });
    while (!held.load()) std::this_thread::yield();
    bool taskRan = false;
    window->PostTask([&] { taskRan = true; });
    static const LockWaitHook serve{ServeAndPress, EndServingDialogsWhileBlocked};
    t_lockWaitHook = &serve;
    lock.Enter();
    t_lockWaitHook = nullptr;
    lock.Leave();
    holder.join();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(g_boxUnderLock, 0u) << "the box was opened while the UI thread waited";
    EXPECT_EQ(answer, DialogAnswer::Cancel);
    EXPECT_FALSE(taskRan) << "the game's events wait for the loop";
    EXPECT_TRUE(Pump([&] { return taskRan; })) << "and are all still there";
}
