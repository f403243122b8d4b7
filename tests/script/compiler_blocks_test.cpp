// Label targets and the links between block markers.

#include "support/script/compile_fixture.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;

class LabelsAndBlocks : public CompileTest {
  protected:
    void SetUp() override {
        CompileTest::SetUp();
        Compile("Variable(Global, Name=x) Variable(Global, Name=y)");
    }
};

// Worked out by counting statements: "{" links to one past its "}" (or to
// the "{" of an else block right after it), "}" back to its "{".
TEST_F(LabelsAndBlocks, MarkersLinkByDepthAndElseChains) {
    struct Case {
        const char* source;
        Lines lines;
    };
    const Case cases[] = {
        {"Quit #a Quit #b #a", {"Quit()", "#a@1", "Quit()", "#b@3", "#a@1"}},
        {"if(x) { Quit } else { Apply }",
         {"if(g:x)", "{@5", "Quit()", "}@1", "else()", "{@7", "Apply()", "}@5"}},
        {"if(x) { Quit } Wait(Time=1) { Apply }",
         {"if(g:x)", "{@3", "Quit()", "}@1", "Wait(i:1)", "{@7", "Apply()", "}@5"}},
        {"if(x) { Quit } else if(y) { Apply }",
         {"if(g:x)", "{@3", "Quit()", "}@1", "else()", "if(g:y)", "{@8", "Apply()", "}@6"}},
        {"if(x){Quit}else", {"if(g:x)", "{@3", "Quit()", "}@1", "else()"}},
        {"if(x){Quit}else{Apply}else{Dammy}",
         {"if(g:x)", "{@5", "Quit()", "}@1", "else()", "{@9", "Apply()", "}@5", "else()", "{@11", "Dammy()",
          "}@9"}},
        {"{ { } }", {"{@3", "{@2", "}@1", "}@0"}},
        {"if(x){ if(y){Quit} else {Apply} }",
         {"if(g:x)", "{@10", "if(g:y)", "{@7", "Quit()", "}@3", "else()", "{@9", "Apply()", "}@7", "}@1"}},
        {"{ Quit", {"{@-1", "Quit()"}},
        {"} {", {"}@-1", "{@-1"}},
        {"} { }", {"}@-1", "{@2", "}@1"}},
        {"{ { }", {"{@-1", "{@2", "}@1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Compile(c.source), c.lines) << c.source;
}

TEST_F(LabelsAndBlocks, BlockEndsAreFoundByDepth) {
    Compile("} { }");
    EXPECT_EQ(compiler.FindBlockEnd(1), 2);
    // Started on a "}", the depth first goes to -1 and is back at zero on the "{".
    EXPECT_EQ(compiler.FindBlockEnd(0), 1);
    Compile("{ { }");
    EXPECT_EQ(compiler.FindBlockEnd(0), -1);
}

TEST_F(LabelsAndBlocks, ManyUnclosedBlocksStayLinear) {
    const Lines lines = Compile(std::string(200000, '{'));
    ASSERT_EQ(lines.size(), 200000u);
    EXPECT_EQ(lines.front(), "{@-1");
}

}  // namespace
