// Character-list lines and files: the encodings a list may come in, line
// ends, the 0x prefix and letter case, and lines that must be skipped
// without reading past them.

#include "presentation/character_list.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Entries as "code:file;" with the code in hex.
std::string Show(const std::vector<classCharacterListEntry>& entries) {
    std::string out;
    char code[16];
    for (const classCharacterListEntry& entry : entries) {
        std::snprintf(code, sizeof code, "%X", entry.code);
        out += std::string(code) + ":" + entry.file + ";";
    }
    return out;
}

TEST(CharacterListLine, ReadsHexCodeCommaAndFileUpToTheFirstBlankOrSkipsTheLine) {
    struct Case {
        std::string line;
        const char* entry;  // empty: skipped
    };
    const Case cases[] = {
        {"3042,font\\a.png", "3042:font\\a.png;"},
        {"0xff5d,x.png trailing words", "FF5D:x.png;"},
        {"  AbC, spaced.png", "ABC:spaced.png;"},
        {"10FFFF,last.png", "10FFFF:last.png;"},
        {"3042," + std::string(1023, 'a'), nullptr},  // checked by length below
        {"3042," + std::string(1024, 'a'), ""},
        {"3042," + std::string(5000, 'a'), ""},
        {"3042", ""}, {"3042 a.png", ""}, {"3042 ,a.png", ""}, {",a.png", ""}, {"3042,", ""},
        {"3042,   ", ""}, {"zz,a.png", ""}, {"-1,a.png", ""}, {"+3042,a.png", ""}, {"0,a.png", ""},
        {"110000,a.png", ""}, {"FFFFFFFFF,a.png", ""}, {"FFFFFFFFFFFFFFFFFFFFFFFF3042,a.png", ""},
        {"0x,a.png", ""}, {"", ""},
    };
    for (const Case& c : cases) {
        classCharacterListEntry entry;
        const bool read = ParseCharacterListLine(c.line, entry);
        if (c.entry == nullptr) {
            EXPECT_TRUE(read && entry.file.size() == 1023u) << "a file name of 1023 bytes is the longest";
        } else {
            EXPECT_EQ(read ? Show({entry}) : "", c.entry) << "'" << c.line << "'";
        }
    }
}

TEST(CharacterListFile, EncodingsLineEndsAndBadLines) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* entries;
    };
    const Case cases[] = {
        {"every line end, empty lines between, none after the last",
         "3042,a.png\r\n3044,i.png\r3046,u.png\n\n\r\n3048,e.png", "3042:a.png;3044:i.png;3046:u.png;3048:e.png;"},
        {"bad lines are skipped and the rest read",
         "no comma here\n3042,a.png\n-5,b.png\n3044," + std::string(2000, 'x') + "\n3046,c.png\n",
         "3042:a.png;3046:c.png;"},
        {"marked UTF-8 keeps its first entry", "\xEF\xBB\xBF" "3042,a.png\n3044,i.png\n", "3042:a.png;3044:i.png;"},
        {"UTF-16 with its mark", Utf16Le("3042,a.png\r\n0x3044,i.png\r\n"), "3042:a.png;3044:i.png;"},
        {"unmarked bytes are the legacy code page", "3042,\x82\xA0.png\n", "3042:\xE3\x81\x82.png;"},
        {"a first character that only begins like the mark", std::string("\xFF\xFE\x11\xFF" "3\0" "0\0" "4\0" "2\0" ",\0" "a\0", 16), ""},
        {"a first character that ends like the mark", std::string("\xFF\xFE\xFF\x0E" "3\0" "0\0" "4\0" "2\0" ",\0" "a\0", 16), ""},
        {"nothing", "", ""},
        {"only line ends", "\r\n\r\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Show(Parse(c.bytes)), c.entries) << c.name;
    EXPECT_TRUE(ParseCharacterList(nullptr, 10).empty());
}

}  // namespace
