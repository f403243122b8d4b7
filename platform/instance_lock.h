#pragma once
// One running copy per working directory and user, and one per folder of
// the player's files: the same game installed twice must not run twice on one
// folder, where each copy would write over the other's saves and Globals. The
// lock is a flock on a file whose name is made from the canonical directory,
// so it is atomic (two copies started at the same moment cannot both win) and
// the kernel releases it when its holder dies, however it dies.
//
// The file lives in $XDG_RUNTIME_DIR, else in a private 0700 folder of the
// user under /tmp; never in a folder that other users may write.

#include <string>

namespace platform {

enum class InstanceLockResult { Acquired, HeldByAnother, Failed };
// What the directory is to the program: the two are locked under different
// names, so a game run from inside its own player folder takes both.
enum class LockedDirectory { Working, PlayerFolder };

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock of `directory` in `lockDirectory` (empty: the default
    // per-user folder). The file is left in place after Release.
    InstanceLockResult Acquire(const std::string& directory, const std::string& lockDirectory = "",
                               LockedDirectory kind = LockedDirectory::Working);
    void Release();
    bool IsHeld() const { return fd_ >= 0; }

    // "Velk2SystemRunning-" ("Velk2PlayerFolder-" for a player folder) and
    // the canonical directory with every "/" turned into "_"; a name too long
    // for the file system ends in a hash instead.
    static std::string LockFileName(const std::string& canonicalDirectory,
                                    LockedDirectory kind = LockedDirectory::Working);
    // $XDG_RUNTIME_DIR, or /tmp/velk2-<uid> (made 0700); empty when neither is usable.
    static std::string DefaultLockDirectory();

private:
    int fd_ = -1;
};

}  // namespace platform
