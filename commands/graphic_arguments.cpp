#include "commands/graphic_arguments.h"

u64 GraphicArguments::SceneMask() const {
    const classOptionalValue<int64> target = Integer(0);
    return target.IsSet() ? static_cast<u64>(target.Get()) : 1u;
}

D3DXVECTOR3 ToVector3(const std::vector<double>& components, float fill) {
    D3DXVECTOR3 out{fill, fill, fill};
    if (!components.empty()) out.x = static_cast<float>(components[0]);
    if (components.size() > 1) out.y = static_cast<float>(components[1]);
    if (components.size() > 2) out.z = static_cast<float>(components[2]);
    return out;
}
