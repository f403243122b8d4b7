#include "commands/command_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

namespace {

struct ExpectedCommand {
    const char* name;
    const char* params;  // space-separated, in positional order
};

// The vocabulary as scripts use it, records 1 to 78 in order, misspellings and
// the two repeated records included.
const ExpectedCommand kExpected[] = {
    {"Dammy", ""},
    {"Apply", ""},
    {"=", ""},
    {"if", ""},
    {"else", ""},
    {"return", ""},
    {"ToString", ""},
    {"Graphic", "Target Layer File x y z Hide Stencil Transmittance VertexShader PixelShader"},
    {"GraphicAlter", "Target Layer File x y z Hide Stencil Transmittance VertexShader PixelShader"},
    {"GraphicDelete", "Target Layer"},
    {"GraphicTextOut", "Target Layer Text Color FontNo DrawSpeed"},
    {"GraphicWait", "Target Layer KeyToSkip"},
    {"PageFeed", "Target Layer"},
    {"Transition", "Time File Shader Async IsQue"},
    {"Wait", "Time SkipOn"},
    {"KeyWait", "Time"},
    {"GraphicFilter", "Target Layer File"},
    {"GraphicPlay", "Target Layer"},
    {"GraphicStop", "Target Layer"},
    {"GraphicPouse", "Target Layer"},
    {"GraphicDelete", "Target Layer"},
    {"Apply", ""},
    {"GraphicSlot",
     "Target Layer No StartDelay Delay AfterDelay Time TimeGainStart TimeGainEnd Loop AutoDeleteFlag "
     "Position Scale Roll Transmittance Rate PositionCenter ScaleCenter RollCenter RollAxis "
     "PositionGainStart PositionGainEnd ScaleGainStart ScaleGainEnd"},
    {"GraphicSlotAlter",
     "Target Layer No StartDelay Delay AfterDelay Time TimeGainStart TimeGainEnd Loop AutoDeleteFlag "
     "Position Scale Roll Transmittance Rate PositionCenter ScaleCenter RollCenter RollAxis "
     "PositionGainStart PositionGainEnd ScaleGainStart ScaleGainEnd"},
    {"GraphicSlotDelete", "Target Layer No"},
    {"Sound", "Layer File Volume Pan Loop Silent Stream FinishToDelete Play LoopFileNo"},
    {"SoundAlter", "Layer File Volume Pan Loop Silent Stream FinishToDelete Play LoopFileNo"},
    {"SoundStop", "Layer Time FinishToDelete"},
    {"SoundVolume", "Layer Time Volume"},
    {"SoundStopToVoice", "Time"},
    {"SoundPlayRepeatToJustBeforeVoice", "Layer"},
    {"ScriptJump", "File Label"},
    {"ScriptCall", "File Label Interrupt"},
    {"ScriptInterrupt", "File"},
    {"WindowTitle", "Text"},
    {"WindowIcon", "No"},
    {"SystemDataSave", ""},
    {"VariableReset", "Global Nomal Local"},
    {"OrignalCharactorSet", "Font List DefaultWidth DefaultHigth"},
    {"GraphicCharactorSet", "Font List DefaultWidth DefaultHigth"},
    {"SystemScreenModeChange", "Value"},
    {"SystemTextColor", "Color"},
    {"SystemTextSpeed", "Speed"},
    {"SystemAutoSpeed", "Speed"},
    {"SystemKeyWaitVoiceStop", "Value"},
    {"SystemTranstionCut", "Value"},
    {"SystemTranstionCut.Is", ""},
    {"SystemSkipAlready", "Value"},
    {"SystemParametorSkipType", "Value"},
    {"SystemControl.SkipPlaying", "State"},
    {"SystemControl.AutoPlaying", "State"},
    {"SystemControl.SkipPlaying.Is", ""},
    {"SystemControl.AutoPlaying.Is", ""},
    {"SystemControl.NextSelectSkiping", ""},
    {"SystemControl.NextSelectSkiping.Is", ""},
    {"SystemControl.NextSelectSkiping.Abort", ""},
    {"SystemControl.WM_CLOSE.Disable", ""},
    {"SoundGroup", "No SoundNoStart SoundNoLast"},
    {"SoundGroupVolume", "No Volume"},
    {"SoundGroupSilent", "No Value"},
    {"SoundGroupAutomodeSkip", "No Value"},
    {"Select", "GraphicLayer Transition CursorMoveType"},
    {"Case",
     "Disable InKey InKeyTable InKeyMouse InKeyMouseWheel x y z GraphicLayer GraphicNomalFile "
     "GraphicSelectFile GraphicDecideFile GraphicDisableFile SoundLayer SoundNomalFile SoundSelectFile "
     "SoundDecideFile SoundDisableFile TextLayer Text TextNomalColor TextSelectColor TextDecideColor "
     "TextDisableColor InWindowMessage MoveOn MoveAfterward"},
    {"Quit", "Flag"},
    {"Restart", "Flag"},
    {"PlayDataLoad", "No"},
    {"PlayDataSave", "No Index"},
    {"PlayDataCheck", "No"},
    {"PlayDataDelete", "No"},
    {"PlayDataGetIndex", "No"},
    {"PlayDataGetDate", "No"},
    {"GraphicPlayDataThumbnail", "Target Layer No x y z Hide StencilAction Transmittance"},
    {"HistoryReset", ""},
    {"History", ""},
    {"IsDebug", ""},
    {"IsNowSkipping", ""},
    {"Config", ""},
    {"Variable", "System Global Nomal Local Name ArraySize"},
};

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

TEST(CommandTable, EveryRecordMatchesTheVocabularyInOrder) {
    ASSERT_EQ(std::size(kExpected), 78u);
    for (int32 i = 1; i <= 78; ++i) {
        const BuiltinCommandEntry& e = g_builtinCommandTable[i];
        const ExpectedCommand& x = kExpected[i - 1];
        ASSERT_NE(e.name, nullptr) << "record " << i;
        EXPECT_STREQ(e.name, x.name) << "record " << i;
        std::vector<std::string> names;
        EXPECT_TRUE(GetBuiltinParamNames(i, names));
        EXPECT_EQ(names, Words(x.params)) << "record " << i << " " << x.name;
        EXPECT_EQ(GetBuiltinParamCount(i), static_cast<int32>(Words(x.params).size()));
        EXPECT_EQ(e.reserved[0] | e.reserved[1] | e.reserved[2], 0u);
        // Named slots come first, without gaps: binding relies on it.
        bool seenEmpty = false;
        for (const char* p : e.paramNames) {
            if (p == nullptr)
                seenEmpty = true;
            else
                EXPECT_FALSE(seenEmpty) << "gap in the parameters of " << x.name;
        }
    }
}

TEST(CommandTable, SentinelRecordsAreEmpty) {
    for (int32 i : {0, 79}) {
        const BuiltinCommandEntry& e = g_builtinCommandTable[i];
        EXPECT_EQ(e.name, nullptr);
        EXPECT_EQ(e.handler, nullptr);
        for (const char* p : e.paramNames) EXPECT_EQ(p, nullptr);
    }
    EXPECT_EQ(g_builtinCommandTable[78].handler, nullptr) << "Variable is a declaration, never called";
}

TEST(CommandTable, LookupFindsTheFirstRecordOfAName) {
    EXPECT_EQ(FindBuiltinCommand("Dammy"), 1);
    EXPECT_EQ(FindBuiltinCommand("Apply"), 2);
    EXPECT_EQ(FindBuiltinCommand("="), 3);
    EXPECT_EQ(FindBuiltinCommand("GraphicDelete"), 10);
    EXPECT_EQ(FindBuiltinCommand("GraphicSlot"), 23);
    EXPECT_EQ(FindBuiltinCommand("SystemControl.NextSelectSkiping.Abort"), 56);
    EXPECT_EQ(FindBuiltinCommand("Case"), 63);
    EXPECT_EQ(FindBuiltinCommand("Variable"), 78);
    std::set<std::string> seen;
    for (int32 i = 1; i <= 78; ++i) {
        const char* name = kExpected[i - 1].name;
        if (!seen.insert(name).second) continue;
        EXPECT_EQ(FindBuiltinCommand(name), i) << name;
    }
    EXPECT_EQ(seen.size(), 76u);
}

TEST(CommandTable, LookupIsExactAndCaseSensitive) {
    EXPECT_EQ(FindBuiltinCommand("apply"), 0);
    EXPECT_EQ(FindBuiltinCommand("APPLY"), 0);
    EXPECT_EQ(FindBuiltinCommand("Graphi"), 0);
    EXPECT_EQ(FindBuiltinCommand("GraphicX"), 0);
    EXPECT_EQ(FindBuiltinCommand("Foo"), 0);
    EXPECT_EQ(FindBuiltinCommand(""), 0);
    EXPECT_EQ(FindBuiltinCommand("Wait "), 0);
    // The correctly spelt forms are not commands; scripts use the misspellings.
    EXPECT_EQ(FindBuiltinCommand("GraphicPause"), 0);
    EXPECT_EQ(FindBuiltinCommand("OriginalCharactorSet"), 0);
    EXPECT_EQ(FindBuiltinCommand("SystemTransitionCut"), 0);
    const char withNul[] = {'W', 'a', 'i', 't', '\0', 'x'};
    EXPECT_EQ(FindBuiltinCommand(std::string_view(withNul, 6)), 0);
    EXPECT_EQ(FindBuiltinCommand(std::string_view(withNul, 4)), 15);
}

TEST(CommandTable, ParameterListsOfNote) {
    std::vector<std::string> names{"stale"};
    GetBuiltinParamNames(FindBuiltinCommand("Case"), names);
    ASSERT_EQ(names.size(), 27u);
    EXPECT_EQ(names.front(), "Disable");
    EXPECT_EQ(names.back(), "MoveAfterward");
    for (const char* none : {"Apply", "Dammy", "Config", "=", "if", "else", "ToString"}) {
        names.assign(3, "stale");
        EXPECT_TRUE(GetBuiltinParamNames(FindBuiltinCommand(none), names));
        EXPECT_TRUE(names.empty()) << none;
    }
    GetBuiltinParamNames(FindBuiltinCommand("Graphic"), names);
    ASSERT_EQ(names.size(), 11u);
    EXPECT_EQ(names[3], "x");  // position 3: Graphic(Target=1, x=10) has a list of four
    GetBuiltinParamNames(FindBuiltinCommand("GraphicSlotAlter"), names);
    EXPECT_EQ(names.size(), 24u);
    GetBuiltinParamNames(FindBuiltinCommand("OrignalCharactorSet"), names);
    EXPECT_EQ(names, (std::vector<std::string>{"Font", "List", "DefaultWidth", "DefaultHigth"}));
    GetBuiltinParamNames(78, names);
    EXPECT_EQ(names, (std::vector<std::string>{"System", "Global", "Nomal", "Local", "Name", "ArraySize"}));
}

TEST(CommandTable, IndicesOutsideTheTableHaveNoParameters) {
    std::vector<std::string> names{"stale"};
    for (int32 index : {0, 79, 80, -1, 1 << 30}) {
        names.assign(1, "stale");
        EXPECT_TRUE(GetBuiltinParamNames(index, names));
        EXPECT_TRUE(names.empty()) << index;
        EXPECT_EQ(GetBuiltinParamCount(index), 0);
    }
}

}  // namespace
