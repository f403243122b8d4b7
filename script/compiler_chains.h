#pragma once
// What the statement parser has learnt about the expressions of the text it
// parses, so that no expression is split again from every name inside it.
//
// A word that names a declared variable opens an assignment only when the
// expression split from it has "=" as its second token, a third token and no
// ":" (a ":" joins every token into one path). When it is no assignment the
// parser moves on by the word alone, and the next declared name inside the
// same expression splits the rest of it again: "a + a + a + ..." would take
// time quadratic in its length. But the tokenizer is a small state machine:
// from a position and a state (operand or operator expected) its walk is
// always the same. So each (position, state) is a node whose token, next
// node, last node and "a ':' follows" answer are found once and kept. The
// last node tells what the split says when it ends at an undeclared name.
// Most scripts never split an expression twice, and the nodes cost room in
// proportion to the text, so they are kept only once splits that found no
// assignment have walked the text twice over.
//
// The walk depends on the text and on which words are declared names. The
// text is fixed while it is parsed; a name declared meanwhile changes the
// walks only where that word was looked up and not found, so the nodes are
// forgotten when such a word is declared here, or when any compile elsewhere
// declares a name.

#include <cstddef>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/types.h"
#include "script/declared_names.h"

namespace compilerchains {

// When the nodes are kept: never (every split walks afresh, as the compiler
// first did), once splits that found no assignment have walked far, or from
// the start of the text. The tables are the same every way.
enum class Memory { Never, OnceWalkedFar, Always };

class ChainMemo {
  public:
    // Flags of a node.
    static constexpr u8 kStepped = 1;       // its token has been read
    static constexpr u8 kEnd = 2;           // no token starts there
    static constexpr u8 kEquals = 4;        // its token is "="
    static constexpr u8 kColon = 8;         // its token is a path's ":"
    static constexpr u8 kResolved = 16;     // kColonAhead is known
    static constexpr u8 kColonAhead = 32;   // a ":" is at this node or after it
    static constexpr u8 kUnknownName = 64;  // no token: an undeclared name-like word stands there

    // Starts on a new text, knowing nothing.
    void Begin(std::string_view text, Memory memory);
    // Whether nodes of this text are kept by now.
    bool Keeps(std::string_view text) const;
    // A split of this text that found no assignment walked so far; true when
    // from now on the nodes are kept.
    bool Walked(std::string_view text, std::size_t bytes);
    // Forgets every node when some compile has declared a name since they were
    // read.
    void Follow(u64 declarations);
    // This compile has declared `name`: one declaration more is expected, and
    // the nodes are forgotten if a walk looked the word up.
    void Declared(std::string_view name);

    static std::size_t Node(std::size_t position, bool operandExpected) {
        return position * 2 + (operandExpected ? 1 : 0);
    }
    static std::size_t Position(std::size_t node) { return node / 2; }
    static bool OperandExpected(std::size_t node) { return (node & 1) != 0; }

    u8 Flags(std::size_t node) const { return flags_[node]; }
    std::size_t Next(std::size_t node) const { return next_[node]; }
    // The node at which the expression through this one ends; once resolved.
    std::size_t Last(std::size_t node) const { return last_[node]; }
    void SetStep(std::size_t node, u8 flags, std::size_t next, std::string_view undeclared);
    void Resolve(std::size_t node, bool colonAhead, std::size_t last);

  private:
    void Forget();

    std::string_view text_;
    bool covered_ = false;
    Memory memory_ = Memory::Never;
    bool keeping_ = false;
    std::size_t walked_ = 0;
    u64 declarations_ = 0;
    std::vector<u8> flags_;
    std::vector<u32> next_;
    std::vector<u32> last_;
    std::vector<u32> touched_;  // nodes whose flags are set, so forgetting costs what was learnt
    std::unordered_set<std::string_view, DeclaredNameHash, std::equal_to<>> lookedUp_;
};

}  // namespace compilerchains
