#pragma once
// SDL events into window messages with the numbers and virtual-key codes the
// engine and its scripts expect.

#include <SDL.h>

#include "foundation/types.h"
#include "platform/window_messages.h"

namespace platform {

// What the translation needs to know about the window besides the event.
struct TranslationState {
    bool maximized = false;
    u64 buttons = 0;  // MK_* bits of the mouse buttons now held; kept by the translation
};

// The virtual-key code of an SDL key (layout-aware: the letter the layout
// puts there); 0 when the key has none.
u32 VirtualKeyFromSdl(SDL_Keycode key);

// Writes up to `capacity` messages for one event and returns how many; 0 for
// events that mean nothing to the engine.
int TranslateSdlEvent(const SDL_Event& event, TranslationState& state, WindowMessage* out, int capacity);

}  // namespace platform
