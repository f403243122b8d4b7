#pragma once
// The device holder over a recording fake device, installed as the global
// holder and past its creating first frame, as the render thread has it.
// `client` is read at every reset, so a test can resize the window.

#include <memory>

#include "presentation/graphic_device.h"
#include "support/fake_gpu_device.h"

class FakeDeviceHolder {
  public:
    // False when the device could not be made.
    bool Start() {
        auto fake = std::make_unique<fakes::FakeGpuDevice>();
        gpu = fake.get();
        holder.Setup(
            std::move(fake), [this] { return client; }, 1280, 720, 0);
        SetGraphicDevice(&holder);
        if (!holder.Start()) return false;
        holder.IsReady();  // the first frame creates the device
        return holder.IsReady();
    }
    ~FakeDeviceHolder() { SetGraphicDevice(nullptr); }

    fakes::FakeGpuDevice* gpu = nullptr;
    platform::ClientSize client{1280, 720};
    classGraphicDevice holder;
};
