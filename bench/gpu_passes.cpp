// Cost of one full-screen pass of each kind a frame is made of, on the GL
// device (SDL's offscreen driver; on a machine without a GPU that is Mesa's
// software rasteriser): clears with and without the stencil, a 1280 × 720
// picture drawn blended or not, with the stencil test on, and through the
// cross-fade's shader: blended over the target, or over a picture of the
// screen, from a texture texel for texel (mixed by blending in a picture of
// its own and copied onto the target) or from a capture square on the
// screen's width (mixed in one pass). Each iteration ends in a read-back of
// the screen, so the rasterising is inside the measured time; BM_FinishOnly
// gives the read-back's own cost to take away.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <vector>

#include "platform/gpu_device.h"
#include "platform/window.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

struct Stage {
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<platform::GpuDevice> device;
    platform::GpuHandle picture = 0;
    platform::GpuHandle crossFade = 0;
    platform::GpuHandle under = 0;     // a picture of the screen to draw over
    platform::GpuHandle square = 0;    // a capture: square on the screen's width
    platform::GpuHandle picture2 = 0;  // a picture of the screen to draw into
    platform::GpuVertex quad[4];

    bool Open() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = platform::CreateSdlWindow();
        if (!window->Create("passes", kWidth, kHeight)) return false;
        device = platform::CreateGlDevice(window->CreateRenderSurface(kWidth, kHeight));
        if (device == nullptr || !device->Create(kWidth, kHeight)) return false;
        picture = device->CreateTexture(kWidth, kHeight);
        std::vector<u8> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<u8>(i % 4 == 3 ? 255 : i * 7);
        device->UploadBGRA(picture, 0, 0, kWidth, kHeight, pixels.data(), static_cast<size_t>(kWidth) * 4);
        crossFade = device->CreateBuiltinPixelShader(":Transition.CrossDissolveAlphaIgnore");
        under = device->CreateRenderTexture(kWidth, kHeight);
        square = device->CreateRenderTexture(kWidth, kWidth);
        picture2 = device->CreateRenderTexture(kWidth, kHeight);
        platform::GpuMatrix projection;
        projection.m[0] = 2.f / kWidth;
        projection.m[5] = 2.f / kHeight;
        projection.m[10] = 0.f;
        device->SetTransform(platform::GpuTransform::Projection, projection);
        float left = -kWidth / 2.f - 0.5f, top = kHeight / 2.f + 0.5f;
        quad[0] = {left, top, 0.f, 0xFFFFFFFFu, 0.f, 0.f};
        quad[1] = {left + kWidth, top, 0.f, 0xFFFFFFFFu, 1.f, 0.f};
        quad[2] = {left, top - kHeight, 0.f, 0xFFFFFFFFu, 0.f, 1.f};
        quad[3] = {left + kWidth, top - kHeight, 0.f, 0xFFFFFFFFu, 1.f, 1.f};
        return true;
    }
    void Finish(platform::GpuHandle target = platform::kBackBufferTarget) {
        u8 pixel[4 * kWidth * kHeight];
        device->ReadPixelsBGRA(target, pixel, kWidth * 4);
    }
};

Stage& TheStage() {
    static Stage stage;
    static bool opened = stage.Open();
    (void)opened;
    return stage;
}

enum Pass {
    kClearColour,
    kClearAll,
    kOpaque,
    kBlended,
    kBlendedStencil,
    kCrossFade,
    kCrossFadeOver,        // the cross-fade over a picture of the new screen
    kSquareCrossFade,      // from a capture square on the screen's width, as transitions make it
    kSquareCrossFadeOver,  // both
    kOpaqueIntoPicture,    // opaque into a picture of the screen, as a scene's picture or a capture is made
};

void BM_FullScreenPass(benchmark::State& state) {
    Stage& stage = TheStage();
    if (stage.device == nullptr || !stage.device->IsCreated()) {
        state.SkipWithError("no GL 3.3 core context");
        return;
    }
    platform::GpuDevice& device = *stage.device;
    Pass pass = static_cast<Pass>(state.range(0));
    device.BeginFrame();
    device.SetSceneStates(pass == kBlendedStencil);
    device.SetStencilMode(platform::StencilMode::MaskedLessEqual255);
    const bool square = pass == kSquareCrossFade || pass == kSquareCrossFadeOver;
    const bool fade = pass >= kCrossFade && pass <= kSquareCrossFadeOver;
    const platform::GpuHandle target =
        pass == kOpaqueIntoPicture ? stage.picture2 : platform::kBackBufferTarget;
    device.SetRenderTarget(target);
    device.SetTexture(square ? stage.square : stage.picture);
    device.SetPixelShader(fade ? stage.crossFade : 0);
    device.SetBlend(pass != kOpaque && pass != kOpaqueIntoPicture);
    platform::GpuVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        quad[i] = stage.quad[i];
        quad[i].diffuse = fade ? 0x80FFFFFFu : 0xFFFFFFFFu;
    }
    for (auto _ : state) {
        switch (pass) {
            case kClearColour:
                device.ClearColour(0xFF000000u);
                break;
            case kClearAll:
                device.Clear(0xFF000000u, 1.f, 255);
                break;
            case kCrossFadeOver:
            case kSquareCrossFadeOver:
                device.DrawQuadOver(quad, stage.under);
                break;
            default:
                device.DrawQuadStrip(quad);
                break;
        }
        stage.Finish(target);
    }
    device.SetRenderTarget(platform::kBackBufferTarget);
}
BENCHMARK(BM_FullScreenPass)
    ->ArgName("pass")
    ->DenseRange(kClearColour, kOpaqueIntoPicture)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The read-back alone, to take away from the figures above.
void BM_FinishOnly(benchmark::State& state) {
    Stage& stage = TheStage();
    if (stage.device == nullptr || !stage.device->IsCreated()) {
        state.SkipWithError("no GL 3.3 core context");
        return;
    }
    for (auto _ : state) stage.Finish();
}
BENCHMARK(BM_FinishOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
