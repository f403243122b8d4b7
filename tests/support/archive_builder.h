#pragma once
// ".qvc" archives laid out by hand for tests: the 24-byte header, the index
// straight after it, then each name with its zero, then the data in entry
// order, so the last entry's data ends exactly at the end of the file.

#include <string>
#include <vector>

#include "foundation/types.h"
#include "support/le_bytes.h"

namespace testarchive {

struct FixtureEntry {
    std::string name;
    std::string data;
};

inline std::vector<u8> BuildArchive(const std::vector<FixtureEntry>& entries) {
    const u32 indexOffset = 24;
    const u32 indexSize = static_cast<u32>(entries.size() * 20);
    u32 at = indexOffset + indexSize;
    std::vector<u32> nameAt, dataAt;
    for (const auto& e : entries) {
        nameAt.push_back(at);
        at += static_cast<u32>(e.name.size() + 1);
    }
    for (const auto& e : entries) {
        dataAt.push_back(at);
        at += static_cast<u32>(e.data.size());
    }
    testbytes::LeBytes out;
    out.Text("QVC-ARCHIVE-0001").U32(indexOffset).U32(indexSize);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out.U32(nameAt[i]).U32(static_cast<u32>(entries[i].name.size() + 1));
        out.U32(dataAt[i]).U32(static_cast<u32>(entries[i].data.size())).U32(0xDEADBEEF);
    }
    for (const auto& e : entries) out.Text(e.name).Z();
    for (const auto& e : entries) out.Text(e.data);
    return out.Bytes();
}

}  // namespace testarchive
