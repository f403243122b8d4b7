#include "sound/sound_system.h"

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "platform/audio.h"
#include "sound/sound_manager.h"
#include "sound/sound_update_thread.h"

classCriticalSection g_soundLock;

bool InitDirectSound() { return platform::OpenAudioOutput() != platform::AudioOutputKind::None; }

bool InitSoundSystem() {
    g_soundLock.Initialize();
    bool ok = InitDirectSound();
    // Layers are ticked even without output, so fades and waits still end.
    StartSoundUpdateThread();
    return ok;
}

void ShutdownSoundSystem() {
    StopSoundUpdateThread();
    platform::CloseAudioOutput();
}

namespace {

void CreateApplicationSoundManager() {
    classApplication* application = GetApplication();
    if (application != nullptr && application->soundManager == nullptr) {
        application->soundManager = classSoundManager::Create();
    }
}

void DestroyApplicationSoundManager() {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    classSoundManager::Destroy(application->soundManager);
    application->soundManager = nullptr;
}

}  // namespace

void RegisterSoundSubsystem() {
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.initSoundSystem = InitSoundSystem;
    hooks.shutdownSoundSystem = ShutdownSoundSystem;
    hooks.createSoundManager = CreateApplicationSoundManager;
    hooks.destroySoundManager = DestroyApplicationSoundManager;
}
