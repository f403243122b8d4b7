#include "presentation/scene_subsystem.h"

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_object.h"

void CreateScenes() {
    classApplication* application = GetApplication();
    if (application == nullptr || application->mainScene != nullptr) return;
    application->mainScene = classGraphicObject::New();
}

void DestroyScenes() {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    classGraphicObject::Delete(application->overlayScene);
    application->overlayScene = nullptr;
    classGraphicObject::Delete(application->mainScene);
    application->mainScene = nullptr;
}

void UpdateScenes(u32 now) {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    // Character lists loaded by scripts since the last frame take effect
    // before this frame lays out any text.
    ApplyPendingCharacterSets();
    // Both scenes see the same clock reading, so the overlay's fade and the
    // scene under it never drift apart within a frame.
    classGraphicObject::UpdateFrame(application->mainScene, now);
    classGraphicObject::UpdateFrame(application->overlayScene, now);
}

void RegisterSceneSubsystem() {
    SubsystemHooks& hooks = GetSubsystemHooks();
    hooks.createScenes = &CreateScenes;
    hooks.destroyScenes = &DestroyScenes;
    hooks.updateScenes = &UpdateScenes;
}
