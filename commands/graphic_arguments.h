#pragma once
// Parameter readers of the graphic and slot commands: the common typed reads
// plus the two parameters every graphic command starts with.

#include <vector>

#include "commands/command_arguments.h"
#include "foundation/types.h"
#include "foundation/vector3.h"
#include "presentation/que_records.h"

struct GraphicArguments : classCommandArguments {
    // "Target" (position 0) as a scene mask: 1, the main scene, when not given.
    u64 SceneMask() const;
    // "Layer" (position 1) as an object path; empty when not given.
    QuePath Path() const { return Integers(1); }
};

// Three floats from a collected vector. Missing components are `fill` after
// the first (so a single Scale value scales x alone); extra ones are dropped.
D3DXVECTOR3 ToVector3(const std::vector<double>& components, float fill);
