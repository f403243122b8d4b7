#include "system/backlog_screen.h"

#include <cmath>
#include <cstdlib>

#include "commands/flow_services.h"
#include "commands/sound_commands.h"
#include "foundation/application.h"
#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "platform/window_messages.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "script/script_context.h"
#include "script/script_host.h"
#include "script/script_threads.h"

std::string g_backlogRowVoice[3];

namespace {

constexpr int64 kRoot = 120;
constexpr u64 kMainScene = 1;
constexpr int64 kPassWaitMs = 1000;
constexpr int kRows = 3;

constexpr char kSpacerPrefix[] = "@f(10)@u+(";
// "\n" here is the text layout's own escape: a backslash and an n.
constexpr char kLineEnd[] = "\\n";
constexpr char kLineColour[] = "@c(0xffffff)";

// The knob runs over 524 pixels of the bar, the newest page at the bottom.
constexpr float kKnobX = 598.5f;
constexpr double kKnobTravel = 524.0;
constexpr double kKnobBottom = -278.5;
constexpr double kKnobMouseTop = 639.0;

std::vector<int64> RowPath(int row) {
    return {kRoot, 11 + row};
}

void Post(classQueBase* record) {
    record->sceneMask = kMainScene;
    if (classQueue* queue = GetMainQueue()) {
        queue->Post(record);
    } else {
        QueRecordPtr drop(record);
    }
}

void PostText(const std::vector<int64>& path, std::string text) {
    auto* record = new classQue_GraphicStdOutTextX();
    record->path = path;
    record->text = std::move(text);
    record->fontNo.Set(0);
    record->color.Set(0xFFFFFF);
    // Drawn at once, no fade, no repeat.
    record->speed.Set(0);
    record->fadeMode.Set(0);
    record->fadeTime.Set(0);
    record->repeat.Set(0);
    record->repeatPeriod.Set(0);
    Post(record);
}

void PostPageFeed(const std::vector<int64>& path) {
    auto* feed = new classQue_PageFeed();
    feed->path = path;
    Post(feed);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void ShowEntry(int row, const classHistoryLog::Entry& entry) {
    const std::vector<int64> path = RowPath(row);
    auto* place = new classQue_GraphicAlter();
    place->path = path;
    place->x.Set(0.0f);
    place->y.Set(static_cast<float>(row * 200 - 240));
    Post(place);
    auto* show = new classQue_GraphicAlter();
    show->path = path;
    show->hide.Set(0);
    Post(show);
    PostPageFeed(path);
    g_backlogRowVoice[row].clear();
    const std::string_view voicePrefix = kBacklogVoicePrefix;
    for (const std::string& line : entry) {
        // A line of that style gets a blank gap above it.
        if (StartsWith(line, kSpacerPrefix)) PostText(path, "\\n\\n\\n" + std::string(76, ' '));
        if (StartsWith(line, voicePrefix)) {
            g_backlogRowVoice[row] = line.substr(voicePrefix.size());
        } else {
            PostText(path, kLineColour + line + kLineEnd);
        }
    }
}

bool MainCovered() {
    const classScriptContext* main = GetScriptHost().GetMainScriptContext();
    return main != nullptr && main->IsCurrentFrameCovered();
}

class BacklogScreen {
  public:
    explicit BacklogScreen(classInputWaiter& waiter) : waiter_(waiter), entries_(g_historyLog.Snapshot()) {}

    // True when it gave way to an interrupt pushed over the main script.
    bool Run() {
        AddTargets();
        const std::size_t count = entries_.size();
        position_ = count == 0 ? 0 : count - 1;
        BuildBacklogPage(entries_, position_);
        auto* create = new classQue_SoundCreate();
        create->layer = kSampleVoiceLayer;
        if (classQueue* queue = GetMainQueue()) queue->Post(create);
        else QueRecordPtr drop(create);

        const u32 generation = CurrentRestartGeneration();
        bool stepped = false;
        bool redraw = true;
        for (;;) {
            if (stepped) {
                fraction_ = count == 0 ? 0.0 : static_cast<double>(std::llabs(index_)) / static_cast<double>(count);
                BuildBacklogPage(entries_, position_);
                redraw = true;
                stepped = false;
            } else {
                FollowKnob();
            }
            if (redraw) {
                auto* knob = new classQue_GraphicAlter();
                knob->path = {kRoot, 1};
                knob->x.Set(kKnobX);
                knob->y.Set(static_cast<float>(fraction_ * kKnobTravel + kKnobBottom));
                Post(knob);
                redraw = false;
            }
            ShowVoiceButtons();
            waiter_.ResetCaseStates(nullptr);
            CommitQueue(GetMainQueue());
            waiter_.CommitQueue();
            classInputTarget* fired = waiter_.Wait(kPassWaitMs);
            if (IsScriptWaitOver(generation)) break;
            if (MainCovered()) return true;
            if (fired == nullptr) continue;
            if (fired == knob_) {
                const double f = (kKnobMouseTop - static_cast<double>(g_inputManager.mouseY.load())) / kKnobTravel;
                fraction_ = std::isnan(f) || f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
                redraw = true;
            } else if (fired == back_ || fired == right_) {
                break;
            } else if (fired == older_[0] || fired == older_[1] || fired == older_[2]) {
                StepOlder();
                stepped = true;
            } else if (fired == newer_[0] || fired == newer_[1] || fired == newer_[2]) {
                StepNewer();
                stepped = true;
            } else {
                for (int row = 0; row < kRows; ++row) {
                    if (fired != voice_[row] || g_backlogRowVoice[row].empty()) continue;
                    auto* alter = new classQue_SoundAlter();
                    alter->layer = kSampleVoiceLayer;
                    alter->files = g_backlogRowVoice[row];
                    auto* play = new classQue_SoundPlay();
                    play->layer = kSampleVoiceLayer;
                    if (classQueue* queue = GetMainQueue()) {
                        queue->Post(alter);
                        queue->Post(play);
                    } else {
                        QueRecordPtr dropAlter(alter);
                        QueRecordPtr dropPlay(play);
                    }
                }
            }
        }
        // Leaving removes nothing: the rows and the replayed voice stay for
        // the script to take down.
        return false;
    }

  private:
    void AddTargets() {
        waiter_.ClearTargets();
        knob_ = classInputTarget::SetMouseButton(waiter_.AddTarget(), platform::VK_LBUTTON, 1);
        knob_->region = {kRoot, 1};
        knob_->caseStrings[kCaseNormal] = "system\\backlog_bar_off.png";
        knob_->caseStrings[kCaseSelect] = "system\\backlog_bar_on.png";
        back_ = classInputTarget::SetMouseButton(waiter_.AddTarget(), platform::VK_LBUTTON, 0);
        back_->region = {kRoot, 2};
        back_->caseStrings[kCaseNormal] = "system\\backlog_back_off.png";
        back_->caseStrings[kCaseSelect] = "system\\backlog_back_on.png";
        for (int row = 0; row < kRows; ++row) {
            voice_[row] = classInputTarget::SetMouseButton(waiter_.AddTarget(), platform::VK_LBUTTON, 0);
            voice_[row]->region = RowPath(row);
            voice_[row]->overlayLayer = {kRoot, 11 + row, 0};
        }
        right_ = classInputTarget::SetMouseButton(waiter_.AddTarget(), platform::VK_RBUTTON, 0);
        older_[0] = classInputTarget::SetKey(waiter_.AddTarget(), platform::VK_UP, 0);
        newer_[0] = classInputTarget::SetKey(waiter_.AddTarget(), platform::VK_DOWN, 0);
        older_[1] = classInputTarget::SetKey(waiter_.AddTarget(), platform::VK_PRIOR, 0);
        newer_[1] = classInputTarget::SetKey(waiter_.AddTarget(), platform::VK_NEXT, 0);
        older_[2] = classInputTarget::SetWheelUp(waiter_.AddTarget());
        newer_[2] = classInputTarget::SetWheelDown(waiter_.AddTarget());
    }

    bool AtOldest() const { return entries_.empty() || position_ == 0; }
    bool AtEnd() const { return position_ >= entries_.size(); }

    void StepOlder() {
        if (AtOldest()) return;
        ++index_;
        --position_;
    }

    void StepNewer() {
        if (AtEnd()) return;
        --index_;
        ++position_;
        // The end is no page to show: the newest one stays in the top row.
        if (AtEnd() && !entries_.empty()) {
            ++index_;
            --position_;
        }
    }

    // The knob chose a place in the store: walk there a page at a time.
    void FollowKnob() {
        const int64 target = static_cast<int64>(static_cast<double>(entries_.size()) * fraction_);
        const int64 start = index_;
        while (index_ != target) {
            const int64 before = index_;
            if (target > index_) {
                StepOlder();
            } else if (!AtEnd()) {
                --index_;
                ++position_;
            }
            if (index_ == before || AtEnd()) break;
        }
        if (index_ != start) BuildBacklogPage(entries_, position_);
    }

    void ShowVoiceButtons() {
        for (int row = 0; row < kRows; ++row) {
            std::string* strings = voice_[row]->caseStrings;
            if (g_backlogRowVoice[row].empty()) {
                strings[classInputTarget::kOverlayNormal].clear();
                strings[classInputTarget::kOverlaySelect].clear();
                // Forgotten as well, so the button shows again when a later
                // page of this row has a voice.
                strings[classInputTarget::kCurrentOverlay].clear();
                auto* hide = new classQue_GraphicAlter();
                hide->path = voice_[row]->overlayLayer;
                hide->hide.Set(1);
                Post(hide);
            } else {
                strings[classInputTarget::kOverlayNormal] = "system\\backlog_voice_off.png";
                strings[classInputTarget::kOverlaySelect] = "system\\backlog_voice_on.png";
            }
        }
    }

    classInputWaiter& waiter_;
    const std::vector<classHistoryLog::Entry> entries_;  // the store as it was when the screen opened
    std::size_t position_ = 0;  // the entry in the top row; entries_.size() is the end
    int64 index_ = 0;           // pages back from the newest
    double fraction_ = 0.0;     // the knob's place, 0 newest to 1 oldest
    classInputTarget* knob_ = nullptr;
    classInputTarget* back_ = nullptr;
    classInputTarget* voice_[kRows] = {};
    classInputTarget* right_ = nullptr;
    classInputTarget* older_[3] = {};
    classInputTarget* newer_[3] = {};
};

}  // namespace

void BuildBacklogPage(const std::vector<classHistoryLog::Entry>& entries, std::size_t position) {
    bool ranOut = false;
    for (int row = 0; row < kRows; ++row) {
        if (!ranOut && position < entries.size()) {
            ShowEntry(row, entries[position]);
        } else {
            PostPageFeed(RowPath(row));
            g_backlogRowVoice[row].clear();
        }
        if (entries.empty() || position == 0)
            ranOut = true;
        else
            --position;
    }
}

void RunBacklogScreen(classScriptContext& context) {
    // The thread's own waiter: "History" on another thread than the main
    // script's must not wait on a waiter the main script may be blocked on.
    classInputWaiter* waiter = context.inputWaiter != nullptr ? context.inputWaiter->Get() : nullptr;
    if (waiter == nullptr) return;
    const bool isMain = GetScriptHost().GetMainScriptContext() == &context;
    const SideScreenScope sideScreen(!isMain);
    // Given way to an interrupt, the main script's backlog opens again after it.
    if (BacklogScreen(*waiter).Run() && isMain) context.RepeatCurrentStatement();
}

void RegisterSystemScreens() {
    FlowCommandServices services = GetFlowCommandServices();
    services.runBacklogScreen = &RunBacklogScreen;
    SetFlowCommandServices(services);
}
