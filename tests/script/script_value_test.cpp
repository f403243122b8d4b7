#include "script/script_value.h"

#include <gtest/gtest.h>

#include "support/comma_decimal_locale.h"
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

namespace {

classScriptValue Integer(int64 v) {
    classScriptValue x;
    x.SetInteger(v);
    return x;
}
classScriptValue Real(double v) {
    classScriptValue x;
    x.SetReal(v);
    return x;
}
classScriptValue String(std::string v) {
    classScriptValue x;
    x.SetString(std::move(v));
    return x;
}
classScriptValue Label(std::string name, int64 target) {
    classScriptValue x;
    x.SetLabel(name, target);
    return x;
}
classScriptValue Operator(std::string text) {
    classScriptValue x;
    x.SetOperator(text);
    return x;
}

TEST(ScriptValue, NewAndClearedValuesAreEmptyInEveryMember) {
    classScriptValue v;
    EXPECT_EQ(v.tag, ScriptValueEmpty);
    v.SetInteger(3);
    v.SetString("x");
    v.SetReal(1.5);
    v.MakeList()->push_back(Integer(1));
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
    v.children.push_back(Integer(1));
    EXPECT_EQ(v.MakeList()->size(), 1u);
    EXPECT_TRUE(v.IsList());
}

TEST(ScriptValue, AccessorsAnswerOnlyForTheirTag) {
    classScriptValue op = Operator("+");
    ASSERT_NE(op.GetOperator(), nullptr);
    EXPECT_EQ(*op.GetOperator(), "+");
    EXPECT_EQ(op.GetList(), nullptr);
    EXPECT_EQ(String("+").GetOperator(), nullptr);

    classScriptValue list;
    list.MakeList();
    EXPECT_NE(list.GetList(), nullptr);
    EXPECT_EQ(Integer(1).GetList(), nullptr);

    EXPECT_TRUE(Integer(1).IsInteger());
    EXPECT_FALSE(Integer(1).IsReal());
    EXPECT_TRUE(Real(1).IsReal());
    EXPECT_FALSE(Label("#a", 0).IsString());
}

TEST(ScriptValue, CopiesAreDeep) {
    classScriptValue inner;
    inner.MakeList()->push_back(String("leaf"));
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
    EXPECT_EQ(Operator("+").AsInteger(), nullptr);

    EXPECT_EQ(*Integer(-9).AsInteger(), -9);
    EXPECT_EQ(*Real(-2.7).AsInteger(), -2);  // toward zero
    EXPECT_EQ(*Real(2.7).AsInteger(), 2);
    EXPECT_EQ(*String(" 0x1F ").AsInteger(), 31);  // blanks removed, hex by prefix
    EXPECT_EQ(*String("010").AsInteger(), 8);      // octal by its leading 0
    EXPECT_EQ(*String("1 2").AsInteger(), 12);
    EXPECT_EQ(*String("abc").AsInteger(), 0);      // unparsable reads as 0
    EXPECT_EQ(*Label("#a", 42).AsInteger(), 42);   // the target statement
}

TEST(ScriptValue, RealsOutsideTheIntegerRangeSaturate) {
    EXPECT_EQ(*Real(1e300).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*Real(-1e300).AsInteger(), std::numeric_limits<int64>::min());
    EXPECT_EQ(*Real(std::numeric_limits<double>::quiet_NaN()).AsInteger(), 0);
    EXPECT_EQ(*Real(std::numeric_limits<double>::infinity()).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*Real(9223372036854775808.0).AsInteger(), std::numeric_limits<int64>::max());
    EXPECT_EQ(*Real(-9223372036854775808.0).AsInteger(), std::numeric_limits<int64>::min());
}

TEST(ScriptValue, AsRealFollowsTheTagTable) {
    classScriptValue empty;
    EXPECT_EQ(empty.AsReal(), nullptr);
    EXPECT_EQ(Label("#a", 3).AsReal(), nullptr);
    EXPECT_EQ(Operator("*").AsReal(), nullptr);
    EXPECT_EQ(*Integer(-3).AsReal(), -3.0);
    EXPECT_EQ(*Real(0.5).AsReal(), 0.5);
    EXPECT_EQ(*String("1.5e3").AsReal(), 1500.0);
    EXPECT_EQ(*String("  -0.25xyz").AsReal(), -0.25);
    EXPECT_EQ(*String("x").AsReal(), 0.0);
}

TEST(ScriptValue, AsStringFollowsTheTagTableAndKeepsTheTag) {
    classScriptValue n = Integer(-5);
    ASSERT_NE(n.AsString(), nullptr);
    EXPECT_EQ(n.text, "-5");
    EXPECT_EQ(n.tag, ScriptValueInteger);  // the text is a cache

    classScriptValue r = Real(2.5);
    EXPECT_EQ(*r.AsString(), "2.500000");
    EXPECT_EQ(r.tag, ScriptValueReal);
    EXPECT_EQ(*Real(-1.0 / 3).AsString(), "-0.333333");
    EXPECT_EQ(*Integer(std::numeric_limits<int64>::min()).AsString(), "-9223372036854775808");

    EXPECT_EQ(*String("as is").AsString(), "as is");
    EXPECT_EQ(*Label("#name", 4).AsString(), "#name");
    EXPECT_EQ(*Operator("<=").AsString(), "<=");
    classScriptValue empty;
    EXPECT_EQ(empty.AsString(), nullptr);
    classScriptValue list;
    list.MakeList();
    EXPECT_EQ(list.AsString(), nullptr);
}

TEST(ScriptValue, ConversionResultsStayCachedButTheTagDecides) {
    classScriptValue v = String("12");
    EXPECT_EQ(*v.AsInteger(), 12);
    EXPECT_EQ(v.integer, 12);
    v.SetString("30");
    // The stale integer does not answer: the text is read again.
    EXPECT_EQ(*v.AsInteger(), 30);
}

using ScriptValueUnderCommaLocale = testsupport::CommaDecimalLocaleTest;

TEST_F(ScriptValueUnderCommaLocale, TextAndNumbersConvertAsInTheCLocale) {
    EXPECT_EQ(*Real(2.5).AsString(), "2.500000");
    EXPECT_EQ(*String("2.75").AsReal(), 2.75);
    EXPECT_EQ(*String("2,75").AsReal(), 2.0);
    EXPECT_EQ(*String("1 000").AsInteger(), 1000);
    EXPECT_EQ(*Integer(-1234567).AsString(), "-1234567");
}

}  // namespace
