#include "support/presentation/fake_scene_services.h"

FakeSceneServices::FakeSceneServices() {
    previous_ = SetSceneServices(this);
}
FakeSceneServices::~FakeSceneServices() {
    SetSceneServices(previous_);
}

classSharedResource* FakeSceneServices::AcquireTexture(int32 kind, const std::string& name, int64 param, u8 unique) {
    ++acquires;
    auto& slot = textures_[{kind, name, param}];
    if (!slot) {
        slot = std::make_unique<FakeTexture>(FakeTexture{kind, name, param, 0});
        slot->unique = unique;
    }
    ++slot->refs;
    return reinterpret_cast<classSharedResource*>(slot.get());
}

void FakeSceneServices::AddRefTexture(classSharedResource* texture) {
    if (texture != nullptr) ++Of(texture)->refs;
}

void FakeSceneServices::ReleaseTexture(classSharedResource* texture) {
    if (texture == nullptr) return;
    // Entries are kept at count 0 so that a release too many is seen, not a crash.
    if (--Of(texture)->refs < 0) ++badReleases;
}

int32 FakeSceneServices::TextureKindOf(const classSharedResource* texture) const {
    return texture == nullptr ? 0 : reinterpret_cast<const FakeTexture*>(texture)->kind;
}

std::string FakeSceneServices::TextureNameOf(const classSharedResource* texture) const {
    return texture == nullptr ? std::string() : reinterpret_cast<const FakeTexture*>(texture)->name;
}

int64 FakeSceneServices::TextureParamOf(const classSharedResource* texture) const {
    return texture == nullptr ? 0 : reinterpret_cast<const FakeTexture*>(texture)->param;
}

u8 FakeSceneServices::TextureUniqueOf(const classSharedResource* texture) const {
    return texture == nullptr ? 0 : reinterpret_cast<const FakeTexture*>(texture)->unique;
}

std::string FakeSceneServices::ShaderNameOf(const classShaderResource* shader) const {
    return shader == nullptr ? std::string() : reinterpret_cast<const FakeShader*>(shader)->name;
}

classShaderResource* FakeSceneServices::AcquireShader(int32 kind, const std::string& name) {
    ++acquires;
    auto& slot = shaders_[{kind, name}];
    if (!slot) slot = std::make_unique<FakeShader>(FakeShader{kind, name, 0});
    ++slot->refs;
    return reinterpret_cast<classShaderResource*>(slot.get());
}

void FakeSceneServices::AddRefShader(classShaderResource* shader) {
    if (shader != nullptr) ++Of(shader)->refs;
}

void FakeSceneServices::ReleaseShader(classShaderResource* shader) {
    if (shader == nullptr) return;
    if (--Of(shader)->refs < 0) ++badReleases;
}

bool FakeSceneServices::HasMovieGraph(classSharedResource* texture) {
    return Of(texture)->hasMovieGraph;
}
bool FakeSceneServices::IsMoviePlaying(classSharedResource* texture) {
    return Of(texture)->moviePlaying;
}
void FakeSceneServices::ApplyMovieRequests(classSharedResource* texture) {
    ++Of(texture)->movieRequestsApplied;
}

int64 FakeSceneServices::FontHeight(int64 fontNumber) {
    auto found = fontHeights.find(fontNumber);
    return found == fontHeights.end() ? 0 : found->second;
}

bool FakeSceneServices::DrawTextStep(classGraphicObject& object) {
    textStepped.push_back(&object);
    return false;
}

int FakeSceneServices::TextureRefs(int32 kind, const std::string& name, int64 param) const {
    auto found = textures_.find({kind, name, param});
    return found == textures_.end() ? 0 : found->second->refs;
}

int FakeSceneServices::ShaderRefs(int32 kind, const std::string& name) const {
    auto found = shaders_.find({kind, name});
    return found == shaders_.end() ? 0 : found->second->refs;
}

int FakeSceneServices::TotalRefs() const {
    int total = 0;
    for (const auto& [key, texture] : textures_) total += texture->refs;
    for (const auto& [key, shader] : shaders_) total += shader->refs;
    return total;
}
