#include "script/script_value.h"

#include <cmath>
#include <limits>
#include <utility>

#include "foundation/number_text.h"

void classScriptValue::Clear() {
    tag = ScriptValueEmpty;
    integer = 0;
    real = 0.0;
    text.clear();
    children.clear();
}

int64* classScriptValue::SetInteger(int64 value) {
    tag = ScriptValueInteger;
    integer = value;
    return &integer;
}

double* classScriptValue::SetReal(double value) {
    tag = ScriptValueReal;
    real = value;
    return &real;
}

std::string* classScriptValue::SetString(std::string value) {
    tag = ScriptValueString;
    text = std::move(value);
    return &text;
}

std::string* classScriptValue::SetStringFromText(const char* value) {
    tag = ScriptValueString;
    if (value != nullptr) {
        text.assign(value);
    } else {
        text.clear();
    }
    return &text;
}

void classScriptValue::SetOperator(std::string_view value) {
    tag = ScriptValueOperator;
    text.assign(value);
}

void classScriptValue::SetLabel(std::optional<std::string_view> name, std::optional<int64> target) {
    tag = ScriptValueLabel;
    if (name) text.assign(*name);
    if (target) integer = *target;
}

std::vector<classScriptValue>* classScriptValue::MakeList() {
    tag = ScriptValueList;
    return &children;
}

const std::string* classScriptValue::GetOperator() const {
    return tag == ScriptValueOperator ? &text : nullptr;
}

std::vector<classScriptValue>* classScriptValue::GetList() {
    return tag == ScriptValueList ? &children : nullptr;
}

const std::vector<classScriptValue>* classScriptValue::GetList() const {
    return tag == ScriptValueList ? &children : nullptr;
}

bool classScriptValue::CopyTo(classScriptValue* target) const {
    if (target == nullptr) return false;
    if (target != this) *target = *this;
    return true;
}

int64 RealToInt64(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exact as a double; everything below it truncates into range.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (value >= kTwo63) return std::numeric_limits<int64>::max();
    if (value < -kTwo63) return std::numeric_limits<int64>::min();
    return static_cast<int64>(value);
}

int64* classScriptValue::AsInteger() {
    switch (tag) {
        case ScriptValueInteger:
        case ScriptValueLabel: return &integer;
        case ScriptValueReal: integer = RealToInt64(real); return &integer;
        case ScriptValueString: integer = StringToInt64(text); return &integer;
        default: return nullptr;
    }
}

double* classScriptValue::AsReal() {
    switch (tag) {
        case ScriptValueInteger: real = static_cast<double>(integer); return &real;
        case ScriptValueReal: return &real;
        case ScriptValueString: real = StringToDouble(text); return &real;
        default: return nullptr;
    }
}

std::string* classScriptValue::AsString() {
    switch (tag) {
        case ScriptValueInteger: text = FormatInt64(integer); return &text;
        case ScriptValueReal: text = FormatDouble(real); return &text;
        case ScriptValueString:
        case ScriptValueLabel:
        case ScriptValueOperator: return &text;
        default: return nullptr;
    }
}
