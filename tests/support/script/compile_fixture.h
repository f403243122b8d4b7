#pragma once
// A fixture for compiler tests: every test starts with no run-wide
// declarations, and message boxes are captured instead of shown.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/report_once.h"
#include "platform/dialog.h"
#include "script/script_compiler.h"
#include "script/table_invariants.h"
#include "support/script/table_dump.h"

namespace testscript {

class CapturingDialogs final : public platform::DialogService {
  public:
    struct Box {
        std::string caption;
        std::string text;
        platform::DialogIcon icon;
    };
    platform::DialogAnswer Show(const std::string& caption, const std::string& text,
                                platform::DialogButtons buttons, platform::DialogIcon icon) override {
        boxes.push_back({caption, text, icon});
        return platform::HeadlessAnswer(buttons);
    }
    std::vector<Box> boxes;
};

class CompileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearDeclaredNames();
        // A box is shown once a run; each test starts with none shown.
        ForgetReportsForTesting();
        platform::SetDialogService(&dialogs);
    }
    void TearDown() override {
        platform::SetDialogService(nullptr);
        ClearDeclaredNames();
    }
    // Compiles with a fresh compiler, checks the invariants every compile
    // keeps, and renders the statements.
    std::vector<std::string> Compile(const std::string& source, const std::string& name = "test.qvs") {
        compiler = classScriptCompiler(name);
        compiler.Compile(source);
        std::string why;
        EXPECT_TRUE(CheckCompiledTables(compiler.Tables(), &why)) << why;
        return RenderStatements(compiler.Tables());
    }
    const classScriptTables& Tables() const { return compiler.Tables(); }

    CapturingDialogs dialogs;
    classScriptCompiler compiler;
};

using Lines = std::vector<std::string>;

}  // namespace testscript
