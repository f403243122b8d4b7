// The whole road of a graphic command: a script line is compiled and run,
// its handler posts records, a commit releases them, and the render thread's
// per-frame run of every queue changes the scene tree. Textures come from
// counted stand-ins, so the test reads kinds and names without a device.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/application.h"
#include "foundation/subsystem_hooks.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_services.h"
#include "presentation/scene_services.h"
#include "support/executor/script_runner.h"
#include "support/presentation/fake_scene_services.h"

namespace {

std::vector<std::pair<classSharedResource*, QueMovieRequest>> g_movieRequests;

void RecordMovieRequest(classSharedResource* texture, QueMovieRequest request) {
    g_movieRequests.emplace_back(texture, request);
}

class GraphicSceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testexec::InstallLoader();
        GetMainQueue()->TakeRecords();
        ASSERT_TRUE(InitApplication());
        classApplication* application = GetApplication();
        if (application->mainScene == nullptr) application->mainScene = classGraphicObject::New();
        root_ = application->mainScene;
        previousRequester_ = GetQueMovieRequester();
        SetQueMovieRequester(&RecordMovieRequest);
        g_movieRequests.clear();
    }
    void TearDown() override {
        GetMainQueue()->TakeRecords();
        SetQueMovieRequester(previousRequester_);
        classApplication* application = GetApplication();
        if (application != nullptr && application->mainScene != nullptr &&
            GetSubsystemHooks().destroyScenes == nullptr) {
            classGraphicObject::Delete(application->mainScene);
            application->mainScene = nullptr;
        }
        ShutdownApplication();
        testexec::ClearSources();
    }

    // Runs a script, then one frame of the render thread after the commit
    // that the next synchronising command would make.
    void RunAndShowFrame(const std::string& source) {
        testexec::AddSource("scene.qvs", source);
        {
            testexec::ScriptRun run;
            run.Run("scene.qvs");
        }
        EXPECT_TRUE(CommitQueue(GetMainQueue()));
        ExecuteAllQueues();
        EXPECT_EQ(GetMainQueue()->GetRecordCount(), 0u);
    }

    classGraphicObject* At(const std::vector<int64>& path) {
        return classGraphicObject::FindByPath(root_, path);
    }
    std::string TextureName(const classGraphicObject* object) {
        return object->texture == nullptr ? std::string() : services_.TextureNameOf(object->texture);
    }

    FakeSceneServices services_;
    classGraphicObject* root_ = nullptr;
    QueMovieRequester previousRequester_ = nullptr;
};

TEST_F(GraphicSceneTest, ScriptLinesBuildMoveHideAndDeleteObjects) {
    RunAndShowFrame(
        "Graphic(Layer=5, File=\"bg.png\", x=10, y=20, z=0.5)\n"
        "Graphic(Layer=5:1, File=\"face.png\")\n"
        "GraphicAlter(Layer=5:1, Hide=3, x=-4, Stencil=2)\n"
        "Graphic(Layer=8, File=\"gone.png\")\n"
        "GraphicDelete(Layer=8)\n"
        "Graphic(Target=0, Layer=9, File=\"nowhere.png\")\n"
        "GraphicFilter(Layer=10, File=\":Pixel.Sepia\")\n"
        "Graphic(Target=3, Layer=11, File=\"both.png\")\n");

    classGraphicObject* background = At({5});
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->GetTextureKind(), TextureKind_ImageFile);
    EXPECT_EQ(TextureName(background), "bg.png");
    EXPECT_EQ(background->hidden, 0);
    classGraphicSlot* base = background->FindSlot(classKey64(0));
    ASSERT_NE(base, nullptr) << "a new object carries its placement slot";
    EXPECT_FLOAT_EQ(base->Position.x, 10.0f);
    EXPECT_FLOAT_EQ(base->Position.y, 20.0f);
    EXPECT_FLOAT_EQ(base->Position.z, 0.5f);

    classGraphicObject* face = At({5, 1});
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(TextureName(face), "face.png");
    EXPECT_EQ(face->hidden, 1);
    EXPECT_EQ(face->Stencil, 2);
    ASSERT_NE(face->FindSlot(classKey64(0)), nullptr);
    EXPECT_FLOAT_EQ(face->FindSlot(classKey64(0))->Position.x, -4.0f);

    EXPECT_EQ(At({8}), nullptr) << "deleted in the same frame it was made";
    EXPECT_EQ(services_.TextureRefs(TextureKind_ImageFile, "gone.png"), 0) << "its texture went with it";
    EXPECT_EQ(At({9}), nullptr) << "Target 0 runs with no scene and changes nothing";
    EXPECT_EQ(GetApplication()->overlayScene, nullptr) << "no transition runs";
    ASSERT_NE(At({11}), nullptr) << "both scenes asked for: the missing overlay is passed over";
    EXPECT_EQ(TextureName(At({11})), "both.png");
    classGraphicObject* filter = At({10});
    ASSERT_NE(filter, nullptr) << "a filter makes its object";
    EXPECT_EQ(filter->GetTextureKind(), TextureKind_Filter);

    std::vector<int64> keys;
    for (const auto& [key, child] : root_->children) keys.push_back(key.Value());
    EXPECT_EQ(keys, (std::vector<int64>{5, 10, 11}));

    // Re-creating an object replaces it: the child and the old texture go.
    RunAndShowFrame("Graphic(Layer=5)");
    ASSERT_NE(At({5}), nullptr);
    EXPECT_EQ(At({5, 1}), nullptr);
    EXPECT_EQ(At({5})->texture, nullptr);
    EXPECT_EQ(services_.TextureRefs(TextureKind_ImageFile, "bg.png"), 0);
}

TEST_F(GraphicSceneTest, MovieAndSaveFileEndingsChooseTheirTextures) {
    RunAndShowFrame(
        "Graphic(Layer=6, File=\"op.MPG\")\n"
        "GraphicAlter(Layer=7, File=\"save0003.dat\")\n"
        "GraphicPlay(Layer=6) GraphicPouse(Layer=6) GraphicStop(Layer=6)\n"
        "GraphicPlay(Layer=7)\n");
    classGraphicObject* movie = At({6});
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->GetTextureKind(), TextureKind_Movie);
    EXPECT_EQ(TextureName(movie), "op.MPG");
    EXPECT_EQ(services_.TextureRefs(TextureKind_ImageFile, "op.MPG"), 0) << "never loaded as an image";

    classGraphicObject* thumbnail = At({7});
    ASSERT_NE(thumbnail, nullptr) << "the thumbnail record makes its object";
    EXPECT_EQ(thumbnail->GetTextureKind(), TextureKind_PlayDataThumbnail);
    EXPECT_EQ(TextureName(thumbnail), "save0003.dat");

    // Only the movie object hears the requests, in the order they were written.
    ASSERT_EQ(g_movieRequests.size(), 3u);
    EXPECT_EQ(g_movieRequests[0].first, movie->texture);
    EXPECT_EQ(g_movieRequests[0].second, QueMovieRequest::Play);
    EXPECT_EQ(g_movieRequests[1].second, QueMovieRequest::Pause);
    EXPECT_EQ(g_movieRequests[2].second, QueMovieRequest::Stop);
}

TEST_F(GraphicSceneTest, SlotCommandsDriveTheObjectsAnimation) {
    RunAndShowFrame("Graphic(Layer=3) GraphicSlot(Layer=3, No=4, Position=100:0, Time=1000)");
    classGraphicObject* object = At({3});
    ASSERT_NE(object, nullptr);
    classGraphicSlot* slot = object->FindSlot(classKey64(4));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->Loop, 1);

    // Position 100 with both gains on the target: the Hermite curve from 0
    // through tangents of 100 gives 0.5*100 + 0.125*100 - 0.125*100 = 50 at
    // half time with the linear time curve.
    classGraphicObject::Update(object, 500);
    classSlotAccumulator halfway;
    slot->Apply(halfway);
    EXPECT_NEAR(halfway.matrix.m[3][0], 50.0f, 0.01f);

    // A change halfway touches only what it names.
    RunAndShowFrame("GraphicSlotAlter(Layer=3, No=4, Roll=0.5)");
    slot = object->FindSlot(classKey64(4));
    ASSERT_NE(slot, nullptr);
    EXPECT_FLOAT_EQ(slot->Roll, 0.5f);
    EXPECT_FLOAT_EQ(slot->Position.x, 100.0f);
    EXPECT_EQ(slot->Time, 1000);

    // Without No the new slot follows the largest number (slots 0 and 4 → 5).
    RunAndShowFrame("GraphicSlot(Layer=3, Time=0, Position=1)");
    ASSERT_NE(object->FindSlot(classKey64(5)), nullptr);
    classGraphicObject::Update(object, 16);  // a zero-length cycle must simply end
    EXPECT_TRUE(object->FindSlot(classKey64(5))->IsFinished());

    RunAndShowFrame("GraphicSlotDelete(Layer=3, No=4) GraphicSlotDelete(Layer=3)");
    EXPECT_EQ(object->FindSlot(classKey64(4)), nullptr);
    EXPECT_EQ(object->FindSlot(classKey64(0)), nullptr) << "no number deletes slot 0";
    EXPECT_NE(object->FindSlot(classKey64(5)), nullptr);
}

}  // namespace
