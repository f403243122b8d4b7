#pragma once
// Where a cross-fade frame is mixed when its target has a depth-stencil (a
// window buffer that came with one). Mesa's llvmpipe has a second, row-wise
// path on 8-bit texels (its "linear" path) that it takes only for a colour
// buffer stored as B, G, R, A with no depth-stencil attached, and for a
// drawing program that does little more than fetch texels; blending is done
// there too. The picture under the fade is copied into this picture, the
// fading picture is blended over it at a constant alpha, and the result is
// copied onto the target. Both copies are plain row copies there, and the
// whole costs about half of the one-pass mix.

namespace platform {

class GlFadePicture {
  public:
    // Binds the picture, width × height, as the draw target holding the
    // texels of `under` (a texture of that size whose top row is its row 0).
    // False, with the target unchanged, when it cannot be made.
    bool BeginOver(unsigned under, int width, int height);
    // Copies the picture onto `framebuffer` (0: the window's own, whose rows
    // count from the bottom) and leaves that framebuffer bound.
    void CopyOnto(unsigned framebuffer);
    // Gives back the picture's memory; the next BeginOver makes it again.
    void Release();

  private:
    unsigned texture_ = 0;
    unsigned framebuffer_ = 0;
    unsigned read_ = 0;  // reads `under` for the copy in
    int width_ = 0;
    int height_ = 0;
};

}  // namespace platform
