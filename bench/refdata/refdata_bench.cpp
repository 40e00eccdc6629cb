// Speed of the reference-data look-ups on a full-size table and of the data-file decryption.

#include "refdata/airports.h"
#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/type_lookups.h"
#include "tools/datapack/datapack.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// 15000 airports spread over Europe, sorted by code as the reader leaves them.
void fillAirports() {
    if (!airportTable.records.empty()) return;
    std::mt19937 engine(42);
    std::uniform_real_distribution<double> lat(35.0, 70.0);
    std::uniform_real_distribution<double> lon(-10.0, 30.0);
    for (int i = 0; i < 15000; ++i) {
        const std::string code = fmt::format("{}{}{}{}", char('A' + i / 676 % 26), char('A' + i / 26 % 26),
                                             char('A' + i % 26), char('A' + i / 17576 % 26));
        airportTable.records.push_back(Airport{code, "", lat(engine), lon(engine), 0.0, 0});
        airportTable.codes.insert(code);
    }
    std::sort(airportTable.records.begin(), airportTable.records.end(),
              [](const Airport& a, const Airport& b) { return a.code < b.code; });
    gf_indexAirports(); // as gf_readAirports leaves the table
}

void BM_closestAirport(benchmark::State& state) {
    fillAirports();
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_closestAirport(Lalo{47.46, 8.55}));
}
BENCHMARK(BM_closestAirport);

// A position among the airports (the closest is looked for within 5 NM of every aircraft parked).
void BM_closestAirportAmongMany(benchmark::State& state) {
    fillAirports();
    const Airport& a = airportTable.records[4321];
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_closestAirport(Lalo{a.lat + 0.01, a.lon - 0.01}));
}
BENCHMARK(BM_closestAirportAmongMany);

void BM_airportExists(benchmark::State& state) {
    fillAirports();
    const std::string code = airportTable.records[7000].code;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_airportExists(code));
}
BENCHMARK(BM_airportExists);

void BM_airportCodeInPath(benchmark::State& state) {
    fillAirports();
    const std::filesystem::path path = "Community/publisher-airport-zzzz-scenery/scenery/global/scenery.bgl";
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_airportCodeInPath(path));
}
BENCHMARK(BM_airportCodeInPath);

void BM_airportCodeInPathFound(benchmark::State& state) {
    fillAirports();
    std::string code = airportTable.records[12345].code;
    const std::filesystem::path path =
        "Community/publisher-airport-" + code + "-scenery/scenery/global/x.bgl";
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_airportCodeInPath(path));
}
BENCHMARK(BM_airportCodeInPathFound);

void BM_findRegRecord(benchmark::State& state) {
    for (int i = 0; i < 50000; ++i)
        dbase.registrations.emplace(fmt::format("D-A{:04}", i), RegRecord{"DLH"});
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findRegRecord("DA4711"));
    dbase.registrations.clear();
}
BENCHMARK(BM_findRegRecord);

// Decryption of a 4 MB data file.
void BM_streamDecrypt(benchmark::State& state) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("skyloom-refdata-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "plain", std::ios::binary) << std::string(4 << 20, 'x');
    datapack::encryptDataFile(dir / "plain", dir / "data.enc");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_streamDecrypt(dir / "data.enc", dir / "data.xml"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (4 << 20));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_streamDecrypt);

} // namespace
