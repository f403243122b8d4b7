// Record type ids, the holder's ownership, and the compaction of a queue that
// piled up while skipping to the next choice.
#include "presentation/que_records.h"

#include <gtest/gtest.h>

#include <vector>

#include "presentation/command_queue.h"

namespace {

TEST(QueRecordTypeTest, EveryFactoryMakesTheRecordOfItsFixedId) {
    classQueHolder holder;
    // Compaction tells records apart by these ids alone; a renumbering would
    // quietly change what it cancels.
    struct Case {
        classQueBase* (*make)(classQueHolder&);
        u32 id;
    };
    const Case cases[] = {
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStdOutText(); }, 1},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStdOutTextX(); }, 2},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicCreate(); }, 3},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicAlter(); }, 4},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicAlter_Movie(); }, 5},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicAlter_PlayDataThumbnail(); }, 6},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicFilter(); }, 7},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicDelete(); }, 8},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicAllDelete(); }, 9},
        {[](classQueHolder& h) -> classQueBase* { return h.NewPageFeed(); }, 10},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStirSlotSet(); }, 13},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStirSlotChange(); }, 14},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStirSlotDelete(); }, 15},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStirSlotAllFinish(); }, 16},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicStdTextDrawingAllFinish(); }, 17},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicMoviePlay(); }, 18},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicMovieStop(); }, 19},
        {[](classQueHolder& h) -> classQueBase* { return h.NewGraphicMoviePouse(); }, 20},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundCreate(); }, 22},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundAlter(); }, 23},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundPlay(); }, 24},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundStop(); }, 25},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundVolume(); }, 26},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundDelete(); }, 28},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundAllDelete(); }, 29},
        {[](classQueHolder& h) -> classQueBase* { return h.NewSoundStopToVoice(); }, 30},
        {[](classQueHolder& h) -> classQueBase* { return h.NewDataLoad(); }, 34},
        {[](classQueHolder& h) -> classQueBase* { return h.NewDataSave(); }, 35},
    };
    for (const Case& c : cases) {
        classQueBase* record = c.make(holder);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(holder.Get(), record);
        EXPECT_EQ(static_cast<u32>(record->GetType()), c.id);
        EXPECT_EQ(record->sceneMask, 0u);
        EXPECT_EQ(record->cancelled, 0);
    }
    // The two records built by their posters rather than the holder.
    QueRecordPtr text(new classQue_GraphicCreateText());
    QueRecordPtr transition(new classQue_Transition());
    EXPECT_EQ(static_cast<u32>(text->GetType()), 0u);
    EXPECT_EQ(static_cast<u32>(transition->GetType()), 21u);
}

TEST(QueRecordTypeTest, NewRecordsHaveEveryOptionalFieldUnset) {
    classQue_GraphicAlter alter;
    EXPECT_TRUE(alter.path.empty());
    EXPECT_TRUE(alter.fileName.empty());
    EXPECT_FALSE(alter.hide.IsSet() || alter.x.IsSet() || alter.y.IsSet() || alter.z.IsSet() ||
                 alter.transmittance.IsSet() || alter.stencil.IsSet() || alter.vertexShader.IsSet() ||
                 alter.pixelShader.IsSet());
    classQue_GraphicStirSlotSet slot;
    EXPECT_FALSE(slot.no.IsSet() || slot.fields.time.IsSet() || slot.fields.loop.IsSet() ||
                 slot.fields.scaleGainEnd.IsSet());
    // Read whether set or not, so they must never be indeterminate.
    classQue_GraphicStdOutTextX textX;
    EXPECT_EQ(textX.speed.Get(), 0);
    EXPECT_EQ(textX.repeatPeriod.Get(), 0);
    EXPECT_EQ(textX.repeat.Get(), 0);
}

TEST(QueHolderTest, PostHandsTheRecordToTheEndOfTheMainQueueUncommitted) {
    classQueue* main = GetMainQueue();
    const size_t before = main->GetRecordCount();
    const int32 committed = main->GetCommittedCount();
    {
        classQueHolder holder;
        holder.NewGraphicDelete()->path = {5};
        holder.Post();
        EXPECT_EQ(holder.Get(), nullptr);
        holder.Post();  // nothing left to post
        // Built and dropped: the holder frees it (the leak checker of the
        // sanitizer build catches the opposite), and the queue never sees it.
        holder.NewGraphicAlter();
        holder.NewGraphicCreate();
    }
    EXPECT_EQ(main->GetRecordCount(), before + 1);
    EXPECT_EQ(main->GetCommittedCount(), committed);
    // Run it (with no scenes it changes nothing) so later tests find the queue empty.
    main->Commit();
    main->Execute();
    EXPECT_EQ(main->GetRecordCount(), 0u);
}

// ---- Compaction ----

template <typename T>
T* Add(classQueue& queue, QuePath path, u64 mask = 1) {
    auto* record = new T();
    record->path = std::move(path);
    record->sceneMask = mask;
    queue.Post(record);
    return record;
}

classQue_GraphicAllDelete* AddAllDelete(classQueue& queue, u64 mask = 1) {
    auto* record = new classQue_GraphicAllDelete();
    record->sceneMask = mask;
    queue.Post(record);
    return record;
}

TEST(QueCompactTest, NewerCreateFilterOrDeleteOfTheSamePathCancelsOlderRecords) {
    classQueue queue;
    auto* create = Add<classQue_GraphicCreate>(queue, {5});
    auto* alter = Add<classQue_GraphicAlter>(queue, {5});
    auto* remove = Add<classQue_GraphicDelete>(queue, {5});
    auto* other = Add<classQue_GraphicAlter>(queue, {6});
    queue.Compact();
    EXPECT_EQ(create->cancelled, 1);
    EXPECT_EQ(alter->cancelled, 1);
    EXPECT_EQ(remove->cancelled, 0);
    EXPECT_EQ(other->cancelled, 0);

    classQueue filtered;
    auto* movie = Add<classQue_GraphicAlter_Movie>(filtered, {1, 2});
    auto* thumb = Add<classQue_GraphicAlter_PlayDataThumbnail>(filtered, {1, 2});
    auto* filter = Add<classQue_GraphicFilter>(filtered, {1, 2});
    auto* laterAlter = Add<classQue_GraphicAlter>(filtered, {1, 2});
    filtered.Compact();
    EXPECT_EQ(movie->cancelled, 1);
    EXPECT_EQ(thumb->cancelled, 1);
    EXPECT_EQ(filter->cancelled, 0);
    EXPECT_EQ(laterAlter->cancelled, 0);
}

TEST(QueCompactTest, PageFeedCancelsOnlyOlderTextOfItsPath) {
    classQueue queue;
    auto* first = Add<classQue_GraphicStdOutText>(queue, {9});
    auto* feed = Add<classQue_PageFeed>(queue, {9});
    auto* second = Add<classQue_GraphicStdOutText>(queue, {9});
    queue.Compact();
    EXPECT_EQ(first->cancelled, 1);
    EXPECT_EQ(feed->cancelled, 0);
    EXPECT_EQ(second->cancelled, 0);

    // A page feed leaves images alone; an older page feed goes with the text.
    classQueue mixed;
    auto* alter = Add<classQue_GraphicAlter>(mixed, {9});
    auto* oldFeed = Add<classQue_PageFeed>(mixed, {9});
    auto* textX = Add<classQue_GraphicStdOutTextX>(mixed, {9});
    Add<classQue_PageFeed>(mixed, {9});
    mixed.Compact();
    EXPECT_EQ(alter->cancelled, 0);
    EXPECT_EQ(oldFeed->cancelled, 1);
    EXPECT_EQ(textX->cancelled, 1);
}

TEST(QueCompactTest, AllDeleteCancelsEveryOlderGraphicRecordAndKeepsNewerOnes) {
    classQueue queue;
    std::vector<classQueBase*> older = {
        Add<classQue_GraphicCreate>(queue, {1}),      Add<classQue_GraphicAlter>(queue, {1}),
        Add<classQue_GraphicStdOutText>(queue, {2}),  Add<classQue_PageFeed>(queue, {2}),
        Add<classQue_GraphicFilter>(queue, {3}),      Add<classQue_GraphicDelete>(queue, {4}),
        Add<classQue_GraphicAlter_Movie>(queue, {5}), AddAllDelete(queue),
    };
    auto* slot = Add<classQue_GraphicStirSlotSet>(queue, {1});
    auto* play = Add<classQue_GraphicMoviePlay>(queue, {5});
    auto* sound = new classQue_SoundPlay();
    queue.Post(sound);
    auto* all = AddAllDelete(queue);
    auto* create = Add<classQue_GraphicCreate>(queue, {1});
    auto* alter = Add<classQue_GraphicAlter>(queue, {1});
    queue.Compact();
    for (classQueBase* record : older) {
        if (record->GetType() == QueGraphicAllDelete) {
            EXPECT_EQ(record->cancelled, 0) << "an all-delete is never cancelled";
        } else {
            EXPECT_EQ(record->cancelled, 1) << "type " << record->GetType();
        }
    }
    // Slot, movie-control and sound records are never cancelled.
    EXPECT_EQ(slot->cancelled, 0);
    EXPECT_EQ(play->cancelled, 0);
    EXPECT_EQ(sound->cancelled, 0);
    EXPECT_EQ(all->cancelled, 0);
    EXPECT_EQ(create->cancelled, 0);
    EXPECT_EQ(alter->cancelled, 0);
}

TEST(QueCompactTest, PathsMatchOnlyWhole) {
    classQueue queue;
    auto* child = Add<classQue_GraphicCreate>(queue, {5, 7});
    auto* longer = Add<classQue_GraphicAlter>(queue, {5, 7, 1});
    auto* sibling = Add<classQue_GraphicAlter>(queue, {7});
    Add<classQue_GraphicDelete>(queue, {5});
    Add<classQue_GraphicDelete>(queue, {5, 7, 1, 0});
    queue.Compact();
    EXPECT_EQ(child->cancelled, 0);
    EXPECT_EQ(longer->cancelled, 0);
    EXPECT_EQ(sibling->cancelled, 0);
}

TEST(QueCompactTest, SingleRecordIsExaminedAndKept) {
    classQueue queue;
    auto* only = Add<classQue_GraphicDelete>(queue, {3});
    queue.Compact();
    EXPECT_EQ(only->cancelled, 0);
    classQueue empty;
    empty.Compact();
    EXPECT_EQ(empty.GetRecordCount(), 0u);
}

TEST(QueCompactTest, OlderRecordGoesOnlyWhenNewerOnesCoverAllOfItsScenes) {
    classQueue queue;
    auto* mainCreate = Add<classQue_GraphicCreate>(queue, {5}, 1);
    auto* bothAlter = Add<classQue_GraphicAlter>(queue, {5}, 3);
    auto* mainText = Add<classQue_GraphicStdOutText>(queue, {8}, 1);
    Add<classQue_GraphicDelete>(queue, {5}, 2);  // the overlay only
    Add<classQue_PageFeed>(queue, {8}, 2);
    AddAllDelete(queue, 2);
    queue.Compact();
    EXPECT_EQ(mainCreate->cancelled, 0);
    EXPECT_EQ(bothAlter->cancelled, 0);
    EXPECT_EQ(mainText->cancelled, 0);

    // Two newer records that together cover both scenes do cancel it.
    classQueue covered;
    auto* both = Add<classQue_GraphicAlter>(covered, {5}, 3);
    Add<classQue_GraphicDelete>(covered, {5}, 1);
    Add<classQue_GraphicCreate>(covered, {5}, 2);
    covered.Compact();
    EXPECT_EQ(both->cancelled, 1);

    // An all-delete of one scene plus a deletion on the other.
    classQueue split;
    auto* text = Add<classQue_GraphicStdOutText>(split, {2}, 3);
    AddAllDelete(split, 1);
    Add<classQue_PageFeed>(split, {2}, 2);
    split.Compact();
    EXPECT_EQ(text->cancelled, 1);

    // A record for no scene is overridden by a newer one for no scene.
    classQueue none;
    auto* noScene = Add<classQue_GraphicAlter>(none, {4}, 0);
    auto* mainAlter = Add<classQue_GraphicAlter>(none, {4}, 1);
    Add<classQue_GraphicDelete>(none, {4}, 0);
    none.Compact();
    EXPECT_EQ(noScene->cancelled, 1);
    EXPECT_EQ(mainAlter->cancelled, 0);
}

TEST(QueCompactTest, CancelledRecordsAreDroppedByTheNextExecution) {
    classQueue queue;
    Add<classQue_GraphicCreate>(queue, {5});
    Add<classQue_GraphicDelete>(queue, {5});
    queue.Compact();
    queue.Commit();
    classGraphicObject* noScene = nullptr;
    classQueContext context{nullptr, &noScene, &noScene};
    queue.ExecuteCommitted(context);
    EXPECT_EQ(queue.GetRecordCount(), 0u);
}

}  // namespace
