#include "script/compiler_chains.h"

#include "script/script_compiler.h"

namespace compilerchains {

namespace {

// Nodes are numbered in 32 bits; a text too long for that is walked afresh.
constexpr std::size_t kLongestText = (std::size_t{1} << 31) - 2;

}  // namespace

void ChainMemo::Begin(std::string_view text, Memory memory) {
    Forget();
    text_ = text;
    covered_ = text.size() <= kLongestText && memory != Memory::Never;
    memory_ = memory;
    keeping_ = covered_ && memory == Memory::Always;
    walked_ = 0;
    // Sized at the first node.
    flags_.clear();
    next_.clear();
    last_.clear();
}

bool ChainMemo::Keeps(std::string_view text) const {
    return keeping_ && text.data() == text_.data() && text.size() == text_.size();
}

bool ChainMemo::Walked(std::string_view text, std::size_t bytes) {
    if (!covered_ || text.data() != text_.data() || text.size() != text_.size()) return false;
    walked_ += bytes;
    // Twice the text: what walking afresh has cost by then pays for the room.
    if (walked_ >= 4096 && walked_ / 2 >= text_.size()) keeping_ = true;
    return keeping_;
}

void ChainMemo::Follow(u64 declarations) {
    if (flags_.empty()) {
        flags_.assign(Node(text_.size(), true) + 1, 0);
        next_.assign(flags_.size(), 0);
        last_.assign(flags_.size(), 0);
        declarations_ = declarations;
    }
    if (declarations == declarations_) return;
    Forget();
    declarations_ = declarations;
}

void ChainMemo::Declared(std::string_view name) {
    ++declarations_;
    if (lookedUp_.find(name) != lookedUp_.end()) Forget();
}

void ChainMemo::SetStep(std::size_t node, u8 flags, std::size_t next, std::string_view undeclared) {
    flags_[node] = flags | kStepped;
    next_[node] = static_cast<u32>(next);
    touched_.push_back(static_cast<u32>(node));
    if (!undeclared.empty()) lookedUp_.insert(undeclared);
}

void ChainMemo::Resolve(std::size_t node, bool colonAhead, std::size_t last) {
    flags_[node] |= colonAhead ? kResolved | kColonAhead : kResolved;
    last_[node] = static_cast<u32>(last);
}

void ChainMemo::Forget() {
    for (u32 node : touched_) flags_[node] = 0;
    touched_.clear();
    lookedUp_.clear();
}

}  // namespace compilerchains

using compilerchains::ChainMemo;

void classScriptCompiler::ResolveChain(std::string_view text, std::size_t position) {
    const std::size_t n = text.size();
    // The flags of a node, its token read if it was not yet.
    const auto step = [&](std::size_t node) {
        if ((chains_.Flags(node) & ChainMemo::kStepped) != 0) return chains_.Flags(node);
        const std::size_t at = ChainMemo::Position(node);
        TokenStep token;
        if (!TokenAt(text, at, ChainMemo::OperandExpected(node), token)) {
            const u8 unknown = StartsLikeAName(token.undeclared) ? ChainMemo::kUnknownName : 0;
            chains_.SetStep(node, ChainMemo::kEnd | unknown, 0, token.undeclared);
            return chains_.Flags(node);
        }
        std::size_t after = std::min(n, at + token.token.size());
        while (after < n && text[after] == ' ') ++after;
        u8 flags = 0;
        if (token.path) flags |= ChainMemo::kColon;
        if (token.token.text == "=" && token.token.Complete()) flags |= ChainMemo::kEquals;
        chains_.SetStep(node, flags, ChainMemo::Node(after, token.operandNext), token.undeclared);
        return chains_.Flags(node);
    };

    std::size_t start = position;
    while (start < n && text[start] == ' ') ++start;
    const std::size_t first = ChainMemo::Node(start, true);
    // Walk to the first node whose answers are known (or to the end), then
    // answer for every node on the way back.
    std::vector<std::size_t>& walked = walkedNodes_;
    walked.clear();
    std::size_t node = first;
    bool colon = false;
    std::size_t last = first;
    while (true) {
        const u8 flags = step(node);
        if ((flags & ChainMemo::kResolved) != 0) {
            colon = (flags & ChainMemo::kColonAhead) != 0;
            last = chains_.Last(node);
            break;
        }
        if ((flags & ChainMemo::kEnd) != 0) {
            chains_.Resolve(node, false, node);
            last = node;
            break;
        }
        walked.push_back(node);
        node = chains_.Next(node);
    }
    for (auto at = walked.rbegin(); at != walked.rend(); ++at) {
        colon = colon || (chains_.Flags(*at) & ChainMemo::kColon) != 0;
        chains_.Resolve(*at, colon, last);
    }
}

void classScriptCompiler::LearnNoAssignment(std::string_view text, std::size_t position, std::size_t walked) {
    if (!chains_.Walked(text, walked)) return;
    chains_.Follow(DeclaredNameAdditions());
    ResolveChain(text, position);
}

bool classScriptCompiler::KnownNoAssignment(std::string_view text, std::size_t position) {
    if (!chains_.Keeps(text)) return false;
    chains_.Follow(DeclaredNameAdditions());
    std::size_t start = position;
    while (start < text.size() && text[start] == ' ') ++start;
    const std::size_t first = ChainMemo::Node(start, true);
    ResolveChain(text, start);
    // An assignment: a second token "=", a third, and no ":" to join them.
    const auto ends = [&](std::size_t at) { return (chains_.Flags(at) & ChainMemo::kEnd) != 0; };
    if (!ends(first) && (chains_.Flags(first) & ChainMemo::kColonAhead) == 0) {
        const std::size_t second = chains_.Next(first);
        if (!ends(second) && (chains_.Flags(second) & ChainMemo::kEquals) != 0 && !ends(chains_.Next(second)))
            return false;
    }
    const std::size_t last = chains_.Last(first);
    ReportExpressionEnd(text, ChainMemo::Position(last), ChainMemo::OperandExpected(last));
    return true;
}
