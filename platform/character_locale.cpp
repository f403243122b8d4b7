#include "platform/character_locale.h"

#include <langinfo.h>

#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <string>

namespace platform {
namespace {

bool CharacterSetIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

}  // namespace

bool UseUtf8CharacterLocale() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string previous = current != nullptr ? current : "C";
    if (std::setlocale(LC_CTYPE, "") != nullptr && CharacterSetIsUtf8()) return true;
    // Debian's C library carries "C.UTF-8" itself; older ones spell it "C.utf8".
    for (const char* name : {"C.UTF-8", "C.utf8"}) {
        if (std::setlocale(LC_CTYPE, name) != nullptr && CharacterSetIsUtf8()) return true;
    }
    std::setlocale(LC_CTYPE, previous.c_str());
    return false;
}

void SkipComposeSequences() {
    setenv("XCOMPOSEFILE", "/dev/null", 1);
}

}  // namespace platform
