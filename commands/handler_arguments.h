#pragma once
// Typed reads of a handler's arguments. Only the first `count` entries of the
// argument vector belong to the call (the vector is reused and never shrunk),
// so every read is bounded here and no handler indexes the vector itself.

#include <string>
#include <vector>

#include "commands/argument_collect.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "script/script_value.h"

class classHandlerArguments {
  public:
    classHandlerArguments(const std::vector<classScriptValue>& arguments, int32 count)
        : arguments_(arguments),
          count_(count < 0 ? 0 : (static_cast<size_t>(count) > arguments.size() ? arguments.size()
                                                                                  : static_cast<size_t>(count))) {}

    const classScriptValue* At(int32 position) const {
        if (position < 0 || static_cast<size_t>(position) >= count_) return nullptr;
        return &arguments_[static_cast<size_t>(position)];
    }
    // A number or a numeric text; a list, a label-less empty value or an
    // absent argument leaves it unset.
    classOptionalValue<int64> Integer(int32 position) const {
        classOptionalValue<int64> out;
        const classScriptValue* value = At(position);
        if (value == nullptr || value->IsList() || value->IsEmpty()) return out;
        classScriptValue copy = *value;
        if (const int64* number = copy.AsInteger()) out.Set(*number);
        return out;
    }
    int64 Integer(int32 position, int64 fallback) const {
        const classOptionalValue<int64> value = Integer(position);
        return value.IsSet() ? value.Get() : fallback;
    }
    // Text as given; numbers read as their text. Empty when absent.
    std::string Text(int32 position) const {
        const classScriptValue* value = At(position);
        if (value == nullptr || value->IsList() || value->IsEmpty()) return {};
        classScriptValue copy = *value;
        const std::string* text = copy.AsString();
        return text != nullptr ? *text : std::string();
    }
    // An object path ("Layer=1:2:3") or a key list, flattened.
    std::vector<int64> Integers(int32 position) const {
        std::vector<int64> out;
        if (const classScriptValue* value = At(position)) CollectArgumentIntegers(out, *value);
        return out;
    }

  private:
    const std::vector<classScriptValue>& arguments_;
    size_t count_;
};
