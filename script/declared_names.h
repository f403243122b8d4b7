#pragma once
// The names scripts have declared with "Variable", one list per scope. The
// System, Global and Nomal lists live for the whole run and are shared by
// every compile on every thread, so a name declared by "Variable.qvs" is known
// to every script compiled after it. Local names belong to one compile.
//
// Lock: g_declaredNamesLock guards all four kinds of list, the compiler's own
// local list included. It is a leaf: nothing else is taken while it is held.

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

#include "foundation/types.h"

// Names are short and looked up at nearly every word of a script, so a
// simple FNV-1a beats the library's general-purpose hash here.
struct DeclaredNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
        u64 h = 0xcbf29ce484222325ull;
        for (char c : name) h = (h ^ static_cast<u8>(c)) * 0x100000001b3ull;
        return static_cast<std::size_t>(h);
    }
};

// One scope's names. Touch it only through the functions below.
class classDeclaredNames {
  public:
    std::unordered_set<std::string, DeclaredNameHash, std::equal_to<>> names;
};

// Scope codes of a declaration, in the positional order of "Variable"'s
// System, Global, Nomal and Local parameters.
enum DeclaredScope : int {
    DeclaredNone = 0,
    DeclaredSystem = 1,
    DeclaredGlobal = 2,
    DeclaredNomal = 3,
    DeclaredLocal = 4,
};

extern std::mutex g_declaredNamesLock;
extern classDeclaredNames g_declaredSystemNames;  // guarded by g_declaredNamesLock
extern classDeclaredNames g_declaredGlobalNames;  // guarded by g_declaredNamesLock
extern classDeclaredNames g_declaredNomalNames;   // guarded by g_declaredNamesLock

// The empty name is never declared: a declaration with "Name=" would
// otherwise make every stray delimiter look like an assignment.
bool IsNameDeclared(const classDeclaredNames& list, std::string_view name);
// True when the name was added, false when it was there already or is empty.
bool AddDeclaredName(classDeclaredNames& list, std::string_view name);

// The scope a name compiles to when it stands in several lists: local first,
// then nomal, global and system. One hold of the lock for the whole search.
DeclaredScope FindDeclaredScope(const classDeclaredNames& localNames, std::string_view name);

// How many names have been added to any list, local ones included, since the
// run began; it only grows. A compile that keeps what it learnt about its
// text's words checks it to see whether a name was declared meanwhile.
u64 DeclaredNameAdditions();

// Forgets every run-wide declaration. Only a fresh run (and tests, which
// play several runs in one process) may call it.
void ClearDeclaredNames();
