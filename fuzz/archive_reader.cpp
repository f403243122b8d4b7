// Feeds arbitrary bytes to the archive index reader as if they were a whole
// ".qvc" file, then reads every entry it kept: each must lie inside the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/archive.h"

namespace {

class MemorySource final : public classArchiveSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    u64 Size() const override { return size_; }
    bool ReadAt(u64 offset, u64 n, void* out) override {
        if (offset > size_ || n > size_ - offset) return false;
        std::copy_n(data_ + offset, n, static_cast<u8*>(out));
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource source(data, size);
    std::vector<classArchiveEntry> entries;
    ParseArchiveIndex(source, entries);
    std::vector<u8> buffer;
    for (const classArchiveEntry& entry : entries) {
        if (entry.name.empty()) __builtin_trap();
        buffer.resize(entry.dataSize);
        if (!source.ReadAt(entry.dataOffset, entry.dataSize, buffer.data())) __builtin_trap();
    }
    return 0;
}
