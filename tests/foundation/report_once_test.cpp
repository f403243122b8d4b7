// Reports of what a game got wrong: their place in the script, once each.
#include "foundation/report_once.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"

namespace {

TEST(ReportOnce, NamesTheLineOrElseTheStatement) {
    struct Case {
        const char* name;
        classScriptOrigin origin;
        const char* line;
    };
    const Case cases[] = {
        {"line known", ScriptOriginOf("scene\\a.qvs", 12, 40), "velk2: scene\\a.qvs, line 12: x"},
        {"a compiled image has only statements", ScriptOriginOf("b.qvs", 0, 7), "velk2: b.qvs, statement 7: x"},
        {"compiled, not yet run", ScriptOriginOf("c.qvs", 3, -1), "velk2: c.qvs, line 3: x"},
        {"no statement asked", classScriptOrigin{}, "velk2: x"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatReport(c.origin, "x"), c.line) << c.name;
}

TEST(ReportOnce, TheMarkedStatementFollowsNestedScopesAndOutlivesItsName) {
    // A record posted by a statement is reported later, on another thread,
    // when the script that ran it may have gone and its name with it.
    EXPECT_FALSE(CurrentScriptOrigin().IsKnown()) << "nothing marked";
    classScriptOrigin taken;
    {
        std::string name = "scene\\outer.qvs";
        classScopedScriptOrigin outer(name, 5, 20);
        {
            classScopedScriptOrigin inner(ScriptOriginOf("inner.qvs", 8, 2));
            EXPECT_EQ(FormatReport(CurrentScriptOrigin(), "x"), "velk2: inner.qvs, line 8: x");
        }
        taken = CurrentScriptOrigin();
        name.assign("written over");
    }
    EXPECT_EQ(FormatReport(taken, "x"), "velk2: scene\\outer.qvs, line 5: x");
    EXPECT_FALSE(CurrentScriptOrigin().IsKnown()) << "the scopes are left";
}

TEST(ReportOnce, TheSameLineIsSaidOnlyOnce) {
    const classScriptOrigin at3 = ScriptOriginOf("once.qvs", 3, 9);
    const classScriptOrigin at4 = ScriptOriginOf("once.qvs", 4, 10);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ReportOnce(at3, "the picture \"p\" is missing"));
    EXPECT_FALSE(ReportOnce(at3, "the picture \"p\" is missing"));
    EXPECT_TRUE(ReportOnce(at4, "the picture \"p\" is missing")) << "another line is another report";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velk2: once.qvs, line 3: the picture \"p\" is missing\n"
              "velk2: once.qvs, line 4: the picture \"p\" is missing\n");
}

TEST(ReportOnce, AThousandLinesAreSaidThenOneLineForTheRest) {
    ForgetReportsForTesting();
    testing::internal::CaptureStderr();
    int written = 0;
    for (int i = 0; i < 1005; ++i) written += ReportOnce(classScriptOrigin{}, "mistake " + std::to_string(i)) ? 1 : 0;
    const std::string said = testing::internal::GetCapturedStderr();
    ForgetReportsForTesting();
    EXPECT_EQ(written, 1001) << "a thousand, and the line that says the rest are left out";
    EXPECT_NE(said.find("velk2: mistake 999\n"), std::string::npos);
    EXPECT_EQ(said.find("velk2: mistake 1000\n"), std::string::npos);
    EXPECT_EQ(said.substr(said.rfind("velk2: ")), "velk2: more problems than are worth listing; the rest are not said\n");
}

// A box answered once is not shown again for the same failure: the first
// repeat is said at once, the next ones once a minute with their count.
u32 g_now = 0;

TEST(ReportOnce, ABoxIsShownOnceAndItsRepeatsAreCountedOnceAMinute) {
    ForgetReportsForTesting();
    platform::SetClockSource([] { return g_now; });
    struct Step {
        u32 at;  // ms
        bool box;
        const char* said;
    };
    const char* const first = "velk2: the \"Box\" box for \"a.qvs\" is not shown again: 1 more time since it was shown; "
                              "repeats are counted and said once a minute\n";
    const Step steps[] = {
        {1000, true, ""},
        {1100, false, first},
        {2000, false, ""},
        {60000, false, ""},
        // A minute after the line: the three repeats since, this one included.
        {61100, false, "velk2: the \"Box\" box for \"a.qvs\" is not shown again: 3 more times since this was last said\n"},
    };
    for (const Step& step : steps) {
        g_now = step.at;
        testing::internal::CaptureStderr();
        EXPECT_EQ(TakeBoxTurn("Box", "filename:a.qvs", "\"a.qvs\""), step.box) << step.at;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), step.said) << step.at;
    }
    g_now = 61200;
    EXPECT_TRUE(TakeBoxTurn("Box", "filename:b.qvs", "\"b.qvs\"")) << "another failure has its own box";
    platform::SetClockSource(nullptr);
    ForgetReportsForTesting();
}

}  // namespace
