// The graphics device on OpenGL 3.3 core. The scene code was written for a
// device whose pixel centres sit on integer coordinates and whose targets keep
// their top row first; both are reproduced in the vertex stage, so images come
// out texel for texel and read-backs need no flipping. Every target is a
// framebuffer object (the window's back buffer included), which is why the
// present blit turns the rows over once more.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/gl/gl_batch_release.h"
#include "platform/gl/gl_blend_mix.h"
#include "platform/gl/gl_programs.h"
#include "platform/gl/gl_quad_geometry.h"
#include "platform/gpu_device.h"
#include "platform/memory_policy.h"
#include "platform/window.h"

namespace platform {
namespace {

enum class ObjectKind { Texture, RenderTexture, DepthStencil, ReadableTarget, Shader };

struct GlObject {
    ObjectKind kind = ObjectKind::Texture;
    int width = 0;
    int height = 0;
    GLuint texture = 0;       // textures and render textures
    GLuint framebuffer = 0;   // render textures and readable targets
    GLuint renderbuffer = 0;  // depth-stencils; colour of a readable target
    GLuint ownDepth = 0;      // a readable target's own depth-stencil
    int program = -1;         // shaders: index into the built-in programs
};

// The stencil as the scene code last left it. The "other" stencil values of an
// object change nothing, so the previous object's state must carry over.
struct StencilShadow {
    GLenum func = GL_ALWAYS;
    GLint ref = 0;
    GLenum fail = GL_KEEP;
    GLenum zfail = GL_KEEP;
    GLenum pass = GL_KEEP;
};

class GlDevice final : public GpuDevice {
  public:
    explicit GlDevice(std::unique_ptr<RenderSurface> surface) : surface_(std::move(surface)) {}
    ~GlDevice() override {
        // Only forget: the context may already be gone on this thread.
        objects_.clear();
    }

    bool Create(int width, int height) override {
        if (created_) return true;
        if (surface_ == nullptr || !surface_->MakeCurrent()) return false;
        if (!surface_->Resize(width, height)) {
            surface_->Release();
            return false;
        }
        // A back buffer to read and draw into even before the first frame.
        backFramebuffer_ = surface_->FrameTarget();
        backStencil_ = surface_->TargetHasStencil();
        backWidth_ = width;
        backHeight_ = height;
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        caps_.maxTextureSize = maxSize;
        if (!programs_.Build()) {
            surface_->Release();
            return false;
        }
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(1, &vertexBuffer_);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        glBufferData(GL_ARRAY_BUFFER, sizeof(GpuVertex) * 4, nullptr, GL_STREAM_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(GpuVertex), reinterpret_cast<void*>(0));
        // The colour is stored as 0xAARRGGBB, i.e. B, G, R, A in memory.
        glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(GpuVertex),
                              reinterpret_cast<void*>(12));
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(GpuVertex), reinterpret_cast<void*>(16));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(2);
        glGenSamplers(2, samplers_);
        for (int i = 0; i < 2; ++i) {
            const GLint filter = i == kNearestSampler ? GL_NEAREST : GL_LINEAR;
            glSamplerParameteri(samplers_[i], GL_TEXTURE_MIN_FILTER, filter);
            glSamplerParameteri(samplers_[i], GL_TEXTURE_MAG_FILTER, filter);
            glSamplerParameteri(samplers_[i], GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glSamplerParameteri(samplers_[i], GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }
        batchRelease_.Use(programs_.Get(0)->id, vertexArray_, vertexBuffer_);
        created_ = true;
        DefaultStates();
        return true;
    }

    bool Reset(int width, int height) override {
        if (!created_) return false;
        if (width != backWidth_ || height != backHeight_) {
            // The scene is drawn at the window's or the display's size, not
            // drawn small and scaled up.
            if (!surface_->Resize(width, height)) {
                BindTarget();
                return false;
            }
            backWidth_ = width;
            backHeight_ = height;
            // The resized back buffer starts as a frame does, without a stencil.
            backFramebuffer_ = surface_->FrameTarget();
            backStencil_ = surface_->TargetHasStencil();
            backDrawn_ = false;
        }
        DefaultStates();
        return true;
    }

    void Release() override {
        if (!created_) return;
        LetSparesGo();
        for (auto& entry : objects_) DeleteObject(entry.second);
        objects_.clear();
        blendMix_.Release();
        batchRelease_.Release();
        programs_.Release();
        glDeleteBuffers(1, &vertexBuffer_);
        glDeleteVertexArrays(1, &vertexArray_);
        vertexBuffer_ = vertexArray_ = 0;
        glDeleteSamplers(2, samplers_);
        samplers_[0] = samplers_[1] = 0;
        surface_->Release();
        created_ = false;
    }

    bool IsCreated() const override { return created_; }
    int BackBufferWidth() const override { return backWidth_; }
    int BackBufferHeight() const override { return backHeight_; }
    GpuCaps GetCaps() const override { return caps_; }

    bool BeginFrame() override {
        if (!created_) return false;
        backFramebuffer_ = surface_->FrameTarget();
        backStencil_ = surface_->TargetHasStencil();
        backDrawn_ = false;
        SetRenderTarget(kBackBufferTarget);
        batchRelease_.FrameStarts(boundFramebuffer_);
        return true;
    }

    bool TakeRepaintRequest() override { return created_ && surface_->TakeRepaintRequest(); }

    bool Present() override {
        if (!created_) return false;
        LetSparesGo();
        blendMix_.LetAheadGo();
        surface_->Present();
        // The presenter binds and sizes for the window; put the target back.
        BindTarget();
        return true;
    }

    bool CanReset() override { return true; }

    GpuHandle GetRenderTarget() const override { return target_; }
    GpuHandle GetDepthStencil() const override { return depthStencil_; }

    bool SetRenderTarget(GpuHandle target) override {
        if (!created_) return false;
        if (target != kBackBufferTarget) {
            const GlObject* object = Find(target);
            if (object == nullptr || object->framebuffer == 0) return false;
        }
        target_ = target;
        depthStencil_ = target == kBackBufferTarget ? kBackBufferDepthStencil : AttachedDepth(target);
        BindTarget();
        return true;
    }

    bool SetDepthStencil(GpuHandle depthStencil) override {
        if (!created_) return false;
        if (target_ == kBackBufferTarget) {
            // The back buffer's own depth-stencil is the only one it can have.
            return depthStencil == kBackBufferDepthStencil;
        }
        GlObject* target = Find(target_);
        if (target == nullptr) return false;
        GLuint renderbuffer = 0;
        if (depthStencil == 0) {
            renderbuffer = 0;
        } else if (depthStencil == kBackBufferDepthStencil) {
            return false;
        } else if (depthStencil == target_ && target->kind == ObjectKind::ReadableTarget) {
            renderbuffer = target->ownDepth;
        } else {
            const GlObject* object = Find(depthStencil);
            if (object == nullptr || object->kind != ObjectKind::DepthStencil) return false;
            if (object->width < target->width || object->height < target->height) return false;
            renderbuffer = object->renderbuffer;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffer);
        attachedDepth_[target_] = depthStencil;
        depthStencil_ = depthStencil;
        return true;
    }

    GpuHandle CreateRenderTexture(int width, int height) override {
        if (!created_ || !SizeFits(width, height)) return 0;
        GlObject object;
        object.kind = ObjectKind::RenderTexture;
        object.width = width;
        object.height = height;
        object.texture = MakeTexture(width, height);
        glGenFramebuffers(1, &object.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, object.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, object.texture, 0);
        return Keep(object, true);
    }

    GpuHandle CreateDepthStencil(int width, int height) override {
        if (!created_ || !SizeFits(width, height)) return 0;
        GlObject object;
        object.kind = ObjectKind::DepthStencil;
        object.width = width;
        object.height = height;
        object.renderbuffer = MakeRenderbuffer(GL_DEPTH24_STENCIL8, width, height);
        return Keep(object, false);
    }

    GpuHandle CreateReadableTarget(int width, int height) override {
        if (!created_ || !SizeFits(width, height)) return 0;
        GlObject object;
        object.kind = ObjectKind::ReadableTarget;
        object.width = width;
        object.height = height;
        object.renderbuffer = MakeRenderbuffer(GL_RGBA8, width, height);
        object.ownDepth = MakeRenderbuffer(GL_DEPTH24_STENCIL8, width, height);
        glGenFramebuffers(1, &object.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, object.framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, object.renderbuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  object.ownDepth);
        return Keep(object, true);
    }

    bool ReadPixelsBGRA(GpuHandle target, u8* out, size_t pitch) override {
        if (!created_ || out == nullptr) return false;
        GLuint framebuffer = backFramebuffer_;
        int width = backWidth_, height = backHeight_;
        if (target != kBackBufferTarget) {
            const GlObject* object = Find(target);
            if (object == nullptr || object->framebuffer == 0) return false;
            framebuffer = object->framebuffer;
            width = object->width;
            height = object->height;
        }
        if (pitch < static_cast<size_t>(width) * 4) return false;
        // Only the window's own buffer keeps GL's rows, bottom row first.
        const bool bottomUp = framebuffer == 0;
        std::vector<u8> rows(static_cast<size_t>(width) * height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        // Row 0 of every target holds the top of the picture, so GL's first row is ours.
        glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        BindTarget();
        if (glGetError() != GL_NO_ERROR) return false;
        for (int y = 0; y < height; ++y) {
            size_t row = static_cast<size_t>(bottomUp ? height - 1 - y : y);
            std::memcpy(out + pitch * static_cast<size_t>(y), rows.data() + row * width * 4,
                        static_cast<size_t>(width) * 4);
        }
        return true;
    }

    void Clear(u32 argb, float depth, u8 stencil) override {
        if (!created_) return;
        EnsureBackStencil();
        NoteDrawn();
        // The scene turns depth writes off before it clears, and a clear must
        // still reach every buffer.
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glStencilMask(0xFF);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(((argb >> 16) & 0xFF) / 255.f, ((argb >> 8) & 0xFF) / 255.f, (argb & 0xFF) / 255.f,
                     ((argb >> 24) & 0xFF) / 255.f);
        glClearDepth(depth);
        glClearStencil(stencil);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        batchesMayHold_ = true;
        glDepthMask(GL_FALSE);
    }

    void ClearColour(u32 argb) override {
        if (!created_) return;
        NoteDrawn();
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(((argb >> 16) & 0xFF) / 255.f, ((argb >> 8) & 0xFF) / 255.f, (argb & 0xFF) / 255.f,
                     ((argb >> 24) & 0xFF) / 255.f);
        glClear(GL_COLOR_BUFFER_BIT);
        batchesMayHold_ = true;
    }

    void SetSceneStates(bool stencil) override {
        if (!created_) return;
        // Every quad of a scene lies at depth exactly 1 (near plane at 0), and
        // depth writes are off: the depth test could only reject, so it stays
        // off and clamping keeps the far plane from clipping.
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_DEPTH_CLAMP);
        glDepthMask(GL_FALSE);
        if (stencil) {
            glEnable(GL_STENCIL_TEST);
        } else {
            glDisable(GL_STENCIL_TEST);
        }
        stencilTest_ = stencil;
        ApplyStencil();
        glDisable(GL_CULL_FACE);
    }

    void SetStencilMode(StencilMode mode) override {
        stencil_.ref = 255;
        switch (mode) {
            case StencilMode::MaskedLessEqual255:
                stencil_.func = GL_LEQUAL;
                stencil_.fail = stencil_.zfail = stencil_.pass = GL_KEEP;
                break;
            case StencilMode::WriteReplace255:
                stencil_.func = GL_ALWAYS;
                stencil_.pass = GL_REPLACE;
                break;
            case StencilMode::WriteZero:
                stencil_.func = GL_ALWAYS;
                stencil_.pass = GL_ZERO;
                break;
        }
        if (created_) ApplyStencil();
    }

    void SetBlend(bool on) override {
        if (!created_) return;
        blend_ = on;
        if (on) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else {
            glDisable(GL_BLEND);
        }
    }

    void SetTransform(GpuTransform kind, const GpuMatrix& matrix) override {
        switch (kind) {
            case GpuTransform::World:
                world_ = matrix;
                break;
            case GpuTransform::View:
                view_ = matrix;
                break;
            case GpuTransform::Projection:
                projection_ = matrix;
                break;
        }
    }

    void SetTexture(GpuHandle texture) override {
        texture_ = 0;
        if (const GlObject* object = Find(texture)) {
            if (object->texture != 0) {
                texture_ = object->texture;
                textureUploaded_ = object->kind == ObjectKind::Texture;
                textureWidth_ = object->width;
                textureHeight_ = object->height;
            }
        }
    }

    void SetTint(bool on, u32 rgb) override {
        tintOn_ = on;
        tint_ = rgb;
    }

    GpuHandle CreateBuiltinPixelShader(std::string_view name) override {
        if (!created_) return 0;
        int index = FindBuiltinPixelShader(name);
        // Its program is made by the first draw that needs it: a wipe or a
        // fade mixed by blending never does, and making one can take a
        // frame's time.
        if (index < 0) return 0;
        GlObject object;
        object.kind = ObjectKind::Shader;
        object.program = index + 1;  // program 0 is the plain texture stage
        return Keep(object, false);
    }

    void SetPixelShader(GpuHandle shader) override {
        program_ = 0;
        if (const GlObject* object = Find(shader)) {
            if (object->kind == ObjectKind::Shader) program_ = object->program;
        }
    }

    void SetPixelShaderConstant(const float c0[4]) override { std::memcpy(constant_, c0, sizeof(constant_)); }

    void DrawQuadStrip(const GpuVertex vertices[4]) override {
        if (!created_) return;
        DrawWith(vertices, 0);
    }

    bool DrawQuadOver(const GpuVertex vertices[4], GpuHandle under) override {
        const GlObject* picture = Find(under);
        if (!created_ || under == target_ || picture == nullptr ||
            (picture->kind != ObjectKind::RenderTexture && picture->kind != ObjectKind::Texture) ||
            picture->width != viewportWidth_ ||
            picture->height != viewportHeight_) {
            return false;
        }
        const GlMixDraw mix = MixDraw(vertices, picture->texture);
        if (blendMix_.DrawFade(mix) || blendMix_.DrawWipe(mix, [this] { LetGoOfDrawnObjects(); })) {
            NoteDrawn();
            batchesMayHold_ = true;
            return true;
        }
        // Nothing is read from the target, so nothing is blended with it.
        if (blend_) glDisable(GL_BLEND);
        const bool drawn = DrawWith(vertices, picture->texture);
        if (blend_) glEnable(GL_BLEND);
        return drawn;
    }

    GpuHandle CreateTexture(int width, int height) override {
        if (!created_ || !SizeFits(width, height)) return 0;
        GlObject object;
        object.kind = ObjectKind::Texture;
        object.width = width;
        object.height = height;
        object.texture = TakeSpare(width, height);
        if (object.texture == 0) object.texture = MakeTexture(width, height);
        return Keep(object, false);
    }

    void MakeTextureAhead(int width, int height) override {
        if (!created_ || !SizeFits(width, height) || spares_.size() >= kMostSpares) return;
        // The driver clears a texture as it makes it: a screen's worth of
        // memory to touch, done here rather than in the frame that uploads.
        spares_.push_back(Spare{width, height, MakeTexture(width, height)});
    }

    void MakeWipeAhead(int width, int height) override {
        if (!created_ || !SizeFits(width, height)) return;
        blendMix_.MakeWipeAhead(width, height);
    }

    bool UploadBGRA(GpuHandle texture, int x, int y, int width, int height, const u8* pixels,
                    size_t pitch) override {
        const GlObject* object = Find(texture);
        if (!created_ || object == nullptr || object->texture == 0 || pixels == nullptr) return false;
        if (x < 0 || y < 0 || width <= 0 || height <= 0) return false;
        if (static_cast<int64>(x) + width > object->width ||
            static_cast<int64>(y) + height > object->height) {
            return false;
        }
        if (pitch < static_cast<size_t>(width) * 4 || pitch % 4 != 0) return false;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, object->texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / 4));
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        blendMix_.Written(object->texture);
        return true;
    }

    void ReleaseObject(GpuHandle handle) override {
        auto found = objects_.find(handle);
        if (found == objects_.end()) return;
        const GLuint texture = found->second.texture;
        if (created_) {
            if (found->second.kind != ObjectKind::Shader) LetGoOfDrawnObjects();
            DeleteObject(found->second);
            blendMix_.Gone(texture);
        }
        if (texture != 0 && texture_ == texture) texture_ = 0;
        objects_.erase(found);
        attachedDepth_.erase(handle);
        if (target_ == handle) SetRenderTarget(kBackBufferTarget);
    }

    void StartDrawing() override {
        if (created_) glFlush();
    }

    void LetGoOfIdleMemory() override {
        if (!created_) return;
        programs_.LetGoOfCompiler();
        GiveFreeHeapSpaceBack();
    }

  private:
    // One quad through the program of the current shader and tint; with an
    // under-picture, that goes to texture unit 1, and when the quad leaves
    // pixels uncovered they take the under-picture as it is first.
    bool DrawWith(const GpuVertex vertices[4], GLuint underTexture) {
        if (program_ < 0 || program_ >= GlPrograms::kShadings) return false;
        if (stencilTest_) EnsureBackStencil();
        NoteDrawn();
        float matrix[16];
        QuadMatrix(matrix);
        const float flip = boundFramebuffer_ == 0 ? 1.f : -1.f;
        const bool nearest =
            texture_ != 0 && MapsTexelsOntoPixels(matrix, vertices, viewportWidth_, viewportHeight_, flip,
                                                  textureWidth_, textureHeight_);
        int index = GlPrograms::Index(program_, underTexture != 0, tintOn_);
        // The plain stage at full alpha, unblended, texel for pixel, writes
        // the texels as they are. Into a target without a depth-stencil (a
        // scene's picture, a capture) the stage that only fetches gives the
        // same pixels, and llvmpipe writes them in rows of 8-bit texels;
        // elsewhere it would gain nothing for the program it has to make.
        // The window's own buffer, which has none either, is left out: there
        // llvmpipe held two more screen-sized buffers (7 MB) for it.
        if (index == 0 && depthStencil_ == 0 && nearest && !blend_ && AllCornersOpaque(vertices)) {
            index = GlPrograms::kTexelProgram;
        }
        const GlPrograms::Program* program = programs_.Get(index);
        if (program == nullptr) return false;
        if (underTexture != 0 && !CoversViewport(matrix, vertices, viewportWidth_, viewportHeight_)) {
            CopyUnder(underTexture, boundFramebuffer_, viewportWidth_, viewportHeight_);
        }
        glUseProgram(program->id);
        // Row-major for row vectors read as column-major is the column-vector matrix.
        glUniformMatrix4fv(program->matrix, 1, GL_FALSE, matrix);
        glUniform2f(program->viewport, static_cast<float>(viewportWidth_),
                    static_cast<float>(viewportHeight_));
        glUniform1f(program->flip, flip);
        glUniform4f(program->tint, ((tint_ >> 16) & 0xFF) / 255.f, ((tint_ >> 8) & 0xFF) / 255.f,
                    (tint_ & 0xFF) / 255.f, tintOn_ ? 1.f : 0.f);
        glUniform4fv(program->c0, 1, constant_);
        if (underTexture != 0) {
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, underTexture);
            glBindSampler(1, samplers_[kNearestSampler]);
        }
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glBindSampler(0, samplers_[nearest ? kNearestSampler : kLinearSampler]);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(GpuVertex) * 4, vertices);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        batchesMayHold_ = true;
        if (underTexture != 0) {
            // A later frame may draw into the under-picture: it must not stay bound for reading.
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, 0);
            glActiveTexture(GL_TEXTURE0);
        }
        return true;
    }

    // What a mix by blending reads of the device for this quad over `underTexture`.
    GlMixDraw MixDraw(const GpuVertex vertices[4], GLuint underTexture) const {
        GlMixDraw draw;
        draw.vertices = vertices;
        QuadMatrix(draw.matrix);
        draw.under = underTexture;
        draw.shading = program_;
        draw.tinted = tintOn_;
        draw.stencilTest = stencilTest_;
        draw.texture = texture_;
        draw.textureUploaded = textureUploaded_;
        draw.textureWidth = textureWidth_;
        draw.textureHeight = textureHeight_;
        draw.blend = blend_;
        draw.depthless = TargetIsDepthless();
        draw.framebuffer = boundFramebuffer_;
        draw.viewportWidth = viewportWidth_;
        draw.viewportHeight = viewportHeight_;
        draw.nearestSampler = samplers_[kNearestSampler];
        draw.vertexArray = vertexArray_;
        draw.vertexBuffer = vertexBuffer_;
        return draw;
    }

    // llvmpipe's row-wise path on 8-bit texels is open only to targets without one.
    bool TargetIsDepthless() const {
        return target_ == kBackBufferTarget ? !backStencil_ : depthStencil_ == 0;
    }

    // Frames start without a stencil on the back buffer; the first clear of
    // one, or draw tested against one, moves the frame to a back buffer that
    // has it, with what the frame drew so far.
    void EnsureBackStencil() {
        if (target_ != kBackBufferTarget || backStencil_) return;
        backFramebuffer_ = surface_->StencilTarget(backDrawn_);
        backStencil_ = surface_->TargetHasStencil();
        BindTarget();
    }

    void NoteDrawn() {
        if (target_ == kBackBufferTarget) backDrawn_ = true;
    }

    static bool AllCornersOpaque(const GpuVertex vertices[4]) {
        for (int i = 0; i < 4; ++i) {
            if ((vertices[i].diffuse >> 24) != 0xFF) return false;
        }
        return true;
    }

    // World, view and projection as one matrix for the vertex stage.
    void QuadMatrix(float matrix[16]) const {
        float worldView[16];
        MultiplyRowMajor(world_.m, view_.m, worldView);
        MultiplyRowMajor(worldView, projection_.m, matrix);
    }

    // Objects given back may still be held by the rasteriser's old batches.
    void LetGoOfDrawnObjects() {
        if (!batchesMayHold_) return;
        batchesMayHold_ = false;
        batchRelease_.LetGo(boundFramebuffer_);
    }

    // The device's defaults after creation and every reset: nothing blended,
    // stencil off with ALWAYS/0/KEEP, no texture, no shader, identity transforms.
    void DefaultStates() {
        stencil_ = StencilShadow{};
        world_ = view_ = projection_ = GpuMatrix{};
        texture_ = 0;
        program_ = 0;
        blend_ = false;
        tintOn_ = false;
        std::memset(constant_, 0, sizeof(constant_));
        glDisable(GL_BLEND);
        glDisable(GL_DITHER);
        glDisable(GL_STENCIL_TEST);
        stencilTest_ = false;
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_FRAMEBUFFER_SRGB);
        glEnable(GL_DEPTH_CLAMP);
        glStencilMask(0xFF);
        ApplyStencil();
        SetRenderTarget(kBackBufferTarget);
    }

    void ApplyStencil() {
        glStencilFunc(stencil_.func, stencil_.ref, 0xFF);
        glStencilOp(stencil_.fail, stencil_.zfail, stencil_.pass);
    }

    void BindTarget() {
        GLuint framebuffer = backFramebuffer_;
        int width = backWidth_, height = backHeight_;
        if (const GlObject* object = Find(target_)) {
            framebuffer = object->framebuffer;
            width = object->width;
            height = object->height;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glViewport(0, 0, width, height);
        boundFramebuffer_ = framebuffer;
        viewportWidth_ = width;
        viewportHeight_ = height;
    }

    GpuHandle AttachedDepth(GpuHandle target) const {
        const GlObject* object = Find(target);
        if (object != nullptr && object->kind == ObjectKind::ReadableTarget) return target;
        auto found = attachedDepth_.find(target);
        return found == attachedDepth_.end() ? 0 : found->second;
    }

    bool SizeFits(int width, int height) const {
        return width > 0 && height > 0 && width <= caps_.maxTextureSize && height <= caps_.maxTextureSize;
    }

    GLuint TakeSpare(int width, int height) {
        for (auto spare = spares_.begin(); spare != spares_.end(); ++spare) {
            if (spare->width != width || spare->height != height) continue;
            const GLuint texture = spare->texture;
            spares_.erase(spare);
            return texture;
        }
        return 0;
    }

    void LetSparesGo() {
        for (Spare& spare : spares_) glDeleteTextures(1, &spare.texture);
        spares_.clear();
    }

    static GLuint MakeTexture(int width, int height) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        // Unsized, the driver keeps the texels as they are given, B, G, R, A:
        // uploads are copies, and llvmpipe's 8-bit path reads them as they are.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        // One level only: a mipmapped filter would leave the texture incomplete.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        return texture;
    }

    static GLuint MakeRenderbuffer(GLenum format, int width, int height) {
        GLuint renderbuffer = 0;
        glGenRenderbuffers(1, &renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
        return renderbuffer;
    }

    GpuHandle Keep(const GlObject& object, bool checkFramebuffer) {
        if (checkFramebuffer) {
            bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            BindTarget();
            if (!complete) {
                GlObject failed = object;
                DeleteObject(failed);
                return 0;
            }
        }
        GpuHandle handle = nextHandle_++;
        objects_[handle] = object;
        return handle;
    }

    static void DeleteObject(GlObject& object) {
        if (object.framebuffer != 0) glDeleteFramebuffers(1, &object.framebuffer);
        if (object.texture != 0) glDeleteTextures(1, &object.texture);
        if (object.renderbuffer != 0) glDeleteRenderbuffers(1, &object.renderbuffer);
        if (object.ownDepth != 0) glDeleteRenderbuffers(1, &object.ownDepth);
        object = GlObject{};
    }

    GlObject* Find(GpuHandle handle) {
        auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : &found->second;
    }
    const GlObject* Find(GpuHandle handle) const {
        auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : &found->second;
    }

    // Everything below belongs to the render thread.
    std::unique_ptr<RenderSurface> surface_;
    bool created_ = false;
    // Textures made ahead of the CreateTexture that takes them.
    struct Spare {
        int width;
        int height;
        GLuint texture;
    };
    static constexpr size_t kMostSpares = 4;
    std::vector<Spare> spares_;
    GLuint backFramebuffer_ = 0;
    bool backStencil_ = false;  // the back buffer has a depth-stencil this frame
    bool backDrawn_ = false;    // something was drawn into the back buffer this frame
    int backWidth_ = 0;
    int backHeight_ = 0;
    GpuCaps caps_;
    GlPrograms programs_;
    GlBlendMix blendMix_{programs_};
    GLuint vertexArray_ = 0;
    GLuint vertexBuffer_ = 0;
    std::unordered_map<GpuHandle, GlObject> objects_;
    std::unordered_map<GpuHandle, GpuHandle> attachedDepth_;  // render texture → its depth-stencil
    GpuHandle nextHandle_ = 16;  // the fixed handles of the back buffer stay below
    GpuHandle target_ = kBackBufferTarget;
    GpuHandle depthStencil_ = kBackBufferDepthStencil;
    GLuint boundFramebuffer_ = 0;  // the target's framebuffer, 0 for the window's own
    int viewportWidth_ = 1;
    int viewportHeight_ = 1;
    StencilShadow stencil_;
    GpuMatrix world_, view_, projection_;
    GLuint texture_ = 0;
    bool textureUploaded_ = false;  // texture_ is a picture uploaded, never drawn into
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    static constexpr int kLinearSampler = 0;
    static constexpr int kNearestSampler = 1;
    GLuint samplers_[2] = {0, 0};
    int program_ = 0;
    bool blend_ = false;
    bool stencilTest_ = false;
    bool tintOn_ = false;
    u32 tint_ = 0;
    float constant_[4] = {0.f, 0.f, 0.f, 0.f};
    bool batchesMayHold_ = false;  // drawn or cleared since the batches were last let go of
    GlBatchRelease batchRelease_;
};

}  // namespace

std::unique_ptr<GpuDevice> CreateGlDevice(std::unique_ptr<RenderSurface> surface) {
    if (surface == nullptr) return nullptr;
    return std::make_unique<GlDevice>(std::move(surface));
}

}  // namespace platform
