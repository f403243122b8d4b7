#pragma once
// The drawing stages of the GL device: one vertex stage and, per program, a
// fragment stage (the plain texture stage, then the seven built-in pixel
// shaders the scripts name).

#include <string>
#include <string_view>

namespace platform {

inline constexpr int kBuiltinPixelShaderCount = 7;

// Index 0..6 of the built-in pixel shader with exactly this name, else -1.
int FindBuiltinPixelShader(std::string_view name);

// The whole fragment stage of program `index`: 0 the plain texture stage,
// 1..7 the built-ins in table order.
std::string FragmentStageSource(int index);

extern const char* const kGlVertexStage;

}  // namespace platform
