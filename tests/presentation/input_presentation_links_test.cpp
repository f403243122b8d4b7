// The input code against the real main scene and command queues: areas come
// from the objects' hitOffset and texture size and follow their hidden state;
// a case's display changes land on the waiter's queue, uncommitted until the
// waiter commits; that commit is its owner thread's, whichever thread makes it.
#include "presentation/input_presentation_links.h"

#include <gtest/gtest.h>

#include "foundation/application.h"
#include "foundation/input_manager.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_subsystem.h"

namespace {

bool HundredByForty(classSharedResource*, int64* width, int64* height) {
    *width = 100;
    *height = 40;
    return true;
}

class InputPresentationLinksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        app->logicalWidth = 1280;
        app->logicalHeight = 720;
        CreateScenes();
        InstallInputPresentationLinks();
        SetInputTextureSizeSource(HundredByForty);
        g_inputManager.ResetForTest();
        waiter = g_inputManager.AddWaiter(0);
    }
    void TearDown() override {
        g_inputManager.ResetForTest();
        for (classGraphicObject* object : textured_) object->texture = nullptr;
        SetInputTextureSizeSource(nullptr);
        SetInputSceneQuery(nullptr);
        SetInputQueueSink(nullptr);
        DestroyScenes();
        ShutdownApplication();
    }
    // An object at `path` with a stand-in texture (only its address is used).
    classGraphicObject* Put(const std::vector<int64>& path, float x, float y) {
        classGraphicObject* object = classGraphicObject::CreateAtPath(app->mainScene, path);
        object->texture = reinterpret_cast<classSharedResource*>(&textureStandIn_);
        object->hitOffset.x = x;
        object->hitOffset.y = y;
        textured_.push_back(object);
        return object;
    }

    classApplication* app = nullptr;
    classInputWaiter* waiter = nullptr;

  private:
    int textureStandIn_ = 0;
    std::vector<classGraphicObject*> textured_;
};

TEST_F(InputPresentationLinksTest, AreasFollowTheObjectsInTheMainScene) {
    // 100 x 40 at (-100, 50): x 490..590, y 290..330 from the top left.
    classGraphicObject* object = Put({4, 2}, -100.0f, 50.0f);
    classInputTarget* target = waiter->AddTarget();
    target->region = {4, 2};
    EXPECT_TRUE(target->HitTestRegion(490, 290));
    EXPECT_TRUE(target->HitTestRegion(590, 330));
    EXPECT_FALSE(target->HitTestRegion(591, 300));
    EXPECT_FALSE(target->HitTestRegion(500, 289));

    classGraphicObject::FindByPath(app->mainScene, std::vector<int64>{4})->SetHidden(1);
    EXPECT_FALSE(target->HitTestRegion(500, 300));
    classGraphicObject::FindByPath(app->mainScene, std::vector<int64>{4})->SetHidden(0);
    EXPECT_TRUE(target->HitTestRegion(500, 300));

    object->texture = nullptr;
    EXPECT_FALSE(target->HitTestRegion(500, 300));
    target->region = {4, 3};
    EXPECT_FALSE(target->HitTestRegion(500, 300));
}

TEST_F(InputPresentationLinksTest, WithoutTextureSizesNoAreaHits) {
    Put({1}, 0.0f, 0.0f);
    SetInputTextureSizeSource(nullptr);
    classInputTarget* target = waiter->AddTarget();
    target->region = {1};
    EXPECT_FALSE(target->HitTestRegion(640, 360));
    float x, y, z;
    EXPECT_FALSE(target->GetRegionPosition(x, y, z));
}

TEST_F(InputPresentationLinksTest, CaseRecordsGoToTheWaitersQueueUncommitted) {
    classQueue own;
    waiter->queue = &own;
    classInputTarget* target = waiter->AddTarget();
    target->region = {1};
    target->textLayer = {1, 1};
    target->soundLayer.Set(100);
    target->caseStrings[2] = "s.png";
    target->caseStrings[7] = "s.wav";
    target->caseStrings[15] = "text";
    ASSERT_TRUE(classInputTarget::ApplyCaseState(target, kCaseSelect));
    // One image, three sound records, a page feed and the text.
    EXPECT_EQ(own.GetRecordCount(), 6u);
    EXPECT_EQ(own.GetCommittedCount(), 0);
    waiter->CommitQueue();
    EXPECT_EQ(own.GetCommittedCount(), 6);
    // The case's text appears once, never repeating.
    classGraphicObject* box = classGraphicObject::CreateAtPath(app->mainScene, std::vector<int64>{1, 1});
    own.Execute();
    ASSERT_EQ(box->textRequests.size(), 1u);
    EXPECT_EQ(box->textRequests[0].text, "text");
    EXPECT_EQ(box->textRequests[0].repeat, 0);
    EXPECT_EQ(box->textRequests[0].repeatPeriod, 0);
}

TEST_F(InputPresentationLinksTest, AChoicesCommitReleasesItsOwnersRecordsOnly) {
    classQueue* main = GetMainQueue();
    classQueue own;
    // The main script's batch, still waiting.
    main->Post(new classQue_GraphicDelete());
    main->Post(new classQue_GraphicDelete());
    classInputWaiter* side = nullptr;
    {
        const classQuePosterScope sideThread(1);
        side = g_inputManager.AddWaiter(1);
        side->queue = &own;
        main->Post(new classQue_GraphicCreate());  // the side script's menu, before its choice
    }
    classInputTarget* target = side->AddTarget();
    target->region = {1};
    target->caseStrings[2] = "s.png";
    // Here, as on the UI thread, on the side script's behalf.
    ASSERT_TRUE(classInputTarget::ApplyCaseState(target, kCaseSelect));
    side->CommitQueue();
    EXPECT_EQ(own.GetCommittedCount(), 1);
    EXPECT_EQ(main->GetCommittedCount(), 1) << "the menu goes out, the main script's batch waits";
    main->DiscardAll();
}

}  // namespace
