// The last two passes: label targets and the links between block markers
// that "if" and "else" jump through.

#include <vector>

#include "script/script_compiler.h"

namespace {

bool IsBlockMarker(const classScriptTables& tables, int32 i, std::string_view text) {
    const classScriptRecord* record = tables.GetStatementRecord(i);
    return record != nullptr && record->type == ScriptRecordBlockMarker && tables.GetTextA(*record) == text;
}

}  // namespace

void classScriptCompiler::FixLabels() {
    const int32 count = tables_.GetStatementCount();
    for (int32 i = 0; i < count; ++i) {
        const classScriptRecord* record = tables_.GetStatementRecord(i);
        // The first statement carrying a name is its target; labels share
        // one record per name, so later ones find b already set.
        if (record != nullptr && record->type == ScriptRecordLabel && static_cast<int32>(record->b) < 0)
            tables_.SetRecordB(tables_.StatementTable()[static_cast<std::size_t>(i)], static_cast<u32>(i));
    }
}

int32 classScriptCompiler::FindBlockEnd(int32 i) const {
    int depth = 0;
    for (int32 k = i; !tables_.IsEnd(k); k = tables_.NextIndex(k)) {
        if (IsBlockMarker(tables_, k, "{"))
            ++depth;
        else if (IsBlockMarker(tables_, k, "}"))
            --depth;
        else
            continue;
        if (depth == 0) return k;
    }
    return -1;
}

void classScriptCompiler::LinkBlocks() {
    const int32 count = tables_.GetStatementCount();
    // One pass with a stack finds for every "{" the "}" that FindBlockEnd
    // would find, without rescanning the rest of the script from each brace.
    std::vector<int32> blockEnd(static_cast<std::size_t>(count), -1);
    std::vector<int32> open;
    for (int32 k = 0; k < count; ++k) {
        if (IsBlockMarker(tables_, k, "{")) {
            open.push_back(k);
        } else if (IsBlockMarker(tables_, k, "}") && !open.empty()) {
            blockEnd[static_cast<std::size_t>(open.back())] = k;
            open.pop_back();
        }
    }
    const std::vector<u32>& statements = tables_.StatementTable();
    for (int32 i = 0; i < count; ++i) {
        if (!IsBlockMarker(tables_, i, "{")) continue;
        const int32 j = blockEnd[static_cast<std::size_t>(i)];
        if (j < 1) continue;
        const int32 e1 = tables_.NextIndex(j);
        const int32 e2 = tables_.NextIndex(e1);
        bool chained = false;
        if (!tables_.IsEnd(e1) && !tables_.IsEnd(e2)) {
            const classScriptRecord* next = tables_.GetStatementRecord(e1);
            chained = next != nullptr && next->type == ScriptRecordCommand &&
                      tables_.GetTextA(*next) == "else" && IsBlockMarker(tables_, e2, "{");
        }
        tables_.SetRecordB(statements[static_cast<std::size_t>(i)], static_cast<u32>(chained ? j + 2 : j));
        tables_.SetRecordB(statements[static_cast<std::size_t>(j)], static_cast<u32>(i));
    }
}
