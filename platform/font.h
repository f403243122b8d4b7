#pragma once
// Fonts as the engine asks for them: a face name of the game (often a
// Japanese Windows face that this machine does not have), an em height in
// pixels and an optional average character width. The answers follow the old
// text API's rules, which the layout depends on: the line box is the sum of
// the face's win ascent and descent scaled to the em, and every advance is a
// whole number of pixels. A character missing from the chosen face is taken
// from another face that has it.
//
// Threads: any thread; one lock inside the service guards every face, since
// fonts are defined on a script thread and drawn on the render thread.

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/types.h"

namespace platform {

using FontHandle = u64;  // 0 = no font

struct FontMetrics {
    int height = 0;        // ascent + descent
    int ascent = 0;        // the baseline's distance from the top of the line box
    int descent = 0;
    int aveCharWidth = 0;  // the width asked for, or the face's own average
    int emHeight = 0;      // the em the font was opened with
};

class FontService {
  public:
    virtual ~FontService() = default;
    // `emHeight` pixels per em (at least 1); `width` 0 keeps the face's own
    // proportions, else the face is stretched so its average width is `width`.
    // 0 when no face at all can be had.
    virtual FontHandle OpenFont(const std::string& faceUtf8, int emHeight, int width) = 0;
    virtual void CloseFont(FontHandle font) = 0;
    virtual bool GetMetrics(FontHandle font, FontMetrics* metrics) = 0;
    // The extent of one character: its advance in whole pixels and the line
    // box height. A character no face has measures 0 wide.
    virtual bool MeasureCharacter(FontHandle font, u32 codePoint, int* width, int* height) = 0;
    // Draws one character's coverage (0 … 255) into `coverage`, a rectangle
    // of width × height bytes with rows `pitch` apart that the caller cleared:
    // the pen at x = 0, the baseline at the ascent. Ink outside is clipped.
    virtual bool RenderCharacter(FontHandle font, u32 codePoint, u8* coverage, int width, int height,
                                 std::size_t pitch) = 0;
    // The family that a face name resolved to (for diagnostics and tests).
    virtual std::string ResolvedFamily(FontHandle font) = 0;
};

// FreeType faces found through fontconfig.
std::unique_ptr<FontService> CreateFreeTypeFontService();

// The process's font service: made on first use; tests may install their own
// (null restores the real one). The pointer is atomic.
FontService& GetFontService();
FontService* SetFontService(FontService* service);

}  // namespace platform
