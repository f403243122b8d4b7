#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include "platform/gl/gl_fade_picture.h"

namespace platform {

bool GlFadePicture::BeginOver(unsigned under, int width, int height) {
    if (texture_ != 0 && (width != width_ || height != height_)) Release();
    if (texture_ == 0) {
        glGenTextures(1, &texture_);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture_);
        // The unsized format lets the driver keep the texels in the order
        // they are given, B, G, R, A, which its row-wise path needs.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        glGenFramebuffers(1, &read_);
        width_ = width;
        height_ = height;
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            Release();
            return false;
        }
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, read_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, under, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
    glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    // Nothing may keep reading `under` through this framebuffer once the
    // scene draws into it again.
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width_, height_);
    return true;
}

void GlFadePicture::CopyOnto(unsigned framebuffer) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    // The picture keeps its top row first, as every offscreen target here.
    const int top = framebuffer == 0 ? height_ : 0;
    glBlitFramebuffer(0, 0, width_, height_, 0, top, width_, height_ - top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void GlFadePicture::Release() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (read_ != 0) glDeleteFramebuffers(1, &read_);
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    framebuffer_ = read_ = texture_ = 0;
    width_ = height_ = 0;
}

}  // namespace platform
