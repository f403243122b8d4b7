#include "presentation/scene_draw.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/shader_registry.h"
#include "presentation/transition_draw.h"

classShaderResource* g_filterShader = nullptr;

namespace {
// Noted and read on the render thread; atomic so that a note from anywhere
// else could never be torn.
std::atomic<u64> g_sceneChanges{0};
// The filter the transition's overlay is drawn under (render thread only).
classShaderResource* g_overlayFilter = nullptr;
}  // namespace

void NoteSceneChange() {
    g_sceneChanges.fetch_add(1, std::memory_order_relaxed);
}

u64 SceneChangeSerial() {
    return g_sceneChanges.load(std::memory_order_relaxed);
}

namespace {

using scene_draw::ObjectLook;

classSceneDrawSource g_defaultDrawSource;
std::atomic<classSceneDrawSource*> g_drawSource{nullptr};  // atomic: set before the render thread starts

platform::GpuMatrix ToGpu(const D3DMATRIX& matrix) {
    platform::GpuMatrix out;
    std::memcpy(out.m, matrix.m, sizeof(out.m));
    return out;
}

void SaveRenderTarget(classGraphicObject& root, platform::GpuDevice& device) {
    if (root.savedRenderTarget == 0) root.savedRenderTarget = device.GetRenderTarget();
    if (root.savedDepthStencil == 0) root.savedDepthStencil = device.GetDepthStencil();
}

void ReleaseThumbnailTarget(classGraphicObject& root, platform::GpuDevice* device) {
    if (root.thumbnailTarget == 0) return;
    if (device != nullptr) device->ReleaseObject(static_cast<platform::GpuHandle>(root.thumbnailTarget));
    root.thumbnailTarget = 0;
}

class StencilVisitor final : public classGraphicDrawVisitor {
  public:
    void DrawObject(classGraphicObject& object) override {
        if (object.Stencil == 1 || object.Stencil == -1) writes = true;
    }
    bool writes = false;
};

// Whether the scene last drawn onto the screen wrote its stencil. A capture
// is drawn over that scene under the same test, so a hole cut in the screen
// stays a hole in the transition too.
bool g_screenStencil = true;  // render thread only

// Whether a shown object of the scene writes the stencil (Stencil 1 or −1).
bool SceneWritesStencil(classGraphicObject* root) {
    StencilVisitor visitor;
    classGraphicObject::WalkDrawOrder(root, visitor);
    return visitor.writes;
}

// A filter object makes its shader the one in force (an empty name ends it).
void TakeFilter(classGraphicObject& object) {
    classSceneServices& services = GetSceneServices();
    std::string name = services.TextureNameOf(object.texture);
    // The new entry is taken before the old one goes: the same filter drawn
    // again keeps its entry and its device program.
    classShaderResource* previous = g_filterShader;
    g_filterShader = name.empty() ? nullptr : services.AcquireShader(kPixelShaderKind, name);
    services.ReleaseShader(previous);
}

class DrawVisitor final : public classGraphicDrawVisitor {
  public:
    void DrawObject(classGraphicObject& object) override {
        classSceneServices& services = GetSceneServices();
        switch (services.TextureKindOf(object.texture)) {
            case TextureKind_ImageFile:
            case TextureKind_Movie:
            case TextureKind_Text:
            case TextureKind_PlayDataThumbnail:
                scene_draw::Draw(object);
                break;
            case TextureKind_Filter:
                TakeFilter(object);
                scene_draw::Draw(object);
                break;
            default:
                break;  // captures and objects without a texture show nothing themselves
        }
    }
};

// The colour an object's text is drawn in, decided at every draw from the
// object alone: a character texture is shared by every object that shows
// that character in that font, so a tint left on the texture would colour
// the next object with the last one's colour, and a glyph made to keep its
// own colours would stay tinted. Text without a usable colour draws as its
// bare mask, black.
bool ObjectTint(const classGraphicObject& object, classSceneDrawSource& source, u32* rgb) {
    *rgb = 0;
    if (!object.textColour.IsSet() || object.texture == nullptr || source.KeepsOwnColours(object.texture)) {
        return false;
    }
    const u64 colour = static_cast<u64>(object.textColour.Get());
    if ((colour >> 24) != 0) return false;
    *rgb = static_cast<u32>(colour);
    return true;
}

bool IsUnitScale(const D3DXVECTOR3& scale) {
    return scale.x == 1.f && scale.y == 1.f && scale.z == 1.f;
}

// The look of a whole scene in draw order, with the picture serial of
// textures that change their pixels on their own (a movie's new picture).
class LookVisitor final : public classGraphicDrawVisitor {
  public:
    explicit LookVisitor(std::vector<ObjectLook>& looks) : looks_(looks) {}
    void DrawObject(classGraphicObject& object) override {
        classSceneDrawSource& source = GetSceneDrawSource();
        // A capture root shows nothing inside its own scene; its fade is
        // applied when the capture is drawn over the screen.
        int32 kind = GetSceneServices().TextureKindOf(object.texture);
        if (kind == TextureKind_TransitionCapture || kind == TextureKind_ThumbnailCapture) return;
        ObjectLook look;
        look.object = &object;
        look.texture = object.texture;
        look.pixelShader = object.pixelShader;
        look.matrix = object.drawMatrix;
        look.transmittance = object.transmittance;
        look.stencil = object.Stencil;
        look.textColourSet = object.textColour.IsSet() ? 1 : 0;
        look.textColour = object.textColour.Get();
        if (object.texture != nullptr) {
            look.pictureSerial = source.PictureSerial(object.texture);
            look.realised = source.IsRealised(object.texture) ? 1 : 0;
            if (const std::vector<classDrawTile>* tiles = source.Tiles(object.texture)) {
                look.tiles = tiles->data();
                look.tileCount = tiles->size();
            }
            look.drawScale = source.GetDrawScale(object.texture);
            look.tinted = ObjectTint(object, source, &look.tint) ? 1 : 0;
        }
        looks_.push_back(look);
    }

  private:
    std::vector<ObjectLook>& looks_;
};

// The rasteriser makes its code for each way of drawing the first time it
// draws that way, several milliseconds that the first picture on the screen
// would wait for after its decoding. The first frame of a device that
// decodes pictures draws an opaque picture of a few texels off the screen
// the way a background is drawn, while they decode.
bool g_pictureDrawRehearsed = false;  // render thread only

void RehearsePictureDraw(platform::GpuDevice& device) {
    g_pictureDrawRehearsed = true;
    constexpr int kSide = 3;  // not a power of two, as screens are not
    const platform::GpuHandle texture = device.CreateTexture(kSide, kSide);
    if (texture == 0) return;
    const std::vector<u8> opaque(kSide * kSide * 4, 0xFF);
    device.UploadBGRA(texture, 0, 0, kSide, kSide, opaque.data(), kSide * 4);
    // Texels on whole pixels, as a picture at a whole position lies, and far
    // outside the screen.
    constexpr float kFar = 65536.f;
    platform::GpuVertex corners[4];
    for (int corner = 0; corner < 4; ++corner) {
        const int right = corner & 1, bottom = corner >> 1;
        corners[corner].x = kFar + static_cast<float>(kSide * right) - 0.5f;
        corners[corner].y = kFar - static_cast<float>(kSide * bottom) + 0.5f;
        corners[corner].u = static_cast<float>(right);
        corners[corner].v = static_cast<float>(bottom);
    }
    ApplyObjectStencil(device, 0);
    device.SetBlend(false);
    device.SetTint(false, 0);
    device.SetTransform(platform::GpuTransform::World, platform::GpuMatrix{});
    device.SetTexture(texture);
    device.DrawQuadStrip(corners);
    device.SetTexture(0);
    device.ReleaseObject(texture);
}

// Render thread only: the main scene as last drawn, the filter in force when
// its drawing began and the changes noted by the time it was drawn.
std::vector<ObjectLook> g_lastLooks;
std::string g_lastFilterName;
u64 g_lastDrawnChanges = ~u64{0};

// What the filter objects of a scene do to `g_filterShader`, without drawing:
// a scene whose capture is reused must still leave the filter as drawing it would.
class FilterVisitor final : public classGraphicDrawVisitor {
  public:
    void DrawObject(classGraphicObject& object) override {
        if (GetSceneServices().TextureKindOf(object.texture) == TextureKind_Filter) TakeFilter(object);
    }
};

// The scene's drawing without one object (the last it draws).
class DrawWithoutVisitor final : public classGraphicDrawVisitor {
  public:
    explicit DrawWithoutVisitor(const classGraphicObject* left) : left_(left) {}
    void DrawObject(classGraphicObject& object) override {
        if (&object != left_) all_.DrawObject(object);
    }

  private:
    const classGraphicObject* left_;
    DrawVisitor all_;
};

}  // namespace

// --- The default source: nothing is realised ---

bool classSceneDrawSource::Realise(classSharedResource*, platform::GpuDevice&) {
    return false;
}
bool classSceneDrawSource::RealiseSoon(classSharedResource*) {
    return false;
}
bool classSceneDrawSource::StillMaking(classSharedResource*) {
    return false;
}
void classSceneDrawSource::MakeTexturesAhead(classSharedResource*, platform::GpuDevice&) {}
bool classSceneDrawSource::SizeSoon(classSharedResource*, int*, int*) {
    return false;
}
bool classSceneDrawSource::IsRealised(classSharedResource*) {
    return false;
}
const std::vector<classDrawTile>* classSceneDrawSource::Tiles(classSharedResource*) {
    return nullptr;
}
bool classSceneDrawSource::KeepsOwnColours(classSharedResource*) {
    return false;
}
D3DXVECTOR3 classSceneDrawSource::GetDrawScale(classSharedResource*) {
    return D3DXVECTOR3{1.f, 1.f, 1.f};
}
void classSceneDrawSource::SetDrawScale(classSharedResource*, const D3DXVECTOR3&) {}
int64 classSceneDrawSource::PictureSerial(classSharedResource*) {
    return 0;
}
bool classSceneDrawSource::BeginRenderTo(classSharedResource*, platform::GpuDevice&, int, int, bool) {
    return false;
}
void classSceneDrawSource::TextureSize(classSharedResource*, int* width, int* height) {
    *width = 0;
    *height = 0;
}
platform::GpuHandle classSceneDrawSource::PixelShader(classShaderResource* shader,
                                                      platform::GpuDevice& device) {
    if (shader == nullptr || !shader->CreatePixelShader(&device)) return 0;
    return shader->shader;
}

classSceneDrawSource& GetSceneDrawSource() {
    classSceneDrawSource* source = g_drawSource.load(std::memory_order_acquire);
    return source != nullptr ? *source : g_defaultDrawSource;
}

classSceneDrawSource* SetSceneDrawSource(classSceneDrawSource* source) {
    return g_drawSource.exchange(source, std::memory_order_acq_rel);
}

// --- Camera and per-object states ---

classSceneCamera ComputeSceneCamera(int32 width, int32 height, int32 screenWidth, int32 screenHeight) {
    classSceneCamera camera;
    if (screenWidth <= 0 || screenHeight <= 0) {
        screenWidth = width;
        screenHeight = height;
    }
    camera.distance = 10.0f * static_cast<float>(width);
    float logicalAspect = static_cast<float>(width) / static_cast<float>(height);
    camera.screenAspect = static_cast<float>(screenWidth) / static_cast<float>(screenHeight);
    // The whole logical screen stays visible: a narrower screen gets bands
    // above and below, a wider one at the sides.
    camera.viewHeight = camera.screenAspect < logicalAspect ? static_cast<float>(width) / camera.screenAspect
                                                            : static_cast<float>(height);
    camera.fovY = 2.0f * std::atan(camera.viewHeight / 2.0f / camera.distance);
    D3DXVECTOR3 eye{0.f, 0.f, camera.distance};
    D3DXVECTOR3 at{0.f, 0.f, 0.f};
    D3DXVECTOR3 up{0.f, 1.f, 0.f};
    D3DXMatrixLookAtRH(&camera.view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&camera.projection, camera.fovY, camera.screenAspect, 0.0f, camera.distance);
    return camera;
}

u8 AlphaFromTransmittance(float transmittance) {
    if (std::isnan(transmittance)) return 0;
    float clamped = transmittance < 0.f ? 0.f : (transmittance > 1.f ? 1.f : transmittance);
    return static_cast<u8>(255 - static_cast<int>(clamped * 255.0f));
}

bool ApplyObjectStencil(platform::GpuDevice& device, int64 stencil) {
    switch (stencil) {
        case 0:
            device.SetStencilMode(platform::StencilMode::MaskedLessEqual255);
            return true;
        case 1:
            device.SetStencilMode(platform::StencilMode::WriteReplace255);
            return true;
        case -1:
            device.SetStencilMode(platform::StencilMode::WriteZero);
            return true;
        default:
            return false;
    }
}

// --- The frame's drawing ---

namespace scene_draw {

platform::GpuDevice* CurrentDevice() {
    classGraphicDevice* holder = GetGraphicDevice();
    return holder != nullptr ? holder->GetDevice() : nullptr;
}

// The back buffer's size; a minimised or not yet sized one would make the
// aspect 0/0 and counts as the logical screen.
void BackBufferSize(const classGraphicDevice& holder, platform::GpuDevice& device, int32* width,
                    int32* height) {
    *width = device.BackBufferWidth();
    *height = device.BackBufferHeight();
    if (*width <= 0 || *height <= 0) {
        *width = holder.GetWidth();
        *height = holder.GetHeight();
    }
}

// The shape the camera frames. In full screen it is the back buffer; in a
// window it is the client area, since the presenter stretches the whole back
// buffer over the whole client area (whatever size the last reset left the
// back buffer at), so the logical screen keeps its proportions in any window.
void ScreenSize(classGraphicDevice& holder, platform::GpuDevice& device, int32* width, int32* height) {
    classDeviceRect client;
    if (!holder.IsFullScreen() && holder.GetClientRect(&client, 0) && client.right > 0 && client.bottom > 0) {
        *width = client.right;
        *height = client.bottom;
        return;
    }
    BackBufferSize(holder, device, width, height);
}

void RestoreRenderTarget(classGraphicObject& root, platform::GpuDevice* device) {
    if (root.savedRenderTarget != 0) {
        if (device != nullptr)
            device->SetRenderTarget(static_cast<platform::GpuHandle>(root.savedRenderTarget));
        root.savedRenderTarget = 0;
    }
    if (root.savedDepthStencil != 0) {
        if (device != nullptr)
            device->SetDepthStencil(static_cast<platform::GpuHandle>(root.savedDepthStencil));
        root.savedDepthStencil = 0;
    }
}

void SetScreenCamera(classGraphicDevice& holder, int32 screenWidth, int32 screenHeight) {
    classSceneCamera camera =
        ComputeSceneCamera(holder.GetWidth(), holder.GetHeight(), screenWidth, screenHeight);
    holder.SetView(ToGpu(camera.view));
    holder.SetProjection(ToGpu(camera.projection));
}

bool BeginSceneDrawAs(classGraphicObject* root, int32 kind, platform::GpuHandle picture) {
    classGraphicDevice* holder = GetGraphicDevice();
    if (root == nullptr || holder == nullptr) return false;
    // A capture may be asked for outside the frame's readiness check; without
    // a usable device there is nothing to draw with.
    platform::GpuDevice* device = holder->GetDevice();
    if (device == nullptr || holder->IsDeviceLost()) return false;
    int32 screenWidth = 0, screenHeight = 0;
    ScreenSize(*holder, *device, &screenWidth, &screenHeight);
    SetScreenCamera(*holder, screenWidth, screenHeight);
    // The stencil starts at 255, so an ordinary object (Stencil 0) shows
    // wherever no cutting object (Stencil −1) has made a hole. Without an
    // object that writes it, the test passes everywhere and the buffer is
    // neither cleared nor read. Depth is never tested, so never cleared alone.
    const bool stencil = SceneWritesStencil(root);

    if (picture != 0) {
        SaveRenderTarget(*root, *device);
        if (!device->SetRenderTarget(picture)) {
            RestoreRenderTarget(*root, device);
            return false;
        }
    } else if (kind == TextureKind_TransitionCapture) {
        SaveRenderTarget(*root, *device);
        // Without its capture the overlay would be drawn straight over the
        // screen after clearing it; that frame shows no overlay instead.
        int32 targetWidth = 0, targetHeight = 0;
        BackBufferSize(*holder, *device, &targetWidth, &targetHeight);
        if (!GetSceneDrawSource().BeginRenderTo(root->texture, *device, targetWidth, targetHeight, stencil)) {
            RestoreRenderTarget(*root, device);
            return false;
        }
    } else if (kind == TextureKind_ThumbnailCapture) {
        SaveRenderTarget(*root, *device);
        if (root->thumbnailTarget == 0) {
            root->thumbnailTarget = device->CreateReadableTarget(kThumbnailWidth, kThumbnailHeight);
        }
        if (root->thumbnailTarget == 0 ||
            !device->SetRenderTarget(static_cast<platform::GpuHandle>(root->thumbnailTarget))) {
            ReleaseThumbnailTarget(*root, device);
            RestoreRenderTarget(*root, device);
            return false;
        }
    }
    if (kind != TextureKind_TransitionCapture && kind != TextureKind_ThumbnailCapture)
        g_screenStencil = stencil;
    device->SetSceneStates(stencil);
    if (stencil) {
        device->Clear(0xFF000000u, 1.0f, 255);
    } else {
        device->ClearColour(0xFF000000u);
    }
    return true;
}

bool DrawObject(classGraphicObject& object, platform::GpuHandle under) {
    return DrawObjectShaped(object, object, under);
}

bool DrawObjectShaped(classGraphicObject& object, classGraphicObject& shape, platform::GpuHandle under) {
    platform::GpuDevice* device = CurrentDevice();
    if (device == nullptr || shape.texture == nullptr) return false;
    classSceneDrawSource& source = GetSceneDrawSource();
    classSharedResource* texture = shape.texture;
    if (!source.IsRealised(texture)) source.Realise(texture, *device);
    u8 alpha = AlphaFromTransmittance(object.transmittance);
    // Invisible: no state is touched at all.
    if (alpha == 0 && under == 0) return true;
    // An object without a shader of its own is drawn through the filter in force.
    classShaderResource* shader = object.pixelShader != nullptr ? object.pixelShader : g_filterShader;
    platform::GpuHandle deviceShader = shader != nullptr ? source.PixelShader(shader, *device) : 0;
    D3DMATRIX matrix = shape.drawMatrix;
    D3DXVECTOR3 scale = source.GetDrawScale(texture);
    if (!IsUnitScale(scale)) {
        D3DMATRIX scaling;
        D3DXMatrixScaling(&scaling, scale.x, scale.y, scale.z);
        matrix = scaling * matrix;
    }
    const std::vector<classDrawTile>* tiles = source.IsRealised(texture) ? source.Tiles(texture) : nullptr;
    if (tiles == nullptr) return false;
    if (under != 0 && (tiles->empty() || tiles->front().texture == 0 ||
                       std::any_of(tiles->begin() + 1, tiles->end(),
                                   [](const classDrawTile& tile) { return tile.texture != 0; }))) {
        return false;
    }

    if (shader != nullptr) device->SetPixelShader(deviceShader);
    ApplyObjectStencil(*device, object.Stencil);
    // Blending an opaque texel at full alpha gives the texel: such tiles are
    // drawn without it, which a software rasteriser does far faster.
    const bool mayCopy = alpha == 255 && shader == nullptr;
    bool blending = under == 0;
    device->SetBlend(blending);
    u32 tint = 0;
    const bool tinted = ObjectTint(object, source, &tint);
    device->SetTint(tinted, tint);
    device->SetTransform(platform::GpuTransform::World, ToGpu(matrix));
    const u32 diffuse = (static_cast<u32>(alpha) << 24) | 0xFFFFFFu;
    bool drawn = under == 0;
    for (const classDrawTile& tile : *tiles) {
        // A tile whose texture could not be made has nothing to show.
        if (tile.texture == 0) continue;
        platform::GpuVertex vertices[4];
        for (int corner = 0; corner < 4; ++corner) {
            vertices[corner] = tile.vertices[corner];
            vertices[corner].diffuse = diffuse;
        }
        device->SetTexture(tile.texture);
        if (under != 0) {
            drawn = device->DrawQuadOver(vertices, under);
            continue;
        }
        if (blending == (mayCopy && tile.opaque)) {
            blending = !blending;
            device->SetBlend(blending);
        }
        device->DrawQuadStrip(vertices);
    }
    if (shader != nullptr) device->SetPixelShader(0);
    device->SetTexture(0);
    device->SetBlend(false);
    if (tinted) device->SetTint(false, 0);
    return drawn;
}

bool ScreenWritesStencil() {
    return g_screenStencil;
}

void SetScreenWritesStencil(bool writes) {
    g_screenStencil = writes;
}

void CollectLooks(classGraphicObject* root, std::vector<ObjectLook>& looks) {
    LookVisitor visitor(looks);
    classGraphicObject::WalkDrawOrder(root, visitor);
}

void TakeFilters(classGraphicObject* root) {
    FilterVisitor filters;
    classGraphicObject::WalkDrawOrder(root, filters);
}

void DrawTreeWithout(classGraphicObject* root, const classGraphicObject* left) {
    DrawWithoutVisitor draw(left);
    classGraphicObject::WalkDrawOrder(root, draw);
}

bool BeginSceneDraw(classGraphicObject* root) {
    if (root == nullptr) return false;
    return BeginSceneDrawAs(root, GetSceneServices().TextureKindOf(root->texture));
}

void DrawTree(classGraphicObject* object) {
    DrawVisitor visitor;
    classGraphicObject::WalkDrawOrder(object, visitor);
}

void Draw(classGraphicObject& object) {
    DrawObject(object, 0);
}

void ForgetDrawRehearsal() {
    g_pictureDrawRehearsed = false;
}

std::string FilterNameOf(const classShaderResource* filter) {
    return filter != nullptr ? GetSceneServices().ShaderNameOf(filter) : std::string();
}

void SettleSceneFilter(classGraphicObject* root) {
    GetSceneServices().ReleaseShader(g_filterShader);
    g_filterShader = nullptr;
    TakeFilters(root);
    NoteSceneChange();
}

void BeginOverlayFilter() {
    classSceneServices& services = GetSceneServices();
    classShaderResource* previous = g_overlayFilter;
    services.AddRefShader(g_filterShader);
    g_overlayFilter = g_filterShader;
    services.ReleaseShader(previous);
}

void EndOverlayFilter() {
    GetSceneServices().ReleaseShader(g_overlayFilter);
    g_overlayFilter = nullptr;
}

OverlayFilterScope::OverlayFilterScope() {
    std::swap(g_filterShader, g_overlayFilter);
}

OverlayFilterScope::~OverlayFilterScope() {
    std::swap(g_filterShader, g_overlayFilter);
}

void EndSceneDraw(classGraphicObject* root) {
    classGraphicDevice* holder = GetGraphicDevice();
    if (root == nullptr || holder == nullptr) return;
    platform::GpuDevice* device = holder->GetDevice();
    RestoreRenderTarget(*root, device);
    int32 kind = GetSceneServices().TextureKindOf(root->texture);
    if (kind == TextureKind_TransitionCapture) {
        transition_draw::DrawCapture(*root, 0);
    } else if (kind == TextureKind_ThumbnailCapture) {
        ReleaseThumbnailTarget(*root, device);
    }
}

}  // namespace scene_draw

namespace {

// A frame in which something changed: the main scene and the overlay over
// it. False when it was held back and nothing was drawn.
bool DrawChangedFrame(classApplication* application, classGraphicObject* main, classGraphicObject* overlay,
                      std::vector<ObjectLook> looks, const classShaderResource* filter) {
    // Every picture this frame shows for the first time is decoded at once,
    // side by side, while the frame gets on with the rest.
    classSceneDrawSource& source = GetSceneDrawSource();
    bool decoding = false;
    for (const ObjectLook& look : looks) {
        if (look.texture != nullptr && look.realised == 0)
            decoding = source.RealiseSoon(look.object->texture) || decoding;
    }
    const bool fading = overlay != nullptr && overlay->transmittance < 1.0f;
    if (fading && transition_draw::HoldCrossFadeForPictures(main, overlay, looks, filter)) return false;
    if (overlay == nullptr && transition_draw::HoldWipeForPictures(main, looks)) return false;
    g_lastLooks = std::move(looks);
    if (fading && transition_draw::DrawCrossFadeInOnePass(main, overlay, g_lastLooks, filter)) return true;
    if (overlay == nullptr) {
        if (transition_draw::DrawWipeInOnePass(main, g_lastLooks, filter)) return true;
        // The scene's picture is only of use under a transition or a wipe.
        transition_draw::ForgetScenePicture();
    }
    bool screenReady = scene_draw::BeginSceneDraw(main);
    if (screenReady) {
        if (decoding && !g_pictureDrawRehearsed) RehearsePictureDraw(*scene_draw::CurrentDevice());
        scene_draw::DrawTree(main);
        scene_draw::EndSceneDraw(main);
    }
    if (overlay == nullptr) return true;
    if (fading) {
        transition_draw::DrawOverlay(overlay, screenReady, 0);
    } else {
        // Faded out (or not a number): the transition is over.
        classGraphicObject::Delete(overlay);
        application->overlayScene = nullptr;
        scene_draw::EndOverlayFilter();
        transition_draw::ForgetScenePicture();
    }
    return true;
}

}  // namespace

void DrawScenes() {
    classApplication* application = GetApplication();
    classGraphicDevice* holder = GetGraphicDevice();
    if (application == nullptr || holder == nullptr) return;
    classCriticalSectionLock hold(holder->GetLock());
    classGraphicObject* main = application->mainScene;
    classGraphicObject* overlay = application->overlayScene;

    // A frame in which nothing visible changed is neither drawn nor
    // presented: an idle game then costs next to nothing. A transition
    // always draws, a movie when it has a new picture, and so does a window
    // that lost its picture.
    std::vector<ObjectLook> looks;
    looks.reserve(g_lastLooks.size());
    const classShaderResource* filter = g_filterShader;
    scene_draw::CollectLooks(main, looks);
    bool redraw = holder->TakeRedrawRequest();
    // Nothing happened since the last drawn frame that its looks would not
    // show (a record, a texture's change), and they show no change either.
    if (!redraw && overlay == nullptr && SceneChangeSerial() == g_lastDrawnChanges && looks == g_lastLooks &&
        scene_draw::FilterNameOf(filter) == g_lastFilterName) {
        transition_draw::NoteStillFrame(main, g_lastLooks, filter);
        holder->SkipPresent();
        return;
    }
    transition_draw::NoteChangedFrame();
    // Drawn because records ran, although none of them changed anything to
    // be seen (a sound's, a wait's): nothing moves on the screen.
    const bool same = !redraw && overlay == nullptr && looks == g_lastLooks &&
                      scene_draw::FilterNameOf(filter) == g_lastFilterName;
    const u64 changesBefore = SceneChangeSerial();
    // Named before anything is drawn: drawing may let the filter go.
    std::string filterName = scene_draw::FilterNameOf(filter);
    if (!DrawChangedFrame(application, main, overlay, std::move(looks), filter)) {
        holder->SkipPresent();
        return;
    }
    g_lastFilterName = std::move(filterName);
    // What this drawing changed itself (the textures it loaded) it has shown.
    g_lastDrawnChanges = SceneChangeSerial();
    if (same && g_lastDrawnChanges == changesBefore) holder->NoteSamePicture();
}

// --- The save thumbnail ---

void BuildThumbnailBmp(const u8* bgra, size_t pitch, std::vector<u8>& buffer) {
    buffer.assign(kThumbnailBmpSize, 0);
    auto put16 = [&](size_t at, u32 value) {
        buffer[at] = static_cast<u8>(value);
        buffer[at + 1] = static_cast<u8>(value >> 8);
    };
    auto put32 = [&](size_t at, u32 value) {
        put16(at, value & 0xFFFF);
        put16(at + 2, value >> 16);
    };
    put16(0, 0x4D42);
    put32(2, static_cast<u32>(kThumbnailBmpSize));
    put32(10, 54);
    put32(14, 40);
    put32(18, kThumbnailWidth);
    put32(22, kThumbnailHeight);  // positive: the bottom row comes first
    put16(26, 1);
    put16(28, 24);
    if (bgra == nullptr) return;
    const size_t rowBytes = 428;
    for (int32 y = 0; y < kThumbnailHeight; ++y) {
        const u8* from = bgra + pitch * static_cast<size_t>(y);
        u8* to = buffer.data() + 54 + rowBytes * static_cast<size_t>(kThumbnailHeight - 1 - y);
        for (int32 x = 0; x < kThumbnailWidth; ++x) {
            to[x * 3] = from[x * 4];
            to[x * 3 + 1] = from[x * 4 + 1];
            to[x * 3 + 2] = from[x * 4 + 2];
        }
    }
}

u8 CreateSaveThumbnailBmp(classGraphicObject* captureRoot, std::vector<u8>& buffer) {
    if (captureRoot == nullptr) return 0;
    platform::GpuDevice* device = scene_draw::CurrentDevice();
    std::vector<u8> pixels(static_cast<size_t>(kThumbnailWidth) * kThumbnailHeight * 4);
    // Only the capture's own target is read, never whatever happens to be current.
    bool read = device != nullptr && captureRoot->thumbnailTarget != 0 &&
                device->ReadPixelsBGRA(static_cast<platform::GpuHandle>(captureRoot->thumbnailTarget),
                                       pixels.data(), static_cast<size_t>(kThumbnailWidth) * 4);
    // A read that fails still gives a thumbnail, a black one.
    BuildThumbnailBmp(read ? pixels.data() : nullptr, static_cast<size_t>(kThumbnailWidth) * 4, buffer);
    return 1;
}

void CaptureSaveThumbnail(classGraphicObject* mainScene, std::vector<u8>& buffer) {
    buffer.clear();
    if (mainScene == nullptr) return;
    classGraphicObject capture;
    classGraphicObject::CopyTree(&capture, mainScene);
    capture.SetThumbnailCaptureTexture();
    if (scene_draw::BeginSceneDrawAs(&capture, TextureKind_ThumbnailCapture)) {
        scene_draw::DrawTree(&capture);
        CreateSaveThumbnailBmp(&capture, buffer);
        scene_draw::EndSceneDraw(&capture);
        // Whatever the resource set calls the capture's texture, its target goes with it.
        ReleaseThumbnailTarget(capture, scene_draw::CurrentDevice());
    }
}

void RegisterSceneDrawSubsystem() {
    GetSubsystemHooks().drawScenes = DrawScenes;
}
