#include "script/already_read.h"

#include <atomic>

classAlreadyReadList g_alreadyReadList;

bool classAlreadyReadList::Register(const std::string& name, u32 count, u8** out) {
    if (out == nullptr) return false;
    *out = nullptr;
    if (count == 0) return false;
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& buffer : buffers_) {
        if (buffer->bytes.size() == count && buffer->name == name) {
            *out = buffer->bytes.data();
            return true;
        }
    }
    auto buffer = std::make_unique<classAlreadyReadBuffer>();
    buffer->name = name;
    buffer->bytes.assign(count, 0);
    *out = buffer->bytes.data();
    buffers_.push_back(std::move(buffer));
    return true;
}

void classAlreadyReadList::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    buffers_.clear();
}

bool ReadAlreadyReadByte(const u8* bytes, u32 index) {
    // atomic_ref needs a non-const object; the byte is only loaded here.
    u8& byte = const_cast<u8*>(bytes)[index];
    return std::atomic_ref<u8>(byte).load(std::memory_order_relaxed) != 0;
}

void WriteAlreadyReadByte(u8* bytes, u32 index, u8 value) {
    std::atomic_ref<u8>(bytes[index]).store(value, std::memory_order_relaxed);
}
