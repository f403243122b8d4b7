// What the text and page commands post and what they change at once: short
// scripts run headless, the main queue's records are read field by field,
// the backlog is read back, and the character sets are looked at after the
// render thread's step that applies them. Expected values come from each
// command's parameters, worked out by hand.
#include "commands/text_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/glyph_set.h"
#include "presentation/que_records.h"
#include "support/executor/script_runner.h"
#include "support/fake_font_service.h"
#include "support/presentation/fake_scene_services.h"
#include "support/temp_folder.h"
#include "system/history_store.h"

namespace {

using Backlog = std::vector<std::vector<std::string>>;

class TextCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        app = GetApplication();
        testexec::InstallLoader();
        GetMainQueue()->TakeRecords();
        g_historyLog.Clear();
        // "PageFeed" waits for a frame: a render thread that only counts them.
        pump = std::thread([this] {
            while (pumping.load()) {
                app->RenderFrame();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void TearDown() override {
        pumping = false;
        pump.join();
        GetMainQueue()->TakeRecords();
        testexec::ClearSources();
        g_historyLog.Clear();
        ShutdownApplication();
    }

    std::vector<QueRecordPtr> Post(const std::string& source, bool skipping = false) {
        testexec::AddSource("text.qvs", source);
        testexec::ScriptRun run;
        run.host.skipPlaying.store(skipping);
        run.Run("text.qvs");
        EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 0) << "text commands never commit";
        return GetMainQueue()->TakeRecords();
    }

    template <typename Record>
    static Record* As(const std::vector<QueRecordPtr>& records, size_t index) {
        if (index >= records.size() || records[index]->GetType() != Record::kType) return nullptr;
        return static_cast<Record*>(records[index].get());
    }

    classApplication* app = nullptr;
    std::atomic<bool> pumping{true};
    std::thread pump;
};

TEST_F(TextCommandsTest, DrawnTextCarriesOnlyWhatWasGivenAndItsSpeedFactorAsAFloat) {
    struct Case {
        const char* name;
        const char* line;
        u64 mask;
        QuePath path;
        const char* text;
        bool colorSet;
        int64 color;
        bool fontSet;
        int64 font;
        float drawSpeed;
    };
    const Case cases[] = {
        {"everything given", "GraphicTextOut(Target=2, Layer=100:0, Text=\"ab\", Color=0xFF8000, FontNo=9, DrawSpeed=0.5)",
         2, {100, 0}, "ab", true, 0xFF8000, true, 9, 0.5f},
        {"defaults", "GraphicTextOut(Layer=5, Text=\"c\")", 1, {5}, "c", false, 0, false, 0, 1.0f},
        {"a speed that a float rounds", "GraphicTextOut(Layer=5, Text=\"d\", DrawSpeed=0.1)", 1, {5}, "d", false, 0,
         false, 0, 0.1f},
        {"a whole-number speed", "GraphicTextOut(Layer=5, DrawSpeed=3)", 1, {5}, "", false, 0, false, 0, 3.0f},
    };
    for (const Case& c : cases) {
        auto records = Post(c.line);
        ASSERT_EQ(records.size(), 1u) << c.name;
        auto* text = As<classQue_GraphicStdOutText>(records, 0);
        ASSERT_NE(text, nullptr) << c.name;
        EXPECT_EQ(text->sceneMask, c.mask) << c.name;
        EXPECT_EQ(text->path, c.path) << c.name;
        EXPECT_EQ(text->text, c.text) << c.name;
        EXPECT_EQ(text->color.IsSet(), c.colorSet) << c.name;
        if (c.colorSet) {
            EXPECT_EQ(text->color.Get(), c.color) << c.name;
        }
        EXPECT_EQ(text->fontNo.IsSet(), c.fontSet) << c.name;
        if (c.fontSet) {
            EXPECT_EQ(text->fontNo.Get(), c.font) << c.name;
        }
        ASSERT_TRUE(text->drawSpeed.IsSet()) << c.name;
        EXPECT_EQ(text->drawSpeed.Get(), c.drawSpeed) << c.name << ": the script's real, narrowed to a float";
    }
}

TEST_F(TextCommandsTest, ASkippedLineShowsAtOnceInTheFirstFontAndTheApplicationsColour) {
    auto records = Post("GraphicTextOut(Target=3, Layer=100:0, Text=\"skip\", Color=0xFF0000, FontNo=9, DrawSpeed=4)",
                        true);
    ASSERT_EQ(records.size(), 1u);
    auto* text = As<classQue_GraphicStdOutTextX>(records, 0);
    ASSERT_NE(text, nullptr) << "the instant record, not the progressive one";
    EXPECT_EQ(text->sceneMask, 3u);
    EXPECT_EQ(text->path, (QuePath{100, 0}));
    EXPECT_EQ(text->text, "skip");
    EXPECT_FALSE(text->color.IsSet()) << "Color is not used";
    ASSERT_TRUE(text->fontNo.IsSet());
    EXPECT_EQ(text->fontNo.Get(), 0) << "FontNo is not used";
    ASSERT_TRUE(text->speed.IsSet() && text->fadeMode.IsSet() && text->fadeTime.IsSet());
    EXPECT_EQ(text->speed.Get(), 0) << "all characters at once";
    EXPECT_EQ(text->fadeMode.Get(), 0);
    EXPECT_EQ(text->fadeTime.Get(), 0);
    EXPECT_EQ(text->repeat.Get(), 0);
    EXPECT_EQ(text->repeatPeriod.Get(), 0);
    EXPECT_FALSE(text->singleLine.IsSet()) << "the object's own line mode stays";
}

TEST_F(TextCommandsTest, TheMainTextBoxWritesOneBacklogEntryPerPage) {
    struct Case {
        const char* name;
        const char* script;
        Backlog expected;
        u8 pageStarted;
    };
    const Case cases[] = {
        {"two texts of a page share an entry",
         "GraphicTextOut(Layer=100:0, Text=\"a\") GraphicTextOut(Layer=100:0, Text=\"b\")", {{"a", "b"}}, 1},
        {"the box itself and a deeper object count",
         "GraphicTextOut(Layer=100, Text=\"a\") GraphicTextOut(Layer=100:3:1, Text=\"b\")", {{"a", "b"}}, 1},
        {"other objects write nothing",
         "GraphicTextOut(Layer=5, Text=\"x\") GraphicTextOut(Layer=1:100, Text=\"y\") GraphicTextOut(Text=\"z\")",
         {}, 0},
        {"a page feed closes the entry",
         "GraphicTextOut(Layer=100:0, Text=\"a\") PageFeed(Layer=100:0) GraphicTextOut(Layer=100:0, Text=\"b\") "
         "PageFeed(Layer=100:0)",
         {{"a"}, {"b"}}, 0},
        {"a page feed on another object closes it too",
         "GraphicTextOut(Layer=100:0, Text=\"a\") PageFeed(Layer=7) GraphicTextOut(Layer=100:0, Text=\"b\")",
         {{"a"}, {"b"}}, 1},
        {"a feed without text opens nothing", "PageFeed(Layer=100:0) PageFeed(Layer=100:0)", {}, 0},
        {"an empty text opens the page but is no line", "GraphicTextOut(Layer=100:0)", {{}}, 1},
        {"an empty text mid-page does not split it",
         "GraphicTextOut(Layer=100:0, Text=\"a\") GraphicTextOut(Layer=100:0, Text=\"\") "
         "GraphicTextOut(Layer=100:0, Text=\"b\")",
         {{"a", "b"}}, 1},
        {"a reset mid-page drops the rest of the page",
         "GraphicTextOut(Layer=100:0, Text=\"a\") HistoryReset() GraphicTextOut(Layer=100:0, Text=\"b\") "
         "PageFeed(Layer=100:0) GraphicTextOut(Layer=100:0, Text=\"c\")",
         {{"c"}}, 1},
    };
    for (const Case& c : cases) {
        g_historyLog.Clear();
        app->backlogPageStarted.store(0);
        Post(c.script);
        EXPECT_EQ(g_historyLog.Snapshot(), c.expected) << c.name;
        EXPECT_EQ(app->backlogPageStarted.load(), c.pageStarted) << c.name;
    }
}

TEST_F(TextCommandsTest, TextOfAPageWhoseVoiceOpenedTheEntryJoinsIt) {
    app->backlogPageStarted.store(1);
    g_historyLog.NewEntry();
    g_historyLog.AddLine("!<voicev01.ogg");
    Post("GraphicTextOut(Layer=100:0, Text=\"line\")", true);
    EXPECT_EQ(g_historyLog.Snapshot(), (Backlog{{"!<voicev01.ogg", "line"}})) << "skipped text is logged as well";
}

TEST_F(TextCommandsTest, PageFeedWaitsForAFrameThenClearsTheObjectTheVoiceAndThePage) {
    {
        classCriticalSectionLock hold(app->GetLock());
        app->lastVoiceFile = "voice\\a01.ogg";
    }
    app->backlogPageStarted.store(1);
    const u32 before = app->frameDoneCounter.load();
    auto records = Post("PageFeed(Target=2, Layer=100:0)");
    EXPECT_GT(app->frameDoneCounter.load() - before, 0u) << "a whole frame ended before the feed was posted";
    ASSERT_EQ(records.size(), 1u);
    auto* feed = As<classQue_PageFeed>(records, 0);
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->sceneMask, 2u);
    EXPECT_EQ(feed->path, (QuePath{100, 0}));
    {
        classCriticalSectionLock hold(app->GetLock());
        EXPECT_EQ(app->lastVoiceFile, "") << "auto mode must not time the next page by this voice";
    }
    EXPECT_EQ(app->backlogPageStarted.load(), 0);

    records = Post("PageFeed()");
    feed = As<classQue_PageFeed>(records, 0);
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->sceneMask, 1u) << "Target defaults to the main scene";
    EXPECT_TRUE(feed->path.empty());
}

// The character-set commands change a font's set at the render thread's next
// step; a list file here binds hiragana a and i to images.
class CharactorSetTest : public TextCommandsTest {
  protected:
    void SetUp() override {
        TextCommandsTest::SetUp();
        g_glyphSets.Clear();
        DefineFont(0, "Face", 30, 0);
        DefineFont(9, "Mono", 30, 0);
        folder.Put("list.txt", std::string("3042,g\\a.png\r\n3044,g\\i.png\r\n"));
    }
    void TearDown() override {
        ApplyPendingCharacterSets();
        g_glyphSets.Clear();
        TextCommandsTest::TearDown();
    }
    fakes::FakeFontService fonts;
    FakeSceneServices services;
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd{folder.Path()};
};

TEST_F(CharactorSetTest, EachCommandAttachesItsListWithItsKindAndDesignSize) {
    struct Case {
        const char* name;
        const char* script;
        int64 font;
        int32 kind;
        size_t glyphs;
        int64 width;
        int64 height;
    };
    const Case cases[] = {
        {"a missing list still sets the kind",
         "GraphicCharactorSet(Font=9, List=\"absent.txt\", DefaultWidth=5, DefaultHigth=6)", 9,
         GlyphSetKind_ColourImages, 0, 5, 6},
        {"tinted like text", "OrignalCharactorSet(Font=9, List=\"list.txt\", DefaultWidth=64, DefaultHigth=72)", 9,
         GlyphSetKind_TintedImages, 2, 64, 72},
        {"own colours", "GraphicCharactorSet(Font=0, List=\"list.txt\", DefaultWidth=48, DefaultHigth=40)", 0,
         GlyphSetKind_ColourImages, 2, 48, 40},
        {"a size not given keeps the set's own",
         "OrignalCharactorSet(Font=0, List=\"list.txt\", DefaultWidth=64, DefaultHigth=72) "
         "GraphicCharactorSet(Font=0, List=\"list.txt\")",
         0, GlyphSetKind_ColourImages, 2, 64, 72},
    };
    for (const Case& c : cases) {
        for (int64 number : {0, 9}) {
            classGlyphSet* set = g_glyphSets.Find(number);
            set->kind = GlyphSetKind_Font;
            set->defaultWidth = set->defaultHeight = 0;
        }
        Post(c.script);
        ApplyPendingCharacterSets();
        const classGlyphSet* set = g_glyphSets.Find(c.font);
        EXPECT_EQ(set->kind, c.kind) << c.name;
        EXPECT_EQ(set->glyphs.size(), c.glyphs) << c.name;
        EXPECT_EQ(set->defaultWidth, c.width) << c.name;
        EXPECT_EQ(set->defaultHeight, c.height) << c.name;
        const classGlyphSet* other = g_glyphSets.Find(c.font == 0 ? 9 : 0);
        EXPECT_EQ(other->kind, GlyphSetKind_Font) << c.name << ": the other font is untouched";
    }
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 1) << "あ of font 0 draws from its image";
}

TEST_F(CharactorSetTest, AFontWithoutASetOrNoFontAtAllChangesNothing) {
    Post("OrignalCharactorSet(Font=4, List=\"list.txt\", DefaultWidth=64, DefaultHigth=72) "
         "GraphicCharactorSet(List=\"list.txt\", DefaultWidth=64, DefaultHigth=72)");
    ApplyPendingCharacterSets();
    EXPECT_EQ(g_glyphSets.Find(4), nullptr) << "no set is made";
    for (int64 number : {0, 9}) {
        const classGlyphSet* set = g_glyphSets.Find(number);
        EXPECT_EQ(set->kind, GlyphSetKind_Font) << number;
        EXPECT_TRUE(set->glyphs.empty()) << number;
        EXPECT_EQ(set->defaultWidth, 0) << number;
    }
    EXPECT_EQ(services.acquires, 0);
}

}  // namespace
