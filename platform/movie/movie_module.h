#pragma once
// The entry of the movie module (velk2_movie.so): the FFmpeg-backed player
// lives in a module of its own so that the program loads FFmpeg and its many
// libraries only when the first movie is opened, not at every start.
// platform/movie_loader.cpp opens it; the fuzz target links its sources.

#include "platform/movie.h"

namespace platform {

// Raised whenever what crosses between the program and the module changes,
// so that a module of another build is refused rather than misread.
inline constexpr u32 kMovieModuleVersion = 1;

struct MovieModuleEntries {
    u32 version;
    // Takes `source` whatever the outcome; the player returned is the caller's.
    MoviePlayer* (*open)(MovieByteSource* source, const MovieOptions& options);
    bool (*scan)(MovieByteSource& source, int64 maxPictures, MovieScan* scan);
};

}  // namespace platform

extern "C" const platform::MovieModuleEntries* velk2_movie_module();
