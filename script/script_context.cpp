#include "script/script_context.h"

#include <algorithm>
#include <utility>

#include "foundation/report_once.h"
#include "script/script_host.h"

std::recursive_mutex g_scriptFrameLock;

namespace {

constexpr u64 kMinFrameRecordWalkSize = 57;

bool HoldsFrameToRun(const std::list<classScriptFrame>& frames) {
    return std::any_of(frames.begin(), frames.end(), [](const classScriptFrame& frame) { return !frame.IsFinished(); });
}

// A label asked for that its script lacks is said once, with the statement
// that asked. A script that could not be loaded has no labels to look for;
// its loader has said why.
void ReportMissingLabel(const classScriptFrame& frame, std::string_view label, const char* consequence) {
    if (label.empty() || frame.GetStatementCount() == 0 || frame.FindLabel(label) >= 0) return;
    ReportOnce("no label " + QuotedName(label) + " in " + QuotedName(frame.scriptName) + consequence);
}

u64 Get64(const u8* at) {
    u64 value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

}  // namespace

classScriptContext::classScriptContext() {
    Reset();
}

classScriptContext::~classScriptContext() {
    Reset();
}

classScriptFrame* classScriptContext::PushLoadedFrame(classScriptFrame&& frame, FramePush push, FrameOwner owner) {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    const size_t limit =
        owner == FrameOwner::Engine ? kMaxFrameDepth + kEngineFrameAllowance : kMaxFrameDepth;
    // A frame runs as deep as the stack under it or the calls that led to
    // it, whichever is more; a jump takes the place of the frame that jumps.
    const size_t callerDepth = currentFrame_ != nullptr ? currentFrame_->callDepth : 0;
    const size_t depth = std::max(frames.size(), callerDepth) + (push == FramePush::Jump ? 0 : 1);
    if (frames.size() >= limit || depth > limit) {
        ReportOnce("calls are nested as deep as they may go; this one was not made");
        return nullptr;
    }
    frame.callDepth = depth;
    // Frames started from inside an interrupt belong to it: they are left out
    // of saves too.
    if (currentFrame_ != nullptr) {
        if (currentFrame_->interruptFlag != 0) frame.interruptFlag = 1;
        if (currentFrame_->reservedFlag != 0) frame.reservedFlag = currentFrame_->reservedFlag;
    }
    frames.push_back(std::move(frame));
    return &frames.back();
}

classScriptFrame* classScriptContext::PushFrame(const classScriptFrame& frame) {
    classScriptFrame copy = frame;
    copy.Reset();
    return PushLoadedFrame(std::move(copy));
}

classScriptFrame* classScriptContext::PushScript(const std::string& name) {
    // Reading and compiling may show a Retry/Cancel box; other threads must
    // not wait on the frame lock meanwhile.
    classScriptFrame loaded(name);
    return PushLoadedFrame(std::move(loaded));
}

classScriptFrame* classScriptContext::CallLabel(const classScriptFrame& frame, std::string_view label) {
    classScriptFrame copy = frame;
    copy.Reset();
    ReportMissingLabel(frame, label, "; the call returns at once");
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    classScriptFrame* pushed = PushLoadedFrame(std::move(copy));
    if (pushed != nullptr && !pushed->JumpToLabel(label)) pushed->SeekEnd();
    return pushed;
}

bool classScriptContext::IsCurrentFrameCovered() const {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    if (frames.empty()) return false;
    // Between two statements nothing executes that a frame could cover: only
    // an interrupt waiting on top counts. Read from another thread, the main
    // script running statement after statement would otherwise look covered
    // half the time, and a side script's settings screen would give way to
    // an interrupt that is not there.
    if (currentFrame_ == nullptr) return frames.back().interruptFlag != 0;
    return &frames.back() != currentFrame_;
}

void classScriptContext::RepeatCurrentStatement() {
    // The render thread may be saving the frame meanwhile.
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    if (currentFrame_ != nullptr) currentFrame_->SetNextPcToPc();
}

bool classScriptContext::IsInInterrupt() const {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    if (frames.empty()) return false;
    // Between two statements the main script is in no interrupt unless one
    // is on top: the side scripts' choices, which stand aside for a menu,
    // must not drop the clicks and keys that come while it runs statements.
    if (frames.back().interruptFlag != 0) return true;
    return currentFrame_ != nullptr && &frames.back() != currentFrame_;
}

void classScriptContext::PopAllFrames() {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    for (classScriptFrame& frame : frames) frame.SeekEnd();
}

void classScriptContext::SerializeFrames(classMemoryStream& out) const {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    for (const classScriptFrame& frame : frames)
        if (frame.interruptFlag == 0) frame.Serialize(out, &frame == savingFrame_ && &frame == currentFrame_);
}

void classScriptContext::SetSavingItself(bool saving) {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    savingFrame_ = saving ? currentFrame_ : nullptr;
}

bool classScriptContext::ReadFrameRecords(const u8* bytes, u64 size, std::list<classScriptFrame>& out) {
    out.clear();
    u64 position = 0;
    bool whole = true;
    while (bytes != nullptr && position < size && size - position >= 8) {
        const u64 remaining = size - position;
        const u64 recordSize = Get64(bytes + position);
        if (recordSize < kMinFrameRecordWalkSize || recordSize > remaining) break;
        out.emplace_back();
        whole = classScriptFrame::IsRecordWhole(bytes + position, recordSize) &&
                out.back().Deserialize(bytes + position, recordSize) && out.back().IsPositionInside() && whole;
        position += recordSize;
    }
    return whole && position == size && HoldsFrameToRun(out);
}

void classScriptContext::DeserializeFrames(const u8* bytes, u64 size) {
    std::list<classScriptFrame> read;
    ReadFrameRecords(bytes, size, read);
    SetLoadedFrames(std::move(read));
}

void classScriptContext::SetLoadedFrames(std::list<classScriptFrame>&& loaded) {
    // A second load before the first was swapped in replaces it; stacking the
    // frames of two saves would resume neither game.
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    loadedFrames = std::move(loaded);
}

bool classScriptContext::SwapInLoadedFrames() {
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    if (!HoldsFrameToRun(loadedFrames)) {
        loadedFrames.clear();
        return false;
    }
    frames = std::move(loadedFrames);
    loadedFrames.clear();
    currentFrame_ = nullptr;
    return true;
}

void classScriptContext::Reset() {
    {
        std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
        frames.clear();
        currentFrame_ = nullptr;
        savingFrame_ = nullptr;
    }
    arguments.clear();
    arguments.resize(kInitialArgumentCount);
    selectPhase = 0;
    // The snapshot mark belongs to the main script; a Function thread making
    // or dropping its own context must not clear it.
    if (GetScriptHost().GetMainScriptContext() == this) g_autoSnapshotTaken.store(false);
}

classScriptFrame* BeginScriptCall(classScriptContext& context, const std::string& name,
                                  std::string_view label, FrameOwner owner) {
    classScriptFrame loaded(name);
    ReportMissingLabel(loaded, label, "; the call returns at once");
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    classScriptFrame* pushed = context.PushLoadedFrame(std::move(loaded), FramePush::Call, owner);
    if (pushed != nullptr && !pushed->JumpToLabel(label)) pushed->SeekEnd();
    return pushed;
}

bool BeginScriptJump(classScriptContext& context, const std::string& name, std::string_view label) {
    classScriptFrame loaded(name);
    ReportMissingLabel(loaded, label, "; the script runs from its first statement");
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    classScriptFrame* pushed = context.PushLoadedFrame(std::move(loaded), FramePush::Jump);
    if (pushed == nullptr) return false;
    const bool found = pushed->JumpToLabel(label);
    if (classScriptFrame* current = context.GetCurrentFrame()) current->SeekEnd();
    return found;
}

classScriptFrame* BeginScriptInterrupt(classScriptContext& context, const std::string& name,
                                       FrameOwner owner) {
    classScriptFrame loaded(name);
    std::lock_guard<std::recursive_mutex> hold(g_scriptFrameLock);
    classScriptFrame* pushed = context.PushLoadedFrame(std::move(loaded), FramePush::Call, owner);
    if (pushed != nullptr) pushed->interruptFlag = 1;
    return pushed;
}
