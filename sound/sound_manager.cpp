#include "sound/sound_manager.h"

#include <algorithm>

#include "sound/sound_system.h"
#include "sound/sound_update_thread.h"

void classSoundGroup::SetVolume(int32 volume) {
    state.volume = std::clamp<int32>(volume, 0, 1000);
    state.changed = 1;
}

void classSoundGroup::SetSilent(u8 silent) {
    state.silent = silent;
    state.changed = 1;
}

bool classSoundGroup::TakeChanged() {
    bool was = state.changed != 0;
    state.changed = 0;
    return was;
}

classSoundManager::classSoundManager() { RegisterSoundTickClient(this, 1); }

classSoundManager::~classSoundManager() {
    // Unregistering first waits out a pass in progress, and the slot lock
    // comes before g_soundLock.
    UnregisterSoundTickClient(this);
    classCriticalSectionLock hold(g_soundLock);
    layers_.clear();
}

classSoundLayer* classSoundManager::FindLayer(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    for (auto& layer : layers_) {
        if (layer->Number() == number && !layer->IsFinished()) return layer.get();
    }
    return nullptr;
}

classSoundLayer* classSoundManager::GetOrCreateLayer(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    if (classSoundLayer* found = FindLayer(number)) return found;
    layers_.push_front(std::make_unique<classSoundLayer>(number, this));
    return layers_.front().get();
}

void classSoundManager::DeleteLayer(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    layers_.remove_if([number](const std::unique_ptr<classSoundLayer>& l) { return l->Number() == number; });
}

void classSoundManager::DeleteAllLayers() {
    classCriticalSectionLock hold(g_soundLock);
    layers_.clear();
}

std::size_t classSoundManager::LayerCount() {
    classCriticalSectionLock hold(g_soundLock);
    return layers_.size();
}

bool classSoundManager::SetGroup(int32 number, int32 first, int32 last) {
    classCriticalSectionLock hold(g_soundLock);
    auto found = groups_.find(number);
    if (found != groups_.end()) {
        found->second.state.firstLayer = first;
        found->second.state.lastLayer = last;
        return false;
    }
    classSoundGroup group;
    group.state.firstLayer = first;
    group.state.lastLayer = last;
    groups_.emplace(number, group);
    return true;
}

classSoundGroup* classSoundManager::FindGroup(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    auto found = groups_.find(number);
    return found == groups_.end() ? nullptr : &found->second;
}

int32 classSoundManager::EffectiveVolumeOf(int32 layerNumber, int32 layerVolume) {
    classCriticalSectionLock hold(g_soundLock);
    int64 g = 1000;
    for (const auto& [number, group] : groups_) {
        if (!group.Contains(layerNumber)) continue;
        if (group.state.silent != 0) return 0;
        g = group.state.volume * g / 1000;
    }
    int64 v = (static_cast<int64>(masterGroup_.state.volume) * g / 1000) * layerVolume / 1000;
    return static_cast<int32>(std::clamp<int64>(v, 0, 1000));
}

bool classSoundManager::IsVoiceLayer(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    for (const auto& [n, group] : groups_) {
        if (group.IsVoiceGroup() && group.Contains(number)) return true;
    }
    return false;
}

bool classSoundManager::IsVoicePlaying() {
    classCriticalSectionLock hold(g_soundLock);
    for (auto& layer : layers_) {
        if (layer->GetState() != 1 || !IsVoiceLayer(layer->Number())) continue;
        bool silent = false;
        for (const auto& [n, group] : groups_) {
            if (group.Contains(layer->Number()) && group.state.silent != 0) silent = true;
        }
        if (!silent) return true;
    }
    return false;
}

void classSoundManager::StopVoices(int32 milliseconds) {
    classCriticalSectionLock hold(g_soundLock);
    for (auto& layer : layers_) {
        if (layer->GetState() == 1 && IsVoiceLayer(layer->Number())) layer->FadeOutAndStop(milliseconds);
    }
}

bool classSoundManager::IsLayerPlayingByTime(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    classSoundLayer* layer = FindLayer(number);
    return layer != nullptr && layer->IsPlayingByTime();
}

bool classSoundManager::GetLayerTimes(int32 number, u32* elapsedMs, u32* totalMs) {
    classCriticalSectionLock hold(g_soundLock);
    classSoundLayer* layer = FindLayer(number);
    if (layer == nullptr) return false;
    if (elapsedMs != nullptr) *elapsedMs = layer->GetElapsedMs();
    if (totalMs != nullptr) *totalMs = layer->GetTotalLengthMs();
    return true;
}

bool classSoundManager::GetLayerRemainingByPosition(int32 number, int64* remainingMs) {
    classCriticalSectionLock hold(g_soundLock);
    classSoundLayer* layer = FindLayer(number);
    return layer != nullptr && layer->GetRemainingByPositionMs(remainingMs);
}

int classSoundManager::GetLayerState(int32 number) {
    classCriticalSectionLock hold(g_soundLock);
    classSoundLayer* layer = FindLayer(number);
    return layer == nullptr ? 0 : layer->GetState();
}

void classSoundManager::Tick(u32 elapsed) {
    classCriticalSectionLock hold(g_soundLock);
    bool changed = masterGroup_.TakeChanged();
    for (auto& [number, group] : groups_) changed = group.TakeChanged() || changed;
    for (auto& layer : layers_) changed = layer->Tick(elapsed) || changed;
    // A finished layer that asked to go is removed on every tick: lookups
    // already ignore it, and its decoded sound is only dead weight.
    layers_.remove_if([](const std::unique_ptr<classSoundLayer>& l) { return l->IsFinished(); });
    if (!changed) return;
    for (auto& layer : layers_) {
        if (layer->GetState() != 0) layer->ApplyVolume();
    }
}
