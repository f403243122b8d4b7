#pragma once
// The GL device's drawing programs: which one shades a quad, by the current
// shader, whether it mixes over an under-picture and whether it tints, and
// the making of each, kept until the device is released.

#include <vector>

#include "platform/gl/gl_shaders.h"

namespace platform {

class GlPrograms {
  public:
    struct Program {
        unsigned id = 0;  // 0: not built yet
        bool failed = false;
        int matrix = -1;
        int viewport = -1;
        int flip = -1;
        int tint = -1;
        int c0 = -1;
    };

    // 0: the plain texture stage, then the built-ins in table order; the
    // same again mixed over an under-picture, then both again tinted; last
    // the stage that gives the texel as it is.
    static constexpr int kShadings = kBuiltinPixelShaderCount + 1;
    static constexpr int kTexelProgram = 4 * kShadings;
    static constexpr int Index(int shading, bool over, bool tinted) {
        return shading + (over ? kShadings : 0) + (tinted ? 2 * kShadings : 0);
    }

    // Makes the vertex stage and the plain program; false, with nothing
    // kept, when either cannot be made.
    bool Build();
    // The program at `index`, made now if it was not yet; null when it
    // cannot be made.
    const Program* Get(int index);
    // The compiler keeps its built-in function tables (several megabytes)
    // for as long as it may be asked again; the programs made stay.
    void LetGoOfCompiler();
    // Gives back every program and the vertex stage.
    void Release();

    // The program of ":Transition.CrossDissolveAlphaIgnore" (after the plain stage).
    int CrossFadeShading() const { return crossFadeShading_; }
    // The programs of the two rule wipes.
    int SoftWipeShading() const { return softWipeShading_; }
    int HardWipeShading() const { return hardWipeShading_; }

  private:
    bool BuildProgram(int index);

    std::vector<Program> programs_;
    const int crossFadeShading_ = FindBuiltinPixelShader(":Transition.CrossDissolveAlphaIgnore") + 1;
    const int softWipeShading_ = FindBuiltinPixelShader(":Transition.CrossDissolve") + 1;
    const int hardWipeShading_ = FindBuiltinPixelShader(":Transition.DitherDissolve") + 1;
    unsigned vertexStage_ = 0;    // kept for the programs made later
    bool compilerInUse_ = false;  // a program was made since the compiler was last let go of
};

}  // namespace platform
