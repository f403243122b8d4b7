#include "sound/sound_buffer.h"

#include <cmath>
#include <new>

u8 g_soundVolumeLogCurve = 1;

int32 SoundVolumeToHundredthsDb(double volume) {
    // NaN lands here too: a broken volume is silence, not undefined behaviour.
    if (!(volume > 0)) return platform::kSilenceHundredthsDb;
    if (volume > 1) volume = 1;
    double value = g_soundVolumeLogCurve != 0 ? std::log10(volume * 10000.0) / 4.0 * 10000.0 - 10000.0
                                              : 10000.0 * volume - 10000.0;
    if (value < platform::kSilenceHundredthsDb) value = platform::kSilenceHundredthsDb;
    return static_cast<int32>(std::trunc(value));
}

classSoundBuffer::classSoundBuffer(const platform::PcmFormat& format, u32 size)
    : format_(format), buffer_(platform::GetAudioMixer().CreateVoice(format, size)), size_(size) {}

classSoundBuffer* classSoundBuffer::Create(const platform::PcmFormat& format, u32 size) {
    return new (std::nothrow) classSoundBuffer(format, size);
}

classSoundBuffer::~classSoundBuffer() {
    if (buffer_ != 0) platform::GetAudioMixer().DestroyVoice(buffer_);
}

u32 classSoundBuffer::Write(u32 offset, const void* bytes, u32 count) {
    if (buffer_ == 0 || bytes == nullptr || count == 0) return 0;
    return platform::GetAudioMixer().Write(buffer_, offset, bytes, count);
}

u32 classSoundBuffer::WriteRing(const void* bytes, u32 count) {
    if (size_ == 0) return 0;
    u32 done = Write(static_cast<u32>(written_ % size_), bytes, count);
    written_ += done;
    return done;
}

void classSoundBuffer::SetStreamEnd() {
    if (!endPosition_.IsSet()) endPosition_.Set(written_);
}

u32 classSoundBuffer::UpdatePositions() {
    if (buffer_ == 0) return 0;
    u64 played = 0;
    if (!platform::GetAudioMixer().GetPosition(buffer_, &lastPlayCursor_, &lastWriteCursor_, &played)) return 0;
    // The end test comes first and uses unwrapped counts: a stream whose end
    // sits just before a wrap, or a refill that came late, still stops.
    if (endPosition_.IsSet() && endPosition_.Get() < played) {
        Stop();
        return 0;
    }
    if (played > written_) {
        // The writer fell behind the player: the whole ring is stale. Carry
        // on from where the player is, frame aligned, so no old data replays.
        written_ = played;
        return size_;
    }
    u64 limit = played + size_;
    return written_ < limit ? static_cast<u32>(limit - written_) : 0;
}

void classSoundBuffer::SetVolume(double volume) {
    if (buffer_ == 0) return;
    platform::GetAudioMixer().SetVolume(buffer_, SoundVolumeToHundredthsDb(volume));
}

bool classSoundBuffer::GetPlayedBytes(u64* played) const {
    if (buffer_ == 0 || played == nullptr) return false;
    u32 playCursor = 0;
    u32 writeCursor = 0;
    return platform::GetAudioMixer().GetPosition(buffer_, &playCursor, &writeCursor, played);
}

bool classSoundBuffer::IsPlaying() const { return buffer_ != 0 && platform::GetAudioMixer().IsPlaying(buffer_); }

void classSoundBuffer::Play(bool looping) {
    if (buffer_ != 0) platform::GetAudioMixer().Play(buffer_, looping);
}

void classSoundBuffer::Stop() {
    if (buffer_ != 0) platform::GetAudioMixer().Stop(buffer_);
}
