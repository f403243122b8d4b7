#pragma once
// The one background thread that drives all time-dependent sound work: every
// 100 ms it hands each registered manager the milliseconds since its previous
// pass (the time the ticks took included, so fades and refills never fall
// behind the clock).

#include <mutex>

#include "foundation/types.h"
#include "foundation/worker_thread.h"

class classSoundManager;

class classSoundUpdateThread : public classWorkerThread {
  public:
    struct Slot {
        classSoundManager* client = nullptr;  // null = free
        u32 active = 0;                       // 1 = ticked
    };
    static constexpr int kSlotCount = 10;

    static classSoundUpdateThread& Instance();
    ~classSoundUpdateThread();

    void Register(classSoundManager* client, u32 flag);
    void Unregister(classSoundManager* client);
    int UsedSlots();
    // One pass over the slots, as the thread makes it after each sleep.
    void TickClients(u32 elapsed);

    static u32 ThreadProc(void* self);

    u32 period = 100;

  private:
    classSoundUpdateThread();

    // Held for a whole pass, so a manager that unregisters can never be
    // ticked after Unregister returns.
    std::mutex slotMutex_;
    Slot slots_[kSlotCount];  // guarded by slotMutex_
};

void RegisterSoundTickClient(classSoundManager* client, u32 flag);
void UnregisterSoundTickClient(classSoundManager* client);
bool StartSoundUpdateThread();
// Asks the thread to stop and waits for it to end.
void StopSoundUpdateThread();
