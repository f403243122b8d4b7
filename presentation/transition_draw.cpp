#include "presentation/transition_draw.h"

#include <algorithm>
#include <string>
#include <utility>

#include "foundation/worker_threads.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/screen_picture.h"
#include "presentation/shader_registry.h"

namespace transition_draw {

using scene_draw::CurrentDevice;
using scene_draw::ObjectLook;
using scene_draw::RestoreRenderTarget;
using scene_draw::ScreenSize;
using scene_draw::SetScreenCamera;

namespace {

// Render thread only: the overlay as last captured, the filter it was
// captured under and the changes noted by then.
std::vector<ObjectLook> g_captureLooks;
std::string g_captureFilter;
u64 g_captureChanges = 0;

// The main scene drawn into a texture of the screen's size while a
// transition runs over it, so that each frame of the fade is one pass over
// it. Render thread only.
struct ScenePicture {
    platform::GpuDevice* device = nullptr;
    platform::GpuHandle texture = 0;
    int32 width = 0;
    int32 height = 0;
    bool drawn = false;  // holds the scene of `looks` under `filter` as of `changes`
    std::vector<ObjectLook> looks;
    std::string filter;
    u64 changes = 0;
};
ScenePicture g_scenePicture;

// The target of the main scene's picture, of the screen's size, made when
// there is none; null when it cannot be.
ScenePicture* ScenePictureTarget() {
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    if (device == nullptr || holder->IsDeviceLost()) return nullptr;
    int32 width = 0, height = 0;
    ScreenSize(*holder, *device, &width, &height);
    ScenePicture& picture = g_scenePicture;
    if (picture.device != device || picture.width != width || picture.height != height) ForgetScenePicture();
    if (picture.texture == 0) {
        picture.texture = device->CreateRenderTexture(width, height);
        if (picture.texture == 0) return nullptr;
        picture.device = device;
        picture.width = width;
        picture.height = height;
    }
    return &picture;
}

// The main scene in its picture (without `left`, the last object it draws,
// when given), drawn again only when something in it changed since; false
// when there is no picture to draw over. The filter comes by the name it had
// when the frame began: drawing the scene's filter objects, or the old
// screen's before it, may let that filter go.
bool PaintScenePicture(classGraphicObject* main, const std::vector<ObjectLook>& looks,
                       const std::string& filter, const classGraphicObject* left = nullptr) {
    ScenePicture* target = ScenePictureTarget();
    if (target == nullptr) return false;
    ScenePicture& picture = *target;
    platform::GpuDevice* device = picture.device;
    if (picture.drawn && picture.changes == SceneChangeSerial() && picture.filter == filter &&
        picture.looks == looks) {
        // Its filter objects still leave the filter as drawing them would.
        scene_draw::TakeFilters(main);
        return true;
    }
    picture.drawn = false;
    if (!scene_draw::BeginSceneDrawAs(main, GetSceneServices().TextureKindOf(main->texture), picture.texture))
        return false;
    scene_draw::DrawTreeWithout(main, left);
    RestoreRenderTarget(*main, device);
    picture.looks.clear();
    scene_draw::CollectLooks(main, picture.looks);
    if (left != nullptr && !picture.looks.empty() && picture.looks.back().object == left)
        picture.looks.pop_back();
    picture.filter = filter;
    picture.changes = SceneChangeSerial();
    picture.drawn = true;
    return true;
}

// Set while the first fade is rehearsed: that draws the way any scene may
// need, reading none as its picture.
bool g_rehearsing = false;  // render thread only

// The main scene's own picture (without `left`, the last object it draws,
// when given) when the scene is just that picture laid over the screen,
// realised now if it was not: the fade or wipe reads it where it would read
// the scene painted into a target. 0 when the scene needs one.
platform::GpuHandle MainSceneAsItsPicture(classGraphicObject* main, const std::vector<ObjectLook>& looks,
                                          const std::string& filter, const classGraphicObject* left = nullptr) {
    if (g_rehearsing || !scene_draw::MayBeScreenPicture(looks, filter)) return 0;
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    if (device == nullptr || holder->IsDeviceLost()) return 0;
    classSceneDrawSource& source = GetSceneDrawSource();
    for (const ObjectLook& look : looks) {
        // The look may be older than a draw of the old screen that shares its texture.
        classSharedResource* texture = look.object->texture;
        if (texture != nullptr && !source.IsRealised(texture)) source.Realise(texture, *device);
    }
    std::vector<ObjectLook> realised;
    realised.reserve(looks.size());
    scene_draw::CollectLooks(main, realised);
    if (left != nullptr && !realised.empty() && realised.back().object == left) realised.pop_back();
    int32 width = 0, height = 0;
    ScreenSize(*holder, *device, &width, &height);
    const ObjectLook* picture = scene_draw::ScreenPicture(realised, filter, width, height);
    if (picture == nullptr) return 0;
    scene_draw::TakeFilters(main);
    // As painting it would: the old screen's holes are no longer the screen's.
    scene_draw::SetScreenWritesStencil(false);
    return scene_draw::ScreenPictureTexture(*picture);
}

// The old screen's one picture when the overlay's scene is just that
// picture laid over the screen, under the overlay's filter: the fade reads
// it where it would read the scene's capture, which is then never made.
// Null otherwise.
classGraphicObject* OverlayAsItsPicture(classGraphicObject* overlay) {
    const scene_draw::OverlayFilterScope overlayFilter;
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    if (g_rehearsing || device == nullptr || holder->IsDeviceLost()) return nullptr;
    std::vector<ObjectLook> looks;
    scene_draw::CollectLooks(overlay, looks);
    int32 width = 0, height = 0;
    ScreenSize(*holder, *device, &width, &height);
    const ObjectLook* picture =
        scene_draw::ScreenPicture(looks, scene_draw::FilterNameOf(g_filterShader), width, height);
    return picture != nullptr ? const_cast<classGraphicObject*>(picture->object) : nullptr;
}

// Whether the main scene may yet turn out to be just its picture, as far as
// can be told while that picture is still being decoded.
bool MayBeReadAsItsPicture(const std::vector<ObjectLook>& looks, const std::string& filter) {
    if (!scene_draw::MayBeScreenPicture(looks, filter)) return false;
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    if (device == nullptr) return false;
    int32 screenWidth = 0, screenHeight = 0;
    ScreenSize(*holder, *device, &screenWidth, &screenHeight);
    for (const ObjectLook& look : looks) {
        int width = 0, height = 0;
        if (look.texture != nullptr && GetSceneDrawSource().SizeSoon(look.object->texture, &width, &height))
            return width == screenWidth && height == screenHeight;
    }
    return true;
}

// The textures of the scene's pictures still being decoded. Asking also has
// the frame woken once they are done.
std::vector<classSharedResource*> PicturesStillDecoding(const std::vector<ObjectLook>& looks) {
    classSceneDrawSource& source = GetSceneDrawSource();
    std::vector<classSharedResource*> waiting;
    for (const ObjectLook& look : looks) {
        if (look.texture != nullptr && look.realised == 0 && source.StillMaking(look.object->texture))
            waiting.push_back(look.object->texture);
    }
    return waiting;
}

// A frame held for `waiting` made what it could meanwhile; when they were
// all done by then, the frame that shows them starts at once, and shows
// them as of then.
void WakeIfDecodedMeanwhile(const std::vector<classSharedResource*>& waiting) {
    classSceneDrawSource& source = GetSceneDrawSource();
    if (std::none_of(waiting.begin(), waiting.end(),
                     [&](classSharedResource* texture) { return source.StillMaking(texture); })) {
        WakeRenderThread();
    }
}

// Whether the scene ends in a rule wipe that may be drawn in one pass over
// the scene under it: its last object has either wipe's shader and shows,
// and nothing in the scene writes or tests the stencil.
bool EndsInWipe(const std::vector<ObjectLook>& looks) {
    if (looks.empty()) return false;
    const ObjectLook& top = looks.back();
    if (top.pixelShader == nullptr) return false;
    const std::string shader = GetSceneServices().ShaderNameOf(top.pixelShader);
    if (shader != ":Transition.CrossDissolve" && shader != ":Transition.DitherDissolve") return false;
    // An invisible object is not drawn at all, and drawn over the picture a
    // hard-edged wipe would still cover where its rule is 0.
    if (AlphaFromTransmittance(top.transmittance) == 0) return false;
    return std::none_of(looks.begin(), looks.end(),
                        [](const ObjectLook& look) { return look.stencil == 1 || look.stencil == -1; });
}

// The first fade would otherwise make its drawing programs and the
// rasteriser's code for them while the player waits for the click to show.
// Once the screen has stood still for half a second, one frame that is not
// shown draws the scene as a fade over it would (into a capture and a
// picture, mixed onto the back buffer) and lets both go again. Then, with
// whatever programs the scene needed made, the device gives back what only
// making more of them needs.
constexpr int kStillFramesBeforePreparing = 30;
int g_stillFrames = 0;             // render thread only
bool g_crossFadePrepared = false;  // render thread only

void PrepareCrossFade(classGraphicObject* main, const std::vector<ObjectLook>& looks,
                      const classShaderResource* filter) {
    g_crossFadePrepared = true;
    classGraphicObject* overlay = classGraphicObject::New();
    classGraphicObject::CopyTree(overlay, main);
    overlay->parent = nullptr;
    overlay->SetTransitionTexture();
    overlay->SetHidden(0);
    overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
    overlay->transmittance = 0.5f;
    // As a transition made now would be drawn: under the filter in force.
    scene_draw::BeginOverlayFilter();
    g_rehearsing = true;
    DrawCrossFadeInOnePass(main, overlay, looks, filter);
    g_rehearsing = false;
    scene_draw::EndOverlayFilter();
    classGraphicObject::Delete(overlay);
    g_captureLooks.clear();
    g_captureFilter.clear();
    ForgetScenePicture();
}

}  // namespace

bool DrawCapture(classGraphicObject& root, platform::GpuHandle under) {
    classGraphicDevice* holder = GetGraphicDevice();
    if (holder == nullptr) return false;
    platform::GpuDevice* device = holder->GetDevice();
    classSceneDrawSource& source = GetSceneDrawSource();
    int textureWidth = 0, textureHeight = 0;
    source.TextureSize(root.texture, &textureWidth, &textureHeight);
    if (textureWidth != 0 && textureHeight != 0 && device != nullptr) {
        int32 screenWidth = 0, screenHeight = 0;
        ScreenSize(*holder, *device, &screenWidth, &screenHeight);
        float width = static_cast<float>(holder->GetWidth());
        float height = static_cast<float>(holder->GetHeight());
        float ratio = (static_cast<float>(screenWidth) / static_cast<float>(screenHeight)) / (width / height);
        D3DXVECTOR3 scale = ratio > 1.0f
                                ? D3DXVECTOR3{width / static_cast<float>(textureWidth) * ratio,
                                              height / static_cast<float>(textureHeight), 1.f}
                                : D3DXVECTOR3{width / static_cast<float>(textureWidth),
                                              height / static_cast<float>(textureHeight) / ratio, 1.f};
        source.SetDrawScale(root.texture, scale);
    }
    // A capture is drawn over the scene last drawn onto the screen under the
    // same stencil test, so a hole cut in the screen stays a hole in the
    // transition too.
    if (device != nullptr) device->SetSceneStates(scene_draw::ScreenWritesStencil());
    return scene_draw::DrawObject(root, under);
}

namespace {

// The overlay's scene in its capture, drawn again only when something in it
// changed since (under the overlay's filter, which the caller put in force).
// `drawn` tells whether it was; false when it could not be.
bool CaptureOverlay(classGraphicObject* overlay, bool screenReady, bool* drawn) {
    *drawn = false;
    std::vector<ObjectLook> looks;
    looks.reserve(g_captureLooks.size());
    const std::string filter = scene_draw::FilterNameOf(g_filterShader);
    scene_draw::CollectLooks(overlay, looks);
    bool captured = screenReady && GetSceneDrawSource().IsRealised(overlay->texture) &&
                    g_captureChanges == SceneChangeSerial() && filter == g_captureFilter && looks == g_captureLooks;
    if (captured) {
        scene_draw::TakeFilters(overlay);
        return true;
    }
    g_captureLooks.clear();
    if (!scene_draw::BeginSceneDraw(overlay)) return false;
    scene_draw::DrawTree(overlay);
    RestoreRenderTarget(*overlay, CurrentDevice());
    // Textures realised by this drawing are part of what the capture holds.
    looks.clear();
    scene_draw::CollectLooks(overlay, looks);
    g_captureLooks = std::move(looks);
    g_captureFilter = filter;
    g_captureChanges = SceneChangeSerial();
    *drawn = true;
    return true;
}

// The capture just made still holds the overlay's scene after the main
// scene was painted, when every object of it looks as it was captured: what
// the painting loaded was the main scene's. Otherwise it is made again.
void KeepCaptureThroughPainting(classGraphicObject* overlay) {
    const scene_draw::OverlayFilterScope overlayFilter;
    std::vector<ObjectLook> looks;
    looks.reserve(g_captureLooks.size());
    scene_draw::CollectLooks(overlay, looks);
    if (looks == g_captureLooks && scene_draw::FilterNameOf(g_filterShader) == g_captureFilter) {
        g_captureChanges = SceneChangeSerial();
    } else {
        g_captureLooks.clear();
    }
}

}  // namespace

// The capture is made again only when something in the overlay's scene
// changed since; a cross-fade over a still picture then costs one draw of
// the capture a frame, not a whole scene.
bool DrawOverlay(classGraphicObject* overlay, bool screenReady, platform::GpuHandle under) {
    const scene_draw::OverlayFilterScope overlayFilter;
    bool drawn = false;
    if (!CaptureOverlay(overlay, screenReady, &drawn)) return false;
    // A root without a capture was drawn straight onto the screen.
    if (GetSceneServices().TextureKindOf(overlay->texture) != TextureKind_TransitionCapture)
        return under == 0;
    return DrawCapture(*overlay, under);
}

namespace {

// A cross-fade can be mixed in one pass: the old screen has a capture and no
// object of the new scene cuts holes.
bool CrossFadeFitsOnePass(classGraphicObject* main, classGraphicObject* overlay, const std::vector<ObjectLook>& looks) {
    if (main == nullptr || GetSceneServices().TextureKindOf(overlay->texture) != TextureKind_TransitionCapture) {
        return false;
    }
    for (const ObjectLook& look : looks) {
        if (look.stencil == 1 || look.stencil == -1) return false;
    }
    return true;
}

// The old screen in its capture, made before anything of the new scene is:
// true when the capture holds it now.
bool CaptureOldScreenFirst(classGraphicObject* overlay) {
    platform::GpuDevice* device = CurrentDevice();
    classSceneDrawSource& source = GetSceneDrawSource();
    if (device != nullptr && device->BackBufferWidth() > 0 && device->BackBufferHeight() > 0 &&
        !source.IsRealised(overlay->texture) && source.Realise(overlay->texture, *device)) {
        // The old screen's target is made before the new scene is painted,
        // while the pictures that scene shows for the first time are being
        // decoded; a target just made holds no capture yet.
        g_captureLooks.clear();
    }
    if (device == nullptr || !source.IsRealised(overlay->texture)) return false;
    // So is the old screen drawn into it: handed to the rasteriser at once,
    // it is drawn beside that decoding and the new scene's targets, and the
    // frame that answers a click waits for neither one after the other.
    const scene_draw::OverlayFilterScope overlayFilter;
    bool drawn = false;
    if (!CaptureOverlay(overlay, true, &drawn)) return false;
    if (drawn) device->StartDrawing();
    return true;
}

// The old screen read as its picture goes over `under` in its capture's
// place, under the stencil test the capture would be drawn under.
bool DrawOldPictureOver(classGraphicObject* overlay, classGraphicObject& picture, platform::GpuHandle under) {
    const scene_draw::OverlayFilterScope overlayFilter;
    scene_draw::TakeFilters(overlay);
    CurrentDevice()->SetSceneStates(scene_draw::ScreenWritesStencil());
    return scene_draw::DrawObjectShaped(*overlay, picture, under);
}

}  // namespace

bool DrawCrossFadeInOnePass(classGraphicObject* main, classGraphicObject* overlay,
                            const std::vector<ObjectLook>& looks, const classShaderResource* filter) {
    if (!CrossFadeFitsOnePass(main, overlay, looks)) return false;
    const std::string filterName = scene_draw::FilterNameOf(filter);
    classGraphicObject* oldPicture = OverlayAsItsPicture(overlay);
    const bool captured = oldPicture == nullptr && CaptureOldScreenFirst(overlay);
    platform::GpuHandle under = MainSceneAsItsPicture(main, looks, filterName);
    if (under == 0) {
        if (!PaintScenePicture(main, looks, filterName)) return false;
        under = g_scenePicture.texture;
    }
    if (captured) KeepCaptureThroughPainting(overlay);
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    int32 width = 0, height = 0;
    ScreenSize(*holder, *device, &width, &height);
    SetScreenCamera(*holder, width, height);
    if (oldPicture != nullptr) return DrawOldPictureOver(overlay, *oldPicture, under);
    return DrawOverlay(overlay, true, under);
}

bool HoldCrossFadeForPictures(classGraphicObject* main, classGraphicObject* overlay,
                              const std::vector<ObjectLook>& looks, const classShaderResource* filter) {
    classSceneDrawSource& source = GetSceneDrawSource();
    const std::vector<classSharedResource*> waiting = PicturesStillDecoding(looks);
    if (waiting.empty()) return false;
    // What the frame that draws the fade needs, made here: that frame then
    // has only the pictures to load.
    if (CrossFadeFitsOnePass(main, overlay, looks)) {
        if (OverlayAsItsPicture(overlay) == nullptr) CaptureOldScreenFirst(overlay);
        // By now the headers of the pictures are likely read.
        if (platform::GpuDevice* device = CurrentDevice()) {
            for (classSharedResource* texture : waiting) source.MakeTexturesAhead(texture, *device);
        }
        // A scene that turns out to be just its picture needs none.
        if (!MayBeReadAsItsPicture(looks, scene_draw::FilterNameOf(filter))) ScenePictureTarget();
    }
    WakeIfDecodedMeanwhile(waiting);
    return true;
}

bool HoldWipeForPictures(classGraphicObject* main, const std::vector<ObjectLook>& looks) {
    if (main == nullptr || !EndsInWipe(looks)) return false;
    classSceneDrawSource& source = GetSceneDrawSource();
    const std::vector<classSharedResource*> waiting = PicturesStillDecoding(looks);
    if (waiting.empty()) return false;
    if (platform::GpuDevice* device = CurrentDevice()) {
        for (classSharedResource* texture : waiting) source.MakeTexturesAhead(texture, *device);
        // The cover of a rule laid texel for pixel over the whole screen.
        int32 screenWidth = 0, screenHeight = 0;
        ScreenSize(*GetGraphicDevice(), *device, &screenWidth, &screenHeight);
        int width = 0, height = 0;
        if (source.SizeSoon(looks.back().object->texture, &width, &height) && width == screenWidth &&
            height == screenHeight) {
            device->MakeWipeAhead(width, height);
        }
    }
    WakeIfDecodedMeanwhile(waiting);
    return true;
}

bool DrawWipeInOnePass(classGraphicObject* main, const std::vector<ObjectLook>& looks,
                       const classShaderResource* filter) {
    if (main == nullptr || !EndsInWipe(looks)) return false;
    classGraphicDevice* holder = GetGraphicDevice();
    platform::GpuDevice* device = CurrentDevice();
    if (device == nullptr || holder->IsDeviceLost()) return false;
    // A rule just decoded is loaded now, as drawing it would, so that the
    // wipe's first frame is drawn as the rest are.
    std::vector<ObjectLook> realised;
    if (looks.back().realised == 0) {
        if (!GetSceneDrawSource().Realise(looks.back().object->texture, *device)) return false;
        scene_draw::CollectLooks(main, realised);
        if (realised.empty() || realised.back().object != looks.back().object) return false;
    }
    const ObjectLook& top = realised.empty() ? looks.back() : realised.back();
    if (top.tileCount != 1 || top.realised == 0) return false;
    const std::vector<ObjectLook> under(looks.begin(), looks.end() - 1);
    const std::string filterName = scene_draw::FilterNameOf(filter);
    platform::GpuHandle underPicture = MainSceneAsItsPicture(main, under, filterName, top.object);
    if (underPicture == 0) {
        if (!PaintScenePicture(main, under, filterName, top.object)) return false;
        underPicture = g_scenePicture.texture;
    }
    int32 width = 0, height = 0;
    ScreenSize(*holder, *device, &width, &height);
    SetScreenCamera(*holder, width, height);
    device->SetSceneStates(false);
    // The look was taken from the scene itself, which the frame may change.
    return scene_draw::DrawObject(*const_cast<classGraphicObject*>(top.object), underPicture);
}

void ForgetScenePicture() {
    if (g_scenePicture.texture != 0 && g_scenePicture.device == CurrentDevice()) {
        g_scenePicture.device->ReleaseObject(g_scenePicture.texture);
    }
    g_scenePicture = ScenePicture{};
}

void NoteStillFrame(classGraphicObject* main, const std::vector<ObjectLook>& looks,
                    const classShaderResource* filter) {
    if (main == nullptr || g_stillFrames >= kStillFramesBeforePreparing) return;
    if (++g_stillFrames < kStillFramesBeforePreparing) return;
    if (!g_crossFadePrepared) PrepareCrossFade(main, looks, filter);
    if (platform::GpuDevice* device = CurrentDevice()) device->LetGoOfIdleMemory();
}

void NoteChangedFrame() {
    g_stillFrames = 0;
}

}  // namespace transition_draw

void ReleaseScenePicture() {
    transition_draw::ForgetScenePicture();
    transition_draw::g_crossFadePrepared = false;
    scene_draw::ForgetDrawRehearsal();
}
