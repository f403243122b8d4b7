#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/audio.h"

namespace platform {

namespace {

void SDLCALL PullFromMixer(void*, Uint8* stream, int length) {
    GetAudioMixer().Render(reinterpret_cast<int16*>(stream), static_cast<u32>(length) / 4);
}

// Without a sound card the cursors must still move in real time, or every
// wait for a voice's end would wait forever.
class NullSink {
  public:
    void Start() {
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

  private:
    void Run() {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point origin = Clock::now();
        u64 framesDone = 0;
        std::unique_lock<std::mutex> hold(mutex_);
        while (!stop_) {
            wake_.wait_for(hold, std::chrono::milliseconds(10), [this] { return stop_; });
            double seconds = std::chrono::duration<double>(Clock::now() - origin).count();
            u64 due = static_cast<u64>(seconds * kOutputRate);
            if (due > framesDone) {
                GetAudioMixer().Consume(static_cast<u32>(std::min<u64>(due - framesDone, kOutputRate)));
                framesDone = due;
            }
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;  // guarded by mutex_
};

std::mutex g_outputMutex;
AudioOutputKind g_outputKind = AudioOutputKind::None;  // guarded by g_outputMutex
SDL_AudioDeviceID g_device = 0;                        // guarded by g_outputMutex
NullSink g_nullSink;                                   // guarded by g_outputMutex

bool OpenSdlDevice() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(kOutputRate);
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(kOutputChannels);
    want.samples = 1024;
    want.callback = PullFromMixer;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts when the card differs, so the mixer
    // always renders the one format.
    g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(g_device, 0);
    return true;
}

}  // namespace

AudioOutputKind OpenAudioOutput() {
    std::lock_guard<std::mutex> hold(g_outputMutex);
    if (g_outputKind != AudioOutputKind::None) return g_outputKind;
    if (OpenSdlDevice()) {
        g_outputKind = AudioOutputKind::Device;
    } else {
        std::fprintf(stderr, "velk2: no audio device (%s); sound plays silently\n", SDL_GetError());
        g_nullSink.Start();
        g_outputKind = AudioOutputKind::NullSink;
    }
    return g_outputKind;
}

void CloseAudioOutput() {
    std::lock_guard<std::mutex> hold(g_outputMutex);
    if (g_outputKind == AudioOutputKind::Device) {
        SDL_CloseAudioDevice(g_device);
        g_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    } else if (g_outputKind == AudioOutputKind::NullSink) {
        g_nullSink.Stop();
    }
    g_outputKind = AudioOutputKind::None;
}

}  // namespace platform
