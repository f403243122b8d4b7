#include "presentation/movie_playback.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "foundation/application.h"
#include "foundation/archive.h"
#include "foundation/file.h"
#include "foundation/input_manager.h"
#include "foundation/report_once.h"
#include "foundation/subsystem_hooks.h"
#include "platform/audio.h"
#include "presentation/shared_resource.h"

classCriticalSection g_movieLock;

void classMovieControl::RequestStop() {
    classCriticalSectionLock hold(g_movieLock);
    stopRequest = 1;
    playRequest = 0;
    pauseRequest = 0;
}

void classMovieControl::RequestPlay() {
    classCriticalSectionLock hold(g_movieLock);
    playRequest = 1;
    pauseRequest = 0;
}

void classMovieControl::RequestPause() {
    classCriticalSectionLock hold(g_movieLock);
    pauseRequest = 1;
}

namespace {

std::atomic<MoviePlayerFactory> g_playerFactory{&OpenMovieFile};

// A movie's bytes where they lie: in an archive or a loose file.
class classMovieFileSource final : public platform::MovieByteSource {
  public:
    bool Open(const std::string& path) { return OpenFileInPlace(path, file_, &offset_, &size_); }
    u64 Size() const override { return size_; }
    u64 ReadAt(u64 offset, void* out, u64 n) override {
        if (offset >= size_) return 0;
        return file_.ReadAt(offset_ + offset, out, std::min(n, size_ - offset));
    }

  private:
    classFile file_;
    u64 offset_ = 0;
    u64 size_ = 0;
};

// Tiles of a movie start opaque black: the parts outside the picture, and
// the whole texture until the first picture arrives.
bool BuildBlackTiles(classSharedResource& resource, platform::GpuDevice& device, int32 width, int32 height) {
    if (!resource.LayOutTiles(g_sharedResources.CapsFor(device), width, height)) return false;
    std::vector<u8> black(static_cast<size_t>(resource.tileWidth) * static_cast<size_t>(resource.tileHeight) *
                          4);
    for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
    for (classTextureTile& tile : resource.tiles) {
        if (!tile.CreateTexture(device, resource.tileWidth, resource.tileHeight)) continue;
        device.UploadBGRA(tile.texture, 0, 0, resource.tileWidth, resource.tileHeight, black.data(),
                          static_cast<size_t>(resource.tileWidth) * 4);
    }
    return true;
}

}  // namespace

std::unique_ptr<platform::MoviePlayer> OpenMovieFile(const std::string& path) {
    auto source = std::make_unique<classMovieFileSource>();
    if (!source->Open(path)) {
        ReportOnce("the movie " + QuotedName(path) + " is missing or cannot be read");
        return nullptr;
    }
    if (const std::string problem = platform::MovieModuleProblem(); !problem.empty()) {
        ReportOnce(problem + "; the movie " + QuotedName(path) + " does not play");
        return nullptr;
    }
    platform::MovieOptions options;
    options.mixer = &platform::GetAudioMixer();
    options.volume = kMovieVolume;
    // "GraphicWait" looks again at once instead of at its next poll.
    options.onEnd = [] { g_inputManager.WakeAllWaiters(); };
    std::unique_ptr<platform::MoviePlayer> player = platform::OpenMovie(std::move(source), options);
    if (!player) ReportOnce("the movie " + QuotedName(path) + " cannot be decoded");
    return player;
}

void SetMoviePlayerFactory(MoviePlayerFactory factory) {
    g_playerFactory.store(factory != nullptr ? factory : &OpenMovieFile);
}

// --- Renderer and graph ---

bool classMovieRenderer::DoRenderSample(platform::MoviePlayer& player, platform::GpuDevice& device) {
    if (resource == nullptr || resource->tiles.empty() || resource->tileWidth <= 0) return false;
    classSharedResource& target = *resource;
    const bool copied = player.TakePicture(&shownSerial, [&](const u8* bgra, size_t pitch) {
        const int64 across = target.alignedWidth / target.tileWidth;
        for (size_t i = 0; i < target.tiles.size(); ++i) {
            const int64 x0 = (static_cast<int64>(i) % across) * target.tileWidth;
            const int64 y0 = (static_cast<int64>(i) / across) * target.tileHeight;
            const int64 columns = std::min<int64>(target.tileWidth, videoWidth - x0);
            const int64 rows = std::min<int64>(target.tileHeight, videoHeight - y0);
            if (columns <= 0 || rows <= 0 || target.tiles[i].texture == 0) continue;
            device.UploadBGRA(target.tiles[i].texture, 0, 0, static_cast<int>(columns),
                              static_cast<int>(rows),
                              bgra + static_cast<size_t>(y0) * pitch + static_cast<size_t>(x0) * 4, pitch);
        }
    });
    if (copied) ++target.realiseCount;
    return copied;
}

void classMovieGraph::Release() {
    player.reset();
    running = false;
}

void classMovieGraph::Run() {
    if (!player) return;
    player->Run();
    running = true;
}

void classMovieGraph::Stop() {
    running = false;
    if (player) player->Stop();
}

void classMovieGraph::Pause() {
    running = false;
    if (player) player->Pause();
}

void classMovieGraph::SetRate(double rate) {
    if (player) player->SetRate(rate);
}

bool classMovieGraph::IsPlaying() {
    if (!player || !running) return false;
    int64 current = 0, stop = 0;
    player->GetPositions(&current, &stop);
    if (current == 0 && stop == 0) return false;
    return current != stop;
}

// --- The resource's side ---

bool classSharedResource::OpenMovie(classMovieGraph* graph, const std::string& path) {
    if (graph == nullptr) return false;
    // One player per resource: a former one is joined before another opens.
    graph->Release();
    if (!graph->renderer) graph->renderer = std::make_unique<classMovieRenderer>();
    graph->player = g_playerFactory.load()(path);
    if (!graph->player) return false;
    graph->renderer->videoWidth = graph->player->Width();
    graph->renderer->videoHeight = graph->player->Height();
    graph->renderer->sourceStride = graph->player->Width() * 4;
    graph->Pause();  // cued on its first picture
    return true;
}

bool classSharedResource::ApplyMovieRequests() {
    if (movieGraph == nullptr || !movieGraph->renderer) return false;
    classCriticalSectionLock hold(g_movieLock);
    classMovieControl& control = movieControl;
    bool done = false;
    if (control.stopRequest != 0) {
        control.stopRequest = 0;
        movieGraph->Stop();
        done = true;
    }
    if (control.playRequest != 0) {
        control.playRequest = 0;
        movieGraph->Run();
        done = true;
    }
    if (control.pauseRequest != 0) {
        control.pauseRequest = 0;
        movieGraph->Pause();
        done = true;
    }
    if (control.currentFlags != 0 || control.stopFlags != 0) {
        control.currentFlags = 0;
        control.stopFlags = 0;
        done = true;
    }
    if (control.rate.IsSet()) {
        movieGraph->SetRate(control.rate.Get());
        control.rate.Reset();
        done = true;
    }
    return done;
}

bool RealiseMovie(classSharedResource& resource, platform::GpuDevice& device) {
    if (!resource.tiles.empty()) return true;
    if (resource.realised != 0) return false;
    if (resource.movieGraph == nullptr) resource.movieGraph = new classMovieGraph();
    classMovieGraph& graph = *resource.movieGraph;
    bool opened = graph.player != nullptr;
    if (!opened && !graph.shutDown) opened = resource.OpenMovie(&graph, resource.name);
    if (!graph.renderer) return false;  // tried again at the next draw
    graph.renderer->resource = &resource;
    if (!opened ||
        !BuildBlackTiles(resource, device, graph.renderer->videoWidth, graph.renderer->videoHeight)) {
        resource.ReleaseTiles(&device);
        resource.realised = -1;
        return false;
    }
    resource.FinishRealise();
    // New tiles take the picture the player shows now, not only the next one.
    graph.renderer->shownSerial = 0;
    graph.renderer->DoRenderSample(*graph.player, device);
    return true;
}

void DeleteMovieGraph(classMovieGraph* graph) {
    delete graph;
}

namespace {

// Render thread. A movie never opened yet opens cued at its first draw anyway.
void CueAgain(classSharedResource& resource) {
    classMovieGraph* graph = resource.movieGraph;
    if (graph == nullptr || !graph->player || graph->shutDown) return;
    {
        classCriticalSectionLock hold(g_movieLock);
        resource.movieControl = classMovieControl{};
    }
    // The tiles keep the last picture until the new player's first one is
    // taken at the next update.
    if (resource.OpenMovie(graph, resource.name) && graph->renderer) graph->renderer->shownSerial = 0;
}

}  // namespace

void RequestMovie(classSharedResource* texture, QueMovieRequest request) {
    if (texture == nullptr || texture->kind != TextureKind_Movie) return;
    switch (request) {
        case QueMovieRequest::Play:
            texture->movieControl.RequestPlay();
            break;
        case QueMovieRequest::Stop:
            texture->movieControl.RequestStop();
            break;
        case QueMovieRequest::Pause:
            texture->movieControl.RequestPause();
            break;
        case QueMovieRequest::Cue:
            CueAgain(*texture);
            break;
    }
}

bool UpdateMovieTexture(classSharedResource* texture) {
    if (texture == nullptr || texture->kind != TextureKind_Movie) return false;
    bool done = texture->ApplyMovieRequests();
    classMovieGraph* graph = texture->movieGraph;
    platform::GpuDevice* device = CurrentTextureDevice();
    if (graph != nullptr && graph->player && graph->renderer && device != nullptr && texture->realised == 1) {
        done = graph->renderer->DoRenderSample(*graph->player, *device) || done;
    }
    return done;
}

bool IsMovieTexturePlaying(classSharedResource* texture) {
    if (texture == nullptr || texture->movieGraph == nullptr) return false;
    if (texture->movieGraph->IsPlaying()) return true;
    // Between the play record and the update that runs the graph; a graph
    // without a player (a file that cannot be played) never runs.
    if (!texture->movieGraph->player) return false;
    classCriticalSectionLock hold(g_movieLock);
    return texture->movieControl.playRequest != 0;
}

void StopAllMovies() {
    classApplication* application = GetApplication();
    // "GraphicWait" asks the players under the application lock.
    std::unique_ptr<classCriticalSectionLock> hold;
    if (application != nullptr) hold = std::make_unique<classCriticalSectionLock>(application->GetLock());
    for (classSharedResource* resource : g_sharedResources.ResourcesOfKind(TextureKind_Movie)) {
        if (resource->movieGraph == nullptr) continue;
        resource->movieGraph->Release();
        resource->movieGraph->shutDown = true;
    }
}

void RegisterMovieSubsystem() {
    classSharedResourceHooks& hooks = GetSharedResourceHooks();
    hooks.realiseMovie = &RealiseMovie;
    hooks.deleteMovieGraph = &DeleteMovieGraph;
    SetQueMovieRequester(&RequestMovie);
    SetMoviePlayerFactory(&OpenMovieFile);
    GetSubsystemHooks().stopMovies = &StopAllMovies;
}
