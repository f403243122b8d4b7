#include "presentation/shared_resource.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "foundation/archive.h"
#include "foundation/number_text.h"
#include "platform/image/image.h"
#include "presentation/graphic_device.h"

classSharedResourceSet g_sharedResources;

namespace {

// More tiles than this is a picture no device could show; refuse it rather
// than make thousands of textures.
constexpr int64 kMaxTiles = 4096;

classSharedResourceHooks g_hooks;

int32 CeilPowerOfTwo(int32 value) {
    int32 side = 2;
    while (side < value && side < (1 << 30)) side <<= 1;
    return side;
}

}  // namespace

classSharedResourceHooks& GetSharedResourceHooks() {
    return g_hooks;
}

platform::GpuDevice* CurrentTextureDevice() {
    classGraphicDevice* holder = GetGraphicDevice();
    return holder != nullptr ? holder->GetDevice() : nullptr;
}

classTextureCaps TextureCapsOf(const platform::GpuDevice& device) {
    classTextureCaps caps;
    caps.maxWidth = caps.maxHeight = device.GetCaps().maxTextureSize;
    return caps;
}

void FitTextureSize(int32 width, int32 height, const classTextureCaps& caps, int32* tileWidth, int32* tileHeight) {
    int32 w = std::max(width, 1);
    int32 h = std::max(height, 1);
    auto cap = [](int32 value, int32 limit) { return limit > 0 ? std::min(value, limit) : value; };
    if (caps.powerOfTwo) {
        w = cap(CeilPowerOfTwo(w), caps.maxWidth);
        h = cap(CeilPowerOfTwo(h), caps.maxHeight);
    }
    if (caps.squareOnly) {
        int32 side = cap(cap(std::max(w, h), caps.maxWidth), caps.maxHeight);
        w = h = side;
    }
    if (!caps.powerOfTwo && !caps.squareOnly) {
        w = cap(w, caps.maxWidth);
        h = cap(h, caps.maxHeight);
    }
    *tileWidth = w;
    *tileHeight = h;
}

// --- Tiles ---

bool classTextureTile::CreateTexture(platform::GpuDevice& device, int32 w, int32 h) {
    texture = device.CreateTexture(w, h);
    width = w;
    height = h;
    return texture != 0;
}

bool classTextureTile::CreateRenderTexture(platform::GpuDevice& device, int32 w, int32 h) {
    texture = device.CreateRenderTexture(w, h);
    surface = texture;
    width = w;
    height = h;
    return texture != 0;
}

bool classTextureTile::CreateDepthStencil(platform::GpuDevice& device, int32 w, int32 h) {
    surface = device.CreateDepthStencil(w, h);
    width = w;
    height = h;
    return surface != 0;
}

void classTextureTile::Release(platform::GpuDevice* device) {
    if (device != nullptr) {
        if (texture != 0) device->ReleaseObject(texture);
        if (surface != 0 && surface != texture) device->ReleaseObject(surface);
    }
    texture = 0;
    surface = 0;
}

void classTextureTile::SetQuad(float left, float top, float w, float h, u32 colour) {
    const float x0 = left - 0.5f, x1 = left + w - 0.5f;
    const float y0 = top + 0.5f, y1 = top - h + 0.5f;
    const float xs[4] = {x0, x1, x0, x1};
    const float ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        vertices[i].x = xs[i];
        vertices[i].y = ys[i];
        vertices[i].z = 0.f;
        vertices[i].diffuse = colour;
    }
}

void classTextureTile::SetTextureCoordinates(float left, float top, float right, float bottom) {
    vertices[0].u = left;
    vertices[0].v = top;
    vertices[1].u = right;
    vertices[1].v = top;
    vertices[2].u = left;
    vertices[2].v = bottom;
    vertices[3].u = right;
    vertices[3].v = bottom;
}

void classTextureTile::SetColour(u32 colour) {
    for (platform::GpuVertex& vertex : vertices) vertex.diffuse = colour;
}

// --- Resources ---

classSharedResource* classSharedResource::AddRef() {
    ++refCount;
    return this;
}

bool classSharedResource::LayOutTiles(const classTextureCaps& caps, int32 contentWidth, int32 contentHeight) {
    width = std::max(contentWidth, 0);
    height = std::max(contentHeight, 0);
    FitTextureSize(width, height, caps, &tileWidth, &tileHeight);
    const int64 across = (std::max<int64>(width, 1) + tileWidth - 1) / tileWidth;
    const int64 down = (std::max<int64>(height, 1) + tileHeight - 1) / tileHeight;
    if (across * down > kMaxTiles) return false;
    alignedWidth = static_cast<int32>(across * tileWidth);
    alignedHeight = static_cast<int32>(down * tileHeight);
    tiles.assign(static_cast<size_t>(across * down), classTextureTile{});
    for (int64 i = 0; i < across * down; ++i) {
        const int32 x = static_cast<int32>((i % across) * tileWidth);
        const int32 y = static_cast<int32>((i / across) * tileHeight);
        int32 contentW = tileWidth, contentH = tileHeight;
        float uMax = 1.f, vMax = 1.f;
        if (x + tileWidth > width) {
            contentW = width % tileWidth;
            uMax = static_cast<float>(contentW) / static_cast<float>(tileWidth);
        }
        if (y + tileHeight > height) {
            contentH = height % tileHeight;
            vMax = static_cast<float>(contentH) / static_cast<float>(tileHeight);
        }
        classTextureTile& tile = tiles[static_cast<size_t>(i)];
        const float left = static_cast<float>(x) - static_cast<float>(width) / 2.f;
        const float top = -static_cast<float>(y) + static_cast<float>(height) / 2.f;
        tile.SetQuad(left, top, static_cast<float>(contentW), static_cast<float>(contentH), 0xFFFFFFFFu);
        tile.SetTextureCoordinates(0.f, 0.f, uMax, vMax);
    }
    return true;
}

bool classSharedResource::BuildTiles(platform::GpuDevice& device, const u8* bgra, int32 contentWidth,
                                     int32 contentHeight, size_t pitch, bool alphaFromBlue, bool allOpaque) {
    if (!LayOutTiles(g_sharedResources.CapsFor(device), contentWidth, contentHeight)) {
        tiles.clear();
        return false;
    }
    const int64 across = alignedWidth / tileWidth;
    // Made only for a tile the picture does not fill: a screen-sized picture
    // goes up without a copy, and without zeroing one first.
    std::vector<u8> texels;
    for (size_t i = 0; i < tiles.size(); ++i) {
        classTextureTile& tile = tiles[i];
        // A tile whose texture cannot be made stays empty; the others still show.
        if (!tile.CreateTexture(device, tileWidth, tileHeight)) continue;
        const int64 originX = (static_cast<int64>(i) % across) * tileWidth;
        const int64 originY = (static_cast<int64>(i) / across) * tileHeight;
        const int64 copyW = bgra != nullptr ? std::clamp<int64>(width - originX, 0, tileWidth) : 0;
        const int64 copyH = bgra != nullptr ? std::clamp<int64>(height - originY, 0, tileHeight) : 0;
        if (!alphaFromBlue && copyW == tileWidth && copyH == tileHeight) {
            // The picture fills the tile: it goes up as it is, with no copy.
            const u8* origin = bgra + static_cast<size_t>(originY) * pitch + static_cast<size_t>(originX) * 4;
            tile.opaque = allOpaque || AllTexelsOpaque(origin, tileWidth, tileHeight, pitch);
            device.UploadBGRA(tile.texture, 0, 0, tileWidth, tileHeight, origin, pitch);
            continue;
        }
        texels.assign(static_cast<size_t>(tileWidth) * static_cast<size_t>(tileHeight) * 4, u8{0});
        for (int64 row = 0; row < copyH; ++row) {
            const u8* from = bgra + static_cast<size_t>(originY + row) * pitch + static_cast<size_t>(originX) * 4;
            u8* to = texels.data() + static_cast<size_t>(row) * static_cast<size_t>(tileWidth) * 4;
            if (!alphaFromBlue) {
                std::memcpy(to, from, static_cast<size_t>(copyW) * 4);
                continue;
            }
            for (int64 column = 0; column < copyW; ++column) {
                to[column * 4 + 3] = from[column * 4];
            }
        }
        device.UploadBGRA(tile.texture, 0, 0, tileWidth, tileHeight, texels.data(),
                          static_cast<size_t>(tileWidth) * 4);
    }
    return true;
}

void classSharedResource::FinishRealise() {
    realised = 1;
    ++realiseCount;
    RefreshDrawTiles();
}

void classSharedResource::RefreshDrawTiles() {
    drawTiles.clear();
    drawTiles.reserve(tiles.size());
    for (const classTextureTile& tile : tiles) {
        classDrawTile drawTile;
        drawTile.texture = tile.texture;
        drawTile.opaque = tile.opaque;
        std::memcpy(drawTile.vertices, tile.vertices, sizeof(drawTile.vertices));
        drawTiles.push_back(drawTile);
    }
}

bool classSharedResource::RealiseImageBytes(platform::GpuDevice& device, const std::vector<u8>& bytes,
                                            bool* undecodable) {
    platform::DecodedImage image;
    const bool decoded = platform::DecodeImage(bytes.data(), bytes.size(), image);
    if (undecodable != nullptr) *undecodable = !decoded;
    return RealiseImage(device, image);
}

bool classSharedResource::RealiseImage(platform::GpuDevice& device, const platform::DecodedImage& image,
                                       bool opaque) {
    // Bytes that are there but are no picture will not become one at the
    // next draw either: give up until the tiles are released.
    if (image.bgra.empty() || !BuildTiles(device, image.bgra.data(), image.width, image.height,
                                          static_cast<size_t>(image.width) * 4, false, opaque)) {
        ReleaseTiles(&device);
        realised = -1;
        return false;
    }
    FinishRealise();
    return true;
}

bool classSharedResource::DecodeAhead() {
    if (kind != TextureKind_ImageFile || !tiles.empty() || realised != 0 || !ahead.Start(name, origin)) return false;
    texturesAhead = 0;
    return true;
}

void classSharedResource::MakeTexturesAhead(platform::GpuDevice& device) {
    constexpr int64 kMostTilesAhead = 4;
    int32 pictureWidth = 0, pictureHeight = 0;
    if (kind != TextureKind_ImageFile || !tiles.empty() || texturesAhead != 0 ||
        !ahead.SizeKnown(&pictureWidth, &pictureHeight)) {
        return;
    }
    texturesAhead = 1;
    int32 w = 0, h = 0;
    FitTextureSize(pictureWidth, pictureHeight, g_sharedResources.CapsFor(device), &w, &h);
    if (w <= 0 || h <= 0) return;
    const int64 count = ((pictureWidth + w - 1) / w) * ((pictureHeight + h - 1) / h);
    if (count > kMostTilesAhead) return;
    for (int64 i = 0; i < count; ++i) device.MakeTextureAhead(w, h);
}

namespace {

// Endings movie files are commonly saved with that do not make an object a
// movie: such a file is taken for a picture and cannot be decoded as one.
bool IsMovieFileName(std::string_view name) {
    for (std::string_view ending : {".mp4", ".m4v", ".mov", ".mkv", ".webm", ".ogv", ".mpeg", ".mpe", ".m1v",
                                    ".m2v", ".vob", ".ts", ".m2ts", ".flv", ".asf", ".3gp"})
        if (EndsWithNoCase(name, ending)) return true;
    return false;
}

}  // namespace

void classSharedResource::ReportFile(const char* what) {
    if (fileReported != 0 || name.empty()) return;
    fileReported = 1;
    ReportOnce(origin, "the picture " + QuotedName(name) + what);
}

bool classSharedResource::RealiseRenderTarget(platform::GpuDevice& device, int32 screenWidth, int32 screenHeight) {
    if (!tiles.empty()) return true;
    if (realised == 0 && screenWidth > 0 && screenHeight > 0) {
        classTextureCaps caps = g_sharedResources.CapsFor(device);
        FitTextureSize(screenWidth, screenHeight, caps, &tileWidth, &tileHeight);
        width = alignedWidth = tileWidth;
        height = alignedHeight = tileHeight;
        tiles.assign(2, classTextureTile{});
        // The target has the tile's own shape: the old screen is drawn into
        // it texel for pixel and comes back the same way in every frame of
        // the fade. A square target would stretch the picture on the way in
        // and squeeze it on the way out, a blur bought with extra work. Its
        // depth-stencil (the second tile) comes with the first scene that
        // cuts holes in it; most never do.
        if (tiles[0].CreateRenderTexture(device, tileWidth, tileHeight)) {
            const float left = -static_cast<float>(width) / 2.f;
            const float top = static_cast<float>(height) / 2.f;
            for (classTextureTile& tile : tiles) {
                tile.SetQuad(left, top, static_cast<float>(tileWidth), static_cast<float>(tileHeight), 0xFFFFFFFFu);
                tile.SetTextureCoordinates(0.f, 0.f, 1.f, 1.f);
            }
            realised = 1;
            RefreshDrawTiles();
            return true;
        }
        ReleaseTiles(&device);
    }
    realised = -1;
    return false;
}

namespace {

// A resource loaded, given up or let go since the guard was made is a change
// the next frame shows, even where every object looks the same.
class StateChangeGuard {
  public:
    explicit StateChangeGuard(const classSharedResource& resource)
        : resource_(resource), realised_(resource.realised), tiles_(resource.tiles.size()) {}
    ~StateChangeGuard() {
        if (resource_.realised != realised_ || resource_.tiles.size() != tiles_) NoteSceneChange();
    }
    StateChangeGuard(const StateChangeGuard&) = delete;
    StateChangeGuard& operator=(const StateChangeGuard&) = delete;

  private:
    const classSharedResource& resource_;
    const int32 realised_;
    const size_t tiles_;
};

}  // namespace

bool classSharedResource::Realise(platform::GpuDevice* device) {
    if (device == nullptr) return false;  // tried again at the next draw
    const StateChangeGuard guard(*this);
    switch (kind) {
        case TextureKind_ImageFile: {
            if (!tiles.empty()) return true;
            if (realised != 0) return false;
            classPictureFile file;
            if (!ahead.Take(file)) {
                // What the reading says of the file is said from where it was asked for.
                const classScopedScriptOrigin asked(origin);
                file = ReadPictureFile(name);
            }
            // A missing file may still arrive (an archive being written): try at every draw.
            if (!file.read) {
                if (!file.tooLarge) ReportFile(" is missing or cannot be read");
                return false;
            }
            if (RealiseImage(*device, file.image, file.opaque)) return true;
            if (!file.decoded)
                ReportFile(IsMovieFileName(name) ? " cannot be decoded: PNG, JPEG, BMP, TGA and DDS pictures are shown; a "
                                                   "movie plays only from a file ending in \".avi\", \".wmv\" or \".mpg\""
                                                 : " cannot be decoded: PNG, JPEG, BMP, TGA and DDS pictures are shown");
            return false;
        }
        case TextureKind_PlayDataThumbnail: {
            if (!tiles.empty()) return true;
            if (realised != 0) return false;
            std::vector<u8> bytes;
            if (g_hooks.readPlayDataThumbnail == nullptr || !g_hooks.readPlayDataThumbnail(name, bytes)) {
                realised = -1;
                return false;
            }
            return RealiseImageBytes(*device, bytes);
        }
        case TextureKind_Text:
            if (!tiles.empty()) return true;
            if (realised != 0 || g_hooks.realiseText == nullptr) return false;
            return g_hooks.realiseText(*this, *device) && !tiles.empty();
        case TextureKind_Movie:
            if (!tiles.empty()) return true;
            if (realised != 0) return false;
            if (g_hooks.realiseMovie == nullptr) {
                realised = -1;
                return false;
            }
            {
                // The movie side reports what it cannot open from where it was asked for.
                const classScopedScriptOrigin asked(origin);
                return g_hooks.realiseMovie(*this, *device) && !tiles.empty();
            }
        case TextureKind_TransitionCapture:
            return RealiseRenderTarget(*device, device->BackBufferWidth(), device->BackBufferHeight());
        default:
            return false;  // filters and the save thumbnail capture have no texture here
    }
}

bool classSharedResource::Realise() {
    return Realise(CurrentTextureDevice());
}

void classSharedResource::ReleaseTiles(platform::GpuDevice* device) {
    // Let go to be made again (or retried, after it was given up).
    if (!tiles.empty() || realised != 0) NoteSceneChange();
    for (classTextureTile& tile : tiles) tile.Release(device);
    tiles.clear();
    drawTiles.clear();
    realised = 0;
}

void classSharedResource::ReleaseTiles() {
    ReleaseTiles(CurrentTextureDevice());
}

bool classSharedResource::GetCharacterSize(float* outAdvanceHeight, float* zero1, float* outAdvanceWidth,
                                           float* zero2) {
    if (!secondName.empty()) Realise();
    if (outAdvanceHeight != nullptr) *outAdvanceHeight = advanceHeight;
    if (zero1 != nullptr) *zero1 = 0.f;
    if (outAdvanceWidth != nullptr) *outAdvanceWidth = advanceWidth;
    if (zero2 != nullptr) *zero2 = 0.f;
    return true;
}

bool classSharedResource::BeginRenderTo(platform::GpuDevice* device, bool stencil) {
    if (device == nullptr || tiles.size() < 2 || kind != TextureKind_TransitionCapture) return false;
    classTextureTile& depth = tiles[1];
    if (stencil && depth.surface == 0 && !depth.CreateDepthStencil(*device, tileWidth, tileHeight))
        return false;
    return device->SetRenderTarget(tiles[0].surface) && device->SetDepthStencil(depth.surface);
}

// --- The set ---

bool classSharedResourceSet::Key::operator<(const Key& other) const {
    // std::string compares its bytes as unsigned char, which is the byte-wise order wanted.
    return std::tie(kind, name, param, unique) < std::tie(other.kind, other.name, other.param, other.unique);
}

classSharedResource* classSharedResourceSet::Acquire(int32 kind, const std::string& name, int64 param, u8 unique) {
    Key key{kind, name, param, unique};
    auto found = resources_.find(key);
    if (found != resources_.end()) return found->second.AddRef();
    classSharedResource& resource = resources_[key];
    resource.kind = kind;
    resource.name = name;
    resource.param = param;
    resource.unique = unique;
    resource.origin = CurrentScriptOrigin();
    return &resource;
}

classSharedResource* classSharedResourceSet::Find(int32 kind, const std::string& name, int64 param, u8 unique) {
    auto found = resources_.find(Key{kind, name, param, unique});
    return found != resources_.end() ? &found->second : nullptr;
}

void classSharedResourceSet::Release(classSharedResource* resource) {
    if (resource == nullptr) return;
    auto found = resources_.find(Key{resource->kind, resource->name, resource->param, resource->unique});
    // A pointer that is not ours is left alone rather than corrupting the set.
    if (found == resources_.end() || &found->second != resource) return;
    if (--resource->refCount > 0) return;
    resource->ReleaseTiles();
    if (resource->movieGraph != nullptr && g_hooks.deleteMovieGraph != nullptr) {
        g_hooks.deleteMovieGraph(resource->movieGraph);
    }
    resource->movieGraph = nullptr;
    resources_.erase(found);
}

std::vector<classSharedResource*> classSharedResourceSet::ResourcesOfKind(int32 kind) {
    std::vector<classSharedResource*> found;
    for (auto& entry : resources_) {
        if (entry.second.kind == kind) found.push_back(&entry.second);
    }
    return found;
}

void classSharedResourceSet::ReleaseRenderTargetTiles() {
    platform::GpuDevice* device = CurrentTextureDevice();
    for (auto& entry : resources_) {
        if (entry.second.kind == TextureKind_TransitionCapture) entry.second.ReleaseTiles(device);
    }
}

void classSharedResourceSet::ReleaseAllTiles() {
    platform::GpuDevice* device = CurrentTextureDevice();
    for (auto& entry : resources_) entry.second.ReleaseTiles(device);
}

void classSharedResourceSet::Clear() {
    platform::GpuDevice* device = CurrentTextureDevice();
    for (auto& entry : resources_) {
        entry.second.ReleaseTiles(device);
        if (entry.second.movieGraph != nullptr && g_hooks.deleteMovieGraph != nullptr) {
            g_hooks.deleteMovieGraph(entry.second.movieGraph);
        }
    }
    resources_.clear();
}

void classSharedResourceSet::SetCapsOverride(const classTextureCaps* caps) {
    hasCapsOverride_ = caps != nullptr;
    if (caps != nullptr) capsOverride_ = *caps;
}

classTextureCaps classSharedResourceSet::CapsFor(const platform::GpuDevice& device) const {
    return hasCapsOverride_ ? capsOverride_ : TextureCapsOf(device);
}

void BindGlyphImage(classSharedResource* resource, const std::string& file) {
    if (resource == nullptr) return;
    resource->secondName = file;
    // The character may have been drawn before from the font; a picture
    // that cannot be read is the list's mistake, said with its statement.
    if (const classScriptOrigin listed = CurrentScriptOrigin(); listed.IsKnown()) resource->origin = listed;
    resource->fileReported = 0;
    resource->ReleaseTiles();
}

void RefreshPlayDataThumbnail(const std::string& file) {
    classSharedResource* resource = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, file, 0, 0);
    resource->ReleaseTiles();
    g_sharedResources.Release(resource);
}
