#include "platform/sdl/event_translation.h"

#include <algorithm>

namespace platform {
namespace {

u64 ModifierBits(u16 mod) {
    u64 bits = 0;
    if (mod & KMOD_SHIFT) bits |= MK_SHIFT;
    if (mod & KMOD_CTRL) bits |= MK_CONTROL;
    return bits;
}

u64 ButtonBit(u8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return MK_LBUTTON;
        case SDL_BUTTON_RIGHT: return MK_RBUTTON;
        case SDL_BUTTON_MIDDLE: return MK_MBUTTON;
        case SDL_BUTTON_X1: return MK_XBUTTON1;
        case SDL_BUTTON_X2: return MK_XBUTTON2;
        default: return 0;
    }
}

int Emit(WindowMessage* out, int capacity, int count, u32 message, u64 wParam, int64 lParam) {
    if (count >= capacity) return count;
    out[count] = WindowMessage{message, wParam, lParam};
    return count + 1;
}

int TranslateKey(const SDL_KeyboardEvent& key, WindowMessage* out, int capacity) {
    u32 vk = VirtualKeyFromSdl(key.keysym.sym);
    if (vk == 0) return 0;
    bool down = key.type == SDL_KEYDOWN;
    bool altHeld = (key.keysym.mod & KMOD_ALT) != 0 || (down && vk == VK_MENU);
    // Alt and F10 are system keys by themselves, as is anything pressed with Alt.
    bool system = altHeld || vk == VK_MENU || vk == VK_F10;
    int64 lParam = 1;  // repeat count
    lParam |= static_cast<int64>(key.keysym.scancode & 0xFF) << 16;
    if (altHeld) lParam |= kAltDownBit;
    if (!down) {
        lParam |= kPreviousDownBit | kTransitionUpBit;
    } else if (key.repeat) {
        lParam |= kPreviousDownBit;
    }
    u32 message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    return Emit(out, capacity, 0, message, vk, lParam);
}

int TranslateWindowEvent(const SDL_WindowEvent& window, TranslationState& state, WindowMessage* out,
                         int capacity) {
    switch (window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            return Emit(out, capacity, 0, WM_CLOSE, 0, 0);
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            return Emit(out, capacity, 0, WM_SIZE, state.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                        MakePointParam(window.data1, window.data2));
        case SDL_WINDOWEVENT_MINIMIZED:
            return Emit(out, capacity, 0, WM_SIZE, SIZE_MINIMIZED, 0);
        case SDL_WINDOWEVENT_MAXIMIZED:
            state.maximized = true;
            return Emit(out, capacity, 0, WM_SIZE, SIZE_MAXIMIZED, 0);
        case SDL_WINDOWEVENT_RESTORED:
            state.maximized = false;
            return Emit(out, capacity, 0, WM_SIZE, SIZE_RESTORED, 0);
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            return Emit(out, capacity, 0, WM_SETFOCUS, 0, 0);
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Buttons released in another window would otherwise stay held.
            state.buttons = 0;
            return Emit(out, capacity, 0, WM_KILLFOCUS, 0, 0);
        default:
            return 0;
    }
}

}  // namespace

u32 VirtualKeyFromSdl(SDL_Keycode key) {
    if (key >= 'a' && key <= 'z') return static_cast<u32>(key - 'a' + 'A');
    if (key >= '0' && key <= '9') return static_cast<u32>(key);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<u32>(key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F1 + 12 + static_cast<u32>(key - SDLK_F13);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + static_cast<u32>(key - SDLK_KP_1);
    switch (key) {
        case SDLK_RETURN: case SDLK_KP_ENTER: case SDLK_RETURN2: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LALT: case SDLK_RALT: return VK_MENU;
        case SDLK_LGUI: return VK_LWIN;
        case SDLK_RGUI: return VK_RWIN;
        case SDLK_APPLICATION: return VK_APPS;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_CAPSLOCK: return VK_CAPITAL;
        case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
        case SDLK_SCROLLLOCK: return VK_SCROLL;
        case SDLK_KP_0: return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
        case SDLK_KP_PLUS: return VK_ADD;
        case SDLK_KP_MINUS: return VK_SUBTRACT;
        case SDLK_KP_PERIOD: return VK_DECIMAL;
        case SDLK_KP_DIVIDE: return VK_DIVIDE;
        case SDLK_SEMICOLON: return VK_OEM_1;
        case SDLK_EQUALS: return VK_OEM_PLUS;
        case SDLK_COMMA: return VK_OEM_COMMA;
        case SDLK_MINUS: return VK_OEM_MINUS;
        case SDLK_PERIOD: return VK_OEM_PERIOD;
        case SDLK_SLASH: return VK_OEM_2;
        case SDLK_BACKQUOTE: return VK_OEM_3;
        case SDLK_LEFTBRACKET: return VK_OEM_4;
        case SDLK_BACKSLASH: return VK_OEM_5;
        case SDLK_RIGHTBRACKET: return VK_OEM_6;
        case SDLK_QUOTE: return VK_OEM_7;
        default: return 0;
    }
}

int TranslateSdlEvent(const SDL_Event& event, TranslationState& state, WindowMessage* out, int capacity) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            return TranslateKey(event.key, out, capacity);
        case SDL_MOUSEMOTION: {
            // The original system asks for the cursor before every move.
            int count = Emit(out, capacity, 0, WM_SETCURSOR, 0, 1 | (int64{WM_MOUSEMOVE} << 16));
            return Emit(out, capacity, count, WM_MOUSEMOVE, state.buttons | ModifierBits(SDL_GetModState()),
                        MakePointParam(event.motion.x, event.motion.y));
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            u64 bit = ButtonBit(event.button.button);
            if (bit == 0) return 0;
            state.buttons = down ? (state.buttons | bit) : (state.buttons & ~bit);
            u32 message;
            u64 extra = 0;
            switch (event.button.button) {
                case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
                case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
                case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
                default:
                    message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP;
                    extra = static_cast<u64>(event.button.button == SDL_BUTTON_X1 ? 1 : 2) << 16;
                    break;
            }
            return Emit(out, capacity, 0, message, state.buttons | extra,
                        MakePointParam(event.button.x, event.button.y));
        }
        case SDL_MOUSEWHEEL: {
            int notches = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
            if (notches == 0) return 0;
            int delta = std::clamp(notches * WHEEL_DELTA, -32768, 32767);
            u64 wParam = (static_cast<u64>(static_cast<u16>(delta)) << 16) | (state.buttons & 0xFFFF);
            return Emit(out, capacity, 0, WM_MOUSEWHEEL, wParam,
                        MakePointParam(event.wheel.mouseX, event.wheel.mouseY));
        }
        case SDL_WINDOWEVENT:
            return TranslateWindowEvent(event.window, state, out, capacity);
        case SDL_QUIT:
            // SIGINT/SIGTERM: end the program the orderly way, files written.
            return Emit(out, capacity, 0, WM_DESTROY, 0, 0);
        default:
            return 0;
    }
}

}  // namespace platform
