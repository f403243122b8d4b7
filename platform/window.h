#pragma once
// The main window as the engine sees it: one top-level window, its messages,
// and work that other threads hand to the UI thread.
//
// Threads: Create, WaitMessage and the window operations run on the UI thread
// only. PostMessage and PostTask may be called from any thread; they wake the
// UI thread. The render surface is made on the UI thread and then used only by
// the render thread. The size and focus queries are atomic and safe anywhere.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "platform/window_messages.h"

namespace platform {

// A cursor image (straight-alpha BGRA, top row first) with its hot spot.
struct CursorImage {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    std::vector<u8> bgra;
};

// The drawing side of the window, used by the render thread only: a back
// buffer (the logical size until the device sizes it) that each frame draws
// into, then shown over the whole window (one to one when the back buffer has
// the window's size, and then the window's own buffer when it can be).
class RenderSurface {
public:
    virtual ~RenderSurface() = default;
    // Binds the drawing context to the calling thread; false when there is no
    // usable GL 3.3 context.
    virtual bool MakeCurrent() = 0;
    // Binds the back buffer as the target and clears it to opaque black.
    virtual void BeginFrame() = 0;
    // At the start of a frame drawn by the device: the framebuffer that holds
    // the back buffer this frame. The window's own (0, rows bottom-up) when it
    // has the back buffer's size, so that presenting is a swap and no copy;
    // otherwise the offscreen buffer (rows top-down), which Present stretches
    // over the whole window. Neither has a stencil unless the window's own
    // came with one.
    virtual unsigned FrameTarget() = 0;
    // Once the frame first needs a stencil (a scene that cuts holes): the
    // framebuffer that holds the back buffer for the rest of the frame, with
    // a stencil (its values undefined until cleared). With `keep`, it holds
    // what the frame drew so far.
    virtual unsigned StencilTarget(bool keep) = 0;
    // Whether the framebuffer handed out last has a depth-stencil.
    virtual bool TargetHasStencil() const = 0;
    // Gives the back buffer a new size (its pixels are lost); false when the
    // driver cannot hold it, with the old buffer kept.
    virtual bool Resize(int width, int height) = 0;
    // Shows the whole back buffer over the whole window (unless drawn there).
    virtual void Present() = 0;
    // True when the window needs the picture again (first frames, exposure,
    // a size or mode change) although nothing in the scene changed.
    virtual bool TakeRepaintRequest() = 0;
    // Frees every GL object; the surface is unusable afterwards.
    virtual void Release() = 0;
};

struct ClientSize {
    int width = 0;
    int height = 0;
};

class Window {
public:
    virtual ~Window() = default;

    // Opens the window with a client area of width x height, centred, shown,
    // with the program's own icon.
    virtual bool Create(const std::string& title, int width, int height) = 0;
    // Blocks until there is a message; posted tasks run inside (they yield no
    // message). Returns false when the wait yielded no message.
    virtual bool WaitMessage(WindowMessage& message) = 0;

    virtual void SetTitle(const std::string& title) = 0;
    // Shows icon `number` of the program's icon resources; false, with the
    // icon left as it is, when the program has no such icon.
    virtual bool SetIcon(u32 number) = 0;
    virtual void SetFullScreen(bool fullScreen) = 0;
    // Windowed again at the given client size, centred on the display the
    // window is on.
    virtual void RestorePlacement(int width, int height) = 0;
    virtual void Show(bool show) = 0;
    // The cursor shown over the window; null is the system arrow.
    virtual void SetCursorImage(std::shared_ptr<const CursorImage> image) = 0;
    // Shows the cursor chosen last (the answer to WM_SETCURSOR).
    virtual void ApplyCursor() = 0;

    // Any thread.
    virtual void PostMessage(const WindowMessage& message) = 0;
    virtual void PostTask(std::function<void()> task) = 0;
    virtual ClientSize GetClientSize() const = 0;
    // The desktop size of the display the window is on: what full screen covers.
    virtual ClientSize GetDisplaySize() const = 0;
    virtual bool HasFocus() const = 0;
    virtual bool IsFullScreen() const = 0;

    // UI thread, after Create: the surface the render thread draws into.
    virtual std::unique_ptr<RenderSurface> CreateRenderSurface(int logicalWidth, int logicalHeight) = 0;
};

// The SDL window (video is started on first use).
std::unique_ptr<Window> CreateSdlWindow();
// Shuts SDL's video down after the window is gone.
void ShutdownVideo();

}  // namespace platform
