#pragma once
// Writes that replace a file whole or not at all. The program's own files
// (play data, the snapshot, "System.dat", "Already.dat") are written into a
// temporary file beside the target, flushed to the disk and renamed over the
// old one. A full disk, a write error or a crash therefore never leaves a
// torn file: either the new bytes are in place or the old ones still are, and
// a failure is reported as one.

#include <functional>
#include <string>

#include "foundation/file.h"
#include "foundation/types.h"

class classAtomicFile {
  public:
    classAtomicFile() = default;
    // Not committed: the temporary file is removed and the target untouched.
    ~classAtomicFile() { Discard(); }
    classAtomicFile(const classAtomicFile&) = delete;
    classAtomicFile& operator=(const classAtomicFile&) = delete;

    // Creates the temporary file in the target's folder (a rename only
    // replaces atomically within one file system). False when that fails.
    bool Open(const std::string& path);
    // As classFile; a short or failed write marks the whole file as failed,
    // so a caller that ignores counts still cannot commit a torn file.
    u64 Write(const void* data, u64 n);
    // Writers back-patch headers through these.
    u64 Seek(int64 distance, int method) { return file_.Seek(distance, method); }
    u64 Tell() const { return file_.Tell(); }
    bool IsOpen() const { return file_.IsOpen(); }
    bool Failed() const { return failed_; }

    // Flushes, closes and renames over the target. With replace false an
    // existing target is kept and Commit fails. False on any failure, after
    // which the temporary file is gone and the target as it was.
    bool Commit(bool replace = true);
    void Discard();

  private:
    classFile file_;
    std::string path_;
    std::string tempPath_;
    bool failed_ = false;
};

// The whole of `data` as the new contents of `path`, atomically.
bool WriteFileAtomically(const std::string& path, const void* data, u64 size);

// Copies a file into place atomically (a slot is never half overwritten).
// With failIfExists an existing destination is left alone and the copy fails.
bool CopyFileUtf8(const std::string& source, const std::string& destination, bool failIfExists);

// Removes, from `folder`, the temporary files that writes of this program
// left when they were cut off (a kill, a crash, a power cut): names of the
// form "<file>.tmp-<pid>-<n>" whose process no longer runs, where <file> is
// one of the program's own ("System.dat", "Already.dat", a play-data slot,
// the snapshot). Nothing else is touched. Gives the number removed.
int RemoveStaleTemporaries(const std::string& folder);

// The program's own files are never lost without a word. `write` is tried;
// when it fails, the file error box ("WriteFile Access Error", Retry/Cancel)
// names the file and the error, and Retry tries again. The failed write has
// kept the old file. A file that failed and was boxed less than a minute ago
// gets no second box, only a line on stderr, so a game that saves often on a
// full disk stays playable. Never call it holding a lock the box's thread may
// wait for.
bool WriteReportingFailure(const std::string& path, const std::function<bool()>& write);
// The same for a write that already failed with `error` (an errno value):
// the box, and `retry` for each Retry. For writes made where no box may be
// shown (under a lock the box's thread may wait for), reported later.
bool ReportWriteFailure(const std::string& path, int error, const std::function<bool()>& retry);
// errno after a failed write, or EIO when the failure set none.
int LastWriteError();
// WriteFileAtomically through WriteReportingFailure.
bool WriteFileAtomicallyReporting(const std::string& path, const void* data, u64 size);
// Tests: forgets when each file last had a box.
void ForgetWriteFailuresForTesting();

// A seam for tests: makes the atomic writer's next operations of one kind
// fail as the disk would. Stays in force until set back to None.
enum class FileFault {
    None,
    DiskFull,     // writes stop short with ENOSPC
    SyncFailure,  // the flush to the disk fails with EIO
    RenameFailure,
};
void SetFileFaultForTesting(FileFault fault);
