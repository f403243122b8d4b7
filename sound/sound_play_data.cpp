// The sound section of play data: one record per layer, a 32-byte header and
// the TAB-joined file list with a NUL, at absolute offsets in the file.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/little_endian.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"

namespace {

constexpr u32 kLayerHeaderSize = 32;

}  // namespace

bool classSoundManager::SaveLayers(classMemoryStream& out, u64 fileOffset, int64* firstOffset, int64* count) {
    classCriticalSectionLock hold(g_soundLock);
    *firstOffset = 0;
    *count = 0;
    if (layers_.empty()) return false;
    *firstOffset = static_cast<int64>(fileOffset + out.Tell());
    int64 records = 0;
    for (auto& layer : layers_) {
        if (layer->GetFinishToDelete() != 0) continue;
        const u64 start = fileOffset + out.Tell();
        const std::string list = layer->FileList();
        const u64 listOffset = start + kLayerHeaderSize;
        const u64 end = listOffset + list.size() + 1;

        const int state = layer->GetState();
        const bool playing = (state == 1 || state == 2) && !(layer->IsFading() && layer->IsStopAtFadeEnd());
        u8 header[kLayerHeaderSize] = {};
        StoreLe(header, kLayerHeaderSize, 4);
        StoreLe(header + 4, static_cast<u32>(end), 4);
        StoreLe(header + 8, static_cast<u32>(layer->Number()), 4);
        header[12] = playing ? 1 : 0;
        header[13] = layer->GetLoop();
        header[14] = layer->GetStream();
        StoreLe(header + 16, static_cast<u32>(listOffset), 4);
        StoreLe(header + 20, static_cast<u32>(list.size() + 1), 4);
        StoreLe(header + 24, static_cast<u32>(layer->IsFading() ? layer->GetFadeTarget() : layer->GetVolume()), 4);
        StoreLe(header + 28, static_cast<u32>(layer->GetLoopFileNo()), 4);
        out.Write(header, sizeof header);
        out.Write(list.c_str(), list.size() + 1);
        ++records;
    }
    *count = records;
    return true;
}

bool classSoundManager::ReadLayerRecords(const u8* base, u64 sectionEnd, int64 firstOffset, int64 count,
                                         std::vector<SavedSoundLayer>& out) {
    out.clear();
    if (base == nullptr || firstOffset < 0 || count <= 0) return count == 0;
    u64 at = static_cast<u64>(firstOffset);
    // Every record takes at least its header, so no more than this many fit.
    const u64 most = at < sectionEnd ? (sectionEnd - at) / kLayerHeaderSize : 0;
    if (static_cast<u64>(count) > most) count = static_cast<int64>(most) + 1;
    for (int64 i = 0; i < count; ++i) {
        if (at >= sectionEnd || sectionEnd - at < kLayerHeaderSize) return false;
        const u8* h = base + at;
        const u64 end = LoadLe32(h + 4);
        const u64 listOffset = LoadLe32(h + 16);
        const u64 listSize = LoadLe32(h + 20);
        if (LoadLe32(h) != kLayerHeaderSize) return false;
        if (end <= at || end > sectionEnd) return false;
        // The list lies between the header and the record's end.
        if (listOffset < at + kLayerHeaderSize || listOffset > end || listSize > end - listOffset) return false;
        const char* list = reinterpret_cast<const char*>(base + listOffset);
        SavedSoundLayer layer;
        layer.number = static_cast<int32>(LoadLe32(h + 8));
        layer.playing = h[12];
        layer.loop = h[13];
        layer.stream = h[14];
        layer.volume = static_cast<int32>(LoadLe32(h + 24));
        layer.loopFileNo = static_cast<int32>(LoadLe32(h + 28));
        layer.files.assign(list, strnlen(list, listSize));
        out.push_back(std::move(layer));
        at = end;
    }
    return at == sectionEnd;
}

void classSoundManager::RestoreLayers(const std::vector<SavedSoundLayer>& saved) {
    classCriticalSectionLock hold(g_soundLock);
    DeleteAllLayers();
    for (const SavedSoundLayer& record : saved) {
        classSoundLayer* layer = GetOrCreateLayer(record.number);
        layer->SetFiles(record.files);
        layer->SetStream(record.stream);
        layer->SetLoopFileNo(record.loopFileNo);
        layer->SetLoop(record.loop);
        layer->SetVolume(record.volume);
        if (record.playing == 1 && record.loop == 1) layer->Play();
    }
}

bool classSoundManager::LoadLayers(const u8* base, u64 imageSize, int64 firstOffset, int64 count) {
    // Everything is read and checked before any layer changes.
    std::vector<SavedSoundLayer> saved;
    ReadLayerRecords(base, imageSize, firstOffset, count, saved);
    RestoreLayers(saved);
    return true;
}
