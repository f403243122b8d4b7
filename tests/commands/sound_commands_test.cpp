// What the sound commands post and what they change at once: short scripts
// run headless, then the main queue's records are read field by field and
// the sound manager's groups are looked at. Expected values are worked out by
// hand from each command's parameters.
#include "commands/sound_commands.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "presentation/que_services.h"
#include "script/already_read.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "system/history_store.h"
#include "support/executor/script_runner.h"
#include "support/script/values.h"

namespace {

// The backlog as one list of strings per entry.
std::vector<std::vector<std::string>> History() {
    return g_historyLog.Snapshot();
}

// The host's skip state: Ctrl held, skip mode, skip mode over read text only.
struct Skip {
    bool ctrl = false, skipMode = false, alreadyOnly = false;
};

class SoundCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->soundManager = classSoundManager::Create();
        testexec::InstallLoader();
        GetMainQueue()->TakeRecords();
        g_historyLog.Clear();
    }
    void TearDown() override {
        GetMainQueue()->TakeRecords();
        testexec::ClearSources();
        g_historyLog.Clear();
        classSoundManager::Destroy(app->soundManager);
        app->soundManager = nullptr;
        ShutdownApplication();
    }

    // Runs `source` on a fresh context; `asMain` makes it the main script's;
    // `skip` sets the host's skip state.
    std::vector<QueRecordPtr> Post(const std::string& source, bool asMain = true, Skip skip = {}) {
        testexec::AddSource("sound.qvs", source);
        testexec::ScriptRun run;
        if (!asMain) run.host.mainContext.store(nullptr);
        run.host.ctrl.store(skip.ctrl);
        run.host.skipPlaying.store(skip.skipMode);
        run.host.skipAlreadyOnly.store(skip.alreadyOnly);
        run.Run("sound.qvs");
        EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 0) << "sound commands never commit";
        return GetMainQueue()->TakeRecords();
    }

    // Layer 50 to 59 form a voice group.
    void MakeVoiceGroup() {
        Post("SoundGroup(No=3, SoundNoStart=50, SoundNoLast=59) SoundGroupAutomodeSkip(No=3, Value=1)");
        ASSERT_TRUE(app->soundManager->IsVoiceLayer(50));
    }

    template <typename Record>
    static Record* As(const std::vector<QueRecordPtr>& records, size_t index) {
        if (index >= records.size() || records[index]->GetType() != Record::kType) return nullptr;
        return static_cast<Record*>(records[index].get());
    }

    static std::vector<QueRecordType> Types(const std::vector<QueRecordPtr>& records) {
        std::vector<QueRecordType> types;
        for (const auto& record : records) types.push_back(record->GetType());
        return types;
    }

    classApplication* app = nullptr;
};

using Kinds = std::vector<QueRecordType>;

TEST_F(SoundCommandsTest, SoundPostsCreateAlterAndPlayWithOnlyTheGivenFields) {
    auto records = Post("Sound(Layer=10, File=\"bgm.ogg\", Volume=0.5, Pan=0.3, Loop=-1, Stream=2, Play=1)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundCreate, QueSoundAlter, QueSoundPlay}));
    EXPECT_EQ(As<classQue_SoundCreate>(records, 0)->layer, 10);
    auto* alter = As<classQue_SoundAlter>(records, 1);
    EXPECT_EQ(alter->layer, 10);
    EXPECT_EQ(alter->files, "bgm.ogg");
    ASSERT_TRUE(alter->volume.IsSet());
    EXPECT_DOUBLE_EQ(alter->volume.Get(), 0.5) << "carried as given; the execution scales it";
    ASSERT_TRUE(alter->loop.IsSet());
    EXPECT_EQ(alter->loop.Get(), -1);
    ASSERT_TRUE(alter->stream.IsSet());
    EXPECT_EQ(alter->stream.Get(), 1) << "a flag: 2 becomes 1";
    EXPECT_FALSE(alter->finishToDelete.IsSet());
    EXPECT_FALSE(alter->loopFileNo.IsSet());
    EXPECT_EQ(As<classQue_SoundPlay>(records, 2)->layer, 10);
    for (const auto& record : records) EXPECT_EQ(record->sceneMask, 0u);

    // Play 0, or no Play, posts no play record; no File keeps the layer's files.
    records = Post("Sound(Layer=11, File=\"se.wav\", Play=0) SoundAlter(Layer=11, LoopFileNo=2, FinishToDelete=9)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundCreate, QueSoundAlter, QueSoundAlter}));
    alter = As<classQue_SoundAlter>(records, 2);
    EXPECT_EQ(alter->files, "");
    EXPECT_FALSE(alter->volume.IsSet() || alter->loop.IsSet() || alter->stream.IsSet());
    EXPECT_EQ(alter->loopFileNo.Get(), 2);
    EXPECT_EQ(alter->finishToDelete.Get(), 1);
}

TEST_F(SoundCommandsTest, CommandsWithoutTheirLayerPostNothing) {
    MakeVoiceGroup();
    EXPECT_TRUE(Post("Sound(File=\"a.ogg\", Play=1) SoundAlter(File=\"v.ogg\", Play=1) SoundStop(Time=5) "
                     "SoundVolume(Layer=3, Time=100) SoundVolume(Time=100, Volume=0.5) "
                     "SoundPlayRepeatToJustBeforeVoice()")
                    .empty());
    EXPECT_EQ(app->voiceStartedSinceKeyWait.load(), 0) << "no voice rule without a layer";
    EXPECT_TRUE(History().empty());
}

TEST_F(SoundCommandsTest, TheFirstVoiceOfAPageFadesTheLastOneAndOpensItsBacklogEntry) {
    MakeVoiceGroup();
    auto records = Post("SoundAlter(Layer=50, File=\"v1.ogg\", Play=1)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundStopToVoice, QueSoundDelete, QueSoundAlter, QueSoundPlay}));
    auto* fade = As<classQue_SoundStopToVoice>(records, 0);
    ASSERT_TRUE(fade->fadeTime.IsSet());
    EXPECT_EQ(fade->fadeTime.Get(), 100);
    EXPECT_EQ(As<classQue_SoundDelete>(records, 1)->layer, 99) << "the settings screen's sample voice";

    // The second voice before a key wait keeps the first one playing and
    // joins the same backlog entry.
    records = Post("Sound(Layer=51, File=\"v2.ogg\", Play=1)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundDelete, QueSoundCreate, QueSoundAlter, QueSoundPlay}));
    {
        classCriticalSectionLock hold(app->GetLock());
        EXPECT_EQ(app->lastVoiceFile, "v2.ogg");
    }
    EXPECT_EQ(app->lastVoiceLayer.load(), 51);
    EXPECT_EQ(History(), (std::vector<std::vector<std::string>>{{"!<voicev1.ogg"}}));

    // A key wait and a new page start the round again.
    app->voiceStartedSinceKeyWait = 0;
    app->backlogPageStarted = 0;
    records = Post("SoundAlter(Layer=52, File=\"v3.ogg\")");
    ASSERT_EQ(Types(records), (Kinds{QueSoundStopToVoice, QueSoundDelete, QueSoundAlter}));
    EXPECT_EQ(History(), (std::vector<std::vector<std::string>>{{"!<voicev1.ogg"}, {"!<voicev3.ogg"}}));

    // A layer outside every voice group gets no voice rule.
    app->voiceStartedSinceKeyWait = 0;
    records = Post("SoundAlter(Layer=60, File=\"se.ogg\", Play=1)");
    EXPECT_EQ(Types(records), (Kinds{QueSoundAlter, QueSoundPlay}));
}

// A voice line of a skipped statement is remembered for replay and the
// backlog but not started; skip mode that stopped at unread text is no skip,
// so that page's voice plays.
TEST_F(SoundCommandsTest, AVoiceOfASkippedStatementIsRememberedButNotPlayed) {
    struct Case {
        const char* name;
        Skip skip;
        bool played;
    };
    const Case cases[] = {
        {"skip mode over read text", {false, true, false}, false},
        {"Ctrl held", {true, false, false}, false},
        {"skip mode stopped at unread text", {false, true, true}, true},
        {"no skip", {}, true},
    };
    MakeVoiceGroup();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_alreadyReadList.Clear();  // the voice line is new each time
        g_historyLog.Clear();
        app->voiceStartedSinceKeyWait = 0;
        app->backlogPageStarted = 0;
        app->skipPlaying = c.skip.skipMode ? 1 : 0;
        auto records = Post("Sound(Layer=50, File=\"skip.ogg\", Play=1)", true, c.skip);
        Kinds expected{QueSoundStopToVoice, QueSoundDelete, QueSoundCreate, QueSoundAlter};
        if (c.played) expected.push_back(QueSoundPlay);
        EXPECT_EQ(Types(records), expected);
        {
            classCriticalSectionLock hold(app->GetLock());
            EXPECT_EQ(app->lastVoiceFile, "skip.ogg");
        }
        EXPECT_EQ(History(), (std::vector<std::vector<std::string>>{{"!<voiceskip.ogg"}}));
    }
    app->skipPlaying = 0;
}

TEST_F(SoundCommandsTest, SkippingToTheNextChoiceKeepsOnlyEndlessLoopsOnTheMainScript) {
    app->nextSelectSkipping = 1;
    auto records =
        Post("SoundAlter(Layer=1, File=\"bgm.ogg\", Loop=-1, Play=1) SoundAlter(Layer=2, File=\"a.ogg\", Loop=1) "
             "SoundAlter(Layer=3, File=\"b.ogg\", Play=1)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundAlter, QueSoundPlay}));
    EXPECT_EQ(As<classQue_SoundAlter>(records, 0)->layer, 1);

    // Another thread's script is not skipping to a choice.
    records = Post("SoundAlter(Layer=2, File=\"a.ogg\", Loop=1) SoundAlter(Layer=3, File=\"b.ogg\", Play=1)",
                   false);
    EXPECT_EQ(Types(records), (Kinds{QueSoundAlter, QueSoundAlter, QueSoundPlay}));
}

TEST_F(SoundCommandsTest, StopVolumeAndStopToVoiceCarryTheirTimes) {
    auto records = Post(
        "SoundStop(Layer=3) SoundStop(Layer=4, Time=500, FinishToDelete=2) SoundVolume(Layer=5, Volume=0.25) "
        "SoundVolume(Layer=6, Time=300, Volume=7) SoundVolume(Layer=7, Volume=-1) SoundStopToVoice() "
        "SoundStopToVoice(Time=250)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundStop, QueSoundStop, QueSoundVolume, QueSoundVolume, QueSoundVolume,
                                     QueSoundStopToVoice, QueSoundStopToVoice}));
    auto* stop = As<classQue_SoundStop>(records, 0);
    EXPECT_EQ(stop->layer, 3);
    EXPECT_EQ(stop->fadeTime, 0);
    EXPECT_FALSE(stop->finishToDelete.IsSet());
    stop = As<classQue_SoundStop>(records, 1);
    EXPECT_EQ(stop->fadeTime, 500);
    ASSERT_TRUE(stop->finishToDelete.IsSet());
    EXPECT_EQ(stop->finishToDelete.Get(), 1);
    auto* volume = As<classQue_SoundVolume>(records, 2);
    EXPECT_EQ(volume->layer, 5);
    EXPECT_EQ(volume->fadeTime, 0) << "no Time: set within the next tick";
    EXPECT_DOUBLE_EQ(volume->volume, 0.25);
    EXPECT_DOUBLE_EQ(As<classQue_SoundVolume>(records, 3)->volume, 1.0) << "7 is pinned to full";
    EXPECT_EQ(As<classQue_SoundVolume>(records, 3)->fadeTime, 300);
    EXPECT_DOUBLE_EQ(As<classQue_SoundVolume>(records, 4)->volume, 0.0) << "-1 is pinned to silence";
    EXPECT_EQ(As<classQue_SoundStopToVoice>(records, 5)->fadeTime.Get(), 0);
    EXPECT_EQ(As<classQue_SoundStopToVoice>(records, 6)->fadeTime.Get(), 250);
}

TEST_F(SoundCommandsTest, TheLastVoicePlaysAgainWithoutVoiceRules) {
    MakeVoiceGroup();
    {
        classCriticalSectionLock hold(app->GetLock());
        app->lastVoiceFile = "again.ogg";
    }
    auto records = Post("SoundPlayRepeatToJustBeforeVoice(Layer=55)");
    ASSERT_EQ(Types(records), (Kinds{QueSoundCreate, QueSoundAlter, QueSoundPlay}));
    auto* alter = As<classQue_SoundAlter>(records, 1);
    EXPECT_EQ(alter->layer, 55);
    EXPECT_EQ(alter->files, "again.ogg");
    EXPECT_FALSE(alter->volume.IsSet() || alter->loop.IsSet() || alter->stream.IsSet() ||
                 alter->finishToDelete.IsSet() || alter->loopFileNo.IsSet());
    EXPECT_EQ(app->voiceStartedSinceKeyWait.load(), 0);
    EXPECT_TRUE(History().empty());

    QueueSoundStop(99);
    QueueSoundPlayFile(99, "sample.ogg");
    records = GetMainQueue()->TakeRecords();
    ASSERT_EQ(Types(records), (Kinds{QueSoundStop, QueSoundCreate, QueSoundAlter, QueSoundPlay}));
    auto* stop = As<classQue_SoundStop>(records, 0);
    EXPECT_EQ(stop->fadeTime, 0);
    EXPECT_EQ(stop->finishToDelete.Get(), 1);
    EXPECT_EQ(As<classQue_SoundAlter>(records, 2)->files, "sample.ogg");
}

TEST_F(SoundCommandsTest, GroupCommandsChangeOnlyGroupsThatExist) {
    classSoundManager* manager = app->soundManager;
    EXPECT_TRUE(Post("SoundGroupVolume(No=4, Volume=0.5) SoundGroupSilent(No=4, Value=1) "
                     "SoundGroup(No=4, SoundNoStart=10)")
                    .empty());
    {
        classCriticalSectionLock hold(g_soundLock);
        EXPECT_EQ(manager->FindGroup(4), nullptr) << "neither made by the setters nor without a last layer";
    }
    Post("SoundGroup(No=4, SoundNoStart=10, SoundNoLast=19) SoundGroupVolume(No=4, Volume=0.5) "
         "SoundGroupSilent(No=4, Value=3) SoundGroupAutomodeSkip(No=4, Value=5)");
    {
        classCriticalSectionLock hold(g_soundLock);
        classSoundGroup* group = manager->FindGroup(4);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->state.firstLayer, 10);
        EXPECT_EQ(group->state.lastLayer, 19);
        EXPECT_EQ(group->GetVolume(), 500);
        EXPECT_EQ(group->GetSilent(), 1);
        EXPECT_EQ(group->GetAutomodeSkip(), 5);
    }
    EXPECT_TRUE(manager->IsVoiceLayer(15)) << "the bit of value 4 makes a voice group";
    Post("SoundGroupAutomodeSkip(No=4, Value=2) SoundGroupVolume(No=4, Volume=0.3339)");
    EXPECT_FALSE(manager->IsVoiceLayer(15));
    classCriticalSectionLock hold(g_soundLock);
    EXPECT_EQ(manager->FindGroup(4)->GetVolume(), 333) << "thousandths, truncated";
}

// A real that becomes a volume or a time: NaN is 0, the infinities are pinned
// like any value out of range. Volumes are thousandths here; records carry
// 0 to 1.
TEST_F(SoundCommandsTest, NaNAndInfiniteRealsBecomeVolumesAndTimesInRange) {
    using testscript::E;
    using testscript::I;
    using testscript::R;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        double value;
        int32 volume;
        int64 time;
    } cases[] = {
        {"NaN", std::numeric_limits<double>::quiet_NaN(), 0, 0},
        {"+infinity", kInf, 1000, std::numeric_limits<int64>::max()},
        {"-infinity", -kInf, 0, std::numeric_limits<int64>::min()},
        {"in range", 0.25, 250, 0},
    };
    Post("SoundGroup(No=4, SoundNoStart=10, SoundNoLast=19)");
    classScriptContext context;
    classScriptValue result;
    for (const Case& c : cases) {
        CommandSound(context, {I(10), E(), R(c.value)}, 3, result);
        CommandSoundVolume(context, {I(10), R(c.value), R(c.value)}, 3, result);
        {
            classCriticalSectionLock hold(g_soundLock);
            app->soundManager->FindGroup(4)->SetVolume(500);
        }
        CommandSoundGroupVolume(context, {I(4), R(c.value)}, 2, result);
        auto records = GetMainQueue()->TakeRecords();
        ASSERT_EQ(Types(records), (Kinds{QueSoundCreate, QueSoundAlter, QueSoundVolume})) << c.name;
        auto* alter = As<classQue_SoundAlter>(records, 1);
        ASSERT_TRUE(alter->volume.IsSet()) << c.name;
        EXPECT_EQ(static_cast<int32>(alter->volume.Get() * 1000), c.volume) << c.name << ": Sound";
        auto* fade = As<classQue_SoundVolume>(records, 2);
        EXPECT_EQ(static_cast<int32>(fade->volume * 1000), c.volume) << c.name << ": SoundVolume";
        EXPECT_EQ(fade->fadeTime, c.time) << c.name << ": SoundVolume's time";
        classCriticalSectionLock hold(g_soundLock);
        EXPECT_EQ(app->soundManager->FindGroup(4)->GetVolume(), c.volume) << c.name << ": SoundGroupVolume";
    }
}

// The whole road: script line, record, commit, execution on the manager.
TEST_F(SoundCommandsTest, CommittedRecordsReachTheSoundManager) {
    struct Installed {
        classQueSoundService* before = GetQueSoundService();
        Installed() { SetQueSoundService(&GetSoundManagerService()); }
        ~Installed() { SetQueSoundService(before); }
    } installed;
    testexec::AddSource("road.qvs",
                        "Sound(Layer=20, Volume=0.25, Loop=-1, Stream=1, LoopFileNo=2) "
                        "Sound(Layer=21) SoundVolume(Layer=21, Time=400, Volume=0.5) Apply()");
    {
        testexec::ScriptRun run;
        run.Run("road.qvs");
    }
    EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 5);
    EXPECT_EQ(GetMainQueue()->GetRecordCount(), 5u);
    GetMainQueue()->Execute();
    EXPECT_EQ(GetMainQueue()->GetRecordCount(), 0u);
    classSoundManager* manager = app->soundManager;
    EXPECT_EQ(manager->LayerCount(), 2u);
    {
        classCriticalSectionLock hold(g_soundLock);
        classSoundLayer* layer = manager->FindLayer(20);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->GetVolume(), 250) << "0.25 of full";
        EXPECT_EQ(layer->GetLoop(), 1) << "-1 repeats";
        EXPECT_EQ(layer->GetStream(), 1);
        EXPECT_EQ(layer->GetLoopFileNo(), 2);
        classSoundLayer* faded = manager->FindLayer(21);
        ASSERT_NE(faded, nullptr);
        EXPECT_TRUE(faded->IsFading());
        EXPECT_EQ(faded->GetFadeTarget(), 500);
    }
}

}  // namespace
