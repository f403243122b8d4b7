// The statement parser: statement forms, groups and argument binding.

#include <cstring>

#include "script/compiler_group_walk.h"
#include "support/script/compile_fixture.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;

class StatementParser : public CompileTest {};

TEST_F(StatementParser, PositionalArgumentGivesTheExactTables) {
    EXPECT_EQ(Compile("Wait(500)"), (Lines{"Wait(i:500)"}));
    // Worked out from the table layout: the integer first (pool 0..7), then
    // the command's list [1, 0] and its name at pool offset 8.
    EXPECT_EQ(Tables().StatementTable(), (std::vector<u32>{1}));
    EXPECT_EQ(Tables().ArgumentListTable(), (std::vector<u32>{1, 0}));
    ASSERT_EQ(Tables().RecordTable().size(), 2u);
    EXPECT_EQ(Tables().RecordTable()[0], (classScriptRecord{5, 0xFFFFFFFFu, 0}));
    EXPECT_EQ(Tables().RecordTable()[1], (classScriptRecord{1, 8, 0}));
    const std::vector<u8> pool{0xF4, 0x01, 0, 0, 0, 0, 0, 0, 'W', 'a', 'i', 't', 0};
    EXPECT_EQ(Tables().DataPool(), pool);
    EXPECT_EQ(Tables().GetTmpCount(), 0u);
}

TEST_F(StatementParser, NestedListIsStoredBeforeTheListHoldingIt) {
    EXPECT_EQ(Compile("Graphic(Target=1:2, x=3)"), (Lines{"Graphic((i:1 i:2), -, -, i:3)"}));
    // 1 and 2 (pool 0 and 8), the path's list [2, 0, 1] with its empty name
    // at 16, then 3 (pool 17) and the command's list at word 3.
    EXPECT_EQ(Tables().ArgumentListTable(), (std::vector<u32>{2, 0, 1, 4, 2, 0xFFFFFFFFu, 0xFFFFFFFFu, 3}));
    const std::vector<classScriptRecord> records{
        {5, 0xFFFFFFFFu, 0}, {5, 0xFFFFFFFFu, 8}, {8, 16, 0}, {5, 0xFFFFFFFFu, 17}, {1, 25, 3}};
    EXPECT_EQ(Tables().RecordTable(), records);
    EXPECT_EQ(Tables().StatementTable(), (std::vector<u32>{4}));
    ASSERT_EQ(Tables().DataPool().size(), 33u);
    EXPECT_EQ(Tables().DataPool()[16], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&Tables().DataPool()[25])), "Graphic");
}

TEST_F(StatementParser, CommandWithoutArgumentsHasTheEmptyList) {
    EXPECT_EQ(Compile("Quit"), (Lines{"Quit()"}));
    EXPECT_EQ(Tables().ArgumentListTable(), (std::vector<u32>{0}));
    EXPECT_EQ(Compile("Quit()"), (Lines{"Quit()"}));
    EXPECT_EQ(Compile("Quit   ()"), (Lines{"Quit()"}));
}

TEST_F(StatementParser, NamedArgumentsBindToParameterPositions) {
    EXPECT_EQ(Compile("Wait(SkipOn, Time = 500)"), (Lines{"Wait(i:500, i:1)"}));
    EXPECT_EQ(Compile("Wait ( Time=1 )"), (Lines{"Wait(i:1)"}));
    // Layer and File lie between Target and x; nothing after x is listed.
    EXPECT_EQ(Compile("Graphic(Target=1, x=10)"), (Lines{"Graphic(i:1, -, -, i:10)"}));
    EXPECT_EQ(Compile("Wait(Time=1, Time=2)"), (Lines{"Wait(i:2)"}));
    EXPECT_EQ(Compile("Case(MoveAfterward)"),
              (Lines{"Case(-, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, "
                     "-, -, -, -, -, -, -, i:1)"}));
    // "Text" is a prefix of "TextLayer": only a name followed by "=" or
    // nothing matches.
    EXPECT_EQ(Compile("GraphicTextOut(Text=\"hi\")"), (Lines{"GraphicTextOut(-, -, s:\"hi\")"}));
    EXPECT_EQ(Compile("Case(TextLayer=4)"),
              (Lines{"Case(-, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, -, i:4)"}));
}

TEST_F(StatementParser, PositionalArgumentsBesideNamedOnesAreLost) {
    EXPECT_EQ(Compile("Wait(500, SkipOn)"), (Lines{"Wait(-, i:1)"}));
    EXPECT_EQ(Compile("Wait(Speed=3, Time=4)"), (Lines{"Wait(i:4)"}));
    // With no parameter name matched the parts stay as written; this one
    // then starts with no operand and compiles to nothing.
    EXPECT_EQ(Compile("Wait(Speed=3)"), (Lines{"Wait(-)"}));
    EXPECT_EQ(Compile("Wait(1, , 3)"), (Lines{"Wait(i:1, -, i:3)"}));
}

TEST_F(StatementParser, StatementsNeedNoSeparator) {
    EXPECT_EQ(Compile("Wait(Time=1);Wait(Time=2)"), (Lines{"Wait(i:1)", "Wait(i:2)"}));
    EXPECT_EQ(Compile("Wait(Time=1) Wait(Time=2)"), (Lines{"Wait(i:1)", "Wait(i:2)"}));
    EXPECT_EQ(Compile("Wait(Time=1)Wait(Time=2);;;Quit"), (Lines{"Wait(i:1)", "Wait(i:2)", "Quit()"}));
}

TEST_F(StatementParser, UnknownWordsAreSkippedOneByOne) {
    EXPECT_TRUE(Compile("Foo(Time=1)").empty());
    EXPECT_TRUE(Compile("wait(Time=1) QUIT").empty());
    // The group of a misspelt command is read as statements, strings included.
    EXPECT_EQ(Compile("Foo(Quit)"), (Lines{"Quit()"}));
    EXPECT_EQ(Compile("Foo(Text=\"Quit now\")"), (Lines{"Quit()"}));
    // "=" is a delimiter, so it can never be written as a command.
    EXPECT_TRUE(Compile("=(1)").empty());
}

TEST_F(StatementParser, StrayCloserEmptiesTheGroup) {
    EXPECT_EQ(Compile("Wait(Time=1]) Quit"), (Lines{"Wait()", "Quit()"}));
    EXPECT_EQ(Compile("Wait(Time=Foo(Quit]))"), (Lines{"Wait()", "Quit()"}));
}

TEST_F(StatementParser, GroupsOpenAtTheEndAreClosed) {
    EXPECT_EQ(Compile("Wait(Time=1"), (Lines{"Wait(i:1)"}));
    EXPECT_EQ(Compile("WindowTitle(Text=\"abc"), (Lines{"WindowTitle(s:\"abc\")"}));
    EXPECT_EQ(Compile("Wait(Time=(1"), (Lines{"tmp0", "=(op:(, i:1, op:))", "Wait(tmp0)"}));
}

TEST_F(StatementParser, LabelsAreSharedByName) {
    EXPECT_EQ(Compile("#start Quit #start #other"), (Lines{"#start@0", "Quit()", "#start@0", "#other@3"}));
    EXPECT_EQ(Tables().RecordTable().size(), 3u);
    EXPECT_EQ(Tables().StatementTable()[0], Tables().StatementTable()[2]);
}

TEST_F(StatementParser, DeclarationsProduceNoStatement) {
    EXPECT_TRUE(Compile("Variable(Global, Name=Score) Variable(Local, Name=i, ArraySize=3)").empty());
    EXPECT_TRUE(IsNameDeclared(g_declaredGlobalNames, "Score"));
    EXPECT_TRUE(IsNameDeclared(compiler.LocalNames(), "i"));
    EXPECT_FALSE(IsNameDeclared(g_declaredGlobalNames, "i"));
}

TEST_F(StatementParser, DeclarationScopesAndTheirOddCases) {
    Compile(
        "Variable(System, Name=a) Variable(Nomal=1, Name=b) Variable(Global=0, Name=c)"
        "Variable(Global, Nomal, Name=d) Variable(Global) Variable(Name=e)"
        "Variable(Global, Name=\"f\") Variable(1, , , , g)");
    EXPECT_TRUE(IsNameDeclared(g_declaredSystemNames, "a"));
    EXPECT_TRUE(IsNameDeclared(g_declaredNomalNames, "b"));
    EXPECT_TRUE(IsNameDeclared(g_declaredGlobalNames, "c")) << "any value, 0 included, selects the scope";
    EXPECT_FALSE(IsNameDeclared(g_declaredGlobalNames, "d")) << "two scopes declare nothing";
    EXPECT_FALSE(IsNameDeclared(g_declaredNomalNames, "d"));
    EXPECT_FALSE(IsNameDeclared(g_declaredGlobalNames, "e"));
    EXPECT_TRUE(IsNameDeclared(g_declaredGlobalNames, "\"f\"")) << "the name is the text as written";
    // All positional: the parts stay in place, part 0 selects System.
    EXPECT_TRUE(IsNameDeclared(g_declaredSystemNames, "g"));
}

TEST_F(StatementParser, LocalNamesLastOneCompile) {
    Compile("Variable(Local, Name=v) v = 1");
    EXPECT_EQ(Compile("v = 1"), (Lines{})) << "a local name is not known to the next script";
    EXPECT_EQ(Compile("v = 1 Variable(Local, Name=v) v = 2"), (Lines{"l:v", "=(i:2)"}))
        << "a local name is known from its declaration onward";
}

// A declaration with an empty name once made every stray delimiter look like
// an assignment that consumed nothing, and the compile never ended.
TEST_F(StatementParser, EmptyDeclaredNameIsIgnored) {
    EXPECT_EQ(Compile("Variable(Global, Name=) = ( ] [ == Quit"), (Lines{"Quit()"}));
    EXPECT_EQ(Compile("Variable(Local, Name=   ) ) Quit"), (Lines{"Quit()"}));
    EXPECT_FALSE(IsNameDeclared(g_declaredGlobalNames, ""));
}

TEST_F(StatementParser, BrokenBytesNeverStopTheWalk) {
    EXPECT_EQ(Compile("Quit \xF0"), (Lines{"Quit()"})) << "a lead byte cut off at the end";
    EXPECT_TRUE(Compile("Quit\xF0").empty()) << "non-ASCII bytes belong to words";
    EXPECT_EQ(Compile("\xFC"), (Lines{}));
    EXPECT_EQ(Compile("\x80\xBF\xFE\xFFQuit"), (Lines{"Quit()"}));
    // The cut-off lead byte steps over the closers the first scan appended,
    // so the second scan of the group appends them again.
    EXPECT_EQ(Compile("WindowTitle(Text=\"\xFC"),
              (Lines{"tmp0", "=(s:\"\xFC\", op:))", "WindowTitle(tmp0)"}));
    EXPECT_TRUE(Compile(std::string("Quit\0Quit ", 10)).empty()) << "a NUL byte belongs to a word";
    EXPECT_EQ(Compile(std::string("Quit \0 Quit", 11)), (Lines{"Quit()", "Quit()"}));
    EXPECT_EQ(Compile("Wait(\xE3\x81\x82)"), (Lines{"Wait(-)"}));
}

TEST_F(StatementParser, GroupScanning) {
    using C = classScriptCompiler;
    EXPECT_EQ(C::ScanGroup("Wait (a(b)c) x", 4, '('), " (a(b)c)");
    EXPECT_EQ(C::ScanGroup("W(\")\")", 1, '('), "(\")\")");
    EXPECT_EQ(C::ScanGroup("W x", 1, '('), "");
    EXPECT_EQ(C::ScanGroup("W([1", 1, '('), "([1)]");
    EXPECT_EQ(C::ScanGroup("W({\"a", 1, '('), "({\"a\")}");
    EXPECT_EQ(C::ScanGroup("W(])", 1, '('), "");
    EXPECT_EQ(C::ScanGroup("a[i[2]]=1", 1, '['), "[i[2]]");
    EXPECT_EQ(C::ScanGroup("W", 5, '('), "");
}

TEST_F(StatementParser, TopLevelSplitting) {
    using C = classScriptCompiler;
    std::size_t count = 99;
    EXPECT_EQ(C::SplitTopLevel(" a , (b,c) ,\"d,e\"", ',', 1, &count), "(b,c)");
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(C::SplitTopLevel(" a , (b,c) ,\"d,e\"", ',', 2), "\"d,e\"");
    EXPECT_EQ(C::SplitTopLevel("a,,b", ',', 1, &count), "");
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(C::SplitTopLevel("   ", ',', 0, &count), "");
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(C::SplitTopLevel("1:2:3", ':', 2, &count), "3");
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(C::SplitTopLevel("x", ',', 5, &count), "");
    EXPECT_EQ(count, 1u);
}

TEST_F(StatementParser, ParameterMatching) {
    // A third name lies past the count: it is never matched.
    const char* names[] = {"Time", "SkipOn", "Speed"};
    std::string value;
    EXPECT_EQ(classScriptCompiler::MatchParameter("SkipOn", names, 2, value), 1);
    EXPECT_EQ(value, "1");
    EXPECT_EQ(classScriptCompiler::MatchParameter("Time  =  3 + 4", names, 2, value), 0);
    EXPECT_EQ(value, "3 + 4");
    EXPECT_EQ(classScriptCompiler::MatchParameter("Times=3", names, 2, value), -1);
    EXPECT_EQ(classScriptCompiler::MatchParameter("time=3", names, 2, value), -1);
    EXPECT_EQ(classScriptCompiler::MatchParameter("500", names, 2, value), -1);
    EXPECT_EQ(classScriptCompiler::MatchParameter("Speed=3", names, 2, value), -1);
}

}  // namespace

namespace {

// The group a scan from `opener` gives, as the index answers it; "?" when
// the index leaves the byte to a walk of its own.
std::string Indexed(compilergroups::GroupScanIndex& index, std::string_view text, std::size_t opener) {
    compilergroups::GroupEnd end;
    if (!index.Scan(opener, end)) return "?";
    if (end.kind == compilergroups::GroupEnd::Refused) return "";
    std::string group(text.substr(opener, end.end - opener));
    if (end.kind == compilergroups::GroupEnd::Open) {
        if (end.left.inString) group += '"';
        group.append(static_cast<std::size_t>(end.left.paren), ')');
        group.append(static_cast<std::size_t>(end.left.bracket), ']');
        group.append(static_cast<std::size_t>(end.left.brace), '}');
    }
    return group;
}

// Every scan of a text, answered from the one walk over it, gives what a
// walk from the opener gives: the closer, a closer with no opener, a line
// end inside a string, the end of the text.
TEST(GroupScanIndex, EveryScanEndsWhereItsOwnWalkEnds) {
    struct Case {
        const char* name;
        std::string text;
        int unanswered;  // openers inside a longer UTF-8 step of the walk from the start
    };
    const Case cases[] = {
        {"closed and unclosed", "a[1] b[2 c[3]", 0},
        {"kinds crossing", "x[ ( ] ) [ { ] } ( [ ) ]", 0},
        {"brackets in strings", "a[\"]\" ] b[\"[\" c[ \"(\" ] d(\")\")", 0},
        {"a quote opened before the opener", "\" a[ ] \" b[ \" ] \" c[ ] \"", 0},
        {"line ends inside strings", "a[\"x\nb[ ] c[ \"\r d[ ] \" e[", 0},
        {"closers with no opener", "] a[ ) ] b[ ] ] c[ } (", 0},
        {"many unclosed", "a[ a[ a[ a[ a[ a[ (", 0},
        {"two-byte and three-byte characters", "\xC3\xA9[\xE5\x90\x8D] \xE5\x90\x8D[ {\xC3\xA9}", 0},
        {"a lead byte stepping over an opener", "\xE3[ x[ ] y[", 1},
        {"empty groups", "[][]{}()[", 0},
    };
    for (const Case& c : cases) {
        compilergroups::GroupScanIndex index(c.text);
        int unanswered = 0;
        for (std::size_t p = 0; p < c.text.size(); ++p) {
            const char opener = c.text[p];
            if (opener != '(' && opener != '[' && opener != '{') continue;
            const std::string indexed = Indexed(index, c.text, p);
            if (indexed == "?") {
                ++unanswered;
                continue;
            }
            EXPECT_EQ(indexed, classScriptCompiler::ScanGroup(c.text, p, opener))
                << c.name << ", opener at " << p;
        }
        EXPECT_EQ(unanswered, c.unanswered) << c.name;
    }
}

// The parse answers the scans of a long text from the index; what it makes
// of unclosed subscripts is what it makes of the same statements one by one.
TEST_F(StatementParser, ManyUnclosedSubscriptsCompileAsEachDoesAlone) {
    Compile("Variable(Global, Name=a)");
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "a[ ";
    many += "a = 1";
    const std::vector<std::string> whole = Compile("Variable(Global, Name=a) " + many);
    const std::vector<std::string> tail = Compile("Variable(Global, Name=a) a[ a = 1");
    EXPECT_EQ(whole, tail) << "the unclosed subscripts are passed over, as the last one alone is";
}

}  // namespace
