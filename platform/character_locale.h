#pragma once
// The process's character locale. Text inside the engine is UTF-8 whatever the
// player's environment says; X converts window titles through the C library's
// character locale, so under the bare "C" locale a Japanese title cannot be
// set or read back. Only LC_CTYPE is touched: numbers are read and written
// without the locale (foundation/number_text.h), and other categories stay
// as the C library starts them.

namespace platform {

// Makes LC_CTYPE a UTF-8 locale: the environment's when it is one, else
// "C.UTF-8". Call at start-up before any other thread runs (setlocale is not
// thread-safe). False when no UTF-8 locale could be had; the old one stays.
bool UseUtf8CharacterLocale();

// Under a UTF-8 locale X's input method reads the locale's whole table of
// compose sequences when the window opens: thousands of lines, a sixth of
// the time to the first picture. The game takes keys and never composed
// text, so it is given an empty table. Call at start-up before any other
// thread runs (it sets an environment variable).
void SkipComposeSequences();

}  // namespace platform
