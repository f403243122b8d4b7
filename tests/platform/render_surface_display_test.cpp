// The render surface under an X server: the back buffer keeps the logical
// size and is shown scaled into the window with black bars where the shapes
// differ.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "support/temp_folder.h"

namespace {

// What the X server shows: the root window as raw RGB, taken with ImageMagick.
std::vector<unsigned char> ScreenRgb(const std::string& file, int width, int height) {
    std::string command = "import -silent -window root -depth 8 rgb:" + file;
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != static_cast<size_t>(width) * height * 3) return {};
    return bytes;
}

std::array<int, 3> PixelAt(const std::vector<unsigned char>& rgb, int screenWidth, int x, int y) {
    size_t at = (static_cast<size_t>(y) * screenWidth + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

// The one window this test opened (SDL numbers windows per process).
SDL_Window* OnlyWindow() {
    for (Uint32 id = 1; id < 64; ++id) {
        if (SDL_Window* window = SDL_GetWindowFromID(id)) return window;
    }
    return nullptr;
}

}  // namespace

TEST(RenderSurfaceOnDisplay, LogicalScreenIsPillarboxedInAWiderWindow) {
    const char* display = getenv("DISPLAY");
    if (display == nullptr || display[0] == 0) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    setenv("SDL_VIDEODRIVER", "x11", 1);

    // 1280x600 is wider than 16:9: the picture is 600 high and 600 * 16 / 9 =
    // 1066 wide, with (1280 - 1066) / 2 = 107 black columns on the left.
    std::unique_ptr<platform::Window> window = platform::CreateSdlWindow();
    ASSERT_TRUE(window->Create("surface test", 1280, 600));
    std::unique_ptr<platform::RenderSurface> surface = window->CreateRenderSurface(1280, 720);
    ASSERT_NE(surface, nullptr);

    // Let the X server map and expose the window before anything is drawn:
    // a window that is not on screen yet keeps no pixels.
    std::atomic<bool> pumped{false};
    std::thread timer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        window->PostTask([&] { pumped = true; });
    });
    while (!pumped) {
        platform::WindowMessage message;
        window->WaitMessage(message);
    }
    timer.join();

    bool started = false;
    std::thread renderer([&] {
        started = surface->MakeCurrent();
        if (!started) return;
        EXPECT_TRUE(surface->TakeRepaintRequest()) << "a new window needs its first picture";
        surface->BeginFrame();
        glClearColor(1.f, 0.f, 0.f, 1.f);  // the frame's own drawing: all red
        glClear(GL_COLOR_BUFFER_BIT);
        surface->Present();
        glFinish();
        surface->Release();  // the window keeps showing the last picture
    });
    renderer.join();
    ASSERT_TRUE(started) << "no GL 3.3 core context";

    int left = 0, top = 0;
    SDL_GetWindowPosition(OnlyWindow(), &left, &top);
    testfiles::TempFolder folder;
    std::vector<unsigned char> screen = ScreenRgb(folder / "screen.rgb", 1280, 720);
    ASSERT_FALSE(screen.empty()) << "could not read the X screen (needs a 1280x720 Xvfb screen)";
    EXPECT_EQ(PixelAt(screen, 1280, left + 640, top + 300), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(PixelAt(screen, 1280, left + 110, top + 300), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(PixelAt(screen, 1280, left + 1169, top + 300), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(PixelAt(screen, 1280, left + 50, top + 300), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(PixelAt(screen, 1280, left + 1230, top + 300), (std::array<int, 3>{0, 0, 0}));
    surface.reset();
    window.reset();
    platform::ShutdownVideo();
}
