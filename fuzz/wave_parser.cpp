// Arbitrary bytes as a RIFF WAVE file, then as a sound source that streams it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/sound_source.h"
#include "sound/wave_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<u8> bytes(data, data + size);
    platform::PcmFormat format;
    std::vector<u8> pcm;
    if (ParseWaveInMemory(bytes, &format, &pcm) && pcm.size() > bytes.size()) __builtin_trap();

    classSoundSource source("fuzz.wav");
    source.SetFileData(std::move(bytes));
    source.GetFormat(&format);
    source.GetLengthMs();
    u8 piece[4096];
    for (int i = 0; i < 64 && source.ReadPcm(piece, sizeof piece) != 0; ++i) {
    }
    return 0;
}
