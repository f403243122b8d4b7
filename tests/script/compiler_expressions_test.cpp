// Assignments, expressions, literals, paths and temporaries.

#include <clocale>
#include <cstring>
#include <new>

#include "support/script/compile_fixture.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;

class Expressions : public CompileTest {
  protected:
    void SetUp() override {
        CompileTest::SetUp();
        Compile(
            "Variable(Global, Name=Score) Variable(Global, Name=i) Variable(Global, Name=a)"
            "Variable(Global, Name=b)");
    }
};

TEST_F(Expressions, AssignmentIsATargetThenAnEvaluation) {
    EXPECT_EQ(Compile("Score = 1 + 2"), (Lines{"g:Score", "=(i:1, op:+, i:2)"}));
    EXPECT_EQ(Compile("Score = 5"), (Lines{"g:Score", "=(i:5)"}));
    EXPECT_EQ(Compile("Score=a*b"), (Lines{"g:Score", "=(g:a, op:*, g:b)"}));
    EXPECT_EQ(Compile("a = 1 b = 2"), (Lines{"g:a", "=(i:1)", "g:b", "=(i:2)"}));
    EXPECT_EQ(Compile("a = \"x\" + 1"), (Lines{"g:a", "=(s:\"x\", op:+, i:1)"}));
}

TEST_F(Expressions, SubscriptTemporariesComeFirst) {
    EXPECT_EQ(Compile("Score[i + 1] = 0"), (Lines{"tmp0", "=(g:i, op:+, i:1)", "g:Score[tmp0]", "=(i:0)"}));
    EXPECT_EQ(Tables().GetTmpCount(), 1u);
    EXPECT_EQ(Compile("Score[2] = a[i]"), (Lines{"g:Score[i:2]", "=(g:a[g:i])"}));
    // The subscript's temporaries, then the expression's.
    EXPECT_EQ(Compile("Score[i-1] = a[i+1] * 2"),
              (Lines{"tmp0", "=(g:i, op:-, i:1)", "tmp1", "=(g:i, op:+, i:1)", "g:Score[tmp0]",
                     "=(g:a[tmp1], op:*, i:2)"}));
    EXPECT_EQ(Tables().GetTmpCount(), 2u);
}

TEST_F(Expressions, ArgumentExpressionsGetATemporary) {
    EXPECT_EQ(Compile("Wait(Time = 100 * 2)"), (Lines{"tmp0", "=(i:100, op:*, i:2)", "Wait(tmp0)"}));
    EXPECT_EQ(Compile("Wait(Time=a+1, SkipOn=b-1)"),
              (Lines{"tmp0", "=(g:a, op:+, i:1)", "tmp1", "=(g:b, op:-, i:1)", "Wait(tmp0, tmp1)"}));
    EXPECT_EQ(Compile("Wait(Time=a)"), (Lines{"Wait(g:a)"}));
}

TEST_F(Expressions, CommandCallsInsideExpressions) {
    Compile("Variable(Local, Name=x)");
    EXPECT_EQ(Compile("Variable(Local, Name=x) x = ToString(5) + 1"),
              (Lines{"tmp0", "=()", "ToString(i:5)", "l:x", "=(tmp0, op:+, i:1)"}));
    EXPECT_EQ(Compile("Score = ToString(ToString(1))"),
              (Lines{"tmp0", "=()", "ToString(i:1)", "tmp1", "=()", "ToString(tmp0)", "g:Score", "=(tmp1)"}));
    EXPECT_EQ(Compile("Score = IsDebug"), (Lines{"tmp0", "=()", "IsDebug()", "g:Score", "=(tmp0)"}));
}

TEST_F(Expressions, PathsBecomeOneList) {
    EXPECT_EQ(Compile("Graphic(Target=1:2)"), (Lines{"Graphic((i:1 i:2))"}));
    EXPECT_EQ(Compile("Graphic(Target = 1 : a + 1)"),
              (Lines{"tmp0", "=(g:a, op:+, i:1)", "Graphic((i:1 tmp0))"}));
    EXPECT_EQ(Compile("GraphicDelete(Layer=1:2:3)"), (Lines{"GraphicDelete(-, (i:1 i:2 i:3))"}));
    // As a statement the path swallows the target and "=": nothing remains.
    EXPECT_TRUE(Compile("Score = 1 : 2").empty());
}

TEST_F(Expressions, NumberLiterals) {
    EXPECT_EQ(Compile("a = -1.5"), (Lines{"g:a", "=(r:-1.5)"}));
    EXPECT_EQ(Compile("a = a - 1.5"), (Lines{"g:a", "=(g:a, op:-, r:1.5)"}));
    EXPECT_EQ(Compile("a = 0x1F"), (Lines{"g:a", "=(i:31)"}));
    EXPECT_EQ(Compile("a = 017"), (Lines{"g:a", "=(i:15)"}));
    EXPECT_EQ(Compile("a = 08"), (Lines{"g:a", "=(i:0)"}));  // octal reading stops at the 8
    EXPECT_EQ(Compile("a = - 3"), (Lines{"g:a", "=(i:-3)"}));
    EXPECT_EQ(Compile("a = 1.5e+3"), (Lines{"g:a", "=(r:1500)"}));
    EXPECT_EQ(Compile("a = 2.5E-1"), (Lines{"g:a", "=(r:0.25)"}));
    EXPECT_EQ(Compile("a = 1.5d+3"), (Lines{"g:a", "=(r:1.5)"}));  // the letter d is taken, not applied
    EXPECT_EQ(Compile("Wait(1.5e3)"), (Lines{"Wait(r:1.5)"}));     // stops before e3
    EXPECT_EQ(Compile("a = 99999999999999999999"), (Lines{"g:a", "=(i:9223372036854775807)"}));
    // Not numbers: no operand, so no assignment at all.
    EXPECT_TRUE(Compile("a = xFF").empty());
    EXPECT_TRUE(Compile("a = .5").empty());
}

TEST_F(Expressions, NumbersIgnoreTheLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(Compile("a = 2.75"), (Lines{"g:a", "=(r:2.75)"}));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(Expressions, LiteralScanners) {
    using C = classScriptCompiler;
    EXPECT_EQ(C::RealLiteralAt("+12.50x", 0), "+12.50");
    EXPECT_EQ(C::RealLiteralAt("1.5e3", 0), "1.5");
    EXPECT_EQ(C::RealLiteralAt("1.5eE+-7z", 0), "1.5eE+-7");
    EXPECT_EQ(C::RealLiteralAt("1.", 0), "");
    EXPECT_EQ(C::RealLiteralAt("--1.0", 0), "");
    EXPECT_EQ(C::IntegerLiteralAt("-  42;", 0), "-  42");
    EXPECT_EQ(C::IntegerLiteralAt("000x1fZ", 0), "000x1f");
    EXPECT_EQ(C::IntegerLiteralAt("0x", 0), "0x");
    EXPECT_EQ(C::IntegerLiteralAt("1x2", 0), "1");
    EXPECT_EQ(C::IntegerLiteralAt("+ ", 0), "");
    EXPECT_EQ(C::StringLiteralAt("\"ab\"cd\"", 0), "\"ab\"");
    EXPECT_EQ(C::StringLiteralAt("\"ab", 0), "\"ab\"");
    EXPECT_EQ(C::LabelWordAt("#go+1", 0), "#go");
    EXPECT_EQ(C::LabelWordAt("go", 0), "");
    EXPECT_EQ(C::BinaryOperatorAt("<<=", 0), "<<");
    EXPECT_EQ(C::BinaryOperatorAt("==", 0), "=");
    EXPECT_EQ(C::BinaryOperatorAt("!x", 0), "!");
    EXPECT_EQ(C::BinaryOperatorAt("?", 0), "");
    EXPECT_EQ(C::UnaryOperatorAt("~a", 0), "~");
    EXPECT_EQ(C::UnaryOperatorAt("*a", 0), "");
}

TEST_F(Expressions, TokensStopAtTheFirstOperandWithoutAnOperator) {
    std::vector<std::string> tokens;
    const std::string text = "a = (1 + b) * -2 Quit";
    EXPECT_EQ(compiler.SplitExpressionTokens(text, 0, tokens), 16u);
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "=", "(", "1", "+", "b", ")", "*", "-2"}));
    EXPECT_EQ(compiler.SplitExpressionTokens("1 : a[2] + 1", 0, tokens), 12u);
    EXPECT_EQ(tokens, (std::vector<std::string>{"1:a[2]+1"}));
    EXPECT_EQ(compiler.SplitExpressionTokens("!a ~ #l \"s t\"", 0, tokens), 7u);
    EXPECT_EQ(tokens, (std::vector<std::string>{"!", "a", "~", "#l"}));
}

TEST_F(Expressions, ScopesAndTheirRecordTypes) {
    // Local wins over Global in the script that declares both.
    EXPECT_EQ(Compile("Variable(Local, Name=Score) Score = 1"), (Lines{"l:Score", "=(i:1)"}));
    Compile("Variable(Nomal, Name=n) Variable(System, Name=s)");
    EXPECT_EQ(Compile("n = n + 1"), (Lines{"n:n", "=(n:n, op:+, i:1)"}));
    // A system name is a system target but a global record when read.
    EXPECT_EQ(Compile("s = s"), (Lines{"sys:s", "=(g:s)"}));
    Compile("Variable(Nomal, Name=Score)");
    EXPECT_EQ(Compile("Score = 1"), (Lines{"n:Score", "=(i:1)"})) << "nomal before global";
}

TEST_F(Expressions, WhatIsNoAssignment) {
    EXPECT_TRUE(Compile("Score == 1").empty());
    EXPECT_TRUE(Compile("Score").empty());
    EXPECT_TRUE(Compile("Score 1").empty());
    EXPECT_TRUE(Compile("Score = ").empty());
    EXPECT_TRUE(Compile("Undeclared = 1").empty());
    EXPECT_EQ(Compile("Score = 1 Quit"), (Lines{"g:Score", "=(i:1)", "Quit()"}));
}

TEST_F(Expressions, AssignmentReadsItsTokensAsIfJoinedWithSpaces) {
    // The command's group is refused (a stray "}"), so "Case" and "(" are two
    // tokens; joined with a space they read as Case with an empty group.
    EXPECT_EQ(Compile("a = Case(x&} Quit"),
              (Lines{"tmp0", "=()", "Case()", "g:a", "=(tmp0)", "}@-1", "Quit()"}));
    // A group left open at the end of the text is closed once, not twice.
    EXPECT_EQ(Compile("a = 1 + ToString(2"),
              (Lines{"tmp0", "=()", "ToString(i:2)", "g:a", "=(i:1, op:+, tmp0)"}));
}

TEST_F(Expressions, DeepNestingIsCutOffNotFollowed) {
    std::string deep = "Wait(Time=";
    for (int k = 0; k < 20000; ++k) deep += "ToString(";
    deep += "1";
    for (int k = 0; k < 20000; ++k) deep += ")";
    deep += ") Quit";
    testing::internal::CaptureStderr();
    const Lines lines = Compile(deep, "deep.qvs");
    const std::string said = testing::internal::GetCapturedStderr();
    const std::size_t at = said.find("deep.qvs, line 1: an expression is nested deeper");
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find("deep.qvs", at + 1), std::string::npos) << "said once: " << said;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Quit()");
    EXPECT_LE(Tables().GetTmpCount(), static_cast<u32>(classScriptCompiler::kMaxExpressionDepth) + 1);
}

TEST_F(Expressions, LabelsAsValues) {
    EXPECT_EQ(Compile("#a Wait(Time=1) #a ScriptJump(Label=#a)"),
              (Lines{"#a@0", "Wait(i:1)", "#a@0", "ScriptJump(-, #a@0)"}));
    EXPECT_EQ(Tables().RecordTable().size(), 4u);  // #a, 1, Wait, ScriptJump: one label record
    EXPECT_EQ(Compile("ScriptJump(Label=#nowhere)"), (Lines{"ScriptJump(-, #nowhere@-1)"}));
}

}  // namespace

namespace {

// A compiler asked for an expression before it parsed any statements: its
// memory of operator records made so far must start empty, whatever the
// bytes it was built on held.
TEST(FreshCompiler, AnExpressionBeforeAnyStatementMakesItsOwnOperatorRecords) {
    struct Case {
        const char* expression;
        std::vector<std::string> records;
    };
    const Case cases[] = {
        {"1 + 2", {"i:1", "op:+", "i:2"}},
        {"3 * 4 - 5", {"i:3", "op:*", "i:4", "op:-", "i:5"}},
    };
    for (const Case& c : cases) {
        alignas(classScriptCompiler) unsigned char storage[sizeof(classScriptCompiler)];
        std::memset(storage, 0x01, sizeof storage);  // record 0x01010101, were it taken
        auto* compiler = new (storage) classScriptCompiler("fresh.qvs");
        const int32 tmp = compiler->CompileExpression(c.expression);
        const classScriptTables& tables = compiler->Tables();
        std::vector<std::string> rendered;
        const classScriptRecord* evaluate = tables.GetStatementRecord(1);
        if (tmp >= 0 && evaluate != nullptr) {
            for (u32 i = 0; i < tables.GetArgumentCount(evaluate->b); ++i)
                rendered.push_back(
                    testscript::RenderRecord(tables, static_cast<u32>(tables.GetArgumentRecordIndex(evaluate->b, i))));
        }
        EXPECT_EQ(rendered, c.records) << c.expression;
        compiler->~classScriptCompiler();
    }
}

}  // namespace
