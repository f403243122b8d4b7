#include "foundation/archive.h"

#include <gtest/gtest.h>

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
    ArchiveTest() : cwd_(folder_.Path()) { ResetArchivesForTesting(); }
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

TEST_F(ArchiveTest, LaterArchivesOverrideEarlierOnesAndTheLooseFileComesLast) {
    folder_.Put("data03.qvc", BuildArchive({{"system\\a.txt", "from 03"}, {"only03.txt", "three"}}));
    folder_.Put("data07.qvc", BuildArchive({{"system\\a.txt", "from 07"}}));
    folder_.Put("data01.qvc", BuildArchive({{"system\\b.txt", "from 01"}}));
    folder_.Put("system/a.txt", "loose a");
    folder_.Put("system/b.txt", "loose b");
    folder_.Put("loose.txt", "only loose");
    EXPECT_EQ(Read("system\\a.txt"), "from 07");
    EXPECT_EQ(Read("only03.txt"), "three");
    EXPECT_EQ(Read("system\\b.txt"), "from 01");
    EXPECT_EQ(Read("loose.txt"), "only loose");

    // data09 is asked first of all.
    ResetArchivesForTesting();
    folder_.Put("data09.qvc", BuildArchive({{"system\\a.txt", "from 09"}}));
    EXPECT_EQ(Read("system\\a.txt"), "from 09");
}

TEST_F(ArchiveTest, NamesMatchIgnoringAsciiCaseButNotSeparators) {
    folder_.Put("data02.qvc", BuildArchive({{"system\\ceol.cur", "cursor"}, {"bgm\\Title.OGG", "music"}}));
    EXPECT_EQ(Read("SYSTEM\\CEOL.CUR"), "cursor");
    EXPECT_EQ(Read("Bgm\\title.ogg"), "music");
    // "/" is not "\\" inside an archive; with no loose file it is not found.
    bool ok = true;
    EXPECT_EQ(Read("system/ceol.cur", &ok), "");
    EXPECT_FALSE(ok);
    // Bytes outside A-Z must match exactly.
    folder_.Put("data04.qvc", BuildArchive({{"\xE3\x81\x82.txt", "kana"}}));
    ResetArchivesForTesting();
    EXPECT_EQ(Read("\xE3\x81\x82.TXT"), "kana");
}

TEST_F(ArchiveTest, TheFirstOfTwoEqualNamesWins) {
    folder_.Put("data05.qvc", BuildArchive({{"dup.txt", "first"}, {"DUP.TXT", "second"}}));
    EXPECT_EQ(Read("dup.txt"), "first");
    EXPECT_EQ(Read("Dup.Txt"), "first");
}

TEST_F(ArchiveTest, AnEntryAtTheEndOfTheFileAndAnEmptyEntryAreRead) {
    const auto bytes = BuildArchive({{"empty.bin", ""}, {"last.bin", "tail bytes"}});
    ASSERT_EQ(S(std::vector<u8>(bytes.end() - 10, bytes.end())), "tail bytes");
    folder_.Put("data01.qvc", bytes);
    bool ok = false;
    EXPECT_EQ(Read("last.bin", &ok), "tail bytes");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Read("empty.bin", &ok), "");
    EXPECT_TRUE(ok);  // found, with nothing in it
}

TEST_F(ArchiveTest, AnEmptyLooseFileAndAnEmptyNameAreNotRead) {
    folder_.Put("empty.txt", "");
    // An archive entry with an empty name never matches.
    folder_.Put("data01.qvc", LeBytes()
                                  .Zeros(16)
                                  .U32(24)
                                  .U32(20)
                                  .U32(44)
                                  .U32(1)
                                  .U32(45)
                                  .U32(4)
                                  .U32(0)
                                  .Z()
                                  .Text("data")
                                  .Bytes());
    bool ok = true;
    Read("empty.txt", &ok);
    EXPECT_FALSE(ok);
    Read("", &ok);
    EXPECT_FALSE(ok);
}

TEST_F(ArchiveTest, LooseFilesAreFoundWhateverTheCaseOfEachComponent) {
    folder_.Put("system/function.qvs", "function script");
    folder_.Put("Scenario/Start.qvs", "start script");
    EXPECT_EQ(Read("System\\Function.qvs"), "function script");
    EXPECT_EQ(Read("scenario\\start.QVS"), "start script");
    EXPECT_EQ(Read("SCENARIO/START.qvs"), "start script");
    bool ok = true;
    Read("scenario\\missing.qvs", &ok);
    EXPECT_FALSE(ok);
    // Archives are found in any case too (looked for again after a reset:
    // a missing archive is not looked for twice).
    ResetArchivesForTesting();
    folder_.Put("DATA06.QVC", BuildArchive({{"x", "in six"}}));
    EXPECT_EQ(Read("x"), "in six");
}

TEST_F(ArchiveTest, AMissingLooseFileAsksOnlyWhenTold) {
    testdialogs::ScriptedDialogs dialogs;
    std::vector<u8> out{1, 2, 3};
    EXPECT_FALSE(ReadWholeFile("image\\nothing.png", out, false));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(ReadWholeFile("image\\nothing.png", out, true));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "ReadFile Access Error");
    EXPECT_NE(dialogs.boxes[0].text.find("image/nothing.png"), std::string::npos);
    EXPECT_NE(dialogs.boxes[0].text.find("errorcode:2\n"), std::string::npos);
}

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
    EXPECT_EQ(Read("fine.txt"), "from huge index");

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
    EXPECT_EQ(Read("fine.txt"), "loose");
}

TEST_F(ArchiveTest, AnArchiveThatShrinksAfterItsIndexWasReadFailsTheRead) {
    const auto bytes = BuildArchive({{"a.bin", "0123456789"}});
    folder_.Put("data03.qvc", bytes);
    folder_.Put("a.bin", "loose a");
    EXPECT_EQ(Read("a.bin"), "0123456789");
    // Cut the data short; the index in memory still claims 10 bytes.
    folder_.Put("data03.qvc", std::vector<u8>(bytes.begin(), bytes.end() - 4));
    bool ok = false;
    EXPECT_EQ(Read("a.bin", &ok), "loose a");
    EXPECT_TRUE(ok);
    std::vector<u8> out;
    EXPECT_FALSE(g_archives[2].ReadEntry("a.bin", out));
    EXPECT_TRUE(out.empty());
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

TEST(ArchiveIndex, ReadsEveryRecordOfAWellFormedIndex) {
    bool ok = false;
    const auto entries = Parse(BuildArchive({{"a", "1"}, {"b\\c", "22"}}), &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(entries.size(), 2u);
    // Header 24 + index 40 = 64; names "a\0" at 64, "b\\c\0" at 66; data at 70 and 71.
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[0].dataOffset, 70u);
    EXPECT_EQ(entries[0].dataSize, 1u);
    EXPECT_EQ(entries[1].name, "b\\c");
    EXPECT_EQ(entries[1].dataOffset, 71u);
    EXPECT_EQ(entries[1].dataSize, 2u);
}

TEST(ArchiveIndex, ToleratesOddIndexesAndNames) {
    // An index size that is no multiple of 20 ignores the remainder; the index
    // may come after the data; a name with no zero ends at its length; a name
    // that stops early at a zero is cut there.
    const auto bytes = LeBytes()
                           .Zeros(16)
                           .U32(32)  // index offset
                           .U32(59)  // two records and 19 bytes
                           .Text("AB")
                           .Text(std::string_view("xy\0z", 4))
                           .Text("da")
                           // index at 32
                           .U32(24).U32(2).U32(30).U32(2).U32(0)
                           .U32(26).U32(4).U32(24).U32(6).U32(0)
                           .Zeros(19)
                           .Bytes();
    const auto entries = Parse(bytes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "AB");
    EXPECT_EQ(entries[0].dataOffset, 30u);
    EXPECT_EQ(entries[1].name, "xy");
    EXPECT_EQ(entries[1].dataSize, 6u);
}

TEST(ArchiveIndex, DropsRecordsThatPointOutsideTheFile) {
    // Offsets near 2^32 must not wrap: 0xFFFFFFF0 + 0x20 passes 32 bits.
    const auto bytes = LeBytes()
                           .Zeros(16)
                           .U32(24)
                           .U32(80)
                           .U32(0xFFFFFFF0).U32(0x20).U32(104).U32(1).U32(0)  // name outside
                           .U32(104).U32(2).U32(0xFFFFFFF0).U32(0x20).U32(0)  // data outside
                           .U32(104).U32(0).U32(104).U32(1).U32(0)            // no name
                           .U32(104).U32(2).U32(105).U32(1).U32(0)            // fine
                           .Text("k").Z()
                           .Bytes();
    const auto entries = Parse(bytes);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "k");
    EXPECT_EQ(entries[0].dataOffset, 105u);

    bool ok = true;
    EXPECT_TRUE(Parse(LeBytes().Zeros(10).Bytes(), &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Parse(LeBytes().Zeros(16).U32(24).U32(0).Bytes(), &ok).empty());
    EXPECT_TRUE(ok);
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
