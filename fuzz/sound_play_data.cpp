// Arbitrary bytes as a loaded play-data image: the first 16 bytes choose the
// first record's offset and the record count, the rest is the image.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sound/sound_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    int64 first = 0, count = 0;
    std::memcpy(&first, data, 8);
    std::memcpy(&count, data + 8, 8);
    static classSoundManager* manager = new classSoundManager();
    manager->LoadLayers(data + 16, size - 16, first % 4096, count);
    manager->DeleteAllLayers();
    return 0;
}
