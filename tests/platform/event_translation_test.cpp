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
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LCTRL), 17u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RCTRL), 17u) << "both Ctrl keys are one key to scripts";
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LALT), 18u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RALT), 18u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LSHIFT), 16u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RSHIFT), 16u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RETURN), 13u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_ENTER), 13u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_ESCAPE), 27u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_SPACE), 32u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEUP), 33u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEDOWN), 34u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LEFT), 37u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UP), 38u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RIGHT), 39u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_DOWN), 40u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_a), 65u) << "letters are their capitals";
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_z), 90u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_0), 48u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_9), 57u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F1), 112u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F10), 121u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F12), 123u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_0), 96u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_9), 105u);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN), 0u);
}

TEST(EventTranslation, KeysAndSystemKeys) {
    auto enter = Translate(Key(SDL_KEYDOWN, SDLK_RETURN));
    ASSERT_EQ(enter.size(), 1u);
    EXPECT_EQ(enter[0].message, 256u);
    EXPECT_EQ(enter[0].wParam, 13u);
    EXPECT_EQ(enter[0].lParam & (kAltDownBit | kPreviousDownBit), 0);

    auto altEnter = Translate(Key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT));
    ASSERT_EQ(altEnter.size(), 1u);
    EXPECT_EQ(altEnter[0].message, 260u);
    EXPECT_EQ(altEnter[0].wParam, 13u);
    EXPECT_NE(altEnter[0].lParam & kAltDownBit, 0) << "bit 29 tells Alt is held";

    auto rightAltEnter = Translate(Key(SDL_KEYDOWN, SDLK_KP_ENTER, KMOD_RALT));
    EXPECT_EQ(rightAltEnter[0].message, 260u);
    EXPECT_NE(rightAltEnter[0].lParam & kAltDownBit, 0);

    auto alt = Translate(Key(SDL_KEYDOWN, SDLK_RALT));
    EXPECT_EQ(alt[0].message, 260u);
    EXPECT_EQ(alt[0].wParam, 18u);
    auto altUp = Translate(Key(SDL_KEYUP, SDLK_LALT));
    EXPECT_EQ(altUp[0].message, 261u);

    auto f10 = Translate(Key(SDL_KEYDOWN, SDLK_F10));
    EXPECT_EQ(f10[0].message, 260u) << "F10 is a system key on its own";
    EXPECT_EQ(f10[0].lParam & kAltDownBit, 0);

    auto rightCtrl = Translate(Key(SDL_KEYDOWN, SDLK_RCTRL, KMOD_RCTRL));
    EXPECT_EQ(rightCtrl[0].message, 256u);
    EXPECT_EQ(rightCtrl[0].wParam, 17u);

    auto repeat = Translate(Key(SDL_KEYDOWN, SDLK_SPACE, KMOD_NONE, 1));
    EXPECT_NE(repeat[0].lParam & kPreviousDownBit, 0) << "bit 30 marks an auto-repeat";
    auto up = Translate(Key(SDL_KEYUP, SDLK_SPACE));
    EXPECT_EQ(up[0].message, 257u);
    EXPECT_NE(up[0].lParam & kTransitionUpBit, 0);

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
