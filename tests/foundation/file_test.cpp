#include "foundation/file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/file_times.h"
#include "platform/dialog.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    testfiles::TempFolder folder_;
    testdialogs::ScriptedDialogs dialogs_;
};

}  // namespace

TEST_F(FileTest, ReadsWritesAndMovesThroughAFile) {
    classFile file;
    ASSERT_TRUE(file.OpenWrite(folder_ / "a.bin", false));
    EXPECT_EQ(file.Write("0123456789", 10), 10u);
    EXPECT_EQ(file.Tell(), 10u);
    EXPECT_EQ(file.GetSize(), 10u);
    // Back-patching a header: seek to the start, overwrite, size unchanged.
    EXPECT_EQ(file.Seek(0, 0), 0u);
    EXPECT_EQ(file.Write("AB", 2), 2u);
    EXPECT_EQ(file.Seek(-3, 2), 7u);
    EXPECT_EQ(file.Seek(1, 1), 8u);
    EXPECT_EQ(file.GetSize(), 10u);
    file.Close();
    EXPECT_EQ(folder_.GetText("a.bin"), "AB23456789");

    ASSERT_TRUE(file.OpenRead(folder_ / "a.bin", false));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 16), 10u);  // short only at the end of the file
    EXPECT_EQ(std::string(buffer, 10), "AB23456789");
    EXPECT_EQ(file.Read(buffer, 16), 0u);
    // A seek before the start is an error, reported as all ones.
    EXPECT_EQ(file.Seek(-100, 0), kFileError);
    EXPECT_EQ(file.Seek(0, 7), kFileError);
    // A file opened for reading takes no writes.
    EXPECT_EQ(file.Write("x", 1), 0u);
}

TEST_F(FileTest, AClosedFileGivesZeroEverywhere) {
    classFile file;
    char buffer[4];
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(file.Write("abcd", 4), 0u);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.Tell(), 0u);
    EXPECT_EQ(file.Seek(2, 0), 0u);
}

TEST_F(FileTest, OpenWriteKeepsOrEmptiesExistingContents) {
    folder_.Put("keep.bin", "old contents");
    classFile file;
    ASSERT_TRUE(file.OpenWrite(folder_ / "keep.bin", false, true));
    EXPECT_EQ(file.Tell(), 0u);
    EXPECT_EQ(file.GetSize(), 12u);
    file.Write("OLD", 3);
    file.Close();
    EXPECT_EQ(folder_.GetText("keep.bin"), "OLD contents");

    ASSERT_TRUE(file.OpenWrite(folder_ / "keep.bin", false, false));
    EXPECT_EQ(file.GetSize(), 0u);
    file.Close();
    EXPECT_EQ(folder_.GetText("keep.bin"), "");

    // Keep-contents on a missing file creates it empty.
    ASSERT_TRUE(file.OpenWrite(folder_ / "new.bin", false, true));
    file.Close();
    EXPECT_TRUE(std::filesystem::exists(folder_.Path() / "new.bin"));
    EXPECT_EQ(std::filesystem::file_size(folder_.Path() / "new.bin"), 0u);
}

TEST_F(FileTest, ASecondOpenOfAnOpenObjectFailsAndLeavesTheFirstFile) {
    folder_.Put("one.txt", "one");
    folder_.Put("two.txt", "two");
    classFile file;
    ASSERT_TRUE(file.OpenRead(folder_ / "one.txt", true));
    EXPECT_FALSE(file.OpenRead(folder_ / "two.txt", true));
    EXPECT_FALSE(file.OpenWrite(folder_ / "two.txt", true));
    EXPECT_TRUE(dialogs_.boxes.empty());
    char buffer[3];
    ASSERT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "one");
    EXPECT_EQ(folder_.GetText("two.txt"), "two");
}

TEST_F(FileTest, AFailedOpenAsksRetryOrCancelWithTheErrorText) {
    const std::string missing = folder_ / "missing.dat";
    classFile file;
    // Silent without the flag.
    EXPECT_FALSE(file.OpenRead(missing, false));
    EXPECT_TRUE(dialogs_.boxes.empty());

    EXPECT_FALSE(file.OpenRead(missing, true));
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].caption, "ReadFile Access Error");
    EXPECT_EQ(dialogs_.boxes[0].buttons, platform::DialogButtons::RetryCancel);
    EXPECT_EQ(dialogs_.boxes[0].icon, platform::DialogIcon::Warning);
    const std::string& text = dialogs_.boxes[0].text;
    EXPECT_EQ(text.rfind("filename:" + missing + "\nerrorcode:2\n\nerrorcomment:", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");  // the system text's own break, then the format's
    EXPECT_GT(text.size(), std::string("filename:\nerrorcode:2\n\nerrorcomment:\n\n").size() + missing.size());

    // Writing into a folder that does not exist fails the same way.
    EXPECT_FALSE(file.OpenWrite(folder_ / "no/such/folder/x.dat", true));
    ASSERT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(dialogs_.boxes[1].caption, "WriteFile Access Error");
    EXPECT_NE(dialogs_.boxes[1].text.find("errorcode:2\n"), std::string::npos);
}

TEST_F(FileTest, RetryOpensOnceTheFileAppears) {
    const std::string late = folder_ / "late.txt";
    dialogs_.answers = {platform::DialogAnswer::Retry, platform::DialogAnswer::Retry};
    // The file turns up while the second box is shown.
    dialogs_.onShow = [&](std::size_t count) {
        if (count == 2) folder_.Put("late.txt", "here");
    };
    classFile file;
    ASSERT_TRUE(file.OpenRead(late, true));
    EXPECT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(file.GetSize(), 4u);
}

TEST_F(FileTest, TheDefaultServiceAnswersCancelAtOnce) {
    platform::SetDialogService(nullptr);
    classFile file;
    EXPECT_FALSE(file.OpenRead(folder_ / "missing", true));
}

TEST_F(FileTest, OnlyARegularFileOpensForReadingAndNothingElseBlocks) {
    // A pipe with no writer would hold a blocking open() for ever.
    std::filesystem::create_directories(folder_.Path() / "sub");
    ASSERT_EQ(::mkfifo((folder_ / "pipe.png").c_str(), 0644), 0);
    struct Case {
        const char* name;
        std::string path;
        int errorCode;  // shown in the box; 2 is a missing file's
    };
    const Case cases[] = {
        {"a folder", folder_ / "sub", EISDIR},
        {"a pipe", folder_ / "pipe.png", 2},
        {"a device", "/dev/null", 2},
    };
    for (const Case& c : cases) {
        dialogs_.boxes.clear();
        classFile file;
        EXPECT_FALSE(file.OpenRead(c.path, true)) << c.name;
        EXPECT_FALSE(file.IsOpen()) << c.name;
        ASSERT_EQ(dialogs_.boxes.size(), 1u) << c.name;
        EXPECT_NE(dialogs_.boxes[0].text.find("errorcode:" + std::to_string(c.errorCode) + "\n"), std::string::npos)
            << c.name << ": " << dialogs_.boxes[0].text;
    }
}

TEST_F(FileTest, FileTimesGiveTheLocalWriteTime) {
    folder_.Put("save0001.dat", "x");
    // 2024-02-29 13:45:30.250 local time, set through the file system.
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 1;
    tm.tm_mday = 29;
    tm.tm_hour = 13;
    tm.tm_min = 45;
    tm.tm_sec = 30;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    const auto clockWhen = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when) +
                                                            std::chrono::milliseconds(250));
    std::filesystem::last_write_time(folder_.Path() / "save0001.dat", clockWhen);

    classLocalFileTime creation, access, write;
    write.year = 1;
    ASSERT_TRUE(GetFileTimesUtf8(folder_ / "save0001.dat", &creation, &access, &write));
    EXPECT_EQ(write.year, 2024);
    EXPECT_EQ(write.month, 2);
    EXPECT_EQ(write.day, 29);
    EXPECT_EQ(write.dayOfWeek, 4);  // a Thursday
    EXPECT_EQ(write.hour, 13);
    EXPECT_EQ(write.minute, 45);
    EXPECT_EQ(write.second, 30);
    EXPECT_EQ(write.milliseconds, 250);
    EXPECT_GE(creation.year, 2024);
    ASSERT_TRUE(GetFileTimesUtf8(folder_ / "save0001.dat", nullptr, nullptr, &write));

    EXPECT_FALSE(GetFileTimesUtf8(folder_ / "save0002.dat", nullptr, nullptr, &write));
    EXPECT_EQ(write.year, 0);  // cleared even on failure
}
