#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display_loss.h"
#include "platform/icon_resources.h"
#include "platform/png_decoder.h"
#include "platform/quit_signals.h"
#include "platform/sdl/sdl_dialog_host.h"
#include "platform/sdl/event_translation.h"
#include "platform/sdl/sdl_video.h"
#include "platform/window.h"

namespace platform {
namespace {

constexpr Sint32 kPostedMessage = 1;
constexpr Sint32 kPostedTask = 2;
constexpr int kBusyWaitBoundMs = 16;
constexpr int kIdleWaitBoundMs = 500;
constexpr int kMaxIconSide = 1024;

bool g_videoStarted = false;  // UI thread only

class SdlWindow final : public Window {
public:
    ~SdlWindow() override {
        if (window_ == nullptr) return;
        DetachDialogHost();
        SetDialogOwner(nullptr);
        DrainPosted();
        if (cursor_ != nullptr) SDL_FreeCursor(cursor_);
        SDL_DestroyWindow(window_);
    }

    bool Create(const std::string& title, int width, int height) override {
        if (!StartVideo()) return false;
        userEvent_ = SDL_RegisterEvents(1);
        if (userEvent_ == static_cast<Uint32>(-1)) return false;
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
        // A frame is drawn straight into the window's own buffer when the
        // window has the back buffer's size and 8-bit colour; a display
        // without such a buffer gets the scaled copy only. The buffer comes
        // without depth or stencil: the driver would hold one for the
        // window's whole life (llvmpipe: 3.7 MB) although only frames that
        // cut holes use it, and a software rasteriser draws slower into a
        // target that has one. Such frames are drawn offscreen instead.
        for (int colourBits : {8, 0}) {
            SDL_GL_ResetAttributes();
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
            SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
            // 0: whatever colour the display has.
            SDL_GL_SetAttribute(SDL_GL_RED_SIZE, colourBits);
            SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colourBits);
            SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, colourBits);
            window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                       height, flags);
            if (window_ != nullptr) break;
        }
        if (window_ == nullptr) {
            std::fprintf(stderr, "velk2: cannot open the window: %s\n", SDL_GetError());
            return false;
        }
        WatchWindowConnection(window_);
        // Keys come as keys; no input method composes text over the game.
        SDL_StopTextInput();
        SetIcon(kWindowIconResource);
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        RefreshSize();
        SetDialogOwner(window_);
        AttachDialogHost();
        return true;
    }

    bool WaitMessage(WindowMessage& message) override {
        // A quit signal ends the program even when its wake-up was lost, and
        // so does a display that is gone.
        if ((QuitSignal() != 0 || IsDisplayLost()) && !quitSignalTaken_) {
            quitSignalTaken_ = true;
            message = WindowMessage{WM_DESTROY, 0, 0};
            return true;
        }
        if (!pending_.empty()) {
            message = pending_.front();
            pending_.pop_front();
            return true;
        }
        SDL_Event event;
        // SDL's wait blocks in select() on the X connection outside Xlib.
        // When another thread reads that connection (the render thread's
        // swap), events it pulls in stay queued without waking us, and a
        // wake-up posted from another thread can be lost the same way (seen
        // under Xvfb: a posted close waited for ever). So the wait is
        // bounded: briefly while frames are being shown, long when idle,
        // where two wake-ups a second cost nothing measurable.
        // An error left by an earlier call that went on regardless must not
        // read as a failed wait.
        SDL_ClearError();
        const int bound = WaitBoundMs();
        const Uint64 started = SDL_GetTicks64();
        if (SDL_WaitEventTimeout(&event, bound) == 0) {
            // A wait that ran its time is a time-out, whatever the event
            // pump left in the error text on the way (X11 leaves one for a
            // title it could not convert). A real failure returns at once;
            // never let it become a spin.
            const bool early = SDL_GetTicks64() - started < static_cast<Uint64>(bound);
            if (early && SDL_GetError()[0] != 0) {
                if (!waitFailureReported_) std::fprintf(stderr, "velk2: waiting for events failed: %s\n", SDL_GetError());
                waitFailureReported_ = true;
                SDL_ClearError();
                SDL_Delay(10);
            }
            return false;
        }
        // The wait may have run into the loss: what it brought is not acted
        // on (a posted task would go to the display), and the next call ends
        // the loop.
        if (IsDisplayLost()) {
            if (event.type == userEvent_) Free(event.user.code, event.user.data1);
            return false;
        }
        if (event.type == userEvent_) return TakePosted(event, message);
        if (HandleDialogEvent(event)) return false;
        Observe(event);
        WindowMessage translated[4];
        int count = TranslateSdlEvent(event, translation_, translated, 4);
        if (count == 0) return false;
        for (int i = 1; i < count; ++i) pending_.push_back(translated[i]);
        message = translated[0];
        return true;
    }

    void SetTitle(const std::string& title) override { SDL_SetWindowTitle(window_, title.c_str()); }

    bool SetIcon(u32 number) override { return window_ != nullptr && SetSdlWindowIcon(window_, number); }

    void SetFullScreen(bool fullScreen) override {
        if (SDL_SetWindowFullscreen(window_, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
            std::fprintf(stderr, "velk2: screen mode change failed: %s\n", SDL_GetError());
        }
        RefreshSize();
    }

    void RestorePlacement(int width, int height) override {
        SDL_SetWindowFullscreen(window_, 0);
        SDL_RestoreWindow(window_);
        SDL_SetWindowSize(window_, width, height);
        int display = SDL_GetWindowDisplayIndex(window_);
        if (display < 0) display = 0;
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display));
        RefreshSize();
    }

    void Show(bool show) override {
        if (show) {
            SDL_ShowWindow(window_);
            SDL_RaiseWindow(window_);
        } else {
            SDL_HideWindow(window_);
        }
    }

    void SetCursorImage(std::shared_ptr<const CursorImage> image) override {
        cursorImage_ = std::move(image);
        cursorDirty_ = true;
        ApplyCursor();
    }

    void ApplyCursor() override {
        if (!cursorDirty_) return;
        cursorDirty_ = false;
        SDL_Cursor* next = nullptr;
        if (cursorImage_ && cursorImage_->width > 0 && cursorImage_->height > 0 &&
            cursorImage_->bgra.size() >= static_cast<size_t>(cursorImage_->width) * cursorImage_->height * 4) {
            SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
                const_cast<u8*>(cursorImage_->bgra.data()), cursorImage_->width, cursorImage_->height, 32,
                cursorImage_->width * 4, SDL_PIXELFORMAT_BGRA32);
            if (surface != nullptr) {
                next = SDL_CreateColorCursor(surface, cursorImage_->hotX, cursorImage_->hotY);
                SDL_FreeSurface(surface);
            }
        }
        SDL_SetCursor(next != nullptr ? next : SDL_GetDefaultCursor());
        if (cursor_ != nullptr) SDL_FreeCursor(cursor_);
        cursor_ = next;
    }

    void PostMessage(const WindowMessage& message) override { Push(kPostedMessage, new WindowMessage(message)); }

    void PostTask(std::function<void()> task) override {
        Push(kPostedTask, new std::function<void()>(std::move(task)));
    }

    ClientSize GetClientSize() const override {
        return ClientSize{clientWidth_.load(std::memory_order_relaxed), clientHeight_.load(std::memory_order_relaxed)};
    }
    ClientSize GetDisplaySize() const override {
        u64 packed = displaySize_.load(std::memory_order_acquire);
        return ClientSize{static_cast<int>(packed >> 32), static_cast<int>(packed & 0xFFFFFFFFu)};
    }
    bool HasFocus() const override { return focus_.load(std::memory_order_relaxed); }
    bool IsFullScreen() const override { return fullScreen_.load(std::memory_order_relaxed); }

    std::unique_ptr<RenderSurface> CreateRenderSurface(int logicalWidth, int logicalHeight) override {
        return CreateGlSurface(window_, surfaceState_, logicalWidth, logicalHeight);
    }

private:
    int WaitBoundMs() const {
        u32 last = surfaceState_->lastPresentMs.load(std::memory_order_relaxed);
        return last != 0 && NowMs() - last < 1000 ? kBusyWaitBoundMs : kIdleWaitBoundMs;
    }

    void Push(Sint32 code, void* data) {
        // SDL wakes the waiting UI thread through the display: a connection
        // that is gone would hold the pushing thread for good.
        if (IsDisplayLost()) {
            Free(code, data);
            return;
        }
        SDL_Event event{};
        event.type = userEvent_;
        event.user.code = code;
        event.user.data1 = data;
        if (SDL_PushEvent(&event) <= 0) {
            std::fprintf(stderr, "velk2: a message to the window was lost: %s\n", SDL_GetError());
            Free(code, data);
        }
    }

    static void Free(Sint32 code, void* data) {
        if (code == kPostedMessage) delete static_cast<WindowMessage*>(data);
        if (code == kPostedTask) delete static_cast<std::function<void()>*>(data);
    }

    bool TakePosted(const SDL_Event& event, WindowMessage& message) {
        if (event.user.code == kPostedMessage) {
            auto* posted = static_cast<WindowMessage*>(event.user.data1);
            message = *posted;
            delete posted;
            return true;
        }
        auto* task = static_cast<std::function<void()>*>(event.user.data1);
        (*task)();
        delete task;
        return false;
    }

    void DrainPosted() {
        SDL_Event event;
        while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, userEvent_, userEvent_) > 0) {
            Free(event.user.code, event.user.data1);
        }
    }

    void Observe(const SDL_Event& event) {
        // A display that changes its mode, or a window moved onto another
        // display, changes what full screen covers.
        if (event.type == SDL_DISPLAYEVENT) RefreshDisplaySize();
        if (event.type != SDL_WINDOWEVENT) return;
        switch (event.window.event) {
            case SDL_WINDOWEVENT_MOVED:
            case SDL_WINDOWEVENT_DISPLAY_CHANGED:
                RefreshDisplaySize();
                break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED:
                RefreshSize();
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                focus_.store(true, std::memory_order_relaxed);
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                focus_.store(false, std::memory_order_relaxed);
                break;
            default:
                break;
        }
    }

    void RefreshSize() {
        int width = 0, height = 0, drawWidth = 0, drawHeight = 0;
        SDL_GetWindowSize(window_, &width, &height);
        SDL_GL_GetDrawableSize(window_, &drawWidth, &drawHeight);
        clientWidth_.store(width, std::memory_order_relaxed);
        clientHeight_.store(height, std::memory_order_relaxed);
        surfaceState_->drawableWidth.store(drawWidth, std::memory_order_relaxed);
        surfaceState_->drawableHeight.store(drawHeight, std::memory_order_relaxed);
        fullScreen_.store((SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) != 0, std::memory_order_relaxed);
        RefreshDisplaySize();
        surfaceState_->repaintGeneration.fetch_add(1, std::memory_order_release);
    }

    void RefreshDisplaySize() {
        int display = SDL_GetWindowDisplayIndex(window_);
        SDL_DisplayMode mode{};
        if (display < 0 || SDL_GetDesktopDisplayMode(display, &mode) != 0 || mode.w <= 0 || mode.h <= 0) return;
        displaySize_.store((static_cast<u64>(static_cast<u32>(mode.w)) << 32) | static_cast<u32>(mode.h),
                           std::memory_order_release);
    }

    SDL_Window* window_ = nullptr;
    Uint32 userEvent_ = 0;
    TranslationState translation_;        // UI thread only
    std::deque<WindowMessage> pending_;   // UI thread only: further messages of one event
    std::shared_ptr<const CursorImage> cursorImage_;  // UI thread only
    SDL_Cursor* cursor_ = nullptr;        // UI thread only
    bool cursorDirty_ = true;             // UI thread only
    bool waitFailureReported_ = false;    // UI thread only
    bool quitSignalTaken_ = false;        // UI thread only
    std::atomic<int> clientWidth_{0};     // atomic: kept by the UI thread, read anywhere
    std::atomic<int> clientHeight_{0};    // atomic: as above
    std::atomic<bool> focus_{false};      // atomic: as above
    std::atomic<bool> fullScreen_{false}; // atomic: as above
    std::atomic<u64> displaySize_{0};     // atomic: as above; width and height packed so both halves agree
    std::shared_ptr<SurfaceState> surfaceState_ = std::make_shared<SurfaceState>();
};

}  // namespace

bool SetSdlWindowIcon(SDL_Window* window, u32 number) {
    const IconResource* icon = FindIconResource(number);
    if (icon == nullptr) return false;
    int width = 0, height = 0;
    std::vector<u8> bgra;
    if (!DecodePngToBgra(icon->bytes, icon->size, kMaxIconSide, width, height, bgra)) {
        std::fprintf(stderr, "velk2: icon %u is no image that can be read\n", number);
        return false;
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(bgra.data(), width, height, 32, width * 4, SDL_PIXELFORMAT_BGRA32);
    if (surface == nullptr) return false;
    // SDL copies the pixels; the surface and buffer can go at once.
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
    return true;
}

namespace {

bool IsUnseenVideoDriver(const char* driver) {
    return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// SDL_VIDEODRIVER may name one driver or a list of them, comma-separated.
bool IsVideoDriverAskedFor(const char* driver) {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked == nullptr) return false;
    const std::string list = std::string(",") + asked + ",";
    return list.find(std::string(",") + driver + ",") != std::string::npos;
}

constexpr int kDisplayAttempts = 3;

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != 0;
}

bool IsDisplayNamed() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

std::string NoDisplayReason() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool hasX11 = IsSet("DISPLAY");
    const bool hasWayland = IsSet("WAYLAND_DISPLAY");
    if (!hasX11 && !hasWayland) return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    std::string named;
    if (hasX11) named = std::string("DISPLAY=") + x11;
    if (hasWayland) named += std::string(named.empty() ? "" : ", ") + "WAYLAND_DISPLAY=" + wayland;
    return "no display: " + named + " cannot be reached";
}

}  // namespace

bool StartVideo() {
    if (g_videoStarted) return true;
    // A script may hold the window open by refusing WM_CLOSE; SDL must not
    // turn the close of the last window into a quit on its own.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // SIGINT, SIGTERM and SIGHUP are the program's own (quit_signals.h).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Only video: other subsystems would make SDL's event wait poll.
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "velk2: cannot start video: %s\n", SDL_GetError());
        return false;
    }
    // Without a display SDL falls back on drivers that show nothing: a game
    // would then play unseen until killed. Only someone who asks for them
    // (a test, a benchmark) gets them. A display that is named but refuses
    // a connection now and then (a busy server) is asked again first.
    for (int attempt = 1;; ++attempt) {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver == nullptr || !IsUnseenVideoDriver(driver) || IsVideoDriverAskedFor(driver)) break;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (attempt == kDisplayAttempts || !IsDisplayNamed()) {
            std::fprintf(stderr, "velk2: %s; start the game in a desktop session (SDL_VIDEODRIVER=offscreen runs it "
                         "unseen)\n", NoDisplayReason().c_str());
            return false;
        }
        SDL_Delay(static_cast<Uint32>(100 * attempt));
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "velk2: cannot start video: %s\n", SDL_GetError());
            return false;
        }
    }
    g_videoStarted = true;
    WatchDisplayConnection();
    return true;
}

std::unique_ptr<Window> CreateSdlWindow() { return std::make_unique<SdlWindow>(); }

void ShutdownVideo() {
    if (!g_videoStarted) return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_videoStarted = false;
}

}  // namespace platform
