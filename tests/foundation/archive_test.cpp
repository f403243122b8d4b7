#include "foundation/archive.h"
#include "foundation/report_once.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/archive_builder.h"
#include "support/le_bytes.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

using testbytes::LeBytes;

std::string S(const std::vector<u8>& v) { return std::string(v.begin(), v.end()); }

using testarchive::BuildArchive;
using testarchive::FixtureEntry;

// An archive source over memory, for the index parser alone.
class MemorySource final : public classArchiveSource {
public:
    explicit MemorySource(std::vector<u8> bytes) : bytes_(std::move(bytes)) {}
    u64 Size() const override { return bytes_.size(); }
    bool ReadAt(u64 offset, u64 n, void* out) override {
        if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, static_cast<u8*>(out));
        return true;
    }

private:
    std::vector<u8> bytes_;
};

std::vector<classArchiveEntry> Parse(const std::vector<u8>& bytes, bool* ok = nullptr) {
    MemorySource source(bytes);
    std::vector<classArchiveEntry> entries;
    const bool result = ParseArchiveIndex(source, entries);
    if (ok) *ok = result;
    return entries;
}

// Each test runs in its own working directory with the archives forgotten.
class ArchiveTest : public ::testing::Test {
protected:
    ArchiveTest() : cwd_(folder_.Path()) {
        ResetArchivesForTesting();
        ForgetReportsForTesting();  // each test's boxes are its first
    }
    ~ArchiveTest() override { ResetArchivesForTesting(); }
    std::string Read(const std::string& name, bool* ok = nullptr) {
        std::vector<u8> out;
        const bool result = ReadWholeFile(name, out, false);
        if (ok) *ok = result;
        return S(out);
    }
    testfiles::TempFolder folder_;
    testfiles::ScopedWorkingDirectory cwd_;
};

}  // namespace

// Names are looked up from data09 down to data00, then as loose files; inside
// an archive ASCII letters match in any case, other bytes and separators exactly.
TEST_F(ArchiveTest, ANameReadsFromTheLastArchiveHoldingItThenTheLooseFile) {
    folder_.Put("data09.qvc", BuildArchive({{"only09.txt", "nine"}}));
    folder_.Put("data07.qvc", BuildArchive({{"system\\a.txt", "from 07"}}));
    folder_.Put("data03.qvc", BuildArchive({{"system\\a.txt", "from 03"}, {"only03.txt", "three"}}));
    folder_.Put("data02.qvc", BuildArchive({{"system\\ceol.cur", "cursor"}, {"bgm\\Title.OGG", "music"},
                                            {"\xE3\x81\x82.txt", "kana"}}));
    folder_.Put("data01.qvc", BuildArchive({{"system\\b.txt", "from 01"}}));
    folder_.Put("data05.qvc", BuildArchive({{"dup.txt", "first"}, {"DUP.TXT", "second"}}));
    const auto endArchive = BuildArchive({{"empty.bin", ""}, {"last.bin", "tail bytes"}});
    ASSERT_EQ(S(std::vector<u8>(endArchive.end() - 10, endArchive.end())), "tail bytes");
    folder_.Put("data08.qvc", endArchive);
    folder_.Put("DATA06.QVC", BuildArchive({{"x", "in six"}}));
    // An entry whose name is empty never matches.
    folder_.Put("data04.qvc",
                LeBytes().Zeros(16).U32(24).U32(20).U32(44).U32(1).U32(45).U32(4).U32(0).Z().Text("data").Bytes());
    folder_.Put("system/a.txt", "loose a");
    folder_.Put("system/b.txt", "loose b");
    folder_.Put("loose.txt", "only loose");
    folder_.Put("empty.txt", "");
    folder_.Put("system/function.qvs", "function script");
    folder_.Put("Scenario/Start.qvs", "start script");
    struct Case {
        const char* name;
        std::string expected;
        bool found;
    };
    const Case cases[] = {
        {"only09.txt", "nine", true},
        {"system\\a.txt", "from 07", true},
        {"only03.txt", "three", true},
        {"system\\b.txt", "from 01", true},
        {"loose.txt", "only loose", true},
        {"SYSTEM\\CEOL.CUR", "cursor", true},
        {"Bgm\\title.ogg", "music", true},
        {"system/ceol.cur", "", false},
        {"\xE3\x81\x82.TXT", "kana", true},
        {"Dup.Txt", "first", true},
        {"last.bin", "tail bytes", true},
        {"empty.bin", "", true},
        {"empty.txt", "", false},
        {"", "", false},
        {"x", "in six", true},
        {"System\\Function.qvs", "function script", true},
        {"scenario\\start.QVS", "start script", true},
        {"SCENARIO/START.qvs", "start script", true},
        {"scenario\\missing.qvs", "", false},
    };
    for (const Case& c : cases) {
        bool ok = !c.found;
        EXPECT_EQ(Read(c.name, &ok), c.expected) << c.name;
        EXPECT_EQ(ok, c.found) << c.name;
    }
}

TEST_F(ArchiveTest, AMissingLooseFileAsksOnlyWhenTold) {
    testdialogs::ScriptedDialogs dialogs;
    std::vector<u8> out{1, 2, 3};
    EXPECT_FALSE(ReadWholeFile("image\\nothing.png", out, false));
    EXPECT_TRUE(out.empty());
    classFile inPlace;
    u64 offset = 1, size = 1;
    EXPECT_FALSE(OpenFileInPlace("movie\\nothing.mpg", inPlace, &offset, &size)) << "streamed files never ask";
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(ReadWholeFile("image\\nothing.png", out, true));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "ReadFile Access Error");
    EXPECT_EQ(dialogs.boxes[0].icon, platform::DialogIcon::Warning);
    EXPECT_EQ(dialogs.boxes[0].text.rfind("filename:image\\nothing.png\nerrorcode:2\n", 0), 0u)
        << "the name as the script wrote it: " << dialogs.boxes[0].text;
    // Asked for again, the same failure shows no second box (its repeats
    // are counted on stderr); a Retry the player asks for gets one.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ReadWholeFile("image\\nothing.png", out, true));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    dialogs.answers = {platform::DialogAnswer::Retry};
    EXPECT_FALSE(ReadWholeFile("image\\other.png", out, true));
    EXPECT_EQ(dialogs.boxes.size(), 3u) << "a box, and after its Retry another";
}

// While an archive is damaged, a missing file is most likely one it held: the
// run's one box names the archive, and no box follows for later files.
TEST_F(ArchiveTest, AMissingFileWhileAnArchiveIsDamagedShowsOneBoxNamingTheArchive) {
    folder_.Put("data01.qvc", LeBytes().Zeros(16).U32(1000).U32(20).Zeros(20).Bytes());
    testdialogs::ScriptedDialogs dialogs;
    std::vector<u8> out;
    testing::internal::CaptureStderr();
    for (const char* name : {"Variable.qvs", "Start.qvs", "system\\Function.qvs"})
        EXPECT_FALSE(ReadWholeFile(name, out, true)) << name;
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "ReadFile Access Error");
    EXPECT_EQ(dialogs.boxes[0].icon, platform::DialogIcon::Warning);
    EXPECT_EQ(dialogs.boxes[0].text.rfind("filename:data01.qvc\n", 0), 0u) << dialogs.boxes[0].text;
    EXPECT_NE(dialogs.boxes[0].text.find("damaged and cannot be read"), std::string::npos) << dialogs.boxes[0].text;
}

// A game file is read whole only up to 256 MiB; past it, from an archive or
// loose, it is a file that cannot be read, said once, and never allocated.
TEST_F(ArchiveTest, AFileLargerThan256MiBIsNotReadAndIsSaid) {
    constexpr u64 kOver = (u64{256} << 20) + 1;
    auto archive = BuildArchive({{"huge.bin", "x"}, {"small.bin", "ok"}});
    // huge.bin's data size, then the file made long enough (sparsely) to hold it.
    const u32 size = static_cast<u32>(kOver);
    for (int i = 0; i < 4; ++i) archive[24 + 12 + i] = static_cast<u8>(size >> (8 * i));
    folder_.Put("data02.qvc", archive);
    std::filesystem::resize_file(folder_.Path() / "data02.qvc", archive.size() + kOver);
    folder_.Put("loose.bin", "");
    std::filesystem::resize_file(folder_.Path() / "loose.bin", kOver);
    testdialogs::ScriptedDialogs dialogs;
    for (const char* name : {"huge.bin", "loose.bin"}) {
        std::vector<u8> out{1};
        bool tooLarge = false;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ReadWholeFile(name, out, true, &tooLarge)) << name;
        ReadWholeFile(name, out, true);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(out.empty()) << name;
        EXPECT_TRUE(tooLarge) << name << ": its reader is told, and says no more";
        EXPECT_EQ(said, "velk2: the file \"" + std::string(name) +
                            "\" is larger than the 256 MiB a game file may be (268435457 bytes); it is not read\n")
            << "said once: " << said;
    }
    EXPECT_TRUE(dialogs.boxes.empty()) << "the file is there: no box";
    EXPECT_EQ(Read("small.bin"), "ok");
    bool tooLarge = true;
    std::vector<u8> out;
    EXPECT_FALSE(ReadWholeFile("nothing.bin", out, false, &tooLarge));
    EXPECT_FALSE(tooLarge) << "a missing file is its reader's to say";
}

// Each damaged archive is named once on stderr with what was lost; the
// search goes on as if its unreadable entries were not there.
TEST_F(ArchiveTest, CorruptArchivesAreSkippedAndTheSearchGoesOn) {
    folder_.Put("fine.txt", "loose");
    // Too short for a header.
    folder_.Put("data09.qvc", LeBytes().Zeros(23).Bytes());
    // Index offset past the end of the file.
    folder_.Put("data08.qvc", LeBytes().Zeros(16).U32(1000).U32(20).Zeros(20).Bytes());
    // Index size 0xFFFFFFFF: only the records that fit are kept, no 4 GB buffer.
    auto huge = BuildArchive({{"fine.txt", "from huge index"}});
    huge[20] = huge[21] = huge[22] = huge[23] = 0xFF;
    folder_.Put("data07.qvc", huge);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Read("fine.txt"), "from huge index");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velk2: the archive \"data09.qvc\" is damaged: it is too short for its header; nothing is read "
              "from it\n"
              "velk2: the archive \"data08.qvc\" is damaged: its index reaches past the end of the file; nothing "
              "is read from it\n"
              // The 24 bytes after its one record read as a second, whose name lies far outside.
              "velk2: the archive \"data07.qvc\" is damaged: its index reaches past the end of the file, and it "
              "places 1 entry outside the file; only 1 entry can be read\n");

    ResetArchivesForTesting();
    std::filesystem::remove(folder_.Path() / "data07.qvc");
    // Data past the end of the file: the entry is dropped, the loose file read.
    auto past = BuildArchive({{"fine.txt", "abcd"}});
    past.resize(past.size() - 1);
    folder_.Put("data06.qvc", past);
    // A name offset past the end.
    auto badName = BuildArchive({{"fine.txt", "abcd"}});
    badName[24] = 0xF0;
    badName[25] = 0xFF;
    folder_.Put("data05.qvc", badName);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Read("fine.txt"), "loose");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velk2: the archive \"data06.qvc\" is damaged: it places 1 entry outside the file; nothing is "
              "read from it\n"
              "velk2: the archive \"data05.qvc\" is damaged: it places 1 entry outside the file; nothing is "
              "read from it\n")
        << "each damage is said once in a run";
}

TEST_F(ArchiveTest, AnArchiveThatShrinksAfterItsIndexWasReadFailsTheRead) {
    const auto bytes = BuildArchive({{"a.bin", "0123456789"}});
    folder_.Put("data03.qvc", bytes);
    folder_.Put("a.bin", "loose a");
    EXPECT_EQ(Read("a.bin"), "0123456789");
    // Header 24, one record of 20, "a.bin\0": the data from 50 to the file's end.
    classFile file;
    u64 offset = 0, size = 0;
    ASSERT_TRUE(g_archives[2].OpenEntry("A.BIN", file, &offset, &size));
    EXPECT_EQ(offset, 50u);
    EXPECT_EQ(size, 10u);
    // Cut the data short; the index in memory still claims 10 bytes.
    folder_.Put("data03.qvc", std::vector<u8>(bytes.begin(), bytes.end() - 4));
    bool ok = false;
    EXPECT_EQ(Read("a.bin", &ok), "loose a");
    EXPECT_TRUE(ok);
    std::vector<u8> out;
    EXPECT_FALSE(g_archives[2].ReadEntry("a.bin", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(g_archives[2].OpenEntry("a.bin", file, &offset, &size));
}

TEST_F(ArchiveTest, ManyThreadsMayMakeTheFirstReadTogether) {
    std::vector<FixtureEntry> entries;
    for (int i = 0; i < 200; ++i) entries.push_back({"f" + std::to_string(i), "content " + std::to_string(i)});
    folder_.Put("data04.qvc", BuildArchive(entries));
    std::vector<std::thread> threads;
    std::vector<int> good(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &good] {
            for (int i = t; i < 200; i += 3) {
                std::vector<u8> out;
                if (ReadWholeFile("F" + std::to_string(i), out, false) &&
                    S(out) == "content " + std::to_string(i)) {
                    ++good[t];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(good[t], (200 - t + 2) / 3) << "thread " << t;
    EXPECT_EQ(g_archives[3].Count(), 200);
}

TEST(ArchiveIndex, KeepsTheRecordsThatLieInsideTheFile) {
    struct Expected {
        std::string name;
        u64 dataOffset, dataSize;
    };
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool ok;
        std::vector<Expected> entries;
    };
    const Case cases[] = {
        // Header 24 + index 40 = 64; names "a\0" at 64, "b\\c\0" at 66; data at 70 and 71.
        {"well formed", BuildArchive({{"a", "1"}, {"b\\c", "22"}}), true, {{"a", 70, 1}, {"b\\c", 71, 2}}},
        // An index size that is no multiple of 20 ignores the remainder; the
        // index may follow the data; a name with no zero ends at its length; a
        // name that stops early at a zero is cut there.
        {"odd index and names",
         LeBytes().Zeros(16).U32(32).U32(59)
             .Text("AB").Text(std::string_view("xy\0z", 4)).Text("da")
             .U32(24).U32(2).U32(30).U32(2).U32(0)
             .U32(26).U32(4).U32(24).U32(6).U32(0)
             .Zeros(19).Bytes(),
         true, {{"AB", 30, 2}, {"xy", 24, 6}}},
        // Offsets near 2^32 must not wrap: 0xFFFFFFF0 + 0x20 passes 32 bits.
        {"records pointing outside",
         LeBytes().Zeros(16).U32(24).U32(80)
             .U32(0xFFFFFFF0).U32(0x20).U32(104).U32(1).U32(0)  // name outside
             .U32(104).U32(2).U32(0xFFFFFFF0).U32(0x20).U32(0)  // data outside
             .U32(104).U32(0).U32(104).U32(1).U32(0)            // no name
             .U32(104).U32(2).U32(105).U32(1).U32(0)            // fine
             .Text("k").Z().Bytes(),
         true, {{"k", 105, 1}}},
        {"data ending one past the file",
         LeBytes().Zeros(16).U32(24).U32(20).U32(44).U32(2).U32(46).U32(3).U32(0).Text("k").Z().Text("ab").Bytes(),
         true, {}},
        {"too short for a header", LeBytes().Zeros(23).Bytes(), false, {}},
        {"an empty index", LeBytes().Zeros(16).U32(24).U32(0).Bytes(), true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = !c.ok;
        const auto entries = Parse(c.bytes, &ok);
        EXPECT_EQ(ok, c.ok);
        ASSERT_EQ(entries.size(), c.entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].name, c.entries[i].name);
            EXPECT_EQ(entries[i].dataOffset, c.entries[i].dataOffset);
            EXPECT_EQ(entries[i].dataSize, c.entries[i].dataSize);
        }
    }
}

TEST(ArchiveIndex, ScatteredNamesAreReadOneByOne) {
    // Two names 40 MB apart (past the span read at once), in a sparse source.
    class SparseSource final : public classArchiveSource {
    public:
        u64 Size() const override { return 40000000 + 8; }
        bool ReadAt(u64 offset, u64 n, void* out) override {
            if (n > 64) return false;  // a big span read would show up here
            auto* p = static_cast<u8*>(out);
            for (u64 i = 0; i < n; ++i) p[i] = At(offset + i);
            return true;
        }
        u8 At(u64 at) const {
            const std::vector<u8> head = LeBytes()
                                             .Zeros(16).U32(24).U32(40)
                                             .U32(64).U32(2).U32(0).U32(1).U32(0)
                                             .U32(40000000).U32(2).U32(0).U32(1).U32(0)
                                             .Text("p").Z()
                                             .Bytes();
            if (at < head.size()) return head[at];
            if (at == 40000000) return 'q';
            return 0;
        }
    } source;
    std::vector<classArchiveEntry> entries;
    ASSERT_TRUE(ParseArchiveIndex(source, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "p");
    EXPECT_EQ(entries[1].name, "q");
}
