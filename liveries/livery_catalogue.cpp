#include "liveries/livery_catalogue.h"

#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"

#include "core/log.h"
#include "core/strings.h"

#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <string>
#include <vector>

std::atomic<bool> liveriesProcessed{false};
std::atomic<bool> liveryTablesReady{false};

namespace {

std::atomic<bool> rebuildRequested{false};

void lf_showLiveryCount(std::uint64_t count) {
    if (gf_liveryHooks().showLiveryCount) gf_liveryHooks().showLiveryCount(count);
}

} // namespace

LiveryHooks& gf_liveryHooks() {
    static LiveryHooks hooks;
    return hooks;
}

void gf_requestLiveryTablesRebuild() {
    rebuildRequested.store(true);
    liveryTablesReady.store(false);
    liveriesProcessed.store(false);
}

void gf_buildLiveryTables(const std::function<void()>& mergeRegistrations) {
    lf_buildAirlineTable();
    lf_buildAirlineTypeTables();
    lf_addInlineRegcodes();
    if (mergeRegistrations) mergeRegistrations();
    lf_buildTypeTables();
    gf_log(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models",
                       airlineLiveries.size(), typeTitles[0].size(), typeTitles[1].size()));
    gf_buildSimilarTypeMaps();
    for (const SizeCategory category :
         {SizeCategory::Light, SizeCategory::Buzjets, SizeCategory::Large, SizeCategory::Heavy,
          SizeCategory::HighPerf, SizeCategory::Rotorcraft})
        lf_buildCategory(category);
    lf_logGenericLiveries();
}

void gf_processScannedLiveries() {
    // A request that arrives while this runs stays set for the next start-up.
    const bool rebuild = rebuildRequested.exchange(false);
    if (liveriesProcessed.load() && !rebuild) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        scannedLiveries.clear();
        return;
    }
    // The previous run's aircraft and create records are gone; nothing holds a title view any more.
    liveriesProcessed.store(false);
    liveryTablesReady.store(false);
    gf_clearLiveryTables();

    lf_readScannedLiveries(gf_liveriesScannedPath());
    lf_showLiveryCount(scannedLiveries.size());

    gf_buildLiveryTables([] {
        gf_buildRegcodeTable();
        gf_log(fmt::format("{} registration codes", regcodeTitles.size()));
    });

    liveriesProcessed.store(true);
    liveryTablesReady.store(true);
    lf_showLiveryCount(scannedLiveries.size());
    scannedLiveries.clear();
}

void gf_logLiveryMatchSummary() {
    std::vector<std::string> refusedLines;
    refusedLines.reserve(refusedModels.size());
    for (const std::string& model : refusedModels)
        refusedLines.push_back("  " + model);

    bool anyMatch = false;
    for (const std::uint32_t count : matchStepCounts)
        anyMatch = anyMatch || count > 0;
    if (!anyMatch) return;

    constexpr std::string_view title = "live traffic livery matching summary";
    gf_log(gf_starBanner(100 - static_cast<int>(title.size()), 0, true, false, title));
    gf_log("Matches at step: ");
    for (std::size_t step = 0; step < matchStepCounts.size(); ++step)
        gf_log(fmt::format("  {}: {}", step, matchStepCounts[step]));
    if (!refusedLines.empty()) {
        gf_log(fmt::format("\nCould not be created by {}:", "MSFS"));
        for (const std::string& line : refusedLines)
            gf_log(line);
    }
    gf_log(gf_starBanner(100, 0, false, true, ""));
}

void gf_installLiveryCatalogueHooks() {
    LiveryCatalogueHooks& hooks = gf_liveryCatalogueHooks();
    hooks.liveryAirlines = gf_liveryAirlines;
    hooks.airlineHasModel = gf_airlineHasModel;
    hooks.randomLightModel = gf_randomLightModel;
    hooks.randomBuzjetModel = gf_randomBuzjetModel;
    hooks.randomRotorcraftModel = gf_randomRotorcraftModel;
    hooks.isInstalledType = gf_isInstalledType;
}

void gf_resetLiveriesForTests() {
    gf_resetLiveryTablesForTests();
    scannedLiveries.clear();
    regcodeReport.clear();
    dontUseTitles.clear();
    refusedTitles.clear();
    refusedModels.clear();
    matchStepCounts.fill(0);
    liveriesProcessed.store(false);
    liveryTablesReady.store(false);
    rebuildRequested.store(false);
    gf_liveryHooks() = LiveryHooks{};
    gf_resetLiveryScanForTests();
}
