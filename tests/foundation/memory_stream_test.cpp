#include "foundation/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
classMemoryStream StreamOf(const char* text) {
    classMemoryStream s;
    s.Write(text, std::strlen(text));
    return s;
}
}  // namespace

TEST(MemoryStream, WriteGrowsAndAdvances) {
    classMemoryStream s;
    EXPECT_EQ(s.Write("abc", 3), 3u);
    EXPECT_EQ(s.Tell(), 3u);
    EXPECT_EQ(s.Size(), 3u);
    EXPECT_EQ(s.Write("x", 0), 0u);
    EXPECT_EQ(s.Size(), 3u);
}

TEST(MemoryStream, WriteInTheMiddleOverwritesAndGrowsOnlyByTheOverhang) {
    auto s = StreamOf("abcdef");
    s.Seek(4, 0);
    s.Write("XYZ", 3);
    ASSERT_EQ(s.Size(), 7u);
    EXPECT_EQ(std::memcmp(s.Data(), "abcdXYZ", 7), 0);
}

TEST(MemoryStream, ReadStopsAtTheEnd) {
    auto s = StreamOf("hello");
    s.Seek(3, 0);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "lo");
    EXPECT_EQ(s.Read(buf, 8), 0u);
    EXPECT_EQ(s.Tell(), 5u);
}

TEST(MemoryStream, SeekOrigins) {
    auto s = StreamOf("0123456789");
    EXPECT_EQ(s.Seek(0, 2), 10u);
    EXPECT_EQ(s.Seek(4, 0), 4u);
    EXPECT_EQ(s.Seek(static_cast<u64>(-3), 1), 1u);
    EXPECT_EQ(s.Seek(2, 1), 3u);
    EXPECT_EQ(s.Seek(static_cast<u64>(-4), 2), 6u);
    EXPECT_EQ(s.Seek(100, 0), 10u);  // past the end clamps
    EXPECT_EQ(s.Seek(static_cast<u64>(-20), 1), 10u);  // wraps, then clamps
    EXPECT_EQ(s.Seek(1, 7), 10u);  // unknown origin leaves it
}

TEST(MemoryStream, SeekPastEndThenWriteAppends) {
    auto s = StreamOf("ab");
    s.Seek(50, 0);
    s.Write("c", 1);
    ASSERT_EQ(s.Size(), 3u);
    EXPECT_EQ(std::memcmp(s.Data(), "abc", 3), 0);
}

TEST(MemoryStream, OpenEmptiesOrAppends) {
    auto s = StreamOf("abc");
    s.Open(nullptr, 0, true);
    EXPECT_EQ(s.Tell(), 3u);
    s.Write("d", 1);
    EXPECT_EQ(s.Size(), 4u);
    s.Open();
    EXPECT_EQ(s.Size(), 0u);
    EXPECT_EQ(s.Tell(), 0u);
}

TEST(MemoryStream, ClearKeepsPositionAndLaterWriteZeroFills) {
    auto s = StreamOf("abcd");
    s.Clear();
    EXPECT_EQ(s.Size(), 0u);
    EXPECT_EQ(s.Tell(), 4u);
    s.Write("z", 1);
    ASSERT_EQ(s.Size(), 5u);
    EXPECT_EQ(s.Data()[0], 0);
    EXPECT_EQ(s.Data()[4], 'z');
}

TEST(MemoryStream, LittleEndianValues) {
    classMemoryStream s;
    s.WriteValue<u32>(0x11223344u);
    s.WriteValue<int64>(-2);
    ASSERT_EQ(s.Size(), 12u);
    EXPECT_EQ(s.Data()[0], 0x44);
    EXPECT_EQ(s.Data()[3], 0x11);
    EXPECT_EQ(s.Data()[4], 0xFE);
    EXPECT_EQ(s.Data()[11], 0xFF);
    s.Seek(0, 0);
    u32 a = 0;
    int64 b = 0;
    ASSERT_TRUE(s.ReadValue(a));
    ASSERT_TRUE(s.ReadValue(b));
    EXPECT_EQ(a, 0x11223344u);
    EXPECT_EQ(b, -2);
    EXPECT_FALSE(s.ReadValue(a));
}
