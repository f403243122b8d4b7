#include <gtest/gtest.h>

#include <vector>

#include "script/script_record.h"
#include "support/le_bytes.h"

namespace {

using testbytes::LeBytes;

constexpr u32 kNone = 0xFFFFFFFFu;

// The header: magic, two zero bytes, header size, four (offset, size) pairs
// and the tmp count.
LeBytes Header(u32 so, u32 ss, u32 ao, u32 as, u32 ro, u32 rs, u32 po, u32 ps, u32 tmp) {
    LeBytes b;
    b.Text("QVS002").U16(0).U32(48);
    b.U32(so).U32(ss).U32(ao).U32(as).U32(ro).U32(rs).U32(po).U32(ps).U32(tmp);
    return b;
}

// "Wait(100)" then the label "#a" (target statement 1), plus one tmp.
classScriptTables SmallScript() {
    classScriptTables t;
    const int32 hundred = t.AddIntegerRecord(100);  // record 0, pool 0..7
    const int32 args[] = {hundred};
    t.AddStatement(t.AddCommandRecord("Wait", args));  // record 1, list 0, "Wait" at 8
    const int32 label = t.AddLabelRecord("#a");         // record 2, "#a" at 13
    t.AddStatement(label);
    t.SetRecordB(label, 1);
    t.AddTmpRecord();  // record 3
    return t;
}

std::vector<u8> SmallScriptImage() {
    // statements at 48 (8 bytes), argument lists at 56 (8), records at 64
    // (4 x 12 = 48), pool at 112 (8 + 5 + 3 = 16); 128 bytes in all.
    LeBytes b = Header(48, 8, 56, 8, 64, 48, 112, 16, 1);
    b.U32(1).U32(2);
    b.U32(1).U32(0);
    b.U32(5).U32(kNone).U32(0);
    b.U32(1).U32(8).U32(0);
    b.U32(4).U32(13).U32(1);
    b.U32(9).U32(kNone).U32(0);
    b.I64(100).Text("Wait").Z().Text("#a").Z();
    return b;
}

TEST(CompiledImage, EmptyScriptIsTheBareHeader) {
    classScriptTables t;
    std::vector<u8> image{1, 2, 3};
    t.WriteImage(image);
    EXPECT_EQ(image, Header(0, 0, 0, 0, 0, 0, 0, 0, 0).Bytes());
    EXPECT_EQ(image.size(), 48u);
}

TEST(CompiledImage, SmallScriptIsWrittenByteForByte) {
    std::vector<u8> image;
    SmallScript().WriteImage(image);
    EXPECT_EQ(image, SmallScriptImage());
}

TEST(CompiledImage, ReadingGivesTheTablesAndWritingAgainTheSameBytes) {
    const std::vector<u8> image = SmallScriptImage();
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(image.data(), image.size()));
    EXPECT_EQ(t, SmallScript());
    EXPECT_EQ(t.GetTmpCount(), 1u);
    EXPECT_EQ(t.GetTextA(*t.GetStatementRecord(0)), "Wait");
    EXPECT_EQ(t.GetInteger(*t.GetArgumentRecord(0, 0)), 100);
    std::vector<u8> again;
    t.WriteImage(again);
    EXPECT_EQ(again, image);
}

TEST(CompiledImage, HeaderSizeFieldIsIgnoredAndTablesAreFoundByTheirOffsets) {
    // The pool first, then the statements, behind a header that claims 99 bytes.
    LeBytes b = Header(52, 4, 0, 0, 56, 12, 48, 4, 7);
    b.PatchU32(8, 99);
    b.Text("abc").Z();
    b.U32(0);
    b.U32(7).U32(kNone).U32(0);
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(b.Bytes().data(), b.Size()));
    EXPECT_EQ(t.GetStatementCount(), 1);
    EXPECT_EQ(t.GetTextB(*t.GetStatementRecord(0)), "abc");
    EXPECT_EQ(t.GetTmpCount(), 7u);
}

TEST(CompiledImage, RaggedTablesAreCutToWholeElements) {
    // A 13-byte record table is one record; a 6-byte statement table one word.
    LeBytes b = Header(48, 6, 0, 0, 54, 13, 0, 0, 0);
    b.U32(0).U16(0xBEEF);
    b.U32(9).U32(kNone).U32(3).U8(0xAA);
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(b.Bytes().data(), b.Size()));
    EXPECT_EQ(t.StatementTable(), (std::vector<u32>{0}));
    ASSERT_EQ(t.RecordTable().size(), 1u);
    EXPECT_EQ(t.RecordTable()[0], (classScriptRecord{9, kNone, 3}));
}

TEST(CompiledImage, ATableOutsideTheImageIsSkippedAndTheOthersTaken) {
    std::vector<u8> image = SmallScriptImage();
    LeBytes patched;
    patched.Append(image);
    patched.PatchU32(36, 4000);  // pool offset past the end
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(patched.Bytes().data(), patched.Size()));
    EXPECT_TRUE(t.DataPool().empty());
    EXPECT_EQ(t.RecordTable().size(), 4u);
    EXPECT_EQ(t.GetStatementCount(), 2);
    // Records that point into the missing pool read as no text and no number.
    EXPECT_EQ(t.GetTextA(*t.GetStatementRecord(0)).data(), nullptr);
    EXPECT_FALSE(t.GetInteger(*t.GetRecord(0)).has_value());
}

TEST(CompiledImage, OffsetPlusSizeIsCheckedWithoutWrapping) {
    // 0xFFFFFFF0 + 0x20 wraps to 0x10 in 32 bits, which would look inside.
    LeBytes b = Header(0xFFFFFFF0u, 0x20, 48, 0xFFFFFFFFu, 0, 0, 48, 4, 0);
    b.U32(0);
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(b.Bytes().data(), b.Size()));
    EXPECT_EQ(t.GetStatementCount(), 0);
    EXPECT_TRUE(t.ArgumentListTable().empty());
    EXPECT_EQ(t.DataPool().size(), 4u);
}

TEST(CompiledImage, ATableNotTakenKeepsWhatTheTablesHeld) {
    classScriptTables t = SmallScript();
    const LeBytes b = Header(0, 0, 0, 0, 0, 0, 0, 0, 9);
    ASSERT_TRUE(t.ReadImage(b.Bytes().data(), b.Size()));
    EXPECT_EQ(t.RecordTable(), SmallScript().RecordTable());
    EXPECT_EQ(t.GetTmpCount(), 9u);
}

TEST(CompiledImage, BytesWithoutTheMagicOrShorterThanTheHeaderAreNotAnImage) {
    classScriptTables t = SmallScript();
    std::vector<u8> image = SmallScriptImage();
    EXPECT_FALSE(t.ReadImage(image.data(), 47));
    image[5] = '1';
    EXPECT_FALSE(t.ReadImage(image.data(), image.size()));
    EXPECT_FALSE(t.ReadImage(nullptr, 100));
    EXPECT_EQ(t, SmallScript());
}

TEST(CompiledImage, DamagedContentsStayInsideTheTables) {
    // A pool whose last text has no NUL, and an argument list whose count
    // claims four billion words.
    LeBytes b = Header(0, 0, 48, 8, 56, 12, 68, 3, 0);
    b.U32(0xFFFFFFFFu).U32(0);
    b.U32(7).U32(kNone).U32(1);
    b.Text("xyz");
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(b.Bytes().data(), b.Size()));
    EXPECT_EQ(t.GetTextB(*t.GetRecord(0)), "yz");
    EXPECT_EQ(t.GetArgumentCount(0), 1u);
    EXPECT_EQ(t.GetArgumentRecord(0, 0), t.GetRecord(0));
    EXPECT_EQ(t.GetArgumentRecord(0, 1), nullptr);
}

TEST(CompiledImage, SharingAfterAReadFindsTheRecordsOfTheImage) {
    const std::vector<u8> image = SmallScriptImage();
    classScriptTables t;
    ASSERT_TRUE(t.ReadImage(image.data(), image.size()));
    EXPECT_EQ(t.AddIntegerRecord(100), 0);
    EXPECT_EQ(t.AddLabelRecord("#a"), 2);
    EXPECT_EQ(t.AddStringRecord("Wait"), 4);
}

}  // namespace
