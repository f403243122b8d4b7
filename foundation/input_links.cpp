#include "foundation/input_links.h"

#include <atomic>

#include "foundation/application.h"
#include "script/script_context.h"

namespace {

// Atomic: installed before the threads start, but tests swap them between cases.
std::atomic<classInputSceneQuery*> g_sceneQuery{nullptr};
std::atomic<classInputQueueSink*> g_queueSink{nullptr};
std::atomic<InputInterruptTest> g_interruptTest{nullptr};

}  // namespace

void SetInputSceneQuery(classInputSceneQuery* query) {
    g_sceneQuery.store(query);
}
void SetInputQueueSink(classInputQueueSink* sink) {
    g_queueSink.store(sink);
}
classInputSceneQuery* GetInputSceneQuery() {
    return g_sceneQuery.load();
}
classInputQueueSink* GetInputQueueSink() {
    return g_queueSink.load();
}
void SetInputInterruptTest(InputInterruptTest test) {
    g_interruptTest.store(test);
}

bool IsMainScriptInInterrupt() {
    InputInterruptTest test = g_interruptTest.load();
    if (test != nullptr) return test();
    classApplication* application = GetApplication();
    if (application == nullptr || application->mainScriptContext == nullptr) return false;
    return application->mainScriptContext->IsInInterrupt();
}
