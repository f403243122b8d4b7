// "System.dat" comes from the player's folder, where anything may be written.
// A file read in and written out again must read back to the same variables.
#include <cstdlib>
#include <vector>

#include "script/global_variables.h"
#include "system/system_files.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    g_globalVariables.Clear();
    if (!ParseSystemData(data, size)) {
        if (g_globalVariables.Size() != 0) std::abort();  // a rejected file changes nothing
        return 0;
    }
    std::vector<u8> first;
    BuildSystemData(first);
    const std::size_t count = g_globalVariables.Size();
    g_globalVariables.Clear();
    if (!ParseSystemData(first.data(), first.size())) std::abort();
    if (g_globalVariables.Size() != count) std::abort();
    std::vector<u8> second;
    BuildSystemData(second);
    if (first != second) std::abort();
    return 0;
}
