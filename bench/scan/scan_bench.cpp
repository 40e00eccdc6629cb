// The whole add-on airport scan against a plain reading of the same files: on a generated tree of
// 2,000 BGL files, 200 of them with an airport of 50 to 500 stands, the rescan (walk, quick checks,
// decoding, linking, airport files compared or written) should take at most 1.5 times as long as a
// plain walk of the tree that reads every file whole on as many threads as the scan runs tasks. Both
// run warm (the tree is read once before the timing). Run them interleaved, e.g.
// --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true.

#include "../../tests/scan/bgl_writer.h"
#include "bench/scan/plain_walk_read.h"
#include "core/hooks.h"
#include "core/program_paths.h"
#include "core/scan_tasks.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/apf_writer.h"
#include "refdata/dbase.h"
#include "scan/airport_files.h"
#include "scan/airport_scan.h"
#include "scan/scan_state.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The processor time of the whole process (all its threads), in milliseconds.
double lf_processCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

fs::path lf_root() {
    static const fs::path root = [] {
        const fs::path dir = fs::temp_directory_path() / ("skyloom-scan-bench-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "work" / "docs");
        fs::create_directories(dir / "user");
        std::mt19937 engine(7);
        std::uniform_int_distribution<int> stands(50, 500);
        std::uniform_int_distribution<int> filler(200, 8000);
        for (int i = 0; i < 2000; ++i) {
            const fs::path file = dir / "sim" / "Community" / fmt::format("pkg{:03}", i / 20) / "scenery" /
                                  fmt::format("f{:04}.bgl", i);
            if (i % 10 == 0) {
                const std::string code = fmt::format("X{}{}{}", char('A' + i / 260 % 26),
                                                     char('A' + i / 10 % 26), char('A' + i % 7));
                std::vector<bglw::Parking> list;
                const int n = stands(engine);
                for (int s = 0; s < n; ++s) {
                    bglw::Parking p;
                    p.nameCode = 12 + static_cast<std::uint32_t>(s % 26);
                    p.number = static_cast<std::uint32_t>(s / 26 + 1);
                    p.lat = 47.0 + s * 0.0003;
                    p.lon = 8.0;
                    p.airlineCodes = static_cast<std::uint32_t>(s % 4);
                    list.push_back(p);
                }
                bglw::save(file, bglw::file({bglw::Section{
                                     3, 0, {bglw::airport(code, 400000, {bglw::parkingList(list)})}}}));
                airportTable.records.push_back(Airport{code, "", 47.0, 8.0, 1000.0, 0});
                airportTable.codes.insert(code);
            } else {
                // Scenery without airports: some other section and filler records.
                bglw::Section other{9, 0, {bglw::record(0x0001, bglw::Bytes(filler(engine), 0))}};
                bglw::save(file, bglw::file({other}));
            }
        }
        os::enterWorkingFolder(dir / "work");
        gf_setUserFolder(dir / "user");
        gf_scanHooks().inInstallPath = [dir](const fs::path& relative) { return dir / "sim" / relative; };
        gf_coreHooks().simulatorIs2020 = [] { return false; }; // Community only
        gf_resetScanTasks();
        // The tree goes when the benchmark ends.
        std::atexit([] {
            std::error_code ec;
            fs::current_path(fs::temp_directory_path(), ec);
            fs::remove_all(fs::temp_directory_path() / ("skyloom-scan-bench-" + std::to_string(::getpid())),
                           ec);
        });
        return dir;
    }();
    return root;
}

void BM_wholeScan(benchmark::State& state) {
    lf_root();
    gf_scanHooks().decodeFile = nullptr;
    gf_scanForAddonAirports(); // warm
    const double cpuStart = lf_processCpuMs();
    for (auto _ : state) {
        SCAN_AIRPORTS.value = true;
        gf_scanForAddonAirports();
    }
    state.counters["all threads cpu ms"] =
        (lf_processCpuMs() - cpuStart) /
        static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["airport files"] = static_cast<double>(
        std::distance(fs::directory_iterator(os::inWorkingFolder(myThirdpartyFolder)), {}));
}
BENCHMARK(BM_wholeScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison only (no bound): a scan into folders without the last scan's files, as the first scan
// after an installation, which writes and syncs every file.
void BM_scanIntoEmptyFolders(benchmark::State& state) {
    lf_root();
    gf_scanHooks().decodeFile = nullptr;
    const fs::path airports = os::inWorkingFolder(airportsFolder);
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(airports, ec);
        gf_forgetScanMadeFiles();
        SCAN_AIRPORTS.value = true;
        state.ResumeTiming();
        gf_scanForAddonAirports();
    }
}
BENCHMARK(BM_scanIntoEmptyFolders)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison only (no bound): a rescan in which every file gets a new content, as the first scan of
// a new day (the airport files carry the date): each listed file is replaced.
void BM_rescanWithEveryFileChanged(benchmark::State& state) {
    lf_root();
    gf_scanHooks().decodeFile = nullptr;
    gf_scanForAddonAirports(); // warm
    const fs::path folder = os::inWorkingFolder(myThirdpartyFolder);
    for (auto _ : state) {
        state.PauseTiming();
        // Yesterday's files, as the last scan listed them.
        MadeFiles& made = gf_loadScanMadeFiles();
        for (const auto& entry : fs::directory_iterator(folder))
            made.writeAndRecord(entry.path(), "<yesterday/>\n");
        made.save();
        gf_forgetScanMadeFiles();
        SCAN_AIRPORTS.value = true;
        state.ResumeTiming();
        gf_scanForAddonAirports();
    }
}
BENCHMARK(BM_rescanWithEveryFileChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison only (no bound): the text of one airport file of 300 stands as a scan builds it to
// compare with the file on disk, on one thread.
void BM_airportFileText(benchmark::State& state) {
    ApfData data;
    data.airport_name = "Bench";
    data.BGLpath = "Community/pkg000/scenery/f0000.bgl";
    for (int s = 0; s < 300; ++s)
        data.stands.emplace_back(fmt::format("GATE_{} {}", char('A' + s % 26), s / 26 + 1),
                                 std::vector<ParkOpt>{}, 47.0 + s * 0.000317, 8.0 - s * 0.000213, s * 0.021,
                                 18.0 + s % 30, s % 5 == 0, s % 3 == 0, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_apfText(data, apfAirportMode, 1));
}
BENCHMARK(BM_airportFileText)->Unit(benchmark::kMicrosecond);

// The plain reference: a recursive walk of the roots that reads every file whole, on as many threads as
// the scan runs tasks.
void BM_plainWalkAndRead(benchmark::State& state) {
    const fs::path root = lf_root() / "sim" / "Community";
    const auto threads = static_cast<unsigned>(gf_scanTaskLimit());
    (void)plain_walk::walkAndRead(root.string(), threads); // warm
    const double cpuStart = lf_processCpuMs();
    for (auto _ : state)
        benchmark::DoNotOptimize(plain_walk::walkAndRead(root.string(), threads));
    state.counters["all threads cpu ms"] =
        (lf_processCpuMs() - cpuStart) /
        static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["threads"] = threads;
}
BENCHMARK(BM_plainWalkAndRead)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
