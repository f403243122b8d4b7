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

TEST_F(SourcePreparation, UnterminatedLiteralIsReportedWithItsLine) {
    // Opened on line 3. With CR LF the CR raises the box before the LF counts.
    compiler.SetScriptName("scene.qvs");
    std::string crlf = Prepare("A\r\nB\r\n\"abc\r\nQuit");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Test Terminator Not Found");
    EXPECT_EQ(dialogs.boxes[0].text, "filename:scene.qvs\nline:3");
    EXPECT_EQ(crlf, "A  B   abc  Quit");  // the opening quote is gone
    // With a bare LF the LF has already been counted.
    dialogs.boxes.clear();
    Prepare("A\nB\n\"abc\nQuit");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "filename:scene.qvs\nline:4");
}

TEST_F(SourcePreparation, LineCountingByKindOfBreak) {
    compiler.SetScriptName("n.qvs");
    Prepare("A\rB\n\"x\n");                    // a lone CR counts nothing: the literal is on line 2
    Prepare("\xC2\x85\"x\n");                  // NEL counts one
    Prepare("\xE2\x80\xA8\xE2\x80\xA9\"x\n");  // LS and PS count one each
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[0].text, "filename:n.qvs\nline:3");
    EXPECT_EQ(dialogs.boxes[1].text, "filename:n.qvs\nline:3");
    EXPECT_EQ(dialogs.boxes[2].text, "filename:n.qvs\nline:4");
}

TEST_F(SourcePreparation, EachBrokenLiteralIsReportedOnce) {
    Prepare("\"a\n\"b\r\n\"ok\"\n\"c");  // two broken, one closed, one open at the very end
    EXPECT_EQ(dialogs.boxes.size(), 2u);
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
