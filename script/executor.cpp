// The statement executor: walks a context's frames one statement at a time,
// calls commands with their evaluated arguments, hands command results to
// the variable that waits for them, marks statements read and decides for
// each statement whether it is being skipped.
#include <iterator>
#include <mutex>

#include "commands/command_table.h"
#include "foundation/report_once.h"
#include "script/script_context.h"
#include "script/script_host.h"

namespace {

bool IsTargetType(u32 type) {
    return type >= ScriptRecordTmp && type <= ScriptRecordSystem;
}

// The pending target is saved with the frame by the render thread (a save
// asked for by a Function script), so it changes under the frame lock.
void ResetPendingTarget(classScriptFrame& frame) {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    frame.pendingTarget.Reset();
}

int32 AssignCommandIndex() {
    static const int32 index = FindBuiltinCommand("=");
    return index;
}

}  // namespace

bool IsStatementRead(const classScriptFrame* frame) {
    if (frame == nullptr) return false;
    if (!GetScriptHost().IsSkipAlreadyOnly()) return true;
    return frame->IsAlreadyReadAt(frame->pc);
}

bool classScriptContext::IsSkipping() const {
    const classScriptHost& host = GetScriptHost();
    if (host.IsCtrlSkip()) return true;
    return host.IsSkipPlaying() && IsStatementRead(currentFrame_);
}

void classScriptContext::ExecuteStatement(classScriptFrame& frame) {
    classScriptHost& host = GetScriptHost();
    bool inInterrupt = false;
    const bool isMain = host.GetMainScriptContext() == this;
    int32 pc = 0;
    {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        currentFrame_ = &frame;
        if (isMain && !frames.empty())
            inInterrupt = &frames.back() != currentFrame_ || frames.back().interruptFlag != 0;
        // Once the frame is current, another thread may mark its statement
        // to run again; the next statement is fixed before that can happen,
        // so the mark is never overwritten.
        pc = frame.pc;
        frame.nextPc = frame.NextIndex(pc);
    }
    // A save made inside an interrupt stores the game as it stood when the
    // interrupt began, so the main script takes that snapshot on the way in.
    if (isMain) {
        if (!inInterrupt) {
            g_autoSnapshotTaken.store(false);
        } else if (!g_autoSnapshotTaken.load()) {
            // A snapshot that was not written is not one a save may copy.
            if (host.TakeInterruptSnapshot()) g_autoSnapshotTaken.store(true);
        }
    }

    // What the statement sets going, here or on the render thread, is
    // reported with its place in the script.
    const classScopedScriptOrigin origin(frame.scriptName, frame.Tables().GetStatementLine(pc), pc);

    skipFlag.store(IsSkipping(), std::memory_order_relaxed);

    if (const classScriptRecord* record = frame.GetStatementRecord(pc)) {
        if (record->type == ScriptRecordCommand) {
            const int32 index = frame.GetCommandIndex(pc);
            // Arguments are evaluated even for a name that is no command: a
            // read of a variable creates it either way.
            const int32 count = frame.BuildArguments(arguments, record->b);
            if (frame.EvaluationLimitHit()) {
                // Acting on values cut short would store or show them as if
                // they were whole; the statement is left out instead. When it
                // computes an argument for the command after it, that command
                // still runs, with the argument at its default.
                const classScriptRecord* target =
                    frame.pendingTarget.IsSet() ? frame.GetStatementRecord(frame.pendingTarget.Get()) : nullptr;
                if (target != nullptr && target->type == ScriptRecordTmp) {
                    // An earlier, shorter value left in the temporary would
                    // be passed on as if it were this one.
                    frame.StoreVariable(*target, classScriptValue{});
                    ReportOnce(
                        "an argument's value is beyond what one statement may evaluate; the argument takes its "
                        "default and the command runs");
                } else {
                    ReportOnce(
                        "the values of the statement are beyond what one statement may evaluate; it was not run "
                        "and its variable keeps its value");
                }
                ResetPendingTarget(frame);
            } else if (index > 0) {
                frame.result.Clear();
                if (dispatcher_ != nullptr)
                    dispatcher_(dispatcherUser_, index, *this, arguments, count, frame.result);
                else
                    CallBuiltinCommand(index, *this, arguments, count, frame.result);
                if (frame.pendingTarget.IsSet() && !frame.result.IsEmpty()) {
                    const classScriptRecord* target = frame.GetStatementRecord(frame.pendingTarget.Get());
                    if (target != nullptr && IsTargetType(target->type))
                        frame.StoreVariable(*target, frame.result);
                    ResetPendingTarget(frame);
                }
            }
            // Only the argument-less "=" a command call inside an expression
            // compiles to keeps the target waiting for the command after it.
            // An "=" whose expression came out empty must not leave its
            // variable to catch some later command's result.
            if (index != AssignCommandIndex() || count > 0) ResetPendingTarget(frame);
        } else if (IsTargetType(record->type)) {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            frame.pendingTarget.Set(static_cast<u32>(pc));
        } else {
            ResetPendingTarget(frame);
        }
    }

    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    // A statement that runs itself again is marked only once it moves on.
    if (frame.pc != frame.nextPc) frame.MarkAlreadyRead(frame.pc);
    frame.RestorePc();
    currentFrame_ = nullptr;
}

int classScriptContext::Run(const std::string* scriptName) {
    if (scriptName != nullptr) {
        classScriptFrame loaded(*scriptName);
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        frames.push_back(std::move(loaded));
    }
    const classScriptHost& host = GetScriptHost();
    // The flag alone is not enough for the Function threads: the start-up
    // thread clears it as soon as it takes the restart up, possibly before
    // this loop looked.
    const u32 generation = host.GetRestartGeneration();
    for (;;) {
        classScriptFrame* frame = nullptr;
        {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            if (frames.empty()) break;
            frame = &frames.back();
        }
        if (!frame->IsFinished()) ExecuteStatement(*frame);
        {
            std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
            // The statement may have pushed frames above this one; it is
            // found from the top, where it almost always is.
            if (frame->IsFinished()) {
                for (auto it = frames.end(); it != frames.begin();) {
                    --it;
                    if (&*it == frame) {
                        frames.erase(it);
                        break;
                    }
                }
            }
        }
        if (host.IsQuitting() || host.IsQuitRequested() || host.IsRestartRequested()) break;
        if (host.GetRestartGeneration() != generation) break;
    }
    return 0;
}
