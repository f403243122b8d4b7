#pragma once
// The 16 bytes that mark a file as written by this game: play data,
// "System.dat" and "Already.dat" carry them right after their magic, and a
// file with other bytes there is treated as if it did not exist. They are the
// game's GUID in its in-memory order, so files stay exchangeable with every
// other build of the same game; each game sets its own when it is built
// (foundation/player_files.h).

#include "foundation/player_files.h"
