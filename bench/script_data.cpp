// Costs the executor pays on every statement that touches a variable, and the
// cost of saving and loading values and compiled images.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "script/global_variables.h"
#include "script/script_record.h"
#include "script/script_variable.h"

namespace {

std::vector<std::string> Names(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back("Flag.Chapter" + std::to_string(i));
    return names;
}

void BM_LocalFindOrAdd(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    classScriptVariableList list;
    for (const auto& name : names) list.FindOrAdd(name, 0)->SetInteger(1);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.FindOrAdd(names[i], 0));
        i = (i + 1) % names.size();
    }
}
BENCHMARK(BM_LocalFindOrAdd)->Arg(8)->Arg(256)->Arg(8192);

void BM_GlobalGetSet(benchmark::State& state) {
    const auto names = Names(256);
    g_nomalVariables.Clear();
    classScriptValue v;
    v.SetInteger(3);
    std::size_t i = 0;
    for (auto _ : state) {
        g_nomalVariables.Set(names[i], 0, v);
        benchmark::DoNotOptimize(g_nomalVariables.Get(names[i], 0));
        i = (i + 1) % names.size();
    }
    g_nomalVariables.Clear();
}
BENCHMARK(BM_GlobalGetSet);

void BM_VariableListRecordRoundTrip(benchmark::State& state) {
    classScriptVariableList list;
    for (const auto& name : Names(1000)) list.FindOrAdd(name, 0)->SetString("some text value");
    std::vector<u8> bytes;
    for (auto _ : state) {
        bytes.clear();
        WriteVariableList(list, bytes);
        classScriptVariableList back;
        ReadVariableList(back, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(back.Size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_VariableListRecordRoundTrip);

void BM_ImageRead(benchmark::State& state) {
    classScriptTables t;
    for (int i = 0; i < 20000; ++i) {
        const int32 args[] = {t.AddIntegerRecord(i % 100), t.AddStringRecord("text " + std::to_string(i % 500))};
        t.AddStatement(t.AddCommandRecord("Graphic", args));
    }
    std::vector<u8> image;
    t.WriteImage(image);
    for (auto _ : state) {
        classScriptTables back;
        back.ReadImage(image.data(), image.size());
        benchmark::DoNotOptimize(back.GetStatementCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
}
BENCHMARK(BM_ImageRead);

}  // namespace
