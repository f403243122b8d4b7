// Declared names inside long expressions: the parser keeps what it learnt
// splitting an expression instead of splitting it again from every name in
// it, and the tables must be those of splitting afresh each time.

#include <random>

#include "support/script/compile_fixture.h"

namespace {

using compilerchains::Memory;
using testscript::CompileTest;
using testscript::Lines;

class ExpressionChains : public CompileTest {
  protected:
    // These scripts are short: what is found is kept from their start.
    Lines CompileKeeping(const std::string& source, const std::string& name = "test.qvs") {
        ClearDeclaredNames();
        compiler = classScriptCompiler(name);
        compiler.SetChainMemory(Memory::Always);
        compiler.Compile(source);
        return testscript::RenderStatements(compiler.Tables());
    }
};

TEST_F(ExpressionChains, NamesInsideAnExpressionThatIsNoAssignment) {
    const std::string declare = "Variable(Global, Name=a) ";
    struct Case {
        const char* name;
        std::string source;
        Lines expected;
    };
    const Case cases[] = {
        // Only the last "a" has "=" after it.
        {"operators", "a + a + a = 1", {"g:a", "=(i:1)"}},
        // A ":" after it joins every token, "=" included, into one path.
        {"paths", "a = 1 : a = 2 : a = 3", {"g:a", "=(i:3)"}},
        // w is looked up, and not found, while the first expression is split;
        // declared after that, it opens an assignment of its own.
        {"declared later", "a = 1 : Variable(Local, Name=w) + w = 5", {"l:w", "=(i:5)"}},
        // The first expression ends in a literal left open to the end of the
        // text; the one inside it ends there too, with no ":" before.
        {"inside a literal", "a + \"a = 1", {"g:a", "=(i:1)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(CompileKeeping(declare + c.source), c.expected) << c.name;
    // Splitting from the first "a" meets the undeclared zz where an operand
    // should be, which is what the line's one report says; an expression
    // that ends anywhere else says nothing.
    const std::pair<const char*, std::string> reports[] = {
        {"a + a + zz",
         "velk2: chain_report.qvs, line 1: the variable \"zz\" is not declared (declare it in "
         "\"Variable.qvs\"); it is read as nothing\n"},
        {"a + a + 1 Quit", ""},
        // What else ends an expression for sure is said from what is kept too.
        {"a + a == 1",
         "velk2: chain_report.qvs, line 1: \"==\" is no operator: one \"=\" compares (write a = 1); the "
         "expression ends before the second \"=\"\n"},
        {"a + a + 1e5",
         "velk2: chain_report.qvs, line 1: the number \"1e5\" is read as 1: an exponent is taken only after a "
         "decimal point and with its sign (write 1.0e+5)\n"},
    };
    for (const auto& [source, said] : reports) {
        testing::internal::CaptureStderr();
        CompileKeeping(declare + source, "chain_report.qvs");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), said) << source;
    }
}

// Random runs of declared names, operators, paths, literals, labels, commands,
// groups, declarations and line breaks compile to the same image either way.
TEST_F(ExpressionChains, RememberedSplitsGiveTheTablesOfFreshOnes) {
    // Names that begin with "." are names all the same, but no mistake with
    // one is said on stderr, where the run's bound on reports would soon be
    // spent. For the same reason two words never run into one.
    // clang-format off
    const char* const pieces[] = {
        "a", "b", "l", "s", "a[1]", "b[a]", "a[", ".x", "+", "-", "*", "=", "==", "!=", "!", "~", "(", ")",
        ":", "&&", "1", "2.5", "-3", "0x1F", "\".t\"", "\"", "#l", "Wait", "Quit", "Wait(Time=1)",
        "ToString(", "if(a)", "else", "{", "}", "[", "]", ";", ",", "\n", "\r\n", "// .c\n",
        "Variable(Local, Name=.x)", "Variable(Global, Name=.y)", ".y"};
    // clang-format on
    const auto inWord = [](char c) {
        return std::string_view(" +-*=/()\"?^|&!%[]><;:{}\r\n").find(c) == std::string_view::npos;
    };
    const std::string declare =
        "Variable(Global, Name=a) Variable(Nomal, Name=b) Variable(Local, Name=l) Variable(System, Name=s)\n";
    const auto image = [](const std::string& source, Memory memory) {
        ClearDeclaredNames();
        classScriptCompiler compiler("chains.qvs");
        compiler.SetChainMemory(memory);
        compiler.Compile(source);
        std::vector<u8> bytes;
        compiler.Tables().WriteImage(bytes);
        return bytes;
    };
    std::mt19937 random(18);
    for (int round = 0; round < 3000; ++round) {
        std::string source = declare;
        for (unsigned k = random() % 60; k > 0; --k) {
            const std::string_view piece = pieces[random() % std::size(pieces)];
            if (random() % 3 != 0 || (inWord(source.back()) && inWord(piece.front()))) source += ' ';
            source += piece;
        }
        ASSERT_TRUE(image(source, Memory::Always) == image(source, Memory::Never))
            << "round " << round << ":\n"
            << source;
    }
}

}  // namespace
