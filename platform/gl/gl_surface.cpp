// The render thread's GL 3.3 core context and its offscreen back buffer.
// The context is made on the UI thread beside the window and released there at
// once, so the render thread can bind it (a context current on two threads
// fails on some EGL drivers).

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>

#include <cstdio>

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
        // a full stencil (the scenes' masks) and 8-bit colour.
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
        windowUsable_ = stencil >= 8 && red == 8;
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &colour_);
        glGenRenderbuffers(1, &depthStencil_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        // While the window's own buffer serves, the offscreen one would only
        // hold memory: it is made when a frame first needs it.
        if (!windowUsable_ && !EnsureOffscreen()) {
            std::fprintf(stderr, "velk2: the back buffer cannot be made\n");
            Release();
            return false;
        }
        return true;
    }

    unsigned FrameTarget() override {
        int drawWidth = state_->drawableWidth.load(std::memory_order_relaxed);
        int drawHeight = state_->drawableHeight.load(std::memory_order_relaxed);
        direct_ = windowUsable_ && drawWidth == width_ && drawHeight == height_;
        if (direct_) return 0u;
        EnsureOffscreen();
        return framebuffer_;
    }

    void BeginFrame() override {
        direct_ = false;
        EnsureOffscreen();
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glViewport(0, 0, width_, height_);
        glClearColor(0.f, 0.f, 0.f, 1.f);
        glClearDepth(1.0);
        glClearStencil(0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }

    bool Resize(int width, int height) override {
        if (framebuffer_ == 0 || width <= 0 || height <= 0) return false;
        if (width == width_ && height == height_) return true;
        GLint largest = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
        if (width > largest || height > largest) return false;
        if (!allocated_) {
            width_ = width;
            height_ = height;
            return true;
        }
        if (!Allocate(width, height)) {
            // The old size is still what the rest of the device counts on.
            Allocate(width_, height_);
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
        if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
        if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
        if (depthStencil_ != 0) glDeleteRenderbuffers(1, &depthStencil_);
        framebuffer_ = colour_ = depthStencil_ = 0;
        allocated_ = false;
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
        context_ = nullptr;
    }

private:
    bool EnsureOffscreen() {
        if (!allocated_) allocated_ = Allocate(width_, height_);
        return allocated_;
    }

    void SwapAndNote() {
        SDL_GL_SwapWindow(window_);
        u32 now = NowMs();
        state_->lastPresentMs.store(now != 0 ? now : 1, std::memory_order_relaxed);
    }

    // Storage for the back buffer's two renderbuffers at this size.
    bool Allocate(int width, int height) {
        while (glGetError() != GL_NO_ERROR) {
        }
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil_);
        return glGetError() == GL_NO_ERROR && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    SDL_Window* window_;
    SDL_GLContext context_;
    std::shared_ptr<SurfaceState> state_;
    int width_;   // render thread only after MakeCurrent
    int height_;
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;
    GLuint depthStencil_ = 0;
    bool windowUsable_ = false;  // render thread only: the window's buffer has a stencil
    bool allocated_ = false;     // render thread only: the offscreen buffer has its storage
    bool direct_ = false;        // render thread only: this frame is drawn in the window's buffer
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
