#pragma once
// The display can go away under a running game: its X server ends, or drops
// the connection. Xlib's own answer is exit() from whichever thread noticed,
// with the program's other threads still running, so the process aborts on a
// thread that was never joined and the player's files are never written.
// Instead the first thread to notice runs the end the program gives it, which
// must not return (it writes the files and leaves the process); a thread that
// notices after it waits there until the process is gone. Whatever touches
// the display afterwards (presenting, a box, a wake-up of the UI thread) asks
// IsDisplayLost first and leaves it be.
//
// Threads: Install on the main thread before any other thread starts;
// IsDisplayLost anywhere.

namespace platform {

using DisplayLostEnd = void (*)();

// Takes effect for every connection video opens from then on.
void InstallDisplayLossHandler(DisplayLostEnd end);
bool IsDisplayLost();

}  // namespace platform
