#include "foundation/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/number_text.h"
#include "foundation/report_once.h"
#include "platform/dialog.h"

namespace {

// Keeps each system call well inside ssize_t.
constexpr u64 kMaxTransfer = u64{1} << 30;

std::string SystemErrorText(int err) {
    char buffer[256];
    // The GNU strerror_r returns its text, which may or may not be `buffer`.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return std::string(text ? text : "Unknown error") + "\n";
}

}  // namespace

std::string FileErrorBoxText(const std::string& path, int err) {
    return FormatToString("filename:%s\nerrorcode:%d\n\nerrorcomment:%s\n", path.c_str(), err,
                          SystemErrorText(err).c_str());
}

bool classFile::Open(const std::string& path, int flags, bool showError, const char* caption) {
    if (IsOpen()) return false;
    const bool reading = (flags & O_ACCMODE) == O_RDONLY;
    for (bool retried = false;; retried = true) {
        int fd;
        do {
            // A FIFO named as a game's picture would hold the reading thread
            // in open() until some writer came; without blocking it opens, is
            // seen for what it is and refused.
            fd = ::open(path.c_str(), flags | O_CLOEXEC | (reading ? O_NONBLOCK : 0), 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            struct stat st;
            int refusal = 0;
            if (::fstat(fd, &st) != 0) {
                refusal = reading ? errno : 0;
            } else if (S_ISDIR(st.st_mode)) {
                refusal = EISDIR;  // opens for reading on Linux but is no file to read
            } else if (reading && !S_ISREG(st.st_mode)) {
                refusal = ENOENT;  // devices and pipes are no game files: to the reader they are missing
            }
            if (refusal == 0) {
                if (reading) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                fd_ = fd;
                return true;
            }
            ::close(fd);
            errno = refusal;
        }
        const int err = errno;
        if (!showError) return false;
        const std::string text = FileErrorBoxText(path, err);
        // A Retry the player asked for always gets its answer.
        if (!retried && !TakeBoxTurn(caption, text, QuotedName(path))) return false;
        const auto answer = platform::ShowMessageBox(text, caption, platform::DialogButtons::RetryCancel,
                                                     platform::DialogIcon::Warning);
        if (answer != platform::DialogAnswer::Retry) return false;
    }
}

bool classFile::OpenRead(const std::string& path, bool showError) {
    return Open(path, O_RDONLY, showError, "ReadFile Access Error");
}

bool classFile::OpenWrite(const std::string& path, bool showError, bool keepContents) {
    return Open(path, O_WRONLY | O_CREAT | (keepContents ? 0 : O_TRUNC), showError, "WriteFile Access Error");
}

u64 classFile::Read(void* buffer, u64 n) {
    if (!IsOpen() || buffer == nullptr) return 0;
    u64 done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < n) {
        const u64 chunk = std::min(n - done, kMaxTransfer);
        const ssize_t got = ::read(fd_, out + done, static_cast<std::size_t>(chunk));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<u64>(got);
    }
    return done;
}

u64 classFile::ReadAt(u64 offset, void* buffer, u64 n) {
    if (!IsOpen() || buffer == nullptr || offset > static_cast<u64>(INT64_MAX)) return 0;
    u64 done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < n && offset + done <= static_cast<u64>(INT64_MAX)) {
        const u64 chunk = std::min(n - done, kMaxTransfer);
        const ssize_t got =
            ::pread(fd_, out + done, static_cast<std::size_t>(chunk), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<u64>(got);
    }
    return done;
}

u64 classFile::Write(const void* data, u64 n) {
    if (!IsOpen() || data == nullptr) return 0;
    u64 done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < n) {
        const u64 chunk = std::min(n - done, kMaxTransfer);
        const ssize_t put = ::write(fd_, in + done, static_cast<std::size_t>(chunk));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<u64>(put);
    }
    return done;
}

u64 classFile::GetSize() const {
    if (!IsOpen()) return 0;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return kFileError;
    return static_cast<u64>(st.st_size);
}

u64 classFile::Tell() const {
    if (!IsOpen()) return 0;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 ? kFileError : static_cast<u64>(at);
}

u64 classFile::Seek(int64 distance, int method) {
    if (!IsOpen()) return 0;
    int whence;
    switch (method) {
        case 0:
            whence = SEEK_SET;
            break;
        case 1:
            whence = SEEK_CUR;
            break;
        case 2:
            whence = SEEK_END;
            break;
        default:
            return kFileError;
    }
    const off_t at = ::lseek(fd_, static_cast<off_t>(distance), whence);
    return at < 0 ? kFileError : static_cast<u64>(at);
}

void classFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
