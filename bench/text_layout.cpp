// Cost of laying out one page of text (120 characters with a ruby and a
// colour tag, fading in one after another) without textures, and of
// measuring characters on the real font faces.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/key_wait_lock.h"
#include "foundation/text_encoding.h"
#include "platform/font.h"
#include "platform/window.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/shared_resource.h"
#include "presentation/shared_texture_services.h"
#include "presentation/text_layout.h"
#include "presentation/text_realise.h"

namespace {

const char kMeiryo[] = "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA";  // メイリオ
const char kMsGothic[] = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";  // ＭＳ ゴシック

std::string Page() {
    std::string text = "\xE3\x80\x8C@c(0xFF8000)";
    for (int i = 0; i < 118; ++i) text += "\xE3\x81\x82";
    text += "@r(\xE6\xBC\xA2\xE5\xAD\x97,\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98)";
    return text;
}

void BM_LayOutPage(benchmark::State& state) {
    g_glyphSets.Clear();
    DefineFont(0, kMeiryo, 30, 0);
    DefineFont(9, kMsGothic, 30, 0);
    classTextRequest request;
    request.text = Page();
    request.speed = 50;
    request.fadeMode = 1;
    request.fadeTime = 300;
    classGraphicObject* box = classGraphicObject::New();
    for (auto _ : state) {
        box->ClearText();
        box->AddTextRequest(request);
        benchmark::DoNotOptimize(DrawTextStep(*box));
    }
    state.SetItemsProcessed(state.iterations() * 124);
    classGraphicObject::Delete(box);
    g_glyphSets.Clear();
    ClearKeyWaitLock();
}
BENCHMARK(BM_LayOutPage);

void BM_MeasureCharacter(benchmark::State& state) {
    platform::FontService& fonts = platform::GetFontService();
    const platform::FontHandle font =
        fonts.OpenFont(kMsGothic, 60, 0);
    u32 code = 0x3042;
    for (auto _ : state) {
        int width = 0, height = 0;
        fonts.MeasureCharacter(font, code, &width, &height);
        benchmark::DoNotOptimize(width);
        code = code == 0x3093 ? 0x3042 : code + 1;
    }
    fonts.CloseFont(font);
}
BENCHMARK(BM_MeasureCharacter);

// A full page of 400 Japanese characters laid out and realised as the
// frame that shows it does: every character measured on the real face,
// drawn into its texture and uploaded to the GL device (SDL's offscreen
// driver; Mesa's software rasteriser where there is no GPU). Cold: every
// character of the page is new to the shared textures (each page takes the
// next 400 ideographs, so the textures are made from scratch). Warm: the
// same page is on screen elsewhere already, so its textures are shared and
// only the layout remains. Feeding the page between runs is not counted.
struct TextStage {
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<classGraphicDevice> holder;
    classGraphicObject* root = nullptr;
    classGraphicObject* box = nullptr;
    classSceneServices* previousServices = nullptr;
    classSceneDrawSource* previousSource = nullptr;

    bool Open() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = platform::CreateSdlWindow();
        if (!window->Create("bench", 1280, 720)) return false;
        holder = std::make_unique<classGraphicDevice>();
        holder->Setup(
            platform::CreateGlDevice(window->CreateRenderSurface(1280, 720)),
            [] { return platform::ClientSize{1280, 720}; }, 1280, 720, 0);
        if (!holder->Start()) return false;
        SetGraphicDevice(holder.get());
        holder->IsReady();
        RegisterSharedResourceSubsystem();
        RegisterTextRealisation();
        g_glyphSets.Clear();
        DefineFont(0, kMeiryo, 30, 0);
        DefineFont(9, kMsGothic, 30, 0);
        // A text box of 1200 × 600 holds 40 characters a line, 10 lines.
        root = classGraphicObject::New();
        box = classGraphicObject::CreateAtPath(root, {100});
        box->SetFileTexture(WriteBoxImage());
        return true;
    }
    static std::string WriteBoxImage() {
        // A 24-bit BMP of 1200 × 600, all black, next to the benchmark.
        const u32 width = 1200, height = 600, row = width * 3;
        std::vector<u8> bytes(54 + static_cast<size_t>(row) * height, 0);
        auto put32 = [&bytes](size_t at, u32 v) {
            for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<u8>(v >> (8 * i));
        };
        bytes[0] = 'B';
        bytes[1] = 'M';
        put32(2, static_cast<u32>(bytes.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, width);
        put32(22, height);
        bytes[26] = 1;
        bytes[28] = 24;
        const std::string path = "/tmp/velk2_bench_text_box.bmp";
        if (FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
        return path;
    }
    ~TextStage() {
        classGraphicObject::Delete(root);
        g_glyphSets.Clear();
        g_sharedResources.Clear();
        if (holder != nullptr) holder->Stop();
        SetGraphicDevice(nullptr);
        holder.reset();
        window.reset();
        platform::ShutdownVideo();
    }
};

// 400 ideographs from U+4E00 on, the `page`-th group of them (wrapping
// within the block of 20992).
std::string IdeographPage(int page) {
    std::string text;
    for (int i = 0; i < 400; ++i) {
        text += CodePointToUtf8(0x4E00u + static_cast<u32>((page * 400 + i) % 20992));
    }
    return text;
}

void LayOutPageOnDevice(benchmark::State& state, bool cold) {
    TextStage stage;
    if (!stage.Open()) {
        state.SkipWithError("no GL 3.3 core context");
        return;
    }
    classTextRequest request;
    request.speed = 50;
    request.fadeMode = 1;
    request.fadeTime = 300;
    request.colour = 0xFFFFFF;
    request.text = IdeographPage(0);
    if (!cold) {
        // The warm page is already shown by another box, which keeps its textures.
        classGraphicObject* shown = classGraphicObject::CreateAtPath(stage.root, {101});
        shown->SetFileTexture(GetSceneServices().TextureNameOf(stage.box->texture));
        shown->AddTextRequest(request);
        DrawTextStep(*shown);
    }
    int page = 0;
    for (auto _ : state) {
        if (cold) request.text = IdeographPage(page++);
        stage.box->AddTextRequest(request);
        benchmark::DoNotOptimize(DrawTextStep(*stage.box));
        state.PauseTiming();
        stage.box->ClearText();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 400);
    ClearKeyWaitLock();
}

void BM_LayOutAndRealisePageCold(benchmark::State& state) {
    LayOutPageOnDevice(state, true);
}
BENCHMARK(BM_LayOutAndRealisePageCold)->Unit(benchmark::kMillisecond);

void BM_LayOutAndRealisePageWarm(benchmark::State& state) {
    LayOutPageOnDevice(state, false);
}
BENCHMARK(BM_LayOutAndRealisePageWarm)->Unit(benchmark::kMillisecond);

}  // namespace
