#include "platform/icon_resources.h"

namespace platform {

const IconResource* FindIconResource(u32 number) {
    for (const IconResource& icon : BuiltInIcons()) {
        if (icon.number == number && icon.bytes != nullptr) return &icon;
    }
    return nullptr;
}

}  // namespace platform
