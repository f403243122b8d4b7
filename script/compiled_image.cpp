// The "QVS002" image: a 48-byte header, then the tables that are not empty,
// in the order statement, argument list, record, pool. Each table is found by
// its own offset and size, so the reader needs nothing else from the header.
#include <cstring>

#include "script/script_record.h"

namespace {

constexpr char kImageMagic[6] = {'Q', 'V', 'S', '0', '0', '2'};
constexpr u32 kImageHeaderSize = 48;

void StoreU32(std::vector<u8>& out, std::size_t at, u32 value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<u8>((value >> (8 * i)) & 0xFF);
}

void AppendU32(std::vector<u8>& out, u32 value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<u8>((value >> (8 * i)) & 0xFF));
}

u32 LoadU32(const u8* p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}

// Writes one table's words and its (offset, size) pair at the given header
// slot; an empty table keeps zeros there.
void AppendWords(std::vector<u8>& out, std::size_t slot, const std::vector<u32>& words) {
    if (words.empty()) return;
    const std::size_t offset = out.size();
    for (u32 word : words) AppendU32(out, word);
    StoreU32(out, slot, static_cast<u32>(offset));
    StoreU32(out, slot + 4, static_cast<u32>(out.size() - offset));
}

// Where a table lies, when it lies wholly inside the image. The sum is taken
// in 64 bits: a 32-bit sum of a large offset and size wraps below the end.
bool LocateTable(const u8* header, std::size_t slot, u64 imageSize, u64& offset, u64& size) {
    offset = LoadU32(header + slot);
    size = LoadU32(header + slot + 4);
    return offset < imageSize && size > 0 && offset + size <= imageSize;
}

void ReadWords(const u8* bytes, u64 offset, u64 size, std::vector<u32>& words) {
    const u64 count = size / 4;
    words.resize(static_cast<std::size_t>(count));
    for (u64 i = 0; i < count; ++i) words[static_cast<std::size_t>(i)] = LoadU32(bytes + offset + 4 * i);
}

}  // namespace

void classScriptTables::WriteImage(std::vector<u8>& out) const {
    out.assign(kImageHeaderSize, 0);
    std::memcpy(out.data(), kImageMagic, sizeof kImageMagic);
    StoreU32(out, 8, kImageHeaderSize);
    AppendWords(out, 12, statements_);
    AppendWords(out, 20, argumentLists_);
    if (!records_.empty()) {
        const std::size_t offset = out.size();
        for (const classScriptRecord& record : records_) {
            AppendU32(out, record.type);
            AppendU32(out, record.a);
            AppendU32(out, record.b);
        }
        StoreU32(out, 28, static_cast<u32>(offset));
        StoreU32(out, 32, static_cast<u32>(out.size() - offset));
    }
    if (!pool_.empty()) {
        const std::size_t offset = out.size();
        out.insert(out.end(), pool_.begin(), pool_.end());
        StoreU32(out, 36, static_cast<u32>(offset));
        StoreU32(out, 40, static_cast<u32>(pool_.size()));
    }
    StoreU32(out, 44, tmpCount_);
}

bool classScriptTables::ReadImage(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kImageHeaderSize) return false;
    if (std::memcmp(bytes, kImageMagic, sizeof kImageMagic) != 0) return false;

    u64 offset = 0;
    u64 length = 0;
    if (LocateTable(bytes, 12, size, offset, length)) ReadWords(bytes, offset, length, statements_);
    if (LocateTable(bytes, 20, size, offset, length)) ReadWords(bytes, offset, length, argumentLists_);
    if (LocateTable(bytes, 28, size, offset, length)) {
        // A record is three words; a ragged tail is dropped.
        const u64 count = length / 12;
        records_.resize(static_cast<std::size_t>(count));
        for (u64 i = 0; i < count; ++i) {
            const u8* p = bytes + offset + 12 * i;
            records_[static_cast<std::size_t>(i)] = {LoadU32(p), LoadU32(p + 4), LoadU32(p + 8)};
        }
        ForgetIndex();
    }
    if (LocateTable(bytes, 36, size, offset, length)) {
        pool_.assign(bytes + offset, bytes + offset + length);
        ForgetIndex();
    }
    tmpCount_ = LoadU32(bytes + 44);
    return true;
}
