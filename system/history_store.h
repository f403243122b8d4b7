#pragma once
// The backlog: page by page, the text lines the game has shown and the voices
// played with them. A string is a text line with its layout tags, or a voice
// entry, "!<voice" followed directly by the voice file name.
//
// Threads: the text and voice commands append from the script threads while
// the render thread saves and restores the store inside play-data records;
// every member takes the store's own mutex, and nothing else is called while
// it is held.

#include <mutex>
#include <string>
#include <vector>

#include "foundation/types.h"

class classHistoryLog {
  public:
    using Entry = std::vector<std::string>;

    // Appends a string to the newest entry. An empty store takes nothing: a
    // reset in the middle of a page drops the rest of that page, and the
    // next page opens a new entry. An empty string (or one that begins with a
    // zero) is no line: the saved section could not tell it from a page's end.
    void AddLine(const std::string& line);
    // Starts a new, empty entry: the next page.
    void NewEntry();
    // "HistoryReset" and every load.
    void Clear();
    std::vector<Entry> Snapshot() const;
    void Replace(std::vector<Entry> entries);
    std::size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;  // guarded by mutex_; oldest first
};

extern classHistoryLog g_historyLog;

// The backlog section of a play-data file: every string of an entry with its
// zero byte, then one more zero byte ending the entry.
void SerializeBacklog(const classHistoryLog& log, std::vector<u8>& out);
// Whether the bytes are a section as SerializeBacklog writes it: every string
// ended by its zero and the last entry closed by one more. A section cut or
// moved by damage seldom is, and would load its neighbour's bytes as pages.
bool IsBacklogSectionWhole(const u8* bytes, u64 size);
// Replaces the store with exactly the entries of the section. A final entry
// cut off before its closing zero is kept with the strings it has; a last
// string without its zero ends at the section's end.
void DeserializeBacklog(classHistoryLog& log, const u8* bytes, u64 size);
