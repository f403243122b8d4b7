#pragma once
// A scene that is one picture laid over the whole screen as it is, texel for
// pixel: a fade reads that picture where it would otherwise read a copy of
// the scene drawn for it, and the copy's screen-sized target is never made.

#include <string>
#include <vector>

#include "presentation/scene_draw.h"

namespace scene_draw {

// Whether the scene could be shown as its one picture once that picture is
// realised: it draws one textured object, a picture file, with no shader,
// tint, stencil or filter, at full alpha.
bool MayBeScreenPicture(const std::vector<ObjectLook>& looks, const std::string& filter);

// The look of the scene's one picture when the scene is that picture on a
// screen of width × height: as MayBeScreenPicture, realised in one opaque
// tile whose texels fall one to one, the right way round, on the whole
// screen through the screen's camera. Null otherwise.
const ObjectLook* ScreenPicture(const std::vector<ObjectLook>& looks, const std::string& filter, int32 width,
                                int32 height);
// The device texture of that picture's one tile.
platform::GpuHandle ScreenPictureTexture(const ObjectLook& look);

}  // namespace scene_draw
