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
    std::set<std::string> seen;
    for (int32 i = 1; i <= 78; ++i) {
        const BuiltinCommandEntry& e = g_builtinCommandTable[i];
        const ExpectedCommand& x = kExpected[i - 1];
        ASSERT_NE(e.name, nullptr) << "record " << i;
        EXPECT_STREQ(e.name, x.name) << "record " << i;
        std::vector<std::string> names{"stale"};
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
        // A repeated name is found at its first record.
        if (seen.insert(x.name).second) {
            EXPECT_EQ(FindBuiltinCommand(x.name), i) << x.name;
        }
    }
    EXPECT_EQ(seen.size(), 76u);
}

TEST(CommandTable, RecordsOutsideTheVocabularyAreEmpty) {
    for (int32 i : {0, 79, 80, -1, 1 << 30}) {
        if (i == 0 || i == 79) {
            const BuiltinCommandEntry& e = g_builtinCommandTable[i];
            EXPECT_EQ(e.name, nullptr) << i;
            EXPECT_EQ(e.handler, nullptr) << i;
            for (const char* p : e.paramNames) EXPECT_EQ(p, nullptr) << i;
        }
        std::vector<std::string> names{"stale"};
        EXPECT_TRUE(GetBuiltinParamNames(i, names));
        EXPECT_TRUE(names.empty()) << i;
        EXPECT_EQ(GetBuiltinParamCount(i), 0) << i;
    }
    EXPECT_EQ(g_builtinCommandTable[78].handler, nullptr) << "Variable is a declaration, never called";
}

TEST(CommandTable, LookupIsExactAndCaseSensitive) {
    const char withNul[] = {'W', 'a', 'i', 't', '\0', 'x'};
    struct Case {
        std::string_view name;
        int32 index;
    } cases[] = {
        {"apply", 0}, {"APPLY", 0}, {"Graphi", 0}, {"GraphicX", 0}, {"", 0}, {"Wait ", 0},
        // The correctly spelt forms are not commands; scripts use the misspellings.
        {"GraphicPause", 0}, {"OriginalCharactorSet", 0}, {"SystemTransitionCut", 0},
        {std::string_view(withNul, 6), 0}, {std::string_view(withNul, 4), 15},
    };
    for (const Case& c : cases) EXPECT_EQ(FindBuiltinCommand(c.name), c.index) << c.name;
}

}  // namespace
