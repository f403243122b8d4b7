// Fonts on FreeType, found through fontconfig.
//
// The game names Windows faces ("メイリオ", "ＭＳ ゴシック"). A face it names
// is used when this machine really has it; otherwise our own table picks a
// stand-in with the same width model, because the layout advances by each
// character's own width: a face whose kana, kanji and punctuation are one em
// wide stands in for one that has them so, and a proportional ("P") face only
// for a proportional one. A family is taken only from a file whose own name
// table carries it: fontconfig's cache may describe a file that a system
// alternative has since pointed elsewhere (Debian's fonts-japanese-gothic.ttf
// names IPAGothic in the cache and opens IPAexGothic once that is installed).
// Metrics follow the old text API: win ascent and descent from the OS/2 table
// scaled to the em and rounded, advances hinted and rounded to whole pixels.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/font.h"

namespace platform {
namespace {

struct FaceFile {
    std::string path;
    int index = 0;
    std::string family;
};

struct AliasRule {
    const char* needle;           // a part of the asked name, ASCII letters in lower case
    const char* const* families;  // tried in order
};

// Full-width Japanese with proportional Latin, as "メイリオ".
constexpr const char* kGothicFamilies[] = {"IPAexGothic", "IPAGothic", "Noto Sans CJK JP", nullptr};
constexpr const char* kMinchoFamilies[] = {"IPAexMincho", "IPAMincho", "Noto Serif CJK JP", nullptr};
// Fixed pitch throughout, Latin half an em, as "ＭＳ ゴシック" and "ＭＳ 明朝".
constexpr const char* kFixedGothicFamilies[] = {"IPAGothic", "IPAexGothic", "Noto Sans Mono CJK JP", nullptr};
constexpr const char* kFixedMinchoFamilies[] = {"IPAMincho", "IPAexMincho", nullptr};
// Proportional kana and punctuation, only for a face that is so itself.
constexpr const char* kProportionalGothicFamilies[] = {"IPAPGothic", "IPAexGothic", "IPAGothic", nullptr};
constexpr const char* kProportionalMinchoFamilies[] = {"IPAPMincho", "IPAexMincho", "IPAMincho", nullptr};

// The first rule whose needle the asked name contains wins: the proportional
// faces before the fixed ones whose names they contain a part of, the named
// faces before the generic words.
constexpr AliasRule kAliases[] = {
    {"ＭＳ Ｐゴシック", kProportionalGothicFamilies},
    {"ms pgothic", kProportionalGothicFamilies},
    {"ms ui gothic", kProportionalGothicFamilies},
    {"ＭＳ Ｐ明朝", kProportionalMinchoFamilies},
    {"ms pmincho", kProportionalMinchoFamilies},
    {"ＭＳ ゴシック", kFixedGothicFamilies},
    {"ms gothic", kFixedGothicFamilies},
    {"ＭＳ 明朝", kFixedMinchoFamilies},
    {"ms mincho", kFixedMinchoFamilies},
    {"メイリオ", kGothicFamilies},
    {"meiryo", kGothicFamilies},
    {"明朝", kMinchoFamilies},
    {"mincho", kMinchoFamilies},
    {"ゴシック", kGothicFamilies},
    {"gothic", kGothicFamilies},
};

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string WithoutBlanks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

// A name record's text as UTF-8, for the records in UTF-16BE (the Unicode and
// Windows platforms: the ones that carry the Japanese names); empty for any
// other record, and for a name outside the basic plane, which no family name
// uses. (Decoded here: the platform library links below the engine's text
// helpers.) The Latin name is FreeType's own family name.
std::string NameRecordText(const FT_SfntName& record) {
    std::string text;
    if (record.platform_id != TT_PLATFORM_APPLE_UNICODE && record.platform_id != TT_PLATFORM_MICROSOFT) {
        return text;
    }
    for (FT_UInt i = 0; i + 1 < record.string_len; i += 2) {
        const u32 unit = (static_cast<u32>(record.string[i]) << 8) | record.string[i + 1];
        if (unit >= 0xD800 && unit <= 0xDFFF) return std::string();
        if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
        } else if (unit < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (unit >> 6)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xE0 | (unit >> 12)));
            text.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
    return text;
}

// Whether the face's own tables name `family`, in any language, compared as
// fontconfig compares family names (case and blanks aside).
bool FaceCarriesFamily(FT_Face face, const char* family) {
    const std::string wanted = WithoutBlanks(AsciiLower(family));
    const auto same = [&wanted](const char* name) {
        return name != nullptr && WithoutBlanks(AsciiLower(name)) == wanted;
    };
    if (same(face->family_name)) return true;
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName record;
        if (FT_Get_Sfnt_Name(face, i, &record) != 0) continue;
        const bool family =
            record.name_id == TT_NAME_ID_FONT_FAMILY || record.name_id == TT_NAME_ID_TYPOGRAPHIC_FAMILY;
        if (family && same(NameRecordText(record).c_str())) return true;
    }
    return false;
}

// One opened font: its primary face and, loaded on demand, faces that carry
// the characters the primary one lacks.
struct OpenedFont {
    FT_Face primary = nullptr;
    std::string family;
    int emHeight = 0;
    int ppemX = 0;
    FontMetrics metrics;
    std::map<std::string, FT_Face> fallbacks;  // by "path#index"
};

class FreeTypeFontService final : public FontService {
  public:
    FreeTypeFontService() {
        ready_ = FT_Init_FreeType(&library_) == 0;
        config_ = FcInitLoadConfigAndFonts();
    }
    ~FreeTypeFontService() override {
        for (auto& [handle, font] : fonts_) Destroy(font);
        if (fallbackSet_ != nullptr) FcFontSetDestroy(fallbackSet_);
        if (config_ != nullptr) FcConfigDestroy(config_);
        if (ready_) FT_Done_FreeType(library_);
    }

    FontHandle OpenFont(const std::string& faceUtf8, int emHeight, int width) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ready_ || config_ == nullptr) return 0;
        if (emHeight < 1) emHeight = 1;
        // Sizes past this are no text a screen can show; FreeType would refuse them anyway.
        if (emHeight > 4096) emHeight = 4096;
        if (width < 0) width = -width;
        if (width > 16384) width = 16384;
        FaceFile file;
        if (!Resolve(faceUtf8, &file)) return 0;
        OpenedFont font;
        if (FT_New_Face(library_, file.path.c_str(), file.index, &font.primary) != 0) return 0;
        font.family = file.family;
        font.emHeight = emHeight;
        font.ppemX = emHeight;
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(font.primary, FT_SFNT_OS2));
        const int upem = font.primary->units_per_EM > 0 ? font.primary->units_per_EM : 1000;
        if (width > 0 && os2 != nullptr && os2->xAvgCharWidth > 0) {
            // The average width is what the old API stretches to the asked width.
            const double ppem = static_cast<double>(width) * upem / os2->xAvgCharWidth;
            font.ppemX = static_cast<int>(std::lround(ppem < 1.0 ? 1.0 : (ppem > 16384.0 ? 16384.0 : ppem)));
        } else if (width > 0) {
            font.ppemX = width * 2;
        }
        FT_Set_Pixel_Sizes(font.primary, static_cast<FT_UInt>(font.ppemX), static_cast<FT_UInt>(emHeight));
        double ascentUnits = font.primary->ascender;
        double descentUnits = -static_cast<double>(font.primary->descender);
        if (os2 != nullptr && os2->version != 0xFFFFu && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
            ascentUnits = os2->usWinAscent;
            descentUnits = os2->usWinDescent;
        }
        font.metrics.ascent = static_cast<int>(std::lround(ascentUnits * emHeight / upem));
        font.metrics.descent = static_cast<int>(std::lround(descentUnits * emHeight / upem));
        font.metrics.height = font.metrics.ascent + font.metrics.descent;
        font.metrics.emHeight = emHeight;
        if (width > 0) {
            font.metrics.aveCharWidth = width;
        } else if (os2 != nullptr && os2->xAvgCharWidth > 0) {
            font.metrics.aveCharWidth = static_cast<int>(std::lround(static_cast<double>(os2->xAvgCharWidth) *
                                                                     font.ppemX / upem));
        } else {
            font.metrics.aveCharWidth = emHeight / 2;
        }
        const FontHandle handle = next_++;
        fonts_.emplace(handle, font);
        return handle;
    }

    void CloseFont(FontHandle handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = fonts_.find(handle);
        if (found == fonts_.end()) return;
        Destroy(found->second);
        fonts_.erase(found);
    }

    bool GetMetrics(FontHandle handle, FontMetrics* metrics) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = fonts_.find(handle);
        if (found == fonts_.end() || metrics == nullptr) return false;
        *metrics = found->second.metrics;
        return true;
    }

    bool MeasureCharacter(FontHandle handle, u32 codePoint, int* width, int* height) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = fonts_.find(handle);
        if (found == fonts_.end()) return false;
        OpenedFont& font = found->second;
        if (height != nullptr) *height = font.metrics.height;
        if (width != nullptr) *width = 0;
        FT_UInt glyph = 0;
        FT_Face face = FaceFor(font, codePoint, &glyph);
        if (face == nullptr) return true;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) return true;
        if (width != nullptr) *width = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        return true;
    }

    bool RenderCharacter(FontHandle handle, u32 codePoint, u8* coverage, int width, int height,
                         std::size_t pitch) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = fonts_.find(handle);
        if (found == fonts_.end() || coverage == nullptr || width <= 0 || height <= 0) return false;
        if (pitch < static_cast<std::size_t>(width)) return false;
        OpenedFont& font = found->second;
        FT_UInt glyph = 0;
        FT_Face face = FaceFor(font, codePoint, &glyph);
        if (face == nullptr) return true;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) return false;
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return false;
        const int64 left = face->glyph->bitmap_left;
        const int64 top = static_cast<int64>(font.metrics.ascent) - face->glyph->bitmap_top;
        for (int64 row = 0; row < static_cast<int64>(bitmap.rows); ++row) {
            const int64 y = top + row;
            if (y < 0 || y >= height) continue;
            const unsigned char* source = bitmap.buffer + row * bitmap.pitch;
            for (int64 column = 0; column < static_cast<int64>(bitmap.width); ++column) {
                const int64 x = left + column;
                if (x < 0 || x >= width) continue;
                u8 value = 0;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    value = source[column];
                } else {
                    value = (source[column >> 3] & (0x80 >> (column & 7))) != 0 ? 255 : 0;
                }
                u8& target = coverage[static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x)];
                if (value > target) target = value;
            }
        }
        return true;
    }

    std::string ResolvedFamily(FontHandle handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = fonts_.find(handle);
        return found == fonts_.end() ? std::string() : found->second.family;
    }

  private:
    void Destroy(OpenedFont& font) {
        for (auto& [key, face] : font.fallbacks) {
            if (face != nullptr) FT_Done_Face(face);
        }
        font.fallbacks.clear();
        if (font.primary != nullptr) FT_Done_Face(font.primary);
        font.primary = nullptr;
    }

    // A file that really carries `family`: fontconfig lists the candidates,
    // the file's own name table decides. Candidates are tried in path order
    // so that one machine always gives the same file.
    bool FindFamily(const char* family, FaceFile* out) {
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
        FcFontSet* listed = nullptr;
        if (pattern != nullptr && objects != nullptr &&
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family))) {
            listed = FcFontList(config_, pattern, objects);
        }
        if (objects != nullptr) FcObjectSetDestroy(objects);
        if (pattern != nullptr) FcPatternDestroy(pattern);
        if (listed == nullptr) return false;
        std::vector<std::pair<std::string, int>> candidates;
        for (int i = 0; i < listed->nfont; ++i) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(listed->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
            FcPatternGetInteger(listed->fonts[i], FC_INDEX, 0, &index);
            candidates.emplace_back(reinterpret_cast<const char*>(file), index);
        }
        FcFontSetDestroy(listed);
        std::sort(candidates.begin(), candidates.end());
        for (const auto& [path, index] : candidates) {
            FT_Face face = nullptr;
            if (FT_New_Face(library_, path.c_str(), index, &face) != 0) continue;
            const bool carries = FaceCarriesFamily(face, family);
            if (carries) {
                out->path = path;
                out->index = index;
                out->family = face->family_name != nullptr ? face->family_name : family;
            }
            FT_Done_Face(face);
            if (carries) return true;
        }
        return false;
    }

    // Whatever fontconfig finds for `family` with Japanese preferred: the
    // last resort when none of our stand-ins is installed.
    bool MatchAny(const char* family, FaceFile* out) {
        FcPattern* pattern = FcPatternCreate();
        if (pattern == nullptr) return false;
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcConfigSubstitute(config_, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config_, pattern, &result);
        FcPatternDestroy(pattern);
        if (match == nullptr) return false;
        FcChar8* file = nullptr;
        FcChar8* name = nullptr;
        int index = 0;
        const bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
        if (found) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            out->path = reinterpret_cast<const char*>(file);
            out->index = index;
            out->family = FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch
                              ? reinterpret_cast<const char*>(name)
                              : family;
        }
        FcPatternDestroy(match);
        return found;
    }

    bool Resolve(const std::string& face, FaceFile* out) {
        auto known = resolved_.find(face);
        if (known != resolved_.end()) {
            *out = known->second;
            return true;
        }
        if (!ResolveOnce(face, out)) return false;
        resolved_.emplace(face, *out);
        return true;
    }

    bool ResolveOnce(const std::string& face, FaceFile* out) {
        if (!face.empty() && FindFamily(face.c_str(), out)) return true;
        const std::string lower = AsciiLower(face);
        for (const AliasRule& rule : kAliases) {
            if (lower.find(rule.needle) == std::string::npos) continue;
            for (const char* const* family = rule.families; *family != nullptr; ++family) {
                if (FindFamily(*family, out)) return true;
            }
            break;
        }
        for (const char* const* family = kGothicFamilies; *family != nullptr; ++family) {
            if (FindFamily(*family, out)) return true;
        }
        return MatchAny("sans-serif", out);
    }

    // The face that draws `codePoint`: the primary one, or the first face of
    // the Japanese sans fallback order that has it.
    FT_Face FaceFor(OpenedFont& font, u32 codePoint, FT_UInt* glyph) {
        *glyph = FT_Get_Char_Index(font.primary, codePoint);
        if (*glyph != 0) return font.primary;
        if (codePoint > 0x10FFFF) return nullptr;
        if (fallbackSet_ == nullptr && !fallbackTried_) {
            fallbackTried_ = true;
            FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
            if (pattern != nullptr) {
                FcConfigSubstitute(config_, pattern, FcMatchPattern);
                FcDefaultSubstitute(pattern);
                FcResult result = FcResultNoMatch;
                fallbackSet_ = FcFontSort(config_, pattern, FcTrue, nullptr, &result);
                FcPatternDestroy(pattern);
            }
        }
        if (fallbackSet_ == nullptr) return nullptr;
        for (int i = 0; i < fallbackSet_->nfont; ++i) {
            FcPattern* candidate = fallbackSet_->fonts[i];
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) != FcResultMatch ||
                !FcCharSetHasChar(charset, codePoint)) {
                continue;
            }
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch) continue;
            FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
            const std::string key = std::string(reinterpret_cast<const char*>(file)) + "#" + std::to_string(index);
            auto found = font.fallbacks.find(key);
            if (found == font.fallbacks.end()) {
                FT_Face face = nullptr;
                if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face) != 0) face = nullptr;
                if (face != nullptr) {
                    FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(font.ppemX),
                                       static_cast<FT_UInt>(font.emHeight));
                }
                found = font.fallbacks.emplace(key, face).first;
            }
            if (found->second == nullptr) continue;
            *glyph = FT_Get_Char_Index(found->second, codePoint);
            if (*glyph != 0) return found->second;
        }
        return nullptr;
    }

    std::mutex mutex_;  // guards everything below: FreeType faces are not thread-safe
    FT_Library library_ = nullptr;
    bool ready_ = false;
    FcConfig* config_ = nullptr;
    FcFontSet* fallbackSet_ = nullptr;
    bool fallbackTried_ = false;
    std::map<FontHandle, OpenedFont> fonts_;
    std::map<std::string, FaceFile> resolved_;  // asked face name → the file it stands for
    FontHandle next_ = 1;
};

std::atomic<FontService*> g_installed{nullptr};  // atomic: tests install theirs before threads start

}  // namespace

std::unique_ptr<FontService> CreateFreeTypeFontService() {
    return std::make_unique<FreeTypeFontService>();
}

FontService& GetFontService() {
    FontService* installed = g_installed.load(std::memory_order_acquire);
    if (installed != nullptr) return *installed;
    // Made on first use; it goes at exit after every thread has been joined,
    // and nothing that outlives it closes fonts on it.
    static const std::unique_ptr<FontService> real = CreateFreeTypeFontService();
    return *real;
}

FontService* SetFontService(FontService* service) {
    return g_installed.exchange(service, std::memory_order_acq_rel);
}

}  // namespace platform
