#pragma once
// Numbered fonts. Each font number names a glyph set: what was given for it,
// the description it takes effect with (inheriting whatever it left out from
// the next lower number), the font built from that and its metrics, and an
// optional character list that draws some characters from images instead.
//
// Threads: the start-up thread defines the fonts and script threads load
// character lists while the render thread lays out and draws text; every
// change and every read of a set goes under `g_glyphSets.lock`. Lock order:
// the glyph-set lock is taken before the shared-resource lock, never after.

#include <map>
#include <string>
#include <vector>

#include "foundation/critical_section.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "platform/font.h"
#include "presentation/character_list.h"
#include "presentation/graphic_key.h"

class classSharedResource;

struct classFontDesc {
    std::string faceName;  // UTF-8; empty = not given
    classOptionalValue<int64> size;
    int64 width = 0;  // 0 = the face's own; given together with size
    // 1: text is drawn at four times its size and filtered down, else at twice.
    classOptionalValue<u8> quality;
    // Carried along with the others; nothing reads them.
    classOptionalValue<u8> option1;
    classOptionalValue<u8> option2;
    classOptionalValue<int64> value1;
    classOptionalValue<int64> value2;
};

// The few fields of the old font description that the text code reads; the
// rest were always zero.
struct LOGFONTW {
    int32 lfHeight = 0;  // −(em height in pixels)
    int32 lfWidth = 0;   // average character width; 0 = the face's own
    char16_t lfFaceName[32] = {};
};

struct TEXTMETRICW {
    int32 tmHeight = 0;
    int32 tmAscent = 0;
    int32 tmDescent = 0;
    int32 tmAveCharWidth = 0;
};

enum GlyphSetKind : int32 {
    GlyphSetKind_Font = 0,
    GlyphSetKind_TintedImages = 1,  // "OrignalCharactorSet": the images' blue is coverage, tinted like text
    GlyphSetKind_ColourImages = 2,  // "GraphicCharactorSet": the images keep their colours
};

struct classGlyphCacheEntry {
    u32 code = 0;
    classSharedResource* resource = nullptr;  // released when the entry goes
};

class classGlyphSet {
  public:
    explicit classGlyphSet(classKey64 number);
    ~classGlyphSet();
    classGlyphSet(const classGlyphSet&) = delete;
    classGlyphSet& operator=(const classGlyphSet&) = delete;

    // Merges `given` over the previous set's effective description and
    // builds the font and its metrics. Always true.
    bool ComputeMetrics(const classGlyphSet* previous);
    // Reads a character list and attaches its images; a file that cannot be
    // read adds nothing. Always true.
    bool LoadCharacterList(int32 listKind, const std::string& file);
    // Makes `code` draw from `file` in this font from its next use on.
    classGlyphCacheEntry* AddGlyphImage(u32 code, const std::string& file);
    // Stores the kind and attaches every listed image.
    void ApplyCharacterList(int32 listKind, const std::vector<classCharacterListEntry>& entries);

    classKey64 number;
    classFontDesc given;
    classFontDesc effective;
    int32 kind = GlyphSetKind_Font;
    std::map<u32, classGlyphCacheEntry> glyphs;
    int64 defaultWidth = 0;   // "DefaultWidth": the design width of the glyph images
    int64 defaultHeight = 0;  // "DefaultHigth": their design height
    LOGFONTW logFont;
    TEXTMETRICW textMetric;
    // The font of logFont on the platform's font service (0 = none). The set
    // owns it; text realisation measures and draws with it.
    platform::FontHandle font = 0;
    // The same font enlarged `renderFactor` times, for drawing characters
    // into textures; opened on first use, dropped with `font`.
    platform::FontHandle renderFont = 0;
    int renderFactor = 0;
    platform::FontHandle RenderFont(int factor);
};

class classGlyphSetTable {
  public:
    // Walks the sets in number order, each merged over the one before it (the
    // first over the default description), under the lock.
    void RebuildAll();
    // Null when the number has no set. Callers hold `lock` while they use the set.
    classGlyphSet* Find(int64 number);
    // The set of `number`, made empty when there is none yet.
    classGlyphSet& Define(int64 number);
    // Drops every set (tests, and the end of the program).
    void Clear();

    std::map<classKey64, classGlyphSet> sets;  // guarded by lock
    classCriticalSection lock;
};

extern classGlyphSetTable g_glyphSets;

// The description the lowest font inherits from.
classFontDesc DefaultFontDesc();

// |lfHeight| of a font: its line pitch is this plus 20. 0 when the number has no set.
int64 GlyphSetLineHeight(int64 number);

// A start-up font definition: the given face (null keeps it), the size and
// width, then a rebuild of all sets.
void DefineFont(int64 number, const char* faceUtf8, int64 size, int64 width);

// The character-set commands: "Font", "List", "DefaultWidth", "DefaultHigth".
// Any thread: the list is read at once and takes effect at the render
// thread's next scene update, before any text of that frame is laid out. A
// design size that is not given leaves the set's own. False (and nothing
// happens) when the font has no set.
bool LoadCharacterSet(int64 fontNumber, int32 listKind, const std::string& file,
                      classOptionalValue<int64> defaultWidth, classOptionalValue<int64> defaultHeight);
// Render thread: applies the character lists loaded since the last call.
void ApplyPendingCharacterSets();

// What a listed glyph needs from the shared textures: its image file, and
// its tiles given back so the next draw realises it from that image. Filled
// by the shared-resource set; until it is, listed glyphs keep drawing as text.
using GlyphImageBinder = void (*)(classSharedResource* resource, const std::string& file);
void SetGlyphImageBinder(GlyphImageBinder binder);
GlyphImageBinder GetGlyphImageBinder();

// Fills the start-up font registration. Call before WinMain.
void RegisterGlyphSetSubsystem();
