// Characters realised as textures: the size and advance arithmetic of a
// character drawn with its font at twice (or four times) its size, the 2×2
// filter, glyph images scaled to the font, and the layout's answers taken
// from realised resources.

#include "presentation/text_realise.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presentation/glyph_set.h"
#include "presentation/shared_resource.h"
#include "presentation/text_layout.h"
#include "support/bmp_file.h"
#include "support/fake_font_service.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_scene_services.h"
#include "support/temp_folder.h"

namespace {

const std::string kA = "\xE3\x81\x82";  // あ

using testbytes::SolidBmp;

class TextRealiseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gpu.Create(1280, 720));
        g_glyphSets.Clear();
        DefineFont(0, "Face", 30, 0);
    }
    void TearDown() override { g_glyphSets.Clear(); }
    classSharedResource Character(const std::string& name, int64 font) {
        classSharedResource resource;
        resource.kind = TextureKind_Text;
        resource.name = name;
        resource.param = font;
        return resource;
    }
    fakes::FakeFontService fonts;
    FakeSceneServices services;
    fakes::FakeGpuDevice gpu;
};

// The fake font at em e measures every character e wide and e + 4 high; the
// unscaled set has tmHeight 34 for its size 30, so cy gains (30 − 34) / 2 = −2.
TEST_F(TextRealiseTest, StartupFontsDrawAtTwiceTheSizeAndShowAtHalf) {
    classSharedResource resource = Character(kA, 0);
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    EXPECT_EQ(fonts.opened.back().emHeight, 60);
    // cx 60, cy 64 − 2 = 62.
    EXPECT_EQ(resource.width, 60);
    EXPECT_EQ(resource.height, 62);
    EXPECT_FLOAT_EQ(resource.advanceWidth, 30.f);
    EXPECT_FLOAT_EQ(resource.advanceHeight, 31.f);
    EXPECT_FLOAT_EQ(resource.drawScale.x, 0.5f);
    EXPECT_FLOAT_EQ(resource.drawScale.y, 0.5f);
    EXPECT_EQ(resource.realised, 1);
    EXPECT_FALSE(resource.tiles.empty());
    resource.ReleaseTiles(&gpu);
}

TEST_F(TextRealiseTest, QualityFontsDrawAtFourTimesAndFilterDownToTwice) {
    g_glyphSets.Find(0)->given.quality.Set(1);
    classSharedResource resource = Character(kA, 0);
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    EXPECT_EQ(fonts.opened.back().emHeight, 120);
    // cx 120, cy 124 − 2 = 122; halved by the filter.
    EXPECT_EQ(resource.width, 60);
    EXPECT_EQ(resource.height, 61);
    EXPECT_FLOAT_EQ(resource.advanceWidth, 30.f);
    EXPECT_FLOAT_EQ(resource.advanceHeight, 30.5f);
    resource.ReleaseTiles(&gpu);
}

TEST_F(TextRealiseTest, CharacterSetFontsAdvanceByTheirDesignHeight) {
    classGlyphSet* set = g_glyphSets.Find(0);
    set->kind = GlyphSetKind_TintedImages;
    set->defaultHeight = 72;
    classSharedResource resource = Character("x", 0);
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    EXPECT_FLOAT_EQ(resource.advanceHeight, 36.f);
    resource.ReleaseTiles(&gpu);
}

TEST_F(TextRealiseTest, UnknownFontOrEmptyNameGivesNoTexture) {
    classSharedResource unknown = Character(kA, 5);
    EXPECT_FALSE(RealiseTextResource(unknown, gpu));
    EXPECT_TRUE(unknown.tiles.empty());
    EXPECT_FLOAT_EQ(unknown.advanceWidth, 0.f);
    classSharedResource empty = Character("", 0);
    EXPECT_FALSE(RealiseTextResource(empty, gpu));
}

TEST(TextBoxFilter, FourSamplesMakeOneWithBlueSummedAfterDividing) {
    // Two destination texels from a 4 × 2 source.
    const u8 coverage[] = {255, 255, 1, 2, 255, 255, 3, 4};
    std::vector<u8> bgra;
    BoxFilterCoverage(coverage, 2, 1, bgra);
    ASSERT_EQ(bgra.size(), 8u);
    EXPECT_EQ(bgra[0], 252) << "full coverage: 4 × (255 / 4)";
    EXPECT_EQ(bgra[1], 255);
    EXPECT_EQ(bgra[2], 255);
    EXPECT_EQ(bgra[3], 0);
    EXPECT_EQ(bgra[4], 1) << "0 + 0 + 0 + 1";
    EXPECT_EQ(bgra[5], 2) << "(1 + 2 + 3 + 4) / 4";
}

TEST_F(TextRealiseTest, GlyphImagesScaleToTheFontAndKeepColoursOnlyInGraphicSets) {
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    folder.Put("glyph.bmp", SolidBmp(40, 50, 10, 20, 30));
    classGlyphSet* set = g_glyphSets.Find(0);
    set->defaultWidth = 20;
    set->defaultHeight = 25;
    set->kind = GlyphSetKind_ColourImages;
    classSharedResource resource = Character(kA, 0);
    resource.secondName = "glyph.bmp";
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    // scaleX = 30 / 20, scaleY = 30 / 25.
    EXPECT_FLOAT_EQ(resource.drawScale.x, 1.5f);
    EXPECT_FLOAT_EQ(resource.drawScale.y, 1.2f);
    EXPECT_FLOAT_EQ(resource.advanceWidth, 60.f);
    EXPECT_FLOAT_EQ(resource.advanceHeight, 30.f);
    EXPECT_EQ(resource.keepsOwnColours, 1);
    resource.ReleaseTiles(&gpu);

    set->kind = GlyphSetKind_TintedImages;
    set->defaultWidth = 0;
    set->defaultHeight = 0;
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    EXPECT_EQ(resource.keepsOwnColours, 0);
    EXPECT_FLOAT_EQ(resource.drawScale.x, 1.f) << "no design size: the image's own size";
    EXPECT_FLOAT_EQ(resource.advanceWidth, 40.f);
    EXPECT_FLOAT_EQ(resource.advanceHeight, 50.f);
    resource.ReleaseTiles(&gpu);

    DefineFont(0, "Face", 30, 45);
    set->defaultWidth = 20;
    set->defaultHeight = 25;
    ASSERT_TRUE(RealiseTextResource(resource, gpu));
    EXPECT_FLOAT_EQ(resource.drawScale.x, 2.25f) << "a font width scales across: 45 / 20";
    resource.ReleaseTiles(&gpu);
}

TEST_F(TextRealiseTest, MissingGlyphImageIsTriedAgainBadOneGivenUp) {
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    classSharedResource resource = Character(kA, 0);
    resource.secondName = "later.bmp";
    EXPECT_FALSE(RealiseTextResource(resource, gpu));
    EXPECT_EQ(resource.realised, 0) << "tried again at the next draw";
    folder.Put("later.bmp", std::string("not a picture"));
    EXPECT_FALSE(RealiseTextResource(resource, gpu));
    EXPECT_EQ(resource.realised, -1);
}

}  // namespace
