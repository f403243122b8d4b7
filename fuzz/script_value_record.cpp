// Value records come from play data and "System.dat", which anyone can edit.
// Reading must stay inside the bytes whatever they hold, and what it reads
// must write back to a record that reads back to the same value.
#include <cstdlib>
#include <vector>

#include "script/script_value.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    classScriptValue value;
    if (!ReadScriptValue(&value, data, size)) return 0;
    value.AsString();
    value.AsInteger();
    value.AsReal();
    std::vector<u8> first;
    WriteScriptValue(value, first);
    classScriptValue again;
    if (!ReadScriptValue(&again, first.data(), first.size())) std::abort();
    std::vector<u8> second;
    WriteScriptValue(again, second);
    if (first != second) std::abort();
    return 0;
}
