#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/archive.h"
#include "sound/sound_manager.h"
#include "support/temp_folder.h"
#include "tests/sound/sound_fixtures.h"

namespace {

u32 U32At(const std::vector<u8>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<u32>(b[at + 3]) << 24);
}

// Saves the manager's layers as they would follow `prefix` bytes of a file
// and returns the whole file.
std::vector<u8> Save(classSoundManager& manager, std::size_t prefix, int64* first, int64* count, bool* result) {
    classMemoryStream records;
    *result = manager.SaveLayers(records, prefix, first, count);
    std::vector<u8> bytes(prefix, 0xEE);
    bytes.insert(bytes.end(), records.Data(), records.Data() + records.Size());
    return bytes;
}

TEST(SoundPlayData, ARecordIsAHeaderAndTheTabJoinedListAtAbsoluteOffsets) {
    classSoundManager manager;
    classSoundLayer* layer = manager.GetOrCreateLayer(7);
    layer->SetFiles("bgm\\a.ogg\t\xE6\x9B\xB2.ogg");
    layer->SetStream(1);  // Loop stays 0 so the two bytes can be told apart
    layer->SetLoopFileNo(1);
    layer->SetVolume(300);
    layer->FadeVolume(800, 1000);
    int64 first = -1, count = -1;
    bool ok = false;
    std::vector<u8> bytes = Save(manager, 100, &first, &count, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(count, 1);
    const std::string list = "bgm\\a.ogg\t\xE6\x9B\xB2.ogg";
    ASSERT_EQ(bytes.size(), 100 + 32 + list.size() + 1);
    EXPECT_EQ(U32At(bytes, 100), 32u);
    EXPECT_EQ(U32At(bytes, 104), bytes.size());  // where the next record would begin
    EXPECT_EQ(U32At(bytes, 108), 7u);
    EXPECT_EQ((std::vector<u8>(bytes.begin() + 112, bytes.begin() + 116)), (std::vector<u8>{0, 0, 1, 0}))
        << "never played, Loop 0, Stream 1";
    EXPECT_EQ(U32At(bytes, 116), 132u);
    EXPECT_EQ(U32At(bytes, 120), list.size() + 1);
    EXPECT_EQ(U32At(bytes, 124), 800u);  // the fade's target
    EXPECT_EQ(U32At(bytes, 128), 1u);
    EXPECT_EQ(std::string(bytes.begin() + 132, bytes.end() - 1), list);
    EXPECT_EQ(bytes.back(), 0);
}

TEST(SoundPlayData, NoLayersWritesNothingAndOnlyDisappearingLayersWriteNoRecord) {
    classSoundManager manager;
    int64 first = -1, count = -1;
    bool ok = true;
    EXPECT_EQ(Save(manager, 10, &first, &count, &ok).size(), 10u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(count, 0);
    manager.GetOrCreateLayer(3)->SetFinishToDelete(1);
    EXPECT_EQ(Save(manager, 10, &first, &count, &ok).size(), 10u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(first, 10);
    EXPECT_EQ(count, 0);
}

TEST(SoundPlayData, LoadingReplacesEveryLayerWithTheSavedOnes) {
    classSoundManager saved;
    classSoundLayer* music = saved.GetOrCreateLayer(1);
    music->SetFiles("a.wav\tb.wav\tc.wav");
    for (int i = 0; i < 3; ++i) music->FileAt(i)->SetFileData(soundfixtures::StereoWave(4410, 1));
    music->SetStream(1);
    music->SetLoop(1);
    music->SetLoopFileNo(2);
    ASSERT_TRUE(music->Play());
    classSoundLayer* voice = saved.GetOrCreateLayer(99);
    voice->SetFiles("v.wav");
    voice->FileAt(0)->SetFileData(soundfixtures::StereoWave(44100, 1));
    voice->SetVolume(400);
    ASSERT_TRUE(voice->Play());
    classSoundLayer* leaving = saved.GetOrCreateLayer(50);
    leaving->SetFiles("x.wav");
    leaving->FileAt(0)->SetFileData(soundfixtures::StereoWave(44100, 1));
    leaving->SetLoop(1);
    ASSERT_TRUE(leaving->Play());
    leaving->FadeOutAndStop(1000);
    int64 first = 0, count = 0;
    bool ok = false;
    std::vector<u8> bytes = Save(saved, 16, &first, &count, &ok);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(bytes[16 + 12], 0);  // the fading-out layer (newest first) is saved as stopped

    classSoundManager loaded;
    loaded.GetOrCreateLayer(42);
    ASSERT_TRUE(loaded.LoadLayers(bytes.data(), bytes.size(), first, count));
    EXPECT_EQ(loaded.FindLayer(42), nullptr);
    classSoundLayer* m = loaded.FindLayer(1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetStream(), 1);
    EXPECT_EQ(m->GetLoop(), 1);
    EXPECT_EQ(m->GetLoopFileNo(), 2);
    EXPECT_EQ(m->FileList(), "a.wav\tb.wav\tc.wav");
    classSoundLayer* v = loaded.FindLayer(99);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetVolume(), 400);
    EXPECT_EQ(v->GetLoop(), 0);
    EXPECT_NE(loaded.FindLayer(50), nullptr);
    EXPECT_TRUE(loaded.LoadLayers(bytes.data(), bytes.size(), first, 0));
    EXPECT_EQ(loaded.LayerCount(), 0u);
}

// A record at `start`: the 32-byte header, then its list right behind it.
u32 Record(testbytes::LeBytes& b, u32 start, int32 layer, u8 playing, u8 loop, u8 stream, u32 volume, u32 loopFileNo,
           const std::string& list) {
    const u32 end = start + 32 + static_cast<u32>(list.size()) + 1;
    b.U32(32).U32(end).U32(static_cast<u32>(layer)).U8(playing).U8(loop).U8(stream).U8(0);
    b.U32(start + 32).U32(static_cast<u32>(list.size()) + 1).U32(volume).U32(loopFileNo).Text(list).Z();
    return end;
}

TEST(SoundPlayData, OnlyPlayingLoopsRestartAndAStreamComesBackFromItsFirstFile) {
    testfiles::TempFolder folder;
    folder.Put("a.wav", soundfixtures::StereoWave(100, 11));
    folder.Put("b.wav", soundfixtures::StereoWave(100, 22));
    folder.Put("c.wav", soundfixtures::StereoWave(100, 33));
    testbytes::LeBytes image;
    image.Zeros(8);  // the records need not start the image
    u32 at = Record(image, 8, 4, 1, 1, 1, 600, 2, "a.wav\tb.wav\tc.wav");
    // Silent companions, so only layer 4 is heard; every one has its file here.
    at = Record(image, at, 5, 1, 1, 0, 0, 0, "a.wav");  // a playing loop, not streamed
    at = Record(image, at, 6, 1, 0, 1, 0, 0, "a.wav");  // playing once: comes back stopped
    Record(image, at, 7, 0, 1, 0, 0, 0, "a.wav");       // a stopped loop stays stopped

    std::filesystem::path back = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    ResetArchivesForTesting();
    classSoundManager manager;
    manager.LoadLayers(image.Bytes().data(), image.Bytes().size(), 8, 4);
    struct Case {
        int32 layer;
        int state, loop, stream;
    } cases[] = {{4, 2, 1, 1}, {5, 2, 1, 0}, {6, 0, 0, 1}, {7, 0, 1, 0}};  // state 2: playing, looped
    for (const Case& c : cases) {
        classSoundLayer* layer = manager.FindLayer(c.layer);
        ASSERT_NE(layer, nullptr) << c.layer;
        EXPECT_EQ(layer->GetState(), c.state) << c.layer;
        EXPECT_EQ(layer->GetLoop(), c.loop) << c.layer;
        EXPECT_EQ(layer->GetStream(), c.stream) << c.layer;
        EXPECT_EQ(layer->Buffer() == nullptr, c.state == 0) << c.layer;
    }
    classSoundLayer* layer = manager.FindLayer(4);
    EXPECT_EQ(layer->GetLoopFileNo(), 2);
    EXPECT_EQ(layer->GetVolume(), 600);
    // The ring was primed from the top of the list: a, b, c, then c again.
    EXPECT_EQ(layer->Buffer()->Written(), kSoundRingBytes);
    layer->SetVolume(1000);
    std::vector<int16> out(2 * 400);
    platform::GetAudioMixer().Render(out.data(), 400);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[2 * 100], 22);
    EXPECT_EQ(out[2 * 200], 33);
    EXPECT_EQ(out[2 * 399], 33);
    std::filesystem::current_path(back);
    ResetArchivesForTesting();
}

TEST(SoundPlayData, ALoadTakesOnlyTheCountedRecordsFillingTheirSection) {
    testbytes::LeBytes two;
    two.Zeros(8);
    const u32 second = Record(two, 8, 1, 0, 0, 0, 500, 0, "one.ogg");
    const u32 end = Record(two, second, 2, 0, 0, 0, 500, 0, "two.ogg");
    testbytes::LeBytes stray = two;  // a list pointing past its own record
    stray.PatchU32(second + 20, end - second - 32 + 1);
    struct Case {
        const char* name;
        const testbytes::LeBytes& bytes;
        u64 sectionEnd;
        int64 count;
        bool taken;
        std::size_t read;
    } cases[] = {
        {"two records filling the section", two, end, 2, true, 2},
        {"counted three", two, end, 3, false, 2},
        {"stopping before the section's end", two, end + 4, 2, false, 2},
        {"the second reaching past the section", two, end - 1, 2, false, 1},
        {"a list outside its record", stray, end, 2, false, 1},
        {"no records", two, 8, 0, true, 0},
    };
    for (const Case& c : cases) {
        std::vector<u8> bytes = c.bytes.Bytes();
        bytes.resize(end + 4, 0);
        std::vector<SavedSoundLayer> read;
        EXPECT_EQ(classSoundManager::ReadLayerRecords(bytes.data(), c.sectionEnd, 8, c.count, read), c.taken) << c.name;
        EXPECT_EQ(read.size(), c.read) << c.name;
    }
}

TEST(SoundPlayData, DamagedRecordsEndTheRunAndKeepTheRecordsBeforeThem) {
    testbytes::LeBytes good;
    u32 next = Record(good, 0, 1, 0, 0, 0, 500, 0, "one.ogg");

    {  // bad header size
        testbytes::LeBytes b = good;
        b.U32(31).U32(next + 40).U32(2).U32(0).U32(next + 32).U32(8).U32(0).U32(0).Text("two.ogg").Z();
        classSoundManager m;
        EXPECT_TRUE(m.LoadLayers(b.Bytes().data(), b.Bytes().size(), 0, 2));
        EXPECT_EQ(m.LayerCount(), 1u);
        EXPECT_EQ(m.FindLayer(1)->GetVolume(), 500);
    }
    {  // an end offset pointing back at its own start, with a huge count
        testbytes::LeBytes b = good;
        b.U32(32).U32(next).U32(2).U32(0).U32(next + 32).U32(1).U32(0).U32(0).Z();
        classSoundManager m;
        EXPECT_TRUE(m.LoadLayers(b.Bytes().data(), b.Bytes().size(), 0, int64{1} << 40));
        EXPECT_EQ(m.LayerCount(), 1u);
    }
    {  // a list outside the image
        testbytes::LeBytes b;
        b.U32(32).U32(33).U32(2).U32(0).U32(32).U32(5000).U32(0).U32(0).Z();
        classSoundManager m;
        EXPECT_TRUE(m.LoadLayers(b.Bytes().data(), b.Bytes().size(), 0, 1));
        EXPECT_EQ(m.LayerCount(), 0u);
    }
    {  // a list without its NUL is cut at its size; a negative first offset reads nothing
        testbytes::LeBytes b;
        b.U32(32).U32(35).U32(4).U32(0).U32(32).U32(3).U32(0).U32(0).Text("abc");
        classSoundManager m;
        EXPECT_TRUE(m.LoadLayers(b.Bytes().data(), b.Bytes().size(), 0, 1));
        ASSERT_NE(m.FindLayer(4), nullptr);
        EXPECT_EQ(m.FindLayer(4)->FileList(), "abc");
        EXPECT_TRUE(m.LoadLayers(b.Bytes().data(), b.Bytes().size(), -5, 1));
        EXPECT_EQ(m.LayerCount(), 0u);
    }
}

}  // namespace
