// The statement parser: statement forms, bracketed groups, argument splitting
// and the binding of named arguments to a command's parameter positions.

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "commands/command_table.h"
#include "foundation/text_encoding.h"
#include "script/compiler_group_walk.h"
#include "script/script_compiler.h"

namespace {

// The bytes that end a word. Comma, dot, "#", "~", digits, letters and every
// non-ASCII byte belong to words.
constexpr std::array<bool, 256> MakeDelimiters() {
    std::array<bool, 256> table{};
    for (char c : std::string_view(" +-*=/()\"?^|&!%[]><;:{}")) table[static_cast<u8>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kDelimiter = MakeDelimiters();

using compilergroups::BracketDepths;
using compilergroups::GroupEnd;
using compilergroups::kGroupByte;
using compilergroups::StepAt;

// The text of the statements being parsed on this thread, and the index of
// its group scans, made once scans of it have walked far (see
// compiler_group_walk.h).
struct ParsedText {
    std::string_view text;
    std::unique_ptr<compilergroups::GroupScanIndex> index;
    std::size_t walked = 0;  // by scans before the index was made
};
thread_local ParsedText* t_parsedText = nullptr;

// Scans that have walked this far over the parsed text make the index worth
// its own walks. Counting them all, not only the longest, keeps nested groups
// of middling length ("a[a[a[ ... ]]]" many times over) from costing the
// square of their length each.
bool WorthAnIndex(std::size_t walked, std::size_t textSize) {
    return walked >= 4096 && walked >= textSize * 2;
}

std::string_view TrimLeadingSpaces(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return text.substr(i);
}

}  // namespace

std::string_view classScriptCompiler::WordAt(std::string_view text, std::size_t position) {
    if (position >= text.size()) return {};
    std::size_t end = position;
    while (end < text.size() && !kDelimiter[static_cast<u8>(text[end])]) ++end;
    return text.substr(position, end - position);
}

std::string_view classScriptCompiler::CommandNameAt(std::string_view text, std::size_t position) {
    std::string_view word = WordAt(text, position);
    return FindBuiltinCommand(word) >= 1 ? word : std::string_view{};
}

namespace {

classScriptCompiler::ScannedGroup ToScannedGroup(std::string_view text, std::size_t start,
                                                 const GroupEnd& end) {
    classScriptCompiler::ScannedGroup result;
    if (end.kind == GroupEnd::Refused) return result;
    result.text = text.substr(start, end.end - start);
    if (end.kind == GroupEnd::Open) {
        // The text ended inside the group: close it as its writer meant to.
        result.quote = end.left.inString;
        result.parens = static_cast<std::size_t>(end.left.paren);
        result.brackets = static_cast<std::size_t>(end.left.bracket);
        result.braces = static_cast<std::size_t>(end.left.brace);
    }
    return result;
}

}  // namespace

classScriptCompiler::ScannedGroup classScriptCompiler::ScanGroupParts(std::string_view text,
                                                                      std::size_t start, char opener) {
    if (start >= text.size()) return ScannedGroup{};
    std::size_t q = start;
    while (q < text.size() && text[q] == ' ') ++q;
    if (opener != 0 && (q >= text.size() || text[q] != opener)) return ScannedGroup{};
    ParsedText* parsed = opener != 0 ? t_parsedText : nullptr;
    if (parsed != nullptr && (parsed->text.data() != text.data() || parsed->text.size() != text.size()))
        parsed = nullptr;
    GroupEnd end;
    if (parsed != nullptr && parsed->index != nullptr && parsed->index->Scan(q, end))
        return ToScannedGroup(text, start, end);
    const std::size_t walkStart = q;
    BracketDepths depths;
    end.kind = GroupEnd::Open;
    while (q < text.size()) {
        const char c = text[q];
        if (!kGroupByte[static_cast<u8>(c)]) {
            // Plain ASCII changes nothing; only the opener-less form stops on it.
            if (opener != 0) {
                ++q;
                continue;
            }
        }
        // A literal never spans a line; the line pass has already seen to
        // it, so a CR or LF in a string here means text that skipped it.
        if (depths.inString && (c == '\r' || c == '\n')) break;
        if (!depths.Follow(c)) {
            end.kind = GroupEnd::Refused;
            break;
        }
        if (depths.AtTopLevel()) {
            end.kind = GroupEnd::Closed;
            q += (c == ')' || c == ']' || c == '}') ? 1 : 0;
            break;
        }
        q += StepAt(text, q);
    }
    end.end = q;
    end.left = depths;
    if (parsed != nullptr && parsed->index == nullptr &&
        WorthAnIndex(parsed->walked += q - walkStart, text.size()))
        parsed->index = std::make_unique<compilergroups::GroupScanIndex>(text);
    return ToScannedGroup(text, start, end);
}

std::string classScriptCompiler::ScanGroup(std::string_view text, std::size_t start, char opener) {
    return ScanGroupParts(text, start, opener).Whole();
}

std::vector<std::string_view> classScriptCompiler::SplitAllTopLevel(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    if (text.find_first_not_of(' ') == std::string_view::npos) return parts;
    const auto trimmed = [&](std::size_t from, std::size_t to) {
        while (from < to && (text[from] == ' ' || text[from] == separator)) ++from;
        while (to > from && (text[to - 1] == ' ' || text[to - 1] == separator)) --to;
        return text.substr(from, to - from);
    };
    BracketDepths depths;
    std::size_t partStart = 0;
    std::size_t q = 0;
    while (q < text.size()) {
        const char c = text[q];
        if (c != separator && !kGroupByte[static_cast<u8>(c)]) {
            ++q;
            continue;
        }
        if (c == separator && depths.AtTopLevel()) {
            parts.push_back(trimmed(partStart, q));
            partStart = q + 1;
        } else if (!depths.Follow(c)) {
            break;
        }
        q += StepAt(text, q);
    }
    parts.push_back(trimmed(partStart, q));
    return parts;
}

std::string_view classScriptCompiler::SplitTopLevel(std::string_view text, char separator, std::size_t index,
                                                    std::size_t* count) {
    std::vector<std::string_view> parts = SplitAllTopLevel(text, separator);
    if (count != nullptr) *count = parts.size();
    return index < parts.size() ? parts[index] : std::string_view{};
}

int32 classScriptCompiler::MatchParameter(std::string_view text, const char* const* names, int32 nameCount,
                                          std::string_view& value) {
    for (int32 k = 0; k < nameCount; ++k) {
        const std::string_view name = names[k] != nullptr ? std::string_view(names[k]) : std::string_view{};
        if (name.empty() || text.substr(0, name.size()) != name) continue;
        const std::string_view rest = TrimLeadingSpaces(text.substr(name.size()));
        if (rest.empty()) {
            value = "1";  // a parameter written alone is a flag
            return k;
        }
        if (rest.front() == '=') {
            value = TrimLeadingSpaces(rest.substr(1));
            return k;
        }
    }
    return -1;
}

int32 classScriptCompiler::MatchParameter(std::string_view text, const char* const* names, int32 nameCount,
                                          std::string& value) {
    std::string_view view;
    const int32 k = MatchParameter(text, names, nameCount, view);
    if (k >= 0) value.assign(view.data(), view.size());
    return k;
}

void classScriptCompiler::BindArgumentViews(std::string_view name, std::vector<std::string_view>& parts) {
    const int32 index = FindBuiltinCommand(name);
    const int32 nameCount = GetBuiltinParamCount(index);
    if (nameCount == 0) return;
    const char* const* names = g_builtinCommandTable[index].paramNames;
    std::vector<std::string_view> bound;
    std::string_view value;
    for (std::string_view part : parts) {
        const int32 k = MatchParameter(part, names, nameCount, value);
        if (k < 0) continue;  // unknown names, and positional values beside named ones, are lost
        if (bound.size() < static_cast<std::size_t>(k) + 1) bound.resize(static_cast<std::size_t>(k) + 1);
        bound[static_cast<std::size_t>(k)] = value;
    }
    if (!bound.empty()) parts = std::move(bound);
}

bool classScriptCompiler::BindArguments(std::string_view name, std::vector<std::string>& parts) {
    if (name.empty()) return false;
    std::vector<std::string_view> views(parts.begin(), parts.end());
    BindArgumentViews(name, views);
    std::vector<std::string> bound(views.begin(), views.end());
    parts = std::move(bound);
    return true;
}

void classScriptCompiler::SplitArguments(std::string_view group, std::string& storage,
                                         std::vector<std::string_view>& parts) {
    parts.clear();
    const ScannedGroup scanned = ScanGroupParts(TrimLeadingSpaces(group), 0, '(');
    if (scanned.size() < 2) return;
    std::string_view whole = scanned.text;
    if (!scanned.Complete()) {
        storage = scanned.Whole();
        whole = storage;
    }
    parts = SplitAllTopLevel(whole.substr(1, whole.size() - 2), ',');
}

void classScriptCompiler::ReportUnknownArguments(std::string_view name, const std::vector<std::string_view>& parts) {
    const int32 index = FindBuiltinCommand(name);
    const int32 nameCount = GetBuiltinParamCount(index);
    if (nameCount == 0) return;
    const char* const* names = g_builtinCommandTable[index].paramNames;
    std::string_view value;
    bool anyNamed = false;
    for (std::string_view part : parts) anyNamed = anyNamed || MatchParameter(part, names, nameCount, value) >= 0;
    for (std::string_view part : parts) {
        const std::string_view word = WordAt(part, 0);
        if (!StartsLikeAName(word) || MatchParameter(part, names, nameCount, value) >= 0) continue;
        const std::string_view rest = TrimLeadingSpaces(part.substr(word.size()));
        if (rest.empty() || rest.front() != '=') continue;
        // Beside no named argument, "name = value" of a declared name is a
        // comparison given by position, which is no mistake.
        if (!anyNamed && ScopeOf(word) != DeclaredNone) continue;
        Report("the command " + QuotedName(name) + " has no argument " + QuotedName(word) +
               "; that value is not given to it");
        return;
    }
    if (!anyNamed) return;
    for (std::string_view part : parts) {
        if (part.empty() || MatchParameter(part, names, nameCount, value) >= 0) continue;
        Report("the command " + QuotedName(name) + " is given values by name and by position; the value " +
               QuotedName(part) + " has no name and is lost (name every value, or none)");
        return;
    }
}

std::vector<std::string> classScriptCompiler::ParseArguments(std::string_view name, std::string_view group) {
    std::string storage;
    std::vector<std::string_view> views;
    SplitArguments(group, storage, views);
    ReportUnknownArguments(name, views);
    BindArgumentViews(name, views);
    return std::vector<std::string>(views.begin(), views.end());
}

void classScriptCompiler::ReportLabelWithoutSign(std::string_view name, const std::vector<std::string_view>& parts) {
    if ((name != "ScriptJump" && name != "ScriptCall") || parts.size() < 2) return;
    const std::string_view label = parts[1];
    // A lone word that no declaration made: the writer meant a label, and
    // would otherwise hear only that a variable is not declared.
    if (!StartsLikeAName(label) || WordAt(label, 0).size() != label.size() || ScopeOf(label) != DeclaredNone ||
        FindBuiltinCommand(label) >= 1)
        return;
    Report("the label " + QuotedName(label) + " is written without its \"#\": a label starts with \"#\" (Label=#" +
           std::string(label) + "); as it stands it names an undeclared variable, which is nothing");
}

int32 classScriptCompiler::CompileCommand(std::string_view name, std::string_view group) {
    std::string storage;
    std::vector<std::string_view> parts;
    SplitArguments(group, storage, parts);
    ReportUnknownArguments(name, parts);
    BindArgumentViews(name, parts);
    ReportLabelWithoutSign(name, parts);
    std::vector<int32> arguments;
    arguments.reserve(parts.size());
    for (std::string_view part : parts) arguments.push_back(part.empty() ? -1 : CompileExpression(part));
    return tables_.AddCommandRecord(name, arguments);
}

void classScriptCompiler::Report(const std::string& what) {
    if (currentLine_ != 0 && currentLine_ == reportedLine_) return;
    reportedLine_ = currentLine_;
    ReportOnce(ScriptOriginOf(scriptName_, currentLine_, -1), what);
}

bool classScriptCompiler::StartsLikeAName(std::string_view word) {
    if (word.empty()) return false;
    const u8 first = static_cast<u8>(word.front());
    return first >= 0x80 || first == '_' || (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
}

int32 classScriptCompiler::LineAt(std::size_t position, std::size_t& nextBreak) const {
    // Positions only grow while the statements are parsed, so one walk over
    // the breaks serves the whole text.
    while (nextBreak < lineBreaks_.size() && lineBreaks_[nextBreak] < position) ++nextBreak;
    return static_cast<int32>(nextBreak + 1);
}

std::size_t classScriptCompiler::ReportUnknownStatement(std::string_view text, std::size_t position,
                                                        std::string_view word) {
    // Digits, operators and the rest of a line already reported are no
    // statement a writer meant.
    if (!StartsLikeAName(word)) return position;
    std::size_t after = position + word.size();
    while (after < text.size() && text[after] == ' ') ++after;
    const char next = after < text.size() ? text[after] : '\0';
    std::size_t quietUntil = position + word.size();
    if (next == '=' || next == '[') {
        Report("the variable " + QuotedName(word) +
               " is not declared (declare it in \"Variable.qvs\"); the assignment is passed over");
    } else {
        Report("unknown command " + QuotedName(word) + "; it is passed over");
        if (next == '(') quietUntil += ScanGroupParts(text, position + word.size(), '(').size();
    }
    // The rest of the line belongs to the same mistake.
    const std::size_t breakIndex = static_cast<std::size_t>(currentLine_) - 1;
    const std::size_t lineEnd = breakIndex < lineBreaks_.size() ? lineBreaks_[breakIndex] : text.size();
    return std::max(quietUntil, lineEnd);
}

void classScriptCompiler::ParseStatements(std::string_view text) {
    tables_.Clear();
    {
        std::lock_guard<std::mutex> hold(g_declaredNamesLock);
        localNames_.names.clear();
    }
    expressionDepth_ = 0;
    operatorRecords_.fill(-1);
    // Group scans of this text may be answered from one walk over it.
    ParsedText parsed{text, nullptr};
    struct Restore {
        ParsedText* outer;
        ~Restore() { t_parsedText = outer; }
    } restore{std::exchange(t_parsedText, &parsed)};
    chains_.Begin(text, chainMemory_);
    const std::size_t n = text.size();
    tables_.Reserve(n / 20, n / 10, n / 10, n);
    std::size_t p = 0;
    std::size_t nextBreak = 0;
    std::size_t quietUntil = 0;
    reportedLine_ = 0;
    while (p < n) {
        const u8 c = static_cast<u8>(text[p]);
        if (Utf8SequenceLength(c) == 0 || c == ' ' || c == ';' || c == '\r' || c == '\n') {
            ++p;
            continue;
        }
        currentLine_ = LineAt(p, nextBreak);
        tables_.SetCurrentLine(currentLine_);
        if (c == '{' || c == '}') {
            tables_.AddStatement(tables_.AddBlockMarkerRecord(c == '{' ? "{" : "}"));
            ++p;
            continue;
        }
        const std::string_view word = WordAt(text, p);
        std::size_t advance = 0;
        if (word == "Variable") {
            const ScannedGroup group = ScanGroupParts(text, p + word.size(), '(');
            Declare(group.Complete() ? group.text : group.Whole());
            advance = word.size() + group.size();
        } else if (FindBuiltinCommand(word) >= 1) {
            const ScannedGroup group = ScanGroupParts(text, p + word.size(), '(');
            tables_.AddStatement(CompileCommand(word, group.Complete() ? group.text : group.Whole()));
            advance = word.size() + group.size();
        } else if (ScopeOf(word) != DeclaredNone) {
            advance = CompileAssignment(text, p, word);
        } else if (!word.empty() && word.front() == '#') {
            tables_.AddStatement(tables_.AddLabelRecord(word));
            advance = word.size();
        } else {
            if (p >= quietUntil) quietUntil = ReportUnknownStatement(text, p, word);
            advance = word.size();
        }
        // Groups closed at the end of the text are longer than what is left.
        p = std::min(n, p + std::max<std::size_t>(advance, 1));
    }
}
