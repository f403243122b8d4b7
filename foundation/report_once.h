#pragma once
// What goes wrong with a game's own files and scripts is said on stderr, once
// for the run: a label, script, picture, sound or movie that is not there or
// cannot be read, a damaged archive, a misspelt command, a bound a runaway
// statement met. The engine goes on as it always has (a missing label still
// ends its frame); only the silence ends. Each line names the file and, where
// a statement asked for it, the script and its line as the writer wrote them:
//
//   velk2: Start.qvs, line 12: no label "#Nowhere" in "Start.qvs"
//
// A script known only as a compiled image has no lines; its statement number
// stands in their place. The same line said again (a missing picture drawn in
// every frame, a statement in a loop) is left out.
//
// The origin travels with the work a statement starts: the executor marks the
// statement in progress on its thread, a command record takes the mark with
// it to the render thread, and what the record makes there (a texture, a
// sound) keeps it for the moment its file is read, which may come much later.

#include <string>
#include <string_view>

#include "foundation/types.h"

// Where a statement stands: its script, and its line (from 1) when the
// script's lines are known. A default origin is none.
struct classScriptOrigin {
    // Kept for the whole run (see ScriptOriginOf), so an origin may be copied
    // anywhere and outlive every frame.
    const std::string* script = nullptr;
    int32 line = 0;
    int32 statement = -1;

    bool IsKnown() const { return script != nullptr; }
};

// An origin whose script name lives for the run.
classScriptOrigin ScriptOriginOf(std::string_view script, int32 line, int32 statement);

// Marks the statement whose work the thread does, until the end of the scope;
// scopes nest and restore what was marked before.
class classScopedScriptOrigin {
  public:
    // `script` must outlive the scope; it is kept for the run only if a
    // report or a record takes it.
    classScopedScriptOrigin(const std::string& script, int32 line, int32 statement);
    explicit classScopedScriptOrigin(const classScriptOrigin& origin);
    ~classScopedScriptOrigin();
    classScopedScriptOrigin(const classScopedScriptOrigin&) = delete;
    classScopedScriptOrigin& operator=(const classScopedScriptOrigin&) = delete;

  private:
    const std::string* script_;
    int32 line_;
    int32 statement_;
    bool kept_;
};

// The statement marked on this thread, or none.
classScriptOrigin CurrentScriptOrigin();

// The line ReportOnce writes, without its line break.
std::string FormatReport(const classScriptOrigin& origin, std::string_view what);

// Writes the line to stderr unless it was written before in this run. True
// when it was written.
bool ReportOnce(const classScriptOrigin& origin, std::string_view what);
// The same, from the statement marked on this thread.
bool ReportOnce(std::string_view what);

// A box the player has answered is not shown again for the same failure in
// this run: a side script started again every 0.1 s, asking for the same
// missing script, would otherwise open a new box after every answer and leave
// the player nothing else to do. True when the box of this caption and text
// is to be shown (its first time). Otherwise the repeat is counted, and the
// first repeat and then at most one line a minute say on stderr how many
// there were, naming the box by its caption and `subject` (the file, quoted).
// A box the player asked for again (Retry) is shown without asking here.
bool TakeBoxTurn(std::string_view caption, std::string_view text, std::string_view subject);

// Forgets every line written and every box shown, so a test starts from none.
void ForgetReportsForTesting();

// A file name in a report, as the script wrote it, quoted.
std::string QuotedName(std::string_view name);
