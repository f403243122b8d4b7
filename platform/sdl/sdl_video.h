#pragma once
// Shared pieces of the SDL window and its GL surface.

#include <SDL.h>

#include <atomic>
#include <memory>

#include "foundation/types.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace platform {

// What the UI thread learns about the window and the render thread reads.
struct SurfaceState {
    std::atomic<int> drawableWidth{0};   // atomic: written by the UI thread, read by the render thread
    std::atomic<int> drawableHeight{0};  // atomic: as above
    std::atomic<u32> repaintGeneration{1};  // atomic: bumped by the UI thread when the picture is lost
    std::atomic<u32> lastPresentMs{0};      // atomic: NowMs of the render thread's last present (0: none yet)
};

// Shows icon `number` of the program's icon resources on the window; false
// when there is no such icon.
bool SetSdlWindowIcon(SDL_Window* window, u32 number);

// Starts SDL's video (once per process, on the UI thread); false without a display.
bool StartVideo();
// Once video has started: a lost display connection ends the program the
// way InstallDisplayLossHandler was given (display_loss.h).
void WatchDisplayConnection();
// The same for the window's own connection, which its GL context shares.
void WatchWindowConnection(SDL_Window* window);

std::unique_ptr<RenderSurface> CreateGlSurface(SDL_Window* window, std::shared_ptr<SurfaceState> state,
                                               int logicalWidth, int logicalHeight);

}  // namespace platform
