#pragma once
// The execution state of one script thread: a stack of frames of which the
// newest runs, the frames waiting to replace them after a play-data load, the
// argument vector handed to commands, and the statement executor that walks
// the frames (executor.cpp).
//
// Lock order: g_scriptFrameLock comes after the application lock and before
// the queue, device and sound locks; the variable store lock is a leaf below
// all of them. Scripts are loaded and compiled before the lock is taken.

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/memory_stream.h"
#include "foundation/types.h"
#include "script/script_frame.h"
#include "script/script_value.h"

class classInputWaiterHolder;

class classScriptContext;

// g_scriptFrameLock (script_frame.h) guards the frame lists of every
// context: pushes, erases, the swap of loaded frames, and each context's
// current-frame pointer as other threads see it (the interrupt test, the
// covered test). Recursive because a push made by a handler may run inside
// another frame operation.

// How a context calls the command of a statement. Tests put a recording
// table here; null calls the built-in table.
using ScriptCommandDispatcher = void (*)(void* user, int32 index, classScriptContext& context,
                                         const std::vector<classScriptValue>& arguments, int32 count,
                                         classScriptValue& result);

// Who a frame is pushed for. The game's own calls stop at the depth limit;
// the frames the engine pushes for itself (the script run after a load, the
// backlog opened from a key wait) may go a few beyond it, so a game that has
// reached its limit still gets them.
enum class FrameOwner { Game, Engine };
// A call runs one deeper than its caller; a jump replaces the frame that
// jumps, at its depth.
enum class FramePush { Call, Jump };

class classScriptContext {
  public:
    // Deep enough for any script that calls itself on purpose; a push beyond
    // it is refused, so a runaway self-call ends instead of eating memory.
    static constexpr size_t kMaxFrameDepth = 1000;
    // How far beyond that the engine's own frames may go.
    static constexpr size_t kEngineFrameAllowance = 8;
    static constexpr size_t kInitialArgumentCount = 32;

    classScriptContext();
    ~classScriptContext();
    classScriptContext(const classScriptContext&) = delete;
    classScriptContext& operator=(const classScriptContext&) = delete;

    // ---- Fields ----
    // 0 normally; 1 while a "Select" runs its block of "Case" statements.
    int32 selectPhase = 0;
    // Skip state of the statement being executed; written by the thread that
    // runs the context, read by waits and other threads' screens.
    std::atomic<bool> skipFlag{false};
    // The stack; the back is the newest and the one that runs. A list, so a
    // frame keeps its address while others are pushed and erased.
    std::list<classScriptFrame> frames;
    // Frames read from play data, waiting to replace the stack.
    std::list<classScriptFrame> loadedFrames;
    // The holder of the waiter of the thread that runs this context; set by
    // that thread.
    classInputWaiterHolder* inputWaiter = nullptr;
    // Arguments handed to a command: grown, never shrunk, so entries past a
    // command's count are stale.
    std::vector<classScriptValue> arguments;

    // ---- Frames ----
    // The frame whose statement is executing; null between statements.
    classScriptFrame* GetCurrentFrame() const { return currentFrame_; }
    // Appends a copy of frame, reset, inheriting the interrupt flag and a
    // non-zero reserved flag of the current frame. Null when refused.
    classScriptFrame* PushFrame(const classScriptFrame& frame);
    // Loads the script (outside the frame lock), then pushes it as PushFrame
    // does. Null when refused.
    classScriptFrame* PushScript(const std::string& name);
    // A subroutine call inside a script: a copy of frame (locals included)
    // started at label; a missing label sends the copy to its end.
    classScriptFrame* CallLabel(const classScriptFrame& frame, std::string_view label);
    // Pushes a frame that is already loaded, as PushFrame does but without
    // the reset. Null when refused: calls are as deep as they may go.
    classScriptFrame* PushLoadedFrame(classScriptFrame&& frame, FramePush push = FramePush::Call,
                                      FrameOwner owner = FrameOwner::Game);
    // A frame was pushed over the statement executing; between statements,
    // an interrupt is waiting on top.
    bool IsCurrentFrameCovered() const;
    // The statement executing runs again once the frames above its frame
    // have ended: a wait that gave up its wait for an interrupt.
    void RepeatCurrentStatement();
    // An interrupt is on top, or a frame was pushed over the statement
    // executing.
    bool IsInInterrupt() const;
    void PopAllFrames();

    // ---- Play data ----
    void SerializeFrames(classMemoryStream& out) const;
    // While the script saves the game itself, the frame running the save is
    // stored at its next statement: a load goes on after the save rather
    // than making it again. Saves made for the script (a choice's, the
    // interrupt snapshot) or by another thread store the frame where it
    // stands, so its statement runs again.
    void SetSavingItself(bool saving);
    // Reads the frame records of a play-data section into `out`, in order. A
    // record shorter than a frame's header or longer than what remains ends
    // the walk, keeping the frames before it. True when the records fill the
    // section exactly and one of them has a statement left to run: anything
    // less would resume no game.
    static bool ReadFrameRecords(const u8* bytes, u64 size, std::list<classScriptFrame>& out);
    // Replaces the loaded frames with the frames of the records.
    void DeserializeFrames(const u8* bytes, u64 size);
    void SetLoadedFrames(std::list<classScriptFrame>&& loaded);
    // Replaces the stack with the loaded frames when one of them can run
    // (else they are dropped and the stack stays), so a restart never leaves
    // this context with nothing to run. False when nothing was swapped in.
    bool SwapInLoadedFrames();

    void Reset();

    // ---- Executing (executor.cpp) ----
    void ExecuteStatement(classScriptFrame& frame);
    // Runs until the frames are done or the program asks every script to
    // stop. With a name, a frame for that script is appended first.
    int Run(const std::string* scriptName = nullptr);
    bool IsSkipping() const;

    void SetCommandDispatcher(ScriptCommandDispatcher dispatcher, void* user) {
        dispatcher_ = dispatcher;
        dispatcherUser_ = user;
    }

  private:
    classScriptFrame* currentFrame_ = nullptr;  // written under g_scriptFrameLock
    const classScriptFrame* savingFrame_ = nullptr;  // the same
    ScriptCommandDispatcher dispatcher_ = nullptr;
    void* dispatcherUser_ = nullptr;
};

// Pushes the script started at label; a missing label ends the new frame at
// once, so the caller goes on after its call.
classScriptFrame* BeginScriptCall(classScriptContext& context, const std::string& name,
                                  std::string_view label, FrameOwner owner = FrameOwner::Game);
// Pushes the script started at label (or at its first statement when the
// label is missing) and ends the current frame. True when the label was found.
bool BeginScriptJump(classScriptContext& context, const std::string& name, std::string_view label);
// Pushes the script as an interrupt. The statement the context is executing
// is left as it is: one that runs to its end (a call, a fade, a save) is
// followed by the interrupt and then by the statement after it, and only a
// wait that gives up its wait for the interrupt marks itself to run again
// (RepeatCurrentStatement). Null when refused.
classScriptFrame* BeginScriptInterrupt(classScriptContext& context, const std::string& name,
                                       FrameOwner owner = FrameOwner::Game);

// Whether statement pc of the frame counts as read for skipping.
bool IsStatementRead(const classScriptFrame* frame);
