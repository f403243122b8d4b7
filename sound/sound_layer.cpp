#include "sound/sound_layer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"

namespace {
int32 ClampVolume(int32 v) { return std::clamp<int32>(v, 0, 1000); }
}  // namespace

classSoundLayer::classSoundLayer(int32 number, classSoundManager* manager)
    : layerNumber_(number), manager_(manager) {}

classSoundLayer::~classSoundLayer() = default;

void classSoundLayer::SetFiles(const std::string& list) {
    Stop();
    buffer_.reset();
    files_.clear();
    played_ = 0;
    loop_ = 0;
    stream_ = 0;
    loopFileNo_ = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = list.find('\t', start);
        std::string name = list.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        files_.push_back(std::make_unique<classSoundSource>(std::move(name)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (list.empty()) files_.clear();
}

std::string classSoundLayer::FileList() const {
    std::string joined;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (i != 0) joined += '\t';
        joined += files_[i]->FileName();
    }
    return joined;
}

bool classSoundLayer::Play() {
    classCriticalSectionLock hold(g_soundLock);
    if (files_.empty()) return false;
    platform::PcmFormat firstFormat;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        platform::PcmFormat format;
        bool ok = files_[i]->GetFormat(&format);
        if (i == 0 && ok) firstFormat = format;
        // A replay starts from the top, not where the last pass left off.
        files_[i]->Rewind();
    }
    currentFile_ = 0;
    playing_ = 1;
    played_ = 1;

    u64 size = 0;
    if (stream_ != 0) {
        size = kSoundRingBytes;
    } else {
        for (auto& file : files_) {
            u32 pcmSize = 0;
            file->DecodeAll(nullptr, &pcmSize);
            size += pcmSize;
        }
        // One buffer holds every file; past the mixer's limit there is none.
        if (size > platform::kMaxBufferBytes) size = 0;
    }
    if (size == 0) return true;

    buffer_.reset();
    buffer_.reset(classSoundBuffer::Create(firstFormat, static_cast<u32>(size)));
    if (!buffer_) return true;
    if (stream_ != 0) {
        for (int i = 0; i < 8; ++i) FillStream();
    } else {
        for (auto& file : files_) {
            const u8* bytes = nullptr;
            u32 pcmSize = 0;
            if (file->DecodeAll(&bytes, &pcmSize)) buffer_->WriteRing(bytes, pcmSize);
        }
    }
    ApplyVolume();
    buffer_->Play(stream_ != 0 || loop_ != 0);
    startTime_ = platform::NowMs();
    if (startTime_ == 0) startTime_ = 1;
    return true;
}

void classSoundLayer::Stop() {
    playing_ = 0;
    fadeStep_ = 0;
    fading_ = false;
    fadeTarget_ = 0;
    stopAtFadeEnd_ = 0;
    if (buffer_) {
        buffer_->SetVolume(0);
        buffer_->Stop();
    }
}

void classSoundLayer::SetVolume(int32 volume) {
    volume_ = ClampVolume(volume);
    fadeVolume_ = volume_;
    ApplyVolume();
}

void classSoundLayer::FadeVolume(int32 target, int32 milliseconds) {
    fadeTarget_ = ClampVolume(target);
    double change = static_cast<double>(fadeTarget_) - volume_;
    fadeStep_ = milliseconds >= 1 ? change / milliseconds : change;
    fadeVolume_ = volume_;
    fading_ = fadeStep_ != 0;
}

void classSoundLayer::FadeOutAndStop(int32 milliseconds) {
    stopAtFadeEnd_ = 1;
    volumeAfterStop_ = volume_;
    fadeTarget_ = 0;
    fadeStep_ = milliseconds >= 1 ? -static_cast<double>(volume_) / milliseconds : -static_cast<double>(volume_);
    fadeVolume_ = volume_;
    // Even a silent layer must stop at the fade's end.
    fading_ = true;
}

int classSoundLayer::GetState() const {
    if (playing_ == 0 || !buffer_ || !buffer_->IsPlaying()) return 0;
    return loop_ != 0 ? 2 : 1;
}

int32 classSoundLayer::GetEffectiveVolume() const {
    return manager_ != nullptr ? manager_->EffectiveVolumeOf(layerNumber_, volume_) : volume_;
}

void classSoundLayer::ApplyVolume() {
    if (buffer_) buffer_->SetVolume(GetEffectiveVolume() / 1000.0);
}

u32 classSoundLayer::GetElapsedMs() const { return startTime_ == 0 ? 0 : platform::NowMs() - startTime_; }

u32 classSoundLayer::GetTotalLengthMs() {
    u64 total = 0;
    for (auto& file : files_) {
        file->Prepare();
        total += file->GetLengthMs();
    }
    return static_cast<u32>(std::min<u64>(total, 0xFFFFFFFFu));
}

bool classSoundLayer::GetRemainingByPositionMs(int64* remainingMs) {
    if (remainingMs == nullptr || GetState() != 1) return false;
    u64 played = 0;
    if (!buffer_->GetPlayedBytes(&played)) return false;
    const u32 bytesPerSecond = buffer_->Format().avgBytesPerSec;
    if (bytesPerSecond == 0) return false;
    const u64 playedMs = std::min<u64>(played / bytesPerSecond * 1000 + played % bytesPerSecond * 1000 / bytesPerSecond,
                                       static_cast<u64>(INT64_MAX / 2));
    *remainingMs = static_cast<int64>(GetTotalLengthMs()) - static_cast<int64>(playedMs);
    return true;
}

bool classSoundLayer::IsPlayingByTime() {
    if (startTime_ == 0) return false;
    if (loop_ != 0) return true;
    return GetElapsedMs() < GetTotalLengthMs();
}

void classSoundLayer::FillStream() {
    if (!buffer_) return;
    u32 n = std::min(buffer_->UpdatePositions(), kSoundRefillBytes);
    if (n == 0) return;
    std::vector<u8> piece(n, 0);
    u32 got = ReadStream(piece.data(), n);
    if (got == 0) {
        buffer_->SetStreamEnd();
        buffer_->WriteRing(piece.data(), n);
    } else {
        buffer_->WriteRing(piece.data(), got);
    }
}

std::size_t classSoundLayer::LoopStartIndex() const {
    // A loop start outside the list repeats the first file.
    return loopFileNo_ >= 0 && static_cast<std::size_t>(loopFileNo_) < files_.size()
               ? static_cast<std::size_t>(loopFileNo_)
               : 0;
}

void classSoundLayer::MoveTo(std::size_t index) {
    currentFile_ = static_cast<u32>(index);
    files_[index]->Rewind();
}

u32 classSoundLayer::ReadStream(u8* destination, u32 n) {
    if (files_.empty() || destination == nullptr) return 0;
    if (currentFile_ >= files_.size()) currentFile_ = 0;
    u32 done = 0;
    // Files passed in a row without a byte; a whole list of them means the
    // list has no audio at all, and a loop over it would never end.
    std::size_t emptyMoves = 0;
    while (done < n) {
        u32 got = files_[currentFile_]->ReadPcm(destination + done, n - done);
        if (got != 0) {
            done += got;
            emptyMoves = 0;
            continue;
        }
        if (++emptyMoves > files_.size()) break;
        const bool last = currentFile_ + 1 >= files_.size();
        if (!last) {
            MoveTo(currentFile_ + 1);
        } else if (loop_ == 0) {
            break;
        } else {
            MoveTo(LoopStartIndex());
        }
    }
    return done;
}

bool classSoundLayer::Tick(u32 elapsed) {
    if (stream_ != 0) FillStream();
    if (!fading_) return false;
    bool reached;
    int32 next;
    fadeVolume_ += static_cast<double>(elapsed) * fadeStep_;
    next = static_cast<int32>(std::trunc(std::clamp(fadeVolume_, -1.0e6, 1.0e6)));
    if (fadeStep_ >= 0) {
        reached = fadeTarget_ <= volume_;
        next = std::min(next, fadeTarget_);
    } else {
        reached = fadeTarget_ >= volume_;
        next = std::max(next, fadeTarget_);
    }
    if (reached) {
        SetVolume(fadeTarget_);
        fadeStep_ = 0;
        fading_ = false;
        if (stopAtFadeEnd_ != 0) {
            stopAtFadeEnd_ = 0;
            Stop();
            volume_ = volumeAfterStop_;
            fadeVolume_ = volume_;
        }
    } else {
        volume_ = next;
    }
    return true;
}
