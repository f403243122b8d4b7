#pragma once
// The one value type of the script language: what a record evaluates to, what
// a command receives and gives back, and what a variable holds.
//
// All five members exist side by side and the tag says which one is the
// value. A conversion stores its result in the member of the kind asked for
// and leaves the tag alone, so an integer that was once shown as text still
// is an integer, now carrying its text as well. Members that do not belong to
// the tag may hold stale content; nothing but the tag decides what the value is.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/types.h"

// Stored in value records, so the numbers never change.
enum ScriptValueTag : u32 {
    ScriptValueEmpty = 0,
    ScriptValueList = 1,
    ScriptValueInteger = 2,
    ScriptValueReal = 3,
    ScriptValueString = 4,
    ScriptValueLabel = 5,     // text = label name, integer = target statement
    ScriptValueOperator = 6,  // text of an operator or parenthesis token
};

class classScriptValue {
public:
    u32 tag = ScriptValueEmpty;
    int64 integer = 0;
    double real = 0.0;
    std::string text;
    std::vector<classScriptValue> children;  // held by value; copies are deep

    // Back to a new value: every member, not only the tag.
    void Clear();

    // Each setter sets the tag and its own member; the others keep what they held.
    int64* SetInteger(int64 value);
    double* SetReal(double value);
    std::string* SetString(std::string value);
    // A null text sets the empty string.
    std::string* SetStringFromText(const char* text);
    void SetOperator(std::string_view text);
    // The name and the target are each replaced only when given.
    void SetLabel(std::optional<std::string_view> name, std::optional<int64> target);
    // The children keep what they held.
    std::vector<classScriptValue>* MakeList();

    bool IsEmpty() const { return tag == ScriptValueEmpty; }
    bool IsList() const { return tag == ScriptValueList; }
    bool IsInteger() const { return tag == ScriptValueInteger; }
    bool IsReal() const { return tag == ScriptValueReal; }
    bool IsString() const { return tag == ScriptValueString; }
    bool IsLabel() const { return tag == ScriptValueLabel; }
    // The operator text, or null when the value is not an operator.
    const std::string* GetOperator() const;
    // The children, or null when the value is not a list.
    std::vector<classScriptValue>* GetList();
    const std::vector<classScriptValue>* GetList() const;
    // Assigns this value to the target; false, with nothing done, for a null target.
    bool CopyTo(classScriptValue* target) const;

    // Conversions: the address of the member now holding the value in the
    // kind asked for, or null when this tag has no such conversion. A text
    // that does not read as a number gives 0 without complaint.
    int64* AsInteger();
    double* AsReal();
    std::string* AsString();
};

// A real as an integer, truncated toward zero. Out-of-range reals saturate
// and NaN gives 0: a plain cast is undefined there, and script arithmetic can
// reach 1e300.
int64 RealToInt64(double value);

// ---- Value records ----
// A 48-byte header (record size, tag, integer, real, text offset and size,
// children offset and size), the text with its NUL when it is not empty, then
// each child's own record. Every offset is relative to the record's start,
// so a record can be copied anywhere and read back there.

// Lists nested deeper than this are cut when written and when read: a stored
// record must never make the reader, the copy or the destructor recurse
// without bound.
inline constexpr int kMaxScriptValueDepth = 64;

// Replaces the contents of out with the record of the value.
void WriteScriptValue(const classScriptValue& value, std::vector<u8>& out);
// Appends the record of the value to out.
void AppendScriptValue(const classScriptValue& value, std::vector<u8>& out);
// Fills an existing value (callers hand it an empty one) from a record. A
// record shorter than its header, or a null value, leaves the value untouched
// and gives false. A text or a child that does not lie inside the bytes is
// not taken; the rest of the record still is.
bool ReadScriptValue(classScriptValue* value, const u8* bytes, u64 size);
// Whether the bytes are exactly one value record as written, children
// included: what a saved game must hold to be resumed as it was.
bool IsScriptValueRecordWhole(const u8* bytes, u64 size);
