#pragma once
// A message box drawn by the program itself: its text laid out and painted
// through our font service, its buttons, and what the keyboard and the mouse
// do to it. The desktop's own boxes draw with fonts that may lack Japanese;
// this one draws with the faces the game's text uses, so every box can be read.
// A box that asks for the warning sign has it drawn at its left, beside the
// text. Nothing here touches a window: the window code shows the painted pixels and
// hands the input over.
//
// Threads: one box belongs to one thread (the UI thread); the font service it
// draws with is safe from any thread.

#include <optional>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "platform/dialog.h"
#include "platform/font.h"

namespace platform {

enum class DialogKey { Enter, Space, Escape, Tab, BackTab, Left, Right };

struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

class DialogBox {
  public:
    // Sizes, in pixels.
    static constexpr int kEmHeight = 16;
    static constexpr int kMargin = 20;
    static constexpr int kMaxTextWidth = 560;
    static constexpr int kMinWidth = 280;
    static constexpr int kMaxLines = 40;  // stderr has the rest
    static constexpr int kButtonHeight = 28;
    static constexpr int kMinButtonWidth = 88;
    static constexpr int kButtonGap = 10;
    static constexpr int kButtonPadding = 12;  // left and right of the label
    static constexpr int kBarPadding = 12;     // above and below the buttons
    static constexpr int kIconSize = 32;       // the sign's square, at the margins' corner
    static constexpr int kIconGap = 12;        // between the sign and the text

    // Colours (0xRRGGBB).
    static constexpr u32 kBackground = 0xFFFFFF;
    static constexpr u32 kTextColour = 0x1A1A1A;
    static constexpr u32 kBar = 0xF0F0F0;
    static constexpr u32 kButtonFace = 0xE1E1E1;
    static constexpr u32 kButtonHot = 0xE5F1FB;
    static constexpr u32 kButtonPressed = 0xCCE4F7;
    static constexpr u32 kButtonBorder = 0xADADAD;
    static constexpr u32 kFocusBorder = 0x0078D7;
    static constexpr u32 kWarningFill = 0xFFCC00;
    static constexpr u32 kWarningRim = 0xC08A00;
    static constexpr u32 kWarningInk = 0x000000;

    struct Button {
        DialogAnswer answer;
        std::string label;
        DialogRect rect;
    };

    // Lays the text out (it breaks at "\n" and wraps at kMaxTextWidth,
    // between words where it can) and places the buttons, the default one
    // (OK, Retry) first and focused. A text shorter than the sign stands
    // level with the sign's middle.
    DialogBox(FontService& fonts, const std::string& text, DialogButtons buttons,
              DialogIcon icon = DialogIcon::None);
    ~DialogBox();
    DialogBox(const DialogBox&) = delete;
    DialogBox& operator=(const DialogBox&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<std::u32string>& Lines() const { return lines_; }
    const std::vector<Button>& Buttons() const { return buttons_; }
    int LineHeight() const { return lineHeight_; }
    // Where the first line's box starts.
    int TextLeft() const { return textLeft_; }
    int TextTop() const { return textTop_; }
    int Focused() const { return focus_; }

    // The answer when the box is closed by its window's close button or by
    // the program: Cancel, or OK for a box with only OK.
    DialogAnswer CloseAnswer() const;

    // Input; each returns the answer once the player has given one. `changed`
    // tells whether the picture must be painted again.
    std::optional<DialogAnswer> Key(DialogKey key, bool* changed);
    void MouseMove(int x, int y, bool* changed);
    void MouseDown(int x, int y, bool* changed);
    std::optional<DialogAnswer> MouseUp(int x, int y, bool* changed);

    // The whole box, Width() x Height() pixels of 0xAARRGGBB, top row first.
    const std::vector<u32>& Paint();

  private:
    int ButtonAt(int x, int y) const;
    int Advance(u32 codePoint);
    void Layout(const std::string& text, DialogButtons buttons);
    void DrawText(std::vector<u32>& pixels, const std::u32string& line, int left, int top, u32 colour);
    int TextWidth(const std::u32string& line);

    FontService& fonts_;
    FontHandle font_ = 0;
    int lineHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    int textLeft_ = kMargin;
    int textTop_ = kMargin;
    DialogIcon icon_ = DialogIcon::None;
    std::vector<std::u32string> lines_;
    std::vector<Button> buttons_;
    int focus_ = 0;
    int hot_ = -1;             // the button under the mouse
    int pressed_ = -1;         // the button the left button went down on
    std::vector<u32> base_;    // background and text, painted once
    std::vector<u32> pixels_;  // base_ with the buttons in their state
};

}  // namespace platform
