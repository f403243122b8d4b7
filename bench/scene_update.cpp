// Cost of one scene update: a screen of 40 pictures, each with a running
// slot, and a text box of 400 characters with their three slots each, as a
// full page of text leaves it.
#include <benchmark/benchmark.h>

#include "presentation/graphic_object.h"

namespace {

classGraphicObject* BuildScene() {
    classGraphicObject* root = classGraphicObject::New();
    for (int64 i = 0; i < 40; ++i) {
        classGraphicObject* picture = classGraphicObject::CreateAtPath(root, &i, 1);
        classGraphicSlot* slot = picture->GetOrCreateSlot(1);
        slot->Time = 1000;
        slot->Loop = -1;
        slot->Roll = 1.0f;
        slot->Scale = {1.5f, 1.5f, 1.0f};
        slot->Position = {100.0f, 50.0f, 0.0f};
    }
    const int64 boxKey = 100;
    classGraphicObject* box = classGraphicObject::CreateAtPath(root, &boxKey, 1);
    for (int64 c = 0; c < 400; ++c) {
        classGraphicObject* character = classGraphicObject::CreateCharacterAtPath(box, &c, 1);
        character->GetOrCreateSlot(0)->Position = {static_cast<float>(c % 40) * 24.0f,
                                                   -static_cast<float>(c / 40) * 44.0f, 0.0f};
        classGraphicSlot* hold = character->GetOrCreateSlot(1);
        hold->Transmittance = 1.0f;
        hold->Loop = 1;
        hold->Time = 0;
        hold->StartDelay = c * 30;
        classGraphicSlot* fade = character->GetOrCreateSlot(2);
        fade->Transmittance = -1.0f;
        fade->Loop = 1;
        fade->Time = 300;
        fade->StartDelay = c * 30;
    }
    return root;
}

void BM_SceneUpdate(benchmark::State& state) {
    classGraphicObject* root = BuildScene();
    u32 now = 1;
    for (auto _ : state) {
        classGraphicObject::UpdateFrame(root, now);
        now += 16;
    }
    state.SetItemsProcessed(state.iterations() * 441);
    classGraphicObject::Delete(root);
}
BENCHMARK(BM_SceneUpdate);

void BM_CopySceneForTransition(benchmark::State& state) {
    classGraphicObject* root = BuildScene();
    for (auto _ : state) {
        classGraphicObject* overlay = classGraphicObject::New();
        classGraphicObject::CopyTree(overlay, root);
        classGraphicObject::Delete(overlay);
    }
    classGraphicObject::Delete(root);
}
BENCHMARK(BM_CopySceneForTransition);

}  // namespace
