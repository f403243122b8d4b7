// Arbitrary bytes after a valid magic and identity, loaded as a play-data
// file into a live application: every section reader (scene, sound, frames,
// backlog, variables, slot-0 copy) sees them, and so do the index and
// thumbnail readers.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/application.h"
#include "presentation/graphic_object.h"
#include "script/script_context.h"
#include "sound/sound_manager.h"
#include "system/application_identity.h"
#include "system/play_data.h"

namespace {
classApplication* Setup() {
    InitApplication();
    classApplication* application = GetApplication();
    char folder[] = "/tmp/velk2-fuzz-playdata-XXXXXX";
    if (::mkdtemp(folder) != nullptr) application->dataFolder = std::string(folder) + "/";
    application->mainScene = classGraphicObject::New();
    application->soundManager = new classSoundManager();
    application->mainScriptContext = new classScriptContext();
    return application;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static classApplication* application = Setup();
    (void)application;
    // Short inputs are padded to a whole header, so that every run reaches the
    // section readers instead of stopping at the size check.
    std::vector<u8> bytes(std::max<size_t>(32 + size, kPlayDataHeaderSize));
    std::memcpy(bytes.data(), kPlayDataMagic, 16);
    std::memcpy(bytes.data() + 16, g_applicationGuid, 16);
    if (size != 0) std::memcpy(bytes.data() + 32, data, size);
    LoadPlayDataBytes(bytes);
    std::string index;
    TakePlayDataIndex(bytes, index);
    std::vector<u8> thumbnail;
    TakePlayDataThumbnail(bytes, thumbnail);
    return 0;
}
