// Feeds arbitrary bytes to the cursor decoder (directory, bitmap and PNG
// images). A decoded image must be as large as it says.
#include <cstddef>
#include <cstdint>

#include "foundation/cursor_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::CursorImage image;
    if (DecodeCursorFile(data, size, image)) {
        if (image.width <= 0 || image.height <= 0 || image.width > kMaxCursorSide ||
            image.height > kMaxCursorSide ||
            image.bgra.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4 ||
            image.hotX < 0 || image.hotX >= image.width || image.hotY < 0 || image.hotY >= image.height) {
            __builtin_trap();
        }
    }
    return 0;
}
