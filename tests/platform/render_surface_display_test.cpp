// The render surface under an X server: the back buffer keeps the logical
// size and is stretched over the whole window whatever its shape (the camera
// frames the scene at the window's shape, so nothing is distorted).

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

TEST(RenderSurfaceOnDisplay, TheWholeBackBufferCoversTheWholeWindow) {
    const char* display = getenv("DISPLAY");
    if (display == nullptr || display[0] == 0) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    setenv("SDL_VIDEODRIVER", "x11", 1);

    // A 1280x720 back buffer in a 1280x600 window: its top-left quarter
    // (640x360) lands on the window's 640x300 top-left quarter.
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
        glClearColor(1.f, 0.f, 0.f, 1.f);  // the frame's own drawing: red, its top-left quarter blue
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 640, 360);  // row 0 of the back buffer is the top of the picture
        glClearColor(0.f, 0.f, 1.f, 1.f);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        surface->Present();
        glFinish();
        surface->Release();  // the window keeps showing the last picture
    });
    renderer.join();
    ASSERT_TRUE(started) << "no GL 3.3 core context";

    int left = 0, top = 0;
    SDL_GetWindowPosition(OnlyWindow(), &left, &top);
    // Whatever screen the X server was started with (xvfb-run's own default
    // is larger than the window): the window lies somewhere on it.
    SDL_Rect bounds{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &bounds), 0) << SDL_GetError();
    testfiles::TempFolder folder;
    std::vector<unsigned char> screen = ScreenRgb(folder / "screen.rgb", bounds.w, bounds.h);
    ASSERT_FALSE(screen.empty()) << "could not read the X screen of " << bounds.w << "x" << bounds.h;
    struct Case {
        const char* name;
        int x, y;
        std::array<int, 3> colour;
    };
    const std::array<int, 3> red{255, 0, 0}, blue{0, 0, 255};
    const Case cases[] = {
        {"window's top-left corner", 1, 1, blue},
        {"inside the quarter's bottom-right", 637, 297, blue},
        {"right of the quarter", 642, 150, red},
        {"below the quarter", 320, 302, red},
        {"window's top-right corner", 1278, 1, red},
        {"window's bottom-left corner", 1, 598, red},
        {"window's bottom-right corner", 1278, 598, red},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PixelAt(screen, bounds.w, left + c.x, top + c.y), c.colour) << c.name;
    }
    surface.reset();
    window.reset();
    platform::ShutdownVideo();
}
