#pragma once
// Movie textures: a graphic object given a ".avi", ".wmv" or ".mpg" file
// shows it through a shared resource of the movie kind. At the first draw the
// resource makes its movie graph: the player (decoding on its own thread,
// see platform/movie.h) and the renderer that copies the player's newest
// picture into the resource's tiles. The movie then stands paused on its
// first picture until "GraphicPlay"; the play, stop and pause records only
// set request bytes, which the scene update carries out.
//
// Only the render thread touches the tiles: the decoder thread hands over
// finished pictures and the update uploads the newest one. A resource keeps
// one graph for its whole life: tiles released around a device reset are
// made again and filled from the same player. Erasing the resource stops and
// joins its decoder thread before anything it used is freed.
//
// Threads: the graph and renderer belong to the render thread and are used
// under the application lock; "GraphicWait" asks IsPlaying from a script
// thread under the same lock.

#include <memory>
#include <string>

#include "foundation/types.h"
#include "platform/gpu_device.h"
#include "platform/movie.h"
#include "presentation/que_services.h"

class classSharedResource;

// The movie's own sound is played 10 dB down, whatever the sound settings.
constexpr int32 kMovieVolume = -1000;

class classMovieRenderer {
  public:
    int32 videoWidth = 0;
    int32 videoHeight = 0;
    int32 sourceStride = 0;  // bytes a row of the player's pictures
    classSharedResource* resource = nullptr;
    u64 shownSerial = 0;  // the picture last copied; 0 takes whatever is newest

    // Copies the player's newest picture, when there is one it has not
    // copied yet, into the resource's tiles; true when it did. Render thread.
    bool DoRenderSample(platform::MoviePlayer& player, platform::GpuDevice& device);
};

class classMovieGraph {
  public:
    classMovieGraph() = default;
    ~classMovieGraph() { Release(); }
    classMovieGraph(const classMovieGraph&) = delete;
    classMovieGraph& operator=(const classMovieGraph&) = delete;

    std::unique_ptr<platform::MoviePlayer> player;  // null: the file could not be opened
    std::unique_ptr<classMovieRenderer> renderer;
    // Set at shut-down: the decoder has been joined and no player is opened again.
    bool shutDown = false;
    // Run since the last pause or stop: a movie cued or held stands still,
    // however far it is from its end.
    bool running = false;

    // Stops and joins the decoder thread.
    void Release();
    void Run();
    void Stop();
    void Pause();
    void SetRate(double rate);
    // As a script waits for it: false without a player, when not running or
    // when both positions are 0, else true until the current position
    // reaches the stop position.
    bool IsPlaying();
};

// What opens a player for a movie path; the real one reads the archives and
// loose files and plays the sound through the audio mixer.
using MoviePlayerFactory = std::unique_ptr<platform::MoviePlayer> (*)(const std::string& path);
void SetMoviePlayerFactory(MoviePlayerFactory factory);
std::unique_ptr<platform::MoviePlayer> OpenMovieFile(const std::string& path);

// The movie kind's realisation (the shared resources' hook) and the end of a graph.
bool RealiseMovie(classSharedResource& resource, platform::GpuDevice& device);
void DeleteMovieGraph(classMovieGraph* graph);
// The play, stop and pause records on the texture of the object they found.
void RequestMovie(classSharedResource* texture, QueMovieRequest request);
// Scene update, per object showing a movie: its requests, then its newest picture.
bool UpdateMovieTexture(classSharedResource* texture);
// Playing, or asked to play at the next update.
bool IsMovieTexturePlaying(classSharedResource* texture);

// Render thread, after the last frame: every decoder thread stops and is
// joined; graphs stay, showing nothing new and no longer playing.
void StopAllMovies();

// Installs the realisation, the requests and the FFmpeg player.
void RegisterMovieSubsystem();
