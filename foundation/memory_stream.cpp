#include "foundation/memory_stream.h"

#include <algorithm>
#include <cstring>

bool classMemoryStream::Open(const void*, u32, bool append) {
    if (append) {
        position_ = bytes_.size();
    } else {
        bytes_.clear();
        position_ = 0;
    }
    return true;
}

u64 classMemoryStream::Write(const void* data, u64 n) {
    if (n == 0) return 0;
    // A position may lie beyond the size only after Clear; the gap reads as zeros.
    const u64 end = position_ + n;
    if (end < position_) return 0;  // would wrap the 64-bit position
    if (end > bytes_.size()) bytes_.resize(static_cast<std::size_t>(end), 0);
    std::memcpy(bytes_.data() + position_, data, static_cast<std::size_t>(n));
    position_ = end;
    return n;
}

u64 classMemoryStream::Read(void* buffer, u64 n) {
    const u64 size = bytes_.size();
    if (position_ >= size) return 0;
    const u64 count = std::min(n, size - position_);
    if (count == 0) return 0;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
    position_ += count;
    return count;
}

u64 classMemoryStream::Seek(u64 offset, int origin) {
    const u64 size = bytes_.size();
    u64 target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = position_ + offset; break;
        case 2: target = size + offset; break;
        default: return position_;
    }
    // A backward step past the start wraps to a huge value and so clamps to
    // the end, as an unsigned position would.
    position_ = std::min(target, size);
    return position_;
}
