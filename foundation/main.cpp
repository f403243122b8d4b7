// The velk2 executable: the program takes no arguments; everything it plays
// comes from the working directory.
#include "foundation/entry.h"
#include "foundation/input_manager.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_device.h"
#include "presentation/input_presentation_links.h"
#include "presentation/scene_subsystem.h"
#include "presentation/glyph_set.h"
#include "presentation/shader_registry.h"
#include "presentation/shared_texture_services.h"
#include "script/script_threads.h"
#include "sound/sound_system.h"
#include "system/play_data.h"
#include "system/system_files.h"

int main() {
    RegisterInputSubsystem();
    InstallInputPresentationLinks();
    RegisterSceneSubsystem();
    RegisterSystemFiles();
    RegisterScriptSubsystem();
    RegisterCommandQueueSubsystem();
    RegisterGraphicDeviceSubsystem();
    RegisterShaderSubsystem();
    RegisterSharedResourceSubsystem();
    RegisterGlyphSetSubsystem();
    RegisterSoundSubsystem();
    RegisterPlayDataSubsystem();
    return WinMain();
}
