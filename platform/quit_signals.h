#pragma once
// SIGINT, SIGTERM and SIGHUP end the program the orderly way: the window gets
// its WM_DESTROY, every thread is joined and the system files are written. A
// terminal that closes (SIGHUP) is a player leaving like any other. A box that
// is open when the signal comes closes with its safe answer.
//
// Threads: Install and Uninstall on the main thread, before any other thread
// starts and after every one has been joined. QuitSignal anywhere.

namespace platform {

// Installs the handlers and a watcher thread that carries a signal to the UI
// thread (a handler may do almost nothing itself).
void InstallQuitSignals();
// Puts the default handlers back and joins the watcher.
void UninstallQuitSignals();
// The signal that asked the program to end, or 0.
int QuitSignal();

}  // namespace platform
