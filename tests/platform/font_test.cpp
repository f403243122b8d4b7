// The FreeType font service against the Japanese faces the build machine
// installs: the game's Windows face names resolve through the alias table,
// the line box follows the OS/2 win metrics (read here from the file's own
// tables, not through FreeType), full-width characters advance one em, and a
// character the face lacks comes from a face that has it.

#include "platform/font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char kMeiryo[] = "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA";  // メイリオ
const char kMsGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";  // ＭＳ ゴシック
const char kIpaGothicFile[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
const char kIpaExGothicFile[] = "/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf";

u32 Be(const std::vector<u8>& b, size_t at, int bytes) {
    u32 v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
    return v;
}

// unitsPerEm from "head", usWinAscent and usWinDescent from "OS/2" of a TrueType file.
bool ReadWinMetrics(const std::string& path, int* upem, int* winAscent, int* winDescent) {
    std::ifstream in(path, std::ios::binary);
    std::vector<u8> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12) return false;
    const u32 tables = Be(b, 4, 2);
    bool head = false, os2 = false;
    for (u32 i = 0; i < tables; ++i) {
        const size_t record = 12 + 16 * static_cast<size_t>(i);
        const std::string tag(reinterpret_cast<const char*>(&b.at(record)), 4);
        const size_t offset = Be(b, record + 8, 4);
        if (tag == "head") {
            *upem = static_cast<int>(Be(b, offset + 18, 2));
            head = true;
        } else if (tag == "OS/2") {
            *winAscent = static_cast<int>(Be(b, offset + 74, 2));
            *winDescent = static_cast<int>(Be(b, offset + 76, 2));
            os2 = true;
        }
    }
    return head && os2;
}

class FontServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::ifstream(kIpaGothicFile).good() || !std::ifstream(kIpaExGothicFile).good()) {
            GTEST_SKIP() << "fonts-ipafont-gothic or fonts-ipaexfont-gothic is not installed";
        }
        fonts = platform::CreateFreeTypeFontService();
    }
    std::unique_ptr<platform::FontService> fonts;
};

TEST_F(FontServiceTest, WindowsFaceNamesResolveToFacesOfTheSameWidthModel) {
    struct Case {
        const char* face;
        const char* family;
    };
    const Case cases[] = {
        {kMeiryo, "IPAexGothic"},  // full-width Japanese, proportional Latin
        {kMsGothic, "IPAGothic"},  // fixed pitch throughout
        {"\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D", "IPAMincho"},  // ＭＳ 明朝
        {"\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF",
         "IPAPGothic"},                                 // ＭＳ Ｐゴシック asks for proportional kana
        {"HG\xE6\x98\x8E\xE6\x9C\x9D", "IPAexMincho"},  // HG明朝: some other mincho
        {"No Such Face At All", "IPAexGothic"},
        // Faces this machine has, asked by their Japanese names, are themselves.
        {"IPA P\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", "IPAPGothic"},  // IPA Pゴシック
        {"IPA\xE6\x98\x8E\xE6\x9C\x9D", "IPAMincho"},                             // IPA明朝
    };
    for (const Case& c : cases) {
        platform::FontHandle font = fonts->OpenFont(c.face, 30, 0);
        ASSERT_NE(font, 0u) << c.face;
        EXPECT_EQ(fonts->ResolvedFamily(font), c.family) << c.face;
        fonts->CloseFont(font);
    }
    platform::FontHandle gothic = fonts->OpenFont(kMsGothic, 30, 0);
    fonts->CloseFont(gothic);
    int width = -1;
    EXPECT_FALSE(fonts->MeasureCharacter(gothic, 0x3042, &width, nullptr)) << "a closed font answers nothing";
}

TEST_F(FontServiceTest, LineBoxFollowsTheWinMetricsScaledToTheEm) {
    int upem = 0, winAscent = 0, winDescent = 0;
    ASSERT_TRUE(ReadWinMetrics(kIpaGothicFile, &upem, &winAscent, &winDescent));
    platform::FontHandle font = fonts->OpenFont(kMsGothic, 60, 0);
    platform::FontMetrics metrics;
    ASSERT_TRUE(fonts->GetMetrics(font, &metrics));
    const int ascent = static_cast<int>(std::lround(static_cast<double>(winAscent) * 60 / upem));
    const int descent = static_cast<int>(std::lround(static_cast<double>(winDescent) * 60 / upem));
    EXPECT_EQ(metrics.ascent, ascent);
    EXPECT_EQ(metrics.descent, descent);
    EXPECT_EQ(metrics.height, ascent + descent);
    int width = 0, height = 0;
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x41, &width, &height));
    EXPECT_EQ(height, ascent + descent) << "every character's box is the line box";
    fonts->CloseFont(font);
}

TEST_F(FontServiceTest, AdvancesAreWholePixelsFullWidthOneEmHalfWidthHalfAnEm) {
    platform::FontHandle font = fonts->OpenFont(kMsGothic, 60, 0);
    int width = 0;
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x3042, &width, nullptr));  // あ
    EXPECT_EQ(width, 60);
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x41, &width, nullptr));  // A
    EXPECT_EQ(width, 30);
    platform::FontHandle small = fonts->OpenFont(kMsGothic, 25, 0);
    ASSERT_TRUE(fonts->MeasureCharacter(small, 0x41, &width, nullptr));
    EXPECT_TRUE(width == 12 || width == 13) << "12.5 rounds to a whole pixel, got " << width;
    fonts->CloseFont(font);
    fonts->CloseFont(small);
}

TEST_F(FontServiceTest, MissingCharactersComeFromAnotherFace) {
    platform::FontHandle font = fonts->OpenFont(kMsGothic, 40, 0);
    int width = 0;
    // U+2654 (white chess king) is in no Japanese face here, only in the general sans faces.
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x2654, &width, nullptr));
    EXPECT_GT(width, 0);
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x10FFFF, &width, nullptr));
    EXPECT_EQ(width, 0) << "a character no face has takes no room";
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x7FFFFFFF, &width, nullptr));
    EXPECT_EQ(width, 0);
    fonts->CloseFont(font);
}

TEST_F(FontServiceTest, RenderingPutsInkInsideTheBoxAndClipsTheRest) {
    platform::FontHandle font = fonts->OpenFont(kMsGothic, 40, 0);
    platform::FontMetrics metrics;
    ASSERT_TRUE(fonts->GetMetrics(font, &metrics));
    const int w = 40, h = metrics.height;
    std::vector<u8> box(static_cast<size_t>(w * h), 0);
    ASSERT_TRUE(fonts->RenderCharacter(font, 0x3042, box.data(), w, h, w));
    int inked = 0, above = 0, below = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (box[static_cast<size_t>(y * w + x)] > 128) {
                ++inked;
                if (y < metrics.ascent) ++above;
                else ++below;
            }
        }
    }
    EXPECT_GT(inked, 40) << "あ leaves ink";
    EXPECT_GT(above, below) << "it sits on the baseline, mostly above it";

    std::vector<u8> space(static_cast<size_t>(w * h), 0);
    ASSERT_TRUE(fonts->RenderCharacter(font, 0x20, space.data(), w, h, w));
    for (u8 v : space) ASSERT_EQ(v, 0) << "a space leaves none";

    // A box far too small for the glyph: drawn clipped, nothing written outside.
    std::vector<u8> tiny(4 * 4 + 16, 0x11);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) tiny[static_cast<size_t>(y * 8 + x)] = 0;
    ASSERT_TRUE(fonts->RenderCharacter(font, 0x3042, tiny.data(), 4, 4, 8));
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x) EXPECT_EQ(tiny[static_cast<size_t>(y * 8 + x)], 0x11);
    EXPECT_FALSE(fonts->RenderCharacter(font, 0x3042, tiny.data(), 4, 4, 2)) << "a pitch narrower than a row";
    fonts->CloseFont(font);
}

TEST_F(FontServiceTest, StretchedWidthMakesTheAverageCharacterThatWide) {
    // Font 10 of the game: em 190, average width 344, roughly twice as wide as tall.
    platform::FontHandle font = fonts->OpenFont(kMsGothic, 190, 344);
    platform::FontMetrics metrics;
    ASSERT_TRUE(fonts->GetMetrics(font, &metrics));
    EXPECT_EQ(metrics.aveCharWidth, 344);
    int narrow = 0, wide = 0;
    platform::FontHandle plain = fonts->OpenFont(kMsGothic, 190, 0);
    ASSERT_TRUE(fonts->MeasureCharacter(plain, 0x3042, &narrow, nullptr));
    ASSERT_TRUE(fonts->MeasureCharacter(font, 0x3042, &wide, nullptr));
    EXPECT_EQ(narrow, 190);
    EXPECT_GT(wide, narrow) << "the stretched font is wider";
    fonts->CloseFont(font);
    fonts->CloseFont(plain);
}

}  // namespace
