#pragma once
// The three run-wide variable stores: g_globalVariables (saved in
// "System.dat"), g_nomalVariables (saved in every play-data file) and
// g_systemVariables (never saved). Every script thread reads and writes them,
// and the play-data and system-data code saves and replaces them from other
// threads, so all three sit behind one lock, the store lock.
//
// Lock order: the store lock is a leaf. Nothing is called while it is held
// except list and record code of this folder, so it may be taken under any
// other engine lock, and no other lock is ever taken under it.
//
// Values go in and come out as copies: no address inside a store leaves the
// lock, so a reset on one thread can never leave another holding a dangling
// value.

#include <cstddef>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/types.h"
#include "script/script_variable.h"

class classGlobalVariableStore {
public:
    classGlobalVariableStore() = default;
    classGlobalVariableStore(const classGlobalVariableStore&) = delete;
    classGlobalVariableStore& operator=(const classGlobalVariableStore&) = delete;

    // A copy of the variable's value. Reading a variable that does not exist
    // yet creates it, empty, as every resolution of a variable record does.
    classScriptValue Get(std::string_view name, int64 index);
    // A copy of the value when the variable exists; nothing is created.
    bool TryGet(std::string_view name, int64 index, classScriptValue& out) const;
    void Set(std::string_view name, int64 index, const classScriptValue& value);
    void Set(std::string_view name, int64 index, classScriptValue&& value);
    // Runs `change` on the variable's value (created when missing) while the
    // lock is held, for a read-modify-write that no other thread may split.
    // `change` must not keep the reference, block, or take any lock.
    template <typename Change>
    void Update(std::string_view name, int64 index, Change&& change) {
        std::lock_guard<std::mutex> hold(Lock());
        change(*list_.FindOrAdd(name, index));
    }

    // Removes every variable ("VariableReset").
    void Clear();
    std::size_t Size() const;
    // A copy of every variable in list order.
    std::vector<classScriptVariable> Snapshot() const;
    // Appends the variable-list record of the store.
    void WriteRecord(std::vector<u8>& out) const;
    // Replaces the store with the variables of a record. The bytes are parsed
    // before the lock is taken, so a large load never holds up the scripts.
    void ReadRecord(const u8* bytes, u64 size);
    // Replaces the store with the given list.
    void Replace(classScriptVariableList list);

private:
    static std::mutex& Lock();

    classScriptVariableList list_;  // guarded by the store lock
};

extern classGlobalVariableStore g_globalVariables;
extern classGlobalVariableStore g_nomalVariables;
extern classGlobalVariableStore g_systemVariables;

// The store of a variable record type: global (10), nomal (11) or system
// (13); null for the frame's own scopes and anything else.
classGlobalVariableStore* GetGlobalVariableStore(u32 recordType);
