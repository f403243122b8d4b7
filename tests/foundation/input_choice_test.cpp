#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "support/input_fakes.h"

using namespace platform;
using namespace std::chrono_literals;
using fakes::BlockedWait;
using Kind = InputCaseRecord::Kind;

namespace {

// A record as a short line: kind, path, then what it carries.
std::string Describe(const InputCaseRecord& record) {
    std::string path;
    for (int64 key : record.path) path += (path.empty() ? "" : ".") + std::to_string(key);
    switch (record.kind) {
        case Kind::GraphicAlter: {
            std::string out = "alter " + std::to_string(record.sceneMask) + " " + path;
            if (!record.file.empty()) out += " " + record.file;
            if (record.hide.IsSet()) out += " hide=" + std::to_string(record.hide.Get());
            return out;
        }
        case Kind::SoundCreate:
            return "sound-create " + std::to_string(record.soundLayer);
        case Kind::SoundAlter:
            return "sound-alter " + std::to_string(record.soundLayer) + " " + record.file;
        case Kind::SoundPlay:
            return "sound-play " + std::to_string(record.soundLayer);
        case Kind::PageFeed:
            return "feed " + std::to_string(record.sceneMask) + " " + path;
        case Kind::GraphicStdOutTextX:
            return "text " + std::to_string(record.sceneMask) + " " + path + " " + record.text +
                   " font=" + std::to_string(record.font) + " color=" + std::to_string(record.color) +
                   " speed=" + std::to_string(record.speed) + " " + std::to_string(record.drawValue1) + "," +
                   std::to_string(record.drawValue2);
    }
    return "?";
}

class InputChoiceTest : public fakes::InputTest {
  protected:
    classInputWaiter* waiter = nullptr;
    void SetUp() override {
        fakes::InputTest::SetUp();
        waiter = g_inputManager.AddWaiter(0);
    }

    std::vector<std::string> Posted() {
        std::vector<std::string> out;
        for (const InputCaseRecord& record : queue.Take()) out.push_back(Describe(record));
        return out;
    }

    // A case as "Case" makes it: a left-click area with images named after
    // `name` for the four states, at hitOffset (x, y) with a 100 x 40 texture.
    classInputTarget* AddCase(const std::string& name, int64 key, float x, float y, u8 moveOn = 1) {
        scene.Put({key}, 100, 40, x, y);
        classInputTarget* target = classInputTarget::SetMouseButton(waiter->AddTarget(), VK_LBUTTON, 0);
        target->region = {key};
        target->moveOn = moveOn;
        const char* states[] = {"n", "s", "d", "x"};
        for (int i = 0; i < 4; ++i) target->caseStrings[1 + i] = name + "_" + states[i] + ".png";
        return target;
    }
    // Client point at the centre of a hitOffset (logical 1280 x 720, y up).
    static void MoveOver(float x, float y) { MoveTo(static_cast<int>(640 + x), static_cast<int>(360 - y)); }
};

// ---- display states ----

TEST_F(InputChoiceTest, ApplyingAStatePostsEachChangedPartOnce) {
    classInputTarget* target = waiter->AddTarget();
    target->region = {5};
    target->textLayer = {5, 1};
    target->overlayLayer = {5, 2};
    target->soundLayer.Set(104);
    const char* strings[18] = {"",      "n.png",  "s.png", "d.png",  "x.png", "",   "n.wav", "s.wav", "",
                               "x.wav", "on.png", "",      "os.png", "",      "#n", "#s",    "#d",    "#x"};
    for (int i = 0; i < 18; ++i) target->caseStrings[i] = strings[i];

    EXPECT_TRUE(classInputTarget::ApplyCaseState(target, kCaseSelect));
    EXPECT_EQ(Posted(),
              (std::vector<std::string>{"alter 3 5 s.png", "sound-create 104", "sound-alter 104 s.wav",
                                        "sound-play 104", "alter 3 5.2 os.png hide=0", "feed 1 5.1",
                                        "text 1 5.1 #s font=0 color=16777215 speed=0 0,0"}));
    EXPECT_TRUE(classInputTarget::ApplyCaseState(target, kCaseSelect));
    EXPECT_TRUE(Posted().empty());

    // Decide: no decide sound (empty), the overlay is hidden.
    EXPECT_TRUE(classInputTarget::ApplyCaseState(target, kCaseDecide));
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 5 d.png", "alter 3 5.2 hide=1", "feed 1 5.1",
                                                  "text 1 5.1 #d font=0 color=16777215 speed=0 0,0"}));
    EXPECT_EQ(target->caseStrings[classInputTarget::kCurrentSound], "");
    EXPECT_EQ(target->caseStrings[classInputTarget::kCurrentOverlay], "");

    EXPECT_FALSE(classInputTarget::ApplyCaseState(nullptr, kCaseNormal));
    EXPECT_FALSE(classInputTarget::ApplyCaseState(target, 5));
}

TEST_F(InputChoiceTest, EmptyFilesChangeNothingAndNoSelectOverlayMeansNoOverlay) {
    classInputTarget* target = waiter->AddTarget();
    target->region = {5};
    target->overlayLayer = {6};
    target->caseStrings[1] = "n.png";
    target->caseStrings[10] = "on.png";  // no select overlay: overlays unused
    target->caseStrings[6] = "n.wav";    // no sound layer: not played
    classInputTarget::ApplyCaseState(target, kCaseNormal);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 5 n.png"}));
    classInputTarget::ApplyCaseState(target, kCaseSelect);  // empty select image
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(target->caseStrings[0], "");
    classInputTarget::ApplyCaseState(target, kCaseNormal);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 5 n.png"}));
}

// ---- the mouse ----

TEST_F(InputChoiceTest, MovingBetweenCasesPostsOnlyWhatChanges) {
    AddCase("a", 1, -200.0f, 0.0f);
    AddCase("b", 2, 200.0f, 0.0f);
    BlockedWait wait(waiter, -1);
    MoveOver(-200.0f, 0.0f);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_s.png", "alter 3 2 b_n.png"}));
    EXPECT_EQ(waiter->GetSelectedTarget(), &waiter->Targets().front());
    MoveOver(200.0f, 0.0f);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_n.png", "alter 3 2 b_s.png"}));
    MoveOver(210.0f, 5.0f);
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(queue.commits.load(), 3);  // every move commits, the wait goes on
    EXPECT_FALSE(wait.Returned(0ms));
}

TEST_F(InputChoiceTest, MovingOffEveryCaseRestoresThemAndPassesTheMessageOn) {
    classInputWaiter* lower = g_inputManager.AddWaiter(-1);
    classInputTarget* lowerMove = classInputTarget::SetWindowMessage(lower->AddTarget(), WM_MOUSEMOVE);
    AddCase("a", 1, 0.0f, 0.0f);
    BlockedWait wait(waiter, -1);
    MoveOver(0.0f, 0.0f);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_s.png"}));
    BlockedWait lowerWait(lower, -1);
    MoveTo(5, 5);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_n.png"}));
    EXPECT_EQ(waiter->GetSelectedTarget(), nullptr);
    ASSERT_TRUE(lowerWait.Returned());
    EXPECT_EQ(lowerWait.Result(), lowerMove);
}

TEST_F(InputChoiceTest, ADecidedCaseShowsDecidedBeforeItsThreadWakes) {
    classInputTarget* a = AddCase("a", 1, 0.0f, 0.0f);
    a->textLayer = {1, 9};
    a->overlayLayer = {1, 8};
    a->caseStrings[12] = "over.png";
    a->caseStrings[11] = "over.png";  // shown by an earlier select
    a->caseStrings[16] = "#d";
    BlockedWait wait(waiter, -1);
    Click(640, 360);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), a);
    // Posted and committed by the time Wait returned.
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_d.png", "alter 3 1.8 hide=1", "feed 1 1.9",
                                                  "text 1 1.9 #d font=0 color=16777215 speed=0 0,0"}));
    EXPECT_EQ(queue.commits.load(), 1);
}

// ---- the keyboard ----

// List order (mode 1) steps through the cases with MoveOn and does not wrap;
// nearest in the direction (mode 2) weighs the cross distance half. The first
// arrow with nothing selected takes an end of the list.
TEST_F(InputChoiceTest, ArrowsSelectTheNextCaseOfTheMode) {
    struct Spot {
        float x, y;
        u8 moveOn = 1;
        u8 disabled = 0;
    };
    struct Case {
        const char* name;
        u8 mode;
        std::vector<Spot> spots;
        std::vector<u64> keys;
        int selected;
    };
    const std::vector<Spot> column = {{0, 100}, {0, 50, 0}, {0, 0}};
    const Case cases[] = {
        {"down from nothing takes the first", 1, column, {VK_DOWN}, 0},
        {"down skips a case without MoveOn", 1, column, {VK_DOWN, VK_DOWN}, 2},
        {"right after the last stays", 1, column, {VK_DOWN, VK_DOWN, VK_RIGHT}, 2},
        {"up steps back", 1, column, {VK_DOWN, VK_DOWN, VK_UP}, 0},
        {"left before the first stays", 1, column, {VK_DOWN, VK_DOWN, VK_UP, VK_LEFT}, 0},
        {"up from nothing takes the last", 1, {{0, 100}, {0, 0}}, {VK_UP}, 1},
        {"down passes a disabled case", 1, {{0, 100, 1, 1}, {0, 0}}, {VK_DOWN}, 1},
        {"up never lands on a disabled case", 1, {{0, 100, 1, 1}, {0, 0}}, {VK_DOWN, VK_UP}, 1},
        {"nearest from nothing takes the first", 2, {{0, 0}, {50, 80}, {100, 0}}, {VK_RIGHT}, 0},
        // 100²/2 = 5000 beats 50²/2 + 80² = 7650.
        {"nearest favours the same row", 2, {{0, 0}, {50, 80}, {100, 0}}, {VK_RIGHT, VK_RIGHT}, 2},
        // 60² + 100²/2 = 8600 for both sides beats 140²/2 = 9800; the earlier wins.
        {"nearest favours the same column, ties the earlier", 2, {{0, 0}, {-60, 100}, {60, 100}, {0, 140}},
         {VK_UP, VK_UP}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_inputManager.ResetForTest();
        waiter = g_inputManager.AddWaiter(0);
        waiter->navigationMode = c.mode;
        std::vector<classInputTarget*> targets;
        for (size_t i = 0; i < c.spots.size(); ++i) {
            targets.push_back(AddCase("c" + std::to_string(i), static_cast<int64>(i + 1), c.spots[i].x, c.spots[i].y,
                                      c.spots[i].moveOn));
            targets.back()->disabled = c.spots[i].disabled;
        }
        BlockedWait wait(waiter, -1);
        for (u64 key : c.keys) KeyDown(key);
        EXPECT_EQ(waiter->GetSelectedTarget(), targets[static_cast<size_t>(c.selected)]);
        EXPECT_FALSE(wait.Returned(0ms));
    }
}

TEST_F(InputChoiceTest, DisabledCasesShowDisabledAndEnterFiresTheSelectedOne) {
    classInputTarget* a = AddCase("a", 1, 0.0f, 100.0f);
    a->disabled = 1;
    classInputTarget* b = AddCase("b", 2, 0.0f, 0.0f);
    BlockedWait wait(waiter, -1);
    KeyDown(VK_RETURN);  // nothing selected: nothing happens
    EXPECT_TRUE(Posted().empty());
    KeyDown(VK_DOWN);
    EXPECT_EQ(Posted(), (std::vector<std::string>{"alter 3 1 a_x.png", "alter 3 2 b_s.png"}));
    KeyDown(VK_RETURN);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), b);
}

TEST_F(InputChoiceTest, EnterFiresOnlyACaseWithMoveOn) {
    classInputTarget* a = AddCase("a", 1, 0.0f, 0.0f, /*moveOn=*/0);
    BlockedWait wait(waiter, -1);
    MoveOver(0.0f, 0.0f);  // the mouse can point at it
    EXPECT_EQ(waiter->GetSelectedTarget(), a);
    KeyDown(VK_RETURN);
    EXPECT_FALSE(wait.Returned(30ms));
    EXPECT_EQ(waiter->GetFiredTarget(), nullptr);
}

// ---- the keyboard, nearest in the direction ----

TEST_F(InputChoiceTest, NoCaseInTheDirectionFiresTheMoveOut) {
    waiter->navigationMode = 2;
    AddCase("s", 1, 0.0f, 0.0f);
    AddCase("l", 2, -100.0f, 0.0f);
    classInputTarget::SetMoveOut(waiter->AddTarget(), 3);
    classInputTarget* outRight = classInputTarget::SetMoveOut(waiter->AddTarget(), 4);
    BlockedWait wait(waiter, -1);
    KeyDown(VK_RIGHT);
    KeyDown(VK_RIGHT);
    ASSERT_TRUE(wait.Returned());
    EXPECT_EQ(wait.Result(), outRight);
}

TEST_F(InputChoiceTest, OtherModesIgnoreTheArrows) {
    waiter->navigationMode = 3;
    AddCase("a", 1, 0.0f, 0.0f);
    EXPECT_EQ(waiter->Navigate(WM_KEYDOWN, VK_DOWN), nullptr);
    waiter->navigationMode = 0;
    EXPECT_EQ(waiter->Navigate(WM_KEYDOWN, VK_DOWN), nullptr);
    waiter->navigationMode = 1;
    EXPECT_EQ(waiter->Navigate(WM_KEYUP, VK_DOWN), nullptr);
    EXPECT_EQ(waiter->Navigate(WM_KEYDOWN, 'A'), nullptr);
    EXPECT_NE(waiter->Navigate(WM_KEYDOWN, VK_DOWN), nullptr);
}

TEST_F(InputChoiceTest, ClearingTargetsLeavesNothingSelected) {
    AddCase("a", 1, 0.0f, 0.0f);
    {
        BlockedWait wait(waiter, -1);
        KeyDown(VK_DOWN);
        EXPECT_NE(waiter->GetSelectedTarget(), nullptr);
    }
    waiter->ClearTargets();
    EXPECT_EQ(waiter->GetSelectedTarget(), nullptr);
}

}  // namespace
