#include "script/script_host.h"

#include "foundation/application.h"

namespace {
// Never destroyed: contexts with static storage reset themselves at exit and
// still ask the host, whatever order the statics of other files go in.
classScriptHost& ApplicationHost() {
    static classScriptHost* const host = new classScriptHost();
    return *host;
}
std::atomic<classScriptHost*> g_installedHost{nullptr};
std::atomic<InterruptSnapshotWriter> g_snapshotWriter{nullptr};
}  // namespace

std::atomic<bool> g_autoSnapshotTaken{false};

bool classScriptHost::IsQuitting() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->IsQuitting();
}

bool classScriptHost::IsQuitRequested() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->quitRequested.load() != 0;
}

bool classScriptHost::IsRestartRequested() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->restartRequested.load() != 0;
}

u32 classScriptHost::GetRestartGeneration() const {
    const classApplication* app = GetApplication();
    return app != nullptr ? app->restartGeneration.load() : 0;
}

bool classScriptHost::IsCtrlSkip() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->IsCtrlSkip();
}

bool classScriptHost::IsSkipPlaying() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->skipPlaying.load() == 1;
}

bool classScriptHost::IsSkipAlreadyOnly() const {
    const classApplication* app = GetApplication();
    return app != nullptr && app->skipAlreadyOnly.load() == 1;
}

classScriptContext* classScriptHost::GetMainScriptContext() const {
    const classApplication* app = GetApplication();
    return app != nullptr ? app->mainScriptContext : nullptr;
}

bool classScriptHost::TakeInterruptSnapshot() {
    InterruptSnapshotWriter writer = g_snapshotWriter.load();
    return writer != nullptr && writer();
}

void SetInterruptSnapshotWriter(InterruptSnapshotWriter writer) {
    g_snapshotWriter.store(writer);
}
InterruptSnapshotWriter GetInterruptSnapshotWriter() {
    return g_snapshotWriter.load();
}

classScriptHost& GetScriptHost() {
    classScriptHost* host = g_installedHost.load(std::memory_order_acquire);
    return host != nullptr ? *host : ApplicationHost();
}

void SetScriptHost(classScriptHost* host) {
    g_installedHost.store(host, std::memory_order_release);
}
