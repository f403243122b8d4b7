// Queue semantics: what runs when, in which order, on which scene; the commit
// point; commits refused while skipping to the next choice; waiting for a
// queue to drain; and the queue registry.
#include "presentation/command_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/application.h"

namespace {

// Each run writes "name@root" (root 0, m or o) into a shared log.
std::string g_runLog;  // guarded by g_queueLock (records run under it)

// Stand-ins for the two scene roots; only their addresses matter here.
classGraphicObject* const kMain = reinterpret_cast<classGraphicObject*>(0x1000);
classGraphicObject* const kOverlay = reinterpret_cast<classGraphicObject*>(0x2000);

class ProbeRecord : public classQue_SoundPlay {
  public:
    explicit ProbeRecord(std::string name, u64 mask = 0) : name_(std::move(name)) { sceneMask = mask; }
    int32 Execute(classQueContext* context) override {
        const char root = context->currentRoot == kMain ? 'm' : context->currentRoot == kOverlay ? 'o' : '0';
        g_runLog += name_ + "@" + root + " ";
        return 0;
    }

  private:
    std::string name_;
};

TEST(QueueTest, RecordsRunInOrderOnTheirScenesOnlyOnceCommitted) {
    // Steps: "+name/mask" posts, "!name" posts with a commit point, "x" posts
    // a cancelled record, "c" commits, "r" runs a frame, "O" shows the overlay,
    // "@n" posts and commits as thread n from then on (0, the main script, at
    // first), "d" drops the thread's waiting records.
    struct Case {
        const char* name;
        const char* steps;
        const char* ran;
        size_t left;
    };
    const Case cases[] = {
        {"uncommitted records wait", "+a/0 +b/0 r r", "", 2},
        {"one commit releases all before it, in order", "+a/0 +b/0 c +late/0 r", "a@0 b@0 ", 1},
        {"the next commit the rest", "+a/0 c +late/0 r c r", "a@0 late@0 ", 0},
        {"a commit point goes in front of the waiting batch", "+a/0 +b/0 !t r", "t@0 a@0 b@0 ", 0},
        {"and behind the committed records", "+c1/0 +c2/0 c +u1/0 +u2/0 !t r", "c1@0 c2@0 t@0 u1@0 u2@0 ", 0},
        {"a cancelled record is freed unrun", "x +kept/0 c r", "kept@0 ", 0},
        {"the scene mask chooses the roots", "+m/1 +n/0 +b/3 +o/2 c r", "m@m n@0 b@m b@0 o@0 ", 0},
        {"with an overlay both bits run twice", "O +b/3 +o/2 c r", "b@m b@o o@o ", 0},
        {"a thread's commit releases only its own records", "+m/0 @1 +s/0 c r", "s@0 ", 1},
        {"the other's records stay for its own commit", "+m/0 @1 +s/0 c r @0 c r", "s@0 m@0 ", 0},
        {"what both committed runs in posting order", "+m1/0 @2 +s1/0 @0 +m2/0 @2 +s2/0 c @0 c r",
         "m1@0 s1@0 m2@0 s2@0 ", 0},
        {"a waiting record holds back only its own thread", "+m1/0 @1 +s1/0 c @0 +m2/0 @1 +s2/0 c r",
         "s1@0 s2@0 ", 2},
        {"a commit point goes in front of its own thread's batch", "@1 +s/0 @0 +m1/0 +m2/0 !t r",
         "t@0 m1@0 m2@0 ", 1},
        {"behind its own committed records; the other's keep their places", "+c/0 c @1 +s/0 @0 +u/0 !t r",
         "c@0 t@0 u@0 ", 1},
        {"a drop frees only the thread's waiting records", "+m/0 @1 +s1/0 c +s2/0 d @0 c r", "m@0 s1@0 ", 0},
    };
    for (const Case& c : cases) {
        g_runLog.clear();
        classGraphicObject* mainScene = kMain;
        classGraphicObject* overlayScene = nullptr;
        classQueContext context;
        context.mainScene = &mainScene;
        context.overlayScene = &overlayScene;
        classQueue queue;
        std::optional<classQuePosterScope> poster;
        std::istringstream steps(c.steps);
        for (std::string step; steps >> step;) {
            if (step[0] == '@') {
                poster.reset();
                poster.emplace(static_cast<QuePoster>(std::stoul(step.substr(1))));
            }
            if (step == "d") queue.DropUncommitted();
            const size_t slash = step.find('/');
            const std::string name = step.substr(1, slash - 1);
            if (step[0] == '+') queue.Post(new ProbeRecord(name, std::stoull(step.substr(slash + 1))));
            if (step[0] == '!') queue.Post(QueRecordPtr(new ProbeRecord(name)), true);
            if (step[0] == 'x') {
                auto* skipped = new ProbeRecord("skipped", 1);
                skipped->cancelled = 1;
                queue.Post(skipped);
            }
            if (step == "c") {
                EXPECT_TRUE(queue.Commit()) << c.name;
            }
            if (step == "r") queue.ExecuteCommitted(context);
            if (step == "O") overlayScene = kOverlay;
        }
        EXPECT_EQ(g_runLog, c.ran) << c.name;
        EXPECT_EQ(queue.GetRecordCount(), c.left) << c.name;
        EXPECT_EQ(queue.GetCommittedCount(), 0) << c.name;
    }
    classQueue queue;
    queue.Post(static_cast<classQueBase*>(nullptr));
    queue.Post(QueRecordPtr(), true);
    EXPECT_EQ(queue.GetRecordCount(), 0u) << "a null record is ignored";
    EXPECT_EQ(queue.GetCommittedCount(), 0);
}

TEST(QueueTest, WaitUntilEmptyReportsWhetherTheRecordsRanInTime) {
    g_runLog.clear();
    classGraphicObject* mainScene = kMain;
    classGraphicObject* overlayScene = nullptr;
    classQueContext context{nullptr, &mainScene, &overlayScene};
    classQueue queue;
    EXPECT_TRUE(queue.WaitUntilEmpty(0));  // empty
    queue.Post(new ProbeRecord("uncommitted"));
    EXPECT_TRUE(queue.WaitUntilEmpty(0));  // nothing committed: nothing to wait for
    queue.Commit();
    EXPECT_FALSE(queue.WaitUntilEmpty(20));  // nobody runs the queue
    std::thread render([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.ExecuteCommitted(context);
    });
    EXPECT_TRUE(queue.WaitUntilEmpty(10000));
    render.join();
    EXPECT_EQ(g_runLog, "uncommitted@0 ");
}

TEST(QueueRegistryTest, QueuesJoinTheListInOrderAndLeaveOnShutdown) {
    auto first = std::make_unique<classQueue>();
    auto second = std::make_unique<classQueue>();
    auto position = [](classQueue* queue) {
        classCriticalSectionLock hold(g_queueLock);
        auto found = std::find(g_queueList.begin(), g_queueList.end(), queue);
        return found == g_queueList.end() ? -1 : std::distance(g_queueList.begin(), found);
    };
    EXPECT_GE(position(first.get()), 0);
    EXPECT_LT(position(first.get()), position(second.get()));

    g_runLog.clear();
    first->Post(new ProbeRecord("first"));
    second->Post(new ProbeRecord("second"));
    second->Commit();
    first->Commit();
    ExecuteAllQueues();
    EXPECT_EQ(g_runLog, "first@0 second@0 ");

    // Left-over uncommitted records go with the queue, unrun.
    second->Post(new ProbeRecord("never"));
    second->Shutdown();
    EXPECT_EQ(position(second.get()), -1);
    EXPECT_EQ(second->GetRecordCount(), 0u);
    ExecuteAllQueues();
    EXPECT_EQ(g_runLog, "first@0 second@0 ");
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
    classApplication* application = GetApplication();
    classGraphicObject* savedMain = application->mainScene;
    application->mainScene = kMain;
    application->overlayScene = kOverlay;
    application->nextSelectSkipping.store(1);

    main->Post(new ProbeRecord("main"));
    functionQueue.Post(new ProbeRecord("function", 3));
    EXPECT_FALSE(main->Commit());
    EXPECT_FALSE(CommitQueue(main));
    EXPECT_EQ(main->GetCommittedCount(), 0);
    EXPECT_TRUE(functionQueue.Commit());
    {
        // A side script's own records in the main queue are not held.
        const classQuePosterScope side(1);
        main->Post(new ProbeRecord("side"));
        EXPECT_TRUE(main->Commit());
    }
    ExecuteAllQueues();
    EXPECT_EQ(g_runLog, "function@m function@o side@0 ") << "run on the application's scenes";

    // A transition's commit point still releases the whole main queue.
    main->Post(new ProbeRecord("transition"), true);
    EXPECT_EQ(main->GetCommittedCount(), 2);
    main->Execute();
    application->nextSelectSkipping.store(0);
    main->Post(new ProbeRecord("after"));
    EXPECT_TRUE(main->Commit());
    main->Execute();
    application->mainScene = savedMain;
    application->overlayScene = nullptr;
    EXPECT_EQ(g_runLog, "function@m function@o side@0 transition@0 main@0 after@0 ");
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

}  // namespace
