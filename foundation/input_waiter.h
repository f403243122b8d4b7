#pragma once
// Input waiters and input targets. A script thread that waits for the player
// puts targets on its own waiter and blocks in Wait; the input manager offers
// every window message to the waiters on the UI thread, and a waiter that is
// blocked and has a matching target records it as fired and wakes its thread.
// A choice's cases are targets too: while the thread waits, the UI thread moves
// the cursor between them and posts their display changes itself.
//
// A thread that loops on its waiter (a screen redrawing between passes, a wait
// re-testing a picture) spends moments between two waits; a click or key that
// no waiting thread takes in such a moment is kept for that thread's next
// Wait, so the player's press is not lost. Changing the targets ends the
// moment and forgets the press: it was meant for what the targets offered.
//
// Threads: the owning script thread adds and clears targets and changes the
// waiter's settings only while it is not in Wait. The UI thread reads and
// writes the targets only while it holds the waiter "busy" (claimed from the
// waiting state under stateMutex_), and Wait does not return while it does;
// so a time-out that races a fire can neither lose the fire nor free targets
// the UI thread is still reading. Between two waits the UI thread may claim
// it too, but then only reads what matching needs, and AddTarget, ClearTargets
// and Reset wait until it is done. stateMutex_ is a leaf lock: nothing else
// is taken while it is held, so it is safe under any other lock.

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/input_links.h"
#include "foundation/optional_value.h"
#include "foundation/queue_poster.h"
#include "foundation/types.h"

class classInputWaiter;

// Case display states.
inline constexpr int kCaseNormal = 1;
inline constexpr int kCaseSelect = 2;
inline constexpr int kCaseDecide = 3;
inline constexpr int kCaseDisable = 4;

class classInputTarget {
  public:
    enum Kind : u32 {
        kNone = 0,
        kMouseButton = 1,
        kWheelUp = 2,
        kWheelDown = 3,
        kKey = 4,
        kKeySequence = 5,
        kWindowMessage = 6,
        kMoveOutUp = 7,
        kMoveOutDown = 8,
        kMoveOutLeft = 9,
        kMoveOutRight = 10,
    };
    // Indexes into caseStrings.
    enum CaseString : int {
        kCurrentImage = 0,  // 1..4: image per state
        kCurrentSound = 5,  // 6..9: sound per state
        kOverlayNormal = 10,
        kCurrentOverlay = 11,
        kOverlaySelect = 12,
        kCurrentText = 13,  // 14..17: text per state
        kCaseStringCount = 18,
    };

    u32 kind = kNone;
    u32 code = 0;
    std::vector<int64> keyList;
    u64 message = 0;
    std::vector<int64> region;
    classOptionalValue<int64> soundLayer;
    std::vector<int64> textLayer;
    u8 disabled = 0;
    u8 hold = 0;
    u8 moveOn = 0;
    classInputWaiter* owner = nullptr;
    std::vector<int64> overlayLayer;
    classOptionalValue<int64> jump;
    std::string caseStrings[kCaseStringCount];

    // Setters: null-safe, overwrite the kind, return the target.
    static classInputTarget* SetMouseButton(classInputTarget* target, u32 button, u8 hold);
    static classInputTarget* SetWheelUp(classInputTarget* target);
    static classInputTarget* SetWheelDown(classInputTarget* target);
    static classInputTarget* SetKey(classInputTarget* target, u32 virtualKey, u8 hold);
    static classInputTarget* SetKeySequence(classInputTarget* target, std::vector<int64> keys);
    static classInputTarget* SetWindowMessage(classInputTarget* target, u64 message);
    // A direction outside 1 (up) to 4 (right) leaves the kind as it was.
    static classInputTarget* SetMoveOut(classInputTarget* target, int direction);

    u32 GetKind() const { return kind; }

    // Matching; x and y are logical coordinates.
    bool MatchesButton(u32 message, float x, float y) const;
    bool MatchesWheel(u64 wParam, float x, float y) const;
    bool MatchesKey(u64 virtualKey) const;
    // Compares the key list with the most recent keys (`recent`, oldest first).
    bool MatchesKeySequence(const std::vector<int64>& recent) const;
    bool MatchesWindowMessage(u32 message) const;
    bool MatchesHover(float x, float y) const;
    // Whether the logical point (px, py) lies in the region object's area,
    // edges included.
    bool HitTestRegion(int px, int py) const;
    // The region object's hitOffset; false when it is missing, hidden or has
    // no texture.
    bool GetRegionPosition(float& x, float& y, float& z) const;

    bool IsMoveOn() const { return disabled == 0 && moveOn == 1; }
    bool IsMoveOut(int direction) const {
        return disabled == 0 && direction >= 1 && direction <= 4 && kind == static_cast<u32>(6 + direction);
    }
    bool IsAnyMoveOut() const { return IsMoveOut(1) || IsMoveOut(2) || IsMoveOut(3) || IsMoveOut(4); }

    // Posts the records that show the case in `state` (1 to 4) to the owner's
    // queue without committing. Null-safe: false for a null target.
    static bool ApplyCaseState(classInputTarget* target, int state);
};

// A built-in screen ("History", "Config") that a side script runs takes the
// player's input for itself: while one is open, waiters marked to yield to it
// (the main script's) take nothing, so what the screen does not use goes
// nowhere instead of moving the story on behind it. Any thread; counted, so
// screens on two side threads nest.
void BeginSideScreen();
void EndSideScreen();
bool IsSideScreenOpen();

class SideScreenScope {
  public:
    explicit SideScreenScope(bool active) : active_(active) {
        if (active_) BeginSideScreen();
    }
    ~SideScreenScope() {
        if (active_) EndSideScreen();
    }
    SideScreenScope(const SideScreenScope&) = delete;
    SideScreenScope& operator=(const SideScreenScope&) = delete;

  private:
    bool active_;
};

class classInputWaiter {
  public:
    explicit classInputWaiter(int64 priority = 0);
    classInputWaiter(const classInputWaiter&) = delete;
    classInputWaiter& operator=(const classInputWaiter&) = delete;

    int64 priority;

    // Owner thread, outside Wait.
    void Reset();
    classInputTarget* AddTarget();
    void ClearTargets();
    // Drops what a choice leaves for every later wait (its select layer and
    // navigation mode), as a load or a restart must: the game it belonged to
    // is gone.
    void ResetChoiceSettings();
    // Blocks until a target fires, the time-out (ms; negative: none) passes,
    // the waiter is woken, or the program quits or restarts. The target that
    // fired during this wait (or the held one of the hold rule); null on a
    // time-out or a wake-up without a new press: a press counts once.
    classInputTarget* Wait(int64 timeoutMs);
    // The same, returning at once as woken when a wake-up has come since
    // WakeCount gave `seenWakes`: a caller that tests a condition and then
    // waits for it to change loses no wake-up given between the two.
    classInputTarget* Wait(int64 timeoutMs, u64 seenWakes);

    // Any thread: releases a blocked Wait without a fire.
    void Wake();
    // Any thread: how many wake-ups there have been.
    u64 WakeCount();

    // UI thread, under the input manager's lock. True when the message was
    // taken.
    bool OnMessage(u32 message, u64 wParam, int64 lParam);
    // UI thread, under the input manager's lock, for a message no waiter
    // took: while the owner is between two waits, a button press or a fresh
    // key press that a button or key target matches is kept, and the next
    // Wait returns that target at once. True when it was kept.
    bool KeepPressForNextWait(u32 message, u64 wParam, int64 lParam);

    classQueue* GetQueue() const { return queue; }
    // Any thread, as the owner: what the UI thread posts and commits for a
    // choice belongs to the batch of the thread that waits in it.
    void PostToQueue(const InputCaseRecord& record);
    void CommitQueue();

    // Searches in list order; the first match or null.
    classInputTarget* FindWindowMessageTarget(u32 message);
    classInputTarget* FindKeyTarget(u64 virtualKey);
    classInputTarget* FindKeySequenceTarget(const std::vector<int64>& recent);
    classInputTarget* FindButtonTarget(u32 message, float x, float y);
    classInputTarget* FindWheelTarget(u64 wParam, float x, float y);
    classInputTarget* FindHoverTarget(float x, float y);

    // Choice handling (UI thread while busy, or the owner outside Wait).
    void ResetCaseStates(classInputTarget* selected);
    classInputTarget* Navigate(u32 message, u64 virtualKey);

    bool IsWaiting() const { return waiting.load() != 0; }
    classInputTarget* GetFiredTarget() const { return firedTarget; }
    classInputTarget* GetSelectedTarget() const { return selectedTarget; }
    std::list<classInputTarget>& Targets() { return targets; }

    // Settings the owner changes outside Wait.
    classQueue* queue = nullptr;     // null: the main queue
    // The owner's mark on the records it posts; the thread that makes the
    // waiter is its owner. Not changed after.
    const QuePoster poster = CurrentQuePoster();
    u8 standsAside = 0;              // no input while the main script runs an interrupt
    u8 yieldsToSideScreens = 0;      // no input while a side script runs a screen (the main script's)
    std::vector<int64> selectLayer;  // object that must be present and visible; empty: none
    u32 navigationMode = 1;          // 1 list order, 2 nearest in the direction

  private:
    // kBetween: the owner has left a Wait and not yet changed its targets.
    enum class State { kIdle, kWaiting, kBusy, kDone, kBetween };

    // The hover selection and the keyboard part of OnMessage; true when taken.
    bool OnMouseMove(int64 lParam);
    bool IsAccepting() const;
    void Fire(classInputTarget* target);
    // Owner thread: ends the time between waits, waiting out a UI thread
    // still matching, and hands over the press kept meanwhile (or null).
    classInputTarget* EndBetweenWaits();

    std::atomic<u8> waiting{0};  // atomic: 1 while the owner is in Wait; read by any thread
    u32 waitResult = 0;          // owner thread
    // Written by the UI thread while busy, by the owner outside Wait.
    classInputTarget* firedTarget = nullptr;
    classInputTarget* selectedTarget = nullptr;
    std::list<classInputTarget> targets;  // stable addresses: targets point at each other

    std::mutex stateMutex_;                  // leaf lock
    std::condition_variable changed_;        // with stateMutex_
    State state_ = State::kIdle;             // guarded by stateMutex_
    bool signalled_ = false;                 // guarded by stateMutex_: the event
    u64 wakes_ = 0;                          // guarded by stateMutex_: Wake calls so far
    bool firedInWait_ = false;               // guarded by stateMutex_: a target fired in this wait
    classInputTarget* keptPress_ = nullptr;  // guarded by stateMutex_
};
