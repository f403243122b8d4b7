#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "script/script_value.h"
#include "support/le_bytes.h"

namespace {

using testbytes::LeBytes;

// A header laid out field by field: record size, tag (sign-extended), integer,
// real, text offset and size, children offset and size.
LeBytes Header(u64 size, int64 tag, int64 integer, double real, u32 textOffset, u32 textSize,
               u32 childrenOffset, u32 childrenSize) {
    LeBytes b;
    b.U64(size)
        .I64(tag)
        .I64(integer)
        .F64(real)
        .U32(textOffset)
        .U32(textSize)
        .U32(childrenOffset)
        .U32(childrenSize);
    return b;
}

std::vector<u8> Write(const classScriptValue& v) {
    std::vector<u8> out{9, 9, 9};  // replaced, not appended to
    WriteScriptValue(v, out);
    return out;
}

classScriptValue Read(const std::vector<u8>& bytes) {
    classScriptValue v;
    ReadScriptValue(&v, bytes.data(), bytes.size());
    return v;
}

TEST(ValueRecord, EachKindIsLaidOutAsDocumented) {
    classScriptValue empty;
    EXPECT_EQ(Write(empty), Header(48, 0, 0, 0.0, 0, 0, 0, 0).Bytes());

    classScriptValue integer;
    integer.SetInteger(-5);
    EXPECT_EQ(Write(integer), Header(48, 2, -5, 0.0, 0, 0, 0, 0).Bytes());

    classScriptValue real;
    real.SetReal(2.5);
    EXPECT_EQ(Write(real), Header(48, 3, 0, 2.5, 0, 0, 0, 0).Bytes());

    // "ab" is stored with its NUL: 3 bytes.
    classScriptValue text;
    text.SetString("ab");
    EXPECT_EQ(Write(text), Header(51, 4, 0, 0.0, 48, 3, 0, 0).Text("ab").Z().Bytes());

    classScriptValue label;
    label.SetLabel("#L", 7);
    EXPECT_EQ(Write(label), Header(51, 5, 7, 0.0, 48, 3, 0, 0).Text("#L").Z().Bytes());

    classScriptValue op;
    op.SetOperator("+");
    EXPECT_EQ(Write(op), Header(50, 6, 0, 0.0, 48, 2, 0, 0).Text("+").Z().Bytes());
}

TEST(ValueRecord, CachedMembersTravelWithTheValue) {
    // A real shown once as text carries "2.500000" (9 bytes with the NUL).
    classScriptValue v;
    v.SetReal(2.5);
    v.AsString();
    v.integer = 3;
    EXPECT_EQ(Write(v), Header(57, 3, 3, 2.5, 48, 9, 0, 0).Text("2.500000").Z().Bytes());
}

TEST(ValueRecord, AListOfTwoIntegersHoldsTwoChildRecords) {
    classScriptValue list;
    list.MakeList();
    list.children.resize(2);
    list.children[0].SetInteger(1);
    list.children[1].SetInteger(2);
    LeBytes expected = Header(144, 1, 0, 0.0, 0, 0, 48, 96);
    expected.Append(Header(48, 2, 1, 0.0, 0, 0, 0, 0));
    expected.Append(Header(48, 2, 2, 0.0, 0, 0, 0, 0));
    EXPECT_EQ(Write(list), expected.Bytes());
}

TEST(ValueRecord, TextComesBeforeTheChildren) {
    classScriptValue list;
    list.MakeList()->emplace_back().SetString("x");
    list.text = "hi";  // stale text of a list is stored too
    LeBytes expected = Header(51 + 50, 1, 0, 0.0, 48, 3, 51, 50);
    expected.Text("hi").Z();
    expected.Append(Header(50, 4, 0, 0.0, 48, 2, 0, 0).Text("x").Z());
    EXPECT_EQ(Write(list), expected.Bytes());
}

TEST(ValueRecord, WriteReadWriteGivesTheSameBytes) {
    classScriptValue v;
    auto* outer = v.MakeList();
    outer->emplace_back().SetString("first");
    classScriptValue& inner = outer->emplace_back();
    inner.MakeList()->emplace_back().SetReal(-0.125);
    inner.children.emplace_back().SetLabel("#x", 99);
    inner.children.emplace_back();  // an empty child
    outer->emplace_back().SetOperator("&&");
    v.integer = -1;

    const std::vector<u8> first = Write(v);
    const classScriptValue back = Read(first);
    EXPECT_EQ(back.tag, ScriptValueList);
    ASSERT_EQ(back.children.size(), 3u);
    EXPECT_EQ(back.children[0].text, "first");
    ASSERT_EQ(back.children[1].children.size(), 3u);
    EXPECT_EQ(back.children[1].children[0].real, -0.125);
    EXPECT_EQ(back.children[1].children[1].integer, 99);
    EXPECT_EQ(back.children[1].children[2].tag, ScriptValueEmpty);
    EXPECT_EQ(*back.children[2].GetOperator(), "&&");
    EXPECT_EQ(Write(back), first);
}

TEST(ValueRecord, ARecordReadsTheSameAtAnyPosition) {
    classScriptValue v;
    v.MakeList()->emplace_back().SetString("moved");
    std::vector<u8> record = Write(v);
    LeBytes at13;
    at13.Text("thirteen byte").Append(record);
    const std::vector<u8>& file = at13.Bytes();
    classScriptValue back;
    ASSERT_TRUE(ReadScriptValue(&back, file.data() + 13, record.size()));
    EXPECT_EQ(back.children.at(0).text, "moved");
}

TEST(ValueRecord, ReadingFillsTheValueWithoutClearingItFirst) {
    // An empty text in the record leaves the text member as it was.
    classScriptValue v;
    v.text = "kept";
    const LeBytes b = Header(48, 2, 4, 0.0, 0, 0, 0, 0);
    ASSERT_TRUE(ReadScriptValue(&v, b.Bytes().data(), b.Size()));
    EXPECT_EQ(v.tag, ScriptValueInteger);
    EXPECT_EQ(v.integer, 4);
    EXPECT_EQ(v.text, "kept");
}

TEST(ValueRecord, ShortRecordsAndMissingTargetsChangeNothing) {
    classScriptValue v;
    v.SetString("untouched");
    const LeBytes b = Header(48, 2, 4, 0.0, 0, 0, 0, 0);
    EXPECT_FALSE(ReadScriptValue(&v, b.Bytes().data(), 47));
    EXPECT_FALSE(ReadScriptValue(nullptr, b.Bytes().data(), b.Size()));
    EXPECT_FALSE(ReadScriptValue(&v, nullptr, 48));
    EXPECT_EQ(v.tag, ScriptValueString);
    EXPECT_EQ(v.text, "untouched");
}

// Damaged records are read as far as they hold: tags from their low 32 bits,
// texts and children cut at the end of their range, never the record itself
// taken for its own child.
TEST(ValueRecord, DamagedRecordsAreReadAsFarAsTheyHold) {
    const LeBytes child = Header(48, 2, 1, 0.0, 0, 0, 0, 0);
    LeBytes huge = Header(144, 1, 0, 0.0, 0, 0, 48, 96);
    huge.Append(child).Append(child).PatchU64(96, ~u64{0});
    struct Case {
        const char* name;
        LeBytes record;
        u32 tag;
        const char* text;
        size_t children;
    };
    const Case cases[] = {
        {"tag from the low 32 bits", Header(48, int64{0x700000003}, 0, 1.0, 0, 0, 0, 0), ScriptValueReal, "",
         0},
        {"tag -1 reads as empty", Header(48, -1, 5, 0.0, 0, 0, 0, 0), ScriptValueEmpty, "", 0},
        {"tag 7 reads as empty", Header(48, 7, 5, 0.0, 0, 0, 0, 0), ScriptValueEmpty, "", 0},
        {"no NUL within the text size", Header(52, 4, 0, 0.0, 48, 2, 0, 0).Text("abcd"), ScriptValueString,
         "ab", 0},
        {"text size past the record", Header(51, 4, 0, 0.0, 48, 0xFFFFFFFFu, 0, 0).Text("xyz"),
         ScriptValueString, "xyz", 0},
        {"text offset past the record", Header(48, 4, 0, 0.0, 0xFFFFFFF0u, 0x20, 0, 0), ScriptValueString,
         "old", 0},
        {"children size claims three, two follow",
         Header(144, 1, 0, 0.0, 0, 0, 48, 144).Append(child).Append(child), ScriptValueList, "old", 2},
        {"a child of size 2^64 - 1 ends the walk", huge, ScriptValueList, "old", 1},
        {"a child of size 0 ends the walk", Header(144, 1, 0, 0.0, 0, 0, 48, 96).Append(child).Zeros(48),
         ScriptValueList, "old", 1},
        {"the children size bounds the walk",
         Header(144, 1, 0, 0.0, 0, 0, 48, 48).Append(child).Append(child), ScriptValueList, "old", 1},
        {"children offset past the end", Header(48, 1, 0, 0.0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu),
         ScriptValueList, "old", 0},
        {"the record as its own child", Header(48, 1, 0, 0.0, 0, 0, 0, 48), ScriptValueList, "old", 0},
    };
    for (const Case& c : cases) {
        classScriptValue v;
        v.text = "old";  // an empty or missing text leaves the member as it was
        ReadScriptValue(&v, c.record.Bytes().data(), c.record.Size());
        EXPECT_EQ(v.tag, c.tag) << c.name;
        if (*c.text != '\0') {
            EXPECT_EQ(v.text, c.text) << c.name;
        }
        EXPECT_EQ(v.children.size(), c.children) << c.name;
    }
}

// Builds a list nested `levels` deep, each level one child, innermost an integer.
std::vector<u8> NestedRecord(int levels) {
    std::vector<u8> record = Header(48, 2, 77, 0.0, 0, 0, 0, 0);
    for (int i = 0; i < levels; ++i) {
        LeBytes outer = Header(48 + record.size(), 1, 0, 0.0, 0, 0, 48, static_cast<u32>(record.size()));
        outer.Append(record);
        record = outer.Bytes();
    }
    return record;
}

TEST(ValueRecord, NestingIsCutAtTheDepthLimit) {
    const classScriptValue shallow = Read(NestedRecord(kMaxScriptValueDepth));
    int depth = 0;
    const classScriptValue* v = &shallow;
    while (!v->children.empty()) {
        v = &v->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kMaxScriptValueDepth);
    EXPECT_EQ(v->integer, 77);

    const classScriptValue deep = Read(NestedRecord(5000));
    depth = 0;
    v = &deep;
    while (!v->children.empty()) {
        v = &v->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kMaxScriptValueDepth);
    EXPECT_EQ(v->tag, ScriptValueList);

    // Written back, the value read at the limit keeps every level.
    std::vector<u8> appended;
    AppendScriptValue(shallow, appended);
    EXPECT_EQ(appended, NestedRecord(kMaxScriptValueDepth));
}

TEST(ValueRecord, AppendingAddsAfterWhatIsThere) {
    classScriptValue v;
    v.SetInteger(1);
    std::vector<u8> out{0xAB};
    AppendScriptValue(v, out);
    ASSERT_EQ(out.size(), 49u);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[1], 48);  // the record's own size, at its own start
}

}  // namespace
