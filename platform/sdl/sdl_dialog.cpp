#include <SDL.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_box.h"
#include "platform/display_loss.h"
#include "platform/font.h"
#include "platform/icon_resources.h"
#include "platform/quit_signals.h"
#include "platform/sdl/sdl_dialog_host.h"
#include "platform/sdl/sdl_video.h"

namespace platform {
namespace {

// No one would see a box: answer at once rather than block a test or a
// session without a desktop.
bool NobodyCanSee() {
    const char* mode = getenv("VELK2_DIALOGS");
    if (mode != nullptr && std::strcmp(mode, "stderr") == 0) return true;
    const char* driver = getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        return true;
    }
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 == nullptr || x11[0] == 0) && (wayland == nullptr || wayland[0] == 0);
}

// One box that a thread waits for.
struct Request {
    std::string caption;
    std::string text;
    DialogButtons buttons;
    DialogIcon icon;
    std::optional<DialogAnswer> answer;  // guarded by g_mutex
};

std::mutex g_mutex;
std::condition_variable g_answered;              // signalled with g_mutex whenever a request is answered
std::deque<std::shared_ptr<Request>> g_pending;  // guarded by g_mutex: asked for, not yet opened
std::vector<std::shared_ptr<Request>>
    g_waiting;                // guarded by g_mutex: every request of another thread not yet returned
bool g_hostAttached = false;  // guarded by g_mutex
std::atomic<Uint32> g_requestEvent{0};      // atomic: registered on the UI thread, pushed from any
std::atomic<std::thread::id> g_uiThread{};  // atomic: the thread that installed the service

void Answer(Request& request, DialogAnswer answer) {
    std::lock_guard<std::mutex> hold(g_mutex);
    if (!request.answer) request.answer = answer;
    g_answered.notify_all();
}

bool IsAnswered(Request& request) {
    std::lock_guard<std::mutex> hold(g_mutex);
    return request.answer.has_value();
}

// SDL wakes a UI thread that waits for events through a connection of its
// own to the display. Once that is gone, the wake-up would meet the loss
// and hold the pushing thread for good, with whatever it holds: nothing is
// pushed then (the UI thread no longer looks either). Never called with
// g_mutex held, so that a push that meets the loss first holds no lock the
// end of the program needs.
bool PushToUiThread(SDL_Event& event) {
    if (IsDisplayLost()) return false;
    return SDL_PushEvent(&event) > 0;
}

std::optional<DialogKey> KeyOf(const SDL_Keysym& key) {
    switch (key.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return DialogKey::Enter;
        case SDLK_SPACE:
            return DialogKey::Space;
        case SDLK_ESCAPE:
            return DialogKey::Escape;
        case SDLK_TAB:
            return (key.mod & KMOD_SHIFT) != 0 ? DialogKey::BackTab : DialogKey::Tab;
        case SDLK_LEFT:
            return DialogKey::Left;
        case SDLK_RIGHT:
            return DialogKey::Right;
        default:
            return std::nullopt;
    }
}

SDL_Window* g_owner = nullptr;  // UI thread only: the game window, while it exists

// UI thread only: every box window ever made. Ids are never reused, and events
// of a box that has just gone must not reach the game as its own.
std::set<Uint32> g_boxWindows;

// A box on the screen: its own window, painted in software (no GL context
// beside the game's), on the UI thread only.
class BoxWindow {
  public:
    BoxWindow(std::shared_ptr<Request> request)
        : request_(std::move(request)), box_(GetFontService(), request_->text, request_->buttons, request_->icon) {}
    ~BoxWindow() {
        // With the display gone the window goes with the process.
        if (window_ == nullptr || IsDisplayLost()) return;
        const bool hadKeyboard = (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
        SDL_DestroyWindow(window_);
        // Without a window manager nobody else hands the keyboard back, and
        // the game would hear no key after the box.
        if (hadKeyboard && g_owner != nullptr) SDL_SetWindowInputFocus(g_owner);
    }

    bool Open() {
        // Above the game, full screen included; no resizing.
        window_ = SDL_CreateWindow(request_->caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   box_.Width(), box_.Height(),
                                   SDL_WINDOW_HIDDEN | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR);
        if (window_ == nullptr) {
            std::fprintf(stderr, "velk2: the box could not be opened: %s\n", SDL_GetError());
            return false;
        }
        id_ = SDL_GetWindowID(window_);
        g_boxWindows.insert(id_);
        // Painted before anything else is asked of the window: SDL may make
        // a new X window for its first surface, which would drop the hints
        // and the focus given to the old one.
        Paint();
        SetSdlWindowIcon(window_, kWindowIconResource);
        // A box of the game's window: a window manager keeps it above that
        // window, in full screen too, and lets it take the focus from it.
        if (g_owner != nullptr) SDL_SetWindowModalFor(window_, g_owner);
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        // The keyboard, and with it the first click, which would otherwise
        // only give the box the focus.
        SDL_SetWindowInputFocus(window_);
        Paint();
        return true;
    }

    Uint32 Id() const { return id_; }
    Request& GetRequest() { return *request_; }

    // Input and exposure of this box's window; the answer once there is one.
    std::optional<DialogAnswer> Handle(const SDL_Event& event) {
        bool changed = false;
        std::optional<DialogAnswer> answer;
        switch (event.type) {
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) return box_.CloseAnswer();
                changed = event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                          event.window.event == SDL_WINDOWEVENT_SHOWN ||
                          event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED;
                break;
            case SDL_KEYDOWN:
                if (auto key = KeyOf(event.key.keysym)) answer = box_.Key(*key, &changed);
                break;
            case SDL_MOUSEMOTION:
                box_.MouseMove(event.motion.x, event.motion.y, &changed);
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (event.button.button == SDL_BUTTON_LEFT)
                    box_.MouseDown(event.button.x, event.button.y, &changed);
                break;
            case SDL_MOUSEBUTTONUP:
                if (event.button.button == SDL_BUTTON_LEFT)
                    answer = box_.MouseUp(event.button.x, event.button.y, &changed);
                break;
            default:
                break;
        }
        if (changed && !answer) Paint();
        return answer;
    }

  private:
    void Paint() {
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (target == nullptr) return;
        const std::vector<u32>& pixels = box_.Paint();
        SDL_Surface* picture =
            SDL_CreateRGBSurfaceWithFormatFrom(const_cast<u32*>(pixels.data()), box_.Width(), box_.Height(),
                                               32, box_.Width() * 4, SDL_PIXELFORMAT_ARGB8888);
        if (picture == nullptr) return;
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0xF0, 0xF0, 0xF0));
        SDL_BlitSurface(picture, nullptr, target, nullptr);
        SDL_FreeSurface(picture);
        SDL_UpdateWindowSurface(window_);
    }

    std::shared_ptr<Request> request_;
    DialogBox box_;
    SDL_Window* window_ = nullptr;
    Uint32 id_ = 0;
};

std::vector<std::unique_ptr<BoxWindow>> g_open;  // UI thread only: boxes of other threads on the screen

// The window an input or window event is for; 0 for the others.
Uint32 WindowOf(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            return event.window.windowID;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            return event.key.windowID;
        case SDL_TEXTINPUT:
            return event.text.windowID;
        case SDL_MOUSEMOTION:
            return event.motion.windowID;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return event.button.windowID;
        case SDL_MOUSEWHEEL:
            return event.wheel.windowID;
        default:
            return 0;
    }
}

// Boxes answered elsewhere (a quit) leave the screen.
void SweepAnswered() {
    std::erase_if(g_open,
                  [](const std::unique_ptr<BoxWindow>& box) { return IsAnswered(box->GetRequest()); });
}

void RegisterRequestEvent() {
    if (g_requestEvent.load() != 0) return;
    const Uint32 type = SDL_RegisterEvents(1);
    if (type != static_cast<Uint32>(-1)) g_requestEvent.store(type);
}

void OpenPending() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard<std::mutex> hold(g_mutex);
            if (g_pending.empty()) return;
            request = g_pending.front();
            g_pending.pop_front();
        }
        // No box opens on a display that is gone.
        auto box = IsDisplayLost() ? nullptr : std::make_unique<BoxWindow>(request);
        if (box != nullptr && box->Open()) {
            g_open.push_back(std::move(box));
        } else {
            Answer(*request, HeadlessAnswer(request->buttons));
        }
    }
}

// The UI thread's own box: it waits here, serving other threads' boxes too,
// and sets aside whatever else arrives for the loop that runs after it.
DialogAnswer RunModal(const std::shared_ptr<Request>& request) {
    const DialogAnswer safe = HeadlessAnswer(request->buttons);
    if (!StartVideo()) return safe;
    RegisterRequestEvent();
    BoxWindow box(request);
    if (!box.Open()) return safe;
    std::vector<SDL_Event> setAside;
    std::optional<DialogAnswer> answer;
    while (!answer) {
        if (QuitSignal() != 0 || IsDisplayLost()) {
            answer = safe;
            break;
        }
        SDL_Event event;
        // Bounded, as the main loop's wait is: a wake-up may be lost under X.
        if (SDL_WaitEventTimeout(&event, 100) == 0) continue;
        if (event.type == SDL_QUIT) {
            answer = safe;
            setAside.push_back(event);  // the program still ends when the box is gone
            break;
        }
        if (WindowOf(event) == box.Id()) {
            answer = box.Handle(event);
            continue;
        }
        if (HandleDialogEvent(event)) continue;
        setAside.push_back(event);
    }
    for (SDL_Event& event : setAside) PushToUiThread(event);
    return *answer;
}

class SdlDialogService final : public DialogService {
  public:
    DialogAnswer Show(const std::string& caption, const std::string& text, DialogButtons buttons,
                      DialogIcon icon) override {
        EchoDialogToStderr(caption, text);
        const DialogAnswer safe = HeadlessAnswer(buttons);
        if (NobodyCanSee() || QuitSignal() != 0 || IsDisplayLost()) return safe;
        auto request = std::make_shared<Request>(Request{caption, text, buttons, icon, std::nullopt});
        if (std::this_thread::get_id() == g_uiThread.load()) return RunModal(request);

        {
            std::lock_guard<std::mutex> hold(g_mutex);
            // Nobody serves boxes outside the main window's loop: before it,
            // and once the program is ending.
            if (!g_hostAttached || g_requestEvent.load() == 0) return safe;
            g_pending.push_back(request);
            g_waiting.push_back(request);
        }
        SDL_Event wake{};
        wake.type = g_requestEvent.load();
        const bool woken = PushToUiThread(wake);
        std::unique_lock<std::mutex> hold(g_mutex);
        if (!woken) {
            std::erase(g_pending, request);
            if (!request->answer) request->answer = safe;
        }
        g_answered.wait(hold, [&] { return request->answer.has_value(); });
        std::erase(g_waiting, request);
        return *request->answer;
    }

    void CloseAll() override { DetachDialogHost(); }

    void CloseOtherThreadsBoxes() override {
        {
            std::lock_guard<std::mutex> hold(g_mutex);
            g_hostAttached = false;
        }
        AnswerDialogsForQuit();
        // The UI thread takes the answered boxes off the screen when it next
        // looks; this makes it look now.
        const Uint32 requestEvent = g_requestEvent.load();
        if (requestEvent != 0 && SDL_WasInit(SDL_INIT_EVENTS) != 0) {
            SDL_Event wake{};
            wake.type = requestEvent;
            PushToUiThread(wake);
        }
    }
};

SdlDialogService g_sdlDialogs;

}  // namespace

void SetDialogOwner(SDL_Window* owner) { g_owner = owner; }

void AttachDialogHost() {
    RegisterRequestEvent();
    std::lock_guard<std::mutex> hold(g_mutex);
    g_hostAttached = true;
}

void DetachDialogHost() {
    {
        std::lock_guard<std::mutex> hold(g_mutex);
        g_hostAttached = false;
    }
    AnswerDialogsForQuit();
    SweepAnswered();
}

bool HandleDialogEvent(const SDL_Event& event) {
    SweepAnswered();
    const Uint32 requestEvent = g_requestEvent.load();
    if (requestEvent != 0 && event.type == requestEvent) {
        OpenPending();
        return true;
    }
    const Uint32 window = WindowOf(event);
    if (window == 0) return false;
    for (auto it = g_open.begin(); it != g_open.end(); ++it) {
        if ((*it)->Id() != window) continue;
        if (auto answer = (*it)->Handle(event)) {
            Answer((*it)->GetRequest(), *answer);
            g_open.erase(it);
        }
        return true;
    }
    return g_boxWindows.count(window) != 0;
}

void AnswerDialogsForQuit() {
    std::lock_guard<std::mutex> hold(g_mutex);
    for (const std::shared_ptr<Request>& request : g_waiting) {
        if (!request->answer) request->answer = HeadlessAnswer(request->buttons);
    }
    g_pending.clear();
    g_answered.notify_all();
}

namespace {
thread_local std::vector<SDL_Event> t_keptWhileBlocked;  // the blocked UI thread's events, in order
}  // namespace

void ServeDialogsWhileBlocked() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || IsDisplayLost()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 1) == 0) return;
    do {
        if (!HandleDialogEvent(event)) t_keptWhileBlocked.push_back(event);
    } while (SDL_PollEvent(&event) != 0);
}

void EndServingDialogsWhileBlocked() {
    for (SDL_Event& event : t_keptWhileBlocked) PushToUiThread(event);
    t_keptWhileBlocked.clear();
}

void InstallSystemDialogService() {
    g_uiThread.store(std::this_thread::get_id());
    SetDialogService(&g_sdlDialogs);
}

}  // namespace platform
