#include "foundation/number_text.h"

#include <locale.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// The "C" locale as an object, made once. Parsing and formatting go through it
// explicitly, so a process-wide setlocale by any library cannot change a
// script's numbers.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// Makes the C locale current on this thread for the lifetime of the object;
// printf-style functions have no _l variants in glibc.
class ScopedCLocale {
  public:
    ScopedCLocale() : previous_(CLocale() ? uselocale(CLocale()) : static_cast<locale_t>(nullptr)) {}
    ~ScopedCLocale() {
        if (previous_) uselocale(previous_);
    }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

  private:
    locale_t previous_;
};

std::size_t FormatInto(std::string& out, const char* format, va_list args) {
    out.clear();
    if (format == nullptr) return 0;
    ScopedCLocale scoped;
    // Two passes: measure, then write into a buffer of exactly that size.
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return 0;
    out.resize(static_cast<std::size_t>(length));
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out.size();
}

}  // namespace

int64 StringToInt64(const char* text, int* error) {
    if (text == nullptr) {
        if (error) *error = EINVAL;
        errno = EINVAL;
        return 0;
    }
    std::string compact;
    for (const char* p = text; *p; ++p) {
        if (*p != ' ') compact.push_back(*p);
    }
    errno = 0;
    const long long value = CLocale() ? strtoll_l(compact.c_str(), nullptr, 0, CLocale())
                                      : std::strtoll(compact.c_str(), nullptr, 0);
    const int err = errno;
    if (error) *error = err;
    return static_cast<int64>(value);
}

double StringToDouble(const char* text, int* error) {
    if (text == nullptr) {
        if (error) *error = EINVAL;
        errno = EINVAL;
        return 0;
    }
    errno = 0;
    const double value = CLocale() ? strtod_l(text, nullptr, CLocale()) : std::strtod(text, nullptr);
    const int err = errno;
    if (error) *error = err;
    return value;
}

std::size_t FormatString(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::size_t n = FormatInto(out, format, args);
    va_end(args);
    return n;
}

std::string FormatToString(const char* format, ...) {
    std::string out;
    va_list args;
    va_start(args, format);
    FormatInto(out, format, args);
    va_end(args);
    return out;
}

std::string FormatInt64(int64 value) {
    return FormatToString("%lld", static_cast<long long>(value));
}

std::string FormatDouble(double value) {
    return FormatToString("%lf", value);
}

std::size_t GetSeparatedField(const char* text, std::string* field, char separator, std::size_t index) {
    if (text == nullptr) return 0;
    const char* p = text;
    for (std::size_t skipped = 0; skipped < index; ++skipped) {
        while (*p != '\0' && *p != separator) ++p;
        if (*p == '\0') return 0;
        ++p;
    }
    if (*p == '\0') return 0;
    const char* end = p;
    while (*end != '\0' && *end != separator) ++end;
    const std::size_t length = static_cast<std::size_t>(end - p);
    if (field) field->assign(p, length);
    return length + 1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
    }
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    if (ending.size() > text.size()) return false;
    return EqualsNoCase(text.substr(text.size() - ending.size()), ending);
}
