// Three script threads post and commit while a render loop runs every queue
// and a Function thread's queue comes and goes; run it under the thread
// sanitizer. Every record must run exactly once, in its poster's order.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "presentation/command_queue.h"

namespace {

constexpr int kPosters = 3;
constexpr int kRecordsEach = 2000;

// Guarded by g_queueLock: records run under it.
std::vector<std::vector<int>> g_seen;

class CountingRecord : public classQue_SoundPlay {
  public:
    CountingRecord(int poster, int sequence) : poster_(poster), sequence_(sequence) {}
    int32 Execute(classQueContext*) override {
        g_seen[static_cast<size_t>(poster_)].push_back(sequence_);
        return 0;
    }

  private:
    int poster_;
    int sequence_;
};

TEST(QueueStressTest, PostersAndTheRenderLoopNeverLoseOrRepeatARecord) {
    g_seen.assign(kPosters, {});
    std::vector<std::unique_ptr<classQueue>> queues;
    for (int i = 0; i < kPosters; ++i) queues.push_back(std::make_unique<classQueue>());
    // Two posters share one queue, as the UI thread's choice display shares
    // the main script's.
    classQueue* targets[kPosters] = {queues[0].get(), queues[0].get(), queues[1].get()};

    std::atomic<int> postersLeft{kPosters};
    std::atomic<bool> stop{false};
    std::thread render([&] {
        while (!stop.load()) {
            ExecuteAllQueues();
            std::this_thread::yield();
        }
        ExecuteAllQueues();
    });
    std::thread churn([&] {
        // A Function thread starting and ending its queue during frames.
        while (postersLeft.load() > 0) {
            classQueue functionQueue;
            functionQueue.Post(new classQue_SoundAllDelete());
            functionQueue.Commit();
            functionQueue.Shutdown();
        }
    });
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kRecordsEach; ++i) {
                targets[p]->Post(new CountingRecord(p, i));
                if (i % 7 == 0) targets[p]->Commit();
            }
            targets[p]->Commit();
            postersLeft.fetch_sub(1);
        });
    }
    for (std::thread& poster : posters) poster.join();
    churn.join();
    for (classQueue* queue : targets) EXPECT_TRUE(queue->WaitUntilEmpty(60000));
    stop.store(true);
    render.join();

    classCriticalSectionLock hold(g_queueLock);
    for (int p = 0; p < kPosters; ++p) {
        const std::vector<int>& seen = g_seen[static_cast<size_t>(p)];
        ASSERT_EQ(seen.size(), static_cast<size_t>(kRecordsEach)) << "poster " << p;
        for (int i = 0; i < kRecordsEach; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i) << "poster " << p;
    }
}

}  // namespace
