#pragma once
// The one application object: window, logical screen, scenes, sound manager
// and device holder, the run-state flags every thread polls, the frame
// counters, the settings that script commands change, the per-user folder and
// the application lock. It lives from InitApplication to ShutdownApplication;
// GetApplication returns it, or null outside that time.
//
// Threads: flags and settings that one thread writes and others read are
// atomic. The strings are written on the UI thread before the other threads
// start, or under the application lock by the play-data loader.
// The application lock is the first in the program's lock order: application,
// then command queue, then device or sound.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/critical_section.h"
#include "foundation/frame_device.h"
#include "foundation/player_files.h"
#include "foundation/types.h"
#include "platform/window.h"

class classGraphicObject;
class classSoundManager;
class classScriptContext;

class classApplication {
public:
    classApplication();
    ~classApplication();
    classApplication(const classApplication&) = delete;
    classApplication& operator=(const classApplication&) = delete;

    // The window; set by CreateMainWindow, owned by the entry function.
    platform::Window* windowHandle = nullptr;
    int32 logicalWidth = 800;   // the entry function sets 1280 before the window opens
    int32 logicalHeight = 600;  // and 720
    // Scene roots, owned; made and changed by the presentation layer on the render thread.
    classGraphicObject* overlayScene = nullptr;
    classGraphicObject* mainScene = nullptr;
    u32 windowExStyle = 0x40000;   // the original's extended style, kept for the settings that read it
    u32 windowStyle = 0xCF0000;    // the windowed style; WS_MAXIMIZEBOX (0x10000) allows maximising
    std::atomic<u8> isQuitting{0};
    classSoundManager* soundManager = nullptr;  // owned; made by the sound subsystem
    std::atomic<u8> quitRequested{0};
    std::atomic<u8> restartRequested{0};
    // Raised by the start-up script thread each time it takes up a restart,
    // before it clears restartRequested: a script run or wait that began
    // before the restart sees it even when it never saw the flag set.
    std::atomic<u32> restartGeneration{0};
    std::atomic<u32> sizeState{0};         // last WM_SIZE kind: 0 restored, 1 minimized, 2 maximized
    std::atomic<u32> frameCounter{0};      // raised at the start of every frame (render thread)
    std::atomic<u32> frameDoneCounter{0};  // = frameCounter at the end of every frame (render thread)
    float frameInterval = 16.666666f;      // milliseconds; never changed while running
    std::atomic<int64> textColor{0xFFFFFF};
    std::atomic<int64> textSpeed{100};
    std::atomic<int64> textRequestValue{300};
    std::atomic<u8> keyWaitAfterVoiceStop{1};
    std::atomic<u8> transitionCut{0};
    std::atomic<u8> skipAlreadyOnly{0};
    std::atomic<int64> parameterSkipType{0};
    // The per-user folder (the game's own, "Hollin-Gate/Merisande/" unless
    // its build names another); the entry function puts the data home and
    // "/" in front.
    std::string dataFolder = PlayerFolderName();
    std::atomic<u8> voiceStartedSinceKeyWait{0};
    // Shown on every WM_SETCURSOR; null is the system arrow. UI thread only:
    // other threads go through SetCursor.
    std::shared_ptr<const platform::CursorImage> cursor;
    std::atomic<u8> skipPlaying{0};
    std::atomic<u8> autoPlaying{0};
    std::atomic<u8> backlogPageStarted{0};
    std::atomic<u8> nextSelectSkipping{0};
    std::atomic<u8> closeDisabled{0};
    std::atomic<int64> autoSpeed{1000};
    std::string windowTitle;  // UI thread only: other threads go through SetWindowTitle
    // The device holder, owned; made by CreateMainWindow.
    FrameDevice* graphicDevice = nullptr;
    std::string lastVoiceFile;  // guarded by the application lock
    std::atomic<int64> lastVoiceLayer{0};
    // The main script thread's context; the script subsystem provides it.
    classScriptContext* mainScriptContext = nullptr;
    classCriticalSection lock;

    classCriticalSection& GetLock() { return lock; }
    bool IsQuitting() const { return isQuitting.load() != 0; }
    bool IsSkipPlaying() const { return skipPlaying.load() != 0; }
    // Ctrl held while our window has the focus.
    bool IsCtrlSkip() const;
    // Skip mode or Ctrl held, whichever window is in front.
    bool IsSkipRequested(int64 unused1 = 0, int64 unused2 = 0) const;

    // Returns once a frame that began after the call has ended, or at once
    // when the program is quitting (a quit set meanwhile wakes it too).
    void WaitFrame();
    // How many threads are inside WaitFrame now.
    int FrameWaiterCount() const { return frameWaiters_.load(); }
    // Sets quitRequested and wakes every frame waiter.
    void RequestQuit();
    // Wakes frame waiters so they look at the flags again (after a flag was
    // stored directly).
    void WakeFrameWaiters();

    // The outer size of a window whose client area is the logical screen;
    // window sizes are client sizes here, so it is the logical size itself.
    void GetWindowRect(int32& left, int32& top, int32& right, int32& bottom) const;
    bool ShowMainWindow(bool show);
    // Any thread: the window's title from now on.
    void SetWindowTitle(const std::string& title);
    // Any thread: the window shows icon `number` of the program's icon
    // resources from now on (a number without an icon changes nothing).
    void SetWindowIcon(u32 number);
    // Any thread: the cursor the window shows from now on.
    void SetCursor(std::shared_ptr<const platform::CursorImage> image);

    // Window and message loop (UI thread).
    bool CreateMainWindow(platform::Window* window);
    bool RunMessageLoop();
    // True when the message is handled and the default processing is skipped.
    bool HandleWindowMessage(const platform::WindowMessage& message);
    // Render thread: the window follows the screen mode the device now has.
    void SwitchScreenMode();
    void RestoreWindowPlacement();

    // Render thread: one frame.
    // True when the frame's picture reached the window.
    bool RenderFrame();

private:
    friend void WndProc(const platform::WindowMessage& message);

    bool quitMessagePosted_ = false;  // UI thread only: the loop's WM_QUIT
    std::mutex frameMutex_;
    std::atomic<int> frameWaiters_{0};  // threads inside WaitFrame
    std::condition_variable frameDone_;  // signalled with frameMutex_ at every frame end and on quit
};

// The object, or null outside its lifetime.
classApplication* GetApplication();
// Creates the application object and seeds the random generator; false when
// it could not be made.
bool InitApplication();
// Destroys the application object.
void ShutdownApplication();
// Null-safe forms for callers that may run outside the object's lifetime.
void WaitFrame();
bool IsSkipRequested();

// The window procedure: the application's handling, then the default one
// (a close not refused destroys the window; a destroy posts the quit).
void WndProc(const platform::WindowMessage& message);

// The system-command filter: true when `command` (wParam & 0xFFF0 of
// WM_SYSCOMMAND) is swallowed in the given state.
bool IsSystemCommandSwallowed(u64 command, bool fullScreen, u32 windowStyle, u32 sizeState);
