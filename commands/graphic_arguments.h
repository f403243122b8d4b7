#pragma once
// Parameter readers shared by the graphic and slot commands. A parameter is
// given only when its argument converts to the parameter's kind; anything
// else (an empty value, a list where a number is wanted, an operator) leaves
// it unset, and the command falls back on its own default.

#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "foundation/vector3.h"
#include "presentation/que_records.h"

class classScriptValue;

// The argument vector of one call and how many of its entries belong to it.
struct GraphicArguments {
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

    // "Target" (position 0) as a scene mask: 1, the main scene, when not given.
    u64 SceneMask() const;
    // "Layer" (position 1) as an object path; empty when not given.
    QuePath Path() const { return Integers(1); }
};

// Three floats from a collected vector. Missing components are `fill` after
// the first (so a single Scale value scales x alone); extra ones are dropped.
D3DXVECTOR3 ToVector3(const std::vector<double>& components, float fill);
