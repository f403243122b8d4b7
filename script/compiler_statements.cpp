// The statement parser: statement forms, bracketed groups, argument splitting
// and the binding of named arguments to a command's parameter positions.

#include <algorithm>
#include <array>

#include "commands/command_table.h"
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

// Length of the UTF-8 sequence a lead byte starts: 0 for a continuation byte
// and for 0xFE and 0xFF.
int SequenceLength(u8 lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    if (lead < 0xFE) return 6;
    return 0;
}

// One step of a walk over UTF-8: never zero, never past the end.
std::size_t StepAt(std::string_view text, std::size_t pos) {
    const int length = SequenceLength(static_cast<u8>(text[pos]));
    return std::min<std::size_t>(length == 0 ? 1 : static_cast<std::size_t>(length), text.size() - pos);
}

// The walk shared by ScanGroup and SplitTopLevel: quotes switch a string
// state; outside strings three depth counters follow the brackets.
struct BracketDepths {
    int paren = 0;
    int bracket = 0;
    int brace = 0;
    bool inString = false;

    // Follows one character; false when a closer had no opener.
    bool Follow(char c) {
        if (c == '"') {
            inString = !inString;
            return true;
        }
        if (inString) return true;
        switch (c) {
        case '(': ++paren; break;
        case ')': --paren; break;
        case '[': ++bracket; break;
        case ']': --bracket; break;
        case '{': ++brace; break;
        case '}': --brace; break;
        default: break;
        }
        return paren >= 0 && bracket >= 0 && brace >= 0;
    }
    bool AtTopLevel() const { return !inString && paren == 0 && bracket == 0 && brace == 0; }
};

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

std::string classScriptCompiler::ScanGroup(std::string_view text, std::size_t start, char opener) {
    if (start >= text.size()) return {};
    std::size_t q = start;
    while (q < text.size() && text[q] == ' ') ++q;
    if (opener != 0 && (q >= text.size() || text[q] != opener)) return {};
    BracketDepths depths;
    while (q < text.size()) {
        const char c = text[q];
        // A literal never spans a line; the line pass has already seen to
        // it, so a CR or LF in a string here means text that skipped it.
        if (depths.inString && (c == '\r' || c == '\n')) break;
        if (!depths.Follow(c)) return {};
        if (depths.AtTopLevel()) {
            const bool closer = c == ')' || c == ']' || c == '}';
            return std::string(text.substr(start, q - start + (closer ? 1 : 0)));
        }
        q += StepAt(text, q);
    }
    // The text ended inside the group: close it as its writer meant to.
    std::string group(text.substr(start, q - start));
    if (depths.inString) group += '"';
    group.append(static_cast<std::size_t>(depths.paren), ')');
    group.append(static_cast<std::size_t>(depths.bracket), ']');
    group.append(static_cast<std::size_t>(depths.brace), '}');
    return group;
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
                                          std::string& value) {
    for (int32 k = 0; k < nameCount; ++k) {
        const std::string_view name = names[k] != nullptr ? std::string_view(names[k]) : std::string_view{};
        if (name.empty() || text.substr(0, name.size()) != name) continue;
        const std::string_view rest = TrimLeadingSpaces(text.substr(name.size()));
        if (rest.empty()) {
            value.assign(1, '1');  // a parameter written alone is a flag
            return k;
        }
        if (rest.front() == '=') {
            value = std::string(TrimLeadingSpaces(rest.substr(1)));
            return k;
        }
    }
    return -1;
}

bool classScriptCompiler::BindArguments(std::string_view name, std::vector<std::string>& parts) {
    if (name.empty()) return false;
    const int32 index = FindBuiltinCommand(name);
    const int32 nameCount = GetBuiltinParamCount(index);
    if (nameCount == 0) return true;
    const char* const* names = g_builtinCommandTable[index].paramNames;
    std::vector<std::string> bound;
    std::string value;
    for (const std::string& part : parts) {
        const int32 k = MatchParameter(part, names, nameCount, value);
        if (k < 0) continue;  // unknown names, and positional values beside named ones, are lost
        if (bound.size() < static_cast<std::size_t>(k) + 1) bound.resize(static_cast<std::size_t>(k) + 1);
        bound[static_cast<std::size_t>(k)] = std::move(value);
    }
    if (!bound.empty()) parts = std::move(bound);
    return true;
}

std::vector<std::string> classScriptCompiler::ParseArguments(std::string_view name, std::string_view group) {
    std::vector<std::string> parts;
    const std::string scanned = ScanGroup(TrimLeadingSpaces(group), 0, '(');
    if (scanned.size() < 2) return parts;
    const std::string_view inside = std::string_view(scanned).substr(1, scanned.size() - 2);
    for (std::string_view part : SplitAllTopLevel(inside, ',')) parts.emplace_back(part);
    BindArguments(name, parts);
    return parts;
}

int32 classScriptCompiler::CompileCommand(std::string_view name, std::string_view group) {
    const std::vector<std::string> parts = ParseArguments(name, group);
    std::vector<int32> arguments;
    arguments.reserve(parts.size());
    for (const std::string& part : parts) arguments.push_back(part.empty() ? -1 : CompileExpression(part));
    return tables_.AddCommandRecord(name, arguments);
}

void classScriptCompiler::ParseStatements(std::string_view text) {
    tables_.Clear();
    {
        std::lock_guard<std::mutex> hold(g_declaredNamesLock);
        localNames_.names.clear();
    }
    expressionDepth_ = 0;
    const std::size_t n = text.size();
    tables_.Reserve(n / 20, n / 10, n / 10, n);
    std::size_t p = 0;
    while (p < n) {
        const u8 c = static_cast<u8>(text[p]);
        if (SequenceLength(c) == 0 || c == ' ' || c == ';' || c == '\r' || c == '\n') {
            ++p;
            continue;
        }
        if (c == '{' || c == '}') {
            tables_.AddStatement(tables_.AddBlockMarkerRecord(c == '{' ? "{" : "}"));
            ++p;
            continue;
        }
        const std::string_view word = WordAt(text, p);
        std::size_t advance = 0;
        if (word == "Variable") {
            const std::string group = ScanGroup(text, p + word.size(), '(');
            Declare(group);
            advance = word.size() + group.size();
        } else if (FindBuiltinCommand(word) >= 1) {
            const std::string group = ScanGroup(text, p + word.size(), '(');
            tables_.AddStatement(CompileCommand(word, group));
            advance = word.size() + group.size();
        } else if (ScopeOf(word) != DeclaredNone) {
            advance = CompileAssignment(text, p, word);
        } else if (!word.empty() && word.front() == '#') {
            tables_.AddStatement(tables_.AddLabelRecord(word));
            advance = word.size();
        } else {
            advance = word.size();
        }
        // Groups closed at the end of the text are longer than what is left.
        p = std::min(n, p + std::max<std::size_t>(advance, 1));
    }
}
