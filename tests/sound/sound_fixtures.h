#pragma once
// Sound files for the tests, laid out from the RIFF WAVE layout and encoded
// with libvorbis's own encoder, so no fixture comes from the code under test.

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/le_bytes.h"

namespace soundfixtures {

// A RIFF WAVE file: a fmt chunk of fmtSize bytes (16, 18 or more) and a data
// chunk with the given bytes.
inline std::vector<u8> Wave(u16 tag, u16 channels, u32 rate, u16 bits, const std::vector<u8>& data,
                            u32 fmtSize = 16) {
    u16 align = static_cast<u16>(channels * bits / 8);
    testbytes::LeBytes fmt;
    fmt.U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits);
    if (fmtSize > 16) fmt.Zeros(fmtSize - 16);
    std::vector<u8> f = fmt.Bytes();
    testbytes::LeBytes body;
    body.Text("WAVE").Text("fmt ").U32(fmtSize).Append(f).Text("data").U32(static_cast<u32>(data.size())).Append(data);
    if (data.size() & 1) body.U8(0);
    std::vector<u8> b = body.Bytes();
    testbytes::LeBytes file;
    file.Text("RIFF").U32(static_cast<u32>(b.size())).Append(b);
    return file.Bytes();
}

// 16-bit stereo frames: every left sample is `value`, every right one `right`
// (the same unless given).
inline std::vector<u8> ConstantStereo16(u32 frames, int16 value, int16 right) {
    testbytes::LeBytes b;
    for (u32 i = 0; i < frames; ++i) b.U16(static_cast<u16>(value)).U16(static_cast<u16>(right));
    return b.Bytes();
}

inline std::vector<u8> ConstantStereo16(u32 frames, int16 value) { return ConstantStereo16(frames, value, value); }

inline std::vector<u8> StereoWave(u32 frames, int16 value) {
    return Wave(1, 2, 44100, 16, ConstantStereo16(frames, value));
}

// An Ogg Vorbis file of `frames` frames of a tone at half of full scale.
inline std::vector<u8> OggTone(long rate, int channels, long frames, float hz = 440.0f) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    vorbis_encode_init_vbr(&vi, channels, rate, 0.3f);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    std::vector<u8> out;
    auto emit = [&out](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, comment, code;
    vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) emit(page);
    long done = 0;
    bool eos = false;
    while (!eos) {
        long n = std::min<long>(1024, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (long i = 0; i < n; ++i) {
                float s = 0.5f * std::sin(2 * 3.14159265f * hz * static_cast<float>(done + i) / rate);
                for (int c = 0; c < channels; ++c) buffer[c][i] = s;
            }
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet) != 0) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    emit(page);
                    if (ogg_page_eos(&page)) eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

}  // namespace soundfixtures
