#pragma once
// The commands that give scripts their values and their branching: "=" works
// out an expression the compiler flattened into tokens, "if" and "else" skip
// blocks through the jump field of the "{" after them, and "ToString" turns a
// number into text.

#include <cstddef>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

bool CommandAssign(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                   classScriptValue& result);
bool CommandIf(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
               classScriptValue& result);
bool CommandElse(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                 classScriptValue& result);
bool CommandToString(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue& result);

// The value of an expression given as its token list, written into result
// (which the caller has cleared). This is "=" without a context; the
// benchmark and the tests call it directly.
void EvaluateExpressionTokens(const classScriptValue* tokens, int32 count, classScriptValue& result);

// Binding power of an operator text as the evaluator groups it; 0 for
// anything that is not one of the twenty operators.
int GetOperatorPrecedence(const char* text, std::size_t length);
