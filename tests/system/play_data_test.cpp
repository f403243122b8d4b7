// Play-data files: paths, the header's bytes, validation before any change,
// the slot-0 and snapshot rules and atomic replacement.
#include "system/play_data.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/application.h"
#include "foundation/report_once.h"
#include "foundation/atomic_file.h"
#include "foundation/critical_section.h"
#include "script/already_read.h"
#include "script/script_compiler.h"
#include "script/script_context.h"
#include "support/scripted_dialogs.h"
#include "system/system_files.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/shared_resource.h"
#include "script/global_variables.h"
#include "script/script_host.h"
#include "script/script_value.h"
#include "support/le_bytes.h"
#include "support/presentation/fake_scene_services.h"
#include "support/temp_folder.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "system/history_store.h"

using testbytes::LeBytes;

namespace {

u64 At64(const std::vector<u8>& b, size_t at) {
    u64 v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b.at(at + i);
    return v;
}

const u8 kMagic[16] = {0, 'V', 'E', 'L', 'K', '2', 'D', 'A', 'T', 'A', 'F', 'I', 'L', 'E', ' ', ' '};
const u8 kGuid[16] = {0xF3, 0x78, 0xB5, 0xED, 0xDB, 0x43, 0x30, 0x49, 0xA3, 0x78, 0x84, 0x6D, 0x9A, 0x82, 0x2E, 0x3F};

// A header of zeros with the magic and the identity; sections patched in by the test.
LeBytes HandHeader() {
    LeBytes b;
    for (u8 c : kMagic) b.U8(c);
    for (u8 c : kGuid) b.U8(c);
    b.Zeros(1008 - 32);
    return b;
}

classScriptFrame RunnableFrame() {
    classScriptCompiler compiler("start.qvs");
    compiler.Compile("Dammy(1)");
    classScriptFrame frame;
    frame.scriptName = "start.qvs";
    frame.SetTables(compiler.TakeTables());
    return frame;
}

// A header and one frame record of a script with a statement left to run:
// the least a load takes.
LeBytes HandSlot() {
    LeBytes b = HandHeader();
    classMemoryStream frames;
    RunnableFrame().Serialize(frames);
    b.PatchU64(904, b.Size()).PatchU64(912, frames.Size());
    b.Append(std::vector<u8>(frames.Data(), frames.Data() + frames.Size()));
    return b;
}

std::string Rendered(classScriptValue value) {
    const std::string* text = value.AsString();
    return text != nullptr ? *text : std::string("(none)");
}

classScriptValue Text(const std::string& s) {
    classScriptValue v;
    v.SetString(s);
    return v;
}

class PlayDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->dataFolder = folder.Path().string() + "/";
        app->mainScene = classGraphicObject::New();
        context.frames.push_back(RunnableFrame());
        app->mainScriptContext = &context;
        g_nomalVariables.Clear();
        g_historyLog.Clear();
        g_autoSnapshotTaken.store(false);
        ForgetInterruptSnapshot();
    }
    void TearDown() override {
        SetFileFaultForTesting(FileFault::None);
        g_autoSnapshotTaken.store(false);
        g_nomalVariables.Clear();
        g_historyLog.Clear();
        classGraphicObject::Delete(app->mainScene);
        app->mainScene = nullptr;
        app->mainScriptContext = nullptr;
        ShutdownApplication();
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(folder / name); }

    FakeSceneServices services;
    classScriptContext context;
    testfiles::TempFolder folder;
    classApplication* app = nullptr;
};

TEST_F(PlayDataTest, SlotPathsHaveAtLeastFourDigits) {
    ForgetReportsForTesting();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MakePlayDataPath(0), folder / "save0000.dat");
    EXPECT_EQ(MakePlayDataPath(3), folder / "save0003.dat");
    EXPECT_EQ(MakePlayDataPath(9999), folder / "save9999.dat");
    const std::string silent = testing::internal::GetCapturedStderr();
    EXPECT_EQ(silent, "") << "0 to 9999 are the slots a game has";
    // Past them the file keeps its name, and the number is said.
    testing::internal::CaptureStderr();
    EXPECT_EQ(MakePlayDataPath(10000), folder / "save10000.dat");
    EXPECT_EQ(MakePlayDataPath(-1), folder / "save-0001.dat");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
              "velk2: the slot number 10000 is outside 0 to 9999; the slot is the file \"save10000.dat\"\n"
              "velk2: the slot number -1 is outside 0 to 9999; the slot is the file \"save-0001.dat\"\n");
    EXPECT_EQ(MakeDataFolderPath("save----.dat"), folder / "save----.dat");
}

TEST_F(PlayDataTest, HeaderAndSectionsFollowTheLayout) {
    app->textColor.store(0x112233);
    app->voiceStartedSinceKeyWait.store(1);
    app->lastVoiceLayer.store(5);
    app->backlogPageStarted.store(1);
    app->lastVoiceFile = "v01.ogg";
    g_historyLog.Replace({{"a", "b"}});
    g_nomalVariables.Set("IndexTitle", 0, Text("Chapter 1"));
    app->mainScriptContext = nullptr;

    std::vector<u8> b;
    BuildPlayData("", true, b);
    ASSERT_GE(b.size(), 1008u);
    EXPECT_EQ(std::vector<u8>(b.begin(), b.begin() + 16), std::vector<u8>(kMagic, kMagic + 16));
    EXPECT_EQ(std::vector<u8>(b.begin() + 16, b.begin() + 32), std::vector<u8>(kGuid, kGuid + 16));
    EXPECT_EQ(At64(b, 32), 0x112233u);
    EXPECT_EQ(b[40], 1);
    EXPECT_EQ(At64(b, 48), 5u);
    EXPECT_EQ(b[920], 1);
    for (size_t i = 72; i < 872; ++i) ASSERT_EQ(b[i], 0) << i;
    // Last voice "v01.ogg" and its zero at 1008.
    EXPECT_EQ(At64(b, 56), 1008u);
    EXPECT_EQ(At64(b, 64), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 1008)), "v01.ogg");
    // The scene: the bare root's record, 152 + 8 key + 1 text NUL + 208 for slot 0.
    EXPECT_EQ(At64(b, 872), 1016u);
    EXPECT_EQ(At64(b, 880), 369u);
    // No sound manager, no script context: both absent.
    EXPECT_EQ(At64(b, 888), 0u);
    EXPECT_EQ(At64(b, 896), 0u);
    EXPECT_EQ(At64(b, 904), 0u);
    EXPECT_EQ(At64(b, 912), 0u);
    // Backlog "a\0b\0\0" directly after the scene.
    EXPECT_EQ(At64(b, 928), 1385u);
    EXPECT_EQ(At64(b, 936), 5u);
    EXPECT_EQ(std::vector<u8>(b.begin() + 1385, b.begin() + 1390), (std::vector<u8>{'a', 0, 'b', 0, 0}));
    EXPECT_EQ(At64(b, 944), 1390u);
    const u64 indexAt = 1390 + At64(b, 952);
    EXPECT_EQ(At64(b, 960), indexAt);
    EXPECT_EQ(At64(b, 968), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + indexAt)), "Chapter 1");
    // No device, so no thumbnail; no save0000.dat, so no copy.
    EXPECT_EQ(At64(b, 976), 0u);
    EXPECT_EQ(At64(b, 992), 0u);
    EXPECT_EQ(b.size(), indexAt + 10);
}

TEST_F(PlayDataTest, SaveAndLoadRestoreTheStateAndSaveAgainIdentically) {
    app->textColor.store(0xABCDEF);
    app->lastVoiceFile = "voice\\a01.ogg";
    g_historyLog.Replace({{"line one", "!<voicea01.ogg"}, {"line two"}});
    g_nomalVariables.Set("score", 0, Text("12"));
    std::vector<int64> path{4, 1};
    classGraphicObject::CreateAtPath(app->mainScene, path)->SetFileTexture("cg.png");
    const std::string slot = MakePlayDataPath(5);
    ASSERT_TRUE(WritePlayData(slot));
    const std::vector<u8> first = folder.Get("save0005.dat");

    app->textColor.store(0);
    app->lastVoiceFile.clear();
    g_historyLog.Replace({{"other"}});
    g_nomalVariables.Clear();
    classGraphicObject::CreateAtPath(app->mainScene, std::vector<int64>{9});

    ASSERT_TRUE(LoadPlayData(slot));
    EXPECT_EQ(app->textColor.load(), 0xABCDEF);
    EXPECT_EQ(app->lastVoiceFile, "voice\\a01.ogg");
    EXPECT_EQ(g_historyLog.Snapshot(), (std::vector<classHistoryLog::Entry>{{"line one", "!<voicea01.ogg"}, {"line two"}}));
    classScriptValue score;
    EXPECT_TRUE(g_nomalVariables.TryGet("score", 0, score));
    EXPECT_EQ(classGraphicObject::FindByPath(app->mainScene, std::vector<int64>{9}), nullptr);
    EXPECT_NE(classGraphicObject::FindByPath(app->mainScene, path), nullptr);

    // The start-up thread's part of the load: the saved frames take over.
    ASSERT_TRUE(context.SwapInLoadedFrames());
    ASSERT_TRUE(WritePlayData(slot));
    EXPECT_EQ(folder.Get("save0005.dat"), first);
}

TEST_F(PlayDataTest, InvalidFilesAreRefusedBeforeAnythingChanges) {
    folder.Put("save0000.dat", std::vector<u8>{1, 2, 3});
    g_historyLog.Replace({{"kept"}});
    app->textColor.store(77);
    std::vector<u8> shortFile = HandHeader();
    shortFile.pop_back();  // 1007 bytes
    std::vector<u8> foreign = HandHeader();
    foreign[1] = 'X';
    std::vector<u8> otherGame = HandHeader();
    otherGame[31] ^= 1;
    folder.Put("save0001.dat", shortFile);
    folder.Put("save0002.dat", foreign);
    folder.Put("save0003.dat", otherGame);
    for (int64 slot : {1, 2, 3, 4}) {
        EXPECT_FALSE(IsPlayDataFileValid(MakePlayDataPath(slot))) << slot;
        EXPECT_FALSE(LoadPlayData(MakePlayDataPath(slot))) << slot;
        std::string index = "x";
        EXPECT_FALSE(ReadPlayDataIndex(MakePlayDataPath(slot), index));
        EXPECT_TRUE(index.empty());
        std::vector<u8> thumbnail;
        EXPECT_FALSE(ReadPlayDataThumbnail(MakePlayDataPath(slot), thumbnail));
    }
    EXPECT_EQ(folder.Get("save0000.dat"), (std::vector<u8>{1, 2, 3}));
    EXPECT_EQ(g_historyLog.Snapshot(), (std::vector<classHistoryLog::Entry>{{"kept"}}));
    EXPECT_EQ(app->textColor.load(), 77);
}

TEST_F(PlayDataTest, SlotZeroTravelsInsideEverySaveButItsOwn) {
    const std::vector<u8> zero = HandSlot();
    folder.Put("save0000.dat", zero);
    ASSERT_TRUE(WritePlayData(MakePlayDataPath(5)));
    std::vector<u8> five = folder.Get("save0005.dat");
    const u64 at = At64(five, 992);
    ASSERT_EQ(At64(five, 1000), zero.size());
    EXPECT_EQ(std::vector<u8>(five.begin() + static_cast<long>(at), five.end()), zero);

    // Slot 0's own save embeds nothing, so it does not grow save by save.
    ASSERT_TRUE(WritePlayData(MakePlayDataPath(0)));
    std::vector<u8> own = folder.Get("save0000.dat");
    EXPECT_EQ(At64(own, 992), 0u);
    EXPECT_EQ(At64(own, 1000), 0u);

    // Loading slot 5 puts its copy back byte for byte.
    ASSERT_TRUE(LoadPlayData(MakePlayDataPath(5)));
    EXPECT_EQ(folder.Get("save0000.dat"), zero);
}

TEST_F(PlayDataTest, ALoadPutsBackTheSlotZeroCopyItCarriesOrDeletesSlotZero) {
    // A slot with a variables section and, after it, a copy of slot 0.
    auto carrying = [](const std::vector<u8>& copy) {
        LeBytes file = HandSlot();
        const u64 variablesAt = file.Size();
        classScriptVariableList list;
        list.FindOrAdd("n", 0)->SetInteger(1);
        std::vector<u8> variables;
        WriteVariableList(list, variables);
        file.Append(variables).Append(copy);
        file.PatchU64(944, variablesAt).PatchU64(952, variables.size());
        file.PatchU64(992, variablesAt + variables.size()).PatchU64(1000, copy.size());
        return file.Bytes();
    };
    LeBytes other = HandSlot();
    other.PatchU64(32, 5);  // another text colour: another quick save
    const std::vector<u8> copy = other.Bytes();
    const std::vector<u8> withCopy = carrying(copy);
    struct Case {
        const char* name;
        int64 slot;
        std::vector<u8> file;
        bool zeroKept;
        std::vector<u8> zeroAfter;  // when kept
    } cases[] = {
        {"another slot without a copy", 5, HandSlot(), false, {}},
        // Slot 0 is the state just loaded; nothing it carries replaces it.
        {"slot 0 itself without a copy", 0, HandSlot(), true, HandSlot()},
        {"slot 0 itself carrying an old copy", 0, withCopy, true, withCopy},
        {"a copy after the variables", 6, withCopy, true, copy},
    };
    for (const Case& c : cases) {
        if (c.slot != 0) folder.Put("save0000.dat", std::vector<u8>{9});
        folder.Put(std::filesystem::path(MakePlayDataPath(c.slot)).filename().string(), c.file);
        ASSERT_TRUE(LoadPlayData(MakePlayDataPath(c.slot))) << c.name;
        EXPECT_EQ(Exists("save0000.dat"), c.zeroKept) << c.name;
        if (c.zeroKept) {
            EXPECT_EQ(folder.Get("save0000.dat"), c.zeroAfter) << c.name;
        }
    }
}

TEST_F(PlayDataTest, EveryFileThatCannotBeWrittenShowsTheBoxAndKeepsItsOldBytes) {
    classAlreadyReadList marks;
    u8* first = nullptr;
    ASSERT_TRUE(marks.Register("start.qvs", 2, &first));
    struct Case {
        const char* name;
        const char* file;
        std::function<bool()> write;
    };
    const Case cases[] = {
        // The render thread's writes are boxed by the script thread after the frame.
        {"a slot", "save0002.dat", [] { return WritePlayData(MakePlayDataPath(2)) || ReportFailedPlayDataWrites(); }},
        {"a slot inside an interrupt",
         "save0007.dat",
         [] {
             g_autoSnapshotTaken.store(true);
             const bool written = WritePlayData(MakePlayDataPath(7));
             g_autoSnapshotTaken.store(false);
             return written || ReportFailedPlayDataWrites();
         }},
        {"the interrupt snapshot", "save----.dat",
         [] { return WritePlayData(MakeDataFolderPath("save----.dat")) || ReportFailedPlayDataWrites(); }},
        {"the settings", "System.dat", [] { return WriteSystemData(); }},
        {"the already-read marks", "Already.dat", [&marks] { return WriteAlreadyData(marks); }},
    };
    KeepInterruptSnapshot(HandHeader().Bytes());
    for (const Case& c : cases) {
        ForgetWriteFailuresForTesting();
        const std::vector<u8> old = {'o', 'l', 'd', static_cast<u8>(c.file[4])};
        folder.Put(c.file, old);
        testdialogs::ScriptedDialogs dialogs;
        SetFileFaultForTesting(FileFault::DiskFull);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(c.write()) << c.name;
        testing::internal::GetCapturedStderr();
        SetFileFaultForTesting(FileFault::None);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.boxes[0].caption, "WriteFile Access Error") << c.name;
        EXPECT_NE(dialogs.boxes[0].text.find(folder / c.file), std::string::npos) << c.name;
        EXPECT_EQ(folder.Get(c.file), old) << c.name;
    }
}

// The render thread holds the application lock for the whole frame, and the
// box is drawn by the UI thread, which takes that lock for its input
// targets: the box of a failed save waits for a thread that holds no lock.
TEST_F(PlayDataTest, AFailedSaveIsBoxedLaterAndRetryWritesTheStateItHadThen) {
    struct Case {
        const char* name;
        std::vector<platform::DialogAnswer> answers;
        bool healOnShow;
        bool reportedWritten;
        const char* title;  // of the slot after the report
    };
    using A = platform::DialogAnswer;
    const Case cases[] = {
        {"Cancel keeps the old slot", {A::Cancel}, false, false, "before"},
        {"Retry with room again writes the failed save", {A::Retry}, true, true, "at the save"},
    };
    for (const Case& c : cases) {
        ForgetWriteFailuresForTesting();
        g_nomalVariables.Set("IndexTitle", 0, Text("before"));
        ASSERT_TRUE(WritePlayData(MakePlayDataPath(2)));
        testdialogs::ScriptedDialogs dialogs;
        dialogs.answers = c.answers;
        if (c.healOnShow) dialogs.onShow = [](size_t) { SetFileFaultForTesting(FileFault::None); };

        g_nomalVariables.Set("IndexTitle", 0, Text("at the save"));
        SetFileFaultForTesting(FileFault::DiskFull);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(WritePlayData(MakePlayDataPath(2))) << c.name;
        EXPECT_TRUE(dialogs.boxes.empty()) << c.name << ": no box on the render thread";
        g_nomalVariables.Set("IndexTitle", 0, Text("after the save"));
        EXPECT_EQ(ReportFailedPlayDataWrites(), c.reportedWritten) << c.name;
        EXPECT_TRUE(ReportFailedPlayDataWrites()) << c.name << ": each failure is reported once";
        testing::internal::GetCapturedStderr();
        SetFileFaultForTesting(FileFault::None);

        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.boxes[0].caption, "WriteFile Access Error") << c.name;
        std::string index;
        EXPECT_TRUE(ReadPlayDataIndex(MakePlayDataPath(2), index)) << c.name;
        EXPECT_EQ(index, c.title) << c.name;
    }
}

TEST_F(PlayDataTest, SoundLayersAreStagedInMemoryNotInTheSharedFolder) {
    app->soundManager = classSoundManager::Create();
    {
        classCriticalSectionLock hold(g_soundLock);
        app->soundManager->GetOrCreateLayer(20);
        app->soundManager->GetOrCreateLayer(21);
    }
    // What another copy of the game, saving at the same moment, might have
    // staged under a fixed name.
    folder.Put("save-layers.tmp", std::string("another copy's"));
    const bool written = WritePlayData(MakePlayDataPath(3));
    const std::vector<u8> saved = folder.Get("save0003.dat");
    app->soundManager->DeleteAllLayers();
    const bool loaded = LoadPlayData(MakePlayDataPath(3));
    const std::size_t layers = app->soundManager->LayerCount();
    classSoundManager::Destroy(app->soundManager);
    app->soundManager = nullptr;

    ASSERT_TRUE(written);
    EXPECT_EQ(At64(saved, 896), 2u);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(layers, 2u);
    EXPECT_EQ(folder.GetText("save-layers.tmp"), "another copy's");
    auto names = folder.List();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"save-layers.tmp", "save0003.dat"}));
}

TEST_F(PlayDataTest, TheSoundSectionIsKeptWhenNoFileCanBeOpened) {
    app->soundManager = classSoundManager::Create();
    app->soundManager->GetOrCreateLayer(20)->SetFiles("bgm.ogg");
    g_nomalVariables.Set("IndexTitle", 0, Text("x"));  // or the first save would make it
    std::vector<u8> usual, starved;
    BuildPlayData("", false, usual);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;  // every descriptor the process has is taken
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    const int probe = ::dup(2);
    BuildPlayData("", false, starved);
    ::setrlimit(RLIMIT_NOFILE, &old);
    classSoundManager::Destroy(app->soundManager);
    app->soundManager = nullptr;

    ASSERT_LT(probe, 0) << "the limit did not hold";
    EXPECT_EQ(At64(usual, 896), 1u) << "one sound record";
    EXPECT_EQ(starved, usual);
}

TEST_F(PlayDataTest, InsideAnInterruptTheSnapshotIsCopied) {
    // A snapshot with a variables byte, an index, a thumbnail and a copy of slot 0.
    LeBytes snapshot = HandHeader();
    snapshot.U8(42).Text("old").Z().Text("BMP").Z().Text("zero").Z();
    snapshot.PatchU64(944, 1008).PatchU64(952, 1);
    snapshot.PatchU64(960, 1009).PatchU64(968, 4);
    snapshot.PatchU64(976, 1013).PatchU64(984, 4);
    snapshot.PatchU64(992, 1017).PatchU64(1000, 5);
    auto expected = [&snapshot](const std::string& index, bool withCopy) {
        LeBytes file = HandHeader();
        file.U8(42).Text(index).Z().Text("BMP").Z();
        file.PatchU64(944, 1008).PatchU64(952, 1);
        file.PatchU64(960, 1009).PatchU64(968, index.size() + 1);
        file.PatchU64(976, 1010 + index.size()).PatchU64(984, 4);
        if (withCopy) {
            file.Text("zero").Z();
            file.PatchU64(992, 1014 + index.size()).PatchU64(1000, 5);
        }
        return file.Bytes();
    };
    struct Case {
        const char* name;
        int64 slot;
        const char* index;
        std::vector<u8> written;
    } cases[] = {
        {"another slot, no index given", 7, "", snapshot.Bytes()},
        {"another slot, an index given", 7, "Chapter 9", expected("Chapter 9", true)},
        // Slot 0 holding the previous slot 0 would nest them save by save.
        {"slot 0 leaves the copy out", 0, "", expected("old", false)},
        {"slot 0 with an index", 0, "Quick", expected("Quick", false)},
    };
    KeepInterruptSnapshot(snapshot.Bytes());
    g_autoSnapshotTaken.store(true);
    for (const Case& c : cases) {
        ASSERT_TRUE(WritePlayData(MakePlayDataPath(c.slot), c.index)) << c.name;
        EXPECT_EQ(folder.Get(std::filesystem::path(MakePlayDataPath(c.slot)).filename().string()), c.written)
            << c.name;
    }
}

// Another copy of the game on the same folder writes "save----.dat" too: a
// save inside an interrupt stores this process's game or fails, never theirs.
TEST_F(PlayDataTest, InsideAnInterruptOnlyTheSnapshotThisProcessTookIsCopied) {
    LeBytes theirs = HandHeader();
    theirs.Text("theirs").Z();
    theirs.PatchU64(960, 1008).PatchU64(968, 7);
    struct Case {
        const char* name;
        bool tookOne;
        bool written;
        const char* index;
    } cases[] = {
        {"this process took one", true, true, "ours"},
        {"this process took none", false, false, ""},
    };
    for (const Case& c : cases) {
        ForgetInterruptSnapshot();
        ::unlink(MakePlayDataPath(3).c_str());
        if (c.tookOne) {
            g_nomalVariables.Set("IndexTitle", 0, Text("ours"));
            ASSERT_TRUE(WritePlayData(MakeDataFolderPath("save----.dat"))) << c.name;
        }
        folder.Put("save----.dat", theirs);
        g_autoSnapshotTaken.store(true);
        g_nomalVariables.Set("IndexTitle", 0, Text("after the snapshot"));
        testdialogs::ScriptedDialogs dialogs;
        testing::internal::CaptureStderr();
        const bool written = WritePlayData(MakePlayDataPath(3)) || ReportFailedPlayDataWrites();
        testing::internal::GetCapturedStderr();
        g_autoSnapshotTaken.store(false);
        EXPECT_EQ(written, c.written) << c.name;
        std::string index;
        EXPECT_EQ(ReadPlayDataIndex(MakePlayDataPath(3), index), c.written) << c.name;
        EXPECT_EQ(index, c.index) << c.name;
    }
}

TEST_F(PlayDataTest, TheSavesIndexTextStandsForTheIndexTitleWhenGiven) {
    struct Case {
        const char* name;
        const char* indexText;
        const char* indexTitle;
        const char* written;
    };
    const Case cases[] = {
        {"an index given", "Chapter 2", "Chapter 1", "Chapter 2"},
        {"no index given", "", "Chapter 1", "Chapter 1"},
        {"an index and no title", "Epilogue", "", "Epilogue"},
        {"neither", "", "", ""},
    };
    for (const Case& c : cases) {
        g_nomalVariables.Set("IndexTitle", 0, Text(c.indexTitle));
        ASSERT_TRUE(WritePlayData(MakePlayDataPath(4), c.indexText)) << c.name;
        std::string index = "stale";
        EXPECT_TRUE(ReadPlayDataIndex(MakePlayDataPath(4), index)) << c.name;
        EXPECT_EQ(index, c.written) << c.name;
    }
}

TEST_F(PlayDataTest, IndexAndThumbnailReadersStayInsideTheFile) {
    ASSERT_TRUE(WritePlayData(MakePlayDataPath(1)));
    std::vector<u8> saved = folder.Get("save0001.dat");
    EXPECT_EQ(At64(saved, 960), 0u);  // empty "IndexTitle": no index section
    classScriptValue title;
    EXPECT_TRUE(g_nomalVariables.TryGet("IndexTitle", 0, title));  // made by the save
    std::string index = "stale";
    EXPECT_TRUE(ReadPlayDataIndex(MakePlayDataPath(1), index));
    EXPECT_TRUE(index.empty());

    // A file of an index "Title" and a 6-byte thumbnail, then damaged: the
    // readers hand out nothing of a slot whose texts or layout are not whole.
    auto file = [](std::size_t at, u64 value, std::size_t width) {
        LeBytes b = HandHeader();
        b.Text("Title").Z().Text("BMDATA");
        b.PatchU64(960, 1008).PatchU64(968, 6).PatchU64(976, 1014).PatchU64(984, 6);
        if (width == 8) b.PatchU64(at, value);
        std::vector<u8> bytes = b.Bytes();
        if (width == 1) bytes.at(at) = static_cast<u8>(value);
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool readable;
    } cases[] = {
        {"whole", file(0, 0, 0), true},
        {"the index without its zero", file(1013, 'x', 1), false},
        {"a zero inside the index", file(1010, 0, 1), false},
        {"the thumbnail reaching past the end", file(984, 20, 8), false},
        {"the thumbnail stopping short of the end", file(984, 5, 8), false},
        {"the thumbnail over the index", file(976, 1008, 8), false},
        {"a gap before the index", file(960, 1009, 8), false},
        {"sound records of no bytes before the index",
         [&file] { return LeBytes().Append(file(888, 1008, 8)).PatchU64(896, 1).Bytes(); }(), false},
    };
    for (const Case& c : cases) {
        folder.Put("save0008.dat", c.bytes);
        index = "stale";
        EXPECT_EQ(ReadPlayDataIndex(MakePlayDataPath(8), index), c.readable) << c.name;
        EXPECT_EQ(index, c.readable ? "Title" : "") << c.name;
        std::vector<u8> thumbnail;
        EXPECT_EQ(ReadPlayDataThumbnail(MakePlayDataPath(8), thumbnail), c.readable) << c.name;
        EXPECT_EQ(std::string(thumbnail.begin(), thumbnail.end()), c.readable ? "BMDATA" : "") << c.name;
    }
}

TEST_F(PlayDataTest, ADamagedSlotIsRefusedWholeAndChangesNothing) {
    // A real save with every section, then the same file cut short as a full
    // disk or a killed copy leaves it, or with one section zeroed in place.
    g_historyLog.Replace({{"saved line"}});
    g_nomalVariables.Set("Flag", 0, Text("saved"));
    g_nomalVariables.Set("IndexTitle", 0, Text("saved"));
    app->lastVoiceFile = "saved.ogg";
    app->soundManager = classSoundManager::Create();
    app->soundManager->GetOrCreateLayer(20)->SetFiles("bgm.ogg");
    ASSERT_TRUE(WritePlayData(MakePlayDataPath(0)));
    ASSERT_TRUE(WritePlayData(MakePlayDataPath(1)));
    const std::vector<u8> whole = folder.Get("save0001.dat");
    ASSERT_GT(whole.size(), 1008u);
    ASSERT_TRUE(IsPlayDataFileValid(MakePlayDataPath(1))) << "the undamaged save loads";
    // One byte of the file changed, at an offset from a section's start.
    auto changed = [&whole](u64 at, u8 value) {
        std::vector<u8> file = whole;
        file.at(at) = value;
        return file;
    };
    const u64 frame = At64(whole, 904);
    const u64 image = frame + whole.at(frame + 16);
    const u64 copy = At64(whole, 992);
    const u64 copyFrame = copy + At64(whole, copy + 904);
    auto zeroed = [&whole](std::size_t field, u64 end) {
        std::vector<u8> file = whole;
        const u64 at = At64(whole, field);
        EXPECT_NE(at, 0u) << field;
        std::fill(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(end), 0);
        return file;
    };
    auto sectionEnd = [&whole](std::size_t field) { return At64(whole, field) + At64(whole, field + 8); };
    // The last byte of a section of the file at `base`: the zero that ends it.
    auto lastByte = [&whole](u64 base, std::size_t field) {
        return base + At64(whole, base + field) + At64(whole, base + field + 8) - 1;
    };
    auto resized = [&whole](std::size_t field, u64 size) {
        LeBytes file;
        file.Append(whole);
        return file.PatchU64(field + 8, size).Bytes();
    };
    // A frames section of one frame, followed by `tail`.
    auto framesThen = [](u64 pc, const std::vector<u8>& tail) {
        LeBytes file = HandHeader();
        classScriptFrame frame = RunnableFrame();
        frame.pc = static_cast<int32>(pc);
        classMemoryStream frames;
        frame.Serialize(frames);
        file.PatchU64(904, 1008).PatchU64(912, frames.Size() + tail.size());
        file.Append(std::vector<u8>(frames.Data(), frames.Data() + frames.Size())).Append(tail);
        return file.Bytes();
    };

    // Sections: a file of header + 16 bytes; each case breaks one field.
    auto patched = [](std::size_t field, u64 value) {
        LeBytes file = HandHeader();
        file.Zeros(16);
        file.PatchU64(field, value);
        return file.Bytes();
    };
    auto placed = [](std::size_t field, u64 offset, u64 size) {
        LeBytes file = HandHeader();
        file.Zeros(16);
        file.PatchU64(field, offset).PatchU64(field + 8, size);
        return file.Bytes();
    };
    struct Case {
        const char* name;
        std::vector<u8> bytes;
    };
    const Case cases[] = {
        {"a save cut to its header", std::vector<u8>(whole.begin(), whole.begin() + 1008)},
        {"frames zeroed", zeroed(904, sectionEnd(904))},
        {"scene zeroed", zeroed(872, sectionEnd(872))},
        {"sound records zeroed", zeroed(888, At64(whole, 904))},
        {"slot-0 copy zeroed", zeroed(992, sectionEnd(992))},
        // Damage inside a section's bounds, which the header cannot show.
        {"variables zeroed", zeroed(944, sectionEnd(944))},
        {"a variable's name running into its value", changed(At64(whole, 944) + 12, 0x40)},
        {"a frame's image tables moved", changed(image + 12, 0x31)},
        {"a frame's image without its magic", changed(image, 'X')},
        {"a frame's pc past its statements", changed(frame + 24, 0x7F)},
        {"a frame's next pc negative", changed(frame + 31, 0x80)},
        {"a frame's name without its end", changed(frame + 56 + whole.at(frame + 12) - 1, 'x')},
        {"the slot-0 copy's frame record resized", changed(copyFrame, 0x20)},
        {"the slot-0 copy's frame pc past its statements", changed(copyFrame + 24, 0x7F)},
        {"the backlog without its closing zero", changed(lastByte(0, 928), 'x')},
        {"the backlog reaching into the variables", resized(928, At64(whole, 936) + 1)},
        {"the backlog without its last zero", resized(928, At64(whole, 936) - 1)},
        {"the last voice without its zero", changed(lastByte(0, 56), 'x')},
        {"the index without its zero", changed(lastByte(0, 960), 'x')},
        {"the slot-0 copy's backlog without its closing zero", changed(lastByte(copy, 928), 'x')},
        {"the slot-0 copy's last voice without its zero", changed(lastByte(copy, 56), 'x')},
        {"the slot-0 copy's index without its zero", changed(lastByte(copy, 960), 'x')},
        {"a frame with nothing left to run", framesThen(1, {})},
        {"frames stopping before their section's end", framesThen(0, std::vector<u8>(60, 0))},
        {"a save missing its last byte", std::vector<u8>(whole.begin(), whole.end() - 1)},
        {"last voice reaching past the end", placed(56, 1020, 5)},
        {"scene starting past the end", placed(872, 5000, 10)},
        {"frames starting at the end", placed(904, 1024, 1)},
        {"backlog inside the header", placed(928, 1000, 8)},
        {"variables sized to wrap around", placed(944, 1010, ~u64{0} - 1000)},
        {"index with a size but no offset", placed(960, 0, 4)},
        {"thumbnail with an offset but no size", placed(976, 1010, 0)},
        {"sound records starting past the end", placed(888, 2000, 1)},
        {"sound records counted without an offset", patched(896, 3)},
        {"slot-0 copy reaching past the end", placed(992, 1020, 5)},
        {"slot-0 copy inside the variables",
         [] {
             LeBytes file = HandHeader();
             file.Zeros(16);
             file.PatchU64(944, 1008).PatchU64(952, 8).PatchU64(992, 1012).PatchU64(1000, 4);
             return file.Bytes();
         }()},
    };
    std::vector<int64> path{3};
    for (const Case& c : cases) {
        folder.Put("save0000.dat", std::vector<u8>{7, 7});
        folder.Put("save0004.dat", c.bytes);
        classGraphicObject::CreateAtPath(app->mainScene, path);
        g_historyLog.Replace({{"current line"}});
        g_nomalVariables.Clear();
        g_nomalVariables.Set("Flag", 0, Text("current"));
        app->textColor.store(77);
        app->lastVoiceFile = "current.ogg";

        EXPECT_FALSE(IsPlayDataFileValid(MakePlayDataPath(4))) << c.name;
        EXPECT_FALSE(LoadPlayData(MakePlayDataPath(4))) << c.name;
        EXPECT_EQ(folder.Get("save0000.dat"), (std::vector<u8>{7, 7})) << c.name;
        EXPECT_NE(classGraphicObject::FindByPath(app->mainScene, path), nullptr) << c.name;
        EXPECT_EQ(g_historyLog.Snapshot(), (std::vector<classHistoryLog::Entry>{{"current line"}})) << c.name;
        EXPECT_EQ(Rendered(g_nomalVariables.Get("Flag", 0)), "current") << c.name;
        EXPECT_EQ(app->textColor.load(), 77) << c.name;
        EXPECT_EQ(app->lastVoiceFile, "current.ogg") << c.name;
        EXPECT_TRUE(context.loadedFrames.empty()) << c.name;
        EXPECT_EQ(context.frames.front().pc, 0) << c.name << ": the running frame is not ended";
        EXPECT_NE(app->soundManager->FindLayer(20), nullptr) << c.name;
    }
    classSoundManager::Destroy(app->soundManager);
    app->soundManager = nullptr;
}

TEST_F(PlayDataTest, ALoadWithoutVariablesClearsTheNomalVariables) {
    folder.Put("save0005.dat", HandSlot());
    g_nomalVariables.Set("Stale", 0, Text("from before"));
    ASSERT_TRUE(LoadPlayData(MakePlayDataPath(5)));
    classScriptValue value;
    EXPECT_FALSE(g_nomalVariables.TryGet("Stale", 0, value));
    EXPECT_EQ(g_nomalVariables.Size(), 0u);
}

}  // namespace

namespace {

TEST_F(PlayDataTest, ASaveMakesAShownThumbnailReadItsFileAgain) {
    const std::string slot = MakePlayDataPath(4);
    classSharedResource* shown = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, slot, 0, 0);
    ASSERT_NE(shown, nullptr);
    shown->realised = -1;  // gave up earlier: the slot had no file then
    ASSERT_TRUE(WritePlayData(slot));
    EXPECT_EQ(shown->realised, 0);
    g_sharedResources.Release(shown);
}

}  // namespace
