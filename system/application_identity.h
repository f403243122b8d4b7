#pragma once
// The 16 bytes that mark a file as written by this game: play data,
// "System.dat" and "Already.dat" carry them right after their magic, and a
// file with other bytes there is treated as if it did not exist. They are the
// game's GUID in its in-memory order, so files stay exchangeable with every
// other build of the same game.

#include "foundation/types.h"

inline constexpr u8 g_applicationGuid[16] = {0xF3, 0x78, 0xB5, 0xED, 0xDB, 0x43, 0x30, 0x49,
                                             0xA3, 0x78, 0x84, 0x6D, 0x9A, 0x82, 0x2E, 0x3F};
