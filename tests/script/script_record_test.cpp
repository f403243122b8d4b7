#include "script/script_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "script/table_invariants.h"
#include "support/le_bytes.h"

namespace {

using testbytes::LeBytes;

constexpr u32 kNone = 0xFFFFFFFFu;

TEST(ScriptTables, RepeatedLiteralsLabelsAndOperatorsShareOneRecordAndOnePoolCopy) {
    classScriptTables t;
    const int32 s1 = t.AddStringRecord("ab");
    const int32 s2 = t.AddStringRecord("ab");
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(t.DataPool(), (std::vector<u8>{'a', 'b', 0}));
    EXPECT_EQ(t.AddIntegerRecord(5), t.AddIntegerRecord(5));
    EXPECT_EQ(t.AddRealRecord(2.5), t.AddRealRecord(2.5));
    EXPECT_EQ(t.AddLabelRecord("#top"), t.AddLabelRecord("#top"));
    EXPECT_EQ(t.AddOperatorRecord("+"), t.AddOperatorRecord("+"));
    // pool: "ab\0" (3) + int 8 + real 8 + "#top\0" (5) + "+\0" (2)
    EXPECT_EQ(t.DataPool().size(), 3u + 8 + 8 + 5 + 2);
    EXPECT_EQ(t.RecordTable().size(), 5u);
    // Texts compare case-sensitively, and the same text under another type is
    // another record.
    EXPECT_NE(t.AddStringRecord("AB"), s1);
    EXPECT_NE(t.AddOperatorRecord("ab"), s1);
}

TEST(ScriptTables, IntegerOneAndRealOneAreTwoRecords) {
    classScriptTables t;
    const int32 i = t.AddIntegerRecord(1);
    const int32 r = t.AddRealRecord(1.0);
    EXPECT_NE(i, r);
    EXPECT_EQ(t.GetRecord(i)->type, ScriptRecordInteger);
    EXPECT_EQ(t.GetRecord(r)->type, ScriptRecordReal);
}

TEST(ScriptTables, RealsShareWhenTheyCompareEqual) {
    classScriptTables t;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int32 firstNan = t.AddRealRecord(nan);
    EXPECT_NE(t.AddRealRecord(nan), firstNan) << "NaN equals nothing, first in the table too";
    const int32 zero = t.AddRealRecord(0.0);
    EXPECT_EQ(t.AddRealRecord(-0.0), zero);  // 0.0 == -0.0
}

TEST(ScriptTables, UnsharedKindsAreAppendedEveryTime) {
    classScriptTables t;
    EXPECT_NE(t.AddGlobalRecord("a", -1), t.AddGlobalRecord("a", -1));
    EXPECT_NE(t.AddNomalRecord("a", -1), t.AddNomalRecord("a", -1));
    EXPECT_NE(t.AddLocalRecord("a", -1), t.AddLocalRecord("a", -1));
    EXPECT_NE(t.AddSystemRecord("a", -1), t.AddSystemRecord("a", -1));
    EXPECT_NE(t.AddCommandRecord("Wait", {}), t.AddCommandRecord("Wait", {}));
    EXPECT_NE(t.AddBlockMarkerRecord("{"), t.AddBlockMarkerRecord("{"));
    EXPECT_NE(t.AddParenthesisRecord("", {}), t.AddParenthesisRecord("", {}));
    EXPECT_NE(t.AddTmpRecord(), t.AddTmpRecord());
    EXPECT_EQ(t.RecordTable().size(), 16u);
}

TEST(ScriptTables, RecordsAndListsAreLaidOutAsAppended) {
    classScriptTables t;
    EXPECT_EQ(t.AddIntegerRecord(7), 0);  // {5, -1, 0}; pool 0..7
    EXPECT_EQ(t.AddRealRecord(0.5), 1);   // {6, -1, 8}; pool 8..15
    const int32 p[] = {0, 1};
    EXPECT_EQ(t.AddParenthesisRecord("", p), 2);  // list at word 0; "" at 16
    const int32 c[] = {2, -1};
    EXPECT_EQ(t.AddCommandRecord("Wait", c), 3);   // list at word 3; "Wait" at 17
    EXPECT_EQ(t.AddCommandRecord("Quit", {}), 4);  // list at word 6; "Quit" at 22
    EXPECT_EQ(t.AddTmpRecord(), 5);
    EXPECT_EQ(t.AddTmpRecord(), 6);
    EXPECT_EQ(t.AddGlobalRecord("g", 0), 7);    // "g" at 27
    EXPECT_EQ(t.AddBlockMarkerRecord("{"), 8);  // "{" at 29

    const std::vector<classScriptRecord> expected = {
        {5, kNone, 0}, {6, kNone, 8}, {8, 16, 0},  {1, 17, 3},     {1, 22, 6},
        {9, kNone, 0}, {9, kNone, 1}, {10, 27, 0}, {3, 29, kNone},
    };
    EXPECT_EQ(t.RecordTable(), expected);
    EXPECT_EQ(t.ArgumentListTable(), (std::vector<u32>{2, 0, 1, 2, 2, kNone, 0}));
    EXPECT_EQ(t.GetTmpCount(), 2u);
    const std::vector<u8> pool = LeBytes()
                                     .I64(7)
                                     .U64(0x3FE0000000000000ull)  // 0.5
                                     .Z()
                                     .Text("Wait")
                                     .Z()
                                     .Text("Quit")
                                     .Z()
                                     .Text("g")
                                     .Z()
                                     .Text("{")
                                     .Z();
    EXPECT_EQ(t.DataPool(), pool);
    // Adders never touch the statement table.
    EXPECT_EQ(t.GetStatementCount(), 0);
}

TEST(ScriptTables, ReadersFollowTheTables) {
    classScriptTables t;
    const int32 n = t.AddIntegerRecord(-2);
    const int32 r = t.AddRealRecord(2.25);
    const int32 s = t.AddStringRecord("hello");
    const int32 args[] = {n, -1, s};
    const int32 c = t.AddCommandRecord("Print", args);
    t.AddStatement(c);
    t.AddStatement(r);

    EXPECT_EQ(t.GetStatementCount(), 2);
    EXPECT_EQ(t.GetStatementType(0), ScriptRecordCommand);
    EXPECT_EQ(t.GetStatementType(1), ScriptRecordReal);
    EXPECT_EQ(t.GetStatementType(2), ScriptRecordNone);
    EXPECT_EQ(t.GetTextA(*t.GetStatementRecord(0)), "Print");
    EXPECT_EQ(t.GetInteger(*t.GetRecord(n)), -2);
    EXPECT_EQ(t.GetReal(*t.GetRecord(r)), 2.25);
    EXPECT_EQ(t.GetTextB(*t.GetRecord(s)), "hello");

    const u32 list = t.GetRecord(c)->b;
    EXPECT_EQ(t.GetArgumentCount(list), 3u);
    EXPECT_EQ(t.GetArgumentRecord(list, 0), t.GetRecord(n));
    EXPECT_EQ(t.GetArgumentRecordIndex(list, 1), -1);  // absent argument
    EXPECT_EQ(t.GetArgumentRecord(list, 1), nullptr);
    EXPECT_EQ(t.GetArgumentRecord(list, 2), t.GetRecord(s));
    EXPECT_EQ(t.GetArgumentRecord(list, 3), nullptr);

    EXPECT_FALSE(t.IsEnd(1));
    EXPECT_TRUE(t.IsEnd(2));
    EXPECT_EQ(t.NextIndex(0), 1);
    EXPECT_EQ(t.NextIndex(1), 2);
    EXPECT_EQ(t.NextIndex(7), 2);
    EXPECT_EQ(t.NextIndex(-1), 0);
}

TEST(ScriptTables, ReadersRefuseIndicesAndOffsetsOutsideTheirTables) {
    classScriptTables t;
    t.AddIntegerRecord(1);
    EXPECT_EQ(t.GetRecord(-1), nullptr);
    EXPECT_EQ(t.GetRecord(1), nullptr);
    EXPECT_EQ(t.GetRecord(kNone), nullptr);
    EXPECT_EQ(t.GetStatementRecord(-1), nullptr);
    EXPECT_EQ(t.GetStatementRecord(0), nullptr);
    EXPECT_EQ(t.GetArgumentCount(0), 0u);
    EXPECT_EQ(t.GetArgumentCount(-5), 0u);
    EXPECT_EQ(t.GetPoolAt(8), nullptr);
    EXPECT_EQ(t.GetPoolText(8).data(), nullptr);
    EXPECT_EQ(t.GetPoolText(kNone).data(), nullptr);
    // An integer that would straddle the end of the pool is no integer.
    EXPECT_FALSE(t.GetInteger(classScriptRecord{5, kNone, 1}).has_value());
    EXPECT_FALSE(t.GetReal(classScriptRecord{6, kNone, kNone}).has_value());
    EXPECT_FALSE(t.SetRecordB(1, 0));
}

TEST(ScriptTables, LabelTargetIsSetOnItsSharedRecord) {
    classScriptTables t;
    const int32 asStatement = t.AddLabelRecord("#L");
    const int32 asArgument = t.AddLabelRecord("#L");
    ASSERT_EQ(asStatement, asArgument);
    EXPECT_EQ(t.GetRecord(asArgument)->b, kNone);
    EXPECT_TRUE(t.SetRecordB(asStatement, 4));
    EXPECT_EQ(t.GetRecord(asArgument)->b, 4u);
    // The target does not enter the sharing key.
    EXPECT_EQ(t.AddLabelRecord("#L"), asStatement);
}

TEST(ScriptTables, TextsStopAtTheirFirstNul) {
    classScriptTables t;
    const int32 a = t.AddStringRecord(std::string_view("ab\0cd", 5));
    EXPECT_EQ(t.AddStringRecord("ab"), a);
    EXPECT_EQ(t.DataPool(), (std::vector<u8>{'a', 'b', 0}));
}

TEST(ScriptTables, ClearAndCopiesKeepSharingRight) {
    classScriptTables t;
    t.AddStringRecord("x");
    classScriptTables copy = t;
    EXPECT_EQ(copy, t);
    // The copy shares with what it copied, not with the original's pool.
    EXPECT_EQ(copy.AddStringRecord("x"), 0);
    EXPECT_EQ(copy.AddStringRecord("y"), 1);
    EXPECT_EQ(t.AddStringRecord("z"), 1);
    t.Clear();
    EXPECT_EQ(t.RecordTable().size(), 0u);
    EXPECT_EQ(t.GetTmpCount(), 0u);
    EXPECT_EQ(t.AddStringRecord("x"), 0);
    EXPECT_EQ(t.DataPool().size(), 2u);
}

// The shared-record search may be indexed, but its answers must equal those
// of a plain first-match scan over the record table.
TEST(ScriptTables, SharingMatchesAFirstMatchScan) {
    classScriptTables t;
    u32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int i = 0; i < 3000; ++i) {
        const int kind = static_cast<int>(next() % 6);
        const int64 v = next() % 40;
        const std::string text = kind == 0   ? "s" + std::to_string(v)
                                 : kind == 1 ? "#" + std::to_string(v)
                                             : std::string(1 + v % 3, '+');
        const double real = static_cast<double>(v) / 4;
        // Reference: a first-match scan over what existed before the call.
        int32 want = -1;
        const std::size_t before = t.RecordTable().size();
        for (std::size_t r = 0; r < before && kind != 5 && want < 0; ++r) {
            const classScriptRecord rec = t.RecordTable()[r];
            bool equal = false;
            switch (kind) {
                case 0:
                    equal = rec.type == 7 && t.GetTextB(rec) == text;
                    break;
                case 1:
                case 2:
                    equal = rec.type == (kind == 1 ? 4u : 2u) && t.GetTextA(rec) == text;
                    break;
                case 3:
                    equal = rec.type == 5 && t.GetInteger(rec) == v;
                    break;
                case 4:
                    equal = rec.type == 6 && t.GetReal(rec) == real;
                    break;
            }
            if (equal) want = static_cast<int32>(r);
        }
        int32 got = -1;
        switch (kind) {
            case 0:
                got = t.AddStringRecord(text);
                break;
            case 1:
                got = t.AddLabelRecord(text);
                break;
            case 2:
                got = t.AddOperatorRecord(text);
                break;
            case 3:
                got = t.AddIntegerRecord(v);
                break;
            case 4:
                got = t.AddRealRecord(real);
                break;
            default:
                got = t.AddLocalRecord("v", -1);
                break;
        }
        if (want < 0) {
            ASSERT_EQ(t.RecordTable().size(), before + 1) << "call " << i;
            want = static_cast<int32>(before);
        } else {
            ASSERT_EQ(t.RecordTable().size(), before) << "call " << i;
        }
        ASSERT_EQ(got, want) << "call " << i;
    }
}

}  // namespace

namespace {

// The check the compiler's tests and fuzzer run on every compile: each link
// that leads outside its table is caught and named.
TEST(TableInvariants, EachLinkOutsideItsTableIsNamed) {
    using Build = void (*)(classScriptTables&);
    struct Case {
        const char* name;
        Build build;
        const char* why;  // nullptr: the tables hold
    };
    const Case cases[] = {
        {"whole tables", [](classScriptTables& t) { t.AddStatement(t.AddCommandRecord("Quit", {})); },
         nullptr},
        {"the first statement", [](classScriptTables& t) { t.AddStatement(t.AddIntegerRecord(1) + 1); },
         "statement 0 names no record"},
        {"an argument",
         [](classScriptTables& t) { t.AddStatement(t.AddCommandRecord("W", std::vector<int32>{9})); },
         "record 0: argument names no record"},
        {"a label's target",
         [](classScriptTables& t) {
             t.AddStatement(t.AddLabelRecord("#a"));
             t.SetRecordB(0, 1);
         },
         "record 0: target outside the table"},
        {"a subscript", [](classScriptTables& t) { t.AddStatement(t.AddGlobalRecord("g", 1)); },
         "record 0: subscript names no record"},
    };
    for (const Case& c : cases) {
        classScriptTables t;
        c.build(t);
        std::string why;
        EXPECT_EQ(CheckCompiledTables(t, &why), c.why == nullptr) << c.name;
        EXPECT_EQ(why, c.why == nullptr ? "" : c.why) << c.name;
    }
}

}  // namespace
