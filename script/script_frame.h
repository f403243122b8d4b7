#pragma once
// One running call of a script: the script's compiled tables with its
// position, flags, last result and its local and tmp variables. A context
// (script_context.h) keeps a stack of these; the newest one runs.
//
// Frames of one script share its compiled tables, which nothing changes once
// loaded; a copy of a frame (a call of a label inside its own script) copies
// only the position and the variables.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/memory_stream.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"
#include "script/script_record.h"
#include "script/script_value.h"
#include "script/script_variable.h"

// Guards the frame lists of every context (script_context.h) and the
// positions other threads change in a running frame.
extern std::recursive_mutex g_scriptFrameLock;

// A statement number of a running frame. Another thread may set it while the
// frame's own thread reads it (an interrupt pushed from the Function thread
// makes the main script's statement run again; "Quit" from there ends the
// main frames), so every access is atomic; copies take the value.
class classFramePosition {
  public:
    classFramePosition(int32 value = 0) : value_(value) {}
    classFramePosition(const classFramePosition& other) : value_(other) {}
    classFramePosition& operator=(const classFramePosition& other) {
        value_.store(other, std::memory_order_relaxed);
        return *this;
    }
    classFramePosition& operator=(int32 value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator int32() const { return value_.load(std::memory_order_relaxed); }

  private:
    std::atomic<int32> value_;
};

// A script's tables as frames run them, with the command each command record
// names already looked up: the table of commands never changes at run time,
// so finding the name again at every execution would only give the same index.
struct classLoadedScript {
    classScriptTables tables;
    std::vector<int32> commandIndexByRecord;  // 0 for records that are not known commands

    explicit classLoadedScript(classScriptTables&& compiled);
};

// Loads the compiled tables of a script by name: reads the file (archives
// first, then loose files), takes a "QVS002" image as it is and compiles
// anything else. False when there is nothing to run. The loader installs
// itself here; tests install their own.
using ScriptLoaderFunction = bool (*)(const std::string& name, classScriptTables& out);
void SetScriptLoader(ScriptLoaderFunction loader);
ScriptLoaderFunction GetScriptLoader();

class classScriptFrame {
  public:
    classScriptFrame();
    // Loads the named script; a failed load leaves empty tables, so the frame
    // is finished at once.
    explicit classScriptFrame(std::string name);
    classScriptFrame(const classScriptFrame&) = default;
    classScriptFrame& operator=(const classScriptFrame&) = default;
    classScriptFrame(classScriptFrame&&) noexcept = default;
    classScriptFrame& operator=(classScriptFrame&&) noexcept = default;

    // ---- Fields (the frame record stores all but stopPosition, result, alreadyRead and callDepth) ----
    std::string scriptName;  // also the key of the already-read marks
    // Marks of this script, one byte per statement, owned by the already-read
    // list; null until registered.
    u8* alreadyRead = nullptr;
    classFramePosition pc = 0;
    classFramePosition nextPc = 0;
    u8 interruptFlag = 0;
    u8 reservedFlag = 0;
    classOptionalValue<u32> stopPosition;
    classScriptValue result;
    classScriptVariableList localVariables;
    classScriptVariableList tmpVariables;
    classOptionalValue<u32> pendingTarget;
    // How many calls deep the frame runs, itself included; set when it is
    // pushed. A call made by a frame's last statement ends its caller at once,
    // so the stack alone never grows while a script calls itself that way.
    // 0 for a frame the stack does not know the calls of (one read from play
    // data, the first of a thread): its place in the stack stands for it.
    size_t callDepth = 0;

    // ---- The compiled script ----
    // Takes a freshly compiled or read script and registers its marks.
    void SetTables(classScriptTables&& tables);
    const classScriptTables& Tables() const { return script_->tables; }
    u32 GetTmpCount() const { return script_->tables.GetTmpCount(); }
    bool LoadScript();
    // The "QVS002" image of the tables.
    bool WriteImage(std::vector<u8>& out) const;
    // Takes whatever tables the image holds and registers the marks under the
    // frame's name. True in every case, as callers decide by the magic.
    bool ReadImage(const u8* bytes, u64 size);

    int32 GetStatementCount() const { return script_->tables.GetStatementCount(); }
    const classScriptRecord* GetStatementRecord(int64 i) const {
        return script_->tables.GetStatementRecord(i);
    }
    const classScriptRecord* GetRecord(int64 r) const { return script_->tables.GetRecord(r); }
    u32 GetArgumentCount(int64 k) const { return script_->tables.GetArgumentCount(k); }
    const classScriptRecord* GetArgumentRecord(int64 k, int64 i) const {
        return script_->tables.GetArgumentRecord(k, i);
    }
    std::string_view GetTextA(const classScriptRecord& record) const {
        return script_->tables.GetTextA(record);
    }
    std::string_view GetTextB(const classScriptRecord& record) const {
        return script_->tables.GetTextB(record);
    }
    const u8* GetPoolAt(u64 offset) const { return script_->tables.GetPoolAt(offset); }
    // The command index of a statement's command record (0 when the statement
    // is no command or names none).
    int32 GetCommandIndex(int64 statement) const;

    // ---- Position ----
    int32 NextIndex(int64 i) const { return script_->tables.NextIndex(i); }
    // A negative pc also counts as finished: a jump through a field that was
    // never linked ends the frame instead of starting it over.
    bool IsFinished() const;
    void RestorePc() { pc = nextPc; }
    bool SetNextPc(int32 i) {
        nextPc = i;
        return true;
    }
    void SetNextPcToPc() { nextPc = pc; }
    void SeekEnd() { pc = nextPc = GetStatementCount(); }
    // Target statement of the first label record with this name, or -1.
    int32 FindLabel(std::string_view name) const;
    // An empty name succeeds without moving; an absent label fails without
    // moving; a label that names no statement ends the frame.
    bool JumpToLabel(std::string_view name);

    // ---- Already-read marks ----
    bool MarkAlreadyRead(int64 i);
    bool IsAlreadyReadAt(int64 i) const;

    // Back to the start: position, flags and stop position, tmp variables,
    // result and pending target. Locals and tables stay.
    void Reset();

    // ---- Evaluation ----
    // The value of one record (null: empty). out is cleared first.
    void EvaluateRecord(classScriptValue& out, const classScriptRecord* record);
    // Evaluates the arguments of list k into elements 0..n-1 of values, which
    // is grown as needed and never shrunk. Returns n.
    int32 BuildArguments(std::vector<classScriptValue>& values, int64 k);
    // Copies the value of a variable record (types 9 to 13) into out, making
    // the variable, empty, when it does not exist yet. False for other records.
    bool ReadVariable(const classScriptRecord& record, classScriptValue& out);
    // Stores value into the variable a record names. False for other records.
    bool StoreVariable(const classScriptRecord& record, const classScriptValue& value);
    // True when the last evaluation ran into one of the bounds below, so its
    // values are incomplete and must not be acted on.
    bool EvaluationLimitHit() const { return limitHit_; }

    // ---- Frame record ----
    // Appends this frame's record to out. With resumeAfter the record stands
    // at the next statement: the statement running now (a save the frame
    // makes of itself) is done once the record is read back.
    void Serialize(classMemoryStream& out, bool resumeAfter = false) const;
    // Whether the bytes are one record as Serialize lays it out: its parts
    // in order and whole, the compiled image and both variable lists
    // included. A record that is not would resume some other script.
    static bool IsRecordWhole(const u8* bytes, u64 size);
    // Whether pc, next pc and the pending target lie inside the frame's
    // statements (the end included), as in any frame that was saved.
    bool IsPositionInside() const;
    // Fills this (new, empty) frame from one record; false when the record is
    // too short to be one.
    bool Deserialize(const u8* bytes, u64 size);

    // A harness that runs untrusted scripts may lower the per-statement byte
    // bound (never above the default); 0 restores the default.
    static void SetEvaluatedBytesPerStatement(u64 bytes);

  private:
    // Bounds on what one statement may make the evaluator do, so that a
    // damaged image whose lists and subscripts refer to themselves, or that
    // copies one long text into every element of nested lists, ends soon and
    // in bounded memory. Real scripts stay far below them: a text of 64 MiB
    // still reads twice in one statement ("s = s + s").
    static constexpr int kMaxEvaluationDepth = 32;
    static constexpr u32 kMaxEvaluationsPerStatement = 1u << 14;
    static constexpr u64 kMaxEvaluatedBytesPerStatement = u64{1} << 28;

    void StartBudget();
    // Takes bytes from the statement's budget; false (and the budget spent)
    // when they are not there.
    bool Spend(u64 bytes);
    void Evaluate(classScriptValue& out, const classScriptRecord* record, int depth);
    void EvaluateList(std::vector<classScriptValue>& values, int64 k, int depth);
    int64 ElementIndex(const classScriptRecord& record, int depth);
    bool Access(const classScriptRecord& record, int depth, classScriptValue* readInto,
                const classScriptValue* storeFrom);

    std::shared_ptr<const classLoadedScript> script_;
    u32 evaluationBudget_ = 0;
    u64 byteBudget_ = 0;
    bool limitHit_ = false;
};
