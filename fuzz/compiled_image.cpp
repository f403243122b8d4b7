// "QVS002" images come from archives and, inside frame records, from play
// data. Reading one, then walking every statement, argument list, text and
// number through the checked readers, must stay inside the tables; writing
// what was read must give an image that reads back the same.
#include <cstdlib>
#include <vector>

#include "script/script_record.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    classScriptTables tables;
    if (!tables.ReadImage(data, size)) return 0;

    std::size_t touched = 0;
    for (int32 i = 0; !tables.IsEnd(i); i = tables.NextIndex(i)) {
        const classScriptRecord* record = tables.GetStatementRecord(i);
        if (record == nullptr) continue;
        touched += tables.GetTextA(*record).size() + tables.GetTextB(*record).size();
        if (tables.GetInteger(*record)) ++touched;
        if (tables.GetReal(*record)) ++touched;
        if (record->type == ScriptRecordCommand || record->type == ScriptRecordParenthesis) {
            const u32 count = tables.GetArgumentCount(record->b);
            // A bounded look at each list: a damaged count is cut to the table.
            for (u32 k = 0; k < count && k < 64; ++k) {
                if (const classScriptRecord* argument = tables.GetArgumentRecord(record->b, k))
                    touched += tables.GetTextA(*argument).size();
            }
        }
    }
    // Sharing over a pool that came from outside.
    tables.AddStringRecord("x");
    tables.AddIntegerRecord(static_cast<int64>(touched));

    std::vector<u8> first;
    tables.WriteImage(first);
    classScriptTables again;
    if (!again.ReadImage(first.data(), first.size())) std::abort();
    if (!(again == tables)) std::abort();
    std::vector<u8> second;
    again.WriteImage(second);
    if (first != second) std::abort();
    return 0;
}
