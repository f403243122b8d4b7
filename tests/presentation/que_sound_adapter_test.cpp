// The sound records against the real sound manager (no files, no output):
// layers are made, replaced, changed, hidden once a one-shot has played, and
// removed.
#include <gtest/gtest.h>

#include "foundation/application.h"
#include "presentation/que_services.h"
#include "sound/sound_manager.h"

namespace {

class SoundAdapterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitApplication());
        manager_ = classSoundManager::Create();
        GetApplication()->soundManager = manager_;
    }
    void TearDown() override {
        GetApplication()->soundManager = nullptr;
        classSoundManager::Destroy(manager_);
        ShutdownApplication();
    }
    classSoundManager* manager_ = nullptr;
    classQueSoundService& service_ = GetSoundManagerService();
};

TEST_F(SoundAdapterTest, CreateReplacesAndAlterChangesTheLayer) {
    service_.CreateLayer(12);
    classSoundLayer* first = manager_->FindLayer(12);
    ASSERT_NE(first, nullptr);
    service_.CreateLayer(12);
    EXPECT_EQ(manager_->LayerCount(), 1u) << "a create replaces the layer of that number";

    // Loop and stream differ in each case, so that one taken for the other shows.
    struct Case {
        int64 volume;
        bool loop;
        u8 stream;
        int64 loopFileNo;
    };
    for (const Case& c : {Case{500, true, 0, 3}, Case{250, false, 1, 2}}) {
        QueSoundLayerChange change;
        change.volume.Set(c.volume);
        change.loop.Set(c.loop);
        change.stream.Set(c.stream);
        change.loopFileNo.Set(c.loopFileNo);
        service_.AlterLayer(12, change);
        classSoundLayer* layer = manager_->FindLayer(12);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->GetVolume(), c.volume);
        EXPECT_EQ(layer->GetLoop(), c.loop ? 1 : 0) << c.volume;
        EXPECT_EQ(layer->GetStream(), c.stream) << c.volume;
        EXPECT_EQ(layer->GetLoopFileNo(), c.loopFileNo);
    }
    classSoundLayer* layer = manager_->FindLayer(12);
    QueSoundLayerChange change;
    change.volume.Set(500);
    // Out-of-range volumes are held to the layer's range.
    QueSoundLayerChange loud;
    loud.volume.Set(1000000);
    service_.AlterLayer(12, loud);
    EXPECT_EQ(layer->GetVolume(), 1000);

    // A missing layer or a number beyond 32 bits changes nothing; both ends
    // of the 32-bit range are layers.
    service_.AlterLayer(13, change);
    service_.CreateLayer(int64{1} << 32);
    service_.CreateLayer(int64{INT32_MIN} - 1);
    EXPECT_EQ(manager_->LayerCount(), 1u);
    EXPECT_EQ(manager_->FindLayer(0), nullptr);
    service_.CreateLayer(INT32_MIN);
    service_.CreateLayer(INT32_MAX);
    EXPECT_NE(manager_->FindLayer(INT32_MIN), nullptr);
    EXPECT_NE(manager_->FindLayer(INT32_MAX), nullptr);
    EXPECT_EQ(manager_->LayerCount(), 3u);
}

TEST_F(SoundAdapterTest, AOneShotLayerIsHiddenOnceItHasPlayedAndDeleteRemovesIt) {
    service_.CreateLayer(99);
    QueSoundLayerChange oneShot;
    oneShot.files = "no such sound.wav";
    oneShot.finishToDelete.Set(1);
    service_.AlterLayer(99, oneShot);
    classSoundLayer* layer = manager_->FindLayer(99);
    ASSERT_NE(layer, nullptr) << "the play record that follows must find it";
    // Nothing to play: it has played and stopped at once.
    service_.PlayLayer(99);
    EXPECT_EQ(manager_->FindLayer(99), nullptr);
    EXPECT_EQ(manager_->LayerCount(), 1u);
    // A create of that number sweeps the hidden layer away with the rest.
    service_.CreateLayer(99);
    EXPECT_EQ(manager_->LayerCount(), 1u);
    ASSERT_NE(manager_->FindLayer(99), nullptr);
    service_.CreateLayer(5);
    service_.DeleteLayer(99);
    EXPECT_EQ(manager_->LayerCount(), 1u);
    EXPECT_NE(manager_->FindLayer(5), nullptr);
    service_.DeleteAllLayers();
    EXPECT_EQ(manager_->LayerCount(), 0u);
}

}  // namespace
