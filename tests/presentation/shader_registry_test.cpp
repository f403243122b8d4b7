// The shader registry: shared counted entries by exact name, vertex-shader
// names that are only recorded, programs made lazily on the device and given
// back at a reset, and the key order.

#include "presentation/shader_registry.h"

#include <gtest/gtest.h>

#include "presentation/graphic_device.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_services.h"
#include "support/fake_gpu_device.h"

namespace {

using fakes::FakeGpuDevice;

class ShaderRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gpu.Create(1280, 720));
        entriesBefore = g_shaderRegistry.size();
    }
    void TearDown() override {
        // Every entry a test took was given back.
        EXPECT_EQ(g_shaderRegistry.size(), entriesBefore);
    }
    int ProgramsOnDevice() const {
        int count = 0;
        for (const auto& [handle, object] : gpu.Objects()) {
            if (object.kind.rfind("shader ", 0) == 0) ++count;
        }
        return count;
    }
    FakeGpuDevice gpu;
    size_t entriesBefore = 0;
};

TEST_F(ShaderRegistryTest, SameKeyIsSharedAndTheEntryLivesUntilItsLastHolderLetsGo) {
    classShaderResource* a = AcquireShader(kPixelShaderKind, ":Pixel.Sepia");
    // Objects reach the registry through the default scene services.
    classShaderResource* b = GetSceneServices().AcquireShader(kPixelShaderKind, ":Pixel.Sepia");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refCount, 2);
    EXPECT_EQ(a->name, u":Pixel.Sepia");
    EXPECT_TRUE(a->secondName.empty());
    // The kind and the second name are part of the key.
    classShaderResource* vertex = AcquireShader(kVertexShaderKind, ":Pixel.Sepia");
    classShaderResource* second = AcquireShader(kPixelShaderKind, ":Pixel.Sepia", "b");
    EXPECT_NE(a, vertex);
    EXPECT_NE(a, second);
    EXPECT_EQ(g_shaderRegistry.size(), entriesBefore + 3);
    ReleaseShader(vertex);
    ReleaseShader(second);

    ASSERT_TRUE(a->CreatePixelShader(&gpu));
    EXPECT_EQ(ProgramsOnDevice(), 1);
    ReleaseShader(a);
    EXPECT_EQ(b->refCount, 1);
    EXPECT_NE(b->shader, 0u) << "the other holder keeps the program";
    EXPECT_EQ(ProgramsOnDevice(), 1);
    GetSceneServices().ReleaseShader(b);
    EXPECT_EQ(ProgramsOnDevice(), 0) << "the last release gives the program back";
    ReleaseShader(nullptr);
}

TEST_F(ShaderRegistryTest, KeyOrdersByKindThenNameThenSecondName) {
    const classShaderKey vertexA{kVertexShaderKind, u"a", u""};
    const classShaderKey pixelZ{kPixelShaderKind, u"z", u""};
    EXPECT_TRUE(pixelZ < vertexA) << "kind 2 before kind 3 whatever the names";
    const classShaderKey a2{kPixelShaderKind, u"a", u"z"};
    const classShaderKey b1{kPixelShaderKind, u"b", u"a"};
    EXPECT_TRUE(a2 < b1) << "different names: the second names do not count";
    const classShaderKey a1{kPixelShaderKind, u"a", u"a"};
    EXPECT_TRUE(a1 < a2);
    EXPECT_FALSE(a2 < a1);
    // UTF-16 unit order: U+FF21 (fullwidth A) sorts after every ASCII letter.
    EXPECT_TRUE((classShaderKey{kPixelShaderKind, u"z", u""} < classShaderKey{kPixelShaderKind, u"\uFF21", u""}));
}

TEST_F(ShaderRegistryTest, OnlyTheSevenExactNamesMakeAProgram) {
    for (const char* name : {":Transition.CrossDissolveAlphaIgnore", ":Transition.DitherDissolve",
                             ":Transition.CrossDissolve", ":PixelColor.Change", ":Pixel.Monochro",
                             ":Pixel.Sepia", ":Pixel.Negaposi"}) {
        classShaderResource* entry = AcquireShader(kPixelShaderKind, name);
        EXPECT_TRUE(entry->CreatePixelShader(&gpu)) << name;
        ReleaseShader(entry);
    }
    for (const char* name : {":pixel.sepia", "Pixel.Sepia", ":Pixel.Sepia ", ""}) {
        classShaderResource* entry = AcquireShader(kPixelShaderKind, name);
        EXPECT_FALSE(entry->CreatePixelShader(&gpu)) << "'" << name << "'";
        EXPECT_EQ(entry->shader, 0u);
        ReleaseShader(entry);
    }
    EXPECT_EQ(ProgramsOnDevice(), 0);
}

TEST_F(ShaderRegistryTest, VertexShaderNamesAreCountedButNeverBecomePrograms) {
    classShaderResource* entry = AcquireShader(kVertexShaderKind, ":Pixel.Sepia");
    AddRefShader(entry);
    EXPECT_EQ(entry->refCount, 2);
    EXPECT_FALSE(entry->CreatePixelShader(&gpu));
    entry->ApplyPixelShader(&gpu);
    EXPECT_EQ(ProgramsOnDevice(), 0);
    ReleaseShader(entry);
    ReleaseShader(entry);
}

TEST_F(ShaderRegistryTest, WithoutADeviceNothingIsMadeAndTheNextDrawTriesAgain) {
    classShaderResource* entry = AcquireShader(kPixelShaderKind, ":Pixel.Negaposi");
    EXPECT_FALSE(entry->CreatePixelShader(nullptr));
    EXPECT_TRUE(entry->CreatePixelShader(&gpu));
    const platform::GpuHandle first = entry->shader;
    EXPECT_TRUE(entry->CreatePixelShader(&gpu));
    EXPECT_EQ(entry->shader, first) << "made once, then reused";
    EXPECT_EQ(ProgramsOnDevice(), 1);
    ReleaseShader(entry);
}

TEST_F(ShaderRegistryTest, DeviceResetDropsProgramsKeepsEntriesAndTheNextDrawRemakesThem) {
    RegisterShaderSubsystem();
    classShaderResource* a = AcquireShader(kPixelShaderKind, ":Pixel.Monochro");
    classShaderResource* b = AcquireShader(kPixelShaderKind, ":Pixel.Sepia");
    ASSERT_TRUE(a->CreatePixelShader(&gpu));
    ASSERT_TRUE(b->CreatePixelShader(&gpu));
    ASSERT_NE(GetDeviceObjectHooks().releaseAllPixelShaders, nullptr);
    GetDeviceObjectHooks().releaseAllPixelShaders();
    EXPECT_EQ(a->shader, 0u);
    EXPECT_EQ(b->shader, 0u);
    EXPECT_EQ(ProgramsOnDevice(), 0);
    EXPECT_EQ(g_shaderRegistry.size(), entriesBefore + 2);
    EXPECT_EQ(a->refCount, 1);

    // The draw source's default answers from the registry.
    platform::GpuHandle remade = GetSceneDrawSource().PixelShader(a, gpu);
    EXPECT_NE(remade, 0u);
    EXPECT_EQ(gpu.Objects().at(remade).kind, "shader :Pixel.Monochro");
    ReleaseAllShaderEntries();
    EXPECT_EQ(a->refCount, 1) << "holders still point at their entries after a device release";
    EXPECT_EQ(ProgramsOnDevice(), 0);
    ReleaseShader(a);
    ReleaseShader(b);
}

TEST_F(ShaderRegistryTest, ApplyAndResetSetAndUnsetTheProgram) {
    classShaderResource* entry = AcquireShader(kPixelShaderKind, ":Pixel.Negaposi");
    entry->ApplyPixelShader(&gpu);
    ASSERT_NE(entry->shader, 0u);
    gpu.SetTexture(0);
    platform::GpuVertex quad[4]{};
    gpu.DrawQuadStrip(quad);
    entry->ResetPixelShader(&gpu);
    gpu.DrawQuadStrip(quad);
    ASSERT_EQ(gpu.draws.size(), 2u);
    EXPECT_EQ(gpu.draws[0].shader, entry->shader);
    EXPECT_EQ(gpu.draws[1].shader, 0u);

    classShaderResource* unknown = AcquireShader(kPixelShaderKind, "nothing");
    unknown->ApplyPixelShader(&gpu);
    gpu.DrawQuadStrip(quad);
    EXPECT_EQ(gpu.draws[2].shader, 0u) << "an unknown name draws unshaded";
    ReleaseShader(unknown);
    ReleaseShader(entry);
}

}  // namespace
