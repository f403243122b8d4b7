#pragma once
// The slot commands: give an object a numbered animation slot, change some
// parameters of a running one, or remove one. Each posts one record to the
// main queue uncommitted; what a slot then does is the scene's business.
// Vector parameters take a number or a list (Position=10:20); a missing
// Scale component is 1, any other missing component 0. No result is written.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

bool Builtin_GraphicSlot(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                         int32 count, classScriptValue& result);
bool Builtin_GraphicSlotAlter(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                              int32 count, classScriptValue& result);
bool Builtin_GraphicSlotDelete(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                               int32 count, classScriptValue& result);
