#include "sound/sound_update_thread.h"

#include <chrono>
#include <cstdio>

#include "platform/clock.h"
#include "sound/sound_manager.h"

classSoundUpdateThread::classSoundUpdateThread() : classWorkerThread(&classSoundUpdateThread::ThreadProc) {}

classSoundUpdateThread::~classSoundUpdateThread() { Stop(1000); }

classSoundUpdateThread& classSoundUpdateThread::Instance() {
    static classSoundUpdateThread instance;
    return instance;
}

void classSoundUpdateThread::Register(classSoundManager* client, u32 flag) {
    if (client == nullptr) return;
    std::lock_guard<std::mutex> hold(slotMutex_);
    for (Slot& slot : slots_) {
        if (slot.client == client) return;
    }
    for (Slot& slot : slots_) {
        if (slot.client == nullptr) {
            slot.client = client;
            slot.active = flag;
            return;
        }
    }
}

void classSoundUpdateThread::Unregister(classSoundManager* client) {
    std::lock_guard<std::mutex> hold(slotMutex_);
    for (Slot& slot : slots_) {
        if (slot.client == client) slot = Slot{};
    }
}

int classSoundUpdateThread::UsedSlots() {
    std::lock_guard<std::mutex> hold(slotMutex_);
    int used = 0;
    for (const Slot& slot : slots_) used += slot.client != nullptr ? 1 : 0;
    return used;
}

void classSoundUpdateThread::TickClients(u32 elapsed) {
    std::lock_guard<std::mutex> hold(slotMutex_);
    for (const Slot& slot : slots_) {
        if (slot.client != nullptr && slot.active == 1) slot.client->Tick(elapsed);
    }
}

u32 classSoundUpdateThread::ThreadProc(void* self) {
    auto* thread = static_cast<classSoundUpdateThread*>(self);
    u32 t0 = platform::NowMs();
    while (!thread->IsStopRequested()) {
        // A stop during the sleep still lets this pass tick once.
        thread->SleepFor(std::chrono::milliseconds(thread->period));
        u32 t = platform::NowMs();
        thread->TickClients(t - t0);
        t0 = t;
    }
    return 0;
}

void RegisterSoundTickClient(classSoundManager* client, u32 flag) {
    classSoundUpdateThread::Instance().Register(client, flag);
}

void UnregisterSoundTickClient(classSoundManager* client) { classSoundUpdateThread::Instance().Unregister(client); }

bool StartSoundUpdateThread() { return classSoundUpdateThread::Instance().Start(); }

void StopSoundUpdateThread() {
    classSoundUpdateThread& thread = classSoundUpdateThread::Instance();
    // A tick never waits on anything but g_soundLock, so a generous bound is
    // only ever hit by a bug; say so rather than tear down under a live tick.
    if (thread.Stop(10000) == classWorkerThread::kTimedOut) {
        std::fprintf(stderr, "velk2: the sound update thread did not stop\n");
    }
}
