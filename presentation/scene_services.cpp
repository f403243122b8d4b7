#include "presentation/scene_services.h"

#include <atomic>

#include "foundation/text_encoding.h"
#include "presentation/glyph_set.h"
#include "presentation/shader_registry.h"
#include "presentation/text_layout.h"

namespace {
classSceneServices g_defaultSceneServices;
// Set before the render thread starts; atomic so a late reader never sees a torn pointer.
std::atomic<classSceneServices*> g_sceneServices{nullptr};
}  // namespace

classSharedResource* classSceneServices::AcquireTexture(int32, const std::string&, int64, u8) {
    return nullptr;
}
void classSceneServices::AddRefTexture(classSharedResource*) {}
void classSceneServices::ReleaseTexture(classSharedResource*) {}
int32 classSceneServices::TextureKindOf(const classSharedResource*) const {
    return TextureKind_None;
}
std::string classSceneServices::TextureNameOf(const classSharedResource*) const {
    return std::string();
}
int64 classSceneServices::TextureParamOf(const classSharedResource*) const {
    return 0;
}
u8 classSceneServices::TextureUniqueOf(const classSharedResource*) const {
    return 0;
}
std::string classSceneServices::ShaderNameOf(const classShaderResource* shader) const {
    return shader != nullptr ? WideToUtf8(shader->name) : std::string();
}
// Shaders are answered by the registry itself: whoever answers the textures
// inherits them.
classShaderResource* classSceneServices::AcquireShader(int32 kind, const std::string& name) {
    return ::AcquireShader(kind, name);
}
void classSceneServices::AddRefShader(classShaderResource* shader) {
    ::AddRefShader(shader);
}
void classSceneServices::ReleaseShader(classShaderResource* shader) {
    ::ReleaseShader(shader);
}
bool classSceneServices::HasMovieGraph(classSharedResource*) {
    return false;
}
bool classSceneServices::IsMoviePlaying(classSharedResource*) {
    return false;
}
void classSceneServices::ApplyMovieRequests(classSharedResource*) {}
int64 classSceneServices::FontHeight(int64 fontNumber) {
    return GlyphSetLineHeight(fontNumber);
}
bool classSceneServices::DrawTextStep(classGraphicObject& object) {
    return ::DrawTextStep(object);
}

classSceneServices& GetSceneServices() {
    classSceneServices* services = g_sceneServices.load(std::memory_order_acquire);
    return services != nullptr ? *services : g_defaultSceneServices;
}

classSceneServices* SetSceneServices(classSceneServices* services) {
    return g_sceneServices.exchange(services, std::memory_order_acq_rel);
}
