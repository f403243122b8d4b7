#include <SDL.h>
#include <stdlib.h>

#include <cstring>

#include "platform/dialog.h"

namespace platform {
namespace {

// No one would see a box: answer at once rather than block a test or a
// session without a desktop.
bool NobodyCanSee() {
    const char* mode = getenv("VELK2_DIALOGS");
    if (mode != nullptr && std::strcmp(mode, "stderr") == 0) return true;
    const char* driver = getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        return true;
    }
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 == nullptr || x11[0] == 0) && (wayland == nullptr || wayland[0] == 0);
}

class SdlDialogService final : public DialogService {
public:
    DialogAnswer Show(const std::string& caption, const std::string& text, DialogButtons buttons) override {
        EchoDialogToStderr(caption, text);
        if (NobodyCanSee()) return HeadlessAnswer(buttons);
        SDL_MessageBoxButtonData choices[2];
        int count = 0;
        if (buttons == DialogButtons::Ok) {
            choices[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                                static_cast<int>(DialogAnswer::Ok), "OK"};
        } else {
            choices[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, static_cast<int>(DialogAnswer::Retry),
                                "Retry"};
            choices[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, static_cast<int>(DialogAnswer::Cancel),
                                "Cancel"};
        }
        SDL_MessageBoxData box{};
        box.flags = SDL_MESSAGEBOX_WARNING;
        box.title = caption.c_str();
        box.message = text.c_str();
        box.numbuttons = count;
        box.buttons = choices;
        int chosen = -1;
        // A box that cannot be shown counts as the safe answer, so Retry never loops.
        if (SDL_ShowMessageBox(&box, &chosen) != 0 || chosen < 0) return HeadlessAnswer(buttons);
        return static_cast<DialogAnswer>(chosen);
    }
};

SdlDialogService g_sdlDialogs;

}  // namespace

void InstallSystemDialogService() { SetDialogService(&g_sdlDialogs); }

}  // namespace platform
