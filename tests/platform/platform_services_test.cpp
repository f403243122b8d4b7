#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/clock.h"
#include "platform/instance_lock.h"
#include "platform/user_folder.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {
u32 NearTheWrap() { return 0xFFFFFFF0u; }
}  // namespace

TEST(Clock, MonotonicNonZeroAndReplaceable) {
    u32 first = NowMs();
    u32 second = NowMs();
    EXPECT_NE(first, 0u) << "0 means a timer that is not running";
    EXPECT_LT(second - first, 1000u);
    SetClockSource(NearTheWrap);
    EXPECT_EQ(NowMs(), 0xFFFFFFF0u);
    EXPECT_EQ(static_cast<u32>(0x10u - NowMs()), 0x20u) << "times are subtracted across the wrap";
    SetClockSource(nullptr);
    EXPECT_LT(NowMs() - second, 1000u);
}

TEST(InstanceLock, OneCopyPerWorkingDirectory) {
    testfiles::TempFolder folder;
    std::filesystem::create_directories(folder / "game1");
    std::filesystem::create_directories(folder / "game2");
    InstanceLock first, second, other;
    ASSERT_EQ(first.Acquire(folder / "game1", folder.Path().string()), InstanceLockResult::Acquired);
    EXPECT_EQ(second.Acquire(folder / "game1", folder.Path().string()), InstanceLockResult::HeldByAnother);
    EXPECT_EQ(second.Acquire(folder / "game1/../game1/", folder.Path().string()), InstanceLockResult::HeldByAnother)
        << "the same folder spelled differently is the same folder";
    EXPECT_EQ(other.Acquire(folder / "game2", folder.Path().string()), InstanceLockResult::Acquired);
    first.Release();
    EXPECT_EQ(second.Acquire(folder / "game1", folder.Path().string()), InstanceLockResult::Acquired);
    // A game run from inside its own player folder holds both of its locks;
    // a second copy on that player folder does not get in.
    InstanceLock players, playersAgain;
    EXPECT_EQ(players.Acquire(folder / "game1", folder.Path().string(), LockedDirectory::PlayerFolder),
              InstanceLockResult::Acquired);
    EXPECT_EQ(playersAgain.Acquire(folder / "game1/", folder.Path().string(), LockedDirectory::PlayerFolder),
              InstanceLockResult::HeldByAnother);
}

TEST(InstanceLock, NamesFollowTheDirectory) {
    EXPECT_EQ(InstanceLock::LockFileName("/home/user/Games/X"), "Velk2SystemRunning-_home_user_Games_X");
    EXPECT_EQ(InstanceLock::LockFileName("/home/user/.local/share/M/G", LockedDirectory::PlayerFolder),
              "Velk2PlayerFolder-_home_user_.local_share_M_G");
    std::string deep(400, 'a');
    std::string name1 = InstanceLock::LockFileName("/" + deep + "1");
    std::string name2 = InstanceLock::LockFileName("/" + deep + "2");
    EXPECT_LE(name1.size(), 255u);
    EXPECT_NE(name1, name2) << "deep folders that differ only at the end keep separate locks";
}

TEST(InstanceLock, DefaultFolderIsPrivate) {
    std::string saved = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
    unsetenv("XDG_RUNTIME_DIR");
    std::string folder = InstanceLock::DefaultLockDirectory();
    ASSERT_FALSE(folder.empty());
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u) << "no other user may plant or hold our lock";
    EXPECT_EQ(info.st_uid, getuid());
    if (!saved.empty()) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(InstanceLock, ReleasedWhenItsHolderDies) {
    testfiles::TempFolder folder;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock;
        char answer = lock.Acquire(folder.Path().string(), folder.Path().string()) == InstanceLockResult::Acquired
                          ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(2);
        pause();  // holds the lock until killed
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    InstanceLock mine;
    EXPECT_EQ(mine.Acquire(folder.Path().string(), folder.Path().string()), InstanceLockResult::HeldByAnother);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(mine.Acquire(folder.Path().string(), folder.Path().string()), InstanceLockResult::Acquired)
        << "a killed holder leaves no stale lock";
    close(ready[0]);
    close(ready[1]);
}

TEST(UserFolder, DataHomeFollowsTheXdgRules) {
    std::string savedData = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
    std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    setenv("XDG_DATA_HOME", "/srv/player/data/", 1);
    EXPECT_EQ(UserDataHome(), "/srv/player/data");
    setenv("XDG_DATA_HOME", "relative/data", 1);
    setenv("HOME", "/home/player", 1);
    EXPECT_EQ(UserDataHome(), "/home/player/.local/share") << "a relative data home is ignored";
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/home/player/", 1);
    EXPECT_EQ(UserDataHome(), "/home/player/.local/share");
    if (savedData.empty()) unsetenv("XDG_DATA_HOME"); else setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    if (savedHome.empty()) unsetenv("HOME"); else setenv("HOME", savedHome.c_str(), 1);
}

TEST(UserFolder, CreatesMissingParentsOnly) {
    testfiles::TempFolder folder;
    folder.Put("a/keep.txt", "kept");
    EXPECT_TRUE(CreateDirectoryTree(folder / "a/b/c/Hollin-Gate/Merisande/"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "a/b/c/Hollin-Gate/Merisande"));
    EXPECT_EQ(folder.GetText("a/keep.txt"), "kept");
    EXPECT_TRUE(CreateDirectoryTree(folder / "a/b")) << "an existing folder is success";
    folder.Put("file", "x");
    EXPECT_FALSE(CreateDirectoryTree(folder / "file/sub"));
    EXPECT_FALSE(CreateDirectoryTree(folder / "file"));
    EXPECT_FALSE(CreateDirectoryTree(""));
}
