// Movies at 1280x720, 30 pictures a second, busy pictures at 6 Mbit/s with
// MP2 sound (MPEG-1 program stream) and the same in MPEG-4 with PCM (AVI):
//   - decode speed: every picture decoded and converted to BGRA and the
//     sound converted, as fast as one thread can; counter x_real_time is the
//     movie's length over the time taken (goal: at least 4);
//   - playing: the real player on the steady clock for 3 s, its pictures
//     uploaded to a GL texture as the render thread does (SDL's offscreen
//     driver) and its sound pulled from the mixer as an output would;
//     counter core_share is the process's CPU time over the wall time (goal:
//     at most 0.25 of one core), pictures_shown how many reached the texture.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/movie.h"
#include "support/gl_test_device.h"
#include "support/movie_encoder.h"

namespace {

constexpr int kSeconds = 10;

const std::vector<u8>& Movie(const std::string& container) {
    static std::map<std::string, std::vector<u8>> made;
    auto found = made.find(container);
    if (found != made.end()) return found->second;
    testmovie::MovieSpec spec;
    spec.container = container;
    spec.video = container == "avi" ? "mpeg4" : "mpeg1video";
    spec.audio = container == "avi" ? "pcm_s16le" : "mp2";
    spec.width = 1280;
    spec.height = 720;
    spec.fps = 30;
    spec.frames = 30 * kSeconds;
    spec.busy = true;
    return made[container] = testmovie::EncodeMovie(spec);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_MovieDecodeSpeed(benchmark::State& state, const char* container) {
    const std::vector<u8>& bytes = Movie(container);
    if (bytes.empty()) {
        state.SkipWithError("no encoder for the test movie");
        return;
    }
    platform::MovieScan scan;
    for (auto _ : state) {
        auto source = platform::MemoryMovieSource(bytes.data(), bytes.size());
        if (!platform::ScanMovie(*source, 1 << 20, &scan)) state.SkipWithError("the movie did not open");
    }
    state.counters["pictures"] = static_cast<double>(scan.pictures);
    state.counters["x_real_time"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["movie_MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_MoviePlayingWithUpload(benchmark::State& state, const char* container) {
    const std::vector<u8>& bytes = Movie(container);
    std::unique_ptr<testgl::GlTestDevice> gl = testgl::OpenGlTestDevice();
    if (bytes.empty() || gl == nullptr) {
        state.SkipWithError("no encoder or no GL 3.3 device");
        return;
    }
    const platform::GpuHandle texture = gl->device->CreateTexture(1280, 720);
    double share = 0;
    int64 shown = 0;
    for (auto _ : state) {
        platform::AudioMixer mixer;
        platform::MovieOptions options;
        options.mixer = &mixer;
        options.volume = -1000;
        auto player = platform::OpenMovie(platform::MemoryMovieSource(bytes.data(), bytes.size()), options);
        if (player == nullptr) {
            state.SkipWithError("the movie did not open");
            return;
        }
        while (!player->IsCued()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double cpu0 = CpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        player->Run();
        u64 serial = 0;
        std::vector<int16> out(735 * 2);
        // The render thread's frames: 60 a second, each taking the newest picture.
        for (int frame = 0; frame < 180; ++frame) {
            if (player->TakePicture(&serial, [&](const u8* bgra, size_t pitch) {
                    gl->device->UploadBGRA(texture, 0, 0, 1280, 720, bgra, pitch);
                })) {
                ++shown;
            }
            mixer.Render(out.data(), 735);
            std::this_thread::sleep_until(wall0 + std::chrono::microseconds((frame + 1) * 16667));
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        share = (CpuSeconds() - cpu0) / wall;
    }
    state.counters["core_share"] = share;
    state.counters["pictures_shown"] = static_cast<double>(shown) / static_cast<double>(state.iterations());
    gl->device->ReleaseObject(texture);
}

}  // namespace

BENCHMARK_CAPTURE(BM_MovieDecodeSpeed, mpeg1_mp2, "mpeg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_MovieDecodeSpeed, mpeg4_pcm_avi, "avi")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_MoviePlayingWithUpload, mpeg1_mp2, "mpeg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_MoviePlayingWithUpload, mpeg4_pcm_avi, "avi")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
