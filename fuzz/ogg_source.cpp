// Arbitrary bytes behind an "OggS" start, through the sound source's Ogg
// path: open, length, a whole decode, then a streamed read after a rewind.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/sound_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<u8> bytes;
    if (size < 4 || std::memcmp(data, "OggS", 4) != 0) {
        static const u8 kMagic[4] = {'O', 'g', 'g', 'S'};
        bytes.assign(kMagic, kMagic + 4);
    }
    bytes.insert(bytes.end(), data, data + size);
    classSoundSource source("fuzz.ogg");
    source.SetFileData(std::move(bytes));
    platform::PcmFormat format;
    if (!source.GetFormat(&format)) return 0;
    source.GetLengthMs();
    const u8* all = nullptr;
    u32 total = 0;
    source.DecodeAll(&all, &total);
    source.Rewind();
    u8 piece[8192];
    for (int i = 0; i < 64; ++i) {
        u32 n = source.ReadPcm(piece, sizeof piece);
        if (n > sizeof piece) __builtin_trap();
        if (n == 0) break;
    }
    return 0;
}
