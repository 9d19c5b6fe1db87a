// Micro-benchmark: crc_of_bytes (and its portable and byte-wise paths) against zlib's crc32
// over 64 KiB buffers; prints GB/s and the ratio to zlib. zlib is linked into this benchmark
// only, as the yardstick.
#include "crc.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t buffer_size = 64 * 1024;

const std::vector<std::uint8_t> &buffer()
{
    static std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(buffer_size);
        std::uint32_t x = 2463534242u;
        for (std::uint8_t &b : d) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = static_cast<std::uint8_t>(x);
        }
        return d;
    }();
    return data;
}

template <std::uint32_t (*crc)(const std::uint8_t *, std::size_t, std::size_t, std::uint32_t)>
void bm_ours(benchmark::State &state)
{
    const std::vector<std::uint8_t> &data = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc(data.data(), data.size(), 0, 0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void bm_zlib(benchmark::State &state)
{
    const std::vector<std::uint8_t> &data = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0L, data.data(), static_cast<uInt>(data.size())));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

BENCHMARK(bm_zlib)->Name("zlib crc32");
BENCHMARK(bm_ours<crc_of_bytes>)->Name("crc_of_bytes");
BENCHMARK(bm_ours<crc_of_bytes_sliced>)->Name("crc_of_bytes_sliced");
BENCHMARK(bm_ours<crc_of_bytes_bytewise>)->Name("crc_of_bytes_bytewise");

// Keeps the console output and collects each benchmark's rate for the summary.
class rate_reporter : public benchmark::ConsoleReporter {
  public:
    std::vector<std::pair<std::string, double>> bytes_per_second; // in run order
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end() && run.run_type == Run::RT_Iteration)
                bytes_per_second.emplace_back(run.benchmark_name(), found->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The benchmark only means something if both give the same value.
bool same_values()
{
    const std::vector<std::uint8_t> &data = buffer();
    auto theirs =
        static_cast<std::uint32_t>(crc32(0L, data.data(), static_cast<uInt>(buffer_size)));
    return crc_of_bytes(data.data(), buffer_size) == theirs &&
           crc_of_bytes_sliced(data.data(), buffer_size) == theirs &&
           crc_of_bytes_bytewise(data.data(), buffer_size) == theirs;
}

void print_summary(const rate_reporter &reporter)
{
    double zlib_rate = 0;
    for (const auto &[name, rate] : reporter.bytes_per_second)
        if (name == "zlib crc32")
            zlib_rate = rate;
    std::printf("\nCRC-32 over 64 KiB buffers (crc_of_bytes folds with carry-less "
                "multiplication: %s)\n\n| path | GB/s | vs zlib crc32 |\n|---|---:|---:|\n",
                crc_uses_clmul() ? "yes" : "no");
    for (const auto &[name, rate] : reporter.bytes_per_second)
        std::printf("| %s | %.2f | %.2fx |\n", name.c_str(), rate / 1e9,
                    zlib_rate > 0 ? rate / zlib_rate : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    crc_build_table();
    if (!same_values()) {
        std::fprintf(stderr, "crc_bench: crc_of_bytes and zlib's crc32 disagree\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    rate_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_summary(reporter);
    return 0;
}
