#pragma once
// The ".qvc" archives that hold the game's data, and ReadWholeFile, the one
// road by which scripts, images, sounds, voices, cursors and character lists
// are read: the archives "data09.qvc" down to "data01.qvc" in the working
// directory first, then the loose file of the same relative name.
//
// Layout (all integers u32 little-endian, offsets from the start of the file):
//   header: 16 bytes the reader ignores, index offset at 16, index size at 20;
//   index: index size / 20 records of name offset, name length (with its
//   zero), data offset, data size and one unused word. Names are relative
//   paths with "\\" separators; names, index and data may lie anywhere.
// Archive files are untrusted: every offset and size is checked against the
// real file size, entries that point outside the file are dropped, and a read
// that comes up short is a failure.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/file.h"
#include "foundation/types.h"

struct classArchiveEntry {
    u32 dataOffset = 0;
    u32 dataSize = 0;
    std::string name;
};

// Where an index is read from: the archive file, or memory (fuzzing, tests).
class classArchiveSource {
  public:
    virtual ~classArchiveSource() = default;
    virtual u64 Size() const = 0;
    // True only when all n bytes at `offset` were read.
    virtual bool ReadAt(u64 offset, u64 n, void* out) = 0;
};

// What a damaged index lost: the index reaches past the end of the file (the
// records that fit are kept), or records point outside it.
struct classArchiveDamage {
    bool indexCut = false;
    u64 droppedEntries = 0;
    bool Any() const { return indexCut || droppedEntries != 0; }
};

// Reads the header and index of an archive of `source.Size()` bytes. Entries
// whose name or data lies outside the file, and entries with empty names, are
// left out; an index reaching past the end keeps the records that fit. False
// (and no entries) when the header itself cannot be read.
bool ParseArchiveIndex(classArchiveSource& source, std::vector<classArchiveEntry>& entries,
                       classArchiveDamage* damage = nullptr);

class classArchive {
  public:
    classArchive() = default;
    ~classArchive() { Close(); }
    classArchive(const classArchive&) = delete;
    classArchive& operator=(const classArchive&) = delete;

    // The archive's path relative to the working directory (UTF-8).
    void SetFileName(std::string name);
    const std::string& FileName() const { return fileName_; }

    // Reads the index once; later calls return at once. A missing archive
    // simply has no entries; one that is there but damaged is said on stderr
    // and keeps what can be read of it. Safe on any thread.
    void LoadIndex();
    // The first entry in index order whose name equals `name` ignoring the case
    // of ASCII letters ("\\" and "/" are different bytes), or null.
    const classArchiveEntry* Find(std::string_view name);
    // True when the archive holds the name and all its bytes were read; an
    // entry of size 0 gives true and an empty vector. `out` is untouched when
    // the name is not held and empty after a failed read.
    bool ReadEntry(std::string_view name, std::vector<u8>& out);
    // Opens `file` on the archive itself and gives where the entry's bytes
    // lie in it, for a reader that takes them a piece at a time. False when
    // the name is not held or the archive no longer holds the whole range.
    bool OpenEntry(std::string_view name, classFile& file, u64* offset, u64* size);
    // Frees the index; the next lookup reads it again. Not to be called while
    // another thread uses the archive.
    void Close();
    int32 Count();
    // True once the index was read from an archive that is there but damaged.
    bool IsDamaged() const { return damaged_.load(std::memory_order_acquire); }

  private:
    std::string fileName_;
    // Open from the index load to Close whenever the archive has entries.
    // Reads use positioned reads only, so threads share it without a lock and
    // without a shared file position; and the data read always comes from
    // the same file as the index.
    classFile file_;
    // Written once under loadLock_ before loaded_ is released; read-only after.
    std::vector<classArchiveEntry> entries_;
    // Name → first entry of that name in index order, hashed and compared
    // ignoring ASCII case so a lookup needs no lower-cased copy.
    struct NoCaseHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const;
    };
    struct NoCaseEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    std::unordered_map<std::string, u32, NoCaseHash, NoCaseEqual> byName_;
    std::mutex loadLock_;
    std::atomic<bool> loaded_{false};
    std::atomic<bool> damaged_{false};
};

inline constexpr int kArchiveCount = 9;

// data01 … data09, named by MountArchives.
extern classArchive g_archives[kArchiveCount];
// The archives in search order, "data09.qvc" first, ending with null.
extern classArchive* const g_archiveSearchOrder[kArchiveCount + 1];

// Names the nine archives on its first call; later calls do nothing.
void MountArchives();
// Forgets every archive's index, so that the next read looks at the working
// directory again. For tests and the benchmark only.
void ResetArchivesForTesting();

// The whole named file: from the first archive that holds it, else the loose
// file (the name's "\\" mapped to "/", letter case ignored where it does not
// match). An empty loose file counts as not read, and so does a file larger
// than kMaxWholeFileBytes (said once on stderr). With showError a loose file
// that cannot be opened shows the Retry/Cancel box; while an archive is
// damaged, the one box of the run names that archive instead. On failure
// `out` is empty, and `tooLarge` (when given) tells whether the file was
// refused for its size: that has been said, and a caller says nothing more.
inline constexpr u64 kMaxWholeFileBytes = u64{256} << 20;
bool ReadWholeFile(const std::string& name, std::vector<u8>& out, bool showError, bool* tooLarge = nullptr);

// When the loose file of this name is there but is no regular file, what
// it is ("a pipe", "a device", "a folder"); otherwise null. Readers take
// such a file for a missing one; this tells the writer why.
const char* LooseNonRegularFileKind(const std::string& name);

// The named file found as ReadWholeFile finds it, but left in place for a
// reader of files too large to hold whole (movies): `file` is open on the
// archive or the loose file, and its bytes are the `size` bytes at `offset`.
// Opens silently; false when neither holds the name.
bool OpenFileInPlace(const std::string& name, classFile& file, u64* offset, u64* size);
