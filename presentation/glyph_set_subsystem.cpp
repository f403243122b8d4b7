// The fonts' and text textures' part of start-up, apart from the glyph sets
// themselves so that code using the sets does not drag the script threads in.
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
    RegisterTextRealisation();
}
