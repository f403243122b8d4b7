#include "foundation/text_encoding.h"

#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<u8> Bytes(std::initializer_list<int> values) {
    std::vector<u8> out;
    for (int v : values) out.push_back(static_cast<u8>(v));
    return out;
}

std::string Str(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

std::string ToUtf8ByBom(const std::vector<u8>& data, int defaultCode = TEXT_ENCODING_ANSI) {
    std::string out;
    TextToUtf8ByBom(out, data.data(), data.size(), defaultCode);
    return out;
}

}  // namespace

TEST(Utf16AndUtf8, ConvertBothWaysIncludingCharactersOutsideTheBmp) {
    // U+0041, U+00E9, U+3042, U+20BB7 (a supplementary ideograph), U+1F600.
    const std::u16string wide = u"A\u00E9\u3042\U00020BB7\U0001F600";
    ASSERT_EQ(wide.size(), 7u);  // the last two need surrogate pairs
    EXPECT_EQ(wide[3], 0xD842);
    EXPECT_EQ(wide[4], 0xDFB7);
    const std::string utf8 = Str({0x41, 0xC3, 0xA9, 0xE3, 0x81, 0x82, 0xF0, 0xA0, 0xAE, 0xB7, 0xF0, 0x9F, 0x98, 0x80});
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_EQ(Utf8ToWide(utf8), wide);
    // The edges of the one- and two-byte forms: U+007F, U+0080, U+07FF, U+0800.
    const std::u16string edges = u"\u007F\u0080\u07FF\u0800";
    const std::string edgesUtf8 = Str({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80});
    EXPECT_EQ(WideToUtf8(edges), edgesUtf8);
    EXPECT_EQ(Utf8ToWide(edgesUtf8), edges);
}

TEST(Utf16AndUtf8, StopAtTheFirstZeroAndGiveEmptyForEmpty) {
    EXPECT_EQ(WideToUtf8(std::u16string(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(WideToUtf8(u""), "");
    EXPECT_EQ(Utf8ToWide(""), u"");
}

TEST(Utf16AndUtf8, MalformedInputBecomesReplacementCharacters) {
    const std::pair<std::string, std::u16string> cases[] = {
        {Str({'a', 0xE3, 0x81}), u"a\uFFFD"},                    // cut off at the end: one
        {Str({0x80, 'b'}), u"\uFFFDb"},                          // a stray continuation
        {Str({0xC0, 0xAF}), u"\uFFFD\uFFFD"},                    // overlong "/": C0 starts nothing
        {Str({0xED, 0xA0, 0x80}), u"\uFFFD\uFFFD\uFFFD"},        // an encoded surrogate
        {Str({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {Str({0xE3, 'x'}), u"\uFFFDx"},                          // interrupted by ASCII
    };
    for (const auto& [utf8, wide] : cases) EXPECT_EQ(Utf8ToWide(utf8), wide) << utf8;
    // Unpaired surrogates in UTF-16 become U+FFFD (EF BF BD).
    EXPECT_EQ(WideToUtf8(std::u16string{char16_t(0xD800), u'a', char16_t(0xDC00)}),
              Str({0xEF, 0xBF, 0xBD, 'a', 0xEF, 0xBF, 0xBD}));
}

TEST(CodePage932, DecodesJapaneseTextAndItsOwnExtensions) {
    std::u16string wide;
    // あ 82A0, 日 93FA, 本 967B, half-width ｱ B1, ① 8740 (an NEC row only in
    // the Windows variant), ～ 8160 (U+FF5E there), and "\" staying a backslash.
    const auto bytes = Bytes({0x82, 0xA0, 0x93, 0xFA, 0x96, 0x7B, 0xB1, 0x87, 0x40, 0x81, 0x60, 0x5C});
    ASSERT_TRUE(CodePageBufferToWide(wide, bytes.data(), bytes.size(), 932));
    EXPECT_EQ(wide, u"\u3042\u65E5\u672C\uFF71\u2460\uFF5E\\");
    // CP_ACP is CP932 in this engine.
    ASSERT_TRUE(CodePageBufferToWide(wide, bytes.data(), 2, CP_ACP));
    EXPECT_EQ(wide, u"\u3042");
}

TEST(CodePage932, RoundTripsAndMarksWhatItCannotHold) {
    const std::u16string text = u"\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8 abc";  // 日本語テキスト abc
    std::string bytes;
    ASSERT_TRUE(WideToCodePage(bytes, text, 932));
    EXPECT_EQ(bytes.substr(0, 4), Str({0x93, 0xFA, 0x96, 0x7B}));
    EXPECT_EQ(bytes.size(), 7u * 2 + 4);
    std::u16string back;
    ASSERT_TRUE(CodePageBufferToWide(back, reinterpret_cast<const u8*>(bytes.data()), bytes.size(), 932));
    EXPECT_EQ(back, text);
    // A supplementary character and an unpaired surrogate have no CP932 form.
    ASSERT_TRUE(WideToCodePage(bytes, u"a\U0001F600b" + std::u16string(1, char16_t(0xDC00)), 932));
    EXPECT_EQ(bytes, "a?b?");
}

TEST(CodePage932, BadBytesBecomeReplacementsAndDecodingGoesOn) {
    std::u16string wide;
    // 82 alone at the end is a cut-off double-byte character; 0xA0 and 0xFD
    // are unassigned single bytes. Each bad byte costs one replacement.
    const auto cut = Bytes({'a', 0x82});
    ASSERT_TRUE(CodePageBufferToWide(wide, cut.data(), cut.size(), 932));
    EXPECT_EQ(wide, u"a\uFFFD");
    const auto bad = Bytes({0xA0, 'x', 0xFD, 0x82, 0xA0});
    ASSERT_TRUE(CodePageBufferToWide(wide, bad.data(), bad.size(), 932));
    EXPECT_EQ(wide, u"\uFFFDx\uFFFD\u3042");
}

TEST(CodePages, TheAnsiCodePageCanBeOverridden) {
    const auto bytes = Bytes({0xE9, 0x80});
    std::u16string wide;
    platform::SetAnsiCodePage(1252);
    ASSERT_TRUE(CodePageBufferToWide(wide, bytes.data(), bytes.size(), CP_ACP));
    EXPECT_EQ(wide, u"\u00E9\u20AC");  // é and the euro sign in Windows-1252
    platform::SetAnsiCodePage(CP_ACP);      // back to the default
    EXPECT_EQ(platform::GetAnsiCodePage(), 932u);
    ASSERT_TRUE(CodePageBufferToWide(wide, bytes.data(), bytes.size(), CP_ACP));
    EXPECT_NE(wide, u"\u00E9\u20AC");
}

TEST(CodePages, AnUnknownCodePageGivesNothing) {
    std::u16string wide;
    const auto bytes = Bytes({'a'});
    EXPECT_FALSE(CodePageBufferToWide(wide, bytes.data(), bytes.size(), 4242424));
    EXPECT_TRUE(wide.empty());
}

TEST(ByteOrderMarks, DetectionAndLengthFollowTheirOwnSizeLimits) {
    struct Case {
        std::vector<u8> bytes;
        int encoding;
        size_t bomLength;
    };
    const Case cases[] = {
        {{0xFF, 0xFE, 'a'}, TEXT_ENCODING_UTF16LE, 2}, {{0xFF, 0xFE}, TEXT_ENCODING_NONE, 0},
        {{0xFE, 0xFF, 0}, TEXT_ENCODING_UTF16BE, 2},   {{0xEF, 0xBB, 0xBF}, TEXT_ENCODING_NONE, 3},
        {{0xEF, 0xBB, 0xBF, 'a'}, TEXT_ENCODING_UTF8, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetectTextEncoding(c.bytes.data(), c.bytes.size()), c.encoding) << c.bytes.size();
        EXPECT_EQ(BomLength(c.bytes.data(), c.bytes.size()), c.bomLength) << c.bytes.size();
    }
    EXPECT_EQ(DetectTextEncoding(nullptr, 10), TEXT_ENCODING_NONE);
}

TEST(TextToUtf8ByBom, EachEncodingOfAScriptGivesItsText) {
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        int defaultCode;
        std::string utf8;
    };
    const int ansi = TEXT_ENCODING_ANSI;
    const Case cases[] = {
        {"UTF-16LE drops its mark", {0xFF, 0xFE, 'S', 0, 0x42, 0x30}, ansi, Str({'S', 0xE3, 0x81, 0x82})},
        {"UTF-16LE beyond the BMP", {0xFF, 0xFE, 0x42, 0xD8, 0xB7, 0xDF}, ansi, Str({0xF0, 0xA0, 0xAE, 0xB7})},
        {"UTF-16BE", {0xFE, 0xFF, 0, 'S', 0x30, 0x42}, ansi, Str({'S', 0xE3, 0x81, 0x82})},
        {"UTF-8 keeps its mark, ends at a zero", {0xEF, 0xBB, 0xBF, 'a', 'b', 0, 'c'}, ansi,
         Str({0xEF, 0xBB, 0xBF, 'a', 'b'})},
        {"no mark: CP932", {'x', 0x82, 0xA0}, ansi, Str({'x', 0xE3, 0x81, 0x82})},
        // Taken as ANSI text, whose conversion skips those three bytes.
        {"exactly EF BB BF", {0xEF, 0xBB, 0xBF}, ansi, ""},
        {"an unknown default code", {'a', 'b'}, 9, ""},
        // One unit: too short for the mark to be dropped, so it comes out as U+FEFF.
        {"a UTF-16 mark alone", {0xFF, 0xFE, 0}, ansi, Str({0xEF, 0xBB, 0xBF})},
        {"UTF-16 zeros", {0xFF, 0xFE, 0, 0, 0, 0}, ansi, std::string(2, '\0')},
    };
    for (const Case& c : cases) EXPECT_EQ(ToUtf8ByBom(c.bytes, c.defaultCode), c.utf8) << c.name;
}

TEST(TextToUtf8ByBom, ReportsWhetherAConversionProducedText) {
    std::string out;
    const auto ansi = Bytes({'a'});
    EXPECT_TRUE(TextToUtf8ByBom(out, ansi.data(), ansi.size(), TEXT_ENCODING_ANSI));
    const auto utf8 = Bytes({0xEF, 0xBB, 0xBF, 'a'});
    EXPECT_FALSE(TextToUtf8ByBom(out, utf8.data(), utf8.size(), TEXT_ENCODING_ANSI));
    EXPECT_EQ(out.size(), 4u);
    const auto markOnly = Bytes({0xFF, 0xFE, 0});
    EXPECT_TRUE(TextToUtf8ByBom(out, markOnly.data(), markOnly.size(), TEXT_ENCODING_ANSI));
}

TEST(Utf16BufferToUtf8, DropsAMarkOnlyFromThreeUnitsOnAndKeepsInnerZeros) {
    std::string out;
    const char16_t two[] = {0xFEFF, u'a'};
    EXPECT_TRUE(Utf16BufferToUtf8(out, two, 2));
    EXPECT_EQ(out, Str({0xEF, 0xBB, 0xBF, 'a'}));
    const char16_t three[] = {0xFEFF, u'a', u'b'};
    EXPECT_TRUE(Utf16BufferToUtf8(out, three, 3));
    EXPECT_EQ(out, "ab");
    const char16_t zeros[] = {u'a', 0, u'b'};
    EXPECT_TRUE(Utf16BufferToUtf8(out, zeros, 3));
    EXPECT_EQ(out, std::string("a\0b", 3));
}

TEST(CodePointToUtf8, UsesTheSixByteSchemeUpTo31Bits) {
    // 0x200000 = 1 000 000000 000000 000000 in 6-bit groups after the lead.
    const std::pair<u32, std::string> cases[] = {
        {0x41, "A"},
        {0x7FF, Str({0xDF, 0xBF})},
        {0x3042, Str({0xE3, 0x81, 0x82})},
        {0x10000, Str({0xF0, 0x90, 0x80, 0x80})},
        {0x200000, Str({0xF8, 0x88, 0x80, 0x80, 0x80})},
        {0x7FFFFFFE, Str({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBE})},
        {0x7FFFFFFF, ""},
        {0xFFFFFFFF, ""},
    };
    for (const auto& [code, utf8] : cases) EXPECT_EQ(CodePointToUtf8(code), utf8) << std::hex << code;
}

TEST(Utf8Walk, SequenceLengthsFollowTheLeadByte) {
    const std::pair<u8, int> cases[] = {{0x00, 1}, {0x7F, 1}, {0x80, 0}, {0xBF, 0}, {0xC3, 2}, {0xE3, 3},
                                        {0xF0, 4}, {0xF8, 5}, {0xFD, 6}, {0xFE, 0}, {0xFF, 0}};
    for (const auto& [lead, length] : cases) EXPECT_EQ(Utf8SequenceLength(lead), length) << int(lead);
}

TEST(Utf8Walk, CountsAndStepsEndInsideTheTextWhateverTheBytes) {
    // A lone lead byte before the terminator is one character: the walk does
    // not step over the zero; a cut-off sequence at the very end is one too.
    const std::pair<std::string, size_t> counts[] = {
        {Str({0x61, 0xC3, 0xA9}), 2}, {Str({'a', 0x80, 'b'}), 3},         {Str({0xFF, 0xFE}), 2},
        {Str({0xFC, 0x80}), 1},       {Str({'a', 0xE3, 0, 'z', 'z'}), 2}, {"", 0},
    };
    for (const auto& [text, count] : counts) EXPECT_EQ(Utf8CharCount(text), count) << text;
    const std::string text = Str({'a', 0xE3, 0x81, 0x82, 0xF0, 0x9F});
    const std::pair<size_t, size_t> steps[] = {{0, 1}, {1, 4}, {4, 6}, {6, 6}, {99, 6}};
    for (const auto& [from, to] : steps) EXPECT_EQ(Utf8NextPosition(text, from), to) << from;
    const std::string chars = Str({'a', 0xE3, 0x81, 0x82, 0xF0, 0x9F, 0x98, 0x80});
    const std::pair<size_t, u32> decoded[] = {{0, 'a'}, {1, 0x3042}, {4, 0x1F600}, {8, 0}};
    for (const auto& [at, code] : decoded) EXPECT_EQ(Utf8DecodeAt(chars, at), code) << at;
}
