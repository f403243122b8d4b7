// Shared textures: the tile size fitting and layout worked out by hand for
// the device rules, the copy into tiles, counting and sharing, the lazy
// realisation with its retry rules, and the device reset on a recording fake.
#include "presentation/shared_resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "presentation/graphic_device.h"
#include "presentation/shared_texture_services.h"
#include "support/bmp_file.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_device_holder.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

const classTextureCaps kPow2Max2048{true, false, 2048, 2048};
const classTextureCaps kPow2Max1024{true, false, 1024, 1024};
const classTextureCaps kSquarePow2Max2048{true, true, 2048, 2048};
const classTextureCaps kFree4096{false, false, 4096, 4096};

std::pair<int32, int32> Fit(int32 w, int32 h, const classTextureCaps& caps) {
    int32 tw = 0, th = 0;
    FitTextureSize(w, h, caps, &tw, &th);
    return {tw, th};
}

// Texel (x, y) is blue = x, green = y, red = 0x77.
std::vector<u8> GradientBmp(int32 width, int32 height) {
    return testbytes::Bmp24(width, height, [](int x, int y) {
        return std::array<u8, 3>{static_cast<u8>(x), static_cast<u8>(y), 0x77};
    });
}

}  // namespace

TEST(TextureFit, PowerOfTwoSquareAndFreeDevices) {
    // 1280 × 720 on a power-of-two device allowing 2048: one 2048 × 1024 tile.
    EXPECT_EQ(Fit(1280, 720, kPow2Max2048), (std::pair<int32, int32>{2048, 1024}));
    // The same with 1024 at most.
    EXPECT_EQ(Fit(1280, 720, kPow2Max1024), (std::pair<int32, int32>{1024, 1024}));
    // Square: the larger side after rounding.
    EXPECT_EQ(Fit(1280, 720, kSquarePow2Max2048), (std::pair<int32, int32>{2048, 2048}));
    // Powers of two start at 2.
    EXPECT_EQ(Fit(1, 3, kPow2Max2048), (std::pair<int32, int32>{2, 4}));
    // No size rules: exactly the content.
    EXPECT_EQ(Fit(1280, 720, kFree4096), (std::pair<int32, int32>{1280, 720}));
    // An empty content still gets a texel, so tiling never divides by zero.
    EXPECT_EQ(Fit(0, 0, kFree4096), (std::pair<int32, int32>{1, 1}));
    // And a content larger than the device allows is capped, to be tiled.
    EXPECT_EQ(Fit(5000, 100, kFree4096), (std::pair<int32, int32>{4096, 100}));
}

TEST(TextureLayout, OneTileOnAPowerOfTwoDevice) {
    classSharedResource resource;
    ASSERT_TRUE(resource.LayOutTiles(kPow2Max2048, 1280, 720));
    ASSERT_EQ(resource.tiles.size(), 1u);
    EXPECT_EQ(resource.alignedWidth, 2048);
    EXPECT_EQ(resource.alignedHeight, 1024);
    const platform::GpuVertex* v = resource.tiles[0].vertices;
    // Content 1280 × 720 centred, y up, half-texel offset: left −640, top 360.
    EXPECT_FLOAT_EQ(v[0].x, -640.5f);
    EXPECT_FLOAT_EQ(v[0].y, 360.5f);
    EXPECT_FLOAT_EQ(v[3].x, 639.5f);
    EXPECT_FLOAT_EQ(v[3].y, -359.5f);
    EXPECT_FLOAT_EQ(v[3].u, 1280.f / 2048.f);
    EXPECT_FLOAT_EQ(v[3].v, 720.f / 1024.f);
    EXPECT_FLOAT_EQ(v[0].u, 0.f);
    EXPECT_EQ(v[2].diffuse, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(v[0].z, 0.f);
}

TEST(TextureLayout, TwoTilesWhenTheDeviceAllowsOnly1024) {
    classSharedResource resource;
    ASSERT_TRUE(resource.LayOutTiles(kPow2Max1024, 1280, 720));
    ASSERT_EQ(resource.tiles.size(), 2u);
    EXPECT_EQ(resource.alignedWidth, 2048);
    EXPECT_EQ(resource.alignedHeight, 1024);
    const platform::GpuVertex* first = resource.tiles[0].vertices;
    EXPECT_FLOAT_EQ(first[1].x, -640.f + 1024.f - 0.5f);
    EXPECT_FLOAT_EQ(first[1].u, 1.f);
    EXPECT_FLOAT_EQ(first[2].v, 720.f / 1024.f);
    // The second tile: origin x 1024, content 256 wide, uMax 0.25.
    const platform::GpuVertex* second = resource.tiles[1].vertices;
    EXPECT_FLOAT_EQ(second[0].x, 1024.f - 640.f - 0.5f);
    EXPECT_FLOAT_EQ(second[1].x, 1024.f - 640.f + 256.f - 0.5f);
    EXPECT_FLOAT_EQ(second[1].u, 0.25f);
    EXPECT_FLOAT_EQ(second[2].y, 360.f - 720.f + 0.5f);

    // Rows of tiles: 3 × 5 with 2 × 2 tiles is 2 across, 3 down; tile 5 starts at (2, 4).
    classSharedResource small;
    ASSERT_TRUE(small.LayOutTiles(classTextureCaps{true, false, 2, 2}, 3, 5));
    ASSERT_EQ(small.tiles.size(), 6u);
    const platform::GpuVertex* last = small.tiles[5].vertices;
    EXPECT_FLOAT_EQ(last[0].x, 2.f - 1.5f - 0.5f);
    EXPECT_FLOAT_EQ(last[0].y, -4.f + 2.5f + 0.5f);
    EXPECT_FLOAT_EQ(last[3].u, 0.5f);
    EXPECT_FLOAT_EQ(last[3].v, 0.5f);
}

namespace {

class SharedResourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start());
        gpu = device.gpu;
        saved = GetDeviceObjectHooks();
        InstallSharedResourceDeviceHooks();
        previous = SetSceneServices(&services_);
    }
    void TearDown() override {
        g_sharedResources.Clear();
        g_sharedResources.SetCapsOverride(nullptr);
        GetSharedResourceHooks() = classSharedResourceHooks{};
        GetDeviceObjectHooks() = saved;
        SetSceneServices(previous);
    }
    int CountObjects(const std::string& kind) const {
        int count = 0;
        for (const auto& [handle, object] : gpu->Objects()) count += object.kind == kind ? 1 : 0;
        return count;
    }

    fakes::FakeGpuDevice* gpu = nullptr;
    FakeDeviceHolder device;
    classGraphicDevice& holder = device.holder;
    classDeviceObjectHooks saved;
    classSharedTextureServices services_{nullptr};
    classSceneServices* previous = nullptr;
    testfiles::TempFolder folder;
};

}  // namespace

TEST_F(SharedResourceTest, TilesHoldTheirPartOfThePictureAndTransparentPadding) {
    classTextureCaps tiny{true, false, 2, 2};
    g_sharedResources.SetCapsOverride(&tiny);
    folder.Put("wide.bmp", GradientBmp(3, 1));
    classSharedResource* image = g_sharedResources.Acquire(TextureKind_ImageFile, folder / "wide.bmp", 0, 0);
    ASSERT_TRUE(image->Realise());
    EXPECT_EQ(image->realised, 1);
    EXPECT_EQ(image->realiseCount, 1);
    ASSERT_EQ(gpu->uploads.size(), 2u);
    // Tile 1 holds source column 2 in its first texel; the other three texels are transparent black.
    const std::vector<u8>& second = gpu->uploads[1].pixels;
    ASSERT_EQ(second.size(), 2u * 2u * 4u);
    EXPECT_EQ(std::vector<u8>(second.begin(), second.begin() + 4), (std::vector<u8>{2, 0, 0x77, 255}));
    for (size_t i = 4; i < second.size(); ++i) EXPECT_EQ(second[i], 0) << "padding byte " << i;
    // Tile 0 holds columns 0 and 1 of row 0; its second row is padding.
    const std::vector<u8>& first = gpu->uploads[0].pixels;
    EXPECT_EQ(std::vector<u8>(first.begin() + 4, first.begin() + 8), (std::vector<u8>{1, 0, 0x77, 255}));
    EXPECT_EQ(first[8 + 3], 0);
    // A picture filling whole tiles goes up as it is, each tile from its own
    // corner: of a 4 x 4 picture, tile 1 holds columns 2-3 of rows 0-1, tile 2
    // columns 0-1 of rows 2-3.
    folder.Put("square.bmp", GradientBmp(4, 4));
    gpu->uploads.clear();
    ASSERT_TRUE(g_sharedResources.Acquire(TextureKind_ImageFile, folder / "square.bmp", 0, 0)->Realise());
    ASSERT_EQ(gpu->uploads.size(), 4u);
    EXPECT_EQ(gpu->uploads[1].pixels, (std::vector<u8>{2, 0, 0x77, 255, 3, 0, 0x77, 255, 2, 1, 0x77, 255, 3, 1, 0x77, 255}));
    EXPECT_EQ(gpu->uploads[2].pixels, (std::vector<u8>{0, 2, 0x77, 255, 1, 2, 0x77, 255, 0, 3, 0x77, 255, 1, 3, 0x77, 255}));
    // Each tile texture has the tile's size.
    for (const classTextureTile& tile : image->tiles) {
        EXPECT_EQ(gpu->Objects().at(tile.texture).width, 2);
        EXPECT_EQ(gpu->Objects().at(tile.texture).height, 2);
    }
}

TEST_F(SharedResourceTest, OnlyATileOfOpaqueTexelsWithoutPaddingIsOpaque) {
    // 2 x 2 pixels (3 x 2 for the padded one), (B, G, R, A) each; a tile is
    // opaque when every texel it uploads has alpha 255, padding included.
    struct Case {
        const char* name;
        std::vector<u8> bgra;
        int32 width;
        bool alphaFromBlue;
        bool powerOfTwo4;  // power-of-two tiles: 3 wide is padded to 4
        bool opaque;
    };
    const std::vector<u8> solid = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255};
    std::vector<u8> oneSeeThrough = solid;
    oneSeeThrough[15] = 254;
    const Case cases[] = {
        {"every texel opaque", solid, 2, false, false, true},
        {"one texel at 254", oneSeeThrough, 2, false, false, false},
        {"opaque but padded with transparent texels", std::vector<u8>(24, 255), 3, false, true, false},
        {"text is a mask, never opaque", std::vector<u8>(16, 255), 2, true, false, false},
    };
    classTextureCaps padded{true, false, 4, 4};
    for (const Case& c : cases) {
        g_sharedResources.SetCapsOverride(c.powerOfTwo4 ? &padded : nullptr);
        classSharedResource resource;
        gpu->uploads.clear();
        ASSERT_TRUE(resource.BuildTiles(*gpu, c.bgra.data(), c.width, 2, static_cast<size_t>(c.width) * 4,
                                        c.alphaFromBlue))
            << c.name;
        ASSERT_EQ(resource.tiles.size(), 1u) << c.name;
        EXPECT_EQ(resource.tiles[0].opaque, c.opaque) << c.name;
        resource.RefreshDrawTiles();
        EXPECT_EQ(resource.drawTiles[0].opaque, c.opaque) << c.name << ": as drawing sees it";
        ASSERT_EQ(gpu->uploads.size(), 1u) << c.name;
        if (!c.alphaFromBlue && !c.powerOfTwo4) {
            EXPECT_EQ(gpu->uploads[0].pixels, c.bgra) << c.name << ": uploaded as it is";
        }
        resource.ReleaseTiles(gpu);
    }
}

TEST_F(SharedResourceTest, TextAsAnAlphaMaskTakesTheBlueByte) {
    // Coverage in the blue byte; green, red and alpha differ so that taking
    // any other byte shows. The texture keeps it as alpha with colour 0.
    std::vector<u8> coverage = {200, 150, 100, 50, 40, 30, 20, 10};
    classSharedResource resource;
    ASSERT_TRUE(resource.BuildTiles(*gpu, coverage.data(), 2, 1, 8, true));
    ASSERT_EQ(gpu->uploads.size(), 1u);
    EXPECT_EQ(gpu->uploads[0].pixels, (std::vector<u8>{0, 0, 0, 200, 0, 0, 0, 40}));
}

TEST_F(SharedResourceTest, EqualKeysShareOneCountedResource) {
    folder.Put("a.bmp", GradientBmp(4, 4));
    classSceneServices& services = GetSceneServices();
    classSharedResource* one = services.AcquireTexture(TextureKind_ImageFile, folder / "a.bmp", 0, 0);
    classSharedResource* two = services.AcquireTexture(TextureKind_ImageFile, folder / "a.bmp", 0, 0);
    ASSERT_EQ(one, two);
    EXPECT_EQ(one->refCount, 2);
    EXPECT_EQ(services.TextureKindOf(one), TextureKind_ImageFile);
    EXPECT_EQ(services.TextureNameOf(one), folder / "a.bmp");
    // The parameter and the unique flag are part of the key.
    classSharedResource* font5 = services.AcquireTexture(TextureKind_Text, "A", 5, 0);
    classSharedResource* font6 = services.AcquireTexture(TextureKind_Text, "A", 6, 0);
    EXPECT_NE(font5, font6);
    EXPECT_EQ(services.TextureParamOf(font6), 6);

    ASSERT_TRUE(one->Realise());
    const platform::GpuHandle texture = one->tiles[0].texture;
    services.ReleaseTexture(two);
    EXPECT_EQ(one->refCount, 1);
    EXPECT_EQ(one->realised, 1) << "the other holder keeps the textures";
    EXPECT_EQ(gpu->Objects().count(texture), 1u);
    services.ReleaseTexture(one);
    EXPECT_EQ(g_sharedResources.Find(TextureKind_ImageFile, folder / "a.bmp", 0, 0), nullptr);
    EXPECT_EQ(gpu->Objects().count(texture), 0u) << "the last release gives the texture back";
    services.ReleaseTexture(nullptr);
}

TEST_F(SharedResourceTest, UniqueKeysAskedForTwiceAreCountedTwice) {
    // A unique resource restored from a save, then asked for again: both holders count.
    classSharedResource* first = g_sharedResources.Acquire(TextureKind_ImageFile, "x.png", 0, 1);
    classSharedResource* again = g_sharedResources.Acquire(TextureKind_ImageFile, "x.png", 0, 1);
    ASSERT_EQ(first, again);
    EXPECT_EQ(first->refCount, 2);
    g_sharedResources.Release(first);
    ASSERT_NE(g_sharedResources.Find(TextureKind_ImageFile, "x.png", 0, 1), nullptr)
        << "the second holder's pointer must still be good";
    g_sharedResources.Release(again);
    EXPECT_EQ(g_sharedResources.Count(), 0u);
}

TEST_F(SharedResourceTest, MissingFilesAreRetriedUndecodableOnesAreNot) {
    testdialogs::ScriptedDialogs dialogs;
    // Alike whether the draw reads the file itself or finds it read ahead.
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "read ahead" : "read by the draw");
        const std::string prefix = ahead ? "ahead-" : "";
        auto realise = [ahead](classSharedResource* resource) {
            if (ahead) resource->DecodeAhead();
            return resource->Realise();
        };
        const std::string late = folder / (prefix + "late.bmp");
        classSharedResource* missing = g_sharedResources.Acquire(TextureKind_ImageFile, late, 0, 0);
        EXPECT_FALSE(realise(missing));
        EXPECT_EQ(missing->realised, 0);
        folder.Put(prefix + "late.bmp", GradientBmp(2, 3));
        EXPECT_TRUE(realise(missing)) << "the file that arrives is shown at the next draw";
        EXPECT_EQ(missing->width, 2);
        EXPECT_EQ(missing->height, 3);

        folder.Put(prefix + "bad.bmp", std::vector<u8>{'B', 'M', 1, 2, 3});
        classSharedResource* bad =
            g_sharedResources.Acquire(TextureKind_ImageFile, folder / (prefix + "bad.bmp"), 0, 0);
        EXPECT_FALSE(realise(bad));
        EXPECT_EQ(bad->realised, -1);
        folder.Put(prefix + "bad.bmp", GradientBmp(2, 2));
        EXPECT_FALSE(realise(bad)) << "given up until the tiles are released";
        bad->ReleaseTiles();
        EXPECT_TRUE(realise(bad));
    }
    EXPECT_TRUE(dialogs.boxes.empty()) << "a missing picture is no box to answer: the draw looks again";

    // Without a device nothing is made and nothing is given up.
    classSharedResource* later = g_sharedResources.Acquire(TextureKind_ImageFile, folder / "late.bmp", 7, 0);
    EXPECT_FALSE(later->Realise(nullptr));
    EXPECT_EQ(later->realised, 0);
    // Filters and the save-thumbnail capture never have a texture here.
    EXPECT_FALSE(g_sharedResources.Acquire(TextureKind_Filter, ":Pixel.Sepia", 0, 0)->Realise());
    EXPECT_FALSE(g_sharedResources.Acquire(TextureKind_ThumbnailCapture, "", 0, 0)->Realise());
}

TEST_F(SharedResourceTest, PlayDataThumbnailsComeFromTheReaderAndFailForGood) {
    classSharedResource* none = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, "save001.dat", 0, 0);
    EXPECT_FALSE(none->Realise()) << "no reader yet";
    EXPECT_EQ(none->realised, -1);

    GetSharedResourceHooks().readPlayDataThumbnail = [](const std::string& file, std::vector<u8>& image) {
        if (file != "save002.dat") return false;
        image = GradientBmp(142, 80);
        return true;
    };
    classSharedResource* slot = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, "save002.dat", 0, 0);
    ASSERT_TRUE(slot->Realise());
    EXPECT_EQ(slot->width, 142);
    EXPECT_EQ(slot->height, 80);
    EXPECT_EQ(none->realised, -1);
    EXPECT_FALSE(none->Realise());
}

TEST_F(SharedResourceTest, TransitionCaptureIsATargetOfTheTilesShapeWithItsDepthStencilOnceAStencilIsDrawn) {
    g_sharedResources.SetCapsOverride(&kPow2Max2048);
    classSharedTextureSource source(nullptr);
    classSharedResource* capture = g_sharedResources.Acquire(TextureKind_TransitionCapture, "", 0, 0);
    const size_t objectsBefore = gpu->Objects().size();
    ASSERT_TRUE(source.BeginRenderTo(capture, *gpu, 1280, 720, false));
    ASSERT_EQ(capture->tiles.size(), 2u);
    const auto& target = gpu->Objects().at(capture->tiles[0].texture);
    EXPECT_EQ(target.kind, "render texture");
    // 1280 × 720 rounded up to powers of two, texel for texel under the quad.
    EXPECT_EQ(target.width, 2048);
    EXPECT_EQ(target.height, 1024);
    // A scene that cuts no holes draws without a depth-stencil.
    EXPECT_EQ(gpu->Objects().size(), objectsBefore + 1);
    EXPECT_EQ(gpu->GetRenderTarget(), capture->tiles[0].texture);
    EXPECT_EQ(gpu->GetDepthStencil(), 0u);
    // The first that does gets one of the target's shape, and keeps it.
    ASSERT_TRUE(source.BeginRenderTo(capture, *gpu, 1280, 720, true));
    const auto& depth = gpu->Objects().at(capture->tiles[1].surface);
    EXPECT_EQ(depth.kind, "depth stencil");
    EXPECT_EQ(depth.width, 2048);
    EXPECT_EQ(depth.height, 1024);
    EXPECT_EQ(gpu->GetRenderTarget(), capture->tiles[0].texture);
    EXPECT_EQ(gpu->GetDepthStencil(), capture->tiles[1].surface);
    ASSERT_TRUE(source.BeginRenderTo(capture, *gpu, 1280, 720, false));
    EXPECT_EQ(gpu->Objects().size(), objectsBefore + 2);
    // The quad is the tile's shape, 2048 × 1024, over the whole texture.
    EXPECT_FLOAT_EQ(capture->tiles[0].vertices[0].x, -1024.5f);
    EXPECT_FLOAT_EQ(capture->tiles[0].vertices[3].y, -511.5f);
    EXPECT_FLOAT_EQ(capture->tiles[0].vertices[3].v, 1.f);
    int w = 0, h = 0;
    source.TextureSize(capture, &w, &h);
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 1024);

    // A screen of no width or no height gives up and stays given up.
    const platform::GpuHandle before = gpu->GetRenderTarget();
    EXPECT_FALSE(source.BeginRenderTo(g_sharedResources.Acquire(TextureKind_TransitionCapture, "", 2, 0),
                                      *gpu, 0, 720, false));
    EXPECT_FALSE(source.BeginRenderTo(g_sharedResources.Acquire(TextureKind_TransitionCapture, "", 3, 0),
                                      *gpu, 1280, 0, false));
    classSharedResource* empty = g_sharedResources.Acquire(TextureKind_TransitionCapture, "", 1, 0);
    EXPECT_FALSE(source.BeginRenderTo(empty, *gpu, 0, 0, false));
    EXPECT_EQ(empty->realised, -1);
    EXPECT_FALSE(source.BeginRenderTo(empty, *gpu, 1280, 720, false));
    EXPECT_EQ(gpu->GetRenderTarget(), before) << "a failed switch leaves the target alone";
}

TEST_F(SharedResourceTest, ResetDropsCapturesAndAFailedResetDropsEverything) {
    folder.Put("bg.bmp", GradientBmp(8, 8));
    classSharedResource* image = g_sharedResources.Acquire(TextureKind_ImageFile, folder / "bg.bmp", 0, 0);
    classSharedResource* capture = g_sharedResources.Acquire(TextureKind_TransitionCapture, "", 0, 0);
    ASSERT_TRUE(image->Realise());
    ASSERT_TRUE(capture->Realise());
    const platform::GpuHandle captureTexture = capture->tiles[0].texture;

    ASSERT_TRUE(holder.Reset());
    EXPECT_EQ(capture->realised, 0);
    EXPECT_TRUE(capture->tiles.empty());
    EXPECT_EQ(gpu->Objects().count(captureTexture), 0u);
    EXPECT_EQ(image->realised, 1) << "ordinary textures outlive a successful reset";

    gpu->resetFailures = 1;
    EXPECT_FALSE(holder.Reset());
    EXPECT_TRUE(image->tiles.empty());
    EXPECT_EQ(CountObjects("texture"), 0);
    // The next draw makes them again, from the file.
    ASSERT_TRUE(image->Realise());
    EXPECT_EQ(image->realiseCount, 2);
    EXPECT_EQ(CountObjects("texture"), 1);
}

TEST_F(SharedResourceTest, DrawSourceAnswersForTilesTintAndScale) {
    classSharedTextureSource source(nullptr);
    folder.Put("t.bmp", GradientBmp(2, 2));
    classSharedResource* image = g_sharedResources.Acquire(TextureKind_ImageFile, folder / "t.bmp", 0, 0);
    EXPECT_FALSE(source.IsRealised(image));
    EXPECT_EQ(source.Tiles(image), nullptr);
    ASSERT_TRUE(source.Realise(image, *gpu));
    ASSERT_NE(source.Tiles(image), nullptr);
    ASSERT_EQ(source.Tiles(image)->size(), 1u);
    EXPECT_EQ((*source.Tiles(image))[0].texture, image->tiles[0].texture);
    EXPECT_FLOAT_EQ((*source.Tiles(image))[0].vertices[1].x, 0.5f);  // 2 − 1 − 0.5

    EXPECT_FLOAT_EQ(source.GetDrawScale(image).x, 1.f);
    source.SetDrawScale(image, D3DXVECTOR3{0.5f, 0.5f, 1.f});
    EXPECT_FLOAT_EQ(source.GetDrawScale(image).y, 0.5f);
    EXPECT_FALSE(source.KeepsOwnColours(image));
    EXPECT_FALSE(source.IsRealised(nullptr));
}

TEST_F(SharedResourceTest, TextIsMadeByTheFontSideAndGlyphImagesAreRebound) {
    classSharedResource* character = g_sharedResources.Acquire(TextureKind_Text, "A", 3, 0);
    EXPECT_FALSE(character->Realise()) << "no font side: nothing to draw";
    GetSharedResourceHooks().realiseText = [](classSharedResource& resource, platform::GpuDevice& device) {
        const u8 white[4] = {255, 255, 255, 0};
        if (!resource.BuildTiles(device, white, 1, 1, 4, true)) return false;
        resource.advanceWidth = 12.f;
        resource.advanceHeight = 20.f;
        resource.FinishRealise();
        return true;
    };
    ASSERT_TRUE(character->Realise());
    float height = 0, zero1 = 1, width = 0, zero2 = 1;
    EXPECT_TRUE(character->GetCharacterSize(&height, &zero1, &width, &zero2));
    EXPECT_FLOAT_EQ(height, 20.f);
    EXPECT_FLOAT_EQ(width, 12.f);
    EXPECT_FLOAT_EQ(zero1, 0.f);
    EXPECT_FLOAT_EQ(zero2, 0.f);

    BindGlyphImage(character, "glyphs\\a.png");
    EXPECT_EQ(character->secondName, "glyphs\\a.png");
    EXPECT_TRUE(character->tiles.empty()) << "the next draw loads the glyph image";
    EXPECT_EQ(character->realised, 0);
}

TEST_F(SharedResourceTest, ASaveRefreshesTheThumbnailOfItsSlot) {
    static int reads = 0;
    reads = 0;
    GetSharedResourceHooks().readPlayDataThumbnail = [](const std::string&, std::vector<u8>& image) {
        ++reads;
        image = GradientBmp(2, 2);
        return true;
    };
    classSharedResource* slot = g_sharedResources.Acquire(TextureKind_PlayDataThumbnail, "save003.dat", 0, 0);
    ASSERT_TRUE(slot->Realise());
    ASSERT_TRUE(slot->Realise());
    EXPECT_EQ(reads, 1);
    RefreshPlayDataThumbnail("save003.dat");
    EXPECT_EQ(slot->refCount, 1) << "the refresh holds it only for a moment";
    EXPECT_TRUE(slot->tiles.empty());
    ASSERT_TRUE(slot->Realise());
    EXPECT_EQ(reads, 2) << "the new file is read at the next draw";
    // A slot nobody shows is not kept alive by the refresh.
    RefreshPlayDataThumbnail("save004.dat");
    EXPECT_EQ(g_sharedResources.Find(TextureKind_PlayDataThumbnail, "save004.dat", 0, 0), nullptr);
}

TEST_F(SharedResourceTest, InputAreasUseThePictureSizeOnceItIsLoaded) {
    // The area of a 6 × 3 picture is 6 × 3, whatever texture it was put in.
    folder.Put("button.bmp", GradientBmp(6, 3));
    classSharedResource* button = g_sharedResources.Acquire(TextureKind_ImageFile, folder / "button.bmp", 0, 0);
    int64 width = -1, height = -1;
    EXPECT_FALSE(SharedTextureContentSize(button, &width, &height)) << "unknown before the first draw";
    ASSERT_TRUE(button->Realise());
    ASSERT_TRUE(SharedTextureContentSize(button, &width, &height));
    EXPECT_EQ(width, 6);
    EXPECT_EQ(height, 3);
    EXPECT_FALSE(SharedTextureContentSize(nullptr, &width, &height));
}

// While a picture decodes, the textures its tiles will take are asked of the
// device as soon as its size is known, once, each of the tile's size; a
// picture of many tiles, a picture not on its way, or one drawn already asks
// for none.
TEST_F(SharedResourceTest, APictureOnItsWayHasItsTexturesMadeAheadOnceItsSizeIsKnown) {
    folder.Put("wide.bmp", GradientBmp(1500, 600));
    folder.Put("huge.bmp", GradientBmp(3000, 3000));
    folder.Put("small.bmp", GradientBmp(3, 3));
    gpu->maxTextureSize = 1024;
    const struct {
        const char* file;
        bool ahead;
        std::vector<std::pair<int, int>> made;
    } cases[] = {
        {"wide.bmp", true, {{1024, 600}, {1024, 600}}},  // two tiles at most 1024 wide
        {"huge.bmp", true, {}},                         // nine: left to the draw
        {"small.bmp", false, {}},                       // not on its way
    };
    for (const auto& c : cases) {
        classSharedResource* picture = g_sharedResources.Acquire(TextureKind_ImageFile, folder / c.file, 0, 0);
        gpu->madeAhead.clear();
        if (c.ahead) {
            ASSERT_TRUE(picture->DecodeAhead()) << c.file;
            int32 width = 0, height = 0;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!picture->ahead.SizeKnown(&width, &height) && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        picture->MakeTexturesAhead(*gpu);
        picture->MakeTexturesAhead(*gpu);
        EXPECT_EQ(gpu->madeAhead, c.made) << c.file;
        EXPECT_TRUE(picture->Realise()) << c.file;
        gpu->madeAhead.clear();
        picture->MakeTexturesAhead(*gpu);
        EXPECT_TRUE(gpu->madeAhead.empty()) << c.file << ": drawn already";
    }
}
