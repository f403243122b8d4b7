// Execution of the graphic records and the transition, on the render thread
// inside a queue's execution (application lock and g_queueLock held). Each
// graphic record acts on context->currentRoot: the main scene, the overlay
// (null while no transition runs) or nothing for a record without a scene. A
// missing object makes a record do nothing; nothing is ever reported.
#include <atomic>

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"
#include "presentation/truncate.h"

namespace {

std::atomic<QueMovieRequester> g_movieRequester{nullptr};

// The application's text settings, or their start values without one.
struct TextSettings {
    int64 color = 0xFFFFFF;
    int64 speed = 100;
    int64 requestValue = 300;
    int64 autoSpeed = 1000;
};

TextSettings CurrentTextSettings() {
    TextSettings settings;
    if (classApplication* application = GetApplication()) {
        settings.color = application->textColor.load();
        settings.speed = application->textSpeed.load();
        settings.requestValue = application->textRequestValue.load();
        settings.autoSpeed = application->autoSpeed.load();
    }
    return settings;
}

classGraphicObject* Find(classQueContext* context, const QuePath& path) {
    if (context == nullptr || path.empty()) return nullptr;
    return classGraphicObject::FindByPath(context->currentRoot, path);
}

classGraphicObject* Create(classQueContext* context, const QuePath& path) {
    if (context == nullptr || path.empty()) return nullptr;
    return classGraphicObject::CreateAtPath(context->currentRoot, path);
}

// Copies the fields the script gave; the others keep the slot's values.
void ApplySlotFields(const classQueSlotFields& f, classGraphicSlot& slot) {
    if (f.time.IsSet()) slot.Time = f.time.Get();
    if (f.startDelay.IsSet()) slot.StartDelay = f.startDelay.Get();
    if (f.delay.IsSet()) slot.Delay = f.delay.Get();
    if (f.afterDelay.IsSet()) slot.AfterDelay = f.afterDelay.Get();
    if (f.timeGainStart.IsSet()) slot.TimeGainStart = f.timeGainStart.Get();
    if (f.timeGainEnd.IsSet()) slot.TimeGainEnd = f.timeGainEnd.Get();
    if (f.loop.IsSet()) slot.Loop = f.loop.Get();
    if (f.autoDeleteFlag.IsSet()) slot.AutoDeleteFlag = f.autoDeleteFlag.Get();
    if (f.position.IsSet()) slot.Position = f.position.Get();
    if (f.scale.IsSet()) slot.Scale = f.scale.Get();
    if (f.roll.IsSet()) slot.Roll = f.roll.Get();
    if (f.transmittance.IsSet()) slot.Transmittance = f.transmittance.Get();
    if (f.rate.IsSet()) slot.Rate = f.rate.Get();
    if (f.positionCenter.IsSet()) slot.PositionCenter = f.positionCenter.Get();
    if (f.scaleCenter.IsSet()) slot.ScaleCenter = f.scaleCenter.Get();
    if (f.rollCenter.IsSet()) slot.RollCenter = f.rollCenter.Get();
    if (f.rollAxis.IsSet()) slot.RollAxis = f.rollAxis.Get();
    if (f.positionGainStart.IsSet()) slot.PositionGainStart = f.positionGainStart.Get();
    if (f.positionGainEnd.IsSet()) slot.PositionGainEnd = f.positionGainEnd.Get();
    if (f.scaleGainStart.IsSet()) slot.ScaleGainStart = f.scaleGainStart.Get();
    if (f.scaleGainEnd.IsSet()) slot.ScaleGainEnd = f.scaleGainEnd.Get();
}

void FinishSlotsInTree(classGraphicObject& object) {
    for (auto& [key, slot] : object.slots) slot.Finish();
    for (auto& [key, child] : object.children) FinishSlotsInTree(child);
    for (auto& [key, character] : object.characters) FinishSlotsInTree(character);
}

// Characters of drawn text, and characters of those; ordinary objects' own
// slots stay as they are.
void FinishCharacterSlots(classGraphicObject& object) {
    for (auto& [key, character] : object.characters) {
        for (auto& [slotKey, slot] : character.slots) slot.Finish();
        FinishCharacterSlots(character);
    }
    for (auto& [key, child] : object.children) FinishCharacterSlots(child);
}

void RequestMovie(classQueContext* context, const QuePath& path, QueMovieRequest request) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr || object->texture == nullptr) return;
    if (object->GetTextureKind() != TextureKind_Movie) return;
    object->movieStarted = request == QueMovieRequest::Play ? 1 : 0;
    if (QueMovieRequester requester = g_movieRequester.load()) requester(object->texture, request);
}

}  // namespace

void SetQueMovieRequester(QueMovieRequester requester) {
    g_movieRequester.store(requester);
}
QueMovieRequester GetQueMovieRequester() {
    return g_movieRequester.load();
}

int32 classQue_GraphicCreateText::Execute(classQueContext* context) {
    classGraphicObject* object = Create(context, path);
    if (object == nullptr) return 0;
    const int64 font = static_cast<int64>((static_cast<u64>(textParam[1]) << 32) | textParam[0]);
    const int64 colour = static_cast<int64>((static_cast<u64>(textParam[3]) << 32) | textParam[2]);
    object->SetTextTexture(textName, font, colour);
    object->SetHidden(hidden.IsSet() ? hidden.Get() : 0);
    return 0;
}

int32 classQue_GraphicStdOutText::Execute(classQueContext* context) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr) return 0;
    const TextSettings settings = CurrentTextSettings();
    classTextRequest request;
    request.text = text;
    // Font numbers are 32-bit: a larger script value keeps its low word.
    request.fontNumber =
        fontNo.IsSet() ? static_cast<int64>(static_cast<int32>(static_cast<u32>(fontNo.Get()))) : 0;
    request.colour = color.IsSet() ? color.Get() : settings.color;
    const double factor = drawSpeed.IsSet() ? static_cast<double>(drawSpeed.Get()) : 1.0;
    request.speed = TruncToI64(static_cast<double>(settings.speed) * factor);
    request.fadeMode = 1;
    request.fadeTime = settings.requestValue;
    request.repeat = 0;
    request.repeatPeriod = settings.autoSpeed;
    object->AddTextRequest(request);
    return 0;
}

int32 classQue_GraphicStdOutTextX::Execute(classQueContext* context) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr) return 0;
    if (singleLine.IsSet()) object->singleLine = singleLine.Get();
    classTextRequest request;
    request.text = text;
    request.fontNumber = fontNo.IsSet() ? fontNo.Get() : 0;
    request.colour = color.IsSet() ? color.Get() : CurrentTextSettings().color;
    request.speed = speed.Get();
    request.fadeMode = fadeMode.Get();
    request.fadeTime = fadeTime.Get();
    request.repeat = repeat.Get();
    request.repeatPeriod = repeatPeriod.Get();
    object->AddTextRequest(request);
    return 0;
}

int32 classQue_GraphicCreate::Execute(classQueContext* context) {
    Create(context, path);
    return 0;
}

int32 classQue_GraphicAlter::Execute(classQueContext* context) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr) return 0;
    if (!fileName.empty()) object->SetFileTexture(fileName);
    if (classGraphicSlot* base = object->FindSlot(0)) {
        if (x.IsSet()) base->Position.x = x.Get();
        if (y.IsSet()) base->Position.y = y.Get();
        if (z.IsSet()) base->Position.z = z.Get();
        if (transmittance.IsSet()) base->Transmittance = transmittance.Get();
    }
    if (hide.IsSet()) object->SetHidden(hide.Get());
    if (stencil.IsSet()) object->Stencil = stencil.Get();
    if (vertexShader.IsSet()) object->SetVertexShader(vertexShader.Get());
    if (pixelShader.IsSet()) object->SetPixelShader(pixelShader.Get());
    return 0;
}

int32 classQue_GraphicAlter_Movie::Execute(classQueContext* context) {
    if (classGraphicObject* object = Find(context, path)) object->SetMovieTexture(fileName);
    return 0;
}

int32 classQue_GraphicAlter_PlayDataThumbnail::Execute(classQueContext* context) {
    if (classGraphicObject* object = Create(context, path)) object->SetThumbnailTexture(fileName);
    return 0;
}

int32 classQue_GraphicFilter::Execute(classQueContext* context) {
    if (classGraphicObject* object = Create(context, path)) object->SetFilterTexture(pixelShader);
    return 0;
}

int32 classQue_GraphicDelete::Execute(classQueContext* context) {
    // An empty path would name the root itself, which a script may never delete.
    if (classGraphicObject* object = Find(context, path)) classGraphicObject::Delete(object);
    return 0;
}

int32 classQue_GraphicAllDelete::Execute(classQueContext* context) {
    if (context == nullptr || context->currentRoot == nullptr) return 0;
    context->currentRoot->children.clear();
    // A restart empties the main scene, and its filter goes with it.
    if (context->mainScene != nullptr && context->currentRoot == *context->mainScene)
        scene_draw::SettleSceneFilter(context->currentRoot);
    return 0;
}

int32 classQue_PageFeed::Execute(classQueContext* context) {
    if (classGraphicObject* object = Find(context, path)) object->ClearText();
    return 0;
}

int32 classQue_GraphicStirSlotSet::Execute(classQueContext* context) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr) return 0;
    int64 key = 1;
    if (no.IsSet()) {
        key = no.Get();
    } else if (!object->slots.empty()) {
        // Wraps instead of overflowing past the largest key.
        key = static_cast<int64>(static_cast<u64>(object->slots.rbegin()->first.Value()) + 1);
    }
    classGraphicSlot slot{classKey64(key)};
    ApplySlotFields(fields, slot);
    object->slots.insert_or_assign(classKey64(key), slot);
    return 0;
}

int32 classQue_GraphicStirSlotChange::Execute(classQueContext* context) {
    classGraphicObject* object = Find(context, path);
    if (object == nullptr) return 0;
    if (classGraphicSlot* slot = object->FindSlot(no)) ApplySlotFields(fields, *slot);
    return 0;
}

int32 classQue_GraphicStirSlotDelete::Execute(classQueContext* context) {
    if (classGraphicObject* object = Find(context, path)) object->slots.erase(classKey64(no));
    return 0;
}

int32 classQue_GraphicStirSlotAllFinish::Execute(classQueContext* context) {
    if (context != nullptr && context->currentRoot != nullptr) FinishSlotsInTree(*context->currentRoot);
    return 0;
}

int32 classQue_GraphicStdTextDrawingAllFinish::Execute(classQueContext* context) {
    if (context != nullptr && context->currentRoot != nullptr) FinishCharacterSlots(*context->currentRoot);
    return 0;
}

int32 classQue_GraphicMoviePlay::Execute(classQueContext* context) {
    RequestMovie(context, path, QueMovieRequest::Play);
    return 0;
}

int32 classQue_GraphicMovieStop::Execute(classQueContext* context) {
    RequestMovie(context, path, QueMovieRequest::Stop);
    return 0;
}

int32 classQue_GraphicMoviePouse::Execute(classQueContext* context) {
    RequestMovie(context, path, QueMovieRequest::Pause);
    return 0;
}

int32 classQue_Transition::Execute(classQueContext* context) {
    if (context == nullptr || context->overlayScene == nullptr) return 0;
    classGraphicObject*& overlay = *context->overlayScene;
    // A running transition is cut off by the next one.
    if (overlay != nullptr) {
        classGraphicObject::Delete(overlay);
        overlay = nullptr;
        scene_draw::EndOverlayFilter();
    }
    if (time <= 0) return 0;
    classGraphicObject* main = context->mainScene != nullptr ? *context->mainScene : nullptr;
    if (main == nullptr) return 0;

    classGraphicObject* root = classGraphicObject::New();
    classGraphicObject::CopyTree(root, main);
    root->parent = nullptr;
    root->SetTransitionTexture();
    root->SetHidden(0);
    // The copy fades from its own start value to invisible over `time`; the
    // scene update deletes it when it gets there.
    classGraphicSlot& fade = *root->GetOrCreateSlot(0);
    fade.Transmittance = 1.0f;
    fade.Time = time;
    fade.StartDelay = 0;
    fade.Delay = 0;
    fade.AfterDelay = 0;
    fade.TimeGainStart = 1.0f;
    fade.TimeGainEnd = 1.0f;
    fade.Loop = 1;
    root->SetPixelShader(":Transition.CrossDissolveAlphaIgnore");
    overlay = root;
    // The old screen fades out under the filter it was shown with.
    scene_draw::BeginOverlayFilter();
    return 0;
}
