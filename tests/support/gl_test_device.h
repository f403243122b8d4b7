#pragma once
// A real GL device for display tests: a hidden window on SDL's offscreen
// driver (EGL, no X server needed) with the logical 1280x720 back buffer.
// Null when this machine has no GL 3.3 core context; tests then skip.

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
    holder->device = platform::CreateGlDevice(holder->window->CreateRenderSurface(width, height));
    if (holder->device == nullptr || !holder->device->Create(width, height)) {
        holder->device.reset();
        return nullptr;
    }
    return holder;
}

}  // namespace testgl
