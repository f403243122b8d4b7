#include "foundation/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <mutex>
#include <vector>

#include "foundation/number_text.h"
#include "platform/clock.h"
#include "platform/dialog.h"

namespace {

// Set only by tests; read by every atomic write.
std::atomic<FileFault> g_fileFault{FileFault::None};
// Makes temporary names unique within the process; the pid makes them unique
// between copies of the program sharing one data folder.
std::atomic<u64> g_tempCounter{0};

constexpr u32 kBoxIntervalMs = 60 * 1000;

// When each file last had a failure box, and last had a line on stderr, by
// path. Any thread may save.
struct FailureTimes {
    u32 boxAt = 0;
    u32 saidAt = 0;
    bool said = false;
    u64 unsaid = 0;  // failures without box or line since the last line
};
std::mutex g_boxTimesLock;
std::map<std::string, FailureTimes> g_boxTimes;  // guarded by g_boxTimesLock

// True, and noted, when the file had no box within the last minute.
bool TakeBoxTurn(const std::string& path) {
    const u32 now = platform::NowMs();
    std::lock_guard<std::mutex> hold(g_boxTimesLock);
    auto [at, fresh] = g_boxTimes.try_emplace(path, FailureTimes{now});
    if (fresh) return true;
    if (static_cast<u32>(now - at->second.boxAt) < kBoxIntervalMs) return false;
    at->second.boxAt = now;
    return true;
}

// A failure with no box: the first is said, later ones at most once a minute
// with how many went unsaid, so a game saving in a loop on a full disk does
// not flood stderr. Gives the number of failures the line stands for, or 0
// when nothing is to be said now.
u64 TakeLineTurn(const std::string& path) {
    const u32 now = platform::NowMs();
    std::lock_guard<std::mutex> hold(g_boxTimesLock);
    FailureTimes& times = g_boxTimes[path];
    ++times.unsaid;
    if (times.said && static_cast<u32>(now - times.saidAt) < kBoxIntervalMs) return 0;
    times.said = true;
    times.saidAt = now;
    const u64 count = times.unsaid;
    times.unsaid = 0;
    return count;
}

FileFault CurrentFault() {
    return g_fileFault.load(std::memory_order_relaxed);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable: without it a crash can forget the new
// directory entry even though the data was flushed.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void SetFileFaultForTesting(FileFault fault) {
    g_fileFault.store(fault, std::memory_order_relaxed);
}

bool classAtomicFile::Open(const std::string& path) {
    if (IsOpen() || path.empty()) return false;
    path_ = path;
    failed_ = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath_ = FormatToString("%s.tmp-%ld-%llu", path.c_str(), static_cast<long>(::getpid()),
                                   static_cast<unsigned long long>(g_tempCounter.fetch_add(1)));
        int fd;
        do {
            fd = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            ::close(fd);
            if (file_.OpenWrite(tempPath_, false, true)) return true;
            ::unlink(tempPath_.c_str());
            break;
        }
        if (errno != EEXIST) break;
    }
    tempPath_.clear();
    return false;
}

u64 classAtomicFile::Write(const void* data, u64 n) {
    if (!IsOpen()) return 0;
    if (n == 0) return 0;
    u64 written;
    if (CurrentFault() == FileFault::DiskFull) {
        // What a full disk does: part of the data goes in, then ENOSPC.
        written = file_.Write(data, n / 2);
        errno = ENOSPC;
    } else {
        written = file_.Write(data, n);
    }
    if (written != n) failed_ = true;
    return written;
}

bool classAtomicFile::Commit(bool replace) {
    if (!IsOpen()) return false;
    bool ok = !failed_;
    if (ok) ok = CurrentFault() != FileFault::SyncFailure && ::fsync(file_.Descriptor()) == 0;
    file_.Close();
    if (ok) {
        if (CurrentFault() == FileFault::RenameFailure) {
            ok = false;
        } else if (replace) {
            ok = ::rename(tempPath_.c_str(), path_.c_str()) == 0;
        } else {
            // A hard link fails when the target exists, so nothing is replaced
            // even if another process creates the target meanwhile.
            ok = ::link(tempPath_.c_str(), path_.c_str()) == 0;
            ::unlink(tempPath_.c_str());
        }
    }
    if (!ok) ::unlink(tempPath_.c_str());
    if (ok) SyncFolder(FolderOf(path_));
    tempPath_.clear();
    failed_ = false;
    return ok;
}

void classAtomicFile::Discard() {
    if (!IsOpen()) return;
    file_.Close();
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    failed_ = false;
}

bool WriteFileAtomically(const std::string& path, const void* data, u64 size) {
    classAtomicFile file;
    if (!file.Open(path)) return false;
    if (size != 0 && file.Write(data, size) != size) return false;
    return file.Commit();
}

namespace {

// The files written through temporaries: "System.dat", "Already.dat", the
// snapshot "save----.dat" and the play-data slots, each slot named as its
// number formats ("save%4.4lld.dat", as the play-data code names them).
bool IsOwnFileName(std::string_view name) {
    if (name == "System.dat" || name == "Already.dat" || name == "save----.dat") return true;
    if (name.size() <= 8 || !name.starts_with("save") || !name.ends_with(".dat")) return false;
    const std::string_view digits = name.substr(4, name.size() - 8);
    long long slot = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "save%4.4lld.dat", slot);
    return name == formatted;
}

// The pid in "<own file>.tmp-<pid>-<n>", or 0 when the name is not of that
// form: another file that only shares the suffix is none of ours.
long TemporaryOwner(const char* name) {
    const char* mark = std::strstr(name, ".tmp-");
    if (mark == nullptr || !IsOwnFileName(std::string_view(name, static_cast<std::size_t>(mark - name)))) {
        return 0;
    }
    const char* digits = mark + 5;
    long pid = 0;
    const char* at = digits;
    for (; *at >= '0' && *at <= '9'; ++at) {
        if (pid > 99999999) return 0;
        pid = pid * 10 + (*at - '0');
    }
    if (at == digits || *at != '-' || pid <= 0) return 0;
    const char* counter = ++at;
    while (*at >= '0' && *at <= '9') ++at;
    return at != counter && *at == '\0' ? pid : 0;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) return 0;
    const long self = static_cast<long>(::getpid());
    int removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const long owner = TemporaryOwner(entry->d_name);
        if (owner == 0) continue;
        // Another copy of the game may share the folder and be saving now;
        // at start-up this process has written nothing, so its own pid marks
        // an older process's file.
        if (owner != self && !(::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH)) continue;
        const std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + entry->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    ::closedir(directory);
    return removed;
}

int LastWriteError() {
    return errno != 0 ? errno : EIO;
}

bool WriteReportingFailure(const std::string& path, const std::function<bool()>& write) {
    errno = 0;
    if (write()) return true;
    return ReportWriteFailure(path, LastWriteError(), write);
}

bool ReportWriteFailure(const std::string& path, int error, const std::function<bool()>& retry) {
    for (bool retried = false;; retried = true) {
        if (retried) {
            errno = 0;
            if (retry()) return true;
            error = LastWriteError();
        }
        // A Retry the player asked for always gets its answer.
        if (!TakeBoxTurn(path) && !retried) {
            const u64 count = TakeLineTurn(path);
            if (count == 1) {
                std::fprintf(stderr,
                             "velk2: %s was not written (%s); the old file is kept. No box: this file "
                             "already failed less than a minute ago; further failures are counted and said "
                             "once a minute.\n",
                             path.c_str(), std::strerror(error));
            } else if (count > 1) {
                std::fprintf(stderr,
                             "velk2: %s was not written %llu times since it was last said (%s); the old file "
                             "is kept.\n",
                             path.c_str(), static_cast<unsigned long long>(count), std::strerror(error));
            }
            std::fflush(stderr);
            return false;
        }
        const auto answer = platform::ShowMessageBox(FileErrorBoxText(path, error), "WriteFile Access Error",
                                                     platform::DialogButtons::RetryCancel,
                                                     platform::DialogIcon::Warning);
        if (answer != platform::DialogAnswer::Retry) return false;
    }
}

bool WriteFileAtomicallyReporting(const std::string& path, const void* data, u64 size) {
    return WriteReportingFailure(path, [&] { return WriteFileAtomically(path, data, size); });
}

void ForgetWriteFailuresForTesting() {
    std::lock_guard<std::mutex> hold(g_boxTimesLock);
    g_boxTimes.clear();
}

bool CopyFileUtf8(const std::string& source, const std::string& destination, bool failIfExists) {
    classFile in;
    if (!in.OpenRead(source, false)) return false;
    const u64 size = in.GetSize();
    if (size == kFileError) return false;
    classAtomicFile out;
    if (!out.Open(destination)) return false;
    // Streamed in pieces: the source's size is only what it claims to be.
    std::vector<char> buffer(1 << 16);
    u64 copied = 0;
    for (;;) {
        const u64 got = in.Read(buffer.data(), buffer.size());
        if (got == 0) break;
        if (out.Write(buffer.data(), got) != got) return false;
        copied += got;
    }
    if (copied != size) return false;
    return out.Commit(!failIfExists);
}
