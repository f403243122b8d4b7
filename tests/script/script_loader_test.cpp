// The script loader: images taken as they are, sources converted and
// compiled, the optional pre-converter, and the loads that fail.

#include "script/script_loader.h"

#include <sys/stat.h>

#include <filesystem>

#include "foundation/report_once.h"
#include "platform/dynlib.h"
#include "support/le_bytes.h"
#include "support/script/compile_fixture.h"
#include "support/temp_folder.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;
using testscript::RenderStatements;

class ScriptLoader : public CompileTest {
  protected:
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd{folder.Path()};

    Lines Load(const std::string& name, bool expectLoaded = true) {
        classScriptTables tables;
        EXPECT_EQ(LoadScriptTables(name, tables), expectLoaded) << name;
        return RenderStatements(tables);
    }
};

// "Quit" compiled: pool "Quit\0", the empty list [0], record {1, 0, 0},
// statement [0] — laid out by hand as an image.
std::vector<u8> QuitImage() {
    testbytes::LeBytes b;
    b.Text("QVS002").U16(0).U32(48);
    b.U32(48).U32(4);   // statements
    b.U32(52).U32(4);   // argument lists
    b.U32(56).U32(12);  // records
    b.U32(68).U32(5);   // pool
    b.U32(0);           // tmp count
    b.U32(0);
    b.U32(0);
    b.U32(1).U32(0).U32(0);
    b.Text("Quit").U8(0);
    return b.Bytes();
}

TEST_F(ScriptLoader, ImageIsTakenAsItIs) {
    folder.Put("img.qvs", QuitImage());
    classScriptTables loaded;
    ASSERT_TRUE(LoadScriptTables("img.qvs", loaded));
    Compile("Quit");
    EXPECT_EQ(loaded, Tables());
    // A file that begins with the magic is never compiled, even when the
    // rest is text; too short for an image, it loads with nothing in it.
    folder.Put("text.qvs", std::string("QVS002 Quit Quit"));
    EXPECT_TRUE(Load("text.qvs").empty());
}

TEST_F(ScriptLoader, CompiledTablesSurviveTheImage) {
    const std::string source =
        "Variable(Global, Name=s) #top s[1] = ToString(2) + \"x\" if(s) { Graphic(Target=1:2, x=-1.5) } "
        "else { ScriptJump(Label=#top) }";
    Compile(source);
    std::vector<u8> image;
    Tables().WriteImage(image);
    folder.Put("round.qvs", image);
    classScriptTables loaded;
    ASSERT_TRUE(LoadScriptTables("round.qvs", loaded));
    EXPECT_EQ(loaded, Tables());
    EXPECT_EQ(RenderStatements(loaded), RenderStatements(Tables()));
    std::vector<u8> again;
    loaded.WriteImage(again);
    EXPECT_EQ(again, image);
    // And the hand-made image is exactly what the writer makes of "Quit".
    Compile("Quit");
    Tables().WriteImage(image);
    EXPECT_EQ(image, QuitImage());
}

TEST_F(ScriptLoader, SourcesInEveryEncodingCompileAlike) {
    const std::string utf8 = "WindowTitle(Text=\"\xE3\x81\x82\") Quit";
    folder.Put("utf8.qvs", "\xEF\xBB\xBF" + utf8);
    // The same text in UTF-16LE with its mark, and in CP932 without one.
    testbytes::LeBytes wide;
    wide.U8(0xFF).U8(0xFE);
    for (char c : std::string("WindowTitle(Text=\"")) wide.U16(static_cast<u16>(c));
    wide.U16(0x3042);
    for (char c : std::string("\") Quit")) wide.U16(static_cast<u16>(c));
    folder.Put("wide.qvs", wide.Bytes());
    folder.Put("ansi.qvs", std::string("WindowTitle(Text=\"\x82\xA0\") Quit"));
    const Lines expected{"WindowTitle(s:\"\xE3\x81\x82\")", "Quit()"};
    ForgetReportsForTesting();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load("utf8.qvs"), expected);
    EXPECT_EQ(Load("wide.qvs"), expected);
    EXPECT_EQ(Load("ansi.qvs"), expected);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "each says what it is";
}

// UTF-8 saved without its mark is read as CP932, as every unmarked script
// is, and said once with the line of its first character past ASCII.
TEST_F(ScriptLoader, AnUnmarkedUtf8ScriptIsSaidAndReadAsCp932) {
    folder.Put("bare.qvs", std::string("Quit\nWindowTitle(Text=\"\xE3\x81\x82\")\n// \xE3\x81\x84"));
    ForgetReportsForTesting();
    testing::internal::CaptureStderr();
    const Lines loaded = Load("bare.qvs");
    Load("bare.qvs");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velk2: bare.qvs, line 2: the script has no byte-order mark, yet its text is UTF-8; it is read as "
              "CP932, as every script without the mark is (save it as UTF-8 with a byte-order mark)\n");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_NE(loaded[1], "WindowTitle(s:\"\xE3\x81\x82\")") << "read as CP932";
}

TEST_F(ScriptLoader, NamesFollowTheGamesSpelling) {
    folder.Put("system/Function.qvs", std::string("Quit"));
    EXPECT_EQ(Load("system\\Function.qvs"), (Lines{"Quit()"}));
    EXPECT_EQ(Load("SYSTEM\\function.QVS"), (Lines{"Quit()"}));
}

// Each failed load is said on stderr with the script's name as asked for.
TEST_F(ScriptLoader, FailedLoads) {
    folder.Put("empty.qvs", std::string());
    // Text that converts to nothing: a lone byte-order mark, which is taken
    // for CP932 text and skipped.
    folder.Put("mark.qvs", std::vector<u8>{0xEF, 0xBB, 0xBF});
    struct Case {
        const char* name;
        const char* said;
        bool box;
    };
    const Case cases[] = {
        {"empty.qvs", "velk2: the script \"empty.qvs\" is empty\n", false},
        {"mark.qvs", "velk2: the script \"mark.qvs\" is empty\n", false},
        {"scenario\\missing.qvs", "velk2: the script \"scenario\\missing.qvs\" cannot be read\n", true},
        // Read as missing files, said for what they are.
        {"pipe.qvs", "velk2: the script \"pipe.qvs\" is a pipe, not a file; it is not read\n", true},
        {"scenario", "velk2: the script \"scenario\" is a folder, not a file; it is not read\n", true},
        {"", "", false},
    };
    ASSERT_EQ(::mkfifo((folder.Path() / "pipe.qvs").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.Path() / "scenario");
    ForgetReportsForTesting();
    for (const Case& c : cases) {
        dialogs.boxes.clear();
        testing::internal::CaptureStderr();
        EXPECT_TRUE(Load(c.name, false).empty()) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said) << c.name;
        EXPECT_EQ(dialogs.boxes.size(), c.box ? 1u : 0u) << c.name << ": only a missing script shows the file box";
    }
    // A failed load leaves the caller's tables alone.
    classScriptTables kept;
    kept.AddStatement(kept.AddTmpRecord());
    EXPECT_FALSE(LoadScriptTables("missing.qvs", kept));
    EXPECT_EQ(kept.GetStatementCount(), 1);
}

TEST_F(ScriptLoader, UnterminatedLiteralNamesTheScript) {
    folder.Put("broken.qvs", std::string("Quit\r\n\"open\r\nQuit"));
    dialogs.boxes.clear();
    EXPECT_EQ(Load("broken.qvs"), (Lines{"Quit()", "Quit()"}));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "filename:broken.qvs\nline:2");
}

// One test, in this order, because the library stays loaded once it is.
TEST_F(ScriptLoader, PreConverterIsOptionalAndKeepsItsContract) {
    for (const char* name : {"refuse.qvs", "replace.qvs", "doubled.qvs", "plain.qvs"})
        folder.Put(name, std::string("Quit"));

    // Absent: every source compiles unchanged, silently.
    dialogs.boxes.clear();
    EXPECT_EQ(Load("replace.qvs"), (Lines{"Quit()"}));
    EXPECT_TRUE(dialogs.boxes.empty());

    std::filesystem::copy_file(VELK2_PRECONVERT_STUB, folder.Path() / "Text2qvs.so");
    ForgetReportsForTesting();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load("replace.qvs"), (Lines{"Apply()", "Apply()"})) << "the text ends at the block's NUL";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velk2: the script pre-converter \"Text2qvs.so\" in the game's folder was loaded: it runs native "
              "code; play only games you trust\n")
        << "native code from the game's folder is never loaded unsaid";
    EXPECT_TRUE(Load("doubled.qvs").empty()) << "\"QuitQuit\" is one unknown word";
    EXPECT_EQ(Load("refuse.qvs"), (Lines{"Quit()"})) << "a refusal leaves the text";
    EXPECT_EQ(Load("plain.qvs"), (Lines{"Quit()"})) << "no handle leaves the text";

    platform::DynamicLibrary stub;
    ASSERT_TRUE(stub.Open((folder.Path() / "Text2qvs.so").string()));
    const auto frees = reinterpret_cast<int (*)()>(stub.Symbol("StubFreeCount"));
    const auto calls = reinterpret_cast<int (*)()>(stub.Symbol("StubCallCount"));
    ASSERT_NE(frees, nullptr);
    // The file the loader opened, so the counters are the loader's; every
    // handle handed back (replace, doubled, refuse) was released.
    EXPECT_EQ(calls(), 4);
    EXPECT_EQ(frees(), 3);
}

}  // namespace
