#pragma once
// The three script threads. The start-up (main) script thread runs the game:
// "Variable.qvs" to declare every name, then "Start.qvs" and whatever it
// jumps to, and it takes up each restart that a play-data load asks for. The
// Function and ExitFunction threads each run one fixed script over and over
// beside it, on contexts, input waiters and command queues of their own.
//
// A restart reaches every thread: the start-up thread raises the
// application's restart generation before it clears the restart flag, and a
// run or wait that began under the old generation ends even if it never saw
// the flag.

#include <mutex>
#include <string>

#include "foundation/types.h"

class classScriptContext;
class classWorkerThread;

// Serialises the set-up of the Function and ExitFunction threads.
extern std::mutex g_scriptThreadSetupLock;

// The context of the start-up script thread; the application's
// mainScriptContext points at it from start-up on.
extern classScriptContext g_mainScriptContext;

inline constexpr char kVariableScript[] = "Variable.qvs";
inline constexpr char kStartScript[] = "Start.qvs";
// "Restart" names the script in lower case. Already-read marks and saved
// frames are keyed by the name as written, so the two spellings stay apart.
inline constexpr char kRestartScript[] = "start.qvs";
inline constexpr char kFunctionScript[] = "system\\Function.qvs";
inline constexpr char kExitFunctionScript[] = "system\\ExitFunction.qvs";
inline constexpr char kPreDataLoadScript[] = "system\\PreDataLoad.qvs";
inline constexpr char kCursorFile[] = "system\\ceol.cur";

// One font the start-up thread registers in the glyph-set table before any
// script runs. A null face and a width of 0 keep the table's defaults.
struct StartupFont {
    int64 number;
    const char* face;  // UTF-8
    int64 size;
    int64 width;
};
inline constexpr StartupFont kStartupFonts[] = {
    {0, "メイリオ", 30, 0},      {1, nullptr, 20, 0},     {2, nullptr, 10, 0},
    {9, "ＭＳ ゴシック", 30, 0}, {10, nullptr, 190, 344},
};
// Where the start-up thread hands each of those fonts; the text layer
// installs the glyph-set table's registration here. Without one the fonts
// are left to the table's own defaults.
using StartupFontRegistrar = void (*)(const StartupFont& font);
void SetStartupFontRegistrar(StartupFontRegistrar registrar);
StartupFontRegistrar GetStartupFontRegistrar();

// Routines of g_startupScriptThread, g_functionScriptThread and
// g_exitFunctionScriptThread; the argument is the thread's own holder.
u32 StartupThreadProc(void* argument);
u32 FunctionThreadProc(void* argument);
u32 ExitFunctionThreadProc(void* argument);

// The start-up sequence and the restart loop, on the start-up thread. Stops
// the two Function threads it started before it returns.
void StartupScriptMain(classWorkerThread& self);
// Runs one fixed script again and again on a context of its own until the
// thread is asked to stop or the program quits.
u32 RunFixedScriptThread(classWorkerThread& self, const std::string& script, int64 priority);
// Sleeps in steps of 100 ms while a restart is pending; ends at once on a
// quit or on the thread's stop request.
void WaitWhileRestarting(classWorkerThread& self);

// True when the program is ending or a restart began after `generation`:
// every script wait tests this after each wake-up.
bool IsScriptWaitOver(u32 generation);
u32 CurrentRestartGeneration();

// Makes the application's main context ours and installs the script loader;
// run on the UI thread before any thread starts.
void PrepareScriptRuntime();
// Fills the start-up hooks of the script runtime.
void RegisterScriptSubsystem();
