#include "system/system_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "foundation/application.h"
#include "foundation/atomic_file.h"
#include "foundation/file.h"
#include "foundation/subsystem_hooks.h"
#include "platform/dialog.h"
#include "script/already_read.h"
#include "script/global_variables.h"
#include "script/script_variable.h"
#include "system/application_identity.h"

namespace {

constexpr u8 kSystemMagic[16] = {0,   'V', 'E', 'L', 'K', '2', 'S', 'Y',
                                 'S', 'T', 'E', 'M', 'F', 'I', 'L', 'E'};
constexpr u8 kAlreadyMagic[12] = {0, 'Q', 'V', '2', 'A', 'L', 'R', 'E', 'A', 'D', 'Y', 0};
constexpr u64 kIdentityOffsetSystem = 16;
constexpr u64 kIdentityOffsetAlready = 20;
constexpr u64 kBlockFieldsOffset = 1672;
// A settings or marks file is a few hundred kilobytes at most; anything far
// beyond is not ours and is not worth the memory.
constexpr u64 kLargestFileRead = u64{1} << 30;

void Put64(u8* at, u64 value) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<u8>(value >> (8 * i));
}
void Put32(u8* at, u32 value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<u8>(value >> (8 * i));
}
u64 Get64(const u8* at) {
    u64 value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
    return value;
}
u32 Get32(const u8* at) {
    return static_cast<u32>(at[0]) | static_cast<u32>(at[1]) << 8 | static_cast<u32>(at[2]) << 16 |
           static_cast<u32>(at[3]) << 24;
}

enum class FileRead { Read, Missing, Unreadable };

// The whole file, opened without a box: a missing file is the normal first
// run. Something that is no file at all (a folder, a pipe) counts as missing,
// as it does for every reader; a file that is there but gives no bytes does not.
FileRead ReadFileBytes(const std::string& path, std::vector<u8>& out) {
    classFile file;
    if (!file.OpenRead(path, false))
        return errno == ENOENT || errno == ENOTDIR || errno == EISDIR ? FileRead::Missing
                                                                      : FileRead::Unreadable;
    const u64 size = file.GetSize();
    if (size == kFileError || size > kLargestFileRead) return FileRead::Unreadable;
    out.resize(static_cast<size_t>(size));
    return file.Read(out.data(), size) == size ? FileRead::Read : FileRead::Unreadable;
}

// A damaged file that could not be moved aside stays where it is, and this
// run does not write over it. Set at start-up before any script thread runs,
// read by the writers later; both flags atomic.
struct HeldFile {
    std::atomic<bool> held{false};
    std::atomic<bool> said{false};  // the refused write was said
};
HeldFile g_systemDataHold;
HeldFile g_alreadyDataHold;

constexpr int kLastDamagedNumber = 999;

std::string DamagedName(const std::string& path, int number) {
    return number == 1 ? path + ".damaged" : path + ".damaged." + std::to_string(number);
}

// A rename that never replaces what has the new name (EEXIST instead). A file
// system without that kind of rename gets the look first.
int RenameKeepingTarget(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// A file of ours that cannot be read at start-up would be replaced at exit
// by one holding only the defaults: every setting, every unlocked ending or
// every read mark gone without a word. It goes aside first, under a name of
// its own that the clean-up of stale temporaries never takes; a file kept by
// an earlier start is never replaced. When it cannot go aside it stays, and
// the writes of this run leave it alone. True when it was moved.
bool KeepDamagedFile(const std::string& path) {
    int error = EEXIST;
    for (int number = 1; number <= kLastDamagedNumber && error == EEXIST; ++number) {
        const std::string kept = DamagedName(path, number);
        if (RenameKeepingTarget(path, kept) == 0) {
            std::fprintf(
                stderr,
                "velk2: %s cannot be read; it is kept as %s and the program starts with the defaults\n",
                path.c_str(), kept.c_str());
            std::fflush(stderr);
            return true;
        }
        error = errno;
    }
    if (error == EEXIST) {
        std::fprintf(
            stderr,
            "velk2: %s cannot be read and cannot be kept aside: %s to %s are all taken; it stays as it "
            "is, this run does not write over it, and the program starts with the defaults\n",
            path.c_str(), DamagedName(path, 1).c_str(), DamagedName(path, kLastDamagedNumber).c_str());
    } else {
        std::fprintf(stderr,
                     "velk2: %s cannot be read and could not be kept aside (%s); it stays as it is, this run "
                     "does not write over it, and the program starts with the defaults\n",
                     path.c_str(), std::strerror(error));
    }
    std::fflush(stderr);
    return false;
}

// After the start-up read: a file that is there but was not read whole goes
// aside, or is held when it cannot.
void SettleStartUpRead(HeldFile& hold, const std::string& path, bool damaged) {
    hold.said.store(false);
    hold.held.store(damaged && !KeepDamagedFile(path));
}

// The writes of a file held at start-up: refused, and said once.
bool IsHeld(HeldFile& hold, const std::string& path) {
    if (!hold.held.load()) return false;
    if (!hold.said.exchange(true)) {
        std::fprintf(stderr, "velk2: %s is not written: it is a damaged file that could not be kept aside\n",
                     path.c_str());
        std::fflush(stderr);
    }
    return true;
}

std::string FolderPath(const char* name) {
    const classApplication* application = GetApplication();
    return application != nullptr ? application->dataFolder + name : std::string();
}

}  // namespace

// ---- "System.dat" ----

void BuildSystemData(std::vector<u8>& out) {
    const classApplication* application = GetApplication();
    // The screen mode is a setting like the others: the settings screen and
    // the next start read it back from the variable. A switch the player just
    // asked for counts, though the render thread has not carried it out yet.
    classScriptValue fullScreen;
    const bool isFullScreen = application != nullptr && application->graphicDevice != nullptr &&
                              application->graphicDevice->IsFullScreenRequested();
    fullScreen.SetInteger(isFullScreen ? 1 : 0);
    g_globalVariables.Set("System.FullScreen", 0, fullScreen);

    out.assign(kSystemDataHeaderSize, 0);
    std::memcpy(out.data(), kSystemMagic, sizeof kSystemMagic);
    std::memcpy(out.data() + kIdentityOffsetSystem, g_applicationGuid, sizeof g_applicationGuid);
    if (application != nullptr) {
        Put64(out.data() + 32, static_cast<u64>(application->textSpeed.load()));
        Put64(out.data() + 40, application->keyWaitAfterVoiceStop.load() != 0 ? 1 : 0);
        Put64(out.data() + 48, application->transitionCut.load() != 0 ? 1 : 0);
        Put64(out.data() + 56, application->skipAlreadyOnly.load() != 0 ? 1 : 0);
        Put64(out.data() + 64, static_cast<u64>(application->parameterSkipType.load()));
    }
    std::vector<u8> block;
    g_globalVariables.WriteRecord(block);
    if (!block.empty()) {
        Put64(out.data() + kBlockFieldsOffset, kSystemDataHeaderSize);
        Put64(out.data() + kBlockFieldsOffset + 8, block.size());
        out.insert(out.end(), block.begin(), block.end());
    }
}

bool IsSystemDataWhole(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kSystemDataHeaderSize) return false;
    if (std::memcmp(bytes, kSystemMagic, sizeof kSystemMagic) != 0) return false;
    if (std::memcmp(bytes + kIdentityOffsetSystem, g_applicationGuid, sizeof g_applicationGuid) != 0)
        return false;
    // The block is absent, or it follows the header and ends the file.
    const u64 offset = Get64(bytes + kBlockFieldsOffset);
    const u64 blockSize = Get64(bytes + kBlockFieldsOffset + 8);
    if (offset == 0) return blockSize == 0 && size == kSystemDataHeaderSize;
    return offset == kSystemDataHeaderSize && blockSize == size - offset &&
           IsVariableListWhole(bytes + offset, blockSize);
}

bool ParseSystemData(const u8* bytes, u64 size) {
    if (!IsSystemDataWhole(bytes, size)) return false;
    // Without a block both fields are 0: nothing is read.
    classScriptVariableList loaded;
    ReadVariableList(loaded, bytes + Get64(bytes + kBlockFieldsOffset), Get64(bytes + kBlockFieldsOffset + 8));
    // Variables the file does not name keep what they hold; a repeated
    // name ends with its last value, as a sequence of stores would.
    for (const classScriptVariable& variable : loaded)
        g_globalVariables.Set(variable.name, variable.index, variable.value);
    return true;
}

bool ReadSystemDataFile(const std::string& path) {
    std::vector<u8> bytes;
    if (ReadFileBytes(path, bytes) != FileRead::Read) return false;
    return ParseSystemData(bytes.data(), bytes.size());
}

bool WriteSystemDataFile(const std::string& path) {
    std::vector<u8> bytes;
    BuildSystemData(bytes);
    return WriteFileAtomicallyReporting(path, bytes.data(), bytes.size());
}

bool ReadSystemData() {
    const std::string path = FolderPath("System.dat");
    if (path.empty()) return false;
    std::vector<u8> bytes;
    const FileRead read = ReadFileBytes(path, bytes);
    const bool whole = read == FileRead::Read && ParseSystemData(bytes.data(), bytes.size());
    SettleStartUpRead(g_systemDataHold, path, read != FileRead::Missing && !whole);
    return whole;
}

bool WriteSystemData() {
    const std::string path = FolderPath("System.dat");
    return !path.empty() && !IsHeld(g_systemDataHold, path) && WriteSystemDataFile(path);
}

// ---- "Already.dat" ----

bool BuildAlreadyData(classAlreadyReadList& list, std::vector<u8>& out) {
    out.assign(kAlreadyDataHeaderSize, 0);
    std::vector<u8> table;
    u32 count = 0;
    bool fits = true;
    // The list lock is held only while the bytes are gathered; the disk and
    // any box come after it, so no script thread that loads a script waits
    // on them.
    list.ForEach([&](const classAlreadyReadBuffer& buffer) {
        if (!fits || buffer.name.empty() || buffer.bytes.empty()) return;
        const u64 nameOffset = out.size();
        const u64 nameLength = buffer.name.size() + 1;
        const u64 marksOffset = nameOffset + nameLength;
        const u64 end = marksOffset + buffer.bytes.size() + (u64{count} + 1) * kAlreadyDataEntrySize;
        if (end > std::numeric_limits<u32>::max()) {
            fits = false;
            return;
        }
        out.insert(out.end(), buffer.name.begin(), buffer.name.end());
        out.push_back(0);
        const u32 marks = static_cast<u32>(buffer.bytes.size());
        // Script threads may be marking meanwhile; each mark is read whole.
        u8* first = const_cast<u8*>(buffer.bytes.data());
        for (u32 i = 0; i < marks; ++i)
            out.push_back(std::atomic_ref<u8>(first[i]).load(std::memory_order_relaxed));
        u8 entry[kAlreadyDataEntrySize];
        Put32(entry, static_cast<u32>(nameOffset));
        Put32(entry + 4, static_cast<u32>(nameLength));
        Put32(entry + 8, marks);
        Put32(entry + 12, static_cast<u32>(marksOffset));
        table.insert(table.end(), entry, entry + sizeof entry);
        ++count;
    });
    if (!fits) return false;
    std::memcpy(out.data(), kAlreadyMagic, sizeof kAlreadyMagic);
    Put32(out.data() + 12, count);
    Put32(out.data() + 16, static_cast<u32>(out.size()));
    std::memcpy(out.data() + kIdentityOffsetAlready, g_applicationGuid, sizeof g_applicationGuid);
    out.insert(out.end(), table.begin(), table.end());
    return true;
}

namespace {

// One entry of the table at `tableOffset`: where its name and marks lie.
struct AlreadyDataEntry {
    u64 nameOffset;
    u64 nameLength;  // with its zero
    u64 marks;
    u64 marksOffset;
};

AlreadyDataEntry AlreadyDataEntryAt(const u8* bytes, u64 tableOffset, u64 index) {
    const u8* entry = bytes + tableOffset + index * kAlreadyDataEntrySize;
    return {Get32(entry), Get32(entry + 4), Get32(entry + 8), Get32(entry + 12)};
}

}  // namespace

bool IsAlreadyDataWhole(const u8* bytes, u64 size) {
    if (bytes == nullptr || size <= kAlreadyDataHeaderSize) return false;
    if (std::memcmp(bytes, kAlreadyMagic, sizeof kAlreadyMagic) != 0) return false;
    if (std::memcmp(bytes + kIdentityOffsetAlready, g_applicationGuid, sizeof g_applicationGuid) != 0)
        return false;
    const u64 count = Get32(bytes + 12);
    const u64 tableOffset = Get32(bytes + 16);
    // The table ends the file, and its entries name, in order, the scripts
    // laid out before it: each name with its zero, directly followed by its
    // marks, the first right after the header and the last up to the table.
    if (tableOffset < kAlreadyDataHeaderSize || tableOffset > size ||
        count * kAlreadyDataEntrySize != size - tableOffset)
        return false;
    u64 next = kAlreadyDataHeaderSize;
    for (u64 i = 0; i < count; ++i) {
        const auto [nameOffset, nameLength, marks, marksOffset] = AlreadyDataEntryAt(bytes, tableOffset, i);
        if (nameOffset != next || nameLength < 2 || nameLength > tableOffset - nameOffset) return false;
        const u8* name = bytes + nameOffset;
        if (std::memchr(name, 0, static_cast<size_t>(nameLength)) != name + nameLength - 1) return false;
        if (marksOffset != nameOffset + nameLength || marks == 0 || marks > tableOffset - marksOffset)
            return false;
        next = marksOffset + marks;
    }
    return next == tableOffset;
}

bool ParseAlreadyData(classAlreadyReadList& list, const u8* bytes, u64 size) {
    if (list.Count() != 0) return true;
    if (!IsAlreadyDataWhole(bytes, size)) return false;
    const u64 count = Get32(bytes + 12);
    const u64 tableOffset = Get32(bytes + 16);
    for (u64 i = 0; i < count; ++i) {
        const auto [nameOffset, nameLength, marks, marksOffset] = AlreadyDataEntryAt(bytes, tableOffset, i);
        u8* buffer = nullptr;
        const std::string name(reinterpret_cast<const char*>(bytes + nameOffset),
                               static_cast<size_t>(nameLength - 1));
        if (!list.Register(name, static_cast<u32>(marks), &buffer)) continue;
        for (u32 k = 0; k < marks; ++k) WriteAlreadyReadByte(buffer, k, bytes[marksOffset + k]);
    }
    return true;
}

bool ReadAlreadyDataFile(classAlreadyReadList& list, const std::string& path) {
    if (list.Count() != 0) return true;
    std::vector<u8> bytes;
    if (ReadFileBytes(path, bytes) != FileRead::Read) return false;
    return ParseAlreadyData(list, bytes.data(), bytes.size());
}

bool WriteAlreadyDataFile(classAlreadyReadList& list, const std::string& path) {
    if (list.Count() == 0) return true;
    std::vector<u8> bytes;
    if (!BuildAlreadyData(list, bytes)) return false;
    // Only nameless or empty buffers: nothing worth replacing the file with.
    if (bytes.size() == kAlreadyDataHeaderSize) return true;
    return WriteFileAtomicallyReporting(path, bytes.data(), bytes.size());
}

bool ReadAlreadyData(classAlreadyReadList& list) {
    if (list.Count() != 0) return true;
    const std::string path = FolderPath("Already.dat");
    if (path.empty()) return false;
    std::vector<u8> bytes;
    const FileRead read = ReadFileBytes(path, bytes);
    const bool whole = read == FileRead::Read && ParseAlreadyData(list, bytes.data(), bytes.size());
    SettleStartUpRead(g_alreadyDataHold, path, read != FileRead::Missing && !whole);
    return whole;
}

bool WriteAlreadyData(classAlreadyReadList& list) {
    const std::string path = FolderPath("Already.dat");
    return !path.empty() && !IsHeld(g_alreadyDataHold, path) && WriteAlreadyDataFile(list, path);
}

void RegisterSystemFiles() {
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.readSystemData = [] { ReadSystemData(); };
    hooks.writeSystemData = [] { WriteSystemData(); };
    hooks.readAlreadyData = [] { ReadAlreadyData(g_alreadyReadList); };
    hooks.writeAlreadyData = [] { WriteAlreadyData(g_alreadyReadList); };
}
