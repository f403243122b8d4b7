// Scene state records: writing the tree and rebuilding it from a file's
// bytes, which are never trusted.
#include "presentation/scene_record.h"

#include <cstring>
#include <string>

#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/text_layout.h"

namespace {

void Put(std::vector<u8>& out, u64 at, const void* data, u64 n) {
    std::memcpy(out.data() + at, data, n);
}
template <typename T>
void PutValue(std::vector<u8>& out, u64 at, T value) {
    // The engine only builds for little-endian machines, so a value's bytes
    // are already in file order.
    Put(out, at, &value, sizeof value);
}
template <typename T>
void Append(std::vector<u8>& out, T value) {
    const u64 at = out.size();
    out.resize(at + sizeof value);
    PutValue(out, at, value);
}
void AppendVector(std::vector<u8>& out, const D3DXVECTOR3& v) {
    Append(out, v.x);
    Append(out, v.y);
    Append(out, v.z);
}
// Appends the text with its NUL; gives back its offset and size.
void AppendText(std::vector<u8>& out, const std::string& text, u32& offset, u32& size) {
    // A NUL inside would end the text early on reading; it ends here too.
    const std::size_t length = ::strnlen(text.c_str(), text.size());
    offset = static_cast<u32>(out.size());
    size = static_cast<u32>(length + 1);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    out.push_back(0);
}
void PutOptional(std::vector<u8>& out, u64 at, const classOptionalValue<int64>& value) {
    PutValue<int64>(out, at, value.Get());
    out[at + 8] = value.IsSet() ? 1 : 0;
}

template <typename T>
T Take(const u8* bytes, u64 at) {
    T value;
    std::memcpy(&value, bytes + at, sizeof value);
    return value;
}
D3DXVECTOR3 TakeVector(const u8* bytes, u64 at) {
    return D3DXVECTOR3{Take<float>(bytes, at), Take<float>(bytes, at + 4), Take<float>(bytes, at + 8)};
}
classOptionalValue<int64> TakeOptional(const u8* bytes, u64 at) {
    classOptionalValue<int64> held;
    held.Set(Take<int64>(bytes, at));
    if (bytes[at + 8] == 0) held.Reset();  // keeps the value bytes, as they were saved
    return held;
}
// A part [offset, offset + size) of a record of `recordSize` bytes.
bool Inside(u64 offset, u64 size, u64 recordSize) {
    return offset <= recordSize && size <= recordSize - offset;
}
// The NUL-terminated text of a part; it ends at the part's end at the latest.
std::string TakeText(const u8* record, u64 offset, u64 size) {
    const char* start = reinterpret_cast<const char*>(record + offset);
    return std::string(start, ::strnlen(start, static_cast<std::size_t>(size)));
}

void AppendSlot(std::vector<u8>& out, const classGraphicSlot& slot) {
    const u64 start = out.size();
    Append<u64>(out, kSlotRecordSize);
    Append<int64>(out, slot.No.Value());
    Append<int64>(out, slot.remaining);
    Append<int64>(out, slot.Time);
    Append<int64>(out, slot.StartDelay);
    Append<int64>(out, slot.Delay);
    Append<int64>(out, slot.AfterDelay);
    Append<float>(out, slot.TimeGainStart);
    Append<float>(out, slot.TimeGainEnd);
    Append<int64>(out, slot.Loop);
    Append<u8>(out, slot.AutoDeleteFlag);
    out.insert(out.end(), 3, 0);
    AppendVector(out, slot.Position);
    AppendVector(out, slot.Scale);
    Append<float>(out, slot.Roll);
    Append<float>(out, slot.Transmittance);
    Append<float>(out, slot.Rate);
    AppendVector(out, slot.PositionCenter);
    AppendVector(out, slot.ScaleCenter);
    AppendVector(out, slot.RollCenter);
    AppendVector(out, slot.RollAxis);
    AppendVector(out, slot.PositionGainStart);
    AppendVector(out, slot.PositionGainEnd);
    AppendVector(out, slot.ScaleGainStart);
    AppendVector(out, slot.ScaleGainEnd);
    (void)start;
}

classGraphicSlot TakeSlot(const u8* s) {
    classGraphicSlot slot(classKey64(Take<int64>(s, 8)));
    slot.Reset();
    slot.remaining = Take<int64>(s, 16);
    slot.Time = Take<int64>(s, 24);
    slot.StartDelay = Take<int64>(s, 32);
    slot.Delay = Take<int64>(s, 40);
    slot.AfterDelay = Take<int64>(s, 48);
    slot.TimeGainStart = Take<float>(s, 56);
    slot.TimeGainEnd = Take<float>(s, 60);
    slot.Loop = Take<int64>(s, 64);
    slot.AutoDeleteFlag = s[72];
    slot.Position = TakeVector(s, 76);
    slot.Scale = TakeVector(s, 88);
    slot.Roll = Take<float>(s, 100);
    slot.Transmittance = Take<float>(s, 104);
    slot.Rate = Take<float>(s, 108);
    slot.PositionCenter = TakeVector(s, 112);
    slot.ScaleCenter = TakeVector(s, 124);
    slot.RollCenter = TakeVector(s, 136);
    slot.RollAxis = TakeVector(s, 148);
    slot.PositionGainStart = TakeVector(s, 160);
    slot.PositionGainEnd = TakeVector(s, 172);
    slot.ScaleGainStart = TakeVector(s, 184);
    slot.ScaleGainEnd = TakeVector(s, 196);
    return slot;
}

}  // namespace

bool SerializeState(const classGraphicObject* object, std::vector<u8>& out) {
    out.clear();
    if (object == nullptr) return false;
    std::vector<int64> keys;
    classGraphicObject::GetPath(object, keys);

    out.assign(kSceneRecordHeaderSize, 0);
    PutValue<u64>(out, 8, kSceneRecordHeaderSize);
    PutValue<u32>(out, 24, static_cast<u32>(out.size()));
    PutValue<u32>(out, 28, static_cast<u32>(keys.size() * 8));
    for (int64 key : keys) Append<int64>(out, key);

    out[32] = object->hidden;
    PutValue<int64>(out, 40, object->Stencil);
    PutOptional(out, 48, object->textColour);
    PutOptional(out, 64, object->colourOverride);
    PutOptional(out, 80, object->fontOverride);
    out[97] = object->singleLine;

    u32 offset = 0;
    u32 size = 0;
    AppendText(out, object->text, offset, size);
    PutValue<u32>(out, 100, offset);
    PutValue<u32>(out, 104, size);

    if (object->texture != nullptr) {
        classSceneServices& services = GetSceneServices();
        PutValue<u32>(out, 108, static_cast<u32>(services.TextureKindOf(object->texture)));
        AppendText(out, services.TextureNameOf(object->texture), offset, size);
        PutValue<u32>(out, 112, offset);
        PutValue<u32>(out, 116, size);
        PutValue<int64>(out, 120, services.TextureParamOf(object->texture));
        PutValue<u32>(out, 128, services.TextureUniqueOf(object->texture));
    }
    if (object->vertexShader != nullptr) {
        AppendText(out, GetSceneServices().ShaderNameOf(object->vertexShader), offset, size);
        PutValue<u32>(out, 132, offset);
        PutValue<u32>(out, 136, size);
    }
    if (object->pixelShader != nullptr) {
        AppendText(out, GetSceneServices().ShaderNameOf(object->pixelShader), offset, size);
        PutValue<u32>(out, 140, offset);
        PutValue<u32>(out, 144, size);
    }

    PutValue<u64>(out, 16, out.size());
    for (const auto& [key, slot] : object->slots) AppendSlot(out, slot);
    PutValue<u64>(out, 0, out.size());
    return true;
}

u8 SaveTree(const classGraphicObject* object, std::vector<u8>& out) {
    if (object == nullptr) return 0;
    std::vector<u8> record;
    SerializeState(object, record);
    out.insert(out.end(), record.begin(), record.end());
    for (const auto& [key, child] : object->children) SaveTree(&child, out);
    return 1;
}

void LoadState(classGraphicObject* root, const u8* record, u64 size) {
    if (root == nullptr || record == nullptr || size < kSceneRecordHeaderSize) return;
    const u64 pathOffset = Take<u32>(record, 24);
    const u64 pathSize = Take<u32>(record, 28);
    if (!Inside(pathOffset, pathSize, size) || pathSize < 16) return;
    // The first key is the saved root's own; the objects are always rebuilt
    // under the scene they are loaded into.
    const u64 count = pathSize / 8 - 1;
    if (count > static_cast<u64>(classGraphicObject::kMaxPathDepth)) return;
    std::vector<int64> keys(static_cast<std::size_t>(count));
    for (u64 i = 0; i < count; ++i) keys[i] = Take<int64>(record, pathOffset + 8 * (i + 1));
    classGraphicObject* object = classGraphicObject::CreateAtPath(root, keys);
    if (object == nullptr) return;

    object->ReleaseTexture();
    const u32 kind = Take<u32>(record, 108);
    const u64 nameOffset = Take<u32>(record, 112);
    const u64 nameSize = Take<u32>(record, 116);
    if (kind != 0 && Inside(nameOffset, nameSize, size)) {
        object->SetTexture(static_cast<int32>(kind), TakeText(record, nameOffset, nameSize),
                           Take<int64>(record, 120), static_cast<u8>(Take<u32>(record, 128) != 0));
    }
    const u64 vertexOffset = Take<u32>(record, 132);
    const u64 vertexSize = Take<u32>(record, 136);
    if (vertexSize != 0 && Inside(vertexOffset, vertexSize, size))
        object->SetVertexShader(TakeText(record, vertexOffset, vertexSize));
    const u64 pixelOffset = Take<u32>(record, 140);
    const u64 pixelSize = Take<u32>(record, 144);
    if (pixelSize != 0 && Inside(pixelOffset, pixelSize, size))
        object->SetPixelShader(TakeText(record, pixelOffset, pixelSize));

    object->hidden = record[32];
    object->Stencil = Take<int64>(record, 40);
    object->textColour = TakeOptional(record, 48);
    object->colourOverride = TakeOptional(record, 64);
    object->fontOverride = TakeOptional(record, 80);
    object->singleLine = record[97];
    const u64 textOffset = Take<u32>(record, 100);
    const u64 textSize = Take<u32>(record, 104);
    if (textSize != 0 && Inside(textOffset, textSize, size)) {
        object->text = TakeText(record, textOffset, textSize);
        if (!object->text.empty()) RestartTextDrawing(*object);
    }

    u64 position = Take<u64>(record, 16);
    while (position < size && size - position >= 8) {
        const int64 slotSize = Take<int64>(record, position);
        if (slotSize <= 0) break;
        // A slot record shorter than its fields, or reaching past the
        // object's record, is not applied, and nothing after it can be found.
        if (static_cast<u64>(slotSize) < kSlotRecordSize || static_cast<u64>(slotSize) > size - position) break;
        classGraphicSlot slot = TakeSlot(record + position);
        object->slots[slot.No] = slot;
        position += static_cast<u64>(slotSize);
    }
}

namespace {

// Hands each record of a scene section to `visit` in order, stopping at a
// record size of 0 or one reaching past the section. True when the records
// fill the section exactly and each holds at least its header.
template <typename Visit>
bool WalkSceneRecords(const u8* data, u64 size, Visit visit) {
    u64 offset = 0;
    bool whole = true;
    while (data != nullptr && offset < size && size - offset >= 8) {
        const u64 recordSize = Take<u64>(data, offset);
        if (recordSize == 0 || recordSize > size - offset) break;
        if (recordSize < kSceneRecordHeaderSize) whole = false;
        visit(data + offset, recordSize);
        offset += recordSize;
    }
    return whole && offset == size;
}

}  // namespace

bool IsSceneSectionWhole(const u8* data, u64 size) {
    return WalkSceneRecords(data, size, [](const u8*, u64) {});
}

bool LoadGraphicTree(classGraphicObject* root, const u8* data, u64 size) {
    if (root == nullptr) return false;
    WalkSceneRecords(data, size, [root](const u8* record, u64 recordSize) { LoadState(root, record, recordSize); });
    return true;
}
