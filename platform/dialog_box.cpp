#include "platform/dialog_box.h"

#include <algorithm>
#include <cmath>

#include "foundation/text_encoding.h"

namespace platform {
namespace {

// The face every box uses: our alias table makes it a Japanese gothic.
constexpr char kFace[] = "sans-serif";

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const u8 lead = static_cast<u8>(text[pos]);
        int length = Utf8SequenceLength(lead);
        if (length < 1 || length > 4 || pos + static_cast<std::size_t>(length) > text.size()) {
            out.push_back(0xFFFD);  // a broken byte still shows as something
            ++pos;
            continue;
        }
        u32 code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (int i = 1; i < length; ++i) code = (code << 6) | (static_cast<u8>(text[pos + i]) & 0x3Fu);
        out.push_back(code);
        pos += static_cast<std::size_t>(length);
    }
    return out;
}

u32 Mix(u32 under, u32 over, u32 coverage) {
    u32 out = 0xFF000000;
    for (int shift = 0; shift <= 16; shift += 8) {
        const u32 a = (under >> shift) & 0xFF;
        const u32 b = (over >> shift) & 0xFF;
        out |= ((a * (255 - coverage) + b * coverage + 127) / 255) << shift;
    }
    return out;
}

void Fill(std::vector<u32>& pixels, int stride, const DialogRect& r, u32 colour) {
    for (int y = r.y; y < r.y + r.height; ++y) {
        std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(y) * stride + r.x, r.width,
                    0xFF000000 | colour);
    }
}

void Frame(std::vector<u32>& pixels, int stride, const DialogRect& r, int thickness, u32 colour) {
    Fill(pixels, stride, {r.x, r.y, r.width, thickness}, colour);
    Fill(pixels, stride, {r.x, r.y + r.height - thickness, r.width, thickness}, colour);
    Fill(pixels, stride, {r.x, r.y, thickness, r.height}, colour);
    Fill(pixels, stride, {r.x + r.width - thickness, r.y, thickness, r.height}, colour);
}

// The warning sign in its kIconSize square from (left, top): a yellow
// triangle with a darker rim and a black "!" with a gap above its dot. Each
// pixel is sampled 4 x 4 times, so the slanted edges are smooth at this size.
void DrawWarningSign(std::vector<u32>& pixels, int stride, int left, int top) {
    static_assert(DialogBox::kIconSize == 32, "the sign is drawn on a 32-pixel square");
    struct Point {
        float x, y;
    };
    // Clockwise on the screen, so the inside lies right of each edge.
    constexpr Point kCorners[3] = {{16.0f, 1.5f}, {31.0f, 30.5f}, {1.0f, 30.5f}};
    constexpr float kRim = 1.5f;
    auto depth = [&](float x, float y) {  // distance inside the nearest edge; negative outside
        float least = 1e9f;
        for (int i = 0; i < 3; ++i) {
            const Point a = kCorners[i], b = kCorners[(i + 1) % 3];
            const float dx = b.x - a.x, dy = b.y - a.y;
            least = std::min(least, (dx * (y - a.y) - dy * (x - a.x)) / std::sqrt(dx * dx + dy * dy));
        }
        return least;
    };
    auto ink = [](float x, float y) {
        const bool bar = x >= 14.25f && x <= 17.75f && y >= 10.0f && y <= 22.0f;
        const bool dot = (x - 16.0f) * (x - 16.0f) + (y - 26.0f) * (y - 26.0f) <= 4.0f;
        return bar || dot;
    };
    constexpr int kSamples = 4;
    for (int row = 0; row < DialogBox::kIconSize; ++row) {
        for (int col = 0; col < DialogBox::kIconSize; ++col) {
            u32 sum[3] = {0, 0, 0};
            u32 covered = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const float x = col + (sx + 0.5f) / kSamples;
                    const float y = row + (sy + 0.5f) / kSamples;
                    const float d = depth(x, y);
                    if (d < 0) continue;
                    const u32 colour = ink(x, y) ? DialogBox::kWarningInk
                                       : d < kRim ? DialogBox::kWarningRim
                                                  : DialogBox::kWarningFill;
                    for (int c = 0; c < 3; ++c) sum[c] += (colour >> (8 * c)) & 0xFF;
                    ++covered;
                }
            }
            if (covered == 0) continue;
            const u32 mean = (sum[2] / covered) << 16 | (sum[1] / covered) << 8 | sum[0] / covered;
            u32& pixel = pixels[static_cast<std::size_t>(top + row) * stride + left + col];
            pixel = Mix(pixel, mean, covered * 255 / (kSamples * kSamples));
        }
    }
}

}  // namespace

DialogBox::DialogBox(FontService& fonts, const std::string& text, DialogButtons buttons, DialogIcon icon)
    : fonts_(fonts), icon_(icon) {
    font_ = fonts_.OpenFont(kFace, kEmHeight, 0);
    FontMetrics metrics;
    if (font_ != 0 && fonts_.GetMetrics(font_, &metrics)) lineHeight_ = metrics.height;
    if (lineHeight_ <= 0) lineHeight_ = kEmHeight;
    Layout(text, buttons);
}

DialogBox::~DialogBox() {
    if (font_ != 0) fonts_.CloseFont(font_);
}

int DialogBox::Advance(u32 codePoint) {
    if (codePoint == '\t') codePoint = ' ';
    int width = 0, height = 0;
    if (font_ == 0 || !fonts_.MeasureCharacter(font_, codePoint, &width, &height)) return 0;
    return std::max(width, 0);
}

int DialogBox::TextWidth(const std::u32string& line) {
    int width = 0;
    for (char32_t c : line) width += Advance(c);
    return width;
}

void DialogBox::Layout(const std::string& text, DialogButtons buttons) {
    std::u32string all = DecodeUtf8(text);
    // One trailing line break (the system's error texts end in one) makes no empty last line.
    if (!all.empty() && all.back() == U'\n') all.pop_back();
    std::u32string line;
    int lineWidth = 0;
    auto flush = [&] {
        lines_.push_back(line);
        line.clear();
        lineWidth = 0;
    };
    for (char32_t c : all) {
        if (c == U'\r') continue;
        if (c == U'\n') {
            flush();
            continue;
        }
        const int advance = Advance(c);
        if (lineWidth + advance > kMaxTextWidth && !line.empty()) {
            // Between words when the line has a space to break at; Japanese
            // runs, and words longer than a line, break between characters.
            const std::size_t space = line.find_last_of(U' ');
            if (c != U' ' && space != std::u32string::npos && space > 0) {
                std::u32string rest = line.substr(space + 1);
                line.resize(space);
                flush();
                line = rest;
                lineWidth = TextWidth(line);
            } else {
                flush();
            }
            if (c == U' ') continue;  // no line starts with the space it broke at
        }
        line.push_back(c);
        lineWidth += advance;
    }
    flush();
    if (lines_.size() > static_cast<std::size_t>(kMaxLines)) lines_.resize(kMaxLines);

    int textWidth = 0;
    for (const std::u32string& l : lines_) textWidth = std::max(textWidth, TextWidth(l));

    if (buttons == DialogButtons::Ok) {
        buttons_.push_back({DialogAnswer::Ok, "OK", {}});
    } else {
        buttons_.push_back({DialogAnswer::Retry, "Retry", {}});
        buttons_.push_back({DialogAnswer::Cancel, "Cancel", {}});
    }
    int buttonsWidth = 0;
    for (Button& b : buttons_) {
        b.rect.width = std::max(kMinButtonWidth, TextWidth(DecodeUtf8(b.label)) + 2 * kButtonPadding);
        b.rect.height = kButtonHeight;
        buttonsWidth += b.rect.width;
    }
    buttonsWidth += kButtonGap * static_cast<int>(buttons_.size() - 1);

    const int linesHeight = lineHeight_ * static_cast<int>(lines_.size());
    int blockHeight = linesHeight;
    if (icon_ != DialogIcon::None) {
        textLeft_ = kMargin + kIconSize + kIconGap;
        blockHeight = std::max(linesHeight, kIconSize);
        textTop_ = kMargin + (blockHeight - linesHeight) / 2;
    }
    width_ = std::max({kMinWidth, textLeft_ + textWidth + kMargin, buttonsWidth + 2 * kMargin});
    const int textBottom = kMargin + blockHeight + kMargin;
    height_ = textBottom + kBarPadding + kButtonHeight + kBarPadding;
    // The buttons sit right-aligned in the bar under the text.
    int x = width_ - kMargin - buttonsWidth;
    for (Button& b : buttons_) {
        b.rect.x = x;
        b.rect.y = textBottom + kBarPadding;
        x += b.rect.width + kButtonGap;
    }
}

DialogAnswer DialogBox::CloseAnswer() const {
    return HeadlessAnswer(buttons_.size() == 1 ? DialogButtons::Ok : DialogButtons::RetryCancel);
}

std::optional<DialogAnswer> DialogBox::Key(DialogKey key, bool* changed) {
    *changed = false;
    const int count = static_cast<int>(buttons_.size());
    switch (key) {
        case DialogKey::Enter:
        case DialogKey::Space:
            return buttons_[static_cast<std::size_t>(focus_)].answer;
        case DialogKey::Escape:
            return CloseAnswer();
        case DialogKey::Tab:
        case DialogKey::Right:
            focus_ = (focus_ + 1) % count;
            break;
        case DialogKey::BackTab:
        case DialogKey::Left:
            focus_ = (focus_ + count - 1) % count;
            break;
    }
    *changed = count > 1;
    return std::nullopt;
}

int DialogBox::ButtonAt(int x, int y) const {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i].rect.Contains(x, y)) return static_cast<int>(i);
    }
    return -1;
}

void DialogBox::MouseMove(int x, int y, bool* changed) {
    const int hot = ButtonAt(x, y);
    *changed = hot != hot_;
    hot_ = hot;
}

void DialogBox::MouseDown(int x, int y, bool* changed) {
    pressed_ = ButtonAt(x, y);
    hot_ = pressed_;
    *changed = true;
    if (pressed_ >= 0) focus_ = pressed_;
}

std::optional<DialogAnswer> DialogBox::MouseUp(int x, int y, bool* changed) {
    const int released = ButtonAt(x, y);
    const int pressed = pressed_;
    pressed_ = -1;
    *changed = true;
    // A press that slid off its button is no click, as on every desktop.
    if (pressed >= 0 && released == pressed) return buttons_[static_cast<std::size_t>(pressed)].answer;
    return std::nullopt;
}

void DialogBox::DrawText(std::vector<u32>& pixels, const std::u32string& line, int left, int top,
                         u32 colour) {
    std::vector<u8> coverage;
    int x = left;
    for (char32_t c : line) {
        const int advance = Advance(c);
        if (advance <= 0 || c == U' ' || c == U'\t') {
            x += advance;
            continue;
        }
        // A little room either side: italics and some kana overhang their advance.
        const int pad = kEmHeight / 4;
        const int cellWidth = advance + 2 * pad;
        coverage.assign(static_cast<std::size_t>(cellWidth) * lineHeight_, 0);
        if (fonts_.RenderCharacter(font_, c, coverage.data() + pad, cellWidth - pad, lineHeight_,
                                   static_cast<std::size_t>(cellWidth))) {
            for (int row = 0; row < lineHeight_; ++row) {
                const int py = top + row;
                if (py < 0 || py >= height_) continue;
                for (int col = 0; col < cellWidth; ++col) {
                    const int px = x - pad + col;
                    if (px < 0 || px >= width_) continue;
                    const u32 cover = coverage[static_cast<std::size_t>(row) * cellWidth + col];
                    if (cover == 0) continue;
                    u32& pixel = pixels[static_cast<std::size_t>(py) * width_ + px];
                    pixel = Mix(pixel, colour, cover);
                }
            }
        }
        x += advance;
    }
}

const std::vector<u32>& DialogBox::Paint() {
    if (base_.empty()) {
        base_.assign(static_cast<std::size_t>(width_) * height_, 0xFF000000 | kBackground);
        const int barTop = buttons_.front().rect.y - kBarPadding;
        Fill(base_, width_, {0, barTop, width_, height_ - barTop}, kBar);
        if (icon_ == DialogIcon::Warning) DrawWarningSign(base_, width_, kMargin, kMargin);
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            DrawText(base_, lines_[i], TextLeft(), TextTop() + lineHeight_ * static_cast<int>(i),
                     kTextColour);
        }
    }
    pixels_ = base_;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const Button& b = buttons_[i];
        const int index = static_cast<int>(i);
        const u32 face = index == pressed_ && index == hot_ ? kButtonPressed
                         : index == hot_                    ? kButtonHot
                                                            : kButtonFace;
        Fill(pixels_, width_, b.rect, face);
        const bool focused = index == focus_;
        Frame(pixels_, width_, b.rect, focused ? 2 : 1, focused ? kFocusBorder : kButtonBorder);
        const std::u32string label = DecodeUtf8(b.label);
        const int labelLeft = b.rect.x + (b.rect.width - TextWidth(label)) / 2;
        const int labelTop = b.rect.y + (b.rect.height - lineHeight_) / 2;
        DrawText(pixels_, label, labelLeft, labelTop, kTextColour);
    }
    return pixels_;
}

}  // namespace platform
