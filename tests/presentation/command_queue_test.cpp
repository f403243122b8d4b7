// Queue semantics: what runs when, in which order, on which scene; the commit
// point; commits refused while skipping to the next choice; waiting for a
// queue to drain; and the queue registry.
#include "presentation/command_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "foundation/application.h"

namespace {

// A record that writes its name and the root it ran with into a shared log.
struct RunEntry {
    std::string name;
    classGraphicObject* root;
};
std::vector<RunEntry> g_runLog;  // guarded by g_queueLock (records run under it)

class ProbeRecord : public classQue_SoundPlay {
  public:
    explicit ProbeRecord(std::string name, u64 mask = 0) : name_(std::move(name)) { sceneMask = mask; }
    int32 Execute(classQueContext* context) override {
        g_runLog.push_back({name_, context->currentRoot});
        return 0;
    }

  private:
    std::string name_;
};

std::vector<std::string> RunNames() {
    std::vector<std::string> names;
    for (const RunEntry& entry : g_runLog) names.push_back(entry.name);
    return names;
}

// Stand-ins for the two scene roots; only their addresses matter here.
classGraphicObject* const kMain = reinterpret_cast<classGraphicObject*>(0x1000);
classGraphicObject* const kOverlay = reinterpret_cast<classGraphicObject*>(0x2000);

class QueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_runLog.clear();
        context_.mainScene = &mainScene_;
        context_.overlayScene = &overlayScene_;
    }
    void RunFrame() { queue_.ExecuteCommitted(context_); }

    classGraphicObject* mainScene_ = kMain;
    classGraphicObject* overlayScene_ = nullptr;
    classQueContext context_;
    classQueue queue_;
};

TEST_F(QueueTest, UncommittedRecordsWaitAndOneCommitReleasesThemAllInOrder) {
    queue_.Post(new ProbeRecord("a"));
    queue_.Post(new ProbeRecord("b"));
    RunFrame();
    RunFrame();
    EXPECT_TRUE(g_runLog.empty());
    EXPECT_EQ(queue_.GetRecordCount(), 2u);

    ASSERT_TRUE(queue_.Commit());
    queue_.Post(new ProbeRecord("late"));  // after the commit: waits for the next one
    RunFrame();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(queue_.GetRecordCount(), 1u);
    EXPECT_EQ(queue_.GetCommittedCount(), 0);

    queue_.Commit();
    RunFrame();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"a", "b", "late"}));
    EXPECT_EQ(queue_.GetRecordCount(), 0u);
}

TEST_F(QueueTest, CommitPointGoesInFrontOfTheWaitingBatchAndCommitsEverything) {
    // Two uncommitted records: the transition runs first, all three in one frame.
    queue_.Post(new ProbeRecord("a"));
    queue_.Post(new ProbeRecord("b"));
    queue_.Post(new ProbeRecord("transition"), true);
    EXPECT_EQ(queue_.GetCommittedCount(), 3);
    RunFrame();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"transition", "a", "b"}));

    // Two committed but not yet run, two waiting: it lands at index 2.
    g_runLog.clear();
    queue_.Post(new ProbeRecord("c1"));
    queue_.Post(new ProbeRecord("c2"));
    queue_.Commit();
    queue_.Post(new ProbeRecord("u1"));
    queue_.Post(new ProbeRecord("u2"));
    queue_.Post(new ProbeRecord("t"), true);
    EXPECT_EQ(queue_.GetCommittedCount(), 5);
    RunFrame();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"c1", "c2", "t", "u1", "u2"}));
}

TEST_F(QueueTest, NullRecordIsIgnored) {
    queue_.Post(static_cast<classQueBase*>(nullptr));
    queue_.Post(QueRecordPtr(), true);
    EXPECT_EQ(queue_.GetRecordCount(), 0u);
    EXPECT_EQ(queue_.GetCommittedCount(), 0);
}

TEST_F(QueueTest, SceneMaskChoosesTheRootOfEachRun) {
    queue_.Post(new ProbeRecord("main", 1));
    queue_.Post(new ProbeRecord("none", 0));
    queue_.Post(new ProbeRecord("both", 3));
    queue_.Post(new ProbeRecord("overlay", 2));
    queue_.Commit();
    RunFrame();
    ASSERT_EQ(g_runLog.size(), 5u);
    EXPECT_EQ(g_runLog[0].root, kMain);
    // A record meant for no scene gets none, even right after a main-scene record.
    EXPECT_EQ(g_runLog[1].name, "none");
    EXPECT_EQ(g_runLog[1].root, nullptr);
    // Both bits: the main scene, then the overlay, which is missing without a transition.
    EXPECT_EQ(g_runLog[2].root, kMain);
    EXPECT_EQ(g_runLog[3].name, "both");
    EXPECT_EQ(g_runLog[3].root, nullptr);
    EXPECT_EQ(g_runLog[4].name, "overlay");
    EXPECT_EQ(g_runLog[4].root, nullptr);

    g_runLog.clear();
    overlayScene_ = kOverlay;
    queue_.Post(new ProbeRecord("both", 3));
    queue_.Commit();
    RunFrame();
    ASSERT_EQ(g_runLog.size(), 2u);
    EXPECT_EQ(g_runLog[0].root, kMain);
    EXPECT_EQ(g_runLog[1].root, kOverlay);
}

TEST_F(QueueTest, CancelledRecordIsFreedUnrun) {
    auto* skipped = new ProbeRecord("skipped", 1);
    skipped->cancelled = 1;
    queue_.Post(skipped);
    queue_.Post(new ProbeRecord("kept", 1));
    queue_.Commit();
    RunFrame();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(queue_.GetRecordCount(), 0u);
}

TEST_F(QueueTest, WaitUntilEmptyReportsWhetherTheRecordsRanInTime) {
    EXPECT_TRUE(queue_.WaitUntilEmpty(0));  // empty
    queue_.Post(new ProbeRecord("uncommitted"));
    EXPECT_TRUE(queue_.WaitUntilEmpty(0));  // nothing committed: nothing to wait for
    queue_.Commit();
    EXPECT_FALSE(queue_.WaitUntilEmpty(20));  // nobody runs the queue

    std::thread render([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        RunFrame();
    });
    EXPECT_TRUE(queue_.WaitUntilEmpty(10000));
    render.join();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"uncommitted"}));
}

TEST(QueueRegistryTest, QueuesJoinTheListInOrderAndLeaveOnShutdown) {
    auto first = std::make_unique<classQueue>();
    auto second = std::make_unique<classQueue>();
    auto position = [](classQueue* queue) {
        classCriticalSectionLock hold(g_queueLock);
        return std::find(g_queueList.begin(), g_queueList.end(), queue) != g_queueList.end()
                   ? std::distance(g_queueList.begin(),
                                   std::find(g_queueList.begin(), g_queueList.end(), queue))
                   : -1;
    };
    EXPECT_LT(position(first.get()), position(second.get()));
    EXPECT_GE(position(first.get()), 0);

    g_runLog.clear();
    first->Post(new ProbeRecord("first"));
    second->Post(new ProbeRecord("second"));
    second->Commit();
    first->Commit();
    ExecuteAllQueues();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"first", "second"}));

    // Left-over uncommitted records go with the queue, unrun.
    second->Post(new ProbeRecord("never"));
    second->Shutdown();
    EXPECT_EQ(position(second.get()), -1);
    EXPECT_EQ(second->GetRecordCount(), 0u);
    ExecuteAllQueues();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"first", "second"}));

    first.reset();
    EXPECT_EQ(position(second.get()), -1);
    second.reset();
    EXPECT_FALSE(CommitQueue(nullptr));
}

class SkippingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        g_runLog.clear();
    }
    void TearDown() override {
        GetApplication()->nextSelectSkipping.store(0);
        // Leave the main queue empty for whoever uses it next.
        GetMainQueue()->Commit();
        GetMainQueue()->Execute();
        ShutdownApplication();
    }
};

TEST_F(SkippingTest, MainQueueCommitsAreRefusedWhileSkippingToTheNextChoice) {
    classQueue functionQueue;
    classQueue* main = GetMainQueue();
    GetApplication()->nextSelectSkipping.store(1);

    main->Post(new ProbeRecord("main"));
    functionQueue.Post(new ProbeRecord("function"));
    EXPECT_FALSE(main->Commit());
    EXPECT_FALSE(CommitQueue(main));
    EXPECT_EQ(main->GetCommittedCount(), 0);
    EXPECT_TRUE(functionQueue.Commit());
    ExecuteAllQueues();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"function"}));

    // A transition's commit point still releases the whole main queue.
    main->Post(new ProbeRecord("transition"), true);
    EXPECT_EQ(main->GetCommittedCount(), 2);
    main->Execute();
    EXPECT_EQ(RunNames(), (std::vector<std::string>{"function", "transition", "main"}));

    GetApplication()->nextSelectSkipping.store(0);
    main->Post(new ProbeRecord("after"));
    EXPECT_TRUE(main->Commit());
    main->Execute();
    EXPECT_EQ(g_runLog.back().name, "after");
}

TEST_F(SkippingTest, WaitUntilEmptyEndsOnceTheProgramQuits) {
    classQueue queue;
    queue.Post(new ProbeRecord("never run"));
    queue.Commit();
    GetApplication()->isQuitting.store(1);
    // Nobody runs frames any more; the wait must not sit out its whole time.
    EXPECT_TRUE(queue.WaitUntilEmpty(3600 * 1000));
    GetApplication()->isQuitting.store(0);
    EXPECT_EQ(queue.GetRecordCount(), 1u);
}

TEST_F(SkippingTest, ExecuteUsesTheApplicationsSceneFields) {
    classApplication* application = GetApplication();
    classGraphicObject* savedMain = application->mainScene;
    application->mainScene = kMain;
    application->overlayScene = kOverlay;
    classQueue queue;
    queue.Post(new ProbeRecord("both", 3));
    queue.Commit();
    queue.Execute();
    application->mainScene = savedMain;
    application->overlayScene = nullptr;
    ASSERT_EQ(g_runLog.size(), 2u);
    EXPECT_EQ(g_runLog[0].root, kMain);
    EXPECT_EQ(g_runLog[1].root, kOverlay);
}

}  // namespace
