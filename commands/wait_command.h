#pragma once
// The commands where a script thread meets the screen and the player:
// "Transition" fades the whole picture over a time, "Wait" waits a time the
// player may cut short, "GraphicWait" waits for an object's animation or
// movie, and "KeyWait" waits for the player (or auto mode) to advance the
// text. Each shows what the script posted so far, blocks on the thread's
// input waiter, and ends early when the program quits or restarts. On the
// main script all of them return at once while next-choice skipping runs.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

inline constexpr int64 kWaitDefaultTime = 1000;
inline constexpr int64 kTransitionDefaultTime = 1000;
inline constexpr int64 kKeyWaitDefaultTime = 9223372036854775807LL;  // no limit
// "GraphicWait" polls its object this often besides waking on input.
inline constexpr int64 kGraphicWaitPollMs = 100;
// Auto mode never re-checks a still-playing voice sooner than this, so a
// speed of 0 or less neither stalls the page nor spins the thread.
inline constexpr int64 kAutoModeMinimumRecheckMs = 10;
// Fade of the page's voices when a key wait ends with the setting on.
inline constexpr int64 kKeyWaitVoiceFadeMs = 100;
inline constexpr char kHistoryScript[] = "system\\History.qvs";

bool CommandTransition(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue& result);
bool CommandWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue& result);
bool CommandGraphicWait(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                        int32 count, classScriptValue& result);
bool CommandKeyWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                    classScriptValue& result);

// What a remaining time becomes as a waiter time-out: anything at or beyond
// the old 32-bit "infinite" waits without limit (-1), so a huge time never
// wraps into a short or zero wait.
int64 WaiterTimeoutFor(int64 remainingMs);

// The auto-mode time of a page, from the voice first and the text second.
// voiceElapsed/voiceTotal are the last voice's layer times (0, 0 when there is
// none); characters and textTime come from the text object [100, 0]
// (hasText false when there is none).
int64 AutoModePageTime(bool hasVoice, u32 voiceElapsedMs, u32 voiceTotalMs, bool hasText, int64 characters,
                       int64 textTimeMs, int64 autoSpeedMs);

// When auto mode looks again at a voice still playing once its page time is
// up: the page's own voice when it is left to hear by its play position
// (pageVoiceRemainingMs, from the layer; unset when that voice does not play
// once), else after the auto speed; never sooner than the floor.
int64 AutoModeRecheckTime(bool pageVoicePlaysOnce, int64 pageVoiceRemainingMs, int64 autoSpeedMs);
