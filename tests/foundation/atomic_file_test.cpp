#include "foundation/atomic_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/le_bytes.h"
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

TEST_F(AtomicFileTest, ACommittedWriteReplacesTheFile) {
    folder_.Put("System.dat", kOld);
    ASSERT_TRUE(WriteFileAtomically(folder_ / "System.dat", "new", 3));
    EXPECT_EQ(folder_.GetText("System.dat"), "new");
    // An empty file is a valid result too.
    ASSERT_TRUE(WriteFileAtomically(folder_ / "System.dat", nullptr, 0));
    EXPECT_EQ(folder_.GetText("System.dat"), "");
    ASSERT_TRUE(WriteFileAtomically(folder_ / "fresh.dat", "x", 1));
    ExpectOnlyFiles({"System.dat", "fresh.dat"});
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

TEST_F(AtomicFileTest, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
    folder_.Put("System.dat", kOld);
    SetFileFaultForTesting(FileFault::DiskFull);
    const std::string body(10000, 'z');
    EXPECT_FALSE(WriteFileAtomically(folder_ / "System.dat", body.data(), body.size()));
    EXPECT_EQ(folder_.GetText("System.dat"), kOld);
    ExpectOnlyFiles({"System.dat"});

    // A caller that ignores the write count still cannot commit a torn file.
    classAtomicFile file;
    ASSERT_TRUE(file.Open(folder_ / "System.dat"));
    file.Write(body.data(), body.size());
    SetFileFaultForTesting(FileFault::None);
    file.Write("tail", 4);
    EXPECT_TRUE(file.Failed());
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(folder_.GetText("System.dat"), kOld);
    ExpectOnlyFiles({"System.dat"});
}

TEST_F(AtomicFileTest, AFailedFlushOrRenameKeepsTheOldFile) {
    folder_.Put("save----.dat", kOld);
    for (FileFault fault : {FileFault::SyncFailure, FileFault::RenameFailure}) {
        SetFileFaultForTesting(fault);
        EXPECT_FALSE(WriteFileAtomically(folder_ / "save----.dat", "new bytes", 9));
        EXPECT_EQ(folder_.GetText("save----.dat"), kOld);
        ExpectOnlyFiles({"save----.dat"});
    }
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
