#include <gtest/gtest.h>

#include <vector>

#include "sound/ogg_decoder.h"
#include "sound/sound_source.h"
#include "sound/wave_parser.h"
#include "tests/sound/sound_fixtures.h"

namespace {

using soundfixtures::Wave;

std::vector<u8> Bytes(std::initializer_list<u8> list) { return std::vector<u8>(list); }

TEST(WaveParser, ReadsFormatAndDataWhateverTheFormatChunkSize) {
    std::vector<u8> data = Bytes({1, 2, 3, 4, 5, 6, 7, 8});
    for (u32 fmtSize : {16u, 18u, 40u}) {
        platform::PcmFormat f;
        std::vector<u8> pcm;
        ASSERT_TRUE(ParseWaveInMemory(Wave(1, 2, 22050, 16, data, fmtSize), &f, &pcm)) << fmtSize;
        EXPECT_EQ(f.formatTag, 1);
        EXPECT_EQ(f.channels, 2);
        EXPECT_EQ(f.samplesPerSec, 22050u);
        EXPECT_EQ(f.avgBytesPerSec, 88200u);
        EXPECT_EQ(f.blockAlign, 4);
        EXPECT_EQ(f.bitsPerSample, 16);
        EXPECT_EQ(pcm, data);
    }
}

TEST(WaveParser, SkipsOtherChunksAndTheirPadBytes) {
    // RIFF, WAVE, a LIST chunk of odd size 3 plus its pad, fmt, fact, data.
    testbytes::LeBytes body;
    body.Text("WAVE").Text("LIST").U32(3).Text("abc").U8(0);
    body.Text("fmt ").U32(16).U16(1).U16(1).U32(8000).U32(8000).U16(1).U16(8);
    body.Text("fact").U32(4).U32(2);
    body.Text("data").U32(2).U8(0x80).U8(0x90);
    testbytes::LeBytes file;
    file.Text("RIFF").U32(static_cast<u32>(body.Bytes().size())).Append(body.Bytes());
    platform::PcmFormat f;
    std::vector<u8> pcm;
    ASSERT_TRUE(ParseWaveInMemory(file.Bytes(), &f, &pcm));
    EXPECT_EQ(f.samplesPerSec, 8000u);
    EXPECT_EQ(f.bitsPerSample, 8);
    EXPECT_EQ(pcm, Bytes({0x80, 0x90}));
}

TEST(WaveParser, RefusesNonPcmShortAndMisorderedFiles) {
    platform::PcmFormat f;
    f.channels = 7;  // untouched on failure
    std::vector<u8> pcm;
    EXPECT_FALSE(ParseWaveInMemory(Wave(2, 2, 44100, 4, Bytes({1, 2})), &f, &pcm));  // ADPCM
    EXPECT_FALSE(ParseWaveInMemory(Wave(3, 2, 44100, 32, Bytes({1, 2})), &f, &pcm));  // float
    EXPECT_EQ(f.channels, 7);
    EXPECT_TRUE(pcm.empty());

    // A data chunk that claims 2 GiB in a 50-byte file: no PCM, no huge allocation.
    std::vector<u8> lying = Wave(1, 2, 44100, 16, Bytes({1, 2, 3, 4}));
    lying[40] = 0;
    lying[41] = 0;
    lying[42] = 0;
    lying[43] = 0x80;
    EXPECT_FALSE(ParseWaveInMemory(lying, &f, &pcm));

    // Cut inside the format chunk.
    std::vector<u8> cut = Wave(1, 2, 44100, 16, Bytes({1, 2, 3, 4}));
    cut.resize(28);
    EXPECT_FALSE(ParseWaveInMemory(cut, &f, &pcm));

    // data before fmt is not found (the search goes on from the format).
    testbytes::LeBytes body;
    body.Text("WAVE").Text("data").U32(2).U8(1).U8(2);
    body.Text("fmt ").U32(16).U16(1).U16(1).U32(8000).U32(8000).U16(1).U16(8);
    testbytes::LeBytes file;
    file.Text("RIFF").U32(static_cast<u32>(body.Bytes().size())).Append(body.Bytes());
    EXPECT_FALSE(ParseWaveInMemory(file.Bytes(), &f, &pcm));
    EXPECT_FALSE(ParseWaveInMemory(Bytes({'R', 'I', 'F', 'F'}), &f, &pcm));
}

TEST(SoundSource, AWaveIsMeasuredAndDeliveredPieceByPiece) {
    classSoundSource source("voice.wav");
    // One second at 22050 Hz mono 16-bit: 44100 bytes.
    std::vector<u8> data(44100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<u8>(i);
    source.SetFileData(Wave(1, 1, 22050, 16, data));
    platform::PcmFormat f;
    ASSERT_TRUE(source.GetFormat(&f));
    EXPECT_EQ(f.avgBytesPerSec, 44100u);
    EXPECT_EQ(source.GetLengthMs(), 1000u);
    std::vector<u8> got(30000);
    EXPECT_EQ(source.ReadPcm(got.data(), 30000), 30000u);
    EXPECT_EQ(got[29999], static_cast<u8>(29999));
    EXPECT_EQ(source.ReadPcm(got.data(), 30000), 14100u);
    EXPECT_EQ(got[0], static_cast<u8>(30000));
    EXPECT_EQ(source.ReadPcm(got.data(), 30000), 0u);
    EXPECT_EQ(source.ReadPcm(nullptr, 30000), 0u);
    source.Rewind();
    EXPECT_EQ(source.ReadPcm(got.data(), 10), 10u);
    EXPECT_EQ(got[9], 9);
}

TEST(SoundSource, AWaveDeliversWholeFramesOnly) {
    classSoundSource source("ragged.wav");
    // Stereo 16-bit (4-byte frames) with 7 data bytes: one whole frame.
    source.SetFileData(Wave(1, 2, 44100, 16, Bytes({1, 2, 3, 4, 5, 6, 7})));
    ASSERT_TRUE(source.Prepare());
    u8 out[16];
    EXPECT_EQ(source.ReadPcm(out, 16), 4u);
}

TEST(SoundSource, UnknownAndMissingFilesHaveNoFormat) {
    classSoundSource garbage("x.bin");
    garbage.SetFileData(Bytes({'M', 'Z', 0, 0}));
    EXPECT_FALSE(garbage.GetFormat(nullptr));
    u8 buffer[8];
    EXPECT_EQ(garbage.ReadPcm(buffer, 8), 0u);
    classSoundSource missing("no such file.ogg");
    EXPECT_FALSE(missing.GetFormat(nullptr));
    EXPECT_EQ(missing.GetLengthMs(), 0u);
}

TEST(OggMemoryCallbacks, ReadSeekAndTellStayInsideTheImage) {
    const u8 bytes[5] = {1, 2, 3, 4, 5};
    OggMemoryImage image{bytes, 0, 5};
    u8 out[8] = {};
    EXPECT_EQ(OggMemoryRead(out, 2, 2, &image), 4u);
    EXPECT_EQ(OggMemoryTell(&image), 4);
    EXPECT_EQ(OggMemoryRead(out, 1, 8, &image), 1u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(OggMemoryRead(out, 1, 8, &image), 0u);  // at the end
    EXPECT_EQ(OggMemorySeek(&image, -2, 2), 0);
    EXPECT_EQ(OggMemoryTell(&image), 3);
    EXPECT_EQ(OggMemorySeek(&image, 1, 1), 0);
    EXPECT_EQ(OggMemoryTell(&image), 4);
    EXPECT_EQ(OggMemorySeek(&image, 6, 0), -1);  // past the end: refused, position kept
    EXPECT_EQ(OggMemorySeek(&image, -1, 0), -1);
    EXPECT_EQ(OggMemoryTell(&image), 4);
    EXPECT_EQ(OggMemoryRead(out, static_cast<size_t>(-1), 2, &image), 1u);  // size · count overflows
    EXPECT_EQ(OggMemoryClose(&image), 0);
}

class OggSource : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { oneSecond_ = new std::vector<u8>(soundfixtures::OggTone(44100, 2, 44100)); }
    static void TearDownTestSuite() { delete oneSecond_; }
    static std::vector<u8>* oneSecond_;
};
std::vector<u8>* OggSource::oneSecond_ = nullptr;

TEST_F(OggSource, OneSecondAt44100StereoIs176400BytesAndOneThousandMs) {
    classSoundSource source("bgm.ogg");
    source.SetFileData(*oneSecond_);
    platform::PcmFormat f;
    ASSERT_TRUE(source.GetFormat(&f));
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 44100u);
    EXPECT_EQ(f.avgBytesPerSec, 176400u);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(source.GetLengthMs(), 1000u);
    const u8* all = nullptr;
    u32 size = 0;
    ASSERT_TRUE(source.DecodeAll(&all, &size));
    EXPECT_EQ(size, 176400u);
}

TEST_F(OggSource, StreamedPiecesEqualTheWholeDecodeAndRewindRepeatsThem) {
    classSoundSource whole("a.ogg");
    whole.SetFileData(*oneSecond_);
    ASSERT_TRUE(whole.Prepare());
    const u8* all = nullptr;
    u32 size = 0;
    ASSERT_TRUE(whole.DecodeAll(&all, &size));
    std::vector<u8> expected(all, all + size);

    classSoundSource streamed("a.ogg");
    streamed.SetFileData(*oneSecond_);
    ASSERT_TRUE(streamed.Prepare());
    for (int pass = 0; pass < 2; ++pass) {
        // Pieces of whole stereo frames that are no multiple of six bytes.
        std::vector<u8> pieces, piece(4004);
        for (u32 n; (n = streamed.ReadPcm(piece.data(), 4004)) != 0;) {
            pieces.insert(pieces.end(), piece.begin(), piece.begin() + n);
            if (pieces.size() < expected.size()) {
                ASSERT_EQ(n, 4004u) << "pass " << pass;
            }
        }
        EXPECT_EQ(pieces, expected) << "pass " << pass;
        streamed.Rewind();
    }
}

TEST_F(OggSource, BrokenStreamsGiveNoFormatOrStopCleanly) {
    classSoundSource garbage("g.ogg");
    std::vector<u8> bytes = {'O', 'g', 'g', 'S'};
    bytes.resize(400, 0x5A);
    garbage.SetFileData(bytes);
    EXPECT_FALSE(garbage.GetFormat(nullptr));
    u8 out[64];
    EXPECT_EQ(garbage.ReadPcm(out, 64), 0u);

    // Ten seconds cut after three quarters of the file, mid-page.
    classSoundSource truncated("t.ogg");
    std::vector<u8> tenSeconds = soundfixtures::OggTone(44100, 2, 441000);
    tenSeconds.resize(tenSeconds.size() * 3 / 4 + 7);
    truncated.SetFileData(tenSeconds);
    ASSERT_TRUE(truncated.Prepare());
    std::vector<u8> piece(88200);
    u64 total = 0;
    for (int i = 0; i < 40; ++i) total += truncated.ReadPcm(piece.data(), 88200);
    EXPECT_GT(total, 176400u);
    EXPECT_LT(total, 1764000u);
    EXPECT_EQ(total % 4, 0u);
}

TEST_F(OggSource, ALowRateMonoStreamHasALengthInsteadOfADivisionByZero) {
    classSoundSource source("low.ogg");
    source.SetFileData(soundfixtures::OggTone(400, 1, 800));  // 2 s; 800 bytes a second
    platform::PcmFormat f;
    ASSERT_TRUE(source.GetFormat(&f));
    EXPECT_EQ(f.avgBytesPerSec, 800u);
    EXPECT_EQ(source.GetLengthMs(), 2000u);
}

}  // namespace
