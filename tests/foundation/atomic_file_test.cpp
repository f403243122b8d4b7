#include "foundation/atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/le_bytes.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void TearDown() override { SetFileFaultForTesting(FileFault::None); }
    // Only the named files: no temporary file may be left behind.
    void ExpectOnlyFiles(std::vector<std::string> expected) {
        auto names = folder_.List();
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
    testfiles::TempFolder folder_;
};

const std::string kOld = "the old System.dat";

}  // namespace

// A write replaces its file whole or leaves the old one, and never leaves a
// temporary behind.
TEST_F(AtomicFileTest, AWriteReplacesTheFileWholeOrNotAtAll) {
    struct Case {
        const char* name;
        const char* file;
        FileFault fault;
        std::string body;
        bool written;
    };
    const Case cases[] = {
        {"committed", "System.dat", FileFault::None, "new", true},
        {"an empty file is a result too", "System.dat", FileFault::None, "", true},
        {"a new file", "fresh.dat", FileFault::None, "x", true},
        {"full disk", "System.dat", FileFault::DiskFull, std::string(10000, 'z'), false},
        {"failed flush", "System.dat", FileFault::SyncFailure, "new bytes", false},
        {"failed rename", "System.dat", FileFault::RenameFailure, "new bytes", false},
    };
    for (const Case& c : cases) {
        folder_.Put("System.dat", kOld);
        std::filesystem::remove(folder_.Path() / "fresh.dat");
        SetFileFaultForTesting(c.fault);
        EXPECT_EQ(WriteFileAtomically(folder_ / c.file, c.body.data(), c.body.size()), c.written) << c.name;
        SetFileFaultForTesting(FileFault::None);
        EXPECT_EQ(folder_.GetText(c.file), c.written ? c.body : kOld) << c.name;
        ExpectOnlyFiles(c.written && c.file != std::string("System.dat") ? std::vector<std::string>{"System.dat", c.file}
                                                                          : std::vector<std::string>{"System.dat"});
    }
}

TEST_F(AtomicFileTest, AHeaderIsBackPatchedBeforeTheCommit) {
    // A writer that learns the body's size only after writing it: a u32
    // placeholder, the body, then the size patched in at offset 0.
    classAtomicFile file;
    ASSERT_TRUE(file.Open(folder_ / "save0001.dat"));
    const u32 placeholder = 0;
    file.Write(&placeholder, 4);
    file.Write("body!", 5);
    const u64 end = file.Tell();
    EXPECT_EQ(end, 9u);
    EXPECT_EQ(file.Seek(0, 0), 0u);
    const u8 size[4] = {5, 0, 0, 0};
    file.Write(size, 4);
    ASSERT_TRUE(file.Commit());
    const std::vector<u8> expected = testbytes::LeBytes().U32(5).Text("body!");
    EXPECT_EQ(folder_.Get("save0001.dat"), expected);
}

TEST_F(AtomicFileTest, NothingIsVisibleBeforeTheCommit) {
    folder_.Put("Already.dat", kOld);
    classAtomicFile file;
    ASSERT_TRUE(file.Open(folder_ / "Already.dat"));
    file.Write("half", 4);
    EXPECT_EQ(folder_.GetText("Already.dat"), kOld);
    EXPECT_EQ(folder_.List().size(), 2u);  // the target and one temporary file
}

TEST_F(AtomicFileTest, AnAbandonedWriteLeavesTheOldFileAndNoTemporary) {
    folder_.Put("Already.dat", kOld);
    {
        classAtomicFile file;
        ASSERT_TRUE(file.Open(folder_ / "Already.dat"));
        file.Write("partial", 7);
    }
    EXPECT_EQ(folder_.GetText("Already.dat"), kOld);
    ExpectOnlyFiles({"Already.dat"});
}

TEST_F(AtomicFileTest, ACallerIgnoringAFailedWriteCannotCommitATornFile) {
    folder_.Put("System.dat", kOld);
    const std::string body(10000, 'z');
    classAtomicFile file;
    ASSERT_TRUE(file.Open(folder_ / "System.dat"));
    SetFileFaultForTesting(FileFault::DiskFull);
    file.Write(body.data(), body.size());
    SetFileFaultForTesting(FileFault::None);
    file.Write("tail", 4);
    EXPECT_TRUE(file.Failed());
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(folder_.GetText("System.dat"), kOld);
    ExpectOnlyFiles({"System.dat"});
}

TEST_F(AtomicFileTest, AMissingFolderFailsToOpen) {
    classAtomicFile file;
    EXPECT_FALSE(file.Open(folder_ / "no/folder/System.dat"));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_FALSE(WriteFileAtomically("", "x", 1));
}

TEST_F(AtomicFileTest, CopyReplacesOrRespectsAnExistingDestination) {
    const std::string big(200000, 'b');  // more than one buffer of the copy
    folder_.Put("save----.dat", big);
    folder_.Put("save0003.dat", kOld);
    EXPECT_FALSE(CopyFileUtf8(folder_ / "save----.dat", folder_ / "save0003.dat", true));
    EXPECT_EQ(folder_.GetText("save0003.dat"), kOld);
    EXPECT_TRUE(CopyFileUtf8(folder_ / "save----.dat", folder_ / "save0003.dat", false));
    EXPECT_EQ(folder_.GetText("save0003.dat"), big);
    EXPECT_TRUE(CopyFileUtf8(folder_ / "save----.dat", folder_ / "save0004.dat", true));
    EXPECT_EQ(folder_.GetText("save0004.dat"), big);
    EXPECT_FALSE(CopyFileUtf8(folder_ / "missing.dat", folder_ / "save0005.dat", false));

    SetFileFaultForTesting(FileFault::DiskFull);
    EXPECT_FALSE(CopyFileUtf8(folder_ / "save----.dat", folder_ / "save0004.dat", false));
    SetFileFaultForTesting(FileFault::None);
    EXPECT_EQ(folder_.GetText("save0004.dat"), big);
    ExpectOnlyFiles({"save----.dat", "save0003.dat", "save0004.dat"});
}

namespace {

u32 g_fakeNow = 1;
u32 FakeNow() { return g_fakeNow; }

class ReportedWriteTest : public AtomicFileTest {
protected:
    void SetUp() override {
        ForgetWriteFailuresForTesting();
        platform::SetClockSource(FakeNow);
        g_fakeNow = 1000;
    }
    void TearDown() override {
        platform::SetClockSource(nullptr);
        ForgetWriteFailuresForTesting();
        AtomicFileTest::TearDown();
    }
    bool Save(const std::string& name, const std::string& text) {
        return WriteFileAtomicallyReporting(folder_ / name, text.data(), text.size());
    }
};

}  // namespace

TEST_F(ReportedWriteTest, AFailedWriteShowsTheBoxKeepsTheOldFileAndRetryWritesAgain) {
    struct Case {
        const char* name;
        FileFault fault;
        std::vector<platform::DialogAnswer> answers;
        bool healOnRetry;  // the player frees space before pressing Retry
        const char* errorText;
        size_t boxes;
        bool written;
    };
    using A = platform::DialogAnswer;
    const Case cases[] = {
        {"full disk, Cancel", FileFault::DiskFull, {A::Cancel}, false, "No space left on device", 1, false},
        {"full disk, Retry after freeing space", FileFault::DiskFull, {A::Retry}, true, "No space left on device", 1,
         true},
        {"full disk, Retry still full, Cancel", FileFault::DiskFull, {A::Retry, A::Cancel}, false,
         "No space left on device", 2, false},
        {"failed flush, Cancel", FileFault::SyncFailure, {A::Cancel}, false, "errorcode:5", 1, false},
        {"failed rename, Cancel", FileFault::RenameFailure, {A::Cancel}, false, "errorcode:5", 1, false},
    };
    for (const Case& c : cases) {
        ForgetWriteFailuresForTesting();
        folder_.Put("save0001.dat", kOld);
        testdialogs::ScriptedDialogs dialogs;
        dialogs.answers = c.answers;
        if (c.healOnRetry) dialogs.onShow = [](size_t) { SetFileFaultForTesting(FileFault::None); };
        SetFileFaultForTesting(c.fault);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Save("save0001.dat", "new"), c.written) << c.name;
        testing::internal::GetCapturedStderr();
        SetFileFaultForTesting(FileFault::None);
        ASSERT_EQ(dialogs.boxes.size(), c.boxes) << c.name;
        EXPECT_EQ(dialogs.boxes[0].caption, "WriteFile Access Error") << c.name;
        EXPECT_EQ(dialogs.boxes[0].buttons, platform::DialogButtons::RetryCancel) << c.name;
        EXPECT_EQ(dialogs.boxes[0].icon, platform::DialogIcon::Warning) << c.name;
        EXPECT_NE(dialogs.boxes[0].text.find("filename:" + (folder_ / "save0001.dat")), std::string::npos) << c.name;
        EXPECT_NE(dialogs.boxes[0].text.find(c.errorText), std::string::npos) << c.name << ": " << dialogs.boxes[0].text;
        EXPECT_EQ(folder_.GetText("save0001.dat"), c.written ? "new" : kOld) << c.name;
        ExpectOnlyFiles({"save0001.dat"});
    }
}

TEST_F(ReportedWriteTest, ARepeatedFailureOfOneFileBoxesAtMostOnceAMinuteAndSaysSo) {
    struct Case {
        const char* name;
        const char* file;
        u32 advanceMs;
        bool boxed;
        const char* said;  // in the line on stderr, or null for no line
    };
    // Times run on from the first failure of save0001.dat at 1000 ms. Past
    // the box, the first failure is said; later ones are counted and said at
    // most once a minute.
    const Case cases[] = {
        {"first failure", "save0001.dat", 0, true, nullptr},
        {"same file at once", "save0001.dat", 0, false, "was not written (No space left on device)"},
        {"another file the same second", "System.dat", 0, true, nullptr},
        {"same file 59.999 s after its box", "save0001.dat", 59999, false, nullptr},
        {"same file a minute after its box", "save0001.dat", 1, true, nullptr},
        {"same file just after the new box", "save0001.dat", 1, false,
         "was not written 2 times since it was last said (No space left on device)"},
        {"same file at once again", "save0001.dat", 0, false, nullptr},
    };
    testdialogs::ScriptedDialogs dialogs;
    SetFileFaultForTesting(FileFault::DiskFull);
    for (const Case& c : cases) {
        g_fakeNow += c.advanceMs;
        const size_t before = dialogs.boxes.size();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(Save(c.file, "new")) << c.name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(dialogs.boxes.size() - before, c.boxed ? 1u : 0u) << c.name;
        if (c.said == nullptr) {
            EXPECT_EQ(said, "") << c.name;
        } else {
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << c.name << ": " << said;
            EXPECT_NE(said.find(folder_ / c.file), std::string::npos) << c.name << ": " << said;
            EXPECT_NE(said.find(c.said), std::string::npos) << c.name << ": " << said;
        }
    }
}

TEST_F(AtomicFileTest, StartUpRemovesOnlyTheTemporariesOfWritesThatWereCutOff) {
    // No process has pid 2^22 + 1 (above the kernel's largest).
    const std::string dead = "4194305";
    const std::string self = std::to_string(static_cast<long>(::getpid()));
    const std::string living = std::to_string(static_cast<long>(::getppid()));
    struct Case {
        std::string name;
        bool removed;
    };
    const Case cases[] = {
        {"save0001.dat.tmp-" + dead + "-0", true},
        {"System.dat.tmp-" + dead + "-17", true},
        {"save----.dat.tmp-" + self + "-3", true},
        {"save0002.dat.tmp-" + living + "-0", false},  // another copy saving now
        {"save0001.dat", false},
        {"save0001.dat.tmp-", false},
        {"save0001.dat.tmp-" + dead, false},
        {"save0001.dat.tmp-" + dead + "-", false},
        {"save0001.dat.tmp-" + dead + "-1x", false},
        {"save0001.dat.tmp-x-1", false},
        {"save0001.dat.tmp-" + dead + "x5", false},
        {"notes.tmp", false},
        {".tmp-" + dead + "-1", false},
        // Only the program's own files: the system files, the snapshot and
        // the slots as "save%4.4d.dat" names them.
        {"Already.dat.tmp-" + dead + "-2", true},
        {"save10000.dat.tmp-" + dead + "-0", true},
        {"notes.txt.tmp-" + dead + "-0", false},
        {"system.dat.tmp-" + dead + "-0", false},
        {"save001.dat.tmp-" + dead + "-0", false},
        {"save00001.dat.tmp-" + dead + "-0", false},
        {"save+001.dat.tmp-" + dead + "-0", false},
        {"saveabcd.dat.tmp-" + dead + "-0", false},
        {"save0001.png.tmp-" + dead + "-0", false},
        {"save0001.dat.tmp-1-0.tmp-" + dead + "-0", false},
        // Files kept aside because they could not be read are the player's.
        {"System.dat.damaged", false},
        {"Already.dat.damaged.2", false},
    };
    std::vector<std::string> kept;
    for (const Case& c : cases) {
        folder_.Put(c.name, std::string("x"));
        if (!c.removed) kept.push_back(c.name);
    }
    EXPECT_EQ(RemoveStaleTemporaries(folder_.Path().string()), 5);
    ExpectOnlyFiles(kept);
}
