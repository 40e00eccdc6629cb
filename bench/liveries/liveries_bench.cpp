// Building the livery tables from a large catalogue, and the live choice of one aircraft.
// Targets: the whole build with 50,000 liveries and 50,000 registration entries well under a second;
// one live choice under 20 microseconds.

#include "liveries/livery_catalogue.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"

#include "core/hooks.h"
#include "core/settings.h"

#include "refdata/dbase.h"
#include "refdata/regcodes.h"
#include "refdata/type_lookups.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <list>
#include <string>
#include <vector>

namespace {

constexpr int airlineCount = 500;
constexpr int typeCount = 40;
constexpr int liveryCount = 50000;

std::string airlineName(int i) {
    return fmt::format("A{:03}", i);
}
std::string typeName(int i) {
    return fmt::format("T{:03}", i);
}
std::string titleOf(int i) {
    return fmt::format("Livery number {} of a large AI traffic package", i);
}

// 50,000 liveries: 500 airlines, each with 20 of the 40 types, a few titles per type, every tenth a
// freighter, every livery with a registration of its own.
std::list<LiveryData> makeLiveries() {
    std::list<LiveryData> liveries;
    for (int i = 0; i < liveryCount; ++i) {
        const int airline = i % airlineCount;
        const int type = (airline + (i / airlineCount) % 20) % typeCount;
        liveries.push_back(LiveryData{airlineName(airline), typeName(type), titleOf(i),
                                      fmt::format("R-{:05}", i), 0, i % 10 == 0});
    }
    gf_sortLiveries(liveries);
    return liveries;
}

// 50,000 registration entries over the installed titles (a few special, a few not installed).
std::list<RegcodeLivery> makeRegcodes() {
    std::list<RegcodeLivery> entries;
    for (int i = 0; i < 50000; ++i) {
        const int title = (i * 7) % (liveryCount + 500);
        entries.push_back(RegcodeLivery{titleOf(title), {fmt::format("X-{:05}", i)}, i % 50 == 0});
    }
    return entries;
}

void setUp() {
    gf_coreHooks().randomEnabled = [] { return true; };
    // No category switch to save: this must not touch the user's parameters.xml.
    LIGHT_AIRCRAFT.value = false;
    HIGH_PERF_AIRCRAFT.value = false;
    HELICOPTERS.value = false;
    gf_installLiveryCatalogueHooks();
    for (int i = 0; i < typeCount; ++i) {
        if (i % 4 == 0)
            dbase.heavy.insert(typeName(i));
        else if (i % 4 == 1)
            dbase.large.insert(typeName(i));
    }
    dbase.similarLists.clear();
    for (int i = 0; i + 3 < typeCount; i += 4)
        dbase.similarLists.push_back({typeName(i), typeName(i + 1), typeName(i + 2), typeName(i + 3)});
}

void buildAll(const std::list<LiveryData>& liveries, const std::list<RegcodeLivery>& regcodes) {
    gf_clearLiveryTables();
    scannedLiveries = liveries;
    gf_buildLiveryTables([&] { lf_mergeRegcodeList(regcodes); });
    scannedLiveries.clear();
}

void BM_BuildLiveryTables(benchmark::State& state) {
    setUp();
    const std::list<LiveryData> liveries = makeLiveries();
    const std::list<RegcodeLivery> regcodes = makeRegcodes();
    for (auto _ : state) {
        buildAll(liveries, regcodes);
        benchmark::DoNotOptimize(regcodeTitles.size());
    }
    state.counters["regcodes"] = static_cast<double>(regcodeTitles.size());
    gf_clearLiveryTables();
}
BENCHMARK(BM_BuildLiveryTables)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_MatchLiveAircraft(benchmark::State& state) {
    setUp();
    buildAll(makeLiveries(), makeRegcodes());
    gf_buildSimilarTypeMaps();
    MATCHING_DEPTH.value = 4;
    // A few liveries the simulator refused, as a run of some length collects them.
    refusedTitles.clear();
    for (int i = 0; i < state.range(0); ++i)
        refusedTitles.emplace(titleOf(i * 997));

    // A mix: registrations, own airline and type, similar types, other airlines' types, unknown airlines.
    std::vector<std::array<std::string, 3>> flights;
    for (int i = 0; i < 1000; ++i)
        flights.push_back({airlineName((i * 13) % (airlineCount + 50)), typeName((i * 7) % (typeCount + 5)),
                           i % 3 == 0 ? fmt::format("X-{:05}", i * 31) : std::string()});
    std::size_t next = 0;
    std::int64_t matched = 0;
    for (auto _ : state) {
        const auto& [airline, type, reg] = flights[next];
        next = (next + 1) % flights.size();
        LiveryAircraft ac{airline, type, reg, gf_sizeCategoryOf(type), next % 10 == 0, "BENCH"};
        gf_matchLiveAcLivery(ac);
        matched += ac.liveryTitle.empty() ? 0 : 1;
    }
    state.counters["matched"] =
        benchmark::Counter(static_cast<double>(matched), benchmark::Counter::kAvgIterations);
    refusedTitles.clear();
    gf_clearLiveryTables();
}
BENCHMARK(BM_MatchLiveAircraft)->Arg(0)->Arg(10)->ArgName("refused")->Unit(benchmark::kMicrosecond);

} // namespace
