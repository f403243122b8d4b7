#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include "platform/gl/gl_batch_release.h"
#include "platform/gpu_device.h"

namespace platform {
namespace {

// Enough for the batches of a frame that draws a transition, each into a
// target of its own.
constexpr int kBatches = 4;
constexpr int kFramesToSendAgain = 3;

}  // namespace

void GlBatchRelease::Use(unsigned program, unsigned vertexArray, unsigned vertexBuffer) {
    program_ = program;
    vertexArray_ = vertexArray;
    vertexBuffer_ = vertexBuffer;
}

void GlBatchRelease::LetGo(unsigned bound) {
    Send(bound);
    framesToSendAgain_ = kFramesToSendAgain;
}

void GlBatchRelease::FrameStarts(unsigned bound) {
    if (framesToSendAgain_ == 0) return;
    --framesToSendAgain_;
    Send(bound);
}

void GlBatchRelease::Release() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    framebuffer_ = texture_ = 0;
    program_ = vertexArray_ = vertexBuffer_ = 0;
    framesToSendAgain_ = 0;
}

void GlBatchRelease::Send(unsigned bound) {
    if (program_ == 0) return;
    if (framebuffer_ == 0) {
        glGenTextures(1, &texture_);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    // Sampling nothing: the textures of the last draw are held by it too.
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glUseProgram(program_);
    const GpuVertex nowhere[4] = {};
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(nowhere), nowhere);
    for (int batch = 0; batch < kBatches; ++batch) {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glFlush();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, bound);
}

}  // namespace platform
