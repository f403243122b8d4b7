// Slot timing and the transform a slot adds, against the cycle rules worked
// through by hand.
#include "presentation/graphic_slot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

classGraphicSlot Timed(int64 time, int64 loop, int64 startDelay = 0, int64 delay = 0, int64 afterDelay = 0) {
    classGraphicSlot slot(1);
    slot.Time = time;
    slot.Loop = loop;
    slot.StartDelay = startDelay;
    slot.Delay = delay;
    slot.AfterDelay = afterDelay;
    return slot;
}

D3DXVECTOR3 Moved(const D3DXVECTOR3& v, const classSlotAccumulator& accumulator) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &accumulator.matrix);
    return out;
}

classSlotAccumulator Applied(const classGraphicSlot& slot) {
    classSlotAccumulator accumulator;
    slot.Apply(accumulator);
    return accumulator;
}

void ExpectNear(const D3DXVECTOR3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-3f);
    EXPECT_NEAR(actual.y, y, 1e-3f);
    EXPECT_NEAR(actual.z, z, 1e-3f);
}

TEST(GraphicSlotTiming, ResetSlotIsFinishedAtItsNeutralTargets) {
    classGraphicSlot slot(7);
    EXPECT_EQ(slot.No.Value(), 7);
    EXPECT_TRUE(slot.IsFinished());
    EXPECT_EQ(slot.Scale, (D3DXVECTOR3{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(slot.RollAxis, (D3DXVECTOR3{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(slot.TimeGainStart, 1.0f);
    classSlotAccumulator accumulator = Applied(slot);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&accumulator.matrix));
    EXPECT_EQ(accumulator.rate, 1.0f);

    slot.Time = 5;
    slot.Loop = 3;
    slot.Position.x = 9.0f;
    slot.Reset();
    EXPECT_EQ(slot.No.Value(), 7);
    EXPECT_EQ(slot.Time, 0);
    EXPECT_EQ(slot.Loop, 0);
    EXPECT_EQ(slot.Position.x, 0.0f);
}

TEST(GraphicSlotTiming, OneCycleAtAQuarter) {
    classGraphicSlot slot = Timed(1000, 1);
    slot.Roll = 1.0f;
    slot.Transmittance = 0.8f;
    slot.Rate = 2.0f;
    slot.AdvanceTime(250);
    EXPECT_EQ(slot.remaining, 750);
    EXPECT_EQ(slot.Loop, 0);
    EXPECT_EQ(slot.StartDelay, -1);
    classSlotAccumulator a = Applied(slot);
    EXPECT_NEAR(a.transmittance, 0.2f, 1e-6f);
    EXPECT_NEAR(a.rate, 1.5f, 1e-6f);
    // A quarter of half a turn is 45 degrees.
    ExpectNear(Moved({1.0f, 0.0f, 0.0f}, a), std::sqrt(0.5f), std::sqrt(0.5f), 0.0f);

    classGraphicSlot moving = Timed(1000, 1);
    moving.Position = {100.0f, -40.0f, 8.0f};
    moving.AdvanceTime(250);
    // Hermite from 0 with flat tangents: 0.15625 of the way at t = 0.25.
    ExpectNear(Moved({}, Applied(moving)), 15.625f, -6.25f, 1.25f);

    moving.AdvanceTime(750);
    EXPECT_TRUE(moving.IsFinished());
    ExpectNear(Moved({}, Applied(moving)), 100.0f, -40.0f, 8.0f);
}

TEST(GraphicSlotTiming, DelaysHoldTheStartValues) {
    classGraphicSlot slot = Timed(1000, 1, /*startDelay*/ 500);
    slot.Transmittance = 1.0f;
    slot.AdvanceTime(400);
    EXPECT_TRUE(slot.IsInStartPhase());
    EXPECT_EQ(Applied(slot).transmittance, 0.0f);
    slot.AdvanceTime(100);
    EXPECT_FALSE(slot.IsInStartPhase());
    EXPECT_EQ(Applied(slot).transmittance, 0.0f);  // t = 0
    slot.AdvanceTime(500);
    EXPECT_NEAR(Applied(slot).transmittance, 0.5f, 1e-6f);
    slot.AdvanceTime(500);
    EXPECT_TRUE(slot.IsFinished());
    EXPECT_EQ(Applied(slot).transmittance, 1.0f);

    // Loop 2 with Delay 300: the second cycle starts from the start values after the pause.
    classGraphicSlot twice = Timed(1000, 2, 0, /*delay*/ 300);
    twice.Transmittance = 1.0f;
    twice.AdvanceTime(1000);
    EXPECT_EQ(twice.Loop, 1);
    EXPECT_EQ(Applied(twice).transmittance, 1.0f);  // end of the first cycle
    twice.AdvanceTime(100);
    EXPECT_TRUE(twice.IsInStartPhase());
    EXPECT_EQ(twice.remaining, 1200);
    EXPECT_EQ(Applied(twice).transmittance, 0.0f);
    twice.AdvanceTime(700);
    EXPECT_NEAR(Applied(twice).transmittance, 0.5f, 1e-6f);
    twice.AdvanceTime(500);
    EXPECT_TRUE(twice.IsFinished());

    // AfterDelay holds the targets before the cycle ends.
    classGraphicSlot held = Timed(100, 1, 0, 0, /*afterDelay*/ 50);
    held.Transmittance = 1.0f;
    held.AdvanceTime(120);
    EXPECT_EQ(held.remaining, 30);
    EXPECT_TRUE(held.IsInAfterDelay());
    EXPECT_FALSE(held.IsFinished());
    EXPECT_EQ(Applied(held).transmittance, 1.0f);

    // Time 0 after a StartDelay of 400 jumps from the start values to the targets.
    classGraphicSlot jump = Timed(0, 1, 400);
    jump.Transmittance = 1.0f;
    jump.AdvanceTime(399);
    EXPECT_EQ(Applied(jump).transmittance, 0.0f);
    jump.AdvanceTime(1);
    EXPECT_TRUE(jump.IsFinished());
    EXPECT_EQ(Applied(jump).transmittance, 1.0f);
}

TEST(GraphicSlotTiming, AdvancesSkipWholeCyclesAndCyclesOfNoLengthEndInsteadOfHanging) {
    constexpr int64 kMax = std::numeric_limits<int64>::max();
    constexpr int64 kAny = -2;  // not checked
    struct Case {
        const char* name;
        int64 time, loop, startDelay, delay;
        std::vector<int64> advances;
        bool finished;
        int64 remaining;
        int64 loopAfter;
    };
    const Case cases[] = {
        {"a long frame skips whole cycles", 1000, 3, 0, 0, {2500}, false, 500, 0},
        {"more time than cycles finishes", 1000, 2, 0, 0, {5000}, true, 0, 0},
        {"an endless slot keeps its loop", 1000, -1, 0, 0, {2500}, false, 500, -1},
        {"all four times 0 finish at the first advance, even of no time", 0, 5, 0, 0, {0}, true, 0, 0},
        {"a negative time", -5, -1, 0, 0, {16}, true, 0, 0},
        {"nothing after a start delay, endless", 0, -1, 400, 0, {500}, true, 0, 0},
        {"a huge loop count of cycles below zero", -3, kMax, 1, 0, {100}, true, 0, 0},
        {"a 1 ms endless cycle against a very long frame", 1, -1, 0, 0, {1'000'000'000'000}, false, 0, -1},
        {"then its cycle sum is 0 and the next advance ends it", 1, -1, 0, 0, {1'000'000'000'000, 1}, true, 0, 0},
        {"the longest frame", 1000, 1, 0, 0, {kMax}, true, 0, 0},
        {"the longest cycles, endless", kMax, -1, 0, kMax, {kMax, kMax}, false, kAny, -1},
    };
    for (const Case& c : cases) {
        classGraphicSlot slot = Timed(c.time, c.loop, c.startDelay, c.delay);
        for (int64 elapsed : c.advances) slot.AdvanceTime(elapsed);
        EXPECT_EQ(slot.IsFinished(), c.finished) << c.name;
        if (c.remaining != kAny) {
            EXPECT_EQ(slot.remaining, c.remaining) << c.name;
        }
        EXPECT_GE(slot.remaining, 0) << c.name;
        EXPECT_EQ(slot.Loop, c.loopAfter) << c.name;
    }
}

TEST(GraphicSlotTiming, FinishSkipCountAndAutoDelete) {
    classGraphicSlot endless = Timed(1000, -1);
    for (int i = 0; i < 100; ++i) endless.AdvanceTime(333);
    EXPECT_FALSE(endless.IsFinished());
    endless.Finish();
    EXPECT_EQ(endless.Loop, -1);
    EXPECT_FALSE(endless.IsFinished());

    classGraphicSlot counted = Timed(1000, 4);
    counted.AdvanceTime(10);
    counted.Finish();
    EXPECT_TRUE(counted.IsFinished());

    // skipCount swallows whole advances.
    classGraphicSlot skipping = Timed(1000, 1);
    skipping.skipCount = 2;
    skipping.AdvanceTime(300);
    skipping.AdvanceTime(300);
    EXPECT_EQ(skipping.skipCount, 0);
    EXPECT_EQ(skipping.remaining, 0);
    skipping.AdvanceTime(300);
    EXPECT_EQ(skipping.remaining, 700);

    classGraphicSlot autoDelete = Timed(10, 1);
    autoDelete.AutoDeleteFlag = 1;
    EXPECT_FALSE(autoDelete.IsFinishedAutoDelete());
    autoDelete.AdvanceTime(10);
    EXPECT_TRUE(autoDelete.IsFinishedAutoDelete());
}

// The cycle rule exactly as the engine describes it, one cycle at a time,
// with a bound; false when the bound was hit.
bool LiteralAdvance(classGraphicSlot& s, int64 elapsed) {
    if (s.skipCount != 0) {
        --s.skipCount;
        return true;
    }
    if (s.Loop == 0 && s.remaining == 0) return true;
    if (s.StartDelay + s.Delay + s.Time + s.AfterDelay == 0) {
        s.Loop = 0;
        s.remaining = 0;
        return true;
    }
    s.remaining -= elapsed;
    for (int guard = 0; s.remaining < 0; ++guard) {
        if (guard > 100000) return false;
        if (s.StartDelay >= 0) {
            s.remaining += s.StartDelay + s.Time + s.AfterDelay;
            s.StartDelay = -1;
        } else {
            s.remaining += s.Delay + s.Time + s.AfterDelay;
        }
        if (s.Loop > 0) {
            --s.Loop;
        } else if (s.Loop == 0) {
            s.remaining = 0;
        }
    }
    return true;
}

TEST(GraphicSlotTiming, ClosedFormAgreesWithTheCycleLoopOnSmallValues) {
    int compared = 0;
    int hung = 0;
    for (int64 startDelay : {-1, 0, 3})
        for (int64 delay : {-2, 0, 2, 5})
            for (int64 time : {-1, 0, 1, 4})
                for (int64 after : {0, 3})
                    for (int64 loop : {-1, 0, 1, 2, 5})
                        for (int64 remaining : {0, 1, 7})
                            for (int64 elapsed : {0, 1, 3, 10, 50}) {
                                classGraphicSlot expected = Timed(time, loop, startDelay, delay, after);
                                expected.remaining = remaining;
                                classGraphicSlot actual = expected;
                                const bool ended = LiteralAdvance(expected, elapsed);
                                actual.AdvanceTime(elapsed);
                                if (!ended) {
                                    // Where the loop never ends, the slot ends at its targets.
                                    ++hung;
                                    EXPECT_TRUE(actual.IsFinished());
                                    continue;
                                }
                                ++compared;
                                EXPECT_EQ(actual.remaining, expected.remaining)
                                    << startDelay << ' ' << delay << ' ' << time << ' ' << after << ' '
                                    << loop << ' ' << remaining << ' ' << elapsed;
                                EXPECT_EQ(actual.Loop, expected.Loop);
                                EXPECT_EQ(actual.StartDelay, expected.StartDelay);
                            }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(hung, 0);
}

TEST(GraphicSlotTransform, OneSlotMovesThenRollsThenScales) {
    classGraphicSlot slot(0);
    slot.Scale = {2.0f, 2.0f, 2.0f};
    slot.ScaleCenter = {10.0f, 0.0f, 0.0f};
    slot.Roll = 0.5f;
    slot.Position = {100.0f, 0.0f, 0.0f};
    // (0,0) → moved (100, 0) → a quarter turn (0, 100) → doubled about (10, 0): (−10, 200).
    ExpectNear(Moved({}, Applied(slot)), -10.0f, 200.0f, 0.0f);

    classGraphicSlot rolled(0);
    rolled.Roll = 0.5f;
    rolled.RollCenter = {50.0f, 50.0f, 0.0f};
    // (60, 50) is 10 right of the centre; a quarter turn puts it 10 above.
    ExpectNear(Moved({60.0f, 50.0f, 0.0f}, Applied(rolled)), 50.0f, 60.0f, 0.0f);
}

TEST(GraphicSlotTransform, LaterSlotsActFirst) {
    classGraphicSlot move(0);
    move.Position = {100.0f, 0.0f, 0.0f};
    classGraphicSlot roll(1);
    roll.Roll = 0.5f;
    classSlotAccumulator accumulator;
    move.Apply(accumulator);
    roll.Apply(accumulator);
    // Rolled first: (10, 0) → (0, 10) → (100, 10). The other order would give (0, 110).
    ExpectNear(Moved({10.0f, 0.0f, 0.0f}, accumulator), 100.0f, 10.0f, 0.0f);
}

TEST(GraphicSlotTransform, RollKeepsWithinOneTurn) {
    for (float roll : {3.5f, 1.5f, -0.5f}) {
        classGraphicSlot slot(0);
        slot.Roll = roll;
        // Three quarter turns counter-clockwise: x goes to −y.
        ExpectNear(Moved({1.0f, 0.0f, 0.0f}, Applied(slot)), 0.0f, -1.0f, 0.0f);
    }
    classGraphicSlot back(0);
    back.Roll = -3.5f;  // −1.5 half turns = a quarter turn counter-clockwise
    ExpectNear(Moved({1.0f, 0.0f, 0.0f}, Applied(back)), 0.0f, 1.0f, 0.0f);
    classGraphicSlot three(0);
    three.Roll = 3.0f;  // acts as one half turn
    ExpectNear(Moved({1.0f, 2.0f, 0.0f}, Applied(three)), -1.0f, -2.0f, 0.0f);
}

TEST(GraphicSlotTransform, ASingularAccumulatorTakesLaterStepsAfterIt) {
    classGraphicSlot flat(0);
    flat.Scale = {1.0f, 1.0f, 0.0f};
    classGraphicSlot lift(1);
    lift.Position = {0.0f, 0.0f, 7.0f};
    classSlotAccumulator accumulator;
    flat.Apply(accumulator);
    lift.Apply(accumulator);
    // With the flattening in place, the lift is multiplied after it, so it survives.
    ExpectNear(Moved({1.0f, 2.0f, 3.0f}, accumulator), 1.0f, 2.0f, 7.0f);
}

TEST(GraphicSlotTransform, GainsShapeTheTimeCurve) {
    EXPECT_FLOAT_EQ(GainCurve(1.0f, 1.0f, 0.3f), 0.3f);
    EXPECT_FLOAT_EQ(GainCurve(0.0f, 0.0f, 0.5f), 0.5f);  // ease in and out: 3t² − 2t³
    EXPECT_FLOAT_EQ(GainCurve(0.0f, 0.0f, 0.25f), 0.15625f);
    EXPECT_FLOAT_EQ(GainCurve(2.0f, 0.0f, 1.0f), 1.0f);
    // (a+b−2)t³ + (3−2a−b)t² + a·t with a = 3, b = 3, t = 0.5: 0.5 − 1.5 + 1.5 = 0.5.
    EXPECT_FLOAT_EQ(GainCurve(3.0f, 3.0f, 0.5f), 0.5f);

    // A curve that overshoots is clamped: a = 6, b = 1 at t = 0.5 gives
    // 5/8 − 10/4 + 3 = 1.125, seen as 1.
    classGraphicSlot slot = Timed(1000, 1);
    slot.TimeGainStart = 6.0f;
    slot.TimeGainEnd = 1.0f;
    slot.Transmittance = 1.0f;
    slot.AdvanceTime(500);
    EXPECT_EQ(Applied(slot).transmittance, 1.0f);
}

}  // namespace
