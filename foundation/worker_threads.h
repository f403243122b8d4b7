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
