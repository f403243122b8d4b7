#pragma once
// The two files in the per-user folder that outlive every play-through:
// "System.dat" keeps the global script variables (the settings live there),
// "Already.dat" keeps one already-read byte per statement of every script
// that was ever loaded, which skipping relies on.
//
// Both are read once at start-up, before any script runs, and written at
// shut-down after every script thread has ended, and on demand by a script.
// Writes go through the atomic writer: a crash or a full disk leaves the old
// file in place instead of a valid-looking empty one. Reads take the whole
// file into memory and trust nothing in it.

#include <string>
#include <vector>

#include "foundation/types.h"

class classAlreadyReadList;

inline constexpr u64 kSystemDataHeaderSize = 1688;
inline constexpr u64 kAlreadyDataHeaderSize = 36;
inline constexpr u64 kAlreadyDataEntrySize = 16;

// ---- "System.dat" ----
// The file's bytes: the header with the settings kept by the application
// object (zeros without one) and the record of g_globalVariables. Sets
// "System.FullScreen" first, so the block is never absent.
void BuildSystemData(std::vector<u8>& out);
// Whether the bytes are a file of this game that reads back whole: the
// header, then the block (or none) up to the file's end, every entry of it
// whole. What is read in part would be written back without the rest.
bool IsSystemDataWhole(const u8* bytes, u64 size);
// Adds or overwrites the global variables held in the bytes and leaves the
// others. False, with nothing changed, when the bytes are not a whole file.
bool ParseSystemData(const u8* bytes, u64 size);
bool ReadSystemDataFile(const std::string& path);
bool WriteSystemDataFile(const std::string& path);
// The file in the application's data folder; false without an application.
// Run at start-up only: a file that is there but cannot be read whole is
// moved aside as "System.dat.damaged" (".damaged.2" up to ".damaged.999"
// when taken) and said on stderr, so the write at exit cannot destroy it.
// When no name is free it stays where it is, and WriteSystemData leaves it.
bool ReadSystemData();
bool WriteSystemData();

// ---- "Already.dat" ----
// The file's bytes for every buffer of the list with a name and marks (just
// the header when there is none). False when the marks are too many for the
// file's 32-bit offsets.
bool BuildAlreadyData(classAlreadyReadList& list, std::vector<u8>& out);
// Whether the bytes are a file of this game laid out as the writer lays it
// out: the names and their marks one after another from the header on, each
// name ended by its zero, then the table of their entries, ending the file.
bool IsAlreadyDataWhole(const u8* bytes, u64 size);
// Registers and fills a buffer per entry of the bytes. Only an empty list is
// filled: true at once when it already holds buffers. False, with nothing
// registered, when the bytes are not a whole file.
bool ParseAlreadyData(classAlreadyReadList& list, const u8* bytes, u64 size);
bool ReadAlreadyDataFile(classAlreadyReadList& list, const std::string& path);
// True when written, or when the list is empty (the file is then left as it
// is). A failed write asks Retry/Cancel and leaves the old file intact.
bool WriteAlreadyDataFile(classAlreadyReadList& list, const std::string& path);
// Start-up: as ReadSystemData, a damaged file goes to "Already.dat.damaged".
bool ReadAlreadyData(classAlreadyReadList& list);
bool WriteAlreadyData(classAlreadyReadList& list);

// Fills the start-up and shut-down hooks for both files.
void RegisterSystemFiles();
