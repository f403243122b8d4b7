#pragma once
// Letting go of what the rasteriser's old batches hold. Mesa's llvmpipe
// keeps the targets and textures of each of its recent batches of drawing
// until it takes that batch up again, and it always takes the first idle
// one: after frames that drew into several targets (a transition's), the
// later batches hold those pictures for as long as no such frame comes
// again, long after they were given back. Empty batches sent one after
// another, each while the one before is still queued, take them all up in
// turn. One rasterised before the next was sent is taken up again in its
// place, which a busy machine makes likely, so the next few frames send
// them again. They draw nothing, into a target of one texel of their own,
// and leave the window's buffers alone.

namespace platform {

class GlBatchRelease {
  public:
    // What the empty batches draw with: a drawing program and the quad's
    // vertex array and buffer (whose contents they overwrite).
    void Use(unsigned program, unsigned vertexArray, unsigned vertexBuffer);
    // After objects were given back: the batches now, and again at the
    // start of the next few frames. `bound` is the framebuffer to leave bound.
    void LetGo(unsigned bound);
    // At the start of a frame, with the framebuffer to leave bound.
    void FrameStarts(unsigned bound);
    // Gives back the target of one texel.
    void Release();

  private:
    void Send(unsigned bound);
    unsigned program_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned texture_ = 0;
    unsigned framebuffer_ = 0;
    int framesToSendAgain_ = 0;
};

}  // namespace platform
