// The movie player: one decoder thread per movie that keeps the newest due
// picture ready for the render thread and the movie's sound a little ahead
// of the mixer's play cursor.
//
// Sound and pictures share the movie clock (the steady clock while running).
// The sound voice is a looping ring that starts and stops with the clock;
// each write lands where the mixer will play it at the sound's own movie
// time, so pictures and sound stay in step, and a large difference (the
// output lagging, a gap in the file) is mended by skipping or padding.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/movie.h"
#include "platform/movie/movie_decoder.h"
#include "platform/movie/movie_module.h"

namespace platform {

namespace {

constexpr int64 kRingFrames = kOutputRate;        // one second of sound
constexpr int64 kLeadFrames = kOutputRate / 4;    // written ahead of the play cursor
constexpr int64 kDriftFrames = kOutputRate / 10;  // mended beyond this
constexpr int64 kLongestSleepUs = 50000;          // the sound is looked after at least this often
constexpr int64 kClockSlackUs = 60000;            // the clock's leeway around the sound played
constexpr int kDecoderThreads = 1;

int64 SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class FfmpegMoviePlayer final : public MoviePlayer {
  public:
    FfmpegMoviePlayer(std::unique_ptr<MovieByteSource> source, const MovieOptions& options)
        : source_(std::move(source)),
          mixer_(options.mixer),
          volume_(options.volume),
          clock_(options.clock),
          onEnd_(options.onEnd) {
        if (!clock_) clock_ = &SteadyMicroseconds;
    }

    ~FfmpegMoviePlayer() override {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        if (voice_ != 0) mixer_->DestroyVoice(voice_);
        av_frame_free(&pending_);
        av_frame_free(&next_);
    }

    bool Open() {
        if (!decoder_.Open(source_.get(), mixer_ != nullptr, kDecoderThreads)) return false;
        pending_ = av_frame_alloc();
        next_ = av_frame_alloc();
        if (pending_ == nullptr || next_ == nullptr) return false;
        pitch_ = static_cast<size_t>(decoder_.Width()) * 4;
        if (decoder_.HasSound()) {
            const PcmFormat format{1, 2, kOutputRate, kOutputRate * 4, 4, 16};
            voice_ = mixer_->CreateVoice(format, static_cast<u32>(kRingFrames * 4));
            if (voice_ != 0) mixer_->SetVolume(voice_, volume_);
        }
        thread_ = std::thread([this] { Decode(); });
        return true;
    }

    int32 Width() const override { return decoder_.Width(); }
    int32 Height() const override { return decoder_.Height(); }

    void Run() override {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (running_ || ended_) return;
            anchorUs_ = clock_();
            running_ = true;
            soundBaseUs_ = baseUs_;
            consumedAtRun_ = ConsumedFrames();
            if (voice_ != 0) mixer_->Play(voice_, true);
        }
        wake_.notify_all();
    }
    void Pause() override { Hold(); }
    void Stop() override { Hold(); }
    void SetRate(double rate) override {
        if (!(rate > 0.0)) return;
        std::lock_guard<std::mutex> hold(mutex_);
        const int64 now = clock_();
        baseUs_ = MovieTimeLocked(now);
        anchorUs_ = now;
        rate_ = rate;
    }

    void GetPositions(int64* current, int64* stop) override {
        std::lock_guard<std::mutex> hold(mutex_);
        int64 end = endKnown_ ? endUs_ : (decoder_.DurationUs() > 0 ? decoder_.DurationUs() : INT64_MAX);
        int64 now = ended_ ? end : MovieTimeLocked(clock_());
        // Only the real end makes the two equal: a file that claims less
        // than it holds still plays to its last picture.
        if (endKnown_ && now >= end)
            now = end;
        else if (now >= end)
            now = end - 1;
        if (current != nullptr) *current = std::max<int64>(now, 0);
        if (stop != nullptr) *stop = end;
    }

    bool IsCued() override {
        std::lock_guard<std::mutex> hold(mutex_);
        return cued_;
    }

    bool TakePicture(u64* serial, const std::function<void(const u8*, size_t)>& use) override {
        int index;
        u64 taken;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (latest_ < 0 || (*serial != 0 && *serial == latestSerial_)) return false;
            index = latest_;
            taken = latestSerial_;
            reading_ = index;
        }
        use(buffers_[index].data(), pitch_);
        {
            std::lock_guard<std::mutex> hold(mutex_);
            reading_ = -1;
        }
        *serial = taken;
        return true;
    }

  private:
    void Hold() {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!running_) return;
        baseUs_ = MovieTimeLocked(clock_());
        running_ = false;
        if (voice_ != 0) mixer_->Stop(voice_);
    }

    int64 MovieTimeLocked(int64 now) {
        if (!running_) return baseUs_;
        const double run = static_cast<double>(now - anchorUs_) * rate_;
        int64 movieUs = baseUs_ + static_cast<int64>(std::max(run, 0.0));
        if (voice_ != 0 && rate_ == 1.0) {
            // The clock keeps close to what the mixer has played: when the
            // output falls behind (a busy machine) the pictures and the end
            // wait for the sound instead of the sound being skipped.
            const int64 soundUs = soundBaseUs_ + (ConsumedFrames() - consumedAtRun_) * 1000000 /
                                                     static_cast<int64>(kOutputRate);
            const int64 low = soundUs - kClockSlackUs, high = soundUs + kClockSlackUs;
            if (movieUs < low || movieUs > high) {
                movieUs = std::clamp(movieUs, low, high);
                baseUs_ = movieUs;
                anchorUs_ = now;
            }
        }
        return movieUs;
    }

    int64 ConsumedFrames() const {
        u64 consumedBytes = 0;
        if (voice_ == 0 || !mixer_->GetPosition(voice_, nullptr, nullptr, &consumedBytes)) return 0;
        return static_cast<int64>(consumedBytes / 4);
    }

    // Keeps the ring filled up to the lead with the sound due there, or with
    // silence where there is none, so the ring never replays old sound.
    // Sound that would play later than its time by more than a little (the
    // output stalled, the clock jumped) is skipped, even while the ring is
    // full, so a movie's sound never holds its end back.
    void FeedSound(int64 movieUs) {
        if (voice_ == 0) return;
        u64 consumedBytes = 0;
        if (!mixer_->GetPosition(voice_, nullptr, nullptr, &consumedBytes)) return;
        const int64 consumed = static_cast<int64>(consumedBytes / 4);
        ClearPlayed(consumed);
        if (written_ < consumed) written_ = consumed;  // what was missed is gone
        const int64 target = consumed + kLeadFrames;
        const int64 nowFrame = movieUs * static_cast<int64>(kOutputRate) / 1000000;
        for (;;) {
            decoder_.FillSound(std::max<int64>(target - written_, 1));
            int64 count = target - written_;
            bool silence = true;
            if (decoder_.SoundAvailable() > 0) {
                // Where the mixer will be when the waiting sound is due.
                const int64 due = consumed + (decoder_.SoundStartFrame() - nowFrame);
                if (written_ - due > kDriftFrames) {
                    decoder_.DropSound(written_ - due);
                    continue;
                }
                if (count <= 0) return;
                if (due - written_ > kDriftFrames) {
                    count = std::min(count, due - written_);
                } else {
                    count = std::min(count, decoder_.SoundAvailable());
                    silence = false;
                }
            }
            if (count <= 0) return;
            scratch_.assign(static_cast<size_t>(count) * 2, 0);
            if (!silence) decoder_.ReadSound(scratch_.data(), count);
            const u32 offset = static_cast<u32>((written_ % kRingFrames) * 4);
            mixer_->Write(voice_, offset, scratch_.data(), static_cast<u32>(count * 4));
            written_ += count;
        }
    }

    // The ring loops: what the mixer has played is silenced behind it, so a
    // writer that falls behind (a busy machine) leaves a gap of silence
    // rather than sound from a second ago.
    void ClearPlayed(int64 consumed) {
        const int64 fresh = std::max<int64>(written_ - consumed, 0);
        int64 count = std::min(consumed - cleared_, kRingFrames - fresh);
        cleared_ = consumed;
        if (count <= 0) return;
        scratch_.assign(static_cast<size_t>(std::min(count, kRingFrames)) * 2, 0);
        int64 from = consumed - count;
        while (count > 0) {
            const int64 offset = from % kRingFrames;
            const int64 piece = std::min(count, kRingFrames - offset);
            mixer_->Write(voice_, static_cast<u32>(offset * 4), scratch_.data(), static_cast<u32>(piece * 4));
            from += piece;
            count -= piece;
        }
    }

    void FeedSoundAt() {
        int64 movieUs;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            movieUs = MovieTimeLocked(clock_());
        }
        FeedSound(movieUs);
    }

    int PickFreeBuffer() {
        std::lock_guard<std::mutex> hold(mutex_);
        for (int i = 0; i < 3; ++i) {
            if (i != latest_ && i != reading_) return i;
        }
        return -1;  // cannot happen: at most two are taken
    }

    void Publish(int index) {
        std::lock_guard<std::mutex> hold(mutex_);
        latest_ = index;
        ++latestSerial_;
    }

    void Decode() {
        bool pendingValid = false, nextValid = false, videoDone = false, shownAny = false;
        int64 pendingUs = 0, nextUs = 0, shownEndUs = 0;
        int prepared = -1;  // the buffer holding the pending picture, converted early
        for (;;) {
            FeedSoundAt();
            int64 movieUs;
            bool running;
            {
                // Cued: the first picture is out (or there is none) and the sound is buffered.
                const bool cued = (shownAny || videoDone) &&
                                  (voice_ == 0 || decoder_.SoundEnded() || written_ >= kLeadFrames);
                std::lock_guard<std::mutex> hold(mutex_);
                if (quit_) return;
                movieUs = MovieTimeLocked(clock_());
                running = running_;
                cued_ = cued_ || cued;
            }

            if (!pendingValid && !videoDone) {
                pendingValid = decoder_.DecodePicture(pending_, &pendingUs);
                videoDone = !pendingValid;
                prepared = -1;
            }
            if (pendingValid && (!shownAny || pendingUs <= movieUs)) {
                // A picture whose successor is due too is late: skip it.
                while (shownAny) {
                    if (!nextValid && !videoDone) {
                        nextValid = decoder_.DecodePicture(next_, &nextUs);
                        videoDone = !nextValid;
                    }
                    if (!nextValid || nextUs > movieUs) break;
                    std::swap(pending_, next_);
                    pendingUs = nextUs;
                    nextValid = false;
                    prepared = -1;
                }
                if (prepared < 0) prepared = Prepare(pending_);
                if (prepared >= 0) Publish(prepared);
                shownAny = true;
                shownEndUs = pendingUs + decoder_.FrameUs();
                pendingValid = false;
                prepared = -1;
                if (nextValid) {
                    std::swap(pending_, next_);
                    pendingUs = nextUs;
                    nextValid = false;
                    pendingValid = true;
                }
                continue;
            }
            // The next picture is converted while it waits for its time.
            if (pendingValid && prepared < 0) prepared = Prepare(pending_);

            int64 sleepUs = kLongestSleepUs;
            if (!pendingValid && videoDone && decoder_.SoundEnded()) {
                const int64 endUs = std::max(shownEndUs, voice_ != 0 ? decoder_.SoundEndUs() : 0);
                bool endedNow = false;
                {
                    std::lock_guard<std::mutex> hold(mutex_);
                    endKnown_ = true;
                    endUs_ = endUs;
                    if (!ended_ && MovieTimeLocked(clock_()) >= endUs) {
                        ended_ = true;
                        endedNow = true;
                        cued_ = true;
                        baseUs_ = endUs;
                        running_ = false;
                        if (voice_ != 0) mixer_->Stop(voice_);
                    }
                    if (running_)
                        sleepUs = std::min(sleepUs, static_cast<int64>((endUs - movieUs) / rate_) + 1);
                }
                if (endedNow && onEnd_) onEnd_();
            } else if (pendingValid && running) {
                sleepUs = std::min(sleepUs, static_cast<int64>((pendingUs - movieUs) / rate_) + 1);
            }
            std::unique_lock<std::mutex> hold(mutex_);
            if (quit_) return;
            // Paused with everything buffered: nothing happens until a request.
            if (!running_ && (ended_ || (cued_ && pendingValid))) {
                wake_.wait_for(hold, std::chrono::microseconds(kLongestSleepUs * 4));
            } else {
                wake_.wait_for(hold, std::chrono::microseconds(std::max<int64>(sleepUs, 1000)));
            }
        }
    }

    // Converts a picture into a buffer the render thread is not reading;
    // -1 when it cannot be converted (the last good picture stays).
    int Prepare(const AVFrame* frame) {
        const int index = PickFreeBuffer();
        if (index < 0) return -1;
        std::vector<u8>& buffer = buffers_[index];
        if (buffer.empty()) buffer.assign(pitch_ * static_cast<size_t>(decoder_.Height()), 0);
        return decoder_.ConvertPicture(frame, buffer.data(), pitch_) ? index : -1;
    }

    std::unique_ptr<MovieByteSource> source_;
    AudioMixer* mixer_;
    int32 volume_;
    MovieClock clock_;
    std::function<void()> onEnd_;
    MovieDecoder decoder_;  // decoder thread only, after Open
    std::thread thread_;
    size_t pitch_ = 0;
    VoiceId voice_ = 0;

    // Decoder thread only.
    AVFrame* pending_ = nullptr;
    AVFrame* next_ = nullptr;
    int64 written_ = 0;  // mixer frames of the voice written so far (the ring's unwrapped end)
    int64 cleared_ = 0;  // frames of the voice silenced behind the play cursor
    std::vector<int16> scratch_;

    // Guarded by mutex_ (the buffers' contents belong to whoever holds their
    // index: the decoder thread for a free one, the reader for reading_).
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool running_ = false;
    bool ended_ = false;
    bool endKnown_ = false;
    bool cued_ = false;
    int64 endUs_ = 0;
    int64 baseUs_ = 0;         // movie time when the clock last stood still or changed rate
    int64 anchorUs_ = 0;       // clock time of that moment
    int64 soundBaseUs_ = 0;    // movie time at the last Run
    int64 consumedAtRun_ = 0;  // the voice's frames played by then
    double rate_ = 1.0;
    std::vector<u8> buffers_[3];
    int latest_ = -1;
    int reading_ = -1;
    u64 latestSerial_ = 0;
};

}  // namespace

static void QuietLibraryLog() {
    // Damaged game data is answered by the player's results, not by lines on stderr.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

static MoviePlayer* OpenFfmpegMovie(MovieByteSource* sourceBytes, const MovieOptions& options) {
    std::unique_ptr<MovieByteSource> source(sourceBytes);
    if (source == nullptr) return nullptr;
    QuietLibraryLog();
    auto player = std::make_unique<FfmpegMoviePlayer>(std::move(source), options);
    if (!player->Open()) return nullptr;
    return player.release();
}

static bool ScanFfmpegMovie(MovieByteSource& source, int64 maxPictures, MovieScan* scan) {
    MovieScan result;
    QuietLibraryLog();
    MovieDecoder decoder;
    if (!decoder.Open(&source, true, 1)) {
        if (scan != nullptr) *scan = result;
        return false;
    }
    result.opened = true;
    result.width = decoder.Width();
    result.height = decoder.Height();
    AVFrame* frame = av_frame_alloc();
    std::vector<u8> picture(static_cast<size_t>(decoder.Width()) * 4 * static_cast<size_t>(decoder.Height()));
    std::vector<int16> sound(8192);
    int64 timeUs = 0;
    while (frame != nullptr && result.pictures < maxPictures && decoder.DecodePicture(frame, &timeUs)) {
        if (decoder.ConvertPicture(frame, picture.data(), static_cast<size_t>(decoder.Width()) * 4)) {
            ++result.pictures;
        }
        result.lastPictureUs = timeUs;
        av_frame_unref(frame);
        decoder.FillSound(4096);
        while (decoder.SoundAvailable() > 0) result.soundFrames += decoder.ReadSound(sound.data(), 4096);
    }
    av_frame_free(&frame);
    if (scan != nullptr) *scan = result;
    return true;
}

}  // namespace platform

extern "C" __attribute__((visibility("default"))) const platform::MovieModuleEntries* velk2_movie_module() {
    static constexpr platform::MovieModuleEntries kEntries{platform::kMovieModuleVersion, &platform::OpenFfmpegMovie,
                                                           &platform::ScanFfmpegMovie};
    return &kEntries;
}
