#include "presentation/graphic_device.h"

#include "foundation/subsystem_hooks.h"
#include "platform/clock.h"
#include "presentation/scene_draw.h"
#include "presentation/transition_draw.h"

namespace {

std::atomic<classGraphicDevice*> g_graphicDevice{nullptr};  // atomic: set on the UI thread, read anywhere

void CallHook(void (*hook)()) {
    if (hook != nullptr) hook();
}

}  // namespace

classDeviceObjectHooks& GetDeviceObjectHooks() {
    static classDeviceObjectHooks hooks;
    return hooks;
}

void SetGraphicDevice(classGraphicDevice* holder) {
    g_graphicDevice.store(holder, std::memory_order_release);
}
classGraphicDevice* GetGraphicDevice() {
    return g_graphicDevice.load(std::memory_order_acquire);
}

classGraphicDevice::classGraphicDevice() = default;

classGraphicDevice::~classGraphicDevice() {
    if (GetGraphicDevice() == this) SetGraphicDevice(nullptr);
    // The render thread released every GPU object when it ended; what is left
    // here is only forgotten, since no context is current on this thread.
}

bool classGraphicDevice::Setup(std::unique_ptr<platform::GpuDevice> gpu, ClientSizeSource clientSize, int32 w,
                               int32 h, u8 mode) {
    if (!HasDevice()) {
        gpu_ = std::move(gpu);
        clientSize_ = std::move(clientSize);
        width = w;
        height = h;
        cameraMode = mode;
    }
    return CreateDevice();
}

void classGraphicDevice::SetDisplaySizeSource(ClientSizeSource displaySize) {
    displaySize_ = std::move(displaySize);
}

classDeviceRect classGraphicDevice::DisplayRect() const {
    platform::ClientSize size = displaySize_ ? displaySize_() : platform::ClientSize{0, 0};
    // A display that cannot be asked is taken as the logical screen.
    if (size.width <= 0 || size.height <= 0) size = platform::ClientSize{width, height};
    return classDeviceRect{0, 0, size.width, size.height};
}

bool classGraphicDevice::Start() {
    // Binding the context is what tells whether this machine can draw at all.
    direct3DReady_ = gpu_ != nullptr && gpu_->Create(width, height);
    return direct3DReady_;
}

void classGraphicDevice::Stop() {
    classCriticalSectionLock hold(lock);
    ReleaseDevice();
    if (gpu_ != nullptr) gpu_->Release();
    direct3DReady_ = false;
}

bool classGraphicDevice::CreateDevice() {
    // Before the render thread has bound the device, set-up ends here; the
    // first frame creates it.
    if (!direct3DReady_ || gpu_ == nullptr) return true;
    monitorRect = DisplayRect();
    BuildPresentParameters();
    // A failure leaves no device; the next frame tries again.
    deviceCreated_ = (gpu_->IsCreated() || gpu_->Create(backBufferWidth, backBufferHeight)) &&
                     gpu_->Reset(backBufferWidth, backBufferHeight);
    redrawRequest_ = true;
    return true;
}

void classGraphicDevice::BuildPresentParameters() {
    BuildPresentParameters(fullScreen.GetRequested());
}

void classGraphicDevice::BuildPresentParameters(u8 requested) {
    // From the requested state: this runs before a reset carries it out.
    if (requested == 1) {
        backBufferWidth = monitorRect.right - monitorRect.left;
        backBufferHeight = monitorRect.bottom - monitorRect.top;
        return;
    }
    backBufferWidth = width;
    backBufferHeight = height;
    classDeviceRect client;
    if (GetClientRect(&client, 0)) {
        // A window shrunk below half the logical size keeps the logical back buffer.
        if (client.right - client.left > width / 2) backBufferWidth = client.right - client.left;
        if (client.bottom - client.top > height / 2) backBufferHeight = client.bottom - client.top;
    }
}

bool classGraphicDevice::GetClientRect(classDeviceRect* out, u8 refresh) {
    if (!clientCacheValid_.load(std::memory_order_acquire) || refresh == 1) {
        if (!clientSize_) return false;
        platform::ClientSize size = clientSize_();
        if (size.width < 0 || size.height < 0) return false;
        clientCache_.store(
            (static_cast<u64>(static_cast<u32>(size.width)) << 32) | static_cast<u32>(size.height),
            std::memory_order_release);
        clientCacheValid_.store(true, std::memory_order_release);
    }
    u64 packed = clientCache_.load(std::memory_order_acquire);
    if (out != nullptr) {
        *out =
            classDeviceRect{0, 0, static_cast<int32>(packed >> 32), static_cast<int32>(packed & 0xFFFFFFFFu)};
    }
    return true;
}

bool classGraphicDevice::IsDue(u32 deadline, u32 now) {
    // Past the deadline on a clock that wraps; not yet at the very millisecond.
    return static_cast<u32>(deadline - now) > static_cast<u32>(now - deadline);
}

bool classGraphicDevice::IsReady() {
    classCriticalSectionLock hold(lock);
    if (!HasDevice()) {
        CreateDevice();
        return false;
    }
    GetClientRect(nullptr, 1);
    if (deviceLost) {
        if (gpu_->CanReset()) {
            deviceLost = false;
            ArmResetDeadline(0);
        }
        return false;
    }
    u32 deadline = resetDeadline.load(std::memory_order_acquire);
    if (deadline != 0 && IsDue(deadline, platform::NowMs())) {
        // A deadline armed again meanwhile stays for the next frame.
        resetDeadline.compare_exchange_strong(deadline, 0, std::memory_order_acq_rel);
        Reset();
        return false;
    }
    return true;
}

bool classGraphicDevice::Reset() {
    u8 wanted = fullScreen.GetRequested();
    bool changing = wanted != fullScreen.GetCurrent();
    // The display the window is on now, which may not be the one it started on.
    if (changing && wanted == 1) monitorRect = DisplayRect();
    BuildPresentParameters(wanted);
    const classDeviceObjectHooks& hooks = GetDeviceObjectHooks();
    CallHook(hooks.releaseRenderTargetTiles);
    CallHook(hooks.releaseAllPixelShaders);
    ReleaseScenePicture();
    redrawRequest_ = true;
    if (gpu_ != nullptr && gpu_->Reset(backBufferWidth, backBufferHeight)) {
        if (changing && wanted == 0) restorePlacementRequest = true;
        if (changing) modeSwitchRequest = true;
        fullScreen.Apply(wanted);
        return true;
    }
    // A full-screen change that cannot be had is forgotten; the old state is
    // tried once more, and the window goes back to where it was.
    fullScreen.DropRequested(wanted);
    CallHook(hooks.releaseAllTiles);
    CallHook(hooks.releaseAllPixelShaders);
    if (resetInProgress_) return false;
    resetInProgress_ = true;
    Reset();
    resetInProgress_ = false;
    restorePlacementRequest = true;
    modeSwitchRequest = true;
    return false;
}

bool classGraphicDevice::ReleaseDevice() {
    if (!HasDevice()) return false;
    fullScreen.DropRequested();
    CallHook(GetDeviceObjectHooks().releaseAllTiles);
    CallHook(GetDeviceObjectHooks().releaseAllPixelShaders);
    ReleaseScenePicture();
    deviceCreated_ = false;
    return true;
}

bool classGraphicDevice::BeginFrame() {
    samePicture_ = false;
    presentThisFrame_ = HasDevice() && gpu_->BeginFrame();
    return presentThisFrame_;
}

bool classGraphicDevice::EndFrame() {
    if (!HasDevice() || !presentThisFrame_) return false;
    presentThisFrame_ = false;
    if (gpu_->Present()) return true;
    deviceLost = true;
    return false;
}

bool classGraphicDevice::TakeRedrawRequest() {
    bool repaint = HasDevice() && gpu_->TakeRepaintRequest();
    bool forced = redrawRequest_;
    redrawRequest_ = false;
    return forced || repaint;
}

void classGraphicDevice::RequestFullScreen(bool on) {
    fullScreen.SetRequested(on ? 1 : 0);
    if (fullScreen.IsChanged()) ArmResetDeadline(0);
}

void classGraphicDevice::ArmResetDeadline(u32 milliseconds) {
    u32 deadline = platform::NowMs() + milliseconds;
    // 0 means "none", so a sum that lands on it is moved by one millisecond.
    resetDeadline.store(deadline == 0 ? 0xFFFFFFFFu : deadline, std::memory_order_release);
}

bool classGraphicDevice::TakeModeSwitchRequest() {
    bool taken = modeSwitchRequest;
    modeSwitchRequest = false;
    return taken;
}

bool classGraphicDevice::TakeRestorePlacementRequest() {
    bool taken = restorePlacementRequest;
    restorePlacementRequest = false;
    return taken;
}

bool classGraphicDevice::SetView(const platform::GpuMatrix& matrix) {
    if (!HasDevice()) return false;
    view = matrix;
    gpu_->SetTransform(platform::GpuTransform::View, matrix);
    return true;
}

bool classGraphicDevice::SetProjection(const platform::GpuMatrix& matrix) {
    if (!HasDevice()) return false;
    projection = matrix;
    gpu_->SetTransform(platform::GpuTransform::Projection, matrix);
    return true;
}

std::unique_ptr<FrameDevice> CreateGraphicFrameDevice(platform::Window& window, int logicalWidth,
                                                      int logicalHeight) {
    auto holder = std::make_unique<classGraphicDevice>();
    platform::Window* source = &window;
    holder->SetDisplaySizeSource([source] { return source->GetDisplaySize(); });
    holder->Setup(
        platform::CreateGlDevice(window.CreateRenderSurface(logicalWidth, logicalHeight)),
        [source] { return source->GetClientSize(); }, logicalWidth, logicalHeight, 0);
    SetGraphicDevice(holder.get());
    return holder;
}

void RegisterGraphicDeviceSubsystem() {
    GetSubsystemHooks().createFrameDevice = CreateGraphicFrameDevice;
    RegisterSceneDrawSubsystem();
}
