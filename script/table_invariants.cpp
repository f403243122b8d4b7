#include "script/table_invariants.h"

#include <cstring>

namespace {

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

}  // namespace

bool CheckCompiledTables(const classScriptTables& tables, std::string* why) {
    const std::vector<u32>& statements = tables.StatementTable();
    const std::vector<u32>& lists = tables.ArgumentListTable();
    const std::vector<classScriptRecord>& records = tables.RecordTable();
    const std::vector<u8>& pool = tables.DataPool();
    const u64 statementCount = statements.size();
    const auto textInside = [&](u32 offset) {
        return offset < pool.size() && std::memchr(pool.data() + offset, 0, pool.size() - offset) != nullptr;
    };
    const auto numberInside = [&](u32 offset) { return static_cast<u64>(offset) + 8 <= pool.size(); };
    const auto listInside = [&](u32 k) {
        return k < lists.size() && static_cast<u64>(k) + 1 + lists[k] <= lists.size();
    };

    for (u64 i = 0; i < statementCount; ++i)
        if (statements[i] >= records.size())
            return Fail(why, "statement " + std::to_string(i) + " names no record");

    for (std::size_t r = 0; r < records.size(); ++r) {
        const classScriptRecord& rec = records[r];
        const std::string at = "record " + std::to_string(r) + ": ";
        switch (rec.type) {
            case ScriptRecordCommand:
            case ScriptRecordParenthesis:
                if (!textInside(rec.a)) return Fail(why, at + "name outside the pool");
                if (!listInside(rec.b)) return Fail(why, at + "argument list outside its table");
                for (u32 k = 0; k < lists[rec.b]; ++k) {
                    const u32 arg = lists[static_cast<std::size_t>(rec.b) + 1 + k];
                    if (arg != kScriptNoIndex && arg >= records.size())
                        return Fail(why, at + "argument names no record");
                }
                break;
            case ScriptRecordOperator:
                if (!textInside(rec.a) || rec.b != kScriptNoIndex) return Fail(why, at + "bad operator");
                break;
            case ScriptRecordBlockMarker:
            case ScriptRecordLabel:
                if (!textInside(rec.a)) return Fail(why, at + "text outside the pool");
                if (rec.b != kScriptNoIndex && rec.b >= statementCount)
                    return Fail(why, at + "target outside the table");
                break;
            case ScriptRecordInteger:
            case ScriptRecordReal:
                if (rec.a != kScriptNoIndex || !numberInside(rec.b))
                    return Fail(why, at + "number outside the pool");
                break;
            case ScriptRecordString:
                if (rec.a != kScriptNoIndex || !textInside(rec.b))
                    return Fail(why, at + "text outside the pool");
                break;
            case ScriptRecordTmp:
                if (rec.a != kScriptNoIndex || rec.b >= tables.GetTmpCount())
                    return Fail(why, at + "bad tmp number");
                break;
            case ScriptRecordGlobal:
            case ScriptRecordNomal:
            case ScriptRecordLocal:
            case ScriptRecordSystem:
                if (!textInside(rec.a)) return Fail(why, at + "name outside the pool");
                if (rec.b != kScriptNoIndex && rec.b >= records.size())
                    return Fail(why, at + "subscript names no record");
                break;
            default:
                return Fail(why, at + "unknown type " + std::to_string(rec.type));
        }
    }
    return true;
}
