#pragma once
// The FFmpeg half of a movie: the container read through a custom I/O
// context over a MovieByteSource (so archives play as well as loose files),
// one video and one sound stream decoded, pictures converted to BGRA at the
// size fixed at open, sound converted to the mixer's 44100 Hz 16-bit stereo.
// Single-threaded: the player's decoder thread (or a scan) owns it.
//
// Untrusted bytes: every size is checked before it is used, nested opens
// (playlists that name other files) are refused, a read error counts as the
// end of the file, and every loop ends with the file.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <deque>
#include <vector>

#include "platform/movie.h"

namespace platform {

class MovieDecoder {
  public:
    MovieDecoder() = default;
    ~MovieDecoder();
    MovieDecoder(const MovieDecoder&) = delete;
    MovieDecoder& operator=(const MovieDecoder&) = delete;

    // False when no video stream can be decoded. `source` must outlive the decoder.
    bool Open(MovieByteSource* source, bool wantSound, int threads);

    int32 Width() const { return width_; }
    int32 Height() const { return height_; }
    bool HasSound() const { return audio_ != nullptr; }
    // The length the container claims, 0 when it says nothing.
    int64 DurationUs() const { return durationUs_; }
    // Interval of one picture, from the stream's frame rate.
    int64 FrameUs() const { return frameUs_; }

    // Decodes the next picture into `frame` with its time; false once the
    // video has ended (the decoder was drained).
    bool DecodePicture(AVFrame* frame, int64* timeUs);
    // Converts a decoded picture to BGRA at Width() × Height().
    bool ConvertPicture(const AVFrame* frame, u8* bgra, size_t pitch);

    // Reads on until at least `frames` frames of sound are waiting or the
    // sound has ended. Stops early when the pictures read on the way pile up.
    void FillSound(int64 frames);
    int64 SoundAvailable() const { return static_cast<int64>(sound_.size() - soundRead_) / 2; }
    // Movie time, in 44100 Hz frames, of the first waiting frame.
    int64 SoundStartFrame() const { return soundStartFrame_; }
    // Copies out and removes up to `frames` waiting frames; returns how many.
    int64 ReadSound(int16* out, int64 frames);
    void DropSound(int64 frames);
    // True when no more sound will come (none in the file, or drained and read).
    bool SoundEnded() const { return audio_ == nullptr || (soundDrained_ && SoundAvailable() == 0); }
    // Movie time at which the last decoded sound ends.
    int64 SoundEndUs() const;

  private:
    // One packet from the container, routed: video is queued, sound decoded.
    // False at the end of the container (or a read error).
    bool ReadPacket();
    void DecodeSoundPacket(const AVPacket* packet);
    void ConvertSound(const AVFrame* frame);
    int64 RelativeUs(int64 timestamp, AVRational base);

    MovieByteSource* source_ = nullptr;
    u64 position_ = 0;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    SwsContext* scale_ = nullptr;
    SwrContext* resample_ = nullptr;
    AVFrame* soundFrame_ = nullptr;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    int32 width_ = 0;
    int32 height_ = 0;
    int64 durationUs_ = 0;
    int64 frameUs_ = 40000;
    int64 originUs_ = AV_NOPTS_VALUE;
    int64 lastPictureUs_ = -1;

    std::deque<AVPacket*> videoPackets_;
    size_t queuedBytes_ = 0;
    bool demuxEnded_ = false;
    bool videoFlushed_ = false;
    bool videoEnded_ = false;

    // Converted sound waiting to be read: interleaved stereo samples from soundRead_.
    std::vector<int16> sound_;
    size_t soundRead_ = 0;
    int64 soundStartFrame_ = 0;
    bool soundTimed_ = false;
    bool soundDrained_ = false;
    // The input format the resampler was made for.
    int resampleFormat_ = -1;
    int resampleRate_ = 0;
    AVChannelLayout resampleLayout_{};

    friend int ReadMovieBytes(void* opaque, uint8_t* buffer, int size);
    friend int64_t SeekMovieBytes(void* opaque, int64_t offset, int whence);
};

}  // namespace platform
