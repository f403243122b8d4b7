#include "support/script/table_dump.h"

#include <cstring>
#include <sstream>

namespace testscript {
namespace {

std::string PoolText(const classScriptTables& t, u32 offset) {
    const std::vector<u8>& pool = t.DataPool();
    if (offset >= pool.size()) return "<bad text>";
    std::string s;
    for (std::size_t i = offset; i < pool.size() && pool[i] != 0; ++i) s += static_cast<char>(pool[i]);
    return s;
}

template <typename T>
bool PoolNumber(const classScriptTables& t, u32 offset, T& out) {
    const std::vector<u8>& pool = t.DataPool();
    if (static_cast<u64>(offset) + 8 > pool.size()) return false;
    u64 bits = 0;
    for (int k = 7; k >= 0; --k) bits = (bits << 8) | pool[offset + static_cast<u32>(k)];
    std::memcpy(&out, &bits, 8);
    return true;
}

std::string List(const classScriptTables& t, u32 listIndex, const char* separator) {
    const std::vector<u32>& words = t.ArgumentListTable();
    if (listIndex >= words.size()) return "<bad list>";
    const u32 n = words[listIndex];
    std::string out;
    for (u32 k = 0; k < n; ++k) {
        if (static_cast<u64>(listIndex) + 1 + k >= words.size()) return out + "<short list>";
        if (k > 0) out += separator;
        out += RenderRecord(t, words[listIndex + 1 + k]);
    }
    return out;
}

}  // namespace

std::string RenderRecord(const classScriptTables& t, u32 index) {
    if (index == 0xFFFFFFFFu) return "-";
    const std::vector<classScriptRecord>& records = t.RecordTable();
    if (index >= records.size()) return "<bad record>";
    const classScriptRecord& r = records[index];
    std::ostringstream out;
    const auto variable = [&](const char* prefix) {
        out << prefix << PoolText(t, r.a);
        if (r.b != 0xFFFFFFFFu) out << '[' << RenderRecord(t, r.b) << ']';
    };
    switch (r.type) {
        case 1:
            out << PoolText(t, r.a) << '(' << List(t, r.b, ", ") << ')';
            break;
        case 2:
            out << "op:" << PoolText(t, r.a);
            break;
        case 3:
            out << PoolText(t, r.a) << '@' << static_cast<int32>(r.b);
            break;
        case 4:
            out << PoolText(t, r.a) << '@' << static_cast<int32>(r.b);
            break;
        case 5: {
            int64 v = 0;
            if (PoolNumber(t, r.b, v))
                out << "i:" << v;
            else
                out << "<bad integer>";
            break;
        }
        case 6: {
            double v = 0;
            if (PoolNumber(t, r.b, v))
                out << "r:" << v;
            else
                out << "<bad real>";
            break;
        }
        case 7:
            out << "s:\"" << PoolText(t, r.b) << '"';
            break;
        case 8:
            out << '(' << List(t, r.b, " ") << ')';
            break;
        case 9:
            out << "tmp" << r.b;
            break;
        case 10:
            variable("g:");
            break;
        case 11:
            variable("n:");
            break;
        case 12:
            variable("l:");
            break;
        case 13:
            variable("sys:");
            break;
        default:
            out << "<type " << r.type << '>';
    }
    return out.str();
}

std::vector<std::string> RenderStatements(const classScriptTables& t) {
    std::vector<std::string> out;
    for (u32 index : t.StatementTable()) out.push_back(RenderRecord(t, index));
    return out;
}

}  // namespace testscript
