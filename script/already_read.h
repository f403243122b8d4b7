#pragma once
// The in-memory home of the already-read marks: one byte per statement for
// every script that was loaded, keyed by (script name, statement count). The
// skip rule reads the byte of the statement about to run; the executor sets it
// once the statement has moved on. A script whose statement count changed gets
// a buffer of its own beside the old one, so marks never land on the wrong
// statement of an edited script.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/types.h"

// One script's marks. The byte vector is sized once, at creation, and never
// resized: frames keep a pointer to its first byte for their whole life.
struct classAlreadyReadBuffer {
    std::vector<u8> bytes;
    std::string name;
};

class classAlreadyReadList {
  public:
    classAlreadyReadList() = default;
    ~classAlreadyReadList() { Clear(); }
    classAlreadyReadList(const classAlreadyReadList&) = delete;
    classAlreadyReadList& operator=(const classAlreadyReadList&) = delete;

    // Finds the buffer for (name, count) or appends a zeroed one. A count of 0
    // gives a null pointer and false. Several script threads load scripts at
    // once, so appending is done under the list lock.
    bool Register(const std::string& name, u32 count, u8** out);
    // Frees every buffer. Only safe when no frame still points into the list
    // (at start-up and at shut-down).
    void Clear();
    // Visits every buffer in registration order under the list lock; the
    // "Already.dat" writer and reader work through this.
    template <typename Visitor>
    void ForEach(Visitor&& visit) {
        std::lock_guard<std::mutex> hold(lock_);
        for (auto& buffer : buffers_) visit(*buffer);
    }
    size_t Count() const {
        std::lock_guard<std::mutex> hold(lock_);
        return buffers_.size();
    }

  private:
    // Guards buffers_ (the list itself). The bytes inside the buffers are
    // written by the script thread running a statement and read by the skip
    // rule and the file writer through atomic byte access, never under it.
    mutable std::mutex lock_;
    std::vector<std::unique_ptr<classAlreadyReadBuffer>> buffers_;
};

// The one list of the program; it outlives every script thread.
extern classAlreadyReadList g_alreadyReadList;

// Atomic access to one mark: a script thread marks while the file writer or
// another thread's skip test may read the same byte.
bool ReadAlreadyReadByte(const u8* bytes, u32 index);
void WriteAlreadyReadByte(u8* bytes, u32 index, u8 value);
