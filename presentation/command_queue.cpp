#include "presentation/command_queue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "foundation/worker_threads.h"
#include "platform/clock.h"
#include "presentation/interrupt_snapshot.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"

classCriticalSection g_queueLock;
std::list<classQueue*> g_queueList;

namespace {

// Signalled after each queue's execution so that WaitUntilEmpty sleeps
// instead of polling; guarded by its own mutex, never held with g_queueLock.
std::mutex g_drainMutex;
std::condition_variable g_drained;

bool IsMainQueueSkipping(const classQueue* queue) {
    classApplication* application = GetApplication();
    if (application == nullptr || application->nextSelectSkipping.load() == 0) return false;
    return queue == GetMainQueue();
}

bool IsProgramQuitting() {
    classApplication* application = GetApplication();
    return application != nullptr && application->IsQuitting();
}

}  // namespace

classQueue::classQueue() {
    classCriticalSectionLock hold(g_queueLock);
    g_queueList.push_back(this);
    registered_ = true;
}

classQueue::~classQueue() {
    classCriticalSectionLock hold(g_queueLock);
    if (registered_) {
        g_queueList.remove(this);
        registered_ = false;
    }
    for (Entry& entry : records_) entry.record->Delete();
    records_.clear();
    committedCount_.store(0);
}

void classQueue::CommitPoster(QuePoster poster) {
    int32 added = 0;
    for (Entry& entry : records_) {
        if (entry.poster != poster || entry.committed) continue;
        entry.committed = true;
        ++added;
    }
    if (added == 0) return;
    committedCount_.store(committedCount_.load() + added);
    NoteCommittedRecords();
}

bool classQueue::IsRefused(QuePoster poster) const {
    // A skip to the next choice holds the main script's batch back to be
    // compacted when it ends; the side scripts go on showing theirs.
    return poster == kMainScriptPoster && IsMainQueueSkipping(this);
}

void classQueue::Post(QueRecordPtr record, bool commitPoint) {
    if (!record) return;
    if (!record->origin.IsKnown()) record->origin = CurrentScriptOrigin();
    const QuePoster poster = CurrentQuePoster();
    classCriticalSectionLock hold(g_queueLock);
    if (!commitPoint) {
        records_.push_back(Entry{record.release(), poster, false});
        return;
    }
    // In front of this thread's waiting batch; other threads' records,
    // waiting or not, keep their places.
    const auto at = std::find_if(records_.begin(), records_.end(),
                                 [poster](const Entry& entry) { return entry.poster == poster && !entry.committed; });
    records_.insert(at, Entry{record.release(), poster, false});
    CommitPoster(poster);
}

bool classQueue::Commit() {
    const QuePoster poster = CurrentQuePoster();
    if (IsRefused(poster)) return false;
    classCriticalSectionLock hold(g_queueLock);
    CommitPoster(poster);
    return true;
}

void classQueue::DropUncommitted() {
    const QuePoster poster = CurrentQuePoster();
    classCriticalSectionLock hold(g_queueLock);
    for (auto it = records_.begin(); it != records_.end();) {
        if (it->poster == poster && !it->committed) {
            it->record->Delete();
            it = records_.erase(it);
        } else {
            ++it;
        }
    }
}

bool CommitQueue(classQueue* queue) {
    return queue != nullptr && queue->Commit();
}

bool classQueue::WaitUntilEmpty(u32 ms) {
    const u32 start = platform::NowMs();
    for (;;) {
        {
            classCriticalSectionLock hold(g_queueLock);
            if (records_.empty() || committedCount_.load() == 0) return true;
        }
        if (IsProgramQuitting()) return true;
        const u32 elapsed = platform::NowMs() - start;
        if (elapsed >= ms) return false;
        // A short bound keeps a quit noticed even if no frame runs any more.
        const u32 slice = std::min<u32>(ms - elapsed, 10);
        std::unique_lock<std::mutex> wait(g_drainMutex);
        g_drained.wait_for(wait, std::chrono::milliseconds(slice));
    }
}

void classQueue::Shutdown() {
    WaitUntilEmpty(1000);
    classCriticalSectionLock hold(g_queueLock);
    if (registered_) {
        g_queueList.remove(this);
        registered_ = false;
    }
    for (Entry& entry : records_) entry.record->Delete();
    records_.clear();
    committedCount_.store(0);
}

namespace {

bool MayChangeThePicture(QueRecordType type) {
    switch (type) {
        case QueSoundCreate:
        case QueSoundAlter:
        case QueSoundPlay:
        case QueSoundStop:
        case QueSoundVolume:
        case QueSoundDelete:
        case QueSoundAllDelete:
        case QueSoundStopToVoice:
            return false;
        default:
            return true;
    }
}

}  // namespace

void classQueue::ExecuteCommitted(classQueContext& context) {
    {
        classCriticalSectionLock hold(g_queueLock);
        // Records before `at` wait for their posters' commits.
        size_t at = 0;
        while (committedCount_.load() != 0) {
            while (at < records_.size() && !records_[at].committed) ++at;
            if (at >= records_.size()) break;
            QueRecordPtr record(records_[at].record);
            records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(at));
            committedCount_.store(committedCount_.load() - 1);
            if (record->cancelled == 0) {
                // Whatever it did, the frame that ran it is drawn, unless
                // all it can have touched is sound: a click's voice stop
                // would otherwise present the same picture again just as
                // the next page's records arrive, and hold them back.
                if (MayChangeThePicture(record->GetType())) NoteSceneChange();
                const classScopedScriptOrigin origin(record->origin);
                const u64 mask = record->sceneMask;
                if (mask == 0) {
                    // A record meant for no scene must not act on whichever
                    // scene the record before it happened to use.
                    context.currentRoot = nullptr;
                    record->Execute(&context);
                } else {
                    if ((mask & 1) != 0) {
                        context.currentRoot = context.mainScene != nullptr ? *context.mainScene : nullptr;
                        record->Execute(&context);
                    }
                    if ((mask & 2) != 0) {
                        context.currentRoot =
                            context.overlayScene != nullptr ? *context.overlayScene : nullptr;
                        record->Execute(&context);
                    }
                }
            }
        }
    }
    std::lock_guard<std::mutex> wake(g_drainMutex);
    g_drained.notify_all();
}

void classQueue::Execute() {
    classApplication* application = GetApplication();
    classGraphicObject* noScene = nullptr;
    classGraphicObject* noOverlay = nullptr;
    classQueContext context;
    context.mainScene = application != nullptr ? &application->mainScene : &noScene;
    context.overlayScene = application != nullptr ? &application->overlayScene : &noOverlay;
    ExecuteCommitted(context);
}

void ExecuteAllQueues() {
    // Held across the walk: a Function thread registering or removing its
    // queue waits until the frame's records have run.
    classCriticalSectionLock hold(g_queueLock);
    for (classQueue* queue : g_queueList) queue->Execute();
}

namespace {

// Object paths already claimed by newer records, with the union of the scene
// bits those records cover.
using ClaimedPaths = std::map<QuePath, u64>;

bool IsGraphicCompactable(QueRecordType type) {
    return type <= QuePageFeed;
}

const QuePath* PathOf(const classQueBase* record) {
    switch (record->GetType()) {
        case QueGraphicCreateText:
            return &static_cast<const classQue_GraphicCreateText*>(record)->path;
        case QueGraphicStdOutText:
            return &static_cast<const classQue_GraphicStdOutText*>(record)->path;
        case QueGraphicStdOutTextX:
            return &static_cast<const classQue_GraphicStdOutTextX*>(record)->path;
        case QueGraphicCreate:
            return &static_cast<const classQue_GraphicCreate*>(record)->path;
        case QueGraphicAlter:
            return &static_cast<const classQue_GraphicAlter*>(record)->path;
        case QueGraphicAlter_Movie:
            return &static_cast<const classQue_GraphicAlter_Movie*>(record)->path;
        case QueGraphicAlter_PlayDataThumbnail:
            return &static_cast<const classQue_GraphicAlter_PlayDataThumbnail*>(record)->path;
        case QueGraphicFilter:
            return &static_cast<const classQue_GraphicFilter*>(record)->path;
        case QueGraphicDelete:
            return &static_cast<const classQue_GraphicDelete*>(record)->path;
        case QuePageFeed:
            return &static_cast<const classQue_PageFeed*>(record)->path;
        default:
            return nullptr;
    }
}

u64 Claimed(const ClaimedPaths& paths, const QuePath& path, bool& found) {
    auto it = paths.find(path);
    if (it == paths.end()) return 0;
    found = true;
    return it->second;
}

}  // namespace

void classQueue::Compact() {
    classCriticalSectionLock hold(g_queueLock);
    ClaimedPaths replaced;  // recreated, filtered or deleted by a newer record
    ClaimedPaths pageFed;   // text page-fed by a newer record
    bool allDeleted = false;
    u64 allDeletedMask = 0;  // scenes emptied by a newer GraphicAllDelete

    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        classQueBase* record = it->record;
        const QueRecordType type = record->GetType();
        if (!IsGraphicCompactable(type)) continue;
        if (type == QueGraphicAllDelete) {
            allDeleted = true;
            allDeletedMask |= record->sceneMask;
            continue;
        }
        const QuePath& path = *PathOf(record);
        const bool textLike = type == QueGraphicCreateText || type == QueGraphicStdOutText ||
                              type == QueGraphicStdOutTextX || type == QuePageFeed;
        bool claimed = allDeleted;
        u64 covered = allDeleted ? allDeletedMask : 0;
        covered |= Claimed(replaced, path, claimed);
        if (textLike) covered |= Claimed(pageFed, path, claimed);
        // An older record goes only when newer ones override it on every
        // scene it acts on: a deletion on the overlay must not cost the main
        // scene its object.
        if (claimed && (record->sceneMask & ~covered) == 0) {
            record->cancelled = 1;
            continue;
        }
        if (type == QueGraphicCreate || type == QueGraphicFilter || type == QueGraphicDelete) {
            replaced[path] |= record->sceneMask;
        } else if (type == QuePageFeed) {
            pageFed[path] |= record->sceneMask;
        }
    }
}

void classQueue::ForEachRecord(
    const std::function<void(const classQueBase& record, bool committed)>& visit) const {
    classCriticalSectionLock hold(g_queueLock);
    for (const Entry& entry : records_) visit(*entry.record, entry.committed);
}

void classQueue::DiscardAll() {
    classCriticalSectionLock hold(g_queueLock);
    for (Entry& entry : records_) entry.record->Delete();
    records_.clear();
    committedCount_.store(0);
}

size_t classQueue::GetRecordCount() const {
    classCriticalSectionLock hold(g_queueLock);
    return records_.size();
}

std::vector<QueRecordPtr> classQueue::TakeRecords() {
    classCriticalSectionLock hold(g_queueLock);
    std::vector<QueRecordPtr> out;
    out.reserve(records_.size());
    for (Entry& entry : records_) out.emplace_back(entry.record);
    records_.clear();
    committedCount_.store(0);
    return out;
}

int32 classQueue::GetCommittedCount() const {
    return committedCount_.load();
}

classQueue* GetMainQueue() {
    static classQueue mainQueue;
    return &mainQueue;
}

void classQueHolder::Post() {
    if (!record_) return;
    GetMainQueue()->Post(std::move(record_), false);
}

void RegisterCommandQueueSubsystem() {
    GetSubsystemHooks().executeAllQueues = ExecuteAllQueues;
    // Built now, before any side script's queue, so every frame runs the
    // main queue first: it creates the objects (graphic commands post there
    // from any thread) whose case states a side script's queue then changes.
    // Built on first use instead, a side queue made earlier would run first,
    // and a backlog opened from "Function.qvs" could lose its voice buttons
    // to the objects' creation in the same frame.
    GetMainQueue();
}
