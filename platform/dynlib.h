#pragma once
// A shared library opened at run time: the optional pre-converter of script
// sources, and test stand-ins for it. Only an explicit path is opened (a name
// with a "/"), never one found by a search of the system's library folders.
// Not shared between threads without the owner's own lock.

#include <string>

namespace platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Close(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // False when the file is missing, is no regular file (a pipe would hold
    // the loader) or is no loadable library; a library
    // already open stays open then.
    bool Open(const std::string& path);
    bool IsOpen() const { return handle_ != nullptr; }
    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    void Close();

  private:
    void* handle_ = nullptr;
};

}  // namespace platform
