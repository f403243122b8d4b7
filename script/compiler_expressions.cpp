// Declarations, assignments and expressions. Expressions are not evaluated
// here: each becomes a flat infix list of token records for the built-in
// "=", and statements placed in front of the statement that needs a value
// make that value land in a variable or a temporary.

#include <algorithm>

#include "commands/command_table.h"
#include "foundation/number_text.h"
#include "script/script_compiler.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view TrimLeadingSpaces(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return text.substr(i);
}

// The two-character operators come first so that "<=" is never read as "<".
constexpr std::string_view kBinaryOperators[] = {"||", "&&", "!=", ">=", "<=", "<<", ">>", "|", "^", "&",
                                                 "=",  "<",  ">",  "+",  "-",  "*",  "/",  "%", "!", "~"};
constexpr std::string_view kUnaryOperators[] = {"+", "-", "!", "~"};

// The position of an operator or parenthesis text in one list of all of
// them, or -1.
int OperatorSlot(std::string_view token) {
    if (token == "(") return 20;
    if (token == ")") return 21;
    const auto found = std::find(std::begin(kBinaryOperators), std::end(kBinaryOperators), token);
    return found == std::end(kBinaryOperators) ? -1 : static_cast<int>(found - std::begin(kBinaryOperators));
}

// The declared-name lists a "Variable" scope parameter selects.
classDeclaredNames* RunWideList(int scopeIndex) {
    switch (scopeIndex) {
        case 0:
            return &g_declaredSystemNames;
        case 1:
            return &g_declaredGlobalNames;
        case 2:
            return &g_declaredNomalNames;
        default:
            return nullptr;
    }
}

}  // namespace

bool classScriptCompiler::NeedsResplit(const std::vector<std::string_view>& tokens) {
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i)
        if (tokens[i + 1] == "(" && !CommandNameAt(tokens[i], 0).empty()) return true;
    return false;
}

// ---- Literal scanners ----

std::string_view classScriptCompiler::RealLiteralAt(std::string_view text, std::size_t position) {
    const std::size_t n = text.size();
    std::size_t q = position;
    if (q < n && (text[q] == '+' || text[q] == '-')) ++q;
    const std::size_t intStart = q;
    while (q < n && IsDigit(text[q])) ++q;
    if (q == intStart || q >= n || text[q] != '.') return {};
    const std::size_t fracStart = ++q;
    while (q < n && IsDigit(text[q])) ++q;
    if (q == fracStart) return {};
    // An exponent counts only when letter, sign and digits are all there.
    std::size_t e = q;
    while (e < n && (text[e] == 'e' || text[e] == 'E' || text[e] == 'd' || text[e] == 'D')) ++e;
    if (e > q) {
        std::size_t s = e;
        while (s < n && (text[s] == '+' || text[s] == '-')) ++s;
        if (s > e) {
            std::size_t d = s;
            while (d < n && IsDigit(text[d])) ++d;
            if (d > s) q = d;
        }
    }
    return text.substr(position, q - position);
}

std::string_view classScriptCompiler::IntegerLiteralAt(std::string_view text, std::size_t position) {
    const std::size_t n = text.size();
    std::size_t q = position;
    if (q < n && (text[q] == '+' || text[q] == '-')) ++q;
    while (q < n && text[q] == ' ') ++q;
    if (q < n && text[q] == '0') {
        std::size_t z = q;
        while (z < n && text[z] == '0') ++z;
        if (z < n && (text[z] == 'x' || text[z] == 'X')) {
            std::size_t h = z + 1;
            while (h < n && IsHexDigit(text[h])) ++h;
            return text.substr(position, h - position);
        }
    }
    std::size_t d = q;
    while (d < n && IsDigit(text[d])) ++d;
    if (d == q) return {};
    return text.substr(position, d - position);
}

std::string classScriptCompiler::StringLiteralAt(std::string_view text, std::size_t position) {
    if (position >= text.size() || text[position] != '"') return {};
    const std::size_t close = text.find('"', position + 1);
    if (close == std::string_view::npos) return std::string(text.substr(position)) + '"';
    return std::string(text.substr(position, close - position + 1));
}

std::string_view classScriptCompiler::LabelWordAt(std::string_view text, std::size_t position) {
    std::string_view word = WordAt(text, position);
    return !word.empty() && word.front() == '#' ? word : std::string_view{};
}

std::string_view classScriptCompiler::BinaryOperatorAt(std::string_view text, std::size_t position) {
    if (position >= text.size()) return {};
    // Only these bytes start an operator; the list is tried in its order,
    // longest forms first, as the scripts' compiler always did.
    switch (text[position]) {
        case '|':
        case '&':
        case '!':
        case '>':
        case '<':
        case '^':
        case '=':
        case '+':
        case '-':
        case '*':
        case '/':
        case '%':
        case '~':
            break;
        default:
            return {};
    }
    for (std::string_view op : kBinaryOperators)
        if (text.substr(position, op.size()) == op) return op;
    return {};
}

std::string_view classScriptCompiler::UnaryOperatorAt(std::string_view text, std::size_t position) {
    if (position >= text.size()) return {};
    for (std::string_view op : kUnaryOperators)
        if (text.substr(position, op.size()) == op) return op;
    return {};
}

// ---- Declarations ----

void classScriptCompiler::Declare(std::string_view group) {
    std::string storage;
    std::vector<std::string_view> parts;
    SplitArguments(group, storage, parts);
    BindArgumentViews("Variable", parts);
    if (parts.size() < 5) return;  // no Name (or no group at all)
    int chosen = -1;
    for (int scope = 0; scope < 4; ++scope) {
        if (parts[static_cast<std::size_t>(scope)].empty()) continue;
        if (chosen >= 0) return;  // more than one scope: nothing is declared
        chosen = scope;
    }
    if (chosen < 0) return;
    classDeclaredNames* list = chosen == 3 ? &localNames_ : RunWideList(chosen);
    if (AddDeclaredName(*list, parts[4])) chains_.Declared(parts[4]);  // an empty Name is ignored there
    // A statement starting with the name is read as the command: the
    // variable can be read, never assigned.
    if (FindBuiltinCommand(parts[4]) >= 1)
        Report("the variable " + QuotedName(parts[4]) + " is named like a command: a statement that starts with it "
               "runs the command, so it is never assigned (give it another name)");
}

// ---- Expressions ----

bool classScriptCompiler::TokenAt(std::string_view text, std::size_t pos, bool operandExpected,
                                  TokenStep& step) const {
    step = TokenStep{};
    const auto plain = [&](std::size_t length) { step.token.text = text.substr(pos, length); };
    // A name or command followed by its group: the closers a group left open
    // at the end of the text needs stay counted beside the view.
    const auto withGroup = [&](std::string_view head, const ScannedGroup& group) {
        step.token = group;
        step.token.text = text.substr(pos, head.size() + group.text.size());
    };
    if (pos >= text.size()) return false;
    if (!operandExpected) {
        const char c = text[pos];
        if (c == ':') {
            step.path = true;
            step.operandNext = true;
            plain(1);
        } else if (c == '(' || c == ')') {
            plain(1);
        } else if (std::string_view op = BinaryOperatorAt(text, pos); !op.empty()) {
            step.operandNext = true;
            plain(op.size());
        } else {
            return false;
        }
        return true;
    }
    std::string_view found;
    std::string_view word;
    if (!(found = RealLiteralAt(text, pos)).empty() || !(found = IntegerLiteralAt(text, pos)).empty()) {
        plain(found.size());
        return true;
    }
    if (ScopeOf(word = WordAt(text, pos)) != DeclaredNone) {
        withGroup(word, ScanGroupParts(text, pos + word.size(), '['));
        return true;
    }
    step.undeclared = word;
    if (text[pos] == '(') {
        step.operandNext = true;
        plain(1);
    } else if (text[pos] == '"') {
        const std::size_t close = text.find('"', pos + 1);
        if (close != std::string_view::npos) {
            plain(close - pos + 1);
        } else {
            step.token.text = text.substr(pos);
            step.token.quote = true;
        }
    } else if (!(found = CommandNameAt(text, pos)).empty()) {
        withGroup(found, ScanGroupParts(text, pos + found.size(), '('));
    } else if (!(found = LabelWordAt(text, pos)).empty()) {
        plain(found.size());
    } else if (!(found = UnaryOperatorAt(text, pos)).empty()) {
        step.operandNext = true;
        plain(found.size());
    } else {
        return false;
    }
    return true;
}

void classScriptCompiler::ReportUndeclaredOperand(std::string_view word) {
    Report("the variable " + QuotedName(word) +
           " is not declared (declare it in \"Variable.qvs\"); it is read as nothing");
}

namespace {

bool IsExponentLetter(char c) {
    return c == 'e' || c == 'E' || c == 'd' || c == 'D';
}

}  // namespace

void classScriptCompiler::ReportExpressionEnd(std::string_view text, std::size_t position, bool operandExpected) {
    const std::size_t n = text.size();
    if (position >= n) return;
    if (operandExpected) {
        // Only an operator stands before an operand's place: an "=" there is
        // the second of "==" (or of "= =").
        if (text[position] == '=') {
            Report("\"==\" is no operator: one \"=\" compares (write a = 1); the expression ends before the "
                   "second \"=\"");
            return;
        }
        if (const std::string_view word = WordAt(text, position); StartsLikeAName(word)) ReportUndeclaredOperand(word);
        return;
    }
    // A letter right after a digit: a number whose exponent was not taken,
    // since a word cannot start inside a number.
    if (position == 0 || !IsDigit(text[position - 1]) || !IsExponentLetter(text[position])) return;
    std::size_t q = position;
    while (q < n && IsExponentLetter(text[q])) ++q;
    const std::size_t letters = q;
    while (q < n && (text[q] == '+' || text[q] == '-')) ++q;
    const std::size_t signs = q;
    while (q < n && IsDigit(text[q])) ++q;
    if (q == signs) return;
    std::size_t start = position;
    while (start > 0 && (IsDigit(text[start - 1]) || text[start - 1] == '.')) --start;
    const std::string_view mantissa = text.substr(start, position - start);
    std::string written(mantissa);
    if (mantissa.find('.') == std::string_view::npos) written += ".0";
    // A "d" exponent is read by no conversion; "e" is.
    for (std::size_t i = position; i < letters; ++i) written += text[i] == 'd' ? 'e' : text[i] == 'D' ? 'E' : text[i];
    written += signs > letters ? text.substr(letters, signs - letters) : std::string_view("+");
    written += text.substr(signs, q - signs);
    Report("the number " + QuotedName(text.substr(start, q - start)) + " is read as " + std::string(mantissa) +
           ": an exponent is taken only after a decimal point and with its sign (write " + written + ")");
}

void classScriptCompiler::ReportTextComparison(const std::vector<std::string_view>& tokens, std::size_t first) {
    if (tokens.size() < first + 2 || tokens[first].empty() || tokens[first].front() != '"') return;
    for (std::size_t i = first + 1; i < tokens.size(); ++i) {
        const std::string_view op = tokens[i];
        if (op == "=" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=") {
            Report("an expression that starts with a text joins its values as text: its " + QuotedName(op) +
                   " compares nothing (texts cannot be compared; an \"if\" reads the joined text as a number)");
            return;
        }
    }
}

std::size_t classScriptCompiler::SplitTokens(std::string_view text, std::size_t start, TokenList& list) {
    list.tokens.clear();
    list.owned.clear();
    const std::size_t n = text.size();
    bool operandExpected = true;
    bool path = false;
    std::size_t pos = start;
    std::size_t consumed = start;
    TokenStep step;
    while (true) {
        while (pos < n && text[pos] == ' ') ++pos;
        if (!TokenAt(text, pos, operandExpected, step)) {
            ReportExpressionEnd(text, pos, operandExpected);
            break;
        }
        path = path || step.path;
        operandExpected = step.operandNext;
        if (step.token.Complete())
            list.tokens.push_back(step.token.text);
        else
            list.AddOwned(step.token.Whole());
        // A group or literal closed at the end of the text is longer than
        // what was left of it.
        pos = std::min(n, pos + step.token.size());
        consumed = pos;
    }
    if (path && list.tokens.size() > 1) {
        std::string joined;
        for (std::string_view token : list.tokens) joined += token;
        list.tokens.clear();
        list.AddOwned(std::move(joined));
    }
    return consumed - start;
}

std::size_t classScriptCompiler::SplitExpressionTokens(std::string_view text, std::size_t start,
                                                       std::vector<std::string>& tokens) {
    TokenList list;
    const std::size_t consumed = SplitTokens(text, start, list);
    tokens.assign(list.tokens.begin(), list.tokens.end());
    return consumed;
}

int32 classScriptCompiler::CompileToken(std::string_view token) {
    // A path of graphic-object keys, such as 1:2:3, becomes one list value.
    if (token.find(':') != std::string_view::npos) {
        const std::vector<std::string_view> parts = SplitAllTopLevel(TrimLeadingSpaces(token), ':');
        if (parts.size() >= 2) {
            std::vector<int32> elements;
            elements.reserve(parts.size());
            for (std::string_view part : parts) elements.push_back(CompileExpression(part));
            return tables_.AddParenthesisRecord("", elements);
        }
    }
    if (!RealLiteralAt(token, 0).empty())
        return tables_.AddRealRecord(StringToDouble(std::string(token).c_str()));
    if (!IntegerLiteralAt(token, 0).empty())
        return tables_.AddIntegerRecord(StringToInt64(std::string(token).c_str()));
    const std::string_view word = WordAt(token, 0);
    if (const DeclaredScope scope = ScopeOf(word); scope != DeclaredNone) {
        const std::string group = ScanGroup(token, word.size(), '[');
        const int32 subscript =
            group.size() >= 2 ? CompileExpression(std::string_view(group).substr(1, group.size() - 2)) : -1;
        switch (scope) {
            case DeclaredLocal:
                return tables_.AddLocalRecord(word, subscript);
            case DeclaredNomal:
                return tables_.AddNomalRecord(word, subscript);
            // A system name read in an expression is a global record of that name.
            default:
                return tables_.AddGlobalRecord(word, subscript);
        }
    }
    if (const int slot = OperatorSlot(token); slot >= 0) {
        // Operator records are shared by text and nothing is ever removed,
        // so the record found the first time stays the one found.
        int32& known = operatorRecords_[static_cast<std::size_t>(slot)];
        if (known < 0) known = tables_.AddOperatorRecord(token);
        return known;
    }
    if (token.front() == '"')
        return tables_.AddStringRecord(token.size() >= 2 ? token.substr(1, token.size() - 2) : "");
    if (const std::string_view name = CommandNameAt(token, 0); !name.empty()) {
        // The tmp becomes the pending target, the empty "=" keeps it pending
        // and the command's result is stored in it.
        const int32 command = CompileCommand(name, token.substr(name.size()));
        const int32 tmp = tables_.AddTmpRecord();
        const int32 keep = tables_.AddCommandRecord("=", {});
        tables_.AddStatement(tmp);
        tables_.AddStatement(keep);
        tables_.AddStatement(command);
        return tmp;
    }
    if (const std::string_view label = LabelWordAt(token, 0); !label.empty())
        return tables_.AddLabelRecord(label);
    return -1;
}

std::vector<int32> classScriptCompiler::CompileExpressionTokens(std::string_view expression) {
    TokenList list;
    SplitTokens(expression, 0, list);
    ReportTextComparison(list.tokens, 0);
    std::vector<int32> records;
    records.reserve(list.tokens.size());
    for (std::string_view token : list.tokens) records.push_back(token.empty() ? -1 : CompileToken(token));
    return records;
}

int32 classScriptCompiler::CompileExpression(std::string_view expression) {
    if (expressionDepth_ >= kMaxExpressionDepth) {
        Report(
            "an expression is nested deeper than the compiler follows; its innermost part compiles to "
            "nothing");
        return -1;
    }
    ++expressionDepth_;
    const std::vector<int32> records = CompileExpressionTokens(expression);
    --expressionDepth_;
    if (records.empty()) return -1;
    if (records.size() == 1) return records.front();
    const int32 tmp = tables_.AddTmpRecord();
    const int32 evaluate = tables_.AddCommandRecord("=", records);
    tables_.AddStatement(tmp);
    tables_.AddStatement(evaluate);
    return tmp;
}

std::size_t classScriptCompiler::CompileAssignment(std::string_view text, std::size_t position,
                                                   std::string_view word) {
    const DeclaredScope scope = ScopeOf(word);
    const ScannedGroup group = ScanGroupParts(text, position + word.size(), '[');
    // A subscript left open runs to the end of the text, so no "=" can follow
    // it: a lone name, passed over without copying the rest of the text.
    if (!group.Complete() && group.text.data() + group.text.size() == text.data() + text.size())
        return word.size();
    if (KnownNoAssignment(text, position)) return word.size();
    const std::string subscript = group.Whole();
    TokenList list;
    const std::size_t consumed = SplitTokens(text, position, list);
    const std::vector<std::string_view>& tokens = list.tokens;
    if (tokens.size() < 3 || tokens[1] != "=") {  // a lone name, or no "=": passed over
        LearnNoAssignment(text, position, consumed);
        return word.size();
    }
    const int32 subscriptRecord =
        subscript.size() >= 2 ? CompileExpression(std::string_view(subscript).substr(1, subscript.size() - 2))
                              : -1;
    // The statement form joins the tokens after "=" with spaces and splits
    // the result again. That gives the same tokens, so they are compiled as
    // they stand, except in two rare cases where the split is redone: after
    // a command name whose group was refused (a stray closer inside it),
    // the "(" that followed becomes that command's group once joined; and a
    // group closed at the end of the text may end in a cut-off UTF-8
    // sequence that steps over its own closers when scanned again.
    std::vector<int32> records;
    if (NeedsResplit(tokens) || !list.owned.empty()) {
        std::string expression;
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            expression += tokens[i];
            expression += ' ';
        }
        records = CompileExpressionTokens(expression);
    } else {
        ReportTextComparison(tokens, 2);
        records.reserve(tokens.size() - 2);
        for (std::size_t i = 2; i < tokens.size(); ++i) records.push_back(CompileToken(tokens[i]));
    }
    int32 target = -1;
    switch (scope) {
        case DeclaredLocal:
            target = tables_.AddLocalRecord(word, subscriptRecord);
            break;
        case DeclaredNomal:
            target = tables_.AddNomalRecord(word, subscriptRecord);
            break;
        case DeclaredGlobal:
            target = tables_.AddGlobalRecord(word, subscriptRecord);
            break;
        default:
            target = tables_.AddSystemRecord(word, subscriptRecord);
            break;
    }
    tables_.AddStatement(target);
    tables_.AddStatement(tables_.AddCommandRecord("=", records));
    return std::max<std::size_t>(consumed, 1);
}
