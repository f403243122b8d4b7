#include "platform/window.h"

namespace platform {

ViewportRect FitLogicalScreen(int windowWidth, int windowHeight, int logicalWidth, int logicalHeight) {
    if (windowWidth <= 0 || windowHeight <= 0 || logicalWidth <= 0 || logicalHeight <= 0) return {};
    ViewportRect rect;
    // Compare the aspects in integers: W/H > Lw/Lh  <=>  W*Lh > Lw*H.
    if (int64{windowWidth} * logicalHeight > int64{logicalWidth} * windowHeight) {
        rect.height = windowHeight;
        rect.width = static_cast<int>(int64{windowHeight} * logicalWidth / logicalHeight);
    } else {
        rect.width = windowWidth;
        rect.height = static_cast<int>(int64{windowWidth} * logicalHeight / logicalWidth);
    }
    rect.x = (windowWidth - rect.width) / 2;
    rect.y = (windowHeight - rect.height) / 2;
    return rect;
}

}  // namespace platform
