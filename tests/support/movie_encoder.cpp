#include "support/movie_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testmovie {

u32 Colour(int index) {
    static const u32 kColours[8] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                    0x00FFFF, 0xFF00FF, 0xFFFFFF, 0x000000};
    return kColours[((index % 8) + 8) % 8];
}
u32 LeftColour(int frame) {
    return Colour(frame % 8);
}
u32 RightColour(int frame) {
    return Colour(frame / 8);
}

namespace {

struct Yuv {
    int y, u, v;
};

// BT.601 limited range, as decoders turn it back.
Yuv ToYuv(u32 rgb) {
    const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    auto clamp = [](double v) { return static_cast<int>(std::lround(std::fmin(std::fmax(v, 0.0), 255.0))); };
    return {clamp(16 + 0.257 * r + 0.504 * g + 0.098 * b), clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b),
            clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b)};
}

void FillPicture(AVFrame* frame, u32 left, u32 right) {
    const Yuv l = ToYuv(left), r = ToYuv(right), band = ToYuv(kBandColour);
    for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x) {
            const Yuv& c = y < kBandRows ? band : (x < frame->width / 2 ? l : r);
            frame->data[0][y * frame->linesize[0] + x] = static_cast<u8>(c.y);
        }
    }
    for (int y = 0; y < (frame->height + 1) / 2; ++y) {
        for (int x = 0; x < (frame->width + 1) / 2; ++x) {
            const Yuv& c = y * 2 < kBandRows ? band : (x * 2 < frame->width / 2 ? l : r);
            frame->data[1][y * frame->linesize[1] + x] = static_cast<u8>(c.u);
            frame->data[2][y * frame->linesize[2] + x] = static_cast<u8>(c.v);
        }
    }
}

void FillBusyPicture(AVFrame* frame, int number) {
    u32 seed = static_cast<u32>(number) * 2654435761u;
    for (int y = 0; y < frame->height; ++y) {
        u8* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = static_cast<u8>(((x + y + number * 6) & 0xFF) / 2 + 40 + (seed >> 28));
        }
    }
    for (int y = 0; y < (frame->height + 1) / 2; ++y) {
        for (int x = 0; x < (frame->width + 1) / 2; ++x) {
            frame->data[1][y * frame->linesize[1] + x] =
                static_cast<u8>(128 + ((x - number * 3) & 0x3F) - 32);
            frame->data[2][y * frame->linesize[2] + x] =
                static_cast<u8>(128 + ((y + number * 2) & 0x3F) - 32);
        }
    }
}

struct Writer {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVPacket* packet = nullptr;

    ~Writer() {
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format != nullptr) {
            if (format->pb != nullptr) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    bool Send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) return false;
        for (;;) {
            int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
            if (got < 0) return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) return false;
        }
    }
};

AVCodecContext* OpenVideo(const MovieSpec& spec, AVFormatContext* format) {
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.video.c_str());
    if (codec == nullptr) return nullptr;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = spec.width;
    c->height = spec.height;
    c->time_base = AVRational{1, spec.fps};
    c->framerate = AVRational{spec.fps, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = 12;
    c->max_b_frames = 0;
    if (spec.busy) {
        c->bit_rate = 6000000;
        c->rc_max_rate = 9000000;
        c->rc_buffer_size = 4000000;
    } else {
        c->bit_rate = 4000000;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * 2;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    return c;
}

AVCodecContext* OpenAudio(const MovieSpec& spec, AVFormatContext* format) {
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.audio.c_str());
    if (codec == nullptr) return nullptr;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = 44100;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&c->ch_layout, &stereo);
    c->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->bit_rate = 192000;
    c->time_base = AVRational{1, 44100};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    return c;
}

void FillTone(AVFrame* frame, const MovieSpec& spec, int64 firstSample) {
    for (int i = 0; i < frame->nb_samples; ++i) {
        const double t = static_cast<double>(firstSample + i) / 44100.0;
        const double v = spec.toneLevel * std::sin(2.0 * M_PI * spec.toneHz * t);
        for (int ch = 0; ch < 2; ++ch) {
            switch (frame->format) {
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16*>(frame->data[0])[i * 2 + ch] =
                        static_cast<int16>(std::lround(v * 32767));
                    break;
                case AV_SAMPLE_FMT_S16P:
                    reinterpret_cast<int16*>(frame->data[ch])[i] = static_cast<int16>(std::lround(v * 32767));
                    break;
                case AV_SAMPLE_FMT_FLTP:
                    reinterpret_cast<float*>(frame->data[ch])[i] = static_cast<float>(v);
                    break;
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(frame->data[0])[i * 2 + ch] = static_cast<float>(v);
                    break;
                default:
                    break;
            }
        }
    }
}

}  // namespace

bool WriteMovie(const std::string& path, const MovieSpec& spec) {
    av_log_set_level(std::min(av_log_get_level(), AV_LOG_FATAL));
    Writer w;
    if (avformat_alloc_output_context2(&w.format, nullptr, spec.container.c_str(), path.c_str()) < 0)
        return false;
    w.video = OpenVideo(spec, w.format);
    if (w.video == nullptr) return false;
    w.videoStream = avformat_new_stream(w.format, nullptr);
    avcodec_parameters_from_context(w.videoStream->codecpar, w.video);
    w.videoStream->time_base = w.video->time_base;
    if (!spec.audio.empty()) {
        w.audio = OpenAudio(spec, w.format);
        if (w.audio == nullptr) return false;
        w.audioStream = avformat_new_stream(w.format, nullptr);
        avcodec_parameters_from_context(w.audioStream->codecpar, w.audio);
        w.audioStream->time_base = w.audio->time_base;
    }
    if (avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(w.format, nullptr) < 0) return false;
    w.packet = av_packet_alloc();

    AVFrame* picture = av_frame_alloc();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = spec.width;
    picture->height = spec.height;
    av_frame_get_buffer(picture, 0);
    AVFrame* sound = nullptr;
    int64 samplesDone = 0;
    if (w.audio != nullptr) {
        sound = av_frame_alloc();
        sound->format = w.audio->sample_fmt;
        sound->sample_rate = 44100;
        av_channel_layout_copy(&sound->ch_layout, &w.audio->ch_layout);
        sound->nb_samples = w.audio->frame_size > 0 ? w.audio->frame_size : 1024;
        av_frame_get_buffer(sound, 0);
    }
    bool ok = true;
    const int64 totalSamples = static_cast<int64>(spec.frames) * 44100 / spec.fps;
    for (int i = 0; i < spec.frames && ok; ++i) {
        av_frame_make_writable(picture);
        if (spec.busy) {
            FillBusyPicture(picture, i);
        } else if (spec.colourPerSecond) {
            FillPicture(picture, Colour(i / spec.fps), Colour(i / spec.fps));
        } else {
            FillPicture(picture, LeftColour(i), RightColour(i));
        }
        picture->pts = i;
        ok = w.Send(w.video, w.videoStream, picture);
        // Sound up to the end of this picture.
        const int64 until = std::min(totalSamples, static_cast<int64>(i + 1) * 44100 / spec.fps);
        while (ok && sound != nullptr && samplesDone < until) {
            av_frame_make_writable(sound);
            // Encoders that take any length end the sound exactly with the pictures.
            if (w.audio->frame_size == 0)
                sound->nb_samples = static_cast<int>(std::min<int64>(1024, until - samplesDone));
            FillTone(sound, spec, samplesDone);
            sound->pts = samplesDone;
            ok = w.Send(w.audio, w.audioStream, sound);
            samplesDone += sound->nb_samples;
        }
    }
    ok = ok && w.Send(w.video, w.videoStream, nullptr);
    if (w.audio != nullptr) ok = ok && w.Send(w.audio, w.audioStream, nullptr);
    av_frame_free(&picture);
    av_frame_free(&sound);
    return ok && av_write_trailer(w.format) == 0;
}

std::vector<u8> EncodeMovie(const MovieSpec& spec) {
    char name[] = "/tmp/velk2-movie-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    close(fd);
    std::vector<u8> bytes;
    if (WriteMovie(name, spec)) {
        std::ifstream in(name, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(name);
    return bytes;
}

}  // namespace testmovie
