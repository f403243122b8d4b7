// The texture of a character drawn from an image of a character list: the
// image at the scale that makes the list's design size match the font.
#include <cmath>

#include "foundation/archive.h"
#include "platform/image/image.h"
#include "presentation/glyph_set.h"
#include "presentation/shared_resource.h"

bool RealiseGlyphImage(classSharedResource& resource, platform::GpuDevice& device) {
    if (!resource.tiles.empty()) return true;
    if (resource.realised != 0) return false;
    float scaleX = 1.f, scaleY = 1.f;
    bool keepsColours = false;
    float designHeight = 0.f;
    int64 designWidth = 0;
    {
        classCriticalSectionLock hold(g_glyphSets.lock);
        classGlyphSet* set = g_glyphSets.Find(resource.param);
        // A character of a font that does not exist takes no room and shows nothing.
        if (set == nullptr) {
            resource.realised = -1;
            return false;
        }
        const float height = std::fabs(static_cast<float>(set->logFont.lfHeight));
        const float width = set->logFont.lfWidth != 0 ? std::fabs(static_cast<float>(set->logFont.lfWidth)) : height;
        designWidth = set->defaultWidth;
        designHeight = static_cast<float>(set->defaultHeight);
        keepsColours = set->kind == GlyphSetKind_ColourImages;
        scaleX = designWidth > 0 ? width / static_cast<float>(designWidth) : 0.f;
        scaleY = designHeight > 0.f ? height / designHeight : 0.f;
    }
    std::vector<u8> bytes;
    // Not there yet: the next draw looks again.
    if (!ReadWholeFile(resource.secondName, bytes, false)) return false;
    platform::DecodedImage image;
    if (!platform::DecodeImage(bytes.data(), bytes.size(), image)) {
        resource.realised = -1;
        return false;
    }
    // A list without its design size would divide by zero; its images are
    // then taken at their own size against the font's height.
    if (designWidth <= 0 || designHeight <= 0.f) {
        classCriticalSectionLock hold(g_glyphSets.lock);
        classGlyphSet* set = g_glyphSets.Find(resource.param);
        const float height = set != nullptr ? std::fabs(static_cast<float>(set->logFont.lfHeight)) : 0.f;
        const float width =
            set != nullptr && set->logFont.lfWidth != 0 ? std::fabs(static_cast<float>(set->logFont.lfWidth)) : height;
        if (designWidth <= 0) scaleX = width / static_cast<float>(image.width);
        if (designHeight <= 0.f) {
            designHeight = static_cast<float>(image.height);
            scaleY = height / designHeight;
        }
    }
    if (!resource.BuildTiles(device, image.bgra.data(), image.width, image.height,
                             static_cast<size_t>(image.width) * 4, !keepsColours)) {
        resource.ReleaseTiles(&device);
        resource.realised = -1;
        return false;
    }
    resource.drawScale = D3DXVECTOR3{scaleX, scaleY, 1.f};
    resource.advanceWidth = static_cast<float>(image.width) * scaleX;
    resource.advanceHeight = designHeight * scaleY;
    resource.keepsOwnColours = keepsColours ? 1 : 0;
    resource.FinishRealise();
    return true;
}
