#include "platform/sdl/event_translation.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

SDL_Event Key(Uint32 type, SDL_Keycode sym, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = sym;
    event.key.keysym.mod = mod;
    return event;
}

SDL_Event Button(Uint32 type, Uint8 button, int x, int y) {
    SDL_Event event{};
    event.type = type;
    event.button.type = type;
    event.button.button = button;
    event.button.x = x;
    event.button.y = y;
    return event;
}

SDL_Event Wheel(int y, Uint32 direction = SDL_MOUSEWHEEL_NORMAL) {
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = y;
    event.wheel.direction = direction;
    return event;
}

SDL_Event WindowEvent(Uint8 kind, int data1 = 0, int data2 = 0) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = kind;
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

std::vector<WindowMessage> Translate(const SDL_Event& event, TranslationState& state) {
    WindowMessage out[4];
    int count = TranslateSdlEvent(event, state, out, 4);
    return std::vector<WindowMessage>(out, out + count);
}

std::vector<WindowMessage> Translate(const SDL_Event& event) {
    TranslationState state;
    return Translate(event, state);
}

}  // namespace

TEST(EventTranslation, VirtualKeyCodes) {
    // Both Ctrl, Alt and Shift keys are one key to scripts; letters are their capitals.
    const std::pair<SDL_Keycode, u64> cases[] = {
        {SDLK_LCTRL, 17},    {SDLK_RCTRL, 17},  {SDLK_LALT, 18},  {SDLK_RALT, 18},   {SDLK_LSHIFT, 16},
        {SDLK_RSHIFT, 16},   {SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13}, {SDLK_ESCAPE, 27}, {SDLK_SPACE, 32},
        {SDLK_PAGEUP, 33},   {SDLK_PAGEDOWN, 34}, {SDLK_LEFT, 37}, {SDLK_UP, 38},     {SDLK_RIGHT, 39},
        {SDLK_DOWN, 40},     {SDLK_a, 65},      {SDLK_z, 90},     {SDLK_0, 48},      {SDLK_9, 57},
        {SDLK_F1, 112},      {SDLK_F10, 121},   {SDLK_F12, 123},  {SDLK_KP_0, 96},   {SDLK_KP_9, 105},
        {SDLK_UNKNOWN, 0},
    };
    for (const auto& [sym, vk] : cases) EXPECT_EQ(VirtualKeyFromSdl(sym), vk) << SDL_GetKeyName(sym);
}

// Alt held sets bit 29 and makes a system key; F10 and Alt alone are system
// keys too; an auto-repeat sets bit 30; a release sets bit 31.
TEST(EventTranslation, KeysAndSystemKeys) {
    struct Case {
        const char* name;
        SDL_Event event;
        u32 message;
        u64 wParam;
        int64 setBits, clearBits;
    };
    const int64 alt = kAltDownBit, previous = kPreviousDownBit;
    const Case cases[] = {
        {"Enter", Key(SDL_KEYDOWN, SDLK_RETURN), 256, 13, 0, alt | previous},
        {"Alt+Enter", Key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT), 260, 13, alt, 0},
        {"right Alt+keypad Enter", Key(SDL_KEYDOWN, SDLK_KP_ENTER, KMOD_RALT), 260, 13, alt, 0},
        {"Alt alone", Key(SDL_KEYDOWN, SDLK_RALT), 260, 18, 0, 0},
        {"Alt released", Key(SDL_KEYUP, SDLK_LALT), 261, 18, 0, 0},
        {"F10", Key(SDL_KEYDOWN, SDLK_F10), 260, 121, 0, alt},
        {"right Ctrl", Key(SDL_KEYDOWN, SDLK_RCTRL, KMOD_RCTRL), 256, 17, 0, 0},
        {"a repeat", Key(SDL_KEYDOWN, SDLK_SPACE, KMOD_NONE, 1), 256, 32, previous, 0},
        {"a release", Key(SDL_KEYUP, SDLK_SPACE), 257, 32, kTransitionUpBit, 0},
    };
    for (const Case& c : cases) {
        auto out = Translate(c.event);
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_EQ(out[0].message, c.message) << c.name;
        EXPECT_EQ(out[0].wParam, c.wParam) << c.name;
        EXPECT_EQ(out[0].lParam & c.setBits, c.setBits) << c.name;
        EXPECT_EQ(out[0].lParam & c.clearBits, 0) << c.name;
    }
    EXPECT_TRUE(Translate(Key(SDL_KEYDOWN, SDLK_UNKNOWN)).empty());
}

TEST(EventTranslation, MouseButtonsMoveAndWheel) {
    TranslationState state;
    auto left = Translate(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 100, 200), state);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].message, 513u);
    EXPECT_EQ(left[0].wParam, MK_LBUTTON);
    EXPECT_EQ(left[0].lParam, (200 << 16) | 100);
    auto right = Translate(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 2), state);
    EXPECT_EQ(right[0].message, 516u);
    EXPECT_EQ(right[0].wParam, MK_LBUTTON | MK_RBUTTON) << "held buttons are in every mouse message";
    EXPECT_EQ(Translate(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1, 2), state)[0].message, 514u);
    EXPECT_EQ(Translate(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 1, 2), state)[0].message, 517u);
    auto middle = Translate(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 1, 2), state);
    EXPECT_EQ(middle[0].message, 519u);
    EXPECT_EQ(middle[0].wParam, MK_MBUTTON);
    EXPECT_EQ(Translate(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 1, 2), state)[0].message, 520u);

    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = -5;  // dragged out past the left edge
    motion.motion.y = 719;
    auto moved = Translate(motion, state);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[0].message, 0x20u) << "the cursor is asked for before every move";
    EXPECT_EQ(moved[1].message, 512u);
    EXPECT_EQ(PointParamX(moved[1].lParam), -5);
    EXPECT_EQ(PointParamY(moved[1].lParam), 719);

    auto up = Translate(Wheel(1));
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].message, 522u);
    // Up: the high word holds +120, so as a signed 32-bit value it is 120 * 65536.
    EXPECT_EQ(static_cast<int32>(up[0].wParam), 120 * 65536);
    auto down = Translate(Wheel(-2));
    EXPECT_EQ(static_cast<int16>(static_cast<u16>(down[0].wParam >> 16)), -240);
    auto flipped = Translate(Wheel(1, SDL_MOUSEWHEEL_FLIPPED));
    EXPECT_EQ(static_cast<int16>(static_cast<u16>(flipped[0].wParam >> 16)), -120);
    EXPECT_TRUE(Translate(Wheel(0)).empty()) << "sideways scrolling is no wheel step";
}

TEST(EventTranslation, WindowEventsCloseAndQuit) {
    TranslationState state;
    auto close = Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE), state);
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].message, 16u);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(Translate(quit, state)[0].message, 2u) << "a signal ends the program the orderly way";

    auto sized = Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 1920, 1080), state);
    EXPECT_EQ(sized[0].message, 5u);
    EXPECT_EQ(sized[0].wParam, 0u);
    EXPECT_EQ(sized[0].lParam, (1080 << 16) | 1920);
    EXPECT_EQ(Translate(WindowEvent(SDL_WINDOWEVENT_MINIMIZED), state)[0].wParam, 1u);
    EXPECT_EQ(Translate(WindowEvent(SDL_WINDOWEVENT_MAXIMIZED), state)[0].wParam, 2u);
    EXPECT_EQ(Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600), state)[0].wParam, 2u)
        << "a size change while maximized says so";
    EXPECT_EQ(Translate(WindowEvent(SDL_WINDOWEVENT_RESTORED), state)[0].wParam, 0u);

    Translate(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 0, 0), state);
    auto lost = Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), state);
    EXPECT_EQ(lost[0].message, 8u);
    EXPECT_EQ(state.buttons, 0u) << "buttons released elsewhere do not stay held";
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_MOVED), state).empty());
}
