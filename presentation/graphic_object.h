#pragma once
// A node of a scene tree. Everything on the screen is one of these, in the
// main scene or in the overlay scene a transition puts over it; scripts reach
// an object by the path of keys from its scene root. An object holds its
// texture and shader references, its animation slots (slot 0 always there),
// its text state, and two ordered sets of children held by value: ordinary
// children (negative keys are drawn under the parent, the rest over it) and
// the per-character children that text drawing makes.
//
// Threads: the render thread creates, changes, updates and deletes objects,
// always with the application lock held (record execution and the scene
// update both run inside the frame under it). Every reader on another thread
// (hit tests, "GraphicWait", "KeyWait") takes the application lock around its
// look-up and its use of the object, and posts nothing while holding it.

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "foundation/vector3.h"
#include "presentation/d3dx_math.h"
#include "presentation/graphic_key.h"
#include "presentation/graphic_slot.h"
#include "presentation/scene_services.h"
#include "presentation/text_request.h"

class classGraphicObject;

// Consumes a scene in draw order (see classGraphicObject::WalkDrawOrder).
class classGraphicDrawVisitor {
  public:
    virtual ~classGraphicDrawVisitor() = default;
    // One visible object, in turn; its drawMatrix, transmittance, texture,
    // shaders, Stencil and textColour say how. Called for every visible
    // object, also those without a texture: the drawer decides what a kind draws.
    virtual void DrawObject(classGraphicObject& object) = 0;
};

class classGraphicObject {
  public:
    // Paths longer than this are refused: every walk over the tree recurses
    // once per level, and a script or a save file could otherwise ask for a
    // tree deep enough to exhaust the render thread's stack.
    static constexpr int64 kMaxPathDepth = 256;

    classGraphicObject();
    classGraphicObject(classGraphicObject* parent, classKey64 key);
    ~classGraphicObject();
    classGraphicObject(const classGraphicObject&) = delete;
    classGraphicObject& operator=(const classGraphicObject&) = delete;

    // A new, empty root (owned by the caller until Delete).
    static classGraphicObject* New();
    // Drops every reference and child and returns every field to its default,
    // with a fresh slot 0.
    void Clear();

    // --- Finding ---
    // Null for a null root, a count of 0 or less, or a missing key on the way.
    // The root's own key is not part of the path.
    static classGraphicObject* FindByPath(classGraphicObject* root, const int64* keys, int64 count);
    static classGraphicObject* FindByPath(classGraphicObject* root, const std::vector<int64>& keys);
    static classGraphicObject* FindCharacterByPath(classGraphicObject* root, const int64* keys, int64 count);
    // 0 for null; the object's own hidden byte when set; else 1 when an ancestor is hidden.
    static u8 IsHiddenInTree(const classGraphicObject* object);
    // Puts the keys from the root (its key first) down to the object in front of `keys`.
    static void GetPath(const classGraphicObject* object, std::vector<int64>& keys);
    int64 NextCharacterKey() const;
    int32 GetTextureKind() const;

    // --- Creating and deleting ---
    // Creates every missing object on the path and always replaces the last
    // one with a fresh object, which is returned. Null for a null root, a
    // count of 0 or less, or a path longer than kMaxPathDepth.
    static classGraphicObject* CreateAtPath(classGraphicObject* root, const int64* keys, int64 count);
    static classGraphicObject* CreateAtPath(classGraphicObject* root, const std::vector<int64>& keys);
    static classGraphicObject* CreateCharacterAtPath(classGraphicObject* root, const int64* keys,
                                                     int64 count);
    // A root is destroyed; a child is erased from its parent's children with
    // its subtree. Per-character children go only with their text.
    static void Delete(classGraphicObject* object);
    // Makes `destination` a deep copy of `source`: fields, slots, children and
    // characters, each texture and shader reference taken once more. Text and
    // pending text are not copied, nor the device targets (the copy starts
    // with none). The destination's parent is the source's; the caller sets
    // what it needs. Returns false for a null argument.
    static bool CopyTree(classGraphicObject* destination, const classGraphicObject* source);

    // --- Changing ---
    void SetHidden(u8 value) { hidden = value; }
    void ReleaseTexture();
    bool SetFileTexture(const std::string& file);
    bool SetMovieTexture(const std::string& file);
    bool SetTextTexture(const std::string& name, int64 font, int64 colour);
    bool SetTransitionTexture();
    bool SetFilterTexture(const std::string& pixelShaderName);
    bool SetThumbnailTexture(const std::string& playDataFile);
    bool SetThumbnailCaptureTexture();
    // Acquires a texture of any kind (used when a saved scene is restored).
    bool SetTexture(int32 kind, const std::string& name, int64 param, u8 unique);
    bool SetPixelShader(const std::string& name);
    bool SetVertexShader(const std::string& name);
    void ReleasePixelShader();
    void ReleaseVertexShader();
    // The request remembers the statement whose record adds it.
    void AddTextRequest(const classTextRequest& request) {
        textRequests.push_back(request);
        textRequests.back().origin = CurrentScriptOrigin();
    }
    // The page feed.
    bool ClearText();
    bool TextNewLine();

    classGraphicSlot* FindSlot(classKey64 key);
    // Null when the key is taken.
    classGraphicSlot* InsertSlot(classKey64 key);
    classGraphicSlot* GetOrCreateSlot(classKey64 key);

    // The "GraphicWait" test: a slot that will end has not ended yet, or the
    // movie played on this object is still starting or playing.
    bool IsBusy();

    // --- Frame work (render thread) ---
    // Advances the whole tree to `now` (milliseconds of the wrapping 32-bit
    // clock); the first update of a tree runs with no elapsed time.
    static void UpdateFrame(classGraphicObject* root, u32 now);
    static void Update(classGraphicObject* object, int64 elapsed);
    // Visits every visible object of the subtree in draw order: a hidden
    // object is skipped with its subtree; then the children with negative
    // keys, the object itself, the other children, and the characters, each
    // set in ascending key order.
    static void WalkDrawOrder(classGraphicObject* object, classGraphicDrawVisitor& visitor);

    // Fields, in the order the scene records describe them.
    classKey64 key;
    classSharedResource* texture = nullptr;
    classShaderResource* vertexShader = nullptr;
    classShaderResource* pixelShader = nullptr;
    classGraphicObject* parent = nullptr;
    u8 hidden = 0;  // 1: the object and its subtree are not drawn; the object itself is not text-stepped
    int64 Stencil = 0;
    classOptionalValue<int64> textColour;
    classOptionalValue<int64> colourOverride;
    classOptionalValue<int64> fontOverride;
    D3DXVECTOR3 textCursor{};
    int64 indent = 0;
    int64 characterCount = 0;
    int64 textTime = 0;
    D3DMATRIX worldMatrix = IdentityMatrix();
    D3DMATRIX drawMatrix = IdentityMatrix();  // equals worldMatrix after every update
    float transmittance = 0.0f;               // 0 opaque … 1 invisible
    float rate = 1.0f;                        // time scale of the slots
    u32 lastUpdateTime = 0;                   // 0: never updated
    // Device targets (opaque handles of the graphics device, 0 = none) kept
    // while a root draws into its own target.
    u64 savedRenderTarget = 0;
    u64 savedDepthStencil = 0;
    u8 lineStart = 0;
    D3DXVECTOR3 hitOffset{};  // parent's hitOffset + every slot's Position
    int32 movieWaitCount = 0;
    // 1 from a "GraphicPlay" on this object until a stop or pause of it or a
    // new texture; never saved, so a made or restored object starts at 0 and
    // its movie holds no wait until it is played, whatever another object
    // showing the same file does.
    u8 movieStarted = 0;
    u8 singleLine = 0;
    u64 thumbnailTarget = 0;
    std::string text;
    std::deque<classTextRequest> textRequests;
    std::map<classKey64, classGraphicSlot> slots;
    std::map<classKey64, classGraphicObject> children;
    std::map<classKey64, classGraphicObject> characters;

  private:
    void CopyPlainFields(const classGraphicObject& source);
    bool ReplaceTexture(int32 kind, const std::string& name, int64 param, u8 unique);
};
