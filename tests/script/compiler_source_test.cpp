// The line pass: comments, blanks, line counting and unterminated literals.

#include "support/script/compile_fixture.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;

class SourcePreparation : public CompileTest {
  protected:
    std::string Prepare(std::string text) {
        const std::size_t before = text.size();
        compiler.PrepareLines(text);
        EXPECT_EQ(text.size(), before) << "the pass must keep every byte position";
        return text;
    }
};

TEST_F(SourcePreparation, CommentsAndLineBreaksBecomeSpaces) {
    EXPECT_EQ(Prepare("a // b\nc"), "a      c");
    EXPECT_EQ(Prepare("// only\r\nQuit"), std::string(9, ' ') + "Quit");
    EXPECT_EQ(Prepare("x//"), "x  ");
    // A comment ends at the nearest CR or line break, multi-byte ones too.
    EXPECT_EQ(Prepare("a//z\xE2\x80\xA8"
                      "b"),
              "a      b");
    EXPECT_EQ(Prepare("a//z\xC2\x85"
                      "b"),
              "a     b");
    // A single slash is an operator, not a comment.
    EXPECT_EQ(Prepare("a/b"), "a/b");
}

TEST_F(SourcePreparation, EveryKindOfBlankKeepsItsWidth) {
    EXPECT_EQ(Prepare("a\tb\rc"), "a b c");
    EXPECT_EQ(Prepare("a\xE3\x80\x80"
                      "b"),
              "a   b");  // ideographic space: three spaces
    EXPECT_EQ(Prepare("\xEF\xBB\xBF"
                      "Quit"),
              "   Quit");  // byte-order mark
    EXPECT_EQ(Prepare("a\xE2\x80\xA9"
                      "b\xC2\x85"
                      "c"),
              "a   b  c");
    // Bytes that only start such sequences stay.
    EXPECT_EQ(Prepare("\xE3\x80\x81\xC2\x86"), "\xE3\x80\x81\xC2\x86");
}

TEST_F(SourcePreparation, StringLiteralsKeepTheirContents) {
    EXPECT_EQ(Prepare("T=\"a//b\" // c"), "T=\"a//b\"     ");
    EXPECT_EQ(Prepare("T=\"a\tb\xE3\x80\x80\""), "T=\"a\tb\xE3\x80\x80\"");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SourcePreparation, UnterminatedLiteralNamesTheLineItOpensOn) {
    struct Case {
        const char* name;
        const char* text;
        const char* box;
    };
    const Case cases[] = {
        {"CR LF", "A\r\nB\r\n\"abc\r\nQuit", "filename:scene.qvs\nline:3"},
        {"LF", "A\nB\n\"abc\nQuit", "filename:scene.qvs\nline:3"},
        {"a lone CR counts nothing", "A\rB\n\"x\n", "filename:scene.qvs\nline:2"},
        {"NEL counts one", "\xC2\x85\"x\n", "filename:scene.qvs\nline:2"},
        {"LS and PS count one each", "\xE2\x80\xA8\xE2\x80\xA9\"x\n", "filename:scene.qvs\nline:3"},
        {"open at the end of a last line with no line end", "A\r\nB\r\n\"abc", "filename:scene.qvs\nline:3"},
    };
    compiler.SetScriptName("scene.qvs");
    for (const Case& c : cases) {
        dialogs.boxes.clear();
        ForgetReportsForTesting();
        Prepare(c.text);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.boxes[0].caption, "Test Terminator Not Found") << c.name;
        EXPECT_EQ(dialogs.boxes[0].icon, platform::DialogIcon::Warning) << c.name;
        EXPECT_EQ(dialogs.boxes[0].text, c.box) << c.name;
    }
    EXPECT_EQ(Prepare("A\r\nB\r\n\"abc\r\nQuit"), "A  B   abc  Quit") << "the opening quote is gone";
}

TEST_F(SourcePreparation, EachBrokenLiteralIsReportedOnce) {
    Prepare("\"a\n\"b\r\n\"ok\"\n\"c");  // two broken, one closed, one open at the very end
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    // The same script compiled again (a side script started again, a call in
    // a loop) boxes the player in no more: the repeat is said on stderr.
    testing::internal::CaptureStderr();
    Prepare("\"a\n");
    compiler.SetScriptName("scene.qvs");
    Prepare("\"a\n");
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(dialogs.boxes.size(), 4u) << "the same line of another script has its own box";
    EXPECT_EQ(dialogs.boxes[3].text, "filename:scene.qvs\nline:1");
    EXPECT_NE(said.find("\"Test Terminator Not Found\" box for \"\", line 1 is not shown again: 1 more time"),
              std::string::npos) << said;
}

TEST_F(SourcePreparation, RestOfABrokenLiteralsLineIsReadAsStatements) {
    // Scripts depend on the exact statement count, so this is kept.
    EXPECT_EQ(Compile("Wait(Time=1) \"oops Quit\nApply"), (Lines{"Wait(i:1)", "Quit()", "Apply()"}));
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(SourcePreparation, BlanksSeparateStatements) {
    EXPECT_EQ(Compile("Quit\xE3\x80\x80Quit\tApply\r\nDammy"),
              (Lines{"Quit()", "Quit()", "Apply()", "Dammy()"}));
    EXPECT_EQ(Compile("\xEF\xBB\xBFQuit"), (Lines{"Quit()"}));
}

TEST_F(SourcePreparation, EmptyTextGivesEmptyTables) {
    EXPECT_TRUE(Compile("").empty());
    EXPECT_TRUE(Tables().RecordTable().empty());
    EXPECT_TRUE(Tables().ArgumentListTable().empty());
    EXPECT_TRUE(Tables().DataPool().empty());
    EXPECT_EQ(Tables().GetTmpCount(), 0u);
    EXPECT_TRUE(Compile("   // nothing but a comment\r\n\t").empty());
    EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace

namespace {

// What the compile passes over is said once, on the line the writer wrote it;
// the words of the same mistake (a misspelt command's arguments, the rest of
// an assignment to an undeclared name) are not said again.
TEST_F(SourcePreparation, WhatIsPassedOverIsSaidWithItsLine) {
    struct Case {
        const char* source;
        const char* said;  // with "%s" for the script name
    };
    const Case cases[] = {
        {"Wait(Time=1)\nGrapicAlter(Layer=10,\n  File=\"x\")\nQuit",
         "velk2: %s, line 2: unknown command \"GrapicAlter\"; it is passed over\n"},
        {"Quit\r\nAply\r\nApply", "velk2: %s, line 2: unknown command \"Aply\"; it is passed over\n"},
        {"Variable(Global, Name=a)\n\nscore = a + 1\nQuit",
         "velk2: %s, line 3: the variable \"score\" is not declared (declare it in \"Variable.qvs\"); the "
         "assignment is passed over\n"},
        {"Variable(Global, Name=a)\na = 1\nWait(Time=delay + a)",
         "velk2: %s, line 3: the variable \"delay\" is not declared (declare it in \"Variable.qvs\"); it is "
         "read as nothing\n"},
        {"Variable(Local, Name=i) i = 1 + 2 // Aply\nWait(Time=i, SkipOn)\n#L GraphicTextOut(Text=\"a b\")\n"
         "ScriptJump(Label=#L) 1 + 2 { }",
         ""},
        // An argument name the command lacks: dropped beside named ones,
        // taken by position alone, and said with the command either way.
        {"Quit\nGraphic(Layr=1, File=\"a.png\")",
         "velk2: %s, line 2: the command \"Graphic\" has no argument \"Layr\"; that value is not given to it\n"},
        {"Wait(Tme = 800)",
         "velk2: %s, line 1: the command \"Wait\" has no argument \"Tme\"; that value is not given to it\n"},
        {"Variable(Global, Name=x)\nx = Wait(SkipOn, Tim=5)",
         "velk2: %s, line 2: the command \"Wait\" has no argument \"Tim\"; that value is not given to it\n"},
        // A comparison by position of a declared name is no argument name.
        {"Variable(Global, Name=k)\nWait(k = 1)\nWait(500)\nif (k = 1) { Quit }", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "passed" + std::to_string(n++) + ".qvs";
        testing::internal::CaptureStderr();
        Compile(c.source, name);
        const std::string said = testing::internal::GetCapturedStderr();
        std::string expected = c.said;
        if (const std::size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, name);
        EXPECT_EQ(said, expected) << c.source;
    }
}


// Slips the compiler sees for sure are said once, on their line; the code
// beside each, written right, says nothing.
TEST_F(SourcePreparation, SlipsSeenForSureAreSaidAndRightCodeIsNot) {
    struct Case {
        const char* source;
        const char* said;  // after "velk2: <script>, line "
    };
    const char* const declared = "Variable(Global, Name=a) Variable(Global, Name=t)\n";
    const Case slips[] = {
        {"if (a == 1) { Quit }", "2: \"==\" is no operator"},
        {"a == 1", "2: \"==\" is no operator"},
        {"Wait(Time==1)", "2: \"==\" is no operator"},
        {"t = \"a\" = \"b\"", "2: an expression that starts with a text joins its values as text: its \"=\""},
        {"if (\"a\" != t) { Quit }", "2: an expression that starts with a text joins its values as text: its \"!=\""},
        {"Wait(500, SkipOn)", "2: the command \"Wait\" is given values by name and by position; the value \"500\""},
        {"Graphic(1, File=\"a.png\")", "2: the command \"Graphic\" is given values by name and by position; the value \"1\""},
        {"a = 1e+308", "2: the number \"1e+308\" is read as 1: an exponent is taken only after a decimal point and "
                       "with its sign (write 1.0e+308)"},
        {"Wait(Time=2E5)", "2: the number \"2E5\" is read as 2: an exponent is taken only after a decimal point and "
                           "with its sign (write 2.0E+5)"},
        {"Wait(Time=1.5d3)", "2: the number \"1.5d3\" is read as 1.5: an exponent is taken only after a decimal "
                             "point and with its sign (write 1.5e+3)"},
        {"Variable(Nomal, Name=Dammy)", "2: the variable \"Dammy\" is named like a command"},
        {"ScriptCall(Label=Chapter2)", "2: the label \"Chapter2\" is written without its \"#\": a label starts with "
                                       "\"#\" (Label=#Chapter2)"},
    };
    const char* const right[] = {
        "if (a = 1) { Quit } a = a != 1 a = a >= 1 if (a <= 1) { Quit }",
        "a = 1.5e+3 a = 1.0E-2 a = 0x1E Wait(Time=0x1e) a = 2 * (1 + a)",
        "t = \"a\" + 1 + a t = \"x\" a = 1 + (a = 1)",
        "Wait(Time=500, SkipOn) Wait(500) Wait(SkipOn, Time=5) Graphic(Layer=1, File=\"a.png\", x=0)",
        "#L ScriptJump(Label=#L) ScriptCall(Label=t) ScriptCall(File=\"s.qvs\", Label=\"#L\")",
        "GraphicTextOut(Text=\"a == b, 1e5\") Variable(Nomal, Name=Quitting)",
    };
    int n = 0;
    for (const Case& c : slips) {
        const std::string name = "slip" + std::to_string(n++) + ".qvs";
        testing::internal::CaptureStderr();
        Compile(std::string(declared) + c.source, name);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("velk2: " + name + ", line " + c.said, 0), 0u) << c.source << "\n" << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once: " << said;
    }
    for (const char* source : right) {
        testing::internal::CaptureStderr();
        Compile(std::string(declared) + source, "right.qvs");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << source;
    }
}

}  // namespace
