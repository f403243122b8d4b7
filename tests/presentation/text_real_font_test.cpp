// The start-up fonts on this machine's real faces. Font 0 ("メイリオ") and
// font 9 ("ＭＳ ゴシック") both draw kana, kanji and punctuation one em wide;
// Latin letters are proportional in font 0 and half an em in the fixed-pitch
// font 9. At size 30, drawn at twice and shown at half, an em advances 30.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "presentation/glyph_set.h"
#include "presentation/shared_resource.h"
#include "presentation/text_realise.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_scene_services.h"

namespace {

const char kMeiryo[] = "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA";
const char kMsGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";

class RealFontTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::ifstream("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf").good() ||
            !std::ifstream("/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf").good()) {
            GTEST_SKIP() << "fonts-ipafont-gothic or fonts-ipaexfont-gothic is not installed";
        }
        ASSERT_TRUE(gpu.Create(1280, 720));
        g_glyphSets.Clear();
        DefineFont(0, kMeiryo, 30, 0);
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

TEST_F(RealFontTextTest, FullWidthCharactersAdvanceOneEmAndLatinFollowsTheFace) {
    struct Case {
        const char* name;
        const char* text;
        int64 font;
        float least, most;
    };
    const Case cases[] = {
        {"ideographic comma, font 0", "\xE3\x80\x81", 0, 30.f, 30.f},
        {"hiragana a, font 0", "\xE3\x81\x82", 0, 30.f, 30.f},
        {"kanji east, font 0", "\xE6\x9D\xB1", 0, 30.f, 30.f},
        {"A, font 0: proportional, inside the em", "A", 0, 1.f, 29.f},
        {"hiragana a, font 9", "\xE3\x81\x82", 9, 30.f, 30.f},
        {"A, font 9: half an em", "A", 9, 15.f, 15.f},
    };
    for (const Case& c : cases) {
        const float advance = Advance(c.text, c.font);
        EXPECT_GE(advance, c.least) << c.name;
        EXPECT_LE(advance, c.most) << c.name;
    }
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
