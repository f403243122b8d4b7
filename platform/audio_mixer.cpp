#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/audio.h"

namespace platform {

bool IsPlayableFormat(const PcmFormat& f) {
    if (f.formatTag != 1) return false;
    if (f.channels != 1 && f.channels != 2) return false;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
    if (f.samplesPerSec < 100 || f.samplesPerSec > 200000) return false;
    return static_cast<u64>(f.avgBytesPerSec) == static_cast<u64>(f.samplesPerSec) * f.blockAlign;
}

namespace {

struct Voice {
    PcmFormat format;
    std::vector<u8> data;
    u32 frames = 0;       // whole frames in the buffer
    u32 ringFrame = 0;    // the play cursor, in frames
    u64 consumed = 0;     // frames passed since creation, unwrapped
    double fraction = 0;  // position between ringFrame and the next frame
    bool playing = false;
    bool looping = false;
    float gain = 1.0f;

    // One channel of one frame as a 16-bit value.
    float Sample(u32 frame, u32 channel) const {
        if (format.channels == 1) channel = 0;
        std::size_t at = static_cast<std::size_t>(frame) * format.blockAlign;
        if (format.bitsPerSample == 8) return static_cast<float>((static_cast<int>(data[at + channel]) - 128) * 256);
        at += channel * 2u;
        return static_cast<float>(static_cast<int16>(static_cast<u16>(data[at] | (data[at + 1] << 8))));
    }

    // Moves the play cursor on by `step` frames; a buffer that is not
    // looping stops at its end.
    void Advance(double step) {
        fraction += step;
        double whole = std::floor(fraction);
        fraction -= whole;
        u64 n = static_cast<u64>(whole);
        if (looping) {
            consumed += n;
            ringFrame = static_cast<u32>((ringFrame + n) % frames);
            return;
        }
        u64 left = frames - ringFrame;
        if (n >= left) {
            consumed += left;
            ringFrame = 0;
            fraction = 0;
            playing = false;
            return;
        }
        consumed += n;
        ringFrame += static_cast<u32>(n);
    }
};

float GainOf(int32 hundredthsDb) {
    if (hundredthsDb <= kSilenceHundredthsDb) return 0.0f;
    if (hundredthsDb >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

}  // namespace

struct AudioMixer::State {
    std::mutex mutex;
    std::unordered_map<VoiceId, Voice> voices;  // guarded by mutex
    VoiceId nextId = 1;                         // guarded by mutex
    std::vector<float> mix;                     // guarded by mutex; Render's scratch
};

AudioMixer::AudioMixer() : state_(std::make_unique<State>()) {}
AudioMixer::~AudioMixer() = default;

VoiceId AudioMixer::CreateVoice(const PcmFormat& format, u32 size) {
    if (!IsPlayableFormat(format) || size == 0 || size > kMaxBufferBytes) return 0;
    if (size < format.blockAlign) return 0;
    Voice voice;
    voice.format = format;
    voice.frames = size / format.blockAlign;
    try {
        voice.data.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(state_->mutex);
    VoiceId id = state_->nextId++;
    if (state_->nextId == 0) state_->nextId = 1;
    state_->voices.emplace(id, std::move(voice));
    return id;
}

void AudioMixer::DestroyVoice(VoiceId voice) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->voices.erase(voice);
}

u32 AudioMixer::Write(VoiceId id, u32 offset, const void* bytes, u32 count) {
    if (bytes == nullptr || count == 0) return 0;
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    if (found == state_->voices.end()) return 0;
    std::vector<u8>& data = found->second.data;
    const u64 size = data.size();
    if (count > size || offset >= size) return 0;
    const u8* from = static_cast<const u8*>(bytes);
    u64 first = std::min<u64>(count, size - offset);
    std::memcpy(data.data() + offset, from, first);
    if (first < count) std::memcpy(data.data(), from + first, count - first);
    return count;
}

void AudioMixer::Play(VoiceId id, bool looping) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    if (found == state_->voices.end()) return;
    found->second.playing = true;
    found->second.looping = looping;
}

void AudioMixer::Stop(VoiceId id) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    if (found != state_->voices.end()) found->second.playing = false;
}

bool AudioMixer::IsPlaying(VoiceId id) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    return found != state_->voices.end() && found->second.playing;
}

bool AudioMixer::GetPosition(VoiceId id, u32* playCursor, u32* writeCursor, u64* consumedBytes) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    if (found == state_->voices.end()) return false;
    const Voice& v = found->second;
    u32 play = v.ringFrame * v.format.blockAlign;
    if (playCursor != nullptr) *playCursor = play;
    if (writeCursor != nullptr) {
        *writeCursor = static_cast<u32>((play + static_cast<u64>(v.format.blockAlign)) % v.data.size());
    }
    if (consumedBytes != nullptr) *consumedBytes = v.consumed * v.format.blockAlign;
    return true;
}

void AudioMixer::SetVolume(VoiceId id, int32 hundredthsDb) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    auto found = state_->voices.find(id);
    if (found != state_->voices.end()) found->second.gain = GainOf(hundredthsDb);
}

void AudioMixer::Render(int16* out, u32 frames) {
    if (out == nullptr || frames == 0) return;
    std::lock_guard<std::mutex> hold(state_->mutex);
    std::vector<float>& mix = state_->mix;
    mix.assign(static_cast<std::size_t>(frames) * 2, 0.0f);
    for (auto& entry : state_->voices) {
        Voice& v = entry.second;
        const double step = static_cast<double>(v.format.samplesPerSec) / kOutputRate;
        for (u32 i = 0; i < frames && v.playing; ++i) {
            u32 next = v.ringFrame + 1;
            if (next >= v.frames) next = v.looping ? 0 : v.ringFrame;
            for (u32 c = 0; c < 2; ++c) {
                float a = v.Sample(v.ringFrame, c);
                float value = a;
                if (v.fraction != 0) value = a + (v.Sample(next, c) - a) * static_cast<float>(v.fraction);
                mix[2 * i + c] += value * v.gain;
            }
            v.Advance(step);
        }
    }
    for (std::size_t i = 0; i < mix.size(); ++i) {
        float s = std::nearbyint(mix[i]);
        out[i] = static_cast<int16>(std::clamp(s, -32768.0f, 32767.0f));
    }
}

void AudioMixer::Consume(u32 frames) {
    std::lock_guard<std::mutex> hold(state_->mutex);
    for (auto& entry : state_->voices) {
        Voice& v = entry.second;
        if (!v.playing) continue;
        v.Advance(static_cast<double>(v.format.samplesPerSec) / kOutputRate * frames);
    }
}

u32 AudioMixer::VoiceCount() {
    std::lock_guard<std::mutex> hold(state_->mutex);
    return static_cast<u32>(state_->voices.size());
}

AudioMixer& GetAudioMixer() {
    // Never destroyed: late calls from objects torn down at exit stay safe.
    static AudioMixer* mixer = new AudioMixer();
    return *mixer;
}

}  // namespace platform
