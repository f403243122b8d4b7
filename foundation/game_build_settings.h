#pragma once
// What one game's executable is built with: the folder of its player's files
// and the identity they carry (the build settings VELK2_PLAYER_FOLDER and
// VELK2_PLAYER_IDENTITY). CMake writes them into a small file of each
// executable, never into the engine library, so a build of the same engine
// for another game costs one compile and a link. main hands them to
// UsePlayerFiles (foundation/player_files.h).

#include "foundation/types.h"

extern const char kGamePlayerFolder[];
extern const u8 kGamePlayerIdentity[16];
