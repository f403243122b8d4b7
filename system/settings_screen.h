#pragma once
// The settings screen ("Config"): a modal loop on the script thread that runs
// the command. It builds its picture under main-scene object 300, puts 26
// targets on the thread's own waiter and, pass after pass, shows the current
// settings, waits for the player and applies what was clicked or dragged.
// Volumes reach the sound groups at once, under the sound lock, so a dragged
// slider is heard while it moves; everything shown and the sample voices go
// through records of the main queue. The settings come from and go back to
// global variables, which "System.dat" keeps between runs.
//
// The screen ends when the player leaves it (right click, space, the
// initialize button), when the program quits or restarts, or when another
// frame is pushed on the main script; every way out writes the settings back.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

bool Builtin_Config(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                    classScriptValue& result);

// The sample voice of each of the seven characters, and the layer it plays on
// when its character button is clicked.
inline constexpr const char* kSettingsSampleVoices[7] = {
    "VOICE\\config_sample01.ogg", "VOICE\\config_sample02.ogg", "VOICE\\config_sample03.ogg",
    "VOICE\\config_sample04.ogg", "VOICE\\config_sample05.ogg", "VOICE\\config_sample06.ogg",
    "VOICE\\config_sample07.ogg",
};
inline constexpr int64 kSettingsSampleLayers[7] = {103, 104, 100, 101, 102, 105, 106};
// The general voice slider's sample; layers 99 to 106 all belong to the screen.
inline constexpr int64 kSettingsGeneralSampleLayer = 99;
inline constexpr int64 kSettingsLastSampleLayer = 106;
