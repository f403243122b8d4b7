// Cost of drawing a scene on the GL device (SDL's offscreen driver; on a
// machine without a GPU that is Mesa's software rasteriser): 40 pictures of
// 256 × 256 and a page of 400 characters of 24 × 24, as a full text box
// leaves it; and the cost of deciding that an idle frame needs no drawing.
// The drawn frame is read back whole so that the measured time includes the
// rasterising, not only the queuing (the read itself is about 3.7 MB).
#include "presentation/scene_draw.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <vector>

#include "foundation/application.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"

namespace {

struct BenchTexture {
    int size = 0;
    std::vector<classDrawTile> tiles;
};

// Every image is a grey square of its name's size: "256" or "24".
class BenchSource final : public classSceneServices, public classSceneDrawSource {
  public:
    classSharedResource* AcquireTexture(int32, const std::string& name, int64, u8) override {
        textures_.push_back(std::make_unique<BenchTexture>());
        textures_.back()->size = std::stoi(name);
        return reinterpret_cast<classSharedResource*>(textures_.back().get());
    }
    int32 TextureKindOf(const classSharedResource* texture) const override {
        return texture != nullptr ? TextureKind_ImageFile : TextureKind_None;
    }
    bool Realise(classSharedResource* resource, platform::GpuDevice& device) override {
        BenchTexture* texture = reinterpret_cast<BenchTexture*>(resource);
        int size = texture->size;
        platform::GpuHandle handle = device.CreateTexture(size, size);
        std::vector<u8> pixels(static_cast<size_t>(size) * size * 4, 0x80);
        device.UploadBGRA(handle, 0, 0, size, size, pixels.data(), static_cast<size_t>(size) * 4);
        float half = static_cast<float>(size / 2);
        float edge = static_cast<float>(size);
        classDrawTile tile;
        tile.texture = handle;
        tile.vertices[0] = {-half - 0.5f, half + 0.5f, 0.f, 0xFFFFFFFFu, 0.f, 0.f};
        tile.vertices[1] = {-half - 0.5f + edge, half + 0.5f, 0.f, 0xFFFFFFFFu, 1.f, 0.f};
        tile.vertices[2] = {-half - 0.5f, half + 0.5f - edge, 0.f, 0xFFFFFFFFu, 0.f, 1.f};
        tile.vertices[3] = {-half - 0.5f + edge, half + 0.5f - edge, 0.f, 0xFFFFFFFFu, 1.f, 1.f};
        texture->tiles.push_back(tile);
        return true;
    }
    bool IsRealised(classSharedResource* resource) override {
        return !reinterpret_cast<BenchTexture*>(resource)->tiles.empty();
    }
    const std::vector<classDrawTile>* Tiles(classSharedResource* resource) override {
        return &reinterpret_cast<BenchTexture*>(resource)->tiles;
    }

  private:
    std::vector<std::unique_ptr<BenchTexture>> textures_;
};

struct Stage {
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<classGraphicDevice> holder;
    BenchSource source;
    classGraphicObject* root = nullptr;

    bool Open() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = platform::CreateSdlWindow();
        if (!window->Create("bench", 1280, 720)) return false;
        holder = std::make_unique<classGraphicDevice>();
        holder->Setup(
            platform::CreateGlDevice(window->CreateRenderSurface(1280, 720)),
            [] {
                return platform::ClientSize{1280, 720};
            },
            1280, 720, 0);
        if (!holder->Start()) return false;
        SetGraphicDevice(holder.get());
        holder->IsReady();
        SetSceneServices(&source);
        SetSceneDrawSource(&source);
        root = classGraphicObject::New();
        for (int64 i = 0; i < 40; ++i) {
            classGraphicObject* picture = classGraphicObject::CreateAtPath(root, &i, 1);
            picture->SetFileTexture("256");
            D3DXMatrixTranslation(&picture->drawMatrix, static_cast<float>(i % 8) * 140.f - 500.f,
                                  static_cast<float>(i / 8) * 120.f - 250.f, 0.f);
        }
        const int64 boxKey = 100;
        classGraphicObject* box = classGraphicObject::CreateAtPath(root, &boxKey, 1);
        for (int64 c = 0; c < 400; ++c) {
            classGraphicObject* character = classGraphicObject::CreateCharacterAtPath(box, &c, 1);
            character->SetFileTexture("24");
            D3DXMatrixTranslation(&character->drawMatrix, static_cast<float>(c % 40) * 24.f - 480.f,
                                  -static_cast<float>(c / 40) * 44.f + 200.f, 0.f);
        }
        return true;
    }
    ~Stage() {
        classGraphicObject::Delete(root);
        if (holder != nullptr) holder->Stop();
        SetSceneServices(nullptr);
        SetSceneDrawSource(nullptr);
        SetGraphicDevice(nullptr);
        holder.reset();
        window.reset();
        platform::ShutdownVideo();
    }
};

void BM_DrawFullScene(benchmark::State& state) {
    Stage stage;
    if (!stage.Open()) {
        state.SkipWithError("no GL 3.3 core context");
        return;
    }
    std::vector<u8> pixels(1280u * 720u * 4u);
    platform::GpuDevice* device = stage.holder->GetDevice();
    for (auto _ : state) {
        stage.holder->BeginFrame();
        scene_draw::BeginSceneDraw(stage.root);
        scene_draw::DrawTree(stage.root);
        scene_draw::EndSceneDraw(stage.root);
        device->ReadPixelsBGRA(platform::kBackBufferTarget, pixels.data(), 1280 * 4);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["objects"] = 440;
}
BENCHMARK(BM_DrawFullScene)->Unit(benchmark::kMillisecond);

// An idle frame: the scene is walked and compared with the last drawn one,
// and nothing is drawn or presented.
void BM_UnchangedFrame(benchmark::State& state) {
    Stage stage;
    if (!stage.Open() || !InitApplication()) {
        state.SkipWithError("no GL 3.3 core context");
        return;
    }
    GetApplication()->mainScene = stage.root;
    for (int warm = 0; warm < 3; ++warm) {
        stage.holder->BeginFrame();
        DrawScenes();
        stage.holder->EndFrame();
    }
    for (auto _ : state) {
        stage.holder->BeginFrame();
        DrawScenes();
        stage.holder->EndFrame();
    }
    GetApplication()->mainScene = nullptr;
    ShutdownApplication();
}
BENCHMARK(BM_UnchangedFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
