#pragma once
// A tiny little-endian byte builder for test fixtures. Tests lay out binary
// records field by field from their documented layouts with it, so a fixture
// never comes from the writer under test.

#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/types.h"

namespace testbytes {

class LeBytes {
public:
    LeBytes& U8(u8 v) {
        bytes_.push_back(v);
        return *this;
    }
    LeBytes& U16(u16 v) { return Le(v, 2); }
    LeBytes& U32(u32 v) { return Le(v, 4); }
    LeBytes& U64(u64 v) { return Le(v, 8); }
    LeBytes& I64(int64 v) { return Le(static_cast<u64>(v), 8); }
    LeBytes& F64(double v) {
        u64 bits;
        std::memcpy(&bits, &v, 8);
        return Le(bits, 8);
    }
    // The text's bytes as they are; add the NUL with Z().
    LeBytes& Text(std::string_view s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    LeBytes& Z() { return U8(0); }
    LeBytes& Zeros(std::size_t n) {
        bytes_.insert(bytes_.end(), n, 0);
        return *this;
    }
    LeBytes& Append(const std::vector<u8>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    // Overwrites a 32- or 64-bit field already laid out.
    LeBytes& PatchU32(std::size_t at, u32 v) { return Patch(at, v, 4); }
    LeBytes& PatchU64(std::size_t at, u64 v) { return Patch(at, v, 8); }

    // Reads back a 32-bit field, to patch a record the writer laid out.
    u32 GetU32(std::size_t at) const {
        u32 v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<u32>(bytes_.at(at + i)) << (8 * i);
        return v;
    }
    std::size_t Size() const { return bytes_.size(); }
    const std::vector<u8>& Bytes() const { return bytes_; }
    operator const std::vector<u8>&() const { return bytes_; }

private:
    LeBytes& Le(u64 v, int n) {
        for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<u8>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    LeBytes& Patch(std::size_t at, u64 v, int n) {
        for (int i = 0; i < n; ++i) bytes_.at(at + i) = static_cast<u8>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    std::vector<u8> bytes_;
};

}  // namespace testbytes
