#include "sound/sound_source.h"

#include <cstring>
#include <new>

#include "foundation/archive.h"
#include "foundation/file.h"
#include "platform/audio.h"
#include "sound/sound_system.h"
#include "sound/wave_parser.h"

void classSoundSource::SetFileName(std::string name) {
    if (name == fileName_) return;
    decoder_.Close();
    fileBytes_.clear();
    pcm_.clear();
    readPosition_ = 0;
    format_ = platform::PcmFormat{};
    hasFormat_ = false;
    totalPcmBytes_ = 0;
    fileName_ = std::move(name);
    origin_ = CurrentScriptOrigin();
    reported_ = false;
}

void classSoundSource::ReportFile(const char* what) {
    if (reported_ || fileName_.empty()) return;
    reported_ = true;
    ReportOnce(origin_, "the sound " + QuotedName(fileName_) + what);
}

bool classSoundSource::LoadFileData() {
    classCriticalSectionLock hold(g_soundLock);
    if (!fileName_.empty() && fileBytes_.empty()) {
        bool tooLarge = false;
        if (!ReadWholeFile(fileName_, fileBytes_, false, &tooLarge)) {
            // Its size has been said; "missing" would say it again, wrongly.
            if (tooLarge) reported_ = true;
            fileBytes_.clear();
            classFile file;
            if (file.OpenRead(fileName_, false)) {
                u64 size = file.GetSize();
                if (size != 0 && size <= platform::kMaxBufferBytes) {
                    try {
                        fileBytes_.resize(size);
                        if (file.Read(fileBytes_.data(), size) != size) fileBytes_.clear();
                    } catch (const std::bad_alloc&) {
                        fileBytes_.clear();
                    }
                }
                file.Close();
            }
        }
    }
    return !fileBytes_.empty();
}

void classSoundSource::SetFileData(std::vector<u8> bytes) {
    decoder_.Close();
    pcm_.clear();
    readPosition_ = 0;
    hasFormat_ = false;
    totalPcmBytes_ = 0;
    fileBytes_ = std::move(bytes);
}

bool classSoundSource::IsWave() const { return fileBytes_.size() >= 4 && std::memcmp(fileBytes_.data(), "RIFF", 4) == 0; }
bool classSoundSource::IsOgg() const {
    return !IsWave() && fileBytes_.size() >= 3 && std::memcmp(fileBytes_.data(), "Ogg", 3) == 0;
}

bool classSoundSource::Prepare() {
    if (!LoadFileData()) {
        ReportFile(" is missing or cannot be read");
        return false;
    }
    if (IsWave()) {
        if (pcm_.empty() && !hasFormat_) {
            hasFormat_ = ParseWaveInMemory(fileBytes_, &format_, &pcm_);
            // A ragged last frame would shift every later frame of a stream
            // by a byte or two, turning the rest of the ring into noise.
            if (hasFormat_ && format_.blockAlign != 0) pcm_.resize(pcm_.size() - pcm_.size() % format_.blockAlign);
            // A WAV's length is known from its data, so waits on a WAV voice
            // can end on time as they do for Ogg.
            if (hasFormat_) totalPcmBytes_ = static_cast<u32>(pcm_.size());
        }
    } else if (IsOgg()) {
        if (!decoder_.IsOpen() && decoder_.Open(fileBytes_.data(), fileBytes_.size())) {
            format_ = decoder_.Format();
            totalPcmBytes_ = decoder_.TotalPcmBytes();
            hasFormat_ = true;
        }
    }
    if (!hasFormat_) ReportFile(" cannot be decoded: Ogg Vorbis and PCM WAVE sounds are played");
    // The mixer plays such a sound as silence; the writer hears nothing and
    // must be told why.
    if (hasFormat_ && !platform::IsPlayableFormat(format_)) {
        const std::string what = " is " + std::to_string(format_.bitsPerSample) + "-bit, " +
                                 std::to_string(format_.channels) + "-channel, " +
                                 std::to_string(format_.samplesPerSec) +
                                 " Hz sound, which the mixer does not play (it plays 8- or 16-bit PCM in one "
                                 "or two channels); it is silent";
        ReportFile(what.c_str());
    }
    return hasFormat_;
}

bool classSoundSource::GetFormat(platform::PcmFormat* out) {
    if (!Prepare()) return false;
    if (out != nullptr) *out = format_;
    return true;
}

bool classSoundSource::DecodeAll(const u8** bytes, u32* size) {
    if (IsOgg() && pcm_.empty() && decoder_.IsOpen()) {
        // The length the stream claims is only a hint: decode piece by piece
        // so a lying file cannot make us allocate gigabytes up front.
        decoder_.Rewind();
        constexpr u32 kPiece = 1u << 16;
        try {
            u64 have = 0;
            for (;;) {
                if (have + kPiece > platform::kMaxBufferBytes) break;
                pcm_.resize(have + kPiece);
                u32 got = decoder_.Read(pcm_.data() + have, kPiece);
                have += got;
                if (got == 0) break;
            }
            pcm_.resize(have);
            pcm_.shrink_to_fit();
        } catch (const std::bad_alloc&) {
            pcm_.clear();
        }
        decoder_.Rewind();
    }
    if (bytes != nullptr) *bytes = pcm_.data();
    if (size != nullptr) *size = static_cast<u32>(pcm_.size());
    return !pcm_.empty();
}

u32 classSoundSource::ReadPcm(u8* destination, u32 count) {
    if (destination == nullptr || count == 0) return 0;
    if (IsWave()) {
        if (readPosition_ >= pcm_.size()) return 0;
        u32 n = static_cast<u32>(std::min<u64>(count, pcm_.size() - readPosition_));
        std::memcpy(destination, pcm_.data() + readPosition_, n);
        readPosition_ += n;
        return n;
    }
    if (IsOgg()) {
        u32 n = decoder_.Read(destination, count);
        readPosition_ += n;
        return n;
    }
    return 0;
}

void classSoundSource::Rewind() {
    readPosition_ = 0;
    if (IsOgg()) decoder_.Rewind();
}

u32 classSoundSource::GetLengthMs() {
    if (!hasFormat_ || format_.avgBytesPerSec == 0) return 0;
    return static_cast<u32>(static_cast<u64>(totalPcmBytes_) * 1000 / format_.avgBytesPerSec);
}
