#define GL_GLEXT_PROTOTYPES 1
#include "platform/gl/gl_wipe_cover.h"

#include <GL/glcorearb.h>

#include <cstddef>

namespace platform {
namespace {

// Each texel's alpha becomes its cover (given in the top byte), worked out
// rather than looked up in a table and in runs of a fixed length, so the
// compiler does a run at once: this goes over the whole picture every frame.
template <typename CoverOf>
void CoverAll(unsigned* __restrict texel, const unsigned char* __restrict rule, size_t count,
              CoverOf coverOf) {
    constexpr size_t kRun = 16;
    size_t at = 0;
    for (; at + kRun <= count; at += kRun) {
        for (size_t i = at; i < at + kRun; ++i) texel[i] = (texel[i] & 0x00FFFFFFu) | coverOf(rule[i]);
    }
    for (; at < count; ++at) texel[at] = (texel[at] & 0x00FFFFFFu) | coverOf(rule[at]);
}

}  // namespace

bool GlWipeCover::Prepare(unsigned rule, int width, int height, bool hard, unsigned quadAlpha) {
    if (rule == 0 || width <= 0 || height <= 0) return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (rule != rule_ || width != width_ || height != height_) {
        // Storage made ahead for a picture of this size is this rule's.
        if (rule_ != 0 || cover_ == 0 || width != width_ || height != height_) MakeStorage(width, height);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, rule);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels_.data());
        if (glGetError() != GL_NO_ERROR) {
            Release();
            return false;
        }
        for (size_t i = 0; i < count; ++i) ruleAlpha_[i] = static_cast<unsigned char>(texels_[i] >> 24);
        rule_ = rule;
        made_ = false;
    }
    if (made_ && hard == hard_ && quadAlpha == quadAlpha_) return true;
    if (hard) {
        CoverAll(texels_.data(), ruleAlpha_.data(), count,
                 [quadAlpha](unsigned char rule) { return rule <= quadAlpha ? 0xFF000000u : 0u; });
    } else {
        const int twice = 2 * static_cast<int>(quadAlpha);
        CoverAll(texels_.data(), ruleAlpha_.data(), count, [twice](unsigned char rule) {
            const int cover = twice - rule;
            return static_cast<unsigned>(cover < 0 ? 0 : cover > 255 ? 255 : cover) << 24;
        });
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cover_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, texels_.data());
    made_ = true;
    hard_ = hard;
    quadAlpha_ = quadAlpha;
    return true;
}

void GlWipeCover::MakeStorage(int width, int height) {
    Release();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    texels_.resize(count);
    ruleAlpha_.resize(count);
    glGenTextures(1, &cover_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cover_);
    // Unsized, as every picture here: kept B, G, R, A, as the row-wise path reads it.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    width_ = width;
    height_ = height;
}

void GlWipeCover::MakeAhead(int width, int height) {
    // A wipe still running keeps its own, and storage of this size made is kept.
    if (width <= 0 || height <= 0 || rule_ != 0 || (cover_ != 0 && width == width_ && height == height_)) return;
    // Every page is touched now rather than in the wipe's first frame.
    MakeStorage(width, height);
}

void GlWipeCover::LetAheadGo() {
    if (rule_ == 0) Release();
}

void GlWipeCover::Forget(unsigned texture) {
    if (texture != 0 && texture == rule_) Release();
}

void GlWipeCover::Release() {
    if (cover_ != 0) glDeleteTextures(1, &cover_);
    cover_ = 0;
    rule_ = 0;
    width_ = height_ = 0;
    made_ = false;
    texels_ = {};
    ruleAlpha_ = {};
}

}  // namespace platform
