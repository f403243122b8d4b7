#pragma once
// Renders compiled tables as short readable strings so that tests can state
// the expected statements as worked out by hand. It reads the raw tables
// directly, not through the compiler's own readers.
//
// Records render as: i:5 (integer), r:1.5 (real), s:"x" (string), op:+,
// #name@3 (label with its target), tmp0, g:Score / n:x / l:x / sys:x
// (variables, with [subscript]), (a b c) (parenthesis list), Name(a, b)
// (command), {@7 and }@1 (block markers with their b), - (absent).

#include <string>
#include <vector>

#include "script/script_record.h"

namespace testscript {

std::string RenderRecord(const classScriptTables& tables, u32 recordIndex);
// One string per statement, in order.
std::vector<std::string> RenderStatements(const classScriptTables& tables);

}  // namespace testscript
