#pragma once
// What the sound and play-data records need from subsystems outside the
// presentation layer. The sound system and the play-data files install their
// services here; until one is installed its records do nothing, which is what
// a missing layer or a failed load does anyway.
//
// Threads: installed once before the render thread starts (or by a test),
// read by the render thread while it runs records; the pointers are atomic.

#include <string>

#include "foundation/optional_value.h"
#include "foundation/types.h"

// The changes one "Sound"/"SoundAlter" makes to a layer, already converted:
// volume in thousandths, loop as the flag the layer keeps.
struct QueSoundLayerChange {
    std::string files;  // TAB-separated; empty keeps the layer's files
    classOptionalValue<u8> stream;
    classOptionalValue<int64> volume;  // 0 to 1000
    classOptionalValue<bool> loop;
    classOptionalValue<u8> finishToDelete;
    classOptionalValue<int64> loopFileNo;
};

// Layer operations by number. Each finds the layer (skipping layers that are
// only waiting to be removed) and acts on it under one hold of the sound lock,
// so that no other thread can slip between the lookup and the change. A
// number without a layer makes every operation but CreateLayer do nothing.
class classQueSoundService {
  public:
    virtual ~classQueSoundService() = default;
    // Removes every layer with the number, then makes a new empty one.
    virtual void CreateLayer(int64 layer) = 0;
    // Applies the set parts in the order: files, stream, volume, loop,
    // finish-to-delete, loop file number.
    virtual void AlterLayer(int64 layer, const QueSoundLayerChange& change) = 0;
    virtual void PlayLayer(int64 layer) = 0;
    // fadeMs 0: stop at once; else fade out over fadeMs and stop. A set
    // finishToDelete is given to the layer after the stop was started.
    virtual void StopLayer(int64 layer, int64 fadeMs, const classOptionalValue<u8>& finishToDelete) = 0;
    virtual void FadeLayerVolume(int64 layer, int64 fadeMs, int64 volume) = 0;
    virtual void DeleteLayer(int64 layer) = 0;
    virtual void DeleteAllLayers() = 0;
    virtual void StopVoices(int64 fadeMs) = 0;
};

void SetQueSoundService(classQueSoundService* service);
classQueSoundService* GetQueSoundService();
// The service over the application's sound manager; start-up installs it.
classQueSoundService& GetSoundManagerService();

// Play data. `isValid` reads and checks the file without changing anything;
// a load goes ahead only for a file it accepts, so a missing or foreign slot
// neither restarts the scripts nor touches the scene.
struct QuePlayDataService {
    bool (*isValid)(const std::string& path) = nullptr;
    bool (*write)(const std::string& path, const std::string& indexText) = nullptr;
    bool (*load)(const std::string& path) = nullptr;
    // Makes every script thread leave its input wait (the input manager's
    // WakeAllWaiters); it must not take the input manager's lock.
    void (*wakeAllWaiters)() = nullptr;
};

void SetQuePlayDataService(const QuePlayDataService& service);
QuePlayDataService GetQuePlayDataService();

// Movies: the movie part answers the play, stop and pause records on the
// texture resource of the object they find, under its own movie lock. Cue
// comes from a load, for every movie resource: the player is opened again on
// its first picture, silent, and what was asked of it before is dropped.
class classSharedResource;
enum class QueMovieRequest { Play, Stop, Pause, Cue };
using QueMovieRequester = void (*)(classSharedResource* texture, QueMovieRequest request);
void SetQueMovieRequester(QueMovieRequester requester);
QueMovieRequester GetQueMovieRequester();
