#pragma once
// One running copy per working directory and user. The lock is a flock on a
// file whose name is made from the canonical working directory, so it is
// atomic (two copies started at the same moment cannot both win) and the
// kernel releases it when its holder dies, however it dies.
//
// The file lives in $XDG_RUNTIME_DIR, else in a private 0700 folder of the
// user under /tmp; never in a folder that other users may write.

#include <string>

namespace platform {

enum class InstanceLockResult { Acquired, HeldByAnother, Failed };

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock of `workingDirectory` in `lockDirectory` (empty: the
    // default per-user folder). The file is left in place after Release.
    InstanceLockResult Acquire(const std::string& workingDirectory, const std::string& lockDirectory = "");
    void Release();
    bool IsHeld() const { return fd_ >= 0; }

    // "Velk2SystemRunning-" and the canonical directory with every "/" turned
    // into "_"; a name too long for the file system ends in a hash instead.
    static std::string LockFileName(const std::string& canonicalDirectory);
    // $XDG_RUNTIME_DIR, or /tmp/velk2-<uid> (made 0700); empty when neither is usable.
    static std::string DefaultLockDirectory();

private:
    int fd_ = -1;
};

}  // namespace platform
