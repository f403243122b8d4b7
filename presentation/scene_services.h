#pragma once
// What the object tree needs from the parts of the presentation layer that sit
// beside it: the shared texture set, the shader registry, movies, fonts and the
// text layout. The tree only holds and counts references; it never looks
// inside a texture or a shader. Each of those parts answers its share of this
// interface once it exists; until then the defaults hand out nothing, so a
// tree still builds, updates and walks without any of them (and tests install
// a counting fake).
//
// Threads: the installed services pointer is atomic; it is set before any
// thread starts (or by a test) and only read afterwards. The services
// themselves are called on the render thread, except IsMoviePlaying and
// TextureKindOf, which "GraphicWait" may reach from a script thread while it
// holds the application lock.

#include <string>

#include "foundation/types.h"

class classSharedResource;  // a counted texture of the shared-resource set
class classShaderResource;  // a counted entry of the shader registry
class classGraphicObject;

// What a texture shows; the numbers are stored in scene records.
enum TextureKind : int32 {
    TextureKind_None = 0,
    TextureKind_ImageFile = 1,
    TextureKind_Movie = 2,
    TextureKind_Text = 3,
    TextureKind_TransitionCapture = 5,
    TextureKind_Filter = 6,
    TextureKind_PlayDataThumbnail = 7,
    TextureKind_ThumbnailCapture = 8,
};

// Shader registry kinds of the entries an object holds.
constexpr int32 kPixelShaderKind = 2;
constexpr int32 kVertexShaderKind = 3;

class classSceneServices {
  public:
    virtual ~classSceneServices() = default;

    // Textures: acquire raises the count of an equal key (or makes one with
    // count 1); release lowers it. Null is accepted everywhere.
    virtual classSharedResource* AcquireTexture(int32 kind, const std::string& name, int64 param, u8 unique);
    virtual void AddRefTexture(classSharedResource* texture);
    virtual void ReleaseTexture(classSharedResource* texture);
    virtual int32 TextureKindOf(const classSharedResource* texture) const;
    virtual std::string TextureNameOf(const classSharedResource* texture) const;
    virtual int64 TextureParamOf(const classSharedResource* texture) const;
    // The unique flag the texture was acquired with (scene records keep it).
    virtual u8 TextureUniqueOf(const classSharedResource* texture) const;

    // Shaders by kind (kPixelShaderKind, kVertexShaderKind) and name.
    virtual classShaderResource* AcquireShader(int32 kind, const std::string& name);
    virtual void AddRefShader(classShaderResource* shader);
    virtual void ReleaseShader(classShaderResource* shader);
    // The name a shader was acquired by, as UTF-8.
    virtual std::string ShaderNameOf(const classShaderResource* shader) const;

    // Movies: whether the texture's movie has its player yet, and whether it
    // is still playing; pending play/stop/pause requests are applied by the update.
    virtual bool HasMovieGraph(classSharedResource* texture);
    virtual bool IsMoviePlaying(classSharedResource* texture);
    virtual void ApplyMovieRequests(classSharedResource* texture);

    // The height of a numbered font, for a line feed of text.
    virtual int64 FontHeight(int64 fontNumber);

    // Lays out the object's pending text requests; false when there were none.
    virtual bool DrawTextStep(classGraphicObject& object);
};

// The installed services, or defaults that hold nothing.
classSceneServices& GetSceneServices();
// Installs `services` (null restores the defaults); returns the previous ones.
classSceneServices* SetSceneServices(classSceneServices* services);
