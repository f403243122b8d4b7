#pragma once
// The shared textures: every picture an object shows (an image file, a movie,
// one character of text, a transition capture, a save-slot thumbnail) is one
// counted resource in `g_sharedResources`, shared by every object that asks
// for the same key. A resource holds nothing on the device until it is first
// drawn; then it is cut into tiles the device can hold. Tiles are let go
// around device resets and made again at the next draw.
//
// Threads: the set, its resources and their tiles belong to the render thread
// and are used under the application lock of the frame.

#include <map>
#include <string>
#include <vector>

#include "foundation/report_once.h"
#include "foundation/types.h"
#include "platform/gpu_device.h"
#include "presentation/d3dx_math.h"
#include "presentation/movie_control.h"
#include "presentation/picture_file.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_services.h"

class classMovieGraph;

// What the device demands of a texture's size.
struct classTextureCaps {
    bool powerOfTwo = false;
    bool squareOnly = false;
    int32 maxWidth = 0;  // 0: no limit known
    int32 maxHeight = 0;
};
// A GL device: any size up to its maximum.
classTextureCaps TextureCapsOf(const platform::GpuDevice& device);

// The size of one tile for a content of width × height. A content of 0 is
// taken as 1 (a character without an advance still gets a texel), and on a
// device without size rules the tile is still capped at the maximum so that
// a picture larger than the device can hold is tiled rather than lost.
void FitTextureSize(int32 width, int32 height, const classTextureCaps& caps, int32* tileWidth, int32* tileHeight);

// One texture of a realised resource and the quad that shows it.
struct classTextureTile {
    platform::GpuHandle texture = 0;
    // The handle drawn into: the texture itself for a render target, or the
    // depth-stencil surface of a capture's second tile.
    platform::GpuHandle surface = 0;
    int32 width = 0;
    int32 height = 0;
    platform::GpuVertex vertices[4];  // top left, top right, bottom left, bottom right
    bool opaque = false;              // every texel of the texture has alpha 255

    bool CreateTexture(platform::GpuDevice& device, int32 w, int32 h);
    bool CreateRenderTexture(platform::GpuDevice& device, int32 w, int32 h);
    bool CreateDepthStencil(platform::GpuDevice& device, int32 w, int32 h);
    // Without a device the handles are only forgotten (the device took them with it).
    void Release(platform::GpuDevice* device);
    // A quad with y growing upward and the half-texel offset of the old device.
    void SetQuad(float left, float top, float w, float h, u32 colour);
    void SetTextureCoordinates(float left, float top, float right, float bottom);
    void SetColour(u32 colour);
};

class classSharedResource {
  public:
    int32 refCount = 1;
    int32 kind = TextureKind_None;
    std::string name;
    int64 param = 0;
    u8 unique = 0;
    std::string secondName;  // glyph image of a character-list character
    std::vector<classTextureTile> tiles;
    classMovieGraph* movieGraph = nullptr;
    classMovieControl movieControl;  // kind 2 only; under g_movieLock
    int32 realised = 0;  // 0 not yet, 1 realised, -1 given up until the tiles are released
    int32 width = 0;
    int32 height = 0;
    int32 alignedWidth = 0;
    int32 alignedHeight = 0;
    int32 tileWidth = 0;
    int32 tileHeight = 0;
    int32 realiseCount = 0;
    D3DXVECTOR3 drawScale{1.f, 1.f, 1.f};
    float advanceWidth = 0.f;
    float advanceHeight = 0.f;
    u8 keepsOwnColours = 0;
    // The tiles as drawing takes them, kept beside `tiles`.
    std::vector<classDrawTile> drawTiles;
    // The statement whose record made the resource, for the report of a file
    // that cannot be read; said once, though a missing file is looked for
    // at every draw.
    classScriptOrigin origin;
    u8 fileReported = 0;
    // An image file's picture on its way, for the draw that realises it.
    classPictureAhead ahead;
    u8 texturesAhead = 0;  // asked of the device for the picture on its way

    classSharedResource* AddRef();
    // An image file about to be drawn for the first time starts on its way
    // (true when it did).
    bool DecodeAhead();
    // While it decodes, once its size is known, the device makes the
    // textures its tiles will take (once; a picture of many tiles is left
    // to its draw).
    void MakeTexturesAhead(platform::GpuDevice& device);
    // Builds the tiles by kind; true when there are tiles afterwards.
    bool Realise(platform::GpuDevice* device);
    bool Realise();  // with the device of the device holder
    void ReleaseTiles(platform::GpuDevice* device);
    void ReleaseTiles();
    // (advanceHeight, 0, advanceWidth, 0), loading a glyph image first.
    bool GetCharacterSize(float* outAdvanceHeight, float* zero1, float* outAdvanceWidth, float* zero2);
    // A realised capture: its texture as the target, with its depth-stencil
    // (made now if need be) when `stencil`, or whatever one it has.
    bool BeginRenderTo(platform::GpuDevice* device, bool stencil);

    // Fits the tile size for the content and lays out the tile vector with
    // its quads, no textures yet. False when the count is beyond reason.
    bool LayOutTiles(const classTextureCaps& caps, int32 contentWidth, int32 contentHeight);
    // Lays out, then fills each tile from BGRA pixels (top row first) with the
    // texels outside the picture transparent black. `alphaFromBlue` writes
    // each texel as a pure alpha mask (alpha = blue, colour 0), as text is.
    // `allOpaque`: the picture is already known to be opaque throughout.
    bool BuildTiles(platform::GpuDevice& device, const u8* bgra, int32 contentWidth, int32 contentHeight,
                    size_t pitch, bool alphaFromBlue, bool allOpaque = false);
    // Movies (kind 2): opens the file into `graph`; carries out the pending
    // play, stop and pause requests (true when there were any).
    bool OpenMovie(classMovieGraph* graph, const std::string& path);
    bool ApplyMovieRequests();

    // Marks a successful realisation and refreshes what drawing sees.
    void FinishRealise();
    void RefreshDrawTiles();

  private:
    // `undecodable` (when given) is set when the bytes are no picture.
    bool RealiseImageBytes(platform::GpuDevice& device, const std::vector<u8>& bytes, bool* undecodable = nullptr);
    bool RealiseImage(platform::GpuDevice& device, const platform::DecodedImage& image, bool opaque = false);
    void ReportFile(const char* what);
    bool RealiseRenderTarget(platform::GpuDevice& device, int32 screenWidth, int32 screenHeight);
    friend class classSharedTextureSource;
};

// What other parts plug in: the font side makes text, the movie side movies,
// the play data reads thumbnails. Each is set once before any thread starts.
struct classSharedResourceHooks {
    bool (*realiseText)(classSharedResource& resource, platform::GpuDevice& device) = nullptr;
    bool (*realiseMovie)(classSharedResource& resource, platform::GpuDevice& device) = nullptr;
    void (*deleteMovieGraph)(classMovieGraph* graph) = nullptr;
    bool (*readPlayDataThumbnail)(const std::string& file, std::vector<u8>& image) = nullptr;
};
classSharedResourceHooks& GetSharedResourceHooks();

// The device the render thread draws with now, or null.
platform::GpuDevice* CurrentTextureDevice();

class classSharedResourceSet {
  public:
    // An equal key is shared and counted (asking with unique set included,
    // so that no holder is ever left with a pointer nobody counts).
    classSharedResource* Acquire(int32 kind, const std::string& name, int64 param, u8 unique);
    // Null-safe; at a count of 0 the resource and its tiles are gone.
    void Release(classSharedResource* resource);
    // The tiles of every capture (their targets do not outlive a reset), or of everything.
    void ReleaseRenderTargetTiles();
    void ReleaseAllTiles();
    classSharedResource* Find(int32 kind, const std::string& name, int64 param, u8 unique);
    size_t Count() const { return resources_.size(); }
    std::vector<classSharedResource*> ResourcesOfKind(int32 kind);
    // Drops every resource (shutdown and tests).
    void Clear();
    // Tests stand in a device with other size rules; null reads the device's own.
    void SetCapsOverride(const classTextureCaps* caps);
    classTextureCaps CapsFor(const platform::GpuDevice& device) const;

  private:
    struct Key {
        int32 kind;
        std::string name;
        int64 param;
        u8 unique;
        bool operator<(const Key& other) const;
    };
    std::map<Key, classSharedResource> resources_;  // node-based: holders' pointers stay valid
    bool hasCapsOverride_ = false;
    classTextureCaps capsOverride_;
};

extern classSharedResourceSet g_sharedResources;

// A listed glyph's image: the character resource now shows `file`, and its
// tiles go so that the next draw loads it.
void BindGlyphImage(classSharedResource* resource, const std::string& file);

// After a play-data file is written: every object showing its thumbnail
// loads it again at its next draw (and a thumbnail that could not be read
// before is tried again). Render thread, after a successful save.
void RefreshPlayDataThumbnail(const std::string& file);
