#include "liveries/livery_choice.h"

#include "liveries/regcodes.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"

#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>

std::array<std::uint32_t, 7> matchStepCounts{};
TextSet refusedTitles;
TextSet refusedModels;

namespace {

int lf_matchingDepth() {
    return MATCHING_DEPTH.value.load();
}

bool lf_isSpecial(TitleView title) {
    return specialTitleSet.find(title) != specialTitleSet.end();
}

bool lf_similarTypeLivery(LiveryAircraft& ac, std::string_view airline, std::string_view type) {
    for (const std::string& similar : gf_airlineSimilarTypesOf(std::string(airline), std::string(type))) {
        if (gf_sizeCategoryOf(similar) != ac.sizeCat) continue;
        if (lf_airlineTypeLivery(ac, airline, similar)) return true;
    }
    return false;
}

// One title of a non-empty list; a special title only when the list holds nothing else.
TitleView lf_pickFrom(const TitleViews& list) {
    const auto size = static_cast<std::int64_t>(list.size());
    TitleView pick;
    for (int attempt = 0; attempt < 5; ++attempt) {
        pick = list[static_cast<std::size_t>(gf_randomIndex(size))];
        if (!lf_isSpecial(pick)) return pick;
    }
    TitleViews ordinary;
    for (const TitleView title : list)
        if (!lf_isSpecial(title)) ordinary.push_back(title);
    if (ordinary.empty()) return pick;
    return ordinary[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(ordinary.size())))];
}

bool lf_acceptLivery(LiveryAircraft& ac, int step) {
    if (gf_isRefusedTitle(ac.liveryTitle)) {
        ac.liveryTitle = {};
        return false;
    }
    ++matchStepCounts.at(static_cast<std::size_t>(step));
    gf_log(fmt::format("          {} ={}= {}", ac.logText, step, ac.liveryTitle));
    ac.reverseFlag = ac.liveryTitle.find("FSLTL_") != std::string_view::npos;
    return true;
}

} // namespace

bool gf_isRefusedTitle(std::string_view title) {
    return refusedTitles.find(title) != refusedTitles.end();
}

bool lf_pickTitle(LiveryAircraft& ac, const TitleViews& candidates) {
    if (candidates.empty()) return !ac.liveryTitle.empty();
    // Titles the simulator refused, and an empty title (the file accepts one), are no candidates at
    // all. Only an unusable pick pays for sorting them out, so long lists stay cheap while refusals
    // are few.
    const auto usableTitle = [](TitleView title) { return !title.empty() && !gf_isRefusedTitle(title); };
    TitleView pick = lf_pickFrom(candidates);
    if (!usableTitle(pick)) {
        TitleViews usable;
        std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(usable), usableTitle);
        if (usable.empty()) return !ac.liveryTitle.empty();
        pick = lf_pickFrom(usable);
    }
    ac.liveryTitle = pick;
    return true;
}

bool lf_tableLivery(LiveryAircraft& ac, std::string_view airline, std::string_view type, std::size_t index) {
    const auto& table = airlineTypeTitles.at(index);
    const auto airlineIt = table.find(airline);
    if (airlineIt == table.end()) return !ac.liveryTitle.empty();
    const auto typeIt = airlineIt->second.find(type);
    if (typeIt == airlineIt->second.end()) return !ac.liveryTitle.empty();
    return lf_pickTitle(ac, typeIt->second);
}

bool lf_airlineTypeLivery(LiveryAircraft& ac, std::string_view airline, std::string_view type) {
    if (lf_tableLivery(ac, airline, type, ac.cargo ? 1 : 0)) return true;
    return ac.cargo && lf_tableLivery(ac, airline, type, 0);
}

bool lf_typeLivery(LiveryAircraft& ac, std::string_view type) {
    const auto& table = typeTitles[ac.cargo ? 1 : 0];
    const auto found = table.find(type);
    if (found == table.end()) return !ac.liveryTitle.empty();
    return lf_pickTitle(ac, found->second);
}

bool lf_regcodeLivery(LiveryAircraft& ac) {
    if (ac.reg.empty()) return false;
    const auto found = regcodeTitles.find(ac.reg);
    ac.liveryTitle = found == regcodeTitles.end() ? TitleView() : found->second;
    return !ac.liveryTitle.empty();
}

bool lf_lastResortLivery(LiveryAircraft& ac, int& step) {
    const int depth = lf_matchingDepth();
    if (ac.liveryTitle.empty() && depth == 4 && lf_airlineTypeLivery(ac, gf_genericAirline, ac.type)) {
        step = 4;
        return true;
    }
    if (!ac.liveryTitle.empty()) return true;
    if (ac.sizeCat != SizeCategory::Light && ac.sizeCat != SizeCategory::Buzjets &&
        ac.sizeCat != SizeCategory::Rotorcraft)
        return false;
    if (depth >= 3 && ac.airl != gf_privateAirline && lf_airlineTypeLivery(ac, gf_genericAirline, ac.type)) {
        step = 4;
        return true;
    }
    if (lf_typeLivery(ac, ac.type)) {
        step = 5;
        return true;
    }
    for (const std::string& similar : gf_similarTypesOf(std::string(ac.type))) {
        if (lf_typeLivery(ac, similar)) {
            step = 6;
            return true;
        }
    }
    return false;
}

void gf_matchLiveAcLivery(LiveryAircraft& ac) {
    if (lf_regcodeLivery(ac) && lf_acceptLivery(ac, uniqueRegcodes.contains(ac.reg) ? 0 : 1)) return;

    const int depth = lf_matchingDepth();
    if (depth < 2) return;

    if (ac.airl == gf_privateAirline && lf_airlineTypeLivery(ac, gf_genericAirline, ac.type) &&
        lf_acceptLivery(ac, 4))
        return;

    const std::string operatorName = gf_operatorOfReg(ac.reg);
    if (!ac.airl.empty()) {
        if (lf_airlineTypeLivery(ac, ac.airl, ac.type) && lf_acceptLivery(ac, 2)) return;
        if (!operatorName.empty() && lf_airlineTypeLivery(ac, gf_airlineOfReg(ac.reg), ac.type) &&
            lf_acceptLivery(ac, 2))
            return;
    }
    if (depth < 3) return;

    if (!ac.airl.empty()) {
        if (lf_similarTypeLivery(ac, ac.airl, ac.type) && lf_acceptLivery(ac, 3)) return;
        if (!operatorName.empty() && !ac.reg.empty()) {
            const std::optional<RegRecord> record = gf_findRegRecord(ac.reg);
            const std::string regAirline = record ? record->airl : std::string();
            if (lf_similarTypeLivery(ac, regAirline, ac.type) && lf_acceptLivery(ac, 3)) return;
        }
    }

    int step = 0;
    lf_lastResortLivery(ac, step);
    if (!ac.liveryTitle.empty()) lf_acceptLivery(ac, step);
}

namespace {

// The title found is usable for a static aircraft: not refused by the simulator. A refused one is emptied.
bool lf_staticAccept(LiveryAircraft& ac, bool found, std::string_view step) {
    if (!found || ac.liveryTitle.empty()) return false;
    if (gf_isRefusedTitle(ac.liveryTitle)) {
        ac.liveryTitle = {};
        return false;
    }
    gf_log(fmt::format("          {} ={}= {}", ac.logText, step, ac.liveryTitle));
    return true;
}

bool lf_staticSimilarLivery(LiveryAircraft& ac, std::string_view airline,
                            const std::vector<std::string>& similar) {
    for (const std::string& type : similar)
        if (lf_staticAccept(ac, lf_airlineTypeLivery(ac, airline, type), "3")) return true;
    return false;
}

} // namespace

bool gf_matchStaticAcLivery(LiveryAircraft& ac, std::string_view standId, bool standCargo) {
    if (!ac.liveryTitle.empty()) {
        gf_log(fmt::format("          {} =s= {}", ac.logText, ac.liveryTitle));
        return true;
    }
    ac.cargo = standCargo;
    if (lf_staticAccept(ac, lf_regcodeLivery(ac), uniqueRegcodes.contains(ac.reg) ? "0" : "1")) return true;

    const int depth = lf_matchingDepth();
    if (depth >= 2) {
        if (ac.airl == gf_privateAirline &&
            lf_staticAccept(ac, lf_airlineTypeLivery(ac, gf_genericAirline, ac.type), "4"))
            return true;
        const std::string operatorName = gf_operatorOfReg(ac.reg);
        if (lf_staticAccept(ac, lf_airlineTypeLivery(ac, ac.airl, ac.type), "2")) return true;
        const std::string regAirline = operatorName.empty() ? std::string() : gf_airlineOfReg(ac.reg);
        if (!operatorName.empty() && lf_staticAccept(ac, lf_airlineTypeLivery(ac, regAirline, ac.type), "2"))
            return true;
        if (depth >= 3) {
            // Every similar type of the aircraft's own airline and type, whatever its size class.
            const std::vector<std::string> similar =
                gf_airlineSimilarTypesOf(std::string(ac.airl), std::string(ac.type));
            if (lf_staticSimilarLivery(ac, ac.airl, similar)) return true;
            if (!operatorName.empty() && lf_staticSimilarLivery(ac, regAirline, similar)) return true;
            int step = 0;
            const bool found = lf_lastResortLivery(ac, step);
            if (lf_staticAccept(ac, found, fmt::format("{}", step))) return true;
        }
    }
    ac.liveryTitle = {};
    gf_log(fmt::format("{:8}: {} no livery match ...", standId, ac.logTextWithReg));
    return false;
}

void gf_liveryNotCreated(std::string_view callsign, std::string_view airline, std::string_view type,
                         std::string_view title) {
    if (!runControl.stopping())
        gf_showMessage(fmt::format("{} '{}' could not be created by your Sim!", callsign, title), true);
    refusedTitles.emplace(title);
    refusedModels.emplace(fmt::format("{} {}", type, airline));
    if (refusedTitles.size() < gf_refusedTitleLimit) return;
    const std::string message =
        fmt::format("There are too many liveries that could not be created by {}!", "MSFS");
    gf_log(fmt::format("\n{}Error 81, {}\n", "===> ", message));
    throw orv::UserErrorException(81, fmt::format("{}, see Log.txt", message));
}
