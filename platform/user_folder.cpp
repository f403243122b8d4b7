#include "platform/user_folder.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

std::string UserDataHome() {
    const char* dataHome = getenv("XDG_DATA_HOME");
    // Relative values are invalid by the XDG rules and are ignored.
    if (dataHome != nullptr && dataHome[0] == '/') {
        std::string result(dataHome);
        while (result.size() > 1 && result.back() == '/') result.pop_back();
        return result;
    }
    std::string home;
    const char* homeVariable = getenv("HOME");
    if (homeVariable != nullptr && homeVariable[0] == '/') {
        home = homeVariable;
    } else if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        home = entry->pw_dir;
    }
    // Without a home, files would land relative to the game's folder; the
    // caller reports that instead.
    if (home.empty() || home[0] != '/') return "";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.local/share";
}

bool CreateDirectoryTree(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

}  // namespace platform
