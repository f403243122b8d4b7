#pragma once
// RIFF WAVE files held in memory: the PCM format and the sample bytes.

#include <vector>

#include "foundation/types.h"
#include "platform/audio.h"

// Finds "RIFF"/"WAVE", then a "fmt " chunk of PCM (tag 1) and, after it, the
// "data" chunk. True only when every step succeeds; then `format` and `pcm`
// are filled, otherwise they are left as they were. Never reads outside
// `bytes` and never allocates more than the file holds.
bool ParseWaveInMemory(const std::vector<u8>& bytes, platform::PcmFormat* format, std::vector<u8>* pcm);
