// Glyph sets: the start-up fonts inherit face and size from the next lower
// number, the font that a description builds, and character lists that bind
// listed characters to their images through the shared textures.

#include "presentation/glyph_set.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/text_encoding.h"
#include "presentation/shared_texture_services.h"
#include "support/fake_font_service.h"
#include "support/presentation/fake_scene_services.h"
#include "support/temp_folder.h"

namespace {

classOptionalValue<int64> Given(int64 value) {
    classOptionalValue<int64> out;
    out.Set(value);
    return out;
}

const char kMeiryo[] = "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA";  // メイリオ
const char kMsGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";  // ＭＳ ゴシック

std::u16string FaceOf(const classGlyphSet& set) {
    return std::u16string(set.logFont.lfFaceName);
}

std::vector<std::pair<classSharedResource*, std::string>> g_bound;
void RecordBinding(classSharedResource* resource, const std::string& file) {
    g_bound.emplace_back(resource, file);
}

class GlyphSetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_glyphSets.Clear();
        g_bound.clear();
        SetGlyphImageBinder(&RecordBinding);
    }
    void TearDown() override {
        g_glyphSets.Clear();
        SetGlyphImageBinder(nullptr);
    }
    void DefineStartupFonts() {
        DefineFont(0, kMeiryo, 30, 0);
        DefineFont(1, nullptr, 20, 0);
        DefineFont(2, nullptr, 10, 0);
        DefineFont(9, kMsGothic, 30, 0);
        DefineFont(10, nullptr, 190, 344);
    }
    fakes::FakeFontService fonts;
    FakeSceneServices services;
};

TEST_F(GlyphSetTest, StartupFontsInheritFaceAndSizeFromTheNextLowerNumber) {
    DefineStartupFonts();
    const std::u16string meiryo = Utf8ToWide(kMeiryo);
    const std::u16string gothic = Utf8ToWide(kMsGothic);
    struct Expected {
        int64 number;
        std::u16string face;
        int32 height;
        int32 width;
    };
    for (const Expected& e : {Expected{0, meiryo, -30, 0}, Expected{1, meiryo, -20, 0}, Expected{2, meiryo, -10, 0},
                              Expected{9, gothic, -30, 0}, Expected{10, gothic, -190, 344}}) {
        classGlyphSet* set = g_glyphSets.Find(e.number);
        ASSERT_NE(set, nullptr) << e.number;
        EXPECT_EQ(FaceOf(*set), e.face) << e.number;
        EXPECT_EQ(set->logFont.lfHeight, e.height) << e.number;
        EXPECT_EQ(set->logFont.lfWidth, e.width) << e.number;
        EXPECT_EQ(set->kind, GlyphSetKind_Font);
        ASSERT_TRUE(set->effective.quality.IsSet()) << "inherited from the default description";
        EXPECT_EQ(set->effective.quality.Get(), 1);
        EXPECT_FALSE(set->given.quality.IsSet());
    }
    EXPECT_TRUE(g_glyphSets.Find(1)->given.faceName.empty()) << "font 1 gave no face of its own";
    EXPECT_EQ(g_glyphSets.Find(3), nullptr);
    EXPECT_EQ(GlyphSetLineHeight(10), 190);
    EXPECT_EQ(GlyphSetLineHeight(1), 20);
    EXPECT_EQ(GlyphSetLineHeight(5), 0) << "no set: no height";
}

TEST_F(GlyphSetTest, MetricsComeFromTheFontTheDescriptionBuilds) {
    DefineStartupFonts();
    const classGlyphSet* font10 = g_glyphSets.Find(10);
    // The fake's line box is the em plus 4; its average width the width asked for.
    EXPECT_EQ(font10->textMetric.tmHeight, 194);
    EXPECT_EQ(font10->textMetric.tmAscent, 190);
    EXPECT_EQ(font10->textMetric.tmAveCharWidth, 344);
    EXPECT_EQ(fonts.ResolvedFamily(font10->font), kMsGothic);
    EXPECT_EQ(fonts.opened[font10->font - 1].emHeight, 190);
    EXPECT_EQ(fonts.opened[font10->font - 1].width, 344);
    // Five definitions each rebuild every set, but a set that comes out the
    // same keeps its font: each is opened once, and only those stay open.
    EXPECT_EQ(fonts.opened.size(), 5u);
    EXPECT_EQ(fonts.OpenCount(), 5);
}

TEST_F(GlyphSetTest, LongFaceNamesAreCutTo31UnitsAndNegativeSizesCountByMagnitude) {
    const std::string longName(40, 'F');
    DefineFont(3, longName.c_str(), -24, 0);
    const classGlyphSet* set = g_glyphSets.Find(3);
    EXPECT_EQ(FaceOf(*set), std::u16string(31, u'F'));
    EXPECT_EQ(set->logFont.lfFaceName[31], 0);
    EXPECT_EQ(set->logFont.lfHeight, -24);
}

TEST_F(GlyphSetTest, ALaterFaceReplacesTheInheritedOneOnlyWhenGiven) {
    DefineFont(0, "A", 30, 0);
    DefineFont(5, "B", 12, 0);
    DefineFont(7, nullptr, 14, 0);
    EXPECT_EQ(FaceOf(*g_glyphSets.Find(7)), u"B");
    // Redefining a lower font's face reaches every higher one that gave none.
    DefineFont(5, "C", 12, 0);
    EXPECT_EQ(FaceOf(*g_glyphSets.Find(7)), u"C");
    EXPECT_EQ(g_glyphSets.Find(7)->logFont.lfHeight, -14);
}

TEST_F(GlyphSetTest, CharacterListBindsListedCharactersToTheirImages) {
    DefineStartupFonts();
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    folder.Put("list.txt", std::string("3042,a.png\r\nnocomma\nFF5D,b.png"));
    EXPECT_TRUE(LoadCharacterSet(0, GlyphSetKind_TintedImages, "list.txt", Given(64), Given(72)));
    EXPECT_TRUE(g_glyphSets.Find(0)->glyphs.empty()) << "nothing changes before the render thread applies it";
    EXPECT_EQ(services.acquires, 0);
    ApplyPendingCharacterSets();
    const classGlyphSet* set = g_glyphSets.Find(0);
    EXPECT_EQ(set->kind, GlyphSetKind_TintedImages);
    EXPECT_EQ(set->defaultWidth, 64);
    EXPECT_EQ(set->defaultHeight, 72);
    ASSERT_EQ(set->glyphs.size(), 2u);
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 1) << "あ in font 0";
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xEF\xBD\x9D", 0), 1) << "｝ in font 0";
    ASSERT_EQ(g_bound.size(), 2u);
    EXPECT_EQ(g_bound[0].second, "a.png");
    EXPECT_EQ(g_bound[1].second, "b.png");

    // Again with the other command: the kind changes, the images are bound
    // anew, and each glyph still holds its resource once.
    EXPECT_TRUE(LoadCharacterSet(0, GlyphSetKind_ColourImages, "list.txt", Given(64), Given(72)));
    ApplyPendingCharacterSets();
    EXPECT_EQ(set->kind, GlyphSetKind_ColourImages);
    EXPECT_EQ(g_bound.size(), 4u);
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 1);

    g_glyphSets.Clear();
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 0) << "a dropped set gives its glyphs back";
    EXPECT_EQ(services.badReleases, 0);
}

TEST_F(GlyphSetTest, MissingListOrMissingFontChangesNothingVisible) {
    DefineStartupFonts();
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    EXPECT_TRUE(LoadCharacterSet(9, GlyphSetKind_ColourImages, "absent.txt", Given(10), Given(10)));
    ApplyPendingCharacterSets();
    EXPECT_TRUE(g_glyphSets.Find(9)->glyphs.empty());
    EXPECT_EQ(g_glyphSets.Find(9)->kind, GlyphSetKind_ColourImages) << "the kind is stored before the read";
    EXPECT_FALSE(LoadCharacterSet(4, GlyphSetKind_ColourImages, "absent.txt", Given(10), Given(10)));
    ApplyPendingCharacterSets();
    EXPECT_EQ(g_glyphSets.Find(4), nullptr) << "no set is made for an unknown font";
    EXPECT_EQ(services.acquires, 0);
}

TEST_F(GlyphSetTest, SceneServicesAnswerFontHeightsFromTheTable) {
    DefineStartupFonts();
    classSceneServices plain;
    EXPECT_EQ(plain.FontHeight(9), 30);
    EXPECT_EQ(plain.FontHeight(10), 190);
    EXPECT_EQ(plain.FontHeight(77), 0);
    // The texture services pass the question on to the services behind them,
    // or answer from the table when there are none.
    classSharedTextureServices texturesOnly(nullptr);
    EXPECT_EQ(texturesOnly.FontHeight(10), 190);
    services.fontHeights[10] = 77;
    classSharedTextureServices withNext(&services);
    EXPECT_EQ(withNext.FontHeight(10), 77);
}

}  // namespace
