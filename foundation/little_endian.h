#pragma once
// Little-endian loads and stores shared by the readers and writers of the
// engine's binary formats (archives, compiled images, value, variable and
// sound records). Callers check that the bytes lie inside their data first.

#include <cstddef>
#include <vector>

#include "foundation/types.h"

// The low `bytes` bytes of a little-endian number (1 to 8).
inline u64 LoadLe(const u8* p, int bytes) {
    u64 value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}
inline u16 LoadLe16(const u8* p) { return static_cast<u16>(LoadLe(p, 2)); }
inline u32 LoadLe32(const u8* p) { return static_cast<u32>(LoadLe(p, 4)); }
inline u64 LoadLe64(const u8* p) { return LoadLe(p, 8); }

inline void StoreLe(u8* at, u64 value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<u8>((value >> (8 * i)) & 0xFF);
}
inline void StoreLe(std::vector<u8>& out, std::size_t at, u64 value, int bytes) {
    StoreLe(out.data() + at, value, bytes);
}
inline void AppendLe(std::vector<u8>& out, u64 value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<u8>((value >> (8 * i)) & 0xFF));
}
