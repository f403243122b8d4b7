#include "script/script_record.h"
#include "foundation/little_endian.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

void PutU64(std::string& key, u64 bits) {
    for (int i = 0; i < 8; ++i) key.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}


// Records the compiler shares and the key it shares them by. Texts compare up
// to their NUL, so the key holds the text without it.
bool KeyOfText(u32 type, std::string_view text, std::string& key) {
    key.clear();
    key.push_back(static_cast<char>(type));
    key.append(text);
    return true;
}

bool KeyOfInteger(int64 value, std::string& key) {
    key.clear();
    key.push_back(static_cast<char>(ScriptRecordInteger));
    PutU64(key, static_cast<u64>(value));
    return true;
}

// Reals share when they compare equal: 0.0 and -0.0 are one key, and a NaN
// equals nothing, so it never shares.
bool KeyOfReal(double value, std::string& key) {
    if (std::isnan(value)) return false;
    if (value == 0.0) value = 0.0;
    u64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    key.clear();
    key.push_back(static_cast<char>(ScriptRecordReal));
    PutU64(key, bits);
    return true;
}

std::string_view CutAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

classScriptTables::classScriptTables(const classScriptTables& other)
    : statements_(other.statements_),
      argumentLists_(other.argumentLists_),
      records_(other.records_),
      pool_(other.pool_),
      tmpCount_(other.tmpCount_),
      lines_(other.lines_) {}

classScriptTables& classScriptTables::operator=(const classScriptTables& other) {
    if (this != &other) {
        statements_ = other.statements_;
        argumentLists_ = other.argumentLists_;
        records_ = other.records_;
        pool_ = other.pool_;
        tmpCount_ = other.tmpCount_;
        lines_ = other.lines_;
        ForgetIndex();
    }
    return *this;
}

classScriptTables::classScriptTables(classScriptTables&& other) noexcept
    : statements_(std::move(other.statements_)),
      argumentLists_(std::move(other.argumentLists_)),
      records_(std::move(other.records_)),
      pool_(std::move(other.pool_)),
      tmpCount_(other.tmpCount_),
      lines_(std::move(other.lines_)),
      sharedIndex_(std::move(other.sharedIndex_)),
      indexedCount_(other.indexedCount_) {
    other.Clear();
}

classScriptTables& classScriptTables::operator=(classScriptTables&& other) noexcept {
    if (this != &other) {
        statements_ = std::move(other.statements_);
        argumentLists_ = std::move(other.argumentLists_);
        records_ = std::move(other.records_);
        pool_ = std::move(other.pool_);
        tmpCount_ = other.tmpCount_;
        lines_ = std::move(other.lines_);
        sharedIndex_ = std::move(other.sharedIndex_);
        indexedCount_ = other.indexedCount_;
        other.Clear();
    }
    return *this;
}

void classScriptTables::Clear() {
    statements_.clear();
    argumentLists_.clear();
    records_.clear();
    pool_.clear();
    tmpCount_ = 0;
    lines_.clear();
    currentLine_ = 0;
    ForgetIndex();
}

void classScriptTables::Reserve(std::size_t statements, std::size_t argumentWords,
                                std::size_t records, std::size_t poolBytes) {
    statements_.reserve(statements);
    lines_.reserve(statements);
    argumentLists_.reserve(argumentWords);
    records_.reserve(records);
    pool_.reserve(poolBytes);
}

void classScriptTables::ForgetIndex() {
    sharedIndex_.clear();
    indexedCount_ = 0;
}

// ---- pool ----

u32 classScriptTables::WriteText(std::string_view text) {
    const u32 offset = static_cast<u32>(pool_.size());
    text = CutAtNul(text);
    pool_.insert(pool_.end(), text.begin(), text.end());
    pool_.push_back(0);
    return offset;
}

u32 classScriptTables::WriteInteger(int64 value) {
    const u32 offset = static_cast<u32>(pool_.size());
    const u64 bits = static_cast<u64>(value);
    for (int i = 0; i < 8; ++i) pool_.push_back(static_cast<u8>((bits >> (8 * i)) & 0xFF));
    return offset;
}

u32 classScriptTables::WriteReal(double value) {
    u64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteInteger(static_cast<int64>(bits));
}

// ---- records ----

int32 classScriptTables::AppendRecord(u32 type, u32 a, u32 b) {
    records_.push_back(classScriptRecord{type, a, b});
    return static_cast<int32>(records_.size() - 1);
}

int32 classScriptTables::AddListRecord(u32 type, std::string_view name,
                                       std::span<const int32> arguments) {
    const u32 list = static_cast<u32>(argumentLists_.size());
    argumentLists_.push_back(static_cast<u32>(arguments.size()));
    for (int32 index : arguments) argumentLists_.push_back(static_cast<u32>(index));
    const u32 nameOffset = WriteText(name);
    return AppendRecord(type, nameOffset, list);
}

int32 classScriptTables::AddCommandRecord(std::string_view name, std::span<const int32> arguments) {
    return AddListRecord(ScriptRecordCommand, name, arguments);
}

int32 classScriptTables::AddParenthesisRecord(std::string_view name,
                                              std::span<const int32> arguments) {
    return AddListRecord(ScriptRecordParenthesis, name, arguments);
}

bool classScriptTables::SharingKey(const classScriptRecord& record, std::string& key) const {
    switch (record.type) {
        case ScriptRecordOperator:
        case ScriptRecordLabel: {
            const std::string_view text = GetPoolText(record.a);
            return text.data() != nullptr && KeyOfText(record.type, text, key);
        }
        case ScriptRecordString: {
            const std::string_view text = GetPoolText(record.b);
            return text.data() != nullptr && KeyOfText(record.type, text, key);
        }
        case ScriptRecordInteger: {
            const auto value = GetInteger(record);
            return value && KeyOfInteger(*value, key);
        }
        case ScriptRecordReal: {
            const auto value = GetReal(record);
            return value && KeyOfReal(*value, key);
        }
        default: return false;
    }
}

void classScriptTables::CatchUpIndex() {
    for (; indexedCount_ < records_.size(); ++indexedCount_) {
        if (SharingKey(records_[indexedCount_], keyScratch_))
            sharedIndex_.emplace(keyScratch_, static_cast<u32>(indexedCount_));
    }
}

int32 classScriptTables::FindShared(const std::string& key) {
    CatchUpIndex();
    const auto found = sharedIndex_.find(std::string_view(key));
    return found == sharedIndex_.end() ? -1 : static_cast<int32>(found->second);
}

int32 classScriptTables::AddOperatorRecord(std::string_view text) {
    std::string key;
    KeyOfText(ScriptRecordOperator, CutAtNul(text), key);
    const int32 shared = FindShared(key);
    if (shared >= 0) return shared;
    return AppendRecord(ScriptRecordOperator, WriteText(text), kScriptNoIndex);
}

int32 classScriptTables::AddLabelRecord(std::string_view name) {
    std::string key;
    KeyOfText(ScriptRecordLabel, CutAtNul(name), key);
    const int32 shared = FindShared(key);
    if (shared >= 0) return shared;
    return AppendRecord(ScriptRecordLabel, WriteText(name), kScriptNoIndex);
}

int32 classScriptTables::AddStringRecord(std::string_view text) {
    std::string key;
    KeyOfText(ScriptRecordString, CutAtNul(text), key);
    const int32 shared = FindShared(key);
    if (shared >= 0) return shared;
    return AppendRecord(ScriptRecordString, kScriptNoIndex, WriteText(text));
}

int32 classScriptTables::AddIntegerRecord(int64 value) {
    std::string key;
    KeyOfInteger(value, key);
    const int32 shared = FindShared(key);
    if (shared >= 0) return shared;
    return AppendRecord(ScriptRecordInteger, kScriptNoIndex, WriteInteger(value));
}

int32 classScriptTables::AddRealRecord(double value) {
    std::string key;
    if (KeyOfReal(value, key)) {
        const int32 shared = FindShared(key);
        if (shared >= 0) return shared;
    }
    return AppendRecord(ScriptRecordReal, kScriptNoIndex, WriteReal(value));
}

int32 classScriptTables::AddBlockMarkerRecord(std::string_view text) {
    return AppendRecord(ScriptRecordBlockMarker, WriteText(text), kScriptNoIndex);
}

int32 classScriptTables::AddTmpRecord() {
    return AppendRecord(ScriptRecordTmp, kScriptNoIndex, tmpCount_++);
}

int32 classScriptTables::AddVariableRecord(u32 type, std::string_view name, int32 subscript) {
    return AppendRecord(type, WriteText(name), static_cast<u32>(subscript));
}

int32 classScriptTables::AddGlobalRecord(std::string_view name, int32 subscript) {
    return AddVariableRecord(ScriptRecordGlobal, name, subscript);
}
int32 classScriptTables::AddNomalRecord(std::string_view name, int32 subscript) {
    return AddVariableRecord(ScriptRecordNomal, name, subscript);
}
int32 classScriptTables::AddLocalRecord(std::string_view name, int32 subscript) {
    return AddVariableRecord(ScriptRecordLocal, name, subscript);
}
int32 classScriptTables::AddSystemRecord(std::string_view name, int32 subscript) {
    return AddVariableRecord(ScriptRecordSystem, name, subscript);
}

void classScriptTables::AddStatement(int32 recordIndex) {
    statements_.push_back(static_cast<u32>(recordIndex));
    lines_.push_back(currentLine_);
}

bool classScriptTables::SetRecordB(int64 recordIndex, u32 b) {
    if (GetRecord(recordIndex) == nullptr) return false;
    // Only labels and block markers change after they are made, and neither
    // keys its sharing on b, so the index stays valid.
    records_[static_cast<std::size_t>(recordIndex)].b = b;
    return true;
}

// ---- reading ----

int32 classScriptTables::GetStatementCount() const {
    // An image holds at most 2^30 statements, so the count fits.
    return static_cast<int32>(statements_.size());
}

int32 classScriptTables::NextIndex(int64 i) const {
    const int32 count = GetStatementCount();
    return i >= count ? count : static_cast<int32>(i + 1);
}

const classScriptRecord* classScriptTables::GetRecord(int64 recordIndex) const {
    if (recordIndex < 0 || recordIndex == kScriptNoIndex) return nullptr;
    if (static_cast<u64>(recordIndex) >= records_.size()) return nullptr;
    return &records_[static_cast<std::size_t>(recordIndex)];
}

int32 classScriptTables::GetStatementLine(int64 i) const {
    if (i < 0 || static_cast<u64>(i) >= lines_.size()) return 0;
    return lines_[static_cast<std::size_t>(i)];
}

const classScriptRecord* classScriptTables::GetStatementRecord(int64 i) const {
    if (i < 0 || static_cast<u64>(i) >= statements_.size()) return nullptr;
    return GetRecord(statements_[static_cast<std::size_t>(i)]);
}

u32 classScriptTables::GetStatementType(int64 i) const {
    const classScriptRecord* record = GetStatementRecord(i);
    return record ? record->type : static_cast<u32>(ScriptRecordNone);
}

u32 classScriptTables::GetArgumentCount(int64 k) const {
    if (k < 0 || static_cast<u64>(k) >= argumentLists_.size()) return 0;
    const u64 following = argumentLists_.size() - static_cast<u64>(k) - 1;
    const u64 count = argumentLists_[static_cast<std::size_t>(k)];
    return static_cast<u32>(count < following ? count : following);
}

int64 classScriptTables::GetArgumentRecordIndex(int64 k, int64 i) const {
    if (i < 0 || static_cast<u64>(i) >= GetArgumentCount(k)) return -1;
    const u32 word = argumentLists_[static_cast<std::size_t>(k + 1 + i)];
    return word == kScriptNoIndex ? -1 : static_cast<int64>(word);
}

const classScriptRecord* classScriptTables::GetArgumentRecord(int64 k, int64 i) const {
    return GetRecord(GetArgumentRecordIndex(k, i));
}

std::string_view classScriptTables::GetPoolText(u64 offset) const {
    if (offset >= pool_.size()) return {};
    const char* start = reinterpret_cast<const char*>(pool_.data() + offset);
    const std::size_t room = static_cast<std::size_t>(pool_.size() - offset);
    const void* nul = std::memchr(start, 0, room);
    return std::string_view(start, nul ? static_cast<const char*>(nul) - start : room);
}

const u8* classScriptTables::GetPoolAt(u64 offset) const {
    return offset < pool_.size() ? pool_.data() + offset : nullptr;
}

std::optional<int64> classScriptTables::GetInteger(const classScriptRecord& record) const {
    const u64 offset = record.b;
    if (pool_.size() < 8 || offset > pool_.size() - 8) return std::nullopt;
    return static_cast<int64>(LoadLe64(pool_.data() + offset));
}

std::optional<double> classScriptTables::GetReal(const classScriptRecord& record) const {
    const auto bits = GetInteger(record);
    if (!bits) return std::nullopt;
    double value;
    std::memcpy(&value, &*bits, sizeof value);
    return value;
}
