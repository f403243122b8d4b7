#pragma once
// A rule wipe (":Transition.CrossDissolve" or ":Transition.DitherDissolve")
// drawn the way a cross-fade is, by blending at the texels' own alpha: the
// wipe's picture with its rule alpha replaced by how far each texel covers
// at this frame's quad alpha (soft: twice the quad's alpha less the rule's,
// saturated; hard: all where the rule's is at most the quad's, none
// elsewhere). Mesa's llvmpipe blends such a picture on its row-wise 8-bit
// path, about twice as fast as a drawing program that works the cover out
// itself, which that path cannot run; the cover is worked out here instead,
// once a frame, with the rule read back from the driver once.

#include <vector>

namespace platform {

class GlWipeCover {
  public:
    // Makes the covering picture of `rule` (a texture of width × height) at
    // this quad alpha (0..255); false when it cannot be made.
    bool Prepare(unsigned rule, int width, int height, bool hard, unsigned quadAlpha);
    // The storage of a cover of width × height, made before the wipe's first
    // frame: what the next Prepare of that size takes instead of making its own.
    void MakeAhead(int width, int height);
    // Storage made ahead that no wipe took is given back.
    void LetAheadGo();
    unsigned Texture() const { return cover_; }
    // `texture` was written or given back: a rule it was is read again when next used.
    void Forget(unsigned texture);
    // Gives back the picture and the texels kept.
    void Release();

  private:
    void MakeStorage(int width, int height);

    unsigned rule_ = 0;   // the texture whose texels are kept, 0 for none
    unsigned cover_ = 0;  // the covering picture
    int width_ = 0;
    int height_ = 0;
    bool made_ = false;  // the picture holds the cover of hard_ at quadAlpha_
    bool hard_ = false;
    unsigned quadAlpha_ = 0;
    std::vector<unsigned> texels_;          // 0xAARRGGBB: the rule's colour, the last cover made
    std::vector<unsigned char> ruleAlpha_;  // the rule's own alpha, texel by texel
};

}  // namespace platform
