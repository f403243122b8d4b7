#include <atomic>

#include "foundation/flag_pair.h"
#include "foundation/frame_device.h"
#include "platform/window.h"

namespace {

// With no scene to draw, a frame only has to show the black logical screen
// when the window lost its picture; every other frame is counted but neither
// drawn nor presented, which keeps an idle game from costing a core.
class BasicFrameDevice final : public FrameDevice {
public:
    explicit BasicFrameDevice(std::unique_ptr<platform::RenderSurface> surface) : surface_(std::move(surface)) {}

    bool Start() override { return surface_ != nullptr && surface_->MakeCurrent(); }
    void Stop() override {
        if (surface_) surface_->Release();
    }

    bool IsReady() override {
        if (fullScreen_.IsChanged()) {
            u8 wanted = fullScreen_.GetRequested();
            bool leaving = fullScreen_.GetCurrent() == 1 && wanted == 0;
            fullScreen_.Apply(wanted);
            modeSwitch_ = true;
            if (leaving) restorePlacement_ = true;
        }
        return true;
    }

    bool BeginFrame() override {
        drawing_ = surface_->TakeRepaintRequest();
        if (drawing_) surface_->BeginFrame();
        return drawing_;
    }

    bool EndFrame() override {
        bool shown = drawing_;
        if (drawing_) surface_->Present();
        drawing_ = false;
        return shown;
    }

    void RequestFullScreen(bool fullScreen) override { fullScreen_.SetRequested(fullScreen ? 1 : 0); }
    bool IsFullScreen() const override { return fullScreen_.GetCurrent() == 1; }
    bool IsFullScreenRequested() const override { return fullScreen_.GetRequested() == 1; }
    // The back buffer keeps the logical size whatever the window does; the
    // window's new size reaches the presenter directly.
    void ArmResetDeadline(u32) override {}

    bool TakeModeSwitchRequest() override {
        bool taken = modeSwitch_;
        modeSwitch_ = false;
        return taken;
    }
    bool TakeRestorePlacementRequest() override {
        bool taken = restorePlacement_;
        restorePlacement_ = false;
        return taken;
    }

private:
    std::unique_ptr<platform::RenderSurface> surface_;  // render thread only after Start
    classFlagPair fullScreen_;                          // atomic pair: requested anywhere, applied by the render thread
    bool modeSwitch_ = false;                           // render thread only
    bool restorePlacement_ = false;                     // render thread only
    bool drawing_ = false;                              // render thread only
};

}  // namespace

std::unique_ptr<FrameDevice> CreateBasicFrameDevice(std::unique_ptr<platform::RenderSurface> surface) {
    return std::make_unique<BasicFrameDevice>(std::move(surface));
}
