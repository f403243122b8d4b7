#include "presentation/graphic_slot.h"

#include <cmath>
#include <limits>

namespace {

using int128 = __int128;

int64 ClampToInt64(int128 value) {
    constexpr int128 lo = std::numeric_limits<int64>::min();
    constexpr int128 hi = std::numeric_limits<int64>::max();
    return static_cast<int64>(value < lo ? lo : (value > hi ? hi : value));
}

bool IsOne(const D3DXVECTOR3& v) {
    return v.x == 1.0f && v.y == 1.0f && v.z == 1.0f;
}
bool IsZero(const D3DXVECTOR3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// Puts `step` in front of everything accumulated so far, so that it acts on a
// vertex first. An accumulator that cannot be inverted (a zero scale) takes
// the step after it instead; scripts have relied on that order since slots
// were first multiplied through the inverse.
void PutInFront(D3DMATRIX& accumulator, const D3DMATRIX& step) {
    if (D3DXMatrixDeterminant(&accumulator) == 0.0f) {
        accumulator = accumulator * step;
    } else {
        accumulator = step * accumulator;
    }
}

D3DMATRIX AboutCentre(const D3DXVECTOR3& centre, const D3DMATRIX& transform) {
    D3DMATRIX away, back;
    D3DXMatrixTranslation(&away, -centre.x, -centre.y, -centre.z);
    D3DXMatrixTranslation(&back, centre.x, centre.y, centre.z);
    return away * transform * back;
}

}  // namespace

float GainCurve(float a, float b, float t) {
    return (a + b - 2.0f) * t * t * t + (3.0f - 2.0f * a - b) * t * t + a * t;
}

// The member initialisers hold the defaults, so construction is already a reset.
classGraphicSlot::classGraphicSlot(classKey64 key) : No(key) {}

void classGraphicSlot::Reset() {
    *this = classGraphicSlot(No);
}

bool classGraphicSlot::IsInStartPhase() const {
    return !IsFinished() && static_cast<int128>(remaining) > static_cast<int128>(Time) + AfterDelay;
}

void classGraphicSlot::Finish() {
    if (Loop < 0) return;
    Loop = 0;
    remaining = 0;
}

void classGraphicSlot::AdvanceTime(int64 elapsed) {
    if (skipCount != 0) {
        --skipCount;
        return;
    }
    if (IsFinished()) return;
    if (static_cast<int128>(StartDelay) + Delay + Time + AfterDelay == 0) {
        Loop = 0;
        remaining = 0;
        return;
    }
    int128 left = static_cast<int128>(remaining) - elapsed;
    auto finish = [this] {
        Loop = 0;
        remaining = 0;
    };
    // One step of the cycle bookkeeping: a new cycle starts, counting one loop off.
    // Returns false when the slot has run out of cycles and finished.
    auto startCycle = [&](int128 length) {
        left += length;
        if (Loop > 0) {
            --Loop;
        } else if (Loop == 0) {
            finish();
            return false;
        }
        return true;
    };
    if (left < 0 && StartDelay >= 0) {
        int128 first = static_cast<int128>(StartDelay) + Time + AfterDelay;
        StartDelay = -1;
        if (!startCycle(first)) return;
    }
    if (left < 0) {
        const int128 cycle = static_cast<int128>(Delay) + Time + AfterDelay;
        if (cycle <= 0) {
            // Adding the cycle never brings the time back: every remaining loop
            // is used up at once and the slot ends at its targets. An endless
            // slot would never get out, so it ends the same way.
            finish();
            return;
        }
        const int128 cycles = (-left + cycle - 1) / cycle;  // additions until left >= 0
        if (Loop < 0) {
            left += cycles * cycle;
        } else if (static_cast<int128>(Loop) >= cycles) {
            Loop = static_cast<int64>(Loop - cycles);
            left += cycles * cycle;
        } else {
            finish();
            return;
        }
    }
    remaining = ClampToInt64(left);
}

void classGraphicSlot::Apply(classSlotAccumulator& accumulator) const {
    D3DXVECTOR3 position{};
    D3DXVECTOR3 scale{1.0f, 1.0f, 1.0f};
    float roll = 0.0f;
    float transmittance = 0.0f;
    float rate = 0.0f;
    if (IsInStartPhase()) {
        // Neutral values: the slot adds nothing yet.
    } else if (IsFinished() || IsInAfterDelay()) {
        position = Position;
        scale = Scale;
        roll = Roll;
        transmittance = Transmittance;
        rate = Rate;
    } else {
        const double t = static_cast<double>(Time - (remaining - AfterDelay)) / static_cast<double>(Time);
        float f = GainCurve(TimeGainStart, TimeGainEnd, static_cast<float>(t));
        if (!(f >= 0.0f)) f = 0.0f;
        if (f > 1.0f) f = 1.0f;
        const D3DXVECTOR3 zero{};
        const D3DXVECTOR3 one{1.0f, 1.0f, 1.0f};
        D3DXVec3Hermite(&position, &zero, &PositionGainStart, &Position, &PositionGainEnd, f);
        D3DXVec3Hermite(&scale, &one, &ScaleGainStart, &Scale, &ScaleGainEnd, f);
        roll = Roll * f;
        transmittance = Transmittance * f;
        rate = Rate * f;
    }

    if (!IsOne(scale)) {
        D3DMATRIX scaling;
        D3DXMatrixScaling(&scaling, scale.x, scale.y, scale.z);
        PutInFront(accumulator.matrix, AboutCentre(ScaleCenter, scaling));
    }
    if (roll != 0.0f) {
        // Whole turns drop out, keeping the angle within (-2, 2) half turns;
        // fmod does so for any value without an integer conversion.
        roll = std::fmod(roll, 2.0f);
        D3DMATRIX rotation;
        D3DXMatrixRotationAxis(&rotation, &RollAxis, roll * 3.1415927f);
        PutInFront(accumulator.matrix, AboutCentre(RollCenter, rotation));
    }
    if (!IsZero(position)) {
        D3DMATRIX translation;
        D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
        PutInFront(accumulator.matrix, translation);
    }
    if (transmittance != 0.0f) accumulator.transmittance += transmittance;
    accumulator.rate += rate;
}
