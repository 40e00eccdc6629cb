// Reading a park airport's file against the XML library's own load of the same file.
// Target: the read (parse, stands, neighbours) within 1.5x of a pugixml load_file, for a file
// of 10,000 stands without flights and for the demo airport file (data/LSZH.xml: 99 stands, 8,585
// flights).
//
// After one round to warm up, one benchmark run takes 9 rounds; each round loads the file with pugixml and
// reads it with gf_readParkAirport, the two in turn first, so that both see the same machine state. The
// counters give the minimum, median and maximum of each in milliseconds, and of the per-round ratio read /
// load.

#include "bench_folder.h"
#include "refdata/airport_files.h"
#include "refdata/apf_writer.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int standCount = 10000;
constexpr std::size_t demoStandCount = 99;
constexpr int rounds = 9;

// A square of 100 x 100 stands 60 m apart, radius 25 m.
std::string writeTenThousandStands() {
    enterBenchFolder("stand-file-bench");
    ApfData data;
    data.airport_name = "Big";
    data.publisher = "Maker";
    data.altitude = 1416;
    data.stands.reserve(standCount);
    for (int s = 0; s < standCount; ++s)
        data.stands.emplace_back(fmt::format("S{}", s), std::vector<ParkOpt>{}, 47.45 + (s / 100) * 0.00054,
                                 8.55 + (s % 100) * 0.0008, 0.0, 25.0, false, false, false);
    const std::string reference = "airports/my_thirdparty/ZZZZ.xml";
    gf_writeApf(data, reference, apfAirportMode, 1);
    return reference;
}

// The demo airport file as the user's own file of LSZH.
std::string copyDemoAirport() {
    enterBenchFolder("stand-file-bench");
    const std::string reference = "airports/my_thirdparty/LSZH.xml";
    fs::copy_file(fs::path(SKYLOOM_SOURCE_DIR) / "data" / "LSZH.xml", reference,
                  fs::copy_options::overwrite_existing);
    return reference;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(benchmark::State& state, const char* name, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    state.counters[fmt::format("{}_min", name)] = values.front();
    state.counters[fmt::format("{}_median", name)] = median(values);
    state.counters[fmt::format("{}_max", name)] = values.back();
}

void readAgainstPugixml(benchmark::State& state, const std::string& reference, const std::string& code,
                        std::size_t stands) {
    parkAirportCode = code;
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const auto load = [&] {
        const auto t0 = Clock::now();
        {
            pugi::xml_document doc;
            benchmark::DoNotOptimize(doc.load_file(reference.c_str()));
        }
        return ms(Clock::now() - t0);
    };
    // The read includes freeing its value, as the load includes freeing its document.
    std::size_t read_stands = 0;
    const auto read = [&] {
        const auto t0 = Clock::now();
        {
            const ParkAirportRead value = gf_readParkAirport(code, reference);
            read_stands = value.merged.stands.size();
        }
        return ms(Clock::now() - t0);
    };
    // Warm: the file in the page cache, the allocator's pages taken.
    load();
    read();
    std::vector<double> loads, reads, ratios;
    for (auto _ : state) {
        for (int r = 0; r < rounds; ++r) {
            const bool loadFirst = r % 2 == 0;
            const double first = loadFirst ? load() : read();
            const double second = loadFirst ? read() : load();
            loads.push_back(loadFirst ? first : second);
            reads.push_back(loadFirst ? second : first);
            ratios.push_back(reads.back() / loads.back());
        }
    }
    if (read_stands != stands) state.SkipWithError("the file did not read whole");
    report(state, "pugixml_ms", loads);
    report(state, "read_ms", reads);
    report(state, "ratio", ratios);
}

void BM_readTenThousandStandsAgainstPugixml(benchmark::State& state) {
    readAgainstPugixml(state, writeTenThousandStands(), "ZZZZ", standCount);
}
BENCHMARK(BM_readTenThousandStandsAgainstPugixml)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_readDemoAirportAgainstPugixml(benchmark::State& state) {
    readAgainstPugixml(state, copyDemoAirport(), "LSZH", demoStandCount);
}
BENCHMARK(BM_readDemoAirportAgainstPugixml)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
