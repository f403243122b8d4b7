#pragma once
// Script values of each kind, built in one expression.

#include <string>

#include "script/script_value.h"

namespace testscript {

inline classScriptValue I(int64 v) {
    classScriptValue x;
    x.SetInteger(v);
    return x;
}
inline classScriptValue R(double v) {
    classScriptValue x;
    x.SetReal(v);
    return x;
}
inline classScriptValue S(const std::string& v) {
    classScriptValue x;
    x.SetString(v);
    return x;
}
inline classScriptValue O(const std::string& v) {
    classScriptValue x;
    x.SetOperator(v);
    return x;
}
inline classScriptValue L(const std::string& name, int64 target) {
    classScriptValue x;
    x.SetLabel(name, target);
    return x;
}
inline classScriptValue E() {
    return classScriptValue{};
}

}  // namespace testscript
