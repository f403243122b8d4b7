#include "script/declared_names.h"

#include <atomic>
#include <unordered_map>

std::mutex g_declaredNamesLock;
classDeclaredNames g_declaredSystemNames;
classDeclaredNames g_declaredGlobalNames;
classDeclaredNames g_declaredNomalNames;

namespace {

// Every run-wide name with a bit per list that holds it, so that the scope
// of a word costs two lookups instead of four. Guarded by g_declaredNamesLock.
constexpr unsigned kInSystem = 1;
constexpr unsigned kInGlobal = 2;
constexpr unsigned kInNomal = 4;
std::unordered_map<std::string, unsigned, DeclaredNameHash, std::equal_to<>> g_runWideScopes;
std::atomic<u64> g_additions{0};  // atomic: read without the lock

unsigned RunWideBit(const classDeclaredNames& list) {
    if (&list == &g_declaredSystemNames) return kInSystem;
    if (&list == &g_declaredGlobalNames) return kInGlobal;
    if (&list == &g_declaredNomalNames) return kInNomal;
    return 0;
}

}  // namespace

bool IsNameDeclared(const classDeclaredNames& list, std::string_view name) {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    return list.names.find(name) != list.names.end();
}

bool AddDeclaredName(classDeclaredNames& list, std::string_view name) {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    if (!list.names.emplace(name).second) return false;
    g_additions.fetch_add(1, std::memory_order_relaxed);
    if (const unsigned bit = RunWideBit(list); bit != 0) {
        auto found = g_runWideScopes.find(name);
        if (found == g_runWideScopes.end()) found = g_runWideScopes.emplace(std::string(name), 0u).first;
        found->second |= bit;
    }
    return true;
}

DeclaredScope FindDeclaredScope(const classDeclaredNames& localNames, std::string_view name) {
    if (name.empty()) return DeclaredNone;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    if (!localNames.names.empty() && localNames.names.find(name) != localNames.names.end())
        return DeclaredLocal;
    const auto found = g_runWideScopes.find(name);
    if (found == g_runWideScopes.end()) return DeclaredNone;
    if (found->second & kInNomal) return DeclaredNomal;
    if (found->second & kInGlobal) return DeclaredGlobal;
    return DeclaredSystem;
}

u64 DeclaredNameAdditions() {
    return g_additions.load(std::memory_order_relaxed);
}

void ClearDeclaredNames() {
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    // Names that vanish change walks as much as names that appear.
    g_additions.fetch_add(1, std::memory_order_relaxed);
    g_declaredSystemNames.names.clear();
    g_declaredGlobalNames.names.clear();
    g_declaredNomalNames.names.clear();
    g_runWideScopes.clear();
}
