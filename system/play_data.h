#pragma once
// Play-data files: everything needed to resume a game (the main scene, the
// sound layers, the main script's frames, the backlog, the nomal variables
// and a few application settings), plus an index text and a thumbnail that
// the save and load screens read without loading. Slot n is "save%4.4d.dat"
// in the per-user folder. Every save but slot 0's carries a copy of the
// slot-0 file as it was then, and a load of it puts that copy back.
//
// Threads: WritePlayData and LoadPlayData run on the render thread inside the
// save and load records, under the application lock (entered again here).
// The path functions and the partial readers run on script threads and only
// read files, which are always replaced whole, so they never see a torn one.

#include <string>
#include <vector>

#include "foundation/types.h"

inline constexpr u64 kPlayDataHeaderSize = 1008;
// One zero byte, then "VELK2DATAFILE" and two blanks.
inline constexpr char kPlayDataMagic[16] = {'\0', 'V', 'E', 'L', 'K', '2', 'D', 'A',
                                            'T',  'A', 'F', 'I', 'L', 'E', ' ', ' '};

// Header field offsets.
namespace playdata {
inline constexpr u64 kTextColor = 32;
inline constexpr u64 kVoiceStarted = 40;
inline constexpr u64 kLastVoiceLayer = 48;
inline constexpr u64 kLastVoice = 56;
inline constexpr u64 kScene = 872;
inline constexpr u64 kSound = 888;  // first record's offset, then the record count
inline constexpr u64 kFrames = 904;
inline constexpr u64 kBacklogPageStarted = 920;
inline constexpr u64 kBacklog = 928;
inline constexpr u64 kVariables = 944;
inline constexpr u64 kIndex = 960;
inline constexpr u64 kThumbnail = 976;
inline constexpr u64 kSlotZero = 992;
}  // namespace playdata

// The application's data folder followed by the name.
std::string MakeDataFolderPath(const std::string& name);
// "save%4.4d.dat" in the data folder: slot 3 is save0003.dat, 10000 save10000.dat.
std::string MakePlayDataPath(int64 slot);

// True when the bytes are a play-data file of this game: the whole header,
// the magic and the identity, the sections one after another in their order
// up to the file's end, and the last voice and index texts each ended by its
// zero. The other sections' contents are checked by the load.
bool IsValidPlayData(const std::vector<u8>& bytes);
// Reads the whole file (no error box) and checks it; false for a missing,
// short, foreign or other-game file.
bool ReadValidPlayData(const std::string& path, std::vector<u8>& bytes);
// Whether a load of the file would be taken: its header and every section it
// restores are checked, as the load itself checks them.
bool IsPlayDataFileValid(const std::string& path);

// The file's bytes for the application's current state. Without a slot-0
// copy when `embedSlotZero` is false.
void BuildPlayData(const std::string& indexText, bool embedSlotZero, std::vector<u8>& out);
// Writes the state to `path` atomically; a failed write keeps the old file
// and waits for ReportFailedPlayDataWrites.
// Inside an interrupt the snapshot taken at its start is copied instead. A
// non-empty `indexText` stands for the index; otherwise the nomal variable
// "IndexTitle" does.
bool WritePlayData(const std::string& path, const std::string& indexText = std::string());
// The interrupt snapshot this process took, held for the saves made inside
// the interrupt (a save there copies it, never the file "save----.dat",
// which another copy of the game may have written). Writing "save----.dat"
// keeps its bytes here; Forget drops them before the next snapshot is taken.
void KeepInterruptSnapshot(std::vector<u8> bytes);
void ForgetInterruptSnapshot();
// A write of the render thread that fails is not boxed there (see the .cpp):
// it is kept until a thread holding no engine lock calls this, which shows
// the file error box for each (Retry writes the same bytes again). False
// when one of them stays unwritten.
bool ReportFailedPlayDataWrites();
// Restores the state of a valid file; false, with nothing changed (slot 0
// included), when its header or any section it restores is damaged.
bool LoadPlayData(const std::string& path);
// The same, from bytes already read (the fuzz target drives this); with
// isSlotZero the bytes are those of "save0000.dat", which stays as it is.
bool LoadPlayDataBytes(const std::vector<u8>& bytes, bool isSlotZero = false);

bool ReadPlayDataThumbnail(const std::string& path, std::vector<u8>& out);
bool ReadPlayDataIndex(const std::string& path, std::string& out);
// The same over bytes already read and validated.
bool TakePlayDataThumbnail(const std::vector<u8>& bytes, std::vector<u8>& out);
void TakePlayDataIndex(const std::vector<u8>& bytes, std::string& out);

// Installs the save and load services of the record pipeline and the
// thumbnail reader of the shared textures. Call before WinMain.
void RegisterPlayDataSubsystem();
