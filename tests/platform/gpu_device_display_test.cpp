// The GL device on a real context (SDL's offscreen driver, EGL): texel-exact
// quads, row order of targets and read-backs, straight-alpha blending, the
// stencil modes, and the built-in pixel shaders. Expected pixels are worked
// out by hand; blends carry ±1 for rounding between drivers.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/gl_test_device.h"

namespace {

using platform::GpuHandle;
using platform::GpuVertex;

// World units straight onto a 1280x720 target: x right, y up, origin in the middle.
platform::GpuMatrix PixelProjection(int width, int height) {
    platform::GpuMatrix matrix;
    matrix.m[0] = 2.f / static_cast<float>(width);
    matrix.m[5] = 2.f / static_cast<float>(height);
    matrix.m[10] = 0.f;
    return matrix;
}

// A quad as the image tiles carry it: left/top corner in world units, minus
// half a unit in x and plus half in y for the old pixel-centre rule.
std::array<GpuVertex, 4> Quad(float left, float top, float width, float height, u32 diffuse) {
    float x0 = left - 0.5f, y0 = top + 0.5f;
    return {GpuVertex{x0, y0, 0.f, diffuse, 0.f, 0.f}, GpuVertex{x0 + width, y0, 0.f, diffuse, 1.f, 0.f},
            GpuVertex{x0, y0 - height, 0.f, diffuse, 0.f, 1.f},
            GpuVertex{x0 + width, y0 - height, 0.f, diffuse, 1.f, 1.f}};
}

struct Picture {
    int width = 0;
    std::vector<u8> bgra;
    std::array<int, 4> At(int x, int y) const {
        size_t at = (static_cast<size_t>(y) * width + x) * 4;
        return {bgra[at], bgra[at + 1], bgra[at + 2], bgra[at + 3]};
    }
};

Picture Read(platform::GpuDevice& device, GpuHandle target, int width, int height) {
    Picture picture;
    picture.width = width;
    picture.bgra.assign(static_cast<size_t>(width) * height * 4, 0xEE);
    EXPECT_TRUE(device.ReadPixelsBGRA(target, picture.bgra.data(), static_cast<size_t>(width) * 4));
    return picture;
}

// A channel of 0xEE in `want` is not checked.
void ExpectNear(const std::array<int, 4>& got, const std::array<int, 4>& want, int tolerance,
                const char* what) {
    for (int channel = 0; channel < 4; ++channel) {
        if (want[channel] == 0xEE) continue;
        EXPECT_NEAR(got[channel], want[channel], tolerance) << what << " channel " << channel;
    }
}

GpuHandle SolidTexture(platform::GpuDevice& device, int width, int height, std::array<u8, 4> bgra) {
    GpuHandle texture = device.CreateTexture(width, height);
    std::vector<u8> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) std::copy(bgra.begin(), bgra.end(), pixels.begin() + i);
    EXPECT_TRUE(
        device.UploadBGRA(texture, 0, 0, width, height, pixels.data(), static_cast<size_t>(width) * 4));
    return texture;
}

class GpuDeviceOnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        gl = testgl::OpenGlTestDevice();
        if (gl == nullptr) GTEST_SKIP() << "no GL 3.3 core context on this machine";
        device = gl->device.get();
        ASSERT_TRUE(device->BeginFrame());
        device->SetSceneStates(true);
        device->Clear(0xFF000000u, 1.f, 255);
        device->SetTransform(platform::GpuTransform::Projection, PixelProjection(1280, 720));
    }
    void Draw(GpuHandle texture, const std::array<GpuVertex, 4>& quad) {
        device->SetTexture(texture);
        device->DrawQuadStrip(quad.data());
    }

    std::unique_ptr<testgl::GlTestDevice> gl;
    platform::GpuDevice* device = nullptr;
};

TEST_F(GpuDeviceOnDisplay, ImageAtTheOriginLandsTexelForTexelTopRowFirst) {
    EXPECT_EQ(device->BackBufferWidth(), 1280);
    EXPECT_EQ(device->BackBufferHeight(), 720);
    // 4x4 texels, each with its own colour: blue = 10 + x, green = 20 + y * 10, red 200.
    std::vector<u8> pixels;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) pixels.insert(pixels.end(), {u8(10 + x), u8(20 + y * 10), 200, 255});
    }
    // Alike in a texture made as it is asked for, one made ahead of its
    // size, and beside one made ahead of another size.
    for (const int ahead : {0, 4, 8}) {
        SCOPED_TRACE(ahead);
        device->Clear(0xFF000000u, 1.f, 255);
        if (ahead != 0) device->MakeTextureAhead(ahead, ahead);
        GpuHandle texture = device->CreateTexture(4, 4);
        ASSERT_NE(texture, 0u);
        ASSERT_TRUE(device->UploadBGRA(texture, 0, 0, 4, 4, pixels.data(), 16));
        device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
        // Centred: its top-left texel sits at world (-2, 2), i.e. pixel (638, 358).
        Draw(texture, Quad(-2.f, 2.f, 4.f, 4.f, 0xFFFFFFFFu));
        Picture picture = Read(*device, platform::kBackBufferTarget, 1280, 720);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                EXPECT_EQ(picture.At(638 + x, 358 + y), (std::array<int, 4>{10 + x, 20 + y * 10, 200, 255}))
                    << "texel " << x << "," << y;
            }
        }
        EXPECT_EQ(picture.At(637, 358), (std::array<int, 4>{0, 0, 0, 255})) << "nothing left of the image";
        EXPECT_EQ(picture.At(642, 361), (std::array<int, 4>{0, 0, 0, 255}));
        EXPECT_EQ(picture.At(638, 357), (std::array<int, 4>{0, 0, 0, 255})) << "nothing above it";
        EXPECT_EQ(picture.At(638, 362), (std::array<int, 4>{0, 0, 0, 255}));
    }
}

// A 2x2 texture of four distinct texels drawn texel for texel, moved by half
// a pixel and stretched: a quad that meets pixel centres with texel centres
// shows the texels themselves, any other quad the linear blend of its
// neighbours (never the nearest texel).
TEST_F(GpuDeviceOnDisplay, QuadsOffTheTexelGridBlendNeighboursAndQuadsOnItShowTexelsExactly) {
    const std::array<int, 4> texels[4] = {
        {10, 20, 200, 255}, {90, 120, 40, 255}, {170, 60, 100, 255}, {250, 220, 0, 255}};
    std::vector<u8> pixels;
    for (const auto& texel : texels) pixels.insert(pixels.end(), texel.begin(), texel.end());
    GpuHandle texture = device->CreateTexture(2, 2);
    ASSERT_TRUE(device->UploadBGRA(texture, 0, 0, 2, 2, pixels.data(), 8));
    struct Pixel {
        int x, y;          // from the quad's top-left pixel
        float weights[4];  // of texels (0,0), (1,0), (0,1), (1,1)
    };
    struct Case {
        const char* name;
        float dx, dy, width;  // the quad's top-left corner off whole pixels, its width (height 2)
        Pixel pixels[2];
    };
    const Case cases[] = {
        {"texel for texel", 0.f, 0.f, 2.f, {{1, 0, {0, 1, 0, 0}}, {0, 1, {0, 0, 1, 0}}}},
        {"half a pixel right", 0.5f, 0.f, 2.f, {{1, 0, {.5f, .5f, 0, 0}}, {1, 1, {0, 0, .5f, .5f}}}},
        {"half a pixel down", 0.f, -0.5f, 2.f, {{0, 1, {.5f, 0, .5f, 0}}, {1, 1, {0, .5f, 0, .5f}}}},
        // Texel coordinates (x + 0.5) / 2: 0.75 and 1.25.
        {"twice as wide", 0.f, 0.f, 4.f, {{1, 0, {.75f, .25f, 0, 0}}, {2, 0, {.25f, .75f, 0, 0}}}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Draw(texture,
             Quad(10.f * static_cast<float>(i) + cases[i].dx, cases[i].dy, cases[i].width, 2.f, 0xFFFFFFFFu));
    }
    Picture picture = Read(*device, platform::kBackBufferTarget, 1280, 720);
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (const Pixel& pixel : cases[i].pixels) {
            std::array<int, 4> expected{};
            for (int channel = 0; channel < 4; ++channel) {
                float sum = 0.f;
                for (int t = 0; t < 4; ++t) sum += pixel.weights[t] * static_cast<float>(texels[t][channel]);
                expected[channel] = static_cast<int>(std::lround(sum));
            }
            ExpectNear(picture.At(640 + 10 * static_cast<int>(i) + pixel.x, 360 + pixel.y), expected,
                       i == 0 ? 0 : 1, cases[i].name);
        }
    }
}

TEST_F(GpuDeviceOnDisplay, VertexAlphaBlendsStraightOverWhatIsThere) {
    // (B, G, R) = (50, 100, 200) at alpha 128 over opaque black: c × 128 / 255.
    GpuHandle texture = SolidTexture(*device, 8, 8, {50, 100, 200, 255});
    device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
    device->SetBlend(true);
    Draw(texture, Quad(-100.f, 100.f, 8.f, 8.f, 0x80FFFFFFu));
    // A texel of alpha 128 at full vertex alpha over white (255, 255, 255).
    GpuHandle white = SolidTexture(*device, 4, 4, {255, 255, 255, 255});
    GpuHandle half = SolidTexture(*device, 4, 4, {0, 0, 0, 128});
    Draw(white, Quad(200.f, 100.f, 4.f, 4.f, 0xFFFFFFFFu));
    Draw(half, Quad(200.f, 100.f, 4.f, 4.f, 0xFFFFFFFFu));
    Picture picture = Read(*device, platform::kBackBufferTarget, 1280, 720);
    // The screen's alpha is never shown (the window's own buffer may have none).
    ExpectNear(picture.At(540 + 3, 260 + 3), {25, 50, 100, 0xEE}, 1, "alpha 128");
    ExpectNear(picture.At(840 + 1, 260 + 1), {127, 127, 127, 0xEE}, 1, "texel alpha 128 over white");

    // In a capture, whose alpha later draws count on, destination alpha is
    // blended with the same factors as the colour:
    // 128 × 128/255 + 255 × 127/255 = 64.25 + 127 = 191.
    GpuHandle capture = device->CreateRenderTexture(16, 16);
    ASSERT_TRUE(device->SetRenderTarget(capture));
    device->Clear(0xFF000000u, 1.f, 255);
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(16, 16));
    Draw(texture, Quad(-8.f, 8.f, 8.f, 8.f, 0x80FFFFFFu));
    Draw(white, Quad(0.f, 8.f, 4.f, 4.f, 0xFFFFFFFFu));
    Draw(half, Quad(0.f, 8.f, 4.f, 4.f, 0xFFFFFFFFu));
    Picture inCapture = Read(*device, capture, 16, 16);
    ExpectNear(inCapture.At(3, 3), {25, 50, 100, 191}, 1, "alpha 128 in a capture");
    ExpectNear(inCapture.At(9, 1), {127, 127, 127, 191}, 1, "texel alpha 128 over white in a capture");
}

// Unblended into a picture (no depth-stencil there, as in a scene's picture):
// the texel's colour, its alpha times the vertex alpha, full-size copies and
// small quads alike.
TEST_F(GpuDeviceOnDisplay, UnblendedQuadsWriteTheTexelWithItsAlphaTimesTheVertexAlpha) {
    GpuHandle picture = device->CreateRenderTexture(64, 64);
    ASSERT_TRUE(device->SetRenderTarget(picture));
    device->SetSceneStates(false);
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(64, 64));
    device->SetBlend(false);
    struct Case {
        const char* name;
        int size;
        u8 texelAlpha;
        u32 diffuse;
        std::array<int, 4> expected;
    };
    // 128 × 128/255 = 64.25.
    const Case cases[] = {
        {"the whole picture, opaque", 64, 255, 0xFFFFFFFFu, {50, 100, 200, 255}},
        {"the whole picture, texel alpha 128", 64, 128, 0xFFFFFFFFu, {50, 100, 200, 128}},
        {"the whole picture, vertex alpha 128", 64, 255, 0x80FFFFFFu, {50, 100, 200, 128}},
        {"a small quad, both 128", 8, 128, 0x80FFFFFFu, {50, 100, 200, 64}},
    };
    for (const Case& c : cases) {
        device->ClearColour(0xFF000000u);
        const float half = static_cast<float>(c.size) / 2.f;
        Draw(SolidTexture(*device, c.size, c.size, {50, 100, 200, c.texelAlpha}),
             Quad(-half, half, static_cast<float>(c.size), static_cast<float>(c.size), c.diffuse));
        Picture read = Read(*device, picture, 64, 64);
        ExpectNear(read.At(32, 32), c.expected, 1, c.name);
    }
}

TEST_F(GpuDeviceOnDisplay, StencilModesCutAndRestoreByRectangleNotByShape) {
    GpuHandle red = SolidTexture(*device, 100, 100, {0, 0, 255, 255});
    GpuHandle clear = SolidTexture(*device, 20, 20, {0, 0, 0, 0});
    GpuHandle green = SolidTexture(*device, 300, 100, {0, 255, 0, 255});
    device->SetBlend(true);
    // A fully transparent object cuts a hole: the mask is its rectangle.
    device->SetStencilMode(platform::StencilMode::WriteZero);
    Draw(clear, Quad(0.f, 0.f, 20.f, 20.f, 0xFFFFFFFFu));
    // Red restores a part of the hole and itself counts as "not cut".
    device->SetStencilMode(platform::StencilMode::WriteReplace255);
    Draw(red, Quad(10.f, 0.f, 100.f, 100.f, 0xFFFFFFFFu));
    // Green over everything shows where the buffer holds 255.
    device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
    Draw(green, Quad(-100.f, 0.f, 300.f, 100.f, 0xFFFFFFFFu));
    Picture picture = Read(*device, platform::kBackBufferTarget, 1280, 720);
    // World (x, y) is pixel (640 + x, 360 - y).
    EXPECT_EQ(picture.At(640 + 5, 360 + 5), (std::array<int, 4>{0, 0, 0, 255})) << "inside the hole";
    EXPECT_EQ(picture.At(640 + 15, 360 + 5), (std::array<int, 4>{0, 255, 0, 255})) << "restored part";
    EXPECT_EQ(picture.At(640 - 50, 360 + 50), (std::array<int, 4>{0, 255, 0, 255})) << "never cut";
    EXPECT_EQ(picture.At(640 + 150, 360 + 50), (std::array<int, 4>{0, 255, 0, 255}));
}

// What the window shows after Present, at (x, y) from its top left (GL
// reads the window's rows bottom first), as B, G, R, A.
std::array<int, 4> WindowPixel(int x, int y) {
    u8 rgba[4] = {};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(x, 719 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[2], rgba[1], rgba[0], rgba[3]};
}

TEST_F(GpuDeviceOnDisplay, OnlyFramesThatUseTheStencilAreDrawnBesideTheWindowAndAllAreShownWhole) {
    // The window's own buffer has no stencil: a frame goes to the offscreen
    // back buffer, from its first use of the stencil on, only when it cuts
    // holes, keeping what it drew before. Every frame: black, then a red
    // 100x100 patch at the top left of the screen; then a hole of 20x20
    // at the centre under a green 300x100 band; or a blue 10x10 square
    // marked in the stencil beside the red patch.
    GpuHandle red = SolidTexture(*device, 100, 100, {0, 0, 255, 255});
    GpuHandle clear = SolidTexture(*device, 20, 20, {0, 0, 0, 0});
    GpuHandle green = SolidTexture(*device, 300, 100, {0, 255, 0, 255});
    GpuHandle blue = SolidTexture(*device, 10, 10, {255, 0, 0, 255});
    enum class Then { Nothing, CutAHole, MarkTheStencil };
    struct Case {
        const char* name;
        Then then;
        bool offscreen;
        std::array<int, 4> hole;   // at the centre
        std::array<int, 4> band;   // beside the hole, in the band
        std::array<int, 4> beside; // right of the red patch
    };
    const std::array<int, 4> black{0, 0, 0, 255}, greenPixel{0, 255, 0, 255}, bluePixel{255, 0, 0, 255};
    const Case cases[] = {
        {"a plain frame", Then::Nothing, false, black, black, black},
        {"a frame that cuts a hole", Then::CutAHole, true, black, greenPixel, black},
        {"a frame that marks the stencil after drawing", Then::MarkTheStencil, true, black, black, bluePixel},
        {"a plain frame again", Then::Nothing, false, black, black, black},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(device->BeginFrame());
        device->SetSceneStates(false);
        device->ClearColour(0xFF000000u);
        device->SetBlend(true);
        Draw(red, Quad(-640.f, 360.f, 100.f, 100.f, 0xFFFFFFFFu));
        if (c.then == Then::CutAHole) {
            device->SetSceneStates(true);
            device->Clear(0xFF000000u, 1.f, 255);
            device->SetStencilMode(platform::StencilMode::WriteZero);
            Draw(clear, Quad(-10.f, 10.f, 20.f, 20.f, 0xFFFFFFFFu));
            device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
            Draw(green, Quad(-150.f, 50.f, 300.f, 100.f, 0xFFFFFFFFu));
        } else if (c.then == Then::MarkTheStencil) {
            device->SetSceneStates(true);
            device->SetStencilMode(platform::StencilMode::WriteReplace255);
            Draw(blue, Quad(-540.f, 360.f, 10.f, 10.f, 0xFFFFFFFFu));
        }
        GLint bound = -1;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(bound != 0, c.offscreen) << c.name;
        device->SetSceneStates(false);
        ASSERT_TRUE(device->Present());
        // The clear of a hole wipes the red patch drawn before it.
        const bool cleared = c.then == Then::CutAHole;
        EXPECT_EQ(WindowPixel(5, 5), cleared ? black : (std::array<int, 4>{0, 0, 255, 255})) << c.name;
        EXPECT_EQ(WindowPixel(99, 99), cleared ? black : (std::array<int, 4>{0, 0, 255, 255})) << c.name;
        EXPECT_EQ(WindowPixel(100, 5), c.beside) << c.name;
        EXPECT_EQ(WindowPixel(640, 360), c.hole) << c.name;
        EXPECT_EQ(WindowPixel(640 - 100, 360), c.band) << c.name;
        EXPECT_EQ(WindowPixel(1279, 719), black) << c.name << ": the far corner";
    }
}

TEST_F(GpuDeviceOnDisplay, RenderTexturesKeepTheTopRowFirstAndTheViewportFollowsTheTarget) {
    GpuHandle capture = device->CreateRenderTexture(64, 32);
    GpuHandle depth = device->CreateDepthStencil(64, 32);
    ASSERT_NE(capture, 0u);
    ASSERT_NE(depth, 0u);
    ASSERT_TRUE(device->SetRenderTarget(capture));
    ASSERT_TRUE(device->SetDepthStencil(depth));
    EXPECT_EQ(device->GetRenderTarget(), capture);
    device->Clear(0xFF000000u, 1.f, 255);
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(64, 32));
    // The top half of the capture blue.
    GpuHandle blue = SolidTexture(*device, 64, 16, {255, 0, 0, 255});
    device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
    Draw(blue, Quad(-32.f, 16.f, 64.f, 16.f, 0xFFFFFFFFu));
    Picture inside = Read(*device, capture, 64, 32);
    EXPECT_EQ(inside.At(10, 2), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(inside.At(10, 30), (std::array<int, 4>{0, 0, 0, 255}));

    // Drawn back onto the screen at 1:1, the capture keeps its orientation.
    ASSERT_TRUE(device->SetRenderTarget(platform::kBackBufferTarget));
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(1280, 720));
    Draw(capture, Quad(-32.f, 16.f, 64.f, 32.f, 0xFFFFFFFFu));
    Picture screen = Read(*device, platform::kBackBufferTarget, 1280, 720);
    EXPECT_EQ(screen.At(640 - 32 + 10, 360 - 16 + 2), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(screen.At(640 - 32 + 10, 360 - 16 + 30), (std::array<int, 4>{0, 0, 0, 255}));
}

// Each built-in shader draws a 4x4 texture of (B, G, R) = (50, 100, 200) and
// the given alpha at its own place over black; 0xEE marks an open channel.
TEST_F(GpuDeviceOnDisplay, BuiltInPixelShadersComputeAsTheirTablesSay) {
    EXPECT_EQ(device->CreateBuiltinPixelShader(":pixel.sepia"), 0u) << "names are case-sensitive";
    EXPECT_EQ(device->CreateBuiltinPixelShader("Pixel.Sepia"), 0u);
    struct Case {
        const char* name;
        const char* shader;
        u8 textureAlpha;
        u32 diffuse;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {"negative", ":Pixel.Negaposi", 255, 0xFFFFFFFFu, {205, 155, 55, 255}},
        // 0.299 × 200 + 0.587 × 100 + 0.114 × 50 = 124.2
        {"grey", ":Pixel.Monochro", 255, 0xFFFFFFFFu, {124, 124, 124, 255}},
        // grey 124.2 × (0.569, 0.784, 0.941) = (70.7, 97.4, 116.9)
        {"sepia", ":Pixel.Sepia", 255, 0xFFFFFFFFu, {71, 97, 117, 255}},
        // Texture alpha 0 is ignored; the vertex alpha 128 mixes with black.
        {"vertex alpha only", ":Transition.CrossDissolveAlphaIgnore", 0, 0x80FFFFFFu, {25, 50, 100, 0xEE}},
        {"constant colour (red)", ":PixelColor.Change", 255, 0xFFFFFFFFu, {0, 0, 255, 255}},
        // Vertex alpha 128 = 0.502 against the rule's 102 (0.4): 2 × 0.502 − 0.4 = 0.604 over black.
        {"soft wipe", ":Transition.CrossDissolve", 102, 0x80FFFFFFu, {30, 60, 121, 0xEE}},
        {"hard wipe, rule 0.4 reached: opaque",
         ":Transition.DitherDissolve",
         102,
         0x80FFFFFFu,
         {0xEE, 0xEE, 200, 0xEE}},
        {"hard wipe, rule 0.784 not reached: clear",
         ":Transition.DitherDissolve",
         200,
         0x80FFFFFFu,
         {0xEE, 0xEE, 0, 0xEE}},
    };
    device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
    device->SetBlend(true);
    const float red[4] = {1.f, 0.f, 0.f, 1.f};
    device->SetPixelShaderConstant(red);
    float x = 0.f;
    for (const Case& c : cases) {
        GpuHandle shader = device->CreateBuiltinPixelShader(c.shader);
        ASSERT_NE(shader, 0u) << c.name;
        device->SetPixelShader(shader);
        Draw(SolidTexture(*device, 4, 4, {50, 100, 200, c.textureAlpha}), Quad(x, 0.f, 4.f, 4.f, c.diffuse));
        x += 10.f;
    }
    device->SetPixelShader(0);
    Picture picture = Read(*device, platform::kBackBufferTarget, 1280, 720);
    for (size_t i = 0; i < std::size(cases); ++i) {
        ExpectNear(picture.At(641 + 10 * static_cast<int>(i), 361), cases[i].expected, 1, cases[i].name);
    }
}

// Over a picture of the screen (green above, blue below, its first column
// white) on a target left white: a quad covering the screen mixes every
// pixel as blending would, a small one leaves the rest to the picture, and
// the target's white never shows. The cross-fade's shader without the
// stencil test takes the vertex alpha alone (its texture's is 0 here), on
// the window's buffer and on a render texture alike, the right way up and
// column for column on both; corners of two alphas still mix each row by
// its own, and a target as high but half as wide is mixed to its edge.
TEST_F(GpuDeviceOnDisplay, DrawingOverAPictureMixesAsBlendingWouldAndReadsNothingFromTheTarget) {
    GpuHandle under = device->CreateRenderTexture(1280, 720);
    std::vector<u8> halves;
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280; ++x) {
            const u8 white = x == 0 ? 255 : 0;
            halves.insert(halves.end(),
                          {u8(y < 360 && x > 0 ? 0 : 255), u8(y < 360 || x == 0 ? 255 : 0), white, 255});
        }
    }
    ASSERT_TRUE(device->UploadBGRA(under, 0, 0, 1280, 720, halves.data(), 1280 * 4));
    GpuHandle red = SolidTexture(*device, 1280, 720, {0, 0, 255, 255});
    GpuHandle clearRed = SolidTexture(*device, 1280, 720, {0, 0, 255, 0});
    // Red above white, to tell a fade drawn upside down.
    GpuHandle redOverWhite = device->CreateTexture(1280, 720);
    std::vector<u8> rows;
    for (int i = 0; i < 1280 * 720; ++i) {
        const u8 below = i >= 1280 * 360 ? 255 : 0;
        rows.insert(rows.end(), {below, below, 255, 0});
    }
    ASSERT_TRUE(device->UploadBGRA(redOverWhite, 0, 0, 1280, 720, rows.data(), 1280 * 4));
    GpuHandle fade = device->CreateBuiltinPixelShader(":Transition.CrossDissolveAlphaIgnore");
    GpuHandle elsewhere = device->CreateRenderTexture(1280, 720);
    std::array<GpuVertex, 4> graded = Quad(-640.f, 360.f, 1280.f, 720.f, 0xFFFFFFFFu);
    graded[2].diffuse = graded[3].diffuse = 0x00FFFFFFu;
    struct Case {
        const char* name;
        GpuHandle texture, shader, target;
        std::array<GpuVertex, 4> quad;
        std::array<int, 4> edge, bottom, middle;  // at (0, 10), (10, 700), (640, 360)
    };
    const GpuHandle screen = platform::kBackBufferTarget;
    const std::array<GpuVertex, 4> covering = Quad(-640.f, 360.f, 1280.f, 720.f, 0x80FFFFFFu);
    // Alpha 128: red × 128/255 + the picture × 127/255. Graded, row r has
    // alpha 1 − (r + 0.5)/720: 0.985 at the top, 0.499 in the middle, 0.027 at the bottom.
    const std::array<int, 4> whiteMixed{127, 127, 255, 0xEE}, blueMixed{127, 0, 128, 0xEE};
    const Case cases[] = {
        {"covering, alpha 128", red, 0, screen, covering, whiteMixed, blueMixed, blueMixed},
        {"small, opaque", red, 0, screen, Quad(-2.f, 2.f, 4.f, 4.f, 0xFFFFFFFFu), {255, 255, 255, 255},
         {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"cross-fade, alpha 128", clearRed, fade, screen, covering, whiteMixed, blueMixed, blueMixed},
        {"cross-fade onto a render texture", clearRed, fade, elsewhere, covering, whiteMixed, blueMixed,
         blueMixed},
        // White × 128/255 over blue: (255, 128, 128), the right way up on either target.
        {"cross-fade, red above white", redOverWhite, fade, screen, covering, whiteMixed, {255, 128, 128, 0xEE},
         {255, 128, 128, 0xEE}},
        {"cross-fade onto a render texture, red above white", redOverWhite, fade, elsewhere, covering,
         whiteMixed, {255, 128, 128, 0xEE}, {255, 128, 128, 0xEE}},
        {"cross-fade, graded", clearRed, fade, screen, graded, {4, 4, 255, 0xEE}, {248, 0, 7, 0xEE},
         {128, 0, 127, 0xEE}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(device->SetRenderTarget(c.target));
        device->SetSceneStates(c.shader == 0);
        device->ClearColour(0xFFFFFFFFu);
        device->SetTexture(c.texture);
        device->SetPixelShader(c.shader);
        ASSERT_TRUE(device->DrawQuadOver(c.quad.data(), under)) << c.name;
        Picture picture = Read(*device, c.target, 1280, 720);
        ExpectNear(picture.At(0, 10), c.edge, 1, c.name);
        ExpectNear(picture.At(10, 700), c.bottom, 1, c.name);
        ExpectNear(picture.At(640, 360), c.middle, 1, c.name);
    }
    // A picture as it was uploaded, no render texture, is mixed over alike.
    GpuHandle uploaded = device->CreateTexture(1280, 720);
    ASSERT_TRUE(device->UploadBGRA(uploaded, 0, 0, 1280, 720, halves.data(), 1280 * 4));
    for (GpuHandle target : {screen, elsewhere}) {
        ASSERT_TRUE(device->SetRenderTarget(target));
        device->SetSceneStates(false);
        device->ClearColour(0xFFFFFFFFu);
        device->SetTexture(redOverWhite);
        device->SetPixelShader(fade);
        ASSERT_TRUE(device->DrawQuadOver(covering.data(), uploaded)) << "over an uploaded picture";
        Picture picture = Read(*device, target, 1280, 720);
        ExpectNear(picture.At(0, 10), whiteMixed, 1, "over an uploaded picture, edge");
        ExpectNear(picture.At(10, 700), {255, 128, 128, 0xEE}, 1, "over an uploaded picture, bottom");
    }

    // The narrower fade: red over green left of x = 320, white over blue right of it.
    GpuHandle narrowUnder = device->CreateRenderTexture(640, 720);
    GpuHandle redWhite = device->CreateTexture(640, 720);
    std::vector<u8> sides, fading;
    for (int i = 0; i < 640 * 720; ++i) {
        const bool left = i % 640 < 320;
        sides.insert(sides.end(), {u8(left ? 0 : 255), u8(left ? 255 : 0), 0, 255});
        fading.insert(fading.end(), {u8(left ? 0 : 255), u8(left ? 0 : 255), 255, 0});
    }
    ASSERT_TRUE(device->UploadBGRA(narrowUnder, 0, 0, 640, 720, sides.data(), 640 * 4));
    ASSERT_TRUE(device->UploadBGRA(redWhite, 0, 0, 640, 720, fading.data(), 640 * 4));
    GpuHandle narrow = device->CreateRenderTexture(640, 720);
    ASSERT_TRUE(device->SetRenderTarget(narrow));
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(640, 720));
    device->SetTexture(redWhite);
    // Blending asked for before stays as it was for the quads after:
    // white at alpha 64 over the left's mix (0, 127, 128) gives 64 + 191/255 of it.
    device->SetBlend(true);
    ASSERT_TRUE(device->DrawQuadOver(Quad(-320.f, 360.f, 640.f, 720.f, 0x80FFFFFFu).data(), narrowUnder));
    Draw(SolidTexture(*device, 4, 4, {255, 255, 255, 255}), Quad(-310.f, 2.f, 4.f, 4.f, 0x40FFFFFFu));
    device->SetBlend(false);
    Picture mixed = Read(*device, narrow, 640, 720);
    ExpectNear(mixed.At(100, 360), {0, 127, 128, 0xEE}, 1, "half as wide, left");
    ExpectNear(mixed.At(630, 360), {255, 128, 128, 0xEE}, 1, "half as wide, right");
    ExpectNear(mixed.At(11, 359), {64, 159, 160, 0xEE}, 1, "blended after it");
    device->SetTransform(platform::GpuTransform::Projection, PixelProjection(1280, 720));

    device->SetPixelShader(0);
    ASSERT_TRUE(device->SetRenderTarget(screen));
    GpuHandle small = device->CreateRenderTexture(640, 360);
    EXPECT_FALSE(device->DrawQuadOver(covering.data(), small)) << "a picture of another size";
    EXPECT_FALSE(device->DrawQuadOver(covering.data(), SolidTexture(*device, 1280, 360, {0, 0, 255, 255})))
        << "an uploaded picture of another size";
    ASSERT_TRUE(device->SetRenderTarget(under));
    EXPECT_FALSE(device->DrawQuadOver(covering.data(), under)) << "the target itself";
}

// A rule wipe, (B, G, R) = (50, 100, 200), over a picture of the screen
// (blue above, green below) covers each pixel by the rule alpha r of its
// texel, here r = x mod 256: soft, by 2a − r saturated; hard, wholly where r
// is at most the quad's alpha a and not at all elsewhere. Alike on the
// window's buffer and a render texture, mixed in one pass (the stencil test
// on) or not; a tint replaces the wipe's colour; a rule uploaded again is the
// one that covers.
TEST_F(GpuDeviceOnDisplay, RuleWipesOverAPictureCoverEachPixelByItsRule) {
    GpuHandle under = device->CreateRenderTexture(1280, 720);
    std::vector<u8> halves, ramp, reversed;
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280; ++x) {
            halves.insert(halves.end(), {u8(y < 360 ? 255 : 0), u8(y < 360 ? 0 : 255), 0, 255});
            ramp.insert(ramp.end(), {50, 100, 200, u8(x % 256)});
            reversed.insert(reversed.end(), {50, 100, 200, u8(255 - x % 256)});
        }
    }
    ASSERT_TRUE(device->UploadBGRA(under, 0, 0, 1280, 720, halves.data(), 1280 * 4));
    const GpuHandle rule = device->CreateTexture(1280, 720);
    ASSERT_TRUE(device->UploadBGRA(rule, 0, 0, 1280, 720, ramp.data(), 1280 * 4));
    const GpuHandle soft = device->CreateBuiltinPixelShader(":Transition.CrossDissolve");
    const GpuHandle hard = device->CreateBuiltinPixelShader(":Transition.DitherDissolve");
    const GpuHandle screen = platform::kBackBufferTarget, elsewhere = device->CreateRenderTexture(1280, 720);
    struct Case {
        const char* name;
        GpuHandle shader, target;
        int alpha;
        bool stencil;
        bool reversed;  // the rule uploaded again, 255 - x mod 256
        bool tinted;    // red
        int ahead;      // the width of a 16:9 wipe made ahead of this one (after an opaque one), 0 for none
    };
    const Case cases[] = {
        {"soft, a 100", soft, screen, 100, false, false, false, 0},
        {"soft, a 200: twice past 1", soft, elsewhere, 200, false, false, false, 0},
        {"soft, a 255", soft, screen, 255, false, false, false, 0},
        {"soft, a 100, stencil test on", soft, screen, 100, true, false, false, 0},
        {"hard, a 100, made ahead", hard, screen, 100, false, false, false, 1280},
        {"hard, a 255", hard, elsewhere, 255, false, false, false, 0},
        {"hard, a 100, stencil test on", hard, screen, 100, true, false, false, 0},
        {"soft, a 100, tinted", soft, elsewhere, 100, false, false, true, 0},
        {"soft, a 100, the rule uploaded reversed, another size made ahead", soft, screen, 100, false, true, false,
         640},
    };
    auto mix = [](int wipe, int picture, int cover) {
        return (wipe * cover + picture * (255 - cover) + 127) / 255;
    };
    for (const Case& c : cases) {
        if (c.reversed) {
            ASSERT_TRUE(device->UploadBGRA(rule, 0, 0, 1280, 720, reversed.data(), 1280 * 4));
        }
        if (c.ahead != 0) device->MakeWipeAhead(c.ahead, c.ahead * 9 / 16);
        ASSERT_TRUE(device->SetRenderTarget(c.target));
        device->SetSceneStates(c.stencil);
        device->ClearColour(0xFFFFFFFFu);
        device->SetTexture(rule);
        device->SetPixelShader(c.shader);
        device->SetTint(c.tinted, 0xFF0000u);
        const u32 diffuse = static_cast<u32>(c.alpha) << 24 | 0xFFFFFFu;
        ASSERT_TRUE(device->DrawQuadOver(Quad(-640.f, 360.f, 1280.f, 720.f, diffuse).data(), under))
            << c.name;
        Picture picture = Read(*device, c.target, 1280, 720);
        for (int x : {0, 99, 100, 101, 144, 145, 146, 199, 200, 255, 256 + 100, 1279}) {
            const int r = c.reversed ? 255 - x % 256 : x % 256;
            const int cover =
                c.shader == hard ? (r <= c.alpha ? 255 : 0) : std::clamp(2 * c.alpha - r, 0, 255);
            const std::string where = std::string(c.name) + ", x " + std::to_string(x);
            // Wholly covered or not at all, a pixel is the one picture's, exactly.
            const int tolerance = cover == 0 || cover == 255 ? 0 : 1;
            const std::array<int, 3> wipe =
                c.tinted ? std::array<int, 3>{0, 0, 255} : std::array<int, 3>{50, 100, 200};
            ExpectNear(picture.At(x, 0),
                       {mix(wipe[0], 255, cover), mix(wipe[1], 0, cover), mix(wipe[2], 0, cover), 0xEE},
                       tolerance, (where + ", over blue").c_str());
            ExpectNear(picture.At(x, 600),
                       {mix(wipe[0], 0, cover), mix(wipe[1], 255, cover), mix(wipe[2], 0, cover), 0xEE},
                       tolerance, (where + ", over green").c_str());
        }
    }
    device->SetTint(false, 0);
    device->SetPixelShader(0);
}

TEST_F(GpuDeviceOnDisplay, ClearReachesEveryBufferAndReleaseForgetsEveryHandle) {
    GpuHandle target = device->CreateReadableTarget(142, 80);
    ASSERT_NE(target, 0u);
    ASSERT_TRUE(device->SetRenderTarget(target));
    device->Clear(0xFF102030u, 1.f, 0);
    Picture picture = Read(*device, target, 142, 80);
    EXPECT_EQ(picture.At(0, 0), (std::array<int, 4>{0x30, 0x20, 0x10, 0xFF}));
    EXPECT_EQ(picture.At(141, 79), (std::array<int, 4>{0x30, 0x20, 0x10, 0xFF}));
    std::vector<u8> small(10);
    std::vector<u8> whole(142 * 4 * 80);
    EXPECT_FALSE(device->ReadPixelsBGRA(target, whole.data(), 142 * 4 - 1)) << "a pitch one short of a row";
    EXPECT_FALSE(device->UploadBGRA(target, 0, 0, 1, 1, small.data(), 4)) << "a target is no upload texture";
    GpuHandle texture = device->CreateTexture(4, 4);
    EXPECT_FALSE(device->UploadBGRA(texture, 2, 2, 4, 4, small.data(), 16)) << "outside the texture";
    EXPECT_EQ(device->CreateTexture(0, 4), 0u);
    EXPECT_EQ(device->CreateTexture(device->GetCaps().maxTextureSize + 1, 4), 0u);
    device->ReleaseObject(target);
    EXPECT_EQ(device->GetRenderTarget(), platform::kBackBufferTarget)
        << "a released target is no longer drawn into";
    device->Release();
    EXPECT_FALSE(device->IsCreated());
    device->ReleaseObject(texture);  // forgotten without a GL call
}

TEST_F(GpuDeviceOnDisplay, ResetGivesTheBackBufferItsSizeAndDrawsAtIt) {
    // A 2x2 texture whose top-left texel sits at world (-1, 1): on a back
    // buffer of W x H with the pixel projection that texel is pixel
    // (W / 2 - 1, H / 2 - 1). A frame with a stencil has it at the new size;
    // one without, on a back buffer of another size than the window's, is
    // drawn beside the window, not cut to it.
    struct Case {
        const char* name;
        int width;
        int height;
        bool stencil;
    };
    const Case cases[] = {{"full HD", 1920, 1080, false},
                          {"a small window", 800, 600, true},
                          {"back to 1280x720", 1280, 720, false}};
    for (const Case& c : cases) {
        ASSERT_TRUE(device->Reset(c.width, c.height)) << c.name;
        EXPECT_EQ(device->BackBufferWidth(), c.width) << c.name;
        EXPECT_EQ(device->BackBufferHeight(), c.height) << c.name;
        ASSERT_TRUE(device->BeginFrame());
        device->SetSceneStates(c.stencil);
        if (c.stencil) {
            device->Clear(0xFF000000u, 1.f, 255);
        } else {
            device->ClearColour(0xFF000000u);
        }
        device->SetTransform(platform::GpuTransform::Projection, PixelProjection(c.width, c.height));
        device->SetStencilMode(platform::StencilMode::MaskedLessEqual255);
        GpuHandle texture = SolidTexture(*device, 2, 2, {40, 80, 160, 255});
        Draw(texture, Quad(-1.f, 1.f, 2.f, 2.f, 0xFFFFFFFFu));
        Picture picture = Read(*device, platform::kBackBufferTarget, c.width, c.height);
        int x = c.width / 2 - 1, y = c.height / 2 - 1;
        EXPECT_EQ(picture.At(x, y), (std::array<int, 4>{40, 80, 160, 255})) << c.name;
        EXPECT_EQ(picture.At(x + 1, y + 1), (std::array<int, 4>{40, 80, 160, 255})) << c.name;
        EXPECT_EQ(picture.At(x - 1, y), (std::array<int, 4>{0, 0, 0, 255})) << c.name << ": left of it";
        EXPECT_EQ(picture.At(x + 2, y + 2), (std::array<int, 4>{0, 0, 0, 255})) << c.name << ": below it";
        EXPECT_EQ(picture.At(c.width - 1, c.height - 1), (std::array<int, 4>{0, 0, 0, 255}))
            << c.name << ": the clear reaches the far corner";
        device->ReleaseObject(texture);
    }
    int largest = device->GetCaps().maxTextureSize;
    EXPECT_FALSE(device->Reset(largest * 4, 16)) << "a size the driver cannot hold";
    EXPECT_EQ(device->BackBufferWidth(), 1280) << "the old back buffer stays";
    EXPECT_TRUE(device->BeginFrame());
}

}  // namespace

