// The cost of the command pipeline per record: a script thread's post and
// commit, the render thread's execution of a frame's batch, and the
// compaction of a queue that piled up while skipping to the next choice.
//
//   bench_command_queue
//   bench_command_queue --benchmark_filter=Compact
#include "presentation/command_queue.h"

#include <benchmark/benchmark.h>

#include "presentation/graphic_object.h"

namespace {

// A frame's batch of graphic records against a scene of 100 objects.
void BM_PostCommitExecute(benchmark::State& state) {
    const int64 batch = state.range(0);
    classGraphicObject* main = classGraphicObject::New();
    classGraphicObject* overlay = nullptr;
    for (int64 key = 0; key < 100; ++key) classGraphicObject::CreateAtPath(main, std::vector<int64>{key});
    classQueContext context{nullptr, &main, &overlay};
    classQueue queue;
    for (auto _ : state) {
        for (int64 i = 0; i < batch; ++i) {
            auto* alter = new classQue_GraphicAlter();
            alter->path = {i % 100};
            alter->x.Set(static_cast<float>(i));
            alter->sceneMask = 1;
            queue.Post(alter);
        }
        queue.Commit();
        queue.ExecuteCommitted(context);
    }
    state.SetItemsProcessed(state.iterations() * batch);
    classGraphicObject::Delete(main);
}
BENCHMARK(BM_PostCommitExecute)->Arg(10)->Arg(100)->Arg(1000);

// A long skip: n records over 50 objects, every fifth a deletion.
void BM_Compact(benchmark::State& state) {
    const int64 n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        auto queue = std::make_unique<classQueue>();
        for (int64 i = 0; i < n; ++i) {
            classQueBase* record = nullptr;
            if (i % 5 == 4) {
                auto* remove = new classQue_GraphicDelete();
                remove->path = {i % 50, 1};
                record = remove;
            } else {
                auto* alter = new classQue_GraphicAlter();
                alter->path = {i % 50, 1};
                record = alter;
            }
            record->sceneMask = 1;
            queue->Post(record);
        }
        state.ResumeTiming();
        queue->Compact();
        state.PauseTiming();
        queue.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Compact)->Arg(1000)->Arg(100000);

}  // namespace
