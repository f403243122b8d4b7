#pragma once
// The fixed vocabulary of built-in script commands: their names, their
// parameter names in positional order and their handlers. The compiler binds
// named arguments through it, the statement executor calls through it.
// The table is constant data; lookups need no lock and run on any thread.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

// The handler of one command. `arguments` is the context's argument vector:
// it is never shrunk, so only the first `count` entries belong to this call.
// The result is delivered by writing `result`; the return value is ignored.
using BuiltinCommandHandler = bool (*)(classScriptContext& context,
                                       const std::vector<classScriptValue>& arguments, int32 count,
                                       classScriptValue& result);

constexpr int32 kBuiltinParamSlots = 29;
// Records 1..78 are commands; record 0 and record 79 are all zero, so index 0
// can stand for "not a command" and a null name ends every walk.
constexpr int32 kBuiltinCommandCount = 78;
constexpr int32 kBuiltinTableSize = kBuiltinCommandCount + 2;

struct BuiltinCommandEntry {
    const char* name;
    u32 reserved[3];
    BuiltinCommandHandler handler;
    const char* paramNames[kBuiltinParamSlots];
};

extern const BuiltinCommandEntry g_builtinCommandTable[kBuiltinTableSize];

// Index of the first record named exactly `name` (byte comparison, case
// matters), or 0 when no command has that name.
int32 FindBuiltinCommand(std::string_view name);

// Fills `names` with the parameter names of record `index` in positional
// order (empty for commands without parameters and for indices outside the
// table). Always true.
bool GetBuiltinParamNames(int32 index, std::vector<std::string>& names);

// Number of parameter names of record `index`; 0 outside the table.
int32 GetBuiltinParamCount(int32 index);

// Calls the handler of record `index`. A record without a handler, and an
// index outside 1..78, does nothing.
void CallBuiltinCommand(int32 index, classScriptContext& context,
                        const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue& result);
