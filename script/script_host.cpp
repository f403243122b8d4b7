#include "script/script_host.h"

#include "foundation/application.h"

namespace {
classScriptHost g_applicationHost;
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

void classScriptHost::TakeInterruptSnapshot() {
    if (InterruptSnapshotWriter writer = g_snapshotWriter.load()) writer();
}

void SetInterruptSnapshotWriter(InterruptSnapshotWriter writer) {
    g_snapshotWriter.store(writer);
}

classScriptHost& GetScriptHost() {
    classScriptHost* host = g_installedHost.load(std::memory_order_acquire);
    return host != nullptr ? *host : g_applicationHost;
}

void SetScriptHost(classScriptHost* host) {
    g_installedHost.store(host, std::memory_order_release);
}
