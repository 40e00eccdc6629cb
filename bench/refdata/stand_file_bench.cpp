// Reading an airport file of 10,000 stands against the XML library's own load of the same file.
// Target: the read (parse, stands, neighbours, summary) within 1.5x of a pugixml load_file.
//
// One benchmark run takes 9 rounds; each round loads the file with pugixml and then reads it with
// gf_readApf, so that both see the same machine state. The counters give the minimum, median and
// maximum of each in milliseconds, and of the per-round ratio read / load.

#include "refdata/airport_files.h"
#include "refdata/apf_writer.h"
#include "refdata/park_airport.h"
#include "refdata/parking_format.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int standCount = 10000;
constexpr int rounds = 9;

// A square of 100 x 100 stands 60 m apart, radius 25 m, in a working folder of its own.
std::string writeTenThousandStands() {
    const fs::path folder =
        fs::temp_directory_path() / fmt::format("skyloom-stand-file-bench-{}", ::getpid());
    fs::create_directories(folder / "airports" / "my_thirdparty");
    fs::current_path(folder);
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

void BM_readTenThousandStandsAgainstPugixml(benchmark::State& state) {
    const std::string reference = writeTenThousandStands();
    parkAirportCode = "ZZZZ";
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::vector<double> load, read, ratio;
    for (auto _ : state) {
        for (int r = 0; r < rounds; ++r) {
            const auto t0 = Clock::now();
            {
                pugi::xml_document doc;
                benchmark::DoNotOptimize(doc.load_file(reference.c_str()));
            }
            const auto t1 = Clock::now();
            gf_clearParkPositions();
            parkAirportInfo = ParkAirportInfo{};
            benchmark::DoNotOptimize(gf_readApf(reference, parkAirportInfo));
            const auto t2 = Clock::now();
            load.push_back(ms(t1 - t0));
            read.push_back(ms(t2 - t1));
            ratio.push_back(read.back() / load.back());
        }
    }
    if (parkPositions.size() != standCount) state.SkipWithError("the file did not read whole");
    report(state, "pugixml_ms", load);
    report(state, "read_ms", read);
    report(state, "ratio", ratio);
}
BENCHMARK(BM_readTenThousandStandsAgainstPugixml)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
