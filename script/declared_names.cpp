#include "script/declared_names.h"

std::mutex g_declaredNamesLock;
classDeclaredNames g_declaredSystemNames;
classDeclaredNames g_declaredGlobalNames;
classDeclaredNames g_declaredNomalNames;

bool IsNameDeclared(const classDeclaredNames& list, std::string_view name) {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    return list.names.find(name) != list.names.end();
}

bool AddDeclaredName(classDeclaredNames& list, std::string_view name) {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    return list.names.emplace(name).second;
}

DeclaredScope FindDeclaredScope(const classDeclaredNames& localNames, std::string_view name) {
    if (name.empty()) return DeclaredNone;
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    if (localNames.names.find(name) != localNames.names.end()) return DeclaredLocal;
    if (g_declaredNomalNames.names.find(name) != g_declaredNomalNames.names.end()) return DeclaredNomal;
    if (g_declaredGlobalNames.names.find(name) != g_declaredGlobalNames.names.end()) return DeclaredGlobal;
    if (g_declaredSystemNames.names.find(name) != g_declaredSystemNames.names.end()) return DeclaredSystem;
    return DeclaredNone;
}

void ClearDeclaredNames() {
    std::lock_guard<std::mutex> hold(g_declaredNamesLock);
    g_declaredSystemNames.names.clear();
    g_declaredGlobalNames.names.clear();
    g_declaredNomalNames.names.clear();
}
