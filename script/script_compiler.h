#pragma once
// Turns the UTF-8 text of one ".qvs" script into its compiled tables. The
// passes run in a fixed order: the line pass (comments and line breaks become
// spaces), the statement parser (statements, argument binding, declarations,
// assignments and expressions), the label pass and the block pass.
//
// The parser reproduces the statement tables of the scripts' original
// compiler exactly, odd corners included, because the already-read marks of
// a player are stored per statement number. On any input it ends, never
// reads outside its text and recurses only to a fixed depth.
//
// A compiler object is used by one thread for one script; several may run at
// once on different threads. The run-wide declared-name lists are the only
// shared state it touches (see declared_names.h).

#include <array>
#include <forward_list>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/report_once.h"
#include "foundation/types.h"
#include "script/compiler_chains.h"
#include "script/declared_names.h"
#include "script/script_record.h"

class classScriptCompiler {
  public:
    classScriptCompiler() = default;
    explicit classScriptCompiler(std::string scriptName) : scriptName_(std::move(scriptName)) {}

    // The whole compile. The text is taken by value because the line pass
    // rewrites it. Always true: a script that was read is always loaded.
    bool Compile(std::string text);

    // The line pass: comments and every kind of blank become spaces, byte for
    // byte, so positions keep their meaning; a string literal still open at
    // the end of its line is reported and loses its opening quote.
    bool PrepareLines(std::string& text);
    void ParseStatements(std::string_view text);
    void FixLabels();
    // The statement of the "}" that closes the "{" at statement i, or -1.
    int32 FindBlockEnd(int32 i) const;
    void LinkBlocks();

    // ---- Statement parser pieces ----
    // A word runs up to the first delimiter byte; it may be empty.
    static std::string_view WordAt(std::string_view text, std::size_t position);
    static std::string_view CommandNameAt(std::string_view text, std::size_t position);
    // The bracketed group that starts (after spaces) at `start` with
    // `opener`, from `start` on, leading spaces included; closers missing at
    // the end of the text are appended. Empty when the opener is not there
    // or a closer has no opener inside the group.
    static std::string ScanGroup(std::string_view text, std::size_t start, char opener);
    // The same group as a view of the text plus the closers that had to be
    // appended (usually none), so the common case copies nothing. They are
    // counted, not spelled: a text of many open groups would otherwise spell
    // its depth once per group.
    struct ScannedGroup {
        std::string_view text;
        bool quote = false;  // a '"', then the ")", "]" and "}" in that order
        std::size_t parens = 0;
        std::size_t brackets = 0;
        std::size_t braces = 0;
        bool Complete() const { return !quote && parens == 0 && brackets == 0 && braces == 0; }
        std::size_t size() const { return text.size() + (quote ? 1 : 0) + parens + brackets + braces; }
        bool empty() const { return size() == 0; }
        std::string Whole() const {
            std::string whole(text);
            if (quote) whole += '"';
            whole.append(parens, ')');
            whole.append(brackets, ']');
            whole.append(braces, '}');
            return whole;
        }
    };
    static ScannedGroup ScanGroupParts(std::string_view text, std::size_t start, char opener);
    // Part `index` of the text split at top-level separators, trimmed; with
    // `count` the number of parts (0 for blank text).
    static std::string_view SplitTopLevel(std::string_view text, char separator, std::size_t index,
                                          std::size_t* count = nullptr);
    // Every part at once, for callers that want them all.
    static std::vector<std::string_view> SplitAllTopLevel(std::string_view text, char separator);
    int32 CompileCommand(std::string_view name, std::string_view group);
    // The argument texts of a group, bound to the command's parameters.
    std::vector<std::string> ParseArguments(std::string_view name, std::string_view group);
    static bool BindArguments(std::string_view name, std::vector<std::string>& parts);
    // Index of the parameter the argument text names, with its value text;
    // a parameter written alone has the value "1". -1 when none matches.
    static int32 MatchParameter(std::string_view text, const char* const* names, int32 nameCount,
                                std::string& value);
    static int32 MatchParameter(std::string_view text, const char* const* names, int32 nameCount,
                                std::string_view& value);

    // ---- Declarations and expressions ----
    void Declare(std::string_view group);
    // At a word naming a declared variable; returns how far the parser moves.
    std::size_t CompileAssignment(std::string_view text, std::size_t position, std::string_view word);
    std::size_t SplitExpressionTokens(std::string_view text, std::size_t start,
                                      std::vector<std::string>& tokens);
    std::vector<int32> CompileExpressionTokens(std::string_view expression);
    int32 CompileExpression(std::string_view expression);

    static std::string_view RealLiteralAt(std::string_view text, std::size_t position);
    static std::string_view IntegerLiteralAt(std::string_view text, std::size_t position);
    static std::string StringLiteralAt(std::string_view text, std::size_t position);
    static std::string_view LabelWordAt(std::string_view text, std::size_t position);
    static std::string_view BinaryOperatorAt(std::string_view text, std::size_t position);
    static std::string_view UnaryOperatorAt(std::string_view text, std::size_t position);

    // ---- Results ----
    const classScriptTables& Tables() const { return tables_; }
    classScriptTables& Tables() { return tables_; }
    classScriptTables TakeTables() { return std::move(tables_); }
    const std::string& ScriptName() const { return scriptName_; }
    void SetScriptName(std::string name) { scriptName_ = std::move(name); }
    const classDeclaredNames& LocalNames() const { return localNames_; }

    // Nesting of expressions inside arguments, subscripts and paths beyond
    // which a token compiles to nothing. Far above what any script writes,
    // far below what would exhaust a thread's stack.
    static constexpr int kMaxExpressionDepth = 200;

    // When what splitting expressions finds is kept (see compiler_chains.h);
    // the tables are the same every way, which the tests check.
    void SetChainMemory(compilerchains::Memory memory) { chainMemory_ = memory; }

  private:
    DeclaredScope ScopeOf(std::string_view name) const { return FindDeclaredScope(localNames_, name); }
    // Says what the compile passes over, with the line the statement being
    // parsed begins on; one mistake is said once, so a line that has had its
    // report gets no second one.
    void Report(const std::string& what);
    int32 LineAt(std::size_t position, std::size_t& nextBreak) const;
    // A letter, "_" or any non-ASCII byte first: a word a writer meant as a
    // name, not a number or a stray operator.
    static bool StartsLikeAName(std::string_view word);
    // A word at the start of a statement that is no command, declared name
    // or label. Said once; returns where the next report may come from, so
    // the arguments of a misspelt command are not reported word by word.
    std::size_t ReportUnknownStatement(std::string_view text, std::size_t position, std::string_view word);
    // A name-like word no declaration made, where an expression wanted an
    // operand: the expression ends before it.
    void ReportUndeclaredOperand(std::string_view word);
    // The expression ends at `position` because no token starts there: says
    // why, when that is a slip seen for sure (an undeclared name, a second
    // "=", an exponent the number before it did not take).
    void ReportExpressionEnd(std::string_view text, std::size_t position, bool operandExpected);
    // An expression whose first token is a text is joined as text, so a
    // comparison in it compares nothing.
    void ReportTextComparison(const std::vector<std::string_view>& tokens, std::size_t first);
    int32 CompileToken(std::string_view token);
    // Tokens are views of the expression text; the few that differ from it
    // (a group or literal closed at the end, a joined path) live in `owned`.
    struct TokenList {
        std::vector<std::string_view> tokens;
        std::forward_list<std::string> owned;
        void AddOwned(std::string token) {
            owned.push_front(std::move(token));
            tokens.push_back(owned.front());
        }
    };
    std::size_t SplitTokens(std::string_view text, std::size_t start, TokenList& list);
    // One token of an expression, read at a position its spaces are behind.
    struct TokenStep {
        ScannedGroup token;           // its text, and closers when it ran past the end
        bool operandNext = false;     // what the tokenizer expects after it
        bool path = false;            // a ":" between operands
        std::string_view undeclared;  // a word looked up as a name and not found
    };
    // False when no token starts there: the expression ends before it.
    bool TokenAt(std::string_view text, std::size_t pos, bool operandExpected, TokenStep& step) const;
    // True when the expression starting with the name at `position` is no
    // assignment, found from what is known of it; it then says what
    // splitting it would have said. False when it must be split.
    bool KnownNoAssignment(std::string_view text, std::size_t position);
    // The expression at `position` was split, `walked` bytes long, and found
    // to be no assignment: what it tells of every name along it is kept, if
    // nodes are kept by now.
    void LearnNoAssignment(std::string_view text, std::size_t position, std::size_t walked);
    // Reads the tokens from the node of `position` on to the first node
    // already resolved, or the end, and resolves each.
    void ResolveChain(std::string_view text, std::size_t position);

  public:
    // True when joining these tokens with spaces and splitting again would
    // not give them back (see CompileAssignment).
    static bool NeedsResplit(const std::vector<std::string_view>& tokens);

  private:
    // The argument texts of a group as views of `storage` or of the group.
    static void SplitArguments(std::string_view group, std::string& storage,
                               std::vector<std::string_view>& parts);
    static void BindArgumentViews(std::string_view name, std::vector<std::string_view>& parts);
    // A "name = value" the command has no parameter of is dropped (or read
    // as a comparison by position): said, with the command's name.
    void ReportUnknownArguments(std::string_view name, const std::vector<std::string_view>& parts);
    // A jump's or call's Label written as a bare name, without its "#".
    void ReportLabelWithoutSign(std::string_view name, const std::vector<std::string_view>& parts);

    classScriptTables tables_;
    std::string scriptName_;
    // Byte positions of the line breaks the line pass counted, in order.
    std::vector<std::size_t> lineBreaks_;
    int32 currentLine_ = 0;
    int32 reportedLine_ = 0;
    classDeclaredNames localNames_;  // guarded by g_declaredNamesLock, like the run-wide lists
    int expressionDepth_ = 0;
    compilerchains::Memory chainMemory_ = compilerchains::Memory::OnceWalkedFar;
    compilerchains::ChainMemo chains_;  // of the text ParseStatements is parsing
    std::vector<std::size_t> walkedNodes_;
    // The record of each operator text once made (-1 before), indexed like
    // the operator list plus "(" and ")".
    // Unset from the start: a compiler may be asked for an expression before
    // it has parsed any statements.
    std::array<int32, 22> operatorRecords_ = UnsetOperatorRecords();
    static constexpr std::array<int32, 22> UnsetOperatorRecords() {
        std::array<int32, 22> records{};
        records.fill(-1);
        return records;
    }
};
