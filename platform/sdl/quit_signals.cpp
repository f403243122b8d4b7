#include "platform/quit_signals.h"

#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/display_loss.h"
#include "platform/sdl/sdl_dialog_host.h"

namespace platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr char kSignalled = 's';
constexpr char kStop = 'x';

std::atomic<int> g_signal{0};  // atomic and lock-free: written by the handler, read anywhere
static_assert(std::atomic<int>::is_always_lock_free);
int g_pipe[2] = {-1, -1};       // main thread sets up and tears down
std::atomic<int> g_wakeFd{-1};  // atomic: the write end as the handler sees it
std::thread g_watcher;          // main thread only
struct sigaction g_previous[3];

void OnSignal(int signal) {
    const int savedErrno = errno;
    g_signal.store(signal);
    // write() is safe in a handler; a full pipe already holds a wake-up.
    const int fd = g_wakeFd.load();
    if (fd >= 0) [[maybe_unused]]
        ssize_t ignored = write(fd, &kSignalled, 1);
    errno = savedErrno;
}

void Watch() {
    for (;;) {
        char byte = 0;
        const ssize_t got = read(g_pipe[0], &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || byte == kStop) return;
        // Threads waiting on a box are let go at once; the UI thread wakes
        // to a quit, closes its boxes and ends the loop.
        AnswerDialogsForQuit();
        if (SDL_WasInit(SDL_INIT_EVENTS) != 0 && !IsDisplayLost()) {
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
        }
    }
}

}  // namespace

void InstallQuitSignals() {
    if (g_watcher.joinable()) return;
    if (pipe2(g_pipe, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "velk2: no pipe for signals; SIGTERM and SIGHUP end the program at once\n");
        return;
    }
    // The handler must never block on a full pipe.
    fcntl(g_pipe[1], F_SETFL, fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    g_watcher = std::thread(Watch);
    g_wakeFd.store(g_pipe[1]);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' system calls go on after the handler.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

void UninstallQuitSignals() {
    if (!g_watcher.joinable()) return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    g_wakeFd.store(-1);
    while (write(g_pipe[1], &kStop, 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_watcher.join();
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

int QuitSignal() {
    return g_signal.load();
}

}  // namespace platform
