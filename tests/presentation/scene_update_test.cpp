// The per-frame advance of a scene: slot time scaled by the object's rate,
// combined transforms, transmittance, hit offsets, and the walk in draw order.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_subsystem.h"
#include "support/presentation/fake_scene_services.h"

namespace {

struct RootDeleter {
    void operator()(classGraphicObject* root) const { classGraphicObject::Delete(root); }
};
using Root = std::unique_ptr<classGraphicObject, RootDeleter>;

classGraphicObject* Create(classGraphicObject* root, std::vector<int64> path) {
    return classGraphicObject::CreateAtPath(root, path);
}

D3DXVECTOR3 World(const classGraphicObject* object, D3DXVECTOR3 v) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &object->worldMatrix);
    return out;
}

void ExpectNear(const D3DXVECTOR3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-3f);
    EXPECT_NEAR(actual.y, y, 1e-3f);
    EXPECT_NEAR(actual.z, z, 1e-3f);
}

classGraphicSlot* Timed(classGraphicObject* object, int64 key, int64 time, int64 loop) {
    classGraphicSlot* slot = object->GetOrCreateSlot(key);
    slot->Time = time;
    slot->Loop = loop;
    return slot;
}

TEST(SceneUpdate, ChildTransformsComeBeforeTheParents) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    classGraphicObject* parent = Create(root.get(), {1});
    parent->GetOrCreateSlot(0)->Position = {1000.0f, 0.0f, 0.0f};
    parent->GetOrCreateSlot(1)->Scale = {2.0f, 2.0f, 2.0f};
    classGraphicObject* child = Create(root.get(), {1, 2});
    child->GetOrCreateSlot(0)->Position = {10.0f, 0.0f, 0.0f};
    classGraphicObject::UpdateFrame(root.get(), 5000);
    // (1, 0) → child (11, 0) → the parent's scale (22, 0) → its position (1022, 0).
    ExpectNear(World(child, {1.0f, 0.0f, 0.0f}), 1022.0f, 0.0f, 0.0f);
    EXPECT_EQ(child->drawMatrix, child->worldMatrix);

    // Under a transition capture the parent's transform is left out: the
    // capture is shown with it later.
    parent->SetTransitionTexture();
    classGraphicObject::UpdateFrame(root.get(), 5016);
    ExpectNear(World(child, {1.0f, 0.0f, 0.0f}), 11.0f, 0.0f, 0.0f);
}

TEST(SceneUpdate, TransmittanceRateAndHitOffsetFromTheSlots) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    root->GetOrCreateSlot(0)->Position = {10.0f, 20.0f, 0.0f};
    classGraphicObject* o = Create(root.get(), {3});
    o->GetOrCreateSlot(0)->Position = {1.0f, 2.0f, 3.0f};
    o->GetOrCreateSlot(0)->Transmittance = 0.25f;
    o->GetOrCreateSlot(1)->Transmittance = 0.25f;
    classGraphicSlot* waiting = Timed(o, 2, 1000, 1);
    waiting->StartDelay = 5000;
    waiting->Position = {100.0f, 0.0f, 0.0f};
    classGraphicObject::UpdateFrame(root.get(), 100);
    classGraphicObject::UpdateFrame(root.get(), 116);
    EXPECT_TRUE(waiting->IsInStartPhase());
    EXPECT_FLOAT_EQ(o->transmittance, 0.5f);
    // The hit offset adds each slot's full Position, also of a slot still waiting.
    EXPECT_EQ(o->hitOffset, (D3DXVECTOR3{111.0f, 22.0f, 3.0f}));
    ExpectNear(World(o, {}), 11.0f, 22.0f, 3.0f);
}

TEST(SceneUpdate, TheRateOfOneFrameScalesTheNext) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    classGraphicObject* o = Create(root.get(), {1});
    o->GetOrCreateSlot(1)->Rate = 1.0f;  // finished, so at its target: rate 1 + 1
    classGraphicSlot* running = Timed(o, 2, 1000, 1);
    classGraphicObject::UpdateFrame(root.get(), 1000);  // first frame: no time passes
    EXPECT_EQ(o->rate, 2.0f);
    EXPECT_EQ(running->remaining, 0);
    classGraphicObject::UpdateFrame(root.get(), 1100);
    EXPECT_EQ(running->remaining, 800);  // 100 ms at twice the speed

    // A sum below zero stops the slots instead of running them backwards.
    o->GetOrCreateSlot(1)->Rate = -3.0f;
    classGraphicObject::UpdateFrame(root.get(), 1200);
    EXPECT_EQ(running->remaining, 600);  // this frame still ran at the old rate
    EXPECT_EQ(o->rate, 0.0f);
    classGraphicObject::UpdateFrame(root.get(), 1300);
    EXPECT_EQ(running->remaining, 600);
}

TEST(SceneUpdate, ElapsedTimeAcrossTheClockWrap) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    classGraphicSlot* slot = Timed(root.get(), 1, 100000, 1);
    classGraphicObject::UpdateFrame(root.get(), 0xFFFFFF00u);
    EXPECT_EQ(slot->remaining, 0);
    EXPECT_EQ(root->lastUpdateTime, 0xFFFFFF00u);
    classGraphicObject::UpdateFrame(root.get(), 0x100u);
    EXPECT_EQ(slot->remaining, 100000 - 0x200);
    classGraphicObject::UpdateFrame(nullptr, 5);
}

TEST(SceneUpdate, FinishedAutoDeleteSlotsGoAndOnlyAHiddenObjectItselfLaysOutNoText) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    classGraphicObject* shown = Create(root.get(), {1});
    classGraphicObject* hidden = Create(root.get(), {2});
    classGraphicObject* under = Create(root.get(), {2, 1});
    hidden->SetHidden(1);
    classGraphicSlot* once = Timed(shown, 5, 50, 1);
    once->AutoDeleteFlag = 1;
    once->Position = {7.0f, 0.0f, 0.0f};
    Timed(shown, 6, 500, 1)->AutoDeleteFlag = 1;
    classGraphicObject::UpdateFrame(root.get(), 10);
    classGraphicObject::UpdateFrame(root.get(), 70);
    EXPECT_EQ(shown->FindSlot(5), nullptr);
    EXPECT_NE(shown->FindSlot(6), nullptr);
    // The frame that finished it still counted its targets.
    ExpectNear(World(shown, {}), 7.0f, 0.0f, 0.0f);

    std::vector<const classGraphicObject*> stepped = services.textStepped;
    EXPECT_EQ(std::count(stepped.begin(), stepped.end(), shown), 2);
    EXPECT_EQ(std::count(stepped.begin(), stepped.end(), hidden), 0);
    EXPECT_EQ(std::count(stepped.begin(), stepped.end(), under), 2) << "shown itself, under a hidden parent";
    // A hidden object is still advanced.
    hidden->GetOrCreateSlot(0)->Position = {0.0f, 9.0f, 0.0f};
    classGraphicObject::UpdateFrame(root.get(), 80);
    ExpectNear(World(under, {}), 0.0f, 9.0f, 0.0f);
}

TEST(SceneUpdate, MoviesApplyTheirRequestsDuringTheUpdate) {
    FakeSceneServices services;
    Root root(classGraphicObject::New());
    classGraphicObject* movie = Create(root.get(), {1});
    movie->SetMovieTexture("op.mpg");
    classGraphicObject* picture = Create(root.get(), {2});
    picture->SetFileTexture("a.png");
    classGraphicObject::UpdateFrame(root.get(), 1);
    classGraphicObject::UpdateFrame(root.get(), 2);
    EXPECT_EQ(FakeSceneServices::Of(movie->texture)->movieRequestsApplied, 2);
    EXPECT_EQ(FakeSceneServices::Of(picture->texture)->movieRequestsApplied, 0);
}

class RecordingDrawer : public classGraphicDrawVisitor {
  public:
    void DrawObject(classGraphicObject& object) override { order.push_back(&object); }
    std::vector<const classGraphicObject*> order;
};

TEST(SceneDrawOrder, NegativeKeysUnderTheParentThenTheRestThenCharacters) {
    Root root(classGraphicObject::New());
    classGraphicObject* parent = Create(root.get(), {1});
    classGraphicObject* three = Create(root.get(), {1, 3});
    classGraphicObject* zero = Create(root.get(), {1, 0});
    classGraphicObject* minus = Create(root.get(), {1, -1});
    classGraphicObject* minusChild = Create(root.get(), {1, -1, 4});
    const int64 c0 = 0, c1 = 1;
    classGraphicObject* ch1 = classGraphicObject::CreateCharacterAtPath(parent, &c1, 1);
    classGraphicObject* ch0 = classGraphicObject::CreateCharacterAtPath(parent, &c0, 1);
    classGraphicObject* hiddenOne = Create(root.get(), {1, 2});
    Create(root.get(), {1, 2, 9});
    hiddenOne->SetHidden(1);

    RecordingDrawer drawer;
    classGraphicObject::WalkDrawOrder(parent, drawer);
    EXPECT_EQ(drawer.order,
              (std::vector<const classGraphicObject*>{minus, minusChild, parent, zero, three, ch0, ch1}));

    RecordingDrawer whole;
    root->SetHidden(1);
    classGraphicObject::WalkDrawOrder(root.get(), whole);
    EXPECT_TRUE(whole.order.empty());
    classGraphicObject::WalkDrawOrder(nullptr, whole);
    EXPECT_TRUE(whole.order.empty());
}

TEST(SceneSubsystem, TheApplicationOwnsTheMainScene) {
    SubsystemHooks saved = GetSubsystemHooks();
    RegisterSceneSubsystem();
    ASSERT_TRUE(InitApplication());
    classApplication* application = GetApplication();
    ASSERT_NE(application->mainScene, nullptr);
    EXPECT_EQ(application->overlayScene, nullptr);
    classGraphicObject* first = application->mainScene;
    CreateScenes();
    EXPECT_EQ(application->mainScene, first) << "a second start keeps the scene it has";
    Create(application->mainScene, {1, 2});
    application->overlayScene = classGraphicObject::New();
    classGraphicObject::CopyTree(application->overlayScene, application->mainScene);
    Timed(application->overlayScene, 0, 1000, 1)->Transmittance = 1.0f;

    GetSubsystemHooks().updateScenes(500);
    GetSubsystemHooks().updateScenes(750);
    EXPECT_NEAR(application->overlayScene->transmittance, 0.25f, 1e-6f);
    // Leak checking of the sanitizer build covers that both trees are freed.
    ShutdownApplication();
    EXPECT_EQ(GetApplication(), nullptr);
    GetSubsystemHooks() = saved;
}

}  // namespace
