#include "presentation/text_realise.h"

#include <algorithm>

#include "foundation/archive.h"
#include "foundation/text_encoding.h"
#include "platform/font.h"
#include "platform/image/image.h"
#include "presentation/glyph_set.h"
#include "presentation/shared_resource.h"
#include "presentation/text_layout.h"
#include "presentation/truncate.h"

namespace {

// Far beyond any character of a 1280 × 720 screen; keeps a nonsense font size from allocating gigabytes.
constexpr int64 kMaxCharacterTexels = 8192;

int64 Magnitude(int32 value) {
    return value < 0 ? -static_cast<int64>(value) : static_cast<int64>(value);
}

// A listed glyph whose picture cannot be shown takes no room: the character
// vanishes from the text, so the writer is told which picture it was.
void ReportGlyphPicture(classSharedResource& resource, const char* what) {
    if (resource.fileReported != 0) return;
    resource.fileReported = 1;
    ReportOnce(resource.origin, "the glyph picture " + QuotedName(resource.secondName) + " of " +
                                    QuotedName(resource.name) + " in font " + std::to_string(resource.param) + what +
                                    "; the character is not drawn");
}

bool RealiseListedGlyph(classSharedResource& resource, platform::GpuDevice& device) {
    std::vector<u8> bytes;
    // Not there yet: the next draw tries again.
    bool tooLarge = false;
    if (!ReadWholeFile(resource.secondName, bytes, false, &tooLarge)) {
        if (tooLarge) resource.fileReported = 1;
        ReportGlyphPicture(resource, " is missing or cannot be read");
        return false;
    }
    platform::DecodedImage image;
    if (!platform::DecodeImage(bytes.data(), bytes.size(), image) || image.width <= 0 || image.height <= 0) {
        ReportGlyphPicture(resource, " cannot be decoded");
        resource.realised = -1;
        return false;
    }
    double scaleX = 1.0, scaleY = 1.0, advanceHeight = image.height;
    {
        classCriticalSectionLock hold(g_glyphSets.lock);
        const classGlyphSet* set = g_glyphSets.Find(resource.param);
        if (set == nullptr) {
            resource.realised = -1;
            return false;
        }
        const double height = static_cast<double>(Magnitude(set->logFont.lfHeight));
        const double across = set->logFont.lfWidth != 0 ? static_cast<double>(Magnitude(set->logFont.lfWidth)) : height;
        // A list loaded without its design size would scale by infinity; such
        // glyphs are shown at the size of their image instead.
        if (set->defaultWidth > 0) scaleX = across / static_cast<double>(set->defaultWidth);
        if (set->defaultHeight > 0) {
            scaleY = height / static_cast<double>(set->defaultHeight);
            advanceHeight = static_cast<double>(set->defaultHeight) * scaleY;
        }
        resource.keepsOwnColours = set->kind == GlyphSetKind_ColourImages ? 1 : 0;
    }
    resource.drawScale = D3DXVECTOR3{static_cast<float>(scaleX), static_cast<float>(scaleY), 1.f};
    resource.advanceWidth = static_cast<float>(image.width * scaleX);
    resource.advanceHeight = static_cast<float>(advanceHeight);
    if (!resource.BuildTiles(device, image.bgra.data(), image.width, image.height,
                             static_cast<size_t>(image.width) * 4, resource.keepsOwnColours == 0)) {
        resource.realised = -1;
        return false;
    }
    resource.FinishRealise();
    return true;
}

bool RealiseFontCharacter(classSharedResource& resource, platform::GpuDevice& device) {
    const std::string& name = resource.name;
    if (name.empty() || Utf8SequenceLength(static_cast<u8>(name[0])) == 0) {
        resource.realised = -1;
        return false;
    }
    const u32 code = Utf8DecodeAt(name, 0);
    constexpr int64 s = 2;
    platform::FontService& fonts = platform::GetFontService();
    classCriticalSectionLock hold(g_glyphSets.lock);
    classGlyphSet* set = g_glyphSets.Find(resource.param);
    if (set == nullptr) {
        resource.realised = -1;
        return false;
    }
    // Quality 1 draws at four times and filters down; the start-up fonts give
    // no quality of their own and are drawn at twice.
    const int64 f = set->given.quality.IsSet() && set->given.quality.Get() == 1 ? 2 : 1;
    const platform::FontHandle font = set->RenderFont(static_cast<int>(s * f));
    int cx = 0, cy = 0;
    if (font == 0 || !fonts.MeasureCharacter(font, code, &cx, &cy)) {
        resource.realised = -1;
        return false;
    }
    const int64 size = set->effective.size.IsSet() ? set->effective.size.Get() : 0;
    int64 height64 = static_cast<int64>(cy) + (size - set->textMetric.tmHeight) / 2;
    const int64 width = std::clamp<int64>(cx / f, 1, kMaxCharacterTexels);
    const int64 height = std::clamp<int64>(height64 / f, 1, kMaxCharacterTexels);
    resource.advanceWidth = static_cast<float>(static_cast<double>(cx) / static_cast<double>(s) / static_cast<double>(f));
    resource.advanceHeight =
        set->kind != GlyphSetKind_Font
            ? static_cast<float>(static_cast<double>(set->defaultHeight) / static_cast<double>(s) / static_cast<double>(f))
            : static_cast<float>(static_cast<double>(height64) / static_cast<double>(s) / static_cast<double>(f));
    resource.drawScale = D3DXVECTOR3{0.5f, 0.5f, 1.f};

    const int64 drawWidth = width * f, drawHeight = height * f;
    std::vector<u8> coverage(static_cast<size_t>(drawWidth * drawHeight), 0);
    fonts.RenderCharacter(font, code, coverage.data(), static_cast<int>(drawWidth), static_cast<int>(drawHeight),
                          static_cast<size_t>(drawWidth));
    std::vector<u8> bgra;
    if (f == 2) {
        BoxFilterCoverage(coverage.data(), static_cast<int>(width), static_cast<int>(height), bgra);
    } else {
        bgra.assign(static_cast<size_t>(width * height * 4), 0);
        for (size_t i = 0; i < coverage.size(); ++i) {
            bgra[i * 4] = bgra[i * 4 + 1] = bgra[i * 4 + 2] = coverage[i];
        }
    }
    if (!resource.BuildTiles(device, bgra.data(), static_cast<int32>(width), static_cast<int32>(height),
                             static_cast<size_t>(width) * 4, true)) {
        resource.realised = -1;
        return false;
    }
    resource.FinishRealise();
    return true;
}

// The layout's answers from the shared textures: characters are realised as
// they are placed. One that cannot be drawn (a listed glyph whose image is
// missing, a character its font cannot make) takes no room, so the text
// closes up around it instead of leaving a gap. Only before there is a
// device at all is a font's character measured with the font, so that text
// laid out that early still stands where it will be drawn.
class classSharedTextLayoutSource final : public classTextLayoutSource {
  public:
    void BoxSize(classSharedResource* box, int64* width, int64* height) override {
        *width = 0;
        *height = 0;
        if (box == nullptr) return;
        if (box->tiles.empty()) box->Realise();
        *width = box->width;
        *height = box->height;
    }
    void CharacterSize(classSharedResource* character, float* advanceWidth, float* advanceHeight) override {
        *advanceWidth = 0.f;
        *advanceHeight = 0.f;
        if (character == nullptr) return;
        if (character->tiles.empty()) character->Realise();
        if (character->realised == 1) {
            float zero = 0.f;
            character->GetCharacterSize(advanceHeight, &zero, advanceWidth, &zero);
            return;
        }
        if (!character->secondName.empty() || CurrentTextureDevice() != nullptr) return;
        classTextLayoutSource::CharacterSize(character, advanceWidth, advanceHeight);
    }
};

}  // namespace

void BoxFilterCoverage(const u8* coverage, int width, int height, std::vector<u8>& bgra) {
    bgra.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    const size_t sourceWidth = static_cast<size_t>(width) * 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const u8* top = coverage + static_cast<size_t>(2 * y) * sourceWidth + static_cast<size_t>(2 * x);
            const u8* bottom = top + sourceWidth;
            const int sum = top[0] + top[1] + bottom[0] + bottom[1];
            u8* out = &bgra[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
            out[0] = static_cast<u8>(top[0] / 4 + top[1] / 4 + bottom[0] / 4 + bottom[1] / 4);
            out[1] = static_cast<u8>(sum / 4);
            out[2] = static_cast<u8>(sum / 4);
            out[3] = 0;
        }
    }
}

bool RealiseTextResource(classSharedResource& resource, platform::GpuDevice& device) {
    if (!resource.tiles.empty()) return true;
    if (!resource.secondName.empty()) return RealiseListedGlyph(resource, device);
    return RealiseFontCharacter(resource, device);
}

void RegisterTextRealisation() {
    static classSharedTextLayoutSource source;
    GetSharedResourceHooks().realiseText = &RealiseTextResource;
    SetTextLayoutSource(&source);
}
