#pragma once
// Pixel shaders chosen by name, and the vertex-shader names that are only
// recorded. Every object that names the same shader shares one counted entry
// of `g_shaderRegistry`, so the device program behind a name is made once per
// device, on the first draw that needs it, and made again after a reset.
//
// Threads: render thread only. Command execution, drawing and the device's
// reset and release all run there, so the registry has no lock of its own.

#include <map>
#include <string>
#include <string_view>

#include "foundation/types.h"
#include "platform/gpu_device.h"

// The registry's key: kind first; for equal kinds the names decide, and only
// when the names are equal the second names (UTF-16 code unit order).
struct classShaderKey {
    int32 kind = 0;
    std::u16string name;
    std::u16string secondName;
    bool operator<(const classShaderKey& other) const;
};

class classShaderResource {
  public:
    int32 refCount = 1;
    int32 kind = 0;  // kPixelShaderKind or kVertexShaderKind
    std::u16string name;
    std::u16string secondName;
    platform::GpuHandle shader = 0;        // 0 until first use and after a device reset
    platform::GpuDevice* device = nullptr;  // the device that made `shader`

    // Makes the device program of a built-in pixel shader; true when there is
    // one. A name outside the table, or a missing device, fails quietly and
    // the next draw tries again.
    bool CreatePixelShader(platform::GpuDevice* onDevice);
    // Sets the program when it can be had; drawing goes on unshaded otherwise.
    void ApplyPixelShader(platform::GpuDevice* onDevice);
    void ResetPixelShader(platform::GpuDevice* onDevice);
    // Gives the device program back; the entry and its count stay.
    void ReleasePixelShader();
};

using classShaderRegistry = std::map<classShaderKey, classShaderResource*>;
extern classShaderRegistry g_shaderRegistry;

// The names of the seven built-in pixel shaders, in the order they are searched.
inline constexpr int kBuiltinPixelShaderCount = 7;
extern const char* const g_builtinPixelShaders[kBuiltinPixelShaderCount];
// True when `name` is one of them, compared exactly (letter case included).
bool IsBuiltinPixelShaderName(std::u16string_view name);

// Raises the count of the entry with an equal key, or makes one with count 1.
classShaderResource* AcquireShader(int32 kind, const std::string& name, const std::string& secondName = {});
// Null-safe; an entry whose count falls to 0 leaves the registry with its program.
void ReleaseShader(classShaderResource* entry);
void AddRefShader(classShaderResource* entry);

// Device hooks: before a reset and after a failed one, every program goes;
// the entries stay for the objects that hold them.
void ReleaseAllPixelShaders();
// At device release. Objects and the filter in force still point at their
// entries then, so only the programs are given back; the counts stay with
// their holders, who release them when they go.
void ReleaseAllShaderEntries();

// Fills the shader part of the device hooks. Call before WinMain.
void RegisterShaderSubsystem();
