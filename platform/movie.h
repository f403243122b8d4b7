#pragma once
// Movies as the engine sees them: a player that decodes a movie file on a
// thread of its own and keeps its newest due picture ready for the render
// thread, with the movie's sound in a voice of the audio mixer.
//
// A player opens paused and cued: its first picture is decoded and shown
// before anything runs. Run starts the movie clock from where it stands;
// Pause and Stop hold it (Stop does not rewind: a Run after it resumes).
// Pictures are handed over at the movie's pace, never ahead of their time; a
// picture whose successor is already due is skipped, so a slow machine drops
// pictures rather than falls behind. At the end of the stream the last
// picture stays and the clock stands at the end: the current position then
// equals the stop position, and nothing loops.
//
// Every picture comes out at the size fixed at open (the coded size of the
// video stream), as BGRA with alpha 255, top row first, whatever the stream
// changes later. Timestamps count from the start of the file's streams;
// pictures without one follow their predecessor by one frame interval.
//
// Threads: the control calls and TakePicture may come from any thread; the
// destructor stops and joins the decoder thread. The decoder thread touches
// nothing but the player's own state, its byte source and its mixer voice.

#include <functional>
#include <memory>
#include <string>

#include "foundation/types.h"

namespace platform {

class AudioMixer;

// The bytes of a movie file read in place (an archive's entry or a loose
// file). Used by the decoder thread only, after the open.
class MovieByteSource {
  public:
    virtual ~MovieByteSource() = default;
    virtual u64 Size() const = 0;
    // Reads up to n bytes at `offset`; fewer only at the end or on an error.
    virtual u64 ReadAt(u64 offset, void* out, u64 n) = 0;
};

// Microseconds of some monotonic clock; tests drive one by hand.
using MovieClock = std::function<int64()>;

struct MovieOptions {
    // Where the movie's sound goes (null: the sound is not decoded).
    AudioMixer* mixer = nullptr;
    // The voice's volume in hundredths of a decibel.
    int32 volume = 0;
    // Null: the steady clock.
    MovieClock clock;
    // Called once, on the decoder thread, when the movie reaches its end
    // (so that whoever waits for it need not poll). Takes no lock of the player.
    std::function<void()> onEnd;
};

class MoviePlayer {
  public:
    virtual ~MoviePlayer() = default;

    virtual int32 Width() const = 0;
    virtual int32 Height() const = 0;

    virtual void Run() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Speed of the movie clock (1.0 normal); the sound is not resampled.
    virtual void SetRate(double rate) = 0;
    // Current and stop position in microseconds. Both are 0 for a movie
    // without anything to play; the stop position is the end of the
    // stream once it is known (the length the file claims until then).
    virtual void GetPositions(int64* current, int64* stop) = 0;
    // True once the first picture is ready and the sound is buffered.
    virtual bool IsCued() = 0;

    // When a picture newer than `*serial` is ready (or any picture while
    // `*serial` is 0), calls `use` with it (Width() × Height() BGRA, `pitch`
    // bytes a row), updates `*serial` and returns true. The picture stays the
    // player's: `use` must not keep the pointer. The decoder thread goes on
    // decoding into other buffers meanwhile.
    virtual bool TakePicture(u64* serial, const std::function<void(const u8* bgra, size_t pitch)>& use) = 0;
};

// Opens a movie from `source`: probes the container, picks its video stream
// and its sound, and starts the decoder thread. Null when no video stream can
// be decoded (damaged, truncated, unknown or picture-less files).
std::unique_ptr<MoviePlayer> OpenMovie(std::unique_ptr<MovieByteSource> source, const MovieOptions& options);

// Why no movie can be opened at all: the movie module beside the program
// could not be loaded (with the path looked for), or "" when it is there.
// Loads the module on first need, as OpenMovie does.
std::string MovieModuleProblem();

// What a check of a movie file found (for the fuzz target and the benchmark).
struct MovieScan {
    bool opened = false;
    int32 width = 0;
    int32 height = 0;
    int64 pictures = 0;       // pictures decoded and converted
    int64 soundFrames = 0;    // 44100 Hz frames of sound decoded and converted
    int64 lastPictureUs = 0;  // timestamp of the last picture
};
// Opens `source` and decodes at most `maxPictures` pictures with their sound
// as fast as it can, on the calling thread, through the same code the player
// uses. False when the movie cannot be opened.
bool ScanMovie(MovieByteSource& source, int64 maxPictures, MovieScan* scan);

// A byte source over memory that the caller keeps alive.
std::unique_ptr<MovieByteSource> MemoryMovieSource(const u8* bytes, size_t size);

}  // namespace platform
