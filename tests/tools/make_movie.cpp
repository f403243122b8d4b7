// Writes a test movie for the whole-program tests and the benchmarks:
//   velk2_make_movie OUT CONTAINER VIDEO AUDIO WIDTH HEIGHT FPS SECONDS TONE_HZ [per-second]
// AUDIO "none" leaves the sound out; "per-second" gives every picture of
// second s the colour Colour(s) (support/movie_encoder.h) instead of the
// number-coded halves.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/movie_encoder.h"

int main(int argc, char** argv) {
    if (argc < 10) {
        std::fprintf(stderr,
                     "usage: %s OUT CONTAINER VIDEO AUDIO WIDTH HEIGHT FPS SECONDS TONE_HZ [per-second]\n",
                     argv[0]);
        return 2;
    }
    testmovie::MovieSpec spec;
    spec.container = argv[2];
    spec.video = argv[3];
    spec.audio = std::strcmp(argv[4], "none") == 0 ? "" : argv[4];
    spec.width = std::atoi(argv[5]);
    spec.height = std::atoi(argv[6]);
    spec.fps = std::atoi(argv[7]);
    spec.frames = static_cast<int>(std::atof(argv[8]) * spec.fps);
    spec.toneHz = std::atof(argv[9]);
    spec.colourPerSecond = argc > 10 && std::strcmp(argv[10], "per-second") == 0;
    if (!testmovie::WriteMovie(argv[1], spec)) {
        std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
