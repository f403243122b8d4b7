#include "script/compiler_group_walk.h"

#include <algorithm>

namespace compilergroups {

GroupScanIndex::GroupScanIndex(std::string_view text) : text_(text) {
    // The bytes a walk looks at do not depend on where it starts, once it
    // steps on the same byte: plain ASCII moves by one, the rest by its step.
    for (std::size_t q = 0; q < text.size();) {
        if (!kGroupByte[static_cast<u8>(text[q])]) {
            ++q;
            continue;
        }
        visited_.push_back(static_cast<u32>(q));
        q += StepAt(text, q);
    }
}

void GroupScanIndex::Build(Walk& walk, bool startsInString) const {
    const std::size_t states = visited_.size() + 1;
    walk.depths.resize(states);
    walk.inString.resize(states);
    BracketDepths depths;
    depths.inString = startsInString;
    std::vector<u8> breaks(states, 0);
    for (std::size_t s = 0;; ++s) {
        walk.depths[s] = {depths.paren, depths.bracket, depths.brace};
        walk.inString[s] = depths.inString ? 1 : 0;
        if (s == visited_.size()) break;
        const char c = text_[visited_[s]];
        // A scan that meets a line end inside a string stops before it; the
        // walk goes on for scans that start later.
        if (depths.inString && (c == '\r' || c == '\n')) breaks[s] = 1;
        depths.Follow(c);
    }
    for (int k = 0; k < 3; ++k) {
        std::vector<u32>& next = walk.nextLower[static_cast<std::size_t>(k)];
        next.assign(states, kNone);
        std::vector<u32> stack;
        for (std::size_t s = states; s-- > 0;) {
            while (!stack.empty() && walk.depths[stack.back()][static_cast<std::size_t>(k)] >=
                                         walk.depths[s][static_cast<std::size_t>(k)])
                stack.pop_back();
            if (!stack.empty()) next[s] = stack.back();
            stack.push_back(static_cast<u32>(s));
        }
    }
    walk.nextBreak.assign(states, kNone);
    u32 later = kNone;
    for (std::size_t s = states; s-- > 0;) {
        walk.nextBreak[s] = later;
        if (breaks[s] != 0) later = static_cast<u32>(s);
    }
    for (std::size_t s = 0; s < states; ++s)
        if (walk.inString[s] == 0) walk.outsideStrings[walk.depths[s]].push_back(static_cast<u32>(s));
    walk.built = true;
}

bool GroupScanIndex::Scan(std::size_t opener, GroupEnd& out) {
    const auto at = std::lower_bound(visited_.begin(), visited_.end(), static_cast<u32>(opener));
    if (at == visited_.end() || *at != opener) return false;
    const std::size_t start = static_cast<std::size_t>(at - visited_.begin());
    // A scan starts outside a string: of the two walks, the one that is
    // outside one here counts exactly as the scan does from here on.
    if (!walks_[0].built) Build(walks_[0], false);
    std::size_t which = walks_[0].inString[start] == 0 ? 0 : 1;
    if (!walks_[which].built) Build(walks_[which], which == 1);
    const Walk& walk = walks_[which];
    const std::array<int32, 3>& base = walk.depths[start];

    // Bytes (indices into visited_) where each ending happens, kNone if never.
    u32 refused = kNone;
    for (const std::vector<u32>& next : walk.nextLower)
        if (next[start] != kNone) refused = std::min(refused, next[start] - 1);
    u32 closed = kNone;
    const std::vector<u32>& same = walk.outsideStrings.at(base);
    if (auto later = std::upper_bound(same.begin(), same.end(), static_cast<u32>(start)); later != same.end())
        closed = *later - 1;
    const u32 stopped = walk.nextBreak[start];

    const u32 first = std::min({refused, closed, stopped});
    out = GroupEnd{};
    if (first == kNone || first == stopped) {
        const std::size_t state = first == kNone ? visited_.size() : stopped;
        out.kind = GroupEnd::Open;
        out.end = first == kNone ? text_.size() : visited_[stopped];
        out.left.paren = walk.depths[state][0] - base[0];
        out.left.bracket = walk.depths[state][1] - base[1];
        out.left.brace = walk.depths[state][2] - base[2];
        out.left.inString = walk.inString[state] != 0;
        return true;
    }
    if (first == refused) {
        out.kind = GroupEnd::Refused;
        return true;
    }
    const char c = text_[visited_[closed]];
    out.kind = GroupEnd::Closed;
    out.end = visited_[closed] + ((c == ')' || c == ']' || c == '}') ? 1 : 0);
    return true;
}

}  // namespace compilergroups
