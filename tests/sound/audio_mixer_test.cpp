#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "sound/sound_buffer.h"
#include "tests/sound/sound_fixtures.h"

namespace {

platform::PcmFormat Pcm(u16 channels, u32 rate, u16 bits) {
    u16 align = static_cast<u16>(channels * bits / 8);
    return platform::PcmFormat{1, channels, rate, rate * align, align, bits};
}

std::vector<int16> Pull(platform::AudioMixer& mixer, u32 frames) {
    std::vector<int16> out(frames * 2, 12345);
    mixer.Render(out.data(), frames);
    return out;
}

TEST(SoundVolumeCurve, HundredthsOfDecibelAtTheAnchors) {
    // log10(v · 10000) / 4 · 10000 − 10000, truncated toward zero.
    EXPECT_EQ(SoundVolumeToHundredthsDb(1.0), 0);
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.5), -752);  // 2500·log10(0.5) = −752.57
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.25), -1505);
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.1), -2500);
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.01), -5000);
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.001), -7500);
    EXPECT_EQ(SoundVolumeToHundredthsDb(0.0), -10000);
    EXPECT_EQ(SoundVolumeToHundredthsDb(-3.0), -10000);
    EXPECT_EQ(SoundVolumeToHundredthsDb(std::nan("")), -10000);
    // Above full is full: the card takes no gain above 0.
    EXPECT_EQ(SoundVolumeToHundredthsDb(2.0), 0);
}

TEST(AudioMixer, RefusesFormatsAndSizesItCannotPlay) {
    platform::AudioMixer mixer;
    EXPECT_EQ(mixer.CreateVoice(Pcm(2, 44100, 16), 0), 0u);
    EXPECT_EQ(mixer.CreateVoice(Pcm(2, 44100, 16), platform::kMaxBufferBytes + 1), 0u);
    platform::PcmFormat adpcm = Pcm(2, 44100, 16);
    adpcm.formatTag = 2;
    EXPECT_EQ(mixer.CreateVoice(adpcm, 4096), 0u);
    EXPECT_EQ(mixer.CreateVoice(Pcm(6, 44100, 16), 4096), 0u);
    EXPECT_EQ(mixer.CreateVoice(Pcm(2, 44100, 24), 4096), 0u);
    platform::PcmFormat badAlign = Pcm(2, 44100, 16);
    badAlign.blockAlign = 3;
    EXPECT_EQ(mixer.CreateVoice(badAlign, 4096), 0u);
    EXPECT_NE(mixer.CreateVoice(Pcm(1, 22050, 8), 4096), 0u);
}

TEST(AudioMixer, VolumeScalesTheOutputOnTheDecibelCurve) {
    platform::AudioMixer mixer;
    auto pcm = soundfixtures::ConstantStereo16(100, 16000, -8000);
    platform::VoiceId v = mixer.CreateVoice(Pcm(2, 44100, 16), static_cast<u32>(pcm.size()));
    ASSERT_EQ(mixer.Write(v, 0, pcm.data(), static_cast<u32>(pcm.size())), pcm.size());
    mixer.Play(v, true);
    EXPECT_EQ(Pull(mixer, 4), (std::vector<int16>{16000, -8000, 16000, -8000, 16000, -8000, 16000, -8000}));
    // −752 hundredths of a dB: 10^(−7.52/20) = 0.42073, so 6731.7 and −3365.8.
    mixer.SetVolume(v, -752);
    auto half = Pull(mixer, 4);
    EXPECT_NEAR(half[0], 6732, 1);
    EXPECT_NEAR(half[1], -3366, 1);
    mixer.SetVolume(v, -10000);
    EXPECT_EQ(Pull(mixer, 4)[0], 0);
}

TEST(AudioMixer, ANonLoopingBufferEndsAfterExactlyItsLengthAndALoopingOneGoesOn) {
    platform::AudioMixer mixer;
    auto pcm = soundfixtures::ConstantStereo16(1000, 1000);
    platform::VoiceId once = mixer.CreateVoice(Pcm(2, 44100, 16), static_cast<u32>(pcm.size()));
    mixer.Write(once, 0, pcm.data(), static_cast<u32>(pcm.size()));
    mixer.Play(once, false);
    auto out = Pull(mixer, 1200);
    EXPECT_EQ(out[2 * 999], 1000);
    EXPECT_EQ(out[2 * 1000], 0);
    EXPECT_FALSE(mixer.IsPlaying(once));
    u64 consumed = 0;
    ASSERT_TRUE(mixer.GetPosition(once, nullptr, nullptr, &consumed));
    EXPECT_EQ(consumed, 4000u);

    platform::VoiceId loop = mixer.CreateVoice(Pcm(2, 44100, 16), static_cast<u32>(pcm.size()));
    mixer.Write(loop, 0, pcm.data(), static_cast<u32>(pcm.size()));
    mixer.Play(loop, true);
    out = Pull(mixer, 2500);
    EXPECT_EQ(out[2 * 2499], 1000);
    EXPECT_TRUE(mixer.IsPlaying(loop));
    u32 play = 0, write = 0;
    ASSERT_TRUE(mixer.GetPosition(loop, &play, &write, &consumed));
    EXPECT_EQ(consumed, 10000u);
    EXPECT_EQ(play, 2000u);  // 2500 frames into a 1000-frame ring
    EXPECT_EQ(write, 2004u);
}

TEST(AudioMixer, EightBitMonoAtHalfRateFillsBothChannelsForTwiceTheFrames) {
    platform::AudioMixer mixer;
    std::vector<u8> pcm(22050, 128);  // 128 is the 8-bit zero
    pcm[0] = 255;                     // (255 − 128) · 256 = 32512
    platform::VoiceId v = mixer.CreateVoice(Pcm(1, 22050, 8), 22050);
    mixer.Write(v, 0, pcm.data(), 22050);
    mixer.Play(v, false);
    auto out = Pull(mixer, 44105);
    EXPECT_EQ(out[0], 32512);
    EXPECT_EQ(out[1], 32512);
    EXPECT_EQ(out[2 * 100], 0);
    // 22050 frames at 22050 Hz last one second of output, within a frame.
    EXPECT_FALSE(mixer.IsPlaying(v));
    u64 consumed = 0;
    mixer.GetPosition(v, nullptr, nullptr, &consumed);
    EXPECT_EQ(consumed, 22050u);
}

TEST(AudioMixer, WritesWrapAtTheEndAndRefuseMoreThanTheBuffer) {
    platform::AudioMixer mixer;
    platform::VoiceId v = mixer.CreateVoice(Pcm(2, 44100, 16), 16);
    std::vector<u8> bytes = testbytes::LeBytes().U16(1).U16(1).U16(2).U16(2).Bytes();
    EXPECT_EQ(mixer.Write(v, 12, bytes.data(), 8), 8u);  // 4 bytes at the end, 4 at the start
    EXPECT_EQ(mixer.Write(v, 0, bytes.data(), 17), 0u);
    EXPECT_EQ(mixer.Write(v, 16, bytes.data(), 4), 0u);
    EXPECT_EQ(mixer.Write(99, 0, bytes.data(), 4), 0u);
    mixer.Play(v, true);
    auto out = Pull(mixer, 4);
    EXPECT_EQ(out[0], 2);  // frame 0 took the wrapped half
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[6], 1);
}

TEST(AudioMixer, VoicesSumWithSaturation) {
    platform::AudioMixer mixer;
    auto pcm = soundfixtures::ConstantStereo16(10, 30000);
    for (int i = 0; i < 2; ++i) {
        platform::VoiceId v = mixer.CreateVoice(Pcm(2, 44100, 16), static_cast<u32>(pcm.size()));
        mixer.Write(v, 0, pcm.data(), static_cast<u32>(pcm.size()));
        mixer.Play(v, true);
    }
    EXPECT_EQ(Pull(mixer, 2)[0], 32767);
}

TEST(AudioOutput, OpensADeviceOrANullSinkThatMovesCursorsInRealTime) {
    platform::AudioMixer& mixer = platform::GetAudioMixer();
    auto pcm = soundfixtures::ConstantStereo16(441, 100);  // 10 ms
    platform::VoiceId v = mixer.CreateVoice(Pcm(2, 44100, 16), static_cast<u32>(pcm.size()));
    mixer.Write(v, 0, pcm.data(), static_cast<u32>(pcm.size()));
    EXPECT_NE(platform::OpenAudioOutput(), platform::AudioOutputKind::None);
    mixer.Play(v, false);
    for (int i = 0; i < 400 && mixer.IsPlaying(v); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(mixer.IsPlaying(v));
    platform::CloseAudioOutput();
    mixer.DestroyVoice(v);
}

}  // namespace
