// The UI thread's cost per window message: the key-state update and the offer
// to the waiters, with nobody waiting (the common case while text plays) and
// with a script thread blocked on a choice of many cases whose hover test runs
// on every mouse move.
//
//   bench_input_dispatch
//   bench_input_dispatch --benchmark_filter=Hover
#include <benchmark/benchmark.h>

#include <future>
#include <map>
#include <thread>

#include "foundation/application.h"
#include "foundation/input_links.h"
#include "foundation/input_manager.h"
#include "platform/window_messages.h"
#include "tests/support/fake_window.h"

namespace {

using namespace platform;

// Every case is a 100 x 40 object, laid out in a column.
class ColumnScene final : public classInputSceneQuery {
  public:
    bool LookUp(const std::vector<int64>& path, InputObjectInfo& out) override {
        if (path.size() != 1 || path[0] < 0 || path[0] >= 64) return false;
        out.hasTexture = true;
        out.textureWidth = 100;
        out.textureHeight = 40;
        out.hitX = 0.0f;
        out.hitY = 300.0f - 45.0f * static_cast<float>(path[0]);
        return true;
    }
};

class NullSink final : public classInputQueueSink {
  public:
    void Post(classQueue*, const InputCaseRecord&) override {}
    void Commit(classQueue*) override {}
};

void KeyMessagesWithNobodyWaiting(benchmark::State& state) {
    g_inputManager.ResetForTest();
    for (int i = 0; i < 3; ++i) g_inputManager.AddWaiter(i);
    u64 key = 'A';
    for (auto _ : state) {
        g_inputManager.OnWindowMessage(nullptr, WM_KEYDOWN, key, 0);
        g_inputManager.OnWindowMessage(nullptr, WM_KEYUP, key, 0);
        key = key == 'Z' ? 'A' : key + 1;
    }
    state.SetItemsProcessed(state.iterations() * 2);
    g_inputManager.ResetForTest();
}
BENCHMARK(KeyMessagesWithNobodyWaiting);

void HoverOverAChoice(benchmark::State& state) {
    InitApplication();
    ColumnScene scene;
    NullSink sink;
    SetInputSceneQuery(&scene);
    SetInputQueueSink(&sink);
    g_inputManager.ResetForTest();
    classInputWaiter* waiter = g_inputManager.AddWaiter(0);
    const int cases = static_cast<int>(state.range(0));
    for (int i = 0; i < cases; ++i) {
        classInputTarget* target = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
        target->region = {i};
        target->moveOn = 1;
        target->caseStrings[1] = "normal.png";
        target->caseStrings[2] = "select.png";
    }
    // A client area the size of the logical screen: points map one to one.
    fakes::FakeWindow window;
    window.Create("", 1280, 720);
    GetApplication()->logicalWidth = 1280;
    GetApplication()->logicalHeight = 720;
    GetApplication()->windowHandle = &window;
    auto blocked = std::async(std::launch::async, [waiter] { return waiter->Wait(-1); });
    while (!waiter->IsWaiting()) std::this_thread::yield();
    int y = 0;
    for (auto _ : state) {
        g_inputManager.OnWindowMessage(nullptr, WM_MOUSEMOVE, 0, MakePointParam(640, y));
        y = (y + 7) % 720;
    }
    state.SetItemsProcessed(state.iterations());
    g_inputManager.WakeAllWaiters();
    blocked.wait();
    g_inputManager.ResetForTest();
    SetInputSceneQuery(nullptr);
    SetInputQueueSink(nullptr);
    GetApplication()->windowHandle = nullptr;
    ShutdownApplication();
}
BENCHMARK(HoverOverAChoice)->Arg(4)->Arg(16)->Arg(64);

}  // namespace
