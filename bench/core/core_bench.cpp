// Speed of the core helpers that run in hot paths: distances of every aircraft to many stands each
// cycle, log lines from many threads, and reading large text files.

#include "core/geodesy.h"
#include "core/log.h"
#include "core/textfile.h"
#include "platform/os/folders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

void BM_DistanceNm(benchmark::State& state) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> lat(-80, 80), lon(-180, 180);
    std::vector<Lalo> points(1024);
    for (auto& p : points)
        p = {lat(rng), lon(rng)};
    const Lalo user{47.46, 8.55};
    for (auto _ : state) {
        double sum = 0;
        for (const auto& p : points)
            sum += gf_distanceNm(user, p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}
BENCHMARK(BM_DistanceNm);

void BM_DestinationPoint(benchmark::State& state) {
    Lalo p{47.46, 8.55};
    for (auto _ : state) {
        p = gf_destinationPoint(p, 1.2, 250.0);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_DestinationPoint);

// A temporary folder for the files of the benchmarks, removed at exit.
struct BenchFolder {
    std::filesystem::path path;
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "skyloom-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~BenchFolder() {
        gf_resetLogForTests();
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

const std::filesystem::path& benchFolder() {
    static const BenchFolder folder;
    return folder.path;
}

// One log line per iteration on every thread.
void BM_LogLine(benchmark::State& state) {
    if (state.thread_index() == 0 && !gf_logIsOpen()) {
        os::setWorkingFolder(benchFolder());
        gf_openLogFile();
    }
    const std::string line = "12:00:00 AAL123 B738 KJFK-KBOS parked at stand 42 after 3 attempts";
    for (auto _ : state)
        gf_log(line);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLine)->Threads(1)->Threads(8);

// Reading a 4 MB UTF-16 file (an aircraft.cfg of a large package is far smaller).
void BM_ReadUtf16File(benchmark::State& state) {
    const auto path = benchFolder() / "big-utf16.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out.write("\xFF\xFE", 2);
        const std::u16string line = u"title=Airbus A320neo Lufthansa D-AINA (Zürich)\r\n";
        for (int i = 0; i < 40000; ++i)
            out.write(reinterpret_cast<const char*>(line.data()),
                      static_cast<std::streamsize>(line.size() * 2));
    }
    std::vector<std::string> lines;
    for (auto _ : state) {
        const Charset c = gf_detectCharset(path);
        benchmark::DoNotOptimize(gf_readLinesByCharset(c, path, lines));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadUtf16File)->Unit(benchmark::kMillisecond);

} // namespace
