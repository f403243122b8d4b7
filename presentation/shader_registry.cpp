#include "presentation/shader_registry.h"

#include <vector>

#include "foundation/text_encoding.h"
#include "presentation/graphic_device.h"
#include "presentation/scene_services.h"

classShaderRegistry g_shaderRegistry;

// The device holds the programs themselves (hand-written for each of these
// names); this table only says which names exist, so that an unknown name is
// turned away before the device is asked.
const char* const g_builtinPixelShaders[kBuiltinPixelShaderCount] = {
    ":Transition.CrossDissolveAlphaIgnore",
    ":Transition.DitherDissolve",
    ":Transition.CrossDissolve",
    ":PixelColor.Change",
    ":Pixel.Monochro",
    ":Pixel.Sepia",
    ":Pixel.Negaposi",
};

bool classShaderKey::operator<(const classShaderKey& other) const {
    if (kind != other.kind) return kind < other.kind;
    if (name == other.name) return secondName < other.secondName;
    return name < other.name;
}

bool IsBuiltinPixelShaderName(std::u16string_view name) {
    for (const char* builtin : g_builtinPixelShaders) {
        if (name == Utf8ToWide(builtin)) return true;
    }
    return false;
}

bool classShaderResource::CreatePixelShader(platform::GpuDevice* onDevice) {
    if (shader != 0) return true;
    if (kind != kPixelShaderKind || !IsBuiltinPixelShaderName(name) || onDevice == nullptr) return false;
    shader = onDevice->CreateBuiltinPixelShader(WideToUtf8(name));
    if (shader == 0) return false;
    device = onDevice;
    return true;
}

void classShaderResource::ApplyPixelShader(platform::GpuDevice* onDevice) {
    if (kind != kPixelShaderKind || onDevice == nullptr) return;
    if (!CreatePixelShader(onDevice)) return;
    onDevice->SetPixelShader(shader);
}

void classShaderResource::ResetPixelShader(platform::GpuDevice* onDevice) {
    if (kind != kPixelShaderKind || onDevice == nullptr) return;
    onDevice->SetPixelShader(0);
}

void classShaderResource::ReleasePixelShader() {
    if (shader != 0 && device != nullptr) device->ReleaseObject(shader);
    shader = 0;
    device = nullptr;
}

classShaderResource* AcquireShader(int32 kind, const std::string& name, const std::string& secondName) {
    classShaderKey key{kind, Utf8ToWide(name), Utf8ToWide(secondName)};
    auto found = g_shaderRegistry.find(key);
    if (found != g_shaderRegistry.end()) {
        ++found->second->refCount;
        return found->second;
    }
    auto* entry = new classShaderResource();
    entry->kind = kind;
    entry->name = key.name;
    entry->secondName = key.secondName;
    g_shaderRegistry.emplace(std::move(key), entry);
    return entry;
}

void AddRefShader(classShaderResource* entry) {
    if (entry != nullptr) ++entry->refCount;
}

void ReleaseShader(classShaderResource* entry) {
    if (entry == nullptr) return;
    if (--entry->refCount > 0) return;
    // By identity: an entry is only ever reached through the registry.
    for (auto it = g_shaderRegistry.begin(); it != g_shaderRegistry.end(); ++it) {
        if (it->second == entry) {
            g_shaderRegistry.erase(it);
            break;
        }
    }
    entry->ReleasePixelShader();
    delete entry;
}

void ReleaseAllPixelShaders() {
    for (auto& [key, entry] : g_shaderRegistry) entry->ReleasePixelShader();
}

void ReleaseAllShaderEntries() {
    ReleaseAllPixelShaders();
}

void RegisterShaderSubsystem() {
    GetDeviceObjectHooks().releaseAllPixelShaders = &ReleaseAllPixelShaders;
}
