// Statements executed per second on a loop of assignments and conditionals,
// run by the real executor through the real command table (with "ScriptJump"
// answered here, since its handler lives elsewhere).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "commands/command_table.h"
#include "commands/expression_commands.h"
#include "script/script_compiler.h"
#include "script/script_context.h"
#include "script/script_frame.h"

namespace {

constexpr int kIterations = 10000;

const std::string& LoopSource() {
    static const std::string source =
        "Variable(Local, Name=i) Variable(Local, Name=sum) Variable(Local, Name=odd) Variable(Local, "
        "Name=flag)\n"
        "i = 0\n"
        "sum = 0\n"
        "odd = 0\n"
        "#loop\n"
        "sum = sum + i * 3\n"
        "flag = i % 2\n"
        "if (flag) { odd = odd + 1 } else { odd = odd - 1 }\n"
        "i = i + 1\n"
        "if (i < " +
        std::to_string(kIterations) + ") { ScriptJump(Label=#loop) }\n";
    return source;
}

bool BenchLoader(const std::string& name, classScriptTables& out) {
    classScriptCompiler compiler(name);
    compiler.Compile(LoopSource());
    out = compiler.TakeTables();
    return true;
}

void Dispatch(void*, int32 index, classScriptContext& context, const std::vector<classScriptValue>& arguments,
              int32 count, classScriptValue& result) {
    static const int32 jump = FindBuiltinCommand("ScriptJump");
    if (index == jump) {
        if (count >= 2 && arguments[1].IsLabel())
            context.GetCurrentFrame()->SetNextPc(static_cast<int32>(arguments[1].integer));
        return;
    }
    CallBuiltinCommand(index, context, arguments, count, result);
}

// Statements one run of the loop script executes, counted by stepping it.
int64 CountStatements() {
    classScriptContext context;
    context.SetCommandDispatcher(&Dispatch, nullptr);
    context.frames.emplace_back(std::string("bench\\loop.qvs"));
    classScriptFrame& frame = context.frames.back();
    int64 statements = 0;
    while (!frame.IsFinished()) {
        context.ExecuteStatement(frame);
        ++statements;
    }
    return statements;
}

void BM_ExecuteLoop(benchmark::State& state) {
    SetScriptLoader(&BenchLoader);
    const int64 perRun = CountStatements();
    classScriptContext context;
    context.SetCommandDispatcher(&Dispatch, nullptr);
    const std::string name = "bench\\loop.qvs";
    classScriptFrame loaded(name);
    for (auto _ : state) {
        context.PushFrame(loaded);
        context.Run();
    }
    state.SetItemsProcessed(state.iterations() * perRun);
    state.counters["statements_per_run"] = static_cast<double>(perRun);
}
BENCHMARK(BM_ExecuteLoop)->Unit(benchmark::kMillisecond);

void BM_EvaluateExpression(benchmark::State& state) {
    std::vector<classScriptValue> tokens(7);
    tokens[0].SetInteger(12);
    tokens[1].SetOperator("+");
    tokens[2].SetInteger(7);
    tokens[3].SetOperator("*");
    tokens[4].SetInteger(3);
    tokens[5].SetOperator("<");
    tokens[6].SetReal(100.5);
    classScriptValue result;
    for (auto _ : state) {
        result.Clear();
        EvaluateExpressionTokens(tokens.data(), static_cast<int32>(tokens.size()), result);
        benchmark::DoNotOptimize(result.real);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateExpression);

}  // namespace
