#define GL_GLEXT_PROTOTYPES 1
#include "platform/gl/gl_programs.h"

#include <GL/glcorearb.h>

#include <cstdio>
#include <string>

namespace platform {
namespace {

GLuint CompileShader(GLenum kind, const char* source) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        std::fprintf(stderr, "velk2: a drawing stage does not compile: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

// The plain stage is made with the device; each built-in shader when it
// is first asked for, so that start-up compiles only what the first
// picture draws with.
bool GlPrograms::Build() {
    vertexStage_ = CompileShader(GL_VERTEX_SHADER, kGlVertexStage);
    if (vertexStage_ == 0) return false;
    programs_.assign(static_cast<size_t>(kTexelProgram) + 1, Program{});
    if (BuildProgram(0)) return true;
    glDeleteShader(vertexStage_);
    vertexStage_ = 0;
    programs_.clear();
    return false;
}

const GlPrograms::Program* GlPrograms::Get(int index) {
    if (!BuildProgram(index)) return nullptr;
    return &programs_[static_cast<size_t>(index)];
}

bool GlPrograms::BuildProgram(int index) {
    Program& slot = programs_[static_cast<size_t>(index)];
    if (slot.id != 0) return true;
    // A stage that failed once fails again: it is not compiled at every draw.
    if (slot.failed) return false;
    slot.failed = true;
    std::string source =
        index == kTexelProgram
            ? std::string(kGlTexelStage)
            : FragmentStageSource(index % kShadings, (index / kShadings) % 2 == 1, index >= 2 * kShadings);
    GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, source.c_str());
    if (fragment == 0) return false;
    GLuint program = glCreateProgram();
    glAttachShader(program, vertexStage_);
    glAttachShader(program, fragment);
    glBindAttribLocation(program, 0, "aPosition");
    glBindAttribLocation(program, 1, "aColour");
    glBindAttribLocation(program, 2, "aUv");
    glLinkProgram(program);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        std::fprintf(stderr, "velk2: a drawing program does not link\n");
        glDeleteProgram(program);
        return false;
    }
    slot.id = program;
    compilerInUse_ = true;
    slot.failed = false;
    slot.matrix = glGetUniformLocation(program, "uMatrix");
    slot.viewport = glGetUniformLocation(program, "uViewport");
    slot.flip = glGetUniformLocation(program, "uFlip");
    slot.tint = glGetUniformLocation(program, "uTint");
    slot.c0 = glGetUniformLocation(program, "uC0");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "uTexture"), 0);
    const GLint under = glGetUniformLocation(program, "uUnder");
    if (under >= 0) glUniform1i(under, 1);
    return true;
}

void GlPrograms::LetGoOfCompiler() {
    if (compilerInUse_) glReleaseShaderCompiler();
    compilerInUse_ = false;
}

void GlPrograms::Release() {
    for (const Program& program : programs_) {
        if (program.id != 0) glDeleteProgram(program.id);
    }
    programs_.clear();
    if (vertexStage_ != 0) glDeleteShader(vertexStage_);
    vertexStage_ = 0;
}

}  // namespace platform
