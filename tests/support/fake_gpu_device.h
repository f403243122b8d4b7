#pragma once
// A graphics device in memory: it records every call in order as a short line
// ("stencil lequal", "draw a=128 tex=17", …), keeps the states a real device
// would, and can be told to fail creation, presenting or a reset. Engine
// drawing logic is checked against it without a GPU.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/gpu_device.h"

namespace fakes {

class FakeGpuDevice final : public platform::GpuDevice {
  public:
    struct Object {
        std::string kind;
        int width = 0;
        int height = 0;
    };
    // One texture upload, its pixels copied row by row (4 × width bytes each).
    struct Upload {
        platform::GpuHandle texture = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        std::vector<u8> pixels;
    };
    struct Draw {
        platform::GpuVertex vertices[4];
        platform::GpuHandle texture = 0;
        platform::GpuHandle shader = 0;
        platform::GpuHandle target = 0;
        platform::GpuMatrix world;
        bool blend = false;
        std::string stencil;
        bool tinted = false;
        u32 tint = 0;
        platform::GpuHandle under = 0;  // drawn over this picture in one pass
    };

    // Knobs the tests turn.
    int createFailures = 0;  // the next N creations fail
    bool presentFails = false;
    bool canReset = true;
    int resetFailures = 0;  // the next N resets fail
    int backWidth = 1280;
    int backHeight = 720;
    u8 readFill = 0;  // every byte a read-back gives
    int maxTextureSize = 4096;

    // What happened.
    std::vector<std::string> log;
    std::vector<Draw> draws;
    std::vector<Upload> uploads;
    std::vector<std::pair<int, int>> resets;  // sizes asked for
    int creates = 0;
    int presents = 0;
    int releases = 0;

    bool Create(int width, int height) override {
        ++creates;
        log.push_back("create " + std::to_string(width) + "x" + std::to_string(height));
        if (createFailures > 0) {
            --createFailures;
            return false;
        }
        created_ = true;
        backWidth = width;
        backHeight = height;
        return true;
    }
    bool Reset(int width, int height) override {
        resets.emplace_back(width, height);
        log.push_back("reset " + std::to_string(width) + "x" + std::to_string(height));
        if (resetFailures > 0) {
            --resetFailures;
            return false;
        }
        // Like the real device, the back buffer takes the size asked for.
        backWidth = width;
        backHeight = height;
        stencil_ = "default";
        blend_ = false;
        target_ = platform::kBackBufferTarget;
        return true;
    }
    void Release() override {
        ++releases;
        log.push_back("release");
        objects_.clear();
        created_ = false;
    }
    bool IsCreated() const override { return created_; }
    int BackBufferWidth() const override { return backWidth; }
    int BackBufferHeight() const override { return backHeight; }
    platform::GpuCaps GetCaps() const override { return platform::GpuCaps{maxTextureSize}; }
    bool BeginFrame() override {
        log.push_back("begin");
        target_ = platform::kBackBufferTarget;
        return created_;
    }
    bool Present() override {
        ++presents;
        log.push_back("present");
        return !presentFails;
    }
    bool CanReset() override { return canReset; }
    bool TakeRepaintRequest() override {
        bool taken = repaint;
        repaint = false;
        return taken;
    }
    bool repaint = false;  // the window asks for its picture once

    platform::GpuHandle GetRenderTarget() const override { return target_; }
    platform::GpuHandle GetDepthStencil() const override { return depth_; }
    bool SetRenderTarget(platform::GpuHandle target) override {
        if (target != platform::kBackBufferTarget && objects_.count(target) == 0) return false;
        log.push_back("target " + std::to_string(target));
        target_ = target;
        return true;
    }
    bool SetDepthStencil(platform::GpuHandle depthStencil) override {
        log.push_back("depth " + std::to_string(depthStencil));
        depth_ = depthStencil;
        return true;
    }
    platform::GpuHandle CreateRenderTexture(int width, int height) override {
        return Make("render texture", width, height);
    }
    platform::GpuHandle CreateDepthStencil(int width, int height) override {
        return Make("depth stencil", width, height);
    }
    platform::GpuHandle CreateReadableTarget(int width, int height) override {
        return Make("readable", width, height);
    }
    bool ReadPixelsBGRA(platform::GpuHandle target, u8* out, size_t pitch) override {
        log.push_back("read " + std::to_string(target));
        auto found = objects_.find(target);
        if (found == objects_.end()) return false;
        for (int y = 0; y < found->second.height; ++y) {
            std::memset(out + pitch * static_cast<size_t>(y), readFill,
                        static_cast<size_t>(found->second.width) * 4);
        }
        return true;
    }
    void Clear(u32 argb, float depth, u8 stencil) override {
        char line[64];
        std::snprintf(line, sizeof(line), "clear %08X %g %u", argb, static_cast<double>(depth), stencil);
        log.push_back(line);
    }
    void ClearColour(u32 argb) override {
        char line[32];
        std::snprintf(line, sizeof(line), "clear colour %08X", argb);
        log.push_back(line);
    }
    void SetSceneStates(bool stencil) override { log.push_back(stencil ? "scene states stencil" : "scene states"); }
    void SetStencilMode(platform::StencilMode mode) override {
        switch (mode) {
            case platform::StencilMode::MaskedLessEqual255:
                stencil_ = "lequal";
                break;
            case platform::StencilMode::WriteReplace255:
                stencil_ = "replace";
                break;
            case platform::StencilMode::WriteZero:
                stencil_ = "zero";
                break;
        }
        log.push_back("stencil " + stencil_);
    }
    void SetBlend(bool on) override {
        blend_ = on;
        log.push_back(on ? "blend on" : "blend off");
    }
    void SetTransform(platform::GpuTransform kind, const platform::GpuMatrix& matrix) override {
        if (kind == platform::GpuTransform::World) world_ = matrix;
        if (kind == platform::GpuTransform::View) view = matrix;
        if (kind == platform::GpuTransform::Projection) projection = matrix;
    }
    void SetTexture(platform::GpuHandle texture) override { texture_ = texture; }
    void SetTint(bool on, u32 rgb) override {
        if (on) log.push_back("tint " + std::to_string(rgb));
        tinted_ = on;
        tint_ = on ? rgb : 0;
    }
    platform::GpuHandle CreateBuiltinPixelShader(std::string_view name) override {
        static const char* const kNames[] = {":Transition.CrossDissolveAlphaIgnore",
                                             ":Transition.DitherDissolve",
                                             ":Transition.CrossDissolve",
                                             ":PixelColor.Change",
                                             ":Pixel.Monochro",
                                             ":Pixel.Sepia",
                                             ":Pixel.Negaposi"};
        for (const char* known : kNames) {
            if (name == known) return Make(std::string("shader ") + known, 0, 0);
        }
        return 0;
    }
    void SetPixelShader(platform::GpuHandle shader) override { shader_ = shader; }
    void SetPixelShaderConstant(const float*) override {}
    void DrawQuadStrip(const platform::GpuVertex vertices[4]) override { Record(vertices, 0); }
    bool DrawQuadOver(const platform::GpuVertex vertices[4], platform::GpuHandle under) override {
        auto found = objects_.find(under);
        if (found == objects_.end() || under == target_ ||
            (found->second.kind != "render texture" && found->second.kind != "texture"))
            return false;
        Record(vertices, under);
        return true;
    }
    void Record(const platform::GpuVertex vertices[4], platform::GpuHandle under) {
        Draw draw;
        std::memcpy(draw.vertices, vertices, sizeof(draw.vertices));
        draw.texture = texture_;
        draw.shader = shader_;
        draw.target = target_;
        draw.world = world_;
        draw.blend = blend_;
        draw.stencil = stencil_;
        draw.tinted = tinted_;
        draw.tint = tint_;
        draw.under = under;
        draws.push_back(draw);
        log.push_back("draw a=" + std::to_string(vertices[0].diffuse >> 24) +
                      " tex=" + std::to_string(texture_) +
                      (under != 0 ? " over " + std::to_string(under) : std::string()));
    }
    platform::GpuHandle CreateTexture(int width, int height) override {
        return Make("texture", width, height);
    }
    bool UploadBGRA(platform::GpuHandle texture, int x, int y, int width, int height, const u8* pixels,
                    size_t pitch) override {
        if (objects_.count(texture) == 0) return false;
        Upload upload{texture, x, y, width, height, {}};
        for (int row = 0; row < height; ++row) {
            const u8* from = pixels + pitch * static_cast<size_t>(row);
            upload.pixels.insert(upload.pixels.end(), from, from + static_cast<size_t>(width) * 4);
        }
        uploads.push_back(std::move(upload));
        return true;
    }
    void ReleaseObject(platform::GpuHandle handle) override {
        if (objects_.erase(handle) != 0) log.push_back("free " + std::to_string(handle));
    }

    void LetGoOfIdleMemory() override { log.push_back("idle"); }
    // How many quads had been drawn each time drawing was handed on.
    std::vector<size_t> drawingStarted;
    void StartDrawing() override { drawingStarted.push_back(draws.size()); }
    std::vector<std::pair<int, int>> madeAhead;  // the sizes asked for ahead of their CreateTexture
    void MakeTextureAhead(int width, int height) override { madeAhead.emplace_back(width, height); }
    std::vector<std::pair<int, int>> wipesAhead;  // the sizes of the wipes made ahead
    void MakeWipeAhead(int width, int height) override { wipesAhead.emplace_back(width, height); }

    const std::map<platform::GpuHandle, Object>& Objects() const { return objects_; }
    platform::GpuMatrix view;
    platform::GpuMatrix projection;

  private:
    platform::GpuHandle Make(const std::string& kind, int width, int height) {
        if (!created_) return 0;
        platform::GpuHandle handle = next_++;
        objects_[handle] = Object{kind, width, height};
        log.push_back("make " + kind + " " + std::to_string(handle));
        return handle;
    }

    bool created_ = false;
    std::map<platform::GpuHandle, Object> objects_;
    platform::GpuHandle next_ = 16;
    platform::GpuHandle target_ = platform::kBackBufferTarget;
    platform::GpuHandle depth_ = platform::kBackBufferDepthStencil;
    platform::GpuHandle texture_ = 0;
    platform::GpuHandle shader_ = 0;
    platform::GpuMatrix world_;
    bool blend_ = false;
    bool tinted_ = false;
    u32 tint_ = 0;
    std::string stencil_ = "default";
};

}  // namespace fakes
