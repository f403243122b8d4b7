#pragma once
// Flattening of vector and path arguments: the slot commands take their
// vectors (Position=0:0:1.5) and the graphic commands their "Layer" paths
// (Layer=1:2:3) as list values, possibly nested, and want the numbers in order.

#include <vector>

#include "foundation/types.h"

class classScriptValue;

// Appends the numbers of one argument to `out`: the children of a list depth
// first (nested lists included), or the value itself when it is a number or
// a text; anything else (empty values, operators, labels) is passed over.
// True when `out` holds anything afterwards.
bool CollectArgumentDoubles(std::vector<double>& out, const classScriptValue& value);
// The same for 64-bit integers: reals are truncated toward zero, texts read
// as numbers.
bool CollectArgumentIntegers(std::vector<int64>& out, const classScriptValue& value);
