// Arbitrary bytes as the backlog section of a play-data file; whatever is
// read must write back out as a section that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "system/history_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    classHistoryLog log;
    DeserializeBacklog(log, data, size);
    std::vector<u8> written;
    SerializeBacklog(log, written);
    classHistoryLog again;
    DeserializeBacklog(again, written.data(), written.size());
    if (again.Snapshot() != log.Snapshot()) std::abort();
    return 0;
}
