#include "presentation/screen_picture.h"

#include <cmath>

#include "presentation/d3dx_math.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"

namespace scene_draw {

namespace {

// The scene's one textured object; null when it has none or more than one.
// An invisible object counts too: a filter takes effect unseen.
const ObjectLook* OnlyTexturedLook(const std::vector<ObjectLook>& looks) {
    const ObjectLook* only = nullptr;
    for (const ObjectLook& look : looks) {
        if (look.texture == nullptr) continue;
        if (only != nullptr) return nullptr;
        only = &look;
    }
    return only;
}

// Each corner lands where a texel-for-pixel copy of the whole texture puts
// it: the pixel centres of the old device lie on whole window coordinates,
// so texel j's centre, u = (j + 0.5) / width, falls on pixel j when the
// corner at u sits at u × width − 0.5.
bool LaysTexelsOnPixels(const classDrawTile& tile, const D3DMATRIX& toClip, int32 width, int32 height) {
    // A texel centre missed by less than this weighs nothing in a linear sample.
    constexpr float kSlack = 1.f / 1024.f;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    for (const platform::GpuVertex& vertex : tile.vertices) {
        if ((vertex.u != 0.f && vertex.u != 1.f) || (vertex.v != 0.f && vertex.v != 1.f)) return false;
        const D3DXVECTOR3 corner{vertex.x, vertex.y, vertex.z};
        D3DXVECTOR3 ndc;
        D3DXVec3TransformCoord(&ndc, &corner, &toClip);
        const float x = (ndc.x + 1.f) * 0.5f * w, y = (1.f - ndc.y) * 0.5f * h;
        if (!(std::fabs(x - (vertex.u * w - 0.5f)) <= kSlack) || !(std::fabs(y - (vertex.v * h - 0.5f)) <= kSlack))
            return false;
    }
    return true;
}

}  // namespace

bool MayBeScreenPicture(const std::vector<ObjectLook>& looks, const std::string& filter) {
    if (!filter.empty()) return false;
    const ObjectLook* look = OnlyTexturedLook(looks);
    return look != nullptr && GetSceneServices().TextureKindOf(look->texture) == TextureKind_ImageFile &&
           look->pixelShader == nullptr && look->tinted == 0 && look->stencil == 0 &&
           AlphaFromTransmittance(look->transmittance) == 255;
}

const ObjectLook* ScreenPicture(const std::vector<ObjectLook>& looks, const std::string& filter, int32 width,
                                int32 height) {
    classGraphicDevice* holder = GetGraphicDevice();
    if (holder == nullptr || !MayBeScreenPicture(looks, filter)) return nullptr;
    const ObjectLook& look = *OnlyTexturedLook(looks);
    // A look has tiles only once its texture is realised.
    if (look.tileCount != 1) return nullptr;
    const auto& tile = *static_cast<const classDrawTile*>(look.tiles);
    if (tile.texture == 0 || !tile.opaque) return nullptr;
    // Its texels one to one on the pixels needs a texture of the screen's size.
    int textureWidth = 0, textureHeight = 0;
    classSharedResource* texture = look.object->texture;
    GetSceneDrawSource().TextureSize(texture, &textureWidth, &textureHeight);
    if (textureWidth != width || textureHeight != height) return nullptr;
    // As the object is drawn: its texture's scale, its matrix, the screen's camera.
    D3DMATRIX scaling;
    D3DXMatrixScaling(&scaling, look.drawScale.x, look.drawScale.y, look.drawScale.z);
    const classSceneCamera camera = ComputeSceneCamera(holder->GetWidth(), holder->GetHeight(), width, height);
    const D3DMATRIX toClip = scaling * look.matrix * camera.view * camera.projection;
    return LaysTexelsOnPixels(tile, toClip, width, height) ? &look : nullptr;
}

platform::GpuHandle ScreenPictureTexture(const ObjectLook& look) {
    return static_cast<const classDrawTile*>(look.tiles)->texture;
}

}  // namespace scene_draw
