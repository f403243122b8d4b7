#pragma once
// Numbers to and from text, printf-style formatting, field splitting and
// case-blind suffix tests. Scripts depend on the exact text of numbers
// ("1.5", "2.500000"), so nothing here follows the C locale: a library that
// calls setlocale with a comma-decimal locale changes none of the results.

#include <cstddef>
#include <string>
#include <string_view>

#include "foundation/types.h"

// Every blank (0x20) anywhere in the text is removed, then the rest is read
// with base 0 rules: "0x"/"0X" hexadecimal, a leading 0 octal, else decimal;
// leading white space and a sign are accepted and reading stops at the first
// character that does not fit. Out-of-range values saturate with error 34
// (ERANGE). A null text gives 0 and error 22 (EINVAL). `error`, when given,
// receives the error (0 on success); errno is set to the same value.
int64 StringToInt64(const char* text, int* error = nullptr);
inline int64 StringToInt64(const std::string& text, int* error = nullptr) {
    return StringToInt64(text.c_str(), error);
}

// The longest prefix of the text that reads as a floating-point number (after
// leading white space; decimal with an optional e/E exponent, hexadecimal,
// inf, nan), else 0. A "d" exponent is not one: "1d5" is 1. Always with "." as
// the decimal point. Overflow gives ±HUGE_VAL with error 34. A null text gives
// 0 and error 22.
double StringToDouble(const char* text, int* error = nullptr);
inline double StringToDouble(const std::string& text, int* error = nullptr) {
    return StringToDouble(text.c_str(), error);
}

// printf-style formatting into `out`, exactly the characters produced and of
// any length, always with "." as the decimal point. Returns the length.
std::size_t FormatString(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string FormatToString(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The texts scripts see for numbers: "%lld" and "%lf" (six decimals).
std::string FormatInt64(int64 value);
std::string FormatDouble(double value);

// Field `index` of a text split by `separator`: skips `index` fields (each up
// to and including the next separator), then takes the field up to the next
// separator or the end. Returns 0 when the text is null or the field would
// start at the end of the text, else the field's length plus 1 (so an empty
// field between two separators gives 1). `field`, when given, receives the
// field's bytes.
std::size_t GetSeparatedField(const char* text, std::string* field, char separator, std::size_t index);

// True when `text` ends with `ending`, comparing A-Z and a-z as equal and all
// other bytes exactly.
bool EndsWithNoCase(std::string_view text, std::string_view ending);
// ASCII-only case-blind equality, the rule of archive names.
bool EqualsNoCase(std::string_view a, std::string_view b);
// ASCII-only lower case of one byte; bytes outside A-Z are returned as they are.
constexpr char AsciiToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
