#include "script/script_variable.h"
#include "foundation/little_endian.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

classScriptVariableList::classScriptVariableList(const classScriptVariableList& other)
    : variables_(other.variables_) {
    RebuildIndex();
}

classScriptVariableList& classScriptVariableList::operator=(const classScriptVariableList& other) {
    if (this != &other) {
        variables_ = other.variables_;
        RebuildIndex();
    }
    return *this;
}

// Moving a std::list keeps its nodes, so the index's views and iterators
// stay valid in the new owner.
classScriptVariableList::classScriptVariableList(classScriptVariableList&& other) noexcept
    : variables_(std::move(other.variables_)), index_(std::move(other.index_)) {
    other.Clear();
}

classScriptVariableList& classScriptVariableList::operator=(classScriptVariableList&& other) noexcept {
    if (this != &other) {
        variables_ = std::move(other.variables_);
        index_ = std::move(other.index_);
        other.Clear();
    }
    return *this;
}

void classScriptVariableList::RebuildIndex() {
    index_.clear();
    index_.reserve(variables_.size());
    for (Node node = variables_.begin(); node != variables_.end(); ++node)
        index_.emplace(Key{node->name, node->index}, node);  // keeps the first
}

classScriptValue* classScriptVariableList::Find(std::string_view name, int64 index) {
    const auto found = index_.find(Key{name, index});
    return found == index_.end() ? nullptr : &found->second->value;
}

const classScriptValue* classScriptVariableList::Find(std::string_view name, int64 index) const {
    const auto found = index_.find(Key{name, index});
    return found == index_.end() ? nullptr : &found->second->value;
}

classScriptValue* classScriptVariableList::FindOrAdd(std::string_view name, int64 index) {
    if (classScriptValue* value = Find(name, index)) return value;
    classScriptVariable& added = variables_.emplace_back();
    added.name.assign(name);
    added.index = index;
    index_.emplace(Key{added.name, added.index}, std::prev(variables_.end()));
    return &added.value;
}

void classScriptVariableList::Insert(std::size_t position, const classScriptVariable& variable) {
    auto at = variables_.begin();
    std::advance(at, std::min(position, variables_.size()));
    const Node node = variables_.insert(at, variable);
    const auto [slot, added] = index_.emplace(Key{node->name, node->index}, node);
    // With the key already present, whichever comes first in the list must
    // answer; working that out means a walk, and inserting a duplicate is rare.
    if (!added) RebuildIndex();
}

void classScriptVariableList::Clear() {
    index_.clear();
    variables_.clear();
}

// ---- records ----

namespace {

constexpr u64 kEntryHeader = 32;


}  // namespace

void WriteVariableList(const classScriptVariableList& list, std::vector<u8>& out) {
    for (const classScriptVariable& variable : list) {
        const std::size_t start = out.size();
        out.resize(start + kEntryHeader, 0);
        // A name is a C string to every reader; bytes after a NUL would be lost anyway.
        std::string_view name = variable.name;
        name = name.substr(0, std::min(name.find('\0'), name.size()));
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
        const std::size_t valueStart = out.size();
        AppendScriptValue(variable.value, out);
        StoreLe(out, start, out.size() - start, 8);
        StoreLe(out, start + 8, kEntryHeader, 4);
        StoreLe(out, start + 12, name.size() + 1, 4);
        StoreLe(out, start + 16, static_cast<u64>(variable.index), 8);
        StoreLe(out, start + 24, valueStart - start, 4);
        StoreLe(out, start + 28, out.size() - valueStart, 4);
    }
}

void ReadVariableList(classScriptVariableList& list, const u8* bytes, u64 size) {
    list.Clear();
    if (bytes == nullptr) return;
    u64 pos = 0;
    // An entry is read only while its header lies before the end with at
    // least one byte to spare.
    while (pos < size && size - pos > kEntryHeader) {
        const u8* entry = bytes + pos;
        const u64 entrySize = LoadLe(entry, 8);
        if (entrySize < kEntryHeader || entrySize > size - pos) break;
        pos += entrySize;

        const u64 nameOffset = LoadLe(entry + 8, 4);
        const u64 nameSize = LoadLe(entry + 12, 4);
        const int64 index = static_cast<int64>(LoadLe(entry + 16, 8));
        const u64 valueOffset = LoadLe(entry + 24, 4);
        const u64 valueSize = LoadLe(entry + 28, 4);
        if (nameOffset >= entrySize) continue;  // no name inside the entry: not a variable

        const char* name = reinterpret_cast<const char*>(entry + nameOffset);
        const u64 room = std::min(nameSize, entrySize - nameOffset);
        const void* nul = std::memchr(name, 0, static_cast<std::size_t>(room));
        const std::size_t nameLength = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name)
                                           : static_cast<std::size_t>(room);
        classScriptValue* value = list.FindOrAdd(std::string_view(name, nameLength), index);
        // A key met twice takes its last entry, not a blend of both.
        value->Clear();
        if (valueOffset < entrySize)
            ReadScriptValue(value, entry + valueOffset, std::min(valueSize, entrySize - valueOffset));
    }
}

bool IsVariableListWhole(const u8* bytes, u64 size) {
    if (bytes == nullptr) return size == 0;
    for (u64 pos = 0; pos < size;) {
        if (size - pos < kEntryHeader) return false;
        const u8* entry = bytes + pos;
        const u64 entrySize = LoadLe(entry, 8);
        if (entrySize < kEntryHeader || entrySize > size - pos) return false;
        const u64 nameOffset = LoadLe(entry + 8, 4);
        const u64 nameSize = LoadLe(entry + 12, 4);
        const u64 valueOffset = LoadLe(entry + 24, 4);
        const u64 valueSize = LoadLe(entry + 28, 4);
        if (nameOffset != kEntryHeader || nameSize == 0 || nameSize > entrySize - nameOffset) return false;
        const u8* name = entry + nameOffset;
        if (name[nameSize - 1] != 0 || std::memchr(name, 0, static_cast<std::size_t>(nameSize)) != name + nameSize - 1)
            return false;
        if (valueOffset != nameOffset + nameSize || valueSize != entrySize - valueOffset ||
            !IsScriptValueRecordWhole(entry + valueOffset, valueSize))
            return false;
        pos += entrySize;
    }
    return true;
}
