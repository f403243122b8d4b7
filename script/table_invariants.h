#pragma once
// What every compile leaves behind, whatever its source: each statement and
// each argument names an existing record (or is -1), each list and pool item
// a record points at lies inside its table, each pool text ends with its NUL
// inside the pool, and block-marker and label targets are -1 or a statement.
// Used by the compiler's fuzz target and tests; cheap enough for a debug check.

#include <string>

#include "script/script_record.h"

// True when the tables keep every invariant; otherwise false with the first
// broken one described in `why` (when given).
bool CheckCompiledTables(const classScriptTables& tables, std::string* why = nullptr);
