#include <gtest/gtest.h>

#include <vector>

#include "platform/audio.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "tests/sound/sound_fixtures.h"

namespace {

using soundfixtures::StereoWave;

// One update-thread pass: the card plays `ms` of audio, then the manager ticks.
void Pass(classSoundManager& manager, u32 ms) {
    platform::GetAudioMixer().Consume(ms * 441 / 10);
    manager.Tick(ms);
}

classSoundLayer* LayerOf(classSoundManager& manager, int32 number, std::vector<std::vector<u8>> files) {
    classSoundLayer* layer = manager.GetOrCreateLayer(number);
    std::string list;
    for (std::size_t i = 0; i < files.size(); ++i) list += (i ? "\tf" : "f") + std::to_string(i) + ".wav";
    layer->SetFiles(list);
    for (std::size_t i = 0; i < files.size(); ++i) layer->FileAt(i)->SetFileData(files[i]);
    return layer;
}

TEST(SoundGroups, EffectiveVolumeMultipliesEveryGroupThatHoldsTheLayer) {
    classSoundManager manager;
    EXPECT_TRUE(manager.SetGroup(1, 0, 9));
    EXPECT_TRUE(manager.SetGroup(2, 5, 5));
    manager.FindGroup(1)->SetVolume(500);
    manager.FindGroup(2)->SetVolume(500);
    EXPECT_EQ(manager.GetOrCreateLayer(5)->GetEffectiveVolume(), 250);
    EXPECT_EQ(manager.GetOrCreateLayer(4)->GetEffectiveVolume(), 500);
    EXPECT_EQ(manager.GetOrCreateLayer(10)->GetEffectiveVolume(), 1000);
    manager.GetOrCreateLayer(4)->SetVolume(333);
    EXPECT_EQ(manager.GetOrCreateLayer(4)->GetEffectiveVolume(), 166);  // 500 · 333 / 1000, truncated
    // A new range keeps the volume; out-of-range volumes are held to 0..1000.
    EXPECT_FALSE(manager.SetGroup(1, 0, 4));
    EXPECT_EQ(manager.FindGroup(1)->GetVolume(), 500);
    EXPECT_EQ(manager.GetOrCreateLayer(5)->GetEffectiveVolume(), 500);
    manager.FindGroup(2)->SetVolume(1000000);
    EXPECT_EQ(manager.GetOrCreateLayer(5)->GetEffectiveVolume(), 1000);
    EXPECT_EQ(manager.FindGroup(7), nullptr);
}

TEST(SoundGroups, ASilentVoiceGroupStillPlaysButIsNoVoiceToWaitFor) {
    classSoundManager manager;
    manager.SetGroup(3, 90, 99);
    manager.FindGroup(3)->SetAutomodeSkip(4 | 8);
    classSoundLayer* voice = LayerOf(manager, 99, {StereoWave(44100, 1000)});
    ASSERT_TRUE(voice->Play());
    EXPECT_EQ(voice->GetState(), 1);
    EXPECT_TRUE(manager.IsVoiceLayer(99));
    EXPECT_FALSE(manager.IsVoiceLayer(89));
    EXPECT_TRUE(manager.IsVoicePlaying());
    manager.FindGroup(3)->SetSilent(1);
    EXPECT_EQ(voice->GetEffectiveVolume(), 0);
    EXPECT_EQ(voice->GetState(), 1);
    EXPECT_FALSE(manager.IsVoicePlaying());
    // A voice ends when the card has played it, with or without a device.
    manager.FindGroup(3)->SetSilent(0);
    for (int i = 0; i < 9; ++i) Pass(manager, 100);
    EXPECT_TRUE(manager.IsVoicePlaying());
    Pass(manager, 100);
    EXPECT_EQ(voice->GetState(), 0);
    EXPECT_FALSE(manager.IsVoicePlaying());
}

TEST(SoundGroups, AGroupVolumeReachesThePlayingSoundOnTheNextTick) {
    classSoundManager manager;
    manager.SetGroup(1, 0, 9);
    classSoundLayer* layer = LayerOf(manager, 3, {StereoWave(4410, 16000)});
    layer->SetLoop(1);
    ASSERT_TRUE(layer->Play());
    std::vector<int16> out(2 * 4);
    platform::GetAudioMixer().Render(out.data(), 4);
    EXPECT_EQ(out[0], 16000);
    manager.FindGroup(1)->SetVolume(500);
    platform::GetAudioMixer().Render(out.data(), 4);
    EXPECT_EQ(out[0], 16000);  // not before the tick
    manager.Tick(100);
    platform::GetAudioMixer().Render(out.data(), 4);
    // 500 → −752 hundredths of a dB → 16000 · 10^(−0.376) = 6731.7.
    EXPECT_NEAR(out[0], 6732, 1);
    manager.FindGroup(1)->SetSilent(1);
    manager.Tick(100);
    platform::GetAudioMixer().Render(out.data(), 4);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(layer->GetState(), 2);
}

TEST(SoundFades, ARisingFadeStepsEveryTickAndReportsItsEndOnTheNext) {
    classSoundManager manager;
    classSoundLayer* layer = manager.GetOrCreateLayer(1);
    layer->SetVolume(0);
    layer->FadeVolume(1000, 1000);
    for (int32 expected = 100; expected <= 1000; expected += 100) {
        EXPECT_TRUE(layer->Tick(100));
        EXPECT_EQ(layer->GetVolume(), expected);
    }
    EXPECT_TRUE(layer->Tick(100));  // reached: lands, reports once more
    EXPECT_FALSE(layer->IsFading());
    EXPECT_FALSE(layer->Tick(100));
    EXPECT_EQ(layer->GetVolume(), 1000);
}

TEST(SoundFades, SlowFadesKeepTheirFractionsAndEndOnTime) {
    classSoundManager manager;
    classSoundLayer* rising = manager.GetOrCreateLayer(1);
    rising->SetVolume(0);
    rising->FadeVolume(50, 20000);  // 0.25 a tick of 100 ms
    for (int i = 0; i < 100; ++i) rising->Tick(100);
    EXPECT_EQ(rising->GetVolume(), 25);  // halfway after 10 s
    for (int i = 0; i < 100; ++i) rising->Tick(100);
    EXPECT_EQ(rising->GetVolume(), 50);

    classSoundLayer* falling = manager.GetOrCreateLayer(2);
    falling->FadeVolume(950, 20000);  // from 1000
    for (int i = 0; i < 50; ++i) falling->Tick(100);
    EXPECT_EQ(falling->GetVolume(), 987);  // 987.5 after 5 s, truncated
    EXPECT_TRUE(falling->IsFading());
}

TEST(SoundFades, FadeOutAndStopEndsWithinTwoTicksAndRestoresTheVolume) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(44100, 1000)});
    layer->SetLoop(1);
    layer->SetVolume(700);
    ASSERT_TRUE(layer->Play());
    EXPECT_EQ(layer->GetState(), 2);
    layer->FadeOutAndStop(0);
    manager.Tick(100);
    EXPECT_EQ(layer->GetVolume(), 0);
    manager.Tick(100);
    EXPECT_EQ(layer->GetState(), 0);
    EXPECT_EQ(layer->GetVolume(), 700);

    // A layer already at 0 still stops.
    ASSERT_TRUE(layer->Play());
    layer->SetVolume(0);
    layer->FadeOutAndStop(500);
    manager.Tick(100);
    manager.Tick(100);
    EXPECT_EQ(layer->GetState(), 0);
}

TEST(SoundFades, StopVoicesFadesOutOnlyVoicesPlayingOnce) {
    classSoundManager manager;
    manager.SetGroup(0, 99, 99);
    manager.FindGroup(0)->SetAutomodeSkip(1);
    classSoundLayer* voice = LayerOf(manager, 99, {StereoWave(44100, 1)});
    classSoundLayer* music = LayerOf(manager, 0, {StereoWave(44100, 1)});
    music->SetLoop(1);
    voice->Play();
    music->Play();
    manager.StopVoices(0);
    manager.Tick(100);
    manager.Tick(100);
    EXPECT_EQ(voice->GetState(), 0);
    EXPECT_EQ(music->GetState(), 2);
}

TEST(SoundLayers, AOneShotLayerIsSeenUntilItHasPlayedAndStoppedThenRemoved) {
    classSoundManager manager;
    classSoundLayer* effect = LayerOf(manager, 5, {StereoWave(4410, 1)});  // 100 ms
    effect->SetFinishToDelete(1);
    classSoundLayer* kept = LayerOf(manager, 6, {StereoWave(4410, 1)});  // did not ask to go
    ASSERT_TRUE(kept->Play());
    Pass(manager, 100);
    Pass(manager, 100);
    ASSERT_EQ(kept->GetState(), 0);
    EXPECT_EQ(manager.FindLayer(6), kept) << "played and stopped, but never asked to go";
    EXPECT_EQ(manager.FindLayer(5), effect) << "set up but not played: the play that follows must find it";
    ASSERT_TRUE(effect->Play());
    Pass(manager, 50);
    EXPECT_EQ(manager.FindLayer(5), effect) << "still playing";
    effect->SetFiles("f0.wav");
    effect->FileAt(0)->SetFileData(StereoWave(4410, 1));
    EXPECT_EQ(manager.FindLayer(5), effect) << "stopped by a new list that is yet to play";
    ASSERT_TRUE(effect->Play());
    platform::GetAudioMixer().Consume(4410);
    EXPECT_EQ(manager.FindLayer(5), nullptr) << "played and stopped";
    classSoundLayer* again = manager.GetOrCreateLayer(5);
    EXPECT_NE(again, effect);
    EXPECT_EQ(manager.LayerCount(), 3u);
    manager.Tick(100);
    EXPECT_EQ(manager.LayerCount(), 2u);
    EXPECT_EQ(manager.FindLayer(5), again);
    manager.DeleteLayer(5);
    manager.DeleteLayer(6);
    EXPECT_EQ(manager.LayerCount(), 0u);
}

TEST(SoundLayers, ANewListStopsTheLayerAndClearsItsLoopAndStreamSettings) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(4410, 1), StereoWave(4410, 2)});
    layer->SetLoop(1);
    layer->SetStream(1);
    layer->SetLoopFileNo(1);
    ASSERT_TRUE(layer->Play());
    layer->SetFiles("g.wav");
    EXPECT_EQ((std::vector<int>{layer->GetState(), layer->GetLoop(), layer->GetStream(), layer->GetLoopFileNo()}),
              (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(layer->Buffer(), nullptr);
    EXPECT_EQ(layer->FileList(), "g.wav");
}

TEST(SoundLayers, AWholeListPlaysOnceAndIsMeasured) {
    classSoundManager manager;
    // 0.5 s and 0.25 s WAVs, written one after the other into one buffer.
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(22050, 10), StereoWave(11025, 20)});
    EXPECT_EQ(layer->GetTotalLengthMs(), 750u);
    EXPECT_FALSE(layer->IsPlayingByTime());
    int64 remaining = -1;
    EXPECT_FALSE(layer->GetRemainingByPositionMs(&remaining)) << "not playing";
    ASSERT_TRUE(layer->Play());
    EXPECT_EQ(layer->Buffer()->Size(), 132300u);
    EXPECT_TRUE(layer->IsPlayingByTime());
    // What is left is counted from what the card has played, whatever the
    // wall clock says.
    ASSERT_TRUE(manager.GetLayerRemainingByPosition(1, &remaining));
    EXPECT_EQ(remaining, 750);
    for (int i = 0; i < 7; ++i) Pass(manager, 100);
    EXPECT_EQ(layer->GetState(), 1);
    ASSERT_TRUE(manager.GetLayerRemainingByPosition(1, &remaining));
    EXPECT_EQ(remaining, 50);
    Pass(manager, 100);
    EXPECT_EQ(layer->GetState(), 0);
    EXPECT_FALSE(manager.GetLayerRemainingByPosition(1, &remaining)) << "played to its end";
    EXPECT_FALSE(LayerOf(manager, 2, {})->Play());
}

// A stream's bytes as the ring receives them, read straight from the layer.
std::vector<int16> Streamed(classSoundLayer* layer, u32 bytes) {
    for (const auto& file : layer->Files()) file->Prepare();
    std::vector<u8> raw(bytes);
    u32 got = layer->ReadStream(raw.data(), bytes);
    std::vector<int16> values;
    for (u32 i = 0; i + 4 <= got; i += 4) values.push_back(static_cast<int16>(raw[i] | (raw[i + 1] << 8)));
    return values;
}

TEST(SoundStreams, ALoopBackToTheSecondFileRepeatsOnlyThatFile) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(100, 1), StereoWave(50, 2)});
    layer->SetStream(1);
    layer->SetLoop(1);
    layer->SetLoopFileNo(1);
    std::vector<int16> frames = Streamed(layer, 4 * 300);
    ASSERT_EQ(frames.size(), 300u);
    EXPECT_EQ(frames[99], 1);
    for (std::size_t i = 100; i < 300; ++i) ASSERT_EQ(frames[i], 2) << i;
}

TEST(SoundStreams, ALoopStartOutsideTheListRepeatsTheFirstFile) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(10, 1), StereoWave(10, 2)});
    layer->SetLoop(1);
    layer->SetLoopFileNo(7);
    std::vector<int16> frames = Streamed(layer, 4 * 40);
    EXPECT_EQ((std::vector<int16>(frames.begin() + 20, frames.begin() + 30)), std::vector<int16>(10, 1));
    EXPECT_EQ(frames[35], 2);
}

TEST(SoundStreams, ALoopingListWithoutAudioGivesUpAfterOnePass) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(0, 0), soundfixtures::Wave(1, 2, 44100, 16, {})});
    layer->SetLoop(1);
    EXPECT_TRUE(Streamed(layer, 4000).empty());
}

// A non-looping stream of `bytes` bytes, ticked every 100 ms: it must stop
// no later than two ticks after the card has played it.
void ExpectStreamEnds(u32 bytes) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(bytes / 4, 3)});
    layer->SetStream(1);
    ASSERT_TRUE(layer->Play());
    const u32 playMs = bytes / 176400.0 * 1000;
    u32 ms = 0;
    while (layer->GetState() != 0 && ms < playMs + 5000) {
        Pass(manager, 100);
        ms += 100;
    }
    EXPECT_EQ(layer->GetState(), 0) << bytes;
    EXPECT_GE(ms, playMs) << bytes;
    EXPECT_LE(ms, playMs + 200) << bytes;
}

TEST(SoundStreams, EveryNonLoopingStreamEndsWhereverItsEndFallsOnTheRing) {
    // Ends just before a wrap, on it, after it, and two rings later.
    for (u32 bytes : {700000u, 690000u, 705600u, 680000u, 1395000u, 1401200u, 17640u}) ExpectStreamEnds(bytes);
}

TEST(SoundStreams, ALateTickStillEndsTheStreamAndReplaysNoStaleData) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(441000, 4)});  // 10 s
    layer->SetStream(1);
    ASSERT_TRUE(layer->Play());
    // Nothing ticks for 5 s: the player has gone round the whole ring.
    platform::GetAudioMixer().Consume(5 * 44100);
    EXPECT_EQ(layer->Buffer()->UpdatePositions(), kSoundRingBytes);
    EXPECT_EQ(layer->Buffer()->Written(), 5u * 176400u) << "the writer resumes where the player is";
    int ticks = 0;
    while (layer->GetState() != 0 && ticks < 200) {
        Pass(manager, 100);
        ++ticks;
    }
    EXPECT_EQ(layer->GetState(), 0);
}

TEST(SoundStreams, AReplayStartsAgainFromTheTop) {
    classSoundManager manager;
    classSoundLayer* layer = LayerOf(manager, 1, {StereoWave(100, 5)});
    layer->SetStream(1);
    ASSERT_TRUE(layer->Play());
    layer->Stop();
    ASSERT_TRUE(layer->Play());
    // Eight refills at Play: the file's 400 bytes, then seven of 88200 zero
    // bytes once the data has ended. A source left at its end would give
    // eight refills of zeros, 705600 bytes.
    EXPECT_EQ(layer->Buffer()->Written(), 400u + 7 * 88200u);
}

}  // namespace
