#pragma once
// The one place where the program plugs its subsystems together: every hook
// of the application frame and every service one layer offers another is
// installed here, at start-up, before any thread runs. Nothing registers
// itself from a static initialiser, so what the program runs with is what
// this list says. The platform's own process-wide pieces (signal handlers,
// message boxes) are the entry function's, installed and removed around the
// run.
void InstallServices();
