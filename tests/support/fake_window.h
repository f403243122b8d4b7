#pragma once
// In-memory stand-ins for the window and the device holder, so the window
// procedure, the message loop and the frame loop run without a display.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/frame_device.h"
#include "platform/dialog.h"
#include "platform/window.h"

namespace fakes {

// A window whose messages come from PostMessage (any thread) and whose
// operations are recorded. WaitMessage blocks like the real one.
class FakeWindow final : public platform::Window {
public:
    bool createResult = true;

    bool Create(const std::string& title, int width, int height) override {
        std::lock_guard<std::mutex> hold(mutex_);
        created_ = true;
        width_ = width;
        height_ = height;
        return createResult;
    }
    bool WaitMessage(platform::WindowMessage& message) override {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> hold(mutex_);
            changed_.wait(hold, [this] { return !messages_.empty() || !tasks_.empty(); });
            if (!tasks_.empty()) {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            } else {
                message = messages_.front();
                messages_.pop_front();
                return true;
            }
        }
        task();
        return false;
    }
    void SetTitle(const std::string& title) override {
        std::lock_guard<std::mutex> hold(mutex_);
        log_.push_back("title " + title);
    }
    bool SetIcon(u32 number) override {
        std::lock_guard<std::mutex> hold(mutex_);
        log_.push_back("icon " + std::to_string(number));
        return true;
    }
    void SetFullScreen(bool fullScreen) override {
        std::lock_guard<std::mutex> hold(mutex_);
        fullScreen_ = fullScreen;
        log_.push_back(fullScreen ? "fullscreen" : "windowed");
    }
    void RestorePlacement(int width, int height) override {
        std::lock_guard<std::mutex> hold(mutex_);
        fullScreen_ = false;
        log_.push_back("restore " + std::to_string(width) + "x" + std::to_string(height));
    }
    void Show(bool show) override {
        std::lock_guard<std::mutex> hold(mutex_);
        log_.push_back(show ? "show" : "hide");
    }
    void SetCursorImage(std::shared_ptr<const platform::CursorImage>) override {}
    void ApplyCursor() override { cursorApplied.fetch_add(1); }
    void PostMessage(const platform::WindowMessage& message) override {
        // Notified under the lock: the loop may destroy the window as soon as it sees the message.
        std::lock_guard<std::mutex> hold(mutex_);
        messages_.push_back(message);
        changed_.notify_all();
    }
    void PostTask(std::function<void()> task) override {
        std::lock_guard<std::mutex> hold(mutex_);
        tasks_.push_back(std::move(task));
        changed_.notify_all();
    }
    platform::ClientSize GetClientSize() const override { return {width_, height_}; }
    platform::ClientSize GetDisplaySize() const override { return {displayWidth.load(), displayHeight.load()}; }
    bool HasFocus() const override { return focus.load(); }
    bool IsFullScreen() const override {
        std::lock_guard<std::mutex> hold(mutex_);
        return fullScreen_;
    }
    std::unique_ptr<platform::RenderSurface> CreateRenderSurface(int, int) override { return nullptr; }

    std::vector<std::string> Log() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return log_;
    }

    std::atomic<bool> focus{true};
    std::atomic<int> displayWidth{1920};
    std::atomic<int> displayHeight{1080};
    std::atomic<int> cursorApplied{0};

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<platform::WindowMessage> messages_;  // guarded by mutex_
    std::deque<std::function<void()>> tasks_;       // guarded by mutex_
    std::vector<std::string> log_;                  // guarded by mutex_
    bool created_ = false;                          // guarded by mutex_
    bool fullScreen_ = false;                       // guarded by mutex_
    int width_ = 0;
    int height_ = 0;
};

// A device that is always ready and counts what the frame asks of it.
class FakeDevice final : public FrameDevice {
public:
    bool startResult = true;
    // Whether a frame's picture reaches the window; false is a screen that stands still.
    std::atomic<bool> shows{true};
    // Whether a frame shown is the picture it showed before (nothing moved).
    std::atomic<bool> samePicture{false};
    std::atomic<int> frames{0};
    std::atomic<int> resetsArmed{0};
    std::atomic<bool> stopped{false};

    bool Start() override { return startResult; }
    void Stop() override { stopped = true; }
    bool IsReady() override {
        u8 wanted = requested_.load();
        if (wanted != current_.load()) {
            current_ = wanted;
            modeSwitch_ = true;
            if (wanted == 0) restore_ = true;
        }
        return true;
    }
    bool BeginFrame() override { return true; }
    bool EndFrame() override {
        frames.fetch_add(1);
        return shows.load();
    }
    bool ShowedTheSamePicture() const override { return samePicture.load(); }
    void RequestFullScreen(bool fullScreen) override { requested_ = fullScreen ? 1 : 0; }
    bool IsFullScreen() const override { return current_.load() == 1; }
    bool IsFullScreenRequested() const override { return requested_.load() == 1; }
    u8 RequestedFullScreen() const { return requested_.load(); }
    void ArmResetDeadline(u32) override { resetsArmed.fetch_add(1); }
    bool TakeModeSwitchRequest() override { return std::exchange(modeSwitch_, false); }
    bool TakeRestorePlacementRequest() override { return std::exchange(restore_, false); }

private:
    std::atomic<u8> requested_{0};
    std::atomic<u8> current_{0};
    bool modeSwitch_ = false;  // render thread only
    bool restore_ = false;     // render thread only
};

// Records every box as "caption|text", a box with the warning sign as
// "[!] caption|text", and answers like a headless run.
class RecordingDialogs final : public platform::DialogService {
public:
    platform::DialogAnswer Show(const std::string& caption, const std::string& text,
                                platform::DialogButtons buttons, platform::DialogIcon icon) override {
        std::lock_guard<std::mutex> hold(mutex_);
        shown_.push_back((icon == platform::DialogIcon::Warning ? "[!] " : "") + caption + "|" + text);
        return platform::HeadlessAnswer(buttons);
    }
    std::vector<std::string> Shown() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> shown_;  // guarded by mutex_
};

}  // namespace fakes
