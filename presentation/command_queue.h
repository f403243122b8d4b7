#pragma once
// Command queues. Script threads never touch the scenes, the device or the
// sound system: their commands post records to a queue, commit it at a
// synchronisation point and wait for a frame; the render thread runs the
// committed records of every queue at the start of each frame.
//
// Several threads post to one queue (the side scripts to the main queue, the
// UI thread a choice's case states): each record carries its poster's mark
// (foundation/queue_poster.h), and a commit or a commit point releases only
// the records of the thread that makes it, in the order they were posted.
// Committed records run in queue order whoever posted them, so what two
// threads both committed still runs in the order it was posted; a record not
// yet committed keeps its place and holds back only its own poster's later
// records.
//
// Locks: g_queueLock guards every queue's records and committed count, the
// list of queues, and the execution of records (records run under it). It is
// recursive: the walk over the list holds it while each queue takes it again.
// Order: the application lock, then g_queueLock, then the device or sound lock.

#include <atomic>
#include <deque>
#include <functional>
#include <list>
#include <vector>

#include "foundation/critical_section.h"
#include "foundation/queue_poster.h"
#include "presentation/que_records.h"

class classGraphicObject;

// What every record's Execute is handed.
struct classQueContext {
    // The scene the record acts on for this call; null for a mask-0 record or
    // for the overlay when no transition runs.
    classGraphicObject* currentRoot = nullptr;
    // The application's scene fields, so that a record can reach (and the
    // transition replace) the other scene.
    classGraphicObject** mainScene = nullptr;
    classGraphicObject** overlayScene = nullptr;
};

class classQueue {
  public:
    // Empty and registered at the end of g_queueList.
    classQueue();
    // Unregisters the queue and frees records still in it, unexecuted.
    ~classQueue();
    classQueue(const classQueue&) = delete;
    classQueue& operator=(const classQueue&) = delete;

    // Marked as the calling thread's. Without the commit point the record
    // goes to the end, uncommitted. With it the record goes right in front of
    // the thread's first record still waiting (or to the end) and everything
    // the thread posted is committed, so a transition captures the screen as
    // it was before the batch that is still waiting. A null record is ignored.
    void Post(QueRecordPtr record, bool commitPoint = false);
    void Post(classQueBase* record, bool commitPoint = false) { Post(QueRecordPtr(record), commitPoint); }

    // Releases every record the calling thread posted to the render thread.
    // The main script's commits are refused (false, nothing changed) on the
    // main queue while next-choice skipping is on.
    bool Commit();

    // Frees the calling thread's records not yet committed, unexecuted: what
    // a side script posted before a load or a restart belongs to the game
    // that is gone.
    void DropUncommitted();

    // Waits while the queue holds committed records; false when `ms` passed
    // first. Also returns (true) once the program is quitting.
    bool WaitUntilEmpty(u32 ms);

    // Waits up to a second for the committed records, then unregisters the
    // queue and frees what is left unexecuted. The owner destroys it after.
    void Shutdown();

    // Render thread: runs the committed records, oldest first, each once per
    // bit of its scene mask, and frees them.
    void ExecuteCommitted(classQueContext& context);
    // The same with the application's two scene fields.
    void Execute();

    // Cancels the graphic records whose effect a newer record of the queue
    // overrides; for the main queue when next-choice skipping ends.
    void Compact();

    // Under g_queueLock; for tests and for the posters' own checks.
    size_t GetRecordCount() const;
    // Removes every record, committed or not, and hands them over oldest
    // first, unexecuted; lets a test read what a command posted.
    std::vector<QueRecordPtr> TakeRecords();
    // How many records, of every poster, are committed and not yet run.
    int32 GetCommittedCount() const;
    // Under g_queueLock: each record, oldest first, with whether it is
    // committed; for tests that check what a command posted.
    void ForEachRecord(const std::function<void(const classQueBase& record, bool committed)>& visit) const;
    // Frees every record unexecuted and leaves the queue empty and registered.
    void DiscardAll();

  private:
    struct Entry {
        classQueBase* record;
        QuePoster poster;
        bool committed;
    };
    // Marks every record of `poster` committed.
    void CommitPoster(QuePoster poster);
    bool IsRefused(QuePoster poster) const;

    // Guarded by g_queueLock.
    std::deque<Entry> records_;
    // The committed entries of records_; written under g_queueLock, atomic
    // so that a waiter may poll it.
    std::atomic<int32> committedCount_{0};
    bool registered_ = false;  // guarded by g_queueLock
};

extern classCriticalSection g_queueLock;
// Every live queue in order of construction; guarded by g_queueLock.
extern std::list<classQueue*> g_queueList;

// The main script's queue, built on first use.
classQueue* GetMainQueue();
// False for a missing queue, else classQueue::Commit.
bool CommitQueue(classQueue* queue);
// Render thread, once per frame: every queue of g_queueList in list order.
void ExecuteAllQueues();

// Plugs the per-frame execution into the render thread.
void RegisterCommandQueueSubsystem();
