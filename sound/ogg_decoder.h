#pragma once
// Ogg Vorbis decoding over a file image held in memory, through vorbisfile's
// reading callbacks. The image belongs to the caller and must outlive the
// decoder.

#include <memory>

#include "foundation/types.h"
#include "platform/audio.h"

// vorbisfile's view of the image. The position is 64-bit and never passes
// the size, so no read can start outside the image.
struct OggMemoryImage {
    const u8* bytes = nullptr;
    u64 position = 0;
    u64 size = 0;
};

size_t OggMemoryRead(void* buffer, size_t size, size_t count, void* image);
// 0 on success; −1 for a target outside the image, which vorbisfile takes as
// "not seekable here".
int OggMemorySeek(void* image, int64 offset, int origin);
int OggMemoryClose(void* image);
long OggMemoryTell(void* image);

class classOggDecoder {
  public:
    classOggDecoder();
    ~classOggDecoder();
    classOggDecoder(const classOggDecoder&) = delete;
    classOggDecoder& operator=(const classOggDecoder&) = delete;

    bool Open(const u8* bytes, u64 size);
    void Close();
    bool IsOpen() const;
    // 16-bit PCM of the stream's channels and rate.
    platform::PcmFormat Format() const;
    // The stream's length claimed by its last page, in whole PCM frames'
    // bytes; 0 when unknown. A claim, not a promise: callers never allocate
    // from it alone.
    u32 TotalPcmBytes() const;
    // Up to `count` bytes (rounded down to whole frames) of little-endian
    // signed 16-bit PCM. Always 0 or more: a hole in the stream is skipped,
    // any other decoder error ends the data.
    u32 Read(u8* destination, u32 count);
    void Rewind();

  private:
    struct State;
    std::unique_ptr<State> state_;
};
