#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"

using namespace platform;

bool IsSystemCommandSwallowed(u64 command, bool fullScreen, u32 style, u32 sizeState) {
    constexpr u32 kMaximizeBox = 0x10000;
    if (fullScreen && (command == SC_SIZE || command == SC_MOVE || command == SC_MAXIMIZE || command == SC_KEYMENU)) {
        return true;
    }
    if (command == SC_MAXIMIZE && (style & kMaximizeBox) == 0) return true;
    return command == SC_MOVE && sizeState == SIZE_MAXIMIZED;
}

bool classApplication::CreateMainWindow(Window* window) {
    if (window == nullptr) return false;
    if (!window->Create(windowTitle, logicalWidth, logicalHeight)) return false;
    windowHandle = window;
    const SubsystemHooks& hooks = GetSubsystemHooks();
    std::unique_ptr<FrameDevice> device =
        hooks.createFrameDevice != nullptr
            ? hooks.createFrameDevice(*window, logicalWidth, logicalHeight)
            : CreateBasicFrameDevice(window->CreateRenderSurface(logicalWidth, logicalHeight));
    graphicDevice = device.release();
    return true;
}

bool classApplication::RunMessageLoop() {
    g_renderThread.StartWithRoutine(RenderThreadProc);
    quitMessagePosted_ = false;
    while (!quitMessagePosted_) {
        WindowMessage message;
        // Blocks until the desktop or another thread has something for us:
        // an idle game costs the UI thread nothing.
        if (windowHandle->WaitMessage(message)) WndProc(message);
    }
    isQuitting.store(1);
    WakeFrameWaiters();
    // Boxes belong to the program: a thread waiting on one is let go before
    // it is stopped, and none stays on the screen.
    platform::CloseAllDialogs();
    g_renderThread.Stop(1000);
    return true;
}

bool classApplication::HandleWindowMessage(const WindowMessage& message) {
    bool handled = false;
    switch (message.message) {
        case WM_SETCURSOR:
            windowHandle->ApplyCursor();
            break;
        case WM_DESTROY:
            quitRequested.store(1);
            isQuitting.store(1);
            WakeFrameWaiters();
            quitMessagePosted_ = true;
            break;
        case WM_SIZE:
            if (message.wParam <= SIZE_MAXIMIZED) sizeState.store(static_cast<u32>(message.wParam));
            if (graphicDevice != nullptr) graphicDevice->ArmResetDeadline(100);
            break;
        case WM_CLOSE:
            // A script may hold the window open; the message still reaches
            // input, where a script can wait for it.
            handled = closeDisabled.load() == 1;
            break;
        case WM_SYSKEYDOWN:
            if (message.wParam == VK_RETURN && (message.lParam & kAltDownBit) != 0) {
                if (graphicDevice != nullptr) graphicDevice->RequestFullScreen(!graphicDevice->IsFullScreen());
                // Alt+Enter belongs to the window, never to a script's wait.
                return true;
            }
            break;
        case WM_SYSCOMMAND: {
            bool fullScreen = graphicDevice != nullptr && graphicDevice->IsFullScreen();
            if (IsSystemCommandSwallowed(message.wParam & 0xFFF0, fullScreen, windowStyle, sizeState.load())) {
                return true;
            }
            break;
        }
        default:
            break;
    }
    const SubsystemHooks& hooks = GetSubsystemHooks();
    if (hooks.onWindowMessage != nullptr && hooks.onWindowMessage(message)) handled = true;
    return handled;
}

void WndProc(const WindowMessage& message) {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    if (application->HandleWindowMessage(message)) return;
    if (message.message == WM_CLOSE) {
        // The default answer to a close: the window goes, and with it the program.
        application->windowHandle->Show(false);
        WndProc(WindowMessage{WM_DESTROY, 0, 0});
    } else if (message.message == WM_DESTROY) {
        application->quitMessagePosted_ = true;
    }
}

void classApplication::SwitchScreenMode() {
    if (windowHandle == nullptr || graphicDevice == nullptr) return;
    // Window changes belong to the UI thread; this runs on the render thread
    // under the application lock, so it only hands them over.
    Window* window = windowHandle;
    if (graphicDevice->IsFullScreen()) {
        window->PostTask([window] { window->SetFullScreen(true); });
    } else if (graphicDevice->TakeRestorePlacementRequest()) {
        RestoreWindowPlacement();
    } else {
        window->PostTask([window] { window->SetFullScreen(false); });
    }
}

void classApplication::RestoreWindowPlacement() {
    if (windowHandle == nullptr || (graphicDevice != nullptr && graphicDevice->IsFullScreen())) return;
    Window* window = windowHandle;
    int32 left, top, right, bottom;
    GetWindowRect(left, top, right, bottom);
    int width = right - left;
    int height = bottom - top;
    window->PostTask([window, width, height] { window->RestorePlacement(width, height); });
}
