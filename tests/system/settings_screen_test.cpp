// The settings screen run by "Config" on a script thread of its own, driven
// by window messages through the input manager as the UI thread would send
// them: what it shows, what each click and drag changes, and every way out.
#include "system/settings_screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "foundation/critical_section.h"
#include "presentation/graphic_object.h"
#include "script/global_variables.h"
#include "sound/sound_manager.h"
#include "support/wait_fixture.h"

namespace {

using fakes::CommandWaitTest;

// A 40 x 30 picture whose centre is at (x, y) in scene units is hit by a
// click at the screen point (640 + x, 360 - y).
constexpr int kW = 40;
constexpr int kH = 30;

class SettingsScreenTest : public CommandWaitTest {
  protected:
    void SetUp() override {
        CommandWaitTest::SetUp();
        g_globalVariables.Clear();
        g_nomalVariables.Clear();
        app->soundManager = classSoundManager::Create();
        for (int32 group = 0; group <= 16; ++group) app->soundManager->SetGroup(group, 1000 + group, 1000 + group);
        device = new fakes::FakeDevice();
        // The frame pump already runs, and frames read the device under the
        // application lock.
        classCriticalSectionLock hold(app->GetLock());
        app->graphicDevice = device;  // the application's to delete
    }
    void TearDown() override {
        // The screen has ended; nothing else asks the manager.
        classSoundManager::Destroy(app->soundManager);
        app->soundManager = nullptr;
        CommandWaitTest::TearDown();
        g_globalVariables.Clear();
        g_nomalVariables.Clear();
    }

    fakes::CommandRun Open() { return fakes::CommandRun(Start(Builtin_Config, {})); }
    // Puts a picture where the screen would show the object and clicks it,
    // the pointer moved there first as a real mouse does.
    void ClickObject(const std::vector<int64>& path, int screenX, int screenY) {
        scene.Put(path, kW, kH, static_cast<float>(screenX - 640), static_cast<float>(360 - screenY));
        MoveTo(screenX, screenY);
        Click(screenX, screenY);
        Send(platform::WM_LBUTTONUP);
    }
    void LeaveByRightClick(fakes::CommandRun& done) {
        WaitForNextPass();
        Send(platform::WM_RBUTTONDOWN, 0, platform::MakePointParam(5, 5));
        ASSERT_TRUE(done.Ends());
    }
    int32 GroupVolume(int32 group) { return app->soundManager->FindGroup(group)->GetVolume(); }
    static classScriptValue Global(const char* name) {
        classScriptValue value;
        g_globalVariables.TryGet(name, 0, value);
        return value;
    }

    fakes::FakeDevice* device = nullptr;
};

struct AlterSeen {
    std::string file;
    bool hasX = false;
    float x = 0;
    float y = 0;
};

// The first and the last alter of every path, in what the screen posted.
std::map<std::vector<int64>, std::pair<AlterSeen, AlterSeen>> Alters() {
    std::map<std::vector<int64>, std::pair<AlterSeen, AlterSeen>> out;
    GetMainQueue()->ForEachRecord([&out](const classQueBase& record, bool) {
        if (record.GetType() != QueGraphicAlter) return;
        const auto& alter = static_cast<const classQue_GraphicAlter&>(record);
        AlterSeen seen{alter.fileName, alter.x.IsSet(), alter.x.IsSet() ? alter.x.Get() : 0.0f,
                       alter.y.IsSet() ? alter.y.Get() : 0.0f};
        auto found = out.find(alter.path);
        if (found == out.end())
            out[alter.path] = {seen, seen};
        else
            found->second.second = seen;
    });
    return out;
}

TEST_F(SettingsScreenTest, OpeningBuildsTheLayoutAndPlacesKnobsFromTheVariables) {
    classScriptValue speed;
    speed.SetReal(120.5);  // read as the integer 120
    g_globalVariables.Set("System.TextSpeed", 0, speed);
    classScriptValue bgm;
    bgm.SetReal(0.25);
    g_globalVariables.Set("Sound.BGM.Volume", 0, bgm);
    classScriptValue master;
    master.SetReal(7.0);  // limited to 1 in the first pass
    g_globalVariables.Set("Sound.Master.Volume", 0, master);
    classScriptValue se;
    se.SetReal(std::nan(""));  // no volume at all: 0, never passed on as NaN
    g_globalVariables.Set("Sound.SE.Volume", 0, se);

    auto done = Open();
    WaitForNextPass();
    const auto alters = Alters();
    struct Case {
        const char* name;
        std::vector<int64> path;
        bool last;  // the refresh's alter rather than the build's
        const char* file;
        bool hasX;
        float x;
        float y;
    } cases[] = {
        {"full screen", {300, 2}, false, "system\\config02_off.png", true, -1, 274},
        {"initialize", {300, 58}, false, "system\\config10_off.png", true, 521, -266},
        {"sample window", {300, 80}, false, "system\\config09.png", true, -229, -68},
        {"sample text", {300, 80, 0}, false, "system\\null.png", true, -330, 8},
        {"text speed knob", {300, 10}, true, "system\\config_bottom_off.png", true, -72.6f, 37},
        {"auto speed knob at 0", {300, 11}, true, "system\\config_bottom_off.png", true, 99, -10},
        {"text window knob at 0", {300, 9}, true, "system\\config_bottom_off.png", true, 99, 84},
        {"master knob limited", {300, 12}, true, "system\\config_bottom_off.png", true, 99, -131},
        {"bgm knob", {300, 13}, true, "system\\config_bottom_off.png", true, -222.75f, -178},
        {"se knob from NaN", {300, 14}, true, "system\\config_bottom_off.png", true, -330, -224},
        {"voice knob at 0", {300, 15}, true, "system\\config_bottom_off.png", true, -330, -271},
    };
    for (const Case& c : cases) {
        auto found = alters.find(c.path);
        ASSERT_NE(found, alters.end()) << c.name;
        const AlterSeen& seen = c.last ? found->second.second : found->second.first;
        EXPECT_EQ(seen.file, c.file) << c.name;
        EXPECT_EQ(seen.hasX, c.hasX) << c.name;
        if (c.hasX) {
            EXPECT_NEAR(seen.x, c.x, 0.01f) << c.name;
            EXPECT_FLOAT_EQ(seen.y, c.y) << c.name;
        }
    }
    // Created empty, never given a picture by the build.
    EXPECT_EQ(alters.count({300, 16}), 0u);
    EXPECT_EQ(alters.count({300, 57}), 0u);
    int transitions = 0;
    for (const auto& posted : Posted())
        if (posted.type == QueTransition && posted.transitionTime == 800) ++transitions;

    LeaveByRightClick(done);
    EXPECT_EQ(transitions, 1);
    classScriptValue written = Global("System.TextSpeed");
    ASSERT_NE(written.AsInteger(), nullptr);
    EXPECT_EQ(written.tag, ScriptValueInteger);
    EXPECT_EQ(*written.AsInteger(), 120);
    classScriptValue writtenMaster = Global("Sound.Master.Volume");
    EXPECT_EQ(writtenMaster.tag, ScriptValueReal);
    EXPECT_DOUBLE_EQ(*writtenMaster.AsReal(), 1.0);
    EXPECT_DOUBLE_EQ(*Global("Sound.SE.Volume").AsReal(), 0.0);
}

TEST_F(SettingsScreenTest, SlidersFollowThePointerAndVolumesReachTheirGroupsAtOnce) {
    struct Case {
        const char* name;
        int64 knob;
        int mouseX;
        int64 textSpeed;  // -1: not this slider
        int64 autoSpeed;
        int32 group;      // -1: no group
        int32 volume;
        const char* variable;
        double value;
    } cases[] = {
        {"text speed far left", 10, 310, 300, -1, -1, 0, "System.TextSpeed", 300},
        {"text speed far right", 10, 739, 0, -1, -1, 0, "System.TextSpeed", 0},
        {"text speed middle", 10, 524, 150, -1, -1, 0, "System.TextSpeed", 150},
        {"auto speed middle", 11, 524, -1, 2505, -1, 0, "System.AutoSpeed", 2505},
        {"auto speed beyond the left", 11, 100, -1, 5000, -1, 0, "System.AutoSpeed", 5000},
        {"master at the left end", 12, 310, -1, -1, 0, 0, "Sound.Master.Volume", 0.0},
        {"bgm in the middle", 13, 524, -1, -1, 1, 498, "Sound.BGM.Volume", 214.0 / 429.0},
        {"se beyond the right", 14, 1000, -1, -1, 2, 1000, "Sound.SE.Volume", 1.0},
        {"voice a quarter", 15, 417, -1, -1, 3, 249, "Sound.Voice.Volume", 107.0 / 429.0},
        {"text window near the left", 9, 353, -1, -1, -1, 0, "System.TextWindowTranslate", 386.0 / 429.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GetMainQueue()->DiscardAll();
        for (int32 group = 0; group <= 16; ++group) app->soundManager->FindGroup(group)->SetVolume(777);
        auto done = Open();
        const int y = 360 - static_cast<int>(std::vector<int>{84, 37, -10, -131, -178, -224, -271}[c.knob - 9]);
        ClickObject({300, c.knob}, c.mouseX, y);
        WaitForNextPass();
        if (c.textSpeed >= 0) {
            EXPECT_EQ(app->textSpeed.load(), c.textSpeed);
        }
        if (c.autoSpeed >= 0) {
            EXPECT_EQ(app->autoSpeed.load(), c.autoSpeed);
        }
        if (c.group >= 0) {
            EXPECT_EQ(GroupVolume(c.group), c.volume);
        }
        // The voice slider moves both voice groups; no other group moves.
        for (int32 group = 0; group <= 16; ++group) {
            const bool moved = group == c.group || (c.group == 3 && group == 4);
            if (!moved) {
                EXPECT_EQ(GroupVolume(group), 777) << "group " << group;
            }
        }
        if (c.group == 3) {
            EXPECT_EQ(GroupVolume(4), c.volume);
        }
        // The text window slider fades the sample window and the game's own
        // text window (object 100) alike.
        int fades = 0;
        GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
            if (record.GetType() != QueGraphicStirSlotChange) return;
            const auto& change = static_cast<const classQue_GraphicStirSlotChange&>(record);
            if (change.path == std::vector<int64>{100} && change.no == 0 &&
                std::abs(change.fields.transmittance.Get() - c.value) < 1e-6)
                ++fades;
        });
        EXPECT_EQ(fades, c.knob == 9 ? 1 : 0);
        LeaveByRightClick(done);
        classScriptValue written = Global(c.variable);
        const double* real = written.AsReal();
        ASSERT_NE(real, nullptr);
        EXPECT_NEAR(*real, c.value, 1e-6);
        scene.Remove({300, c.knob});
    }
}

TEST_F(SettingsScreenTest, OptionButtonsSetTheirSettings) {
    struct Case {
        const char* name;
        int64 button;
        int x;
        int y;
        const char* variable;
        int64 expected;
    } cases[] = {
        {"transitions cut", 4, 640, 133, "System.TranstionCut", 1},
        {"transitions shown", 3, 410, 133, "System.TranstionCut", 0},
        {"no key wait after voice", 6, 640, 180, "System.KeyWaitAfterVoiceStop", 0},
        {"key wait after voice", 5, 411, 180, "System.KeyWaitAfterVoiceStop", 1},
        {"skip read text only", 7, 411, 227, "System.SkipAlready", 1},
        {"skip all text", 8, 639, 227, "System.SkipAlready", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app->transitionCut.store(static_cast<u8>(1 - c.expected));
        app->keyWaitAfterVoiceStop.store(static_cast<u8>(1 - c.expected));
        app->skipAlreadyOnly.store(static_cast<u8>(1 - c.expected));
        classScriptValue start;
        start.SetInteger(1 - c.expected);
        for (const char* name : {"System.TranstionCut", "System.KeyWaitAfterVoiceStop", "System.SkipAlready"})
            g_globalVariables.Set(name, 0, start);
        auto done = Open();
        ClickObject({300, c.button}, c.x, c.y);
        LeaveByRightClick(done);
        classScriptValue written = Global(c.variable);
        ASSERT_EQ(written.tag, ScriptValueInteger);
        EXPECT_EQ(*written.AsInteger(), c.expected);
        scene.Remove({300, c.button});
    }
}

TEST_F(SettingsScreenTest, TheSampleLineReplaysAtTheChosenSpeeds) {
    classGraphicObject* root = classGraphicObject::New();
    classGraphicObject::CreateAtPath(root, std::vector<int64>{300, 80, 0});
    {
        classCriticalSectionLock hold(app->GetLock());
        app->mainScene = root;
    }
    classScriptValue speed;
    speed.SetInteger(40);
    g_globalVariables.Set("System.TextSpeed", 0, speed);
    classScriptValue autoSpeed;
    autoSpeed.SetInteger(2000);
    g_globalVariables.Set("System.AutoSpeed", 0, autoSpeed);
    app->textRequestValue.store(300);

    auto done = Open();
    WaitForNextPass();
    ClickObject({300, 10}, 524, 323);  // text speed 150
    WaitForNextPass();
    LeaveByRightClick(done);
    {
        classCriticalSectionLock hold(app->GetLock());
        app->mainScene = nullptr;
    }
    classGraphicObject::Delete(root);

    struct Seen {
        int64 speed, fadeMode, fadeTime, repeat, period, singleLine;
        bool fedFirst;
    };
    std::vector<Seen> seen;
    bool fed = false;
    GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool) {
        if (record.GetType() == QuePageFeed)
            fed = static_cast<const classQue_PageFeed&>(record).path == std::vector<int64>{300, 80, 0};
        if (record.GetType() != QueGraphicStdOutTextX) return;
        const auto& text = static_cast<const classQue_GraphicStdOutTextX&>(record);
        EXPECT_EQ(text.text, "文字はこの速度で画面に表示されます。");
        EXPECT_EQ(text.fontNo.Get(), 0);
        EXPECT_EQ(text.color.Get(), 0xFFFFFF);
        seen.push_back({text.speed.Get(), text.fadeMode.Get(), text.fadeTime.Get(), text.repeat.Get(),
                        text.repeatPeriod.Get(), text.singleLine.Get(), fed});
    });
    struct Case {
        const char* name;
        Seen expected;
    } cases[] = {
        {"as opened", {40, 1, 300, 1, 40 * 20 + 2000, 1, true}},
        {"after the text speed slider", {150, 1, 300, 1, 150 * 20 + 2000, 1, true}},
    };
    ASSERT_EQ(seen.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const Seen& e = cases[i].expected;
        const Seen& s = seen[i];
        EXPECT_EQ(std::vector<int64>({s.speed, s.fadeMode, s.fadeTime, s.repeat, s.period, s.singleLine}),
                  std::vector<int64>({e.speed, e.fadeMode, e.fadeTime, e.repeat, e.period, e.singleLine}))
            << cases[i].name;
        EXPECT_TRUE(s.fedFirst) << cases[i].name;
    }
}

// A device that has not yet got round to a switch it was asked for.
class PendingDevice final : public FrameDevice {
  public:
    bool Start() override { return true; }
    void Stop() override {}
    bool IsReady() override { return false; }
    bool BeginFrame() override { return false; }
    bool EndFrame() override { return false; }
    void RequestFullScreen(bool on) override { requested.store(on); }
    bool IsFullScreen() const override { return false; }
    bool IsFullScreenRequested() const override { return requested.load(); }
    void ArmResetDeadline(u32) override {}
    bool TakeModeSwitchRequest() override { return false; }
    bool TakeRestorePlacementRequest() override { return false; }
    std::atomic<bool> requested{false};
};

TEST_F(SettingsScreenTest, FullScreenAskedForShowsAndIsWrittenBeforeItIsCarriedOut) {
    {
        classCriticalSectionLock hold(app->GetLock());
        delete app->graphicDevice;
        app->graphicDevice = new PendingDevice();
    }
    auto done = Open();
    WaitForNextPass();
    queue.Take();
    ClickObject({300, 2}, 639, 86);
    WaitForNextPass();
    // The window-mode button, not under the pointer, goes dark.
    bool unlit = false;
    for (const InputCaseRecord& record : queue.Take())
        unlit = unlit || (record.path == std::vector<int64>{300, 1} && record.file == "system\\config01_off.png");
    EXPECT_TRUE(unlit);
    LeaveByRightClick(done);
    EXPECT_EQ(*Global("System.FullScreen").AsInteger(), 1);
}

struct SoundSeen {
    QueRecordType type;
    int64 layer;
    std::string file;
};

std::vector<SoundSeen> SoundRecords() {
    std::vector<SoundSeen> out;
    GetMainQueue()->ForEachRecord([&out](const classQueBase& record, bool) {
        switch (record.GetType()) {
            case QueSoundStop:
                out.push_back({QueSoundStop, static_cast<const classQue_SoundStop&>(record).layer, ""});
                break;
            case QueSoundAlter: {
                const auto& alter = static_cast<const classQue_SoundAlter&>(record);
                out.push_back({QueSoundAlter, alter.layer, alter.files});
                break;
            }
            default:
                break;
        }
    });
    return out;
}

TEST_F(SettingsScreenTest, ACharacterButtonPlaysItsSampleAndItsSliderMovesItsGroup) {
    auto done = Open();
    ClickObject({300, 52}, 923, 327);  // character 3
    WaitForNextPass();
    const std::vector<SoundSeen> expected = {
        {QueSoundStop, 99, ""},  {QueSoundAlter, 100, kSettingsSampleVoices[2]},
        {QueSoundStop, 101, ""}, {QueSoundStop, 102, ""},
        {QueSoundStop, 103, ""}, {QueSoundStop, 104, ""},
        {QueSoundStop, 105, ""}, {QueSoundStop, 106, ""},
    };
    const auto seen = SoundRecords();
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].type, expected[i].type) << i;
        EXPECT_EQ(seen[i].layer, expected[i].layer) << i;
        EXPECT_EQ(seen[i].file, expected[i].file) << i;
    }
    // The knob of the chosen character: 873 is its left end, 1245 its right.
    ClickObject({300, 57}, 1059, 538);
    WaitForNextPass();
    EXPECT_EQ(GroupVolume(12), 500);
    EXPECT_EQ(GroupVolume(10), 1000);
    const std::vector<int64> knob = {300, 57};
    EXPECT_EQ(Alters()[knob].second.x, 219.0f + 186.0f);
    LeaveByRightClick(done);
    EXPECT_DOUBLE_EQ(*Global("Voice.Character3.Volume").AsReal(), 0.5);
}

TEST_F(SettingsScreenTest, EveryWayOutWritesTheSettingsBack) {
    enum Way { kRight, kSpace, kInitialize, kQuit, kRestart };
    struct Case {
        const char* name;
        Way way;
        bool removesScreen;
        int64 initialize;
    } cases[] = {
        {"right click", kRight, true, 0},
        {"space", kSpace, true, 0},
        {"initialize button", kInitialize, false, 1},
        {"quit", kQuit, true, 0},
        {"restart", kRestart, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GetMainQueue()->DiscardAll();
        g_globalVariables.Clear();
        app->quitRequested.store(0);
        app->restartRequested.store(0);
        app->textSpeed.store(42);
        auto done = Open();
        WaitForNextPass();
        switch (c.way) {
            case kRight:
                Send(platform::WM_RBUTTONDOWN, 0, platform::MakePointParam(5, 5));
                break;
            case kSpace:
                KeyDown(0x20);
                break;
            case kInitialize:
                ClickObject({300, 58}, 1161, 626);
                break;
            case kQuit:
                app->RequestQuit();
                break;
            case kRestart:
                app->restartRequested.store(1);
                break;
        }
        ASSERT_TRUE(done.Ends());
        // Opening read the absent variables as 0, and leaving wrote them back.
        EXPECT_EQ(*Global("System.TextSpeed").AsInteger(), 0);
        EXPECT_EQ(Global("Voice.Character7.Volume").tag, ScriptValueReal);
        EXPECT_EQ(Global("System.FullScreen").tag, ScriptValueInteger);
        classScriptValue initialize;
        ASSERT_TRUE(g_nomalVariables.TryGet("Config.Initialize", 0, initialize));
        EXPECT_EQ(*initialize.AsInteger(), c.initialize);
        bool deleted = false;
        int stops = 0;
        GetMainQueue()->ForEachRecord([&](const classQueBase& record, bool committed) {
            if (record.GetType() == QueGraphicDelete && !committed) deleted = true;
            if (record.GetType() == QueSoundStop && !committed) ++stops;
        });
        EXPECT_EQ(deleted, c.removesScreen);
        EXPECT_EQ(stops, c.removesScreen ? 8 : 0);
    }
    app->quitRequested.store(0);
    app->restartRequested.store(0);
}

}  // namespace
