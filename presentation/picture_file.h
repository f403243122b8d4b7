#pragma once
// A picture file read and decoded to BGRA, either by the draw that first
// shows it or ahead of that draw on a thread of its own: the pictures a frame
// brings are then decoded side by side, and beside the frame's other work
// (a transition's targets, the old screen's capture), instead of one after
// another inside it.
//
// Threads: a classPictureAhead is started, taken and dropped on the render
// thread; only the reading and decoding run on their own thread, which
// touches nothing but the file and the picture it makes.

#include <atomic>
#include <future>
#include <memory>
#include <string>

#include "foundation/report_once.h"
#include "platform/image/image.h"

struct classPictureFile {
    bool read = false;     // the file was there and could be read
    bool tooLarge = false;  // it was not read for its size, which has been said
    bool decoded = false;  // and it held a picture
    bool opaque = false;   // every texel of which is opaque (looked at where it was decoded)
    platform::DecodedImage image;
};

// Whether every texel of the BGRA rows has alpha 255.
bool AllTexelsOpaque(const u8* bgra, int32 width, int32 height, size_t pitch);

// The file as every picture is read (the archives, then loose files), decoded.
// The size of a picture on its way, told as soon as its header is read:
// what will hold it can be made while the rest is decoded.
struct classPictureSize {
    std::atomic<int32> width{0};  // atomic: set by the decoding thread, read by the render thread
    std::atomic<int32> height{0};
};

classPictureFile ReadPictureFile(const std::string& name, classPictureSize* size = nullptr);

// More at once would only hold more decoded pictures while the cores are
// busy anyway; the rest are decoded by their draws as before.
inline constexpr int kMostPicturesAhead = 4;

class classPictureAhead {
  public:
    classPictureAhead() = default;
    classPictureAhead(classPictureAhead&& other) noexcept;
    classPictureAhead& operator=(classPictureAhead&& other) noexcept;
    // A picture nobody took is waited for and dropped.
    ~classPictureAhead();

    // Starts on `name`, unless a picture is under way here already or as
    // many are under way as are worth decoding at once; true when it did.
    // What the reading says of the file is said with `origin`.
    bool Start(const std::string& name, const classScriptOrigin& origin = {});
    // The picture started here, waited for if need be; false when none was.
    bool Take(classPictureFile& file);
    // Started here and not yet decoded.
    bool StillDecoding() const;
    // The size of the picture started here, once its header was read; false
    // before (or when there is none, or it is no picture).
    bool SizeKnown(int32* width, int32* height) const;

  private:
    void Drop();
    std::future<classPictureFile> file_;
    std::future<void> thread_;  // the decoding thread, joined when dropped
    std::shared_ptr<classPictureSize> size_;
};

// Render thread: a frame held back for pictures still being decoded asks for
// the next one to start as soon as one of them is done, or has given its
// size (its textures can be made then), not at its time.
void WakeTheFrameWhenDecoded();
