#define GL_GLEXT_PROTOTYPES 1
#include "platform/gl/gl_blend_mix.h"

#include <GL/glcorearb.h>

#include "platform/gl/gl_quad_geometry.h"

namespace platform {
namespace {

// The way up a mix by blending counts rows: as the target, mixed in
// place, or as the fade picture, top first, as every offscreen target.
float MixFlip(const GlMixDraw& draw) {
    return draw.depthless && draw.framebuffer == 0 ? 1.f : -1.f;
}

}  // namespace

bool GlBlendMix::DrawFade(const GlMixDraw& draw) {
    if (draw.shading != programs_.CrossFadeShading() || draw.tinted || draw.stencilTest ||
        draw.texture == 0) {
        return false;
    }
    if (!FillsTargetEvenly(draw)) return false;
    return MixByBlending(draw.texture, static_cast<int>(draw.vertices[0].diffuse >> 24), draw);
}

bool GlBlendMix::DrawWipe(const GlMixDraw& draw, const std::function<void()>& letGoOfDrawnObjects) {
    const bool hard = draw.shading == programs_.HardWipeShading();
    if ((draw.shading != programs_.SoftWipeShading() && !hard) || draw.tinted || draw.stencilTest ||
        draw.texture == 0 || !draw.textureUploaded) {
        return false;
    }
    if (!FillsTargetEvenly(draw)) return false;
    const u32 alpha = draw.vertices[0].diffuse >> 24;
    // Opaque, either wipe covers every texel: the rule's colours alone,
    // and nothing need be kept for a wipe that has come to its end.
    if (alpha == 255) {
        if (wipeCover_.Texture() != 0) {
            letGoOfDrawnObjects();
            wipeCover_.Release();
        }
        return MixByBlending(draw.texture, 255, draw);
    }
    if (!wipeCover_.Prepare(draw.texture, draw.textureWidth, draw.textureHeight, hard, alpha)) return false;
    wipeUnder_ = draw.under;
    return MixByBlending(wipeCover_.Texture(), -1, draw);
}

void GlBlendMix::Written(unsigned texture) {
    wipeCover_.Forget(texture);
}

void GlBlendMix::Gone(unsigned texture) {
    // The fade's own picture is kept only while the picture it mixes over lives.
    if (texture != 0 && texture == fadeUnder_) {
        fade_.Release();
        fadeUnder_ = 0;
    }
    // And a wipe's cover only while its rule and the picture under it live.
    if (texture != 0 && texture == wipeUnder_) {
        wipeCover_.Release();
        wipeUnder_ = 0;
    }
    wipeCover_.Forget(texture);
}

void GlBlendMix::Release() {
    fade_.Release();
    wipeCover_.Release();
    fadeUnder_ = wipeUnder_ = 0;
}

// True when the quad has one alpha on every corner and puts the current
// texture texel for pixel over the whole target, its rows counted as a mix
// by blending counts them.
bool GlBlendMix::FillsTargetEvenly(const GlMixDraw& draw) const {
    const u32 alpha = draw.vertices[0].diffuse >> 24;
    for (int i = 1; i < 4; ++i) {
        if ((draw.vertices[i].diffuse >> 24) != alpha) return false;
    }
    return CoversViewport(draw.matrix, draw.vertices, draw.viewportWidth, draw.viewportHeight) &&
           MapsTexelsOntoPixels(draw.matrix, draw.vertices, draw.viewportWidth, draw.viewportHeight,
                                MixFlip(draw), draw.textureWidth, draw.textureHeight);
}

// `picture` blended over the under-picture by `alpha` (0..255) or, at -1,
// by its texels' own: in place, or in the fade picture and copied onto
// the target. False, with the target unchanged, when there is no fade picture.
bool GlBlendMix::MixByBlending(unsigned picture, int alpha, const GlMixDraw& draw) {
    const GlPrograms::Program* program = programs_.Get(GlPrograms::kTexelProgram);
    if (program == nullptr) return false;
    const bool inPlace = draw.depthless;
    const float flip = MixFlip(draw);
    const GLuint target = draw.framebuffer;
    if (inPlace) {
        CopyUnder(draw.under, draw.framebuffer, draw.viewportWidth, draw.viewportHeight);
    } else {
        if (!fade_.BeginOver(draw.under, draw.viewportWidth, draw.viewportHeight)) {
            glBindFramebuffer(GL_FRAMEBUFFER, target);
            return false;
        }
        fadeUnder_ = draw.under;
    }
    glUseProgram(program->id);
    glUniformMatrix4fv(program->matrix, 1, GL_FALSE, draw.matrix);
    glUniform2f(program->viewport, static_cast<float>(draw.viewportWidth),
                static_cast<float>(draw.viewportHeight));
    glUniform1f(program->flip, flip);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, picture);
    glBindSampler(0, draw.nearestSampler);
    glEnable(GL_BLEND);
    if (alpha >= 0) {
        glBlendColor(0.f, 0.f, 0.f, static_cast<float>(alpha) / 255.f);
        glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
    } else {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glBindVertexArray(draw.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, draw.vertexBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(GpuVertex) * 4, draw.vertices);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // Blending as SetBlend left it, for the quads that follow.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (!draw.blend) glDisable(GL_BLEND);
    if (!inPlace) {
        fade_.CopyOnto(target);
        glViewport(0, 0, draw.viewportWidth, draw.viewportHeight);
    }
    return true;
}

void CopyUnder(unsigned underTexture, unsigned framebuffer, int width, int height) {
    GLuint read = 0;
    glGenFramebuffers(1, &read);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, underTexture, 0);
    const int w = width, h = height;
    const int top = framebuffer == 0 ? h : 0;
    glBlitFramebuffer(0, 0, w, h, 0, top, w, h - top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glDeleteFramebuffers(1, &read);
}

}  // namespace platform
