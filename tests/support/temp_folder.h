#pragma once
// A private folder under the system's temporary folder for one test, removed
// with everything in it when the test ends, and small helpers to put bytes in
// it and read them back.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/types.h"

namespace testfiles {

class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("velk2-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a relative name inside the folder ("/" separators).
    std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

    // Writes a file, creating its parent folders.
    void Put(const std::string& relative, const std::vector<u8>& bytes) const {
        const auto full = path_ / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void Put(const std::string& relative, const std::string& text) const {
        Put(relative, std::vector<u8>(text.begin(), text.end()));
    }
    std::vector<u8> Get(const std::string& relative) const {
        std::ifstream in(path_ / relative, std::ios::binary);
        return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string GetText(const std::string& relative) const {
        const auto bytes = Get(relative);
        return std::string(bytes.begin(), bytes.end());
    }
    // Names of the entries directly inside a subfolder ("" for the folder itself).
    std::vector<std::string> List(const std::string& relative = "") const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_ / relative)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

  private:
    std::filesystem::path path_;
};

// Makes a folder the working directory for one test and restores the old one.
class ScopedWorkingDirectory {
  public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingDirectory() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};

}  // namespace testfiles
