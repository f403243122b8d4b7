// "System.dat" and "Already.dat": files laid out by hand from their documented
// layouts, read back into the variable store and the already-read list, and
// the writers' bytes checked field by field.
#include "system/system_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/application.h"
#include "foundation/atomic_file.h"
#include "script/already_read.h"
#include "script/global_variables.h"
#include "support/fake_window.h"
#include "support/le_bytes.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

using testbytes::LeBytes;

const u8 kGuid[16] = {0xF3, 0x78, 0xB5, 0xED, 0xDB, 0x43, 0x30, 0x49,
                      0xA3, 0x78, 0x84, 0x6D, 0x9A, 0x82, 0x2E, 0x3F};

LeBytes& Guid(LeBytes& b) {
    for (u8 v : kGuid) b.U8(v);
    return b;
}

// A value record of a plain integer: 48 bytes, no text, no children.
LeBytes IntegerRecord(int64 v) {
    LeBytes b;
    b.U64(48).I64(2).I64(v).F64(0.0).U32(0).U32(0).U32(0).U32(0);
    return b;
}

// One variable-list entry: header, name and NUL, value record.
LeBytes VariableEntry(std::string_view name, int64 index, int64 value) {
    const LeBytes record = IntegerRecord(value);
    LeBytes b;
    b.U64(32 + name.size() + 1 + record.Size()).U32(32).U32(static_cast<u32>(name.size() + 1)).I64(index);
    b.U32(static_cast<u32>(32 + name.size() + 1)).U32(static_cast<u32>(record.Size()));
    b.Text(name).Z().Append(record);
    return b;
}

// The 1688-byte header with the block fields given.
LeBytes SystemHeader(u64 blockOffset, u64 blockSize) {
    LeBytes b;
    b.U8(0).Text("VELK2SYSTEMFILE");
    Guid(b);
    b.Zeros(1672 - 32).U64(blockOffset).U64(blockSize);
    return b;
}

classScriptValue Int(int64 v) {
    classScriptValue value;
    value.SetInteger(v);
    return value;
}

std::string Global(const std::string& name, int64 index = 0) {
    classScriptValue value;
    if (!g_globalVariables.TryGet(name, index, value)) return "absent";
    const int64* integer = value.AsInteger();
    return integer != nullptr ? std::to_string(*integer) : "not an integer";
}

u64 At64(const std::vector<u8>& bytes, size_t at) {
    u64 v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | bytes.at(at + i);
    return v;
}

class SystemDataTest : public ::testing::Test {
  protected:
    void SetUp() override { g_globalVariables.Clear(); }
    void TearDown() override {
        g_globalVariables.Clear();
        if (GetApplication() != nullptr) ShutdownApplication();
    }
    testfiles::TempFolder folder;
};

TEST_F(SystemDataTest, ReadingAddsAndOverwritesByNameAndLeavesTheRest) {
    LeBytes block;
    block.Append(VariableEntry("System.TextSpeed", 0, 40)).Append(VariableEntry("flag", 3, 7));
    LeBytes file = SystemHeader(1688, block.Size());
    file.Append(block);
    g_globalVariables.Set("System.TextSpeed", 0, Int(100));
    g_globalVariables.Set("untouched", 0, Int(5));

    ASSERT_TRUE(ParseSystemData(file.Bytes().data(), file.Size()));
    EXPECT_EQ(Global("System.TextSpeed"), "40");
    EXPECT_EQ(Global("flag", 3), "7");
    EXPECT_EQ(Global("untouched"), "5") << "a variable the file does not name keeps its value";
}

TEST_F(SystemDataTest, OnlyAWholeFileOfThisGameIsRead) {
    // A header and a block of two entries, "a" = 11 and "b" = 22; read in
    // part, a damaged file would lose "b" at the next write.
    LeBytes block;
    block.Append(VariableEntry("a", 0, 11)).Append(VariableEntry("b", 0, 22));
    auto file = [&block](u64 blockOffset, u64 blockSize, std::size_t patchAt = 0, u32 patch = 0) {
        LeBytes b = SystemHeader(blockOffset, blockSize);
        b.Append(block);
        if (patchAt != 0) b.PatchU32(patchAt, patch);
        return b.Bytes();
    };
    const u64 size = block.Size();
    std::vector<u8> cut = file(1688, size);
    cut.resize(1687);
    std::vector<u8> cutInBlock = file(1688, size);
    cutInBlock.resize(cutInBlock.size() - 10);
    std::vector<u8> byteAfter = file(1688, size);
    byteAfter.push_back(0);
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool valid;
        const char* b;
    } cases[] = {
        {"whole", file(1688, size), true, "22"},
        {"no block", SystemHeader(0, 0).Bytes(), true, "absent"},
        {"one byte short of the header", cut, false, "absent"},
        {"another magic", file(1688, size, 1, 0x4B4C4576), false, "absent"},  // "vELK"
        {"another game", file(1688, size, 16, 0), false, "absent"},
        {"a block claiming far more than there is", file(1688, u64{1} << 40), false, "absent"},
        {"a block past the end", file(5000, 10), false, "absent"},
        {"entries behind a header without a block", file(0, 0), false, "absent"},
        {"one bit of the block's offset", file(1689, size), false, "absent"},
        {"the block one byte short of the file's end", file(1688, size - 1), false, "absent"},
        {"a byte after the block", byteAfter, false, "absent"},
        {"cut inside the last entry", cutInBlock, false, "absent"},
        {"the first entry's size one bit larger", file(1688, size, 1688, 82 ^ 8), false, "absent"},
    };
    for (const Case& c : cases) {
        g_globalVariables.Clear();
        EXPECT_EQ(ParseSystemData(c.bytes.data(), c.bytes.size()), c.valid) << c.name;
        EXPECT_EQ(Global("a"), c.valid && c.b != std::string("absent") ? "11" : "absent") << c.name;
        EXPECT_EQ(Global("b"), c.b) << c.name;
    }
}

TEST_F(SystemDataTest, WrittenHeaderHoldsTheSettingsAndTheVariablesFollowIt) {
    ASSERT_TRUE(InitApplication());
    classApplication* app = GetApplication();
    app->textSpeed = 37;
    app->keyWaitAfterVoiceStop = 5;  // any non-zero value is stored as 1
    app->transitionCut = 0;
    app->skipAlreadyOnly = 1;
    app->parameterSkipType = -2;
    g_globalVariables.Set("x", 2, Int(9));

    std::vector<u8> bytes;
    BuildSystemData(bytes);
    ASSERT_GE(bytes.size(), 1688u);
    const u8 magic[16] = {0, 'V', 'E', 'L', 'K', '2', 'S', 'Y', 'S', 'T', 'E', 'M', 'F', 'I', 'L', 'E'};
    EXPECT_TRUE(std::equal(magic, magic + 16, bytes.begin()));
    EXPECT_TRUE(std::equal(kGuid, kGuid + 16, bytes.begin() + 16));
    EXPECT_EQ(At64(bytes, 32), 37u);
    EXPECT_EQ(At64(bytes, 40), 1u);
    EXPECT_EQ(At64(bytes, 48), 0u);
    EXPECT_EQ(At64(bytes, 56), 1u);
    EXPECT_EQ(At64(bytes, 64), static_cast<u64>(-2));
    for (size_t i = 72; i < 1672; ++i) ASSERT_EQ(bytes[i], 0) << "reserved byte " << i;
    EXPECT_EQ(At64(bytes, 1672), 1688u);
    // "x"[2] = 9 first, then the screen mode the writer adds: 82 + 98 bytes.
    LeBytes expected;
    expected.Append(VariableEntry("x", 2, 9)).Append(VariableEntry("System.FullScreen", 0, 0));
    EXPECT_EQ(At64(bytes, 1680), expected.Size());
    EXPECT_EQ(std::vector<u8>(bytes.begin() + 1688, bytes.end()), expected.Bytes());
}

TEST_F(SystemDataTest, AWriteAlwaysCarriesTheScreenModeAndRoundTrips) {
    const std::string path = folder / "System.dat";
    ASSERT_TRUE(WriteSystemDataFile(path));
    const std::vector<u8> bytes = folder.Get("System.dat");
    ASSERT_GT(bytes.size(), 1688u) << "the block is never absent";
    EXPECT_EQ(At64(bytes, 1672), 1688u);

    g_globalVariables.Set("System.FullScreen", 0, Int(42));
    ASSERT_TRUE(ReadSystemDataFile(path));
    EXPECT_EQ(Global("System.FullScreen"), "0");
    EXPECT_FALSE(ReadSystemDataFile(folder / "missing.dat"));
}

TEST_F(SystemDataTest, TheScreenModeKeptIsTheOneAskedForEvenBeforeItIsCarriedOut) {
    struct Case {
        const char* name;
        bool current;
        bool requested;
        const char* kept;
    };
    const Case cases[] = {
        {"windowed, full screen asked for", false, true, "1"},
        {"full screen, window asked for", true, false, "0"},
        {"full screen, settled", true, true, "1"},
        {"windowed, settled", false, false, "0"},
    };
    ASSERT_TRUE(InitApplication());
    for (const Case& c : cases) {
        fakes::FakeDevice device;
        device.RequestFullScreen(c.current);
        device.IsReady();  // the render thread carries the mode out
        device.RequestFullScreen(c.requested);
        ASSERT_EQ(device.IsFullScreen(), c.current) << c.name;
        GetApplication()->graphicDevice = &device;
        std::vector<u8> bytes;
        BuildSystemData(bytes);
        GetApplication()->graphicDevice = nullptr;
        EXPECT_EQ(Global("System.FullScreen"), c.kept) << c.name;
    }
}

// ---- "Already.dat" ----

struct AlreadyEntry {
    u32 nameOffset, nameLength, count, bytesOffset;
};

// Header, then the given body, then the table at the end.
LeBytes AlreadyFile(const LeBytes& body, const std::vector<AlreadyEntry>& entries) {
    LeBytes b;
    b.U8(0)
        .Text("QV2ALREADY")
        .U8(0)
        .U32(static_cast<u32>(entries.size()))
        .U32(static_cast<u32>(36 + body.Size()));
    Guid(b);
    b.Append(body);
    for (const AlreadyEntry& e : entries)
        b.U32(e.nameOffset).U32(e.nameLength).U32(e.count).U32(e.bytesOffset);
    return b;
}

std::vector<u8> Marks(classAlreadyReadList& list, const std::string& name, u32 count) {
    u8* first = nullptr;
    if (!list.Register(name, count, &first)) return {};
    return std::vector<u8>(first, first + count);
}

TEST(AlreadyData, EntriesFillBuffersAndTheLaterOfTwinEntriesWins) {
    LeBytes body;
    body.Text("a.qvs").Z().U8(1).U8(0).U8(1);  // name at 36, marks at 42
    body.Text("a.qvs").Z().U8(0).U8(1).U8(1);  // the twin: name at 45, marks at 51
    body.Text("b.qvs").Z().U8(1);              // name at 54, mark at 60
    const LeBytes file = AlreadyFile(body, {{36, 6, 3, 42}, {45, 6, 3, 51}, {54, 6, 1, 60}});
    classAlreadyReadList list;
    ASSERT_TRUE(ParseAlreadyData(list, file.Bytes().data(), file.Size()));
    EXPECT_EQ(list.Count(), 2u) << "the twin entry fills the same buffer";
    EXPECT_EQ(Marks(list, "a.qvs", 3), (std::vector<u8>{0, 1, 1}));
    EXPECT_EQ(Marks(list, "b.qvs", 1), (std::vector<u8>{1}));

    // A second read into a list that has buffers does nothing.
    const LeBytes other = AlreadyFile(LeBytes().Text("c.qvs").Z().U8(1), {{36, 6, 1, 42}});
    EXPECT_TRUE(ParseAlreadyData(list, other.Bytes().data(), other.Size()));
    EXPECT_EQ(list.Count(), 2u);
}

TEST(AlreadyData, InvalidHeadersAreRejected) {
    classAlreadyReadList list;
    LeBytes headerOnly;
    headerOnly.U8(0).Text("QV2ALREADY").U8(0).U32(0).U32(36);
    Guid(headerOnly);
    EXPECT_FALSE(ParseAlreadyData(list, headerOnly.Bytes().data(), headerOnly.Size()))
        << "36 bytes are too few";
    LeBytes badGuid = AlreadyFile(LeBytes().Text("a").Z().U8(1), {{36, 2, 1, 38}});
    badGuid.PatchU32(20, 0);
    EXPECT_FALSE(ParseAlreadyData(list, badGuid.Bytes().data(), badGuid.Size()));
    LeBytes badMagic = AlreadyFile(LeBytes().Text("a").Z().U8(1), {{36, 2, 1, 38}});
    badMagic.PatchU32(0, 0x32565200);  // "\0RV2"
    EXPECT_FALSE(ParseAlreadyData(list, badMagic.Bytes().data(), badMagic.Size()));
    EXPECT_EQ(list.Count(), 0u);
}

TEST(AlreadyData, ADamagedEntryOrTableLeavesTheWholeFileUnread) {
    // "ok" with two marks, then "b" with one; the table at 44, its entries at
    // 44 and 60. Read in part, the marks after a damaged entry would be lost.
    LeBytes body;
    body.Text("ok").Z().U8(1).U8(1).Text("b").Z().U8(1);
    const LeBytes good = AlreadyFile(body, {{36, 3, 2, 39}, {41, 2, 1, 43}});
    auto patched = [&good](std::size_t at, u32 value) {
        LeBytes b = good;
        return b.PatchU32(at, value).Bytes();
    };
    auto byte = [&good](std::size_t at, u8 value) {
        std::vector<u8> b = good.Bytes();
        b.at(at) = value;
        return b;
    };
    std::vector<u8> cut = good.Bytes();
    cut.resize(cut.size() - 6);
    std::vector<u8> longer = good.Bytes();
    longer.push_back(0);
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool read;
    } cases[] = {
        {"whole", good.Bytes(), true},
        {"no name offset", patched(44, 0), false},
        {"a name past the end", patched(44, 9000), false},
        {"a name one byte on", patched(44, 37), false},
        {"a name one byte longer", patched(48, 4), false},
        {"a name without its zero", byte(38, 'x'), false},
        {"a zero inside a name", byte(37, 0), false},
        {"no marks", patched(52, 0), false},
        {"one mark more", patched(52, 3), false},
        {"one mark fewer", patched(52, 1), false},
        {"a mark count the file cannot hold", patched(52, 0xFFFFFFFF), false},
        {"marks past the end", patched(56, 0xFFFFFFF0), false},
        {"marks apart from their name", patched(56, 40), false},
        {"the last entry's count one more", patched(68, 2), false},
        {"an entry count far beyond the table", patched(12, 0xFFFFFFFF), false},
        {"one entry fewer than the table holds", patched(12, 1), false},
        {"a table offset near 2^32", patched(16, 0xFFFFFFF8), false},
        {"a table offset one byte on", patched(16, 45), false},
        {"cut inside the table", cut, false},
        {"a byte after the table", longer, false},
    };
    for (const Case& c : cases) {
        classAlreadyReadList list;
        EXPECT_EQ(ParseAlreadyData(list, c.bytes.data(), c.bytes.size()), c.read) << c.name;
        EXPECT_EQ(list.Count(), c.read ? 2u : 0u) << c.name;
        if (c.read) {
            EXPECT_EQ(Marks(list, "ok", 2), (std::vector<u8>{1, 1}));
            EXPECT_EQ(Marks(list, "b", 1), (std::vector<u8>{1}));
        }
    }
}

TEST(AlreadyData, OverlappingEntriesCannotCostMoreThanTheFile) {
    // Each entry claims the same 200 marks under another name; together they
    // would be far more than the file's size, so the reader stops in time.
    LeBytes body;
    body.Text(std::string(200, 'x'));  // every suffix is a name of its own
    std::vector<AlreadyEntry> entries;
    for (u32 i = 0; i < 50; ++i) entries.push_back({36 + i, 1, 200, 36});
    const LeBytes file = AlreadyFile(body, entries);
    classAlreadyReadList list;
    EXPECT_FALSE(ParseAlreadyData(list, file.Bytes().data(), file.Size())) << "no file is laid out so";
    EXPECT_EQ(list.Count(), 0u);
}

TEST(AlreadyData, TheWriterLaysOutNamesMarksAndTheTable) {
    classAlreadyReadList list;
    u8* a = nullptr;
    u8* b = nullptr;
    u8* nameless = nullptr;
    ASSERT_TRUE(list.Register("s.qvs", 2, &a));
    ASSERT_TRUE(list.Register("", 4, &nameless));  // never written
    ASSERT_TRUE(list.Register("s.qvs", 3, &b));    // the script changed: a second buffer of the same name
    a[1] = 1;
    b[0] = 1;
    b[2] = 1;
    std::vector<u8> bytes;
    ASSERT_TRUE(BuildAlreadyData(list, bytes));

    LeBytes body;
    body.Text("s.qvs").Z().U8(0).U8(1);        // name 36, marks 42
    body.Text("s.qvs").Z().U8(1).U8(0).U8(1);  // name 44, marks 50; table at 53
    const LeBytes expected = AlreadyFile(body, {{36, 6, 2, 42}, {44, 6, 3, 50}});
    EXPECT_EQ(bytes, expected.Bytes());

    classAlreadyReadList back;
    ASSERT_TRUE(ParseAlreadyData(back, bytes.data(), bytes.size()));
    EXPECT_EQ(back.Count(), 2u);
    EXPECT_EQ(Marks(back, "s.qvs", 3), (std::vector<u8>{1, 0, 1}));
}

TEST(AlreadyData, AnEmptyListLeavesTheFileAloneAndAFailedWriteAsksAndKeepsIt) {
    testfiles::TempFolder folder;
    folder.Put("Already.dat", std::string("previous"));
    classAlreadyReadList empty;
    EXPECT_TRUE(WriteAlreadyDataFile(empty, folder / "Already.dat"));
    EXPECT_EQ(folder.GetText("Already.dat"), "previous");

    classAlreadyReadList list;
    u8* marks = nullptr;
    ASSERT_TRUE(list.Register("x.qvs", 1, &marks));
    testdialogs::ScriptedDialogs dialogs;
    dialogs.answers = {platform::DialogAnswer::Retry, platform::DialogAnswer::Cancel};
    SetFileFaultForTesting(FileFault::DiskFull);
    EXPECT_FALSE(WriteAlreadyDataFile(list, folder / "Already.dat"));
    SetFileFaultForTesting(FileFault::None);
    ASSERT_EQ(dialogs.boxes.size(), 2u) << "Retry tries again, Cancel gives up";
    EXPECT_EQ(dialogs.boxes[0].caption, "WriteFile Access Error");
    EXPECT_EQ(dialogs.boxes[1].buttons, platform::DialogButtons::RetryCancel);
    EXPECT_EQ(folder.GetText("Already.dat"), "previous");

    EXPECT_TRUE(WriteAlreadyDataFile(list, folder / "Already.dat"));
    classAlreadyReadList back;
    EXPECT_TRUE(ReadAlreadyDataFile(back, folder / "Already.dat"));
    EXPECT_EQ(back.Count(), 1u);
}

TEST(AlreadyData, ScriptThreadsRegisterAndMarkWhileTheFileIsWritten) {
    testfiles::TempFolder folder;
    classAlreadyReadList list;
    std::atomic<int> running{8};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (u32 n = 1; n <= 200; ++n) {
                u8* marks = nullptr;
                if (list.Register("t" + std::to_string(t) + ".qvs", n, &marks))
                    WriteAlreadyReadByte(marks, n - 1, 1);
            }
            running.fetch_sub(1);
        });
    }
    while (running.load() > 0) EXPECT_TRUE(WriteAlreadyDataFile(list, folder / "Already.dat"));
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(WriteAlreadyDataFile(list, folder / "Already.dat"));
    classAlreadyReadList back;
    ASSERT_TRUE(ReadAlreadyDataFile(back, folder / "Already.dat"));
    EXPECT_EQ(back.Count(), 8u * 200u) << "one buffer per (name, count)";
    EXPECT_EQ(Marks(back, "t3.qvs", 4), (std::vector<u8>{0, 0, 0, 1}));
}

// ---- Start-up ----

TEST_F(SystemDataTest, AtStartUpAFileThatCannotBeReadIsKeptAsideAndAMissingOneIsNot) {
    const std::vector<u8> valid =
        SystemHeader(1688, VariableEntry("x", 0, 5).Size()).Append(VariableEntry("x", 0, 5)).Bytes();
    std::vector<u8> wrongMagic = valid;
    wrongMagic[3] ^= 0x20;
    std::vector<u8> otherGame = valid;
    otherGame[16] ^= 1;
    std::vector<u8> entrySize = valid;
    entrySize[1688] ^= 8;
    const std::vector<u8> alreadyValid =
        AlreadyFile(LeBytes().Text("a.qvs").Z().U8(1), {{36, 6, 1, 42}}).Bytes();
    std::vector<u8> alreadyWrongMagic = alreadyValid;
    alreadyWrongMagic[2] ^= 0x20;
    std::vector<u8> markCount = alreadyValid;
    markCount[43 + 8] = 2;
    struct Case {
        const char* name;
        const char* file;
        bool present;
        std::vector<u8> bytes;
        int earlierKept;  // "<file>.damaged", ".damaged.2" ... from earlier starts
        bool read;
        const char* keptAs;  // nullptr: nothing moved
    };
    const Case cases[] = {
        {"missing", "System.dat", false, {}, 0, false, nullptr},
        {"valid", "System.dat", true, valid, 0, true, nullptr},
        {"one wrong byte of the magic", "System.dat", true, wrongMagic, 0, false, "System.dat.damaged"},
        {"another game's file", "System.dat", true, otherGame, 0, false, "System.dat.damaged"},
        {"an entry's size damaged", "System.dat", true, entrySize, 0, false, "System.dat.damaged"},
        {"cut short", "System.dat", true, std::vector<u8>(valid.begin(), valid.begin() + 100), 0, false,
         "System.dat.damaged"},
        {"empty", "System.dat", true, {}, 0, false, "System.dat.damaged"},
        {"an earlier damaged file stays", "System.dat", true, wrongMagic, 1, false, "System.dat.damaged.2"},
        {"the last free name", "System.dat", true, wrongMagic, 998, false, "System.dat.damaged.999"},
        {"every name for a damaged file taken", "System.dat", true, wrongMagic, 999, false, nullptr},
        {"marks missing", "Already.dat", false, {}, 0, false, nullptr},
        {"marks valid", "Already.dat", true, alreadyValid, 0, true, nullptr},
        {"marks with a wrong byte", "Already.dat", true, alreadyWrongMagic, 0, false, "Already.dat.damaged"},
        {"a mark count damaged", "Already.dat", true, markCount, 0, false, "Already.dat.damaged"},
        {"every name for damaged marks taken", "Already.dat", true, markCount, 999, false, nullptr},
    };
    ASSERT_TRUE(InitApplication());
    for (const Case& c : cases) {
        testfiles::TempFolder data;
        GetApplication()->dataFolder = data.Path().string() + "/";
        g_globalVariables.Clear();
        classAlreadyReadList list;
        if (c.present) data.Put(c.file, c.bytes);
        const std::vector<u8> earlier{'o', 'l', 'd'};
        auto earlierName = [&c](int n) {
            return std::string(c.file) + ".damaged" + (n == 1 ? "" : "." + std::to_string(n));
        };
        for (int n = 1; n <= c.earlierKept; ++n) data.Put(earlierName(n), earlier);
        const bool system = std::string(c.file) == "System.dat";
        testing::internal::CaptureStderr();
        EXPECT_EQ(system ? ReadSystemData() : ReadAlreadyData(list), c.read) << c.name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(system ? Global("x") : std::to_string(list.Count()),
                  c.read ? (system ? "5" : "1") : (system ? "absent" : "0"))
            << c.name << ": the defaults stay unless the file was read";
        EXPECT_EQ(std::filesystem::exists(data / c.file), c.present && c.keptAs == nullptr) << c.name;
        const bool held = c.present && !c.read && c.keptAs == nullptr;
        if (c.keptAs != nullptr) {
            EXPECT_EQ(data.Get(c.keptAs), c.bytes) << c.name << ": kept byte for byte";
            EXPECT_NE(said.find("it is kept as " + (data / c.keptAs)), std::string::npos) << c.name << said;
        } else {
            EXPECT_EQ(said.find("it is kept as"), std::string::npos) << c.name << ": " << said;
            const std::string taken = (data / c.file) + ".damaged to " + (data / c.file) + ".damaged.999 are all taken";
            EXPECT_EQ(said.find(taken) != std::string::npos, held) << c.name << ": " << said;
        }
        for (int n = 1; n <= c.earlierKept; ++n)
            ASSERT_EQ(data.Get(earlierName(n)), earlier)
                << c.name << ": " << earlierName(n) << " is never replaced";
        const size_t files = static_cast<size_t>(std::distance(
            std::filesystem::directory_iterator(data.Path()), std::filesystem::directory_iterator()));
        EXPECT_EQ(files, (c.present ? 1u : 0u) + static_cast<size_t>(c.earlierKept))
            << c.name << ": nothing else made";

        // A damaged file left where it is is not written over by this run.
        u8* marks = nullptr;
        list.Register("w.qvs", 1, &marks);
        for (const char* write : {"first", "second"}) {
            testing::internal::CaptureStderr();
            EXPECT_EQ(system ? WriteSystemData() : WriteAlreadyData(list), !held) << c.name;
            const bool saidHeld = testing::internal::GetCapturedStderr().find("is not written") != std::string::npos;
            EXPECT_EQ(saidHeld, held && write == std::string("first")) << c.name << ", " << write << " write";
        }
        if (held) {
            EXPECT_EQ(data.Get(c.file), c.bytes) << c.name;
        }
    }
}

}  // namespace
