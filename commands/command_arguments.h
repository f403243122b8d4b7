#pragma once
// Typed reads of one command call's arguments. Only the first `count` entries
// of the argument vector belong to the call (the context reuses the vector and
// never shrinks it), so every read is bounded here. A parameter is given only
// when its argument converts to the parameter's kind; anything else (an empty
// value, a list where a number is wanted, an operator where a name is wanted)
// leaves it unset, and the command falls back on its own default.

#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/types.h"

class classScriptValue;

struct classCommandArguments {
    const std::vector<classScriptValue>& values;
    int32 count;

    // Null when `position` lies at or beyond the call's own arguments.
    const classScriptValue* At(int32 position) const;

    classOptionalValue<int64> Integer(int32 position) const;
    classOptionalValue<double> Real(int32 position) const;
    classOptionalValue<std::string> Text(int32 position) const;
    // Numbers of a path or vector argument, flattened; empty when not given.
    std::vector<int64> Integers(int32 position) const;
    std::vector<double> Reals(int32 position) const;
};
