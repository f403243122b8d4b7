#pragma once
// The sound card as the engine sees it: one mixer of "buffers" that behave as
// the engine's sound code expects of a hardware voice. A buffer holds either a
// whole sound or a ring that a streamer keeps refilling; it has a play cursor
// and a write cursor, a loop flag, a volume in hundredths of a decibel
// (−10000 silence .. 0 full) and a playing status. Output is 44100 Hz,
// 16-bit, stereo.
//
// The mixer itself never touches a device: an output (the SDL device, or a
// null sink that consumes in real time when no device opens) pulls mixed
// frames from it, and tests pull them directly with Render.
//
// Lock: each mixer has its own mutex, a leaf; no engine lock is ever taken
// while it is held, so the engine's sound lock may be held while calling in.

#include <memory>

#include "foundation/types.h"

namespace platform {

// The 16 bytes of a PCM wave format, in their stored order.
struct PcmFormat {
    u16 formatTag = 0;
    u16 channels = 0;
    u32 samplesPerSec = 0;
    u32 avgBytesPerSec = 0;
    u16 blockAlign = 0;
    u16 bitsPerSample = 0;
};

constexpr u32 kOutputRate = 44100;
constexpr u32 kOutputChannels = 2;
// The largest buffer the mixer accepts; larger sounds are refused like a
// card that has no memory for them.
constexpr u32 kMaxBufferBytes = 0x0FFFFFFF;
constexpr int32 kSilenceHundredthsDb = -10000;

// True for a format the mixer can play: PCM tag 1, one or two channels, 8 or
// 16 bits, consistent block align and byte rate, a sane sample rate.
bool IsPlayableFormat(const PcmFormat& format);

using VoiceId = u32;  // 0 is never a voice

class AudioMixer {
  public:
    AudioMixer();
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    // A silent, stopped buffer of `size` zero bytes; 0 for an unplayable
    // format, a size of 0 or above kMaxBufferBytes, or no memory.
    VoiceId CreateVoice(const PcmFormat& format, u32 size);
    void DestroyVoice(VoiceId voice);

    // Copies `count` bytes to `offset`, wrapping to the buffer's start; 0 for
    // an unknown voice, a null source, or a count or offset past the size.
    u32 Write(VoiceId voice, u32 offset, const void* bytes, u32 count);
    // Starts (or resumes) from the play cursor; a looping buffer wraps at its
    // end, any other stops there.
    void Play(VoiceId voice, bool looping);
    // Pauses; the cursors stay where they are.
    void Stop(VoiceId voice);
    bool IsPlaying(VoiceId voice);
    // Play cursor, write cursor (one frame ahead: the mixer reads nothing
    // beyond the frame it is interpolating) and every byte consumed since
    // creation, unwrapped. False for an unknown voice.
    bool GetPosition(VoiceId voice, u32* playCursor, u32* writeCursor, u64* consumedBytes);
    // Hundredths of a decibel, clamped to −10000..0.
    void SetVolume(VoiceId voice, int32 hundredthsDb);

    // Mixes `frames` stereo frames of every playing buffer into `out`
    // (2 · frames samples), advancing their cursors. Any thread.
    void Render(int16* out, u32 frames);
    // Advances the cursors as Render would, for a sink that discards audio.
    void Consume(u32 frames);

    u32 VoiceCount();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The mixer every engine buffer lives in; it outlives every sound object.
AudioMixer& GetAudioMixer();

enum class AudioOutputKind { None, Device, NullSink };

// Opens the sound card on SDL's default driver and lets it pull from
// GetAudioMixer; when no device opens, starts a null sink that consumes
// 44100 frames a second so that cursors still move and sounds still end.
// Safe to call again after CloseAudioOutput.
AudioOutputKind OpenAudioOutput();
// Stops whichever output runs and joins its thread; buffers stay usable.
void CloseAudioOutput();

}  // namespace platform
