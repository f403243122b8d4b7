#pragma once
// Text inside the engine is UTF-8 in narrow strings. "Wide" text is UTF-16 in
// std::u16string and appears only where a format carries it (script sources
// saved as UTF-16). These helpers convert between the two, turn a loaded text
// file into UTF-8 by its byte-order mark, and walk UTF-8 sequences. All are
// stateless and safe on any thread, and none reads past the data it is given.

#include <cstddef>
#include <string>
#include <string_view>

#include "foundation/types.h"

// Code page numbers as the engine names them. 0 means the ANSI code page of
// the original platform, which this engine takes to be CP932.
inline constexpr u32 CP_ACP = 0;
inline constexpr u32 CP_UTF8 = 65001;

// What DetectTextEncoding finds, and what TextToUtf8ByBom takes as a default.
enum TextEncodingCode : int {
    TEXT_ENCODING_NONE = 0,
    TEXT_ENCODING_ANSI = 1,
    TEXT_ENCODING_UTF16LE = 2,
    TEXT_ENCODING_UTF16BE = 3,
    TEXT_ENCODING_UTF8 = 4,
};

// UTF-16 → UTF-8, up to the first zero unit. An unpaired surrogate becomes
// U+FFFD. Empty input gives an empty string.
std::string WideToUtf8(std::u16string_view wide);
// UTF-8 → UTF-16, up to the first zero byte. Every malformed sequence (stray
// continuation byte, overlong form, surrogate, value past U+10FFFF, cut-off
// sequence) becomes one U+FFFD and decoding goes on after it.
std::u16string Utf8ToWide(std::string_view utf8);

// Converts `length` units (not stopping at zeros) to UTF-8 into `out`; a
// leading byte-order mark unit is dropped when there are at least 3 units.
// True when at least one byte resulted.
bool Utf16BufferToUtf8(std::string& out, const char16_t* buffer, std::size_t length);
// Converts bytes of a code page (CP_ACP, CP_UTF8 or a number iconv knows as
// "CP<n>") to UTF-16, first skipping a byte-order mark as BomLength finds it.
// Bad bytes become U+FFFD. True when at least one unit resulted.
bool CodePageBufferToWide(std::u16string& out, const u8* buffer, std::size_t length, u32 codePage);
// UTF-16 → a code page; characters the code page lacks become '?'. The
// inverse of CodePageBufferToWide, used where text must leave in a legacy
// encoding. True when at least one byte resulted.
bool WideToCodePage(std::string& out, std::u16string_view wide, u32 codePage);

// The 1 to 6 byte form of a 31-bit code point (the original, unrestricted
// UTF-8 scheme); 0x7FFFFFFF and above give the empty string.
std::string CodePointToUtf8(u32 codePoint);

// Byte-order marks: FF FE (UTF-16LE), FE FF (UTF-16BE), EF BB BF (UTF-8).
// The UTF-16 marks count only in buffers of more than 2 bytes, the UTF-8 mark
// only in buffers of more than 3, while BomLength skips any mark once the
// buffer has 3 bytes; stored scripts depend on that difference.
int DetectTextEncoding(const u8* buffer, std::size_t size);
std::size_t BomLength(const u8* buffer, std::size_t size);

// A loaded script or character list as UTF-8. ANSI text (no mark, default
// code 1) is decoded as CP932; UTF-16 of either byte order loses its mark;
// UTF-8 is taken as it is, mark included, up to its first zero byte.
// Returns true when a conversion produced text; callers use `out` either way.
bool TextToUtf8ByBom(std::string& out, const u8* buffer, std::size_t size, int defaultCode);

// The length a lead byte announces: 1 to 6, or 0 for a continuation byte and
// for 0xFE and 0xFF.
// Inline: the compiler's walks call it once per byte of every script.
inline int Utf8SequenceLength(u8 lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    if (lead < 0xFE) return 6;
    return 0;
}
// The position of the character after the one at `pos`. A lead byte whose
// length is 0 counts as a character of one byte, and a sequence cut off by the
// end of the text or by a zero byte ends there, so every walk ends inside the
// text.
std::size_t Utf8NextPosition(std::string_view text, std::size_t pos);
// The number of characters up to the first zero byte or the end, stepping as
// Utf8NextPosition does.
std::size_t Utf8CharCount(std::string_view text);
// The code point of the sequence at `pos` as the walk sees it (the payload
// bits of a lead byte and its continuation bytes). For a walk that needs the
// character, not validation; malformed input still gives some value.
u32 Utf8DecodeAt(std::string_view text, std::size_t pos);
