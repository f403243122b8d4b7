#include "script/script_value.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "support/comma_decimal_locale.h"
#include "support/script/values.h"

namespace {

using testscript::E;
using testscript::I;
using testscript::L;
using testscript::O;
using testscript::R;
using testscript::S;

TEST(ScriptValue, NewAndClearedValuesAreEmptyInEveryMember) {
    classScriptValue v;
    EXPECT_EQ(v.tag, ScriptValueEmpty);
    v.SetInteger(3);
    v.SetString("x");
    v.SetReal(1.5);
    v.MakeList()->push_back(I(1));
    v.Clear();
    EXPECT_EQ(v.tag, 0u);
    EXPECT_EQ(v.integer, 0);
    EXPECT_EQ(v.real, 0.0);
    EXPECT_TRUE(v.text.empty());
    EXPECT_TRUE(v.children.empty());
}

TEST(ScriptValue, SettersChangeOnlyTheTagAndTheirOwnMember) {
    classScriptValue v;
    *v.SetInteger(7) += 1;  // the address of the integer member
    EXPECT_EQ(v.integer, 8);
    v.SetString("seven");
    EXPECT_EQ(v.tag, ScriptValueString);
    EXPECT_EQ(v.integer, 8);  // kept
    v.SetReal(0.25);
    EXPECT_EQ(v.text, "seven");
    v.SetStringFromText(nullptr);
    EXPECT_EQ(v.text, "");
    EXPECT_EQ(v.real, 0.25);
    v.SetStringFromText("abc");
    EXPECT_TRUE(v.IsString());
    EXPECT_EQ(v.text, "abc");

    // A label replaces only what is given.
    v.SetLabel(std::nullopt, 12);
    EXPECT_EQ(v.tag, ScriptValueLabel);
    EXPECT_EQ(v.text, "abc");
    EXPECT_EQ(v.integer, 12);
    v.SetLabel("#go", std::nullopt);
    EXPECT_EQ(v.text, "#go");
    EXPECT_EQ(v.integer, 12);

    // A list keeps children it held before.
    v.children.push_back(I(1));
    EXPECT_EQ(v.MakeList()->size(), 1u);
    EXPECT_TRUE(v.IsList());
}

TEST(ScriptValue, AccessorsAnswerOnlyForTheirTag) {
    classScriptValue op = O("+");
    ASSERT_NE(op.GetOperator(), nullptr);
    EXPECT_EQ(*op.GetOperator(), "+");
    EXPECT_EQ(op.GetList(), nullptr);
    EXPECT_EQ(S("+").GetOperator(), nullptr);

    classScriptValue list;
    list.MakeList();
    EXPECT_NE(list.GetList(), nullptr);
    EXPECT_EQ(I(1).GetList(), nullptr);

    EXPECT_TRUE(I(1).IsInteger());
    EXPECT_FALSE(I(1).IsReal());
    EXPECT_TRUE(R(1).IsReal());
    EXPECT_FALSE(L("#a", 0).IsString());
}

TEST(ScriptValue, CopiesAreDeep) {
    classScriptValue inner;
    inner.MakeList()->push_back(S("leaf"));
    classScriptValue outer;
    outer.MakeList()->push_back(inner);

    classScriptValue copy;
    EXPECT_TRUE(outer.CopyTo(&copy));
    copy.children[0].children[0].text = "changed";
    EXPECT_EQ(outer.children[0].children[0].text, "leaf");
    EXPECT_FALSE(outer.CopyTo(nullptr));
    EXPECT_TRUE(copy.CopyTo(&copy));
    EXPECT_EQ(copy.children[0].children[0].text, "changed");
}

TEST(ScriptValue, AsIntegerFollowsTheTagTable) {
    classScriptValue empty;
    EXPECT_EQ(empty.AsInteger(), nullptr);
    classScriptValue list;
    list.MakeList();
    EXPECT_EQ(list.AsInteger(), nullptr);
    EXPECT_EQ(O("+").AsInteger(), nullptr);

    EXPECT_EQ(*I(-9).AsInteger(), -9);
    EXPECT_EQ(*R(-2.7).AsInteger(), -2);  // toward zero
    EXPECT_EQ(*R(2.7).AsInteger(), 2);
    EXPECT_EQ(*S(" 0x1F ").AsInteger(), 31);  // blanks removed, hex by prefix
    EXPECT_EQ(*S("010").AsInteger(), 8);      // octal by its leading 0
    EXPECT_EQ(*S("1 2").AsInteger(), 12);
    EXPECT_EQ(*S("abc").AsInteger(), 0);      // unparsable reads as 0
    EXPECT_EQ(*L("#a", 42).AsInteger(), 42);  // the target statement
}

TEST(ScriptValue, RealsOutsideTheIntegerRangeSaturate) {
    EXPECT_EQ(*R(1e300).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*R(-1e300).AsInteger(), std::numeric_limits<int64>::min());
    EXPECT_EQ(*R(std::numeric_limits<double>::quiet_NaN()).AsInteger(), 0);
    EXPECT_EQ(*R(std::numeric_limits<double>::infinity()).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*R(9223372036854775808.0).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*R(-9223372036854775808.0).AsInteger(), std::numeric_limits<int64>::min());
}

TEST(ScriptValue, AsRealFollowsTheTagTable) {
    classScriptValue empty;
    EXPECT_EQ(empty.AsReal(), nullptr);
    EXPECT_EQ(L("#a", 3).AsReal(), nullptr);
    EXPECT_EQ(O("*").AsReal(), nullptr);
    EXPECT_EQ(*I(-3).AsReal(), -3.0);
    EXPECT_EQ(*R(0.5).AsReal(), 0.5);
    EXPECT_EQ(*S("1.5e3").AsReal(), 1500.0);
    EXPECT_EQ(*S("  -0.25xyz").AsReal(), -0.25);
    EXPECT_EQ(*S("x").AsReal(), 0.0);
}

TEST(ScriptValue, AsStringFollowsTheTagTableAndKeepsTheTag) {
    classScriptValue n = I(-5);
    ASSERT_NE(n.AsString(), nullptr);
    EXPECT_EQ(n.text, "-5");
    EXPECT_EQ(n.tag, ScriptValueInteger);  // the text is a cache

    classScriptValue r = R(2.5);
    EXPECT_EQ(*r.AsString(), "2.500000");
    EXPECT_EQ(r.tag, ScriptValueReal);
    EXPECT_EQ(*R(-1.0 / 3).AsString(), "-0.333333");
    EXPECT_EQ(*I(std::numeric_limits<int64>::min()).AsString(), "-9223372036854775808");

    EXPECT_EQ(*S("as is").AsString(), "as is");
    EXPECT_EQ(*L("#name", 4).AsString(), "#name");
    EXPECT_EQ(*O("<=").AsString(), "<=");
    classScriptValue empty;
    EXPECT_EQ(empty.AsString(), nullptr);
    classScriptValue list;
    list.MakeList();
    EXPECT_EQ(list.AsString(), nullptr);
}

TEST(ScriptValue, ConversionResultsStayCachedButTheTagDecides) {
    classScriptValue v = S("12");
    EXPECT_EQ(*v.AsInteger(), 12);
    EXPECT_EQ(v.integer, 12);
    v.SetString("30");
    // The stale integer does not answer: the text is read again.
    EXPECT_EQ(*v.AsInteger(), 30);
}

using ScriptValueUnderCommaLocale = testsupport::CommaDecimalLocaleTest;

TEST_F(ScriptValueUnderCommaLocale, TextAndNumbersConvertAsInTheCLocale) {
    EXPECT_EQ(*R(2.5).AsString(), "2.500000");
    EXPECT_EQ(*S("2.75").AsReal(), 2.75);
    EXPECT_EQ(*S("2,75").AsReal(), 2.0);
    EXPECT_EQ(*S("1 000").AsInteger(), 1000);
    EXPECT_EQ(*I(-1234567).AsString(), "-1234567");
}

}  // namespace
