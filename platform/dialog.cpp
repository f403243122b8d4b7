#include "platform/dialog.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

class StderrDialogService final : public DialogService {
public:
    DialogAnswer Show(const std::string& caption, const std::string& text, DialogButtons buttons,
                      DialogIcon) override {
        EchoDialogToStderr(caption, text);
        return HeadlessAnswer(buttons);
    }
};

StderrDialogService g_stderrDialogs;
// Installed once at start-up or by a test; read from any thread.
std::atomic<DialogService*> g_dialogService{nullptr};

}  // namespace

void EchoDialogToStderr(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

DialogService& GetDialogService() {
    DialogService* service = g_dialogService.load(std::memory_order_acquire);
    return service ? *service : g_stderrDialogs;
}

void SetDialogService(DialogService* service) { g_dialogService.store(service, std::memory_order_release); }

void CloseAllDialogs() { GetDialogService().CloseAll(); }

void CloseDialogsAsProgramEnds() { GetDialogService().CloseOtherThreadsBoxes(); }

DialogAnswer ShowMessageBox(const std::string& text, const std::string& caption, DialogButtons buttons,
                            DialogIcon icon) {
    return GetDialogService().Show(caption, text, buttons, icon);
}

}  // namespace platform
