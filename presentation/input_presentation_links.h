#pragma once
// Connects the input code to the main scene and the command queues: mouse
// areas and the choice's select layer are looked up in the main scene, and a
// choice's display changes become command records on the waiter's queue.

#include "foundation/types.h"

class classSharedResource;

// The pixel size of a texture as its owner knows it; false when it is not
// known (yet). The shared textures install it; until then no object counts as
// having a texture, so areas never hit.
using InputTextureSizeSource = bool (*)(classSharedResource* texture, int64* width, int64* height);
void SetInputTextureSizeSource(InputTextureSizeSource source);
InputTextureSizeSource GetInputTextureSizeSource();

// Installs both links into the input code. Call before WinMain.
void InstallInputPresentationLinks();
