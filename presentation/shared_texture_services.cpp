#include "presentation/shared_texture_services.h"

#include "presentation/picture_file.h"

#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/input_presentation_links.h"
#include "presentation/movie_playback.h"

// --- Scene services ---

classSceneServices& classSharedTextureServices::Next() const {
    static classSceneServices nothing;
    return next_ != nullptr ? *next_ : nothing;
}

classSharedResource* classSharedTextureServices::AcquireTexture(int32 kind, const std::string& name, int64 param,
                                                                u8 unique) {
    return g_sharedResources.Acquire(kind, name, param, unique);
}
void classSharedTextureServices::AddRefTexture(classSharedResource* texture) {
    if (texture != nullptr) texture->AddRef();
}
void classSharedTextureServices::ReleaseTexture(classSharedResource* texture) {
    g_sharedResources.Release(texture);
}
int32 classSharedTextureServices::TextureKindOf(const classSharedResource* texture) const {
    return texture != nullptr ? texture->kind : TextureKind_None;
}
std::string classSharedTextureServices::TextureNameOf(const classSharedResource* texture) const {
    return texture != nullptr ? texture->name : std::string();
}
int64 classSharedTextureServices::TextureParamOf(const classSharedResource* texture) const {
    return texture != nullptr ? texture->param : 0;
}
u8 classSharedTextureServices::TextureUniqueOf(const classSharedResource* texture) const {
    return texture != nullptr ? texture->unique : 0;
}
classShaderResource* classSharedTextureServices::AcquireShader(int32 kind, const std::string& name) {
    return Next().AcquireShader(kind, name);
}
void classSharedTextureServices::AddRefShader(classShaderResource* shader) {
    Next().AddRefShader(shader);
}
void classSharedTextureServices::ReleaseShader(classShaderResource* shader) {
    Next().ReleaseShader(shader);
}
bool classSharedTextureServices::HasMovieGraph(classSharedResource* texture) {
    return texture != nullptr && texture->movieGraph != nullptr;
}
bool classSharedTextureServices::IsMoviePlaying(classSharedResource* texture) {
    return IsMovieTexturePlaying(texture);
}
void classSharedTextureServices::ApplyMovieRequests(classSharedResource* texture) {
    UpdateMovieTexture(texture);
}
int64 classSharedTextureServices::FontHeight(int64 fontNumber) {
    return Next().FontHeight(fontNumber);
}
bool classSharedTextureServices::DrawTextStep(classGraphicObject& object) {
    return Next().DrawTextStep(object);
}

// --- Draw source ---

bool classSharedTextureSource::Realise(classSharedResource* texture, platform::GpuDevice& device) {
    return texture != nullptr && texture->Realise(&device);
}
bool classSharedTextureSource::RealiseSoon(classSharedResource* texture) {
    return texture != nullptr && texture->DecodeAhead();
}
bool classSharedTextureSource::StillMaking(classSharedResource* texture) {
    if (texture == nullptr || !texture->ahead.StillDecoding()) return false;
    // Asked before looking again, so that a picture done in between wakes
    // the frame too (at worst, one frame too many).
    WakeTheFrameWhenDecoded();
    return texture->ahead.StillDecoding();
}
void classSharedTextureSource::MakeTexturesAhead(classSharedResource* texture, platform::GpuDevice& device) {
    if (texture != nullptr) texture->MakeTexturesAhead(device);
}
bool classSharedTextureSource::SizeSoon(classSharedResource* texture, int* width, int* height) {
    return texture != nullptr && texture->ahead.SizeKnown(width, height);
}
bool classSharedTextureSource::IsRealised(classSharedResource* texture) {
    return texture != nullptr && texture->realised == 1 && !texture->tiles.empty();
}
const std::vector<classDrawTile>* classSharedTextureSource::Tiles(classSharedResource* texture) {
    if (!IsRealised(texture)) return nullptr;
    return &texture->drawTiles;
}
bool classSharedTextureSource::KeepsOwnColours(classSharedResource* texture) {
    return texture != nullptr && texture->keepsOwnColours != 0;
}
D3DXVECTOR3 classSharedTextureSource::GetDrawScale(classSharedResource* texture) {
    return texture != nullptr ? texture->drawScale : D3DXVECTOR3{1.f, 1.f, 1.f};
}
void classSharedTextureSource::SetDrawScale(classSharedResource* texture, const D3DXVECTOR3& scale) {
    if (texture != nullptr) texture->drawScale = scale;
}
int64 classSharedTextureSource::PictureSerial(classSharedResource* texture) {
    return texture != nullptr ? texture->realiseCount : 0;
}
bool classSharedTextureSource::BeginRenderTo(classSharedResource* texture, platform::GpuDevice& device,
                                             int screenWidth, int screenHeight, bool stencil) {
    if (texture == nullptr || texture->kind != TextureKind_TransitionCapture) return false;
    if (!texture->RealiseRenderTarget(device, screenWidth, screenHeight)) return false;
    const platform::GpuHandle target = device.GetRenderTarget();
    const platform::GpuHandle depth = device.GetDepthStencil();
    if (texture->BeginRenderTo(&device, stencil)) return true;
    // Half a switch would leave the frame drawing into the wrong place.
    device.SetRenderTarget(target);
    device.SetDepthStencil(depth);
    return false;
}
void classSharedTextureSource::TextureSize(classSharedResource* texture, int* width, int* height) {
    const bool realised = IsRealised(texture);
    if (width != nullptr) *width = realised ? texture->tileWidth : 0;
    if (height != nullptr) *height = realised ? texture->tileHeight : 0;
}
platform::GpuHandle classSharedTextureSource::PixelShader(classShaderResource* shader, platform::GpuDevice& device) {
    return next_ != nullptr ? next_->PixelShader(shader, device) : classSceneDrawSource::PixelShader(shader, device);
}

bool SharedTextureContentSize(classSharedResource* texture, int64* width, int64* height) {
    // Until the picture has been loaded its size is unknown; a region on it
    // cannot be hit before it could be seen.
    if (texture == nullptr || texture->realised != 1) return false;
    *width = texture->width;
    *height = texture->height;
    return true;
}

// --- Registration ---

void RegisterSharedResourceSubsystem() {
    // Made once for the life of the process; the previous answerers stay behind them.
    static classSharedTextureServices* services = nullptr;
    static classSharedTextureSource* source = nullptr;
    if (services == nullptr) {
        services = new classSharedTextureServices(SetSceneServices(nullptr));
        source = new classSharedTextureSource(SetSceneDrawSource(nullptr));
    }
    SetSceneServices(services);
    SetSceneDrawSource(source);
    InstallSharedResourceDeviceHooks();
    SetGlyphImageBinder(&BindGlyphImage);
    SetInputTextureSizeSource(&SharedTextureContentSize);
}

void InstallSharedResourceDeviceHooks() {
    classDeviceObjectHooks& hooks = GetDeviceObjectHooks();
    hooks.releaseRenderTargetTiles = [] { g_sharedResources.ReleaseRenderTargetTiles(); };
    hooks.releaseAllTiles = [] { g_sharedResources.ReleaseAllTiles(); };
}
