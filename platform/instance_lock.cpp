#include "platform/instance_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/types.h"

namespace platform {
namespace {

constexpr const char* kWorkingPrefix = "Velk2SystemRunning-";
constexpr const char* kPlayerFolderPrefix = "Velk2PlayerFolder-";
constexpr size_t kMaxFileName = 255;

bool IsPrivateDirectory(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

std::string CanonicalDirectory(const std::string& directory) {
    char* resolved = realpath(directory.c_str(), nullptr);
    if (resolved == nullptr) return directory;
    std::string result(resolved);
    free(resolved);
    return result;
}

}  // namespace

std::string InstanceLock::LockFileName(const std::string& canonicalDirectory, LockedDirectory kind) {
    std::string name = kind == LockedDirectory::PlayerFolder ? kPlayerFolderPrefix : kWorkingPrefix;
    for (char c : canonicalDirectory) name.push_back(c == '/' ? '_' : c);
    if (name.size() <= kMaxFileName) return name;
    // FNV-1a over the whole path keeps distinct deep directories apart.
    u64 hash = 1469598103934665603ull;
    for (unsigned char c : canonicalDirectory) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char tail[24];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    return name.substr(0, kMaxFileName - std::string(tail).size()) + tail;
}

std::string InstanceLock::DefaultLockDirectory() {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && IsPrivateDirectory(runtime)) return runtime;
    std::string fallback = "/tmp/velk2-" + std::to_string(getuid());
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return "";
    // Someone else's folder or a symlink planted under our name is never used.
    return IsPrivateDirectory(fallback) ? fallback : "";
}

InstanceLockResult InstanceLock::Acquire(const std::string& directory, const std::string& lockDirectory,
                                         LockedDirectory kind) {
    Release();
    std::string folder = lockDirectory.empty() ? DefaultLockDirectory() : lockDirectory;
    if (folder.empty()) return InstanceLockResult::Failed;
    std::string path = folder + "/" + LockFileName(CanonicalDirectory(directory), kind);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return InstanceLockResult::Failed;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? InstanceLockResult::HeldByAnother : InstanceLockResult::Failed;
    }
    fd_ = fd;
    return InstanceLockResult::Acquired;
}

void InstanceLock::Release() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

}  // namespace platform
