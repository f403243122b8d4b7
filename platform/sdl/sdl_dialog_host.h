#pragma once
// The UI thread's side of the message boxes. A box is an SDL window, and SDL
// windows and their events belong to the UI thread; a box asked for on another
// thread is handed to the UI thread through an event and opened there, while
// the asking thread waits for the answer. The main window's event loop passes
// every event here first.

#include <SDL.h>

namespace platform {

// UI thread: from now on the main window's loop serves boxes of other threads.
void AttachDialogHost();
// UI thread: the game window every box stays above (null once it is gone).
void SetDialogOwner(SDL_Window* owner);
// UI thread: the loop ends; every box of another thread is closed with its
// safe answer, and later ones are answered at once.
void DetachDialogHost();
// UI thread: true when the event belonged to a box (a request, or input to a
// box's window); the caller then drops it.
bool HandleDialogEvent(const SDL_Event& event);
// Any thread: a quit signal came; every box of another thread is answered at
// once (the UI thread closes their windows when it next looks).
void AnswerDialogsForQuit();

}  // namespace platform
