#include "script/script_variable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/le_bytes.h"

namespace {

using testbytes::LeBytes;

// A value record of a plain integer: 48 bytes, no text, no children.
LeBytes IntegerRecord(int64 v) {
    LeBytes b;
    b.U64(48).I64(2).I64(v).F64(0.0).U32(0).U32(0).U32(0).U32(0);
    return b;
}

// One entry: header, name and NUL, value record.
LeBytes Entry(std::string_view name, int64 index, const std::vector<u8>& value) {
    const u64 size = 32 + name.size() + 1 + value.size();
    LeBytes b;
    b.U64(size).U32(32).U32(static_cast<u32>(name.size() + 1)).I64(index);
    b.U32(static_cast<u32>(32 + name.size() + 1)).U32(static_cast<u32>(value.size()));
    b.Text(name).Z().Append(value);
    return b;
}

std::vector<std::pair<std::string, int64>> Keys(const classScriptVariableList& list) {
    std::vector<std::pair<std::string, int64>> keys;
    for (const classScriptVariable& v : list) keys.emplace_back(v.name, v.index);
    return keys;
}

TEST(VariableList, NameAndIndexTogetherAreTheKey) {
    classScriptVariableList list;
    list.FindOrAdd("a", 0)->SetInteger(10);
    list.FindOrAdd("a", 3)->SetInteger(13);
    list.FindOrAdd("a", -1)->SetInteger(-1);
    list.FindOrAdd("A", 0)->SetInteger(99);  // names are case-sensitive
    EXPECT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.Find("a", 0)->integer, 10);
    EXPECT_EQ(list.Find("a", 3)->integer, 13);
    EXPECT_EQ(list.Find("a", -1)->integer, -1);
    EXPECT_EQ(list.Find("A", 0)->integer, 99);
    EXPECT_EQ(list.Find("a", 1), nullptr);
    EXPECT_EQ(list.Find("b", 0), nullptr);
    // Indices compare as whole 64-bit values.
    EXPECT_EQ(list.Find("a", int64{3} + (int64{1} << 32)), nullptr);
}

TEST(VariableList, ReadingAMissingVariableCreatesItEmptyAtTheEnd) {
    classScriptVariableList list;
    list.FindOrAdd("first", 0)->SetInteger(1);
    classScriptValue* fresh = list.FindOrAdd("never.assigned", 5);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->tag, ScriptValueEmpty);
    EXPECT_EQ(Keys(list), (std::vector<std::pair<std::string, int64>>{{"first", 0}, {"never.assigned", 5}}));
    // Found again, not added again.
    EXPECT_EQ(list.FindOrAdd("never.assigned", 5), fresh);
    EXPECT_EQ(list.Size(), 2u);
}

TEST(VariableList, ValueAddressesSurviveLaterAdditions) {
    classScriptVariableList list;
    classScriptValue* held = list.FindOrAdd("held", 0);
    for (int i = 0; i < 1000; ++i) list.FindOrAdd("x", i);
    held->SetString("still here");
    EXPECT_EQ(list.Find("held", 0)->text, "still here");
}

TEST(VariableList, InsertPutsACopyBeforeThePositionAndTheFirstMatchWins) {
    classScriptVariableList list;
    list.FindOrAdd("a", 0)->SetInteger(1);
    list.FindOrAdd("c", 0)->SetInteger(3);
    classScriptVariable b;
    b.name = "b";
    b.value.SetInteger(2);
    list.Insert(1, b);
    classScriptVariable twin;
    twin.name = "c";
    twin.value.SetInteger(30);
    list.Insert(0, twin);   // a duplicate key in front
    list.Insert(99, b);     // past the end: appended
    EXPECT_EQ(Keys(list), (std::vector<std::pair<std::string, int64>>{{"c", 0}, {"a", 0}, {"b", 0}, {"c", 0}, {"b", 0}}));
    EXPECT_EQ(list.Find("c", 0)->integer, 30);
    EXPECT_EQ(list.Find("b", 0)->integer, 2);
}

TEST(VariableList, CopiesAreIndependentAndMovesKeepLookups) {
    classScriptVariableList list;
    list.FindOrAdd("x", 1)->SetInteger(1);
    classScriptVariableList copy = list;
    copy.Find("x", 1)->SetInteger(2);
    EXPECT_EQ(list.Find("x", 1)->integer, 1);
    EXPECT_EQ(copy.Find("x", 1)->integer, 2);
    classScriptVariableList moved = std::move(copy);
    EXPECT_EQ(moved.Find("x", 1)->integer, 2);
    list = moved;
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Find("x", 1), nullptr);
    EXPECT_EQ(moved.Find("x", 1)->integer, 2);
}

TEST(VariableListRecord, EntriesAreLaidOutAsDocumented) {
    classScriptVariableList list;
    list.FindOrAdd("a", 3)->SetInteger(5);
    list.FindOrAdd("", 2);  // a tmp variable, never assigned
    std::vector<u8> out;
    WriteVariableList(list, out);
    // "a": 32 + 2 + 48 = 82 bytes; the tmp: 32 + 1 + 48 = 81 bytes.
    LeBytes expected;
    expected.U64(82).U32(32).U32(2).I64(3).U32(34).U32(48).Text("a").Z().Append(IntegerRecord(5));
    expected.U64(81).U32(32).U32(1).I64(2).U32(33).U32(48).Z();
    expected.U64(48).Zeros(40);
    EXPECT_EQ(out, expected.Bytes());
}

TEST(VariableListRecord, AnEmptyListWritesNothingAndWritingAppends) {
    classScriptVariableList list;
    std::vector<u8> out{1, 2};
    WriteVariableList(list, out);
    EXPECT_EQ(out, (std::vector<u8>{1, 2}));
    ReadVariableList(list, out.data(), 0);
    EXPECT_TRUE(list.Empty());
}

TEST(VariableListRecord, WriteReadWriteGivesTheSameBytesAndOrder) {
    classScriptVariableList list;
    list.FindOrAdd("z", 0)->SetString("last letter");
    list.FindOrAdd("a", 3)->SetReal(0.5);
    list.FindOrAdd("a", -1)->MakeList()->emplace_back().SetInteger(7);
    list.FindOrAdd("System.TextSpeed", 0)->SetInteger(40);
    std::vector<u8> first;
    WriteVariableList(list, first);

    classScriptVariableList back;
    ReadVariableList(back, first.data(), first.size());
    EXPECT_EQ(Keys(back), Keys(list));
    EXPECT_EQ(back.Find("a", -1)->children.at(0).integer, 7);
    EXPECT_EQ(back.Find("z", 0)->text, "last letter");
    std::vector<u8> second;
    WriteVariableList(back, second);
    EXPECT_EQ(second, first);
}

TEST(VariableListRecord, ReadingReplacesWhatTheListHeld) {
    classScriptVariableList list;
    list.FindOrAdd("old", 0)->SetInteger(1);
    list.FindOrAdd("kept?", 0)->SetInteger(2);
    const LeBytes record = Entry("kept?", 0, IntegerRecord(20));
    ReadVariableList(list, record.Bytes().data(), record.Size());
    EXPECT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Find("old", 0), nullptr);
    EXPECT_EQ(list.Find("kept?", 0)->integer, 20);
}

TEST(VariableListRecord, AKeyGivenTwiceTakesItsLastEntry) {
    LeBytes list;
    classScriptValue l;
    l.MakeList()->emplace_back().SetInteger(1);
    std::vector<u8> listRecord;
    WriteScriptValue(l, listRecord);
    list.Append(Entry("k", 0, listRecord)).Append(Entry("k", 0, listRecord));
    classScriptVariableList read;
    ReadVariableList(read, list.Bytes().data(), list.Size());
    EXPECT_EQ(read.Size(), 1u);
    EXPECT_EQ(read.Find("k", 0)->children.size(), 1u);
}

TEST(VariableListRecord, DamagedEntriesEndTheWalkOrArePassedOver) {
    const LeBytes good = Entry("g", 0, IntegerRecord(1));
    auto read = [](const LeBytes& bytes) {
        classScriptVariableList list;
        ReadVariableList(list, bytes.Bytes().data(), bytes.Size());
        return list;
    };

    // Entry size below the header, zero, or 2^64 - 1: the walk ends there.
    for (u64 badSize : {u64{0}, u64{31}, ~u64{0}, u64{1} << 63}) {
        LeBytes b;
        b.Append(good).Append(Entry("h", 0, IntegerRecord(2)));
        b.PatchU64(good.Size(), badSize);
        const classScriptVariableList list = read(b);
        EXPECT_EQ(list.Size(), 1u) << badSize;
        EXPECT_NE(list.Find("g", 0), nullptr);
    }

    // A truncated last entry is not read.
    LeBytes truncated;
    truncated.Append(good).Append(Entry("h", 0, IntegerRecord(2)));
    const classScriptVariableList cut = [&] {
        classScriptVariableList list;
        ReadVariableList(list, truncated.Bytes().data(), truncated.Size() - 1);
        return list;
    }();
    EXPECT_EQ(cut.Size(), 1u);

    // A header with nothing after it is not an entry.
    LeBytes bare;
    bare.U64(32).U32(32).U32(1).I64(0).U32(0).U32(0);
    EXPECT_TRUE(read(bare).Empty());

    // A name offset past the entry: that entry is passed over, the next read.
    LeBytes noName = Entry("x", 0, IntegerRecord(3));
    noName.PatchU32(8, 0xFFFFFFF0u);
    noName.Append(good);
    const classScriptVariableList skipped = read(noName);
    EXPECT_EQ(skipped.Size(), 1u);
    EXPECT_NE(skipped.Find("g", 0), nullptr);
}

TEST(VariableListRecord, NamesAndValuesStopAtTheEndOfTheirEntry) {
    // A name without its NUL whose size runs past the entry: the name ends
    // where the entry ends, and the value is not there.
    LeBytes b;
    b.U64(36).U32(32).U32(0xFFFFFFFFu).I64(4).U32(36).U32(48).Text("name");
    b.Append(Entry("next", 0, IntegerRecord(9)));
    classScriptVariableList list;
    ReadVariableList(list, b.Bytes().data(), b.Size());
    ASSERT_EQ(list.Size(), 2u);
    ASSERT_NE(list.Find("name", 4), nullptr);
    EXPECT_EQ(list.Find("name", 4)->tag, ScriptValueEmpty);
    EXPECT_EQ(list.Find("next", 0)->integer, 9);

    // A value size beyond the entry: the value record is cut to the entry,
    // so a list value keeps only the children inside it.
    classScriptValue l;
    auto* kids = l.MakeList();
    kids->emplace_back().SetInteger(1);
    kids->emplace_back().SetInteger(2);
    std::vector<u8> value;
    WriteScriptValue(l, value);
    LeBytes over = Entry("v", 0, value);
    over.PatchU32(28, 0xFFFFFFFFu);
    over.PatchU64(0, over.Size() - 48);  // the entry ends before the second child
    over.PatchU32(12, 2);
    classScriptVariableList cut;
    ReadVariableList(cut, over.Bytes().data(), over.Size() - 48);
    ASSERT_EQ(cut.Size(), 1u);
    ASSERT_NE(cut.Find("v", 0), nullptr);
    EXPECT_EQ(cut.Find("v", 0)->children.size(), 1u);
}

}  // namespace
