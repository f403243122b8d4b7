#pragma once
// Free-function forms of the command argument reads, for handlers that read a
// parameter or two (see commands/command_arguments.h for the rules).

#include <string>
#include <vector>

#include "commands/command_arguments.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"

namespace handlerargs {

inline const classScriptValue* At(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    return classCommandArguments{arguments, count}.At(k);
}
inline classOptionalValue<int64> Integer(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    return classCommandArguments{arguments, count}.Integer(k);
}
inline classOptionalValue<double> Real(const std::vector<classScriptValue>& arguments, int32 count, int32 k) {
    return classCommandArguments{arguments, count}.Real(k);
}
inline classOptionalValue<std::string> Text(const std::vector<classScriptValue>& arguments, int32 count,
                                            int32 k) {
    return classCommandArguments{arguments, count}.Text(k);
}

}  // namespace handlerargs
