#pragma once
// The program's file object: every file it reads or writes itself goes
// through one of these (archives, loose game files, play data, system files).
// A failed open can ask the user through a Retry/Cancel box; that box is the
// program's only report of a file error. Owned by the function that uses it,
// never shared between threads, never copied.

#include <string>

#include "foundation/types.h"

// All ones: what the size and position queries give on an error.
inline constexpr u64 kFileError = ~u64{0};

class classFile {
  public:
    classFile() = default;
    ~classFile() { Close(); }
    classFile(const classFile&) = delete;
    classFile& operator=(const classFile&) = delete;

    // Paths are UTF-8 and used as they are (no "\\" mapping: that is the
    // loose-file lookup's business). Both opens fail at once on an object that
    // is already open, leaving that file alone. With showError a failed open
    // shows the box titled "ReadFile Access Error" / "WriteFile Access Error";
    // Retry tries again, Cancel gives false. Reading takes regular files only:
    // a pipe, a device or a folder fails as a missing file would, at once.
    bool OpenRead(const std::string& path, bool showError);
    // keepContents: an existing file keeps its bytes (position at the start)
    // and a missing one is created empty; otherwise the file is emptied.
    bool OpenWrite(const std::string& path, bool showError, bool keepContents = false);

    // Whole-count transfers: interrupted and partial system calls are resumed,
    // so a result below n means the end of the file or an error. 0 when closed.
    u64 Read(void* buffer, u64 n);
    u64 Write(const void* data, u64 n);
    // Reads at an offset without moving the position (one system call where
    // Seek and Read take two); otherwise as Read.
    u64 ReadAt(u64 offset, void* buffer, u64 n);

    // 0 when closed, kFileError on an error.
    u64 GetSize() const;
    u64 Tell() const;
    // method 0: from the start, 1: from the position, 2: from the end.
    u64 Seek(int64 distance, int method);

    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    // The descriptor, for the atomic writer's flush; -1 when closed.
    int Descriptor() const { return fd_; }

  private:
    bool Open(const std::string& path, int flags, bool showError, const char* caption);

    int fd_ = -1;
};

// The text of the Retry/Cancel box for a failed open of `path` with the
// system error `err`: "filename:%s\nerrorcode:%d\n\nerrorcomment:%s\n" where
// the system's own text ends in its line break.
std::string FileErrorBoxText(const std::string& path, int err);
