#include "foundation/frame_pacer.h"

#include <gtest/gtest.h>

TEST(FramePacer, FramesStartOnAFixedScheduleOfTheWholeInterval) {
    classFramePacer pacer(16.666666);
    EXPECT_DOUBLE_EQ(pacer.Schedule(1000.0), 0.0) << "the first frame starts at once";
    // The next start is 1016.666666; a 2 ms frame ends at 1002.
    EXPECT_NEAR(pacer.Schedule(1002.0), 14.666666, 1e-9);
    // Three intervals after the first start: 1049.999998 (a cut to 16 ms would give 1048).
    EXPECT_NEAR(pacer.Schedule(1017.0), 16.333332, 1e-9);
    EXPECT_NEAR(pacer.Schedule(1040.0), 1049.999998 - 1040.0, 1e-9);
}

TEST(FramePacer, ALittleLateRunsAtOnceAndKeepsTheSchedule) {
    classFramePacer pacer(10.0);
    pacer.Schedule(0.0);                       // frame at 0, next 10
    EXPECT_DOUBLE_EQ(pacer.Schedule(14.0), 0.0);  // 4 ms late: now; next stays on 20
    EXPECT_DOUBLE_EQ(pacer.Schedule(15.0), 5.0);
}

TEST(FramePacer, FarBehindResynchronisesInsteadOfBursting) {
    classFramePacer pacer(10.0);
    pacer.Schedule(0.0);                          // next 10
    EXPECT_DOUBLE_EQ(pacer.Schedule(55.0), 0.0);  // 45 ms late: start now, next = 65
    EXPECT_DOUBLE_EQ(pacer.Schedule(56.0), 9.0) << "no catch-up burst after a stall";
}

TEST(FramePacer, LetsAFewFramesInBetweenWithoutMovingTheSchedule) {
    classFramePacer pacer(10.0);
    pacer.Schedule(0.0);  // next 10
    for (int i = 0; i < classFramePacer::kPromptFramesPerInterval; ++i) {
        EXPECT_TRUE(pacer.TakePromptFrame()) << "frame let in " << i;
    }
    EXPECT_FALSE(pacer.TakePromptFrame()) << "no more in the same interval";
    EXPECT_DOUBLE_EQ(pacer.Schedule(3.0), 7.0) << "the next start stays on 10";
    EXPECT_TRUE(pacer.TakePromptFrame()) << "a new interval lets frames in again";
}

TEST(FramePacer, NonPositiveIntervalFallsBackToTheDefault) {
    classFramePacer pacer(0.0);
    EXPECT_NEAR(pacer.Interval(), 16.666666, 1e-9);
}
