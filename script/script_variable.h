#pragma once
// Script variables and the lists that hold them. A variable is found by its
// name and an element index, so an array is just a family of variables that
// share a name; no size is declared and any index, negative ones included,
// names a variable of its own.
//
// A list keeps its variables in the order they were first met, because that
// is the order in which they are saved, and it hands out the address of a
// value that stays valid until the variable is removed (handlers hold it
// across further lookups). A list has no lock of its own: a frame's local and
// tmp lists belong to the thread that runs the frame, and the three run-wide
// lists live behind the store lock in global_variables.h.

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/types.h"
#include "script/script_value.h"

class classScriptVariable {
public:
    std::string name;  // as written in the script; empty for tmp variables
    int64 index = 0;   // the subscript; 0 for a variable written without one
    classScriptValue value;
};

class classScriptVariableList {
public:
    using const_iterator = std::list<classScriptVariable>::const_iterator;

    classScriptVariableList() = default;
    classScriptVariableList(const classScriptVariableList& other);
    classScriptVariableList& operator=(const classScriptVariableList& other);
    classScriptVariableList(classScriptVariableList&& other) noexcept;
    classScriptVariableList& operator=(classScriptVariableList&& other) noexcept;
    ~classScriptVariableList() = default;

    // The value of the variable with this key, or null. Names compare byte
    // for byte; the first match in list order wins.
    classScriptValue* Find(std::string_view name, int64 index);
    const classScriptValue* Find(std::string_view name, int64 index) const;
    // As Find, but a missing variable is appended, empty, and its value
    // returned: reading a variable that was never assigned creates it.
    classScriptValue* FindOrAdd(std::string_view name, int64 index);
    // Inserts a copy before the variable at `position` (at the end when the
    // position is past it).
    void Insert(std::size_t position, const classScriptVariable& variable);
    void Clear();

    std::size_t Size() const { return variables_.size(); }
    bool Empty() const { return variables_.empty(); }
    const_iterator begin() const { return variables_.begin(); }
    const_iterator end() const { return variables_.end(); }

private:
    // The key views the name inside its own list node, which never moves.
    struct Key {
        std::string_view name;
        int64 index;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            const std::size_t h = std::hash<std::string_view>{}(key.name);
            return h ^ (std::hash<int64>{}(key.index) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
        }
    };
    using Node = std::list<classScriptVariable>::iterator;

    void RebuildIndex();

    std::list<classScriptVariable> variables_;
    // Key → the first variable with that key in list order.
    std::unordered_map<Key, Node, KeyHash> index_;
};

// ---- Variable-list records ----
// One entry per variable, back to back, with no count and no terminator:
// a 32-byte header (entry size, name offset 32, name size with its NUL,
// element index, value offset and size), the name and its NUL, then the value
// record.

// Appends one entry per variable, in list order.
void WriteVariableList(const classScriptVariableList& list, std::vector<u8>& out);
// Empties the list, then reads every entry that lies wholly inside the bytes.
// An entry whose size is impossible ends the walk; an entry whose name lies
// outside it is passed over.
void ReadVariableList(classScriptVariableList& list, const u8* bytes, u64 size);
// Whether the bytes are entries as WriteVariableList writes them, each whole
// (its name with its NUL, then its value record) and together filling the
// bytes exactly. A saved list that is not would read back other variables.
bool IsVariableListWhole(const u8* bytes, u64 size);
