#pragma once
// The scene trees' place in the program: the main scene lives as long as the
// application object, and both scenes advance once per frame.

#include "foundation/types.h"

// Fills the scene hooks (create, destroy, per-frame update). Call before WinMain.
void RegisterSceneSubsystem();

// The hooks themselves, for callers that run the frame by hand (tests).
void CreateScenes();
void DestroyScenes();
void UpdateScenes(u32 now);
