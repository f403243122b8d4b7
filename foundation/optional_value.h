#pragma once
// A value with an is-set byte. Command arguments and record fields travel in it:
// a record applies a field to its target only when the script gave it, so every
// property the script left out keeps its current value.

#include <string>
#include <utility>

#include "foundation/types.h"
#include "foundation/vector3.h"

template <typename T>
class classOptionalValue {
public:
    classOptionalValue() = default;
    classOptionalValue(const classOptionalValue&) = default;
    classOptionalValue& operator=(const classOptionalValue&) = default;

    bool IsSet() const { return isSet_ != 0; }
    // The stored value whether set or not; a never-set optional holds its
    // value-initialised state (0, the empty string, the zero vector).
    T Get() const { return value_; }
    void Set(T value) {
        value_ = std::move(value);
        isSet_ = 1;
    }
    T SetAndGet(T value) {
        Set(std::move(value));
        return value_;
    }
    // Copies both the value and the is-set byte, so an unset source leaves the
    // destination unset even though its value bytes are taken over.
    T AssignAndGet(const classOptionalValue& other) {
        value_ = other.value_;
        isSet_ = other.isSet_;
        return value_;
    }
    void Reset() { isSet_ = 0; }

private:
    T value_{};
    u8 isSet_ = 0;
};
