// Record type ids, the holder's ownership, and the compaction of a queue that
// piled up while skipping to the next choice.
#include "presentation/que_records.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
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

// Records written as "kind path/mask", e.g. "alter 5.7/3"; kinds: create,
// alter, movie, thumb, filter, delete, all, feed, text, textx, slot, play, sound.
template <typename T>
classQueBase* WithPath(const QuePath& path, u64 mask) {
    auto* record = new T();
    record->path = path;
    record->sceneMask = mask;
    return record;
}

classQueBase* MakeRecord(const std::string& spec) {
    std::istringstream in(spec);
    std::string kind, where;
    in >> kind >> where;
    const size_t slash = where.find('/');
    const u64 mask = std::stoull(where.substr(slash + 1));
    QuePath path;
    std::istringstream keys(where.substr(0, slash));
    for (std::string key; std::getline(keys, key, '.');) path.push_back(std::stoll(key));
    if (kind == "create") return WithPath<classQue_GraphicCreate>(path, mask);
    if (kind == "alter") return WithPath<classQue_GraphicAlter>(path, mask);
    if (kind == "movie") return WithPath<classQue_GraphicAlter_Movie>(path, mask);
    if (kind == "thumb") return WithPath<classQue_GraphicAlter_PlayDataThumbnail>(path, mask);
    if (kind == "filter") return WithPath<classQue_GraphicFilter>(path, mask);
    if (kind == "delete") return WithPath<classQue_GraphicDelete>(path, mask);
    if (kind == "feed") return WithPath<classQue_PageFeed>(path, mask);
    if (kind == "text") return WithPath<classQue_GraphicStdOutText>(path, mask);
    if (kind == "textx") return WithPath<classQue_GraphicStdOutTextX>(path, mask);
    if (kind == "slot") return WithPath<classQue_GraphicStirSlotSet>(path, mask);
    if (kind == "play") return WithPath<classQue_GraphicMoviePlay>(path, mask);
    classQueBase* record = kind == "all" ? static_cast<classQueBase*>(new classQue_GraphicAllDelete())
                                         : new classQue_SoundPlay();
    record->sceneMask = mask;
    return record;
}

TEST(QueCompactTest, NewerRecordsCoveringAllScenesOfAPathCancelOlderOnes) {
    struct Case {
        const char* name;
        std::vector<std::string> records;  // oldest first
        std::string cancelled;             // one '1' or '0' per record
    };
    const Case cases[] = {
        {"a delete cancels create and alter of its path only",
         {"create 5/1", "alter 5/1", "delete 5/1", "alter 6/1"}, "1100"},
        {"a filter cancels movie and thumbnail, not a newer alter",
         {"movie 1.2/1", "thumb 1.2/1", "filter 1.2/1", "alter 1.2/1"}, "1100"},
        {"a create cancels an older create", {"create 3/1", "create 3/1"}, "10"},
        {"a page feed cancels older text of its path", {"text 9/1", "feed 9/1", "text 9/1"}, "100"},
        {"a page feed cancels text and an older feed, not images",
         {"alter 9/1", "feed 9/1", "textx 9/1", "feed 9/1", "text 8/1"}, "01100"},
        {"an all-delete cancels every older graphic record",
         {"create 1/1", "alter 1/1", "text 2/1", "feed 2/1", "filter 3/1", "delete 4/1", "movie 5/1", "all /1",
          "slot 1/1", "play 5/1", "sound /0", "all /1", "create 1/1", "alter 1/1"},
         "11111110000000"},
        {"paths match only whole",
         {"create 5.7/1", "alter 5.7.1/1", "alter 7/1", "delete 5/1", "delete 5.7.1.0/1"}, "00000"},
        {"a single record is kept", {"delete 3/1"}, "0"},
        {"newer records for the overlay only leave the main scene's",
         {"create 5/1", "alter 5/3", "text 8/1", "delete 5/2", "feed 8/2", "all /2"}, "000110"},
        {"two newer records together covering both scenes", {"alter 5/3", "delete 5/1", "create 5/2"}, "100"},
        {"an all-delete of one scene and a feed on the other", {"text 2/3", "all /1", "feed 2/2"}, "100"},
        {"no scene is overridden by a newer no scene", {"alter 4/0", "alter 4/1", "delete 4/0"}, "100"},
    };
    for (const Case& c : cases) {
        classQueue queue;
        std::vector<classQueBase*> posted;
        for (const std::string& spec : c.records) {
            posted.push_back(MakeRecord(spec));
            queue.Post(posted.back());
        }
        queue.Compact();
        std::string cancelled;
        for (classQueBase* record : posted) cancelled += record->cancelled != 0 ? '1' : '0';
        EXPECT_EQ(cancelled, c.cancelled) << c.name;
    }
    classQueue empty;
    empty.Compact();
    EXPECT_EQ(empty.GetRecordCount(), 0u);
}

TEST(QueCompactTest, CancelledRecordsAreDroppedByTheNextExecution) {
    classQueue queue;
    queue.Post(MakeRecord("create 5/1"));
    queue.Post(MakeRecord("delete 5/1"));
    queue.Compact();
    queue.Commit();
    classGraphicObject* noScene = nullptr;
    classQueContext context{nullptr, &noScene, &noScene};
    queue.ExecuteCommitted(context);
    EXPECT_EQ(queue.GetRecordCount(), 0u);
}

}  // namespace
