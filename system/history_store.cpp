// The backlog store and its play-data section.
#include "system/history_store.h"

#include <cstring>

classHistoryLog g_historyLog;

void classHistoryLog::AddLine(const std::string& line) {
    // The saved section ends an entry at an empty string, so an empty line
    // kept here would come back from a save as a page break; it shows
    // nothing in the text box either. A line is cut at a zero, as the
    // section would cut it.
    const std::size_t length = ::strnlen(line.c_str(), line.size());
    if (length == 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    if (!entries_.empty()) entries_.back().emplace_back(line, 0, length);
}

void classHistoryLog::NewEntry() {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.emplace_back();
}

void classHistoryLog::Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.clear();
}

std::vector<classHistoryLog::Entry> classHistoryLog::Snapshot() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_;
}

void classHistoryLog::Replace(std::vector<Entry> entries) {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_ = std::move(entries);
}

std::size_t classHistoryLog::Size() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_.size();
}

void SerializeBacklog(const classHistoryLog& log, std::vector<u8>& out) {
    for (const auto& entry : log.Snapshot()) {
        for (const auto& line : entry) {
            // A zero inside a line would split it into two on reading; the
            // line ends where a C string would.
            const std::size_t length = ::strnlen(line.c_str(), line.size());
            if (length == 0) continue;  // its lone zero would end the entry here
            out.insert(out.end(), line.begin(), line.begin() + static_cast<std::ptrdiff_t>(length));
            out.push_back(0);
        }
        out.push_back(0);
    }
}

bool IsBacklogSectionWhole(const u8* bytes, u64 size) {
    // Lines are never empty, so the zero that closes an entry follows another
    // zero, or stands alone as an empty page at the start.
    if (bytes == nullptr || size == 0 || bytes[size - 1] != 0) return false;
    return size == 1 || bytes[size - 2] == 0;
}

void DeserializeBacklog(classHistoryLog& log, const u8* bytes, u64 size) {
    // Every entry ends at an empty string. The store comes back as it was
    // written: no blank page is added by a save and load, and a page still
    // being written keeps its lines together.
    std::vector<classHistoryLog::Entry> entries;
    classHistoryLog::Entry current;
    bool open = false;
    u64 position = 0;
    while (bytes != nullptr && position < size) {
        const u8* start = bytes + position;
        const void* zero = std::memchr(start, 0, static_cast<std::size_t>(size - position));
        const u64 length = zero != nullptr ? static_cast<u64>(static_cast<const u8*>(zero) - start) : size - position;
        if (length == 0) {
            entries.push_back(std::move(current));
            current.clear();
            open = false;
        } else {
            current.emplace_back(reinterpret_cast<const char*>(start), static_cast<std::size_t>(length));
            open = true;
        }
        position += length + 1;
    }
    if (open) entries.push_back(std::move(current));
    log.Replace(std::move(entries));
}
