// The message box the program draws itself: text layout, button places, the
// keyboard and the mouse, and the painted pixels. The fake font makes every
// character 16 pixels wide and its line 20 high (em 16 + 4), so every place
// below is worked out by hand from the box's sizes.
#include "platform/dialog_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_font_service.h"

using namespace platform;

namespace {

std::u32string U(const std::string& ascii) {
    return std::u32string(ascii.begin(), ascii.end());
}

// The fake font, with every character's coverage solid ink.
class SolidFont final : public FontService {
  public:
    fakes::FakeFontService measures;
    FontHandle OpenFont(const std::string& face, int em, int width) override {
        return measures.OpenFont(face, em, width);
    }
    void CloseFont(FontHandle font) override { measures.CloseFont(font); }
    bool GetMetrics(FontHandle font, FontMetrics* metrics) override {
        return measures.GetMetrics(font, metrics);
    }
    bool MeasureCharacter(FontHandle font, u32 code, int* width, int* height) override {
        return measures.MeasureCharacter(font, code, width, height);
    }
    bool RenderCharacter(FontHandle, u32, u8* coverage, int width, int height, std::size_t pitch) override {
        // Ink over the advance only (16 columns), so the cell's padding stays clear.
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < std::min(width, 16); ++x) coverage[y * pitch + x] = 255;
        }
        return true;
    }
    std::string ResolvedFamily(FontHandle font) override { return measures.ResolvedFamily(font); }
};

}  // namespace

TEST(DialogBox, TextBreaksAtLineBreaksAndWrapsAtTheWidth) {
    // 560 pixels hold 35 characters of 16.
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::u32string> lines;
    };
    const std::string a30(30, 'a'), b10(10, 'b'), x35(35, 'x');
    std::string kana40;
    std::u32string kana35, kana5;
    for (int i = 0; i < 40; ++i) {
        kana40 += "\xE3\x81\x82";  // あ
        (i < 35 ? kana35 : kana5).push_back(U'\u3042');
    }
    std::string fifty;
    for (int i = 0; i < 50; ++i) fifty += "l\n";
    const Case cases[] = {
        {"line breaks", "ab\ncd", {U"ab", U"cd"}},
        {"one trailing break makes no empty line",
         "filename:a\nerrorcode:2\n",
         {U"filename:a", U"errorcode:2"}},
        {"an empty line stays", "a\n\nb", {U"a", U"", U"b"}},
        {"carriage returns are dropped", "a\r\nb", {U"a", U"b"}},
        {"a word longer than a line breaks between characters", x35 + "yyyyy", {U(x35), U"yyyyy"}},
        {"between words where there is a space", a30 + " " + b10, {U(a30), U(b10)}},
        {"the breaking space starts no line", x35 + " z", {U(x35), U"z"}},
        {"Japanese breaks between characters", kana40, {kana35, kana5}},
        {"a cut sequence shows as a replacement", "a\xE3\x81", {U"a\uFFFD\uFFFD"}},
    };
    for (const Case& c : cases) {
        fakes::FakeFontService fonts;
        DialogBox box(fonts, c.text, DialogButtons::Ok);
        EXPECT_EQ(box.Lines(), c.lines) << c.name;
    }
    fakes::FakeFontService fonts;
    DialogBox many(fonts, fifty, DialogButtons::Ok);
    EXPECT_EQ(many.Lines().size(), 40u) << "lines past the 40th are left to stderr";
    EXPECT_EQ(many.Height(), 20 + 40 * 20 + 20 + 12 + 28 + 12);
}

TEST(DialogBox, SizeAndButtonsFollowTheTextAndTheLabels) {
    struct Case {
        const char* name;
        std::string text;
        DialogButtons buttons;
        int width, height;
        std::vector<DialogRect> rects;
        std::vector<DialogAnswer> answers;
        DialogIcon icon = DialogIcon::None;
    };
    // Height: margin 20, lines of 20 (or the sign's 32), margin 20, then the bar: 12 + 28 + 12.
    // "OK" is 32 wide + 24 < 88; "Retry" 80 + 24 = 104; "Cancel" 96 + 24 = 120.
    const std::string wide(30, 'w');  // 480 + 40 = 520 wide
    const Case cases[] = {
        {"a short text keeps the least width",
         "ab",
         DialogButtons::Ok,
         280,
         112,
         {{172, 72, 88, 28}},
         {DialogAnswer::Ok}},
        {"Retry and Cancel side by side, right-aligned",
         "ab\ncd",
         DialogButtons::RetryCancel,
         280,
         132,
         {{26, 92, 104, 28}, {140, 92, 120, 28}},
         {DialogAnswer::Retry, DialogAnswer::Cancel}},
        {"a wide line widens the box",
         wide,
         DialogButtons::Ok,
         520,
         112,
         {{412, 72, 88, 28}},
         {DialogAnswer::Ok}},
        {"the sign widens the box by itself and its gap, and heightens one line to its own",
         wide,
         DialogButtons::Ok,
         20 + 32 + 12 + 480 + 20,
         124,
         {{456, 84, 88, 28}},
         {DialogAnswer::Ok},
         DialogIcon::Warning},
    };
    for (const Case& c : cases) {
        fakes::FakeFontService fonts;
        DialogBox box(fonts, c.text, c.buttons, c.icon);
        EXPECT_EQ(box.Width(), c.width) << c.name;
        EXPECT_EQ(box.Height(), c.height) << c.name;
        ASSERT_EQ(box.Buttons().size(), c.rects.size()) << c.name;
        for (std::size_t i = 0; i < c.rects.size(); ++i) {
            const DialogRect& r = box.Buttons()[i].rect;
            EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height}),
                      (std::vector<int>{c.rects[i].x, c.rects[i].y, c.rects[i].width, c.rects[i].height}))
                << c.name << " button " << i;
            EXPECT_EQ(box.Buttons()[i].answer, c.answers[i]) << c.name << " button " << i;
        }
        EXPECT_EQ(box.Focused(), 0) << c.name << ": the default button has the focus";
    }
}

TEST(DialogBox, KeysAnswerWithTheFocusedButtonOrTheSafeOne) {
    struct Case {
        const char* name;
        DialogButtons buttons;
        std::vector<DialogKey> keys;
        std::optional<DialogAnswer> answer;
    };
    using K = DialogKey;
    const Case cases[] = {
        {"Enter takes OK", DialogButtons::Ok, {K::Enter}, DialogAnswer::Ok},
        {"Escape closes with OK", DialogButtons::Ok, {K::Escape}, DialogAnswer::Ok},
        {"Enter takes Retry, the default", DialogButtons::RetryCancel, {K::Enter}, DialogAnswer::Retry},
        {"Escape is Cancel", DialogButtons::RetryCancel, {K::Escape}, DialogAnswer::Cancel},
        {"Space presses the focused button", DialogButtons::RetryCancel, {K::Space}, DialogAnswer::Retry},
        {"Tab moves to Cancel", DialogButtons::RetryCancel, {K::Tab, K::Enter}, DialogAnswer::Cancel},
        {"Tab wraps around", DialogButtons::RetryCancel, {K::Tab, K::Tab, K::Enter}, DialogAnswer::Retry},
        {"Left from Retry wraps to Cancel",
         DialogButtons::RetryCancel,
         {K::Left, K::Enter},
         DialogAnswer::Cancel},
        {"Right then Left comes back",
         DialogButtons::RetryCancel,
         {K::Right, K::Left, K::Enter},
         DialogAnswer::Retry},
        {"Shift+Tab goes back",
         DialogButtons::RetryCancel,
         {K::Tab, K::BackTab, K::Space},
         DialogAnswer::Retry},
        {"Escape after moving is still Cancel",
         DialogButtons::RetryCancel,
         {K::Tab, K::Tab, K::Escape},
         DialogAnswer::Cancel},
        {"moving alone answers nothing", DialogButtons::RetryCancel, {K::Tab, K::Right}, std::nullopt},
    };
    for (const Case& c : cases) {
        fakes::FakeFontService fonts;
        DialogBox box(fonts, "text", c.buttons);
        std::optional<DialogAnswer> answer;
        for (DialogKey key : c.keys) {
            bool changed = false;
            answer = box.Key(key, &changed);
            if (answer) break;
        }
        EXPECT_EQ(answer, c.answer) << c.name;
    }
}

TEST(DialogBox, AClickIsAPressAndAReleaseOnTheSameButton) {
    // Retry at (26, 92) 104 x 28, Cancel at (140, 92) 120 x 28 (see above).
    struct Case {
        const char* name;
        int downX, downY, upX, upY;
        std::optional<DialogAnswer> answer;
    };
    const Case cases[] = {
        {"on Retry", 70, 100, 70, 100, DialogAnswer::Retry},
        {"on Cancel's first pixel", 140, 92, 140, 92, DialogAnswer::Cancel},
        {"on Cancel's last pixel", 259, 119, 259, 119, DialogAnswer::Cancel},
        {"just past Cancel", 260, 100, 260, 100, std::nullopt},
        {"in the gap between them", 135, 100, 135, 100, std::nullopt},
        {"on the text", 30, 30, 30, 30, std::nullopt},
        {"pressed on Retry, released on Cancel", 70, 100, 200, 100, std::nullopt},
        {"pressed beside, released on Retry", 10, 100, 70, 100, std::nullopt},
    };
    for (const Case& c : cases) {
        fakes::FakeFontService fonts;
        DialogBox box(fonts, "ab\ncd", DialogButtons::RetryCancel);
        bool changed = false;
        box.MouseMove(c.downX, c.downY, &changed);
        box.MouseDown(c.downX, c.downY, &changed);
        box.MouseMove(c.upX, c.upY, &changed);
        EXPECT_EQ(box.MouseUp(c.upX, c.upY, &changed), c.answer) << c.name;
    }
    // Pressing a button gives it the focus, the first button too.
    fakes::FakeFontService fonts;
    DialogBox box(fonts, "ab\ncd", DialogButtons::RetryCancel);
    bool changed = false;
    box.Key(DialogKey::Tab, &changed);
    ASSERT_EQ(box.Focused(), 1);
    box.MouseDown(70, 100, &changed);
    EXPECT_EQ(box.Focused(), 0);
}

TEST(DialogBox, PaintsTheTextDarkOnTheLightBoxAndMarksTheFocus) {
    SolidFont fonts;
    DialogBox box(fonts, "ab", DialogButtons::RetryCancel);
    const std::vector<u32>& pixels = box.Paint();
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(box.Width()) * box.Height());
    auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * box.Width() + x] & 0xFFFFFF; };
    struct Case {
        const char* name;
        int x, y;
        u32 colour;
    };
    // Text from (20, 20): "a" covers x 20..35, "b" 36..51, rows 20..39.
    // One line: the bar starts at 20 + 20 + 20 = 60, Retry (focused) at
    // (26, 72) 104 x 28 with a 2-pixel frame, Cancel at (140, 72) 120 x 28
    // with a 1-pixel frame; labels are centred, so the
    // buttons' left edges and a few pixels in are face, not label.
    const Case cases[] = {
        {"first character", 20, 20, DialogBox::kTextColour},
        {"second character's last pixel", 51, 39, DialogBox::kTextColour},
        {"just right of the text", 52, 30, DialogBox::kBackground},
        {"just below the text", 30, 40, DialogBox::kBackground},
        {"the margin", 5, 5, DialogBox::kBackground},
        {"the button bar", 5, 100, DialogBox::kBar},
        {"the bar's first row", 5, 60, DialogBox::kBar},
        {"above the bar", 5, 59, DialogBox::kBackground},
        {"focused frame, outer", 26, 80, DialogBox::kFocusBorder},
        {"focused frame, inner", 27, 80, DialogBox::kFocusBorder},
        {"focused face", 28, 80, DialogBox::kButtonFace},
        {"other frame", 140, 80, DialogBox::kButtonBorder},
        {"other face", 141, 80, DialogBox::kButtonFace},
        // "Retry" is 80 wide, centred in 104: from x 38; its line of 20 in 28: from y 76.
        {"label's first pixel", 38, 76, DialogBox::kTextColour},
        {"left of the label", 37, 76, DialogBox::kButtonFace},
        {"above the label", 38, 75, DialogBox::kButtonFace},
        {"label's last pixel", 117, 95, DialogBox::kTextColour},
        {"right of the label", 118, 95, DialogBox::kButtonFace},
    };
    for (const Case& c : cases) EXPECT_EQ(at(c.x, c.y), c.colour) << c.name;

    bool changed = false;
    box.Key(DialogKey::Tab, &changed);
    EXPECT_TRUE(changed);
    box.MouseMove(150, 80, &changed);
    EXPECT_TRUE(changed);
    const std::vector<u32>& after = box.Paint();
    auto again = [&](int x, int y) {
        return after[static_cast<std::size_t>(y) * box.Width() + x] & 0xFFFFFF;
    };
    EXPECT_EQ(again(26, 80), DialogBox::kButtonBorder) << "Retry lost the focus";
    EXPECT_EQ(again(141, 80), DialogBox::kFocusBorder) << "Cancel has it";
    EXPECT_EQ(again(142, 80), DialogBox::kButtonHot) << "and the mouse is over it";
    EXPECT_EQ(again(20, 20), DialogBox::kTextColour) << "the text stays";
}

TEST(DialogBox, TheWarningSignStandsLeftOfTheTextOnlyWhenAsked) {
    // The sign fills the square (20, 20)-(51, 51) on its 32-pixel design:
    // a triangle from (16, 1.5) to (31, 30.5) and (1, 30.5), a rim 1.5 deep,
    // a bar over x 14.25..17.75, y 10..22 and a dot of radius 2 at (16, 26).
    // Beside it the one line of 20 starts at 20 + 32 + 12 = 64, level with
    // the sign's middle: 20 + (32 - 20) / 2 = 26.
    struct Case {
        const char* name;
        DialogIcon icon;
        int x, y;
        u32 colour;
    };
    const Case cases[] = {
        {"inside the triangle", DialogIcon::Warning, 30, 45, DialogBox::kWarningFill},
        {"the bar of the \"!\"", DialogIcon::Warning, 35, 35, DialogBox::kWarningInk},
        {"its dot", DialogIcon::Warning, 35, 45, DialogBox::kWarningInk},
        {"the gap between them", DialogIcon::Warning, 35, 43, DialogBox::kWarningFill},
        {"the rim along the base", DialogIcon::Warning, 36, 49, DialogBox::kWarningRim},
        {"left of the apex", DialogIcon::Warning, 22, 22, DialogBox::kBackground},
        {"right of the right slope", DialogIcon::Warning, 48, 30, DialogBox::kBackground},
        {"the text's first pixel", DialogIcon::Warning, 64, 26, DialogBox::kTextColour},
        {"left of the text", DialogIcon::Warning, 63, 26, DialogBox::kBackground},
        {"above the text", DialogIcon::Warning, 64, 25, DialogBox::kBackground},
        {"no sign: the text at the margin", DialogIcon::None, 20, 20, DialogBox::kTextColour},
    };
    for (const Case& c : cases) {
        SolidFont fonts;
        DialogBox box(fonts, "ab", DialogButtons::Ok, c.icon);
        const std::vector<u32>& pixels = box.Paint();
        EXPECT_EQ(pixels[static_cast<std::size_t>(c.y) * box.Width() + c.x] & 0xFFFFFF, c.colour) << c.name;
    }
    SolidFont fonts;
    DialogBox plain(fonts, "ab", DialogButtons::Ok);
    std::size_t signPixels = 0;
    for (u32 pixel : plain.Paint()) {
        const u32 rgb = pixel & 0xFFFFFF;
        signPixels += rgb == DialogBox::kWarningFill || rgb == DialogBox::kWarningRim;
    }
    EXPECT_EQ(signPixels, 0u) << "a box that asks for no sign shows none";
}
