#pragma once
// The program's thread holders, built before the entry function runs. The
// render thread's routine is ours; the script threads' routines come from the
// script subsystem (the start-up thread has a stand-in until then).

#include "foundation/worker_thread.h"

extern classWorkerThread g_renderThread;
extern classWorkerThread g_startupScriptThread;
extern classWorkerThread g_functionScriptThread;
extern classWorkerThread g_exitFunctionScriptThread;

// The render thread's routine: starts the device and the sound system, runs
// paced frames until its stop request, then posts WM_DESTROY.
u32 RenderThreadProc(void* argument);

// Any thread: records were committed for the render thread.
void NoteCommittedRecords();
// Any thread: what a frame held back for is ready (a picture decoded); a
// screen that stands still starts its next frame at once.
void WakeRenderThread();
// A script thread about to wait (for a frame, for the player, for a time):
// when records are committed and not yet run, a screen that stands still
// shows them at once instead of at its next scheduled frame. Only a waiting
// thread asks: a script step commits more than once on its way (the wait it
// ends, the picture, the transition), and a frame let in half-way through
// would show a part of it and restart the clock a transition counts from.
void ShowCommittedRecords();
