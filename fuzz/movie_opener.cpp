// Arbitrary bytes as a movie file: the container probe, the demux and the
// decode of a few pictures and their sound, through the reader the player uses.
#include <cstddef>
#include <cstdint>

#include "platform/movie.h"
#include "platform/movie/movie_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<platform::MovieByteSource> source = platform::MemoryMovieSource(data, size);
    platform::MovieScan scan;
    if (velk2_movie_module()->scan(*source, 16, &scan)) {
        // An opened movie has a picture size the player can hold.
        if (scan.width <= 0 || scan.height <= 0 || scan.width > 8192 || scan.height > 8192) __builtin_trap();
        if (scan.pictures > 16) __builtin_trap();
    }
    return 0;
}
