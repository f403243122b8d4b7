#include "foundation/worker_threads.h"

// Built before the entry function and destroyed after it; the entry function
// has stopped and joined each of them by then.
classWorkerThread g_renderThread(RenderThreadProc);
classWorkerThread g_startupScriptThread;
classWorkerThread g_functionScriptThread;
classWorkerThread g_exitFunctionScriptThread;
