// Scene drawing against the recording device: the camera's numbers, the
// alpha of a transmittance, the stencil table, tints, the filter that
// outlives its object, the overlay's end, the capture roots' targets and the
// thumbnail file's bytes.

#include "presentation/scene_draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "platform/clock.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "presentation/shared_resource.h"
#include "presentation/transition_draw.h"
#include "support/fake_gpu_device.h"
#include "support/fake_scene_draw.h"
#include "support/presentation/fake_device_holder.h"

namespace {

using fakes::FakeGpuDevice;
using fakes::FakeSceneDraw;

// --- Numbers worked out by hand ---

TEST(SceneCamera, TheLogicalScreenStaysWholeInEveryShapeOfScreen) {
    // The eye sits 12800 units in front of the screen; the view is as high as
    // the logical screen, or higher when the screen is narrower than it.
    struct Case {
        const char* name;
        int32 width, height;
        float viewHeight;
        float aspect;
    };
    const Case cases[] = {
        {"its own shape", 1280, 720, 720.f, 16.f / 9.f},
        {"a square screen: bands above and below", 1000, 1000, 1280.f, 1.f},
        {"a 4:3 screen: bands above and below", 1024, 768, 960.f, 4.f / 3.f},
        {"a wider screen keeps the height: bands at the sides", 2000, 720, 720.f, 2000.f / 720.f},
        {"a minimised screen falls back to the logical shape", 0, 0, 720.f, 16.f / 9.f},
        {"a one-pixel screen is still a screen", 1, 1, 1280.f, 1.f},
    };
    for (const Case& c : cases) {
        classSceneCamera camera = ComputeSceneCamera(1280, 720, c.width, c.height);
        EXPECT_FLOAT_EQ(camera.distance, 12800.f) << c.name;
        EXPECT_FLOAT_EQ(camera.viewHeight, c.viewHeight) << c.name;
        EXPECT_FLOAT_EQ(camera.fovY, 2.f * std::atan(c.viewHeight / 2.f / 12800.f)) << c.name;
        EXPECT_FLOAT_EQ(camera.screenAspect, c.aspect) << c.name;
    }
    // The point (640, 360, 0) lands on the top right corner of clip space.
    classSceneCamera camera = ComputeSceneCamera(1280, 720, 1280, 720);
    const D3DMATRIX m = camera.view * camera.projection;
    float x = 640.f * m.m[0][0] + 360.f * m.m[1][0] + m.m[3][0];
    float y = 640.f * m.m[0][1] + 360.f * m.m[1][1] + m.m[3][1];
    float w = 640.f * m.m[0][3] + 360.f * m.m[1][3] + m.m[3][3];
    EXPECT_NEAR(x / w, 1.f, 1e-5);
    EXPECT_NEAR(y / w, 1.f, 1e-5);
    EXPECT_NEAR(w, 12800.f, 1e-2);
}

TEST(SceneAlpha, TransmittanceBecomesVertexAlphaTruncated) {
    EXPECT_EQ(AlphaFromTransmittance(0.5f), 128);  // 127.5 truncates to 127; 255 − 127
    EXPECT_EQ(AlphaFromTransmittance(0.f), 255);
    EXPECT_EQ(AlphaFromTransmittance(1.f), 0);
    EXPECT_EQ(AlphaFromTransmittance(0.999f), 1);  // 254.745 → 254
    EXPECT_EQ(AlphaFromTransmittance(-3.f), 255);
    EXPECT_EQ(AlphaFromTransmittance(7.f), 0);
    EXPECT_EQ(AlphaFromTransmittance(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(SaveThumbnailBmp, HeadersRowsAndPaddingAreAsTheFileFormatSays) {
    // Row y of the source holds blue = y, green = x % 256, red = 200, alpha 77.
    std::vector<u8> pixels(142 * 80 * 4);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 142; ++x) {
            u8* p = &pixels[(static_cast<size_t>(y) * 142 + x) * 4];
            p[0] = static_cast<u8>(y);
            p[1] = static_cast<u8>(x);
            p[2] = 200;
            p[3] = 77;
        }
    }
    std::vector<u8> bmp;
    BuildThumbnailBmp(pixels.data(), 142 * 4, bmp);
    ASSERT_EQ(bmp.size(), 34294u);
    const u8 header[54] = {0x42, 0x4D, 0xF6, 0x85, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                           0,    0,    0,    142,  0, 0, 0, 80, 0, 0, 0,  1, 0, 24, 0};
    for (int i = 0; i < 54; ++i) EXPECT_EQ(bmp[i], header[i]) << "header byte " << i;  // 34294 = 0x85F6
    // The file's first row is the picture's bottom row (source row 79).
    EXPECT_EQ(bmp[54], 79);
    EXPECT_EQ(bmp[55], 0);
    EXPECT_EQ(bmp[56], 200);
    EXPECT_EQ(bmp[54 + 3], 79) << "alpha is dropped: the next pixel follows at once";
    EXPECT_EQ(bmp[54 + 4], 1);
    EXPECT_EQ(bmp[54 + 426], 0);
    EXPECT_EQ(bmp[54 + 427], 0);
    const size_t lastRow = 54 + 79 * 428;
    EXPECT_EQ(bmp[lastRow], 0) << "the last row of the file is the top of the picture";
    EXPECT_EQ(bmp[lastRow + 141 * 3 + 1], 141);
    for (int row = 0; row < 80; ++row) {
        EXPECT_EQ(bmp[54 + row * 428 + 426], 0);
        EXPECT_EQ(bmp[54 + row * 428 + 427], 0);
    }
    BuildThumbnailBmp(nullptr, 0, bmp);
    ASSERT_EQ(bmp.size(), 34294u);
    for (size_t i = 54; i < bmp.size(); ++i) ASSERT_EQ(bmp[i], 0) << "a failed read is black";
}

// --- Drawing through the recording device ---

class SceneDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start());
        gpu = device.gpu;
        root = classGraphicObject::New();
        g_filterShader = nullptr;
    }
    void TearDown() override {
        classGraphicObject::Delete(root);
        g_filterShader = nullptr;
    }
    classGraphicObject* Add(std::vector<int64> path, const std::string& image) {
        classGraphicObject* object = classGraphicObject::CreateAtPath(root, path);
        if (!image.empty()) object->SetFileTexture(image);
        return object;
    }
    void DrawFrame() {
        gpu->log.clear();
        gpu->draws.clear();
        ASSERT_TRUE(scene_draw::BeginSceneDraw(root));
        scene_draw::DrawTree(root);
        scene_draw::EndSceneDraw(root);
    }
    // The old screen of a cross-fade: one picture, `image`, at layer 1 of the
    // overlay, given back through `picture` when asked for.
    classGraphicObject* FadeFrom(const std::string& image, classGraphicObject** picture = nullptr) {
        classGraphicObject* overlay = classGraphicObject::New();
        classGraphicObject* old = classGraphicObject::CreateAtPath(overlay, std::vector<int64>{1});
        old->SetFileTexture(image);
        overlay->SetTransitionTexture();
        overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
        if (picture != nullptr) *picture = old;
        return overlay;
    }
    size_t Count(const std::string& line) const {
        size_t n = 0;
        for (const std::string& entry : gpu->log) n += entry == line ? 1 : 0;
        return n;
    }

    FakeSceneDraw scene;
    FakeGpuDevice* gpu = nullptr;
    FakeDeviceHolder device;
    classGraphicDevice& holder = device.holder;
    classGraphicObject* root = nullptr;
};

TEST_F(SceneDrawTest, SceneBeginsWithCameraStatesAndAClearToBlackWithStencil255) {
    // The stencil is tested and cleared only when some shown object writes it.
    struct Case {
        const char* name;
        int64 stencil;
        u8 hidden;
        const char* states;
        const char* clear;
    };
    const Case cases[] = {
        {"ordinary objects only", 0, 0, "scene states", "clear colour FF000000"},
        {"a stencil value that writes nothing", 7, 0, "scene states", "clear colour FF000000"},
        {"an object that cuts a hole", -1, 0, "scene states stencil", "clear FF000000 1 255"},
        {"an object that marks", 1, 0, "scene states stencil", "clear FF000000 1 255"},
        {"a marking object that is hidden", 1, 1, "scene states", "clear colour FF000000"},
    };
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    Add({1}, "x");
    classGraphicObject* marker = Add({2}, "x");
    for (const Case& c : cases) {
        marker->Stencil = c.stencil;
        marker->hidden = c.hidden;
        DrawFrame();
        ASSERT_GE(gpu->log.size(), 2u) << c.name;
        EXPECT_EQ(gpu->log[0], c.states) << c.name;
        EXPECT_EQ(gpu->log[1], c.clear) << c.name;
    }
    EXPECT_NEAR(gpu->view.m[14], -12800.f, 1e-2) << "the eye 12800 units back";
    EXPECT_NEAR(gpu->projection.m[5], 12800.f / 360.f, 1e-2);
    EXPECT_EQ(gpu->projection.m[11], -1.f);
}

TEST_F(SceneDrawTest, DrawOrderStencilsAndAlphaFollowTheObjects) {
    scene.AddSolid("a", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("b", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("c", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("d", 4, 4, 1, 2, 3, 255);
    classGraphicObject* parent = Add({1}, "a");
    classGraphicObject* under = Add({1, -5}, "b");
    classGraphicObject* over = Add({1, 0}, "c");
    classGraphicObject* later = Add({2}, "d");
    parent->Stencil = 1;
    under->Stencil = -1;
    over->Stencil = 7;  // keeps the state of the object before it
    over->transmittance = 0.5f;
    later->Stencil = 0;
    DrawFrame();
    ASSERT_EQ(gpu->draws.size(), 4u);
    // Under its parent: key −5 first, then the parent, then key 0, then the sibling.
    EXPECT_EQ(gpu->draws[0].stencil, "zero");
    EXPECT_EQ(gpu->draws[1].stencil, "replace");
    EXPECT_EQ(gpu->draws[2].stencil, "replace") << "Stencil 7 inherits";
    EXPECT_EQ(gpu->draws[3].stencil, "lequal");
    EXPECT_EQ(gpu->draws[2].vertices[0].diffuse, 0x80FFFFFFu) << "transmittance 0.5 draws at alpha 128";
    EXPECT_EQ(gpu->draws[0].vertices[3].diffuse, 0xFFFFFFFFu);
    EXPECT_TRUE(gpu->draws[2].blend) << "alpha 128 blends";
    EXPECT_EQ(gpu->log.back(), "blend off") << "blending ends with each object";
    // The tile's own corners are kept: texel centres on pixel centres.
    EXPECT_EQ(gpu->draws[0].vertices[0].x, -2.5f);
    EXPECT_EQ(gpu->draws[0].vertices[0].y, 2.5f);
}

TEST_F(SceneDrawTest, OnlyAnOpaqueTileAtFullAlphaWithoutAShaderIsDrawnUnblended) {
    struct Case {
        const char* name;
        u8 texelAlpha;
        float transmittance;
        const char* ownShader;  // empty: none
        const char* filter;     // empty: no filter in force
        bool blend;
    };
    const Case cases[] = {
        {"opaque texels at full alpha", 255, 0.f, "", "", false},
        {"a see-through texel", 254, 0.f, "", "", true},
        {"faded by its transmittance", 255, 0.25f, "", "", true},
        {"its own pixel shader", 255, 0.f, ":Pixel.Sepia", "", true},
        {"a filter in force", 255, 0.f, "", ":Pixel.Monochro", true},
    };
    for (const Case& c : cases) {
        classGraphicObject::Delete(root);
        root = classGraphicObject::New();
        g_filterShader = nullptr;
        std::string image = std::string("img") + c.name;
        scene.AddSolid(image, 4, 4, 10, 20, 30, c.texelAlpha);
        if (c.filter[0] != 0) Add({0}, "")->SetFilterTexture(c.filter);
        classGraphicObject* object = Add({1}, image);
        object->transmittance = c.transmittance;
        if (c.ownShader[0] != 0) object->SetPixelShader(c.ownShader);
        DrawFrame();
        ASSERT_EQ(gpu->draws.size(), 1u) << c.name;
        EXPECT_EQ(gpu->draws[0].blend, c.blend) << c.name;
        EXPECT_EQ(gpu->log.back(), "blend off") << c.name << ": nothing stays blending after the object";
    }
    g_filterShader = nullptr;
}

TEST_F(SceneDrawTest, InvisibleObjectTouchesNoStateAndUnrealisableOneDrawsNothing) {
    scene.AddSolid("gone", 4, 4, 1, 2, 3, 255);
    fakes::FakeTexture* broken = scene.AddSolid("broken", 4, 4, 1, 2, 3, 255);
    broken->realisable = false;
    classGraphicObject* gone = Add({1}, "gone");
    gone->transmittance = 1.0f;
    gone->Stencil = -1;
    Add({2}, "broken");
    Add({3}, "");  // no texture at all
    DrawFrame();
    EXPECT_TRUE(gpu->draws.empty());
    EXPECT_EQ(Count("stencil zero"), 0u);
    EXPECT_EQ(Count("blend on"), 0u);
}

TEST_F(SceneDrawTest, EachDrawIsTintedByItsOwnObjectsColourOnly) {
    // Objects 1, 2 and 3 share one texture and are drawn in that order; a
    // colour left over from an earlier object must never show on a later one.
    constexpr int64 kUnset = -1;
    struct Case {
        const char* name;
        bool ownColours;
        int64 colours[3];
        bool tinted[3];
        u32 tints[3];
    };
    const Case cases[] = {
        {"each its own colour", false, {0x123456, 0x00FF00, 0x0000FF}, {true, true, true},
         {0x123456, 0x00FF00, 0x0000FF}},
        {"a colour with high bits after a tinted one stays untinted", false, {0xFF0000, 0x1000000, 0xFF0000},
         {true, false, true}, {0xFF0000, 0, 0xFF0000}},
        {"no colour after a tinted one stays untinted", false, {0xFF0000, kUnset, 0x000001}, {true, false, true},
         {0xFF0000, 0, 0x000001}},
        {"a texture with its own colours is never tinted", true, {0xFF0000, 0x00FF00, kUnset}, {false, false, false},
         {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const std::string name = std::string("shared ") + c.name;
        fakes::FakeTexture* texture = scene.AddSolid(name, 4, 4, 1, 2, 3, 255);
        texture->keepsOwnColours = c.ownColours;
        for (int i = 0; i < 3; ++i) {
            classGraphicObject* object = Add({i + 1}, name);
            if (c.colours[i] != kUnset) object->textColour.Set(c.colours[i]);
        }
        DrawFrame();
        ASSERT_EQ(gpu->draws.size(), 3u) << c.name;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(gpu->draws[i].tinted, c.tinted[i]) << c.name << ", object " << i + 1;
            EXPECT_EQ(gpu->draws[i].tint, c.tints[i]) << c.name << ", object " << i + 1;
        }
        root->children.clear();
    }
}

TEST_F(SceneDrawTest, FilterShadesLaterObjectsOutlivesItsObjectAndEndsByAnEmptyName) {
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    Add({1}, "x");
    classGraphicObject* filter = Add({2}, "");
    filter->SetFilterTexture(":Pixel.Monochro");
    Add({3}, "x");
    Add({4}, "x")->SetPixelShader(":Pixel.Negaposi");
    DrawFrame();
    ASSERT_EQ(gpu->draws.size(), 3u);
    EXPECT_EQ(gpu->draws[0].shader, 0u) << "drawn before the filter in its first frame";
    ASSERT_NE(gpu->draws[1].shader, 0u);
    EXPECT_EQ(gpu->Objects().at(gpu->draws[1].shader).kind, "shader :Pixel.Monochro");
    EXPECT_EQ(gpu->Objects().at(gpu->draws[2].shader).kind, "shader :Pixel.Negaposi")
        << "its own shader wins";
    ASSERT_NE(g_filterShader, nullptr);
    EXPECT_EQ(FakeSceneDraw::Of(root->children.at(classKey64(4)).pixelShader)->name, ":Pixel.Negaposi")
        << "the borrowed filter never replaces an object's own shader";

    classGraphicObject::Delete(filter);
    DrawFrame();
    ASSERT_EQ(gpu->draws.size(), 3u);
    EXPECT_NE(gpu->draws[0].shader, 0u)
        << "the filter outlives its object and reaches earlier objects next frame";
    EXPECT_EQ(root->children.at(classKey64(1)).pixelShader, nullptr);

    Add({2}, "")->SetFilterTexture("");
    DrawFrame();
    EXPECT_EQ(g_filterShader, nullptr);
    EXPECT_EQ(gpu->draws[1].shader, 0u) << "an empty filter name ends it";
    for (const auto& shader : scene.Shaders()) {
        if (shader->name == ":Pixel.Monochro") {
            EXPECT_EQ(shader->refs, 0) << "the filter's reference was given back";
        }
    }
}

TEST_F(SceneDrawTest, AReplacedSceneKeepsNoFilterOfTheOldScreenFadingOutOverIt) {
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    application->mainScene = root;
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    Add({1}, "x");
    // The old screen had a filter object; the scene now under its fade (a
    // loaded slot) has none.
    classGraphicObject* overlay = classGraphicObject::New();
    classGraphicObject::CreateAtPath(overlay, std::vector<int64>{1})->SetFileTexture("x");
    classGraphicObject::CreateAtPath(overlay, std::vector<int64>{790})->SetFilterTexture(":Pixel.Monochro");
    overlay->SetTransitionTexture();
    overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
    g_filterShader = scene.AcquireShader(kPixelShaderKind, ":Pixel.Monochro");
    scene_draw::BeginOverlayFilter();
    scene_draw::SettleSceneFilter(root);
    EXPECT_EQ(g_filterShader, nullptr) << "the new scene sets none";
    application->overlayScene = overlay;
    for (float transmittance : {0.25f, 0.5f, 1.0f}) {
        overlay->transmittance = transmittance;
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        EXPECT_EQ(g_filterShader, nullptr) << "the fading screen's filter stays its own at " << transmittance;
    }
    EXPECT_EQ(application->overlayScene, nullptr);
    gpu->repaint = true;
    gpu->draws.clear();
    ASSERT_TRUE(holder.BeginFrame());
    DrawScenes();
    holder.EndFrame();
    ASSERT_EQ(gpu->draws.size(), 1u);
    EXPECT_EQ(gpu->draws[0].shader, 0u) << "the new scene in its own colours";
    for (const auto& shader : scene.Shaders()) {
        if (shader->name == ":Pixel.Monochro") {
            EXPECT_EQ(shader->refs, 0) << "every hold on the old filter given back";
        }
    }
    application->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, AfterAResizeTheCameraFramesTheWindowAndTheCaptureHasTheBackBufferSize) {
    // cot(fovY / 2) = 12800 / (viewHeight / 2); the x scale divides it by the
    // screen's aspect. The logical screen stays whole in every shape. In a
    // window the screen is the client area; in full screen the back buffer.
    struct Case {
        const char* name;
        platform::ClientSize client;
        bool fullScreen;
        platform::ClientSize backBuffer;
        float yScale;
        float xScale;
    };
    const Case cases[] = {
        {"the logical size", {1280, 720}, false, {1280, 720}, 12800.f / 360.f, 20.f},
        {"a larger window of the same shape", {1920, 1080}, false, {1920, 1080}, 12800.f / 360.f, 20.f},
        {"a square window: bands above and below", {1000, 1000}, false, {1000, 1000}, 20.f, 20.f},
        {"a wider window: bands at the sides", {2000, 720}, false, {2000, 720}, 12800.f / 360.f,
         12800.f / 360.f * 720.f / 2000.f},
        // 300 is not more than half of 720, so the back buffer keeps 720 rows.
        {"a low window: the camera takes its shape, not the back buffer's", {1000, 300}, false, {1000, 720},
         12800.f / 360.f, 12800.f / 360.f * 300.f / 1000.f},
        // Without a display to ask, full screen is the logical size.
        {"full screen: the back buffer's shape", {1000, 1000}, true, {1280, 720}, 12800.f / 360.f, 20.f},
    };
    platform::SetClockSource([] { return u32{50}; });
    for (const Case& c : cases) {
        device.client = c.client;
        holder.RequestFullScreen(c.fullScreen);
        holder.ArmResetDeadline(0);
        platform::SetClockSource([] { return u32{51}; });
        EXPECT_FALSE(holder.IsReady()) << c.name << ": the reset runs";
        platform::SetClockSource([] { return u32{50}; });
        ASSERT_TRUE(holder.IsReady()) << c.name;
        ASSERT_EQ(holder.IsFullScreen(), c.fullScreen) << c.name;
        classGraphicObject* overlay = classGraphicObject::New();
        overlay->SetTransitionTexture();
        // The reset let the screen-size captures go (the shared resources do
        // it through the device hooks); the fake keeps its own.
        FakeSceneDraw::Of(overlay->texture)->capture = 0;
        FakeSceneDraw::Of(overlay->texture)->tiles.clear();
        gpu->log.clear();
        ASSERT_TRUE(scene_draw::BeginSceneDraw(overlay)) << c.name;
        const auto& capture = gpu->Objects().at(FakeSceneDraw::Of(overlay->texture)->capture);
        EXPECT_EQ(capture.width, c.backBuffer.width) << c.name << ": the capture has the back buffer's size";
        EXPECT_EQ(capture.height, c.backBuffer.height) << c.name;
        EXPECT_NEAR(gpu->projection.m[5], c.yScale, 1e-3) << c.name;
        EXPECT_NEAR(gpu->projection.m[0], c.xScale, 1e-3) << c.name;
        scene_draw::EndSceneDraw(overlay);
        classGraphicObject::Delete(overlay);
    }
    holder.RequestFullScreen(false);
    platform::SetClockSource(nullptr);
}

TEST_F(SceneDrawTest, TransitionCaptureThatCannotBeMadeSkipsTheOverlayWithoutClearingTheScreen) {
    classGraphicObject* overlay = classGraphicObject::New();
    overlay->SetTransitionTexture();
    FakeSceneDraw::Of(overlay->texture)->realisable = false;
    gpu->log.clear();
    EXPECT_FALSE(scene_draw::BeginSceneDraw(overlay));
    EXPECT_EQ(Count("clear FF000000 1 255") + Count("clear colour FF000000"), 0u);
    EXPECT_EQ(gpu->GetRenderTarget(), platform::kBackBufferTarget);
    EXPECT_EQ(overlay->savedRenderTarget, 0u);
    // Nor can a drawing source that has no textures make one.
    classSceneDrawSource plain;
    classSceneDrawSource* previous = SetSceneDrawSource(&plain);
    EXPECT_FALSE(scene_draw::BeginSceneDraw(overlay)) << "the texture-less source";
    SetSceneDrawSource(previous);
    classGraphicObject::Delete(overlay);
}

TEST_F(SceneDrawTest, TransitionCaptureDrawsIntoItsTargetThenOverTheScreen) {
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    classGraphicObject* overlay = FadeFrom("x");
    overlay->transmittance = 0.25f;
    gpu->log.clear();
    gpu->draws.clear();
    ASSERT_TRUE(scene_draw::BeginSceneDraw(overlay));
    platform::GpuHandle capture = FakeSceneDraw::Of(overlay->texture)->capture;
    EXPECT_EQ(gpu->GetRenderTarget(), capture);
    scene_draw::DrawTree(overlay);
    scene_draw::EndSceneDraw(overlay);
    ASSERT_EQ(gpu->draws.size(), 2u);
    EXPECT_EQ(gpu->draws[0].target, capture);
    EXPECT_EQ(gpu->draws[1].target, platform::kBackBufferTarget) << "the capture is drawn onto the screen";
    EXPECT_EQ(gpu->draws[1].texture, capture);
    EXPECT_EQ(gpu->draws[1].vertices[0].diffuse >> 24, 192u);  // 255 − trunc(63.75)
    EXPECT_EQ(gpu->Objects().at(gpu->draws[1].shader).kind, "shader :Transition.CrossDissolveAlphaIgnore");
    D3DXVECTOR3 scale = FakeSceneDraw::Of(overlay->texture)->drawScale;
    EXPECT_FLOAT_EQ(scale.x, 1.f) << "a capture of the screen's own size is drawn unscaled";
    EXPECT_FLOAT_EQ(scale.y, 1.f);
    EXPECT_EQ(overlay->savedRenderTarget, 0u);
    classGraphicObject::Delete(overlay);
}

TEST_F(SceneDrawTest, CrossFadeFrameIsOneDrawOverThePictureOfTheNewSceneWithoutAClear) {
    // Full-screen passes of a frame: each clear and each quad drawn. The new
    // scene goes into a picture of the screen and the old one into its
    // capture, each only when it changed; the frame itself is one opaque
    // quad mixing the two at the fade's alpha. The old screen is drawn
    // first and handed to the rasteriser before the new scene's pictures
    // are loaded, and those loads do not make it drawn again.
    ASSERT_TRUE(InitApplication());
    scene.notesLoads = true;
    classApplication* application = GetApplication();
    application->mainScene = root;
    scene.AddSolid("new", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("old", 4, 4, 7, 8, 9, 255);
    classGraphicObject* fresh = Add({1}, "new");
    classGraphicObject* old = nullptr;
    classGraphicObject* overlay = FadeFrom("old", &old);
    application->overlayScene = overlay;
    platform::GpuHandle* capture = &FakeSceneDraw::Of(overlay->texture)->capture;

    struct Case {
        const char* name;
        float transmittance;
        void (*change)(classGraphicObject* fresh, classGraphicObject* old, platform::GpuHandle* capture);
        size_t clears;
        size_t draws;
        bool onePass;
    };
    const Case cases[] = {
        {"the first frame draws both pictures", 0.1f, nullptr, 2, 3, true},
        {"the fade goes on over still pictures", 0.3f, nullptr, 0, 1, true},
        {"and on", 0.6f, nullptr, 0, 1, true},
        {"the old picture moves", 0.7f,
         [](classGraphicObject*, classGraphicObject* object, platform::GpuHandle*) {
             D3DXMatrixTranslation(&object->drawMatrix, 3.f, 0.f, 0.f);
         },
         1, 2, true},
        {"the new picture moves", 0.75f,
         [](classGraphicObject* object, classGraphicObject*, platform::GpuHandle*) {
             D3DXMatrixTranslation(&object->drawMatrix, 0.f, 2.f, 0.f);
         },
         1, 2, true},
        {"still again", 0.8f, nullptr, 0, 1, true},
        {"the old picture fades on its own", 0.85f,
         [](classGraphicObject*, classGraphicObject* object, platform::GpuHandle*) { object->transmittance = 0.5f; },
         1, 2, true},
        {"the capture was let go", 0.9f,
         [](classGraphicObject*, classGraphicObject* object, platform::GpuHandle* made) {
             *made = 0;
             FakeSceneDraw::Of(object->parent->texture)->tiles.clear();
         },
         1, 2, true},
        {"a cutting object makes the new scene draw on the screen", 0.92f,
         [](classGraphicObject* object, classGraphicObject*, platform::GpuHandle*) { object->Stencil = -1; },
         1, 2, false},
        {"still to the end", 0.95f,
         [](classGraphicObject* object, classGraphicObject*, platform::GpuHandle*) { object->Stencil = 0; }, 0,
         1, true},
    };
    platform::GpuHandle picture = 0;
    for (const Case& c : cases) {
        overlay->transmittance = c.transmittance;
        if (c.change != nullptr) c.change(fresh, old, capture);
        gpu->log.clear();
        gpu->draws.clear();
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        size_t clears = 0;
        for (const std::string& line : gpu->log) clears += line.rfind("clear", 0) == 0 ? 1 : 0;
        EXPECT_EQ(clears, c.clears) << c.name;
        ASSERT_EQ(gpu->draws.size(), c.draws) << c.name;
        if (c.transmittance == 0.1f) {
            EXPECT_EQ(gpu->draws[0].target, *capture) << "the old screen first";
            EXPECT_EQ(gpu->drawingStarted, std::vector<size_t>{1}) << "and handed on before the new scene";
        }
        gpu->drawingStarted.clear();
        const auto& composite = gpu->draws.back();
        EXPECT_EQ(composite.target, platform::kBackBufferTarget) << c.name;
        EXPECT_EQ(composite.texture, *capture) << c.name << ": the old picture goes over the screen";
        EXPECT_EQ(composite.vertices[0].diffuse >> 24, 255u - static_cast<u32>(c.transmittance * 255.f))
            << c.name << ": at this frame's fade";
        EXPECT_EQ(composite.blend, !c.onePass) << c.name;
        if (!c.onePass) {
            EXPECT_EQ(composite.under, 0u) << c.name;
            continue;
        }
        if (picture == 0) picture = composite.under;
        EXPECT_EQ(composite.under, picture) << c.name << ": over the one picture of the new scene";
        ASSERT_EQ(gpu->Objects().count(picture), 1u) << c.name;
        EXPECT_EQ(gpu->Objects().at(picture).width, 1280) << c.name;
        EXPECT_EQ(gpu->Objects().at(picture).height, 720) << c.name;
    }
    // The frame that ends the fade shows the new scene alone and gives the picture back.
    overlay->transmittance = 1.0f;
    gpu->draws.clear();
    ASSERT_TRUE(holder.BeginFrame());
    DrawScenes();
    holder.EndFrame();
    EXPECT_EQ(application->overlayScene, nullptr);
    ASSERT_EQ(gpu->draws.size(), 1u);
    EXPECT_EQ(gpu->draws[0].under, 0u);
    EXPECT_EQ(gpu->Objects().count(picture), 0u) << "the picture of the new scene is given back";
    application->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, ACrossFadeShowsNothingUntilItsNewPicturesAreDecodedAndMakesTheOldScreensCaptureMeanwhile) {
    // While a picture of the new scene is on its way, a fade frame presents
    // nothing (the screen keeps the old scene, all the fade could show yet)
    // but makes the capture and the picture's target; the frame after it has
    // only the new scene to draw. A frame without a transition is never held.
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    application->mainScene = root;
    scene.AddSolid("new", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("old", 4, 4, 7, 8, 9, 255);
    classGraphicObject* newPicture = Add({1}, "new");
    classGraphicObject* overlay = FadeFrom("old");
    const platform::GpuHandle& capture = FakeSceneDraw::Of(overlay->texture)->capture;
    fakes::FakeTexture& fresh = *FakeSceneDraw::Of(newPicture->texture);

    const struct {
        const char* name;
        bool fading;
        bool decoding;
        int presents;
        std::vector<bool> drawsToScreen;  // each draw in order: onto the screen, else into a target
    } cases[] = {
        {"held while its picture decodes: the old screen is captured", true, true, 0, {false}},
        {"held again: the capture is kept", true, true, 0, {}},
        {"decoded: the new scene into its picture, then the mix", true, false, 1, {false, true}},
        {"no transition: drawn though a picture is on its way", false, true, 1, {true, true}},
    };
    for (const auto& c : cases) {
        application->overlayScene = c.fading ? overlay : nullptr;
        overlay->transmittance = 0.2f;
        fresh.decoding = c.decoding;
        if (!c.fading) {
            scene.AddSolid("late", 4, 4, 4, 5, 6, 255);
            FakeSceneDraw::Of(Add({2}, "late")->texture)->decoding = true;
        }
        gpu->draws.clear();
        const int presents = gpu->presents;
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        EXPECT_EQ(gpu->presents - presents, c.presents) << c.name;
        ASSERT_EQ(gpu->draws.size(), c.drawsToScreen.size()) << c.name;
        for (size_t i = 0; i < c.drawsToScreen.size(); ++i) {
            EXPECT_EQ(gpu->draws[i].target == platform::kBackBufferTarget, c.drawsToScreen[i]) << c.name << " " << i;
        }
        if (c.fading && c.decoding) {
            EXPECT_NE(capture, 0u) << c.name;
            EXPECT_TRUE(fresh.tiles.empty()) << c.name << ": the picture is not waited for";
            size_t screenSized = 0;
            for (const auto& object : gpu->Objects()) screenSized += object.second.width == 1280 ? 1 : 0;
            EXPECT_EQ(screenSized, 2u) << c.name << ": the capture and the new scene's picture are made";
        }
        if (c.fading && !c.decoding) {
            EXPECT_EQ(gpu->draws.back().texture, capture) << c.name;
        }
    }
    classGraphicObject::Delete(overlay);
    application->overlayScene = nullptr;
    application->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, AFadeReadsASceneThatIsOnePictureOverTheWholeScreenAsThatPicture) {
    // A side of a cross-fade that is one opaque picture laid texel for pixel
    // over the whole screen, the right way round, is read as it is: the new
    // scene is painted into no picture of the screen, the old one into no
    // capture. Any other scene is.
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    scene.AddSolid("screen", 1280, 720, 1, 2, 3, 255);
    scene.AddSolid("old screen", 1280, 720, 7, 8, 9, 255);
    scene.AddSolid("see-through screen", 1280, 720, 7, 8, 9, 254);
    scene.AddSolid("quarter", 640, 360, 4, 5, 6, 255);
    scene.AddSolid("patch", 4, 4, 4, 5, 6, 255);
    scene.AddSolid("cropped screen", 1280, 720, 7, 8, 9, 255);
    using Change = void (*)(classGraphicObject* picture);
    auto moved = [](float x, float y, float scale) {
        D3DMATRIX m;
        D3DXMatrixScaling(&m, scale, std::fabs(scale), 1.f);
        D3DMATRIX t;
        D3DXMatrixTranslation(&t, x, y, 0.f);
        return m * t;
    };
    static D3DMATRIX oneRight, oneDown, mirrored, doubled;
    oneRight = moved(1.f, 0.f, 1.f), oneDown = moved(0.f, -1.f, 1.f);
    mirrored = moved(0.f, 0.f, -1.f), doubled = moved(0.f, 0.f, 2.f);
    struct Case {
        const char* name;
        const char* fresh;
        Change changeFresh;
        const char* old;
        Change changeOld;
        bool freshAsItIs, oldAsItIs;
    };
    const Case cases[] = {
        {"two whole-screen pictures", "screen", nullptr, "old screen", nullptr, true, true},
        {"the new one a pixel to the right", "screen", [](classGraphicObject* o) { o->drawMatrix = oneRight; },
         "old screen", nullptr, false, true},
        {"the old one a pixel down", "screen", nullptr, "old screen",
         [](classGraphicObject* o) { o->drawMatrix = oneDown; }, true, false},
        {"the new one mirrored", "screen", [](classGraphicObject* o) { o->drawMatrix = mirrored; }, "old screen",
         nullptr, false, true},
        {"a quarter drawn twice as large", "quarter", [](classGraphicObject* o) { o->drawMatrix = doubled; },
         "old screen", nullptr, false, true},
        {"a patch", "screen", nullptr, "patch", nullptr, true, false},
        {"the old one cropped to its middle columns, texel for pixel", "screen", nullptr, "cropped screen",
         [](classGraphicObject* o) {
             for (platform::GpuVertex& v : FakeSceneDraw::Of(o->texture)->tiles.at(0).vertices) {
                 v.x = (v.x + 0.5f) / 2.f - 0.5f;
                 v.u = 0.25f + v.u / 2.f;
             }
         },
         true, false},
        {"texels not all opaque", "see-through screen", nullptr, "old screen", nullptr, false, true},
        {"the old one half transparent", "screen", nullptr, "old screen",
         [](classGraphicObject* o) { o->transmittance = 0.5f; }, true, false},
        {"a shader of its own", "screen", [](classGraphicObject* o) { o->SetPixelShader(":Pixel.Sepia"); },
         "old screen", nullptr, false, true},
        {"tinted as text", "screen", [](classGraphicObject* o) { o->textColour.Set(0x102030); }, "old screen",
         nullptr, false, true},
        {"a patch over the old one", "screen", nullptr, "old screen",
         [](classGraphicObject* o) {
             classGraphicObject::CreateAtPath(o->parent, std::vector<int64>{2})->SetFileTexture("patch");
         },
         true, false},
        {"a filter over the new one", "screen",
         [](classGraphicObject* o) {
             classGraphicObject::CreateAtPath(o->parent, std::vector<int64>{790})->SetFilterTexture(":Pixel.Sepia");
         },
         "old screen", nullptr, false, true},
    };
    for (const Case& c : cases) {
        classGraphicObject* main = classGraphicObject::New();
        classGraphicObject* fresh = classGraphicObject::CreateAtPath(main, std::vector<int64>{1});
        fresh->SetFileTexture(c.fresh);
        if (c.changeFresh != nullptr) c.changeFresh(fresh);
        classGraphicObject* old = nullptr;
        classGraphicObject* overlay = FadeFrom(c.old, &old);
        // The old screen was on show: its pictures are loaded.
        auto realise = [&] {
            for (const auto& child : overlay->children) {
                if (!scene.IsRealised(child.second.texture)) scene.Realise(child.second.texture, *gpu);
            }
        };
        realise();
        if (c.changeOld != nullptr) c.changeOld(old);
        realise();
        overlay->transmittance = 0.4f;
        application->mainScene = main;
        application->overlayScene = overlay;
        size_t targetsBefore = 0, targetsAfter = 0;
        for (const auto& object : gpu->Objects()) targetsBefore += object.second.kind == "render texture" ? 1 : 0;
        gpu->draws.clear();
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        for (const auto& object : gpu->Objects()) targetsAfter += object.second.kind == "render texture" ? 1 : 0;
        ASSERT_FALSE(gpu->draws.empty()) << c.name;
        const auto& mix = gpu->draws.back();
        EXPECT_EQ(mix.under == FakeSceneDraw::Of(fresh->texture)->tiles.at(0).texture, c.freshAsItIs) << c.name;
        EXPECT_EQ(mix.texture == FakeSceneDraw::Of(old->texture)->tiles.at(0).texture, c.oldAsItIs) << c.name;
        const platform::GpuHandle capture = FakeSceneDraw::Of(overlay->texture)->capture;
        bool captured = false, painted = false;
        for (const auto& draw : gpu->draws) {
            captured = captured || (capture != 0 && draw.target == capture);
            painted = painted || (draw.target != capture && draw.target != platform::kBackBufferTarget);
        }
        EXPECT_EQ(captured, !c.oldAsItIs) << c.name;
        EXPECT_EQ(painted, !c.freshAsItIs) << c.name;
        if (c.freshAsItIs && c.oldAsItIs) {
            EXPECT_EQ(targetsAfter, targetsBefore) << c.name << ": no target made";
        }
        application->overlayScene = nullptr;
        application->mainScene = nullptr;
        classGraphicObject::Delete(overlay);
        classGraphicObject::Delete(main);
        transition_draw::ForgetScenePicture();
        g_filterShader = nullptr;
    }
    ShutdownApplication();
}

TEST_F(SceneDrawTest, AFadeBetweenWholeScreenPicturesHeldForTheNewOneMakesAndDrawsNothingMeanwhile) {
    // Held while the new picture decodes, the frame makes no target and
    // draws nothing: the fade's first frame covers the whole screen anyway,
    // and on two cores a draw there is time taken from the decoding. Then
    // the fade mixes the two in one draw.
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    application->mainScene = root;
    scene.AddSolid("new", 1280, 720, 1, 2, 3, 255);
    scene.AddSolid("old", 1280, 720, 7, 8, 9, 255);
    classGraphicObject* fresh = Add({1}, "new");
    classGraphicObject* old = nullptr;
    classGraphicObject* overlay = FadeFrom("old", &old);
    ASSERT_TRUE(scene.Realise(old->texture, *gpu));
    overlay->transmittance = 0.3f;
    application->overlayScene = overlay;
    const platform::GpuHandle oldTexture = FakeSceneDraw::Of(old->texture)->tiles.at(0).texture;
    FakeSceneDraw::Of(fresh->texture)->decoding = true;
    const size_t objects = gpu->Objects().size();
    const int presents = gpu->presents;
    gpu->draws.clear();
    ASSERT_TRUE(holder.BeginFrame());
    DrawScenes();
    holder.EndFrame();
    EXPECT_EQ(gpu->presents, presents) << "held";
    EXPECT_TRUE(gpu->draws.empty());
    EXPECT_EQ(gpu->Objects().size(), objects) << "no capture, no picture of the new scene";

    FakeSceneDraw::Of(fresh->texture)->decoding = false;
    gpu->draws.clear();
    ASSERT_TRUE(holder.BeginFrame());
    DrawScenes();
    holder.EndFrame();
    EXPECT_EQ(gpu->presents, presents + 1);
    ASSERT_EQ(gpu->draws.size(), 1u) << "the mix alone";
    EXPECT_EQ(gpu->draws[0].texture, oldTexture);
    EXPECT_EQ(gpu->draws[0].under, FakeSceneDraw::Of(fresh->texture)->tiles.at(0).texture);
    classGraphicObject::Delete(overlay);
    application->overlayScene = nullptr;
    application->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, RuleWipeFrameIsOneDrawOverThePictureOfTheSceneUnderIt) {
    ASSERT_TRUE(InitApplication());
    GetApplication()->mainScene = root;
    scene.AddSolid("bg", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("rule", 4, 4, 0, 0, 0, 128);
    classGraphicObject* bg = Add({1}, "bg");
    classGraphicObject* wipe = Add({2}, "rule");
    wipe->SetPixelShader(":Transition.CrossDissolve");
    struct Case {
        const char* name;
        void (*change)(classGraphicObject* bg, classGraphicObject* wipe);
        size_t clears;
        size_t draws;
        bool onePass;
        bool lastBlended;  // the scene alone ends opaque
    };
    const Case cases[] = {
        {"the first frame loads the rule, puts the scene under the wipe into its picture and wipes over it",
         nullptr, 1, 2, true, false},
        {"the wipe moves on over that picture",
         [](classGraphicObject*, classGraphicObject* wipe) { wipe->transmittance = 0.2f; }, 0, 1, true, false},
        {"and on", [](classGraphicObject*, classGraphicObject* wipe) { wipe->transmittance = 0.4f; }, 0, 1, true,
         false},
        {"the scene under it moves",
         [](classGraphicObject* bg, classGraphicObject*) { D3DXMatrixTranslation(&bg->drawMatrix, 2.f, 0.f, 0.f); },
         1, 2, true, false},
        {"the hard-edged wipe alike",
         [](classGraphicObject*, classGraphicObject* wipe) { wipe->SetPixelShader(":Transition.DitherDissolve"); },
         0, 1, true, false},
        {"an invisible wipe is not drawn at all, though a hard one's rule is 0 somewhere",
         [](classGraphicObject*, classGraphicObject* wipe) { wipe->transmittance = 1.0f; }, 1, 1, false, false},
        {"another shader is no wipe",
         [](classGraphicObject*, classGraphicObject* wipe) {
             wipe->SetPixelShader(":Pixel.Sepia");
             wipe->transmittance = 0.4f;
         },
         1, 2, false, true},
        {"nor is an object without one",
         [](classGraphicObject*, classGraphicObject* wipe) { wipe->SetPixelShader(""); }, 1, 2, false, true},
    };
    for (const Case& c : cases) {
        if (c.change != nullptr) c.change(bg, wipe);
        gpu->log.clear();
        gpu->draws.clear();
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        size_t clears = 0;
        for (const std::string& line : gpu->log) clears += line.rfind("clear", 0) == 0 ? 1 : 0;
        EXPECT_EQ(clears, c.clears) << c.name;
        ASSERT_EQ(gpu->draws.size(), c.draws) << c.name;
        const auto& last = gpu->draws.back();
        EXPECT_EQ(last.target, platform::kBackBufferTarget) << c.name;
        EXPECT_EQ(last.under != 0, c.onePass) << c.name;
        EXPECT_EQ(last.blend, c.lastBlended) << c.name;
    }
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, AWipeHeldForItsRuleMakesItsCoverAheadThenWipesOverTheBackgroundAsItIs) {
    // Held while its rule decodes, the frame draws and shows nothing, and the
    // cover's storage is made for a rule that lies texel for pixel on the
    // screen; the next frame wipes over the background's own picture.
    ASSERT_TRUE(InitApplication());
    GetApplication()->mainScene = root;
    scene.AddSolid("bg", 1280, 720, 1, 2, 3, 255);
    scene.AddSolid("full", 1280, 720, 0, 0, 0, 128);
    scene.AddSolid("small", 640, 360, 0, 0, 0, 128);
    classGraphicObject* bg = Add({1}, "bg");
    ASSERT_TRUE(scene.Realise(bg->texture, *gpu));
    const platform::GpuHandle bgTexture = FakeSceneDraw::Of(bg->texture)->tiles.at(0).texture;
    struct Case {
        const char* rule;
        std::vector<std::pair<int, int>> wipesAhead;
    };
    const Case cases[] = {{"full", {{1280, 720}}}, {"small", {}}};
    int key = 2;
    for (const Case& c : cases) {
        classGraphicObject* wipe = Add({key++}, c.rule);
        wipe->SetPixelShader(":Transition.CrossDissolve");
        wipe->transmittance = 0.3f;
        FakeSceneDraw::Of(wipe->texture)->decoding = true;
        const int presents = gpu->presents;
        gpu->draws.clear();
        gpu->wipesAhead.clear();
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        EXPECT_EQ(gpu->presents, presents) << c.rule << ": held";
        EXPECT_TRUE(gpu->draws.empty()) << c.rule;
        EXPECT_EQ(gpu->wipesAhead, c.wipesAhead) << c.rule;

        FakeSceneDraw::Of(wipe->texture)->decoding = false;
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        EXPECT_EQ(gpu->presents, presents + 1) << c.rule;
        ASSERT_EQ(gpu->draws.size(), 1u) << c.rule << ": the wipe alone";
        EXPECT_EQ(gpu->draws[0].texture, FakeSceneDraw::Of(wipe->texture)->tiles.at(0).texture) << c.rule;
        EXPECT_EQ(gpu->draws[0].under, bgTexture) << c.rule;
        wipe->SetHidden(1);
    }
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, AStillScreenPreparesTheFirstFadeOnceUnseen) {
    ASSERT_TRUE(InitApplication());
    GetApplication()->mainScene = root;
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    Add({1}, "x");
    auto frame = [&] {
        gpu->log.clear();
        gpu->draws.clear();
        int presents = gpu->presents;
        EXPECT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        EXPECT_EQ(gpu->presents, presents) << "a still screen is never presented";
        return gpu->draws.size();
    };
    // The first frame, and the next with the texture it realised.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
    }
    size_t drawn = 0;
    int frames = 0;
    while (drawn == 0 && frames < 100) {
        drawn = frame();
        ++frames;
    }
    EXPECT_EQ(frames, 30) << "half a second of still frames first";
    // The scene into a picture and into a capture, and the one pass over them.
    ASSERT_EQ(drawn, 3u);
    const platform::GpuHandle picture = gpu->draws.back().under;
    EXPECT_NE(picture, 0u);
    EXPECT_EQ(gpu->Objects().count(picture), 0u) << "the picture it mixed over is given back";
    ASSERT_FALSE(gpu->log.empty());
    EXPECT_EQ(gpu->log.back(), "idle") << "idle memory goes once the programs the fade needs are made";
    auto idles = [&] { return std::count(gpu->log.begin(), gpu->log.end(), "idle"); };
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(frame(), 0u) << "once";
        ASSERT_EQ(idles(), 0) << "once per stillness";
    }
    // A change, then stillness again: no second rehearsal, but memory goes again.
    Add({2}, "x");
    ASSERT_TRUE(holder.BeginFrame());
    DrawScenes();
    holder.EndFrame();
    int settled = 0;
    for (int i = 1; i <= 60; ++i) {
        ASSERT_EQ(frame(), 0u);
        if (idles() != 0) settled = settled == 0 ? i : -1;
    }
    EXPECT_EQ(settled, 30);
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, TheFirstFrameDecodingPicturesRehearsesTheirDrawOffTheScreenOncePerDevice) {
    ASSERT_TRUE(InitApplication());
    GetApplication()->mainScene = root;
    scene.decodesAhead = true;
    ReleaseScenePicture();  // as a new device starts
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    scene.AddSolid("y", 4, 4, 3, 2, 1, 255);
    scene.AddSolid("z", 4, 4, 2, 3, 1, 255);
    auto frame = [&] {
        gpu->draws.clear();
        ASSERT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
    };
    // The logical screen spans x −640…640 and y −360…360 in world units.
    auto offScreen = [](const FakeGpuDevice::Draw& draw) {
        bool off = true;
        for (const platform::GpuVertex& v : draw.vertices)
            off = off && (v.x > 640.f || v.x < -640.f) && (v.y > 360.f || v.y < -360.f);
        return off;
    };
    struct Case {
        const char* what;
        const char* picture;
        bool reset;
        size_t rehearsals;
    };
    const Case cases[] = {
        {"the first frame of the device with a picture to decode", "x", false, 1},
        {"a later one", "y", false, 0},
        {"nothing new to decode after a reset", "x", true, 0},
        {"a new picture after that", "z", false, 1},
    };
    int64 key = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.reset) ReleaseScenePicture();
        Add({key++}, c.picture);
        frame();
        size_t rehearsals = 0;
        // Drawn as the opaque background of this frame is (the last draw), its
        // texels on whole pixels, and a side of no power of two, as screens have.
        const FakeGpuDevice::Draw& background = gpu->draws.back();
        for (const auto& draw : gpu->draws) {
            if (!offScreen(draw)) continue;
            ++rehearsals;
            EXPECT_EQ(draw.blend, background.blend);
            EXPECT_FALSE(draw.blend);
            EXPECT_EQ(draw.stencil, background.stencil);
            EXPECT_EQ(draw.tinted, background.tinted);
            EXPECT_EQ(draw.shader, background.shader);
            EXPECT_EQ(draw.target, background.target);
            const platform::GpuVertex* v = draw.vertices;
            const float wide = v[1].x - v[0].x, high = v[0].y - v[2].y;
            EXPECT_EQ(wide, std::round(wide));
            EXPECT_EQ(high, std::round(high));
            for (const int side : {static_cast<int>(wide), static_cast<int>(high)}) {
                EXPECT_NE(side & (side - 1), 0) << side << " is a power of two";
            }
            EXPECT_EQ(v[3].u - v[0].u, 1.f);
            EXPECT_EQ(v[3].v - v[0].v, 1.f);
            EXPECT_EQ(v[3].x - v[0].x, wide);
            EXPECT_EQ(v[0].y - v[3].y, high);
            EXPECT_EQ(gpu->Objects().count(draw.texture), 0u) << "and its texture given back";
        }
        EXPECT_EQ(rehearsals, c.rehearsals);
        EXPECT_EQ(gpu->draws.size() - rehearsals, static_cast<size_t>(key - 1)) << "every object drawn";
    }
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, ThumbnailCaptureUsesItsOwnTargetAndFreesIt) {
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    Add({1}, "x");
    gpu->readFill = 0x40;
    gpu->log.clear();
    std::vector<u8> bmp;
    CaptureSaveThumbnail(root, bmp);
    ASSERT_EQ(bmp.size(), 34294u);
    EXPECT_EQ(bmp[54], 0x40);
    EXPECT_EQ(bmp[54 + 426], 0) << "padding stays zero whatever was read";
    size_t made = 0;
    for (const auto& [handle, object] : gpu->Objects()) made += object.kind == "readable" ? 1 : 0;
    EXPECT_EQ(made, 0u) << "the 142 x 80 target is released after the capture";
    EXPECT_EQ(gpu->GetRenderTarget(), platform::kBackBufferTarget);
    EXPECT_EQ(gpu->draws.size(), 1u);
    EXPECT_EQ(gpu->draws[0].target, 16u)
        << "drawn into the first object the device made: the thumbnail target";

    holder.Stop();
    CaptureSaveThumbnail(root, bmp);
    EXPECT_TRUE(bmp.empty()) << "no device: no thumbnail, and no crash";
    EXPECT_EQ(CreateSaveThumbnailBmp(nullptr, bmp), 0);
}

TEST_F(SceneDrawTest, OverlayIsDeletedByTheFrameThatDrawsItFadedOut) {
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    application->mainScene = root;
    classGraphicObject* overlay = classGraphicObject::New();
    overlay->SetTransitionTexture();
    application->overlayScene = overlay;
    overlay->transmittance = 0.5f;
    DrawScenes();
    EXPECT_EQ(application->overlayScene, overlay);
    overlay->transmittance = 1.0f;
    DrawScenes();
    EXPECT_EQ(application->overlayScene, nullptr);
    overlay = classGraphicObject::New();
    overlay->transmittance = std::numeric_limits<float>::quiet_NaN();
    application->overlayScene = overlay;
    DrawScenes();
    EXPECT_EQ(application->overlayScene, nullptr) << "not a number counts as faded out";
    application->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneDrawTest, FrameWithNothingVisiblyChangedIsNeitherDrawnNorPresented) {
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    application->mainScene = root;
    scene.AddSolid("x", 4, 4, 1, 2, 3, 255);
    classGraphicObject* object = Add({1}, "x");
    auto frame = [&] {
        gpu->draws.clear();
        int presents = gpu->presents;
        EXPECT_TRUE(holder.BeginFrame());
        DrawScenes();
        holder.EndFrame();
        return gpu->presents - presents;
    };
    EXPECT_EQ(frame(), 1) << "the first frame of a device draws";
    EXPECT_EQ(frame(), 1) << "the texture realised in the last frame is a change";
    EXPECT_EQ(frame(), 0) << "nothing changed";
    EXPECT_TRUE(gpu->draws.empty());
    object->transmittance = 0.25f;
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(frame(), 0);
    object->Stencil = -1;
    EXPECT_EQ(frame(), 1);
    D3DXMatrixTranslation(&object->drawMatrix, 1.f, 0.f, 0.f);
    EXPECT_EQ(frame(), 1) << "moved";
    EXPECT_FALSE(holder.ShowedTheSamePicture()) << "moved";
    FakeSceneDraw::Of(object->texture)->pictureSerial = 7;
    EXPECT_EQ(frame(), 1) << "a movie's new picture";
    EXPECT_EQ(frame(), 0) << "a movie between its pictures";
    Add({2}, "x");
    EXPECT_EQ(frame(), 1) << "a new object";
    object->hidden = 1;
    EXPECT_EQ(frame(), 1) << "hidden";
    EXPECT_EQ(frame(), 0);
    gpu->repaint = true;
    EXPECT_EQ(frame(), 1) << "the window lost its picture";
    EXPECT_FALSE(holder.ShowedTheSamePicture()) << "the window lost its picture";
    EXPECT_EQ(gpu->draws.size(), 1u) << "and the whole scene is drawn again";
    platform::SetClockSource([] { return u32{5}; });
    holder.ArmResetDeadline(0);
    platform::SetClockSource([] { return u32{6}; });
    EXPECT_FALSE(holder.IsReady()) << "the reset runs";
    platform::SetClockSource(nullptr);
    EXPECT_EQ(frame(), 1) << "after a reset";

    // The objects look as before, yet the picture may not be: each of these
    // draws one frame, and then the still screen skips again.
    classGraphicObject* filter = Add({3}, "");
    filter->SetFilterTexture(":Pixel.Monochro");
    EXPECT_EQ(frame(), 1) << "a filter object";
    EXPECT_EQ(frame(), 1) << "its filter reaches the objects drawn before it";
    EXPECT_EQ(frame(), 0);
    classQueue queue;
    classQueContext context;
    context.mainScene = &application->mainScene;
    context.overlayScene = &application->overlayScene;
    // Drawn again, the picture of the first two is the one before: nothing
    // on the screen moves, which the frame says.
    const struct {
        const char* name;
        std::function<void()> happen;
        bool samePicture;
    } changes[] = {
        {"a record ran",
         [&] {
             auto* feed = new classQue_PageFeed();
             feed->sceneMask = 1;
             feed->path = {99};
             queue.Post(feed);
             queue.Commit();
             queue.ExecuteCommitted(context);
         },
         true},
        {"a thumbnail given up is let go to be read again",
         [] {
             classSharedResource* slot = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, "s.dat", 0, 0);
             slot->realised = -1;
             RefreshPlayDataThumbnail("s.dat");
             g_sharedResources.Release(slot);
         },
         true},
        {"the filter's entry made again at the same address under another name",
         [&] {
             FakeSceneDraw::Of(g_filterShader)->name = ":Pixel.Sepia";
             FakeSceneDraw::Of(filter->texture)->name = ":Pixel.Sepia";
         },
         false},
    };
    for (const auto& change : changes) {
        change.happen();
        EXPECT_EQ(frame(), 1) << change.name;
        EXPECT_EQ(holder.ShowedTheSamePicture(), change.samePicture) << change.name;
        EXPECT_EQ(frame(), 0) << change.name << ", then nothing";
    }
    // Records that act on sound alone leave the still screen skipped.
    queue.Post(new classQue_SoundStopToVoice());
    queue.Post(new classQue_SoundVolume());
    queue.Post(new classQue_SoundAllDelete());
    queue.Commit();
    queue.ExecuteCommitted(context);
    EXPECT_EQ(frame(), 0) << "a voice stopped, a volume faded, every sound deleted";

    classGraphicObject* overlay = classGraphicObject::New();
    application->overlayScene = overlay;
    overlay->transmittance = 0.5f;
    EXPECT_EQ(frame(), 1) << "a transition draws every frame";
    EXPECT_FALSE(holder.ShowedTheSamePicture()) << "a transition";
    EXPECT_EQ(frame(), 1);
    overlay->transmittance = 1.0f;
    EXPECT_EQ(frame(), 1) << "the frame that ends the transition still shows the scene";
    EXPECT_EQ(application->overlayScene, nullptr);
    EXPECT_EQ(frame(), 0);
    application->mainScene = nullptr;
    ShutdownApplication();
}

}  // namespace
