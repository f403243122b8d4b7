// Execution of the sound and play-data records. Their posters leave the scene
// mask 0, so each runs once per execution; they act through the services the
// sound system and the play-data files install.
#include <atomic>

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"
#include "presentation/shared_resource.h"
#include "sound/script_volume.h"

namespace {

std::atomic<classQueSoundService*> g_soundService{nullptr};
std::atomic<bool (*)(const std::string&)> g_playDataIsValid{nullptr};
std::atomic<bool (*)(const std::string&, const std::string&)> g_playDataWrite{nullptr};
std::atomic<bool (*)(const std::string&)> g_playDataLoad{nullptr};
std::atomic<void (*)()> g_wakeAllWaiters{nullptr};


}  // namespace

void SetQueSoundService(classQueSoundService* service) {
    g_soundService.store(service);
}
classQueSoundService* GetQueSoundService() {
    return g_soundService.load();
}

void SetQuePlayDataService(const QuePlayDataService& service) {
    g_playDataIsValid.store(service.isValid);
    g_playDataWrite.store(service.write);
    g_playDataLoad.store(service.load);
    g_wakeAllWaiters.store(service.wakeAllWaiters);
}

QuePlayDataService GetQuePlayDataService() {
    QuePlayDataService service;
    service.isValid = g_playDataIsValid.load();
    service.write = g_playDataWrite.load();
    service.load = g_playDataLoad.load();
    service.wakeAllWaiters = g_wakeAllWaiters.load();
    return service;
}

int32 classQue_SoundCreate::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) sound->CreateLayer(layer);
    return 0;
}

int32 classQue_SoundAlter::Execute(classQueContext*) {
    classQueSoundService* sound = GetQueSoundService();
    if (sound == nullptr) return 0;
    QueSoundLayerChange change;
    change.files = files;
    if (stream.IsSet()) change.stream.Set(stream.Get());
    if (volume.IsSet()) change.volume.Set(ScriptVolumeThousandths(volume.Get()));
    // "Loop" 1 means one pass, like 0; any other count loops.
    if (loop.IsSet()) change.loop.Set(loop.Get() != 0 && loop.Get() != 1);
    if (finishToDelete.IsSet()) change.finishToDelete.Set(finishToDelete.Get());
    if (loopFileNo.IsSet()) change.loopFileNo.Set(loopFileNo.Get());
    sound->AlterLayer(layer, change);
    return 0;
}

int32 classQue_SoundPlay::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) sound->PlayLayer(layer);
    return 0;
}

int32 classQue_SoundStop::Execute(classQueContext*) {
    // A negative time from a script stops at once rather than fading backwards.
    if (classQueSoundService* sound = GetQueSoundService()) {
        sound->StopLayer(layer, fadeTime > 0 ? fadeTime : 0, finishToDelete);
    }
    return 0;
}

int32 classQue_SoundVolume::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) {
        sound->FadeLayerVolume(layer, fadeTime > 0 ? fadeTime : 0, ScriptVolumeThousandths(volume));
    }
    return 0;
}

int32 classQue_SoundDelete::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) sound->DeleteLayer(layer);
    return 0;
}

int32 classQue_SoundAllDelete::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) sound->DeleteAllLayers();
    return 0;
}

int32 classQue_SoundStopToVoice::Execute(classQueContext*) {
    if (classQueSoundService* sound = GetQueSoundService()) {
        const int64 ms = fadeTime.IsSet() && fadeTime.Get() > 0 ? fadeTime.Get() : 0;
        sound->StopVoices(ms);
    }
    return 0;
}

int32 classQue_DataSave::Execute(classQueContext*) {
    // The writer reports its own failures; the script is not told.
    if (auto write = g_playDataWrite.load()) write(path, indexText);
    return 0;
}

int32 classQue_DataLoad::Execute(classQueContext* context) {
    auto load = g_playDataLoad.load();
    auto isValid = g_playDataIsValid.load();
    if (load == nullptr || isValid == nullptr) return 0;
    // A missing or foreign slot must not look like a load: the scripts would
    // restart and run their load handlers over an unchanged state.
    if (!isValid(path)) return 0;
    if (classApplication* application = GetApplication()) application->restartRequested.store(1);
    if (auto wake = g_wakeAllWaiters.load()) wake();
    // The loaded scene brings its own filter, or none.
    if (!load(path)) return 0;
    if (context != nullptr && context->mainScene != nullptr) scene_draw::SettleSceneFilter(*context->mainScene);
    // A restored movie shares its player with whatever still shows the same
    // file, the fading copy of the old screen above all, which may be
    // playing it: cued again, it stands on its first picture as it does
    // after a load in a new run, and its own "GraphicPlay" plays it whole.
    if (QueMovieRequester requester = GetQueMovieRequester()) {
        for (classSharedResource* movie : g_sharedResources.ResourcesOfKind(TextureKind_Movie))
            requester(movie, QueMovieRequest::Cue);
    }
    return 0;
}
