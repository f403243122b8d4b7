// The "QVS002" image: a 48-byte header, then the tables that are not empty,
// in the order statement, argument list, record, pool. Each table is found by
// its own offset and size, so the reader needs nothing else from the header.
#include <cstring>
#include <utility>

#include "script/script_record.h"
#include "foundation/little_endian.h"

namespace {

constexpr char kImageMagic[6] = {'Q', 'V', 'S', '0', '0', '2'};
constexpr u32 kImageHeaderSize = 48;




// Writes one table's words and its (offset, size) pair at the given header
// slot; an empty table keeps zeros there.
void AppendWords(std::vector<u8>& out, std::size_t slot, const std::vector<u32>& words) {
    if (words.empty()) return;
    const std::size_t offset = out.size();
    for (u32 word : words) AppendLe(out, word, 4);
    StoreLe(out, slot, static_cast<u32>(offset), 4);
    StoreLe(out, slot + 4, static_cast<u32>(out.size() - offset), 4);
}

// Where a table lies, when it lies wholly inside the image. The sum is taken
// in 64 bits: a 32-bit sum of a large offset and size wraps below the end.
bool LocateTable(const u8* header, std::size_t slot, u64 imageSize, u64& offset, u64& size) {
    offset = LoadLe32(header + slot);
    size = LoadLe32(header + slot + 4);
    return offset < imageSize && size > 0 && offset + size <= imageSize;
}

void ReadWords(const u8* bytes, u64 offset, u64 size, std::vector<u32>& words) {
    const u64 count = size / 4;
    words.resize(static_cast<std::size_t>(count));
    for (u64 i = 0; i < count; ++i) words[static_cast<std::size_t>(i)] = LoadLe32(bytes + offset + 4 * i);
}

}  // namespace

void classScriptTables::WriteImage(std::vector<u8>& out) const {
    out.assign(kImageHeaderSize, 0);
    std::memcpy(out.data(), kImageMagic, sizeof kImageMagic);
    StoreLe(out, 8, kImageHeaderSize, 4);
    AppendWords(out, 12, statements_);
    AppendWords(out, 20, argumentLists_);
    if (!records_.empty()) {
        const std::size_t offset = out.size();
        for (const classScriptRecord& record : records_) {
            AppendLe(out, record.type, 4);
            AppendLe(out, record.a, 4);
            AppendLe(out, record.b, 4);
        }
        StoreLe(out, 28, static_cast<u32>(offset), 4);
        StoreLe(out, 32, static_cast<u32>(out.size() - offset), 4);
    }
    if (!pool_.empty()) {
        const std::size_t offset = out.size();
        out.insert(out.end(), pool_.begin(), pool_.end());
        StoreLe(out, 36, static_cast<u32>(offset), 4);
        StoreLe(out, 40, static_cast<u32>(pool_.size()), 4);
    }
    StoreLe(out, 44, tmpCount_, 4);
}

bool classScriptTables::IsImageWhole(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kImageHeaderSize || std::memcmp(bytes, kImageMagic, sizeof kImageMagic) != 0 ||
        LoadLe32(bytes + 8) != kImageHeaderSize)
        return false;
    // The tables follow the header in their order, each directly after the
    // one before, whole words (whole records) only, up to the image's end.
    u64 end = kImageHeaderSize;
    for (const auto& [slot, unit] : {std::pair<std::size_t, u64>{12, 4}, {20, 4}, {28, 12}, {36, 1}}) {
        const u64 offset = LoadLe32(bytes + slot);
        const u64 length = LoadLe32(bytes + slot + 4);
        if (offset == 0 && length == 0) continue;
        if (offset != end || length == 0 || length % unit != 0 || length > size - offset) return false;
        end = offset + length;
    }
    return end == size;
}

bool classScriptTables::ReadImage(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kImageHeaderSize) return false;
    if (std::memcmp(bytes, kImageMagic, sizeof kImageMagic) != 0) return false;

    u64 offset = 0;
    u64 length = 0;
    if (LocateTable(bytes, 12, size, offset, length)) {
        ReadWords(bytes, offset, length, statements_);
        lines_.clear();  // an image holds no lines
    }
    if (LocateTable(bytes, 20, size, offset, length)) ReadWords(bytes, offset, length, argumentLists_);
    if (LocateTable(bytes, 28, size, offset, length)) {
        // A record is three words; a ragged tail is dropped.
        const u64 count = length / 12;
        records_.resize(static_cast<std::size_t>(count));
        for (u64 i = 0; i < count; ++i) {
            const u8* p = bytes + offset + 12 * i;
            records_[static_cast<std::size_t>(i)] = {LoadLe32(p), LoadLe32(p + 4), LoadLe32(p + 8)};
        }
        ForgetIndex();
    }
    if (LocateTable(bytes, 36, size, offset, length)) {
        pool_.assign(bytes + offset, bytes + offset + length);
        ForgetIndex();
    }
    tmpCount_ = LoadLe32(bytes + 44);
    return true;
}
