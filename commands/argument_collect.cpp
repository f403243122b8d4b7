#include "commands/argument_collect.h"

#include "script/script_value.h"

namespace {

bool IsScalar(const classScriptValue& value) {
    return value.tag == ScriptValueInteger || value.tag == ScriptValueReal || value.tag == ScriptValueString;
}

// The conversions store into the value they convert, and arguments are
// shared; a scalar is copied first (it has no children, so that is cheap).
template <typename T, typename Convert>
void Collect(std::vector<T>& out, const classScriptValue& value, Convert convert, int depth) {
    if (value.tag == ScriptValueList) {
        // A run-time list cannot be deeper than a stored one; the cap only
        // keeps a malformed one from taking the stack.
        if (depth >= kMaxScriptValueDepth) return;
        for (const classScriptValue& child : value.children) Collect(out, child, convert, depth + 1);
        return;
    }
    if (!IsScalar(value)) return;
    classScriptValue copy;
    copy.tag = value.tag;
    copy.integer = value.integer;
    copy.real = value.real;
    copy.text = value.text;
    if (const T* converted = convert(copy)) out.push_back(*converted);
}

}  // namespace

bool CollectArgumentDoubles(std::vector<double>& out, const classScriptValue& value) {
    Collect(
        out, value, [](classScriptValue& v) { return v.AsReal(); }, 0);
    return !out.empty();
}

bool CollectArgumentIntegers(std::vector<int64>& out, const classScriptValue& value) {
    Collect(
        out, value, [](classScriptValue& v) { return v.AsInteger(); }, 0);
    return !out.empty();
}
