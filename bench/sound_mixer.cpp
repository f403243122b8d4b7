// What one audio callback costs: mixing 1024 output frames of several voices,
// at the output rate (no interpolation) and at 22050 Hz (interpolated).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/audio.h"

namespace {

void MixVoices(benchmark::State& state) {
    const u32 rate = static_cast<u32>(state.range(1));
    platform::AudioMixer mixer;
    platform::PcmFormat format{1, 2, rate, rate * 4, 4, 16};
    std::vector<u8> pcm(705600);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<u8>(i * 7);
    for (int64_t v = 0; v < state.range(0); ++v) {
        platform::VoiceId id = mixer.CreateVoice(format, static_cast<u32>(pcm.size()));
        mixer.Write(id, 0, pcm.data(), static_cast<u32>(pcm.size()));
        mixer.SetVolume(id, -752);
        mixer.Play(id, true);
    }
    std::vector<int16> out(2 * 1024);
    for (auto _ : state) {
        mixer.Render(out.data(), 1024);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(MixVoices)->Args({1, 44100})->Args({8, 44100})->Args({8, 22050});

}  // namespace
