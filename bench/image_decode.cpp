// What a full-screen picture costs: decoding a 1280 × 720 image of each
// hand-decoded format, and cutting decoded pixels into device tiles.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/image/image.h"
#include "presentation/shared_resource.h"
#include "tests/support/fake_gpu_device.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

void Put16(std::vector<u8>& out, u32 v) {
    out.push_back(static_cast<u8>(v));
    out.push_back(static_cast<u8>(v >> 8));
}
void Put32(std::vector<u8>& out, u32 v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<u8> Bmp24() {
    std::vector<u8> b = {'B', 'M'};
    const u32 stride = kWidth * 3;
    Put32(b, 54 + stride * kHeight);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, kWidth);
    Put32(b, kHeight);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (u32 i = 0; i < stride * kHeight; ++i) b.push_back(static_cast<u8>(i * 7));
    return b;
}

std::vector<u8> Dds(u32 fourCC, u32 blockBytes) {
    std::vector<u8> b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1007);
    Put32(b, kHeight);
    Put32(b, kWidth);
    for (int i = 0; i < 3 + 11; ++i) Put32(b, i == 2 ? 1 : 0);
    Put32(b, 32);
    Put32(b, 0x4);
    Put32(b, fourCC);
    for (int i = 0; i < 5; ++i) Put32(b, 0);
    Put32(b, 0x1000);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (u32 i = 0; i < (kWidth / 4) * (kHeight / 4) * blockBytes; ++i) b.push_back(static_cast<u8>(i * 13));
    return b;
}

void Decode(benchmark::State& state, const std::vector<u8>& file) {
    platform::DecodedImage image;
    for (auto _ : state) {
        bool ok = platform::DecodeImage(file.data(), file.size(), image);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(image.bgra.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}

void BM_DecodeBmp24(benchmark::State& state) {
    Decode(state, Bmp24());
}
void BM_DecodeDxt1(benchmark::State& state) {
    Decode(state, Dds(0x31545844, 8));
}
void BM_DecodeDxt5(benchmark::State& state) {
    Decode(state, Dds(0x35545844, 16));
}

// Tiles of a screen-sized picture: one tile on a device allowing 4096, two on one allowing 1024.
void BM_BuildTiles(benchmark::State& state) {
    fakes::FakeGpuDevice device;
    device.Create(kWidth, kHeight);
    device.maxTextureSize = static_cast<int>(state.range(0));
    std::vector<u8> pixels(static_cast<size_t>(kWidth) * kHeight * 4, 0x80);
    for (auto _ : state) {
        classSharedResource resource;
        resource.BuildTiles(device, pixels.data(), kWidth, kHeight, kWidth * 4, false);
        resource.ReleaseTiles(&device);
        device.uploads.clear();
        device.log.clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}

}  // namespace

BENCHMARK(BM_DecodeBmp24);
BENCHMARK(BM_DecodeDxt1);
BENCHMARK(BM_DecodeDxt5);
BENCHMARK(BM_BuildTiles)->Arg(4096)->Arg(1024);
