#include "foundation/install_services.h"

#include "foundation/input_manager.h"
#include "presentation/command_queue.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/input_presentation_links.h"
#include "presentation/movie_playback.h"
#include "presentation/que_services.h"
#include "presentation/scene_subsystem.h"
#include "presentation/shader_registry.h"
#include "presentation/shared_texture_services.h"
#include "script/script_loader.h"
#include "script/script_threads.h"
#include "sound/sound_system.h"
#include "system/backlog_screen.h"
#include "system/play_data.h"
#include "system/system_files.h"

void InstallServices() {
    // Window messages and key state to the input manager; the scene and the
    // main queue to the input waiters.
    RegisterInputSubsystem();
    InstallInputPresentationLinks();

    // The scene roots, the records that change them, and the frame that
    // draws them: device holder, scene drawing, shaders, shared textures
    // (with the glyph images and the mouse areas' picture sizes), the glyph
    // sets, and text realisation.
    RegisterSceneSubsystem();
    RegisterCommandQueueSubsystem();
    RegisterGraphicDeviceSubsystem();
    RegisterShaderSubsystem();
    RegisterSharedResourceSubsystem();
    RegisterGlyphSetSubsystem();
    // Movies in textures: their realisation, play/stop/pause, the FFmpeg
    // player, and the join of every decoder thread after the last frame.
    RegisterMovieSubsystem();

    // Scripts: the runtime, the start-up thread, and how a frame loads its
    // script file.
    RegisterScriptSubsystem();
    InstallScriptLoader();

    // Sound: the output and the application's sound manager, and the way the
    // sound records of the queue reach that manager.
    RegisterSoundSubsystem();
    SetQueSoundService(&GetSoundManagerService());

    // The player's files: "System.dat" and "Already.dat", and the play-data
    // slots with their thumbnails and the interrupt snapshot.
    RegisterSystemFiles();
    RegisterPlayDataSubsystem();

    // The backlog screen behind "History" ("Config" finds its screen in the
    // command table).
    RegisterSystemScreens();
}
