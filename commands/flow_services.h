#pragma once
// The backlog screen lives with the settings and title screens, outside the
// command layer; it installs itself here. Until it does, "History" returns at
// once.
//
// Threads: installed before the script threads start (or by a test); read by
// every script thread. The pointer is atomic.

class classScriptContext;

struct FlowCommandServices {
    // Runs the backlog screen on the calling script thread until the player
    // leaves it.
    void (*runBacklogScreen)(classScriptContext& context) = nullptr;
};

void SetFlowCommandServices(const FlowCommandServices& services);
FlowCommandServices GetFlowCommandServices();
