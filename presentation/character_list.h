#pragma once
// Character-list files: one "%x,%s" line per listed character, a hexadecimal
// code point, a comma and the image file that draws it. The bytes come from a
// script's data and are not trusted: every line is bounded and a line that
// does not read is skipped.

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/types.h"

struct classCharacterListEntry {
    u32 code = 0;
    std::string file;  // as ReadWholeFile finds it; no blanks, at most kMaxCharacterListPath bytes
};

inline constexpr std::size_t kMaxCharacterListPath = 1023;

// One line read as "%x,%s"; false when it gives no code, no comma or no file,
// a negative or overflowing code, a code that is no character (0 or past
// U+10FFFF), or a file name longer than the limit.
bool ParseCharacterListLine(std::string_view line, classCharacterListEntry& entry);

// The whole file: UTF-16 with its mark, UTF-8 (with or without its mark), or
// unmarked bytes in the legacy code page. Lines end by CR LF, CR or LF; empty
// lines are allowed. Entries come out in file order.
std::vector<classCharacterListEntry> ParseCharacterList(const u8* data, std::size_t size);
