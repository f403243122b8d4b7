#include "foundation/entry.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "foundation/application.h"
#include "foundation/atomic_file.h"
#include "foundation/critical_section.h"
#include "foundation/input_manager.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/dialog.h"
#include "platform/display_loss.h"
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

// False when another copy holds the lock: the player has been told so.
bool TakeInstanceLock(platform::InstanceLock& lock, const std::string& directory,
                      const std::string& lockDirectory, platform::LockedDirectory kind) {
    switch (lock.Acquire(directory, lockDirectory, kind)) {
        case platform::InstanceLockResult::HeldByAnother:
            platform::ShowMessageBox("同一アプリケーションが既に起動されています", "２重起動 Error",
                                     platform::DialogButtons::Ok, platform::DialogIcon::Warning);
            return false;
        case platform::InstanceLockResult::Failed:
            // Running twice is the lesser harm than not running at all.
            std::fprintf(stderr,
                         "velk2: no single-instance lock could be made for %s; not checking for a second copy\n",
                         directory.c_str());
            return true;
        case platform::InstanceLockResult::Acquired:
            return true;
    }
    return true;
}

void Run(void (*hook)()) {
    if (hook != nullptr) hook();
}

// The run's end can come twice at once: the loop's, and the one a lost
// display runs on whichever thread noticed. The files are written once.
std::mutex g_filesMutex;
bool g_filesWritten = false;                      // guarded by g_filesMutex
std::atomic<std::thread::id> g_filesWriter{};     // atomic: the thread writing them now
std::atomic<unsigned> g_generousStopMs{10000};    // atomic: the run's value, read by the display's end

void WriteSystemFilesOnce() {
    // The writer itself, come here through a box that lost its display: the
    // write it is in the middle of stays as it is.
    if (g_filesWriter.load() == std::this_thread::get_id()) return;
    std::lock_guard<std::mutex> hold(g_filesMutex);
    if (g_filesWritten) return;
    g_filesWriter.store(std::this_thread::get_id());
    const SubsystemHooks& hooks = GetSubsystemHooks();
    Run(hooks.writeSystemData);
    Run(hooks.writeAlreadyData);
    g_filesWriter.store(std::thread::id{});
    g_filesWritten = true;
}

bool AreSystemFilesWritten() {
    if (g_filesWriter.load() == std::this_thread::get_id()) return true;
    std::lock_guard<std::mutex> hold(g_filesMutex);
    return g_filesWritten;
}

// The display is gone while the game runs. This runs on a thread of its
// own, or on the thread that noticed when that one cannot go back (any of
// them): it asks every other thread to stop, gives them the usual time,
// writes the player's files and leaves at once. A thread still inside the
// display stays there until the process is gone, with whatever it holds, so
// nothing is torn down.
[[noreturn]] void EndAfterDisplayLoss() {
    classApplication* application = GetApplication();
    if (application != nullptr && !AreSystemFilesWritten()) {
        application->isQuitting.store(1);
        application->RequestQuit();
        application->WakeFrameWaiters();
        g_inputManager.WakeAllWaiters();
        struct Holder {
            classWorkerThread& thread;
            const char* name;
        };
        const Holder holders[] = {{g_renderThread, "render"},
                                  {g_startupScriptThread, "start-up script"},
                                  {g_functionScriptThread, "Function script"},
                                  {g_exitFunctionScriptThread, "ExitFunction script"}};
        for (const Holder& holder : holders) {
            if (!holder.thread.IsCallingThread()) holder.thread.RequestStop(1);
        }
        // No joins: the main thread may be joining these itself.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(1000 + g_generousStopMs.load());
        for (const Holder& holder : holders) {
            if (holder.thread.IsCallingThread()) continue;
            while (holder.thread.IsRunning() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (holder.thread.IsRunning()) std::fprintf(stderr, "velk2: the %s thread did not stop\n", holder.name);
        }
        WriteSystemFilesOnce();
    }
    std::fflush(nullptr);
    _exit(1);
}

}  // namespace

int RunApplication(const EntryEnvironment& environment) {
    const SubsystemHooks& hooks = GetSubsystemHooks();
    g_generousStopMs.store(environment.generousStopMs);
    {
        std::lock_guard<std::mutex> hold(g_filesMutex);
        g_filesWritten = false;
    }

    platform::InstanceLock instanceLock;
    std::string workingDirectory =
        environment.workingDirectory.empty() ? CurrentDirectory() : environment.workingDirectory;
    if (!TakeInstanceLock(instanceLock, workingDirectory, environment.lockDirectory,
                          platform::LockedDirectory::Working))
        return 0;

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
    // The same game installed in another folder may be running on these
    // files: before anything here is read or cleaned, one of the two is
    // refused, as a second copy in one working directory is.
    platform::InstanceLock playerFolderLock;
    if (!TakeInstanceLock(playerFolderLock, folder, environment.lockDirectory,
                          platform::LockedDirectory::PlayerFolder)) {
        ShutdownApplication();
        return 0;
    }
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

    WriteSystemFilesOnce();

    const bool displayLost = platform::IsDisplayLost();
    if (!allStopped || displayLost) {
        // A stuck thread may still read the application object, and with the
        // display gone another thread is ending the program and the window
        // cannot be taken down: keep everything alive and leave without
        // running any destructor.
        std::fflush(nullptr);
        _exit(displayLost ? 1 : 0);
    }
    ShutdownApplication();
    window.reset();
    playerFolderLock.Release();
    instanceLock.Release();
    return 0;
}

int WinMain() {
    // Before any thread starts: from the first moment, SIGINT, SIGTERM and
    // SIGHUP end the program through its window, with the files written.
    platform::InstallQuitSignals();
    // The same orderly end when the display goes away under the game.
    platform::InstallDisplayLossHandler(EndAfterDisplayLoss);
    platform::InstallSystemDialogService();
    static const LockWaitHook serveBoxes{platform::ServeDialogsWhileBlocked, platform::EndServingDialogsWhileBlocked};
    t_lockWaitHook = &serveBoxes;
    EntryEnvironment environment;
    environment.createWindow = [] { return platform::CreateSdlWindow(); };
    int code = RunApplication(environment);
    if (platform::IsDisplayLost()) {
        // The thread that met the loss is ending the program; nothing here
        // may go back to the display.
        std::fflush(nullptr);
        _exit(1);
    }
    // The files are written: a signal from here on may end the process as it
    // would end any other, and the watcher must not push into SDL's queue
    // while video goes down.
    platform::UninstallQuitSignals();
    t_lockWaitHook = nullptr;
    platform::ShutdownVideo();
    platform::SetDialogService(nullptr);
    return code;
}
