// The per-frame advance of a scene tree and its walk in draw order.
#include "presentation/graphic_object.h"
#include "presentation/scene_draw.h"
#include "presentation/truncate.h"

namespace {

void UpdateObject(classGraphicObject* object, int64 elapsed) {
    classSceneServices& services = GetSceneServices();
    // Only the object's own flag holds its text back: a box inside a hidden
    // window goes on laying out what is written into it, so the text has
    // advanced by the time the window is shown.
    if (object->hidden == 0 && services.DrawTextStep(*object)) NoteSceneChange();

    const classGraphicObject* parent = object->parent;
    object->hitOffset = parent != nullptr ? parent->hitOffset : D3DXVECTOR3{};

    classSlotAccumulator accumulator;
    // The rate left by the previous update scales this frame's time.
    const int64 scaled = TruncToI64(static_cast<double>(elapsed) * static_cast<double>(object->rate));
    for (auto it = object->slots.begin(); it != object->slots.end();) {
        classGraphicSlot& slot = it->second;
        slot.AdvanceTime(scaled);
        slot.Apply(accumulator);
        object->hitOffset.x += slot.Position.x;
        object->hitOffset.y += slot.Position.y;
        object->hitOffset.z += slot.Position.z;
        if (slot.IsFinishedAutoDelete()) {
            it = object->slots.erase(it);
        } else {
            ++it;
        }
    }

    // Under a transition capture the children are drawn into the capture,
    // whose own transform is applied once when the capture is shown.
    if (parent != nullptr && parent->GetTextureKind() != TextureKind_TransitionCapture) {
        accumulator.matrix = accumulator.matrix * parent->worldMatrix;
    }
    object->worldMatrix = accumulator.matrix;
    object->drawMatrix = accumulator.matrix;
    object->transmittance = accumulator.transmittance;
    object->rate = accumulator.rate < 0.0f ? 0.0f : accumulator.rate;

    if (object->texture != nullptr && services.TextureKindOf(object->texture) == TextureKind_Movie) {
        services.ApplyMovieRequests(object->texture);
    }

    for (auto& [key, child] : object->children) UpdateObject(&child, elapsed);
    for (auto& [key, character] : object->characters) UpdateObject(&character, elapsed);
}

}  // namespace

void classGraphicObject::UpdateFrame(classGraphicObject* root, u32 now) {
    if (root == nullptr) return;
    // The clock wraps every 49.7 days; the unsigned difference stays right across it.
    const u32 elapsed = root->lastUpdateTime == 0 ? 0u : static_cast<u32>(now - root->lastUpdateTime);
    Update(root, static_cast<int64>(elapsed));
    root->lastUpdateTime = now;
}

void classGraphicObject::Update(classGraphicObject* object, int64 elapsed) {
    if (object == nullptr) return;
    UpdateObject(object, elapsed);
}

void classGraphicObject::WalkDrawOrder(classGraphicObject* object, classGraphicDrawVisitor& visitor) {
    if (object == nullptr || object->hidden != 0) return;
    auto firstOver = object->children.lower_bound(classKey64(0));
    for (auto it = object->children.begin(); it != firstOver; ++it) WalkDrawOrder(&it->second, visitor);
    visitor.DrawObject(*object);
    for (auto it = firstOver; it != object->children.end(); ++it) WalkDrawOrder(&it->second, visitor);
    for (auto& [key, character] : object->characters) WalkDrawOrder(&character, visitor);
}
