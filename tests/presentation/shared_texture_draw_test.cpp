// The shared textures behind the scene drawing: an object showing a file is
// realised at its first draw, drawn with its tile's texture and quad, and
// not loaded again at later frames; a coloured text is tinted while drawing.
#include <gtest/gtest.h>

#include <memory>

#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_draw.h"
#include "presentation/shader_registry.h"
#include "presentation/shared_texture_services.h"
#include "support/bmp_file.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_device_holder.h"
#include "support/temp_folder.h"

namespace {

// A 4 × 2 24-bit BMP, every texel (10, 20, 30).
std::vector<u8> SmallBmp() {
    return testbytes::SolidBmp(4, 2, 10, 20, 30);
}

class SharedTextureDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start());
        gpu = device.gpu;
        previousServices = SetSceneServices(&services);
        previousSource = SetSceneDrawSource(&source);
        root = classGraphicObject::New();
        folder.Put("pic.bmp", SmallBmp());
    }
    void TearDown() override {
        classGraphicObject::Delete(root);
        g_sharedResources.Clear();
        SetSceneDrawSource(previousSource);
        SetSceneServices(previousServices);
    }
    void DrawFrame() {
        gpu->draws.clear();
        gpu->log.clear();
        ASSERT_TRUE(scene_draw::BeginSceneDraw(root));
        scene_draw::DrawTree(root);
        scene_draw::EndSceneDraw(root);
    }
    int Textures() const {
        int count = 0;
        for (const auto& [handle, object] : gpu->Objects()) count += object.kind == "texture" ? 1 : 0;
        return count;
    }

    fakes::FakeGpuDevice* gpu = nullptr;
    FakeDeviceHolder device;
    classGraphicDevice& holder = device.holder;
    classSharedTextureServices services{nullptr};
    classSharedTextureSource source{nullptr};
    classSceneServices* previousServices = nullptr;
    classSceneDrawSource* previousSource = nullptr;
    classGraphicObject* root = nullptr;
    testfiles::TempFolder folder;
};

}  // namespace

TEST_F(SharedTextureDrawTest, AFileIsRealisedAtItsFirstDrawAndKeptAfterwards) {
    classGraphicObject* first = classGraphicObject::CreateAtPath(root, {1});
    classGraphicObject* second = classGraphicObject::CreateAtPath(root, {2});
    first->SetFileTexture(folder / "pic.bmp");
    second->SetFileTexture(folder / "pic.bmp");
    ASSERT_EQ(first->texture, second->texture) << "one file, one shared resource";
    EXPECT_EQ(first->texture->refCount, 2);
    EXPECT_EQ(Textures(), 0) << "nothing is made before the first draw";

    DrawFrame();
    ASSERT_EQ(gpu->draws.size(), 2u);
    EXPECT_EQ(Textures(), 1);
    const platform::GpuHandle texture = first->texture->tiles[0].texture;
    EXPECT_EQ(gpu->draws[0].texture, texture);
    EXPECT_EQ(gpu->draws[1].texture, texture);
    // The 4 × 2 quad around the object's origin, half a texel off: x −2.5…1.5, y 1.5…−0.5.
    EXPECT_FLOAT_EQ(gpu->draws[0].vertices[0].x, -2.5f);
    EXPECT_FLOAT_EQ(gpu->draws[0].vertices[0].y, 1.5f);
    EXPECT_FLOAT_EQ(gpu->draws[0].vertices[3].x, 1.5f);
    EXPECT_FLOAT_EQ(gpu->draws[0].vertices[3].y, -0.5f);
    EXPECT_FLOAT_EQ(gpu->draws[0].vertices[3].u, 1.f);

    const size_t uploads = gpu->uploads.size();
    DrawFrame();
    EXPECT_EQ(gpu->uploads.size(), uploads) << "a realised texture is not loaded again";
    EXPECT_EQ(first->texture->realiseCount, 1);

    // Deleting one object keeps the texture for the other.
    classGraphicObject::Delete(second);
    DrawFrame();
    EXPECT_EQ(gpu->draws.size(), 1u);
    EXPECT_EQ(gpu->draws[0].texture, texture);
}

TEST_F(SharedTextureDrawTest, AMissingFileDrawsNothingUntilItArrives) {
    classGraphicObject* object = classGraphicObject::CreateAtPath(root, {1});
    object->SetFileTexture(folder / "later.bmp");
    DrawFrame();
    EXPECT_TRUE(gpu->draws.empty());
    folder.Put("later.bmp", SmallBmp());
    DrawFrame();
    EXPECT_EQ(gpu->draws.size(), 1u);
}

TEST_F(SharedTextureDrawTest, ShadersAndTextStillReachTheirOwnAnswerers) {
    // Installing the textures must not take the shader programs away from drawing.
    classShaderResource* sepia = AcquireShader(kPixelShaderKind, ":Pixel.Sepia");
    ASSERT_NE(sepia, nullptr);
    EXPECT_EQ(GetSceneServices().AcquireShader(kPixelShaderKind, ":Pixel.Sepia"), sepia);
    EXPECT_NE(source.PixelShader(sepia, *gpu), 0u);
    EXPECT_EQ(source.PixelShader(nullptr, *gpu), 0u);
    ReleaseShader(sepia);
    ReleaseShader(sepia);
}
