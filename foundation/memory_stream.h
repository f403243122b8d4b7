#pragma once
// A growable byte buffer with a 64-bit position. Compiled images, value and
// variable records, frame, scene and sound records and play data are built in
// one and written out whole, or read in whole and parsed from it. Not shared
// between threads: each user builds or parses its own.

#include <cstddef>
#include <vector>

#include "foundation/types.h"

class classMemoryStream {
public:
    classMemoryStream() = default;
    ~classMemoryStream() { Clear(); }
    classMemoryStream(const classMemoryStream&) = default;
    classMemoryStream& operator=(const classMemoryStream&) = default;
    classMemoryStream(classMemoryStream&&) noexcept = default;
    classMemoryStream& operator=(classMemoryStream&&) noexcept = default;

    // Without append the stream starts empty at position 0; with it the
    // contents stay and the position moves to the end. The first two
    // arguments exist for callers written against a file-like open.
    bool Open(const void* unusedName = nullptr, u32 unusedMode = 0, bool append = false);
    u64 Write(const void* data, u64 n);
    u64 Read(void* buffer, u64 n);
    // origin 0: from the start, 1: from the position (a negative offset passed
    // as its two's complement moves back), 2: from the end. Clamped to the size.
    u64 Seek(u64 offset, int origin);
    u64 Tell() const { return position_; }
    u64 Size() const { return bytes_.size(); }
    const u8* Data() const { return bytes_.data(); }
    u8* Data() { return bytes_.data(); }
    // Empties the buffer but leaves the position: callers reopen or seek.
    void Clear() {
        bytes_.clear();
        bytes_.shrink_to_fit();
    }

    // Little-endian helpers for the record writers and readers.
    template <typename T>
    u64 WriteValue(const T& value) {
        return Write(&value, sizeof(T));
    }
    template <typename T>
    bool ReadValue(T& value) {
        return Read(&value, sizeof(T)) == sizeof(T);
    }

private:
    std::vector<u8> bytes_;
    u64 position_ = 0;
};
