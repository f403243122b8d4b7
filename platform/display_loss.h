#pragma once
// The display can go away under a running game: its X server ends, or drops
// the connection. Xlib's own answer is exit() from whichever thread noticed,
// with the program's other threads still running, so the process aborts on a
// thread that was never joined and the player's files are never written.
// Instead the end the program gives it runs, which must not return (it writes
// the files and leaves the process): on a thread of its own when the loss met
// the window's connection, whose threads come back out of Xlib with a failed
// call and go on their way, letting go of what they hold; on the thread that
// noticed when it met another connection (SDL's own, for wake-ups), which
// cannot go back. A thread that meets another connection after that waits
// there until the process is gone. Whatever touches the display afterwards
// (presenting, drawing, a box, a wake-up of the UI thread) asks IsDisplayLost
// first and leaves it be.
//
// Threads: Install on the main thread before any other thread starts;
// IsDisplayLost anywhere.

namespace platform {

using DisplayLostEnd = void (*)();

// Takes effect for every connection video opens from then on.
void InstallDisplayLossHandler(DisplayLostEnd end);
bool IsDisplayLost();

}  // namespace platform
