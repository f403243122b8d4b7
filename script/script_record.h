#pragma once
// The compiled form of a script: four flat tables of 32-bit words and bytes
// plus the tmp count. The compiler fills them, a frame runs them, and the
// "QVS002" image stores them as they are, so every field here is either a
// little-endian 32-bit word or a byte.
//
// classScriptTables is the one holder of those tables. The compiler keeps one
// while it compiles (its adders are the ones below); after the compile the
// tables are read-only and frames of the same script share one copy.
//
// Every reader takes indices and offsets that may come from a damaged image
// and checks them before use: a missing record is a null pointer, a text
// outside the pool is an empty view, a number outside it is no value.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/types.h"

// What a record stands for. The values are stored in images and frame
// records, so they never change.
enum ScriptRecordType : u32 {
    ScriptRecordNone = 0,  // never made; what an absent record reads as
    ScriptRecordCommand = 1,
    ScriptRecordOperator = 2,
    ScriptRecordBlockMarker = 3,
    ScriptRecordLabel = 4,
    ScriptRecordInteger = 5,
    ScriptRecordReal = 6,
    ScriptRecordString = 7,
    ScriptRecordParenthesis = 8,
    ScriptRecordTmp = 9,
    ScriptRecordGlobal = 10,
    ScriptRecordNomal = 11,
    ScriptRecordLocal = 12,
    ScriptRecordSystem = 13,
};

// All ones in a record field or an argument-list entry: the field holds nothing.
inline constexpr u32 kScriptNoIndex = 0xFFFFFFFFu;

// Twelve bytes in the image: type, a, b. The type is kept as a plain word
// because an image may carry any value there.
struct classScriptRecord {
    u32 type = ScriptRecordNone;
    u32 a = kScriptNoIndex;
    u32 b = kScriptNoIndex;

    friend bool operator==(const classScriptRecord&, const classScriptRecord&) = default;
};

class classScriptTables {
public:
    classScriptTables() = default;
    // The sharing index refers to this object's own pool, so a copy starts
    // without one and rebuilds it on its first shared add.
    classScriptTables(const classScriptTables& other);
    classScriptTables& operator=(const classScriptTables& other);
    classScriptTables(classScriptTables&& other) noexcept;
    classScriptTables& operator=(classScriptTables&& other) noexcept;
    ~classScriptTables() = default;

    // Empties the four tables and sets the tmp count to 0.
    void Clear();
    void Reserve(std::size_t statements, std::size_t argumentWords, std::size_t records,
                 std::size_t poolBytes);

    // ---- Appending (each returns the index of the record) ----
    // Commands and parentheses store their argument list first, so a nested
    // list always has a smaller index than the list that holds it. An
    // argument index of -1 stands for an absent argument.
    int32 AddCommandRecord(std::string_view name, std::span<const int32> arguments);
    int32 AddParenthesisRecord(std::string_view name, std::span<const int32> arguments);
    // Shared: an equal record made earlier is returned instead of a new one,
    // so a label's target belongs to its name and repeated literals cost one
    // record. The first equal record in table order wins.
    int32 AddOperatorRecord(std::string_view text);
    int32 AddLabelRecord(std::string_view name);
    int32 AddStringRecord(std::string_view text);
    int32 AddIntegerRecord(int64 value);
    int32 AddRealRecord(double value);
    // Never shared.
    int32 AddBlockMarkerRecord(std::string_view text);
    int32 AddTmpRecord();
    int32 AddGlobalRecord(std::string_view name, int32 subscript);
    int32 AddNomalRecord(std::string_view name, int32 subscript);
    int32 AddLocalRecord(std::string_view name, int32 subscript);
    int32 AddSystemRecord(std::string_view name, int32 subscript);

    // Pool items, appended back to back without padding; each returns the
    // offset of its first byte. A text ends at its first NUL, as a C string would.
    u32 WriteText(std::string_view text);
    u32 WriteInteger(int64 value);
    u32 WriteReal(double value);

    // The adders never touch the statement table; the parser decides which
    // records are statements and in which order. Each statement takes the
    // line set last, so what it does can be reported where it was written.
    void AddStatement(int32 recordIndex);
    void SetCurrentLine(int32 line) { currentLine_ = line; }
    // The label and block passes fill b fields left at -1. False when the
    // record does not exist.
    bool SetRecordB(int64 recordIndex, u32 b);

    u32 GetTmpCount() const { return tmpCount_; }
    void SetTmpCount(u32 count) { tmpCount_ = count; }

    // ---- Reading ----
    int32 GetStatementCount() const;
    bool IsEnd(int64 i) const { return i >= GetStatementCount(); }
    // i + 1, or the statement count when i is already at or past the end.
    int32 NextIndex(int64 i) const;
    // Null for a negative index, -1 taken as a word, or one past the table.
    const classScriptRecord* GetRecord(int64 recordIndex) const;
    const classScriptRecord* GetStatementRecord(int64 i) const;
    // ScriptRecordNone when statement i names no record.
    u32 GetStatementType(int64 i) const;
    // The source line (from 1) statement i begins on; 0 when it is not known,
    // as for every statement of a compiled image, which holds no lines.
    int32 GetStatementLine(int64 i) const;

    // The count word of argument list k, cut down to the words that follow it
    // in the table, so a damaged count can never send a reader past the end.
    // 0 when k is not in the table.
    u32 GetArgumentCount(int64 k) const;
    // The record index of argument i of list k, or -1 when the argument is
    // absent or outside the list.
    int64 GetArgumentRecordIndex(int64 k, int64 i) const;
    const classScriptRecord* GetArgumentRecord(int64 k, int64 i) const;

    // The text at a pool offset: up to its NUL, or to the end of the pool
    // when a damaged pool has none. An offset outside the pool gives an empty
    // view whose data() is null, so callers can tell "no text" from "".
    std::string_view GetPoolText(u64 offset) const;
    std::string_view GetTextA(const classScriptRecord& record) const { return GetPoolText(record.a); }
    std::string_view GetTextB(const classScriptRecord& record) const { return GetPoolText(record.b); }
    // The 8-byte number at pool offset b; nothing when it does not lie
    // wholly inside the pool.
    std::optional<int64> GetInteger(const classScriptRecord& record) const;
    std::optional<double> GetReal(const classScriptRecord& record) const;
    // Null when the offset is outside the pool.
    const u8* GetPoolAt(u64 offset) const;

    // The raw tables, for the image writer, the frame record and tests.
    const std::vector<u32>& StatementTable() const { return statements_; }
    const std::vector<u32>& ArgumentListTable() const { return argumentLists_; }
    const std::vector<classScriptRecord>& RecordTable() const { return records_; }
    const std::vector<u8>& DataPool() const { return pool_; }

    // The "QVS002" image of the four tables and the tmp count. Writing
    // replaces the contents of out. Reading takes each table that lies wholly
    // inside the bytes and keeps the current contents of any other; the tmp
    // count is taken from the header. False, with nothing taken, when the
    // bytes are shorter than the header or lack the magic.
    void WriteImage(std::vector<u8>& out) const;
    bool ReadImage(const u8* bytes, u64 size);
    // Whether the bytes are an image as WriteImage lays it out: the header,
    // then each table that is there directly after the one before, whole,
    // ending exactly at the image's end.
    static bool IsImageWhole(const u8* bytes, u64 size);

    friend bool operator==(const classScriptTables& x, const classScriptTables& y) {
        return x.statements_ == y.statements_ && x.argumentLists_ == y.argumentLists_ &&
               x.records_ == y.records_ && x.pool_ == y.pool_ && x.tmpCount_ == y.tmpCount_;
    }

private:
    struct TransparentHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const noexcept {
            return std::hash<std::string_view>{}(key);
        }
    };

    int32 AppendRecord(u32 type, u32 a, u32 b);
    int32 AddListRecord(u32 type, std::string_view name, std::span<const int32> arguments);
    int32 AddVariableRecord(u32 type, std::string_view name, int32 subscript);
    // The sharing key of a record: its type byte, then its text or the bytes
    // of its number. False for records that are not shared or cannot be keyed.
    bool SharingKey(const classScriptRecord& record, std::string& key) const;
    // Brings the index up to the end of the record table, so records that a
    // reader or an image put there are found too.
    void CatchUpIndex();
    int32 FindShared(const std::string& key);
    void ForgetIndex();

    std::vector<u32> statements_;
    std::vector<u32> argumentLists_;
    std::vector<classScriptRecord> records_;
    std::vector<u8> pool_;
    u32 tmpCount_ = 0;
    // Beside the statement table, one entry per statement; not in the image.
    std::vector<int32> lines_;
    int32 currentLine_ = 0;

    // Key → first record with that key, for records below indexedCount_.
    std::unordered_map<std::string, u32, TransparentHash, std::equal_to<>> sharedIndex_;
    std::size_t indexedCount_ = 0;
    std::string keyScratch_;
};
