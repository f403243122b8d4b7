#pragma once
// Typed reads of a handler's arguments. Only the first `count` entries of the
// argument vector belong to the call (the vector is reused and never shrunk),
// so every read is bounded here and no handler indexes the vector itself.

#include <string>
#include <vector>

#include "commands/command_arguments.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"

class classHandlerArguments {
  public:
    classHandlerArguments(const std::vector<classScriptValue>& arguments, int32 count)
        : reader_{arguments, count} {}

    const classScriptValue* At(int32 position) const { return reader_.At(position); }
    classOptionalValue<int64> Integer(int32 position) const { return reader_.Integer(position); }
    int64 Integer(int32 position, int64 fallback) const {
        const classOptionalValue<int64> value = Integer(position);
        return value.IsSet() ? value.Get() : fallback;
    }
    // Text as given; numbers read as their text. Empty when absent.
    std::string Text(int32 position) const { return reader_.Text(position).Get(); }
    // An object path ("Layer=1:2:3") or a key list, flattened.
    std::vector<int64> Integers(int32 position) const { return reader_.Integers(position); }

  private:
    classCommandArguments reader_;
};
