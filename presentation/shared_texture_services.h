#pragma once
// The shared textures answering the scene tree and the drawing: the texture
// half of the scene services and of the draw source. Whatever services were
// installed before (shaders, fonts) keep answering their own calls:
// these objects pass everything that is not a texture on to them.
//
// Threads: installed once before any thread starts; used on the render
// thread (TextureKindOf also from a script thread under the application lock).

#include "presentation/scene_draw.h"
#include "presentation/scene_services.h"
#include "presentation/shared_resource.h"

class classSharedTextureServices final : public classSceneServices {
  public:
    explicit classSharedTextureServices(classSceneServices* next) : next_(next) {}

    classSharedResource* AcquireTexture(int32 kind, const std::string& name, int64 param, u8 unique) override;
    void AddRefTexture(classSharedResource* texture) override;
    void ReleaseTexture(classSharedResource* texture) override;
    int32 TextureKindOf(const classSharedResource* texture) const override;
    std::string TextureNameOf(const classSharedResource* texture) const override;
    int64 TextureParamOf(const classSharedResource* texture) const override;
    u8 TextureUniqueOf(const classSharedResource* texture) const override;

    classShaderResource* AcquireShader(int32 kind, const std::string& name) override;
    void AddRefShader(classShaderResource* shader) override;
    void ReleaseShader(classShaderResource* shader) override;
    bool HasMovieGraph(classSharedResource* texture) override;
    bool IsMoviePlaying(classSharedResource* texture) override;
    void ApplyMovieRequests(classSharedResource* texture) override;
    int64 FontHeight(int64 fontNumber) override;
    bool DrawTextStep(classGraphicObject& object) override;

  private:
    classSceneServices& Next() const;
    classSceneServices* next_;  // set at construction, never changed
};

class classSharedTextureSource final : public classSceneDrawSource {
  public:
    explicit classSharedTextureSource(classSceneDrawSource* next) : next_(next) {}

    bool Realise(classSharedResource* texture, platform::GpuDevice& device) override;
    bool RealiseSoon(classSharedResource* texture) override;
    bool StillMaking(classSharedResource* texture) override;
    void MakeTexturesAhead(classSharedResource* texture, platform::GpuDevice& device) override;
    bool SizeSoon(classSharedResource* texture, int* width, int* height) override;
    bool IsRealised(classSharedResource* texture) override;
    const std::vector<classDrawTile>* Tiles(classSharedResource* texture) override;
    bool KeepsOwnColours(classSharedResource* texture) override;
    D3DXVECTOR3 GetDrawScale(classSharedResource* texture) override;
    void SetDrawScale(classSharedResource* texture, const D3DXVECTOR3& scale) override;
    int64 PictureSerial(classSharedResource* texture) override;
    bool BeginRenderTo(classSharedResource* texture, platform::GpuDevice& device, int screenWidth,
                       int screenHeight, bool stencil) override;
    void TextureSize(classSharedResource* texture, int* width, int* height) override;
    platform::GpuHandle PixelShader(classShaderResource* shader, platform::GpuDevice& device) override;

  private:
    classSceneDrawSource* next_;  // set at construction, never changed
};

// The picture size of a texture for the mouse areas of input targets; false
// while it is not loaded. Read on the UI thread under the application lock.
bool SharedTextureContentSize(classSharedResource* texture, int64* width, int64* height);

// Installs the services, the draw source, the device reset hooks and the
// texture size that input areas use. Call before WinMain.
void RegisterSharedResourceSubsystem();
// Only the device hooks: capture tiles go before a reset, every tile after a failed one or at release.
void InstallSharedResourceDeviceHooks();
