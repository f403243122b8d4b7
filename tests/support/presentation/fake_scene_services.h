#pragma once
// Scene services for tests: textures and shaders are small counted records
// kept by key, so a test can read exactly how many holders each one has and
// whether a release ever went below zero. Installs itself for its lifetime.

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "presentation/scene_services.h"

struct FakeTexture {
    int32 kind = 0;
    std::string name;
    int64 param = 0;
    int refs = 0;
    bool hasMovieGraph = false;
    bool moviePlaying = false;
    int movieRequestsApplied = 0;
    u8 unique = 0;
};

struct FakeShader {
    int32 kind = 0;
    std::string name;
    int refs = 0;
};

class FakeSceneServices : public classSceneServices {
  public:
    FakeSceneServices();
    ~FakeSceneServices() override;

    classSharedResource* AcquireTexture(int32 kind, const std::string& name, int64 param, u8 unique) override;
    void AddRefTexture(classSharedResource* texture) override;
    void ReleaseTexture(classSharedResource* texture) override;
    int32 TextureKindOf(const classSharedResource* texture) const override;
    std::string TextureNameOf(const classSharedResource* texture) const override;
    int64 TextureParamOf(const classSharedResource* texture) const override;
    u8 TextureUniqueOf(const classSharedResource* texture) const override;
    std::string ShaderNameOf(const classShaderResource* shader) const override;
    classShaderResource* AcquireShader(int32 kind, const std::string& name) override;
    void AddRefShader(classShaderResource* shader) override;
    void ReleaseShader(classShaderResource* shader) override;
    bool HasMovieGraph(classSharedResource* texture) override;
    bool IsMoviePlaying(classSharedResource* texture) override;
    void ApplyMovieRequests(classSharedResource* texture) override;
    int64 FontHeight(int64 fontNumber) override;
    bool DrawTextStep(classGraphicObject& object) override;

    static FakeTexture* Of(classSharedResource* texture) { return reinterpret_cast<FakeTexture*>(texture); }
    static FakeShader* Of(classShaderResource* shader) { return reinterpret_cast<FakeShader*>(shader); }

    // Holders of the texture / shader with this key; 0 when it is gone.
    int TextureRefs(int32 kind, const std::string& name, int64 param = 0) const;
    int ShaderRefs(int32 kind, const std::string& name) const;
    int TotalRefs() const;
    int acquires = 0;
    int badReleases = 0;  // releases of something no longer held
    std::map<int64, int64> fontHeights;
    std::vector<const classGraphicObject*> textStepped;

  private:
    std::map<std::tuple<int32, std::string, int64>, std::unique_ptr<FakeTexture>> textures_;
    std::map<std::tuple<int32, std::string>, std::unique_ptr<FakeShader>> shaders_;
    classSceneServices* previous_ = nullptr;
};
