// Pictures read ahead of their draws: only a few are on their way at once,
// a picture taken or dropped makes room for the next, and what is taken is
// the file as a draw reads it.
#include "presentation/picture_file.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "foundation/worker_threads.h"
#include "support/bmp_file.h"
#include "support/png_writer.h"
#include "support/temp_folder.h"

TEST(PictureAhead, OnlyAFewAreOnTheirWayAndEachTakenOrDroppedMakesRoom) {
    testfiles::TempFolder folder;
    folder.Put("a.bmp", testbytes::Bmp24(2, 3, [](int, int) { return std::array<u8, 3>{1, 2, 3}; }));
    const std::string name = folder / "a.bmp";
    std::vector<std::unique_ptr<classPictureAhead>> ahead;
    for (int i = 0; i < kMostPicturesAhead; ++i) {
        ahead.push_back(std::make_unique<classPictureAhead>());
        EXPECT_TRUE(ahead.back()->Start(name)) << i;
    }
    classPictureAhead extra;
    EXPECT_FALSE(extra.Start(name)) << "one more is left to its draw";
    EXPECT_FALSE(ahead[0]->Start(name)) << "one picture at a time each";

    classPictureFile file;
    ASSERT_TRUE(ahead[0]->Take(file));
    EXPECT_TRUE(file.read);
    EXPECT_TRUE(file.decoded);
    EXPECT_EQ(file.image.width, 2);
    EXPECT_EQ(file.image.height, 3);
    EXPECT_FALSE(ahead[0]->Take(file)) << "taken once";
    EXPECT_TRUE(extra.Start(name)) << "a picture taken makes room";

    ahead.pop_back();  // dropped before its draw
    classPictureAhead another;
    EXPECT_TRUE(another.Start(name)) << "so does one dropped";
    classPictureAhead moved = std::move(another);
    classPictureAhead last;
    EXPECT_FALSE(last.Start(name)) << "a picture moved on still counts once";
    ASSERT_TRUE(moved.Take(file));
    EXPECT_TRUE(last.Start(name));
}

// Whether a picture is opaque throughout is looked at where it is decoded,
// so the draw that takes it need not read its texels again; one texel short
// of opaque anywhere is enough to blend it.
TEST(PictureAhead, APictureReadAheadSaysWhetherEveryTexelIsOpaque) {
    testfiles::TempFolder folder;
    std::vector<u8> rgba(3 * 2 * 4, 255);
    folder.Put("opaque.png", testpng::EncodePng(rgba, 3, 2, testpng::Layout::Rgba));
    rgba[(1 * 3 + 2) * 4 + 3] = 254;  // the last texel
    folder.Put("last.png", testpng::EncodePng(rgba, 3, 2, testpng::Layout::Rgba));
    folder.Put("bmp.bmp", testbytes::SolidBmp(3, 2, 10, 20, 30));
    folder.Put("broken.png", std::vector<u8>{0x89, 'P', 'N', 'G'});
    // Formats without alpha, and one whose palette makes a colour see-through.
    folder.Put("grey.png", testpng::EncodePng(std::vector<u8>(6, 90), 3, 2, testpng::Layout::Grey));
    const std::vector<u8> indices = {0, 1, 0, 1, 0, 0};
    folder.Put("palette.png", testpng::EncodePng(indices, 3, 2, testpng::Layout::Palette,
                                                 {1, 2, 3, 255, 4, 5, 6, 255}));
    folder.Put("clear-entry.png", testpng::EncodePng(indices, 3, 2, testpng::Layout::Palette,
                                                     {1, 2, 3, 255, 4, 5, 6, 0}));
    const struct {
        const char* name;
        bool opaque;
    } cases[] = {{"opaque.png", true},  {"last.png", false},   {"bmp.bmp", true},         {"broken.png", false},
                 {"grey.png", true},    {"palette.png", true}, {"clear-entry.png", false}};
    for (const auto& c : cases) {
        classPictureAhead ahead;
        ASSERT_TRUE(ahead.Start(folder / c.name)) << c.name;
        classPictureFile file;
        ASSERT_TRUE(ahead.Take(file)) << c.name;
        EXPECT_EQ(file.opaque, c.opaque) << c.name;
        EXPECT_EQ(ReadPictureFile(folder / c.name).opaque, c.opaque) << c.name << " read by its draw";
    }
}

// A frame held back for a picture is woken once the picture can be taken,
// never before; a picture nobody waits for wakes nobody.
TEST(PictureAhead, AFrameHeldForAPictureIsWokenOnceItsSizeIsKnownAndOnceItIsDecoded) {
    testfiles::TempFolder folder;
    folder.Put("a.bmp", testbytes::SolidBmp(64, 64, 10, 20, 30));
    using Clock = std::chrono::steady_clock;
    for (const bool held : {false, true}) {
        bool nudged = false;
        g_renderThread.SleepUntil(Clock::now(), &nudged);  // whatever came before
        classPictureAhead ahead;
        if (held) WakeTheFrameWhenDecoded();
        ASSERT_TRUE(ahead.Start(folder / "a.bmp"));
        g_renderThread.SleepUntil(Clock::now() + (held ? std::chrono::seconds(20) : std::chrono::milliseconds(200)),
                                  &nudged);
        EXPECT_EQ(nudged, held);
        int32 width = 0, height = 0;
        if (held) {
            EXPECT_TRUE(ahead.SizeKnown(&width, &height)) << "woken once its size is known";
            // The woken frame, still held, asks again before it looks.
            WakeTheFrameWhenDecoded();
            nudged = !ahead.StillDecoding();
            if (!nudged) g_renderThread.SleepUntil(Clock::now() + std::chrono::seconds(20), &nudged);
            EXPECT_TRUE(nudged);
            EXPECT_FALSE(ahead.StillDecoding()) << "woken again for a picture that is there";
        }
        ASSERT_TRUE(ahead.SizeKnown(&width, &height));
        EXPECT_EQ(width, 64);
        EXPECT_EQ(height, 64);
        classPictureFile file;
        ASSERT_TRUE(ahead.Take(file));
        EXPECT_FALSE(ahead.StillDecoding()) << "taken";
    }
}
