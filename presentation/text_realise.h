#pragma once
// Characters of text as textures. A text resource is one character in one
// numbered font: drawn with the font at twice its size (four times and
// filtered down for a font that asks for quality) and shown at half scale, or,
// for a character of a character list, loaded from its image and scaled to
// the font. Also the shared-texture answers the text layout asks for.
//
// Threads: render thread only; the glyph-set lock is held while a set is read.

#include <vector>

#include "foundation/types.h"
#include "platform/gpu_device.h"

class classSharedResource;

// The realisation of a kind-3 resource; true when it has tiles afterwards.
// A glyph image that cannot be read is tried again at the next draw.
bool RealiseTextResource(classSharedResource& resource, platform::GpuDevice& device);

// White-on-black coverage of width × 2 by height × 2 down to width × height
// BGRA: red and green the sum of four over 4, blue the sum of each over 4
// (so full coverage gives 252), alpha 0.
void BoxFilterCoverage(const u8* coverage, int width, int height, std::vector<u8>& bgra);

// Installs the text realisation and the layout's texture answers. Call
// after the shared textures registered, before WinMain.
void RegisterTextRealisation();
