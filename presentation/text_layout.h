#pragma once
// Laying out the text of a text object. A text record only queues a request;
// the next scene update lays every pending request out at once: each
// character becomes a per-character child with a text texture of its own
// (shared by every use of that character in that font), a position slot, and
// two slots that hold it invisible until its turn and then fade it in. The
// one-after-another appearance is slot timing, not per-frame work.
//
// Threads: render thread only, under the application lock, like the rest of
// the object tree; the glyph-set lock is taken briefly to check a font.

#include <string>
#include <string_view>

#include "foundation/types.h"
#include "presentation/text_request.h"

class classGraphicObject;
class classSharedResource;

// Slot keys on a per-character child.
inline constexpr int64 kTextSlotPosition = 0;
inline constexpr int64 kTextSlotHold = 1;
inline constexpr int64 kTextSlotFade = 2;
inline constexpr int64 kTextSlotRubyScale = 999;
// The font ruby is always drawn in, at half size.
inline constexpr int64 kRubyFontNumber = 9;

// What layout needs of the textures: the text box's size and a character's
// advance, each realised first when it is not yet. The shared texture set
// answers once it is installed; the defaults give a box of 0 × 0 and measure
// characters straight from their glyph set's font.
class classTextLayoutSource {
  public:
    virtual ~classTextLayoutSource() = default;
    virtual void BoxSize(classSharedResource* box, int64* width, int64* height);
    // 0 × 0 for a character that cannot be realised: it takes no room.
    virtual void CharacterSize(classSharedResource* character, float* advanceWidth, float* advanceHeight);
};
classTextLayoutSource& GetTextLayoutSource();
// Installs `source` (null restores the defaults); returns the previous one. Atomic.
classTextLayoutSource* SetTextLayoutSource(classTextLayoutSource* source);

// True for the 21 characters that may not begin a line.
bool IsLineStartProhibited(std::string_view character);

// Lays out all pending requests; false when there were none.
bool DrawTextStep(classGraphicObject& object);
bool PlaceTextCharacter(classGraphicObject& object, std::string_view character, const classTextRequest& request,
                        std::string_view next);
bool PlaceRuby(classGraphicObject& object, std::string_view ruby, const classTextRequest& request, double offset);
// Lays the object's saved text out again at once (a loaded scene).
bool RestartTextDrawing(classGraphicObject& object);
