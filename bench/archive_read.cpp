// ReadWholeFile from an archive of 20,000 entries against reading the same
// bytes as a loose file, and the name lookup alone for growing archives.
//
//   bench_archive_read                      all of it
//   bench_archive_read --benchmark_filter=Lookup
//
// Everything is in the page cache after the first round, so the figures show
// the engine's own overhead (open, index lookup, seek, copy), not the disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/archive.h"
#include "foundation/file.h"

namespace {

namespace fs = std::filesystem;

void PutU32(std::vector<u8>& out, std::size_t at, u32 v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<u8>(v >> (8 * i));
}

std::string EntryName(int i) {
    return "image\\bg\\scene" + std::to_string(i) + ".png";
}

// An archive of `count` small entries plus one entry "target.bin" holding
// `target` (the last in the index, so a linear search would pay the most).
void WriteArchive(const fs::path& path, int count, const std::vector<u8>& target) {
    const u32 records = static_cast<u32>(count + 1);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(EntryName(i));
    names.push_back("target.bin");
    const std::vector<u8> small(512, 0x5A);
    std::vector<u8> out(24 + records * 20);
    PutU32(out, 16, 24);
    PutU32(out, 20, records * 20);
    for (u32 i = 0; i < records; ++i) {
        PutU32(out, 24 + i * 20, static_cast<u32>(out.size()));
        PutU32(out, 24 + i * 20 + 4, static_cast<u32>(names[i].size() + 1));
        out.insert(out.end(), names[i].begin(), names[i].end());
        out.push_back(0);
    }
    for (u32 i = 0; i < records; ++i) {
        const auto& data = i + 1 == records ? target : small;
        PutU32(out, 24 + i * 20 + 8, static_cast<u32>(out.size()));
        PutU32(out, 24 + i * 20 + 12, static_cast<u32>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

std::vector<u8> Payload(std::size_t size) {
    std::vector<u8> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<u8>(i * 131 + 7);
    return bytes;
}

// One working folder per payload size: data01.qvc (20,000 entries + target)
// and "loose.bin" with the same bytes.
class Workspace {
  public:
    explicit Workspace(std::size_t payload) {
        folder_ = fs::temp_directory_path() /
                  ("velk2-bench-" + std::to_string(::getpid()) + "-" + std::to_string(payload));
        fs::create_directories(folder_);
        const auto bytes = Payload(payload);
        WriteArchive(folder_ / "data01.qvc", 20000, bytes);
        std::ofstream(folder_ / "loose.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        previous_ = fs::current_path();
        fs::current_path(folder_);
        ResetArchivesForTesting();
    }
    ~Workspace() {
        ResetArchivesForTesting();
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

  private:
    fs::path folder_, previous_;
};

void BM_ReadWholeFile_Archive(benchmark::State& state) {
    Workspace workspace(static_cast<std::size_t>(state.range(0)));
    std::vector<u8> out;
    for (auto _ : state) {
        if (!ReadWholeFile("TARGET.BIN", out, false)) state.SkipWithError("not found");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_ReadWholeFile_Loose(benchmark::State& state) {
    Workspace workspace(static_cast<std::size_t>(state.range(0)));
    std::vector<u8> out;
    for (auto _ : state) {
        if (!ReadWholeFile("loose.bin", out, false)) state.SkipWithError("not found");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The floor: open, size, one read, close of the loose file, nothing else.
void BM_PlainRead_Loose(benchmark::State& state) {
    Workspace workspace(static_cast<std::size_t>(state.range(0)));
    std::vector<u8> out;
    for (auto _ : state) {
        classFile file;
        file.OpenRead("loose.bin", false);
        out.resize(file.GetSize());
        if (file.Read(out.data(), out.size()) != out.size()) state.SkipWithError("short read");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The lookup alone (index already in memory) in archives of growing size.
void BM_ArchiveLookup(benchmark::State& state) {
    const fs::path path = fs::temp_directory_path() / ("velk2-bench-lookup-" + std::to_string(::getpid()) +
                                                       "-" + std::to_string(state.range(0)) + ".qvc");
    WriteArchive(path, static_cast<int>(state.range(0)), Payload(16));
    classArchive archive;
    archive.SetFileName(path.string());
    archive.LoadIndex();
    int i = 0;
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> queries;
    for (int k = 0; k < 64; ++k) queries.push_back(EntryName((k * 7919) % count));
    queries.push_back("TARGET.BIN");
    for (auto _ : state) {
        const classArchiveEntry* entry = archive.Find(queries[i]);
        benchmark::DoNotOptimize(entry);
        if (++i == static_cast<int>(queries.size())) i = 0;
    }
    state.counters["entries"] = static_cast<double>(archive.Count());
    std::error_code ec;
    fs::remove(path, ec);
}

}  // namespace

BENCHMARK(BM_ReadWholeFile_Archive)->Arg(4 << 10)->Arg(256 << 10)->Arg(4 << 20);
BENCHMARK(BM_ReadWholeFile_Loose)->Arg(4 << 10)->Arg(256 << 10)->Arg(4 << 20);
BENCHMARK(BM_PlainRead_Loose)->Arg(4 << 10)->Arg(256 << 10)->Arg(4 << 20);
BENCHMARK(BM_ArchiveLookup)->Arg(1000)->Arg(20000)->Arg(100000);
