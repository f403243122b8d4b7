#pragma once
// The walk of a bracketed group, and an index that answers many group scans
// of one long text from a single walk over it.
//
// A group that is never closed runs to the end of its text, so a text with
// many of them ("a[ a[ a[ ...") is walked once per group: compiling it takes
// time quadratic in its length. The index walks the text once from its start,
// noting the bracket depths and the string state at every byte a scan looks
// at. A scan from any of those bytes is the same walk with its depths counted
// from where it starts, so it ends where the depths first come back to their
// start (the closer), first drop below it (a closer with no opener) or a
// string first meets a line end; each is found by a search, not a walk.

#include <array>
#include <cstddef>
#include <map>
#include <string_view>
#include <vector>

#include "foundation/text_encoding.h"
#include "foundation/types.h"

namespace compilergroups {

// The bytes a group walk has to look at: quotes, brackets, line ends and
// every byte that is not plain ASCII (its UTF-8 step may be longer than one).
constexpr std::array<bool, 256> MakeGroupBytes() {
    std::array<bool, 256> table{};
    for (char c : std::string_view("\"()[]{}\r\n")) table[static_cast<u8>(c)] = true;
    for (int b = 0x80; b < 256; ++b) table[static_cast<std::size_t>(b)] = true;
    return table;
}
inline constexpr std::array<bool, 256> kGroupByte = MakeGroupBytes();

// One step of a walk over UTF-8: never zero, never past the end.
inline std::size_t StepAt(std::string_view text, std::size_t pos) {
    const int length = Utf8SequenceLength(static_cast<u8>(text[pos]));
    const std::size_t step = length == 0 ? 1 : static_cast<std::size_t>(length);
    return step < text.size() - pos ? step : text.size() - pos;
}

// Quotes switch a string state; outside strings three depth counters follow
// the brackets.
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
            case '(':
                ++paren;
                break;
            case ')':
                --paren;
                break;
            case '[':
                ++bracket;
                break;
            case ']':
                --bracket;
                break;
            case '{':
                ++brace;
                break;
            case '}':
                --brace;
                break;
            default:
                break;
        }
        return paren >= 0 && bracket >= 0 && brace >= 0;
    }
    bool AtTopLevel() const { return !inString && paren == 0 && bracket == 0 && brace == 0; }
};

// Where a scan of a group from its opener ends.
struct GroupEnd {
    enum Kind { Refused, Closed, Open } kind = Refused;
    // Closed: one past the closer. Open: where the text stops for the group
    // (its end, or a line end inside a string).
    std::size_t end = 0;
    // Open: the depths and string state left to close.
    BracketDepths left;
};

class GroupScanIndex {
  public:
    explicit GroupScanIndex(std::string_view text);
    // The scan of the group whose opener is at `opener`; false when the walk
    // from the start does not step on that byte (inside a long UTF-8 step),
    // so the caller walks itself.
    bool Scan(std::size_t opener, GroupEnd& out);

  private:
    static constexpr u32 kNone = ~u32{0};
    // State s is the walk's before the visited byte s and after byte s - 1.
    struct Walk {
        bool built = false;
        std::vector<std::array<int32, 3>> depths;
        std::vector<u8> inString;
        std::array<std::vector<u32>, 3> nextLower;  // first later state with that depth lower
        std::vector<u32> nextBreak;                 // first later state after a line end met in a string
        std::map<std::array<int32, 3>, std::vector<u32>> outsideStrings;  // states by depths, ascending
    };
    void Build(Walk& walk, bool startsInString) const;

    std::string_view text_;
    std::vector<u32> visited_;   // positions of the bytes a walk looks at, ascending
    std::array<Walk, 2> walks_;  // starting outside and inside a string
};

}  // namespace compilergroups
