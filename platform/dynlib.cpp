#include "platform/dynlib.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace platform {

bool DynamicLibrary::Open(const std::string& path) {
    if (path.find('/') == std::string::npos) return false;
    // The loader would wait in open() on a pipe standing in a game's folder.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    Close();
    handle_ = handle;
    return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return ::dlsym(handle_, name);
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace platform
