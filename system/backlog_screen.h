#pragma once
// The backlog screen ("History", and the wheel-up of a key wait through
// "system\\History.qvs"): three pages of the history store at a time, shown
// on rows the calling script has made under main-scene object 120, scrolled
// by the wheel, the arrow and page keys and a scroll-bar knob, with a voice
// button per row that replays the page's voice on sound layer 99. The screen
// makes no object and removes none; a record on a missing object does
// nothing. It ends when the player leaves (back button, right click), the
// program quits or restarts, or another frame is pushed on the main script.

#include <cstddef>
#include <string>
#include <vector>

#include "system/history_store.h"

class classScriptContext;

// The voice file of the page each row shows; empty when it has none. Kept
// after the screen closes. Only the thread running the screen touches them.
extern std::string g_backlogRowVoice[3];

// Posts (uncommitted, main queue) what shows the entry at `position` in row 0
// and the two older ones in rows 1 and 2; a position of entries.size() is
// the end of the store.
void BuildBacklogPage(const std::vector<classHistoryLog::Entry>& entries, std::size_t position);

// Runs the screen on the calling script thread, on that thread's waiter.
void RunBacklogScreen(classScriptContext& context);

// Hands the screen to the "History" command; part of the program's start-up.
void RegisterSystemScreens();
