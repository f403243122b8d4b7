#pragma once
// Commands that give scripts their sound. Layer commands post records to the
// main queue, uncommitted, so they run at the script's next commit; group
// commands change the sound manager at once. "SoundAlter" also keeps the
// voice rules: a new page's first voice fades out the previous one, layer 99
// (the settings screen's sample voice) goes, the voice is remembered for
// replay and noted in the backlog.

#include <string>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

#define VELK2_SOUND_COMMAND(name)                                                                       \
    bool name(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count, \
              classScriptValue& result)

VELK2_SOUND_COMMAND(CommandSound);
VELK2_SOUND_COMMAND(CommandSoundAlter);
VELK2_SOUND_COMMAND(CommandSoundStop);
VELK2_SOUND_COMMAND(CommandSoundVolume);
VELK2_SOUND_COMMAND(CommandSoundStopToVoice);
VELK2_SOUND_COMMAND(CommandSoundPlayRepeatToJustBeforeVoice);
VELK2_SOUND_COMMAND(CommandSoundGroup);
VELK2_SOUND_COMMAND(CommandSoundGroupVolume);
VELK2_SOUND_COMMAND(CommandSoundGroupSilent);
VELK2_SOUND_COMMAND(CommandSoundGroupAutomodeSkip);
#undef VELK2_SOUND_COMMAND

// The settings screen's sample voices: stop a layer at once and let it go;
// play one file on a fresh layer.
void QueueSoundStop(int64 layer);
void QueueSoundPlayFile(int64 layer, const std::string& file);

// The marker a voice line puts at the head of its backlog entry.
inline constexpr char kBacklogVoicePrefix[] = "!<voice";
// The layer the settings screen plays its first sample voice on.
inline constexpr int64 kSampleVoiceLayer = 99;
// How long the previous page's voice takes to fade when a new one starts.
inline constexpr int64 kVoiceHandOverMs = 100;
