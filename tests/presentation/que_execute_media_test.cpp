// Sound and play-data records: the conversions they make on the way to the
// sound system, and a load that only goes ahead for a valid file.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/interrupt_snapshot.h"
#include "presentation/que_records.h"
#include "presentation/que_services.h"

namespace {

class RecordingSound : public classQueSoundService {
  public:
    void CreateLayer(int64 layer) override { calls.push_back("create " + std::to_string(layer)); }
    void AlterLayer(int64 layer, const QueSoundLayerChange& change) override {
        calls.push_back("alter " + std::to_string(layer));
        changes.push_back(change);
    }
    void PlayLayer(int64 layer) override { calls.push_back("play " + std::to_string(layer)); }
    void StopLayer(int64 layer, int64 fadeMs, const classOptionalValue<u8>& finishToDelete) override {
        calls.push_back("stop " + std::to_string(layer) + " " + std::to_string(fadeMs) + " " +
                        (finishToDelete.IsSet() ? std::to_string(finishToDelete.Get()) : "-"));
    }
    void FadeLayerVolume(int64 layer, int64 fadeMs, int64 volume) override {
        calls.push_back("volume " + std::to_string(layer) + " " + std::to_string(fadeMs) + " " +
                        std::to_string(volume));
    }
    void DeleteLayer(int64 layer) override { calls.push_back("delete " + std::to_string(layer)); }
    void DeleteAllLayers() override { calls.push_back("delete all"); }
    void StopVoices(int64 fadeMs) override { calls.push_back("voices " + std::to_string(fadeMs)); }

    std::vector<std::string> calls;
    std::vector<QueSoundLayerChange> changes;
};

class SoundRecordTest : public ::testing::Test {
  protected:
    void SetUp() override { SetQueSoundService(&sound_); }
    void TearDown() override { SetQueSoundService(nullptr); }
    void Run(classQueBase* record) {
        queue_.Post(record);
        queue_.Commit();
        classGraphicObject* none = nullptr;
        classQueContext context{nullptr, &none, &none};
        queue_.ExecuteCommitted(context);
    }

    RecordingSound sound_;
    classQueue queue_;
};

classQue_SoundAlter* Alter(int64 layer) {
    auto* record = new classQue_SoundAlter();
    record->layer = layer;
    return record;
}

TEST_F(SoundRecordTest, AlterConvertsVolumeAndLoopAndPassesOnlyGivenFields) {
    auto* full = Alter(50);
    full->files = "v001.ogg\tv002.ogg";
    full->volume.Set(0.5);
    full->loop.Set(1);
    full->stream.Set(1);
    full->finishToDelete.Set(1);
    full->loopFileNo.Set(2);
    Run(full);
    struct LoopCase {
        int64 loop;
        bool loops;
    };
    // 1 plays once like 0; any other count, negative ones included, loops.
    for (LoopCase c : {LoopCase{0, false}, LoopCase{2, true}, LoopCase{-1, true}}) {
        auto* record = Alter(3);
        record->loop.Set(c.loop);
        Run(record);
    }
    auto* tiny = Alter(4);
    tiny->volume.Set(0.0019);  // 1.9 thousandths: truncated toward zero
    Run(tiny);
    auto* nan = Alter(4);
    nan->volume.Set(std::numeric_limits<double>::quiet_NaN());
    Run(nan);
    Run(Alter(5));

    ASSERT_EQ(sound_.changes.size(), 7u);
    const QueSoundLayerChange& c = sound_.changes[0];
    EXPECT_EQ(c.files, "v001.ogg\tv002.ogg");
    EXPECT_EQ(c.volume.Get(), 500);
    EXPECT_TRUE(c.loop.IsSet());
    EXPECT_FALSE(c.loop.Get());
    EXPECT_EQ(c.stream.Get(), 1);
    EXPECT_EQ(c.finishToDelete.Get(), 1);
    EXPECT_EQ(c.loopFileNo.Get(), 2);
    EXPECT_FALSE(sound_.changes[1].loop.Get());
    EXPECT_TRUE(sound_.changes[2].loop.Get());
    EXPECT_TRUE(sound_.changes[3].loop.Get());
    EXPECT_FALSE(sound_.changes[3].volume.IsSet());
    EXPECT_EQ(sound_.changes[4].volume.Get(), 1);
    EXPECT_EQ(sound_.changes[5].volume.Get(), 0);
    const QueSoundLayerChange& empty = sound_.changes[6];
    EXPECT_TRUE(empty.files.empty());
    EXPECT_FALSE(empty.volume.IsSet() || empty.loop.IsSet() || empty.stream.IsSet() ||
                 empty.finishToDelete.IsSet() || empty.loopFileNo.IsSet());
}

TEST_F(SoundRecordTest, LayerRecordsCallTheirOperationsWithConvertedTimes) {
    auto* create = new classQue_SoundCreate();
    create->layer = 7;
    Run(create);
    auto* play = new classQue_SoundPlay();
    play->layer = 7;
    Run(play);
    auto* fade = new classQue_SoundVolume();
    fade->layer = 7;
    fade->fadeTime = 1500;
    fade->volume = 0.25;
    Run(fade);
    auto* stop = new classQue_SoundStop();
    stop->layer = 7;
    stop->fadeTime = 2000;
    Run(stop);
    auto* sample = new classQue_SoundStop();
    sample->layer = 99;
    sample->finishToDelete.Set(1);
    Run(sample);
    auto* backwards = new classQue_SoundStop();
    backwards->layer = 8;
    backwards->fadeTime = -30;
    Run(backwards);
    auto* remove = new classQue_SoundDelete();
    remove->layer = 99;
    Run(remove);
    Run(new classQue_SoundAllDelete());
    Run(new classQue_SoundStopToVoice());
    auto* voices = new classQue_SoundStopToVoice();
    voices->fadeTime.Set(100);
    Run(voices);
    EXPECT_EQ(sound_.calls, (std::vector<std::string>{"create 7", "play 7", "volume 7 1500 250",
                                                      "stop 7 2000 -", "stop 99 0 1", "stop 8 0 -",
                                                      "delete 99", "delete all", "voices 0", "voices 100"}));
}

TEST_F(SoundRecordTest, WithoutASoundSystemTheRecordsDoNothing) {
    SetQueSoundService(nullptr);
    Run(Alter(1));
    Run(new classQue_SoundAllDelete());
    EXPECT_TRUE(sound_.calls.empty());
    EXPECT_EQ(queue_.GetRecordCount(), 0u);
}

// ---- Play data ----

std::vector<std::string> g_dataCalls;
u8 g_restartSeenByLoad = 0;
bool IsValid(const std::string& path) {
    g_dataCalls.push_back("valid? " + path);
    return path == "save0001.dat";
}
bool Write(const std::string& path, const std::string& index) {
    g_dataCalls.push_back("write " + path + " [" + index + "]");
    return true;
}
bool Load(const std::string& path) {
    g_restartSeenByLoad = GetApplication()->restartRequested.load();
    g_dataCalls.push_back("load " + path);
    return true;
}
void Wake() {
    g_dataCalls.push_back("wake");
}

class DataRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        g_dataCalls.clear();
        g_restartSeenByLoad = 0;
        QuePlayDataService service;
        service.isValid = IsValid;
        service.write = Write;
        service.load = Load;
        service.wakeAllWaiters = Wake;
        SetQuePlayDataService(service);
    }
    void TearDown() override {
        SetQuePlayDataService(QuePlayDataService{});
        ShutdownApplication();
    }
    void Run(classQueBase* record) {
        queue_.Post(record);
        queue_.Commit();
        queue_.Execute();
    }
    classQueue queue_;
};

TEST_F(DataRecordTest, LoadGoesAheadOnlyForAValidFileAndSaveWritesPathAndIndexText) {
    struct Case {
        const char* name;
        bool service;
        bool load;  // else a save
        const char* path;
        const char* indexText;
        std::vector<std::string> calls;
        u8 restart;
    };
    const Case cases[] = {
        {"an invalid file changes nothing and restarts nothing", true, true, "save0002.dat", "",
         {"valid? save0002.dat"}, 0},
        {"a valid file restarts, wakes, then loads", true, true, "save0001.dat", "",
         {"valid? save0001.dat", "wake", "load save0001.dat"}, 1},
        {"a save without an index text", true, false, "save----.dat", "", {"write save----.dat []"}, 0},
        {"a save with one", true, false, "save0003.dat", "Chapter 2", {"write save0003.dat [Chapter 2]"}, 0},
        {"no play-data service: no load", false, true, "save0001.dat", "", {}, 0},
        {"no play-data service: no save", false, false, "save0001.dat", "", {}, 0},
    };
    for (const Case& c : cases) {
        g_dataCalls.clear();
        GetApplication()->restartRequested.store(0);
        if (!c.service) SetQuePlayDataService(QuePlayDataService{});
        if (c.load) {
            auto* load = new classQue_DataLoad();
            load->path = c.path;
            Run(load);
        } else {
            auto* save = new classQue_DataSave();
            save->path = c.path;
            save->indexText = c.indexText;
            Run(save);
        }
        EXPECT_EQ(g_dataCalls, c.calls) << c.name;
        EXPECT_EQ(GetApplication()->restartRequested.load(), c.restart) << c.name;
        if (c.restart != 0) {
            EXPECT_EQ(g_restartSeenByLoad, 1) << c.name << ": the scripts are told before the state changes";
        }
    }
}

TEST_F(DataRecordTest, InterruptSnapshotIsWrittenByTheNextFrameOfTheMainQueue) {
    classApplication* application = GetApplication();
    application->dataFolder = "/home/p/.local/share/Hollin-Gate/Merisande/";
    // With no render thread, a quitting program lets the frame wait end at once.
    application->isQuitting.store(1);
    EXPECT_TRUE(WriteInterruptSnapshot());
    application->isQuitting.store(0);
    classQueue* main = GetMainQueue();
    EXPECT_EQ(main->GetRecordCount(), 1u);
    EXPECT_EQ(main->GetCommittedCount(), 1);
    main->Execute();
    EXPECT_EQ(g_dataCalls,
              (std::vector<std::string>{"write /home/p/.local/share/Hollin-Gate/Merisande/save----.dat []"}));
}

TEST_F(DataRecordTest, NoSnapshotIsPostedWhileASkipToTheNextChoiceHoldsCommitsBack) {
    classApplication* application = GetApplication();
    application->dataFolder = "/home/p/.local/share/Hollin-Gate/Merisande/";
    application->nextSelectSkipping.store(1);
    EXPECT_FALSE(WriteInterruptSnapshot());
    application->nextSelectSkipping.store(0);
    EXPECT_EQ(GetMainQueue()->GetRecordCount(), 0u) << "a snapshot written later would be of a later state";
    EXPECT_TRUE(g_dataCalls.empty());
}

}  // namespace
