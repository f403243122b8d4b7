// Movie textures on a recording device with a player that stands in for the
// decoder: tiles and the picture copy, the request bytes carried out by the
// update, the busy test "GraphicWait" relies on, one player per resource
// joined at its erase and at shut-down; and the opening of real movie files
// from the archives and loose files.
#include "presentation/movie_playback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/archive.h"
#include "presentation/graphic_device.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"
#include "presentation/scene_record.h"
#include "presentation/shared_resource.h"
#include "presentation/shared_texture_services.h"
#include "support/archive_builder.h"
#include "support/fake_gpu_device.h"
#include "support/movie_encoder.h"
#include "support/temp_folder.h"

namespace {

// What the stand-in players did, kept beyond their life.
struct PlayerLog {
    std::vector<std::string> calls;
    std::vector<std::string> paths;
    int destroyed = 0;
    bool opens = true;
    int32 width = 640;
    int32 height = 480;
    int64 current = 0;
    int64 stop = 400000;
    u64 serial = 1;
};
PlayerLog g_log;

// Texel (x, y) of the stand-in's picture: blue x, green y, red 0x77, opaque.
class FakePlayer final : public platform::MoviePlayer {
  public:
    FakePlayer() : picture_(static_cast<size_t>(g_log.width) * g_log.height * 4) {
        for (int32 y = 0; y < g_log.height; ++y) {
            for (int32 x = 0; x < g_log.width; ++x) {
                u8* texel = &picture_[(static_cast<size_t>(y) * g_log.width + x) * 4];
                texel[0] = static_cast<u8>(x);
                texel[1] = static_cast<u8>(y);
                texel[2] = 0x77;
                texel[3] = 255;
            }
        }
    }
    ~FakePlayer() override { ++g_log.destroyed; }
    int32 Width() const override { return g_log.width; }
    int32 Height() const override { return g_log.height; }
    void Run() override { g_log.calls.push_back("run"); }
    void Pause() override { g_log.calls.push_back("pause"); }
    void Stop() override { g_log.calls.push_back("stop"); }
    void SetRate(double rate) override {
        g_log.calls.push_back("rate " + std::to_string(static_cast<int>(rate)));
    }
    void GetPositions(int64* current, int64* stop) override {
        *current = g_log.current;
        *stop = g_log.stop;
    }
    bool IsCued() override { return true; }
    bool TakePicture(u64* serial, const std::function<void(const u8*, size_t)>& use) override {
        if (*serial != 0 && *serial == g_log.serial) return false;
        use(picture_.data(), static_cast<size_t>(g_log.width) * 4);
        *serial = g_log.serial;
        return true;
    }

  private:
    std::vector<u8> picture_;
};

std::unique_ptr<platform::MoviePlayer> OpenFake(const std::string& path) {
    g_log.paths.push_back(path);
    if (!g_log.opens) return nullptr;
    return std::make_unique<FakePlayer>();
}

struct RootDeleter {
    void operator()(classGraphicObject* root) const { classGraphicObject::Delete(root); }
};
using Root = std::unique_ptr<classGraphicObject, RootDeleter>;

class MovieTextureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log = PlayerLog{};
        auto fake = std::make_unique<fakes::FakeGpuDevice>();
        gpu = fake.get();
        holder.Setup(
            std::move(fake),
            [] {
                return platform::ClientSize{1280, 720};
            },
            1280, 720, 0);
        SetGraphicDevice(&holder);
        ASSERT_TRUE(holder.Start());
        holder.IsReady();
        saved = GetDeviceObjectHooks();
        InstallSharedResourceDeviceHooks();
        previous = SetSceneServices(&services);
        RegisterMovieSubsystem();
        SetMoviePlayerFactory(&OpenFake);
    }
    void TearDown() override {
        root.reset();
        g_sharedResources.Clear();
        g_sharedResources.SetCapsOverride(nullptr);
        GetSharedResourceHooks() = classSharedResourceHooks{};
        SetMoviePlayerFactory(nullptr);
        GetDeviceObjectHooks() = saved;
        SetSceneServices(previous);
        SetGraphicDevice(nullptr);
    }
    // A fresh scene and player log for the next case.
    void Reset() {
        root.reset(classGraphicObject::New());
        g_sharedResources.Clear();
        g_sharedResources.SetCapsOverride(nullptr);
        g_log = PlayerLog{};
        gpu->uploads.clear();
    }
    classGraphicObject* MovieObject(const std::string& file) {
        classGraphicObject* object = classGraphicObject::CreateAtPath(root.get(), std::vector<int64>{1});
        object->SetMovieTexture(file);
        return object;
    }
    bool Realise(classGraphicObject* object) { return object->texture->Realise(holder.GetDevice()); }
    // A "GraphicPlay", "GraphicStop" or "GraphicPouse" record on object `key`.
    void Request(int64 key, QueMovieRequest request) {
        if (request == QueMovieRequest::Play) RunRecord<classQue_GraphicMoviePlay>(key);
        if (request == QueMovieRequest::Stop) RunRecord<classQue_GraphicMovieStop>(key);
        if (request == QueMovieRequest::Pause) RunRecord<classQue_GraphicMoviePouse>(key);
    }
    template <typename T>
    void RunRecord(int64 key) {
        auto* record = new T();
        record->path = {key};
        record->sceneMask = 1;
        classGraphicObject* scene = root.get();
        classQueContext context;
        context.mainScene = &scene;
        classQueue queue;
        queue.Post(record);
        queue.Commit();
        queue.ExecuteCommitted(context);
    }

    fakes::FakeGpuDevice* gpu = nullptr;
    classGraphicDevice holder;
    classDeviceObjectHooks saved;
    classSharedTextureServices services{nullptr};
    classSceneServices* previous = nullptr;
    Root root{classGraphicObject::New()};
};

}  // namespace

TEST_F(MovieTextureTest, TilesStartOpaqueBlackAndTakeThePictureUpright) {
    struct Case {
        const char* name;
        int32 width, height;
        classTextureCaps caps;
        int32 tileWidth, tileHeight;
        size_t tiles;
        // The picture's upload into the last tile: its size and where its first texel came from.
        int lastWidth, lastHeight, lastFromX;
    };
    const Case cases[] = {
        {"640 x 480 on a power-of-two device",
         640,
         480,
         {true, false, 2048, 2048},
         1024,
         512,
         1,
         640,
         480,
         0},
        {"1280 x 720, tiles of at most 1024",
         1280,
         720,
         {true, false, 1024, 1024},
         1024,
         1024,
         2,
         256,
         720,
         1024},
        {"321 x 241 without size rules", 321, 241, {false, false, 4096, 4096}, 321, 241, 1, 321, 241, 0},
    };
    for (const Case& c : cases) {
        Reset();
        g_log.width = c.width;
        g_log.height = c.height;
        g_sharedResources.SetCapsOverride(&c.caps);
        classGraphicObject* object = MovieObject("op.mpg");
        ASSERT_TRUE(Realise(object)) << c.name;
        classSharedResource* texture = object->texture;
        EXPECT_EQ(texture->tileWidth, c.tileWidth) << c.name;
        EXPECT_EQ(texture->tileHeight, c.tileHeight) << c.name;
        ASSERT_EQ(texture->tiles.size(), c.tiles) << c.name;
        // Every tile first goes opaque black, then the picture goes in.
        ASSERT_EQ(gpu->uploads.size(), c.tiles * 2) << c.name;
        for (size_t i = 0; i < c.tiles; ++i) {
            const auto& black = gpu->uploads[i];
            EXPECT_EQ(black.width, c.tileWidth) << c.name;
            EXPECT_EQ(black.height, c.tileHeight) << c.name;
            for (size_t b = 0; b < black.pixels.size(); b += 4) {
                ASSERT_EQ(black.pixels[b] | black.pixels[b + 1] | black.pixels[b + 2], 0) << c.name;
                ASSERT_EQ(black.pixels[b + 3], 255) << c.name;
            }
        }
        const auto& last = gpu->uploads.back();
        EXPECT_EQ(last.texture, texture->tiles.back().texture) << c.name;
        EXPECT_EQ(last.x, 0) << c.name;
        EXPECT_EQ(last.y, 0) << c.name;
        EXPECT_EQ(last.width, c.lastWidth) << c.name;
        EXPECT_EQ(last.height, c.lastHeight) << c.name;
        // Row 5, column 3 of that upload is picture texel (fromX + 3, 5).
        const u8* texel = &last.pixels[(5 * static_cast<size_t>(c.lastWidth) + 3) * 4];
        EXPECT_EQ(texel[0], static_cast<u8>(c.lastFromX + 3)) << c.name;
        EXPECT_EQ(texel[1], 5) << c.name;
        EXPECT_EQ(texel[2], 0x77) << c.name;
        EXPECT_EQ(texel[3], 255) << c.name;
        // No new picture, no upload; a new one is copied at the update.
        const size_t uploads = gpu->uploads.size();
        UpdateMovieTexture(texture);
        EXPECT_EQ(gpu->uploads.size(), uploads) << c.name;
        ++g_log.serial;
        UpdateMovieTexture(texture);
        EXPECT_EQ(gpu->uploads.size(), uploads + c.tiles) << c.name;
    }
}

TEST_F(MovieTextureTest, RequestsAreCarriedOutByTheUpdateStopPlayPause) {
    using R = QueMovieRequest;
    struct Case {
        const char* name;
        bool beforeFirstDraw;
        std::vector<R> requests;
        std::vector<std::string> calls;  // after the open's own pause and the first rate
    };
    const Case cases[] = {
        {"play before the first draw waits for it", true, {R::Play}, {"run"}},
        {"stop then play in one batch", false, {R::Stop, R::Play}, {"stop", "run"}},
        {"play then pause", false, {R::Play, R::Pause}, {"run", "pause"}},
        {"pause then play: the play clears the pause", false, {R::Pause, R::Play}, {"run"}},
        {"play then stop: the stop clears the play", false, {R::Play, R::Stop}, {"stop"}},
    };
    for (const Case& c : cases) {
        Reset();
        classGraphicObject* object = MovieObject("op.mpg");
        classSharedResource* texture = object->texture;
        if (c.beforeFirstDraw) {
            for (R request : c.requests) RequestMovie(texture, request);
            EXPECT_FALSE(UpdateMovieTexture(texture)) << c.name;  // no graph yet: kept
        }
        ASSERT_TRUE(Realise(object)) << c.name;
        if (!c.beforeFirstDraw) {
            UpdateMovieTexture(texture);
            g_log.calls.assign({"pause", "rate 1"});
            for (R request : c.requests) RequestMovie(texture, request);
        }
        UpdateMovieTexture(texture);
        std::vector<std::string> expected = {"pause"};
        if (c.beforeFirstDraw) {
            expected.insert(expected.end(), c.calls.begin(), c.calls.end());
            expected.push_back("rate 1");
        } else {
            expected.push_back("rate 1");
            expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        }
        EXPECT_EQ(g_log.calls, expected) << c.name;
        // Carried out once: the next update finds nothing to do.
        const size_t count = g_log.calls.size();
        EXPECT_FALSE(UpdateMovieTexture(texture)) << c.name;
        EXPECT_EQ(g_log.calls.size(), count) << c.name;
    }
}

TEST_F(MovieTextureTest, BusyFromItsPlayUntilItsEndAStopOrAPause) {
    using R = QueMovieRequest;
    struct Case {
        const char* name;
        bool opens;
        bool hidden;
        bool drawn;
        std::vector<R> requests;  // through the records, before the update
        bool updated;             // the scene update has carried them out
        int64 current, stop;
        bool busy;
    };
    const Case cases[] = {
        {"cued on its first picture, never played", true, false, true, {}, true, 0, 400000, false},
        {"played, at its start", true, false, true, {R::Play}, true, 0, 400000, true},
        {"played, half-way", true, false, true, {R::Play}, true, 200000, 400000, true},
        {"played, at its end", true, false, true, {R::Play}, true, 400000, 400000, false},
        {"played, nothing to play", true, false, true, {R::Play}, true, 0, 0, false},
        {"played, the play not carried out yet", true, false, true, {R::Play}, false, 0, 400000, true},
        {"played, then paused", true, false, true, {R::Play, R::Pause}, true, 200000, 400000, false},
        {"played, then stopped", true, false, true, {R::Play, R::Stop}, true, 200000, 400000, false},
        {"played, a file that cannot be opened", false, false, true, {R::Play}, true, 0, 400000, false},
        {"played, shown but not drawn yet", true, false, false, {R::Play}, false, 0, 400000, true},
        {"played, hidden, so never drawn", true, true, false, {R::Play}, false, 0, 400000, false},
    };
    for (const Case& c : cases) {
        Reset();
        g_log.opens = c.opens;
        g_log.current = c.current;
        g_log.stop = c.stop;
        classGraphicObject* object = MovieObject("op.mpg");
        object->SetHidden(c.hidden ? 1 : 0);
        if (c.drawn) Realise(object);
        for (R request : c.requests) Request(1, request);
        if (c.updated) UpdateMovieTexture(object->texture);
        EXPECT_EQ(object->IsBusy(), c.busy) << c.name;
    }
}

TEST_F(MovieTextureTest, EachObjectWaitsOnlyForItsOwnPlay) {
    g_log.current = 200000;
    classGraphicObject* one = MovieObject("op.mpg");
    classGraphicObject* two = classGraphicObject::CreateAtPath(root.get(), std::vector<int64>{2});
    two->SetMovieTexture("op.mpg");
    ASSERT_TRUE(Realise(one));
    Request(1, QueMovieRequest::Play);
    UpdateMovieTexture(one->texture);
    EXPECT_TRUE(one->IsBusy());
    EXPECT_FALSE(two->IsBusy()) << "showing the same movie, never played";

    // A load rebuilds object 1 while object 2 keeps the running movie: the
    // rebuilt object shares it but was not played.
    std::vector<u8> record;
    ASSERT_TRUE(SerializeState(one, record));
    LoadState(root.get(), record.data(), record.size());
    one = classGraphicObject::FindByPath(root.get(), std::vector<int64>{1});
    ASSERT_EQ(one->texture, two->texture);
    EXPECT_FALSE(one->IsBusy()) << "restored";

    // A pause or stop through either object holds the one movie they share.
    Request(2, QueMovieRequest::Play);
    UpdateMovieTexture(two->texture);
    EXPECT_TRUE(two->IsBusy());
    Request(1, QueMovieRequest::Pause);
    UpdateMovieTexture(two->texture);
    EXPECT_FALSE(two->IsBusy()) << "paused through object 1";
    Request(2, QueMovieRequest::Play);
    UpdateMovieTexture(two->texture);
    Request(1, QueMovieRequest::Stop);
    UpdateMovieTexture(two->texture);
    EXPECT_FALSE(two->IsBusy()) << "stopped through object 1";
    Request(2, QueMovieRequest::Play);
    UpdateMovieTexture(two->texture);
    two->SetMovieTexture("op.mpg");
    EXPECT_FALSE(two->IsBusy()) << "given its movie again, not played since";
}

TEST_F(MovieTextureTest, OnePlayerForTheResourceJoinedWhenItGoes) {
    classGraphicObject* object = MovieObject("op.mpg");
    ASSERT_TRUE(Realise(object));
    classSharedResource* texture = object->texture;
    // A failed device reset drops every tile: they come back from the same player.
    g_sharedResources.ReleaseAllTiles();
    const size_t uploads = gpu->uploads.size();
    ASSERT_TRUE(Realise(object));
    EXPECT_EQ(g_log.paths.size(), 1u);
    EXPECT_EQ(gpu->uploads.size(), uploads + 2);  // black, then the picture again
    EXPECT_EQ(texture->movieGraph->renderer->resource, texture);

    // A second object showing the same file shares the player.
    classGraphicObject* other = classGraphicObject::CreateAtPath(root.get(), std::vector<int64>{2});
    other->SetMovieTexture("op.mpg");
    EXPECT_EQ(other->texture, texture);
    object->SetTexture(TextureKind_None, "", 0, 0);
    EXPECT_EQ(g_log.destroyed, 0);
    other->SetTexture(TextureKind_None, "", 0, 0);
    EXPECT_EQ(g_log.destroyed, 1);

    // Shut-down joins every player; nothing opens one again afterwards.
    classGraphicObject* late = MovieObject("ed.mpg");
    ASSERT_TRUE(Realise(late));
    StopAllMovies();
    EXPECT_EQ(g_log.destroyed, 2);
    EXPECT_FALSE(late->IsBusy());
    g_sharedResources.ReleaseAllTiles();
    EXPECT_FALSE(Realise(late));
    EXPECT_EQ(g_log.paths.size(), 2u);
}

TEST_F(MovieTextureTest, TheSameMovieGivenAgainStartsAfreshUnlessAnotherObjectShowsIt) {
    struct Case {
        const char* name;
        bool shared;
        int destroyed;  // players gone after the file is given again
        size_t opens;   // players opened once the object is drawn again
    };
    const Case cases[] = {
        {"its only object: a new player from the first picture", false, 1, 2},
        {"also shown by another object: the same player goes on", true, 0, 1},
    };
    for (const Case& c : cases) {
        Reset();
        classGraphicObject* object = MovieObject("op.mpg");
        ASSERT_TRUE(Realise(object)) << c.name;
        if (c.shared) classGraphicObject::CreateAtPath(root.get(), std::vector<int64>{2})->SetMovieTexture("op.mpg");
        object->SetMovieTexture("op.mpg");
        EXPECT_EQ(g_log.destroyed, c.destroyed) << c.name;
        ASSERT_TRUE(Realise(object)) << c.name;
        EXPECT_EQ(g_log.paths.size(), c.opens) << c.name;
    }
}

TEST(MovieFiles, OpenFromTheArchivesOrLooseFilesWhateverTheLetterCase) {
    // Busy pictures make a file of many reads; both play to their last picture.
    testmovie::MovieSpec inArchive{"mpeg", "mpeg1video", "", 320, 240, 25, 25};
    inArchive.busy = true;
    const std::vector<u8> movie = testmovie::EncodeMovie(inArchive);
    const std::vector<u8> other = testmovie::EncodeMovie({"avi", "mpeg4", "", 96, 64, 25, 5});
    ASSERT_GT(movie.size(), 256u * 1024);
    ASSERT_FALSE(other.empty());
    testfiles::TempFolder folder;
    folder.Put("data02.qvc",
               testarchive::BuildArchive({{"readme.txt", "not a movie"},
                                          {"movie\\op.mpg", std::string(movie.begin(), movie.end())},
                                          {"after.txt", std::string(4096, 'z')}}));
    folder.Put("Clips/Loose.avi", other);
    folder.Put("movie/broken.wmv", std::vector<u8>(4096, 0x42));
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    ResetArchivesForTesting();
    struct Case {
        const char* path;
        int32 width;   // 0: no player
        int64 stopUs;  // 40 ms a picture
    };
    const Case cases[] = {
        {"movie\\OP.MPG", 320, 1000000},   // inside data02.qvc
        {"clips\\loose.AVI", 96, 200000},  // a loose file, named in another case
        {"movie\\broken.wmv", 0, 0},       // there, but no movie
        {"movie\\missing.mpg", 0, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<platform::MoviePlayer> player = OpenMovieFile(c.path);
        EXPECT_EQ(player ? player->Width() : 0, c.width) << c.path;
        if (!player) continue;
        player->Run();
        int64 current = 0, stop = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            player->GetPositions(&current, &stop);
        } while (current != stop && std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(current, stop) << c.path;
        EXPECT_EQ(stop, c.stopUs) << c.path;
    }
    ResetArchivesForTesting();
}
