// Arbitrary bytes as the backlog section of a play-data file; whatever is
// read must write back out as a section that reads back the same. A section
// the load would take (a whole one) writes back byte for byte, and what the
// writer gives is always whole.
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
    if (!written.empty() && !IsBacklogSectionWhole(written.data(), written.size())) std::abort();
    if (IsBacklogSectionWhole(data, size) && written != std::vector<u8>(data, data + size)) std::abort();
    return 0;
}
