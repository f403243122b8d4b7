// Compiles on several script threads at once share only the run-wide
// declared-name lists (run under the thread sanitizer too).

#include <thread>

#include "support/script/compile_fixture.h"

namespace {

using testscript::CompileTest;
using testscript::Lines;

class CompilerThreads : public CompileTest {};

TEST_F(CompilerThreads, ConcurrentCompilesShareDeclarations) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::vector<std::thread> threads;
    std::vector<int> wrong(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int r = 0; r < kRounds; ++r) {
                const std::string name = "v" + std::to_string(t) + "_" + std::to_string(r);
                classScriptCompiler compiler("t.qvs");
                // Each script declares its own global and a local, assigns both,
                // and reads a name another thread may be declaring right now.
                compiler.Compile("Variable(Global, Name=" + name + ") Variable(Local, Name=mine) " + name +
                                 " = 1 mine = 2 Wait(Time=v0_0)");
                const Lines lines = testscript::RenderStatements(compiler.Tables());
                const Lines head{"g:" + name, "=(i:1)", "l:mine", "=(i:2)"};
                if (lines.size() != 5 || !std::equal(head.begin(), head.end(), lines.begin())) ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
    for (int t = 0; t < kThreads; ++t)
        for (int r = 0; r < kRounds; ++r)
            EXPECT_TRUE(
                IsNameDeclared(g_declaredGlobalNames, "v" + std::to_string(t) + "_" + std::to_string(r)));
    EXPECT_FALSE(IsNameDeclared(g_declaredGlobalNames, "mine")) << "locals stay with their compile";
    // Once declared by any script, a name is known to every later compile.
    EXPECT_EQ(Compile("Wait(Time=v3_49)"), (Lines{"Wait(g:v3_49)"}));
}

}  // namespace
