#pragma once
// Stand-ins for what the input code asks of the presentation layer (a scene
// to look objects up in, a queue to post case records to) and a fixture that
// gives each test an application with a fake window, the fakes installed and
// a clean input manager. Script threads are real threads blocked in Wait.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/application.h"
#include "foundation/input_links.h"
#include "foundation/input_manager.h"
#include "support/fake_window.h"

namespace fakes {

class FakeInputScene final : public classInputSceneQuery {
  public:
    bool LookUp(const std::vector<int64>& path, InputObjectInfo& out) override {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = objects_.find(path);
        if (it == objects_.end()) return false;
        out = it->second;
        return true;
    }
    // An object with a texture of w x h whose hitOffset is (x, y).
    void Put(const std::vector<int64>& path, int64 w, int64 h, float x, float y, bool hidden = false) {
        InputObjectInfo info;
        info.hasTexture = true;
        info.textureWidth = w;
        info.textureHeight = h;
        info.hitX = x;
        info.hitY = y;
        info.hiddenInTree = hidden;
        Put(path, info);
    }
    void Put(const std::vector<int64>& path, const InputObjectInfo& info) {
        std::lock_guard<std::mutex> hold(mutex_);
        objects_[path] = info;
    }
    void Remove(const std::vector<int64>& path) {
        std::lock_guard<std::mutex> hold(mutex_);
        objects_.erase(path);
    }

  private:
    std::mutex mutex_;
    std::map<std::vector<int64>, InputObjectInfo> objects_;  // guarded by mutex_
};

class FakeInputQueue final : public classInputQueueSink {
  public:
    void Post(classQueue*, const InputCaseRecord& record) override {
        std::lock_guard<std::mutex> hold(mutex_);
        posted_.push_back(record);
    }
    void Commit(classQueue*) override { commits.fetch_add(1); }
    std::vector<InputCaseRecord> Take() {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<InputCaseRecord> out;
        out.swap(posted_);
        return out;
    }
    std::atomic<int> commits{0};

  private:
    std::mutex mutex_;
    std::vector<InputCaseRecord> posted_;  // guarded by mutex_
};

// A script thread blocked in one Wait.
class BlockedWait {
  public:
    BlockedWait(classInputWaiter* waiter, int64 timeoutMs)
        : waiter_(waiter),
          result_(std::async(std::launch::async, [waiter, timeoutMs] { return waiter->Wait(timeoutMs); })) {
        // The UI side only offers messages to a waiter that is in its wait.
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!waiter->IsWaiting() && std::chrono::steady_clock::now() < end &&
               result_.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // A wait the test left blocked is released, so it may wait without limit.
    ~BlockedWait() {
        if (!result_.valid()) return;
        if (result_.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) waiter_->Wake();
        result_.wait();
    }
    bool Returned(std::chrono::milliseconds within = std::chrono::milliseconds(2000)) {
        return result_.wait_for(within) == std::future_status::ready;
    }
    classInputTarget* Result() { return result_.get(); }

  private:
    classInputWaiter* waiter_;
    std::future<classInputTarget*> result_;
};

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->logicalWidth = 1280;
        app->logicalHeight = 720;
        SetClient(1280, 720);
        app->windowHandle = &window;
        g_inputManager.ResetForTest();
        SetInputSceneQuery(&scene);
        SetInputQueueSink(&queue);
        SetInputInterruptTest(nullptr);
    }
    void TearDown() override {
        g_inputManager.ResetForTest();
        SetInputSceneQuery(nullptr);
        SetInputQueueSink(nullptr);
        SetInputInterruptTest(nullptr);
        app->windowHandle = nullptr;
        ShutdownApplication();
    }
    void SetClient(int width, int height) { window.Create("", width, height); }

    // The UI thread's side: one message through the input manager.
    static void Send(u32 message, u64 wParam = 0, int64 lParam = 0) {
        EXPECT_FALSE(g_inputManager.OnWindowMessage(nullptr, message, wParam, lParam));
    }
    static void KeyDown(u64 key, bool repeat = false) {
        Send(platform::WM_KEYDOWN, key, repeat ? platform::kPreviousDownBit : 0);
    }
    static void Click(int x, int y) {
        Send(platform::WM_LBUTTONDOWN, platform::MK_LBUTTON, platform::MakePointParam(x, y));
    }
    static void MoveTo(int x, int y) { Send(platform::WM_MOUSEMOVE, 0, platform::MakePointParam(x, y)); }

    classApplication* app = nullptr;
    FakeWindow window;
    FakeInputScene scene;
    FakeInputQueue queue;
};

}  // namespace fakes
