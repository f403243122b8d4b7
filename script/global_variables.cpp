#include "script/global_variables.h"

#include "script/script_record.h"

classGlobalVariableStore g_globalVariables;
classGlobalVariableStore g_nomalVariables;
classGlobalVariableStore g_systemVariables;

std::mutex& classGlobalVariableStore::Lock() {
    // One lock for the three stores: a save of one and a reset of another
    // never interleave, and there is no order among store locks to get wrong.
    static std::mutex lock;
    return lock;
}

classScriptValue classGlobalVariableStore::Get(std::string_view name, int64 index) {
    std::lock_guard<std::mutex> hold(Lock());
    return *list_.FindOrAdd(name, index);
}

bool classGlobalVariableStore::TryGet(std::string_view name, int64 index, classScriptValue& out) const {
    std::lock_guard<std::mutex> hold(Lock());
    const classScriptValue* value = list_.Find(name, index);
    if (value == nullptr) return false;
    out = *value;
    return true;
}

void classGlobalVariableStore::Set(std::string_view name, int64 index, const classScriptValue& value) {
    std::lock_guard<std::mutex> hold(Lock());
    *list_.FindOrAdd(name, index) = value;
}

void classGlobalVariableStore::Set(std::string_view name, int64 index, classScriptValue&& value) {
    std::lock_guard<std::mutex> hold(Lock());
    *list_.FindOrAdd(name, index) = std::move(value);
}

void classGlobalVariableStore::Clear() {
    classScriptVariableList old;
    {
        std::lock_guard<std::mutex> hold(Lock());
        old = std::move(list_);
    }
    // The old variables are freed after the lock is let go.
}

std::size_t classGlobalVariableStore::Size() const {
    std::lock_guard<std::mutex> hold(Lock());
    return list_.Size();
}

std::vector<classScriptVariable> classGlobalVariableStore::Snapshot() const {
    std::lock_guard<std::mutex> hold(Lock());
    return std::vector<classScriptVariable>(list_.begin(), list_.end());
}

void classGlobalVariableStore::WriteRecord(std::vector<u8>& out) const {
    std::lock_guard<std::mutex> hold(Lock());
    WriteVariableList(list_, out);
}

void classGlobalVariableStore::ReadRecord(const u8* bytes, u64 size) {
    classScriptVariableList loaded;
    ReadVariableList(loaded, bytes, size);
    Replace(std::move(loaded));
}

void classGlobalVariableStore::Replace(classScriptVariableList list) {
    {
        std::lock_guard<std::mutex> hold(Lock());
        std::swap(list_, list);
    }
    // `list` now holds the old variables and is freed outside the lock.
}

classGlobalVariableStore* GetGlobalVariableStore(u32 recordType) {
    switch (recordType) {
        case ScriptRecordGlobal: return &g_globalVariables;
        case ScriptRecordNomal: return &g_nomalVariables;
        case ScriptRecordSystem: return &g_systemVariables;
        default: return nullptr;
    }
}
