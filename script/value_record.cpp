// Value records: a 48-byte header, the text, then the child records.
#include <algorithm>
#include <cstring>

#include "script/script_value.h"
#include "foundation/little_endian.h"

namespace {

constexpr u64 kHeaderSize = 48;


void AppendRecord(const classScriptValue& value, std::vector<u8>& out, int depth) {
    const std::size_t start = out.size();
    out.resize(start + kHeaderSize, 0);

    // Sizes are 32-bit fields; a text beyond that cannot be stored whole.
    const std::size_t textBytes = std::min<std::size_t>(value.text.size(), 0xFFFFFFFEu);
    u32 textOffset = 0;
    u32 textSize = 0;
    if (textBytes != 0) {
        textOffset = static_cast<u32>(kHeaderSize);
        textSize = static_cast<u32>(textBytes + 1);
        out.insert(out.end(), value.text.begin(), value.text.begin() + static_cast<std::ptrdiff_t>(textBytes));
        out.push_back(0);
    }

    const std::size_t childrenStart = out.size();
    if (depth < kMaxScriptValueDepth) {
        for (const classScriptValue& child : value.children) AppendRecord(child, out, depth + 1);
    }
    const u64 childrenSize = out.size() - childrenStart;

    u64 bits;
    std::memcpy(&bits, &value.real, sizeof bits);
    // The tag is 32-bit in memory and sign-extended in the record.
    const u64 tag = static_cast<u64>(static_cast<int64>(static_cast<int32>(value.tag)));
    StoreLe(out, start, out.size() - start, 8);
    StoreLe(out, start + 8, tag, 8);
    StoreLe(out, start + 16, static_cast<u64>(value.integer), 8);
    StoreLe(out, start + 24, bits, 8);
    StoreLe(out, start + 32, textOffset, 4);
    StoreLe(out, start + 36, textSize, 4);
    StoreLe(out, start + 40, childrenSize != 0 ? childrenStart - start : 0, 4);
    StoreLe(out, start + 44, childrenSize, 4);
}

bool ReadRecord(classScriptValue& value, const u8* bytes, u64 size, int depth) {
    if (size < kHeaderSize) return false;

    const u32 tag = static_cast<u32>(LoadLe(bytes + 8, 4));
    // Every consumer knows tags 0 to 6 only; anything else is a damaged
    // record and is taken as empty.
    value.tag = tag <= ScriptValueOperator ? tag : static_cast<u32>(ScriptValueEmpty);
    value.integer = static_cast<int64>(LoadLe(bytes + 16, 8));
    const u64 bits = LoadLe(bytes + 24, 8);
    std::memcpy(&value.real, &bits, sizeof bits);

    const u64 textOffset = LoadLe(bytes + 32, 4);
    const u64 textSize = LoadLe(bytes + 36, 4);
    if (textSize != 0 && textOffset < size) {
        // The text ends at its NUL, at the end of its stated range or at the
        // end of the record, whichever comes first.
        const u64 room = std::min(textSize, size - textOffset);
        const char* start = reinterpret_cast<const char*>(bytes + textOffset);
        const void* nul = std::memchr(start, 0, static_cast<std::size_t>(room));
        value.text.assign(start, nul ? static_cast<const char*>(nul) - start : static_cast<std::ptrdiff_t>(room));
    }

    const u64 childrenOffset = LoadLe(bytes + 40, 4);
    const u64 childrenSize = LoadLe(bytes + 44, 4);
    // Children follow the header in every record we write; one that claims to
    // start inside it would contain its own parent.
    if (childrenSize == 0 || childrenOffset < kHeaderSize || childrenOffset >= size) return true;
    if (depth >= kMaxScriptValueDepth) return true;
    const u64 end = std::min(size, childrenOffset + childrenSize);
    u64 pos = childrenOffset;
    while (end - pos >= 8) {
        const u64 childSize = LoadLe(bytes + pos, 8);
        // A size of 0 ends the list; a child that is not a whole record
        // inside the range ends the walk too.
        if (childSize < kHeaderSize || childSize > end - pos) break;
        classScriptValue& child = value.children.emplace_back();
        ReadRecord(child, bytes + pos, childSize, depth + 1);
        pos += childSize;
    }
    return true;
}

// Whether the bytes are exactly one record as AppendRecord writes it: its
// size, a known tag, its text inside it and ending in its NUL, and children
// that are whole records filling their range to the end of the record.
bool IsRecordWhole(const u8* bytes, u64 size, int depth) {
    if (depth > kMaxScriptValueDepth || size < kHeaderSize || LoadLe(bytes, 8) != size) return false;
    const int64 tag = static_cast<int64>(LoadLe(bytes + 8, 8));
    if (tag < ScriptValueEmpty || tag > ScriptValueOperator) return false;
    const u64 textOffset = LoadLe(bytes + 32, 4);
    const u64 textSize = LoadLe(bytes + 36, 4);
    u64 textEnd = kHeaderSize;
    if (textOffset != 0 || textSize != 0) {
        if (textOffset < kHeaderSize || textSize == 0 || textOffset > size || textSize > size - textOffset ||
            bytes[textOffset + textSize - 1] != 0)
            return false;
        textEnd = textOffset + textSize;
    }
    const u64 childrenOffset = LoadLe(bytes + 40, 4);
    const u64 childrenSize = LoadLe(bytes + 44, 4);
    if (childrenOffset == 0 && childrenSize == 0) return textEnd == size;
    if (childrenOffset < textEnd || childrenSize == 0 || childrenOffset > size || childrenSize != size - childrenOffset)
        return false;
    for (u64 pos = childrenOffset; pos < size;) {
        if (size - pos < kHeaderSize) return false;
        const u64 childSize = LoadLe(bytes + pos, 8);
        if (childSize > size - pos || !IsRecordWhole(bytes + pos, childSize, depth + 1)) return false;
        pos += childSize;
    }
    return true;
}

}  // namespace

bool IsScriptValueRecordWhole(const u8* bytes, u64 size) {
    return bytes != nullptr && IsRecordWhole(bytes, size, 0);
}

void AppendScriptValue(const classScriptValue& value, std::vector<u8>& out) { AppendRecord(value, out, 0); }

void WriteScriptValue(const classScriptValue& value, std::vector<u8>& out) {
    out.clear();
    AppendRecord(value, out, 0);
}

bool ReadScriptValue(classScriptValue* value, const u8* bytes, u64 size) {
    if (value == nullptr || bytes == nullptr) return false;
    return ReadRecord(*value, bytes, size, 0);
}
