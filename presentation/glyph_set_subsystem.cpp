// The fonts' and text textures' part of start-up, apart from the glyph sets
// themselves so that code using the sets does not drag the script threads in.
#include "foundation/subsystem_hooks.h"
#include "platform/font.h"
#include "presentation/glyph_set.h"
#include "presentation/text_realise.h"
#include "script/script_threads.h"

namespace {
void RegisterStartupFont(const StartupFont& startupFont) {
    DefineFont(startupFont.number, startupFont.face, startupFont.size, startupFont.width);
}
}  // namespace

void RegisterGlyphSetSubsystem() {
    SetStartupFontRegistrar(&RegisterStartupFont);
    // The start-up fonts are the start-up script's first work; the font
    // configuration they are looked up in takes a tenth of the time to the
    // first picture to read, and is read while the window opens.
    GetSubsystemHooks().prepareWhileTheWindowOpens = [] { platform::GetFontService(); };
    RegisterTextRealisation();
}
