#pragma once
// What the frame loop and the window procedure need from the graphics device
// holder. The presentation layer's device holder answers it in full; until it
// is plugged in, the basic device below clears and shows the logical screen.
// Render-thread operations are marked; the rest are safe from any thread.

#include <memory>

#include "foundation/types.h"

namespace platform {
class RenderSurface;
}

class FrameDevice {
public:
    virtual ~FrameDevice() = default;
    // Render thread, before the first frame: binds the GPU context; false
    // when there is no usable device (no frame is then drawn).
    virtual bool Start() = 0;
    // Render thread, after the last frame: frees every GPU object.
    virtual void Stop() = 0;
    // Render thread: carries out a due reset or screen-mode change first;
    // true when the frame can be drawn.
    virtual bool IsReady() = 0;
    // Render thread: false when this frame draws nothing (EndFrame still follows).
    virtual bool BeginFrame() = 0;
    // Render thread: true when the frame's picture reached the window.
    virtual bool EndFrame() = 0;
    // Render thread, after EndFrame: the picture was drawn again only
    // because records ran, and shows what the one before it showed; the
    // screen stands as still as after a frame that was not drawn.
    virtual bool ShowedTheSamePicture() const { return false; }

    // Asks for full screen (true) or the window (false); carried out by the
    // render thread on its next frame.
    virtual void RequestFullScreen(bool fullScreen) = 0;
    // The screen mode in force.
    virtual bool IsFullScreen() const = 0;
    // The screen mode asked for: the one in force unless a change is pending.
    virtual bool IsFullScreenRequested() const = 0;
    // UI thread: the window changed size; reset `milliseconds` after the last change.
    virtual void ArmResetDeadline(u32 milliseconds) = 0;
    // Render thread: a completed change of screen mode the window has to follow.
    virtual bool TakeModeSwitchRequest() = 0;
    // Render thread: the change left full screen, so the window goes back to
    // its windowed size and place.
    virtual bool TakeRestorePlacementRequest() = 0;
};

// The stand-in device over the window's render surface (null: no device).
std::unique_ptr<FrameDevice> CreateBasicFrameDevice(std::unique_ptr<platform::RenderSurface> surface);
