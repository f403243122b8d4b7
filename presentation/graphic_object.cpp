#include "presentation/graphic_object.h"

#include <limits>

namespace {

classSceneServices& Services() {
    return GetSceneServices();
}

}  // namespace

classGraphicObject::classGraphicObject() {
    Clear();
}

classGraphicObject::classGraphicObject(classGraphicObject* parentObject, classKey64 keyValue) {
    Clear();
    parent = parentObject;
    key = keyValue;
}

classGraphicObject::~classGraphicObject() {
    Clear();
}

classGraphicObject* classGraphicObject::New() {
    return new classGraphicObject();
}

void classGraphicObject::Clear() {
    ReleaseTexture();
    characters.clear();
    text.clear();
    textRequests.clear();
    children.clear();
    ReleaseVertexShader();
    ReleasePixelShader();
    key = classKey64();
    parent = nullptr;
    hidden = 0;
    Stencil = 0;
    textColour = classOptionalValue<int64>();
    colourOverride = classOptionalValue<int64>();
    fontOverride = classOptionalValue<int64>();
    textCursor = D3DXVECTOR3{};
    indent = 0;
    characterCount = 0;
    textTime = 0;
    worldMatrix = IdentityMatrix();
    drawMatrix = IdentityMatrix();
    transmittance = 0.0f;
    rate = 1.0f;
    lastUpdateTime = 0;
    savedRenderTarget = 0;
    savedDepthStencil = 0;
    lineStart = 0;
    hitOffset = D3DXVECTOR3{};
    movieWaitCount = 0;
    movieStarted = 0;
    singleLine = 0;
    thumbnailTarget = 0;
    slots.clear();
    slots.try_emplace(classKey64(0), classKey64(0));
}

// ---------------------------------------------------------------- finding

namespace {

using ObjectSet = std::map<classKey64, classGraphicObject>;

classGraphicObject* FindIn(classGraphicObject* root, const int64* keys, int64 count,
                           ObjectSet classGraphicObject::*set) {
    if (root == nullptr || keys == nullptr || count <= 0) return nullptr;
    classGraphicObject* current = root;
    for (int64 i = 0; i < count; ++i) {
        ObjectSet& objects = current->*set;
        auto found = objects.find(classKey64(keys[i]));
        if (found == objects.end()) return nullptr;
        current = &found->second;
    }
    return current;
}

// Every key but the last walks `set`, creating a missing object; the last is
// made fresh, replacing what stood there.
classGraphicObject* CreateIn(classGraphicObject* root, const int64* keys, int64 count,
                             ObjectSet classGraphicObject::*set) {
    if (root == nullptr || keys == nullptr || count <= 0 || count > classGraphicObject::kMaxPathDepth)
        return nullptr;
    classGraphicObject* current = root;
    for (int64 i = 0; i + 1 < count; ++i) {
        const classKey64 step(keys[i]);
        auto [where, inserted] = (current->*set).try_emplace(step, current, step);
        current = &where->second;
    }
    const classKey64 last(keys[count - 1]);
    ObjectSet& objects = current->*set;
    objects.erase(last);
    auto [where, inserted] = objects.try_emplace(last, current, last);
    return &where->second;
}

}  // namespace

classGraphicObject* classGraphicObject::FindByPath(classGraphicObject* root, const int64* keys, int64 count) {
    return FindIn(root, keys, count, &classGraphicObject::children);
}

classGraphicObject* classGraphicObject::FindByPath(classGraphicObject* root, const std::vector<int64>& keys) {
    return FindByPath(root, keys.data(), static_cast<int64>(keys.size()));
}

classGraphicObject* classGraphicObject::FindCharacterByPath(classGraphicObject* root, const int64* keys,
                                                            int64 count) {
    return FindIn(root, keys, count, &classGraphicObject::characters);
}

u8 classGraphicObject::IsHiddenInTree(const classGraphicObject* object) {
    if (object == nullptr) return 0;
    if (object->hidden != 0) return object->hidden;
    for (const classGraphicObject* up = object->parent; up != nullptr; up = up->parent) {
        if (up->hidden == 1) return 1;
    }
    return 0;
}

void classGraphicObject::GetPath(const classGraphicObject* object, std::vector<int64>& keys) {
    std::vector<int64> path;
    for (const classGraphicObject* at = object; at != nullptr; at = at->parent)
        path.push_back(at->key.Value());
    keys.insert(keys.begin(), path.rbegin(), path.rend());
}

int64 classGraphicObject::NextCharacterKey() const {
    if (characters.empty()) return 0;
    const int64 largest = characters.rbegin()->first.Value();
    // The largest key plus one, without signed overflow at the very top.
    return static_cast<int64>(static_cast<u64>(largest) + 1u);
}

int32 classGraphicObject::GetTextureKind() const {
    return texture == nullptr ? TextureKind_None : Services().TextureKindOf(texture);
}

// ---------------------------------------------------------------- creating and deleting

classGraphicObject* classGraphicObject::CreateAtPath(classGraphicObject* root, const int64* keys,
                                                     int64 count) {
    return CreateIn(root, keys, count, &classGraphicObject::children);
}

classGraphicObject* classGraphicObject::CreateAtPath(classGraphicObject* root,
                                                     const std::vector<int64>& keys) {
    return CreateAtPath(root, keys.data(), static_cast<int64>(keys.size()));
}

classGraphicObject* classGraphicObject::CreateCharacterAtPath(classGraphicObject* root, const int64* keys,
                                                              int64 count) {
    return CreateIn(root, keys, count, &classGraphicObject::characters);
}

void classGraphicObject::Delete(classGraphicObject* object) {
    if (object == nullptr) return;
    classGraphicObject* owner = object->parent;
    if (owner == nullptr) {
        delete object;
        return;
    }
    auto found = owner->children.find(object->key);
    if (found != owner->children.end() && &found->second == object) {
        owner->children.erase(found);
        return;
    }
    // The key field can only disagree with the map for an object whose key a
    // caller changed; fall back to the search by address.
    for (auto it = owner->children.begin(); it != owner->children.end(); ++it) {
        if (&it->second == object) {
            owner->children.erase(it);
            return;
        }
    }
}

void classGraphicObject::CopyPlainFields(const classGraphicObject& source) {
    key = source.key;
    texture = source.texture;
    vertexShader = source.vertexShader;
    pixelShader = source.pixelShader;
    parent = source.parent;
    hidden = source.hidden;
    Stencil = source.Stencil;
    textColour = source.textColour;
    colourOverride = source.colourOverride;
    fontOverride = source.fontOverride;
    textCursor = source.textCursor;
    indent = source.indent;
    characterCount = source.characterCount;
    textTime = source.textTime;
    worldMatrix = source.worldMatrix;
    drawMatrix = source.drawMatrix;
    transmittance = source.transmittance;
    rate = source.rate;
    lastUpdateTime = source.lastUpdateTime;
    // Device targets belong to the scene that is drawing into them; a copy
    // sharing them would restore or release them a second time.
    savedRenderTarget = 0;
    savedDepthStencil = 0;
    lineStart = source.lineStart;
    hitOffset = source.hitOffset;
    movieWaitCount = source.movieWaitCount;
    movieStarted = source.movieStarted;
    singleLine = source.singleLine;
    thumbnailTarget = 0;
}

bool classGraphicObject::CopyTree(classGraphicObject* destination, const classGraphicObject* source) {
    if (destination == nullptr || source == nullptr) return false;
    if (destination == source) return true;
    // What the destination held is dropped first, so copying over a used
    // object neither leaks its references nor keeps children the source lacks.
    destination->ReleaseTexture();
    destination->ReleaseVertexShader();
    destination->ReleasePixelShader();
    destination->children.clear();
    destination->characters.clear();
    destination->text.clear();
    destination->textRequests.clear();

    destination->CopyPlainFields(*source);
    classSceneServices& services = Services();
    if (destination->texture != nullptr) services.AddRefTexture(destination->texture);
    if (destination->vertexShader != nullptr) services.AddRefShader(destination->vertexShader);
    if (destination->pixelShader != nullptr) services.AddRefShader(destination->pixelShader);
    destination->slots = source->slots;

    for (const auto& [childKey, child] : source->children) {
        const int64 k = childKey.Value();
        classGraphicObject* copy = CreateAtPath(destination, &k, 1);
        CopyTree(copy, &child);
        copy->parent = destination;
    }
    for (const auto& [characterKey, character] : source->characters) {
        const int64 k = characterKey.Value();
        classGraphicObject* copy = CreateCharacterAtPath(destination, &k, 1);
        CopyTree(copy, &character);
        copy->parent = destination;
    }
    return true;
}

// ---------------------------------------------------------------- changing

void classGraphicObject::ReleaseTexture() {
    if (texture == nullptr) return;
    classSharedResource* old = texture;
    texture = nullptr;
    Services().ReleaseTexture(old);
}

bool classGraphicObject::ReplaceTexture(int32 kind, const std::string& name, int64 param, u8 unique) {
    // A new texture is a new movie (or none): it waits for its own "GraphicPlay".
    movieStarted = 0;
    // A movie given again starts from its first picture: the old resource is
    // let go first, so when this object was its only holder its player goes
    // with it and the acquire opens a new one.
    if (kind == TextureKind_Movie) {
        ReleaseTexture();
        texture = Services().AcquireTexture(kind, name, param, unique);
        return true;
    }
    // Anything else is acquired before releasing: when the new key equals the
    // old one the resource keeps its realised tiles instead of being rebuilt.
    classSharedResource* fresh = Services().AcquireTexture(kind, name, param, unique);
    ReleaseTexture();
    texture = fresh;
    return true;
}

bool classGraphicObject::SetFileTexture(const std::string& file) {
    if (texture != nullptr && Services().TextureKindOf(texture) == TextureKind_ImageFile &&
        Services().TextureNameOf(texture) == file) {
        return true;
    }
    return ReplaceTexture(TextureKind_ImageFile, file, 0, 0);
}

bool classGraphicObject::SetMovieTexture(const std::string& file) {
    return ReplaceTexture(TextureKind_Movie, file, 0, 0);
}

bool classGraphicObject::SetTextTexture(const std::string& name, int64 font, int64 colour) {
    textColour.Set(colour);
    classSceneServices& services = Services();
    if (texture != nullptr && services.TextureKindOf(texture) == TextureKind_Text &&
        services.TextureNameOf(texture) == name && services.TextureParamOf(texture) == font) {
        return true;
    }
    return ReplaceTexture(TextureKind_Text, name, font, 0);
}

bool classGraphicObject::SetTransitionTexture() {
    return ReplaceTexture(TextureKind_TransitionCapture, "", 0, 0);
}

bool classGraphicObject::SetFilterTexture(const std::string& pixelShaderName) {
    return ReplaceTexture(TextureKind_Filter, pixelShaderName, 0, 0);
}

bool classGraphicObject::SetThumbnailTexture(const std::string& playDataFile) {
    return ReplaceTexture(TextureKind_PlayDataThumbnail, playDataFile, 0, 0);
}

bool classGraphicObject::SetThumbnailCaptureTexture() {
    return ReplaceTexture(TextureKind_ThumbnailCapture, "", 0, 0);
}

bool classGraphicObject::SetTexture(int32 kind, const std::string& name, int64 param, u8 unique) {
    if (kind == TextureKind_None) {
        ReleaseTexture();
        return true;
    }
    return ReplaceTexture(kind, name, param, unique);
}

void classGraphicObject::ReleasePixelShader() {
    if (pixelShader == nullptr) return;
    classShaderResource* old = pixelShader;
    pixelShader = nullptr;
    Services().ReleaseShader(old);
}

void classGraphicObject::ReleaseVertexShader() {
    if (vertexShader == nullptr) return;
    classShaderResource* old = vertexShader;
    vertexShader = nullptr;
    Services().ReleaseShader(old);
}

bool classGraphicObject::SetPixelShader(const std::string& name) {
    ReleasePixelShader();
    pixelShader = Services().AcquireShader(kPixelShaderKind, name);
    return pixelShader != nullptr;
}

bool classGraphicObject::SetVertexShader(const std::string& name) {
    ReleaseVertexShader();
    vertexShader = Services().AcquireShader(kVertexShaderKind, name);
    return vertexShader != nullptr;
}

bool classGraphicObject::ClearText() {
    characters.clear();
    text.clear();
    textRequests.clear();
    characterCount = 0;
    textTime = 0;
    textCursor = D3DXVECTOR3{};
    indent = 0;
    lineStart = 1;
    return true;
}

bool classGraphicObject::TextNewLine() {
    if (singleLine != 0) return false;
    const int64 fontNumber = texture != nullptr ? Services().TextureParamOf(texture) : 0;
    const int64 height = Services().FontHeight(fontNumber);
    // |INT64_MIN| does not exist; such a height is nonsense anyway.
    const double drop = (height < 0 ? -static_cast<double>(height) : static_cast<double>(height)) + 20.0;
    textCursor.x = static_cast<float>(indent);
    textCursor.y = static_cast<float>(static_cast<double>(textCursor.y) - drop);
    lineStart = 1;
    return true;
}

classGraphicSlot* classGraphicObject::FindSlot(classKey64 slotKey) {
    auto found = slots.find(slotKey);
    return found == slots.end() ? nullptr : &found->second;
}

classGraphicSlot* classGraphicObject::InsertSlot(classKey64 slotKey) {
    auto [where, inserted] = slots.try_emplace(slotKey, slotKey);
    return inserted ? &where->second : nullptr;
}

classGraphicSlot* classGraphicObject::GetOrCreateSlot(classKey64 slotKey) {
    return &slots.try_emplace(slotKey, slotKey).first->second;
}

bool classGraphicObject::IsBusy() {
    for (const auto& [slotKey, slot] : slots) {
        if (slot.Loop >= 0 && !slot.IsFinished()) return true;
    }
    if (texture == nullptr || Services().TextureKindOf(texture) != TextureKind_Movie) return false;
    // A movie cued on its first picture, or restored by a load, is not
    // playing: waiting for it would never end.
    if (movieStarted == 0) return false;
    if (!Services().HasMovieGraph(texture)) {
        // The graph comes with the first draw. A hidden object is not drawn,
        // so its movie never starts: waiting for it would only stall.
        if (IsHiddenInTree(this) != 0) return false;
        if (movieWaitCount < std::numeric_limits<int32>::max()) ++movieWaitCount;
        return movieWaitCount <= 1000;
    }
    return Services().IsMoviePlaying(texture);
}
