// Character lists come with a game's data. Whatever the bytes, every entry
// read must name a real character and a bounded file name without blanks.
#include <cstdlib>

#include "presentation/character_list.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    std::vector<classCharacterListEntry> entries = ParseCharacterList(data, size);
    for (const classCharacterListEntry& entry : entries) {
        if (entry.code == 0 || entry.code > 0x10FFFF) std::abort();
        if (entry.file.empty() || entry.file.size() > kMaxCharacterListPath) std::abort();
        for (char c : entry.file) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0') std::abort();
        }
    }
    return 0;
}
