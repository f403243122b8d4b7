#pragma once
// Message boxes. Every box's caption and text also go to stderr, as someone
// starting the program from a terminal expects. Without a display the answer
// comes at once (OK, or Cancel for Retry/Cancel), so a Retry never loops and
// no test blocks. Never call this from a thread that holds an engine lock: the
// UI thread shows the box and may itself be waiting for that lock.

#include <string>

namespace platform {

enum class DialogButtons { Ok, RetryCancel };
enum class DialogAnswer { Ok, Retry, Cancel };
// The sign drawn at the box's left beside the text; None draws nothing there.
enum class DialogIcon { None, Warning };

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual DialogAnswer Show(const std::string& caption, const std::string& text, DialogButtons buttons,
                              DialogIcon icon) = 0;
    // The program is ending: every open box closes with its safe answer
    // (OK, Cancel), and boxes of other threads are answered at once from now
    // on. Called on the UI thread.
    virtual void CloseAll() {}
    // The program is ending while its message loop still runs (its main
    // script is over): boxes of other threads close with their safe answer,
    // and later ones are answered at once, since nobody could act on them
    // any more. Any thread.
    virtual void CloseOtherThreadsBoxes() {}
};

// The service in use. Until one is installed, boxes go to stderr only and are
// answered at once.
DialogService& GetDialogService();
// Installs a service (a real one at start-up, a fake in tests); null restores
// the stderr-only service. The caller keeps ownership.
void SetDialogService(DialogService* service);

// Installs the program's own message boxes, drawn in SDL windows with our
// fonts, on the calling thread as the UI thread; without a display, with SDL's
// offscreen or dummy driver, with VELK2_DIALOGS=stderr, when a box cannot be
// opened or once a quit signal has come, they are stderr-only with an
// immediate answer. Boxes of other threads are shown by the UI thread while
// the main window's loop runs; the asking thread waits for the answer.
void InstallSystemDialogService();

// The UI thread, waiting for a lock another thread holds: that thread may be
// waiting for a box, which only the UI thread can show. Serves boxes for about
// a millisecond and keeps every other event for the main window's loop;
// EndServingDialogsWhileBlocked gives those back once the lock is taken.
void ServeDialogsWhileBlocked();
void EndServingDialogsWhileBlocked();

// GetDialogService().CloseAll(): the message loop has ended.
void CloseAllDialogs();
// GetDialogService().CloseOtherThreadsBoxes(): the program is ending.
void CloseDialogsAsProgramEnds();

// Convenience: GetDialogService().Show(...).
DialogAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                            DialogButtons buttons = DialogButtons::Ok, DialogIcon icon = DialogIcon::None);

// The answer a box gets when no one can see it.
inline DialogAnswer HeadlessAnswer(DialogButtons buttons) {
    return buttons == DialogButtons::RetryCancel ? DialogAnswer::Cancel : DialogAnswer::Ok;
}

// Writes a box's caption and text to stderr.
void EchoDialogToStderr(const std::string& caption, const std::string& text);

}  // namespace platform
