#include "foundation/install_services.h"

#include <gtest/gtest.h>

#include "commands/flow_services.h"
#include "foundation/input_links.h"
#include "foundation/subsystem_hooks.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/input_presentation_links.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_services.h"
#include "presentation/shared_resource.h"
#include "presentation/text_layout.h"
#include "script/script_frame.h"
#include "script/script_host.h"
#include "script/script_threads.h"

namespace {

// The exchange-style setters only tell what is installed by swapping.
template <typename T>
T* Peek(T* (*set)(T*)) {
    T* current = set(nullptr);
    set(current);
    return current;
}

// Everything start-up installs, saved, emptied for the test and put back, so
// that nothing another test installed in this process can stand in for it.
class InstalledState {
  public:
    InstalledState()
        : hooks_(GetSubsystemHooks()),
          deviceHooks_(GetDeviceObjectHooks()),
          resourceHooks_(GetSharedResourceHooks()),
          sound_(GetQueSoundService()),
          playData_(GetQuePlayDataService()),
          movieRequester_(GetQueMovieRequester()),
          sceneQuery_(GetInputSceneQuery()),
          queueSink_(GetInputQueueSink()),
          textureSize_(GetInputTextureSizeSource()),
          glyphBinder_(GetGlyphImageBinder()),
          fontRegistrar_(GetStartupFontRegistrar()),
          snapshotWriter_(GetInterruptSnapshotWriter()),
          loader_(GetScriptLoader()),
          flow_(GetFlowCommandServices()),
          textLayout_(SetTextLayoutSource(nullptr)),
          sceneServices_(SetSceneServices(nullptr)),
          drawSource_(SetSceneDrawSource(nullptr)) {
        GetSubsystemHooks() = SubsystemHooks{};
        GetDeviceObjectHooks() = classDeviceObjectHooks{};
        GetSharedResourceHooks() = classSharedResourceHooks{};
        SetQueSoundService(nullptr);
        SetQuePlayDataService(QuePlayDataService{});
        SetQueMovieRequester(nullptr);
        SetInputSceneQuery(nullptr);
        SetInputQueueSink(nullptr);
        SetInputTextureSizeSource(nullptr);
        SetGlyphImageBinder(nullptr);
        SetStartupFontRegistrar(nullptr);
        SetInterruptSnapshotWriter(nullptr);
        SetScriptLoader(nullptr);
        SetFlowCommandServices(FlowCommandServices{});
    }
    ~InstalledState() {
        GetSubsystemHooks() = hooks_;
        GetDeviceObjectHooks() = deviceHooks_;
        GetSharedResourceHooks() = resourceHooks_;
        SetQueSoundService(sound_);
        SetQuePlayDataService(playData_);
        SetQueMovieRequester(movieRequester_);
        SetInputSceneQuery(sceneQuery_);
        SetInputQueueSink(queueSink_);
        SetInputTextureSizeSource(textureSize_);
        SetGlyphImageBinder(glyphBinder_);
        SetStartupFontRegistrar(fontRegistrar_);
        SetInterruptSnapshotWriter(snapshotWriter_);
        SetScriptLoader(loader_);
        SetFlowCommandServices(flow_);
        SetTextLayoutSource(textLayout_);
        SetSceneServices(sceneServices_);
        SetSceneDrawSource(drawSource_);
    }

  private:
    SubsystemHooks hooks_;
    classDeviceObjectHooks deviceHooks_;
    classSharedResourceHooks resourceHooks_;
    classQueSoundService* sound_;
    QuePlayDataService playData_;
    QueMovieRequester movieRequester_;
    classInputSceneQuery* sceneQuery_;
    classInputQueueSink* queueSink_;
    InputTextureSizeSource textureSize_;
    GlyphImageBinder glyphBinder_;
    StartupFontRegistrar fontRegistrar_;
    InterruptSnapshotWriter snapshotWriter_;
    ScriptLoaderFunction loader_;
    FlowCommandServices flow_;
    classTextLayoutSource* textLayout_;
    classSceneServices* sceneServices_;
    classSceneDrawSource* drawSource_;
};

TEST(InstallServices, InstallsEveryHookAndService) {
    struct Case {
        const char* name;
        bool (*installed)();
    };
    const Case cases[] = {
        {"read System.dat", [] { return GetSubsystemHooks().readSystemData != nullptr; }},
        {"read Already.dat", [] { return GetSubsystemHooks().readAlreadyData != nullptr; }},
        {"write System.dat", [] { return GetSubsystemHooks().writeSystemData != nullptr; }},
        {"write Already.dat", [] { return GetSubsystemHooks().writeAlreadyData != nullptr; }},
        {"prepare scripts", [] { return GetSubsystemHooks().prepareScripts != nullptr; }},
        {"start-up script routine", [] { return GetSubsystemHooks().startupScriptRoutine != nullptr; }},
        {"start the sound output", [] { return GetSubsystemHooks().initSoundSystem != nullptr; }},
        {"stop the sound output", [] { return GetSubsystemHooks().shutdownSoundSystem != nullptr; }},
        {"stop the movies", [] { return GetSubsystemHooks().stopMovies != nullptr; }},
        {"make the sound manager", [] { return GetSubsystemHooks().createSoundManager != nullptr; }},
        {"destroy the sound manager", [] { return GetSubsystemHooks().destroySoundManager != nullptr; }},
        {"make the scenes", [] { return GetSubsystemHooks().createScenes != nullptr; }},
        {"destroy the scenes", [] { return GetSubsystemHooks().destroyScenes != nullptr; }},
        {"run the queues", [] { return GetSubsystemHooks().executeAllQueues != nullptr; }},
        {"update the scenes", [] { return GetSubsystemHooks().updateScenes != nullptr; }},
        {"draw the scenes", [] { return GetSubsystemHooks().drawScenes != nullptr; }},
        {"graphic device", [] { return GetSubsystemHooks().createFrameDevice != nullptr; }},
        {"window messages to input", [] { return GetSubsystemHooks().onWindowMessage != nullptr; }},
        {"key state", [] { return GetSubsystemHooks().isVirtualKeyDown != nullptr; }},
        {"release screen captures", [] { return GetDeviceObjectHooks().releaseRenderTargetTiles != nullptr; }},
        {"release textures", [] { return GetDeviceObjectHooks().releaseAllTiles != nullptr; }},
        {"release shaders", [] { return GetDeviceObjectHooks().releaseAllPixelShaders != nullptr; }},
        {"realise text", [] { return GetSharedResourceHooks().realiseText != nullptr; }},
        {"save thumbnails", [] { return GetSharedResourceHooks().readPlayDataThumbnail != nullptr; }},
        {"realise movies", [] { return GetSharedResourceHooks().realiseMovie != nullptr; }},
        {"delete movies", [] { return GetSharedResourceHooks().deleteMovieGraph != nullptr; }},
        {"movie play, stop and pause", [] { return GetQueMovieRequester() != nullptr; }},
        {"sound records reach the sound manager",
         [] { return GetQueSoundService() == &GetSoundManagerService(); }},
        {"check a slot", [] { return GetQuePlayDataService().isValid != nullptr; }},
        {"write a slot", [] { return GetQuePlayDataService().write != nullptr; }},
        {"load a slot", [] { return GetQuePlayDataService().load != nullptr; }},
        {"wake the waiters on a load", [] { return GetQuePlayDataService().wakeAllWaiters != nullptr; }},
        {"input's scene", [] { return GetInputSceneQuery() != nullptr; }},
        {"input's queue", [] { return GetInputQueueSink() != nullptr; }},
        {"picture sizes of mouse areas", [] { return GetInputTextureSizeSource() != nullptr; }},
        {"glyph images", [] { return GetGlyphImageBinder() != nullptr; }},
        {"start-up fonts", [] { return GetStartupFontRegistrar() != nullptr; }},
        {"interrupt snapshot", [] { return GetInterruptSnapshotWriter() != nullptr; }},
        {"script files", [] { return GetScriptLoader() != nullptr; }},
        {"backlog screen", [] { return GetFlowCommandServices().runBacklogScreen != nullptr; }},
        {"text layout", [] { return Peek(&SetTextLayoutSource) != nullptr; }},
        {"scene textures", [] { return Peek(&SetSceneServices) != nullptr; }},
        {"drawn textures", [] { return Peek(&SetSceneDrawSource) != nullptr; }},
    };
    InstalledState saved;
    InstallServices();
    for (const Case& c : cases) EXPECT_TRUE(c.installed()) << c.name;
}

}  // namespace
