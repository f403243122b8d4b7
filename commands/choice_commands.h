#pragma once
// Choices. A "Select" statement is followed by a block of "Case" statements,
// each with a block of its own. "Select" runs twice: first it runs its block
// in a frame of its own, during which every "Case" puts an input target on
// the thread's waiter instead of running its block; then it waits until one
// of the targets fires and sends the script into the chosen case's block.
// Outside that registration pass a "Case" only steps over its block, so
// after the chosen block the script runs on past the "Select" block.

#include <string>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

// "Select" waits for a decision in steps of this long, re-testing quit,
// restart and a pushed interrupt after each.
inline constexpr int64 kSelectWaitStepMs = 1000;

bool CommandSelect(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                   classScriptValue& result);
bool CommandCase(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue& result);

// The coloured text of a case state: "@c(<colour>)" and the text, the colour
// being the low 32 bits of the value read as a signed number.
std::string FormatCaseText(int64 color, const std::string& text);

// Seams: how a decision on the main script names play-data slot 0 (null: the
// player's save folder), and what ends next-choice skipping when the main
// script reaches a "Select" (null: the scene reset that ends the skip).
using ChoicePlayDataPathMaker = std::string (*)(int64 slot);
using ChoiceSkipEnder = void (*)();
void SetChoiceHooks(ChoicePlayDataPathMaker pathMaker, ChoiceSkipEnder skipEnder);
