// Base64 array blocks at project-file sizes: a 1M-vertex position array (12 MB).
#include "QORMemory.h"
#include "QORTextBlock.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<unsigned char> VertexBytes()
{
    std::vector<unsigned char> bytes(size_t(1'000'000) * 12);
    unsigned state = 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

void BM_SaveBinaryDataToTextFile(benchmark::State& state)
{
    std::vector<unsigned char> bytes = VertexBytes();
    FILE* file = std::tmpfile();
    for (auto _ : state) {
        std::rewind(file);
        benchmark::DoNotOptimize(SaveBinaryDataToTextFile(file, bytes.data(), int(bytes.size()), "Vertices"));
    }
    std::fclose(file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_SaveBinaryDataToTextFile)->Unit(benchmark::kMillisecond);

void BM_LoadBinaryDataArrayFromTextFile(benchmark::State& state)
{
    std::vector<unsigned char> bytes = VertexBytes();
    FILE* file = std::tmpfile();
    SaveBinaryDataToTextFile(file, bytes.data(), int(bytes.size()), "Vertices");
    for (auto _ : state) {
        std::rewind(file);
        int count = 0;
        void* data = LoadBinaryDataArrayFromTextFile(file, &count);
        benchmark::DoNotOptimize(data);
        QORfree(data);
    }
    std::fclose(file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_LoadBinaryDataArrayFromTextFile)->Unit(benchmark::kMillisecond);

}  // namespace
