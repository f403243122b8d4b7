// Play-data files: building, writing, validating and restoring them.
#include "system/play_data.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

#include "foundation/application.h"
#include "foundation/atomic_file.h"
#include "foundation/critical_section.h"
#include "foundation/file.h"
#include "foundation/input_manager.h"
#include "foundation/memory_stream.h"
#include "foundation/report_once.h"
#include "presentation/graphic_object.h"
#include "presentation/interrupt_snapshot.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_record.h"
#include "presentation/shared_resource.h"
#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_value.h"
#include "script/script_variable.h"
#include "sound/sound_manager.h"
#include "system/application_identity.h"
#include "system/history_store.h"

namespace {

// No play-data file of ours comes near this; a larger file is not read into
// memory at all.
constexpr u64 kMaxPlayDataFileSize = u64{1} << 31;

u64 Get64(const std::vector<u8>& bytes, u64 at) {
    u64 value = 0;
    std::memcpy(&value, bytes.data() + at, 8);
    return value;
}
void Put64(std::vector<u8>& bytes, u64 at, u64 value) {
    std::memcpy(bytes.data() + at, &value, 8);
}

// Appends a section and notes its offset and size in the header; an empty
// section stays absent (0, 0).
void AddSection(std::vector<u8>& out, u64 field, const u8* data, u64 size) {
    if (size == 0) return;
    Put64(out, field, out.size());
    Put64(out, field + 8, size);
    out.insert(out.end(), data, data + size);
}
void AddSection(std::vector<u8>& out, u64 field, const std::vector<u8>& data) {
    AddSection(out, field, data.data(), data.size());
}

// The layer records are staged in memory at the positions they will have in
// the file: a save cannot lose its sounds for want of a file descriptor.
bool SaveSoundLayers(classSoundManager& manager, u64 start, std::vector<u8>& out, int64& firstOffset,
                     int64& count) {
    classMemoryStream records;
    out.clear();
    if (!manager.SaveLayers(records, start, &firstOffset, &count) || count <= 0) {
        firstOffset = 0;
        count = 0;
        return false;
    }
    out.assign(records.Data(), records.Data() + records.Size());
    return true;
}

// Writes that failed on the render thread, kept for a thread that may show
// the file error box: the render thread holds the application lock for the
// whole frame, and the box is drawn by the UI thread, which takes that lock
// for its input targets. Each keeps what it would write again on Retry.
struct FailedWrite {
    std::string path;
    int error;
    std::function<bool()> retry;
};
std::mutex g_failedWritesLock;
std::vector<FailedWrite> g_failedWrites;  // guarded by g_failedWritesLock
// Slots written on a Retry: their shown thumbnails are render-thread
// resources, refreshed at the render thread's next play-data work.
std::vector<std::string> g_retriedSlots;  // guarded by g_failedWritesLock

void RefreshRetriedThumbnails() {
    std::vector<std::string> retried;
    {
        std::lock_guard<std::mutex> hold(g_failedWritesLock);
        retried.swap(g_retriedSlots);
    }
    for (const std::string& path : retried) RefreshPlayDataThumbnail(path);
}

bool WriteOrKeepFailure(const std::string& path, std::function<bool()> write) {
    errno = 0;
    if (write()) return true;
    const int error = LastWriteError();
    std::lock_guard<std::mutex> hold(g_failedWritesLock);
    g_failedWrites.push_back({path, error, std::move(write)});
    return false;
}

// A section is absent (offset and size 0) or lies wholly after the header and
// inside the file.
bool SectionFits(u64 offset, u64 size, u64 fileSize) {
    if (offset == 0) return size == 0;
    return offset >= kPlayDataHeaderSize && offset < fileSize && size != 0 && size <= fileSize - offset;
}

// Every file is written section after section in the order of the header's
// fields, each directly after the one before, the last ending the file.
// Sections that overlap, leave a gap or stop short of the end have had an
// offset or a size damaged. The sound section gives a count, not a size: its
// records run up to the next section, where their reader checks that they
// end exactly.
bool AreSectionsInOrder(const std::vector<u8>& bytes) {
    using namespace playdata;
    u64 next = kPlayDataHeaderSize;
    bool soundOpen = false;
    for (u64 field :
         {kLastVoice, kScene, kSound, kFrames, kBacklog, kVariables, kIndex, kThumbnail, kSlotZero}) {
        const u64 offset = Get64(bytes, field);
        if (offset == 0) continue;
        if (soundOpen ? offset <= next : offset != next) return false;
        soundOpen = field == kSound;
        next = soundOpen ? offset : offset + Get64(bytes, field + 8);
    }
    return soundOpen || next == bytes.size();
}

// A text section: the text and the one zero that ends it.
bool IsTerminatedText(const u8* text, u64 size) {
    return size != 0 && std::memchr(text, 0, static_cast<std::size_t>(size)) == text + size - 1;
}

std::string IndexTitleText() {
    std::string text;
    g_nomalVariables.Update("IndexTitle", 0, [&text](classScriptValue& value) {
        classScriptValue copy = value;
        if (const std::string* s = copy.AsString()) text = *s;
    });
    return text;
}

bool ReadWholePlayDataFile(const std::string& path, std::vector<u8>& bytes) {
    bytes.clear();
    classFile file;
    if (!file.OpenRead(path, false)) return false;
    const u64 size = file.GetSize();
    if (size == kFileError || size > kMaxPlayDataFileSize) return false;
    bytes.resize(size);
    if (size != 0 && file.ReadAt(0, bytes.data(), size) != size) {
        bytes.clear();
        return false;
    }
    return true;
}

// Everything a load restores, read from the file while nothing of the
// running game has changed yet.
struct LoadedSections {
    std::string lastVoice;
    std::vector<SavedSoundLayer> layers;
    std::list<classScriptFrame> frames;
    std::vector<classHistoryLog::Entry> backlog;
    classScriptVariableList variables;
    std::vector<u8> slotZero;
};

// The sound section gives a count, not a size: its records end where the
// next section begins, or at the file's end.
u64 SoundSectionEnd(const std::vector<u8>& bytes, u64 first) {
    using namespace playdata;
    u64 end = bytes.size();
    for (u64 field : {kFrames, kBacklog, kVariables, kIndex, kThumbnail, kSlotZero}) {
        const u64 offset = Get64(bytes, field);
        if (offset > first && offset < end) end = offset;
    }
    return end;
}

// Reads the sections of a file whose header was checked. False when one is
// damaged inside its bounds (records stopping short of their section's end
// or reaching outside it, frames that give nothing to run, a slot-0 copy
// that is no play-data file of this game): loading it would end the game
// or leave half of another one.
bool ReadSections(const std::vector<u8>& bytes, LoadedSections& out, bool withSlotZero = true) {
    using namespace playdata;
    auto section = [&](u64 field) { return bytes.data() + Get64(bytes, field); };
    auto sizeOf = [&](u64 field) { return Get64(bytes, field + 8); };
    auto present = [&](u64 field) { return Get64(bytes, field) != 0; };

    if (present(kScene) && !IsSceneSectionWhole(section(kScene), sizeOf(kScene))) return false;
    if (present(kSound)) {
        const u64 first = Get64(bytes, kSound);
        const u64 count = Get64(bytes, kSound + 8);
        if (count > static_cast<u64>(INT64_MAX) ||
            !classSoundManager::ReadLayerRecords(bytes.data(), SoundSectionEnd(bytes, first), static_cast<int64>(first),
                                                 static_cast<int64>(count), out.layers))
            return false;
    }
    if (!present(kFrames) || !classScriptContext::ReadFrameRecords(section(kFrames), sizeOf(kFrames), out.frames))
        return false;
    if (present(kBacklog) && !IsBacklogSectionWhole(section(kBacklog), sizeOf(kBacklog))) return false;
    if (present(kVariables) && !IsVariableListWhole(section(kVariables), sizeOf(kVariables))) return false;
    if (withSlotZero && present(kSlotZero)) {
        // The copy is written back over the quick save, so it must be a slot
        // that would load. Its own copy is never put back (loading slot 0
        // leaves slot 0 as it is) and is not looked into.
        out.slotZero.assign(section(kSlotZero), section(kSlotZero) + sizeOf(kSlotZero));
        LoadedSections copy;
        if (!IsValidPlayData(out.slotZero) || !ReadSections(out.slotZero, copy, false)) return false;
    }
    if (present(kBacklog)) {
        classHistoryLog loaded;
        DeserializeBacklog(loaded, section(kBacklog), sizeOf(kBacklog));
        out.backlog = loaded.Snapshot();
    }
    if (present(kVariables)) ReadVariableList(out.variables, section(kVariables), sizeOf(kVariables));
    if (present(kLastVoice)) {
        const char* text = reinterpret_cast<const char*>(section(kLastVoice));
        out.lastVoice.assign(text, ::strnlen(text, sizeOf(kLastVoice)));
    }
    return true;
}

// The snapshot as a save inside the interrupt writes it: the snapshot's
// scene, frames and thumbnail, with a given index text in place of its own,
// and without its slot-0 copy when the save is slot 0 itself (a slot 0
// holding the previous one would nest them all). The sections keep their
// order; only those after the variables move.
constexpr const char* kSnapshotName = "save----.dat";

// The snapshot this process took when the main script entered the interrupt
// it is in: the staging data of the saves made inside that interrupt.
// "save----.dat" is written as well, but a save never reads it back: another
// copy of the game on the same folder (one let in when no lock could be
// made) writes that file too, and its game must not end up in our slots.
// Guarded by g_snapshotLock.
std::mutex g_snapshotLock;
std::shared_ptr<const std::vector<u8>> g_takenSnapshot;

std::shared_ptr<const std::vector<u8>> TakenSnapshot() {
    std::lock_guard<std::mutex> hold(g_snapshotLock);
    return g_takenSnapshot;
}

void RebuildSnapshotSave(const std::vector<u8>& snapshot, const std::string& indexText, bool keepSlotZero,
                         std::vector<u8>& out) {
    using namespace playdata;
    u64 tail = snapshot.size();
    for (u64 field : {kIndex, kThumbnail, kSlotZero}) {
        const u64 offset = Get64(snapshot, field);
        if (offset != 0 && offset < tail) tail = offset;
    }
    out.assign(snapshot.begin(), snapshot.begin() + static_cast<std::ptrdiff_t>(tail));
    for (u64 field : {kIndex, kThumbnail, kSlotZero}) {
        Put64(out, field, 0);
        Put64(out, field + 8, 0);
    }
    auto copySection = [&](u64 field) {
        AddSection(out, field, snapshot.data() + Get64(snapshot, field), Get64(snapshot, field + 8));
    };
    const std::size_t indexLength = ::strnlen(indexText.c_str(), indexText.size());
    if (indexLength != 0)
        AddSection(out, kIndex, reinterpret_cast<const u8*>(indexText.c_str()), indexLength + 1);
    else
        copySection(kIndex);
    copySection(kThumbnail);
    if (keepSlotZero) copySection(kSlotZero);
}

}  // namespace

std::string MakeDataFolderPath(const std::string& name) {
    classApplication* application = GetApplication();
    // The folder is set before any thread starts and not changed after.
    return (application != nullptr ? application->dataFolder : std::string()) + name;
}

std::string MakePlayDataPath(int64 slot) {
    char name[260];
    std::snprintf(name, sizeof name, "save%4.4lld.dat", static_cast<long long>(slot));
    // The name keeps the form saves have always had; a number past four
    // digits, or below 0, is most likely a slip a writer wants to hear of.
    if (slot < 0 || slot > 9999)
        ReportOnce("the slot number " + std::to_string(slot) + " is outside 0 to 9999; the slot is the file " +
                   QuotedName(name));
    return MakeDataFolderPath(name);
}

bool IsValidPlayData(const std::vector<u8>& bytes) {
    using namespace playdata;
    if (bytes.size() < kPlayDataHeaderSize || std::memcmp(bytes.data(), kPlayDataMagic, 16) != 0 ||
        std::memcmp(bytes.data() + 16, g_applicationGuid, 16) != 0)
        return false;
    // A file cut short or damaged would otherwise load half a game over the
    // current one; it is refused whole before anything changes.
    const u64 fileSize = bytes.size();
    for (u64 field : {kLastVoice, kScene, kFrames, kBacklog, kVariables, kIndex, kThumbnail, kSlotZero}) {
        if (!SectionFits(Get64(bytes, field), Get64(bytes, field + 8), fileSize)) return false;
    }
    // The sound section gives a record count, not a size: its first record
    // must at least start inside the file.
    const u64 firstSound = Get64(bytes, kSound);
    const u64 soundCount = Get64(bytes, kSound + 8);
    if ((firstSound == 0) != (soundCount == 0)) return false;
    if (firstSound != 0 && (firstSound < kPlayDataHeaderSize || firstSound >= fileSize)) return false;
    // The slot-0 copy is the last thing written, after the variables.
    const u64 copyOffset = Get64(bytes, kSlotZero);
    if (copyOffset != 0 && copyOffset < Get64(bytes, kVariables) + Get64(bytes, kVariables + 8)) return false;
    // The texts are read up to their zero, so one that lost it, or a section
    // moved by damage, would give another section's bytes as a voice file or
    // an index; the layout and the zeros show both.
    if (!AreSectionsInOrder(bytes)) return false;
    for (u64 field : {kLastVoice, kIndex}) {
        const u64 offset = Get64(bytes, field);
        if (offset != 0 && !IsTerminatedText(bytes.data() + offset, Get64(bytes, field + 8))) return false;
    }
    return true;
}

bool ReadValidPlayData(const std::string& path, std::vector<u8>& bytes) {
    if (ReadWholePlayDataFile(path, bytes) && IsValidPlayData(bytes)) return true;
    bytes.clear();
    return false;
}

bool IsPlayDataFileValid(const std::string& path) {
    std::vector<u8> bytes;
    LoadedSections sections;
    return ReadValidPlayData(path, bytes) && ReadSections(bytes, sections);
}

void BuildPlayData(const std::string& indexText, bool embedSlotZero, std::vector<u8>& out) {
    using namespace playdata;
    out.assign(kPlayDataHeaderSize, 0);
    std::memcpy(out.data(), kPlayDataMagic, 16);
    std::memcpy(out.data() + 16, g_applicationGuid, 16);
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    Put64(out, kTextColor, static_cast<u64>(application->textColor.load()));
    out[kVoiceStarted] = application->voiceStartedSinceKeyWait.load() != 0 ? 1 : 0;
    Put64(out, kLastVoiceLayer, static_cast<u64>(application->lastVoiceLayer.load()));
    out[kBacklogPageStarted] = application->backlogPageStarted.load() != 0 ? 1 : 0;

    classCriticalSectionLock hold(application->GetLock());
    // The last voice is always written, one zero byte when there is none.
    const std::string& voice = application->lastVoiceFile;
    AddSection(out, kLastVoice, reinterpret_cast<const u8*>(voice.c_str()), ::strnlen(voice.c_str(), voice.size()) + 1);

    std::vector<u8> section;
    SaveTree(application->mainScene, section);
    AddSection(out, kScene, section);

    section.clear();
    if (application->soundManager != nullptr) {
        int64 first = 0;
        int64 count = 0;
        if (SaveSoundLayers(*application->soundManager, out.size(), section, first, count)) {
            out.insert(out.end(), section.begin(), section.end());
            Put64(out, kSound, static_cast<u64>(first));
            Put64(out, kSound + 8, static_cast<u64>(count));
        }
    }

    if (application->mainScriptContext != nullptr) {
        classMemoryStream frames;
        application->mainScriptContext->SerializeFrames(frames);
        AddSection(out, kFrames, frames.Data(), frames.Size());
    }

    section.clear();
    SerializeBacklog(g_historyLog, section);
    AddSection(out, kBacklog, section);

    section.clear();
    g_nomalVariables.WriteRecord(section);
    AddSection(out, kVariables, section);

    // Asking for "IndexTitle" creates it, empty, as a script reading it would.
    const std::string title = IndexTitleText();
    const std::string& index = indexText.empty() ? title : indexText;
    const std::size_t indexLength = ::strnlen(index.c_str(), index.size());
    if (indexLength != 0) AddSection(out, kIndex, reinterpret_cast<const u8*>(index.c_str()), indexLength + 1);

    section.clear();
    CaptureSaveThumbnail(application->mainScene, section);
    AddSection(out, kThumbnail, section);

    if (embedSlotZero) {
        section.clear();
        if (ReadWholePlayDataFile(MakePlayDataPath(0), section)) AddSection(out, kSlotZero, section);
    }
}

bool WritePlayData(const std::string& path, const std::string& indexText) {
    RefreshRetriedThumbnails();
    std::function<bool()> write;
    // Slot 0's own save carries no copy of the slot-0 file: it would be the
    // previous one, which holds its predecessor, and so on for ever.
    const bool embed = path != MakePlayDataPath(0);
    const bool isSnapshot = path == MakeDataFolderPath(kSnapshotName);
    if (g_autoSnapshotTaken.load() && !isSnapshot) {
        // Inside an interrupt the state to keep is the one from its start.
        write = [taken = TakenSnapshot(), path, indexText, embed] {
            if (taken == nullptr || !IsValidPlayData(*taken)) {
                errno = ENOENT;
                return false;
            }
            std::vector<u8> bytes;
            RebuildSnapshotSave(*taken, indexText, embed, bytes);
            return WriteFileAtomically(path, bytes.data(), bytes.size());
        };
    } else {
        auto bytes = std::make_shared<std::vector<u8>>();
        BuildPlayData(indexText, embed, *bytes);
        if (isSnapshot) KeepInterruptSnapshot(*bytes);
        write = [bytes, path] { return WriteFileAtomically(path, bytes->data(), bytes->size()); };
    }
    const bool written = WriteOrKeepFailure(path, std::move(write));
    if (written) {
        // A save screen showing this slot's thumbnail reads the new file at
        // its next draw.
        RefreshPlayDataThumbnail(path);
    }
    return written;
}

void KeepInterruptSnapshot(std::vector<u8> bytes) {
    auto kept = std::make_shared<const std::vector<u8>>(std::move(bytes));
    std::lock_guard<std::mutex> hold(g_snapshotLock);
    g_takenSnapshot = std::move(kept);
}

void ForgetInterruptSnapshot() {
    std::shared_ptr<const std::vector<u8>> dropped;
    std::lock_guard<std::mutex> hold(g_snapshotLock);
    dropped.swap(g_takenSnapshot);
}

bool LoadPlayDataBytes(const std::vector<u8>& bytes, bool isSlotZero) {
    using namespace playdata;
    if (!IsValidPlayData(bytes)) return false;
    classApplication* application = GetApplication();
    if (application == nullptr) return false;
    // Everything is read and checked first; a slot refused here has changed
    // nothing, not even slot 0.
    LoadedSections loaded;
    if (!ReadSections(bytes, loaded)) return false;

    classCriticalSectionLock hold(application->GetLock());
    classGraphicObject* scene = application->mainScene;
    if (scene != nullptr) {
        while (!scene->children.empty()) classGraphicObject::Delete(&scene->children.begin()->second);
    }
    if (application->mainScriptContext != nullptr) {
        application->mainScriptContext->PopAllFrames();
        application->mainScriptContext->selectPhase = 0;
    }

    application->textColor.store(static_cast<int64>(Get64(bytes, kTextColor)));
    application->voiceStartedSinceKeyWait.store(bytes[kVoiceStarted] != 0 ? 1 : 0);
    application->lastVoiceLayer.store(static_cast<int64>(Get64(bytes, kLastVoiceLayer)));
    application->backlogPageStarted.store(bytes[kBacklogPageStarted] != 0 ? 1 : 0);

    application->lastVoiceFile = std::move(loaded.lastVoice);
    if (Get64(bytes, kScene) != 0)
        LoadGraphicTree(scene, bytes.data() + Get64(bytes, kScene), Get64(bytes, kScene + 8));
    // Without a sound section this only deletes every layer.
    if (application->soundManager != nullptr) application->soundManager->RestoreLayers(loaded.layers);
    if (application->mainScriptContext != nullptr)
        application->mainScriptContext->SetLoadedFrames(std::move(loaded.frames));
    g_historyLog.Replace(std::move(loaded.backlog));
    // A slot without variables still starts from none: what the game held
    // before the load belongs to another play-through.
    g_nomalVariables.Replace(std::move(loaded.variables));

    // The quick save goes with the game just loaded, and is only ever
    // replaced whole: a full disk or a kill leaves the old one. Slot 0
    // itself already is the state just loaded.
    if (isSlotZero) return true;
    if (!loaded.slotZero.empty()) {
        auto copy = std::make_shared<std::vector<u8>>(std::move(loaded.slotZero));
        WriteOrKeepFailure(MakePlayDataPath(0),
                           [copy] { return WriteFileAtomically(MakePlayDataPath(0), copy->data(), copy->size()); });
    } else {
        ::unlink(MakePlayDataPath(0).c_str());
    }
    return true;
}

bool LoadPlayData(const std::string& path) {
    RefreshRetriedThumbnails();
    std::vector<u8> bytes;
    if (!ReadValidPlayData(path, bytes)) return false;
    return LoadPlayDataBytes(bytes, path == MakePlayDataPath(0));
}

bool TakePlayDataThumbnail(const std::vector<u8>& bytes, std::vector<u8>& out) {
    using namespace playdata;
    if (!IsValidPlayData(bytes)) return false;
    const u64 offset = Get64(bytes, kThumbnail);
    const u64 size = Get64(bytes, kThumbnail + 8);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) return false;
    out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return true;
}

void TakePlayDataIndex(const std::vector<u8>& bytes, std::string& out) {
    using namespace playdata;
    out.clear();
    if (!IsValidPlayData(bytes)) return;
    const u64 offset = Get64(bytes, kIndex);
    const u64 size = Get64(bytes, kIndex + 8);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) return;
    const char* text = reinterpret_cast<const char*>(bytes.data() + offset);
    out.assign(text, ::strnlen(text, static_cast<std::size_t>(size)));
}

bool ReportFailedPlayDataWrites() {
    bool allWritten = true;
    std::vector<FailedWrite> failed;
    {
        std::lock_guard<std::mutex> hold(g_failedWritesLock);
        failed.swap(g_failedWrites);
    }
    for (FailedWrite& write : failed) {
        if (ReportWriteFailure(write.path, write.error, write.retry)) {
            std::lock_guard<std::mutex> hold(g_failedWritesLock);
            g_retriedSlots.push_back(write.path);
        } else {
            allWritten = false;
        }
    }
    return allWritten;
}

bool ReadPlayDataThumbnail(const std::string& path, std::vector<u8>& out) {
    std::vector<u8> bytes;
    return ReadValidPlayData(path, bytes) && TakePlayDataThumbnail(bytes, out);
}

bool ReadPlayDataIndex(const std::string& path, std::string& out) {
    out.clear();
    std::vector<u8> bytes;
    if (!ReadValidPlayData(path, bytes)) return false;
    TakePlayDataIndex(bytes, out);
    return true;
}

void RegisterPlayDataSubsystem() {
    QuePlayDataService service;
    service.isValid = IsPlayDataFileValid;
    service.write = WritePlayData;
    service.load = LoadPlayData;
    service.wakeAllWaiters = [] { g_inputManager.WakeAllWaiters(); };
    SetQuePlayDataService(service);
    GetSharedResourceHooks().readPlayDataThumbnail = ReadPlayDataThumbnail;
    // The main script's snapshot on entering an interrupt is a save like any
    // other, kept in memory for the saves inside the interrupt. An older one
    // is never copied as this interrupt's: when the frame never wrote this
    // one, a save inside it fails and says so. A file that could not be
    // written is not left behind holding an older game either.
    SetInterruptSnapshotWriter([] {
        ForgetInterruptSnapshot();
        if (!WriteInterruptSnapshot()) return false;
        if (!ReportFailedPlayDataWrites()) ::unlink(MakeDataFolderPath(kSnapshotName).c_str());
        return true;
    });
}
