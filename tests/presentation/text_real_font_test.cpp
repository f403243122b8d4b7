// The start-up fonts on this machine's real faces: the fixed-pitch gothic
// that stands in for font 9 draws full-width characters one em wide and
// half-width ones half an em, so at size 30, drawn at twice and shown at
// half, あ advances 30 and A 15 whatever the face's outlines.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "presentation/glyph_set.h"
#include "presentation/shared_resource.h"
#include "presentation/text_realise.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_scene_services.h"

namespace {

const char kMsGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";

class RealFontTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::ifstream("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf").good()) {
            GTEST_SKIP() << "fonts-ipafont-gothic is not installed";
        }
        ASSERT_TRUE(gpu.Create(1280, 720));
        g_glyphSets.Clear();
        DefineFont(9, kMsGothic, 30, 0);
        DefineFont(10, nullptr, 190, 344);
    }
    void TearDown() override { g_glyphSets.Clear(); }
    float Advance(const std::string& name, int64 font) {
        classSharedResource resource;
        resource.kind = TextureKind_Text;
        resource.name = name;
        resource.param = font;
        EXPECT_TRUE(RealiseTextResource(resource, gpu)) << name;
        const float advance = resource.advanceWidth;
        resource.ReleaseTiles(&gpu);
        return advance;
    }
    FakeSceneServices services;
    fakes::FakeGpuDevice gpu;
};

TEST_F(RealFontTextTest, FixedPitchGothicAdvancesByWholeAndHalfEms) {
    EXPECT_FLOAT_EQ(Advance("\xE3\x81\x82", 9), 30.f);
    EXPECT_FLOAT_EQ(Advance("A", 9), 15.f);
    EXPECT_GT(Advance("\xE3\x81\x82", 10), 190.f) << "font 10 is stretched wider than its height";
}

TEST_F(RealFontTextTest, MetricsOfTheStartupFontsAreALineBoxAroundTheEm) {
    classCriticalSectionLock hold(g_glyphSets.lock);
    const classGlyphSet* font9 = g_glyphSets.Find(9);
    ASSERT_NE(font9, nullptr);
    EXPECT_EQ(font9->textMetric.tmHeight, font9->textMetric.tmAscent + font9->textMetric.tmDescent);
    EXPECT_GE(font9->textMetric.tmHeight, 30);
    EXPECT_LE(font9->textMetric.tmHeight, 45) << "a CJK face's win box is not far beyond its em";
    EXPECT_EQ(g_glyphSets.Find(10)->textMetric.tmAveCharWidth, 344);
}

}  // namespace
