// The backlog screen: the records that show three pages, and the screen run
// by "History" on a script thread, scrolled and left through window messages
// sent to the input manager as the UI thread would.
#include "system/backlog_screen.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "commands/flow_commands.h"
#include "commands/flow_services.h"
#include "support/executor/script_runner.h"
#include "support/wait_fixture.h"

namespace {

using namespace std::chrono_literals;
using Entries = std::vector<classHistoryLog::Entry>;

// What one row received, in order: "at x,y", "shown", "feed" or the text.
std::vector<std::string> RowRecords(int row) {
    const std::vector<int64> path = {120, 11 + row};
    std::vector<std::string> out;
    GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
        switch (record.GetType()) {
            case QueGraphicAlter: {
                const auto& alter = static_cast<const classQue_GraphicAlter&>(record);
                if (alter.path != path) return;
                if (alter.y.IsSet())
                    out.push_back("at " + std::to_string(static_cast<int>(alter.x.Get())) + "," +
                                  std::to_string(static_cast<int>(alter.y.Get())));
                if (alter.hide.IsSet()) out.push_back(alter.hide.Get() == 0 ? "shown" : "hidden");
                break;
            }
            case QuePageFeed:
                if (static_cast<const classQue_PageFeed&>(record).path == path) out.push_back("feed");
                break;
            case QueGraphicStdOutTextX: {
                const auto& text = static_cast<const classQue_GraphicStdOutTextX&>(record);
                if (text.path != path) return;
                // Shown whole at once, in font 0 and white, and never replayed.
                const bool plain = text.fontNo.IsSet() && text.fontNo.Get() == 0 && text.color.IsSet() &&
                                   text.color.Get() == 0xFFFFFF && text.speed.IsSet() && text.speed.Get() == 0 &&
                                   text.fadeMode.IsSet() && text.fadeMode.Get() == 0 && text.fadeTime.IsSet() &&
                                   text.fadeTime.Get() == 0 && text.repeat.IsSet() && text.repeat.Get() == 0;
                out.push_back(plain ? text.text : text.text + " (not plain)");
                break;
            }
            default:
                break;
        }
    });
    return out;
}

const std::string kSpacer = "\\n\\n\\n" + std::string(76, ' ');

TEST(BacklogPage, ShowsTheEntryAndTheTwoBeforeItWithTheirVoices) {
    const Entries store = {
        {"oldest"},
        {"!<voicev2.ogg", "@f(10)@u+(name)said"},
        {"newest", "more"},
    };
    struct Case {
        const char* name;
        Entries entries;
        std::size_t position;
        std::vector<std::string> rows[3];
        std::string voices[3];
    } cases[] = {
        {"newest on top",
         store,
         2,
         {{"at 0,-240", "shown", "feed", "@c(0xffffff)newest\\n", "@c(0xffffff)more\\n"},
          {"at 0,-40", "shown", "feed", kSpacer, "@c(0xffffff)@f(10)@u+(name)said\\n"},
          {"at 0,160", "shown", "feed", "@c(0xffffff)oldest\\n"}},
         {"", "v2.ogg", ""}},
        {"oldest on top clears the rows below",
         store,
         0,
         {{"at 0,-240", "shown", "feed", "@c(0xffffff)oldest\\n"}, {"feed"}, {"feed"}},
         {"", "", ""}},
        {"the end shows an empty top row", store, 3,
         {{"feed"},
          {"at 0,-40", "shown", "feed", "@c(0xffffff)newest\\n", "@c(0xffffff)more\\n"},
          {"at 0,160", "shown", "feed", kSpacer, "@c(0xffffff)@f(10)@u+(name)said\\n"}},
         {"", "", "v2.ogg"}},
        {"empty store", {}, 0, {{"feed"}, {"feed"}, {"feed"}}, {"", "", ""}},
    };
    for (const Case& c : cases) {
        GetMainQueue()->DiscardAll();
        for (std::string& voice : g_backlogRowVoice) voice = "stale";
        BuildBacklogPage(c.entries, c.position);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(RowRecords(row), c.rows[row]) << c.name << " row " << row;
            EXPECT_EQ(g_backlogRowVoice[row], c.voices[row]) << c.name << " row " << row;
        }
    }
    GetMainQueue()->DiscardAll();
}

class BacklogScreenTest : public fakes::CommandWaitTest {
  protected:
    void SetUp() override {
        CommandWaitTest::SetUp();
        saved_ = GetFlowCommandServices();
        RegisterSystemScreens();
        Entries entries;
        for (int page = 1; page <= 5; ++page)
            entries.push_back({"page " + std::to_string(page), "!<voicev" + std::to_string(page) + ".ogg"});
        g_historyLog.Replace(entries);
        // The rows, the knob and the back button, as a script makes them.
        for (int row = 0; row < 3; ++row) scene.Put({120, 11 + row}, 1000, 180, 0.0f, static_cast<float>(row * 200 - 240));
        scene.Put({120, 1}, 20, 40, 598.5f, -278.5f);
        scene.Put({120, 2}, 100, 40, 500.0f, 300.0f);
    }
    void TearDown() override {
        SetFlowCommandServices(saved_);
        g_historyLog.Clear();
        CommandWaitTest::TearDown();
    }
    static std::vector<std::string> Voices() {
        return {g_backlogRowVoice[0], g_backlogRowVoice[1], g_backlogRowVoice[2]};
    }
    static float LastKnobY() {
        float y = -1000;
        GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
            if (record.GetType() != QueGraphicAlter) return;
            const auto& alter = static_cast<const classQue_GraphicAlter&>(record);
            if (alter.path == std::vector<int64>{120, 1} && alter.y.IsSet()) y = alter.y.Get();
        });
        return y;
    }
    static void Wheel(bool up) {
        const u64 delta = up ? 120u : static_cast<u16>(-120);
        Send(platform::WM_MOUSEWHEEL, delta << 16, platform::MakePointParam(640, 360));
    }

    FlowCommandServices saved_;
};

TEST_F(BacklogScreenTest, ScrollsByWheelKeysAndKnobAndReplaysARowsVoice) {
    fakes::CommandRun done(Start(CommandHistory, {}));
    WaitForNextPass();
    EXPECT_EQ(Voices(), (std::vector<std::string>{"v5.ogg", "v4.ogg", "v3.ogg"}));
    EXPECT_FLOAT_EQ(LastKnobY(), -278.5f);

    struct Step {
        const char* name;
        std::function<void()> input;
        std::vector<std::string> voices;
        float knobY;
    } steps[] = {
        {"wheel up", [] { Wheel(true); }, {"v4.ogg", "v3.ogg", "v2.ogg"}, -278.5f + 524.0f / 5},
        {"down", [] { KeyDown(40); }, {"v5.ogg", "v4.ogg", "v3.ogg"}, -278.5f},
        {"wheel down at the newest", [] { Wheel(false); }, {"v5.ogg", "v4.ogg", "v3.ogg"}, -278.5f},
        {"page up", [] { KeyDown(33); }, {"v4.ogg", "v3.ogg", "v2.ogg"}, -278.5f + 524.0f / 5},
        {"up", [] { KeyDown(38); }, {"v3.ogg", "v2.ogg", "v1.ogg"}, -278.5f + 2 * 524.0f / 5},
        {"page down", [] { KeyDown(34); }, {"v4.ogg", "v3.ogg", "v2.ogg"}, -278.5f + 524.0f / 5},
        {"knob dragged to the top",
         [] {
             MoveTo(1238, 638);
             Click(1238, 638);
             MoveTo(1238, 115);
             // Held down, the knob fires in every pass: let a few go by.
             std::this_thread::sleep_for(100ms);
         },
         {"v1.ogg", "", ""}, 245.5f},
        {"knob dragged below the bar", [] { MoveTo(1238, 700); std::this_thread::sleep_for(100ms); },
         {"v5.ogg", "v4.ogg", "v3.ogg"}, -278.5f},
        {"knob to the top again", [] { MoveTo(1238, 100); std::this_thread::sleep_for(100ms); },
         {"v1.ogg", "", ""}, 245.5f},
    };
    for (const Step& step : steps) {
        step.input();
        WaitForNextPass();
        EXPECT_EQ(Voices(), step.voices) << step.name;
        EXPECT_NEAR(LastKnobY(), step.knobY, 0.01f) << step.name;
    }
    Send(platform::WM_LBUTTONUP);

    // Up from the oldest page keeps it; the top row's voice button replays.
    KeyDown(38);
    WaitForNextPass();
    EXPECT_EQ(Voices(), (std::vector<std::string>{"v1.ogg", "", ""}));
    GetMainQueue()->DiscardAll();
    Click(640, 600);  // row 0 at y -240
    WaitForNextPass();
    std::vector<std::string> played;
    GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
        if (record.GetType() == QueSoundAlter) {
            const auto& alter = static_cast<const classQue_SoundAlter&>(record);
            played.push_back(std::to_string(alter.layer) + " " + alter.files);
        }
        if (record.GetType() == QueSoundPlay)
            played.push_back(std::to_string(static_cast<const classQue_SoundPlay&>(record).layer) + " play");
    });
    EXPECT_EQ(played, (std::vector<std::string>{"99 v1.ogg", "99 play"}));
    // A row without a voice plays nothing.
    GetMainQueue()->DiscardAll();
    Click(640, 400);
    WaitForNextPass();
    bool anySound = false;
    GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
        anySound = anySound || record.GetType() == QueSoundAlter || record.GetType() == QueSoundPlay;
    });
    EXPECT_FALSE(anySound);

    // Newer again: the middle row has a voice once more, and its button,
    // hidden meanwhile, is shown again.
    queue.Take();
    KeyDown(40);
    WaitForNextPass();
    EXPECT_EQ(Voices(), (std::vector<std::string>{"v2.ogg", "v1.ogg", ""}));
    bool buttonShown = false;
    for (const InputCaseRecord& record : queue.Take()) {
        buttonShown = buttonShown || (record.kind == InputCaseRecord::Kind::GraphicAlter &&
                                      record.path == std::vector<int64>{120, 12, 0} && record.hide.IsSet() &&
                                      record.hide.Get() == 0 && record.file == "system\\backlog_voice_off.png");
    }
    EXPECT_TRUE(buttonShown);

    Click(1140, 60);  // the back button
    EXPECT_TRUE(done.Ends());
}

TEST_F(BacklogScreenTest, EndsOnRightClickQuitAndRestart) {
    enum Way { kRight, kQuit, kRestart };
    struct Case {
        const char* name;
        Way way;
    } cases[] = {{"right click", kRight}, {"quit", kQuit}, {"restart", kRestart}};
    for (const Case& c : cases) {
        app->quitRequested.store(0);
        app->restartRequested.store(0);
        fakes::CommandRun done(Start(CommandHistory, {}));
        WaitForNextPass();
        if (c.way == kQuit)
            app->RequestQuit();
        else if (c.way == kRestart)
            app->restartRequested.store(1);
        else
            Send(platform::WM_RBUTTONDOWN, 0, platform::MakePointParam(10, 10));
        EXPECT_TRUE(done.Ends()) << c.name;
    }
    app->quitRequested.store(0);
    app->restartRequested.store(0);
}

// A screen of the main script gives way to an interrupt pushed over it and
// opens again once the interrupt has ended.
TEST_F(BacklogScreenTest, AScreenGivesWayToAnInterruptAndOpensAgainAfterIt) {
    for (const char* screen : {"History()", "Config()"}) {
        testexec::ScriptRun run;
        testexec::AddSource("page.qvs", std::string(screen) + " Dammy(1)");
        testexec::AddSource("intr.qvs", "Dammy(9)");
        run.context.inputWaiter = holder.get();
        std::atomic<bool> interruptRan{false};
        run.table.Handle("Dammy", [&interruptRan](classScriptContext&, const std::vector<classScriptValue>&,
                                                  int32, classScriptValue&) { interruptRan = true; });
        auto done = std::async(std::launch::async, [&run] { run.Run("page.qvs"); });
        WaitForNextPass();
        BeginScriptInterrupt(run.context, "intr.qvs");
        for (int i = 0; i < 5000 && !interruptRan.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        WaitForNextPass();
        run.host.quitRequested = true;
        g_inputManager.WakeAllWaiters();
        ASSERT_TRUE(Ends(done)) << screen;
        EXPECT_EQ(run.table.trace, (std::vector<std::string>{screen, "Dammy(i:9)", screen})) << screen;
    }
}

}  // namespace
