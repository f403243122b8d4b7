// The render thread's GL 3.3 core context and its offscreen back buffer.
// The context is made on the UI thread beside the window and released there at
// once, so the render thread can bind it (a context current on two threads
// fails on some EGL drivers).

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>

#include <cstdio>

#include "platform/display_loss.h"
#include "platform/sdl/sdl_video.h"

namespace platform {
namespace {

class GlSurface final : public RenderSurface {
public:
    GlSurface(SDL_Window* window, SDL_GLContext context, std::shared_ptr<SurfaceState> state, int width,
              int height)
        : window_(window), context_(context), state_(std::move(state)), width_(width), height_(height) {}

    ~GlSurface() override {
        // Never bound on the render thread (it could not start): free it here.
        if (context_ != nullptr) SDL_GL_DeleteContext(context_);
    }

    bool MakeCurrent() override {
        if (context_ == nullptr) return false;
        if (SDL_GL_MakeCurrent(window_, context_) != 0) {
            std::fprintf(stderr, "velk2: cannot bind the GL context: %s\n", SDL_GetError());
            return false;
        }
        // Tearing-free when the display offers it; the frame schedule stays ours.
        if (SDL_GL_SetSwapInterval(1) != 0) SDL_GL_SetSwapInterval(0);
        // The window's own buffer can stand in for the back buffer only with
        // 8-bit colour. It is asked for without a depth-stencil: a frame that
        // needs a stencil (the scenes' masks) moves to the offscreen buffer.
        GLint stencil = 0, red = 0;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                              &stencil);
        while (glGetError() != GL_NO_ERROR) {
        }
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE,
                                              &red);
        if (glGetError() != GL_NO_ERROR) {
            // A single-buffered surface (an offscreen one) has only a front buffer.
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_FRONT_LEFT,
                                                  GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, &red);
            if (glGetError() != GL_NO_ERROR) red = 0;
        }
        windowUsable_ = red == 8;
        windowStencil_ = windowUsable_ && stencil >= 8;
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        // While the window's own buffer serves, the offscreen one would only
        // hold memory: it is made when a frame first needs it.
        if (!windowUsable_ && !EnsureColour()) {
            std::fprintf(stderr, "velk2: the back buffer cannot be made\n");
            Release();
            return false;
        }
        return true;
    }

    unsigned FrameTarget() override {
        int drawWidth = state_->drawableWidth.load(std::memory_order_relaxed);
        int drawHeight = state_->drawableHeight.load(std::memory_order_relaxed);
        const u32 now = NowMs();
        direct_ = windowUsable_ && drawWidth == width_ && drawHeight == height_;
        // A depth-stencil attached to a target keeps llvmpipe off its 8-bit
        // row-wise path, so a frame starts without one; the offscreen
        // buffers a stencil frame made are let go of when none came for a while.
        if (stencil_ != 0 && now - lastStencilMs_ > kIdleMs) FreeStencil();
        if (direct_) {
            if (colour_ != 0 && now - lastOffscreenMs_ > kIdleMs) FreeColour();
            hasStencil_ = windowStencil_;
            return 0u;
        }
        lastOffscreenMs_ = now;
        EnsureColour();
        AttachStencil(false);
        hasStencil_ = false;
        return framebuffer_;
    }

    unsigned StencilTarget(bool keep) override {
        if (direct_ && windowStencil_) return 0u;
        const GLuint from = direct_ ? 0u : framebuffer_;
        if (!EnsureColour() || !EnsureStencil()) return from;
        AttachStencil(true);
        const u32 now = NowMs();
        lastStencilMs_ = lastOffscreenMs_ = now;
        hasStencil_ = true;
        if (direct_ && keep) {
            // The window's rows count from the bottom, the offscreen buffer's from the top.
            glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
            glBlitFramebuffer(0, 0, width_, height_, 0, height_, width_, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
        direct_ = false;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        return framebuffer_;
    }

    bool TargetHasStencil() const override { return hasStencil_; }

    void BeginFrame() override {
        direct_ = false;
        hasStencil_ = false;
        lastOffscreenMs_ = NowMs();
        EnsureColour();
        AttachStencil(false);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glViewport(0, 0, width_, height_);
        glClearColor(0.f, 0.f, 0.f, 1.f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    bool Resize(int width, int height) override {
        if (framebuffer_ == 0 || width <= 0 || height <= 0) return false;
        if (width == width_ && height == height_) return true;
        GLint largest = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
        if (width > largest || height > largest) return false;
        // The stencil is made again at the new size by the next frame that needs it.
        FreeStencil();
        if (colour_ == 0) {
            width_ = width;
            height_ = height;
            return true;
        }
        if (!AllocateColour(width, height)) {
            // The old size is still what the rest of the device counts on.
            AllocateColour(width_, height_);
            return false;
        }
        width_ = width;
        height_ = height;
        return true;
    }

    void Present() override {
        if (direct_) {
            SwapAndNote();
            return;
        }
        int drawWidth = state_->drawableWidth.load(std::memory_order_relaxed);
        int drawHeight = state_->drawableHeight.load(std::memory_order_relaxed);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glViewport(0, 0, drawWidth, drawHeight);
        if (drawWidth > 0 && drawHeight > 0) {
            // The whole back buffer over the whole window, whatever their
            // shapes: the camera framed the scene at the window's shape, so
            // the stretch gives it back its proportions.
            glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
            // GL counts window rows from the bottom, while the back buffer keeps
            // the top of the picture in its row 0: the blit turns it over.
            glBlitFramebuffer(0, 0, width_, height_, 0, drawHeight, drawWidth, 0, GL_COLOR_BUFFER_BIT,
                              drawWidth == width_ && drawHeight == height_ ? GL_NEAREST : GL_LINEAR);
        }
        SwapAndNote();
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    }

    bool TakeRepaintRequest() override {
        u32 generation = state_->repaintGeneration.load(std::memory_order_acquire);
        if (generation == seenGeneration_ && repaintsLeft_ == 0) return false;
        if (generation != seenGeneration_) {
            seenGeneration_ = generation;
            // Both buffers of the swap chain need the picture.
            repaintsLeft_ = 2;
        }
        --repaintsLeft_;
        return true;
    }

    void Release() override {
        if (context_ == nullptr) return;
        FreeStencil();
        FreeColour();
        if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
        framebuffer_ = 0;
        // Both go through the display; without one the process ends soon.
        if (!IsDisplayLost()) {
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(context_);
        }
        context_ = nullptr;
    }

private:
    // How long the offscreen buffers outlive the last frame that drew into them.
    static constexpr u32 kIdleMs = 2000;

    bool EnsureColour() {
        if (colour_ != 0) return true;
        glGenRenderbuffers(1, &colour_);
        if (AllocateColour(width_, height_)) return true;
        FreeColour();
        return false;
    }

    bool EnsureStencil() {
        if (stencil_ != 0) return true;
        while (glGetError() != GL_NO_ERROR) {
        }
        glGenRenderbuffers(1, &stencil_);
        glBindRenderbuffer(GL_RENDERBUFFER, stencil_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_);
        if (glGetError() == GL_NO_ERROR) return true;
        FreeStencil();
        return false;
    }

    void AttachStencil(bool on) {
        const GLuint wanted = on ? stencil_ : 0u;
        if (attached_ == wanted) return;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, wanted);
        attached_ = wanted;
    }

    void FreeStencil() {
        if (stencil_ == 0) return;
        // Deleted while its framebuffer is bound, it is taken off it too and
        // its storage goes (an unbound framebuffer would keep it).
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glDeleteRenderbuffers(1, &stencil_);
        stencil_ = attached_ = 0;
    }

    void FreeColour() {
        if (colour_ == 0) return;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
        colour_ = 0;
    }

    void SwapAndNote() {
        if (IsDisplayLost()) return;
        SDL_GL_SwapWindow(window_);
        u32 now = NowMs();
        state_->lastPresentMs.store(now != 0 ? now : 1, std::memory_order_relaxed);
    }

    // Storage for the offscreen colour buffer at this size.
    bool AllocateColour(int width, int height) {
        while (glGetError() != GL_NO_ERROR) {
        }
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        return glGetError() == GL_NO_ERROR && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    SDL_Window* window_;
    SDL_GLContext context_;
    std::shared_ptr<SurfaceState> state_;
    int width_;   // render thread only after MakeCurrent
    int height_;
    // Render thread only, from here on.
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;    // 0 until a frame first draws offscreen
    GLuint stencil_ = 0;   // 0 until a frame first needs a stencil
    GLuint attached_ = 0;  // the depth-stencil on the offscreen framebuffer now
    bool windowUsable_ = false;   // the window's buffer has 8-bit colour
    bool windowStencil_ = false;  // ... and came with a stencil of its own
    bool direct_ = false;         // this frame is drawn in the window's buffer
    bool hasStencil_ = false;     // the frame's target has a depth-stencil
    u32 lastOffscreenMs_ = 0;
    u32 lastStencilMs_ = 0;
    u32 seenGeneration_ = 0;   // render thread only
    int repaintsLeft_ = 0;     // render thread only
};

}  // namespace

std::unique_ptr<RenderSurface> CreateGlSurface(SDL_Window* window, std::shared_ptr<SurfaceState> state,
                                               int logicalWidth, int logicalHeight) {
    if (window == nullptr) return nullptr;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        std::fprintf(stderr, "velk2: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return nullptr;
    }
    SDL_GL_MakeCurrent(window, nullptr);
    return std::make_unique<GlSurface>(window, context, std::move(state), logicalWidth, logicalHeight);
}

}  // namespace platform
