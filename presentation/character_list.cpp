#include "presentation/character_list.h"

#include <string_view>

#include "foundation/text_encoding.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseCharacterListLine(std::string_view line, classCharacterListEntry& entry) {
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    // A sign would read as a huge code that names no character.
    if (pos < line.size() && (line[pos] == '-' || line[pos] == '+')) return false;
    if (pos + 1 < line.size() && line[pos] == '0' && (line[pos + 1] == 'x' || line[pos + 1] == 'X') &&
        pos + 2 < line.size() && HexDigit(line[pos + 2]) >= 0) {
        pos += 2;
    }
    u64 code = 0;
    std::size_t digits = 0;
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
        code = code * 16 + static_cast<u64>(HexDigit(line[pos]));
        // Past the last character there is nothing to show; stop before the number can wrap.
        if (code > 0x10FFFF) return false;
        ++pos;
        ++digits;
    }
    if (digits == 0 || code == 0) return false;
    if (pos >= line.size() || line[pos] != ',') return false;
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    std::size_t end = pos;
    while (end < line.size() && !IsBlank(line[end]) && line[end] != '\0') ++end;
    if (end == pos || end - pos > kMaxCharacterListPath) return false;
    entry.code = static_cast<u32>(code);
    entry.file.assign(line.substr(pos, end - pos));
    return true;
}

std::vector<classCharacterListEntry> ParseCharacterList(const u8* data, std::size_t size) {
    std::vector<classCharacterListEntry> entries;
    if (data == nullptr || size == 0) return entries;
    std::string text;
    TextToUtf8ByBom(text, data, size, TEXT_ENCODING_ANSI);
    std::string_view view(text);
    // A UTF-8 mark is kept by the conversion; left in place it would spoil the first line.
    if (view.size() >= 3 && static_cast<u8>(view[0]) == 0xEF && static_cast<u8>(view[1]) == 0xBB &&
        static_cast<u8>(view[2]) == 0xBF) {
        view.remove_prefix(3);
    }
    std::size_t pos = 0;
    while (pos < view.size()) {
        std::size_t end = view.find_first_of("\r\n", pos);
        if (end == pos) {
            ++pos;
            continue;
        }
        if (end == std::string_view::npos) end = view.size();
        classCharacterListEntry entry;
        if (ParseCharacterListLine(view.substr(pos, end - pos), entry)) entries.push_back(std::move(entry));
        pos = end;
    }
    return entries;
}
