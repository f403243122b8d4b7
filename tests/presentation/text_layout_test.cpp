// Text layout on a box of 200 × 100 where every character is 30 wide and 34
// high and the line font is 30 high, so every position below is worked out
// by hand: a character's x is −100 + 15 + cursor, its y (50 − 20) + 17 +
// cursor, the cursor moves 29.5 per character, and a line drops 30 + 20.

#include "presentation/text_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "foundation/key_wait_lock.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_object.h"
#include "support/fake_font_service.h"
#include "support/presentation/fake_scene_services.h"

namespace {

class FixedLayoutSource final : public classTextLayoutSource {
  public:
    void BoxSize(classSharedResource*, int64* width, int64* height) override {
        *width = boxWidth;
        *height = boxHeight;
    }
    void CharacterSize(classSharedResource*, float* width, float* height) override {
        *width = 30.f;
        *height = 34.f;
    }
    int64 boxWidth = 200;
    int64 boxHeight = 100;
};

const std::string kA = "\xE3\x81\x82";        // あ
const std::string kI = "\xE3\x81\x84";        // い
const std::string kMaru = "\xE3\x80\x82";     // 。
const std::string kKagi = "\xE3\x80\x8C";     // 「
const std::string kKanji = "\xE6\xBC\xA2\xE5\xAD\x97";  // 漢字
const std::string kRuby = "\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98\xE3\x82\x87";  // かんじょ

class TextLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_glyphSets.Clear();
        DefineFont(0, "Face", 30, 0);
        DefineFont(9, "Mono", 30, 0);
        services.fontHeights[0] = 30;
        previous = SetTextLayoutSource(&source);
        box = classGraphicObject::New();
        box->SetFileTexture("box.png");
    }
    void TearDown() override {
        classGraphicObject::Delete(box);
        SetTextLayoutSource(previous);
        g_glyphSets.Clear();
        ClearKeyWaitLock();
    }
    void Lay(const std::string& text, int64 speed = 0, int64 fadeMode = 1, int64 fadeTime = 300) {
        classTextRequest request;
        request.text = text;
        request.colour = 0xFFFFFF;
        request.speed = speed;
        request.fadeMode = fadeMode;
        request.fadeTime = fadeTime;
        box->AddTextRequest(request);
        ASSERT_TRUE(DrawTextStep(*box));
    }
    std::vector<classGraphicObject*> Characters() {
        std::vector<classGraphicObject*> out;
        for (auto& [key, child] : box->characters) out.push_back(&child);
        return out;
    }
    static float X(classGraphicObject* c) { return c->FindSlot(classKey64(kTextSlotPosition))->Position.x; }
    static float Y(classGraphicObject* c) { return c->FindSlot(classKey64(kTextSlotPosition))->Position.y; }
    std::string NameOf(classGraphicObject* c) { return services.TextureNameOf(c->texture); }
    int64 FontOf(classGraphicObject* c) { return services.TextureParamOf(c->texture); }
    // The character's transmittance after it has lived `elapsed` more milliseconds.
    static float After(classGraphicObject* c, int64 elapsed) {
        classGraphicObject::Update(c, elapsed);
        return c->transmittance;
    }

    fakes::FakeFontService fonts;
    FakeSceneServices services;
    FixedLayoutSource source;
    classTextLayoutSource* previous = nullptr;
    classGraphicObject* box = nullptr;
};

// --- Placement and line breaks ---

TEST_F(TextLayoutTest, CharactersStepAlongTheLineAndBreakWhereTheRulesSay) {
    struct Place {
        size_t index;
        float x;
        float y;
    };
    struct Case {
        const char* name;
        std::string text;
        u8 singleLine;
        size_t count;
        std::vector<Place> places;
    };
    const Case cases[] = {
        {"one step of 29.5 per character", "abcdefgh", 0, 8, {{0, -85.f, 47.f}, {1, -55.5f, 47.f}}},
        {"cursor 177 after six: still on the line", "abcdefgh", 0, 8, {{6, -85.f + 6 * 29.5f, 47.f}}},
        {"cursor 206.5 > 200 after seven: the eighth starts the next line", "abcdefgh", 0, 8, {{7, -85.f, -3.f}}},
        {"backslash n breaks the line", kA + "\\n" + kI, 0, 2, {{1, -85.f, -3.f}}},
        {"a real line feed is a character", "a\nb", 0, 3, {}},
        {"a prohibited character hangs past the edge, the break follows it", "abcdefg" + kMaru + "h", 0, 9,
         {{7, -85.f + 7 * 29.5f, 47.f}, {8, -85.f, -3.f}}},
        {"an opening bracket indents the wrapped lines to 30", kKagi + "abcdefgh", 0, 9, {{7, -55.f, -3.f}}},
        {"one space after a break is dropped, a second stays", "a\\n  b", 0, 3, {{1, -85.f, -3.f}, {2, -55.5f, -3.f}}},
        {"an ideographic space at the start of a page goes too", "\xE3\x80\x80" "a", 0, 1, {{0, -85.f, 47.f}}},
        {"single-line objects never break", "abcdefgh\\ni", 1, 9, {{7, -85.f + 7 * 29.5f, 47.f}, {8, NAN, 47.f}}},
        {"cursor 147.5 + an estimate of 2 x 30 passes 200: the ruby base moves down",
         "abcde@r(" + kKanji + "," + kRuby + ")", 0, 11, {{5, -85.f, -3.f}}},
        {"without a comma there is no ruby", "@r(" + kKanji + ")", 0, 2, {}},
        {"a ruby base of single bytes", "@r(ab,xy)", 0, 4, {{0, -85.f, 47.f}, {1, -55.5f, 47.f}}},
        {"broken bytes and unknown fonts take no room", std::string("\x80\xFE\xFF") + "a@f(5)b@f(0)c\xE3\x81", 0, 2,
         {{1, -55.5f, 47.f}}},
    };
    for (const Case& c : cases) {
        box->ClearText();
        box->singleLine = c.singleLine;
        Lay(c.text);
        auto cs = Characters();
        ASSERT_EQ(cs.size(), c.count) << c.name;
        for (const Place& place : c.places) {
            if (!std::isnan(place.x)) {
                EXPECT_FLOAT_EQ(X(cs[place.index]), place.x) << c.name << ", character " << place.index;
            }
            EXPECT_FLOAT_EQ(Y(cs[place.index]), place.y) << c.name << ", character " << place.index;
        }
    }
    // Only a page that begins with the bracket indents, even one that holds nothing else.
    box->ClearText();
    box->singleLine = 0;
    Lay(kKagi);
    EXPECT_EQ(box->indent, 30) << "a bracket alone";
    box->ClearText();
    Lay("a");
    Lay(kKagi + "b");
    EXPECT_EQ(box->indent, 0) << "a bracket after the first character";
    // A ruby base is measured in the box's own font: two characters of
    // font 9, 100 high, do not fit after "abc" (88.5 + 200 > 200).
    services.fontHeights[9] = 100;
    box->SetTextTexture("", 9, 0);
    box->ClearText();
    Lay("abc@r(" + kKanji + "," + kRuby + ")");
    EXPECT_FLOAT_EQ(Y(Characters()[3]), Y(Characters()[0]) - 120.f) << "the base moves one line of 100 + 20 down";
    box->ClearText();
    Lay("abcd");
    EXPECT_EQ(box->characterCount, 4);
    EXPECT_EQ(box->text, "abcd");
    EXPECT_EQ(NameOf(Characters()[3]), "d");
    EXPECT_EQ(FontOf(Characters()[3]), 0);
    EXPECT_EQ(Characters()[3]->textColour.Get(), 0xFFFFFF);
}

TEST_F(TextLayoutTest, LineStartRuleKnowsExactlyItsTwentyOneCharacters) {
    for (const char* c : {"\xE3\x80\x8D", ",", ")", "]", "\xEF\xBD\x9D", "\xE3\x80\x81", "\xE3\x80\x95",
                          "\xE3\x80\x89", "\xE3\x80\x8B", "\xE3\x80\x8F", "\xE3\x80\x91", "\xE3\x80\x99",
                          "\xE3\x80\x97", "\xE3\x80\x9F", "\xE2\x80\x99", "\xE2\x80\x9D", "\xEF\xBD\xA0", "\xC2\xBB",
                          "\xE3\x80\x82", "\xEF\xBC\x9F"}) {
        EXPECT_TRUE(IsLineStartProhibited(c)) << c;
    }
    // Fullwidth ） ， ！, the ellipsis and the long vowel mark may begin a line.
    for (const char* c : {"\xEF\xBC\x89", "\xEF\xBC\x8C", "\xEF\xBC\x81", "\xE2\x80\xA6", "\xE3\x83\xBC", "", "a"}) {
        EXPECT_FALSE(IsLineStartProhibited(c)) << c;
    }
}

// --- Tags ---

TEST_F(TextLayoutTest, FontTagOutlivesItsRequestAndThePageFeed) {
    Lay("a@f(9)b");
    Lay("c");
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 3u);
    EXPECT_EQ(FontOf(cs[0]), 0);
    EXPECT_EQ(FontOf(cs[1]), 9);
    EXPECT_EQ(FontOf(cs[2]), 9);
    box->ClearText();
    Lay("d");
    EXPECT_EQ(FontOf(Characters()[0]), 9);
    EXPECT_EQ(box->text, "d");
}

TEST_F(TextLayoutTest, ColourTagReadsItsNumberWithCBaseRules) {
    Lay("@c(0xFF0000)a@c(00FF00)b@c( 1 2 )c");
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 3u);
    EXPECT_EQ(cs[0]->textColour.Get(), 0xFF0000);
    EXPECT_EQ(cs[1]->textColour.Get(), 0) << "a leading 0 is octal, and F is no octal digit";
    EXPECT_EQ(cs[2]->textColour.Get(), 12) << "blanks are removed";
}

TEST_F(TextLayoutTest, UnicodeTagPlacesItsCodePoint) {
    Lay("@u+(0x3042)@u+(12354)@u+(0x7FFFFFFF)@u+(-1)");
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 2u) << "no character for code points past the encodable range";
    EXPECT_EQ(NameOf(cs[0]), kA);
    EXPECT_EQ(NameOf(cs[1]), kA);
}

TEST_F(TextLayoutTest, UnclosedTagLosesOnlyItsAtSignAndLineEndsCloseTags) {
    Lay("@c(12");
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 4u);
    EXPECT_EQ(NameOf(cs[0]), "c");
    EXPECT_EQ(NameOf(cs[3]), "2");
    EXPECT_FALSE(box->colourOverride.IsSet());
    box->ClearText();
    Lay("@c(12\nx");
    ASSERT_EQ(Characters().size(), 1u) << "the line feed closed the tag and went with it";
    EXPECT_EQ(Characters()[0]->textColour.Get(), 12);
}

TEST_F(TextLayoutTest, RubySitsAtHalfSizeOverItsBaseAndAppearsWithIt) {
    Lay("@r(" + kKanji + "," + kRuby + ")", 50);
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 6u);
    EXPECT_FLOAT_EQ(X(cs[0]), -85.f);
    EXPECT_FLOAT_EQ(X(cs[1]), -55.5f);
    EXPECT_FLOAT_EQ(box->textCursor.x, 59.f) << "ruby does not move the cursor";
    EXPECT_EQ(box->textTime, 100) << "nor the time";
    // offset −29.5, n = 5: x = −85 + 59 + 15k − 29.5 − 37.5.
    const float expected[] = {-93.f, -78.f, -63.f, -48.f};
    for (int k = 0; k < 4; ++k) {
        classGraphicObject* ruby = cs[static_cast<size_t>(2 + k)];
        EXPECT_EQ(FontOf(ruby), kRubyFontNumber);
        EXPECT_FLOAT_EQ(X(ruby), expected[k]) << k;
        EXPECT_FLOAT_EQ(Y(ruby), 69.f) << "(50 + 17) + 2 above the line";
        const classGraphicSlot* scale = ruby->FindSlot(classKey64(kTextSlotRubyScale));
        ASSERT_NE(scale, nullptr);
        EXPECT_FLOAT_EQ(scale->Scale.x, 0.5f);
        EXPECT_FLOAT_EQ(scale->Scale.y, 0.5f);
    }
    EXPECT_EQ(box->characterCount, 6);
    classGraphicObject* ruby = cs[5];
    EXPECT_FLOAT_EQ(After(ruby, 99), 1.f) << "hidden until the base is through";
    EXPECT_FLOAT_EQ(After(ruby, 151), 0.5f);
    EXPECT_FLOAT_EQ(After(ruby, 150), 0.f);
}

// --- Timing ---

TEST_F(TextLayoutTest, CharactersFadeInOneAfterAnother) {
    Lay("abc", 50);
    EXPECT_EQ(box->textTime, 150);
    EXPECT_TRUE(IsKeyWaitLockedNow()) << "keys wait while the text appears";
    classGraphicObject* third = Characters()[2];
    EXPECT_FLOAT_EQ(After(third, 0), 1.f) << "invisible from its very first frame";
    EXPECT_FLOAT_EQ(After(third, 99), 1.f);
    EXPECT_FLOAT_EQ(After(third, 151), 0.5f) << "halfway through its fade at 250";
    EXPECT_FLOAT_EQ(After(third, 150), 0.f) << "fully there at 400";
    classGraphicObject* first = Characters()[0];
    EXPECT_FLOAT_EQ(After(first, 0), 1.f);
    EXPECT_FLOAT_EQ(After(first, 150), 0.5f);
}

TEST_F(TextLayoutTest, WithoutAFadeACharacterAppearsWholeOnItsTurn) {
    Lay("ab", 50, 0);
    classGraphicObject* second = Characters()[1];
    EXPECT_FLOAT_EQ(After(second, 49), 1.f);
    EXPECT_FLOAT_EQ(After(second, 2), 0.f);
}

TEST_F(TextLayoutTest, SpeedZeroShowsEverythingAtOnce) {
    Lay("abc", 0);
    EXPECT_EQ(box->textTime, 0);
    for (classGraphicObject* c : Characters()) {
        EXPECT_EQ(c->FindSlot(classKey64(kTextSlotHold)), nullptr);
        EXPECT_EQ(c->FindSlot(classKey64(kTextSlotFade)), nullptr);
        EXPECT_FLOAT_EQ(After(c, 0), 0.f);
    }
}

TEST_F(TextLayoutTest, ASpeedBeyondAnyClockHoldsTheLaterCharactersBackForGood) {
    struct Case {
        const char* name;
        int64 speed;
        int64 textTime;
        float thirdAfterAnHour;  // transmittance of the third character
    };
    const Case cases[] = {
        {"a long but real speed", 1000, 3000, 0.f},
        {"the largest speed", INT64_MAX, INT64_MAX, 1.f},
        {"just past half the range", INT64_MAX / 2 + 1, INT64_MAX, 1.f},
    };
    for (const Case& c : cases) {
        box->ClearText();
        Lay("abc", c.speed);
        EXPECT_EQ(box->textTime, c.textTime) << c.name;
        const auto cs = Characters();
        ASSERT_EQ(cs.size(), 3u) << c.name;
        EXPECT_FLOAT_EQ(After(cs[2], 3600 * 1000), c.thirdAfterAnHour) << c.name;
    }
}

TEST_F(TextLayoutTest, RepeatingTextLoopsForEverOverItsPeriod) {
    classTextRequest request;
    request.text = "ab";
    request.speed = 50;
    request.fadeMode = 1;
    request.fadeTime = 300;
    request.repeat = 1;
    request.repeatPeriod = 1000;
    box->AddTextRequest(request);
    ASSERT_TRUE(DrawTextStep(*box));
    const classGraphicSlot* fade = Characters()[1]->FindSlot(classKey64(kTextSlotFade));
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->Loop, -1);
    EXPECT_EQ(fade->Delay, 50);
    EXPECT_EQ(fade->AfterDelay, 950);
    EXPECT_EQ(fade->Time, 300);
}

// --- Robustness and restart ---

TEST_F(TextLayoutTest, NothingPendingIsNoStep) {
    EXPECT_FALSE(DrawTextStep(*box));
}

TEST_F(TextLayoutTest, RestartLaysTheSavedTextOutAtOnceWithTheOverridesInForce) {
    Lay("@f(9)ab", 50);
    Lay(kA, 50);
    ASSERT_EQ(box->text, "@f(9)ab" + kA);
    box->fontOverride.Set(9);
    ASSERT_TRUE(RestartTextDrawing(*box));
    auto cs = Characters();
    ASSERT_EQ(cs.size(), 3u);
    EXPECT_EQ(box->textTime, 0);
    for (classGraphicObject* c : cs) {
        EXPECT_EQ(FontOf(c), 9);
        EXPECT_EQ(c->FindSlot(classKey64(kTextSlotFade)), nullptr);
    }
    EXPECT_EQ(box->text, "@f(9)ab" + kA) << "the text is laid out once, not twice";
}

}  // namespace
