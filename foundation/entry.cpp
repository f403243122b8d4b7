#include "foundation/entry.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

#include "foundation/application.h"
#include "foundation/atomic_file.h"
#include "foundation/critical_section.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"
#include "platform/instance_lock.h"
#include "platform/quit_signals.h"
#include "platform/user_folder.h"

namespace {

// Without a script runtime the start-up thread still behaves like one that
// waits for its first frame and runs until the program ends: the window stays
// open until the player closes it.
u32 IdleStartupScriptProc(void* argument) {
    auto* self = static_cast<classWorkerThread*>(argument);
    WaitFrame();
    self->WaitForStopRequest();
    return 0;
}

// The usual bound, then a generous one before a thread counts as stuck.
bool StopAndJoin(classWorkerThread& thread, const char* name, unsigned generousMs) {
    if (thread.Stop(1000) != classWorkerThread::kTimedOut) return true;
    if (thread.Stop(generousMs) != classWorkerThread::kTimedOut) return true;
    std::fprintf(stderr, "velk2: the %s thread did not stop\n", name);
    return false;
}

std::string CurrentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string(".");
}

void Run(void (*hook)()) {
    if (hook != nullptr) hook();
}

}  // namespace

int RunApplication(const EntryEnvironment& environment) {
    const SubsystemHooks& hooks = GetSubsystemHooks();

    platform::InstanceLock instanceLock;
    std::string workingDirectory =
        environment.workingDirectory.empty() ? CurrentDirectory() : environment.workingDirectory;
    switch (instanceLock.Acquire(workingDirectory, environment.lockDirectory)) {
        case platform::InstanceLockResult::HeldByAnother:
            platform::ShowMessageBox("同一アプリケーションが既に起動されています", "２重起動 Error",
                                     platform::DialogButtons::Ok, platform::DialogIcon::Warning);
            return 0;
        case platform::InstanceLockResult::Failed:
            // Running twice is the lesser harm than not running at all.
            std::fprintf(stderr, "velk2: no single-instance lock could be made; not checking for a second copy\n");
            break;
        case platform::InstanceLockResult::Acquired:
            break;
    }

    InitApplication();
    classApplication* application = GetApplication();
    if (application == nullptr) return 0;

    std::string dataHome = platform::UserDataHome();
    std::string folder = dataHome.empty() ? std::string() : dataHome + "/" + application->dataFolder;
    if (folder.empty() || !platform::CreateDirectoryTree(folder)) {
        platform::ShowMessageBox("データフォルダの作成に失敗しました", "Data Folder Create Error",
                                 platform::DialogButtons::Ok, platform::DialogIcon::Warning);
        ShutdownApplication();
        return 0;
    }
    application->dataFolder = folder;
    // Saves cut off by a kill or a crash leave their temporaries behind.
    RemoveStaleTemporaries(folder);

    Run(hooks.readSystemData);
    Run(hooks.readAlreadyData);
    Run(hooks.prepareScripts);

    application->windowTitle = "";
    application->logicalWidth = 1280;
    application->logicalHeight = 720;

    std::thread preparing;
    if (hooks.prepareWhileTheWindowOpens != nullptr) preparing = std::thread(hooks.prepareWhileTheWindowOpens);
    std::unique_ptr<platform::Window> window = environment.createWindow ? environment.createWindow() : nullptr;
    const bool opened = application->CreateMainWindow(window.get());
    if (preparing.joinable()) preparing.join();
    if (!opened) {
        // Nothing can be shown without a window (no display, no video driver).
        std::fprintf(stderr, "velk2: the main window could not be opened\n");
        ShutdownApplication();
        return 1;
    }

    g_startupScriptThread.StartWithRoutine(hooks.startupScriptRoutine != nullptr ? hooks.startupScriptRoutine
                                                                                 : IdleStartupScriptProc);
    application->RunMessageLoop();

    // Every thread ends before the system files are written and before the
    // object they all read goes away.
    const unsigned generous = environment.generousStopMs;
    bool allStopped = StopAndJoin(g_renderThread, "render", generous);
    allStopped = StopAndJoin(g_startupScriptThread, "start-up script", generous) && allStopped;
    allStopped = StopAndJoin(g_functionScriptThread, "Function script", generous) && allStopped;
    allStopped = StopAndJoin(g_exitFunctionScriptThread, "ExitFunction script", generous) && allStopped;

    Run(hooks.writeSystemData);
    Run(hooks.writeAlreadyData);

    if (!allStopped) {
        // A stuck thread may still read the application object: keep
        // everything alive and leave without running any destructor.
        std::fflush(nullptr);
        _exit(0);
    }
    ShutdownApplication();
    window.reset();
    instanceLock.Release();
    return 0;
}

int WinMain() {
    // Before any thread starts: from the first moment, SIGINT, SIGTERM and
    // SIGHUP end the program through its window, with the files written.
    platform::InstallQuitSignals();
    platform::InstallSystemDialogService();
    static const LockWaitHook serveBoxes{platform::ServeDialogsWhileBlocked, platform::EndServingDialogsWhileBlocked};
    t_lockWaitHook = &serveBoxes;
    EntryEnvironment environment;
    environment.createWindow = [] { return platform::CreateSdlWindow(); };
    int code = RunApplication(environment);
    // The files are written: a signal from here on may end the process as it
    // would end any other, and the watcher must not push into SDL's queue
    // while video goes down.
    platform::UninstallQuitSignals();
    t_lockWaitHook = nullptr;
    platform::ShutdownVideo();
    platform::SetDialogService(nullptr);
    return code;
}
