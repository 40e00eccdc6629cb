// Speed of the parking files.
// Targets: reading an airport file of 400 stands with a learned file of 40,000 flights (merge,
// neighbours, quality factors) under 200 ms; writing that learned file under 100 ms; the closest
// stand in a file of 1,000 stands under 20 ms.

#include "bench_folder.h"
#include "core/geodesy.h"
#include "refdata/airport_files.h"
#include "refdata/apf_writer.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"
#include "refdata/parking_quality.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

std::vector<ParkPos> makeStands(int count, int flightsPerStand, std::uint32_t origin) {
    std::mt19937 engine(7);
    std::vector<ParkPos> stands;
    for (int s = 0; s < count; ++s) {
        std::vector<ParkOpt> opts;
        for (int f = 0; f < flightsPerStand; ++f) {
            ParkOpt o;
            o.airl = "SWR";
            o.type = "A320";
            o.reg = fmt::format("HB-{}", engine() % 5000);
            o.cs = fmt::format("SWR{}", engine() % 900);
            const std::size_t first = engine() % 40;
            for (std::size_t n = first; n < first + 1 + engine() % 8; ++n)
                o.hh.set(n);
            o.day = 1 + engine() % 7;
            o.seq = static_cast<std::uint32_t>(f + 1);
            o.origin = origin;
            o.real = engine() % 4 == 0 ? 0 : 1;
            opts.push_back(o);
        }
        // Rows of stands 60 m apart, radius 25 m.
        stands.emplace_back(fmt::format("S{}", s), std::move(opts), 47.45 + (s / 20) * 0.0006,
                            8.55 + (s % 20) * 0.0008, 0.0, 25.0, false, false, false);
    }
    return stands;
}

ApfData learnedFile() {
    ApfData data;
    data.code = "LSZH";
    data.airport_name = "Zurich";
    data.publisher = "FlyTampa";
    data.stands = makeStands(400, 100, 0);
    return data;
}

void writeAirportFile(const fs::path& path, int stands) {
    ApfData data;
    data.airport_name = "Zurich";
    data.publisher = "FlyTampa";
    data.altitude = 1416;
    data.stands = makeStands(stands, 0, 1);
    gf_writeApf(data, path, apfAirportMode, 1);
}

void BM_readApfWithLearnedFile(benchmark::State& state) {
    enterBenchFolder("parking-bench");
    writeAirportFile("airports/my_thirdparty/LSZH.xml", 400);
    gf_writeApf(learnedFile(), gf_learnedPathOf("LSZH", "FlyTampa"), apfLearnedMode, 1);
    parkAirportCode = "LSZH";
    std::size_t flights = 0;
    for (auto _ : state) {
        const ParkAirportRead read = gf_readParkAirport("LSZH", "airports/my_thirdparty/LSZH.xml");
        flights = 0;
        for (const auto& s : read.merged.stands)
            flights += s.opts.size();
    }
    state.counters["flights"] = static_cast<double>(flights);
}
BENCHMARK(BM_readApfWithLearnedFile)->Unit(benchmark::kMillisecond);

void BM_writeLearnedFile(benchmark::State& state) {
    enterBenchFolder("parking-bench");
    const ApfData data = learnedFile();
    const fs::path path = gf_learnedPathOf("LSZH", "FlyTampa");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_writeApf(data, path, apfLearnedMode, 1));
}
BENCHMARK(BM_writeLearnedFile)->Unit(benchmark::kMillisecond);

void BM_closestStand(benchmark::State& state) {
    enterBenchFolder("parking-bench");
    writeAirportFile("airports/my_thirdparty/LSZX.xml", 1000);
    std::string id;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_readDestApfForClosestStand("LSZX", Lalo{47.46, 8.56}, id));
}
BENCHMARK(BM_closestStand)->Unit(benchmark::kMillisecond);

} // namespace
