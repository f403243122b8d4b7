// Fonts on FreeType, found through fontconfig.
//
// The game names Windows faces ("メイリオ", "ＭＳ ゴシック"). fontconfig always
// answers with some face, so its answer counts only when that face really
// carries the asked family name; otherwise our own alias table picks a
// Japanese face of the same style, then any Japanese sans face. Metrics follow
// the old text API: win ascent and descent from the OS/2 table scaled to the
// em and rounded, advances hinted and rounded to whole pixels.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
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
    const char* needle;          // a part of the asked name
    const char* const* families;  // tried in order
};

constexpr const char* kSansFamilies[] = {"Noto Sans CJK JP", "IPAexGothic", "IPAPGothic", "IPAGothic",
                                         nullptr};
constexpr const char* kMonoFamilies[] = {"IPAGothic", "Noto Sans Mono CJK JP", "IPAexGothic", nullptr};
constexpr const char* kSerifFamilies[] = {"Noto Serif CJK JP", "IPAexMincho", "IPAMincho", "IPAPMincho",
                                          nullptr};

// The fixed-pitch gothic faces first: "ＭＳ ゴシック" is "ＭＳ Ｐゴシック" without
// the proportional P, and text laid out for it expects full-width em boxes.
constexpr AliasRule kAliases[] = {
    {"ＭＳ ゴシック", kMonoFamilies}, {"MS Gothic", kMonoFamilies}, {"ＭＳ 明朝", kSerifFamilies},
    {"MS Mincho", kSerifFamilies},    {"明朝", kSerifFamilies},       {"Mincho", kSerifFamilies},
    {"mincho", kSerifFamilies},       {"ゴシック", kSansFamilies},     {"Gothic", kSansFamilies},
    {"メイリオ", kSansFamilies},       {"Meiryo", kSansFamilies},
};

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

    // The best match for `family` with Japanese preferred; when `exact`, only
    // a face that carries that family name.
    bool Match(const char* family, bool exact, FaceFile* out) {
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
        bool accepted = !exact;
        FcChar8* value = nullptr;
        std::string firstFamily;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
            const std::string name(reinterpret_cast<const char*>(value));
            if (i == 0) firstFamily = name;
            if (name == family) accepted = true;
        }
        FcChar8* file = nullptr;
        int index = 0;
        if (accepted && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            out->path = reinterpret_cast<const char*>(file);
            out->index = index;
            out->family = firstFamily;
        } else {
            accepted = false;
        }
        FcPatternDestroy(match);
        return accepted;
    }

    bool Resolve(const std::string& face, FaceFile* out) {
        if (!face.empty() && Match(face.c_str(), true, out)) return true;
        for (const AliasRule& rule : kAliases) {
            if (face.find(rule.needle) == std::string::npos) continue;
            for (const char* const* family = rule.families; *family != nullptr; ++family) {
                if (Match(*family, true, out)) return true;
            }
            break;
        }
        for (const char* const* family = kSansFamilies; *family != nullptr; ++family) {
            if (Match(*family, true, out)) return true;
        }
        return Match("sans-serif", false, out);
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
