#pragma once
// The main scene as it goes into a play-data file: one state record per
// graphic object, in pre-order, each holding the object's key path, flags,
// text, texture and shader names and every animation slot. Per-character
// children and pending text are not kept; the text drawn so far is laid out
// again after loading.
//
// Threads: render thread only, under the application lock (inside the
// play-data records).

#include <vector>

#include "foundation/types.h"

class classGraphicObject;

inline constexpr u64 kSceneRecordHeaderSize = 152;
inline constexpr u64 kSlotRecordSize = 208;

// Replaces `out` with the object's record; false for a null object.
bool SerializeState(const classGraphicObject* object, std::vector<u8>& out);
// Appends the records of the object and of its whole subtree (children in
// ascending key order); 0 for a null object, else 1.
u8 SaveTree(const classGraphicObject* object, std::vector<u8>& out);
// Rebuilds, under `root`, the object of one record. A record whose path is
// only the root's key restores nothing; parts lying outside the record are
// not taken.
void LoadState(classGraphicObject* root, const u8* record, u64 size);
// Rebuilds every record of a scene section in order; reading stops at a
// record size of 0 or one reaching past the section. False for a null root.
bool LoadGraphicTree(classGraphicObject* root, const u8* data, u64 size);
// True when the records of a scene section follow one another to its very
// end, each at least a header long: a section damaged inside its bounds would
// otherwise load as a part of the scene.
bool IsSceneSectionWhole(const u8* data, u64 size);
