// Compile speed on a generated script of 100,000 lines of mixed statements:
// named and positional commands, assignments with arithmetic, subscripts and
// command calls, paths, labels, if/else blocks, comments and text. Reported
// as lines per second ("lines/s") on one thread. Also: text full of
// subscripts left open, and about a megabyte of each kind of long expression
// that once took time quadratic in its length, whose compile time must grow
// with their length only.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/dialog.h"
#include "script/declared_names.h"
#include "script/script_compiler.h"

namespace {

constexpr int kLines = 100000;

std::string MakeScript() {
    std::string s;
    s.reserve(static_cast<std::size_t>(kLines) * 40);
    s += "Variable(Global, Name=Score)\r\nVariable(Nomal, Name=Flag, ArraySize=100)\r\nVariable(Local, "
         "Name=i)\r\n";
    int line = 3;
    for (int k = 0; line < kLines; ++k) {
        const std::string n = std::to_string(k);
        switch (k % 10) {
            case 0:
                s += "#label" + n + "\r\n";
                line += 1;
                break;
            case 1:
                s += "Graphic(Target=1, Layer=2:" + n + ", File=\"bg" + n + ".png\", x=10, y=-20)\r\n";
                line += 1;
                break;
            case 2:
                s += "Score = Score + " + n + " * 2 - i\r\n";
                line += 1;
                break;
            case 3:
                s += "GraphicTextOut(Target=1, Layer=5, Text=\"line " + n + " of the story\") // speaker\r\n";
                line += 1;
                break;
            case 4:
                s += "if(Flag[" + n +
                     " % 100]) {\r\n\tWait(Time=500, SkipOn)\r\n} else {\r\n\tKeyWait\r\n}\r\n";
                line += 5;
                break;
            case 5:
                s += "Flag[i + 1] = ToString(Score) + \"x\"\r\n";
                line += 1;
                break;
            case 6:
                s += "Sound(Layer=3, File=\"voice" + n + ".ogg\", Volume=80, Loop)\r\n";
                line += 1;
                break;
            case 7:
                s += "// a comment line with some words in it\r\n";
                line += 1;
                break;
            case 8:
                s += "GraphicSlot(Target=1, Layer=2, No=1, Time=1000, Position=0:0:1.5, Loop=-1)\r\n";
                line += 1;
                break;
            default:
                s += "i = i + 1 ScriptCall(Label=#label" + n + ")\r\n";
                line += 1;
                break;
        }
    }
    return s;
}

class SilentDialogs final : public platform::DialogService {
  public:
    platform::DialogAnswer Show(const std::string&, const std::string&, platform::DialogButtons buttons,
                                platform::DialogIcon) override {
        return platform::HeadlessAnswer(buttons);
    }
};

void BM_CompileMixedScript(benchmark::State& state) {
    static SilentDialogs dialogs;
    platform::SetDialogService(&dialogs);
    const std::string source = MakeScript();
    std::size_t statements = 0;
    for (auto _ : state) {
        classScriptCompiler compiler("bench.qvs");
        compiler.Compile(source);
        statements = static_cast<std::size_t>(compiler.Tables().GetStatementCount());
        benchmark::DoNotOptimize(statements);
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["statements"] = static_cast<double>(statements);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    platform::SetDialogService(nullptr);
}
BENCHMARK(BM_CompileMixedScript)->Unit(benchmark::kMillisecond);

// A declared name followed by a "[" that is never closed, over and over: each
// subscript's group runs to the end of the text. Linear compiling keeps the
// bytes per second the same at every size.
void BM_CompileUnclosedSubscripts(benchmark::State& state) {
    static SilentDialogs dialogs;
    platform::SetDialogService(&dialogs);
    std::string source = "Variable(Global, Name=a)\r\n";
    while (source.size() < static_cast<std::size_t>(state.range(0))) source += "a[ ";
    for (auto _ : state) {
        classScriptCompiler compiler("bench.qvs");
        compiler.Compile(source);
        benchmark::DoNotOptimize(compiler.Tables().GetStatementCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    platform::SetDialogService(nullptr);
}
BENCHMARK(BM_CompileUnclosedSubscripts)
    ->Arg(30000)
    ->Arg(60000)
    ->Arg(120000)
    ->Arg(240000)
    ->Unit(benchmark::kMillisecond);

// Subscripts nested `depth` deep and closed, then a space.
std::string Nested(int depth) {
    std::string nested;
    for (int k = 0; k < depth; ++k) nested += "a[";
    return nested + std::string(static_cast<std::size_t>(depth), ']') + " ";
}

// Long expressions full of declared names that are no assignments, and
// groups that make every group scan middling long. Each shape is a piece
// repeated to the size asked for, then an ending.
struct Shape {
    const char* name;
    std::string piece;
    const char* ending;
};
const Shape kShapes[] = {
    {"a + ", "a + ", "a"},
    {"a = 1 : ", "a = 1 : ", "a"},
    // "=" after every name, and the one ":" that undoes them all at the end.
    {"a = ... a : 1", "a = ", "a : 1"},
    // A subscript left open at the end of every expression split.
    {"b + a[", "b + a[", ""},
    {"a[ 2000 deep, closed", Nested(2000), ""},
};

void BM_CompileLongExpressions(benchmark::State& state) {
    static SilentDialogs dialogs;
    platform::SetDialogService(&dialogs);
    const Shape& shape = kShapes[state.range(0)];
    std::string source = "Variable(Global, Name=a)\r\nVariable(Global, Name=b)\r\n";
    while (source.size() < static_cast<std::size_t>(state.range(1))) source += shape.piece;
    source += shape.ending;
    for (auto _ : state) {
        classScriptCompiler compiler("bench.qvs");
        compiler.Compile(source);
        benchmark::DoNotOptimize(compiler.Tables().GetStatementCount());
    }
    state.SetLabel(shape.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    platform::SetDialogService(nullptr);
}
BENCHMARK(BM_CompileLongExpressions)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {250000, 1000000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
