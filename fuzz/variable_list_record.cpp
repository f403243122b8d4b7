// Variable-list records are the variable sections of play data, frame records
// and "System.dat". Reading must stay inside the bytes, and a list read once
// must write and read back unchanged.
#include <cstdlib>
#include <vector>

#include "script/script_variable.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    classScriptVariableList list;
    ReadVariableList(list, data, size);
    for (const classScriptVariable& variable : list) {
        if (list.Find(variable.name, variable.index) == nullptr) std::abort();
    }
    std::vector<u8> first;
    WriteVariableList(list, first);
    classScriptVariableList again;
    ReadVariableList(again, first.data(), first.size());
    if (again.Size() != list.Size()) std::abort();
    std::vector<u8> second;
    WriteVariableList(again, second);
    if (first != second) std::abort();
    return 0;
}
