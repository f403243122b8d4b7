#pragma once
// The graphics device as the engine sees it: a back buffer, render targets,
// the handful of states the scene drawing sets, one textured quad at a time.
// It speaks the engine's old terms on purpose (row-vector matrices, BGRA
// pixels, pixel centres on integer coordinates, row 0 at the top of every
// target) so that the drawing code reads the same whatever answers it.
//
// Threads: every call is made on the render thread, after Create and before
// Release. Handles are small numbers; 0 is "none". After Release every handle
// is dead and releasing one makes no GPU call.

#include <memory>
#include <string_view>

#include "foundation/types.h"

namespace platform {

class RenderSurface;

using GpuHandle = u32;

// The back buffer and its depth-stencil, to remember and restore like any target.
inline constexpr GpuHandle kBackBufferTarget = 1;
inline constexpr GpuHandle kBackBufferDepthStencil = 2;

// One corner of a quad: position in world units, colour as 0xAARRGGBB, and
// texture coordinates with v = 0 at the top row. 24 bytes, as tiles store it.
struct GpuVertex {
    float x = 0.f;
    float y = 0.f;
    float z = 0.f;
    u32 diffuse = 0xFFFFFFFFu;
    float u = 0.f;
    float v = 0.f;
};
static_assert(sizeof(GpuVertex) == 24);

// Row-major, applied to row vectors (v × M): an object's own transform is
// multiplied before its parent's.
struct GpuMatrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

enum class GpuTransform { World, View, Projection };

// The three ways an object uses the stencil (reference 255, read mask 255).
enum class StencilMode {
    MaskedLessEqual255,  // draw where the buffer holds 255; keep it
    WriteReplace255,     // always draw; write 255 where drawn
    WriteZero,           // always draw; write 0 where drawn
};

struct GpuCaps {
    int maxTextureSize = 0;
};

class GpuDevice {
  public:
    virtual ~GpuDevice() = default;

    // Lifecycle. Create binds the device to the calling thread with a back
    // buffer of the given size. Reset gives the back buffer the given size
    // (false, with the old one kept, when the device cannot hold it) and
    // restores every state to its default and the back buffer as the target.
    virtual bool Create(int width, int height) = 0;
    virtual bool Reset(int width, int height) = 0;
    virtual void Release() = 0;
    virtual bool IsCreated() const = 0;
    virtual int BackBufferWidth() const = 0;
    virtual int BackBufferHeight() const = 0;
    virtual GpuCaps GetCaps() const = 0;
    // Makes the back buffer the target for a new frame (its pixels are kept
    // from the last frame until a scene clears them).
    virtual bool BeginFrame() = 0;
    // True when the window lost its picture (first frames, exposure, a size or
    // mode change) and needs it drawn again although nothing in the scene changed.
    virtual bool TakeRepaintRequest() = 0;
    // Shows the back buffer in the window; false when the device was lost.
    virtual bool Present() = 0;
    // After a lost Present: whether the device may now be reset.
    virtual bool CanReset() = 0;

    // Targets. Setting a target resets the viewport to the whole target.
    virtual GpuHandle GetRenderTarget() const = 0;
    virtual GpuHandle GetDepthStencil() const = 0;
    virtual bool SetRenderTarget(GpuHandle target) = 0;
    virtual bool SetDepthStencil(GpuHandle depthStencil) = 0;
    // A texture that can also be a target.
    virtual GpuHandle CreateRenderTexture(int width, int height) = 0;
    virtual GpuHandle CreateDepthStencil(int width, int height) = 0;
    // A target with its own depth-stencil whose pixels can be read back.
    virtual GpuHandle CreateReadableTarget(int width, int height) = 0;
    // BGRA, row 0 at the top; `pitch` bytes between rows (at least 4 × width).
    virtual bool ReadPixelsBGRA(GpuHandle target, u8* out, size_t pitch) = 0;
    // The whole viewport, whatever the write masks say.
    virtual void Clear(u32 argb, float depth, u8 stencil) = 0;
    // The colour alone, for a scene whose objects never look at the stencil.
    virtual void ClearColour(u32 argb) = 0;

    // States and drawing. `stencil`: some object of the scene writes the
    // stencil, so the test is on; without one it is off, which draws exactly
    // the same pixels (every object passes a buffer that holds 255 throughout)
    // for less work per pixel.
    virtual void SetSceneStates(bool stencil) = 0;
    virtual void SetStencilMode(StencilMode mode) = 0;
    // Straight alpha: source × a + destination × (1 − a) on all four channels.
    virtual void SetBlend(bool on) = 0;
    virtual void SetTransform(GpuTransform kind, const GpuMatrix& matrix) = 0;
    // Clamped, linear, one level; 0 samples nothing.
    virtual void SetTexture(GpuHandle texture) = 0;
    // Replaces the texture's colour by `rgb` (0xRRGGBB) before the pixel
    // shader, keeping its alpha; a tinted text is then drawn without a new upload.
    virtual void SetTint(bool on, u32 rgb) = 0;
    // One of the built-in pixel shaders by its exact name; 0 when the name is not one.
    virtual GpuHandle CreateBuiltinPixelShader(std::string_view name) = 0;
    // 0 draws the texture's colour with its alpha times the vertex alpha.
    virtual void SetPixelShader(GpuHandle shader) = 0;
    virtual void SetPixelShaderConstant(const float c0[4]) = 0;
    // A triangle strip of four corners: top left, top right, bottom left, bottom right.
    virtual void DrawQuadStrip(const GpuVertex vertices[4]) = 0;
    // The same quad as if blended straight over the picture in `under` (a
    // texture or render texture of the target's size), but in one pass that reads
    // nothing from the target: every pixel of the target is written, those
    // the quad leaves uncovered with `under`'s own. False, with nothing
    // drawn, when `under` is no such texture.
    virtual bool DrawQuadOver(const GpuVertex vertices[4], GpuHandle under) = 0;

    // Textures, RGBA8 with one level.
    virtual GpuHandle CreateTexture(int width, int height) = 0;
    virtual bool UploadBGRA(GpuHandle texture, int x, int y, int width, int height, const u8* pixels,
                            size_t pitch) = 0;
    // Textures, targets, depth-stencils and shaders; unknown handles are ignored.
    virtual void ReleaseObject(GpuHandle handle) = 0;

    // The screen has stood still for a while: memory that only making new
    // drawing programs needs, and what the heaps hold free, go back to the
    // system. A program asked for later is still made, a little slower.
    virtual void LetGoOfIdleMemory() = 0;

    // What was drawn so far is handed to the rasteriser now, without waiting
    // for it: drawn beside the work that follows instead of after it.
    virtual void StartDrawing() {}
    // A texture of this size is about to be asked for: made now, while the
    // frame has time for it, it is what the next CreateTexture of that size
    // returns. One nobody asked for by the next present is let go.
    virtual void MakeTextureAhead(int width, int height) {}
    // A rule wipe of a picture of this size is about to be drawn over the
    // whole screen: what drawing it needs is made now, and let go by the
    // next present that no wipe drew before.
    virtual void MakeWipeAhead(int width, int height) {}
};

// The OpenGL 3.3 device drawing into the window's render surface (null surface: null).
std::unique_ptr<GpuDevice> CreateGlDevice(std::unique_ptr<RenderSurface> surface);

}  // namespace platform
