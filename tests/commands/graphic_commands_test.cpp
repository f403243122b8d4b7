// What the graphic and slot commands post: scripts are compiled and run
// headless, then the main queue's records are read field by field. Every
// expected value is worked out from the command's parameters by hand.
#include "commands/graphic_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/slot_commands.h"
#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"
#include "script/script_context.h"
#include "script/script_value.h"
#include "support/executor/script_runner.h"

namespace {

class GraphicCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testexec::InstallLoader();
        GetMainQueue()->TakeRecords();
    }
    void TearDown() override {
        GetMainQueue()->TakeRecords();
        testexec::ClearSources();
    }

    // Runs `source` as a script and returns what it left on the main queue.
    std::vector<QueRecordPtr> Post(const std::string& source) {
        testexec::AddSource("graphic.qvs", source);
        testexec::ScriptRun run;
        run.Run("graphic.qvs");
        EXPECT_EQ(GetMainQueue()->GetCommittedCount(), 0) << "nothing may be committed";
        return GetMainQueue()->TakeRecords();
    }

    template <typename Record>
    static Record* As(const std::vector<QueRecordPtr>& records, size_t index) {
        if (index >= records.size() || records[index]->GetType() != Record::kType) return nullptr;
        return static_cast<Record*>(records[index].get());
    }
};

void ExpectVector(const classOptionalValue<D3DXVECTOR3>& field, float x, float y, float z, const char* what) {
    ASSERT_TRUE(field.IsSet()) << what;
    EXPECT_FLOAT_EQ(field.Get().x, x) << what;
    EXPECT_FLOAT_EQ(field.Get().y, y) << what;
    EXPECT_FLOAT_EQ(field.Get().z, z) << what;
}

TEST_F(GraphicCommandsTest, TheFilesEndingChoosesAMovieOrASaveRecordAndLeavesTheAlterationWithoutAFile) {
    struct Case {
        const char* script;
        QueRecordType kind;  // of the record before the alteration; QueGraphicAlter when there is none
        u64 mask;
        QuePath path;
        const char* special;  // the file of the record before the alteration
        const char* file;     // the alteration's
    } cases[] = {
        {"GraphicAlter(Target=2, Layer=5, File=\"op.WMV\")", QueGraphicAlter_Movie, 2, {5}, "op.WMV", ""},
        {"GraphicAlter(Layer=1:2:3, File=\".avi\")", QueGraphicAlter_Movie, 1, {1, 2, 3}, ".avi", ""},
        {"GraphicAlter(Layer=4, File=\"clip.Mpg\")", QueGraphicAlter_Movie, 1, {4}, "clip.Mpg", ""},
        {"GraphicAlter(Layer=4, File=\"s.DAT\")", QueGraphicAlter_PlayDataThumbnail, 1, {4}, "s.DAT", ""},
        // Too short to carry an ending, and endings that only look alike.
        {"GraphicAlter(Layer=4, File=\"x\")", QueGraphicAlter, 1, {4}, "", "x"},
        {"GraphicAlter(Layer=4, File=\"avi\")", QueGraphicAlter, 1, {4}, "", "avi"},
        {"GraphicAlter(Layer=4, File=\"a.av\")", QueGraphicAlter, 1, {4}, "", "a.av"},
        {"GraphicAlter(Layer=4, File=\"film.avi.png\")", QueGraphicAlter, 1, {4}, "", "film.avi.png"},
        {"GraphicAlter(Layer=4, File=\"a.d\xC3\xA1t\")", QueGraphicAlter, 1, {4}, "", "a.d\xC3\xA1t"},
    };
    for (const Case& c : cases) {
        auto records = Post(c.script);
        const size_t alterAt = c.kind == QueGraphicAlter ? 0 : 1;
        ASSERT_EQ(records.size(), alterAt + 1) << c.script;
        for (const auto& record : records) {
            EXPECT_EQ(record->sceneMask, c.mask) << c.script;
        }
        if (alterAt == 1) {
            EXPECT_EQ(records[0]->GetType(), c.kind) << c.script;
            auto* movie = As<classQue_GraphicAlter_Movie>(records, 0);
            auto* save = As<classQue_GraphicAlter_PlayDataThumbnail>(records, 0);
            EXPECT_EQ(movie != nullptr ? movie->fileName : save->fileName, c.special) << c.script;
            if (movie != nullptr) {
                EXPECT_EQ(movie->path, c.path) << c.script;
            }
        }
        auto* alter = As<classQue_GraphicAlter>(records, alterAt);
        ASSERT_NE(alter, nullptr) << c.script;
        EXPECT_EQ(alter->path, c.path) << c.script;
        EXPECT_EQ(alter->fileName, c.file) << c.script;
        EXPECT_FALSE(alter->x.IsSet() || alter->y.IsSet() || alter->z.IsSet() || alter->hide.IsSet() ||
                     alter->stencil.IsSet() || alter->transmittance.IsSet() || alter->vertexShader.IsSet() ||
                     alter->pixelShader.IsSet())
            << c.script;
    }
    EXPECT_FALSE(EndsWithNoCase("", ".dat"));
}

TEST_F(GraphicCommandsTest, OnlyTheGivenPropertiesTravelAndHideIsAFlag) {
    auto records = Post(
        "GraphicAlter(Layer=7, File=\"bg.png\", x=1.5, y=-2, z=0.25, Hide=5, Stencil=2.9, Transmittance=0.5, "
        "VertexShader=\"v\", PixelShader=\":Pixel.Sepia\")");
    ASSERT_EQ(records.size(), 1u);
    auto* alter = As<classQue_GraphicAlter>(records, 0);
    ASSERT_NE(alter, nullptr);
    EXPECT_EQ(alter->fileName, "bg.png");
    EXPECT_FLOAT_EQ(alter->x.Get(), 1.5f);
    EXPECT_FLOAT_EQ(alter->y.Get(), -2.0f);
    EXPECT_FLOAT_EQ(alter->z.Get(), 0.25f);
    EXPECT_EQ(alter->hide.Get(), 1) << "any non-zero Hide hides";
    EXPECT_EQ(alter->stencil.Get(), 2) << "a real is truncated toward zero";
    EXPECT_FLOAT_EQ(alter->transmittance.Get(), 0.5f);
    EXPECT_EQ(alter->vertexShader.Get(), "v");
    EXPECT_EQ(alter->pixelShader.Get(), ":Pixel.Sepia");
    EXPECT_TRUE(alter->x.IsSet() && alter->hide.IsSet() && alter->stencil.IsSet() &&
                alter->vertexShader.IsSet() && alter->pixelShader.IsSet());

    records = Post("GraphicAlter(Layer=7, Hide=0)");
    ASSERT_EQ(records.size(), 1u);
    alter = As<classQue_GraphicAlter>(records, 0);
    ASSERT_NE(alter, nullptr);
    ASSERT_TRUE(alter->hide.IsSet());
    EXPECT_EQ(alter->hide.Get(), 0);
    EXPECT_FALSE(alter->x.IsSet());
    EXPECT_EQ(alter->fileName, "");
}

TEST_F(GraphicCommandsTest, TargetAndLayerAloneCreateButNeverAlter) {
    EXPECT_TRUE(Post("GraphicAlter(Target=1, Layer=4)").empty());
    EXPECT_TRUE(Post("GraphicAlter(Layer=4)").empty());

    auto records = Post("Graphic(Target=3, Layer=4)");
    ASSERT_EQ(records.size(), 1u);
    auto* create = As<classQue_GraphicCreate>(records, 0);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->sceneMask, 3u);
    EXPECT_EQ(create->path, QuePath{4});

    // "Graphic" with a movie: the creation comes first, then what the alteration posts.
    records = Post("Graphic(Target=0, Layer=2:1, File=\"m.mpg\", x=3)");
    ASSERT_EQ(records.size(), 3u);
    ASSERT_NE(As<classQue_GraphicCreate>(records, 0), nullptr);
    ASSERT_NE(As<classQue_GraphicAlter_Movie>(records, 1), nullptr);
    auto* alter = As<classQue_GraphicAlter>(records, 2);
    ASSERT_NE(alter, nullptr);
    for (const auto& record : records) EXPECT_EQ(record->sceneMask, 0u);
    EXPECT_EQ(alter->path, (QuePath{2, 1}));
    EXPECT_FLOAT_EQ(alter->x.Get(), 3.0f);
}

TEST_F(GraphicCommandsTest, PathCommandsPostOneRecordEach) {
    auto records = Post(
        "GraphicDelete(Layer=1:2:3) GraphicFilter(Target=2, Layer=9, File=\":Pixel.Mono\") "
        "GraphicPlay(Layer=6) "
        "GraphicStop(Layer=6) GraphicPouse(Target=3, Layer=6) GraphicFilter(Layer=8)");
    ASSERT_EQ(records.size(), 6u);
    auto* erase = As<classQue_GraphicDelete>(records, 0);
    ASSERT_NE(erase, nullptr);
    EXPECT_EQ(erase->sceneMask, 1u);
    EXPECT_EQ(erase->path, (QuePath{1, 2, 3}));
    auto* filter = As<classQue_GraphicFilter>(records, 1);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->sceneMask, 2u);
    EXPECT_EQ(filter->path, QuePath{9});
    EXPECT_EQ(filter->pixelShader, ":Pixel.Mono");
    ASSERT_NE(As<classQue_GraphicMoviePlay>(records, 2), nullptr);
    ASSERT_NE(As<classQue_GraphicMovieStop>(records, 3), nullptr);
    auto* pause = As<classQue_GraphicMoviePouse>(records, 4);
    ASSERT_NE(pause, nullptr);
    EXPECT_EQ(pause->sceneMask, 3u);
    EXPECT_EQ(pause->path, QuePath{6});
    ASSERT_NE(As<classQue_GraphicFilter>(records, 5), nullptr);
    EXPECT_EQ(As<classQue_GraphicFilter>(records, 5)->pixelShader, "");
}

// Values that do not convert leave their parameters unset: an operator token
// is no file name, a list is no coordinate, an empty value is no Target.
TEST_F(GraphicCommandsTest, ArgumentsOfTheWrongKindCountAsNotGiven) {
    std::vector<classScriptValue> arguments(5);
    arguments[1].SetInteger(2);
    arguments[2].SetOperator("+");
    arguments[3].MakeList()->resize(1);
    (*arguments[3].GetList())[0].SetInteger(9);
    arguments[4].SetString("12.5");
    classScriptContext context;
    classScriptValue result;
    Builtin_GraphicAlter(context, arguments, 5, result);
    auto records = GetMainQueue()->TakeRecords();
    ASSERT_EQ(records.size(), 1u);
    auto* alter = As<classQue_GraphicAlter>(records, 0);
    ASSERT_NE(alter, nullptr);
    EXPECT_EQ(alter->sceneMask, 1u);
    EXPECT_EQ(alter->fileName, "");
    EXPECT_FALSE(alter->x.IsSet());
    ASSERT_TRUE(alter->y.IsSet()) << "a numeric text reads as a number";
    EXPECT_FLOAT_EQ(alter->y.Get(), 12.5f);

    // Entries past the call's own count are stale and never read.
    arguments[2].SetString("stale.avi");
    Builtin_GraphicAlter(context, arguments, 2, result);
    EXPECT_TRUE(GetMainQueue()->TakeRecords().empty());
}

TEST_F(GraphicCommandsTest, ASaveSlotThumbnailIsAnAlterationOfTheSlotsFile) {
    ASSERT_TRUE(InitApplication());
    struct Shutdown {
        ~Shutdown() { ShutdownApplication(); }
    } shutdown;
    const std::string folder = "/home/player/.local/share/velk2/";
    GetApplication()->dataFolder = folder;

    auto records =
        Post("GraphicPlayDataThumbnail(Target=1, Layer=3, No=7, x=10, y=20, Hide=0, StencilAction=4)");
    ASSERT_EQ(records.size(), 3u);
    ASSERT_NE(As<classQue_GraphicCreate>(records, 0), nullptr);
    auto* thumbnail = As<classQue_GraphicAlter_PlayDataThumbnail>(records, 1);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->path, QuePath{3});
    EXPECT_EQ(thumbnail->fileName, folder + "save0007.dat");
    auto* alter = As<classQue_GraphicAlter>(records, 2);
    ASSERT_NE(alter, nullptr);
    EXPECT_EQ(alter->fileName, "");
    EXPECT_FLOAT_EQ(alter->x.Get(), 10.0f);
    EXPECT_FLOAT_EQ(alter->y.Get(), 20.0f);
    EXPECT_FALSE(alter->z.IsSet());
    EXPECT_EQ(alter->hide.Get(), 0);
    EXPECT_EQ(alter->stencil.Get(), 4) << "StencilAction stands where Stencil is read";
    EXPECT_FALSE(alter->vertexShader.IsSet());

    records = Post("GraphicPlayDataThumbnail(Layer=3, x=5)");
    ASSERT_EQ(records.size(), 2u);
    ASSERT_NE(As<classQue_GraphicCreate>(records, 0), nullptr);
    alter = As<classQue_GraphicAlter>(records, 1);
    ASSERT_NE(alter, nullptr);
    EXPECT_EQ(alter->fileName, "");
    EXPECT_FLOAT_EQ(alter->x.Get(), 5.0f);

    // Slot numbers are formatted as 64-bit: wide ones are not cut back onto a real slot.
    records = Post("GraphicPlayDataThumbnail(Layer=3, No=10000)");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(As<classQue_GraphicAlter_PlayDataThumbnail>(records, 1)->fileName, folder + "save10000.dat");
    records = Post("GraphicPlayDataThumbnail(Layer=3, No=4294967303)");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(As<classQue_GraphicAlter_PlayDataThumbnail>(records, 1)->fileName,
              folder + "save4294967303.dat");
}

// ---- Slot commands ----

TEST_F(GraphicCommandsTest, ANewSlotWithOnlyATimeLoopsOnceAndLeavesTheRestToTheSlot) {
    auto records = Post("GraphicSlot(Layer=3, Time=1000)");
    ASSERT_EQ(records.size(), 1u);
    auto* set = As<classQue_GraphicStirSlotSet>(records, 0);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->sceneMask, 1u);
    EXPECT_EQ(set->path, QuePath{3});
    EXPECT_FALSE(set->no.IsSet()) << "the render thread numbers it";
    const classQueSlotFields& f = set->fields;
    EXPECT_EQ(f.time.Get(), 1000);
    ASSERT_TRUE(f.loop.IsSet());
    EXPECT_EQ(f.loop.Get(), 1);
    EXPECT_FALSE(f.startDelay.IsSet() || f.delay.IsSet() || f.afterDelay.IsSet() || f.timeGainStart.IsSet() ||
                 f.timeGainEnd.IsSet() || f.autoDeleteFlag.IsSet() || f.position.IsSet() || f.scale.IsSet() ||
                 f.roll.IsSet() || f.transmittance.IsSet() || f.rate.IsSet() || f.positionCenter.IsSet() ||
                 f.scaleCenter.IsSet() || f.rollCenter.IsSet() || f.rollAxis.IsSet() ||
                 f.positionGainStart.IsSet() || f.positionGainEnd.IsSet() || f.scaleGainStart.IsSet() ||
                 f.scaleGainEnd.IsSet());
}

TEST_F(GraphicCommandsTest, EveryScalarSlotParameterLandsInItsField) {
    auto records = Post(
        "GraphicSlot(Target=2, Layer=1:4, No=6, StartDelay=10, Delay=20, AfterDelay=30, Time=40, "
        "TimeGainStart=0.1, TimeGainEnd=2, Loop=-1, AutoDeleteFlag=7, Roll=0.5, Transmittance=0.75, Rate=3)");
    ASSERT_EQ(records.size(), 1u);
    auto* set = As<classQue_GraphicStirSlotSet>(records, 0);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->sceneMask, 2u);
    EXPECT_EQ(set->path, (QuePath{1, 4}));
    EXPECT_EQ(set->no.Get(), 6);
    const classQueSlotFields& f = set->fields;
    EXPECT_EQ(f.startDelay.Get(), 10);
    EXPECT_EQ(f.delay.Get(), 20);
    EXPECT_EQ(f.afterDelay.Get(), 30);
    EXPECT_EQ(f.time.Get(), 40);
    EXPECT_FLOAT_EQ(f.timeGainStart.Get(), 0.1f);
    EXPECT_FLOAT_EQ(f.timeGainEnd.Get(), 2.0f);
    EXPECT_EQ(f.loop.Get(), -1);
    EXPECT_EQ(f.autoDeleteFlag.Get(), 1);
    EXPECT_FLOAT_EQ(f.roll.Get(), 0.5f);
    EXPECT_FLOAT_EQ(f.transmittance.Get(), 0.75f);
    EXPECT_FLOAT_EQ(f.rate.Get(), 3.0f);
}

TEST_F(GraphicCommandsTest, VectorsFillMissingComponentsAndAPositionSeedsBothGains) {
    auto records = Post("GraphicSlot(Layer=1, Position=10:20)");
    ASSERT_EQ(records.size(), 1u);
    const classQueSlotFields* f = &As<classQue_GraphicStirSlotSet>(records, 0)->fields;
    ExpectVector(f->position, 10, 20, 0, "position");
    ExpectVector(f->positionGainStart, 10, 20, 0, "gain start");
    ExpectVector(f->positionGainEnd, 10, 20, 0, "gain end");

    records = Post("GraphicSlot(Layer=1, Position=10:20, PositionGainStart=0:0:0)");
    f = &As<classQue_GraphicStirSlotSet>(records, 0)->fields;
    ExpectVector(f->positionGainStart, 0, 0, 0, "given gain start");
    ExpectVector(f->positionGainEnd, 10, 20, 0, "gain end from the position");

    records = Post(
        "GraphicSlot(Layer=1, Scale=0.5, ScaleGainStart=2, RollAxis=1:2:3:4, PositionCenter=5, "
        "ScaleCenter=1:1, "
        "RollCenter=7:8:9, PositionGainEnd=4, ScaleGainEnd=0.5:0.5)");
    f = &As<classQue_GraphicStirSlotSet>(records, 0)->fields;
    ExpectVector(f->scale, 0.5f, 1, 1, "one scale value scales x alone");
    ExpectVector(f->scaleGainStart, 2, 0, 0, "only Scale itself fills with 1");
    ExpectVector(f->rollAxis, 1, 2, 3, "a fourth component is dropped");
    ExpectVector(f->positionCenter, 5, 0, 0, "position centre");
    ExpectVector(f->scaleCenter, 1, 1, 0, "scale centre");
    ExpectVector(f->rollCenter, 7, 8, 9, "roll centre");
    ExpectVector(f->positionGainEnd, 4, 0, 0, "position gain end");
    ExpectVector(f->scaleGainEnd, 0.5f, 0.5f, 0, "scale gain end");
    EXPECT_FALSE(f->position.IsSet() || f->positionGainStart.IsSet());

    records = Post("GraphicSlot(Layer=1, Scale=0.5:0.5)");
    ExpectVector(As<classQue_GraphicStirSlotSet>(records, 0)->fields.scale, 0.5f, 0.5f, 1,
                 "two scale values");
}

TEST_F(GraphicCommandsTest, AlterNeedsASlotNumberAndKeepsTheRunningLoop) {
    auto records = Post("GraphicSlotAlter(Layer=2, No=3, Time=500, Position=1:2:3)");
    ASSERT_EQ(records.size(), 1u);
    auto* change = As<classQue_GraphicStirSlotChange>(records, 0);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->path, QuePath{2});
    EXPECT_EQ(change->no, 3);
    EXPECT_EQ(change->fields.time.Get(), 500);
    EXPECT_FALSE(change->fields.loop.IsSet()) << "no default Loop when changing";
    ExpectVector(change->fields.positionGainEnd, 1, 2, 3, "alteration seeds the gains too");

    records = Post("GraphicSlotAlter(Layer=2, No=0, Loop=4)");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(As<classQue_GraphicStirSlotChange>(records, 0)->no, 0);
    EXPECT_EQ(As<classQue_GraphicStirSlotChange>(records, 0)->fields.loop.Get(), 4);

    EXPECT_TRUE(Post("GraphicSlotAlter(Layer=2, Time=500)").empty()) << "no slot named, nothing to change";
}

TEST_F(GraphicCommandsTest, DeleteWithoutANumberRemovesSlotZero) {
    auto records = Post("GraphicSlotDelete(Layer=5) GraphicSlotDelete(Target=2, Layer=5, No=9)");
    ASSERT_EQ(records.size(), 2u);
    auto* first = As<classQue_GraphicStirSlotDelete>(records, 0);
    auto* second = As<classQue_GraphicStirSlotDelete>(records, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->no, 0);
    EXPECT_EQ(first->sceneMask, 1u);
    EXPECT_EQ(second->no, 9);
    EXPECT_EQ(second->sceneMask, 2u);
    EXPECT_EQ(second->path, QuePath{5});
}

}  // namespace
