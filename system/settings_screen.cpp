#include "system/settings_screen.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "commands/flow_commands.h"
#include "commands/sound_commands.h"
#include "foundation/application.h"
#include "foundation/critical_section.h"
#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "platform/window_messages.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"
#include "script/global_variables.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_threads.h"
#include "script/script_value.h"
#include "sound/script_volume.h"
#include "sound/sound_manager.h"
#include "sound/sound_system.h"

namespace {

constexpr int64 kRoot = 300;
constexpr u64 kMainScene = 1;
constexpr int64 kScreenTransitionMs = 800;
constexpr int64 kPassWaitMs = 1000;
// While the sample text waits for its object to be made, passes come quickly.
constexpr int64 kPassWaitForSampleMs = 100;

constexpr char kKnobOff[] = "system\\config_bottom_off.png";
constexpr char kKnobOn[] = "system\\config_bottom_on.png";
constexpr char kNullImage[] = "system\\null.png";
constexpr char kSampleText[] = "文字はこの速度で画面に表示されます。";

// One object of the screen. The odd positions (-230, -1 beside 0) are where
// the game's artwork was made to sit.
struct ScreenObject {
    std::vector<int64> path;
    const char* image;  // null: created empty
    bool positioned;
    float x;
    float y;
};

const std::vector<ScreenObject>& ScreenObjects() {
    static const std::vector<ScreenObject> objects = {
        {{kRoot}, "system\\config.png", false, 0, 0},
        {{kRoot, 1}, "system\\config01_off.png", true, -229, 274},
        {{kRoot, 2}, "system\\config02_off.png", true, -1, 274},
        {{kRoot, 3}, "system\\config03_off.png", true, -230, 227},
        {{kRoot, 4}, "system\\config04_off.png", true, 0, 227},
        {{kRoot, 5}, "system\\config05_off.png", true, -229, 180},
        {{kRoot, 6}, "system\\config06_off.png", true, 0, 180},
        {{kRoot, 7}, "system\\config07_off.png", true, -229, 133},
        {{kRoot, 8}, "system\\config08_off.png", true, -1, 133},
        {{kRoot, 9}, kKnobOff, true, -330, 84},
        {{kRoot, 10}, kKnobOff, true, -330, 37},
        {{kRoot, 11}, kKnobOff, true, -330, -10},
        {{kRoot, 12}, kKnobOff, true, -330, -131},
        {{kRoot, 13}, kKnobOff, true, -330, -178},
        {{kRoot, 14}, kKnobOff, true, -330, -224},
        {{kRoot, 15}, kKnobOff, true, -330, -271},
        {{kRoot, 16}, nullptr, false, 0, 0},
        {{kRoot, 50}, "system\\config_volume01_off.png", true, 353, 173},
        {{kRoot, 51}, "system\\config_volume02_off.png", true, 493, 173},
        {{kRoot, 52}, "system\\config_volume03_off.png", true, 283, 33},
        {{kRoot, 53}, "system\\config_volume04_off.png", true, 423, 33},
        {{kRoot, 54}, "system\\config_volume05_off.png", true, 563, 33},
        {{kRoot, 55}, "system\\config_volume06_off.png", true, 353, -107},
        {{kRoot, 56}, "system\\config_volume07_off.png", true, 493, -107},
        {{kRoot, 57}, nullptr, false, 0, 0},
        {{kRoot, 58}, "system\\config10_off.png", true, 521, -266},
        {{kRoot, 80}, "system\\config09.png", true, -229, -68},
        {{kRoot, 80, 0}, kNullImage, true, -330, 8},
    };
    return objects;
}

// The y of each slider row {300, 9} .. {300, 15}.
constexpr float kKnobRowY[7] = {84, 37, -10, -131, -178, -224, -271};
constexpr float kCharacterKnobY = -178;

// The twelve working values.
enum Value : int {
    kTextWindow = 0,
    kMaster = 1,
    kBgm = 2,
    kSe = 3,
    kVoice = 4,
    kFirstCharacterValue = 5,  // 5..11: characters 1..7
    kValueCount = 12,
};

const char* const kValueNames[kValueCount] = {
    "System.TextWindowTranslate", "Sound.Master.Volume",     "Sound.BGM.Volume",
    "Sound.SE.Volume",            "Sound.Voice.Volume",      "Voice.Character1.Volume",
    "Voice.Character2.Volume",    "Voice.Character3.Volume", "Voice.Character4.Volume",
    "Voice.Character5.Volume",    "Voice.Character6.Volume", "Voice.Character7.Volume",
};

// Target numbers.
constexpr int kFirstOption = 1;       // 1..8
constexpr int kFirstSlider = 9;       // 9..15
constexpr int kFirstCharacter = 16;   // 16..22
constexpr int kCharacterSlider = 23;
constexpr int kInitialize = 24;
constexpr int kRightClick = 25;
constexpr int kSpace = 26;
constexpr int kTargetCount = 26;

std::string TwoDigits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}
std::string OptionImage(int n, bool on) {
    return "system\\config" + TwoDigits(n) + (on ? "_on.png" : "_off.png");
}
std::string CharacterImage(int c, bool on) {
    return "system\\config_volume" + TwoDigits(c) + (on ? "_on.png" : "_off.png");
}

// 0..1, and NaN is 0: no comparison lets it through otherwise.
double Limit(double value) {
    if (std::isnan(value) || value < 0.0) return 0.0;
    return value > 1.0 ? 1.0 : value;
}
float LimitF(float value) {
    if (std::isnan(value) || value < 0.0f) return 0.0f;
    return value > 1.0f ? 1.0f : value;
}

// The slider ratios from the pointer's x; every step stored as a float, as
// the knobs were laid out with them.
float LeftRunning(float mouseX) {
    const float inside = mouseX - 13.0f;
    const float fromRight = 726.0f - inside;
    return LimitF(fromRight / 429.0f);
}
float RightRunning(float mouseX) {
    const float inside = mouseX - 13.0f;
    const float fromLeft = inside - 297.0f;
    return LimitF(fromLeft / 429.0f);
}
float CharacterRunning(float mouseX) {
    const float inside = mouseX - 27.0f;
    const float fromLeft = inside - 846.0f;
    return LimitF(fromLeft / 372.0f);
}

int64 SaturatingSpeedSum(int64 textSpeed, int64 autoSpeed) {
    int64 product = 0;
    if (__builtin_mul_overflow(textSpeed, int64{20}, &product)) return textSpeed > 0 ? INT64_MAX : INT64_MIN;
    int64 sum = 0;
    if (__builtin_add_overflow(product, autoSpeed, &sum)) return autoSpeed > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

void Post(classQueBase* record, u64 mask, bool commitPoint = false) {
    record->sceneMask = mask;
    if (classQueue* queue = GetMainQueue()) {
        queue->Post(record, commitPoint);
    } else {
        QueRecordPtr drop(record);
    }
}

void PostAlter(const std::vector<int64>& path, const char* image, const float* x, const float* y) {
    auto* alter = new classQue_GraphicAlter();
    alter->path = path;
    if (image != nullptr) alter->fileName = image;
    if (x != nullptr) alter->x.Set(*x);
    if (y != nullptr) alter->y.Set(*y);
    Post(alter, kMainScene);
}

void PostTransmittance(const std::vector<int64>& path, float value) {
    auto* change = new classQue_GraphicStirSlotChange();
    change->path = path;
    change->no = 0;
    change->fields.transmittance.Set(value);
    Post(change, kMainScene);
}

void SetGroupVolume(int32 group, double value) {
    classApplication* application = GetApplication();
    classSoundManager* manager = application != nullptr ? application->soundManager : nullptr;
    if (manager == nullptr) return;
    const int32 volume = ScriptVolumeThousandths(value);
    classCriticalSectionLock hold(g_soundLock);
    if (classSoundGroup* found = manager->FindGroup(group)) found->SetVolume(volume);
}

bool IsGeneralSamplePlaying() {
    classApplication* application = GetApplication();
    return application != nullptr && application->soundManager != nullptr &&
           application->soundManager->IsLayerPlayingByTime(static_cast<int32>(kSettingsGeneralSampleLayer));
}

bool IsFullScreenRequested() {
    classApplication* application = GetApplication();
    return application != nullptr && application->graphicDevice != nullptr &&
           application->graphicDevice->IsFullScreenRequested();
}

void RequestFullScreen(bool on) {
    classApplication* application = GetApplication();
    if (application != nullptr && application->graphicDevice != nullptr)
        application->graphicDevice->RequestFullScreen(on);
}

bool MainCovered() {
    const classScriptContext* main = GetScriptHost().GetMainScriptContext();
    return main != nullptr && main->IsCurrentFrameCovered();
}

bool SampleTextObjectExists() {
    classApplication* application = GetApplication();
    if (application == nullptr) return false;
    // The render thread changes the tree under the application lock.
    classCriticalSectionLock hold(application->GetLock());
    return classGraphicObject::FindByPath(application->mainScene, std::vector<int64>{kRoot, 80, 0}) != nullptr;
}

class SettingsScreen {
  public:
    SettingsScreen(classApplication& application, classInputWaiter& waiter)
        : app_(application), waiter_(waiter) {}

    // True when it gave way to an interrupt pushed over the main script.
    bool Run() {
        Open();
        const u32 generation = CurrentRestartGeneration();
        bool initialize = false;
        bool gaveWay = false;
        for (;;) {
            for (double& value : values_) value = Limit(value);
            Refresh();
            CommitQueue(GetMainQueue());
            waiter_.CommitQueue();
            app_.WaitFrame();
            classInputTarget* fired = waiter_.Wait(refresh_ ? kPassWaitForSampleMs : kPassWaitMs);
            if (IsScriptWaitOver(generation)) break;
            if (MainCovered()) {
                gaveWay = true;
                break;
            }
            const int number = NumberOf(fired);
            if (number == 0) continue;
            if (number == kInitialize) {
                g_nomalVariables.Set("Config.Initialize", 0, IntegerValue(1));
                initialize = true;
                break;
            }
            if (number == kRightClick || number == kSpace) break;
            Act(number);
        }
        Leave(initialize);
        return gaveWay;
    }

  private:
    static classScriptValue IntegerValue(int64 value) {
        classScriptValue out;
        out.SetInteger(value);
        return out;
    }
    static classScriptValue RealValue(double value) {
        classScriptValue out;
        out.SetReal(value);
        return out;
    }

    void Open() {
        app_.textSpeed.store(GetGlobalVariableInt("System.TextSpeed"));
        app_.autoSpeed.store(GetGlobalVariableInt("System.AutoSpeed"));
        app_.keyWaitAfterVoiceStop.store(GetGlobalVariableInt("System.KeyWaitAfterVoiceStop") != 0 ? 1 : 0);
        app_.transitionCut.store(GetGlobalVariableInt("System.TranstionCut") != 0 ? 1 : 0);
        app_.skipAlreadyOnly.store(GetGlobalVariableInt("System.SkipAlready") != 0 ? 1 : 0);
        for (int i = 0; i < kValueCount; ++i) values_[i] = GetGlobalVariableDouble(kValueNames[i]);

        g_nomalVariables.Set("Config.Initialize", 0, IntegerValue(0));
        waiter_.ClearTargets();
        Build();
    }

    void Build() {
        for (const ScreenObject& object : ScreenObjects()) {
            auto* create = new classQue_GraphicCreate();
            create->path = object.path;
            Post(create, kMainScene);
            if (object.image == nullptr) continue;
            PostAlter(object.path, object.image, object.positioned ? &object.x : nullptr,
                      object.positioned ? &object.y : nullptr);
        }

        targets_[0] = nullptr;
        auto add = [this](int number, u32 button, u8 hold, std::vector<int64> region, std::string normal,
                          std::string select) {
            classInputTarget* target = classInputTarget::SetMouseButton(waiter_.AddTarget(), button, hold);
            target->region = std::move(region);
            target->caseStrings[kCaseNormal] = std::move(normal);
            target->caseStrings[kCaseSelect] = std::move(select);
            targets_[number] = target;
        };
        for (int n = 1; n <= 8; ++n) add(n, platform::VK_LBUTTON, 0, {kRoot, n}, OptionImage(n, false), OptionImage(n, true));
        for (int n = kFirstSlider; n < kFirstSlider + 7; ++n) add(n, platform::VK_LBUTTON, 1, {kRoot, n}, kKnobOff, kKnobOn);
        for (int c = 1; c <= 7; ++c)
            add(kFirstCharacter + c - 1, platform::VK_LBUTTON, 0, {kRoot, 49 + c}, CharacterImage(c, false),
                CharacterImage(c, true));
        add(kCharacterSlider, platform::VK_LBUTTON, 1, {kRoot, 57}, kNullImage, kNullImage);
        add(kInitialize, platform::VK_LBUTTON, 0, {kRoot, 58}, "system\\config10_off.png", "system\\config10_on.png");
        add(kRightClick, platform::VK_RBUTTON, 0, {}, "", "");
        targets_[kSpace] = classInputTarget::SetKey(waiter_.AddTarget(), platform::VK_SPACE, 0);
    }

    int NumberOf(const classInputTarget* fired) const {
        if (fired == nullptr) return 0;
        for (int n = 1; n <= kTargetCount; ++n)
            if (targets_[n] == fired) return n;
        return 0;
    }

    void SetNormalImage(int number, const std::string& image) {
        if (targets_[number] != nullptr) targets_[number]->caseStrings[kCaseNormal] = image;
    }

    void Refresh() {
        if (refresh_ && SampleTextObjectExists()) {
            const std::vector<int64> path = {kRoot, 80, 0};
            auto* feed = new classQue_PageFeed();
            feed->path = path;
            Post(feed, kMainScene);
            // The line replays without end at the chosen speed, so the
            // player sees the speed and, in the pause of each cycle, the
            // auto speed.
            auto* text = new classQue_GraphicStdOutTextX();
            text->path = path;
            text->text = kSampleText;
            text->fontNo.Set(0);
            text->color.Set(0xFFFFFF);
            text->speed.Set(app_.textSpeed.load());
            text->fadeMode.Set(1);
            text->fadeTime.Set(app_.textRequestValue.load());
            text->repeat.Set(1);
            text->repeatPeriod.Set(SaturatingSpeedSum(app_.textSpeed.load(), app_.autoSpeed.load()));
            text->singleLine.Set(1);
            Post(text, kMainScene);
            refresh_ = false;
        }

        const bool lit[4] = {IsFullScreenRequested(), app_.transitionCut.load() != 0,
                             app_.keyWaitAfterVoiceStop.load() == 0, app_.skipAlreadyOnly.load() == 0};
        for (int pair = 0; pair < 4; ++pair) {
            const int left = kFirstOption + pair * 2;
            SetNormalImage(left, OptionImage(left, !lit[pair]));
            SetNormalImage(left + 1, OptionImage(left + 1, lit[pair]));
        }

        PostTransmittance({kRoot, 80}, static_cast<float>(values_[kTextWindow]));

        const float ratios[7] = {
            static_cast<float>(1.0 - values_[kTextWindow]),
            LimitF((300.0f - static_cast<float>(app_.textSpeed.load())) / 300.0f),
            LimitF((5000.0f - static_cast<float>(app_.autoSpeed.load())) / 5000.0f),
            static_cast<float>(values_[kMaster]),
            static_cast<float>(values_[kBgm]),
            static_cast<float>(values_[kSe]),
            static_cast<float>(values_[kVoice]),
        };
        for (int row = 0; row < 7; ++row) {
            const float x = -330.0f + 429.0f * ratios[row];
            PostAlter({kRoot, kFirstSlider + row}, kKnobOff, &x, &kKnobRowY[row]);
        }

        if (selected_ == 0) {
            SetNormalImage(kCharacterSlider, kNullImage);
            if (targets_[kCharacterSlider] != nullptr) targets_[kCharacterSlider]->caseStrings[kCaseSelect] = kNullImage;
        } else {
            SetNormalImage(kCharacterSlider, kKnobOff);
            if (targets_[kCharacterSlider] != nullptr) targets_[kCharacterSlider]->caseStrings[kCaseSelect] = kKnobOn;
        }
        for (int c = 1; c <= 7; ++c) {
            const bool chosen = c == selected_;
            SetNormalImage(kFirstCharacter + c - 1, CharacterImage(c, chosen));
            if (!chosen) continue;
            const float x = static_cast<float>(219.0 + 372.0 * values_[kFirstCharacterValue + c - 1]);
            PostAlter({kRoot, 57}, nullptr, &x, &kCharacterKnobY);
        }

        waiter_.ResetCaseStates(nullptr);

        if (firstPass_) {
            auto* transition = new classQue_Transition();
            transition->time = kScreenTransitionMs;
            Post(transition, 0, true);
            firstPass_ = false;
        }
    }

    void Act(int number) {
        const float mouseX = g_inputManager.mouseX.load();
        switch (number) {
            case 1:
            case 2:
                RequestFullScreen(number == 2);
                return;
            case 3:
            case 4:
                app_.transitionCut.store(number == 4 ? 1 : 0);
                return;
            case 5:
            case 6:
                app_.keyWaitAfterVoiceStop.store(number == 5 ? 1 : 0);
                return;
            case 7:
            case 8:
                app_.skipAlreadyOnly.store(number == 7 ? 1 : 0);
                return;
            case 9: {
                const float value = LeftRunning(mouseX);
                values_[kTextWindow] = value;
                PostTransmittance({kRoot, 80}, value);
                PostTransmittance({100}, value);
                return;
            }
            case 10:
                app_.textSpeed.store(static_cast<int64>(LeftRunning(mouseX) * 300.0f));
                refresh_ = true;
                return;
            case 11:
                app_.autoSpeed.store(static_cast<int64>(LeftRunning(mouseX) * 5000.0f));
                refresh_ = true;
                return;
            case 12:
            case 13:
            case 14:
                values_[kMaster + number - 12] = RightRunning(mouseX);
                SetGroupVolume(number - 12, values_[kMaster + number - 12]);
                return;
            case 15:
                values_[kVoice] = RightRunning(mouseX);
                SetGroupVolume(3, values_[kVoice]);
                SetGroupVolume(4, values_[kVoice]);
                PlayGeneralSample();
                return;
            case kCharacterSlider:
                if (selected_ == 0) return;
                values_[kFirstCharacterValue + selected_ - 1] = CharacterRunning(mouseX);
                SetGroupVolume(9 + selected_, values_[kFirstCharacterValue + selected_ - 1]);
                return;
            default:
                break;
        }
        if (number >= kFirstCharacter && number < kFirstCharacter + 7) {
            selected_ = number - kFirstCharacter + 1;
            PlayCharacterSample(selected_);
        }
    }

    // While the slider is dragged a new sample starts only after the last
    // one has ended.
    static void PlayGeneralSample() {
        if (IsGeneralSamplePlaying()) return;
        for (int64 layer = kSettingsGeneralSampleLayer + 1; layer <= kSettingsLastSampleLayer; ++layer)
            QueueSoundStop(layer);
        const int k = std::rand() % 5;  // the C generator, seeded at start-up
        QueueSoundPlayFile(kSettingsGeneralSampleLayer, kSettingsSampleVoices[k]);
    }

    static void PlayCharacterSample(int character) {
        const int64 own = kSettingsSampleLayers[character - 1];
        for (int64 layer = kSettingsGeneralSampleLayer; layer <= kSettingsLastSampleLayer; ++layer) {
            if (layer == own)
                QueueSoundPlayFile(layer, kSettingsSampleVoices[character - 1]);
            else
                QueueSoundStop(layer);
        }
    }

    void Leave(bool initialize) {
        // A switch asked for a moment ago counts, as it does when "System.dat"
        // is written: the render thread may simply not have got to it yet.
        g_globalVariables.Set("System.FullScreen", 0, IntegerValue(IsFullScreenRequested() ? 1 : 0));
        g_globalVariables.Set(kValueNames[kTextWindow], 0, RealValue(values_[kTextWindow]));
        g_globalVariables.Set("System.TextSpeed", 0, IntegerValue(app_.textSpeed.load()));
        g_globalVariables.Set("System.AutoSpeed", 0, IntegerValue(app_.autoSpeed.load()));
        g_globalVariables.Set("System.KeyWaitAfterVoiceStop", 0,
                              IntegerValue(app_.keyWaitAfterVoiceStop.load() != 0 ? 1 : 0));
        g_globalVariables.Set("System.TranstionCut", 0, IntegerValue(app_.transitionCut.load() != 0 ? 1 : 0));
        g_globalVariables.Set("System.SkipAlready", 0, IntegerValue(app_.skipAlreadyOnly.load() != 0 ? 1 : 0));
        for (int i = kMaster; i < kValueCount; ++i) g_globalVariables.Set(kValueNames[i], 0, RealValue(values_[i]));
        if (initialize) return;
        // An initialize leaves the picture and the voices to the script that
        // resets everything; any other leave takes them away.
        for (int64 layer = kSettingsGeneralSampleLayer; layer <= kSettingsLastSampleLayer; ++layer)
            QueueSoundStop(layer);
        auto* remove = new classQue_GraphicDelete();
        remove->path = {kRoot};
        Post(remove, kMainScene);
    }

    classApplication& app_;
    classInputWaiter& waiter_;
    double values_[kValueCount] = {};
    classInputTarget* targets_[kTargetCount + 1] = {};
    int selected_ = 0;
    bool refresh_ = true;
    bool firstPass_ = true;
};

}  // namespace

bool Builtin_Config(classScriptContext& context, const std::vector<classScriptValue>&, int32, classScriptValue&) {
    classApplication* application = GetApplication();
    classInputWaiter* waiter = context.inputWaiter != nullptr ? context.inputWaiter->Get() : nullptr;
    // Without a waiter no input could ever end the screen.
    if (application == nullptr || waiter == nullptr) return true;
    const bool isMain = GetScriptHost().GetMainScriptContext() == &context;
    const SideScreenScope sideScreen(!isMain);
    // Given way to an interrupt, the main script's screen opens again after it.
    if (SettingsScreen(*application, *waiter).Run() && isMain) context.RepeatCurrentStatement();
    return true;
}
