#include "commands/command_table.h"

#include <algorithm>
#include <unordered_map>

#include "commands/choice_commands.h"
#include "commands/control_commands.h"
#include "commands/expression_commands.h"
#include "commands/flow_commands.h"
#include "commands/graphic_commands.h"
#include "commands/slot_commands.h"
#include "commands/sound_commands.h"
#include "commands/text_commands.h"
#include "commands/wait_command.h"
#include "system/settings_screen.h"

// Handlers arrive with the commands' own areas; until then a record's handler
// is null and calling it does nothing. "Variable" stays without one for good:
// the compiler consumes it as a declaration.
//
// The misspelt names ("GraphicPouse", "OrignalCharactorSet", "DefaultHigth",
// "SystemTranstionCut", …) are what the game's scripts are written in, and the
// two repeated records (21 and 22) keep every later index where scripts and
// stored data expect it.
// One record a line, as the vocabulary is read.
// clang-format off
const BuiltinCommandEntry g_builtinCommandTable[kBuiltinTableSize] = {
    {nullptr, {0, 0, 0}, nullptr, {}},  // 0: never matched
    {"Dammy", {0, 0, 0}, &CommandDammy, {}},  // 1
    {"Apply", {0, 0, 0}, &CommandApply, {}},  // 2
    {"=", {0, 0, 0}, CommandAssign, {}},  // 3
    {"if", {0, 0, 0}, CommandIf, {}},  // 4
    {"else", {0, 0, 0}, CommandElse, {}},  // 5
    {"return", {0, 0, 0}, &CommandReturn, {}},  // 6
    {"ToString", {0, 0, 0}, CommandToString, {}},  // 7
    {"Graphic", {0, 0, 0}, Builtin_Graphic, {"Target", "Layer", "File", "x", "y", "z", "Hide", "Stencil", "Transmittance", "VertexShader", "PixelShader"}},  // 8
    {"GraphicAlter", {0, 0, 0}, Builtin_GraphicAlter, {"Target", "Layer", "File", "x", "y", "z", "Hide", "Stencil", "Transmittance", "VertexShader", "PixelShader"}},  // 9
    {"GraphicDelete", {0, 0, 0}, Builtin_GraphicDelete, {"Target", "Layer"}},  // 10
    {"GraphicTextOut", {0, 0, 0}, &CommandGraphicTextOut, {"Target", "Layer", "Text", "Color", "FontNo", "DrawSpeed"}},  // 11
    {"GraphicWait", {0, 0, 0}, CommandGraphicWait, {"Target", "Layer", "KeyToSkip"}},  // 12
    {"PageFeed", {0, 0, 0}, &CommandPageFeed, {"Target", "Layer"}},  // 13
    {"Transition", {0, 0, 0}, CommandTransition, {"Time", "File", "Shader", "Async", "IsQue"}},  // 14
    {"Wait", {0, 0, 0}, CommandWait, {"Time", "SkipOn"}},  // 15
    {"KeyWait", {0, 0, 0}, CommandKeyWait, {"Time"}},  // 16
    {"GraphicFilter", {0, 0, 0}, Builtin_GraphicFilter, {"Target", "Layer", "File"}},  // 17
    {"GraphicPlay", {0, 0, 0}, Builtin_GraphicPlay, {"Target", "Layer"}},  // 18
    {"GraphicStop", {0, 0, 0}, Builtin_GraphicStop, {"Target", "Layer"}},  // 19
    {"GraphicPouse", {0, 0, 0}, Builtin_GraphicPouse, {"Target", "Layer"}},  // 20
    {"GraphicDelete", {0, 0, 0}, Builtin_GraphicDelete, {"Target", "Layer"}},  // 21
    {"Apply", {0, 0, 0}, &CommandApply, {}},  // 22
    {"GraphicSlot", {0, 0, 0}, Builtin_GraphicSlot, {"Target", "Layer", "No", "StartDelay", "Delay", "AfterDelay", "Time", "TimeGainStart", "TimeGainEnd", "Loop", "AutoDeleteFlag", "Position", "Scale", "Roll", "Transmittance", "Rate", "PositionCenter", "ScaleCenter", "RollCenter", "RollAxis", "PositionGainStart", "PositionGainEnd", "ScaleGainStart", "ScaleGainEnd"}},  // 23
    {"GraphicSlotAlter", {0, 0, 0}, Builtin_GraphicSlotAlter, {"Target", "Layer", "No", "StartDelay", "Delay", "AfterDelay", "Time", "TimeGainStart", "TimeGainEnd", "Loop", "AutoDeleteFlag", "Position", "Scale", "Roll", "Transmittance", "Rate", "PositionCenter", "ScaleCenter", "RollCenter", "RollAxis", "PositionGainStart", "PositionGainEnd", "ScaleGainStart", "ScaleGainEnd"}},  // 24
    {"GraphicSlotDelete", {0, 0, 0}, Builtin_GraphicSlotDelete, {"Target", "Layer", "No"}},  // 25
    {"Sound", {0, 0, 0}, &CommandSound, {"Layer", "File", "Volume", "Pan", "Loop", "Silent", "Stream", "FinishToDelete", "Play", "LoopFileNo"}},  // 26
    {"SoundAlter", {0, 0, 0}, &CommandSoundAlter, {"Layer", "File", "Volume", "Pan", "Loop", "Silent", "Stream", "FinishToDelete", "Play", "LoopFileNo"}},  // 27
    {"SoundStop", {0, 0, 0}, &CommandSoundStop, {"Layer", "Time", "FinishToDelete"}},  // 28
    {"SoundVolume", {0, 0, 0}, &CommandSoundVolume, {"Layer", "Time", "Volume"}},  // 29
    {"SoundStopToVoice", {0, 0, 0}, &CommandSoundStopToVoice, {"Time"}},  // 30
    {"SoundPlayRepeatToJustBeforeVoice", {0, 0, 0}, &CommandSoundPlayRepeatToJustBeforeVoice, {"Layer"}},  // 31
    {"ScriptJump", {0, 0, 0}, &CommandScriptJump, {"File", "Label"}},  // 32
    {"ScriptCall", {0, 0, 0}, &CommandScriptCall, {"File", "Label", "Interrupt"}},  // 33
    {"ScriptInterrupt", {0, 0, 0}, &CommandScriptInterrupt, {"File"}},  // 34
    {"WindowTitle", {0, 0, 0}, &CommandWindowTitle, {"Text"}},  // 35
    {"WindowIcon", {0, 0, 0}, &CommandWindowIcon, {"No"}},  // 36
    {"SystemDataSave", {0, 0, 0}, &CommandSystemDataSave, {}},  // 37
    {"VariableReset", {0, 0, 0}, &CommandVariableReset, {"Global", "Nomal", "Local"}},  // 38
    {"OrignalCharactorSet", {0, 0, 0}, &CommandOrignalCharactorSet, {"Font", "List", "DefaultWidth", "DefaultHigth"}},  // 39
    {"GraphicCharactorSet", {0, 0, 0}, &CommandGraphicCharactorSet, {"Font", "List", "DefaultWidth", "DefaultHigth"}},  // 40
    {"SystemScreenModeChange", {0, 0, 0}, &CommandSystemScreenModeChange, {"Value"}},  // 41
    {"SystemTextColor", {0, 0, 0}, &CommandSystemTextColor, {"Color"}},  // 42
    {"SystemTextSpeed", {0, 0, 0}, &CommandSystemTextSpeed, {"Speed"}},  // 43
    {"SystemAutoSpeed", {0, 0, 0}, &CommandSystemAutoSpeed, {"Speed"}},  // 44
    {"SystemKeyWaitVoiceStop", {0, 0, 0}, &CommandSystemKeyWaitVoiceStop, {"Value"}},  // 45
    {"SystemTranstionCut", {0, 0, 0}, &CommandSystemTranstionCut, {"Value"}},  // 46
    {"SystemTranstionCut.Is", {0, 0, 0}, &CommandSystemTranstionCutIs, {}},  // 47
    {"SystemSkipAlready", {0, 0, 0}, &CommandSystemSkipAlready, {"Value"}},  // 48
    {"SystemParametorSkipType", {0, 0, 0}, &CommandSystemParametorSkipType, {"Value"}},  // 49
    {"SystemControl.SkipPlaying", {0, 0, 0}, &CommandSkipPlaying, {"State"}},  // 50
    {"SystemControl.AutoPlaying", {0, 0, 0}, &CommandAutoPlaying, {"State"}},  // 51
    {"SystemControl.SkipPlaying.Is", {0, 0, 0}, &CommandSkipPlayingIs, {}},  // 52
    {"SystemControl.AutoPlaying.Is", {0, 0, 0}, &CommandAutoPlayingIs, {}},  // 53
    {"SystemControl.NextSelectSkiping", {0, 0, 0}, &CommandNextSelectSkiping, {}},  // 54
    {"SystemControl.NextSelectSkiping.Is", {0, 0, 0}, &CommandNextSelectSkipingIs, {}},  // 55
    {"SystemControl.NextSelectSkiping.Abort", {0, 0, 0}, &CommandNextSelectSkipingAbort, {}},  // 56
    {"SystemControl.WM_CLOSE.Disable", {0, 0, 0}, &CommandCloseDisable, {}},  // 57
    {"SoundGroup", {0, 0, 0}, &CommandSoundGroup, {"No", "SoundNoStart", "SoundNoLast"}},  // 58
    {"SoundGroupVolume", {0, 0, 0}, &CommandSoundGroupVolume, {"No", "Volume"}},  // 59
    {"SoundGroupSilent", {0, 0, 0}, &CommandSoundGroupSilent, {"No", "Value"}},  // 60
    {"SoundGroupAutomodeSkip", {0, 0, 0}, &CommandSoundGroupAutomodeSkip, {"No", "Value"}},  // 61
    {"Select", {0, 0, 0}, CommandSelect, {"GraphicLayer", "Transition", "CursorMoveType"}},  // 62
    {"Case", {0, 0, 0}, CommandCase, {"Disable", "InKey", "InKeyTable", "InKeyMouse", "InKeyMouseWheel", "x", "y", "z", "GraphicLayer", "GraphicNomalFile", "GraphicSelectFile", "GraphicDecideFile", "GraphicDisableFile", "SoundLayer", "SoundNomalFile", "SoundSelectFile", "SoundDecideFile", "SoundDisableFile", "TextLayer", "Text", "TextNomalColor", "TextSelectColor", "TextDecideColor", "TextDisableColor", "InWindowMessage", "MoveOn", "MoveAfterward"}},  // 63
    {"Quit", {0, 0, 0}, &CommandQuit, {"Flag"}},  // 64
    {"Restart", {0, 0, 0}, &CommandRestart, {"Flag"}},  // 65
    {"PlayDataLoad", {0, 0, 0}, &CommandPlayDataLoad, {"No"}},  // 66
    {"PlayDataSave", {0, 0, 0}, &CommandPlayDataSave, {"No", "Index"}},  // 67
    {"PlayDataCheck", {0, 0, 0}, &CommandPlayDataCheck, {"No"}},  // 68
    {"PlayDataDelete", {0, 0, 0}, &CommandPlayDataDelete, {"No"}},  // 69
    {"PlayDataGetIndex", {0, 0, 0}, &CommandPlayDataGetIndex, {"No"}},  // 70
    {"PlayDataGetDate", {0, 0, 0}, &CommandPlayDataGetDate, {"No"}},  // 71
    {"GraphicPlayDataThumbnail", {0, 0, 0}, Builtin_GraphicPlayDataThumbnail, {"Target", "Layer", "No", "x", "y", "z", "Hide", "StencilAction", "Transmittance"}},  // 72
    {"HistoryReset", {0, 0, 0}, &CommandHistoryReset, {}},  // 73
    {"History", {0, 0, 0}, &CommandHistory, {}},  // 74
    {"IsDebug", {0, 0, 0}, &CommandIsDebug, {}},  // 75
    {"IsNowSkipping", {0, 0, 0}, &CommandIsNowSkipping, {}},  // 76
    {"Config", {0, 0, 0}, Builtin_Config, {}},  // 77
    {"Variable", {0, 0, 0}, nullptr, {"System", "Global", "Nomal", "Local", "Name", "ArraySize"}},  // 78
    {nullptr, {0, 0, 0}, nullptr, {}},  // 79: ends every walk
};
// clang-format on

namespace {

// The compiler asks for a command at nearly every word of a script, so the
// walk over the records is replaced by a map built once from the table. Only
// the first record of a repeated name is entered, which is what the walk
// would find.
struct NameHash {
    std::size_t operator()(std::string_view name) const noexcept {
        u64 h = 0xcbf29ce484222325ull;  // FNV-1a: names are short
        for (char c : name) h = (h ^ static_cast<u8>(c)) * 0x100000001b3ull;
        return static_cast<std::size_t>(h);
    }
};
using CommandMap = std::unordered_map<std::string_view, int32, NameHash>;

const CommandMap& CommandIndexByName() {
    static const CommandMap map = [] {
        CommandMap m;
        m.reserve(kBuiltinTableSize * 2);
        for (int32 i = 1; i < kBuiltinTableSize && g_builtinCommandTable[i].name != nullptr; ++i)
            m.emplace(g_builtinCommandTable[i].name, i);
        return m;
    }();
    return map;
}

bool IsCommandIndex(int32 index) {
    return index >= 1 && index <= kBuiltinCommandCount;
}

}  // namespace

int32 FindBuiltinCommand(std::string_view name) {
    const auto& map = CommandIndexByName();
    // Long words (text, paths) are rejected without hashing them.
    static const std::size_t longest = [&map] {
        std::size_t n = 0;
        for (const auto& entry : map) n = std::max(n, entry.first.size());
        return n;
    }();
    if (name.empty() || name.size() > longest) return 0;
    auto it = map.find(name);
    return it == map.end() ? 0 : it->second;
}

bool GetBuiltinParamNames(int32 index, std::vector<std::string>& names) {
    names.clear();
    names.reserve(kBuiltinParamSlots);
    if (index < 0 || index >= kBuiltinTableSize) return true;
    const BuiltinCommandEntry& entry = g_builtinCommandTable[index];
    for (int32 slot = 0; slot < kBuiltinParamSlots; ++slot) {
        if (entry.paramNames[slot] == nullptr) continue;
        names.resize(static_cast<size_t>(slot) + 1);
        names[static_cast<size_t>(slot)] = entry.paramNames[slot];
    }
    return true;
}

int32 GetBuiltinParamCount(int32 index) {
    if (index < 0 || index >= kBuiltinTableSize) return 0;
    int32 count = 0;
    for (int32 slot = 0; slot < kBuiltinParamSlots; ++slot)
        if (g_builtinCommandTable[index].paramNames[slot] != nullptr) count = slot + 1;
    return count;
}

void CallBuiltinCommand(int32 index, classScriptContext& context,
                        const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue& result) {
    if (!IsCommandIndex(index)) return;
    BuiltinCommandHandler handler = g_builtinCommandTable[index].handler;
    if (handler != nullptr) handler(context, arguments, count, result);
}
