// The sound records' service over the application's sound manager. Each
// operation finds its layer and acts on it under one hold of g_soundLock, so
// the update thread cannot remove the layer in between.
#include <algorithm>
#include <limits>

#include "foundation/application.h"
#include "presentation/que_services.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"

namespace {

// Layers are numbered in 32 bits; a script number outside that names no layer.
bool ToLayerNumber(int64 layer, int32& number) {
    if (layer < std::numeric_limits<int32>::min() || layer > std::numeric_limits<int32>::max()) return false;
    number = static_cast<int32>(layer);
    return true;
}

int32 ClampMs(int64 ms) {
    return static_cast<int32>(std::clamp<int64>(ms, 0, std::numeric_limits<int32>::max()));
}
int32 ClampVolume(int64 volume) {
    return static_cast<int32>(std::clamp<int64>(volume, 0, 1000));
}

classSoundManager* Manager() {
    classApplication* application = GetApplication();
    return application != nullptr ? application->soundManager : nullptr;
}

class classSoundManagerService : public classQueSoundService {
  public:
    void CreateLayer(int64 layer) override {
        int32 number = 0;
        classSoundManager* manager = Manager();
        if (manager == nullptr || !ToLayerNumber(layer, number)) return;
        classCriticalSectionLock hold(g_soundLock);
        manager->DeleteLayer(number);
        manager->GetOrCreateLayer(number);
    }

    void AlterLayer(int64 layer, const QueSoundLayerChange& change) override {
        WithLayer(layer, [&](classSoundLayer& target) {
            if (!change.files.empty()) target.SetFiles(change.files);
            if (change.stream.IsSet()) target.SetStream(change.stream.Get());
            if (change.volume.IsSet()) target.SetVolume(ClampVolume(change.volume.Get()));
            if (change.loop.IsSet()) target.SetLoop(change.loop.Get() ? 1 : 0);
            if (change.finishToDelete.IsSet()) target.SetFinishToDelete(change.finishToDelete.Get());
            if (change.loopFileNo.IsSet()) {
                const int64 no = change.loopFileNo.Get();
                target.SetLoopFileNo(static_cast<int32>(std::clamp<int64>(
                    no, std::numeric_limits<int32>::min(), std::numeric_limits<int32>::max())));
            }
        });
    }

    void PlayLayer(int64 layer) override {
        WithLayer(layer, [](classSoundLayer& target) { target.Play(); });
    }

    void StopLayer(int64 layer, int64 fadeMs, const classOptionalValue<u8>& finishToDelete) override {
        WithLayer(layer, [&](classSoundLayer& target) {
            if (fadeMs > 0) {
                target.FadeOutAndStop(ClampMs(fadeMs));
            } else {
                target.Stop();
            }
            if (finishToDelete.IsSet()) target.SetFinishToDelete(finishToDelete.Get());
        });
    }

    void FadeLayerVolume(int64 layer, int64 fadeMs, int64 volume) override {
        WithLayer(layer,
                  [&](classSoundLayer& target) { target.FadeVolume(ClampVolume(volume), ClampMs(fadeMs)); });
    }

    void DeleteLayer(int64 layer) override {
        int32 number = 0;
        classSoundManager* manager = Manager();
        if (manager != nullptr && ToLayerNumber(layer, number)) manager->DeleteLayer(number);
    }

    void DeleteAllLayers() override {
        if (classSoundManager* manager = Manager()) manager->DeleteAllLayers();
    }

    void StopVoices(int64 fadeMs) override {
        if (classSoundManager* manager = Manager()) manager->StopVoices(ClampMs(fadeMs));
    }

  private:
    template <typename Action>
    void WithLayer(int64 layer, Action action) {
        int32 number = 0;
        classSoundManager* manager = Manager();
        if (manager == nullptr || !ToLayerNumber(layer, number)) return;
        classCriticalSectionLock hold(g_soundLock);
        if (classSoundLayer* target = manager->FindLayer(number)) action(*target);
    }
};

}  // namespace

classQueSoundService& GetSoundManagerService() {
    static classSoundManagerService service;
    return service;
}
