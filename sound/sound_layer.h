#pragma once
// A numbered player of a list of files (music, an effect, a voice).
// Volumes are integers 0..1000 (1000 = full). Every field is guarded by
// g_soundLock; callers hold it across a lookup and what they do with the
// layer.

#include <memory>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "sound/sound_buffer.h"
#include "sound/sound_source.h"

class classSoundManager;

constexpr u32 kSoundRingBytes = 705600;   // 4 s at 176400 bytes a second
constexpr u32 kSoundRefillBytes = 88200;  // the most one refill writes

class classSoundLayer {
  public:
    classSoundLayer(int32 number, classSoundManager* manager);
    ~classSoundLayer();
    classSoundLayer(const classSoundLayer&) = delete;
    classSoundLayer& operator=(const classSoundLayer&) = delete;

    int32 Number() const { return layerNumber_; }
    // Stops, forgets the old files and flags, and takes the TAB-separated list.
    void SetFiles(const std::string& list);
    const std::vector<std::unique_ptr<classSoundSource>>& Files() const { return files_; }
    classSoundSource* FileAt(std::size_t index) { return index < files_.size() ? files_[index].get() : nullptr; }
    // The TAB-joined list as it was given.
    std::string FileList() const;

    bool Play();
    void Stop();
    void SetVolume(int32 volume);
    int32 GetVolume() const { return volume_; }
    void FadeVolume(int32 target, int32 milliseconds);
    void FadeOutAndStop(int32 milliseconds);
    bool IsFading() const { return fading_; }
    int32 GetFadeTarget() const { return fadeTarget_; }
    bool IsStopAtFadeEnd() const { return stopAtFadeEnd_ != 0; }

    void SetLoop(u8 value) { loop_ = value; }
    u8 GetLoop() const { return loop_; }
    void SetFinishToDelete(u8 value) { finishToDelete_ = value; }
    u8 GetFinishToDelete() const { return finishToDelete_; }
    // A FinishToDelete layer that has played its files and stopped: lookups
    // pass it by and the next tick removes it. Until it has played it stays
    // in sight, or the play that follows its set-up could never find it.
    bool IsFinished() const { return finishToDelete_ != 0 && played_ != 0 && GetState() == 0; }
    void SetStream(u8 value) { stream_ = value; }
    u8 GetStream() const { return stream_; }
    void SetLoopFileNo(int32 value) { loopFileNo_ = value; }
    int32 GetLoopFileNo() const { return loopFileNo_; }

    // 0 stopped; 1 playing once; 2 playing in a loop.
    int GetState() const;
    int32 GetEffectiveVolume() const;
    void ApplyVolume();
    u32 GetElapsedMs() const;
    u32 GetTotalLengthMs();
    bool IsPlayingByTime();
    // What is left to hear of a layer playing once, by how far the mixer has
    // played it; negative past its length. The elapsed time above is the
    // wall clock's from the Play call, while the mixer starts the sound at its
    // next pull and ends it at a later one. False when the layer is not
    // playing once.
    bool GetRemainingByPositionMs(int64* remainingMs);

    void FillStream();
    u32 ReadStream(u8* destination, u32 n);
    // True while a fade runs.
    bool Tick(u32 elapsed);

    classSoundBuffer* Buffer() { return buffer_.get(); }

  private:
    std::size_t LoopStartIndex() const;
    // Moves the stream to file `index`, rewound; false when nothing is left.
    void MoveTo(std::size_t index);

    int32 layerNumber_;
    classSoundManager* manager_;
    u8 playing_ = 0;
    u8 loop_ = 0;
    int32 volume_ = 1000;
    int32 loopFileNo_ = 0;
    u32 currentFile_ = 0;
    double fadeStep_ = 0;      // volume change per millisecond
    double fadeVolume_ = 0;    // the fade's exact position, so slow fades keep their fractions
    bool fading_ = false;      // a fade runs (a fade-out of a silent layer has step 0 and still runs)
    int32 fadeTarget_ = 0;
    u8 stopAtFadeEnd_ = 0;
    int32 volumeAfterStop_ = 0;
    u8 finishToDelete_ = 0;
    u8 played_ = 0;  // Play was asked since the files were given
    u8 stream_ = 0;
    u32 startTime_ = 0;
    std::vector<std::unique_ptr<classSoundSource>> files_;
    std::unique_ptr<classSoundBuffer> buffer_;
};
