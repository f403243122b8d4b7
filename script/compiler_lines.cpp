// The first pass of a compile: the text is rewritten so that the statement
// parser sees one long run of statements separated by plain spaces.

#include <cstring>

#include "platform/dialog.h"
#include "script/script_compiler.h"

namespace {

// Line breaks count lines: LF, U+0085, U+2028, U+2029. A CR alone does not,
// so CR LF counts once.
std::size_t LineBreakLength(const std::string& text, std::size_t pos) {
    const std::size_t n = text.size();
    const auto b = [&](std::size_t i) { return static_cast<u8>(text[i]); };
    switch (b(pos)) {
        case 0x0A:
            return 1;
        case 0xC2:
            return pos + 1 < n && b(pos + 1) == 0x85 ? 2 : 0;
        case 0xE2:
            return pos + 2 < n && b(pos + 1) == 0x80 && (b(pos + 2) == 0xA8 || b(pos + 2) == 0xA9) ? 3 : 0;
        default:
            return 0;
    }
}

// Blanks become spaces: the line breaks, CR, TAB, the ideographic space
// U+3000 and the byte-order mark U+FEFF.
std::size_t BlankLength(const std::string& text, std::size_t pos) {
    const std::size_t n = text.size();
    const auto b = [&](std::size_t i) { return static_cast<u8>(text[i]); };
    switch (b(pos)) {
        case 0x0D:
        case 0x09:
            return 1;
        case 0xE3:
            return pos + 2 < n && b(pos + 1) == 0x80 && b(pos + 2) == 0x80 ? 3 : 0;
        case 0xEF:
            return pos + 2 < n && b(pos + 1) == 0xBB && b(pos + 2) == 0xBF ? 3 : 0;
        default:
            return LineBreakLength(text, pos);
    }
}

// Where a comment starting at pos stops: the nearest CR or line break, or
// the end of the text.
std::size_t CommentEnd(const std::string& text, std::size_t pos) {
    for (std::size_t i = pos; i < text.size(); ++i) {
        const u8 c = static_cast<u8>(text[i]);
        if (c == 0x0D || ((c == 0x0A || c == 0xC2 || c == 0xE2) && LineBreakLength(text, i) != 0)) return i;
    }
    return text.size();
}

void ReportUnterminatedString(const std::string& scriptName, int line) {
    std::string message = "filename:" + scriptName + "\nline:" + std::to_string(line);
    // A script compiled again (called in a loop, a side script started
    // again) would box the player in with the same text over and over.
    if (!TakeBoxTurn("Test Terminator Not Found", message, QuotedName(scriptName) + ", line " + std::to_string(line)))
        return;
    platform::ShowMessageBox(message, "Test Terminator Not Found", platform::DialogButtons::Ok,
                             platform::DialogIcon::Warning);
}

}  // namespace

bool classScriptCompiler::Compile(std::string text) {
    PrepareLines(text);
    ParseStatements(text);
    FixLabels();
    LinkBlocks();
    return true;
}

bool classScriptCompiler::PrepareLines(std::string& text) {
    const std::size_t n = text.size();
    int line = 1;
    lineBreaks_.clear();
    bool inString = false;
    std::size_t stringStart = 0;
    // The writer looks for the quote, not for the break that ended its line.
    int stringLine = 1;
    for (std::size_t pos = 0; pos < n; ++pos) {
        const u8 c = static_cast<u8>(text[pos]);
        // Most bytes are none of the ones the pass cares about.
        switch (c) {
            case '"':
            case '/':
            case 0x09:
            case 0x0A:
            case 0x0D:
            case 0xC2:
            case 0xE2:
            case 0xE3:
            case 0xEF:
                break;
            default:
                continue;
        }
        if (c == '"') {
            inString = !inString;
            stringStart = pos;
            stringLine = line;
        }
        const std::size_t lineBreak = LineBreakLength(text, pos);
        if (lineBreak != 0) {
            ++line;
            lineBreaks_.push_back(pos);
        }
        if (inString && (c == 0x0D || lineBreak != 0)) {
            // A literal cannot span lines. The rest of the line is then read
            // as ordinary tokens, as scripts have always been compiled.
            inString = false;
            text[stringStart] = ' ';
            ReportUnterminatedString(scriptName_, stringLine);
        }
        if (inString) continue;
        if (const std::size_t blank = BlankLength(text, pos); blank != 0) {
            std::memset(&text[pos], ' ', blank);
            continue;
        }
        if (c == '/' && pos + 1 < n && text[pos + 1] == '/') {
            const std::size_t end = CommentEnd(text, pos);
            std::memset(&text[pos], ' ', end - pos);
        }
    }
    // A script whose last line has no line end leaves its last literal open
    // at the end of the text: the writer is told of it as of any other, and
    // the parser still reads it to the end as it always has.
    if (inString) ReportUnterminatedString(scriptName_, stringLine);
    return true;
}
