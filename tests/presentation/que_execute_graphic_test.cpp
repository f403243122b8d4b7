// What the graphic records and the transition do to a scene tree. Textures
// and shaders come from a counting stand-in, so reference leaks show.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"
#include "presentation/que_services.h"
#include "presentation/scene_draw.h"
#include "support/presentation/fake_scene_services.h"

namespace {

class GraphicRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        main_ = classGraphicObject::New();
        context_.mainScene = &main_;
        context_.overlayScene = &overlay_;
    }
    void TearDown() override {
        if (overlay_ != nullptr) classGraphicObject::Delete(overlay_);
        classGraphicObject::Delete(main_);
    }
    // Runs one record the way a queue does, with the given mask.
    void Run(classQueBase* record, u64 mask = 1) {
        record->sceneMask = mask;
        queue_.Post(record);
        queue_.Commit();
        queue_.ExecuteCommitted(context_);
    }
    template <typename T>
    T* Make(QuePath path) {
        auto* record = new T();
        record->path = std::move(path);
        return record;
    }
    classGraphicObject* At(QuePath path, classGraphicObject* root = nullptr) {
        return classGraphicObject::FindByPath(root != nullptr ? root : main_, path);
    }

    FakeSceneServices services_;
    classGraphicObject* main_ = nullptr;
    classGraphicObject* overlay_ = nullptr;
    classQueContext context_;
    classQueue queue_;
};

TEST_F(GraphicRecordTest, CreateMakesTheWholePathAndReplacesTheLastObject) {
    Run(Make<classQue_GraphicCreate>({5, 7}));
    classGraphicObject* five = At({5});
    ASSERT_NE(five, nullptr);
    ASSERT_NE(At({5, 7}), nullptr);
    Run(Make<classQue_GraphicCreate>({5, 7, 1}));
    At({5, 7})->Stencil = 3;
    Run(Make<classQue_GraphicCreate>({5, 7}));
    EXPECT_EQ(At({5}), five);
    EXPECT_EQ(At({5, 7})->Stencil, 0);
    EXPECT_EQ(At({5, 7, 1}), nullptr) << "the replaced object's subtree goes with it";

    // An empty path or a missing scene creates nothing.
    Run(Make<classQue_GraphicCreate>({}));
    Run(Make<classQue_GraphicCreate>({9}), 2);
    Run(Make<classQue_GraphicCreate>({9}), 0);
    EXPECT_EQ(main_->children.size(), 1u);
}

TEST_F(GraphicRecordTest, RecordsForAMissingObjectChangeNothing) {
    auto* alter = Make<classQue_GraphicAlter>({3});
    alter->fileName = "bg.png";
    alter->x.Set(10.0f);
    Run(alter);
    Run(Make<classQue_GraphicDelete>({3}));
    Run(Make<classQue_PageFeed>({3}));
    auto* slot = Make<classQue_GraphicStirSlotSet>({3});
    Run(slot);
    Run(Make<classQue_GraphicAlter_Movie>({3}));
    EXPECT_TRUE(main_->children.empty());
    EXPECT_EQ(services_.acquires, 0);
}

TEST_F(GraphicRecordTest, AlterAppliesOnlyTheGivenFields) {
    Run(Make<classQue_GraphicCreate>({1}));
    classGraphicObject* object = At({1});
    classGraphicSlot& base = object->slots.at(0);
    base.Position = {1.0f, 2.0f, 3.0f};
    base.Transmittance = 0.25f;
    object->Stencil = 7;

    // Only a path and an empty file: nothing changes.
    Run(Make<classQue_GraphicAlter>({1}));
    EXPECT_EQ(object->texture, nullptr);
    EXPECT_EQ(base.Position, (D3DXVECTOR3{1.0f, 2.0f, 3.0f}));

    auto* first = Make<classQue_GraphicAlter>({1});
    first->fileName = "a.png";
    first->x.Set(-40.0f);
    Run(first);
    EXPECT_EQ(base.Position, (D3DXVECTOR3{-40.0f, 2.0f, 3.0f}));
    EXPECT_FLOAT_EQ(base.Transmittance, 0.25f);
    EXPECT_EQ(object->Stencil, 7);
    ASSERT_NE(object->texture, nullptr);
    FakeTexture& a = *FakeSceneServices::Of(object->texture);
    EXPECT_EQ(a.kind, 1);
    EXPECT_EQ(a.name, "a.png");

    auto* second = Make<classQue_GraphicAlter>({1});
    second->fileName = "b.png";
    second->y.Set(5.0f);
    second->z.Set(6.0f);
    second->transmittance.Set(0.5f);
    second->hide.Set(1);
    second->stencil.Set(-1);
    second->pixelShader.Set(":PixelColor.Change");
    second->vertexShader.Set("wave");
    Run(second);
    EXPECT_EQ(a.refs, 0) << "the old image is released";
    EXPECT_EQ(FakeSceneServices::Of(object->texture)->name, "b.png");
    EXPECT_EQ(base.Position, (D3DXVECTOR3{-40.0f, 5.0f, 6.0f}));
    EXPECT_FLOAT_EQ(base.Transmittance, 0.5f);
    EXPECT_EQ(object->hidden, 1);
    EXPECT_EQ(object->Stencil, -1);
    ASSERT_NE(object->pixelShader, nullptr);
    EXPECT_EQ(FakeSceneServices::Of(object->pixelShader)->name, ":PixelColor.Change");
    EXPECT_EQ(FakeSceneServices::Of(object->pixelShader)->kind, 2);
    EXPECT_EQ(FakeSceneServices::Of(object->vertexShader)->kind, 3);
}

TEST_F(GraphicRecordTest, TextureRecordsAttachTheirKinds) {
    auto* filter = new classQue_GraphicFilter();
    filter->path = {4, 1};
    filter->pixelShader = ":Filter.Mono";
    Run(filter);
    auto* thumb = new classQue_GraphicAlter_PlayDataThumbnail();
    thumb->path = {6};
    thumb->fileName = "save0003.dat";
    Run(thumb);
    auto* movie = new classQue_GraphicAlter_Movie();
    movie->path = {6};
    movie->fileName = "op.mpg";
    Run(movie);
    ASSERT_NE(At({4, 1}), nullptr);
    EXPECT_EQ(FakeSceneServices::Of(At({4, 1})->texture)->kind, 6);
    EXPECT_EQ(FakeSceneServices::Of(At({4, 1})->texture)->name, ":Filter.Mono");
    EXPECT_EQ(FakeSceneServices::Of(At({6})->texture)->kind, 2);
    EXPECT_EQ(FakeSceneServices::Of(At({6})->texture)->name, "op.mpg");
    EXPECT_EQ(services_.TextureRefs(TextureKind_PlayDataThumbnail, "save0003.dat"), 0) << "replaced by the movie";

    auto* text = new classQue_GraphicCreateText();
    text->path = {2};
    text->textName = "box";
    text->textParam[0] = 5;
    text->textParam[2] = 0x00FF00;
    Run(text);
    ASSERT_NE(At({2}), nullptr);
    EXPECT_EQ(FakeSceneServices::Of(At({2})->texture)->kind, 3);
    EXPECT_EQ(FakeSceneServices::Of(At({2})->texture)->param, 5);
    EXPECT_EQ(At({2})->textColour.Get(), 0x00FF00);
    EXPECT_EQ(At({2})->hidden, 0);
}

std::string ShowRequest(const classTextRequest& r) {
    char line[160];
    std::snprintf(line, sizeof line, "%s f%lld c%llX s%lld m%lld t%lld r%d p%lld", r.text.c_str(),
                  static_cast<long long>(r.fontNumber), static_cast<unsigned long long>(r.colour),
                  static_cast<long long>(r.speed), static_cast<long long>(r.fadeMode),
                  static_cast<long long>(r.fadeTime), r.repeat, static_cast<long long>(r.repeatPeriod));
    return line;
}

TEST_F(GraphicRecordTest, TextRecordsQueueRequestsWithTheRightValues) {
    Run(Make<classQue_GraphicCreate>({9}));
    classGraphicObject* box = At({9});
    // With no application the start values apply: colour 0xFFFFFF, speed
    // 100, request value 300, auto speed 1000.
    struct Case {
        const char* name;
        classQueBase* (*make)();
        const char* request;
        u8 singleLine;
    };
    const Case cases[] = {
        {"a speed factor and only the low word of the font",
         [] {
             auto* r = new classQue_GraphicStdOutText();
             r->path = {9};
             r->text = "Hello";
             r->drawSpeed.Set(1.5f);
             r->fontNo.Set(0x100000005LL);
             return static_cast<classQueBase*>(r);
         },
         "Hello f5 cFFFFFF s150 m1 t300 r0 p1000", 0},
        {"a font word of all ones is -1; an unset speed counts as 1.0",
         [] {
             auto* r = new classQue_GraphicStdOutText();
             r->path = {9};
             r->text = "x";
             r->fontNo.Set(0xFFFFFFFFLL);
             r->color.Set(0x123456);
             return static_cast<classQueBase*>(r);
         },
         "x f-1 c123456 s100 m1 t300 r0 p1000", 0},
        {"no font given is font 0",
         [] {
             auto* r = new classQue_GraphicStdOutText();
             r->path = {9};
             r->text = "y";
             return static_cast<classQueBase*>(r);
         },
         "y f0 cFFFFFF s100 m1 t300 r0 p1000", 0},
        {"the extended record takes every value as given",
         [] {
             auto* r = new classQue_GraphicStdOutTextX();
             r->path = {9};
             r->text = "Sample";
             r->speed.Set(40);
             r->fadeMode.Set(2);
             r->fadeTime.Set(350);
             r->repeat.Set(1);
             r->repeatPeriod.Set(40 * 20 + 1000);
             r->singleLine.Set(1);
             return static_cast<classQueBase*>(r);
         },
         "Sample f0 cFFFFFF s40 m2 t350 r1 p1800", 1},
    };
    for (const Case& c : cases) {
        box->textRequests.clear();
        box->singleLine = 0;
        Run(c.make());
        ASSERT_EQ(box->textRequests.size(), 1u) << c.name;
        EXPECT_EQ(ShowRequest(box->textRequests[0]), c.request) << c.name;
        EXPECT_EQ(box->singleLine, c.singleLine) << c.name;
    }

    // A page feed drops text, pending text and characters.
    box->text = "old";
    classGraphicObject::CreateCharacterAtPath(box, std::vector<int64>{0}.data(), 1);
    Run(Make<classQue_PageFeed>({9}));
    EXPECT_TRUE(box->textRequests.empty());
    EXPECT_TRUE(box->characters.empty());
    EXPECT_TRUE(box->text.empty());
    EXPECT_EQ(box->lineStart, 1);
}

TEST_F(GraphicRecordTest, SlotRecordsNumberReplaceChangeAndDelete) {
    Run(Make<classQue_GraphicCreate>({1}));
    classGraphicObject* object = At({1});

    // Only the base slot: the new one is 1.
    auto* first = Make<classQue_GraphicStirSlotSet>({1});
    first->fields.time.Set(500);
    first->fields.loop.Set(-1);
    first->fields.position.Set({10.0f, 0.0f, 0.0f});
    Run(first);
    ASSERT_NE(object->FindSlot(1), nullptr);
    EXPECT_EQ(object->FindSlot(1)->Time, 500);
    EXPECT_EQ(object->FindSlot(1)->Loop, -1);
    EXPECT_EQ(object->FindSlot(1)->Scale, (D3DXVECTOR3{1.0f, 1.0f, 1.0f})) << "defaults for the rest";

    // Slots 0, 1 and 4: the next is 5.
    object->GetOrCreateSlot(4);
    Run(Make<classQue_GraphicStirSlotSet>({1}));
    EXPECT_NE(object->FindSlot(5), nullptr);

    // A numbered set replaces slot 1 wholly.
    auto* replace = Make<classQue_GraphicStirSlotSet>({1});
    replace->no.Set(1);
    replace->fields.roll.Set(0.5f);
    Run(replace);
    EXPECT_EQ(object->FindSlot(1)->Time, 0);
    EXPECT_EQ(object->FindSlot(1)->Position, (D3DXVECTOR3{}));
    EXPECT_FLOAT_EQ(object->FindSlot(1)->Roll, 0.5f);

    // A change keeps what it does not name, including the running time.
    classGraphicSlot* running = object->FindSlot(1);
    running->remaining = 123;
    auto* change = Make<classQue_GraphicStirSlotChange>({1});
    change->no = 1;
    change->fields.time.Set(900);
    change->fields.scaleGainEnd.Set({2.0f, 2.0f, 0.0f});
    Run(change);
    EXPECT_EQ(running->Time, 900);
    EXPECT_EQ(running->remaining, 123);
    EXPECT_FLOAT_EQ(running->Roll, 0.5f);
    EXPECT_EQ(running->ScaleGainEnd, (D3DXVECTOR3{2.0f, 2.0f, 0.0f}));

    auto* missing = Make<classQue_GraphicStirSlotChange>({1});
    missing->no = 7;
    missing->fields.time.Set(1);
    Run(missing);
    EXPECT_EQ(object->FindSlot(7), nullptr);
    EXPECT_EQ(object->slots.size(), 4u);

    auto* remove = Make<classQue_GraphicStirSlotDelete>({1});
    remove->no = 4;
    Run(remove);
    auto* removeMissing = Make<classQue_GraphicStirSlotDelete>({1});
    removeMissing->no = 40;
    Run(removeMissing);
    EXPECT_EQ(object->FindSlot(4), nullptr);
    EXPECT_EQ(object->slots.size(), 3u);
}

TEST_F(GraphicRecordTest, FinishingSlotsEndsTimedOnesAndKeepsEndlessOnes) {
    Run(Make<classQue_GraphicCreate>({1, 2}));
    classGraphicObject* child = At({1, 2});
    classGraphicSlot* timed = child->GetOrCreateSlot(1);
    timed->Loop = 3;
    timed->remaining = 400;
    classGraphicSlot* endless = child->GetOrCreateSlot(2);
    endless->Loop = -1;
    endless->remaining = 400;
    classGraphicObject* letter =
        classGraphicObject::CreateCharacterAtPath(child, std::vector<int64>{0}.data(), 1);
    classGraphicObject* ruby =
        classGraphicObject::CreateCharacterAtPath(letter, std::vector<int64>{0}.data(), 1);
    classGraphicSlot* fadeIn = letter->GetOrCreateSlot(1);
    fadeIn->Loop = 1;
    fadeIn->remaining = 50;
    classGraphicSlot* rubyFade = ruby->GetOrCreateSlot(1);
    rubyFade->Loop = 1;
    rubyFade->remaining = 50;
    classGraphicSlot* sparkle = letter->GetOrCreateSlot(2);
    sparkle->Loop = -5;
    sparkle->remaining = 50;

    // Text drawing first: only characters (and theirs) finish.
    Run(new classQue_GraphicStdTextDrawingAllFinish());
    EXPECT_TRUE(fadeIn->IsFinished());
    EXPECT_TRUE(rubyFade->IsFinished());
    EXPECT_EQ(sparkle->remaining, 50) << "an endless character slot keeps running";
    EXPECT_EQ(timed->Loop, 3);
    EXPECT_EQ(timed->remaining, 400);

    Run(new classQue_GraphicStirSlotAllFinish());
    EXPECT_EQ(timed->Loop, 0);
    EXPECT_EQ(timed->remaining, 0);
    EXPECT_EQ(endless->Loop, -1);
    EXPECT_EQ(endless->remaining, 400);

    // Both on a missing overlay: nothing to do, nothing crashes.
    Run(new classQue_GraphicStirSlotAllFinish(), 2);
    Run(new classQue_GraphicStdTextDrawingAllFinish(), 2);
}

TEST_F(GraphicRecordTest, AllDeleteEmptiesTheSceneButKeepsItsRoot) {
    Run(Make<classQue_GraphicCreate>({1, 2}));
    Run(Make<classQue_GraphicCreate>({-3}));
    auto* alter = Make<classQue_GraphicAlter>({-3});
    alter->fileName = "x.png";
    Run(alter);
    FakeTexture& image = *FakeSceneServices::Of(At({-3})->texture);
    // A filter the scene's drawing left in force, as a filter object leaves it.
    g_filterShader = services_.AcquireShader(kPixelShaderKind, ":Pixel.Monochro");
    classGraphicObject* root = main_;
    Run(new classQue_GraphicAllDelete(), 3);  // the overlay is missing: only the main scene
    EXPECT_EQ(main_, root);
    EXPECT_TRUE(main_->children.empty());
    EXPECT_EQ(image.refs, 0);
    EXPECT_EQ(g_filterShader, nullptr) << "the restarted scene has no filter objects, so no filter";
    EXPECT_EQ(services_.ShaderRefs(kPixelShaderKind, ":Pixel.Monochro"), 0);
}

std::vector<std::pair<classSharedResource*, QueMovieRequest>> g_movieRequests;
void RecordMovieRequest(classSharedResource* texture, QueMovieRequest request) {
    g_movieRequests.emplace_back(texture, request);
}

TEST_F(GraphicRecordTest, MovieRequestsReachOnlyMovieTextures) {
    g_movieRequests.clear();
    SetQueMovieRequester(RecordMovieRequest);
    Run(Make<classQue_GraphicCreate>({1}));
    Run(Make<classQue_GraphicCreate>({2}));
    auto* movie = Make<classQue_GraphicAlter_Movie>({1});
    movie->fileName = "clip.mpg";
    Run(movie);
    auto* still = Make<classQue_GraphicAlter>({2});
    still->fileName = "still.png";
    Run(still);
    Run(Make<classQue_GraphicMoviePlay>({1}));
    Run(Make<classQue_GraphicMoviePouse>({1}));
    Run(Make<classQue_GraphicMovieStop>({1}));
    Run(Make<classQue_GraphicMoviePlay>({2}));  // an image: left alone
    Run(Make<classQue_GraphicMoviePlay>({3}));  // missing
    Run(Make<classQue_GraphicCreate>({4}));
    Run(Make<classQue_GraphicMoviePlay>({4}));  // no texture
    SetQueMovieRequester(nullptr);
    ASSERT_EQ(g_movieRequests.size(), 3u);
    EXPECT_EQ(g_movieRequests[0].first, At({1})->texture);
    EXPECT_EQ(g_movieRequests[0].second, QueMovieRequest::Play);
    EXPECT_EQ(g_movieRequests[1].second, QueMovieRequest::Pause);
    EXPECT_EQ(g_movieRequests[2].second, QueMovieRequest::Stop);
}

TEST_F(GraphicRecordTest, BothMaskBitsActOnEachScenesOwnObject) {
    Run(Make<classQue_GraphicCreate>({1}));
    overlay_ = classGraphicObject::New();
    Run(Make<classQue_GraphicCreate>({1}), 2);
    auto* alter = Make<classQue_GraphicAlter>({1});
    alter->x.Set(7.0f);
    Run(alter, 3);
    EXPECT_FLOAT_EQ(At({1})->slots.at(0).Position.x, 7.0f);
    EXPECT_FLOAT_EQ(At({1}, overlay_)->slots.at(0).Position.x, 7.0f);
}

TEST_F(GraphicRecordTest, TransitionReplacesTheOverlayWithAFadingCopyOfTheMainScene) {
    Run(Make<classQue_GraphicCreate>({1, 2}));
    auto* alter = Make<classQue_GraphicAlter>({1, 2});
    alter->fileName = "face.png";
    alter->pixelShader.Set(":Glow");
    Run(alter);
    At({1, 2})->GetOrCreateSlot(3)->Time = 250;
    At({1, 2})->text = "not copied";
    main_->hidden = 1;
    FakeTexture& face = *FakeSceneServices::Of(At({1, 2})->texture);

    auto* transition = new classQue_Transition();
    transition->time = 800;
    Run(transition);
    ASSERT_NE(overlay_, nullptr);
    EXPECT_NE(overlay_, main_);
    EXPECT_EQ(overlay_->parent, nullptr);
    EXPECT_EQ(overlay_->hidden, 0);
    EXPECT_EQ(FakeSceneServices::Of(overlay_->texture)->kind, 5);
    EXPECT_EQ(FakeSceneServices::Of(overlay_->pixelShader)->name, ":Transition.CrossDissolveAlphaIgnore");
    const classGraphicSlot& fade = overlay_->slots.at(0);
    EXPECT_FLOAT_EQ(fade.Transmittance, 1.0f);
    EXPECT_EQ(fade.Time, 800);
    EXPECT_EQ(fade.StartDelay, 0);
    EXPECT_EQ(fade.Delay, 0);
    EXPECT_EQ(fade.AfterDelay, 0);
    EXPECT_FLOAT_EQ(fade.TimeGainStart, 1.0f);
    EXPECT_FLOAT_EQ(fade.TimeGainEnd, 1.0f);
    EXPECT_EQ(fade.Loop, 1);
    classGraphicObject* copy = At({1, 2}, overlay_);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, At({1, 2}));
    EXPECT_EQ(copy->texture, At({1, 2})->texture);
    EXPECT_EQ(face.refs, 2);
    EXPECT_EQ(copy->slots.at(3).Time, 250);
    EXPECT_TRUE(copy->text.empty());

    // The next transition cuts this one off; the copy's references go.
    auto* second = new classQue_Transition();
    second->time = 300;
    Run(second);
    EXPECT_EQ(face.refs, 2);
    EXPECT_EQ(overlay_->slots.at(0).Time, 300);

    // A cut removes the overlay and makes none.
    auto* cut = new classQue_Transition();
    cut->time = 0;
    Run(cut);
    EXPECT_EQ(overlay_, nullptr);
    EXPECT_EQ(face.refs, 1);
    EXPECT_EQ(services_.TextureRefs(TextureKind_TransitionCapture, ""), 0);
}

}  // namespace
