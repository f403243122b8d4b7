#pragma once
// The sound layers and groups scripts address by number. The application owns
// one manager; the sound update thread ticks it every 100 ms to refill
// streams, step fades, apply volumes and remove finished layers.
//
// Everything here is guarded by g_soundLock. Each public call takes it for its
// whole work; callers that look a layer up and then act on it hold it across
// both (it is recursive), or use the combined queries below.

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/memory_stream.h"
#include "foundation/types.h"
#include "sound/sound_layer.h"

// One layer as a play-data record keeps it.
struct SavedSoundLayer {
    int32 number = 0;
    u8 playing = 0, loop = 0, stream = 0;
    int32 volume = 0, loopFileNo = 0;
    std::string files;
};

struct classSoundGroupState {
    int32 firstLayer = 0;
    int32 lastLayer = 0;
    int32 volume = 1000;
    u8 silent = 0;
    int32 automodeSkip = 0;
    u8 changed = 0;
};

class classSoundGroup {
  public:
    classSoundGroupState state;

    bool Contains(int32 layer) const { return state.firstLayer <= layer && layer <= state.lastLayer; }
    // Voice groups hold the layers auto mode waits for.
    bool IsVoiceGroup() const { return state.automodeSkip == 1 || (state.automodeSkip & 4) != 0; }
    // The next tick applies these to every layer.
    void SetVolume(int32 volume);
    void SetSilent(u8 silent);
    void SetAutomodeSkip(int32 value) { state.automodeSkip = value; }
    int32 GetVolume() const { return state.volume; }
    u8 GetSilent() const { return state.silent; }
    int32 GetAutomodeSkip() const { return state.automodeSkip; }
    // Reads and clears the changed flag.
    bool TakeChanged();
};

class classSoundManager {
  public:
    classSoundManager();
    ~classSoundManager();
    classSoundManager(const classSoundManager&) = delete;
    classSoundManager& operator=(const classSoundManager&) = delete;

    static classSoundManager* Create() { return new classSoundManager(); }
    static void Destroy(classSoundManager* manager) { delete manager; }

    // The first layer with that number that is not waiting to be removed (a
    // FinishToDelete layer that has played and stopped).
    classSoundLayer* FindLayer(int32 number);
    classSoundLayer* GetOrCreateLayer(int32 number);
    void DeleteLayer(int32 number);
    void DeleteAllLayers();
    std::size_t LayerCount();

    // True when a new group was made; an existing one only gets the range.
    bool SetGroup(int32 number, int32 first, int32 last);
    classSoundGroup* FindGroup(int32 number);

    bool IsVoiceLayer(int32 number);
    bool IsVoicePlaying();
    void StopVoices(int32 milliseconds);

    // Lookups and answers under one hold of the lock, for threads other than
    // the one that deletes layers.
    bool IsLayerPlayingByTime(int32 number);
    bool GetLayerTimes(int32 number, u32* elapsedMs, u32* totalMs);
    // classSoundLayer::GetRemainingByPositionMs of the layer; false when there
    // is none or it is not playing once.
    bool GetLayerRemainingByPosition(int32 number, int64* remainingMs);
    int GetLayerState(int32 number);

    void Tick(u32 elapsed);

    // The layer volume through the master volume and every group holding it.
    int32 EffectiveVolumeOf(int32 layerNumber, int32 layerVolume);

    // Play data: the layers as a run of records appended to `out`, whose
    // first byte stands at `fileOffset` in the play-data file (the records
    // hold file positions). Staged in memory, so a save never loses its
    // sounds for want of a file. False (0, 0) when there are no layers at all.
    bool SaveLayers(classMemoryStream& out, u64 fileOffset, int64* firstOffset, int64* count);
    // The records of a play-data image that lie in [firstOffset, sectionEnd):
    // true when all `count` of them are there, one after another, and fill
    // the section; a record reaching outside it ends the run, keeping those
    // before it. Changes nothing.
    static bool ReadLayerRecords(const u8* base, u64 sectionEnd, int64 firstOffset, int64 count,
                                 std::vector<SavedSoundLayer>& out);
    // Replaces every layer with the saved ones and restarts the playing loops.
    void RestoreLayers(const std::vector<SavedSoundLayer>& saved);
    // Both of the above over a whole image; always true.
    bool LoadLayers(const u8* base, u64 imageSize, int64 firstOffset, int64 count);

  private:
    std::list<std::unique_ptr<classSoundLayer>> layers_;  // new layers at the front
    std::map<int32, classSoundGroup> groups_;
    classSoundGroup masterGroup_;  // g_soundMasterGroup: volume 1000, never changed
};
