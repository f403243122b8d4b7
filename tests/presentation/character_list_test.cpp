// Character-list lines and files: the encodings a list may come in, line
// ends, the 0x prefix and letter case, and lines that must be skipped
// without reading past them.

#include "presentation/character_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<classCharacterListEntry> Parse(const std::string& bytes) {
    return ParseCharacterList(reinterpret_cast<const u8*>(bytes.data()), bytes.size());
}

// UTF-16LE with its mark, from ASCII text.
std::string Utf16Le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(CharacterListLine, ReadsHexCodeCommaAndFileUpToTheFirstBlank) {
    classCharacterListEntry entry;
    ASSERT_TRUE(ParseCharacterListLine("3042,font\\a.png", entry));
    EXPECT_EQ(entry.code, 0x3042u);
    EXPECT_EQ(entry.file, "font\\a.png");
    ASSERT_TRUE(ParseCharacterListLine("0xff5d,x.png trailing words", entry));
    EXPECT_EQ(entry.code, 0xFF5Du);
    EXPECT_EQ(entry.file, "x.png");
    ASSERT_TRUE(ParseCharacterListLine("  AbC, spaced.png", entry)) << "blanks before the code and the file";
    EXPECT_EQ(entry.code, 0xABCu);
    EXPECT_EQ(entry.file, "spaced.png");
    ASSERT_TRUE(ParseCharacterListLine("10FFFF,last.png", entry));
    EXPECT_EQ(entry.code, 0x10FFFFu);
}

TEST(CharacterListLine, SkipsLinesThatGiveNoCharacterOrNoFile) {
    classCharacterListEntry entry;
    for (const char* line : {"3042", "3042 a.png", "3042 ,a.png", ",a.png", "3042,", "3042,   ", "zz,a.png",
                             "-1,a.png", "+3042,a.png", "0,a.png", "110000,a.png", "FFFFFFFFF,a.png",
                             "FFFFFFFFFFFFFFFFFFFFFFFF3042,a.png", "0x,a.png", ""}) {
        EXPECT_FALSE(ParseCharacterListLine(line, entry)) << "'" << line << "'";
    }
}

TEST(CharacterListLine, FileNamesAreBoundedTo1023Bytes) {
    classCharacterListEntry entry;
    EXPECT_TRUE(ParseCharacterListLine("3042," + std::string(1023, 'a'), entry));
    EXPECT_EQ(entry.file.size(), 1023u);
    EXPECT_FALSE(ParseCharacterListLine("3042," + std::string(1024, 'a'), entry));
    EXPECT_FALSE(ParseCharacterListLine("3042," + std::string(5000, 'a'), entry));
}

TEST(CharacterListFile, EveryLineEndAndEmptyLinesBetween) {
    auto entries = Parse("3042,a.png\r\n3044,i.png\r3046,u.png\n\n\r\n3048,e.png");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].code, 0x3042u);
    EXPECT_EQ(entries[1].code, 0x3044u);
    EXPECT_EQ(entries[2].code, 0x3046u);
    EXPECT_EQ(entries[3].code, 0x3048u);
    EXPECT_EQ(entries[3].file, "e.png") << "the last line needs no line end";
}

TEST(CharacterListFile, BadLinesAreSkippedAndTheRestRead) {
    auto entries = Parse("no comma here\n3042,a.png\n-5,b.png\n3044," + std::string(2000, 'x') + "\n3046,c.png\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].file, "a.png");
    EXPECT_EQ(entries[1].file, "c.png");
}

TEST(CharacterListFile, MarkedUtf8KeepsItsFirstEntry) {
    auto entries = Parse("\xEF\xBB\xBF" "3042,a.png\n3044,i.png\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].code, 0x3042u);
}

TEST(CharacterListFile, Utf16WithItsMark) {
    auto entries = Parse(Utf16Le("3042,a.png\r\n0x3044,i.png\r\n"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].code, 0x3042u);
    EXPECT_EQ(entries[0].file, "a.png");
    EXPECT_EQ(entries[1].code, 0x3044u);
}

TEST(CharacterListFile, UnmarkedBytesAreTheLegacyCodePage) {
    // "あ.png" in CP932: 82 A0 then ".png"; the file name comes out as UTF-8.
    auto entries = Parse("3042,\x82\xA0.png\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].file, "\xE3\x81\x82.png");
}

TEST(CharacterListFile, NothingFromNothing) {
    EXPECT_TRUE(ParseCharacterList(nullptr, 10).empty());
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse("\r\n\r\n").empty());
}

}  // namespace
