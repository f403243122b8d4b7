#include "platform/movie/movie_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include "platform/audio.h"

namespace platform {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
// No real movie is larger; a header claiming more is damaged or hostile.
constexpr int32 kMaxSide = 8192;
// Pictures read ahead while looking for sound; beyond this the sound waits
// (a file whose streams lie far apart cannot fill memory).
constexpr size_t kMaxQueuedBytes = 64u << 20;
constexpr size_t kMaxQueuedPackets = 2048;
constexpr AVRational kMicroseconds{1, 1000000};
// Sound read far ahead of its pictures (a file of sound with hardly any
// pictures) is let go from the front beyond this: memory stays bounded.
constexpr int64 kMaxWaitingSoundFrames = 30 * static_cast<int64>(kOutputRate);

// Nested files (playlists, concatenation lists) could make a movie read
// anything on the machine; a movie is one file.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

int ReadMovieBytes(void* opaque, uint8_t* buffer, int size) {
    auto* decoder = static_cast<MovieDecoder*>(opaque);
    if (size <= 0) return 0;
    const u64 total = decoder->source_->Size();
    if (decoder->position_ >= total) return AVERROR_EOF;
    const u64 want = std::min<u64>(static_cast<u64>(size), total - decoder->position_);
    const u64 got = decoder->source_->ReadAt(decoder->position_, buffer, want);
    if (got == 0) return AVERROR_EOF;
    decoder->position_ += got;
    return static_cast<int>(got);
}

int64_t SeekMovieBytes(void* opaque, int64_t offset, int whence) {
    auto* decoder = static_cast<MovieDecoder*>(opaque);
    const int64 total = static_cast<int64>(std::min<u64>(decoder->source_->Size(), INT64_MAX));
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return total;
    int64 base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<int64>(decoder->position_);
    else if (whence == SEEK_END)
        base = total;
    else if (whence != SEEK_SET)
        return AVERROR(EINVAL);
    if ((offset > 0 && base > INT64_MAX - offset)) return AVERROR(EINVAL);
    const int64 target = base + offset;
    if (target < 0) return AVERROR(EINVAL);
    decoder->position_ = static_cast<u64>(target);
    return target;
}

MovieDecoder::~MovieDecoder() {
    for (AVPacket* packet : videoPackets_) av_packet_free(&packet);
    av_frame_free(&soundFrame_);
    sws_freeContext(scale_);
    swr_free(&resample_);
    av_channel_layout_uninit(&resampleLayout_);
    avcodec_free_context(&video_);
    avcodec_free_context(&audio_);
    if (format_ != nullptr) avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

namespace {

AVCodecContext* OpenStreamDecoder(const AVStream* stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (context == nullptr) return nullptr;
    if (avcodec_parameters_to_context(context, stream->codecpar) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    context->pkt_timebase = stream->time_base;
    context->thread_count = threads;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    return context;
}

}  // namespace

bool MovieDecoder::Open(MovieByteSource* source, bool wantSound, int threads) {
    if (source == nullptr || format_ != nullptr) return false;
    source_ = source;
    auto* buffer = static_cast<u8*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr) return false;
    io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, this, &ReadMovieBytes, nullptr, &SeekMovieBytes);
    if (io_ == nullptr) {
        av_free(buffer);
        return false;
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) return false;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = &RefuseNestedOpen;
    if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) {
        format_ = nullptr;  // freed by the failed open
        return false;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0) return false;

    videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex_ < 0) return false;
    AVStream* videoStream = format_->streams[videoIndex_];
    width_ = videoStream->codecpar->width;
    height_ = videoStream->codecpar->height;
    if (width_ <= 0 || height_ <= 0 || width_ > kMaxSide || height_ > kMaxSide) return false;
    video_ = OpenStreamDecoder(videoStream, threads);
    if (video_ == nullptr) return false;

    const AVRational rate = av_guess_frame_rate(format_, videoStream, nullptr);
    if (rate.num > 0 && rate.den > 0) {
        const int64 us = av_rescale(1000000, rate.den, rate.num);
        if (us > 0 && us <= 10000000) frameUs_ = us;
    }
    if (format_->duration > 0) durationUs_ = format_->duration;
    if (format_->start_time != AV_NOPTS_VALUE) originUs_ = format_->start_time;

    if (wantSound) {
        audioIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
        if (audioIndex_ >= 0) audio_ = OpenStreamDecoder(format_->streams[audioIndex_], 1);
        if (audio_ == nullptr) audioIndex_ = -1;
        soundFrame_ = av_frame_alloc();
        if (soundFrame_ == nullptr) {
            avcodec_free_context(&audio_);
            audioIndex_ = -1;
        }
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != audioIndex_) {
            format_->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    return true;
}

int64 MovieDecoder::RelativeUs(int64 timestamp, AVRational base) {
    const int64 us = av_rescale_q(timestamp, base, kMicroseconds);
    // Files that give no start time count from their first timestamp.
    if (originUs_ == AV_NOPTS_VALUE) originUs_ = us;
    return us - originUs_;
}

bool MovieDecoder::ReadPacket() {
    if (demuxEnded_) return false;
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
        demuxEnded_ = true;
        return false;
    }
    // Damage and the end of the file alike end the reading; what was read plays.
    if (av_read_frame(format_, packet) < 0) {
        av_packet_free(&packet);
        demuxEnded_ = true;
        return false;
    }
    if (packet->stream_index == videoIndex_) {
        queuedBytes_ += static_cast<size_t>(std::max(packet->size, 0));
        videoPackets_.push_back(packet);
        return true;
    }
    if (packet->stream_index == audioIndex_ && audio_ != nullptr) DecodeSoundPacket(packet);
    av_packet_free(&packet);
    return true;
}

bool MovieDecoder::DecodePicture(AVFrame* frame, int64* timeUs) {
    if (video_ == nullptr || videoEnded_ || frame == nullptr) return false;
    for (;;) {
        const int received = avcodec_receive_frame(video_, frame);
        if (received >= 0) {
            int64 us;
            if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                us = RelativeUs(frame->best_effort_timestamp, format_->streams[videoIndex_]->time_base);
            } else {
                us = lastPictureUs_ < 0 ? 0 : lastPictureUs_ + frameUs_;
            }
            // Pictures never go back in time, or a late one would hide its successors.
            if (us <= lastPictureUs_) us = lastPictureUs_ + 1;
            lastPictureUs_ = us;
            *timeUs = us;
            return true;
        }
        if (received != AVERROR(EAGAIN)) {
            videoEnded_ = true;
            return false;
        }
        if (!videoPackets_.empty()) {
            AVPacket* packet = videoPackets_.front();
            videoPackets_.pop_front();
            queuedBytes_ -= static_cast<size_t>(std::max(packet->size, 0));
            // A packet the decoder refuses is damage: skip it and go on.
            avcodec_send_packet(video_, packet);
            av_packet_free(&packet);
            continue;
        }
        if (ReadPacket()) continue;
        if (videoFlushed_) {
            videoEnded_ = true;
            return false;
        }
        videoFlushed_ = true;
        avcodec_send_packet(video_, nullptr);
    }
}

bool MovieDecoder::ConvertPicture(const AVFrame* frame, u8* bgra, size_t pitch) {
    if (frame == nullptr || bgra == nullptr || frame->width <= 0 || frame->height <= 0 ||
        frame->width > kMaxSide || frame->height > kMaxSide || frame->format < 0 ||
        pitch < static_cast<size_t>(width_) * 4 || pitch > INT32_MAX) {
        return false;
    }
    // A stream that changes its size is scaled to the size fixed at open.
    scale_ =
        sws_getCachedContext(scale_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                             width_, height_, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scale_ == nullptr) return false;
    u8* planes[4] = {bgra, nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(pitch), 0, 0, 0};
    return sws_scale(scale_, frame->data, frame->linesize, 0, frame->height, planes, strides) == height_;
}

void MovieDecoder::DecodeSoundPacket(const AVPacket* packet) {
    if (avcodec_send_packet(audio_, packet) < 0 && packet != nullptr) return;
    while (avcodec_receive_frame(audio_, soundFrame_) >= 0) {
        ConvertSound(soundFrame_);
        av_frame_unref(soundFrame_);
    }
}

void MovieDecoder::ConvertSound(const AVFrame* frame) {
    if (frame != nullptr) {
        if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) return;
        if (resample_ == nullptr || frame->format != resampleFormat_ || frame->sample_rate != resampleRate_ ||
            av_channel_layout_compare(&frame->ch_layout, &resampleLayout_) != 0) {
            swr_free(&resample_);
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            if (swr_alloc_set_opts2(&resample_, &stereo, AV_SAMPLE_FMT_S16, static_cast<int>(kOutputRate),
                                    const_cast<AVChannelLayout*>(&frame->ch_layout),
                                    static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                    nullptr) < 0 ||
                swr_init(resample_) < 0) {
                swr_free(&resample_);
                return;
            }
            resampleFormat_ = frame->format;
            resampleRate_ = frame->sample_rate;
            av_channel_layout_uninit(&resampleLayout_);
            av_channel_layout_copy(&resampleLayout_, &frame->ch_layout);
        }
        if (!soundTimed_ && SoundAvailable() == 0) {
            const int64 ts = frame->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE) {
                const int64 us = RelativeUs(ts, format_->streams[audioIndex_]->time_base);
                soundStartFrame_ = std::max<int64>(0, av_rescale(us, kOutputRate, 1000000));
            }
            soundTimed_ = true;
        }
    }
    if (resample_ == nullptr) return;
    const int room = swr_get_out_samples(resample_, frame != nullptr ? frame->nb_samples : 0);
    if (room <= 0) return;
    // Read sound is dropped from the front before the buffer grows.
    if (soundRead_ > 0 && soundRead_ * 2 >= sound_.size()) {
        sound_.erase(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(soundRead_));
        soundRead_ = 0;
    }
    const size_t old = sound_.size();
    sound_.resize(old + static_cast<size_t>(room) * 2);
    u8* out[1] = {reinterpret_cast<u8*>(sound_.data() + old)};
    const int got = swr_convert(resample_, out, room,
                                frame != nullptr ? const_cast<const u8**>(frame->extended_data) : nullptr,
                                frame != nullptr ? frame->nb_samples : 0);
    sound_.resize(old + static_cast<size_t>(std::max(got, 0)) * 2);
    if (SoundAvailable() > kMaxWaitingSoundFrames) DropSound(SoundAvailable() - kMaxWaitingSoundFrames);
}

void MovieDecoder::FillSound(int64 frames) {
    if (audio_ == nullptr) return;
    while (SoundAvailable() < frames && !soundDrained_) {
        if (!demuxEnded_) {
            if (queuedBytes_ > kMaxQueuedBytes || videoPackets_.size() > kMaxQueuedPackets) return;
            ReadPacket();
            continue;
        }
        DecodeSoundPacket(nullptr);
        ConvertSound(nullptr);
        soundDrained_ = true;
    }
}

int64 MovieDecoder::ReadSound(int16* out, int64 frames) {
    const int64 n = std::min(frames, SoundAvailable());
    if (n <= 0) return 0;
    std::memcpy(out, sound_.data() + soundRead_, static_cast<size_t>(n) * 4);
    DropSound(n);
    return n;
}

void MovieDecoder::DropSound(int64 frames) {
    const int64 n = std::min(frames, SoundAvailable());
    if (n <= 0) return;
    soundRead_ += static_cast<size_t>(n) * 2;
    soundStartFrame_ += n;
}

int64 MovieDecoder::SoundEndUs() const {
    return av_rescale(soundStartFrame_ + SoundAvailable(), 1000000, kOutputRate);
}

}  // namespace platform
