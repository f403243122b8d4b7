#pragma once
// Where a quad lands on its target, worked out on the CPU the way the vertex
// stage places it (Direct3D 9's pixel centres, a target's rows top first or
// bottom first), so the device can choose the cheapest way to draw it: a
// texel-for-pixel quad needs no filtering, and one over the whole target
// leaves nothing of the target uncovered.

#include "platform/gpu_device.h"

namespace platform {

// out = a × b for row-major 4 × 4 matrices (row vectors, as the engine uses them).
void MultiplyRowMajor(const float* a, const float* b, float* out);

// True when the quad puts texels one to one onto whole pixels (moved by whole
// pixels, mirrored at most, as the vertex stage places it): every pixel centre
// then falls on a texel centre, where the nearest texel is exactly what the
// linear filter gives, and is much cheaper on a software rasteriser. `flip`
// is the vertex stage's: 1 for the window's own buffer, −1 for a target that
// keeps its top row first.
bool MapsTexelsOntoPixels(const float matrix[16], const GpuVertex vertices[4], int viewportWidth,
                          int viewportHeight, float flip, int textureWidth, int textureHeight);

// True when the quad, as the vertex stage places it, is a rectangle along the
// axes over every pixel centre of the viewport: it then writes the whole target.
bool CoversViewport(const float matrix[16], const GpuVertex vertices[4], int viewportWidth,
                    int viewportHeight);

}  // namespace platform
