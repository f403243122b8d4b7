#pragma once
// A current state and a requested state. One thread (the UI thread, a script
// thread) asks for a change with SetRequested; the owner carries it out later
// and marks it done. Both bytes are atomic: the asking and the applying thread
// take no common lock.
//
// Owners should read the request once with GetRequested, carry out exactly that
// value, and then call Apply(value) / DropRequested(value): a request that
// arrives while the owner works is then kept for the next pass instead of being
// marked done without having been carried out.

#include <atomic>

#include "foundation/types.h"

class classFlagPair {
public:
    u8 GetCurrent() const { return current_.load(std::memory_order_acquire); }
    u8 GetRequested() const { return requested_.load(std::memory_order_acquire); }
    void SetRequested(u8 value) { requested_.store(value, std::memory_order_release); }
    bool IsChanged() const { return GetCurrent() != GetRequested(); }

    // The owner carried out `applied` (the value it read with GetRequested).
    void Apply(u8 applied) { current_.store(applied, std::memory_order_release); }
    // The owner gave up the request `seen`; a newer request stays pending.
    void DropRequested(u8 seen) {
        u8 expected = seen;
        requested_.compare_exchange_strong(expected, GetCurrent(), std::memory_order_acq_rel);
    }

    // Whole-pair forms for owners that hold their own lock around the change.
    void ApplyRequested() { Apply(GetRequested()); }
    void DropRequested() { requested_.store(GetCurrent(), std::memory_order_release); }

private:
    std::atomic<u8> current_{0};
    std::atomic<u8> requested_{0};
};
