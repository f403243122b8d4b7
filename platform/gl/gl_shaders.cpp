#include "platform/gl/gl_shaders.h"

namespace platform {
namespace {

struct BuiltinShader {
    const char* name;
    // The colour computed from t (the texture sample after any tint), v (the
    // vertex colour) and c0; its result is saturated like the old shader units.
    const char* body;
};

// Searched in this order; names are compared exactly, case included.
constexpr BuiltinShader kBuiltins[kBuiltinPixelShaderCount] = {
    {":Transition.CrossDissolveAlphaIgnore", "return vec4(t.rgb, v.a);"},
    // Opaque where the rule image's alpha has been reached by the vertex
    // alpha, transparent elsewhere: a hard-edged wipe.
    {":Transition.DitherDissolve", "return vec4(t.rgb, (0.5 - v.a + t.a) > 0.5 ? 0.0 : 1.0);"},
    {":Transition.CrossDissolve", "return vec4(t.rgb, 2.0 * v.a - t.a);"},
    {":PixelColor.Change", "return vec4(uC0.rgb, t.a);"},
    {":Pixel.Monochro", "return vec4(vec3(dot(t.rgb, vec3(0.299, 0.587, 0.114))), t.a);"},
    {":Pixel.Sepia",
     "return vec4(vec3(dot(t.rgb, vec3(0.299, 0.587, 0.114))) * vec3(0.941, 0.784, 0.569), t.a);"},
    {":Pixel.Negaposi", "return vec4(vec3(1.0) - t.rgb, t.a);"},
};

// Stage 0 of the old fixed pipeline: the texture's colour, its alpha times the vertex alpha.
constexpr const char* kPlainBody = "return vec4(t.rgb, t.a * v.a);";

}  // namespace

// Pixel centres of the old device lie on integer window coordinates, half a
// pixel before GL's: moving every vertex half a pixel right and down keeps
// images texel-exact. The y flip (uFlip −1) stores the top row of the
// picture in row 0 of each offscreen target, as the old device did, so
// captures sample and read back the right way up; the window's own buffer
// (uFlip 1) keeps GL's rows, as the display shows them.
const char* const kGlVertexStage = R"(#version 330 core
in vec3 aPosition;
in vec4 aColour;
in vec2 aUv;
uniform mat4 uMatrix;
uniform vec2 uViewport;
uniform float uFlip;
out vec4 vColour;
out vec2 vUv;
noperspective out vec2 vUnder;
void main() {
    vec4 position = uMatrix * vec4(aPosition, 1.0);
    position.x += position.w / uViewport.x;
    position.y = uFlip * (position.y - position.w / uViewport.y);
    gl_Position = position;
    vColour = aColour;
    vUv = aUv;
    // Where this corner falls in a picture of the whole target, top row first.
    vUnder = vec2(position.x / position.w + 1.0, 1.0 - uFlip * position.y / position.w) * 0.5;
}
)";

const char* const kGlTexelStage = R"(#version 330 core
in vec2 vUv;
uniform sampler2D uTexture;
out vec4 fragColour;
void main() {
    fragColour = texture(uTexture, vUv);
}
)";

int FindBuiltinPixelShader(std::string_view name) {
    for (int index = 0; index < kBuiltinPixelShaderCount; ++index) {
        if (name == kBuiltins[index].name) return index;
    }
    return -1;
}

std::string FragmentStageSource(int index, bool over, bool tinted) {
    std::string source = R"(#version 330 core
in vec4 vColour;
in vec2 vUv;
uniform sampler2D uTexture;
uniform vec4 uTint;
uniform vec4 uC0;
out vec4 fragColour;
vec4 Shade(vec4 t, vec4 v) {
)";
    source += index >= 1 && index <= kBuiltinPixelShaderCount ? kBuiltins[index - 1].body : kPlainBody;
    source += R"(
}
)";
    const char* sample = tinted ? "    vec4 t = vec4(uTint.rgb, texture(uTexture, vUv).a);\n"
                                : "    vec4 t = texture(uTexture, vUv);\n";
    if (!over) {
        source += "void main() {\n";
        source += sample;
        source += "    fragColour = clamp(Shade(t, vColour), 0.0, 1.0);\n}\n";
        return source;
    }
    // The under-picture is the target's size: each pixel centre samples the
    // centre of its own texel.
    source += R"(noperspective in vec2 vUnder;
uniform sampler2D uUnder;
void main() {
)";
    source += sample;
    source += R"(    vec4 s = clamp(Shade(t, vColour), 0.0, 1.0);
    vec4 u = texture(uUnder, vUnder);
    fragColour = vec4(mix(u.rgb, s.rgb, s.a), s.a * s.a + u.a * (1.0 - s.a));
}
)";
    return source;
}

}  // namespace platform
