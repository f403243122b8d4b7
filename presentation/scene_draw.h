#pragma once
// Drawing the scene trees: the camera, the per-scene states, the walk in draw
// order, one textured object at a time, the frame that skips drawing when
// nothing visible changed, and the save thumbnail. What a transition draws
// (its capture, its one-pass frames) is in presentation/transition_draw.h,
// which builds on the parts below.
//
// Threads: render thread only, with the application lock held; the frame's
// drawing also holds the device lock. `g_filterShader` belongs to the render
// thread.

#include <cstring>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "platform/gpu_device.h"
#include "presentation/d3dx_math.h"

class classGraphicDevice;
class classGraphicObject;
class classSharedResource;
class classShaderResource;

// One tile of a realised texture: its device texture and its four corners
// around the object's origin (top left, top right, bottom left, bottom right).
struct classDrawTile {
    platform::GpuHandle texture = 0;
    platform::GpuVertex vertices[4];
    // Every texel's alpha is 255: drawn at full alpha with no shader, blending
    // would give the texels themselves, so the device is spared it.
    bool opaque = false;
};

// What drawing needs from the shared textures and the shader registry. Their
// owners answer it; the defaults realise nothing, so objects are walked and
// counted but nothing textured is drawn.
class classSceneDrawSource {
  public:
    virtual ~classSceneDrawSource() = default;
    // Makes the texture's tiles on the device when it has none; false when it cannot be drawn.
    virtual bool Realise(classSharedResource* texture, platform::GpuDevice& device);
    // The texture is about to be realised: what can be made of it away
    // from the device (a picture file's decoding) may start now. True when
    // something started.
    virtual bool RealiseSoon(classSharedResource* texture);
    // What RealiseSoon started is not done yet.
    virtual bool StillMaking(classSharedResource* texture);
    // While it is being made, the device textures that will hold it may be
    // made already, once its size is known.
    virtual void MakeTexturesAhead(classSharedResource* texture, platform::GpuDevice& device);
    // The size of a picture still being made, once it is known; false until then.
    virtual bool SizeSoon(classSharedResource* texture, int* width, int* height);
    virtual bool IsRealised(classSharedResource* texture);
    // The realised tiles in draw order; null when there are none.
    virtual const std::vector<classDrawTile>* Tiles(classSharedResource* texture);
    // Texts drawn in the colours of their own markup are never tinted.
    virtual bool KeepsOwnColours(classSharedResource* texture);
    virtual D3DXVECTOR3 GetDrawScale(classSharedResource* texture);
    virtual void SetDrawScale(classSharedResource* texture, const D3DXVECTOR3& scale);
    // Changes whenever the texture's pixels change on their own (a movie's
    // new picture), so that a frame without one need not be drawn.
    virtual int64 PictureSerial(classSharedResource* texture);
    // A transition capture: realises a target for a screen of this size and
    // makes it the device's target, with a depth-stencil when `stencil` (a
    // scene that writes its stencil). False when it cannot, with the
    // device's targets left as they were.
    virtual bool BeginRenderTo(classSharedResource* texture, platform::GpuDevice& device, int screenWidth,
                               int screenHeight, bool stencil);
    // The size in texels of a realised texture's tiles (of a capture, its
    // target); 0 when not realised.
    virtual void TextureSize(classSharedResource* texture, int* width, int* height);
    // The device shader of a pixel-shader entry, made on first use; 0 when
    // the entry names no built-in shader.
    virtual platform::GpuHandle PixelShader(classShaderResource* shader, platform::GpuDevice& device);
};
classSceneDrawSource& GetSceneDrawSource();
// Installs `source` (null restores the defaults); returns the previous one.
classSceneDrawSource* SetSceneDrawSource(classSceneDrawSource* source);

// The camera that shows a logical screen of width × height whole on a screen
// of screenWidth × screenHeight, bands where the shapes differ.
struct classSceneCamera {
    float distance = 0.f;
    float viewHeight = 0.f;
    float fovY = 0.f;
    float screenAspect = 0.f;
    D3DMATRIX view;
    D3DMATRIX projection;
};
classSceneCamera ComputeSceneCamera(int32 width, int32 height, int32 screenWidth, int32 screenHeight);

// 255 − (transmittance clamped to 0…1 × 255, truncated); 0 for not-a-number.
u8 AlphaFromTransmittance(float transmittance);
// The stencil of an object's Stencil value; false (nothing set) for values
// other than 0, 1 and −1, which keep the state of the object drawn before.
bool ApplyObjectStencil(platform::GpuDevice& device, int64 stencil);

// The filter in force while scenes are drawn (null when none). It outlives
// the filter object that set it and carries over into later frames.
extern classShaderResource* g_filterShader;

// Something happened that a scene's look does not show: a record ran, a
// texture was loaded, given up or let go to be made again, text was laid
// out. The next frame is drawn, whatever the objects look like: an object or
// texture freed and made again can come back at the same address.
void NoteSceneChange();
// Counts the changes noted so far; a drawn picture is current while it stays.
u64 SceneChangeSerial();

namespace scene_draw {
// The parts of one frame's drawing, in the order the frame calls them.
bool BeginSceneDraw(classGraphicObject* root);
void DrawTree(classGraphicObject* object);
void Draw(classGraphicObject& object);
void EndSceneDraw(classGraphicObject* root);
// The next frame that decodes pictures rehearses their drawing again (a new device).
void ForgetDrawRehearsal();

// What a filter does is told by its name ("" for none), not by the entry
// that holds it, which may be freed and made again at the same address.
std::string FilterNameOf(const classShaderResource* filter);

// The filter belongs to its scene. A scene replaced as a whole (a load, a
// restart) leaves the filter its own filter objects set, none when they set
// none; a transition's overlay shows the old screen under the filter that
// was in force when it was made, and what its own filter objects do stays
// with it.
void SettleSceneFilter(classGraphicObject* root);
void BeginOverlayFilter();
void EndOverlayFilter();
// Swaps the overlay's filter in for the scope of its drawing.
class OverlayFilterScope {
  public:
    OverlayFilterScope();
    ~OverlayFilterScope();
    OverlayFilterScope(const OverlayFilterScope&) = delete;
    OverlayFilterScope& operator=(const OverlayFilterScope&) = delete;
};

// Everything about one visible object that decides its pixels.
struct ObjectLook {
    const classGraphicObject* object = nullptr;
    const classSharedResource* texture = nullptr;
    const classShaderResource* pixelShader = nullptr;
    const void* tiles = nullptr;
    size_t tileCount = 0;
    D3DMATRIX matrix;
    D3DXVECTOR3 drawScale;
    float transmittance = 0.f;
    int64 stencil = 0;
    int64 textColour = 0;
    u32 tint = 0;
    u8 textColourSet = 0;
    u8 tinted = 0;
    u8 realised = 0;
    int64 pictureSerial = 0;

    bool operator==(const ObjectLook& other) const {
        // Bytewise for the floats too: a NaN that stays a NaN is no change.
        return object == other.object && texture == other.texture && pixelShader == other.pixelShader &&
               tiles == other.tiles && tileCount == other.tileCount &&
               std::memcmp(&matrix, &other.matrix, sizeof(matrix)) == 0 &&
               std::memcmp(&drawScale, &other.drawScale, sizeof(drawScale)) == 0 &&
               std::memcmp(&transmittance, &other.transmittance, sizeof(float)) == 0 &&
               stencil == other.stencil && textColour == other.textColour && tint == other.tint &&
               textColourSet == other.textColourSet && tinted == other.tinted && realised == other.realised &&
               pictureSerial == other.pictureSerial;
    }
};
// Appends the look of every object of the tree in draw order, with the
// picture serial of textures that change their pixels on their own; capture
// roots show nothing inside their own scene and are left out.
void CollectLooks(classGraphicObject* root, std::vector<ObjectLook>& looks);
// Leaves `g_filterShader` as drawing the tree would, without drawing it.
void TakeFilters(classGraphicObject* root);
// Draws the tree in draw order without `left` (null: the whole tree).
void DrawTreeWithout(classGraphicObject* root, const classGraphicObject* left);

// The device of the frame, null while there is none.
platform::GpuDevice* CurrentDevice();
// The shape the camera frames (the client area in a window, else the back buffer).
void ScreenSize(classGraphicDevice& holder, platform::GpuDevice& device, int32* width, int32* height);
// The back buffer's size (the logical screen while it has none).
void BackBufferSize(const classGraphicDevice& holder, platform::GpuDevice& device, int32* width,
                    int32* height);
// The camera that shows the logical screen on the screen's size.
void SetScreenCamera(classGraphicDevice& holder, int32 screenWidth, int32 screenHeight);
// The camera, the root's own target when it has one (or `picture`, a render
// texture of the screen's size), the scene states and the clear. `kind` is
// the root's texture kind.
bool BeginSceneDrawAs(classGraphicObject* root, int32 kind, platform::GpuHandle picture = 0);
// Gives the device back the targets BeginSceneDrawAs took from it.
void RestoreRenderTarget(classGraphicObject& root, platform::GpuDevice* device);
// One object; with `under`, its one tile is drawn over that picture in a
// single pass (false when it cannot be, with nothing drawn).
bool DrawObject(classGraphicObject& object, platform::GpuHandle under);
// `object` by its shader, alpha, stencil and tint, but in the tiles and
// place of `shape`: a capture root drawn as the one picture it would hold.
bool DrawObjectShaped(classGraphicObject& object, classGraphicObject& shape, platform::GpuHandle under);
// Whether the scene last drawn onto the screen wrote its stencil.
bool ScreenWritesStencil();
// The screen now shows a scene that was not drawn (one read as its picture).
void SetScreenWritesStencil(bool writes);
}  // namespace scene_draw

// The drawScenes hook: the main scene, then the overlay while it still shows;
// an overlay that has faded out completely is deleted here.
void DrawScenes();

// The thumbnail of a play-data save: the main scene drawn into a 142 × 80
// target and stored as a 24-bit BMP of 34294 bytes. `buffer` is left empty
// when there is nothing to capture from (no device, no target).
void CaptureSaveThumbnail(classGraphicObject* mainScene, std::vector<u8>& buffer);
// Fills `buffer` from a capture root's target; 0 for a null root.
u8 CreateSaveThumbnailBmp(classGraphicObject* captureRoot, std::vector<u8>& buffer);
// The BMP of 142 × 80 BGRA pixels, top row first (null: black).
void BuildThumbnailBmp(const u8* bgra, size_t pitch, std::vector<u8>& buffer);

inline constexpr int32 kThumbnailWidth = 142;
inline constexpr int32 kThumbnailHeight = 80;
inline constexpr size_t kThumbnailBmpSize = 54 + 428 * 80;

// Fills the drawScenes hook. Call before WinMain.
void RegisterSceneDrawSubsystem();
