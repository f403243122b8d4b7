#include "platform/gl/gl_quad_geometry.h"

#include <cmath>

namespace platform {

void MultiplyRowMajor(const float* a, const float* b, float* out) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0.f;
            for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + column];
            out[row * 4 + column] = sum;
        }
    }
}

bool MapsTexelsOntoPixels(const float matrix[16], const GpuVertex vertices[4], int viewportWidth,
                          int viewportHeight, float flip, int textureWidth, int textureHeight) {
    // A texel centre missed by less than this weighs nothing in a linear sample.
    constexpr float kSlack = 1.f / 1024.f;
    float window[4][2], texel[4][2];
    float sharedW = 1.f;
    for (int i = 0; i < 4; ++i) {
        const GpuVertex& v = vertices[i];
        float clip[4];
        for (int j = 0; j < 4; ++j)
            clip[j] = v.x * matrix[j] + v.y * matrix[4 + j] + v.z * matrix[8 + j] + matrix[12 + j];
        // A w that differs between corners (perspective) bends the texel
        // grid; one shared by all of them only scales.
        if (!(clip[3] > 0.f) || std::fabs(clip[3] - sharedW) > 1e-6f * sharedW) {
            if (i > 0 || !(clip[3] > 0.f)) return false;
            sharedW = clip[3];
        }
        const float ndcY = flip * (clip[1] / sharedW - 1.f / static_cast<float>(viewportHeight));
        window[i][0] = (clip[0] / sharedW + 1.f / static_cast<float>(viewportWidth) + 1.f) * 0.5f *
                       static_cast<float>(viewportWidth);
        window[i][1] = (ndcY + 1.f) * 0.5f * static_cast<float>(viewportHeight);
        texel[i][0] = v.u * static_cast<float>(textureWidth);
        texel[i][1] = v.v * static_cast<float>(textureHeight);
    }
    for (int axis = 0; axis < 2; ++axis) {
        bool fits = false;
        for (float sign : {1.f, -1.f}) {
            // Pixel centres (k + 0.5) meet texel centres (j + 0.5) when the
            // texel coordinate is the window coordinate plus a whole number.
            const float offset = texel[0][axis] - sign * window[0][axis];
            bool same = std::fabs(offset - std::round(offset)) <= kSlack;
            for (int i = 1; same && i < 4; ++i) {
                same = std::fabs(texel[i][axis] - sign * window[i][axis] - offset) <= kSlack;
            }
            fits = fits || same;
        }
        if (!fits) return false;
    }
    return true;
}

bool CoversViewport(const float matrix[16], const GpuVertex vertices[4], int viewportWidth,
                    int viewportHeight) {
    const float width = static_cast<float>(viewportWidth), height = static_cast<float>(viewportHeight);
    float x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        const GpuVertex& v = vertices[i];
        float clip[4];
        for (int j = 0; j < 4; ++j)
            clip[j] = v.x * matrix[j] + v.y * matrix[4 + j] + v.z * matrix[8 + j] + matrix[12 + j];
        if (!(clip[3] > 0.f)) return false;
        // Window pixels after the half-pixel move (a mirrored target covers alike).
        x[i] = (clip[0] / clip[3] + 1.f) * 0.5f * width + 0.5f;
        y[i] = (clip[1] / clip[3] + 1.f) * 0.5f * height - 0.5f;
    }
    // Corners 0-2 and 1-3 are the upright edges, 0-1 and 2-3 the level ones.
    constexpr float kSlack = 1.f / 64.f;
    if (std::fabs(x[0] - x[2]) > kSlack || std::fabs(x[1] - x[3]) > kSlack ||
        std::fabs(y[0] - y[1]) > kSlack || std::fabs(y[2] - y[3]) > kSlack) {
        return false;
    }
    // Pixel centres lie half a pixel inside the viewport's edges.
    constexpr float kInside = 0.25f;
    return std::fmin(x[0], x[1]) <= kInside && std::fmax(x[0], x[1]) >= width - kInside &&
           std::fmin(y[0], y[2]) <= kInside && std::fmax(y[0], y[2]) >= height - kInside;
}

}  // namespace platform
