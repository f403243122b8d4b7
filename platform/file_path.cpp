#include "platform/file_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace platform {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// The entry of `folder` that matches `component` ignoring case; the smallest
// in byte order when there are several, so the choice does not depend on the
// order the file system lists them in.
bool FindIgnoringCase(const std::string& folder, std::string_view component, std::string& found) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (SameIgnoringCase(name, component) && (!any || name < found)) {
            found.assign(name);
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

}  // namespace

std::string ToSlashPath(std::string_view name) {
    std::string plain(name);
    for (char& c : plain) {
        if (c == '\\') c = '/';
    }
    return plain;
}

std::string ResolveLoosePath(std::string_view name) {
    const std::string plain = ToSlashPath(name);
    if (plain.empty() || Exists(plain)) return plain;

    // Walk component by component; `resolved` always names something that
    // exists (or is the empty start), so each listing is of a real folder.
    std::string resolved;
    std::size_t pos = 0;
    if (plain[0] == '/') {
        resolved = "/";
        pos = 1;
    }
    while (pos <= plain.size()) {
        std::size_t slash = plain.find('/', pos);
        if (slash == std::string::npos) slash = plain.size();
        const std::string_view component(plain.data() + pos, slash - pos);
        pos = slash + 1;
        if (component.empty()) continue;
        std::string next = resolved;
        if (!next.empty() && next.back() != '/') next.push_back('/');
        if (component == "." || component == "..") {
            next.append(component);
        } else {
            const std::string exact = next + std::string(component);
            std::string found;
            if (Exists(exact)) {
                next = exact;
            } else if (FindIgnoringCase(resolved, component, found)) {
                next += found;
            } else {
                return plain;
            }
        }
        resolved = std::move(next);
    }
    return resolved;
}

}  // namespace platform
