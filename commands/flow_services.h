#pragma once
// What the sound, play-data and backlog commands need from the play-data
// files and the history store, which live outside the command layer. Those
// parts install their functions at start-up; until one is installed the
// command falls back to the plain behaviour noted beside each.
//
// Threads: installed before the script threads start (or by a test); read by
// every script thread. The pointers are atomic.

#include <string>

#include "foundation/types.h"

class classScriptContext;

struct FlowCommandServices {
    // The file of play-data slot `no`. Fallback: the application's data
    // folder followed by "save%4.4d.dat".
    std::string (*makePlayDataPath)(int64 no) = nullptr;
    // The index text stored in a slot file; false when it cannot be read.
    // Fallback: always false.
    bool (*readPlayDataIndex)(const std::string& path, std::string& index) = nullptr;
    // Starts a new backlog entry holding the one text given. Fallback: none.
    void (*appendHistoryEntry)(const std::string& text) = nullptr;
    // Empties the backlog. Fallback: none.
    void (*resetHistory)() = nullptr;
    // Runs the backlog screen on the calling script thread until the player
    // leaves it. Fallback: none.
    void (*runBacklogScreen)(classScriptContext& context) = nullptr;
};

void SetFlowCommandServices(const FlowCommandServices& services);
FlowCommandServices GetFlowCommandServices();

// The slot file through the installed service or the fallback above.
std::string MakePlayDataPath(int64 no);
