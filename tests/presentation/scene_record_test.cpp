// Scene state records: the bytes of a written record, a record laid out by
// hand from the documented layout, and records that must not be trusted.
#include "presentation/scene_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "presentation/graphic_object.h"
#include "support/le_bytes.h"
#include "support/presentation/fake_scene_services.h"

using testbytes::LeBytes;

namespace {

u64 At64(const std::vector<u8>& b, size_t at) {
    u64 v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b.at(at + i);
    return v;
}
u32 At32(const std::vector<u8>& b, size_t at) {
    return static_cast<u32>(b.at(at)) | static_cast<u32>(b.at(at + 1)) << 8 | static_cast<u32>(b.at(at + 2)) << 16 |
           static_cast<u32>(b.at(at + 3)) << 24;
}
float AtF(const std::vector<u8>& b, size_t at) {
    u32 bits = At32(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
u32 Bits(float f) {
    u32 bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// A 152-byte header; the caller patches the offsets it needs.
LeBytes Header() {
    LeBytes b;
    b.Zeros(152);
    b.PatchU64(8, 152);
    return b;
}
// One slot record with No, remaining, Time, Loop and Position set, the rest
// as a reset slot would hold them.
void Slot(LeBytes& b, int64 no, int64 remaining, int64 time, int64 loop, float x, float y, float z) {
    b.U64(208).I64(no).I64(remaining).I64(time).I64(0).I64(0).I64(0);
    b.U32(Bits(1.0f)).U32(Bits(1.0f)).I64(loop).U8(0).Zeros(3);
    b.U32(Bits(x)).U32(Bits(y)).U32(Bits(z));                        // Position
    b.U32(Bits(1.0f)).U32(Bits(1.0f)).U32(Bits(1.0f));               // Scale
    b.U32(0).U32(0).U32(0);                                          // Roll, Transmittance, Rate
    b.Zeros(36);                                                     // the three centres
    b.U32(0).U32(0).U32(Bits(1.0f));                                 // RollAxis
    b.Zeros(48);                                                     // the four gains
}

class SceneRecordTest : public ::testing::Test {
  protected:
    void SetUp() override { root = classGraphicObject::New(); }
    void TearDown() override { classGraphicObject::Delete(root); }
    FakeSceneServices services;
    classGraphicObject* root = nullptr;
};

TEST_F(SceneRecordTest, ImageObjectWithTwoSlotsIsLaidOutFieldByField) {
    std::vector<int64> path{3};
    classGraphicObject* object = classGraphicObject::CreateAtPath(root, path);
    ASSERT_NE(object, nullptr);
    ASSERT_TRUE(object->SetFileTexture("bg.png"));
    object->FindSlot(0)->Position.x = 100.0f;
    classGraphicSlot* running = object->InsertSlot(7);
    running->Time = 1000;
    running->remaining = 400;
    running->Loop = 1;

    std::vector<u8> record;
    ASSERT_TRUE(SerializeState(object, record));
    // 152 header + 16 path + 1 text NUL + 7 name + 2 × 208 slots.
    ASSERT_EQ(record.size(), 592u);
    EXPECT_EQ(At64(record, 0), 592u);
    EXPECT_EQ(At64(record, 8), 152u);
    EXPECT_EQ(At64(record, 16), 176u);  // first slot record
    EXPECT_EQ(At32(record, 24), 152u);
    EXPECT_EQ(At32(record, 28), 16u);
    EXPECT_EQ(At64(record, 152), 0u);  // the root's own key first
    EXPECT_EQ(At64(record, 160), 3u);
    EXPECT_EQ(At32(record, 100), 168u);
    EXPECT_EQ(At32(record, 104), 1u);
    EXPECT_EQ(record[168], 0);
    EXPECT_EQ(At32(record, 108), 1u);  // an image file
    EXPECT_EQ(At32(record, 112), 169u);
    EXPECT_EQ(At32(record, 116), 7u);
    EXPECT_EQ(std::memcmp(record.data() + 169, "bg.png\0", 7), 0);
    EXPECT_EQ(At32(record, 136), 0u);  // no shaders
    EXPECT_EQ(At32(record, 144), 0u);
    // Slot 0, then slot 7.
    EXPECT_EQ(At64(record, 176), 208u);
    EXPECT_EQ(At64(record, 184), 0u);
    EXPECT_EQ(AtF(record, 176 + 76), 100.0f);
    EXPECT_EQ(AtF(record, 176 + 88), 1.0f);  // scale x of a reset slot
    EXPECT_EQ(At64(record, 384), 208u);
    EXPECT_EQ(At64(record, 392), 7u);
    EXPECT_EQ(At64(record, 384 + 16), 400u);
    EXPECT_EQ(At64(record, 384 + 24), 1000u);
    EXPECT_EQ(At64(record, 384 + 64), 1u);
}

TEST_F(SceneRecordTest, TreeSavesInPreOrderAndLoadsBackByteForByte) {
    std::vector<int64> a{3}, b{3, -1}, c{5};
    classGraphicObject* three = classGraphicObject::CreateAtPath(root, a);
    three->SetFileTexture("bg.png");
    three->InsertSlot(2)->remaining = 250;
    classGraphicObject* under = classGraphicObject::CreateAtPath(root, b);
    under->hidden = 1;
    under->Stencil = 9;
    under->textColour.Set(0x123456);
    under->SetPixelShader("sepia");
    classGraphicObject::CreateAtPath(root, c)->singleLine = 1;

    std::vector<u8> section;
    ASSERT_EQ(SaveTree(root, section), 1);
    // Root, 3, 3/-1, 5: four records, one after the other.
    u64 offset = 0;
    std::vector<u64> keyCounts;
    while (offset < section.size()) {
        keyCounts.push_back(At32(section, offset + 28) / 8);
        offset += At64(section, offset);
    }
    EXPECT_EQ(offset, section.size());
    EXPECT_EQ(keyCounts, (std::vector<u64>{1, 2, 3, 2}));

    classGraphicObject* other = classGraphicObject::New();
    ASSERT_TRUE(LoadGraphicTree(other, section.data(), section.size()));
    std::vector<u8> again;
    SaveTree(other, again);
    EXPECT_EQ(again, section);
    classGraphicObject* loaded = classGraphicObject::FindByPath(other, b);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->hidden, 1);
    EXPECT_TRUE(loaded->textColour.IsSet());
    EXPECT_EQ(loaded->textColour.Get(), 0x123456);
    EXPECT_NE(loaded->pixelShader, nullptr);
    classGraphicObject::Delete(other);
    // The loaded tree's references went with it: only the original's remain.
    EXPECT_EQ(services.TextureRefs(1, "bg.png", 0), 1);
}

TEST_F(SceneRecordTest, HandLaidRecordRebuildsMissingParentsAndSlots) {
    LeBytes r = Header();
    r.PatchU32(24, 152).PatchU32(28, 24);
    r.I64(0).I64(5).I64(2);  // path (root, 5, 2)
    r.PatchU32(100, 176).PatchU32(104, 1);
    r.Z();
    r.PatchU32(132, 177).PatchU32(136, 5);
    r.Text("warp").Z();
    r.PatchU64(16, r.Size());
    Slot(r, 4, 250, 500, 2, 1.0f, 2.0f, 3.0f);
    r.PatchU64(0, r.Size());
    std::vector<u8> bytes = r.Bytes();
    bytes[32] = 1;                            // hidden
    bytes[40] = 7;                            // Stencil 7
    bytes[64] = 0x44;                         // colourOverride 0x44 …
    bytes[64 + 8] = 1;                        // … and set
    bytes[80] = 0x33;                         // fontOverride value, not set

    ASSERT_TRUE(LoadGraphicTree(root, bytes.data(), bytes.size()));
    std::vector<int64> path{5, 2};
    classGraphicObject* object = classGraphicObject::FindByPath(root, path);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->hidden, 1);
    EXPECT_EQ(object->Stencil, 7);
    EXPECT_TRUE(object->colourOverride.IsSet());
    EXPECT_EQ(object->colourOverride.Get(), 0x44);
    EXPECT_FALSE(object->fontOverride.IsSet());
    EXPECT_FALSE(object->textColour.IsSet());
    EXPECT_EQ(object->texture, nullptr);
    EXPECT_NE(object->vertexShader, nullptr);
    EXPECT_EQ(object->pixelShader, nullptr);
    ASSERT_EQ(object->slots.size(), 2u);  // the fresh slot 0 and slot 4
    const classGraphicSlot& slot = object->slots.at(4);
    EXPECT_EQ(slot.remaining, 250);
    EXPECT_EQ(slot.Time, 500);
    EXPECT_EQ(slot.Loop, 2);
    EXPECT_EQ(slot.Position.y, 2.0f);
    EXPECT_EQ(slot.Scale.z, 1.0f);
}

TEST_F(SceneRecordTest, RootRecordAndBrokenRecordsRestoreNothing) {
    std::vector<u8> section;
    SaveTree(root, section);  // just the root's own record
    ASSERT_TRUE(LoadGraphicTree(root, section.data(), section.size()));
    EXPECT_TRUE(root->children.empty());

    // A path reaching past the record.
    LeBytes outside = Header();
    outside.PatchU32(24, 152).PatchU32(28, 4000).I64(0).I64(9);
    outside.PatchU64(16, outside.Size()).PatchU64(0, outside.Size());
    LoadGraphicTree(root, outside.Bytes().data(), outside.Size());
    EXPECT_TRUE(root->children.empty());

    // A record shorter than its header.
    LeBytes tiny;
    tiny.U64(40).Zeros(32);
    LoadGraphicTree(root, tiny.Bytes().data(), tiny.Size());
    EXPECT_TRUE(root->children.empty());

    EXPECT_FALSE(LoadGraphicTree(nullptr, section.data(), section.size()));
}

TEST_F(SceneRecordTest, ReadingStopsAtAZeroSizeOrARecordPastTheSection) {
    auto record = [](int64 key) {
        LeBytes r = Header();
        r.PatchU32(24, 152).PatchU32(28, 16).I64(0).I64(key);
        r.PatchU64(16, r.Size()).PatchU64(0, r.Size());
        return r.Bytes();
    };
    LeBytes section;
    section.Append(record(1)).U64(0).Append(record(2));
    LoadGraphicTree(root, section.Bytes().data(), section.Size());
    EXPECT_EQ(root->children.size(), 1u);  // 2 is after the zero

    std::vector<u8> cut = record(3);
    std::vector<u8> whole = record(4);
    cut.insert(cut.end(), whole.begin(), whole.end() - 1);  // the last byte is missing
    LoadGraphicTree(root, cut.data(), cut.size());
    EXPECT_NE(root->children.find(3), root->children.end());
    EXPECT_EQ(root->children.find(4), root->children.end());
}

TEST_F(SceneRecordTest, SlotRecordsOverwriteWholeAndStopAtABadSize) {
    LeBytes r = Header();
    r.PatchU32(24, 152).PatchU32(28, 16).I64(0).I64(6);
    r.PatchU64(16, r.Size());
    Slot(r, 0, 0, 0, 0, 50.0f, 0, 0);  // replaces the fresh slot 0
    Slot(r, 1, 10, 20, 0, 0, 0, 0);
    r.U64(100).Zeros(100);  // shorter than a slot record: ends the run
    Slot(r, 2, 0, 0, 0, 0, 0, 0);
    r.PatchU64(0, r.Size());
    LoadGraphicTree(root, r.Bytes().data(), r.Size());
    std::vector<int64> path{6};
    classGraphicObject* object = classGraphicObject::FindByPath(root, path);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->slots.size(), 2u);
    EXPECT_EQ(object->slots.at(0).Position.x, 50.0f);
    EXPECT_EQ(object->slots.at(1).Time, 20);
}

}  // namespace
