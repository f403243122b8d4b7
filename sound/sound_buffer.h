#pragma once
// One playing sound's buffer in the mixer: the whole decoded sound, or a ring
// a streamer refills. Positions are kept unwrapped in 64 bits (bytes written,
// bytes played, the end of a stream's real data), so a stream always ends
// however its end falls against the ring's edge or a late refill.
//
// The buffer takes no lock of its own; callers that change layers hold
// g_soundLock, and the mixer behind it has its own leaf lock.

#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "platform/audio.h"

// Selects the logarithmic volume curve (1) or the linear one (0); nothing in
// the program changes it.
extern u8 g_soundVolumeLogCurve;

// A volume 0..1 in hundredths of a decibel, truncated toward zero.
int32 SoundVolumeToHundredthsDb(double volume);

class classSoundBuffer {
  public:
    // The buffer is valid when the mixer accepted the format and size; every
    // operation on an invalid one does nothing, so its layer is silent.
    static classSoundBuffer* Create(const platform::PcmFormat& format, u32 size);
    ~classSoundBuffer();
    classSoundBuffer(const classSoundBuffer&) = delete;
    classSoundBuffer& operator=(const classSoundBuffer&) = delete;

    bool IsValid() const { return buffer_ != 0; }
    u32 Size() const { return size_; }
    const platform::PcmFormat& Format() const { return format_; }

    u32 Write(u32 offset, const void* bytes, u32 count);
    // Writes at the fill position and moves it on by what was written.
    u32 WriteRing(const void* bytes, u32 count);
    // The stream's data ends at the current fill position (kept once set).
    void SetStreamEnd();
    // Bytes the ring writer may write now; stops the buffer once the player
    // has passed the recorded end of the stream.
    u32 UpdatePositions();
    void SetVolume(double volume);
    bool IsPlaying() const;
    void Play(bool looping);
    void Stop();

    u64 Written() const { return written_; }
    // Every byte the mixer has played from the buffer, unwrapped; false for an
    // invalid buffer.
    bool GetPlayedBytes(u64* played) const;

  private:
    classSoundBuffer(const platform::PcmFormat& format, u32 size);

    platform::PcmFormat format_;
    platform::VoiceId buffer_ = 0;
    u32 size_ = 0;
    u64 written_ = 0;  // fill position, unwrapped
    u32 lastWriteCursor_ = 0;
    u32 lastPlayCursor_ = 0;
    classOptionalValue<u64> endPosition_;  // fill position where the stream's data ended
};
