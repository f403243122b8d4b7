#include "commands/expression_commands.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "script/script_context.h"
#include "script/script_frame.h"
#include "script/script_value.h"

namespace {

// ---- Operators ----

enum class Op : u8 {
    None,
    OrOr,
    AndAnd,
    Or,
    Xor,
    And,
    Eq,
    Ne,
    Lt,
    Gt,
    Ge,
    Le,
    Shl,
    Shr,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Not,
    Tilde,
    Open,
    Close,
    // Forms an operator takes where an operand was expected.
    Negate,
    Plus,
    LogicalNot,
    BitNot,
};

constexpr int kUnaryPrecedence = 12;

Op ParseOperator(const char* text, size_t length) {
    if (length == 1) {
        switch (text[0]) {
            case '|':
                return Op::Or;
            case '^':
                return Op::Xor;
            case '&':
                return Op::And;
            case '=':
                return Op::Eq;
            case '<':
                return Op::Lt;
            case '>':
                return Op::Gt;
            case '+':
                return Op::Add;
            case '-':
                return Op::Sub;
            case '*':
                return Op::Mul;
            case '/':
                return Op::Div;
            case '%':
                return Op::Mod;
            case '!':
                return Op::Not;
            case '~':
                return Op::Tilde;
            case '(':
                return Op::Open;
            case ')':
                return Op::Close;
            default:
                return Op::None;
        }
    }
    if (length == 2) {
        const char a = text[0], b = text[1];
        if (a == '|' && b == '|') return Op::OrOr;
        if (a == '&' && b == '&') return Op::AndAnd;
        if (a == '!' && b == '=') return Op::Ne;
        if (a == '>' && b == '=') return Op::Ge;
        if (a == '<' && b == '=') return Op::Le;
        if (a == '<' && b == '<') return Op::Shl;
        if (a == '>' && b == '>') return Op::Shr;
    }
    return Op::None;
}

int Precedence(Op op) {
    switch (op) {
        case Op::OrOr:
            return 1;
        case Op::AndAnd:
            return 2;
        case Op::Or:
            return 3;
        case Op::Xor:
            return 4;
        case Op::And:
            return 5;
        case Op::Eq:
        case Op::Ne:
            return 6;
        case Op::Lt:
        case Op::Gt:
        case Op::Ge:
        case Op::Le:
            return 7;
        case Op::Shl:
        case Op::Shr:
            return 8;
        case Op::Add:
        case Op::Sub:
            return 9;
        case Op::Mul:
        case Op::Div:
        case Op::Mod:
            return 10;
        case Op::Not:
        case Op::Tilde:
            return 11;
        case Op::Negate:
        case Op::Plus:
        case Op::LogicalNot:
        case Op::BitNot:
            return kUnaryPrecedence;
        default:
            return 0;
    }
}

bool IsUnary(Op op) {
    return Precedence(op) == kUnaryPrecedence;
}

// ---- Numbers ----

// An operand on the evaluation stack. Empty stands for the outcome of an
// operation that has no value (bitwise operators on reals, binary "!" and
// "~"); as an operand it counts as integer 0, and as the final outcome it is
// not assigned.
struct Number {
    enum Kind : u8 { Empty, Integer, Real } kind = Empty;
    int64 i = 0;
    double r = 0.0;

    static Number Int(int64 value) { return Number{Integer, value, 0.0}; }
    static Number Dbl(double value) { return Number{Real, 0, value}; }
    double AsReal() const { return kind == Real ? r : static_cast<double>(kind == Integer ? i : 0); }
    Number Operand() const { return kind == Empty ? Int(0) : *this; }
};

// Integer +, - and * wrap in two's complement, as the 64-bit machine words
// the scripts were written against did; unsigned arithmetic gives exactly that
// without undefined behaviour.
int64 WrapAdd(int64 l, int64 r) {
    return static_cast<int64>(static_cast<u64>(l) + static_cast<u64>(r));
}
int64 WrapSub(int64 l, int64 r) {
    return static_cast<int64>(static_cast<u64>(l) - static_cast<u64>(r));
}
int64 WrapMul(int64 l, int64 r) {
    return static_cast<int64>(static_cast<u64>(l) * static_cast<u64>(r));
}

Number Binary(Op op, Number left, Number right) {
    const Number l = left.Operand();
    const Number r = right.Operand();
    const bool ints = l.kind == Number::Integer && r.kind == Number::Integer;
    switch (op) {
        case Op::Add:
            return ints ? Number::Int(WrapAdd(l.i, r.i)) : Number::Dbl(l.AsReal() + r.AsReal());
        case Op::Sub:
            return ints ? Number::Int(WrapSub(l.i, r.i)) : Number::Dbl(l.AsReal() - r.AsReal());
        case Op::Mul:
            return ints ? Number::Int(WrapMul(l.i, r.i)) : Number::Dbl(l.AsReal() * r.AsReal());
        case Op::Div:
            // The zero test reads the right side as a real even for integers.
            if (r.AsReal() == 0.0) return Number::Int(0);
            if (ints) {
                // The one quotient that does not fit traps on the machine; it
                // wraps to itself instead.
                if (l.i == std::numeric_limits<int64>::min() && r.i == -1) return Number::Int(l.i);
                return Number::Int(l.i / r.i);
            }
            return Number::Dbl(l.AsReal() / r.AsReal());
        case Op::Mod:
            if (r.AsReal() == 0.0) return l;
            if (ints) {
                if (r.i == -1) return Number::Int(0);
                return Number::Int(l.i % r.i);
            }
            return Number::Dbl(l.AsReal() - std::floor(l.AsReal() / r.AsReal()) * r.AsReal());
        case Op::Eq:
        case Op::Ne:
        case Op::Lt:
        case Op::Gt:
        case Op::Ge:
        case Op::Le: {
            bool holds = false;
            if (ints) {
                holds = op == Op::Eq   ? l.i == r.i
                        : op == Op::Ne ? l.i != r.i
                        : op == Op::Lt ? l.i < r.i
                        : op == Op::Gt ? l.i > r.i
                        : op == Op::Ge ? l.i >= r.i
                                       : l.i <= r.i;
                return Number::Int(holds ? 1 : 0);
            }
            const double x = l.AsReal(), y = r.AsReal();
            holds = op == Op::Eq   ? x == y
                    : op == Op::Ne ? x != y
                    : op == Op::Lt ? x < y
                    : op == Op::Gt ? x > y
                    : op == Op::Ge ? x >= y
                                   : x <= y;
            return Number::Dbl(holds ? 1.0 : 0.0);
        }
        case Op::AndAnd:
        case Op::OrOr: {
            if (ints) {
                const bool holds = op == Op::AndAnd ? (l.i != 0 && r.i != 0) : (l.i != 0 || r.i != 0);
                return Number::Int(holds ? 1 : 0);
            }
            const double x = l.AsReal(), y = r.AsReal();
            const bool holds = op == Op::AndAnd ? (x != 0.0 && y != 0.0) : (x != 0.0 || y != 0.0);
            return Number::Dbl(holds ? 1.0 : 0.0);
        }
        case Op::And:
            return ints ? Number::Int(l.i & r.i) : Number{};
        case Op::Or:
            return ints ? Number::Int(l.i | r.i) : Number{};
        case Op::Xor:
            return ints ? Number::Int(l.i ^ r.i) : Number{};
        case Op::Shl: {
            if (!ints) return Number{};
            const u64 count = static_cast<u64>(r.i) & 0xFF;
            return Number::Int(count >= 64 ? 0 : static_cast<int64>(static_cast<u64>(l.i) << count));
        }
        case Op::Shr: {
            if (!ints) return Number{};
            const u64 count = static_cast<u64>(r.i) & 0xFF;
            if (count >= 64) return Number::Int(l.i < 0 ? -1 : 0);
            return Number::Int(l.i >> count);
        }
        default:
            // "!" and "~" between two operands have no meaning; they leave no value.
            return Number{};
    }
}

Number Unary(Op op, Number operand) {
    const Number v = operand.Operand();
    switch (op) {
        case Op::Negate:
            return v.kind == Number::Real ? Number::Dbl(-v.r) : Number::Int(WrapSub(0, v.i));
        case Op::Plus:
            return v;
        case Op::LogicalNot:
            return v.kind == Number::Real ? Number::Dbl(v.r == 0.0 ? 1.0 : 0.0)
                                          : Number::Int(v.i == 0 ? 1 : 0);
        case Op::BitNot:
            return v.kind == Number::Real ? Number{} : Number::Int(~v.i);
        default:
            return v;
    }
}

// ---- Infix to postfix ----

struct Item {
    Op op = Op::None;  // None: the item is the number
    Number number;
};

// Reused by every evaluation on the thread, so an expression costs no
// allocation once the buffers have grown to the longest one seen.
struct Scratch {
    std::vector<Item> output;
    std::vector<Op> operators;
    std::vector<Number> values;
};

thread_local Scratch t_scratch;

void ToPostfix(const classScriptValue* tokens, int32 count, Scratch& s) {
    s.output.clear();
    s.operators.clear();
    bool operandExpected = true;
    for (int32 k = 0; k < count; ++k) {
        const classScriptValue& token = tokens[k];
        switch (token.tag) {
            case ScriptValueEmpty:
                s.output.push_back(Item{Op::None, Number::Int(0)});
                operandExpected = false;
                break;
            case ScriptValueInteger:
                s.output.push_back(Item{Op::None, Number::Int(token.integer)});
                operandExpected = false;
                break;
            case ScriptValueReal:
                s.output.push_back(Item{Op::None, Number::Dbl(token.real)});
                operandExpected = false;
                break;
            case ScriptValueOperator: {
                Op op = ParseOperator(token.text.data(), token.text.size());
                if (op == Op::Open) {
                    s.operators.push_back(op);
                    operandExpected = true;
                } else if (op == Op::Close) {
                    while (!s.operators.empty() && s.operators.back() != Op::Open) {
                        s.output.push_back(Item{s.operators.back(), {}});
                        s.operators.pop_back();
                    }
                    if (!s.operators.empty()) s.operators.pop_back();
                    operandExpected = false;
                } else if (op != Op::None) {
                    if (operandExpected) {
                        if (op == Op::Sub)
                            op = Op::Negate;
                        else if (op == Op::Add)
                            op = Op::Plus;
                        else if (op == Op::Not)
                            op = Op::LogicalNot;
                        else if (op == Op::Tilde)
                            op = Op::BitNot;
                    }
                    if (IsUnary(op)) {
                        // Prefix operators bind to what follows, so nothing
                        // waiting on the stack is finished by them.
                        s.operators.push_back(op);
                    } else {
                        const int p = Precedence(op);
                        while (!s.operators.empty() && s.operators.back() != Op::Open &&
                               Precedence(s.operators.back()) >= p) {
                            s.output.push_back(Item{s.operators.back(), {}});
                            s.operators.pop_back();
                        }
                        s.operators.push_back(op);
                    }
                    operandExpected = true;
                }
                break;
            }
            default:
                // Texts, lists and label references mean nothing to arithmetic.
                break;
        }
    }
    while (!s.operators.empty()) {
        if (s.operators.back() != Op::Open) s.output.push_back(Item{s.operators.back(), {}});
        s.operators.pop_back();
    }
}

Number Pop(std::vector<Number>& values) {
    // An operator short of operands takes integer 0 for what is missing, as a
    // list that opens with a binary operator reads "0 op …".
    if (values.empty()) return Number::Int(0);
    Number top = values.back();
    values.pop_back();
    return top;
}

void Arithmetic(const classScriptValue* tokens, int32 count, classScriptValue& result) {
    Scratch& s = t_scratch;
    ToPostfix(tokens, count, s);
    s.values.clear();
    for (const Item& item : s.output) {
        if (item.op == Op::None) {
            s.values.push_back(item.number);
        } else if (IsUnary(item.op)) {
            s.values.push_back(Unary(item.op, Pop(s.values)));
        } else {
            const Number right = Pop(s.values);
            const Number left = Pop(s.values);
            s.values.push_back(Binary(item.op, left, right));
        }
    }
    const Number outcome = s.values.empty() ? Number::Int(0) : s.values.back();
    if (outcome.kind == Number::Integer)
        result.SetInteger(outcome.i);
    else if (outcome.kind == Number::Real)
        result.SetReal(outcome.r);
}

// ---- Concatenation ----

void AppendInteger(std::string& out, int64 value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc()) out.append(buffer, end);
}

// Six decimals, as "%f" writes them, but never with the locale's decimal comma.
void AppendFixed6(std::string& out, double value) {
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (ec == std::errc()) out.append(buffer, end);
}

// Reals are joined through single precision. A double outside the float
// range becomes an infinity of its sign instead of an undefined conversion.
float ToSingle(double value) {
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX))
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

void Concatenate(const classScriptValue* tokens, int32 count, classScriptValue& result) {
    std::string text;
    for (int32 k = 0; k < count; ++k) {
        const classScriptValue& token = tokens[k];
        if (token.tag == ScriptValueInteger)
            AppendInteger(text, token.integer);
        else if (token.tag == ScriptValueReal)
            AppendFixed6(text, static_cast<double>(ToSingle(token.real)));
        else if (token.tag == ScriptValueString)
            text += token.text;
    }
    result.SetString(std::move(text));
}

// The integer of an argument as "if" reads it, or nothing.
bool ArgumentAsInteger(const classScriptValue& value, int64& out) {
    switch (value.tag) {
        case ScriptValueInteger:
        case ScriptValueLabel:
            out = value.integer;
            return true;
        case ScriptValueReal:
            out = RealToInt64(value.real);
            return true;
        case ScriptValueString: {
            classScriptValue copy;
            copy.SetString(value.text);
            out = *copy.AsInteger();
            return true;
        }
        default:
            return false;
    }
}

// Sends the frame past the block that opens right after the statement at pc,
// when one does; a statement without a following "{" skips nothing.
void SkipFollowingBlock(classScriptContext& context) {
    classScriptFrame* frame = context.GetCurrentFrame();
    if (frame == nullptr) return;
    const int32 next = frame->NextIndex(frame->pc);
    const classScriptRecord* marker = frame->GetStatementRecord(next);
    if (marker == nullptr || marker->type != ScriptRecordBlockMarker) return;
    if (frame->GetTextA(*marker) != "{") return;
    // An unclosed "{" keeps -1 here; the frame then ends rather than restart.
    frame->SetNextPc(static_cast<int32>(marker->b));
}

}  // namespace

int GetOperatorPrecedence(const char* text, size_t length) {
    const Op op = ParseOperator(text, length);
    return op == Op::Open || op == Op::Close ? 0 : Precedence(op);
}

void EvaluateExpressionTokens(const classScriptValue* tokens, int32 count, classScriptValue& result) {
    if (count <= 0 || tokens == nullptr) return;
    if (count == 1) {
        result = tokens[0];
        if (result.tag == ScriptValueEmpty) result.SetInteger(0);
        return;
    }
    switch (tokens[0].tag) {
        case ScriptValueString:
            Concatenate(tokens, count, result);
            break;
        case ScriptValueEmpty:
        case ScriptValueInteger:
        case ScriptValueReal:
        case ScriptValueOperator:
            Arithmetic(tokens, count, result);
            break;
        default:
            break;
    }
}

bool CommandAssign(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                   classScriptValue& result) {
    const int32 n = std::clamp<int32>(count, 0, static_cast<int32>(arguments.size()));
    EvaluateExpressionTokens(arguments.data(), n, result);
    return true;
}

bool CommandIf(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
               classScriptValue&) {
    int64 condition = 0;
    const bool given = count >= 1 && !arguments.empty() && ArgumentAsInteger(arguments[0], condition);
    if (given && condition != 0) return true;
    SkipFollowingBlock(context);
    return true;
}

bool CommandElse(classScriptContext& context, const std::vector<classScriptValue>&, int32,
                 classScriptValue&) {
    SkipFollowingBlock(context);
    return true;
}

bool CommandToString(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue& result) {
    if (count < 1 || arguments.empty()) return true;
    classScriptValue value = arguments[0];
    const double* number = value.AsReal();
    if (number == nullptr) return true;
    std::string text;
    AppendFixed6(text, *number);
    result.SetString(std::move(text));
    return true;
}
