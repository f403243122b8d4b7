// Opens the movie module beside the program the first time a movie is asked
// for. Without it (or with a module of another build) every movie fails to
// open, as a damaged file does, and the rest of the game plays on.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/dynlib.h"
#include "platform/movie.h"
#include "platform/movie/movie_module.h"

namespace platform {

namespace {

class MemorySource final : public MovieByteSource {
  public:
    MemorySource(const u8* bytes, size_t size) : bytes_(bytes), size_(size) {}
    u64 Size() const override { return size_; }
    u64 ReadAt(u64 offset, void* out, u64 n) override {
        if (offset >= size_) return 0;
        const u64 count = std::min<u64>(n, size_ - offset);
        std::copy_n(bytes_ + offset, count, static_cast<u8*>(out));
        return count;
    }

  private:
    const u8* bytes_;
    size_t size_;
};

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return {};
    const std::string program(path, static_cast<size_t>(length));
    const size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

struct LoadedModule {
    const MovieModuleEntries* entries = nullptr;
    std::string problem;  // why there are no entries
};

LoadedModule LoadEntries() {
    // Never closed: players made by the module may outlive any owner here.
    static DynamicLibrary* const library = new DynamicLibrary;
    const std::string folder = ProgramFolder();
    const std::string path = folder + "/velk2_movie.so";
    if (folder.empty() || !library->Open(path))
        return {nullptr, "the movie module \"" + path + "\" is missing or cannot be loaded"};
    auto entry = reinterpret_cast<const MovieModuleEntries* (*)()>(library->Symbol("velk2_movie_module"));
    const MovieModuleEntries* entries = entry != nullptr ? entry() : nullptr;
    if (entries == nullptr || entries->version != kMovieModuleVersion)
        return {nullptr, "the movie module \"" + path + "\" belongs to another build of the program"};
    return {entries, {}};
}

const LoadedModule& Module() {
    static const LoadedModule module = LoadEntries();
    return module;
}

const MovieModuleEntries* MovieModule() {
    return Module().entries;
}

}  // namespace

std::unique_ptr<MoviePlayer> OpenMovie(std::unique_ptr<MovieByteSource> source, const MovieOptions& options) {
    const MovieModuleEntries* module = source != nullptr ? MovieModule() : nullptr;
    if (module == nullptr) return nullptr;
    return std::unique_ptr<MoviePlayer>(module->open(source.release(), options));
}

bool ScanMovie(MovieByteSource& source, int64 maxPictures, MovieScan* scan) {
    const MovieModuleEntries* module = MovieModule();
    if (module == nullptr) {
        if (scan != nullptr) *scan = MovieScan{};
        return false;
    }
    return module->scan(source, maxPictures, scan);
}

std::string MovieModuleProblem() {
    return Module().problem;
}

std::unique_ptr<MovieByteSource> MemoryMovieSource(const u8* bytes, size_t size) {
    return std::make_unique<MemorySource>(bytes, size);
}

}  // namespace platform
