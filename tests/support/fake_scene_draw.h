#pragma once
// Textures and shader entries for drawing tests: images are solid-colour or
// given BGRA pixels made into one tile on whichever device draws them, a
// transition capture is a screen-sized render texture, and shader entries
// name the built-in pixel shaders. Installed as both the scene services (so
// objects can hold them) and the draw source (so the drawing finds them).

#include <memory>
#include <string>
#include <vector>

#include "platform/gpu_device.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_services.h"

namespace fakes {

struct FakeTexture {
    int32 kind = 0;
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<u8> bgra;  // the image, top row first
    bool realisable = true;
    bool decoding = false;  // on its way ahead of its draw, until a test says it is done
    bool keepsOwnColours = false;
    int refs = 1;
    // Realised state.
    std::vector<classDrawTile> tiles;
    platform::GpuHandle capture = 0;
    platform::GpuHandle captureDepth = 0;
    bool tinted = false;
    u32 tint = 0;
    D3DXVECTOR3 drawScale{1.f, 1.f, 1.f};
    int64 pictureSerial = 0;  // raised by a test as a movie's new picture
};

struct FakeShader {
    int32 kind = 0;
    std::string name;
    int refs = 1;
    platform::GpuHandle made = 0;
};

class FakeSceneDraw final : public classSceneServices, public classSceneDrawSource {
  public:
    FakeSceneDraw() {
        previousServices_ = SetSceneServices(this);
        previousSource_ = SetSceneDrawSource(this);
    }
    ~FakeSceneDraw() override {
        SetSceneServices(previousServices_);
        SetSceneDrawSource(previousSource_);
    }

    // Images the tests name: "solid:BBGGRRAA:WxH" is made on acquisition;
    // others are registered with AddImage first.
    FakeTexture* AddImage(const std::string& name, int width, int height, std::vector<u8> bgra) {
        auto texture = std::make_unique<FakeTexture>();
        texture->kind = TextureKind_ImageFile;
        texture->name = name;
        texture->width = width;
        texture->height = height;
        texture->bgra = std::move(bgra);
        texture->refs = 0;
        textures_.push_back(std::move(texture));
        return textures_.back().get();
    }
    FakeTexture* AddSolid(const std::string& name, int width, int height, u8 b, u8 g, u8 r, u8 a) {
        std::vector<u8> pixels;
        for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {b, g, r, a});
        return AddImage(name, width, height, std::move(pixels));
    }
    static FakeTexture* Of(classSharedResource* texture) { return reinterpret_cast<FakeTexture*>(texture); }
    static FakeShader* Of(classShaderResource* shader) { return reinterpret_cast<FakeShader*>(shader); }
    const std::vector<std::unique_ptr<FakeShader>>& Shaders() const { return shaders_; }

    // --- classSceneServices ---
    classSharedResource* AcquireTexture(int32 kind, const std::string& name, int64, u8) override {
        for (auto& texture : textures_) {
            if (texture->kind == kind && texture->name == name) {
                ++texture->refs;
                return reinterpret_cast<classSharedResource*>(texture.get());
            }
        }
        auto texture = std::make_unique<FakeTexture>();
        texture->kind = kind;
        texture->name = name;
        textures_.push_back(std::move(texture));
        return reinterpret_cast<classSharedResource*>(textures_.back().get());
    }
    void AddRefTexture(classSharedResource* texture) override {
        if (texture != nullptr) ++Of(texture)->refs;
    }
    void ReleaseTexture(classSharedResource* texture) override {
        if (texture != nullptr) --Of(texture)->refs;
    }
    int32 TextureKindOf(const classSharedResource* texture) const override {
        return texture != nullptr ? reinterpret_cast<const FakeTexture*>(texture)->kind : 0;
    }
    std::string TextureNameOf(const classSharedResource* texture) const override {
        return texture != nullptr ? reinterpret_cast<const FakeTexture*>(texture)->name : std::string();
    }
    classShaderResource* AcquireShader(int32 kind, const std::string& name) override {
        for (auto& shader : shaders_) {
            if (shader->refs > 0 && shader->kind == kind && shader->name == name) {
                ++shader->refs;
                return reinterpret_cast<classShaderResource*>(shader.get());
            }
        }
        auto shader = std::make_unique<FakeShader>();
        shader->kind = kind;
        shader->name = name;
        shaders_.push_back(std::move(shader));
        return reinterpret_cast<classShaderResource*>(shaders_.back().get());
    }
    void AddRefShader(classShaderResource* shader) override {
        if (shader != nullptr) ++Of(shader)->refs;
    }
    void ReleaseShader(classShaderResource* shader) override {
        if (shader != nullptr) --Of(shader)->refs;
    }
    std::string ShaderNameOf(const classShaderResource* shader) const override {
        return shader != nullptr ? reinterpret_cast<const FakeShader*>(shader)->name : std::string();
    }

    // --- classSceneDrawSource ---
    // Whether pictures not yet realised count as starting to decode ahead.
    bool decodesAhead = false;
    // Whether a picture loaded is noted as a change, as the real resources do.
    bool notesLoads = false;
    bool RealiseSoon(classSharedResource* resource) override {
        return decodesAhead && Of(resource) != nullptr && Of(resource)->tiles.empty();
    }
    bool StillMaking(classSharedResource* resource) override {
        return Of(resource) != nullptr && Of(resource)->decoding;
    }
    bool SizeSoon(classSharedResource* resource, int* width, int* height) override {
        FakeTexture* texture = Of(resource);
        if (texture == nullptr || !texture->decoding) return false;
        *width = texture->width;
        *height = texture->height;
        return true;
    }
    bool Realise(classSharedResource* resource, platform::GpuDevice& device) override {
        FakeTexture* texture = Of(resource);
        if (texture != nullptr && texture->kind == TextureKind_TransitionCapture) {
            return texture->realisable &&
                   MakeCapture(*texture, device, device.BackBufferWidth(), device.BackBufferHeight());
        }
        if (texture == nullptr || !texture->realisable || texture->width <= 0) return false;
        platform::GpuHandle handle = device.CreateTexture(texture->width, texture->height);
        if (handle == 0) return false;
        device.UploadBGRA(handle, 0, 0, texture->width, texture->height, texture->bgra.data(),
                          static_cast<size_t>(texture->width) * 4);
        texture->tiles.push_back(
            CenteredTile(handle, texture->width, texture->height, texture->width, texture->height));
        bool opaque = true;
        for (size_t at = 3; at < texture->bgra.size(); at += 4) opaque = opaque && texture->bgra[at] == 255;
        texture->tiles.back().opaque = opaque;
        if (notesLoads) NoteSceneChange();
        return true;
    }
    bool IsRealised(classSharedResource* resource) override {
        FakeTexture* texture = Of(resource);
        return texture != nullptr && !texture->tiles.empty();
    }
    const std::vector<classDrawTile>* Tiles(classSharedResource* resource) override {
        FakeTexture* texture = Of(resource);
        return texture != nullptr && !texture->tiles.empty() ? &texture->tiles : nullptr;
    }
    bool KeepsOwnColours(classSharedResource* resource) override { return Of(resource)->keepsOwnColours; }
    D3DXVECTOR3 GetDrawScale(classSharedResource* resource) override { return Of(resource)->drawScale; }
    int64 PictureSerial(classSharedResource* resource) override { return Of(resource)->pictureSerial; }
    void SetDrawScale(classSharedResource* resource, const D3DXVECTOR3& scale) override {
        Of(resource)->drawScale = scale;
    }
    bool BeginRenderTo(classSharedResource* resource, platform::GpuDevice& device, int screenWidth,
                       int screenHeight, bool stencil) override {
        FakeTexture* texture = Of(resource);
        if (texture == nullptr || !texture->realisable) return false;
        if (stencil && texture->captureDepth == 0) {
            texture->captureDepth = device.CreateDepthStencil(screenWidth, screenHeight);
        }
        return MakeCapture(*texture, device, screenWidth, screenHeight) &&
               device.SetRenderTarget(texture->capture) && device.SetDepthStencil(texture->captureDepth);
    }
    static bool MakeCapture(FakeTexture& texture, platform::GpuDevice& device, int width, int height) {
        if (texture.capture != 0) return true;
        texture.capture = device.CreateRenderTexture(width, height);
        if (texture.capture == 0) return false;
        texture.width = width;
        texture.height = height;
        texture.tiles.push_back(CenteredTile(texture.capture, width, height, width, height));
        return true;
    }
    void TextureSize(classSharedResource* resource, int* width, int* height) override {
        *width = Of(resource)->width;
        *height = Of(resource)->height;
    }
    platform::GpuHandle PixelShader(classShaderResource* resource, platform::GpuDevice& device) override {
        FakeShader* shader = Of(resource);
        if (shader->made == 0) shader->made = device.CreateBuiltinPixelShader(shader->name);
        return shader->made;
    }

    // A tile of width × height texels centred on the origin, with the half-unit
    // offsets that put texel centres on pixel centres.
    static classDrawTile CenteredTile(platform::GpuHandle handle, int width, int height, int textureWidth,
                                      int textureHeight) {
        float left = -static_cast<float>(width / 2) - 0.5f;
        float top = static_cast<float>(height / 2) + 0.5f;
        float u = static_cast<float>(width) / static_cast<float>(textureWidth);
        float v = static_cast<float>(height) / static_cast<float>(textureHeight);
        float w = static_cast<float>(width);
        float h = static_cast<float>(height);
        classDrawTile tile;
        tile.texture = handle;
        tile.vertices[0] = platform::GpuVertex{left, top, 0.f, 0xFFFFFFFFu, 0.f, 0.f};
        tile.vertices[1] = platform::GpuVertex{left + w, top, 0.f, 0xFFFFFFFFu, u, 0.f};
        tile.vertices[2] = platform::GpuVertex{left, top - h, 0.f, 0xFFFFFFFFu, 0.f, v};
        tile.vertices[3] = platform::GpuVertex{left + w, top - h, 0.f, 0xFFFFFFFFu, u, v};
        return tile;
    }

  private:
    std::vector<std::unique_ptr<FakeTexture>> textures_;
    std::vector<std::unique_ptr<FakeShader>> shaders_;
    classSceneServices* previousServices_ = nullptr;
    classSceneDrawSource* previousSource_ = nullptr;
};

}  // namespace fakes
