// The FFmpeg movie player on movies encoded at test time: the cued first
// picture in each container, pictures handed over at the movie clock's pace
// (a clock driven by hand), the end of the stream, the sound in the mixer at
// the movie volume, and damaged files.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/movie.h"
#include "support/movie_encoder.h"

namespace {

std::atomic<int64> g_clockUs{0};
int64 HandClock() {
    return g_clockUs.load();
}

struct Opened {
    std::vector<u8> bytes;
    platform::AudioMixer mixer;
    std::unique_ptr<platform::MoviePlayer> player;
    std::atomic<int> ends{0};
};

std::unique_ptr<Opened> Open(std::vector<u8> bytes, int32 volume = 0) {
    auto opened = std::make_unique<Opened>();
    opened->bytes = std::move(bytes);
    platform::MovieOptions options;
    options.mixer = &opened->mixer;
    options.volume = volume;
    options.clock = &HandClock;
    Opened* raw = opened.get();
    options.onEnd = [raw] { ++raw->ends; };
    opened->player =
        platform::OpenMovie(platform::MemoryMovieSource(opened->bytes.data(), opened->bytes.size()), options);
    return opened;
}

// The sound output's part: 10 ms of the mixer pulled, as a device would.
void Pull(Opened& opened) {
    std::vector<int16> out(441 * 2);
    opened.mixer.Render(out.data(), 441);
}

// Waits (bounded) for a condition the decoder thread brings about.
template <typename F>
bool Eventually(F condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

struct Picture {
    u32 left = 0, right = 0, band = 0, bottomLeft = 0;
    u8 alpha = 0;
    u64 serial = 0;
};

u32 Rgb(const u8* p) {
    return (static_cast<u32>(p[2]) << 16) | (static_cast<u32>(p[1]) << 8) | p[0];
}

bool Near(u32 a, u32 b) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 24)
            return false;
    }
    return true;
}

Picture Take(platform::MoviePlayer& player) {
    Picture picture;
    const int32 w = player.Width(), h = player.Height();
    u64 serial = 0;
    player.TakePicture(&serial, [&](const u8* bgra, size_t pitch) {
        const size_t middle = static_cast<size_t>(h / 2) * pitch;
        picture.left = Rgb(bgra + middle + static_cast<size_t>(w / 4) * 4);
        picture.right = Rgb(bgra + middle + static_cast<size_t>(3 * w / 4) * 4);
        picture.band = Rgb(bgra + 4 * pitch + static_cast<size_t>(w / 4) * 4);
        picture.bottomLeft = Rgb(bgra + static_cast<size_t>(h - 4) * pitch + static_cast<size_t>(w / 4) * 4);
        picture.alpha = bgra[middle + 3];
    });
    picture.serial = serial;
    return picture;
}

bool Shows(platform::MoviePlayer& player, int frame) {
    const Picture p = Take(player);
    return Near(p.left, testmovie::LeftColour(frame)) && Near(p.right, testmovie::RightColour(frame));
}

}  // namespace

TEST(MoviePlayer, OpensCuedOnItsFirstPictureInEachContainer) {
    struct Case {
        const char* name;
        testmovie::MovieSpec spec;
    };
    const Case cases[] = {
        {"MPEG-1 program stream with MP2", {"mpeg", "mpeg1video", "mp2", 320, 240, 25, 10}},
        {"AVI with MPEG-4 and PCM", {"avi", "mpeg4", "pcm_s16le", 336, 208, 25, 10}},
        {"ASF with WMV2 and WMA2", {"asf", "wmv2", "wmav2", 320, 240, 25, 10}},
    };
    for (const Case& c : cases) {
        g_clockUs = 0;
        auto opened = Open(testmovie::EncodeMovie(c.spec));
        ASSERT_NE(opened->player, nullptr) << c.name;
        platform::MoviePlayer& player = *opened->player;
        EXPECT_EQ(player.Width(), c.spec.width) << c.name;
        EXPECT_EQ(player.Height(), c.spec.height) << c.name;
        ASSERT_TRUE(Eventually([&] { return player.IsCued(); })) << c.name;
        const Picture first = Take(player);
        EXPECT_NE(first.serial, 0u) << c.name;
        EXPECT_TRUE(Near(first.left, testmovie::LeftColour(0))) << c.name << std::hex << " " << first.left;
        EXPECT_TRUE(Near(first.right, testmovie::RightColour(0))) << c.name << std::hex << " " << first.right;
        // Upright: the grey band is at the top row, the picture at the bottom.
        EXPECT_TRUE(Near(first.band, testmovie::kBandColour)) << c.name << std::hex << " " << first.band;
        EXPECT_TRUE(Near(first.bottomLeft, testmovie::LeftColour(0))) << c.name;
        EXPECT_EQ(first.alpha, 255) << c.name;
        // Cued, not running: the clock standing still shows nothing newer.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        u64 serial = first.serial;
        EXPECT_FALSE(player.TakePicture(&serial, [](const u8*, size_t) {})) << c.name;
        int64 current = -1, stop = -1;
        player.GetPositions(&current, &stop);
        EXPECT_EQ(current, 0) << c.name;
        EXPECT_GT(stop, 0) << c.name;
    }
}

TEST(MoviePlayer, HandsOverThePictureDueAtTheClockDroppingLateOnes) {
    // 25 pictures a second: picture n is due from n × 40 ms.
    testmovie::MovieSpec spec{"mpeg", "mpeg1video", "", 320, 240, 25, 50};
    g_clockUs = 0;
    auto opened = Open(testmovie::EncodeMovie(spec));
    ASSERT_NE(opened->player, nullptr);
    platform::MoviePlayer& player = *opened->player;
    ASSERT_TRUE(Eventually([&] { return player.IsCued(); }));
    player.Run();
    struct Case {
        int64 clockMs;
        int frame;
        u64 mostNewPictures;  // pictures handed over on the way there
    };
    const Case cases[] = {
        {0, 0, 1},     {81, 2, 2},  // 80 ms: the third picture; not yet the fourth
        {119, 2, 0},                // 120 ms is the fourth's
        {1000, 25, 1},              // a jump: the pictures in between are skipped
        {1999, 49, 1},
    };
    u64 lastSerial = Take(player).serial;
    for (const Case& c : cases) {
        g_clockUs = c.clockMs * 1000;
        EXPECT_TRUE(Eventually([&] { return Shows(player, c.frame); })) << c.clockMs << " ms";
        // Never ahead of the clock, however long it stands.
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        EXPECT_TRUE(Shows(player, c.frame)) << c.clockMs << " ms";
        const u64 serial = Take(player).serial;
        EXPECT_LE(serial - lastSerial, c.mostNewPictures) << c.clockMs << " ms";
        lastSerial = serial;
    }
}

TEST(MoviePlayer, EndsOnItsLastPictureWithTheCurrentPositionAtTheStop) {
    struct Case {
        const char* name;
        testmovie::MovieSpec spec;
        int64 endUs;  // 10 pictures of 40 ms; PCM sound ends with them
    };
    const Case cases[] = {
        {"pictures only", {"mpeg", "mpeg1video", "", 320, 240, 25, 10}, 400000},
        {"with PCM sound", {"avi", "mpeg4", "pcm_s16le", 320, 240, 25, 10}, 400000},
    };
    for (const Case& c : cases) {
        g_clockUs = 0;
        auto opened = Open(testmovie::EncodeMovie(c.spec));
        ASSERT_NE(opened->player, nullptr) << c.name;
        platform::MoviePlayer& player = *opened->player;
        ASSERT_TRUE(Eventually([&] { return player.IsCued(); })) << c.name;
        player.Run();
        g_clockUs = c.endUs - 10000;
        int64 current = 0, stop = 0;
        // The end is known once the sound has gone out too.
        ASSERT_TRUE(Eventually([&] {
            Pull(*opened);
            player.GetPositions(&current, &stop);
            return stop == c.endUs;
        })) << c.name
            << " stop " << stop;
        EXPECT_NE(current, stop) << c.name;
        g_clockUs = c.endUs;
        EXPECT_TRUE(Eventually([&] {
            Pull(*opened);
            player.GetPositions(&current, &stop);
            return current == stop;
        })) << c.name;
        EXPECT_EQ(stop, c.endUs) << c.name;
        EXPECT_TRUE(Eventually([&] { return opened->ends.load() == 1; })) << c.name;
        // The last picture stays, and a Run at the end changes nothing.
        g_clockUs = c.endUs + 5000000;
        player.Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        player.GetPositions(&current, &stop);
        EXPECT_EQ(current, c.endUs) << c.name;
        EXPECT_EQ(stop, c.endUs) << c.name;
        EXPECT_TRUE(Shows(player, 9)) << c.name;
    }
}

TEST(MoviePlayer, SoundReachesTheMixerInStepAndAtTheMovieVolume) {
    struct Case {
        const char* name;
        testmovie::MovieSpec spec;
        double rmsTolerance;
        bool sameChannels;  // lossless: both channels carry the same samples
    };
    const Case cases[] = {
        {"PCM in AVI", {"avi", "mpeg4", "pcm_s16le", 320, 240, 25, 25, 440.0, 0.5}, 0.02, true},
        {"MP2 in MPEG", {"mpeg", "mpeg1video", "mp2", 320, 240, 25, 25, 440.0, 0.5}, 0.10, false},
    };
    for (const Case& c : cases) {
        g_clockUs = 0;
        auto opened = Open(testmovie::EncodeMovie(c.spec), -1000);
        ASSERT_NE(opened->player, nullptr) << c.name;
        platform::MoviePlayer& player = *opened->player;
        ASSERT_TRUE(Eventually([&] { return player.IsCued(); })) << c.name;
        std::vector<int16> out(8820 * 2);
        // Paused: the voice is silent.
        opened->mixer.Render(out.data(), 4410);
        for (size_t i = 0; i < 4410 * 2; ++i) ASSERT_EQ(out[i], 0) << c.name << " sample " << i;
        player.Run();
        // 200 ms from 50 ms on, as the output would pull them.
        opened->mixer.Render(out.data(), 2205);
        opened->mixer.Render(out.data(), 8820);
        double sum = 0;
        int crossings = 0;
        for (size_t i = 0; i < 8820; ++i) {
            const double left = out[i * 2];
            sum += left * left;
            if (i > 0 && (out[i * 2 - 2] < 0) != (out[i * 2] < 0)) ++crossings;
            if (c.sameChannels) {
                ASSERT_EQ(out[i * 2], out[i * 2 + 1]) << c.name << " frame " << i;
            }
        }
        // A sine at half of full scale, 10 dB down: 0.5 · 32767 · 10^(−0.5) / √2.
        const double expected = 0.5 * 32767 * std::pow(10.0, -0.5) / std::sqrt(2.0);
        EXPECT_NEAR(std::sqrt(sum / 8820), expected, expected * c.rmsTolerance) << c.name;
        // 440 Hz for 0.2 s crosses zero 176 times.
        EXPECT_NEAR(crossings, 176, 3) << c.name;
    }
}

TEST(MoviePlayer, DamagedFilesFailToOpenOrEndWithoutHanging) {
    const std::vector<u8> good = testmovie::EncodeMovie({"avi", "mpeg4", "pcm_s16le", 320, 240, 25, 25});
    ASSERT_FALSE(good.empty());
    std::vector<u8> noise(64 * 1024);
    u32 x = 12345;
    for (u8& b : noise) {
        x = x * 1103515245 + 12345;
        b = static_cast<u8>(x >> 16);
    }
    std::vector<u8> halved(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    std::vector<u8> scrambled = good;
    for (size_t i = scrambled.size() / 3; i < scrambled.size(); i += 7) scrambled[i] ^= 0x5A;
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool opens;
    };
    const Case cases[] = {
        {"empty", {}, false},
        {"noise", noise, false},
        {"header only", std::vector<u8>(good.begin(), good.begin() + 64), false},
        {"cut in half", halved, true},
        {"scrambled after its header", scrambled, true},
    };
    for (const Case& c : cases) {
        g_clockUs = 0;
        auto opened = Open(c.bytes);
        EXPECT_EQ(opened->player != nullptr, c.opens) << c.name;
        if (opened->player == nullptr) continue;
        platform::MoviePlayer& player = *opened->player;
        ASSERT_TRUE(Eventually([&] { return player.IsCued(); })) << c.name;
        player.Run();
        g_clockUs = 60000000;
        int64 current = 0, stop = 0;
        EXPECT_TRUE(Eventually([&] {
            Pull(*opened);
            player.GetPositions(&current, &stop);
            return current == stop;
        })) << c.name;
        EXPECT_LE(stop, 1000000) << c.name;  // never longer than the whole movie
    }
}

TEST(MoviePlayer, WithSoundThePicturesKeepToTheSoundPlayed) {
    // The clock runs far ahead, but the output has played only half a second:
    // the movie stands where its sound is (within 60 ms), its sound not skipped.
    testmovie::MovieSpec spec{"avi", "mpeg4", "pcm_s16le", 320, 240, 25, 50};
    g_clockUs = 0;
    auto opened = Open(testmovie::EncodeMovie(spec));
    ASSERT_NE(opened->player, nullptr);
    platform::MoviePlayer& player = *opened->player;
    ASSERT_TRUE(Eventually([&] { return player.IsCued(); }));
    player.Run();
    g_clockUs = 1900000;
    for (int i = 0; i < 50; ++i) {
        Pull(*opened);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int64 current = 0, stop = 0;
    player.GetPositions(&current, &stop);
    EXPECT_GE(current, 440000);
    EXPECT_LE(current, 560000);
    // Pictures 11 to 14 are due from 440 to 560 ms.
    bool inStep = false;
    for (int frame = 11; frame <= 14; ++frame) inStep = inStep || Shows(player, frame);
    EXPECT_TRUE(inStep) << std::hex << Take(player).left << " " << Take(player).right;
}

TEST(MovieScan, DecodesUpToTheAskedPicturesWithTheirSound) {
    // 10 pictures of 40 ms with PCM sound at 44100 Hz for as long.
    const std::vector<u8> movie = testmovie::EncodeMovie({"avi", "mpeg4", "pcm_s16le", 336, 208, 25, 10});
    const std::vector<u8> noise(4096, 0x5A);
    struct Case {
        const char* name;
        const std::vector<u8>& bytes;
        int64 maxPictures;
        bool opened;
        int64 pictures, lastPictureUs;
    };
    const Case cases[] = {
        {"every picture", movie, 100, true, 10, 360000},
        {"the first three", movie, 3, true, 3, 80000},
        {"noise", noise, 100, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::MovieScan scan;
        scan.pictures = -1;
        auto source = platform::MemoryMovieSource(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(platform::ScanMovie(*source, c.maxPictures, &scan), c.opened);
        EXPECT_EQ(scan.opened, c.opened);
        EXPECT_EQ(scan.pictures, c.pictures);
        EXPECT_EQ(scan.lastPictureUs, c.lastPictureUs);
        if (!c.opened) continue;
        EXPECT_EQ(scan.width, 336);
        EXPECT_EQ(scan.height, 208);
        // The sound decoded alongside: some, never more than the whole 0.4 s.
        EXPECT_GT(scan.soundFrames, 0);
        EXPECT_LE(scan.soundFrames, 17640 + 4096);
    }
}
