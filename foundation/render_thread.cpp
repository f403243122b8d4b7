#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "foundation/application.h"
#include "foundation/frame_pacer.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/display_loss.h"

namespace {

using Clock = std::chrono::steady_clock;

// VELK2_FRAME_LOG=path: one line a frame, "start end shown": the frame's start
// and end on the monotonic clock in microseconds, and 1 when its picture
// reached the window (0 for a frame that had nothing new to show). Written
// when the thread ends; kept in memory meanwhile so that the log costs a
// frame nothing but a store.
class FrameLog {
public:
    FrameLog() {
        const char* path = std::getenv("VELK2_FRAME_LOG");
        if (path == nullptr || path[0] == 0) return;
        path_ = path;
        frames_.reserve(1 << 18);
    }
    void Note(Clock::time_point start, Clock::time_point end, bool shown) {
        if (path_.empty() || frames_.size() == frames_.capacity()) return;
        frames_.push_back(Frame{Micros(start), Micros(end), shown});
    }
    ~FrameLog() {
        if (path_.empty()) return;
        if (FILE* file = std::fopen(path_.c_str(), "w")) {
            for (const Frame& frame : frames_) std::fprintf(file, "%lld %lld %d\n", frame.start, frame.end, frame.shown ? 1 : 0);
            std::fclose(file);
        }
    }

private:
    struct Frame {
        long long start;
        long long end;
        bool shown;
    };
    static long long Micros(Clock::time_point at) {
        return std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
    }
    std::string path_;
    std::vector<Frame> frames_;
};

// Set by a commit, cleared as a frame begins: committed records wait to be run.
std::atomic<bool> g_recordsCommitted{false};  // atomic: set by any thread, cleared by the render thread

}  // namespace

void NoteCommittedRecords() {
    g_recordsCommitted.store(true, std::memory_order_release);
}

void WakeRenderThread() {
    g_renderThread.Nudge();
}

void ShowCommittedRecords() {
    if (g_recordsCommitted.load(std::memory_order_acquire)) g_renderThread.Nudge();
}

u32 RenderThreadProc(void*) {
    classApplication* application = GetApplication();
    if (application == nullptr) return 0;
    const SubsystemHooks& hooks = GetSubsystemHooks();
    FrameDevice* device = application->graphicDevice;

    bool deviceStarted = device != nullptr && device->Start();
    if (!deviceStarted) {
        platform::ShowMessageBox("Programmable Shader 2.0 Not Ready\n\nCreation of the graphic device went wrong.",
                                 "Direct3D DeviceCreateError", platform::DialogButtons::Ok,
                                 platform::DialogIcon::Warning);
    }
    // Without an audio device the game still runs: sound falls silent, frames go on.
    if (hooks.initSoundSystem != nullptr && !hooks.initSoundSystem()) {
        std::fprintf(stderr, "velk2: no sound output; continuing without sound\n");
    }

    if (deviceStarted) {
        FrameLog log;
        classFramePacer pacer(application->frameInterval);
        const Clock::time_point origin = Clock::now();
        // Nothing moved in the last frame, so the picture on the screen stands
        // still: records committed now may be shown before the next start.
        bool still = true;
        u32 lastFrameMs = platform::NowMs() - 1;  // the scenes' clock when the last frame ended
        auto runFrame = [&] {
            // The scenes count time in whole milliseconds, and a slot given
            // no time at all stands at its targets (a transition made in such
            // a frame would be over before it began): a frame that comes
            // quickly after the last waits for the clock to move on.
            for (int tries = 0; tries < 20 && platform::NowMs() == lastFrameMs; ++tries) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            Clock::time_point start = Clock::now();
            g_recordsCommitted.store(false, std::memory_order_release);
            bool shown = application->RenderFrame();
            log.Note(start, Clock::now(), shown);
            lastFrameMs = platform::NowMs();
            // A frame drawn again with the picture it had (only a sound's
            // record ran, say) leaves the screen standing still too, so the
            // page a click's script commits next is not kept waiting for
            // the next scheduled start.
            still = !shown || device->ShowedTheSamePicture();
        };
        bool stopped = false;
        // Once the display is gone no GL call is made, neither for a frame nor
        // to let go of what the device holds: any of them may flush the
        // software rasteriser into the window's buffer, which went with the
        // display (seen: a crash with nothing written). The process ends soon
        // and takes it all.
        while (!g_renderThread.IsStopRequested() && !platform::IsDisplayLost()) {
            double nowMs = std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
            double waitMs = pacer.Schedule(nowMs);
            const Clock::time_point due =
                Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(waitMs));
            // A late frame follows the one before at once, and so does the
            // scheduled frame whose start passed while a frame let in ran.
            bool atOnce = waitMs <= 0;
            bool reached = atOnce;
            while (!reached) {
                bool nudged = false;
                if (g_renderThread.SleepUntil(due, &nudged)) {
                    stopped = true;
                    break;
                }
                // A nudge that comes with the start is the scheduled frame's.
                const bool prompt = nudged && still && Clock::now() < due && pacer.TakePromptFrame();
                if (prompt) runFrame();
                reached = Clock::now() >= due;
                atOnce = reached && prompt;
            }
            if (stopped) break;
            // Such a frame starts only after a thread that waits for the
            // application lock (a script's busy test, a click's hit test) had
            // its turn: a mutex released and taken again at once would starve
            // it for as long as frames run late.
            if (atOnce && g_renderThread.SleepFor(std::chrono::microseconds(200))) break;
            runFrame();
        }
        if (!platform::IsDisplayLost()) device->Stop();
    }

    if (hooks.stopMovies != nullptr) hooks.stopMovies();
    if (hooks.shutdownSoundSystem != nullptr) hooks.shutdownSoundSystem();
    if (application->windowHandle != nullptr) {
        application->windowHandle->PostMessage(platform::WindowMessage{platform::WM_DESTROY, 0, 0});
    }
    return 0;
}

bool classApplication::RenderFrame() {
    classCriticalSectionLock hold(lock);
    const SubsystemHooks& hooks = GetSubsystemHooks();
    u32 frame = frameCounter.load(std::memory_order_relaxed) + 1;
    frameCounter.store(frame, std::memory_order_release);

    // A frame that begins or goes on after the display went does nothing
    // more with GL (see RenderThreadProc): records and the scenes' clock may
    // make or let go of pictures.
    if (!platform::IsDisplayLost()) {
        if (hooks.executeAllQueues != nullptr) hooks.executeAllQueues();
        if (hooks.updateScenes != nullptr) hooks.updateScenes(platform::NowMs());
    }

    bool shown = false;
    if (graphicDevice != nullptr && graphicDevice->IsReady() && !platform::IsDisplayLost()) {
        if (graphicDevice->BeginFrame() && hooks.drawScenes != nullptr) hooks.drawScenes();
        shown = graphicDevice->EndFrame();
    }
    if (graphicDevice != nullptr && graphicDevice->TakeModeSwitchRequest()) SwitchScreenMode();

    {
        std::lock_guard<std::mutex> done(frameMutex_);
        frameDoneCounter.store(frame, std::memory_order_release);
    }
    frameDone_.notify_all();
    return shown;
}
