// "Select" and "Case": what a case registers on the waiter, what it shows at
// once, and a choice run end to end where a key picks a case and the script
// goes on inside that case's block and then past the "Select".
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "commands/choice_commands.h"
#include "support/executor/script_runner.h"
#include "support/wait_fixture.h"

namespace {

using namespace std::chrono_literals;
using Trace = std::vector<std::string>;

TEST(CaseText, TheColourTagUsesTheLowThirtyTwoBitsAsASignedNumber) {
    EXPECT_EQ(FormatCaseText(255, "Yes"), "@c(255)Yes");
    EXPECT_EQ(FormatCaseText(0xFFFFFFFFLL, "No"), "@c(-1)No");
    EXPECT_EQ(FormatCaseText(0x1000000FFLL, ""), "@c(255)");
    EXPECT_EQ(FormatCaseText(-2, "x"), "@c(-2)x");
}

class CaseRegistrationTest : public fakes::CommandWaitTest {
  protected:
    // 27 parameters, all unset but those given.
    struct Args {
        std::vector<classScriptValue> values = std::vector<classScriptValue>(27);
        Args& Int(int32 at, int64 v) {
            values[static_cast<size_t>(at)].SetInteger(v);
            return *this;
        }
        Args& Text(int32 at, const char* v) {
            values[static_cast<size_t>(at)].SetString(v);
            return *this;
        }
        Args& List(int32 at, std::initializer_list<int64> keys) {
            auto* list = values[static_cast<size_t>(at)].MakeList();
            for (int64 k : keys) list->emplace_back().SetInteger(k);
            return *this;
        }
    };
    void Register(const Args& args) {
        classScriptValue result;
        CommandCase(context, args.values, 27, result);
    }
    std::vector<classInputTarget*> Targets() {
        std::vector<classInputTarget*> out;
        for (classInputTarget& t : holder->Get()->Targets()) out.push_back(&t);
        return out;
    }
};

TEST_F(CaseRegistrationTest, TheKindIsTheFirstRuleThatApplies) {
    context.selectPhase = 1;
    Register(Args().Int(26, 3).Int(1, 27));            // MoveAfterward beats InKey
    Register(Args().Int(1, 27).Int(4, 1));             // InKey beats the wheel
    Register(Args().List(2, {38, 38, 40}));            // key sequence
    Register(Args().Int(4, 1));                        // wheel up
    Register(Args().Int(4, -1));                       // wheel down
    Register(Args().Int(4, 0));                        // no direction: no target
    Register(Args().Int(24, 16));                      // window message
    Register(Args());                                  // left button by default
    Register(Args().Int(3, 2));                        // right button
    Register(Args().Int(24, 16).List(2, {1, 2}));      // a key table wins over the message
    auto targets = Targets();
    ASSERT_EQ(targets.size(), 9u);
    EXPECT_EQ(targets[0]->kind, classInputTarget::kMoveOutLeft);
    EXPECT_EQ(targets[1]->kind, classInputTarget::kKey);
    EXPECT_EQ(targets[1]->code, 27u);
    EXPECT_EQ(targets[2]->kind, classInputTarget::kKeySequence);
    EXPECT_EQ(targets[2]->keyList, (std::vector<int64>{38, 38, 40}));
    EXPECT_EQ(targets[3]->kind, classInputTarget::kWheelUp);
    EXPECT_EQ(targets[4]->kind, classInputTarget::kWheelDown);
    EXPECT_EQ(targets[5]->kind, classInputTarget::kWindowMessage);
    EXPECT_EQ(targets[5]->message, 16u);
    EXPECT_EQ(targets[6]->kind, classInputTarget::kMouseButton);
    EXPECT_EQ(targets[6]->code, 1u);
    EXPECT_EQ(targets[7]->code, 2u);
    EXPECT_EQ(targets[8]->kind, classInputTarget::kKeySequence);
    // Outside a statement there is no position to jump to.
    EXPECT_FALSE(targets[6]->jump.IsSet());
}

TEST_F(CaseRegistrationTest, StoresFilesFlagsAndShowsItsTextAtOnce) {
    context.selectPhase = 1;
    Register(Args()
                 .Int(0, 1)
                 .List(8, {40, 1})
                 .Text(9, "n.png")
                 .Text(10, "s.png")
                 .Text(12, "d.png")
                 .Int(13, 7)
                 .Text(15, "hover.ogg")
                 .Text(19, "Go left")
                 .Int(20, 255)
                 .Int(22, 0xFFFFFFFF)
                 .Int(25, 1));
    auto targets = Targets();
    ASSERT_EQ(targets.size(), 1u);
    const classInputTarget& t = *targets[0];
    EXPECT_EQ(t.disabled, 1);
    EXPECT_EQ(t.moveOn, 1);
    EXPECT_EQ(t.region, (std::vector<int64>{40, 1}));
    EXPECT_EQ(t.caseStrings[1], "n.png");
    EXPECT_EQ(t.caseStrings[2], "s.png");
    EXPECT_EQ(t.caseStrings[3], "");
    EXPECT_EQ(t.caseStrings[4], "d.png");
    ASSERT_TRUE(t.soundLayer.IsSet());
    EXPECT_EQ(t.soundLayer.Get(), 7);
    EXPECT_EQ(t.caseStrings[7], "hover.ogg");
    // No TextLayer: the text goes where the image is.
    EXPECT_EQ(t.textLayer, (std::vector<int64>{40, 1}));
    EXPECT_EQ(t.caseStrings[14], "@c(255)Go left");
    EXPECT_EQ(t.caseStrings[15], "") << "no select colour, no select text";
    EXPECT_EQ(t.caseStrings[16], "@c(-1)Go left");

    auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].type, QuePageFeed);
    EXPECT_EQ(posted[1].type, QueGraphicStdOutTextX);
    EXPECT_EQ(posted[0].sceneMask, 1u);
    EXPECT_FALSE(posted[1].committed) << "shown with the next commit";
    const classQue_GraphicStdOutTextX* out = nullptr;
    GetMainQueue()->ForEachRecord([&out](const classQueBase& r, bool) {
        if (r.GetType() == QueGraphicStdOutTextX) out = static_cast<const classQue_GraphicStdOutTextX*>(&r);
    });
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->text, "Go left") << "drawn without the colour tag";
    EXPECT_EQ(out->path, (std::vector<int64>{40, 1}));
    ASSERT_TRUE(out->color.IsSet());
    EXPECT_EQ(out->color.Get(), 255);
    EXPECT_EQ(out->fontNo.Get(), 0);
    EXPECT_EQ(out->speed.Get(), 0);
}

// A case's text goes where its thread's choice shows itself: the main queue
// for the main script, a Function thread's own queue for that thread.
TEST_F(CaseRegistrationTest, ACasesTextGoesToItsThreadsQueue) {
    context.selectPhase = 1;
    classQueue own;
    struct Case {
        const char* name;
        classQueue* waiterQueue;
        std::size_t onMain, onOwn;
    } cases[] = {{"main script", nullptr, 2, 0}, {"Function thread", &own, 0, 2}};
    for (const Case& c : cases) {
        GetMainQueue()->DiscardAll();
        own.DiscardAll();
        holder->Get()->queue = c.waiterQueue;
        Register(Args().List(8, {40, 1}).Text(19, "Go left"));
        EXPECT_EQ(GetMainQueue()->GetRecordCount(), c.onMain) << c.name;
        EXPECT_EQ(own.GetRecordCount(), c.onOwn) << c.name;
    }
    holder->Get()->queue = nullptr;
}

TEST_F(CaseRegistrationTest, OutsideTheRegistrationPassNothingIsRegistered) {
    context.selectPhase = 0;
    Register(Args().Int(1, 27).Text(19, "x").List(18, {1}).Int(20, 1));
    EXPECT_TRUE(Targets().empty());
    EXPECT_TRUE(Posted().empty());
}

std::string SlotPath(int64 slot) {
    return "slot" + std::to_string(slot) + ".dat";
}

class SelectRunTest : public fakes::CommandWaitTest {
  protected:
    void SetUp() override {
        fakes::CommandWaitTest::SetUp();
        SetChoiceHooks(SlotPath, nullptr);
    }
    void TearDown() override {
        SetChoiceHooks(nullptr, nullptr);
        fakes::CommandWaitTest::TearDown();
    }
    // Runs the script on its own thread and returns once the choice waits.
    std::future<void> StartScript(testexec::ScriptRun& run, const std::string& name) {
        run.context.inputWaiter = holder.get();
        auto done = std::async(std::launch::async, [&run, name] { run.Run(name); });
        for (int i = 0; i < 5000 && !holder->Get()->IsWaiting(); ++i) std::this_thread::sleep_for(1ms);
        return done;
    }
    static constexpr const char* kScript =
        "Dammy(0) Select(CursorMoveType=2) { Case(InKey=65) { Dammy(1) } Case(InKey=66) { Dammy(2) } } Dammy(3)";
};

TEST_F(SelectRunTest, TheChosenCaseRunsThenTheScriptGoesOnPastTheChoice) {
    testexec::ScriptRun run;
    testexec::AddSource("choice.qvs", kScript);
    auto done = StartScript(run, "choice.qvs");
    ASSERT_TRUE(holder->Get()->IsWaiting());
    EXPECT_EQ(holder->Get()->Targets().size(), 2u);
    EXPECT_EQ(holder->Get()->navigationMode, 2u);
    KeyDown(65);
    ASSERT_TRUE(Ends(done));
    // The first case's block runs; the second "Case" then only steps over
    // its own block.
    EXPECT_EQ(run.table.trace, (Trace{"Dammy(i:0)", "Select(-, -, i:2)", "Case(-, i:65)", "Case(-, i:66)",
                                      "Select(-, -, i:2)", "Dammy(i:1)", "Case(-, i:66)", "Dammy(i:3)"}));
    EXPECT_EQ(run.context.selectPhase, 0);
    // The main script saved slot 0 before going into the case.
    bool saved = false;
    GetMainQueue()->ForEachRecord([&saved](const classQueBase& r, bool committed) {
        if (r.GetType() == QueDataSave)
            saved = static_cast<const classQue_DataSave&>(r).path == "slot0.dat" && committed;
    });
    EXPECT_TRUE(saved);
}

std::atomic<int> g_skipEnds{0};
void CountSkipEnd() {
    g_skipEnds.fetch_add(1);
    GetApplication()->nextSelectSkipping = 0;
}

TEST_F(SelectRunTest, ReachingAChoiceEndsNextChoiceSkippingOnceAndTheChoiceStillWaits) {
    SetChoiceHooks(SlotPath, CountSkipEnd);
    g_skipEnds = 0;
    app->nextSelectSkipping = 1;
    testexec::ScriptRun run;
    testexec::AddSource("choice.qvs", kScript);
    auto done = StartScript(run, "choice.qvs");
    ASSERT_TRUE(holder->Get()->IsWaiting());
    EXPECT_EQ(g_skipEnds.load(), 1) << "the first run ends the skip; the second finds it off";
    KeyDown(66);
    ASSERT_TRUE(Ends(done));
    EXPECT_EQ(run.table.trace.back(), "Dammy(i:3)");
    EXPECT_EQ(run.table.trace[run.table.trace.size() - 2], "Dammy(i:2)");
}

TEST_F(SelectRunTest, QuittingWhileItWaitsRunsNoCase) {
    testexec::ScriptRun run;
    testexec::AddSource("choice.qvs", kScript);
    auto done = StartScript(run, "choice.qvs");
    ASSERT_TRUE(holder->Get()->IsWaiting());
    run.host.quitRequested = true;
    app->RequestQuit();
    ASSERT_TRUE(Ends(done));
    for (const std::string& call : run.table.trace) {
        EXPECT_NE(call, "Dammy(i:1)");
        EXPECT_NE(call, "Dammy(i:2)");
    }
    EXPECT_EQ(run.context.selectPhase, 0);
}

TEST_F(SelectRunTest, ACaseOutsideAChoiceAndAChoiceWithoutABlock) {
    testexec::ScriptRun run;
    testexec::AddSource("loose.qvs", "Case(InKey=1) { Dammy(1) } Select Dammy(2)");
    run.context.inputWaiter = holder.get();
    auto done = std::async(std::launch::async, [&run] { run.Run("loose.qvs"); });
    ASSERT_TRUE(Ends(done)) << "a Select without its block neither registers nor waits";
    EXPECT_EQ(run.table.trace, (Trace{"Case(-, i:1)", "Select()", "Dammy(i:2)"}));
    EXPECT_EQ(run.context.selectPhase, 0);
    EXPECT_TRUE(holder->Get()->Targets().empty());
}

}  // namespace
