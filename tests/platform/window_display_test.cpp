// The real window under an X server (xvfb-run): screen-mode switch, resizing
// and closing, driven by events pushed into SDL as the desktop would send them.

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/application.h"
#include "foundation/entry.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;

namespace {

struct Seen {
    std::atomic<bool> wentFullScreen{false};
    std::atomic<bool> cameBack{false};
    std::atomic<int> clientWidthAfterResize{0};
    std::atomic<int> clientHeightAfterResize{0};
    std::atomic<u32> sizeStateAfterResize{99};
    std::atomic<bool> survivedRefusedClose{false};
    std::atomic<u32> framesAfterRefusedClose{0};
};
Seen g_seen;

// Waits frame by frame until `done` holds or a few seconds pass.
template <typename Condition>
bool WaitFor(Condition done) {
    auto end = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        WaitFrame();
    }
    return true;
}

Uint32 MainWindowId() {
    for (Uint32 id = 1; id < 64; ++id) {
        if (SDL_GetWindowFromID(id) != nullptr) return id;
    }
    return 0;
}

void PushAltEnter(Uint32 windowId) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.type = SDL_KEYDOWN;
    event.key.windowID = windowId;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = SDLK_RETURN;
    event.key.keysym.scancode = SDL_SCANCODE_RETURN;
    event.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&event);
}

void PushClose(Uint32 windowId) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = windowId;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&event);
}

u32 DriveTheWindow(void*) {
    classApplication* app = GetApplication();
    platform::Window* window = app->windowHandle;
    for (int i = 0; i < 3; ++i) WaitFrame();
    Uint32 id = MainWindowId();

    PushAltEnter(id);
    g_seen.wentFullScreen = WaitFor([&] { return window->IsFullScreen(); });
    PushAltEnter(id);
    g_seen.cameBack = WaitFor([&] { return !window->IsFullScreen(); });

    window->PostTask([id] { SDL_SetWindowSize(SDL_GetWindowFromID(id), 800, 600); });
    WaitFor([&] { return window->GetClientSize().width == 800; });
    g_seen.clientWidthAfterResize = window->GetClientSize().width;
    g_seen.clientHeightAfterResize = window->GetClientSize().height;
    g_seen.sizeStateAfterResize = app->sizeState.load();

    app->closeDisabled = 1;
    PushClose(id);
    u32 before = app->frameDoneCounter.load();
    for (int i = 0; i < 10; ++i) WaitFrame();
    g_seen.survivedRefusedClose = !app->IsQuitting();
    g_seen.framesAfterRefusedClose = app->frameDoneCounter.load() - before;

    app->closeDisabled = 0;
    PushClose(id);
    return 0;
}

}  // namespace

TEST(WindowOnDisplay, ScreenModeResizeAndClose) {
    const char* display = getenv("DISPLAY");
    if (display == nullptr || display[0] == 0) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("VELK2_DIALOGS", "stderr", 1);
    testfiles::TempFolder folder;
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);

    SubsystemHooks saved = GetSubsystemHooks();
    GetSubsystemHooks().startupScriptRoutine = DriveTheWindow;
    EntryEnvironment environment;
    environment.createWindow = [] { return platform::CreateSdlWindow(); };
    environment.workingDirectory = folder.Path().string();
    environment.lockDirectory = folder.Path().string();
    int code = RunApplication(environment);
    platform::ShutdownVideo();
    GetSubsystemHooks() = saved;

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(g_seen.wentFullScreen.load()) << "Alt+Enter switches to full screen";
    EXPECT_TRUE(g_seen.cameBack.load()) << "and back";
    EXPECT_EQ(g_seen.clientWidthAfterResize.load(), 800);
    EXPECT_EQ(g_seen.clientHeightAfterResize.load(), 600);
    EXPECT_EQ(g_seen.sizeStateAfterResize.load(), 0u);
    EXPECT_TRUE(g_seen.survivedRefusedClose.load()) << "a refused close holds the window open";
    EXPECT_GE(g_seen.framesAfterRefusedClose.load(), 10u);
}
