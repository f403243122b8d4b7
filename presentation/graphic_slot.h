#pragma once
// One timed animation of a graphic object. Over a cycle it carries the object
// from neutral values (no move, scale 1, no roll, no fade, no speed-up) to its
// targets along an eased time curve, with a delay before, a hold after, a
// number of cycles and an optional self-deletion. Slot 0 of every object is
// its base slot: the graphic commands keep the object's own x, y, z and
// transmittance there, and with its default timing it simply sits at them.
//
// Threads: slots live inside their object and follow its rule (render thread
// changes them under the application lock).

#include "foundation/types.h"
#include "foundation/vector3.h"
#include "presentation/d3dx_math.h"
#include "presentation/graphic_key.h"

// What the slots of one object add up to in one update: the object's own
// transform (before its parent's), the transmittance sum and the time rate.
struct classSlotAccumulator {
    D3DMATRIX matrix = IdentityMatrix();
    float transmittance = 0.0f;
    float rate = 1.0f;
};

// The time curve: 0 at t = 0, 1 at t = 1, slope a at the start and b at the end.
float GainCurve(float a, float b, float t);

class classGraphicSlot {
  public:
    explicit classGraphicSlot(classKey64 key = classKey64());

    // Every field but No back to its default: finished, at neutral targets.
    void Reset();

    bool IsFinished() const { return Loop == 0 && remaining == 0; }
    bool IsFinishedAutoDelete() const { return AutoDeleteFlag != 0 && IsFinished(); }
    // Still waiting out StartDelay or Delay before the animated part.
    bool IsInStartPhase() const;
    bool IsInAfterDelay() const { return remaining <= AfterDelay; }
    // Jumps to the end of the last cycle; an endless slot keeps running.
    void Finish();

    // Elapsed milliseconds, already scaled by the object's rate. Runs in
    // constant time whatever the cycle lengths: a long frame skips whole
    // cycles, and a cycle of length 0 or less ends the slot instead of
    // looping on the render thread.
    void AdvanceTime(int64 elapsed);
    void Apply(classSlotAccumulator& accumulator) const;

    classKey64 No;
    int64 skipCount = 0;
    int64 remaining = 0;
    int64 Time = 0;
    int64 StartDelay = 0;  // -1 once the first cycle has used it
    int64 Delay = 0;
    int64 AfterDelay = 0;
    float TimeGainStart = 1.0f;
    float TimeGainEnd = 1.0f;
    int64 Loop = 0;  // cycles still to start; negative runs for ever
    u8 AutoDeleteFlag = 0;
    D3DXVECTOR3 Position{};
    D3DXVECTOR3 Scale{1.0f, 1.0f, 1.0f};
    float Roll = 0.0f;  // half turns: 1.0 is 180 degrees
    float Transmittance = 0.0f;
    float Rate = 0.0f;
    D3DXVECTOR3 PositionCenter{};  // kept and saved; the animation does not use it
    D3DXVECTOR3 ScaleCenter{};
    D3DXVECTOR3 RollCenter{};
    D3DXVECTOR3 RollAxis{0.0f, 0.0f, 1.0f};
    D3DXVECTOR3 PositionGainStart{};
    D3DXVECTOR3 PositionGainEnd{};
    D3DXVECTOR3 ScaleGainStart{};
    D3DXVECTOR3 ScaleGainEnd{};
};
