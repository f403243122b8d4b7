#pragma once
// Whole-screen mixes drawn by blending: a cross-fade frame, or a rule wipe's
// by the alpha of its cover (see gl_wipe_cover.h), whose one-pass mix over an
// under-picture llvmpipe runs in floats at every pixel. The picture under
// the mix is copied onto the target and the mixing picture blended over it,
// the colours of the one-pass mix within a unit of rounding, at a fraction
// of its cost there. A target with a depth-stencil would keep llvmpipe off
// its row-wise path, so there the mix is made in the fade picture and copied
// onto the target.

#include <functional>

#include "platform/gl/gl_fade_picture.h"
#include "platform/gl/gl_programs.h"
#include "platform/gl/gl_wipe_cover.h"
#include "platform/gpu_device.h"

namespace platform {

// What a mix reads of the device at one draw: its state as it stands, and
// what it draws with.
struct GlMixDraw {
    const GpuVertex* vertices = nullptr;
    float matrix[16] = {};  // world, view and projection as one, for the vertex stage
    unsigned under = 0;     // the under-picture, as large as the viewport
    int shading = 0;        // the program of the current shader
    bool tinted = false;
    bool stencilTest = false;
    unsigned texture = 0;  // the current texture, 0 for none
    bool textureUploaded = false;
    int textureWidth = 0;
    int textureHeight = 0;
    bool blend = false;        // blending is on for the quads that follow
    bool depthless = false;    // the target has no depth-stencil
    unsigned framebuffer = 0;  // the target's, 0 for the window's own
    int viewportWidth = 1;
    int viewportHeight = 1;
    unsigned nearestSampler = 0;
    unsigned vertexArray = 0;
    unsigned vertexBuffer = 0;
};

// The under-picture onto the whole target (`framebuffer`, width × height),
// its top row at the top of the picture whichever way the target counts its
// rows; `framebuffer` is left bound.
void CopyUnder(unsigned underTexture, unsigned framebuffer, int width, int height);

class GlBlendMix {
  public:
    explicit GlBlendMix(GlPrograms& programs) : programs_(programs) {}

    // A cross-fade frame (the fade's shader, one alpha on every corner,
    // texel for pixel over the whole target, no stencil test) mixed by
    // blending the fading picture over the one under it at a constant alpha.
    // Its alpha, which nothing shows, mixes the texture's instead of the
    // quad's. False, with nothing drawn, for any other quad.
    bool DrawFade(const GlMixDraw& draw);
    // A rule wipe's frame (either wipe's shader, no tint, a picture that was
    // uploaded, and as a cross-fade's otherwise) mixed the same way by the
    // alpha of its cover. `letGoOfDrawnObjects` is asked before the cover is
    // given back. False, with nothing drawn, for any other quad.
    bool DrawWipe(const GlMixDraw& draw, const std::function<void()>& letGoOfDrawnObjects);
    // A wipe of a rule of width × height is about to be drawn: its cover's
    // storage is made now. What no wipe took is given back by LetAheadGo.
    void MakeWipeAhead(int width, int height) { wipeCover_.MakeAhead(width, height); }
    void LetAheadGo() { wipeCover_.LetAheadGo(); }
    // `texture` was written: a rule it was is read again when next used.
    void Written(unsigned texture);
    // `texture` was given back: what was kept for mixing over it or by it goes too.
    void Gone(unsigned texture);
    // Gives back the fade picture and the wipe's cover.
    void Release();

  private:
    bool FillsTargetEvenly(const GlMixDraw& draw) const;
    bool MixByBlending(unsigned picture, int alpha, const GlMixDraw& draw);

    GlPrograms& programs_;
    GlWipeCover wipeCover_;
    unsigned wipeUnder_ = 0;  // the texture a wipe's cover was last mixed over
    GlFadePicture fade_;
    unsigned fadeUnder_ = 0;  // the texture the fade picture last mixed over
};

}  // namespace platform
