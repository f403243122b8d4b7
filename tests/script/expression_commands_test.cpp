// The "=" evaluator over hand-built token lists, and "ToString". Expected
// values are worked out by hand from the operator rules: integer results
// when both sides are integers, real results otherwise.
#include "commands/expression_commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "script/script_context.h"
#include "script/script_value.h"
#include "support/executor/script_runner.h"
#include "support/script/values.h"

namespace {

using testexec::Render;

using testscript::E;
using testscript::I;
using testscript::O;
using testscript::R;
using testscript::S;

std::string Eval(std::vector<classScriptValue> tokens) {
    classScriptValue result;
    EvaluateExpressionTokens(tokens.data(), static_cast<int32>(tokens.size()), result);
    return Render(result);
}

constexpr int64 kMin = std::numeric_limits<int64>::min();
constexpr int64 kMax = std::numeric_limits<int64>::max();

TEST(AssignCommand, ArgumentCountChoosesTheMode) {
    EXPECT_EQ(Eval({}), "-");
    EXPECT_EQ(Eval({E()}), "i:0") << "an unset variable assigns 0";
    EXPECT_EQ(Eval({I(5)}), "i:5");
    EXPECT_EQ(Eval({S("abc")}), "s:abc");
    classScriptValue list;
    list.MakeList()->push_back(I(1));
    EXPECT_EQ(Eval({list}), "(i:1)") << "a single argument is copied whatever it is";
    EXPECT_EQ(Eval({list, O("+"), I(1)}), "-") << "a leading list gives nothing";
    classScriptValue label;
    label.SetLabel("#a", 4);
    EXPECT_EQ(Eval({label, O("+"), I(1)}), "-") << "a leading label reference gives nothing";
}

TEST(AssignCommand, DivisionAndRemainder) {
    EXPECT_EQ(Eval({I(7), O("/"), I(2)}), "i:3");
    EXPECT_EQ(Eval({R(7.0), O("/"), I(2)}), "r:3.5");
    EXPECT_EQ(Eval({I(-7), O("/"), I(2)}), "i:-3") << "truncated toward zero";
    EXPECT_EQ(Eval({I(7), O("/"), I(0)}), "i:0");
    EXPECT_EQ(Eval({R(7.5), O("/"), I(0)}), "i:0");
    EXPECT_EQ(Eval({I(7), O("/"), R(0.0)}), "i:0");
    EXPECT_EQ(Eval({I(-7), O("%"), I(3)}), "i:-1") << "sign of the left side";
    EXPECT_EQ(Eval({R(-7.0), O("%"), I(3)}), "r:2") << "-7 - floor(-7/3)*3 = -7 + 9";
    EXPECT_EQ(Eval({I(7), O("%"), I(0)}), "i:7") << "remainder by zero is the left side";
    EXPECT_EQ(Eval({I(7), O("%"), R(2.5)}), "r:2") << "7 - 2*2.5";
}

TEST(AssignCommand, IntegerOverflowWrapsAndNeverTraps) {
    EXPECT_EQ(Eval({I(kMax), O("+"), I(1)}), "i:" + std::to_string(kMin));
    EXPECT_EQ(Eval({I(kMin), O("-"), I(1)}), "i:" + std::to_string(kMax));
    EXPECT_EQ(Eval({I(kMin), O("*"), I(-1)}), "i:" + std::to_string(kMin));
    EXPECT_EQ(Eval({I(kMin), O("/"), I(-1)}), "i:" + std::to_string(kMin));
    EXPECT_EQ(Eval({I(kMin), O("%"), I(-1)}), "i:0");
    EXPECT_EQ(Eval({I(0x4000000000000000), O("*"), I(4)}), "i:0") << "2^62 * 4 = 2^64 wraps to 0";
    EXPECT_EQ(Eval({O("-"), I(kMin)}), "i:" + std::to_string(kMin));
}

TEST(AssignCommand, ComparisonsAndLogic) {
    EXPECT_EQ(Eval({I(2), O("<"), I(3)}), "i:1");
    EXPECT_EQ(Eval({I(2), O("<"), R(3.5)}), "r:1");
    EXPECT_EQ(Eval({I(3), O("="), I(3)}), "i:1");
    EXPECT_EQ(Eval({I(3), O("!="), R(3.0)}), "r:0");
    EXPECT_EQ(Eval({I(4), O(">="), I(5)}), "i:0");
    EXPECT_EQ(Eval({I(5), O("<="), I(5)}), "i:1");
    EXPECT_EQ(Eval({I(6), O(">"), I(5)}), "i:1");
    EXPECT_EQ(Eval({I(2), O("&&"), I(3)}), "i:1");
    EXPECT_EQ(Eval({I(1), O("&&"), I(0)}), "i:0");
    EXPECT_EQ(Eval({R(1.5), O("&&"), I(0)}), "r:0");
    EXPECT_EQ(Eval({I(0), O("||"), R(0.5)}), "r:1");
    EXPECT_EQ(Eval({I(0), O("||"), I(0)}), "i:0");
}

TEST(AssignCommand, BitsAndShifts) {
    EXPECT_EQ(Eval({I(6), O("&"), I(3)}), "i:2");
    EXPECT_EQ(Eval({I(6), O("|"), I(3)}), "i:7");
    EXPECT_EQ(Eval({I(6), O("^"), I(3)}), "i:5");
    EXPECT_EQ(Eval({R(6.0), O("&"), I(3)}), "-") << "bitwise operators on reals give nothing";
    EXPECT_EQ(Eval({I(1), O("<<"), I(4)}), "i:16");
    EXPECT_EQ(Eval({I(1), O("<<"), I(70)}), "i:0");
    EXPECT_EQ(Eval({I(1), O("<<"), I(256)}), "i:1") << "only the low 8 bits of the count: 256 -> 0";
    EXPECT_EQ(Eval({I(-8), O(">>"), I(1)}), "i:-4");
    EXPECT_EQ(Eval({I(-8), O(">>"), I(64)}), "i:-1");
    EXPECT_EQ(Eval({I(8), O(">>"), I(100)}), "i:0");
    EXPECT_EQ(Eval({I(1), O("<<"), R(2.0)}), "-");
}

TEST(AssignCommand, PrecedenceGroupsFromTheLeft) {
    EXPECT_EQ(Eval({I(8), O("-"), I(3), O("-"), I(2)}), "i:3");
    EXPECT_EQ(Eval({I(2), O("+"), I(3), O("*"), I(4)}), "i:14");
    EXPECT_EQ(Eval({I(2), O("*"), I(3), O("+"), I(4)}), "i:10");
    EXPECT_EQ(Eval({I(1), O("|"), I(2), O("&"), I(3)}), "i:3") << "2&3 = 2 first, then 1|2";
    EXPECT_EQ(Eval({I(1), O("+"), I(2), O("<<"), I(1)}), "i:6") << "(1+2)<<1";
    EXPECT_EQ(Eval({I(0), O("||"), I(1), O("&&"), I(0)}), "i:0") << "1&&0 first";
    EXPECT_EQ(Eval({I(100), O("/"), I(10), O("/"), I(5)}), "i:2");
}

// Parentheses group, and a prefix minus, plus, "!" or "~" applies to what
// follows it, as in ordinary arithmetic.
TEST(AssignCommand, ParenthesesAndPrefixOperators) {
    EXPECT_EQ(Eval({O("("), I(1), O("+"), I(2), O(")"), O("*"), I(3)}), "i:9");
    EXPECT_EQ(Eval({I(2), O("*"), O("("), I(3), O("+"), I(4), O(")")}), "i:14");
    EXPECT_EQ(Eval({O("("), O("("), I(2), O(")"), O(")")}), "i:2");
    EXPECT_EQ(Eval({I(10), O("-"), O("("), I(2), O("-"), I(5), O(")")}), "i:13");
    EXPECT_EQ(Eval({O("-"), I(3)}), "i:-3");
    EXPECT_EQ(Eval({O("-"), R(2.5)}), "r:-2.5");
    EXPECT_EQ(Eval({I(2), O("*"), O("-"), I(3)}), "i:-6");
    EXPECT_EQ(Eval({O("-"), O("("), I(1), O("+"), I(2), O(")"), O("*"), I(2)}), "i:-6");
    EXPECT_EQ(Eval({O("+"), I(4)}), "i:4");
    EXPECT_EQ(Eval({O("!"), I(0)}), "i:1");
    EXPECT_EQ(Eval({O("!"), I(5)}), "i:0");
    EXPECT_EQ(Eval({O("!"), R(0.0)}), "r:1");
    EXPECT_EQ(Eval({O("!"), E()}), "i:1") << "an unset variable reads as 0";
    EXPECT_EQ(Eval({I(1), O("+"), O("!"), I(0)}), "i:2");
    EXPECT_EQ(Eval({O("!"), I(2), O("="), I(0)}), "i:1") << "(!2) = 0";
    EXPECT_EQ(Eval({O("~"), I(0)}), "i:-1");
    EXPECT_EQ(Eval({O("~"), R(1.5)}), "-");
    EXPECT_EQ(Eval({O("-"), O("-"), I(4)}), "i:4");
}

TEST(AssignCommand, UnbalancedOrMissingPiecesReadAsZero) {
    EXPECT_EQ(Eval({I(3), O("!"), I(4)}), "-") << "\"!\" between two operands has no value";
    EXPECT_EQ(Eval({O("*"), I(3)}), "i:0") << "0 * 3";
    EXPECT_EQ(Eval({I(5), O("-")}), "i:-5") << "a list read as 0 ... : 0 - 5";
    EXPECT_EQ(Eval({O("("), I(1), O("+"), I(2)}), "i:3");
    EXPECT_EQ(Eval({I(1), O("+"), I(2), O(")"), O("*"), I(3)}), "i:9")
        << "a stray ) closes everything before it, as if the list had opened with (";
    EXPECT_EQ(Eval({O("("), O(")")}), "i:0");
    EXPECT_EQ(Eval({E(), O("+"), I(2)}), "i:2");
    EXPECT_EQ(Eval({R(1.5), O("&"), I(1), O("|"), I(2)}), "i:2") << "(1.5 & 1) is empty, read as 0 by |";
    EXPECT_EQ(Eval({R(1.5), O("&"), I(1), O("+"), I(2)}), "-") << "1.5 & (1+2) is the outcome: nothing";
}

TEST(AssignCommand, TextFirstConcatenates) {
    EXPECT_EQ(Eval({S("abc"), O("+"), I(1), O("+"), R(2.5)}), "s:abc12.500000");
    EXPECT_EQ(Eval({S("x"), O("+"), R(0.1)}), "s:x0.100000");
    EXPECT_EQ(Eval({S("x"), O("+"), R(16777217.0)}), "s:x16777216.000000") << "through single precision";
    EXPECT_EQ(Eval({S("n"), O("-"), I(-5)}), "s:n-5");
    EXPECT_EQ(Eval({S("a"), O("+"), E(), O("+"), S("b")}), "s:ab");
    EXPECT_EQ(Eval({S("big"), O("+"), R(1e300)}), "s:biginf") << "beyond single precision";
    EXPECT_EQ(Eval({S(""), O("*"), I(kMin)}), "s:-9223372036854775808");
}

std::string ToStringOf(const classScriptValue& value) {
    classScriptContext context;
    std::vector<classScriptValue> arguments{value};
    classScriptValue result;
    CommandToString(context, arguments, 1, result);
    return Render(result);
}

TEST(ToStringCommand, FormatsSixDecimals) {
    EXPECT_EQ(ToStringOf(R(2.5)), "s:2.500000");
    EXPECT_EQ(ToStringOf(I(5)), "s:5.000000");
    EXPECT_EQ(ToStringOf(I(-3)), "s:-3.000000");
    EXPECT_EQ(ToStringOf(S("1.25")), "s:1.250000");
    EXPECT_EQ(ToStringOf(E()), "-");
    classScriptContext context;
    std::vector<classScriptValue> arguments{R(1.0)};
    classScriptValue result;
    CommandToString(context, arguments, 0, result);
    EXPECT_EQ(Render(result), "-") << "entries past the count are never read";
}

TEST(OperatorPrecedence, TwentyOperatorsAndNothingElse) {
    struct Row {
        const char* text;
        int precedence;
    } rows[] = {{"||", 1}, {"&&", 2}, {"|", 3},  {"^", 4},  {"&", 5},  {"=", 6}, {"!=", 6}, {"<", 7},
                {">", 7},  {">=", 7}, {"<=", 7}, {"<<", 8}, {">>", 8}, {"+", 9}, {"-", 9},  {"*", 10},
                {"/", 10}, {"%", 10}, {"!", 11}, {"~", 11}, {"(", 0},  {")", 0}, {"==", 0}, {"", 0}};
    for (const Row& row : rows)
        EXPECT_EQ(GetOperatorPrecedence(row.text, std::char_traits<char>::length(row.text)), row.precedence)
            << row.text;
}

}  // namespace
