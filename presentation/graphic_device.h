#pragma once
// The one graphics device of the program and everything that decides when it
// is created, reset, lost and switched between window and full screen. It is
// set up with the main window on the UI thread; the render thread binds it
// when it starts, creates it on its first frame (which therefore draws
// nothing) and runs due resets between frames, never in the middle of one.
//
// Threads: IsReady, BeginFrame, EndFrame, Reset and all drawing run on the
// render thread under the device lock (lock order: application, command
// queue, device). RequestFullScreen and ArmResetDeadline come from the UI or a
// script thread and only touch atomics. The client rectangle cache is atomic.

#include <atomic>
#include <functional>
#include <memory>

#include "foundation/critical_section.h"
#include "foundation/flag_pair.h"
#include "foundation/frame_device.h"
#include "foundation/types.h"
#include "platform/gpu_device.h"
#include "platform/window.h"

struct classDeviceRect {
    int32 left = 0;
    int32 top = 0;
    int32 right = 0;
    int32 bottom = 0;
};

// What the shared resources and the shader registry free when the device is
// reset or released. Set once by those subsystems before any thread starts.
struct classDeviceObjectHooks {
    void (*releaseRenderTargetTiles)() = nullptr;  // screen-size captures, re-made when next used
    void (*releaseAllTiles)() = nullptr;           // every realised texture
    void (*releaseAllPixelShaders)() = nullptr;    // shader objects; entries and counts stay
};
classDeviceObjectHooks& GetDeviceObjectHooks();

class classGraphicDevice final : public FrameDevice {
  public:
    // `clientSize` reports the window's client area in pixels (any thread).
    using ClientSizeSource = std::function<platform::ClientSize()>;

    classGraphicDevice();
    ~classGraphicDevice() override;

    static classGraphicDevice* Create() { return new classGraphicDevice(); }
    static void Destroy(classGraphicDevice* holder) { delete holder; }

    // UI thread, once: the device, the client-area source and the logical size.
    bool Setup(std::unique_ptr<platform::GpuDevice> gpu, ClientSizeSource clientSize, int32 width,
               int32 height, u8 cameraMode);

    // FrameDevice.
    bool Start() override;
    void Stop() override;
    bool IsReady() override;
    bool BeginFrame() override;
    bool EndFrame() override;
    bool ShowedTheSamePicture() const override { return samePicture_; }
    void RequestFullScreen(bool fullScreen) override;
    bool IsFullScreen() const override { return fullScreen.GetCurrent() == 1; }
    bool IsFullScreenRequested() const override { return fullScreen.GetRequested() == 1; }
    void ArmResetDeadline(u32 milliseconds) override;
    bool TakeModeSwitchRequest() override;
    bool TakeRestorePlacementRequest() override;

    classCriticalSection& GetLock() { return lock; }
    // The client rectangle, from the cache unless `refresh` is 1; false when it cannot be read.
    bool GetClientRect(classDeviceRect* out, u8 refresh);
    bool SetView(const platform::GpuMatrix& matrix);
    // Render thread, inside a frame: the picture must be drawn again although
    // the scene may be unchanged (a new or reset device, a window that lost
    // its picture). Taken once.
    bool TakeRedrawRequest();
    // Render thread, inside a frame: nothing visible changed, so the frame
    // ends without presenting; the window keeps the picture it shows.
    void SkipPresent() { presentThisFrame_ = false; }
    // Render thread, inside a frame: what it draws looks as the last drawn
    // frame did (records ran, but none changed anything to be seen).
    void NoteSamePicture() { samePicture_ = true; }
    bool SetProjection(const platform::GpuMatrix& matrix);

    // Render thread: the device to draw with, null while there is none.
    platform::GpuDevice* GetDevice() { return HasDevice() ? gpu_.get() : nullptr; }
    bool HasDevice() const { return direct3DReady_ && deviceCreated_; }
    // UI thread, before the render thread starts: where the size of the
    // display that full screen covers comes from (the logical size without one).
    void SetDisplaySizeSource(ClientSizeSource displaySize);

    int32 GetWidth() const { return width; }
    int32 GetHeight() const { return height; }
    int32 GetBackBufferWidth() const { return backBufferWidth; }
    int32 GetBackBufferHeight() const { return backBufferHeight; }
    u32 GetResetDeadline() const { return resetDeadline.load(std::memory_order_acquire); }
    bool IsDeviceLost() const { return deviceLost; }
    const platform::GpuMatrix& GetView() const { return view; }
    const platform::GpuMatrix& GetProjection() const { return projection; }

    // The holder's steps, public for the render frame and for tests.
    bool CreateDevice();
    void BuildPresentParameters();
    bool Reset();
    bool ReleaseDevice();

    classFlagPair fullScreen;  // atomic pair: requested by any thread, applied by the render thread

  private:
    static bool IsDue(u32 deadline, u32 now);
    classDeviceRect DisplayRect() const;
    void BuildPresentParameters(u8 requested);

    std::unique_ptr<platform::GpuDevice> gpu_;  // render thread only after Setup
    ClientSizeSource clientSize_;               // set once in Setup
    bool direct3DReady_ = false;                // render thread only
    bool deviceCreated_ = false;                // render thread only
    u8 cameraMode = 0;
    int32 width = 0;  // the logical screen, set once in Setup
    int32 height = 0;
    ClientSizeSource displaySize_;      // set once before the render thread starts
    classDeviceRect monitorRect;        // render thread only
    std::atomic<u32> resetDeadline{0};  // atomic: armed by the UI/script threads, taken by the render thread
    bool modeSwitchRequest = false;     // render thread only
    bool restorePlacementRequest = false;  // render thread only
    bool deviceLost = false;               // render thread only
    bool resetInProgress_ = false;         // render thread only: guards the one retry of a failed reset
    bool redrawRequest_ = true;            // render thread only
    bool presentThisFrame_ = false;        // render thread only
    bool samePicture_ = false;             // render thread only
    int32 backBufferWidth = 0;             // render thread only
    int32 backBufferHeight = 0;
    platform::GpuMatrix view;        // render thread only
    platform::GpuMatrix projection;  // render thread only
    classCriticalSection lock;       // the device lock
    // The client rectangle cache: width and height packed into one atomic,
    // so a reader never sees the halves of two different sizes.
    std::atomic<u64> clientCache_{0};
    std::atomic<bool> clientCacheValid_{false};
};

void SetGraphicDevice(classGraphicDevice* holder);
classGraphicDevice* GetGraphicDevice();

// The createFrameDevice hook: the GL device over the window's render surface.
std::unique_ptr<FrameDevice> CreateGraphicFrameDevice(platform::Window& window, int logicalWidth,
                                                      int logicalHeight);
// Plugs the device holder and the scene drawing into the program's start-up.
void RegisterGraphicDeviceSubsystem();
