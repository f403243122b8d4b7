// A line of dialogue on a real GL context (SDL's offscreen driver), from the
// script line to the drawn back buffer: the script is compiled and run, its
// text and page records are committed by "Apply", and each frame is the
// application's own (records run, scenes advance with the clock, the scene
// is drawn) and its picture is read from the back buffer just before it is
// presented. The clock is driven by hand, so each character's turn is known.
//
// The line is "@r(漢字,かんじ)は@c(0xFF0000)赤い@c(0xFFFFFF)字。" in the
// fixed-pitch gothic at 30 pixels on a 640 × 200 text box at the centre of
// the screen. Every full-width character is drawn 30 wide; character i of
// the line stands at x = −320 + 15 + 29.5 i from the box's centre, and at
// y = (100 − 20) + ⌊h⌋ / 2 (whole numbers), h being its drawn height (the font's line box,
// worked out below from the face's own metrics). The ruby (three kana at
// half size) is centred over its base: x = −305.5 + 15 k, y = 102 + ⌊h⌋ / 2.
// Screen pixel of scene point (x, y): (640 + x, 360 − y).
//
// With the application's 100 ms per character and DrawSpeed 0.5, character i
// starts to fade in at 50 i ms and is whole 300 ms later; the ruby starts
// with the end of its base, at 100 ms.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "foundation/application.h"
#include "platform/clock.h"
#include "platform/font.h"
#include "presentation/command_queue.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_draw.h"
#include "presentation/scene_subsystem.h"
#include "presentation/shader_registry.h"
#include "presentation/shared_resource.h"
#include "presentation/shared_texture_services.h"
#include "presentation/text_realise.h"
#include "support/executor/script_runner.h"
#include "support/le_bytes.h"
#include "support/temp_folder.h"

namespace {

const char kGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";  // ＭＳ ゴシック

// "@r(漢字,かんじ)は@c(0xFF0000)赤い@c(0xFFFFFF)字。"
const char kLine[] =
    "@r(\xE6\xBC\xA2\xE5\xAD\x97,\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98)\xE3\x81\xAF@c(0xFF0000)"
    "\xE8\xB5\xA4\xE3\x81\x84@c(0xFFFFFF)\xE5\xAD\x97\xE3\x80\x82";
constexpr int kBaseCount = 7;  // 漢 字 は 赤 い 字 。
constexpr int kRubyCount = 3;  // か ん じ
constexpr bool kRed[kBaseCount] = {false, false, false, true, true, false, false};

std::atomic<u32> g_now{1000};
u32 Now() {
    return g_now.load();
}

// A 24-bit BMP, every pixel black.
std::vector<u8> BlackBmp(int width, int height) {
    const u32 row = static_cast<u32>((width * 3 + 3) & ~3);
    testbytes::LeBytes bytes;
    bytes.U8('B').U8('M').U32(54 + row * static_cast<u32>(height)).U32(0).U32(54);
    bytes.U32(40).U32(static_cast<u32>(width)).U32(static_cast<u32>(height)).U16(1).U16(24).U32(0);
    bytes.U32(row * static_cast<u32>(height)).U32(2835).U32(2835).U32(0).U32(0);
    for (u32 i = 0; i < row * static_cast<u32>(height); ++i) bytes.U8(0);
    return bytes.Bytes();
}

// A rectangle of screen pixels, inclusive of left/top, exclusive of right/bottom.
struct Cell {
    int left, top, right, bottom;
    bool Contains(int x, int y, int margin) const {
        return x >= left - margin && x < right + margin && y >= top - margin && y < bottom + margin;
    }
};

// The screen cell of a character of drawn size w × h centred on scene (x, y).
Cell CellAt(double x, double y, double w, double h) {
    const double cx = 640.0 + x, cy = 360.0 - y;
    return Cell{static_cast<int>(cx - w / 2), static_cast<int>(cy - h / 2), static_cast<int>(cx + w / 2 + 0.999),
                static_cast<int>(cy + h / 2 + 0.999)};
}

// The device holder as the application's frame sees it, keeping a copy of
// every picture that reaches the window: the back buffer is read after the
// scene is drawn and before it is presented (a presented buffer may be
// swapped away), and kept only when the frame was presented. A frame in
// which nothing changed is not drawn, and the last picture stays.
class CapturingFrameDevice final : public FrameDevice {
  public:
    explicit CapturingFrameDevice(std::unique_ptr<classGraphicDevice> holder) : holder_(std::move(holder)) {}
    bool Start() override { return holder_->Start(); }
    void Stop() override { holder_->Stop(); }
    bool IsReady() override { return holder_->IsReady(); }
    bool BeginFrame() override { return holder_->BeginFrame(); }
    bool EndFrame() override {
        std::vector<u8> picture(1280u * 720u * 4u, 0xEE);
        platform::GpuDevice* gpu = holder_->GetDevice();
        const bool read = gpu != nullptr && gpu->ReadPixelsBGRA(platform::kBackBufferTarget, picture.data(), 1280 * 4);
        const bool presented = holder_->EndFrame();
        if (presented && read) shown.swap(picture);
        return presented;
    }
    void RequestFullScreen(bool fullScreen) override { holder_->RequestFullScreen(fullScreen); }
    bool IsFullScreen() const override { return holder_->IsFullScreen(); }
    bool IsFullScreenRequested() const override { return holder_->IsFullScreenRequested(); }
    void ArmResetDeadline(u32 milliseconds) override { holder_->ArmResetDeadline(milliseconds); }
    bool TakeModeSwitchRequest() override { return holder_->TakeModeSwitchRequest(); }
    bool TakeRestorePlacementRequest() override { return holder_->TakeRestorePlacementRequest(); }

    classGraphicDevice& Holder() { return *holder_; }
    std::vector<u8> shown;  // BGRA, top row first; empty until a frame is presented

  private:
    std::unique_ptr<classGraphicDevice> holder_;
};

class TextOnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::ifstream("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf").good()) {
            GTEST_SKIP() << "fonts-ipafont-gothic is not installed";
        }
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        platform::SetClockSource(&Now);
        RegisterSceneSubsystem();
        RegisterCommandQueueSubsystem();
        RegisterGraphicDeviceSubsystem();
        RegisterShaderSubsystem();
        RegisterSharedResourceSubsystem();
        RegisterTextRealisation();
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        window = platform::CreateSdlWindow();
        if (!window->Create("text test", 1280, 720)) GTEST_SKIP() << "no video driver";
        auto holder = std::make_unique<classGraphicDevice>();
        holder->Setup(
            platform::CreateGlDevice(window->CreateRenderSurface(1280, 720)),
            [] { return platform::ClientSize{1280, 720}; }, 1280, 720, 0);
        if (!holder->Start()) GTEST_SKIP() << "no GL 3.3 core context on this machine";
        SetGraphicDevice(holder.get());
        device = new CapturingFrameDevice(std::move(holder));
        app->graphicDevice = device;
        g_glyphSets.Clear();
        DefineFont(0, kGothic, 30, 0);
        DefineFont(9, kGothic, 30, 0);
        folder.Put("box.bmp", BlackBmp(640, 200));
        testexec::InstallLoader();
        // The device is made at the first frame, which therefore shows nothing.
        Frame(g_now.load());
    }
    void TearDown() override {
        testexec::ClearSources();
        if (app != nullptr) {
            GetMainQueue()->DiscardAll();
            if (app->mainScene != nullptr) app->mainScene->children.clear();
            g_glyphSets.Clear();
            g_sharedResources.Clear();
            if (device != nullptr) device->Stop();
            SetGraphicDevice(nullptr);
            ShutdownApplication();
        }
        window.reset();
        platform::ShutdownVideo();
        platform::SetClockSource(nullptr);
    }

    void Frame(u32 now) {
        g_now.store(now);
        app->RenderFrame();
    }
    // Runs a script while frames go on, as the render thread would keep them
    // going ("PageFeed" waits for one); the clock stands still meanwhile.
    void RunScript(const std::string& source) {
        testexec::AddSource("line.qvs", source);
        auto done = std::async(std::launch::async, [] {
            testexec::ScriptRun run;
            run.Run("line.qvs");
        });
        while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) Frame(g_now.load());
        done.get();
        // The script's last commit runs at the next frame.
        Frame(g_now.load());
    }
    void ReadScreen() {
        ASSERT_EQ(device->shown.size(), 1280u * 720u * 4u) << "a frame was presented";
        screen = device->shown;
    }
    std::array<int, 3> Rgb(int x, int y) const {
        const size_t at = (static_cast<size_t>(y) * 1280 + static_cast<size_t>(x)) * 4;
        return {screen[at + 2], screen[at + 1], screen[at]};
    }
    static bool Lit(const std::array<int, 3>& rgb) { return std::max({rgb[0], rgb[1], rgb[2]}) > 24; }

    struct Ink {
        int lit = 0;
        int brightest = 0;
        bool greyOnly = true;  // every lit pixel has R = G = B (within GL's rounding)
        bool redOnly = true;   // every lit pixel has G = B = 0
    };
    Ink InkIn(const Cell& cell) const {
        Ink ink;
        for (int y = std::max(cell.top, 0); y < std::min(cell.bottom, 720); ++y) {
            for (int x = std::max(cell.left, 0); x < std::min(cell.right, 1280); ++x) {
                const auto rgb = Rgb(x, y);
                if (!Lit(rgb)) continue;
                ++ink.lit;
                ink.brightest = std::max({ink.brightest, rgb[0], rgb[1], rgb[2]});
                if (std::abs(rgb[0] - rgb[1]) > 2 || std::abs(rgb[1] - rgb[2]) > 2) ink.greyOnly = false;
                if (rgb[1] > 2 || rgb[2] > 2) ink.redOnly = false;
            }
        }
        return ink;
    }
    // Lit pixels of the whole screen that lie in none of the cells (2 pixels of slack around each).
    int LitOutside(const std::vector<Cell>& cells) const {
        int count = 0;
        for (int y = 0; y < 720; ++y) {
            for (int x = 0; x < 1280; ++x) {
                if (!Lit(Rgb(x, y))) continue;
                bool inside = false;
                for (const Cell& cell : cells) inside = inside || cell.Contains(x, y, 2);
                count += inside ? 0 : 1;
            }
        }
        return count;
    }

    classApplication* app = nullptr;
    CapturingFrameDevice* device = nullptr;  // owned by the application
    std::unique_ptr<platform::Window> window;
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd{folder.Path()};
    std::vector<u8> screen;
};

TEST_F(TextOnDisplay, ALineAppearsCharacterByCharacterInItsColoursAndAPageFeedClearsIt) {
    // The drawn height of a character: the line box of the face drawn at
    // twice the size, corrected by half the difference between the size and
    // the line box at the size itself, then shown at half.
    platform::FontService& fonts = platform::GetFontService();
    platform::FontMetrics at30, at60;
    const platform::FontHandle font30 = fonts.OpenFont(kGothic, 30, 0);
    const platform::FontHandle font60 = fonts.OpenFont(kGothic, 60, 0);
    ASSERT_TRUE(fonts.GetMetrics(font30, &at30) && fonts.GetMetrics(font60, &at60));
    fonts.CloseFont(font30);
    fonts.CloseFont(font60);
    const double h = static_cast<double>(at60.height + (30 - at30.height) / 2) / 2.0;
    const double advH = static_cast<double>(static_cast<int64>(h));

    std::vector<Cell> base, ruby;
    for (int i = 0; i < kBaseCount; ++i) base.push_back(CellAt(-305.0 + 29.5 * i, 80.0 + static_cast<double>(static_cast<int64>(advH) / 2), 30, h));
    for (int k = 0; k < kRubyCount; ++k) {
        // Half size: 15 wide and h / 2 high.
        ruby.push_back(CellAt(-305.5 + 15.0 * k, 102.0 + static_cast<double>(static_cast<int64>(advH / 2)), 15, h / 2));
    }
    std::vector<Cell> all = base;
    all.insert(all.end(), ruby.begin(), ruby.end());

    const u32 start = g_now.load();
    RunScript(std::string("Graphic(Layer=100:0, File=\"box.bmp\")\n"
                          "GraphicTextOut(Layer=100:0, Text=\"") +
              kLine + "\", DrawSpeed=0.5)\nApply()\n");
    // The frames that ran the records laid the line out at `start`; nothing has shown yet.
    ReadScreen();
    EXPECT_EQ(LitOutside({}), 0) << "every character waits for its turn";

    // At 240 ms characters 0 to 4 (turns at 0, 50, …, 200) and the ruby (at
    // 100) have begun; character 5's turn is at 250. At the application's own
    // speed only characters 0 to 2 would have.
    Frame(start + 240);
    ReadScreen();
    for (int i = 0; i < kBaseCount; ++i) {
        const Ink ink = InkIn(base[i]);
        if (i <= 4) {
            EXPECT_GT(ink.lit, 10) << "character " << i << " has begun at 240 ms";
        } else {
            EXPECT_EQ(ink.lit, 0) << "character " << i << " waits for its turn";
        }
    }
    for (int k = 0; k < kRubyCount; ++k) EXPECT_GT(InkIn(ruby[k]).lit, 3) << "ruby " << k;
    // Fading in over 300 ms: character 2 is 140 ms into it, character 4 40 ms.
    EXPECT_LT(InkIn(base[2]).brightest, 200);
    EXPECT_LT(InkIn(base[4]).brightest, 100);
    EXPECT_GT(InkIn(base[2]).brightest, InkIn(base[4]).brightest);
    EXPECT_EQ(LitOutside(all), 0);

    // Long after the last turn everything is whole, in its colour, inside its cell.
    Frame(start + 1000);
    ReadScreen();
    for (int i = 0; i < kBaseCount; ++i) {
        const Ink ink = InkIn(base[i]);
        EXPECT_GT(ink.lit, 20) << "character " << i;
        EXPECT_GT(ink.brightest, 230) << "character " << i << " is whole";
        if (kRed[i]) {
            EXPECT_TRUE(ink.redOnly) << "character " << i << " is red";
        } else {
            EXPECT_TRUE(ink.greyOnly) << "character " << i << " is white";
        }
    }
    for (int k = 0; k < kRubyCount; ++k) {
        const Ink ink = InkIn(ruby[k]);
        EXPECT_GT(ink.lit, 3) << "ruby " << k;
        EXPECT_TRUE(ink.greyOnly) << "ruby " << k << " takes the colour of its base";
    }
    EXPECT_EQ(LitOutside(all), 0) << "no ink outside the characters' cells";

    RunScript("PageFeed(Layer=100:0)\nApply()\n");
    Frame(start + 1100);
    ReadScreen();
    EXPECT_EQ(LitOutside({}), 0) << "the page is clear";
}

}  // namespace
