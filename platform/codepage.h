#pragma once
// Conversions between legacy code pages and UTF-16, done by iconv. The game's
// texts were written on a Japanese system, so text that carries no byte-order
// mark is read as CP932 unless told otherwise.

#include <cstddef>
#include <string>
#include <string_view>

#include "foundation/types.h"

namespace platform {

// The number the engine uses for "the system's ANSI code page". Kept apart
// from real code page numbers so that the meaning can be overridden.
inline constexpr u32 kAnsiCodePage = 0;
inline constexpr u32 kUtf8CodePage = 65001;
inline constexpr u32 kDefaultAnsiCodePage = 932;

// The code page that kAnsiCodePage stands for (932 unless overridden). Safe
// to call from any thread; the value is atomic.
u32 GetAnsiCodePage();
void SetAnsiCodePage(u32 codePage);

// Decodes bytes of a code page (0 = the ANSI code page) into UTF-16. A byte
// that does not start a valid character becomes U+FFFD and decoding goes on
// with the next byte, so no input is ever refused as a whole. Returns false
// only when the code page is unknown to iconv.
bool DecodeCodePage(u32 codePage, const u8* data, std::size_t size, std::u16string& out);

// Encodes UTF-16 into a code page. A character the code page cannot hold, or
// an unpaired surrogate, becomes '?' as it would on the original platform.
// Returns false only when the code page is unknown to iconv.
bool EncodeCodePage(u32 codePage, std::u16string_view text, std::string& out);

}  // namespace platform
