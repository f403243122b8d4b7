// Frames: positions, labels, marks, reset, and the frame record, whose
// expected bytes are laid out here field by field from its documented layout.
#include "script/script_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/already_read.h"
#include "script/script_compiler.h"
#include "script/script_context.h"
#include "support/le_bytes.h"

namespace {

using testbytes::LeBytes;

classScriptTables Compile(const std::string& source, const std::string& name = "frame.qvs") {
    classScriptCompiler compiler(name);
    compiler.Compile(source);
    return compiler.TakeTables();
}

classScriptFrame FrameOf(const std::string& source, const std::string& name = "frame.qvs") {
    classScriptFrame frame;
    frame.scriptName = name;
    frame.SetTables(Compile(source, name));
    return frame;
}

std::vector<u8> Bytes(const classMemoryStream& stream) {
    return std::vector<u8>(stream.Data(), stream.Data() + stream.Size());
}

TEST(ScriptFrame, PositionsAndEnd) {
    // Statements: 0 Dammy, 1 #a, 2 Dammy, 3 #a, 4 Dammy.
    classScriptFrame frame = FrameOf("Dammy(1) #a Dammy(2) #a Dammy(3)");
    ASSERT_EQ(frame.GetStatementCount(), 5);
    EXPECT_EQ(frame.NextIndex(0), 1);
    EXPECT_EQ(frame.NextIndex(4), 5) << "the last statement leads to the end";
    EXPECT_EQ(frame.NextIndex(9), 5);
    EXPECT_FALSE(frame.IsFinished());
    frame.pc = 5;
    EXPECT_TRUE(frame.IsFinished());
    frame.pc = -1;
    EXPECT_TRUE(frame.IsFinished()) << "a jump through an unlinked field ends the frame";
    frame.pc = 2;
    frame.stopPosition.Set(2);
    EXPECT_TRUE(frame.IsFinished()) << "the stop position ends a block frame";
    frame.stopPosition.Set(3);
    EXPECT_FALSE(frame.IsFinished());
    frame.SeekEnd();
    EXPECT_EQ(frame.pc, 5);
    EXPECT_EQ(frame.nextPc, 5);

    classScriptFrame empty;
    EXPECT_TRUE(empty.IsFinished()) << "a frame without a script is finished at once";
    EXPECT_EQ(empty.GetStatementRecord(0), nullptr);
}

TEST(ScriptFrame, LabelsAreFoundByNameFirstStatementWins) {
    classScriptFrame frame = FrameOf("Dammy(1) #a Dammy(2) #a Dammy(#only) Dammy(3)");
    EXPECT_EQ(frame.FindLabel("#a"), 1);
    EXPECT_EQ(frame.FindLabel("#A"), -1) << "names compare byte for byte";
    EXPECT_EQ(frame.FindLabel(""), -1);
    EXPECT_EQ(frame.FindLabel("#missing"), -1);

    frame.pc = frame.nextPc = 4;
    EXPECT_TRUE(frame.JumpToLabel(""));
    EXPECT_EQ(frame.pc, 4) << "an empty name does not move";
    EXPECT_FALSE(frame.JumpToLabel("#missing"));
    EXPECT_EQ(frame.pc, 4) << "an absent label does not move";
    EXPECT_TRUE(frame.JumpToLabel("#a"));
    EXPECT_EQ(frame.pc, 1);
    EXPECT_EQ(frame.nextPc, 1);
    // "#only" stands only as an argument: it names no statement.
    EXPECT_TRUE(frame.JumpToLabel("#only"));
    EXPECT_TRUE(frame.IsFinished()) << "going to a label without a statement ends the frame";
}

TEST(ScriptFrame, ResetKeepsLocalsAndTables) {
    classScriptFrame frame = FrameOf("Dammy(1) Dammy(2)");
    frame.pc = frame.nextPc = 1;
    frame.interruptFlag = frame.reservedFlag = 1;
    frame.stopPosition.Set(1);
    frame.result.SetInteger(3);
    frame.pendingTarget.Set(0);
    frame.tmpVariables.FindOrAdd("", 0)->SetInteger(1);
    frame.localVariables.FindOrAdd("l", 0)->SetInteger(2);
    frame.Reset();
    EXPECT_EQ(frame.pc, 0);
    EXPECT_EQ(frame.nextPc, 0);
    EXPECT_EQ(frame.interruptFlag, 0);
    EXPECT_EQ(frame.reservedFlag, 0);
    EXPECT_FALSE(frame.stopPosition.IsSet());
    EXPECT_TRUE(frame.result.IsEmpty());
    EXPECT_FALSE(frame.pendingTarget.IsSet());
    EXPECT_TRUE(frame.tmpVariables.Empty());
    ASSERT_NE(frame.localVariables.Find("l", 0), nullptr);
    EXPECT_EQ(frame.GetStatementCount(), 2);
}

TEST(ScriptFrame, MarksArePerScriptNameAndStatementCount) {
    classScriptFrame first = FrameOf("Dammy(1) Dammy(2) Dammy(3)", "marks.qvs");
    classScriptFrame second = FrameOf("Dammy(1) Dammy(2) Dammy(3)", "marks.qvs");
    classScriptFrame longer = FrameOf("Dammy(1) Dammy(2) Dammy(3) Dammy(4)", "marks.qvs");
    ASSERT_NE(first.alreadyRead, nullptr);
    EXPECT_EQ(first.alreadyRead, second.alreadyRead) << "one buffer per (name, count)";
    EXPECT_NE(first.alreadyRead, longer.alreadyRead) << "an edited script gets marks of its own";
    EXPECT_TRUE(first.MarkAlreadyRead(1));
    EXPECT_TRUE(second.IsAlreadyReadAt(1));
    EXPECT_FALSE(second.IsAlreadyReadAt(0));
    EXPECT_FALSE(longer.IsAlreadyReadAt(1));
    EXPECT_FALSE(first.MarkAlreadyRead(3));
    EXPECT_FALSE(first.MarkAlreadyRead(-1));
    EXPECT_FALSE(first.IsAlreadyReadAt(3));
    classScriptFrame empty;
    EXPECT_FALSE(empty.MarkAlreadyRead(0));
}

TEST(AlreadyReadList, RegisterFindsOrAppends) {
    classAlreadyReadList list;
    u8* a = nullptr;
    u8* b = nullptr;
    u8* c = nullptr;
    EXPECT_FALSE(list.Register("x.qvs", 0, &a));
    EXPECT_EQ(a, nullptr);
    EXPECT_TRUE(list.Register("x.qvs", 120, &a));
    EXPECT_TRUE(list.Register("x.qvs", 121, &b));
    EXPECT_TRUE(list.Register("X.qvs", 120, &c));
    EXPECT_EQ(list.Count(), 3u) << "count and letter case both tell buffers apart";
    u8* again = nullptr;
    list.Register("x.qvs", 120, &again);
    EXPECT_EQ(again, a);
    EXPECT_EQ(a[0] | a[119], 0);
}

// Empty tables give the 48-byte image: magic, two zeros, header size 48, the
// rest zero.
std::vector<u8> EmptyImage() {
    return LeBytes().Text("QVS002").Zeros(2).U32(48).Zeros(36).Bytes();
}

// One variable-list entry holding an integer value.
std::vector<u8> IntegerEntry(const std::string& name, int64 index, int64 value) {
    const u32 nameSize = static_cast<u32>(name.size() + 1);
    LeBytes entry;
    entry.U64(32 + nameSize + 48).U32(32).U32(nameSize).I64(index).U32(32 + nameSize).U32(48);
    entry.Text(name).Z();
    entry.U64(48).I64(2).I64(value).F64(0.0).U32(0).U32(0).U32(0).U32(0);
    return entry.Bytes();
}

TEST(FrameRecord, WrittenAsTheLayoutSays) {
    classScriptFrame frame;
    frame.scriptName = "ab";
    frame.pc = 3;
    frame.nextPc = 4;
    frame.reservedFlag = 7;
    frame.pendingTarget.Set(2);
    frame.localVariables.FindOrAdd("v", 0)->SetInteger(7);
    frame.result.SetInteger(99);  // not stored
    frame.stopPosition.Set(1);    // not stored

    // 56 header + 3 name + 48 image + 82 local entry = 189.
    LeBytes expected;
    expected.U64(189).U32(56).U32(3).U32(59).U32(48).U32(3).U32(4).U8(0).U8(7).U16(0).U32(2);
    expected.U32(0).U32(0).U32(107).U32(82);
    expected.Text("ab").Z().Append(EmptyImage()).Append(IntegerEntry("v", 0, 7));
    classMemoryStream out;
    frame.Serialize(out);
    EXPECT_EQ(Bytes(out), expected.Bytes());

    // An unset target is -1; a tmp list sits before the local list; with an
    // empty local list its offset and size are 0.
    classScriptFrame second;
    second.scriptName = "t";
    second.interruptFlag = 1;
    second.tmpVariables.FindOrAdd("", 2)->SetInteger(-1);
    LeBytes tmpExpected;
    tmpExpected.U64(56 + 2 + 48 + 81).U32(56).U32(2).U32(58).U32(48).U32(0).U32(0).U8(1).U8(0).U16(0);
    tmpExpected.U32(0xFFFFFFFF).U32(106).U32(81).U32(0).U32(0);
    tmpExpected.Text("t").Z().Append(EmptyImage()).Append(IntegerEntry("", 2, -1));
    classMemoryStream tmpOut;
    second.Serialize(tmpOut);
    EXPECT_EQ(Bytes(tmpOut), tmpExpected.Bytes());
}

TEST(FrameRecord, ReadBackAndWrittenAgainGivesTheSameBytes) {
    classScriptFrame frame =
        FrameOf("Variable(Local, Name=n) n = 1 + 2 #here Dammy(n, \"text\", 2.5)", "round.qvs");
    frame.pc = 2;
    frame.nextPc = 3;
    frame.pendingTarget.Set(0);
    frame.localVariables.FindOrAdd("n", 0)->SetString("three");
    frame.localVariables.FindOrAdd("n", -4)->SetReal(0.5);
    frame.tmpVariables.FindOrAdd("", 0)->SetInteger(3);
    classMemoryStream first;
    frame.Serialize(first);

    classScriptFrame read;
    ASSERT_TRUE(read.Deserialize(first.Data(), first.Size()));
    EXPECT_EQ(read.scriptName, "round.qvs");
    EXPECT_EQ(read.pc, 2);
    EXPECT_EQ(read.nextPc, 3);
    ASSERT_TRUE(read.pendingTarget.IsSet());
    EXPECT_EQ(read.pendingTarget.Get(), 0u);
    EXPECT_TRUE(read.Tables() == frame.Tables());
    EXPECT_EQ(read.alreadyRead, frame.alreadyRead) << "the marks are found again under the name";
    ASSERT_NE(read.localVariables.Find("n", -4), nullptr);
    EXPECT_EQ(read.localVariables.Find("n", -4)->real, 0.5);
    classMemoryStream second;
    read.Serialize(second);
    EXPECT_EQ(Bytes(first), Bytes(second));
}

TEST(FrameRecord, DamagedRecordsAreReadAsFarAsTheyHold) {
    classScriptFrame frame;
    EXPECT_FALSE(frame.Deserialize(EmptyImage().data(), 55)) << "shorter than a header";

    // Name offset far outside, image and lists pointing past the end.
    LeBytes bad;
    bad.U64(70).U32(0xFFFFFFF0).U32(5).U32(60).U32(0xFFFFFFFF).U32(1).U32(2).U8(0).U8(0).U16(0);
    bad.U32(0x7FFFFFFF).U32(66).U32(0xFFFFFFFF).U32(56).U32(100).Zeros(14);
    classScriptFrame damaged;
    ASSERT_TRUE(damaged.Deserialize(bad.Bytes().data(), bad.Size()));
    EXPECT_EQ(damaged.scriptName, "");
    EXPECT_EQ(damaged.GetStatementCount(), 0);
    EXPECT_TRUE(damaged.IsFinished());
    EXPECT_TRUE(damaged.tmpVariables.Empty());
    EXPECT_TRUE(damaged.localVariables.Empty());
    ASSERT_TRUE(damaged.pendingTarget.IsSet());
    EXPECT_EQ(damaged.pendingTarget.Get(), 0x7FFFFFFFu);

    // A name whose NUL is missing stops at the end of the record.
    LeBytes open;
    open.U64(60).U32(56).U32(100).Zeros(40).Text("abcd");
    classScriptFrame named;
    named.Deserialize(open.Bytes().data(), open.Size());
    EXPECT_EQ(named.scriptName, "abcd");

    // Every single byte of a good record turned to 0xFF: read without harm.
    classScriptFrame good = FrameOf("Variable(Local, Name=n) n = 1 Dammy(n)", "flip.qvs");
    good.localVariables.FindOrAdd("n", 0)->SetInteger(1);
    good.tmpVariables.FindOrAdd("", 0)->SetInteger(1);
    classMemoryStream out;
    good.Serialize(out);
    std::vector<u8> bytes = Bytes(out);
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<u8> copy = bytes;
        copy[i] = 0xFF;
        classScriptFrame flipped;
        flipped.Deserialize(copy.data(), copy.size());
    }
}

u32 Get32At(const std::vector<u8>& b, size_t at) {
    return static_cast<u32>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<u32>(b[at + 3]) << 24);
}

void PutAt(std::vector<u8>& b, size_t at, u64 v, int width) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<u8>(v >> (8 * i));
}

void Put32At(std::vector<u8>& b, size_t at, u64 v) {
    PutAt(b, at, v, 4);
}

void Put64At(std::vector<u8>& b, size_t at, u64 v) {
    PutAt(b, at, v, 8);
}

// A load trusts a frame only when every part of its record reads back: the
// header's offsets lay the parts end to end, as the layout says, and each
// part is whole. Offsets of the good record: name at 56, then the image,
// the tmp list and the local list.
TEST(FrameRecord, OnlyARecordWhosePartsLieEndToEndAndReadBackIsWhole) {
    classScriptFrame frame = FrameOf("Variable(Local, Name=n) n = 1 Dammy(n)", "whole.qvs");
    frame.localVariables.FindOrAdd("n", 0)->SetInteger(1);
    frame.tmpVariables.FindOrAdd("", 0)->SetInteger(1);
    classMemoryStream out;
    frame.Serialize(out);
    const std::vector<u8> good = Bytes(out);
    const u32 imageAt = Get32At(good, 16), tmpAt = Get32At(good, 40), localAt = Get32At(good, 48);
    ASSERT_EQ(imageAt, 56u + 10u) << "\"whole.qvs\" and its NUL";
    ASSERT_GT(tmpAt, imageAt);
    ASSERT_GT(localAt, tmpAt);

    struct Case {
        const char* name;
        void (*damage)(std::vector<u8>& bytes);
        bool whole;
    };
    const Case cases[] = {
        {"as written", [](std::vector<u8>&) {}, true},
        {"a byte between the name and the image, every offset after it moved on",
         [](std::vector<u8>& b) {
             b.insert(b.begin() + Get32At(b, 16), 0);
             for (size_t field : {16, 40, 48}) Put32At(b, field, Get32At(b, field) + 1);
             Put64At(b, 0, b.size());
         },
         false},
        {"the local list left off, its size still given",
         [](std::vector<u8>& b) {
             const u32 at = Get32At(b, 48);
             b.resize(at);
             Put32At(b, 48, 0);
             Put64At(b, 0, b.size());
         },
         false},
        {"the local list left off with its field",
         [](std::vector<u8>& b) {
             b.resize(Get32At(b, 48));
             Put32At(b, 48, 0);
             Put32At(b, 52, 0);
             Put64At(b, 0, b.size());
         },
         true},
        {"the image one byte short", [](std::vector<u8>& b) { Put32At(b, 20, Get32At(b, 20) - 1); }, false},
        {"a record size other than the bytes'", [](std::vector<u8>& b) { Put64At(b, 0, b.size() + 1); }, false},
    };
    for (const Case& c : cases) {
        std::vector<u8> bytes = good;
        c.damage(bytes);
        EXPECT_EQ(classScriptFrame::IsRecordWhole(bytes.data(), bytes.size()), c.whole) << c.name;
    }
}

TEST(FrameRecord, ContextReadsRecordsBackToBack) {
    classScriptContext context;
    classMemoryStream out;
    classScriptFrame a = FrameOf("Dammy(1)", "a.qvs");
    classScriptFrame b = FrameOf("Dammy(2) Dammy(3)", "b.qvs");
    b.pc = 1;
    a.Serialize(out);
    b.Serialize(out);
    const u64 twoRecords = out.Size();
    out.Write("\x38\0\0\0\0\0\0\0", 8);  // a size of 56 ends the walk
    out.Write(std::vector<u8>(60, 0).data(), 60);

    context.DeserializeFrames(out.Data(), out.Size());
    ASSERT_EQ(context.loadedFrames.size(), 2u);
    EXPECT_EQ(context.loadedFrames.front().scriptName, "a.qvs");
    EXPECT_EQ(context.loadedFrames.back().scriptName, "b.qvs");
    EXPECT_EQ(context.loadedFrames.back().pc, 1);

    // A record claiming more than what remains ends the walk too.
    std::vector<u8> cut(out.Data(), out.Data() + twoRecords - 1);
    context.DeserializeFrames(cut.data(), cut.size());
    EXPECT_EQ(context.loadedFrames.size(), 1u) << "a second load replaces the frames of the first";

    EXPECT_TRUE(context.SwapInLoadedFrames());
    EXPECT_EQ(context.frames.size(), 1u);
    EXPECT_TRUE(context.loadedFrames.empty());
    EXPECT_FALSE(context.SwapInLoadedFrames()) << "nothing left to swap in";
    EXPECT_EQ(context.frames.size(), 1u);
}

TEST(FrameRecord, ASwapNeverLeavesTheContextWithNothingToRun) {
    classScriptContext context;
    context.frames.push_back(FrameOf("Dammy(1)", "running.qvs"));
    classScriptFrame ended = FrameOf("Dammy(2)", "ended.qvs");
    ended.SeekEnd();
    context.loadedFrames.push_back(ended);
    EXPECT_FALSE(context.SwapInLoadedFrames());
    ASSERT_EQ(context.frames.size(), 1u);
    EXPECT_EQ(context.frames.front().scriptName, "running.qvs");
    EXPECT_TRUE(context.loadedFrames.empty());
}

TEST(FrameRecord, InterruptFramesAreLeftOutOfSaves) {
    classScriptContext context;
    context.frames.push_back(FrameOf("Dammy(1)", "kept.qvs"));
    context.frames.push_back(FrameOf("Dammy(2)", "interrupt.qvs"));
    context.frames.back().interruptFlag = 1;
    context.frames.push_back(FrameOf("Dammy(3)", "pushed-from-it.qvs"));
    context.frames.back().interruptFlag = 1;
    classMemoryStream out;
    context.SerializeFrames(out);
    classScriptContext restored;
    restored.DeserializeFrames(out.Data(), out.Size());
    ASSERT_EQ(restored.loadedFrames.size(), 1u);
    EXPECT_EQ(restored.loadedFrames.front().scriptName, "kept.qvs");
}

}  // namespace
