#pragma once
// A real GL device for display tests: a hidden window on SDL's offscreen
// driver (EGL, no X server needed) with the logical 1280x720 back buffer.
// Null when this machine has no GL 3.3 core context; tests then skip. A
// device that fails to start on a context that works is a failure, not a skip.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "platform/gpu_device.h"
#include "platform/window.h"

namespace testgl {

struct GlTestDevice {
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<platform::GpuDevice> device;

    ~GlTestDevice() {
        if (device) device->Release();
        device.reset();
        window.reset();
        // Video starts once per process with the driver of its time; later
        // tests may want another one.
        platform::ShutdownVideo();
    }
};

inline std::unique_ptr<GlTestDevice> OpenGlTestDevice(int width = 1280, int height = 720) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    auto holder = std::make_unique<GlTestDevice>();
    holder->window = platform::CreateSdlWindow();
    if (!holder->window->Create("gl test", width, height)) return nullptr;
    std::unique_ptr<platform::RenderSurface> surface = holder->window->CreateRenderSurface(width, height);
    if (surface == nullptr || !surface->MakeCurrent()) return nullptr;
    holder->device = platform::CreateGlDevice(std::move(surface));
    if (holder->device == nullptr || !holder->device->Create(width, height)) {
        ADD_FAILURE() << "the GL device did not start on a working GL 3.3 core context";
        holder->device.reset();
        return nullptr;
    }
    return holder;
}

}  // namespace testgl
