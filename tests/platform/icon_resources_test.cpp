// The icon resources built into the program from resources/icons.
#include "platform/icon_resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/png_decoder.h"

using namespace platform;

TEST(IconResources, NumbersFindTheirPngAndOthersFindNothing) {
    struct Case {
        const char* name;
        u32 number;
        bool found;
        int side;  // of scripts/make-icon.py's square icon
    };
    const Case cases[] = {
        {"the window's own icon", 101, true, 48},
        {"a number without a file", 100, false, 0},
        {"one past it", 102, false, 0},
        {"numbers are not masked here", 65536 + 101, false, 0},
    };
    for (const Case& c : cases) {
        const IconResource* icon = FindIconResource(c.number);
        ASSERT_EQ(icon != nullptr, c.found) << c.name;
        if (icon == nullptr) continue;
        EXPECT_EQ(icon->number, c.number) << c.name;
        int width = 0, height = 0;
        std::vector<u8> bgra;
        ASSERT_TRUE(DecodePngToBgra(icon->bytes, icon->size, 1024, width, height, bgra)) << c.name;
        EXPECT_EQ(width, c.side) << c.name;
        EXPECT_EQ(height, c.side) << c.name;
    }
}

TEST(IconResources, TheTableHoldsWholePngFilesInAscendingNumber) {
    const auto icons = BuiltInIcons();
    ASSERT_FALSE(icons.empty());
    for (std::size_t i = 0; i < icons.size(); ++i) {
        ASSERT_GE(icons[i].size, 8u) << icons[i].number;
        EXPECT_EQ(std::memcmp(icons[i].bytes, "\x89PNG\r\n\x1a\n", 8), 0) << icons[i].number;
        if (i > 0) {
            EXPECT_LT(icons[i - 1].number, icons[i].number);
        }
    }
}
