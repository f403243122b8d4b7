#include "presentation/scene_services.h"

#include <atomic>

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
classShaderResource* classSceneServices::AcquireShader(int32, const std::string&) {
    return nullptr;
}
void classSceneServices::AddRefShader(classShaderResource*) {}
void classSceneServices::ReleaseShader(classShaderResource*) {}
bool classSceneServices::HasMovieGraph(classSharedResource*) {
    return false;
}
bool classSceneServices::IsMoviePlaying(classSharedResource*) {
    return false;
}
void classSceneServices::ApplyMovieRequests(classSharedResource*) {}
int64 classSceneServices::FontHeight(int64) {
    return 0;
}
bool classSceneServices::DrawTextStep(classGraphicObject&) {
    return false;
}

classSceneServices& GetSceneServices() {
    classSceneServices* services = g_sceneServices.load(std::memory_order_acquire);
    return services != nullptr ? *services : g_defaultSceneServices;
}

classSceneServices* SetSceneServices(classSceneServices* services) {
    return g_sceneServices.exchange(services, std::memory_order_acq_rel);
}
