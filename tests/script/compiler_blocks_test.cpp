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

TEST_F(LabelsAndBlocks, FirstStatementWithTheNameIsTheTarget) {
    EXPECT_EQ(Compile("Quit #a Quit #b #a"), (Lines{"Quit()", "#a@1", "Quit()", "#b@3", "#a@1"}));
}

TEST_F(LabelsAndBlocks, IfElseChainsToTheElseBlock) {
    // 0 if, 1 {, 2 A, 3 }, 4 else, 5 {, 6 B, 7 }
    EXPECT_EQ(Compile("if(x) { Quit } else { Apply }"),
              (Lines{"if(g:x)", "{@5", "Quit()", "}@1", "else()", "{@7", "Apply()", "}@5"}));
}

TEST_F(LabelsAndBlocks, OnlyAnElseDirectlyAfterTheBlockChains) {
    EXPECT_EQ(Compile("if(x) { Quit } Wait(Time=1) { Apply }"),
              (Lines{"if(g:x)", "{@3", "Quit()", "}@1", "Wait(i:1)", "{@7", "Apply()", "}@5"}));
    EXPECT_EQ(Compile("if(x) { Quit } else if(y) { Apply }"),
              (Lines{"if(g:x)", "{@3", "Quit()", "}@1", "else()", "if(g:y)", "{@8", "Apply()", "}@6"}));
    EXPECT_EQ(Compile("if(x){Quit}else"), (Lines{"if(g:x)", "{@3", "Quit()", "}@1", "else()"}));
}

TEST_F(LabelsAndBlocks, ChainsOfSeveralElseBlocks) {
    EXPECT_EQ(Compile("if(x){Quit}else{Apply}else{Dammy}"),
              (Lines{"if(g:x)", "{@5", "Quit()", "}@1", "else()", "{@9", "Apply()", "}@5", "else()", "{@11",
                     "Dammy()", "}@9"}));
}

TEST_F(LabelsAndBlocks, NestedBlocksPairByDepth) {
    EXPECT_EQ(Compile("{ { } }"), (Lines{"{@3", "{@2", "}@1", "}@0"}));
    EXPECT_EQ(Compile("if(x){ if(y){Quit} else {Apply} }"),
              (Lines{"if(g:x)", "{@10", "if(g:y)", "{@7", "Quit()", "}@3", "else()", "{@9", "Apply()", "}@7",
                     "}@1"}));
}

TEST_F(LabelsAndBlocks, UnpairedMarkersKeepNoTarget) {
    EXPECT_EQ(Compile("{ Quit"), (Lines{"{@-1", "Quit()"}));
    EXPECT_EQ(Compile("} {"), (Lines{"}@-1", "{@-1"}));
    EXPECT_EQ(Compile("} { }"), (Lines{"}@-1", "{@2", "}@1"}));
    EXPECT_EQ(compiler.FindBlockEnd(1), 2);
    // Started on a "}", the depth first goes to -1 and is back at zero on the "{".
    EXPECT_EQ(compiler.FindBlockEnd(0), 1);
    EXPECT_EQ(Compile("{ { }"), (Lines{"{@-1", "{@2", "}@1"}));
    EXPECT_EQ(compiler.FindBlockEnd(0), -1);
}

TEST_F(LabelsAndBlocks, ManyUnclosedBlocksStayLinear) {
    std::string source(200000, '{');
    const Lines lines = Compile(source);
    ASSERT_EQ(lines.size(), 200000u);
    EXPECT_EQ(lines.front(), "{@-1");
}

}  // namespace
