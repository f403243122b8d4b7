#include "sound/wave_parser.h"
#include "foundation/little_endian.h"

#include <cstring>
#include <new>

namespace {


}  // namespace

bool ParseWaveInMemory(const std::vector<u8>& bytes, platform::PcmFormat* format, std::vector<u8>* pcm) {
    const u64 fileSize = bytes.size();
    if (fileSize < 12 || format == nullptr || pcm == nullptr) return false;
    const u8* data = bytes.data();
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return false;
    // Chunks are looked for inside the RIFF chunk, and never past the file.
    u64 end = static_cast<u64>(LoadLe32(data + 4)) + 8;
    if (end > fileSize) end = fileSize;

    platform::PcmFormat found;
    bool haveFormat = false;
    u64 at = 12;
    while (at + 8 <= end) {
        const u8* chunk = data + at;
        const u64 size = LoadLe32(chunk + 4);
        const u64 body = at + 8;
        if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            // The 16 bytes every PCM format chunk has; the 18-byte form adds
            // only a zero extra size.
            if (size < 16 || body + 16 > end) return false;
            const u8* f = data + body;
            found.formatTag = LoadLe16(f);
            found.channels = LoadLe16(f + 2);
            found.samplesPerSec = LoadLe32(f + 4);
            found.avgBytesPerSec = LoadLe32(f + 8);
            found.blockAlign = LoadLe16(f + 12);
            found.bitsPerSample = LoadLe16(f + 14);
            if (found.formatTag != 1) return false;
            haveFormat = true;
        } else if (haveFormat && std::memcmp(chunk, "data", 4) == 0) {
            if (body + size > end) return false;
            try {
                pcm->assign(data + body, data + body + size);
            } catch (const std::bad_alloc&) {
                return false;
            }
            *format = found;
            return true;
        }
        // Odd-sized chunks carry one pad byte.
        at = body + size + (size & 1);
    }
    return false;
}
