#include "commands/command_arguments.h"

#include "commands/argument_collect.h"
#include "script/script_value.h"

const classScriptValue* classCommandArguments::At(int32 position) const {
    if (position < 0 || position >= count || static_cast<size_t>(position) >= values.size()) return nullptr;
    return &values[static_cast<size_t>(position)];
}

// The conversions write into the value they convert, and the argument vector
// belongs to the context, so each reader works on a copy.
classOptionalValue<int64> classCommandArguments::Integer(int32 position) const {
    classOptionalValue<int64> out;
    if (const classScriptValue* value = At(position)) {
        classScriptValue copy = *value;
        if (const int64* converted = copy.AsInteger()) out.Set(*converted);
    }
    return out;
}

classOptionalValue<double> classCommandArguments::Real(int32 position) const {
    classOptionalValue<double> out;
    if (const classScriptValue* value = At(position)) {
        classScriptValue copy = *value;
        if (const double* converted = copy.AsReal()) out.Set(*converted);
    }
    return out;
}

classOptionalValue<std::string> classCommandArguments::Text(int32 position) const {
    classOptionalValue<std::string> out;
    const classScriptValue* value = At(position);
    // An operator token is a piece of an expression, never a name.
    if (value == nullptr || value->tag == ScriptValueOperator) return out;
    classScriptValue copy = *value;
    if (const std::string* converted = copy.AsString()) out.Set(*converted);
    return out;
}

std::vector<int64> classCommandArguments::Integers(int32 position) const {
    std::vector<int64> out;
    if (const classScriptValue* value = At(position)) CollectArgumentIntegers(out, *value);
    return out;
}

std::vector<double> classCommandArguments::Reals(int32 position) const {
    std::vector<double> out;
    if (const classScriptValue* value = At(position)) CollectArgumentDoubles(out, *value);
    return out;
}
