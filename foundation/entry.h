#pragma once
// The program's entry and its start-up and shut-down order.

#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

// The outside world the entry function works in; tests replace parts of it.
struct EntryEnvironment {
    // Makes the (not yet opened) main window.
    std::function<std::unique_ptr<platform::Window>()> createWindow;
    // The working directory the single-instance lock is named from; empty: the current one.
    std::string workingDirectory;
    // Where the lock file goes; empty: the per-user default.
    std::string lockDirectory;
    // How long shut-down waits, beyond the usual second, for a thread that
    // has not stopped before it gives up on it and leaves the process at once.
    unsigned generousStopMs = 10000;
};

// Start-up, message loop, shut-down; returns the process exit code.
int RunApplication(const EntryEnvironment& environment);

// The real program: SDL window and message boxes.
int WinMain();
