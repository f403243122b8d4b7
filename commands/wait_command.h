#pragma once
// "Wait": shows what the script posted so far and waits a time that the
// player may cut short with Enter, Ctrl or a click when SkipOn allows it.
// The wait blocks on the script thread's input waiter and ends early when the
// program quits or restarts, when an interrupt was pushed onto the main
// script, or when next-choice skipping starts on the main script.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

inline constexpr int64 kWaitDefaultTime = 1000;

bool CommandWait(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue& result);
