// "Already.dat" comes from the player's folder. Reading must stay inside the
// bytes, allocate no more marks than the file holds, and what it read must
// write out and read back as the same buffers.
#include <cstdlib>
#include <vector>

#include "script/already_read.h"
#include "system/system_files.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    classAlreadyReadList list;
    if (!ParseAlreadyData(list, data, size)) {
        if (list.Count() != 0) std::abort();
        return 0;
    }
    u64 marks = 0;
    list.ForEach([&](const classAlreadyReadBuffer& buffer) { marks += buffer.bytes.size(); });
    if (marks > size) std::abort();
    std::vector<u8> first;
    if (!BuildAlreadyData(list, first)) std::abort();
    // Nameless buffers are not written, so a list of only those gives a bare
    // header, which is no file to read.
    if (first.size() <= kAlreadyDataHeaderSize) return 0;
    classAlreadyReadList again;
    if (!ParseAlreadyData(again, first.data(), first.size())) std::abort();
    std::vector<u8> second;
    if (!BuildAlreadyData(again, second)) std::abort();
    if (first != second) std::abort();
    return 0;
}
