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
// 1..7 the built-ins in table order. `over`: its result is mixed by its own
// alpha over the texel of the under-picture (texture unit 1) at the same
// pixel, as blending would mix it over the target, and written opaque.
// `tinted`: the texture's colour is replaced by the tint first; a stage
// that never tints is spared the test at every pixel.
std::string FragmentStageSource(int index, bool over = false, bool tinted = false);

extern const char* const kGlVertexStage;

// The fragment stage that gives the texel as it is: for a cross-fade mixed
// by blending at a constant alpha, and for opaque copies of pictures. It does
// nothing but fetch, so a software rasteriser can run it on 8-bit texels in
// rows.
extern const char* const kGlTexelStage;

}  // namespace platform
