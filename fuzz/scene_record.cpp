// Arbitrary bytes as the scene section of a play-data file, rebuilt into a
// scene root that is emptied after each run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "presentation/graphic_object.h"
#include "presentation/scene_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static classGraphicObject* root = classGraphicObject::New();
    LoadGraphicTree(root, data, size);
    // What was rebuilt must also write back out.
    std::vector<u8> again;
    SaveTree(root, again);
    while (!root->children.empty()) classGraphicObject::Delete(&root->children.begin()->second);
    return 0;
}
