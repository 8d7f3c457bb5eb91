// Throughput of what every upload pays per byte: the SHA-256 payload hash and the CRC64NVME
// checksum (both the carry-less-multiply and the table version), over a 100 MiB buffer.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "core/Crc.h"
#include "core/Crypto.h"

namespace {
const std::string& Buffer() {
    static const std::string buffer = [] {
        std::string data(100 * 1024 * 1024, '\0');
        std::mt19937_64 random(1);
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            uint64_t value = random();
            data.replace(i, 8, reinterpret_cast<const char*>(&value), 8);
        }
        return data;
    }();
    return buffer;
}

void Sha256(benchmark::State& state) {
    const std::string& data = Buffer();
    for (auto _ : state) {
        auto hash = Aws::Internal::MakeHash(Aws::Internal::HashKind::SHA256);
        hash->Update(data.data(), data.size());
        benchmark::DoNotOptimize(hash->Finish());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void Crc64NvmeDispatched(benchmark::State& state) {
    const std::string& data = Buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Aws::Internal::Crc64NvmeUpdate(~0ull, data.data(), data.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void Crc64NvmeTable(benchmark::State& state) {
    const std::string& data = Buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Aws::Internal::Crc64NvmeUpdatePortable(~0ull, data.data(), data.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void Sha256AndCrc64Nvme(benchmark::State& state) {
    const std::string& data = Buffer();
    for (auto _ : state) {
        auto sha = Aws::Internal::MakeHash(Aws::Internal::HashKind::SHA256);
        auto crc = Aws::Internal::MakeHash(Aws::Internal::HashKind::CRC64NVME);
        // In 256 KiB slices, as an upload feeds them.
        for (size_t at = 0; at < data.size(); at += 256 * 1024) {
            sha->Update(data.data() + at, 256 * 1024);
            crc->Update(data.data() + at, 256 * 1024);
        }
        benchmark::DoNotOptimize(sha->Finish());
        benchmark::DoNotOptimize(crc->Finish());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
}  // namespace

BENCHMARK(Sha256)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc64NvmeDispatched)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc64NvmeTable)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256AndCrc64Nvme)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
