// File streams: small reads through the read-ahead buffer against whole-file loads, on a
// 4 MiB file in the temp folder (page cache warm after the first pass).
#include "core/IStreamFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kFileSize = 4u << 20;

const std::string& benchFile()
{
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "mirvo-bench-stream.bin";
        std::vector<char> bytes(kFileSize);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(i * 31u);
        }
        FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        return file.string();
    }();
    return path;
}

// A decoder's pattern: many reads of a few bytes each.
void BM_IStreamFileSmallReads(benchmark::State& state)
{
    const auto pieceSize = static_cast<std::size_t>(state.range(0));
    std::vector<char> piece(pieceSize);
    for (auto _ : state) {
        mirvo::IStreamFileRef stream = mirvo::loadFileStream(benchFile());
        std::size_t total = 0;
        while (std::size_t got = stream->readDataAvailable(piece.data(), pieceSize)) {
            total += got;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFileSize));
}
BENCHMARK(BM_IStreamFileSmallReads)->Arg(16)->Arg(512)->Arg(4096);

void BM_LoadStreamBuffer(benchmark::State& state)
{
    for (auto _ : state) {
        const mirvo::Buffer buffer = mirvo::loadStreamBuffer(mirvo::loadFileStream(benchFile()));
        benchmark::DoNotOptimize(buffer.getData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFileSize));
}
BENCHMARK(BM_LoadStreamBuffer);

} // namespace
