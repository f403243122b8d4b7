#include "foundation/number_text.h"

#include <gtest/gtest.h>

#include "support/comma_decimal_locale.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

TEST(StringToInt64, RemovesBlanksAndTakesTheBaseFromThePrefix) {
    EXPECT_EQ(StringToInt64(" 1 2"), 12);
    EXPECT_EQ(StringToInt64("0x1F"), 31);
    EXPECT_EQ(StringToInt64("0X1f"), 31);
    EXPECT_EQ(StringToInt64("010"), 8);
    EXPECT_EQ(StringToInt64("-0x10"), -16);
    EXPECT_EQ(StringToInt64("+7"), 7);
    EXPECT_EQ(StringToInt64("- 4 2"), -42);
    // Reading stops at the first character that does not fit the base.
    EXPECT_EQ(StringToInt64("09"), 0);
    EXPECT_EQ(StringToInt64("12abc"), 12);
    EXPECT_EQ(StringToInt64("0x"), 0);
    // Only 0x20 is removed: a TAB inside the number ends it, a leading one is
    // white space the reader skips.
    EXPECT_EQ(StringToInt64("1\t2"), 1);
    EXPECT_EQ(StringToInt64("\t5"), 5);
    EXPECT_EQ(StringToInt64("abc"), 0);
}

TEST(StringToInt64, ReportsRangeAndNullErrors) {
    int error = -1;
    EXPECT_EQ(StringToInt64("9223372036854775807", &error), INT64_MAX);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(StringToInt64("9223372036854775808", &error), INT64_MAX);
    EXPECT_EQ(error, 34);
    EXPECT_EQ(StringToInt64("-9223372036854775809", &error), INT64_MIN);
    EXPECT_EQ(error, 34);
    EXPECT_EQ(StringToInt64("0xFFFFFFFFFFFFFFFFF", &error), INT64_MAX);
    EXPECT_EQ(error, 34);
    EXPECT_EQ(StringToInt64(static_cast<const char*>(nullptr), &error), 0);
    EXPECT_EQ(error, 22);
    EXPECT_EQ(errno, 22);
    EXPECT_EQ(StringToInt64("5", &error), 5);
    EXPECT_EQ(error, 0);
}

TEST(StringToDouble, ReadsTheLongestNumberPrefix) {
    EXPECT_DOUBLE_EQ(StringToDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StringToDouble("  -0.25x"), -0.25);
    EXPECT_DOUBLE_EQ(StringToDouble("2.5e3"), 2500.0);
    EXPECT_DOUBLE_EQ(StringToDouble("1d5"), 1.0);  // "d" is no exponent
    EXPECT_DOUBLE_EQ(StringToDouble("0x1p4"), 16.0);
    EXPECT_DOUBLE_EQ(StringToDouble("abc"), 0.0);
    EXPECT_DOUBLE_EQ(StringToDouble(".5"), 0.5);
    int error = -1;
    EXPECT_TRUE(std::isinf(StringToDouble("1e999", &error)));
    EXPECT_EQ(error, 34);
    EXPECT_DOUBLE_EQ(StringToDouble(static_cast<const char*>(nullptr), &error), 0.0);
    EXPECT_EQ(error, 22);
}

TEST(FormatString, GivesExactlyTheCharactersProducedWithNoLengthLimit) {
    std::string out;
    EXPECT_EQ(FormatString(out, "%d-%s", 42, "x"), 4u);
    EXPECT_EQ(out, "42-x");
    for (std::size_t length : {1023u, 1024u, 5000u}) {
        const std::string body(length, 'q');
        EXPECT_EQ(FormatString(out, "%s", body.c_str()), length);
        EXPECT_EQ(out, body);
    }
    // "filename:" (9) + 4995 + "!" (1) = 5005 bytes through two arguments.
    const std::string name(4995, 'n');
    FormatString(out, "filename:%s%c", name.c_str(), '!');
    EXPECT_EQ(out.size(), 5005u);
    EXPECT_EQ(out.back(), '!');
    EXPECT_EQ(FormatString(out, "%s", ""), 0u);
    EXPECT_EQ(out, "");
    EXPECT_EQ(FormatToString("%05.1f|%x", 3.14159, 255u), "003.1|ff");
}

TEST(NumberText, ScriptFormsOfNumbers) {
    EXPECT_EQ(FormatInt64(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(FormatInt64(0), "0");
    EXPECT_EQ(FormatDouble(2.5), "2.500000");
    EXPECT_EQ(FormatDouble(-0.1), "-0.100000");
    EXPECT_EQ(FormatDouble(1e6), "1000000.000000");
}

using CommaDecimalLocale = testsupport::CommaDecimalLocaleTest;

TEST_F(CommaDecimalLocale, ParsingIgnoresTheLocale) {
    EXPECT_DOUBLE_EQ(StringToDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StringToDouble("1,5"), 1.0);
    EXPECT_DOUBLE_EQ(StringToDouble("-2.25e1"), -22.5);
    EXPECT_EQ(StringToInt64("1 234"), 1234);
}

TEST_F(CommaDecimalLocale, FormattingIgnoresTheLocale) {
    EXPECT_EQ(FormatDouble(2.5), "2.500000");
    EXPECT_EQ(FormatToString("%.2f %g", 1.25, 0.5), "1.25 0.5");
    std::string out;
    FormatString(out, "%'d", 1234567);  // no thousands grouping either
    EXPECT_EQ(out, "1234567");
    // The locale of the thread is back afterwards.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");
}

TEST(GetSeparatedField, SplitsTabSeparatedLists) {
    std::string field;
    EXPECT_EQ(GetSeparatedField("a\tb", &field, '\t', 0), 2u);
    EXPECT_EQ(field, "a");
    EXPECT_EQ(GetSeparatedField("a\tb", &field, '\t', 1), 2u);
    EXPECT_EQ(field, "b");
    EXPECT_EQ(GetSeparatedField("a\tb", &field, '\t', 2), 0u);
    // An empty field between two separators gives 1; a trailing separator
    // gives no extra field.
    EXPECT_EQ(GetSeparatedField("a\t\tc", &field, '\t', 1), 1u);
    EXPECT_EQ(field, "");
    EXPECT_EQ(GetSeparatedField("a\t", &field, '\t', 1), 0u);
    EXPECT_EQ(GetSeparatedField("", &field, '\t', 0), 0u);
    EXPECT_EQ(GetSeparatedField(nullptr, &field, '\t', 0), 0u);
    // Without an output only the length is given; a long field has no limit.
    const std::string longField(70000, 'w');
    EXPECT_EQ(GetSeparatedField(("x\t" + longField).c_str(), nullptr, '\t', 1), 70001u);
    EXPECT_EQ(GetSeparatedField(("x\t" + longField).c_str(), &field, '\t', 1), 70001u);
    EXPECT_EQ(field.size(), 70000u);
}

TEST(EndsWithNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EndsWithNoCase("movie.AVI", ".avi"));
    EXPECT_TRUE(EndsWithNoCase("a.Wmv", ".WMV"));
    EXPECT_FALSE(EndsWithNoCase("a.mpeg", ".mpg"));
    EXPECT_FALSE(EndsWithNoCase("vi", ".avi"));
    EXPECT_TRUE(EndsWithNoCase("abc", ""));
    // Bytes above 0x7F compare exactly: É (C3 89) is not é (C3 A9).
    EXPECT_TRUE(EndsWithNoCase("x\xC3\x89", "\xC3\x89"));
    EXPECT_FALSE(EndsWithNoCase("x\xC3\x89", "\xC3\xA9"));
    EXPECT_TRUE(EqualsNoCase("System\\Function.qvs", "SYSTEM\\function.QVS"));
    EXPECT_FALSE(EqualsNoCase("system/a", "system\\a"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));  // 0x5B and 0x7B differ by 0x20 but are not letters
}
