#include "foundation/optional_value.h"

#include <gtest/gtest.h>

TEST(OptionalValue, StartsUnsetWithEmptyValue) {
    classOptionalValue<int64> number;
    classOptionalValue<std::string> text;
    classOptionalValue<D3DXVECTOR3> vector;
    EXPECT_FALSE(number.IsSet());
    EXPECT_FALSE(text.IsSet());
    EXPECT_EQ(text.Get(), "");
    EXPECT_FALSE(vector.IsSet());
    EXPECT_EQ(vector.Get(), (D3DXVECTOR3{0, 0, 0}));
}

TEST(OptionalValue, SetAndGetStoresAndMarks) {
    classOptionalValue<double> volume;
    EXPECT_DOUBLE_EQ(volume.SetAndGet(0.25), 0.25);
    EXPECT_TRUE(volume.IsSet());
    volume.Reset();
    EXPECT_FALSE(volume.IsSet());
    // Reset keeps the bytes; only the is-set byte changes.
    EXPECT_DOUBLE_EQ(volume.Get(), 0.25);
}

TEST(OptionalValue, AssignFromUnsetCopiesBytesButStaysUnset) {
    classOptionalValue<std::string> source;
    source.Set("bgm01.ogg");
    source.Reset();
    classOptionalValue<std::string> target;
    target.Set("other");
    EXPECT_EQ(target.AssignAndGet(source), "bgm01.ogg");
    EXPECT_FALSE(target.IsSet());
    classOptionalValue<std::string> given;
    given.Set("x");
    EXPECT_EQ(target.AssignAndGet(given), "x");
    EXPECT_TRUE(target.IsSet());
}
