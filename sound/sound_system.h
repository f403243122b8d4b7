#pragma once
// Start and end of the sound subsystem, and its one lock.
//
// Lock order: the application lock, then the command-queue lock, then the
// sound update thread's slot lock, then g_soundLock, then the mixer's own
// lock (a leaf inside the platform layer).

#include "foundation/critical_section.h"

// Guards every layer, group and source of every sound manager.
extern classCriticalSection g_soundLock;

// Render thread: opens the output and starts the sound update thread whatever
// the outcome. True when sound is audible or at least timed: without a device
// a null sink consumes in real time, so voices still end.
bool InitSoundSystem();
bool InitDirectSound();
// Render thread: stops and joins the update thread, then closes the output.
void ShutdownSoundSystem();

// Fills the subsystem hooks and makes the application's sound manager with it.
void RegisterSoundSubsystem();
