#include "commands/sound_commands.h"

#include <algorithm>
#include <limits>

#include "commands/flow_arguments.h"
#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_value.h"
#include "sound/script_volume.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"
#include "system/history_store.h"

using handlerargs::Integer;
using handlerargs::Real;
using handlerargs::Text;

namespace {

// Layer, group and volume numbers are 32-bit in the sound manager; a script
// number outside that range is pinned to its edge rather than wrapped onto
// some unrelated layer.
int32 ToInt32(int64 value) {
    return static_cast<int32>(std::clamp<int64>(value, std::numeric_limits<int32>::min(),
                                                std::numeric_limits<int32>::max()));
}

// A volume from a script, when it was given: 0 to 1, NaN as silence.
classOptionalValue<double> CleanVolume(const classOptionalValue<double>& volume) {
    classOptionalValue<double> out;
    if (volume.IsSet()) out.Set(ScriptVolume(volume.Get()));
    return out;
}

classSoundManager* Manager() {
    classApplication* application = GetApplication();
    return application != nullptr ? application->soundManager : nullptr;
}

void PostSoundCreate(int64 layer) {
    classQueHolder holder;
    holder.NewSoundCreate()->layer = layer;
    holder.Post();
}

void PostSoundPlay(int64 layer) {
    classQueHolder holder;
    holder.NewSoundPlay()->layer = layer;
    holder.Post();
}

void PostSoundAlterFileOnly(int64 layer, const std::string& file) {
    classQueHolder holder;
    classQue_SoundAlter* alter = holder.NewSoundAlter();
    alter->layer = layer;
    alter->files = file;
    holder.Post();
}

void ApplyVoiceRules(int64 layer, const std::string& file, classOptionalValue<int64>& play, bool skipping) {
    classApplication* application = GetApplication();
    if (application == nullptr) return;
    if (application->voiceStartedSinceKeyWait.load() == 0) {
        classQueHolder holder;
        holder.NewSoundStopToVoice()->fadeTime.Set(kVoiceHandOverMs);
        holder.Post();
        application->voiceStartedSinceKeyWait.store(1);
    }
    {
        classQueHolder holder;
        holder.NewSoundDelete()->layer = kSampleVoiceLayer;
        holder.Post();
    }
    // Skipping passes the voice by but still remembers it for replay and the
    // backlog. Skipping is this statement's: skip mode stopped at unread text
    // plays the page's voice.
    if (skipping) play.Set(0);
    {
        classCriticalSectionLock hold(application->GetLock());
        application->lastVoiceFile = file;
    }
    application->lastVoiceLayer.store(layer);
    if (application->backlogPageStarted.exchange(1) == 0) {
        g_historyLog.NewEntry();
        g_historyLog.AddLine(std::string(kBacklogVoicePrefix) + file);
    }
}

}  // namespace

namespace {

// "Sound" is "SoundAlter" on a fresh layer. The fresh layer is made after the
// voice rules' records, so the previous voice fades and the sample layer goes
// before the new voice's layer exists.
void AlterLayer(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                bool createFirst) {
    const auto layer = Integer(arguments, count, 0);
    const auto file = Text(arguments, count, 1);
    const auto volume = CleanVolume(Real(arguments, count, 2));
    const auto loop = Integer(arguments, count, 4);
    const auto stream = Integer(arguments, count, 6);
    const auto finishToDelete = Integer(arguments, count, 7);
    auto play = Integer(arguments, count, 8);
    const auto loopFileNo = Integer(arguments, count, 9);
    // Pan (3) and Silent (5) are read by scripts but change nothing a layer
    // does; Silent stays out of the record, Pan too.
    if (!layer.IsSet()) return;

    classSoundManager* manager = Manager();
    if (manager != nullptr && manager->IsVoiceLayer(ToInt32(layer.Get())))
        ApplyVoiceRules(layer.Get(), file.Get(), play, context.skipFlag.load(std::memory_order_relaxed));
    if (createFirst) PostSoundCreate(layer.Get());

    // During a skip to the next choice the main script keeps only endlessly
    // looping sounds (music); effects and voices of skipped lines are dropped.
    const classApplication* application = GetApplication();
    const bool skippingToChoice = application != nullptr && application->nextSelectSkipping.load() != 0 &&
                                  GetScriptHost().GetMainScriptContext() == &context;
    if (skippingToChoice && !(loop.IsSet() && loop.Get() == -1)) return;

    {
        classQueHolder holder;
        classQue_SoundAlter* alter = holder.NewSoundAlter();
        alter->layer = layer.Get();
        alter->files = file.Get();
        if (volume.IsSet()) alter->volume.Set(volume.Get());
        if (loop.IsSet()) alter->loop.Set(loop.Get());
        if (stream.IsSet()) alter->stream.Set(stream.Get() != 0 ? 1 : 0);
        if (finishToDelete.IsSet()) alter->finishToDelete.Set(finishToDelete.Get() != 0 ? 1 : 0);
        if (loopFileNo.IsSet()) alter->loopFileNo.Set(loopFileNo.Get());
        holder.Post();
    }
    if (play.IsSet() && play.Get() != 0) PostSoundPlay(layer.Get());
}

}  // namespace

bool CommandSoundAlter(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                       int32 count, classScriptValue&) {
    AlterLayer(context, arguments, count, false);
    return true;
}

bool CommandSound(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                  classScriptValue&) {
    AlterLayer(context, arguments, count, true);
    return true;
}

bool CommandSoundStop(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                      classScriptValue&) {
    const auto layer = Integer(arguments, count, 0);
    if (!layer.IsSet()) return true;
    const auto time = Integer(arguments, count, 1);
    const auto finishToDelete = Integer(arguments, count, 2);
    classQueHolder holder;
    classQue_SoundStop* stop = holder.NewSoundStop();
    stop->layer = layer.Get();
    stop->fadeTime = time.IsSet() ? time.Get() : 0;
    if (finishToDelete.IsSet()) stop->finishToDelete.Set(finishToDelete.Get() != 0 ? 1 : 0);
    holder.Post();
    return true;
}

bool CommandSoundVolume(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                        classScriptValue&) {
    const auto layer = Integer(arguments, count, 0);
    const auto time = Integer(arguments, count, 1);
    const auto volume = CleanVolume(Real(arguments, count, 2));
    if (!layer.IsSet() || !volume.IsSet()) return true;
    classQueHolder holder;
    classQue_SoundVolume* record = holder.NewSoundVolume();
    record->layer = layer.Get();
    record->fadeTime = time.IsSet() ? time.Get() : 0;
    record->volume = volume.Get();
    holder.Post();
    return true;
}

bool CommandSoundStopToVoice(classScriptContext&, const std::vector<classScriptValue>& arguments,
                             int32 count, classScriptValue&) {
    const auto time = Integer(arguments, count, 0);
    classQueHolder holder;
    holder.NewSoundStopToVoice()->fadeTime.Set(time.IsSet() ? time.Get() : 0);
    holder.Post();
    return true;
}

bool CommandSoundPlayRepeatToJustBeforeVoice(classScriptContext&, const std::vector<classScriptValue>& arguments,
                                             int32 count, classScriptValue&) {
    const auto layer = Integer(arguments, count, 0);
    classApplication* application = GetApplication();
    if (!layer.IsSet() || application == nullptr) return true;
    std::string file;
    {
        classCriticalSectionLock hold(application->GetLock());
        file = application->lastVoiceFile;
    }
    PostSoundCreate(layer.Get());
    PostSoundAlterFileOnly(layer.Get(), file);
    PostSoundPlay(layer.Get());
    return true;
}

// The group commands need every value they name: a group made or changed
// from a value the script never gave would hold whatever happened to be there.
bool CommandSoundGroup(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                       classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    const auto first = Integer(arguments, count, 1);
    const auto last = Integer(arguments, count, 2);
    classSoundManager* manager = Manager();
    if (!no.IsSet() || !first.IsSet() || !last.IsSet() || manager == nullptr) return true;
    manager->SetGroup(ToInt32(no.Get()), ToInt32(first.Get()), ToInt32(last.Get()));
    return true;
}

bool CommandSoundGroupVolume(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                             classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    const auto volume = CleanVolume(Real(arguments, count, 1));
    classSoundManager* manager = Manager();
    if (!no.IsSet() || !volume.IsSet() || manager == nullptr) return true;
    classCriticalSectionLock hold(g_soundLock);
    if (classSoundGroup* group = manager->FindGroup(ToInt32(no.Get())))
        group->SetVolume(ScriptVolumeThousandths(volume.Get()));
    return true;
}

bool CommandSoundGroupSilent(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                             classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    const auto value = Integer(arguments, count, 1);
    classSoundManager* manager = Manager();
    if (!no.IsSet() || !value.IsSet() || manager == nullptr) return true;
    classCriticalSectionLock hold(g_soundLock);
    if (classSoundGroup* group = manager->FindGroup(ToInt32(no.Get())))
        group->SetSilent(value.Get() != 0 ? 1 : 0);
    return true;
}

bool CommandSoundGroupAutomodeSkip(classScriptContext&, const std::vector<classScriptValue>& arguments,
                                   int32 count, classScriptValue&) {
    const auto no = Integer(arguments, count, 0);
    const auto value = Integer(arguments, count, 1);
    classSoundManager* manager = Manager();
    if (!no.IsSet() || !value.IsSet() || manager == nullptr) return true;
    classCriticalSectionLock hold(g_soundLock);
    if (classSoundGroup* group = manager->FindGroup(ToInt32(no.Get())))
        group->SetAutomodeSkip(ToInt32(value.Get()));
    return true;
}

void QueueSoundStop(int64 layer) {
    classQueHolder holder;
    classQue_SoundStop* stop = holder.NewSoundStop();
    stop->layer = layer;
    stop->fadeTime = 0;
    stop->finishToDelete.Set(1);
    holder.Post();
}

void QueueSoundPlayFile(int64 layer, const std::string& file) {
    PostSoundCreate(layer);
    PostSoundAlterFileOnly(layer, file);
    PostSoundPlay(layer);
}
