#include "foundation/application.h"

#include <cstdlib>

#include "foundation/input_waiter.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/clock.h"

namespace {
// Written on the UI thread before any other thread starts and after all have
// ended; atomic so that late readers never see a torn pointer.
std::atomic<classApplication*> g_application{nullptr};
}  // namespace

SubsystemHooks& GetSubsystemHooks() {
    static SubsystemHooks hooks;
    return hooks;
}

classApplication::classApplication() = default;

classApplication::~classApplication() {
    // The presentation and sound subsystems free the scenes and the sound
    // manager through their own hooks before this point; the device holder is ours.
    delete graphicDevice;
    graphicDevice = nullptr;
}

classApplication* GetApplication() { return g_application.load(std::memory_order_acquire); }

bool InitApplication() {
    auto* application = new (std::nothrow) classApplication();
    if (application == nullptr) return false;
    g_application.store(application, std::memory_order_release);
    if (GetSubsystemHooks().createScenes != nullptr) GetSubsystemHooks().createScenes();
    if (GetSubsystemHooks().createSoundManager != nullptr) GetSubsystemHooks().createSoundManager();
    std::srand(platform::NowMs());
    return true;
}

void ShutdownApplication() {
    if (GetApplication() != nullptr && GetSubsystemHooks().destroySoundManager != nullptr) {
        GetSubsystemHooks().destroySoundManager();
    }
    if (GetApplication() != nullptr && GetSubsystemHooks().destroyScenes != nullptr) {
        GetSubsystemHooks().destroyScenes();
    }
    classApplication* application = g_application.exchange(nullptr, std::memory_order_acq_rel);
    delete application;
}

bool classApplication::IsCtrlSkip() const {
    const SubsystemHooks& hooks = GetSubsystemHooks();
    bool ctrl = hooks.isVirtualKeyDown != nullptr && hooks.isVirtualKeyDown(platform::VK_CONTROL);
    // A screen a side script runs keeps its keys: Ctrl there skips no text
    // behind it.
    return ctrl && windowHandle != nullptr && windowHandle->HasFocus() && !IsSideScreenOpen();
}

bool classApplication::IsSkipRequested(int64, int64) const {
    if (skipPlaying.load() == 1) return true;
    const SubsystemHooks& hooks = GetSubsystemHooks();
    return hooks.isVirtualKeyDown != nullptr && hooks.isVirtualKeyDown(platform::VK_CONTROL);
}

void classApplication::WaitFrame() {
    std::unique_lock<std::mutex> hold(frameMutex_);
    const u32 start = frameCounter.load(std::memory_order_acquire);
    // Counted from the moment the starting frame is fixed, so a caller that
    // sees the count knows any frame begun now is one this wait accepts.
    frameWaiters_.fetch_add(1);
    // Only now may the frame that shows our records be let in: asked for
    // before the starting frame was fixed, it could begin first and become
    // that frame, and the wait would last until the next scheduled one.
    ShowCommittedRecords();
    // Done once frame start+1 (or a later one) has ended. The difference is
    // taken in 32-bit modular arithmetic, so the counters may wrap. A frame
    // running at the call ends with done == start and does not count.
    auto finished = [&] {
        u32 done = frameDoneCounter.load(std::memory_order_acquire);
        return static_cast<int32>(done - start) > 0 || quitRequested.load() != 0 || isQuitting.load() != 0;
    };
    // Setters of the quit flags wake us; the bounded wait only covers a flag
    // stored by code that forgot to, so such a wait still ends.
    while (!finished()) frameDone_.wait_for(hold, std::chrono::milliseconds(100));
    frameWaiters_.fetch_sub(1);
}

void classApplication::WakeFrameWaiters() {
    { std::lock_guard<std::mutex> hold(frameMutex_); }
    frameDone_.notify_all();
}

void classApplication::RequestQuit() {
    {
        std::lock_guard<std::mutex> hold(frameMutex_);
        quitRequested.store(1);
    }
    frameDone_.notify_all();
}

void classApplication::GetWindowRect(int32& left, int32& top, int32& right, int32& bottom) const {
    left = 0;
    top = 0;
    right = logicalWidth;
    bottom = logicalHeight;
}

bool classApplication::ShowMainWindow(bool show) {
    if (windowHandle == nullptr) return false;
    platform::Window* window = windowHandle;
    window->PostTask([window, show] { window->Show(show); });
    return true;
}

void classApplication::SetWindowTitle(const std::string& title) {
    if (windowHandle == nullptr) {
        windowTitle = title;
        return;
    }
    windowHandle->PostTask([this, title] {
        windowTitle = title;
        windowHandle->SetTitle(title);
    });
}

void classApplication::SetWindowIcon(u32 number) {
    if (windowHandle == nullptr) return;
    platform::Window* window = windowHandle;
    window->PostTask([window, number] { window->SetIcon(number); });
}

void classApplication::SetCursor(std::shared_ptr<const platform::CursorImage> image) {
    if (windowHandle == nullptr) return;
    windowHandle->PostTask([this, image = std::move(image)]() mutable {
        cursor = image;
        windowHandle->SetCursorImage(std::move(image));
    });
}

void WaitFrame() {
    if (classApplication* application = GetApplication()) application->WaitFrame();
}

bool IsSkipRequested() {
    classApplication* application = GetApplication();
    return application != nullptr && application->IsSkipRequested();
}
