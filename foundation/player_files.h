#pragma once
// Which game the player's files belong to: the folder under the data home
// that holds them ("save%4.4d.dat", the snapshot, "System.dat",
// "Already.dat") and the 16 bytes each of them carries after its magic. A
// file with other bytes there belongs to another game and is treated as if it
// did not exist. Both are the game's own, set when it is built (the
// executable's settings, foundation/game_build_settings.h): two games on one
// machine must not share a folder, or one would list and load the other's
// saves and drop its Globals at exit.
//
// The defaults are those of a build that sets neither. main installs the
// build's values before anything reads them and before any thread starts;
// after that both are read-only.

#include <string>

#include "foundation/types.h"

// A build that sets neither: the engine's own folder, and the GUID
// {EDB578F3-43DB-4930-A378-846D9A822E3F} in its in-memory order.
inline constexpr const char* kDefaultPlayerFolder = "Hollin-Gate/Merisande/";
inline constexpr u8 kDefaultPlayerIdentity[16] = {0xF3, 0x78, 0xB5, 0xED, 0xDB, 0x43, 0x30, 0x49,
                                                  0xA3, 0x78, 0x84, 0x6D, 0x9A, 0x82, 0x2E, 0x3F};

// The folder name as the build gives it ("Maker/Game", with or without its
// last "/"), and the identity bytes in file order.
void UsePlayerFiles(const std::string& folderName, const u8 (&identity)[16]);

// The folder relative to the data home, ending in "/".
const std::string& PlayerFolderName();

// The identity every player file carries; read-only once main has set it.
extern const u8 (&g_applicationGuid)[16];
