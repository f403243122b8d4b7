#include "script/script_threads.h"

#include <atomic>
#include <chrono>
#include <memory>

#include "foundation/application.h"
#include "foundation/cursor_file.h"
#include "foundation/input_manager.h"
#include "foundation/report_once.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"
#include "presentation/command_queue.h"
#include "script/script_context.h"
#include "script/script_frame.h"
#include "script/script_host.h"

std::mutex g_scriptThreadSetupLock;
classScriptContext g_mainScriptContext;

namespace {

constexpr auto kRestartPollStep = std::chrono::milliseconds(100);
// A fixed script that ends without waiting would otherwise start over at
// once, forever; one frame's pause costs such a script nothing visible.
constexpr auto kPauseBetweenRuns = std::chrono::milliseconds(17);

// Installed before the threads start, read by the start-up thread.
std::atomic<StartupFontRegistrar> g_fontRegistrar{nullptr};

bool IsEnding() {
    const classScriptHost& host = GetScriptHost();
    return host.IsQuitting() || host.IsQuitRequested();
}

void RegisterStartupFonts() {
    StartupFontRegistrar registrar = g_fontRegistrar.load();
    if (registrar == nullptr) return;
    for (const StartupFont& font : kStartupFonts) registrar(font);
}

// Waits for a restart that begins after `generation`, a quit or a stop
// request: the fixed script could not be loaded, and loading it again before
// anything changed would only show the same error box again.
void WaitForNextRestart(classWorkerThread& self, u32 generation) {
    while (!self.IsStopRequested() && !IsEnding() && CurrentRestartGeneration() == generation) {
        if (self.SleepFor(kRestartPollStep)) return;
    }
}

}  // namespace

void SetStartupFontRegistrar(StartupFontRegistrar registrar) {
    g_fontRegistrar.store(registrar);
}
StartupFontRegistrar GetStartupFontRegistrar() {
    return g_fontRegistrar.load();
}

u32 CurrentRestartGeneration() {
    return GetScriptHost().GetRestartGeneration();
}

bool IsScriptWaitOver(u32 generation) {
    const classScriptHost& host = GetScriptHost();
    return IsEnding() || host.IsRestartRequested() || host.GetRestartGeneration() != generation;
}

void WaitWhileRestarting(classWorkerThread& self) {
    while (GetScriptHost().IsRestartRequested() && !IsEnding()) {
        if (self.SleepFor(kRestartPollStep)) return;
    }
}

u32 RunFixedScriptThread(classWorkerThread& self, const std::string& script, int64 priority) {
    // Its records are its own batch, released by its own commits; the
    // waiter made below takes the same mark for what the UI thread posts.
    const classQuePosterScope poster(static_cast<QuePoster>(priority));
    auto context = std::make_unique<classScriptContext>();
    std::unique_ptr<classInputWaiterHolder> waiter;
    std::unique_ptr<classQueue> queue;
    {
        std::lock_guard<std::mutex> hold(g_scriptThreadSetupLock);
        waiter = std::make_unique<classInputWaiterHolder>(priority);
        queue = std::make_unique<classQueue>();
        if (classInputWaiter* w = waiter->Get()) {
            // The player's input belongs to an interrupt of the main script
            // (the backlog, the settings) while one runs.
            w->standsAside = 1;
            w->queue = queue.get();
        }
        context->inputWaiter = waiter.get();
    }

    while (!self.IsStopRequested() && !IsEnding()) {
        const u32 generation = CurrentRestartGeneration();
        // Loaded outside the frame lock: a missing file may show its box.
        classScriptFrame frame(script);
        const bool loaded = frame.Tables().GetStatementCount() > 0;
        if (loaded) {
            context->PushLoadedFrame(std::move(frame));
            context->Run();
            // Nothing the run posted may wait in the main queue for ever: a
            // run that ended has finished its batch; one a load or a restart
            // cut short posted for the game that is gone.
            if (IsScriptWaitOver(generation))
                GetMainQueue()->DropUncommitted();
            else
                CommitQueue(GetMainQueue());
        }
        WaitWhileRestarting(self);
        context->Reset();
        if (!loaded)
            WaitForNextRestart(self, generation);
        else if (self.SleepFor(kPauseBetweenRuns))
            break;
    }

    queue->Shutdown();
    {
        std::lock_guard<std::mutex> hold(g_scriptThreadSetupLock);
        context->inputWaiter = nullptr;
        waiter.reset();
    }
    context.reset();
    queue.reset();
    return 1;
}

u32 FunctionThreadProc(void* argument) {
    return RunFixedScriptThread(*static_cast<classWorkerThread*>(argument), kFunctionScript, 1);
}

u32 ExitFunctionThreadProc(void* argument) {
    return RunFixedScriptThread(*static_cast<classWorkerThread*>(argument), kExitFunctionScript, 2);
}

void StartupScriptMain(classWorkerThread& self) {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    classScriptContext& context = g_mainScriptContext;

    RegisterStartupFonts();
    if (auto cursor = LoadCursorFromArchive(kCursorFile)) application->SetCursor(std::move(cursor));

    classInputWaiterHolder waiter(0);
    // A screen a side script opens has the player's input to itself.
    if (classInputWaiter* w = waiter.Get()) w->yieldsToSideScreens = 1;
    context.inputWaiter = &waiter;

    // Variable.qvs declares the names every later script uses: the
    // compiler's name lists outlive each compile.
    const std::string variableScript = kVariableScript;
    context.Run(&variableScript);

    if (!IsEnding() && !self.IsStopRequested()) {
        g_functionScriptThread.StartWithRoutine(FunctionThreadProc);
        g_exitFunctionScriptThread.StartWithRoutine(ExitFunctionThreadProc);
        classScriptFrame start(kStartScript);
        // Loaded or not, an empty game would close without a word.
        if (start.GetStatementCount() == 0)
            ReportOnce(classScriptOrigin{},
                       "the main script " + QuotedName(kStartScript) + " has nothing to run; the program ends");
        {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            context.frames.push_back(std::move(start));
        }
        context.Run();

        while (application->restartRequested.load() == 1 && !IsEnding() && !self.IsStopRequested()) {
            // The generation first: a thread that has not looked at the flag
            // yet still learns of this restart once the flag is clear again.
            application->restartGeneration.fetch_add(1);
            application->restartRequested.store(0);
            // A wait that missed the flag must still look again.
            g_inputManager.WakeAllWaiters();
            context.SwapInLoadedFrames();
            // The restored game waits as it did when saved, not behind the
            // layer of a choice it may not even have.
            if (classInputWaiter* w = waiter.Get()) w->ResetChoiceSettings();
            // On top of the restored frames, from its first statement, however
            // deep the game's own calls went.
            BeginScriptCall(context, kPreDataLoadScript, "", FrameOwner::Engine);
            context.Run();
        }
    }

    // The end of the main script ends the side scripts as "Quit" would: they
    // may sit in a long wait, which would otherwise hold the program open
    // for the whole time each stop may take.
    application->RequestQuit();
    g_inputManager.WakeAllWaiters();
    // A side script's box (its script missing, say) would stand over a
    // program that has said it ends, or open after that: nobody can act on it.
    platform::CloseDialogsAsProgramEnds();
    // The Function threads were started here and end here, before the
    // waiter they may look at through the main context goes.
    g_functionScriptThread.Stop(1000);
    g_exitFunctionScriptThread.Stop(1000);
    context.inputWaiter = nullptr;
}

u32 StartupThreadProc(void* argument) {
    auto& self = *static_cast<classWorkerThread*>(argument);
    // The render thread makes the device and the sound system in its first
    // frame; scripts start after that. The wait also ends on quit.
    WaitFrame();
    StartupScriptMain(self);
    // The program ends when its main script does.
    classApplication* application = GetApplication();
    if (application != nullptr && application->windowHandle != nullptr && !application->IsQuitting())
        application->windowHandle->PostMessage(platform::WindowMessage{platform::WM_DESTROY, 0, 0});
    return 0;
}

void PrepareScriptRuntime() {
    if (classApplication* application = GetApplication())
        application->mainScriptContext = &g_mainScriptContext;
}

void RegisterScriptSubsystem() {
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.prepareScripts = &PrepareScriptRuntime;
    hooks.startupScriptRoutine = &StartupThreadProc;
}
