// The sample game in games/sample shows every command of the vocabulary at
// work: each name of the built-in table must be a command statement of one of
// its scripts, as the engine's own compiler reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "commands/command_table.h"
#include "foundation/text_encoding.h"
#include "script/script_compiler.h"

namespace {

namespace fs = std::filesystem;

fs::path SampleGameFolder() {
    const char* data = std::getenv("VELK2_TEST_DATA");
    return fs::path(data != nullptr ? data : "tests/data") / ".." / ".." / "games" / "sample";
}

std::string ReadScript(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string text;
    TextToUtf8ByBom(text, reinterpret_cast<const u8*>(bytes.data()), bytes.size(), 1);
    return text;
}

// "Variable" never becomes a statement: the compiler takes it as a
// declaration. It counts as used where the prepared text (comments gone) has
// the word outside a string literal, followed by its argument group.
bool DeclaresVariables(std::string text) {
    classScriptCompiler compiler("scan");
    compiler.PrepareLines(text);
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') inString = !inString;
        if (inString) continue;
        const bool wordStart = i == 0 || text[i - 1] == ' ' || text[i - 1] == ';' || text[i - 1] == '}';
        if (!wordStart || classScriptCompiler::WordAt(text, i) != "Variable") continue;
        const std::size_t open = text.find_first_not_of(' ', i + 8);
        if (open != std::string::npos && text[open] == '(') return true;
    }
    return false;
}

// Every command statement of every script of the game, "Variable.qvs" first
// so the names it declares are known to the others, as at start-up.
std::set<std::string> CommandsUsedByTheGame(std::vector<std::string>& scripts) {
    const fs::path root = SampleGameFolder();
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".qvs") files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) {
        const bool aFirst = a.filename() == "Variable.qvs", bFirst = b.filename() == "Variable.qvs";
        return aFirst != bFirst ? aFirst : a < b;
    });
    std::set<std::string> used;
    for (const fs::path& file : files) {
        scripts.push_back(fs::relative(file, root).string());
        const std::string text = ReadScript(file);
        if (DeclaresVariables(text)) used.insert("Variable");
        classScriptCompiler compiler(scripts.back());
        compiler.Compile(text);
        const classScriptTables& tables = compiler.Tables();
        for (int32 i = 0; i < tables.GetStatementCount(); ++i) {
            const classScriptRecord* record = tables.GetStatementRecord(i);
            if (record != nullptr && record->type == ScriptRecordCommand)
                used.insert(std::string(tables.GetTextA(*record)));
        }
    }
    return used;
}

TEST(SampleGame, EveryCommandOfTheTableIsAStatementOfItsScripts) {
    std::vector<std::string> scripts;
    const std::set<std::string> used = CommandsUsedByTheGame(scripts);
    ASSERT_FALSE(scripts.empty()) << "no scripts under " << SampleGameFolder();

    // "ToString" writes every number with six decimals, which no screen of
    // the game wants (its end card once read "3.416667 分"); the guide shows
    // it, and the game writes whole numbers by appending integers to a text.
    const std::set<std::string> unshown{"ToString"};
    std::set<std::string> names;
    for (int32 index = 1; index <= kBuiltinCommandCount; ++index) {
        const std::string name = g_builtinCommandTable[index].name;
        names.insert(name);
        if (unshown.count(name) != 0) continue;
        EXPECT_TRUE(used.count(name) == 1) << "command " << index << " \"" << name
                                           << "\" appears in none of the game's " << scripts.size()
                                           << " scripts";
    }
    // 78 records, two of them repeats of earlier names.
    EXPECT_EQ(names.size(), 76u);
    std::size_t covered = 0;
    for (const std::string& name : names) covered += used.count(name);
    EXPECT_EQ(covered, 75u) << covered << " of 76 command names used";
}

}  // namespace
