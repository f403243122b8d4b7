#include "platform/display_loss.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/sdl/sdl_dialog_host.h"
#include "platform/sdl/sdl_video.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
// Xlib's internal header, for the display lock its own calls take.
#include <X11/Xlibint.h>

namespace platform {
namespace {

std::atomic<DisplayLostEnd> g_end{nullptr};  // atomic: set once at start-up, read by whichever thread notices
std::atomic<bool> g_lost{false};             // atomic: set by the first thread that notices
std::atomic<Display*> g_windowDisplay{nullptr};  // atomic: the connection of the window and its GL context

// A thread that met the loss on the window's connection (the render thread
// in the middle of a swap, say) goes back into Xlib, which then fails its
// call, so that it can finish what it holds our locks for and stop like any
// other. Xlib calls this with its own lock released and expects it held
// again when its caller goes on, as it was before the error.
void ResumeAfterLoss(Display* display, void*) {
    XUnlockDisplay(display);
    LockDisplay(display);
}

[[noreturn]] void RunTheEnd() {
    if (DisplayLostEnd end = g_end.load()) end();
    std::fflush(nullptr);
    _exit(1);
}

// The end on a thread of its own; false when none could be started.
bool StartTheEnd() {
    try {
        std::thread(RunTheEnd).detach();
        return true;
    } catch (...) {
        return false;
    }
}

// Xlib calls this from the thread whose call met the lost connection, with
// the display locked against every other thread (it waits inside Xlib).
int OnConnectionLost(Display* display) {
    const bool windowConnection = display == g_windowDisplay.load();
    if (g_lost.exchange(true)) {
        // Another thread is ending the program already. On the window's
        // connection this one returns into a failed call; on another (SDL's
        // own for wake-ups) nothing is known of the caller, and it waits
        // here until the process is gone.
        if (windowConnection) return 0;
        for (;;) pause();
    }
    std::fprintf(stderr, "velk2: the connection to the display was lost; the game saves and ends\n");
    std::fflush(stderr);
    // Threads waiting for a box are let go with its safe answer; nobody will
    // ever see it now.
    AnswerDialogsForQuit();
    // On the window's connection this thread goes back into a failed call
    // and on its way, like any other: it may hold what the others need to
    // stop (the render thread holds the application lock while it presents,
    // and a script waiting for a picture asks for it), so the end runs on a
    // thread of its own.
    if (windowConnection && StartTheEnd()) return 0;
    // Elsewhere it never returns into Xlib: the display is let go, so that
    // the other threads waiting for it come out (through the lines above).
    // Inside a call that picks events by a test of its own, Xlib keeps its
    // lock for the whole call and its unlocks on the way do nothing.
    if (display->in_ifevent != 0 && pthread_equal(display->ifevent_thread, pthread_self())) {
        display->in_ifevent = 0;
        UnlockDisplay(display);
    }
    XUnlockDisplay(display);
    RunTheEnd();
}

}  // namespace

void InstallDisplayLossHandler(DisplayLostEnd end) { g_end.store(end); }

void WatchDisplayConnection() {
    // Process-wide in Xlib, for every connection SDL opens; set once video
    // has started, so that nothing SDL sets up replaces it.
    if (g_end.load() != nullptr) XSetIOErrorHandler(OnConnectionLost);
}

void WatchWindowConnection(SDL_Window* window) {
    if (g_end.load() == nullptr) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return;
    Display* display = info.info.x11.display;
    // Without this Xlib exits the process as soon as a handler returns.
    XSetIOErrorExitHandler(display, ResumeAfterLoss, nullptr);
    g_windowDisplay.store(display);
}

bool IsDisplayLost() { return g_lost.load(); }

}  // namespace platform
