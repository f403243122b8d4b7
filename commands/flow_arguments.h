#pragma once
// Reading one positional parameter of a command. A parameter is set only when
// its argument was written (it lies below the count) and converts to the kind
// asked for; an empty value, a list or an operator leaves it unset. The
// argument is copied first because a conversion caches its result in the
// value, and the vector belongs to the context.

#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "script/script_value.h"

namespace handlerargs {

inline const classScriptValue* At(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    if (k < 0 || k >= count || static_cast<size_t>(k) >= arguments.size()) return nullptr;
    return &arguments[static_cast<size_t>(k)];
}

inline classOptionalValue<int64> Integer(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    classOptionalValue<int64> out;
    if (const classScriptValue* value = At(arguments, count, k)) {
        classScriptValue copy = *value;
        if (const int64* converted = copy.AsInteger()) out.Set(*converted);
    }
    return out;
}

inline classOptionalValue<double> Real(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    classOptionalValue<double> out;
    if (const classScriptValue* value = At(arguments, count, k)) {
        classScriptValue copy = *value;
        if (const double* converted = copy.AsReal()) out.Set(*converted);
    }
    return out;
}

inline classOptionalValue<std::string> Text(const std::vector<classScriptValue>& arguments, int32 count,
                                            int32 k) {
    classOptionalValue<std::string> out;
    if (const classScriptValue* value = At(arguments, count, k)) {
        classScriptValue copy = *value;
        if (const std::string* converted = copy.AsString()) out.Set(*converted);
    }
    return out;
}

}  // namespace handlerargs
