#include "script/script_frame.h"

#include <atomic>
#include <cstring>

#include "commands/command_table.h"
#include "script/already_read.h"
#include "script/global_variables.h"

namespace {

std::atomic<ScriptLoaderFunction> g_scriptLoader{nullptr};

// The script of a frame that holds none: empty tables, finished at once.
const std::shared_ptr<const classLoadedScript>& EmptyScript() {
    static const std::shared_ptr<const classLoadedScript> empty =
        std::make_shared<const classLoadedScript>(classScriptTables{});
    return empty;
}

bool IsVariableType(u32 type) {
    return type >= ScriptRecordTmp && type <= ScriptRecordSystem;
}

// Roughly what a copy of the value costs in memory.
u64 ValueBytes(const classScriptValue& value) {
    u64 bytes = sizeof(classScriptValue) + value.text.size();
    for (const classScriptValue& child : value.children) bytes += ValueBytes(child);
    return bytes;
}

// ---- Little-endian fields of the frame record ----

constexpr u64 kFrameHeaderSize = 56;

void Put32(u8* at, u32 value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<u8>(value >> (8 * i));
}
void Put64(u8* at, u64 value) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<u8>(value >> (8 * i));
}
u64 Get64(const u8* at) {
    u64 value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
    return value;
}
u32 Get32(const u8* at) {
    return static_cast<u32>(at[0]) | static_cast<u32>(at[1]) << 8 | static_cast<u32>(at[2]) << 16 |
           static_cast<u32>(at[3]) << 24;
}

// Whether [offset, offset + size) lies inside a record of `total` bytes. The
// sum is taken in 64 bits from 32-bit fields, so it cannot wrap.
bool Inside(u64 offset, u64 size, u64 total) {
    return offset <= total && size <= total - offset;
}

}  // namespace

classLoadedScript::classLoadedScript(classScriptTables&& compiled) : tables(std::move(compiled)) {
    const auto& records = tables.RecordTable();
    commandIndexByRecord.assign(records.size(), 0);
    for (size_t r = 0; r < records.size(); ++r) {
        if (records[r].type != ScriptRecordCommand) continue;
        const std::string_view name = tables.GetTextA(records[r]);
        if (name.data() != nullptr) commandIndexByRecord[r] = FindBuiltinCommand(name);
    }
}

void SetScriptLoader(ScriptLoaderFunction loader) {
    g_scriptLoader.store(loader);
}
ScriptLoaderFunction GetScriptLoader() {
    return g_scriptLoader.load();
}

classScriptFrame::classScriptFrame() : script_(EmptyScript()) {}

classScriptFrame::classScriptFrame(std::string name) : scriptName(std::move(name)), script_(EmptyScript()) {
    LoadScript();
}

void classScriptFrame::SetTables(classScriptTables&& tables) {
    script_ = std::make_shared<const classLoadedScript>(std::move(tables));
    const int32 count = GetStatementCount();
    alreadyRead = nullptr;
    if (count > 0) g_alreadyReadList.Register(scriptName, static_cast<u32>(count), &alreadyRead);
}

bool classScriptFrame::LoadScript() {
    if (scriptName.empty()) return false;
    ScriptLoaderFunction loader = GetScriptLoader();
    if (loader == nullptr) return false;
    classScriptTables tables;
    if (!loader(scriptName, tables)) return false;
    SetTables(std::move(tables));
    return true;
}

bool classScriptFrame::WriteImage(std::vector<u8>& out) const {
    Tables().WriteImage(out);
    return true;
}

bool classScriptFrame::ReadImage(const u8* bytes, u64 size) {
    // A table the image does not hold keeps what the frame had.
    classScriptTables tables = Tables();
    tables.ReadImage(bytes, size);
    SetTables(std::move(tables));
    return true;
}

int32 classScriptFrame::GetCommandIndex(int64 statement) const {
    const auto& statements = script_->tables.StatementTable();
    if (statement < 0 || static_cast<u64>(statement) >= statements.size()) return 0;
    const u32 record = statements[static_cast<size_t>(statement)];
    const auto& indices = script_->commandIndexByRecord;
    return record < indices.size() ? indices[record] : 0;
}

bool classScriptFrame::IsFinished() const {
    if (pc < 0 || pc >= GetStatementCount()) return true;
    return stopPosition.IsSet() && stopPosition.Get() == static_cast<u32>(pc);
}

int32 classScriptFrame::FindLabel(std::string_view name) const {
    if (name.empty()) return -1;
    for (const classScriptRecord& record : Tables().RecordTable()) {
        if (record.type != ScriptRecordLabel) continue;
        const std::string_view text = Tables().GetTextA(record);
        if (text.data() != nullptr && text == name) return static_cast<int32>(record.b);
    }
    return -1;
}

bool classScriptFrame::JumpToLabel(std::string_view name) {
    if (name.empty()) return true;
    for (const classScriptRecord& record : Tables().RecordTable()) {
        if (record.type != ScriptRecordLabel) continue;
        const std::string_view text = Tables().GetTextA(record);
        if (text.data() == nullptr || text != name) continue;
        // A label that stands only as an argument was never given a
        // statement; going there ends the frame.
        const int32 target = static_cast<int32>(record.b);
        if (target < 0)
            SeekEnd();
        else
            pc = nextPc = target;
        return true;
    }
    return false;
}

bool classScriptFrame::MarkAlreadyRead(int64 i) {
    if (alreadyRead == nullptr || i < 0 || i >= GetStatementCount()) return false;
    WriteAlreadyReadByte(alreadyRead, static_cast<u32>(i), 1);
    return true;
}

bool classScriptFrame::IsAlreadyReadAt(int64 i) const {
    if (alreadyRead == nullptr || i < 0 || i >= GetStatementCount()) return false;
    return ReadAlreadyReadByte(alreadyRead, static_cast<u32>(i));
}

void classScriptFrame::Reset() {
    pc = nextPc = 0;
    interruptFlag = reservedFlag = 0;
    stopPosition.Reset();
    tmpVariables.Clear();
    result.Clear();
    pendingTarget.Reset();
}

// ---- Evaluation ----

namespace {
// Atomic: read by every script thread at each statement; 0 means the default.
std::atomic<u64> g_evaluatedBytesPerStatement{0};
}  // namespace

void classScriptFrame::SetEvaluatedBytesPerStatement(u64 bytes) {
    g_evaluatedBytesPerStatement.store(bytes == 0 || bytes > kMaxEvaluatedBytesPerStatement
                                           ? kMaxEvaluatedBytesPerStatement
                                           : bytes);
}

void classScriptFrame::StartBudget() {
    evaluationBudget_ = kMaxEvaluationsPerStatement;
    const u64 bound = g_evaluatedBytesPerStatement.load(std::memory_order_relaxed);
    byteBudget_ = bound != 0 ? bound : kMaxEvaluatedBytesPerStatement;
    limitHit_ = false;
}

bool classScriptFrame::Spend(u64 bytes) {
    if (bytes > byteBudget_) {
        byteBudget_ = 0;
        evaluationBudget_ = 0;
        limitHit_ = true;
        return false;
    }
    byteBudget_ -= bytes;
    return true;
}

void classScriptFrame::EvaluateRecord(classScriptValue& out, const classScriptRecord* record) {
    StartBudget();
    Evaluate(out, record, 0);
}

int32 classScriptFrame::BuildArguments(std::vector<classScriptValue>& values, int64 k) {
    StartBudget();
    const u32 n = GetArgumentCount(k);
    EvaluateList(values, k, 0);
    // A list too long for the budget was not evaluated; the handler must
    // never be told of more arguments than the vector holds.
    return values.size() < n ? 0 : static_cast<int32>(n);
}

void classScriptFrame::EvaluateList(std::vector<classScriptValue>& values, int64 k, int depth) {
    // The count is already cut to the words that follow it, so it never asks
    // for more values than the table can name.
    const u32 n = GetArgumentCount(k);
    if (values.size() < n) {
        if (!Spend(static_cast<u64>(n - values.size()) * sizeof(classScriptValue))) return;
        values.resize(n);
    }
    for (u32 i = 0; i < n; ++i) Evaluate(values[i], GetArgumentRecord(k, i), depth);
}

void classScriptFrame::Evaluate(classScriptValue& out, const classScriptRecord* record, int depth) {
    out.Clear();
    if (record == nullptr) return;
    if (depth > kMaxEvaluationDepth || evaluationBudget_ == 0) {
        limitHit_ = true;
        return;
    }
    --evaluationBudget_;
    const classScriptTables& tables = Tables();
    switch (record->type) {
        case ScriptRecordOperator: {
            const std::string_view text = tables.GetTextA(*record);
            if (text.data() != nullptr) out.SetOperator(text);
            break;
        }
        case ScriptRecordLabel: {
            const std::string_view text = tables.GetTextA(*record);
            const int64 target = static_cast<int32>(record->b);
            if (text.data() != nullptr)
                out.SetLabel(text, target);
            else if (target >= 0)
                out.SetLabel(std::string_view{}, target);
            break;
        }
        case ScriptRecordInteger:
            if (auto value = tables.GetInteger(*record)) out.SetInteger(*value);
            break;
        case ScriptRecordReal:
            if (auto value = tables.GetReal(*record)) out.SetReal(*value);
            break;
        case ScriptRecordString: {
            const std::string_view text = tables.GetTextB(*record);
            if (text.data() != nullptr && Spend(text.size())) out.SetString(std::string(text));
            break;
        }
        case ScriptRecordParenthesis:
            EvaluateList(*out.MakeList(), record->b, depth + 1);
            break;
        case ScriptRecordTmp:
        case ScriptRecordGlobal:
        case ScriptRecordNomal:
        case ScriptRecordLocal:
        case ScriptRecordSystem:
            Access(*record, depth, &out, nullptr);
            break;
        default:
            break;  // commands, block markers and unknown types have no value
    }
}

int64 classScriptFrame::ElementIndex(const classScriptRecord& record, int depth) {
    if (record.b == kScriptNoIndex) return 0;
    const classScriptRecord* subscript = GetRecord(record.b);
    if (subscript == nullptr) return 0;
    classScriptValue value;
    Evaluate(value, subscript, depth + 1);
    const int64* index = value.AsInteger();
    return index != nullptr ? *index : 0;
}

bool classScriptFrame::Access(const classScriptRecord& record, int depth, classScriptValue* readInto,
                              const classScriptValue* storeFrom) {
    if (record.type == ScriptRecordTmp) {
        // A save on the render thread reads the main script's temporaries and
        // locals while this thread runs (asked for by a Function script).
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        classScriptValue* value = tmpVariables.FindOrAdd(std::string_view{}, static_cast<int64>(record.b));
        if (value == nullptr) return false;
        if (readInto != nullptr && Spend(ValueBytes(*value))) *readInto = *value;
        if (storeFrom != nullptr) *value = *storeFrom;
        return true;
    }
    if (!IsVariableType(record.type)) return false;
    const std::string_view name = GetTextA(record);
    if (name.data() == nullptr) return false;
    const int64 index = ElementIndex(record, depth);
    if (record.type == ScriptRecordLocal) {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        classScriptValue* value = localVariables.FindOrAdd(name, index);
        if (value == nullptr) return false;
        if (readInto != nullptr && Spend(ValueBytes(*value))) *readInto = *value;
        if (storeFrom != nullptr) *value = *storeFrom;
        return true;
    }
    classGlobalVariableStore* store = GetGlobalVariableStore(record.type);
    if (store == nullptr) return false;
    // The run-wide stores hand out copies only: the value is copied in or
    // out while their lock is held.
    store->Update(name, index, [&](classScriptValue& value) {
        if (readInto != nullptr && Spend(ValueBytes(value))) *readInto = value;
        if (storeFrom != nullptr) value = *storeFrom;
    });
    return true;
}

bool classScriptFrame::ReadVariable(const classScriptRecord& record, classScriptValue& out) {
    StartBudget();
    out.Clear();
    return Access(record, 0, &out, nullptr);
}

bool classScriptFrame::StoreVariable(const classScriptRecord& record, const classScriptValue& value) {
    StartBudget();
    return Access(record, 0, nullptr, &value);
}

// ---- Frame record ----

void classScriptFrame::Serialize(classMemoryStream& out, bool resumeAfter) const {
    std::vector<u8> image;
    WriteImage(image);
    std::vector<u8> tmpList;
    WriteVariableList(tmpVariables, tmpList);
    std::vector<u8> localList;
    WriteVariableList(localVariables, localList);

    const u64 nameSize = scriptName.size() + 1;
    const u64 imageOffset = kFrameHeaderSize + nameSize;
    const u64 tmpOffset = imageOffset + image.size();
    const u64 localOffset = tmpOffset + tmpList.size();
    const u64 total = localOffset + localList.size();

    u8 header[kFrameHeaderSize] = {};
    Put64(header + 0, total);
    Put32(header + 8, static_cast<u32>(kFrameHeaderSize));
    Put32(header + 12, static_cast<u32>(nameSize));
    Put32(header + 16, static_cast<u32>(imageOffset));
    Put32(header + 20, static_cast<u32>(image.size()));
    Put32(header + 24, static_cast<u32>(resumeAfter ? static_cast<int32>(nextPc) : static_cast<int32>(pc)));
    Put32(header + 28, static_cast<u32>(nextPc));
    header[32] = interruptFlag;
    header[33] = reservedFlag;
    Put32(header + 36, pendingTarget.IsSet() ? pendingTarget.Get() : 0xFFFFFFFFu);
    if (!tmpList.empty()) {
        Put32(header + 40, static_cast<u32>(tmpOffset));
        Put32(header + 44, static_cast<u32>(tmpList.size()));
    }
    if (!localList.empty()) {
        Put32(header + 48, static_cast<u32>(localOffset));
        Put32(header + 52, static_cast<u32>(localList.size()));
    }
    out.Write(header, kFrameHeaderSize);
    out.Write(scriptName.c_str(), nameSize);
    out.Write(image.data(), image.size());
    out.Write(tmpList.data(), tmpList.size());
    out.Write(localList.data(), localList.size());
}

bool classScriptFrame::IsRecordWhole(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kFrameHeaderSize || Get64(bytes) != size) return false;
    // The parts follow the header in their order, each directly after the
    // one before, up to the record's end, as Serialize lays them out. Frames
    // of an interrupt are never saved.
    const u64 nameSize = Get32(bytes + 12);
    const u64 imageOffset = Get32(bytes + 16);
    const u64 imageSize = Get32(bytes + 20);
    if (Get32(bytes + 8) != kFrameHeaderSize || nameSize == 0 || !Inside(kFrameHeaderSize, nameSize, size) ||
        bytes[32] != 0 || bytes[34] != 0 || bytes[35] != 0)
        return false;
    const u8* name = bytes + kFrameHeaderSize;
    if (std::memchr(name, 0, static_cast<size_t>(nameSize)) != name + nameSize - 1) return false;
    if (imageOffset != kFrameHeaderSize + nameSize || !Inside(imageOffset, imageSize, size) ||
        !classScriptTables::IsImageWhole(bytes + imageOffset, imageSize))
        return false;
    u64 end = imageOffset + imageSize;
    for (const u64 field : {u64{40}, u64{48}}) {
        const u64 offset = Get32(bytes + field);
        const u64 length = Get32(bytes + field + 4);
        if (offset == 0 && length == 0) continue;
        if (offset != end || !Inside(offset, length, size) || !IsVariableListWhole(bytes + offset, length))
            return false;
        end = offset + length;
    }
    return end == size;
}

bool classScriptFrame::IsPositionInside() const {
    // The end itself is a place a frame may stand: a call made by the last
    // statement returns there, and the frame finishes.
    const int32 count = GetStatementCount();
    return pc >= 0 && pc <= count && nextPc >= 0 && nextPc <= count &&
           (!pendingTarget.IsSet() || pendingTarget.Get() < static_cast<u32>(count));
}

bool classScriptFrame::Deserialize(const u8* bytes, u64 size) {
    if (bytes == nullptr || size < kFrameHeaderSize) return false;
    pc = static_cast<int32>(Get32(bytes + 24));
    nextPc = static_cast<int32>(Get32(bytes + 28));
    interruptFlag = bytes[32];
    reservedFlag = bytes[33];
    pendingTarget.Reset();
    const int32 pending = static_cast<int32>(Get32(bytes + 36));
    if (pending >= 0) pendingTarget.Set(static_cast<u32>(pending));

    // The name runs to its NUL, but never past its own field or the record.
    const u64 nameOffset = Get32(bytes + 8);
    const u64 nameSize = Get32(bytes + 12);
    scriptName.clear();
    if (nameOffset < size) {
        const u64 limit = Inside(nameOffset, nameSize, size) ? nameSize : size - nameOffset;
        const char* name = reinterpret_cast<const char*>(bytes + nameOffset);
        scriptName.assign(name, strnlen(name, static_cast<size_t>(limit)));
    }

    const u64 imageOffset = Get32(bytes + 16);
    const u64 imageSize = Get32(bytes + 20);
    if (imageSize > 0 && Inside(imageOffset, imageSize, size)) ReadImage(bytes + imageOffset, imageSize);

    const u64 tmpOffset = Get32(bytes + 40);
    const u64 tmpSize = Get32(bytes + 44);
    if (tmpOffset != 0 && Inside(tmpOffset, tmpSize, size))
        ReadVariableList(tmpVariables, bytes + tmpOffset, tmpSize);
    const u64 localOffset = Get32(bytes + 48);
    const u64 localSize = Get32(bytes + 52);
    if (localOffset != 0 && Inside(localOffset, localSize, size))
        ReadVariableList(localVariables, bytes + localOffset, localSize);
    return true;
}
