// Scenes drawn by the device holder on a real GL context (SDL's offscreen
// driver): an image lands texel for texel, transmittance 0.5 halves it,
// stencil objects cut and restore, a transition half-way mixes the old and
// the new screen, and the save thumbnail shows the screen the right way up.
// Expected pixels are colour × alpha worked out by hand, ±1 (±2 for the
// scaled thumbnail).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <memory>
#include <vector>

#include "foundation/application.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_draw.h"
#include "support/fake_scene_draw.h"

namespace {

using Pixel = std::array<int, 4>;

class SceneOnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = platform::CreateSdlWindow();
        if (!window->Create("scene test", 1280, 720)) GTEST_SKIP() << "no video driver";
        holder = std::make_unique<classGraphicDevice>();
        holder->Setup(
            platform::CreateGlDevice(window->CreateRenderSurface(1280, 720)),
            [] {
                return platform::ClientSize{1280, 720};
            },
            1280, 720, 0);
        if (!holder->Start()) GTEST_SKIP() << "no GL 3.3 core context on this machine";
        SetGraphicDevice(holder.get());
        holder->IsReady();
        ASSERT_TRUE(holder->IsReady());
        ASSERT_TRUE(holder->BeginFrame());
        root = classGraphicObject::New();
        g_filterShader = nullptr;
    }
    void TearDown() override {
        classGraphicObject::Delete(root);
        if (holder != nullptr) holder->Stop();
        SetGraphicDevice(nullptr);
        holder.reset();
        window.reset();
        platform::ShutdownVideo();
    }
    classGraphicObject* Add(std::vector<int64> path, const std::string& image, float x = 0.f, float y = 0.f) {
        classGraphicObject* object = classGraphicObject::CreateAtPath(root, path);
        object->SetFileTexture(image);
        D3DXMatrixTranslation(&object->drawMatrix, x, y, 0.f);
        return object;
    }
    void DrawScene(classGraphicObject* scene) {
        ASSERT_TRUE(scene_draw::BeginSceneDraw(scene));
        scene_draw::DrawTree(scene);
        scene_draw::EndSceneDraw(scene);
    }
    void ReadScreen() {
        screen.assign(1280u * 720u * 4u, 0xEE);
        ASSERT_TRUE(
            holder->GetDevice()->ReadPixelsBGRA(platform::kBackBufferTarget, screen.data(), 1280 * 4));
    }
    // World (x, y) of the logical screen is pixel (640 + x, 360 − y).
    Pixel At(int x, int y) const {
        size_t at = (static_cast<size_t>(y) * 1280 + x) * 4;
        return {screen[at], screen[at + 1], screen[at + 2], screen[at + 3]};
    }
    static void ExpectNear(const Pixel& got, const Pixel& want, int tolerance, const std::string& what) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], tolerance) << what << ", channel " << c;
    }

    fakes::FakeSceneDraw scene;
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<classGraphicDevice> holder;
    classGraphicObject* root = nullptr;
    std::vector<u8> screen;
};

TEST_F(SceneOnDisplay, ImageAtTheOriginIsTexelExactThroughTheCamera) {
    std::vector<u8> texels;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) texels.insert(texels.end(), {u8(40 * x + 1), u8(40 * y + 2), 99, 255});
    }
    scene.AddImage("grid", 4, 4, texels);
    // An odd-sized image centred on the origin keeps its half-texel offset;
    // an even one lands on whole pixels: 638..641 × 358..361.
    Add({1}, "grid");
    DrawScene(root);
    ReadScreen();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(At(638 + x, 358 + y), (Pixel{40 * x + 1, 40 * y + 2, 99, 255})) << x << "," << y;
        }
    }
    EXPECT_EQ(At(637, 360), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(At(642, 360), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(At(640, 357), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(At(640, 362), (Pixel{0, 0, 0, 255}));
}

TEST_F(SceneOnDisplay, HalfTransmittanceDrawsAtAlpha128OverBlack) {
    scene.AddSolid("orange", 16, 16, 50, 100, 200, 255);
    Add({1}, "orange", -300.f, 0.f)->transmittance = 0.5f;
    DrawScene(root);
    ReadScreen();
    // 128/255 of (50, 100, 200) over black: (25.1, 50.2, 100.4).
    ExpectNear(At(340, 360), {25, 50, 100, 0}, 1, "alpha 128");
}

TEST_F(SceneOnDisplay, StencilObjectsCutAndRestoreWhatOrdinaryObjectsShow) {
    scene.AddSolid("hole", 200, 200, 0, 0, 0, 0);  // transparent: only its rectangle counts
    scene.AddSolid("patch", 40, 40, 0, 0, 255, 255);
    scene.AddSolid("green", 1280, 720, 0, 255, 0, 255);
    Add({1}, "hole")->Stencil = -1;
    Add({2}, "patch", 50.f, 0.f)->Stencil = 1;
    Add({3}, "green")->Stencil = 0;
    DrawScene(root);
    ReadScreen();
    ExpectNear(At(640 - 300, 360), {0, 255, 0, 0}, 0, "outside the hole an ordinary object shows");
    ExpectNear(At(640 - 50, 360 - 50), {0, 0, 0, 0}, 0, "inside the hole it does not");
    ExpectNear(At(640 + 50, 360), {0, 255, 0, 0}, 0, "the restored patch lets it through again");
    ExpectNear(At(640 + 50 - 25, 360), {0, 0, 0, 0}, 0, "beside the patch the hole stays");
}

TEST_F(SceneOnDisplay, TransitionHalfWayMixesTheOldScreenWithTheNew) {
    scene.AddSolid("red", 1280, 720, 0, 0, 255, 255);
    scene.AddSolid("blue", 1280, 720, 255, 0, 0, 255);
    classGraphicObject* picture = Add({1}, "red");
    // The overlay: a copy of the old screen in its capture, fading out over 1000 ms.
    classGraphicObject* overlay = classGraphicObject::New();
    ASSERT_TRUE(classGraphicObject::CopyTree(overlay, root));
    overlay->SetTransitionTexture();
    overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
    classGraphicSlot* fade = overlay->GetOrCreateSlot(classKey64(0));
    fade->Transmittance = 1.0f;
    fade->Time = 1000;
    fade->Loop = 1;
    // The batch of changes under the transition turns the screen blue.
    picture->SetFileTexture("blue");
    classGraphicObject::UpdateFrame(overlay, 5000);
    classGraphicObject::UpdateFrame(overlay, 5500);
    ASSERT_NEAR(overlay->transmittance, 0.5f, 0.01f) << "half-way through the fade";
    DrawScene(root);
    DrawScene(overlay);
    ReadScreen();
    // alpha = 255 − trunc(0.5 × 255) = 128: red × 128/255 + blue × 127/255.
    ExpectNear(At(100, 100), {127, 0, 128, 0}, 2, "half-way mix");
    ExpectNear(At(1200, 650), {127, 0, 128, 0}, 2, "the mix covers the whole screen");
    classGraphicObject::Delete(overlay);
}

TEST_F(SceneOnDisplay, ATransitionKeepsTheHoleTheOldScreenCut) {
    scene.AddSolid("hole", 200, 200, 0, 0, 0, 0);
    scene.AddSolid("red", 1280, 720, 0, 0, 255, 255);
    scene.AddSolid("blue", 1280, 720, 255, 0, 0, 255);
    Add({1}, "hole")->Stencil = -1;
    classGraphicObject* picture = Add({2}, "red");
    classGraphicObject* overlay = classGraphicObject::New();
    ASSERT_TRUE(classGraphicObject::CopyTree(overlay, root));
    overlay->SetTransitionTexture();
    overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
    overlay->transmittance = 0.5f;
    // The new screen is blue all over, without a hole.
    classGraphicObject::Delete(classGraphicObject::FindByPath(root, std::vector<int64>{1}));
    picture->SetFileTexture("blue");
    DrawScene(root);
    DrawScene(overlay);
    ReadScreen();
    // alpha 128: the old screen × 128/255 + blue × 127/255, the old one black in its hole.
    ExpectNear(At(640 - 300, 360), {127, 0, 128, 0}, 2, "outside the old hole");
    ExpectNear(At(640, 360), {127, 0, 0, 0}, 2, "inside the old hole");
    classGraphicObject::Delete(overlay);
}

TEST_F(SceneOnDisplay, CrossFadeFramesMixEveryPixelOfTheOldScreenOverTheNew) {
    // Old screen red with a yellow patch at the top right; the new one blue
    // with a green patch at the top left, in one case with a hole cut in its
    // middle. Each frame mixes at its own alpha 255 − trunc(255 t), also in
    // the frames that reuse the pictures, with each patch where it belongs
    // (not mirrored), and a hole stays black throughout: the old picture is
    // drawn over the new screen under the new screen's stencil.
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    scene.AddSolid("red", 1280, 720, 0, 0, 255, 255);
    scene.AddSolid("yellow", 200, 100, 0, 255, 255, 255);
    scene.AddSolid("blue", 1280, 720, 255, 0, 0, 255);
    scene.AddSolid("green", 200, 100, 0, 255, 0, 255);
    scene.AddSolid("hole", 200, 200, 0, 0, 0, 0);
    struct Case {
        float transmittance;
        int oldPart;  // 255 − alpha: the new screen's share
    };
    const Case frames[] = {{0.25f, 63}, {0.5f, 127}, {0.75f, 191}};
    for (bool hole : {false, true}) {
        classGraphicObject* picture = Add({2}, "red");
        Add({3}, "yellow", 400.f, 250.f);
        classGraphicObject* overlay = classGraphicObject::New();
        ASSERT_TRUE(classGraphicObject::CopyTree(overlay, root));
        overlay->SetTransitionTexture();
        overlay->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
        picture->SetFileTexture("blue");
        classGraphicObject* patch = classGraphicObject::FindByPath(root, std::vector<int64>{3});
        patch->SetFileTexture("green");
        D3DXMatrixTranslation(&patch->drawMatrix, -400.f, 250.f, 0.f);
        if (hole) Add({1}, "hole")->Stencil = -1;
        application->mainScene = root;
        application->overlayScene = overlay;
        for (const Case& c : frames) {
            overlay->transmittance = c.transmittance;
            ASSERT_TRUE(holder->BeginFrame());
            DrawScenes();
            ReadScreen();
            holder->EndFrame();
            const int n = c.oldPart, o = 255 - c.oldPart;  // new and old shares of 255
            const std::string name = std::string(hole ? "with a hole" : "no hole") + ", t " +
                                     std::to_string(c.transmittance);
            // B, G, R of old × o/255 + new × n/255.
            ExpectNear(At(100, 600), {n, 0, o, 0}, 2, name + ": blue under red");
            ExpectNear(At(1200, 650), {n, 0, o, 0}, 2, name + ": far corner");
            ExpectNear(At(240, 110), {0, n, o, 0}, 2, name + ": green under red");
            ExpectNear(At(1040, 110), {n, o, o, 0}, 2, name + ": blue under yellow");
            ExpectNear(At(240, 610), {n, 0, o, 0}, 2, name + ": nothing mirrored below");
            ExpectNear(At(640, 360), hole ? Pixel{0, 0, 0, 0} : Pixel{n, 0, o, 0}, hole ? 0 : 2,
                       name + ", the middle");
        }
        application->mainScene = nullptr;
        application->overlayScene = nullptr;
        classGraphicObject::Delete(overlay);
        classGraphicObject::Delete(root);
        root = classGraphicObject::New();
    }
    ShutdownApplication();
}

TEST_F(SceneOnDisplay, RuleWipeFramesMixTheWipeOverTheSceneUnderIt) {
    // Blue with a green patch at the top left, under a soft wipe whose rule
    // is (B, G, R) = (50, 100, 200) at alpha 102 (0.4): at vertex alpha a the
    // wipe covers by 2a/255 − 0.4, in the frame that draws in steps and in
    // the frames that mix over the scene's picture alike.
    ASSERT_TRUE(InitApplication());
    GetApplication()->mainScene = root;
    scene.AddSolid("blue", 1280, 720, 255, 0, 0, 255);
    scene.AddSolid("green", 200, 100, 0, 255, 0, 255);
    scene.AddSolid("rule", 1280, 720, 50, 100, 200, 102);
    Add({1}, "blue");
    Add({2}, "green", -400.f, 250.f);
    classGraphicObject* wipe = Add({3}, "rule");
    wipe->SetPixelShader(":Transition.CrossDissolve");
    struct Case {
        float transmittance;
        double cover;  // 2 × (255 − trunc(255 t)) / 255 − 0.4
    };
    const Case frames[] = {{0.5f, 2.0 * 128 / 255 - 0.4}, {0.75f, 2.0 * 64 / 255 - 0.4}, {0.6f, 2.0 * 103 / 255 - 0.4}};
    for (const Case& c : frames) {
        wipe->transmittance = c.transmittance;
        ASSERT_TRUE(holder->BeginFrame());
        DrawScenes();
        ReadScreen();
        holder->EndFrame();
        auto mix = [&](int rule, int under) { return static_cast<int>(rule * c.cover + under * (1 - c.cover) + 0.5); };
        const std::string name = "t " + std::to_string(c.transmittance);
        ExpectNear(At(100, 600), {mix(50, 255), mix(100, 0), mix(200, 0), 0}, 2, name + ", over blue");
        ExpectNear(At(240, 110), {mix(50, 0), mix(100, 255), mix(200, 0), 0}, 2, name + ", over green");
    }
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}

TEST_F(SceneOnDisplay, ThumbnailShowsTheScreenTheRightWayUpBottomRowFirst) {
    scene.AddSolid("band", 1280, 360, 0, 0, 255, 255);
    Add({1}, "band", 0.f, 180.f);  // the top half of the screen
    std::vector<u8> bmp;
    CaptureSaveThumbnail(root, bmp);
    ASSERT_EQ(bmp.size(), 34294u);
    EXPECT_EQ(bmp[0], 0x42);
    EXPECT_EQ(bmp[1], 0x4D);
    for (int fileRow = 0; fileRow < 80; ++fileRow) {
        if (fileRow >= 38 && fileRow <= 41) continue;  // the band's edge may blend
        const u8* row = bmp.data() + 54 + fileRow * 428;
        // File rows 0..39 are the bottom of the picture: black; 40..79 the red band.
        int red = fileRow >= 40 ? 255 : 0;
        for (int x : {0, 70, 141}) {
            EXPECT_NEAR(row[x * 3], 0, 2) << "row " << fileRow << " x " << x;
            EXPECT_NEAR(row[x * 3 + 1], 0, 2) << "row " << fileRow << " x " << x;
            EXPECT_NEAR(row[x * 3 + 2], red, 2) << "row " << fileRow << " x " << x;
        }
        EXPECT_EQ(row[426], 0);
        EXPECT_EQ(row[427], 0);
    }
    // The screen's own target is back, and the frame goes on drawing there.
    EXPECT_EQ(holder->GetDevice()->GetRenderTarget(), platform::kBackBufferTarget);
}

TEST_F(SceneOnDisplay, EmptySceneGivesABlackThumbnail) {
    std::vector<u8> bmp;
    CaptureSaveThumbnail(root, bmp);
    ASSERT_EQ(bmp.size(), 34294u);
    for (size_t i = 54; i < bmp.size(); ++i) ASSERT_EQ(bmp[i], 0) << "byte " << i;
}

}  // namespace
