#pragma once
// Where the later subsystems plug into the application frame. Each hook is set
// once, before the entry function starts any thread (from a registration
// function or a test), and only read afterwards. A null hook means the
// subsystem is not there yet; the frame then does the least that keeps the
// program starting, running and ending cleanly.

#include <memory>

#include "foundation/frame_device.h"
#include "foundation/worker_thread.h"
#include "platform/window_messages.h"

namespace platform {
class Window;
}

struct SubsystemHooks {
    // "System.dat" and "Already.dat": read at start-up (a missing or bad file
    // keeps the defaults), written at shut-down after every thread has ended.
    void (*readSystemData)() = nullptr;
    void (*readAlreadyData)() = nullptr;
    void (*writeSystemData)() = nullptr;
    void (*writeAlreadyData)() = nullptr;

    // UI thread, after the two files are read and before any thread starts:
    // the script runtime takes its place in the application object.
    void (*prepareScripts)() = nullptr;
    // A thread of its own while the UI thread opens the window: what the
    // first script statements need and the window does not, made meanwhile.
    // It has ended before the start-up script thread starts.
    void (*prepareWhileTheWindowOpens)() = nullptr;

    // The start-up script thread's routine. Without one, the thread waits for
    // the first frame and then for its stop request, so the window stays open
    // until the player closes it.
    WorkerRoutine startupScriptRoutine = nullptr;

    // Render thread, before the first frame and after the last. A sound start
    // that fails is reported and frames go on regardless.
    bool (*initSoundSystem)() = nullptr;
    void (*shutdownSoundSystem)() = nullptr;
    // Render thread, after the last frame and before the sound ends: every
    // movie's decoder thread is stopped and joined.
    void (*stopMovies)() = nullptr;
    // UI thread: the application's sound manager, made right after the
    // application object and destroyed just before it, when no other thread
    // runs any more.
    void (*createSoundManager)() = nullptr;
    void (*destroySoundManager)() = nullptr;

    // Right after the application object is made, and before it is destroyed
    // (every thread has ended by then): the scene roots it owns.
    void (*createScenes)() = nullptr;
    void (*destroyScenes)() = nullptr;

    // Render thread, once per frame with the application lock held: run the
    // committed command records, advance both scenes to `now`, draw them.
    void (*executeAllQueues)() = nullptr;
    void (*updateScenes)(u32 now) = nullptr;
    void (*drawScenes)() = nullptr;

    // UI thread, in CreateMainWindow: the graphics device holder for the
    // window. Without one, the basic device shows the black logical screen.
    std::unique_ptr<FrameDevice> (*createFrameDevice)(platform::Window& window, int logicalWidth,
                                                      int logicalHeight) = nullptr;

    // UI thread: every message the window procedure passes on to input; true
    // counts it as handled.
    bool (*onWindowMessage)(const platform::WindowMessage& message) = nullptr;
    // Any thread: the input manager's down state of a virtual key.
    bool (*isVirtualKeyDown)(u32 virtualKey) = nullptr;
};

SubsystemHooks& GetSubsystemHooks();
