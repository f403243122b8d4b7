#pragma once
// What the statement executor needs from the running program: the stop flags
// every run loop polls, the skip settings, which context is the main one, and
// the automatic snapshot taken when the main script enters an interrupt.
// Unless another host is installed (tests do), the application object answers
// them while it exists, and "nothing requested" is the answer without one.
// Input waiters ask the quit and restart flags too, on any thread and under
// their own leaf lock, so those answers take no lock.

#include <atomic>

#include "foundation/types.h"

class classScriptContext;

class classScriptHost {
  public:
    virtual ~classScriptHost() = default;

    // The message loop has ended or the window is gone.
    virtual bool IsQuitting() const;
    // "Quit" or the window's destruction asked every script to stop.
    virtual bool IsQuitRequested() const;
    // A restart or a play-data load is pending.
    virtual bool IsRestartRequested() const;
    // Changes each time a restart is taken up; a run compares it with the
    // value it began with.
    virtual u32 GetRestartGeneration() const;
    // Ctrl is held while our window has the focus.
    virtual bool IsCtrlSkip() const;
    // "SystemControl.SkipPlaying" is on.
    virtual bool IsSkipPlaying() const;
    // Skipping passes only statements already read.
    virtual bool IsSkipAlreadyOnly() const;
    // The context of the start-up script thread; only it takes snapshots.
    virtual classScriptContext* GetMainScriptContext() const;
    // Writes "save----.dat" in the per-user folder through the main queue and
    // waits for the frame that writes it. Called on each interrupt entry of
    // the main script, on the main script thread, with no engine lock held,
    // and again at its next statement while it gives false (no snapshot was
    // written: a skip to the next choice holds commits back).
    virtual bool TakeInterruptSnapshot();
};

// The play-data side fills this in: post the DataSave of "save----.dat" to
// the main queue, commit it and wait for the frame that writes it. Until
// then the default host takes no snapshot.
using InterruptSnapshotWriter = bool (*)();
void SetInterruptSnapshotWriter(InterruptSnapshotWriter writer);
InterruptSnapshotWriter GetInterruptSnapshotWriter();

// The host in use; never null. Installing null restores the quiet default.
// The pointer is atomic: the application installs its host before the script
// threads start and removes it after they have been joined.
classScriptHost& GetScriptHost();
void SetScriptHost(classScriptHost* host);

// Set once the main context has taken the snapshot for the interrupt it is
// in; cleared by the first main-context statement outside an interrupt and by
// the main context's reset. The play-data writer reads it from the render
// thread, hence atomic.
extern std::atomic<bool> g_autoSnapshotTaken;
