#include "foundation/archive.h"
#include "foundation/little_endian.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/file.h"
#include "foundation/number_text.h"
#include "foundation/report_once.h"
#include "platform/dialog.h"
#include "platform/file_path.h"

namespace {

constexpr u64 kHeaderSize = 24;
constexpr u64 kRecordSize = 20;
// Names are read in one piece when they lie this close together (the usual
// case: one name table), else one by one.
constexpr u64 kNameSpanLimit = u64{16} << 20;


bool Inside(u64 offset, u64 length, u64 total) {
    return offset <= total && length <= total - offset;
}

// An archive that is there but cannot be read whole is the game's fault, not
// a missing file's: the writer is told which archive, whatever asked first.
void ReportDamage(const std::string& archive, bool headerRead, const classArchiveDamage& damage, u64 kept) {
    const auto entries = [](u64 n) { return n == 1 ? std::string("1 entry") : std::to_string(n) + " entries"; };
    std::string what = "the archive " + QuotedName(archive) + " is damaged: ";
    if (!headerRead) {
        what += "it is too short for its header";
    } else {
        if (damage.indexCut) what += "its index reaches past the end of the file";
        if (damage.indexCut && damage.droppedEntries != 0) what += ", and ";
        if (damage.droppedEntries != 0) what += "it places " + entries(damage.droppedEntries) + " outside the file";
    }
    what += kept == 0 ? "; nothing is read from it" : "; only " + entries(kept) + " can be read";
    ReportOnce(classScriptOrigin{}, what);
}

// A file is read whole into memory; past this size that is a mistake of the
// game's (or a damaged file), not something to try and run out of memory on.
void ReportTooLarge(const std::string& name, u64 size) {
    ReportOnce("the file " + QuotedName(name) + " is larger than the 256 MiB a game file may be (" +
               std::to_string(size) + " bytes); it is not read");
}

// A file missing while an archive is damaged is most likely one the archive
// should have given: the player is told of the archive, once for the run,
// instead of answering a box for every file it held. True when an archive is
// damaged (the box shown now or before).
std::atomic<bool> g_damageBoxShown{false};

bool ShowDamagedArchiveBox() {
    for (classArchive* const* archive = g_archiveSearchOrder; *archive; ++archive) {
        if (!(*archive)->IsDamaged()) continue;
        if (!g_damageBoxShown.exchange(true)) {
            platform::ShowMessageBox("filename:" + (*archive)->FileName() +
                                         "\n\nerrorcomment:The archive is damaged and cannot be read.\n",
                                     "ReadFile Access Error", platform::DialogButtons::Ok,
                                     platform::DialogIcon::Warning);
        }
        return true;
    }
    return false;
}

class FileSource final : public classArchiveSource {
  public:
    explicit FileSource(classFile& file) : file_(file), size_(file.GetSize()) {}
    u64 Size() const override { return size_ == kFileError ? 0 : size_; }
    bool ReadAt(u64 offset, u64 n, void* out) override {
        if (!Inside(offset, n, Size())) return false;
        if (n == 0) return true;
        return file_.ReadAt(offset, out, n) == n;
    }

  private:
    classFile& file_;
    u64 size_;
};

}  // namespace

bool ParseArchiveIndex(classArchiveSource& source, std::vector<classArchiveEntry>& entries,
                       classArchiveDamage* damage) {
    classArchiveDamage unused;
    classArchiveDamage& lost = damage != nullptr ? *damage : unused;
    lost = classArchiveDamage{};
    entries.clear();
    const u64 total = source.Size();
    u8 header[kHeaderSize];
    if (total < kHeaderSize || !source.ReadAt(0, kHeaderSize, header)) return false;
    const u64 indexOffset = LoadLe32(header + 16);
    const u64 indexSize = LoadLe32(header + 20);
    // The index may claim more than the file holds: keep what is there, which
    // also bounds the allocation by the real file size.
    const u64 available = indexOffset < total ? total - indexOffset : 0;
    const u64 count = std::min(indexSize, available) / kRecordSize;
    lost.indexCut = count < indexSize / kRecordSize;
    if (count == 0) return true;
    std::vector<u8> index(static_cast<std::size_t>(count * kRecordSize));
    if (!source.ReadAt(indexOffset, index.size(), index.data())) return true;

    struct Pending {
        u32 nameOffset, nameLength, dataOffset, dataSize;
    };
    std::vector<Pending> pending;
    pending.reserve(static_cast<std::size_t>(count));
    u64 spanStart = UINT64_MAX, spanEnd = 0, nameBytes = 0;
    for (u64 i = 0; i < count; ++i) {
        const u8* record = index.data() + i * kRecordSize;
        const Pending p{LoadLe32(record), LoadLe32(record + 4), LoadLe32(record + 8), LoadLe32(record + 12)};
        if (p.nameLength == 0 || !Inside(p.nameOffset, p.nameLength, total) ||
            !Inside(p.dataOffset, p.dataSize, total)) {
            ++lost.droppedEntries;
            continue;
        }
        pending.push_back(p);
        spanStart = std::min<u64>(spanStart, p.nameOffset);
        spanEnd = std::max<u64>(spanEnd, u64{p.nameOffset} + p.nameLength);
        nameBytes += p.nameLength;
    }
    if (pending.empty()) return true;

    std::vector<u8> span;
    const u64 spanLength = spanEnd - spanStart;
    if (spanLength <= std::max(kNameSpanLimit, 2 * nameBytes)) {
        span.resize(static_cast<std::size_t>(spanLength));
        if (!source.ReadAt(spanStart, spanLength, span.data())) span.clear();
    }
    std::vector<u8> single;
    entries.reserve(pending.size());
    for (const Pending& p : pending) {
        const u8* name;
        if (!span.empty()) {
            name = span.data() + (p.nameOffset - spanStart);
        } else {
            single.resize(p.nameLength);
            if (!source.ReadAt(p.nameOffset, p.nameLength, single.data())) {
                ++lost.droppedEntries;
                continue;
            }
            name = single.data();
        }
        // The stored length includes the zero; a name without one ends with
        // its length instead of running on into what follows.
        const void* zero = std::memchr(name, 0, p.nameLength);
        const std::size_t length =
            zero ? static_cast<std::size_t>(static_cast<const u8*>(zero) - name) : p.nameLength;
        if (length == 0) continue;
        entries.push_back(
            {p.dataOffset, p.dataSize, std::string(reinterpret_cast<const char*>(name), length)});
    }
    return true;
}

std::size_t classArchive::NoCaseHash::operator()(std::string_view s) const {
    // FNV-1a over the lower-cased bytes.
    u64 h = 14695981039346656037ull;
    for (char c : s) {
        h ^= static_cast<u8>(AsciiToLower(c));
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}

bool classArchive::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCase(a, b);
}

void classArchive::SetFileName(std::string name) {
    fileName_ = std::move(name);
}

void classArchive::LoadIndex() {
    if (loaded_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> hold(loadLock_);
    if (loaded_.load(std::memory_order_relaxed)) return;
    entries_.clear();
    byName_.clear();
    file_.Close();
    if (!fileName_.empty() && file_.OpenRead(platform::ResolveLoosePath(fileName_), false)) {
        FileSource source(file_);
        classArchiveDamage damage;
        const bool headerRead = ParseArchiveIndex(source, entries_, &damage);
        if (!headerRead || damage.Any()) {
            ReportDamage(fileName_, headerRead, damage, entries_.size());
            damaged_.store(true, std::memory_order_release);
        }
        byName_.reserve(entries_.size());
        for (u32 i = 0; i < entries_.size(); ++i) byName_.emplace(entries_[i].name, i);
        if (entries_.empty()) file_.Close();
    }
    // Tried counts as loaded: a missing archive is not looked for again.
    loaded_.store(true, std::memory_order_release);
}

const classArchiveEntry* classArchive::Find(std::string_view name) {
    LoadIndex();
    if (byName_.empty()) return nullptr;
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &entries_[it->second];
}

bool classArchive::ReadEntry(std::string_view name, std::vector<u8>& out) {
    const classArchiveEntry* entry = Find(name);
    if (entry == nullptr) return false;
    // The entry lay inside the file when the index was read; a file cut short
    // since then shows up as a short read.
    out.resize(entry->dataSize);
    if (entry->dataSize != 0 &&
        file_.ReadAt(entry->dataOffset, out.data(), entry->dataSize) != entry->dataSize) {
        out.clear();
        return false;
    }
    return true;
}

bool classArchive::OpenEntry(std::string_view name, classFile& file, u64* offset, u64* size) {
    const classArchiveEntry* entry = Find(name);
    if (entry == nullptr) return false;
    file.Close();
    // A descriptor of its own: a long reader keeps no claim on the shared one.
    if (!file.OpenRead(platform::ResolveLoosePath(fileName_), false)) return false;
    const u64 fileSize = file.GetSize();
    if (fileSize == kFileError || static_cast<u64>(entry->dataOffset) + entry->dataSize > fileSize) {
        file.Close();
        return false;
    }
    *offset = entry->dataOffset;
    *size = entry->dataSize;
    return true;
}

void classArchive::Close() {
    std::lock_guard<std::mutex> hold(loadLock_);
    entries_.clear();
    entries_.shrink_to_fit();
    byName_.clear();
    file_.Close();
    damaged_.store(false, std::memory_order_release);
    loaded_.store(false, std::memory_order_release);
}

int32 classArchive::Count() {
    LoadIndex();
    return static_cast<int32>(entries_.size());
}

classArchive g_archives[kArchiveCount];
classArchive* const g_archiveSearchOrder[kArchiveCount + 1] = {
    &g_archives[8], &g_archives[7], &g_archives[6], &g_archives[5], &g_archives[4],
    &g_archives[3], &g_archives[2], &g_archives[1], &g_archives[0], nullptr};

namespace {
std::once_flag g_mountOnce;
}  // namespace

void MountArchives() {
    std::call_once(g_mountOnce, [] {
        for (int i = 0; i < kArchiveCount; ++i)
            g_archives[i].SetFileName(FormatToString("data%02d.qvc", i + 1));
    });
}

void ResetArchivesForTesting() {
    MountArchives();
    for (classArchive& archive : g_archives) archive.Close();
    g_damageBoxShown.store(false);
}

bool ReadWholeFile(const std::string& name, std::vector<u8>& out, bool showError, bool* tooLarge) {
    // `out` keeps its storage until the size is known: a caller that reuses
    // one buffer then pays for no zero-filling, only for the copy.
    MountArchives();
    if (tooLarge != nullptr) *tooLarge = false;
    if (!name.empty()) {
        for (classArchive* const* archive = g_archiveSearchOrder; *archive; ++archive) {
            const classArchiveEntry* entry = (*archive)->Find(name);
            if (entry == nullptr) continue;
            if (entry->dataSize > kMaxWholeFileBytes) {
                ReportTooLarge(name, entry->dataSize);
                if (tooLarge != nullptr) *tooLarge = true;
                out.clear();
                return false;
            }
            if ((*archive)->ReadEntry(name, out)) return true;
        }
    }
    // The name as written first; the case-blind search costs a walk of the
    // folders and is only needed when that fails.
    classFile file;
    bool retried = false;
    while (!file.OpenRead(platform::ToSlashPath(name), false) &&
           !file.OpenRead(platform::ResolveLoosePath(name), false)) {
        const int err = errno;
        if (showError && ShowDamagedArchiveBox()) showError = false;
        // The box names the file as the script wrote it, "\" and all; a
        // Retry looks for it afresh, letter case included.
        const std::string text = FileErrorBoxText(name, err);
        if (!showError || (!retried && !TakeBoxTurn("ReadFile Access Error", text, QuotedName(name))) ||
            platform::ShowMessageBox(text, "ReadFile Access Error", platform::DialogButtons::RetryCancel,
                                     platform::DialogIcon::Warning) != platform::DialogAnswer::Retry) {
            out.clear();
            return false;
        }
        retried = true;
    }
    const u64 size = file.GetSize();
    if (size != kFileError && size > kMaxWholeFileBytes) {
        ReportTooLarge(name, size);
        if (tooLarge != nullptr) *tooLarge = true;
    }
    if (size == 0 || size == kFileError || size > kMaxWholeFileBytes || size > out.max_size()) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(size));
    if (file.Read(out.data(), size) != size) {
        out.clear();
        return false;
    }
    return true;
}

const char* LooseNonRegularFileKind(const std::string& name) {
    struct stat st;
    // stat, not open: a pipe would hold an open until some writer came.
    if (::stat(platform::ToSlashPath(name).c_str(), &st) != 0 &&
        ::stat(platform::ResolveLoosePath(name).c_str(), &st) != 0)
        return nullptr;
    if (S_ISREG(st.st_mode)) return nullptr;
    if (S_ISFIFO(st.st_mode)) return "a pipe";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "a device";
}

bool OpenFileInPlace(const std::string& name, classFile& file, u64* offset, u64* size) {
    MountArchives();
    if (!name.empty()) {
        for (classArchive* const* archive = g_archiveSearchOrder; *archive; ++archive) {
            if ((*archive)->OpenEntry(name, file, offset, size)) return true;
        }
    }
    file.Close();
    if (!file.OpenRead(platform::ToSlashPath(name), false) &&
        !file.OpenRead(platform::ResolveLoosePath(name), false)) {
        return false;
    }
    const u64 fileSize = file.GetSize();
    if (fileSize == kFileError) {
        file.Close();
        return false;
    }
    *offset = 0;
    *size = fileSize;
    return true;
}
