#pragma once
// Commands that move execution between scripts (jump, call, interrupt,
// return), end or restart the game, reset variable scopes, save the system
// files, handle the play-data slots and open or clear the backlog.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

#define VELK2_FLOW_COMMAND(name)                                                                        \
    bool name(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count, \
              classScriptValue& result)

VELK2_FLOW_COMMAND(CommandReturn);
VELK2_FLOW_COMMAND(CommandScriptJump);
VELK2_FLOW_COMMAND(CommandScriptCall);
VELK2_FLOW_COMMAND(CommandScriptInterrupt);
VELK2_FLOW_COMMAND(CommandQuit);
VELK2_FLOW_COMMAND(CommandRestart);
VELK2_FLOW_COMMAND(CommandVariableReset);
VELK2_FLOW_COMMAND(CommandSystemDataSave);
VELK2_FLOW_COMMAND(CommandPlayDataLoad);
VELK2_FLOW_COMMAND(CommandPlayDataSave);
VELK2_FLOW_COMMAND(CommandPlayDataCheck);
VELK2_FLOW_COMMAND(CommandPlayDataDelete);
VELK2_FLOW_COMMAND(CommandPlayDataGetIndex);
VELK2_FLOW_COMMAND(CommandPlayDataGetDate);
VELK2_FLOW_COMMAND(CommandHistoryReset);
VELK2_FLOW_COMMAND(CommandHistory);
#undef VELK2_FLOW_COMMAND

// The settings screen reads its settings as global variables (element 0);
// 0 when the variable is absent or does not read as a number.
int64 GetGlobalVariableInt(std::string_view name);
double GetGlobalVariableDouble(std::string_view name);

// The transition a load and the end of a skip fade in with.
inline constexpr int64 kPlayDataLoadTransitionMs = 1000;
