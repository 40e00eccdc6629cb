#include "refdata/type_lookups.h"

#include "core/log.h"
#include "core/strings.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <unordered_map>

namespace {

using TypeListMap = std::unordered_map<std::string, std::vector<std::string>>;

struct SimilarTypeMaps {
    TypeListMap installed;                                  // type -> installed stand-ins
    std::unordered_map<std::string, TypeListMap> byAirline; // airline -> type -> stand-ins it has liveries of
};

SimilarTypeMaps& lf_similarMaps() {
    static SimilarTypeMaps maps;
    return maps;
}

const std::vector<std::string>& lf_emptyList() {
    static const std::vector<std::string> empty;
    return empty;
}

std::vector<std::string>& lf_fallbackList() {
    static std::vector<std::string> fallback = [] {
        std::vector<std::string> list;
        list.reserve(1);
        return list;
    }();
    return fallback;
}

bool lf_installed(std::string_view type) {
    const auto& hook = gf_liveryCatalogueHooks().isInstalledType;
    return hook && hook(type);
}

bool lf_airlineHasModel(std::string_view airline, std::string_view type) {
    const auto& hook = gf_liveryCatalogueHooks().airlineHasModel;
    return hook && hook(airline, type);
}

std::string lf_randomModel(const std::function<std::string()>& hook) {
    return hook ? hook() : std::string();
}

unsigned char lf_lower(char c) {
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

bool lf_containsNoCase(std::string_view haystack, std::string_view text) {
    const auto found = std::search(haystack.begin(), haystack.end(), text.begin(), text.end(),
                                   [](char a, char b) { return lf_lower(a) == lf_lower(b); });
    return found != haystack.end();
}

} // namespace

LiveryCatalogueHooks& gf_liveryCatalogueHooks() {
    static LiveryCatalogueHooks hooks;
    return hooks;
}

SizeCategory gf_sizeCategoryOf(std::string_view type) {
    const std::string key(type);
    if (dbase.large.contains(key)) return SizeCategory::Large;
    if (dbase.heavy.contains(key)) return SizeCategory::Heavy;
    if (dbase.buzjet.contains(key)) return SizeCategory::Buzjets;
    if (dbase.rotorcraft.contains(key)) return SizeCategory::Rotorcraft;
    if (dbase.high_performance.contains(key)) return SizeCategory::HighPerf;
    return SizeCategory::Light;
}

bool gf_isKnownAcType(std::string_view type) {
    return !type.empty() && dbase.aircrafts.contains(std::string(type));
}

bool gf_isIcaoAirline(std::string_view code) {
    return !code.empty() && dbase.ICAO_airlines.contains(std::string(code));
}

void gf_buildSimilarTypeMaps() {
    SimilarTypeMaps& maps = lf_similarMaps();
    // A new livery processing (after a change of simulator, say) must not keep stand-ins of models
    // that are no longer installed.
    maps = SimilarTypeMaps{};

    std::set<std::string> texts;
    for (const std::vector<std::string>& list : dbase.similarLists) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string text = list[i];
            for (std::size_t j = 0; j < list.size(); ++j)
                if (j != i && lf_installed(list[j])) text += "," + list[j];
            if (text.find(',') != std::string::npos) texts.insert(std::move(text));
        }
    }
    for (const std::string& text : texts) {
        std::vector<std::string> pieces = gf_splitAtComma(text);
        std::string key = std::move(pieces.front());
        pieces.erase(pieces.begin());
        maps.installed.emplace(std::move(key), std::move(pieces));
    }

    const auto& airlinesHook = gf_liveryCatalogueHooks().liveryAirlines;
    const std::vector<std::string> airlines = airlinesHook ? airlinesHook() : std::vector<std::string>{};
    for (const std::string& airline : airlines) {
        TypeListMap inner;
        for (const auto& [type, standIns] : maps.installed) {
            if (lf_airlineHasModel(airline, type)) continue;
            std::vector<std::string> kept;
            for (const std::string& standIn : standIns)
                if (lf_airlineHasModel(airline, standIn)) kept.push_back(standIn);
            if (!kept.empty()) inner.emplace(type, std::move(kept));
        }
        if (!inner.empty()) maps.byAirline.emplace(airline, std::move(inner));
    }
    gf_log(fmt::format("{} similar model definitions", maps.installed.size()));
}

const std::vector<std::string>& gf_similarTypesOf(const std::string& type) {
    SimilarTypeMaps& maps = lf_similarMaps();
    if (const auto found = maps.installed.find(type); found != maps.installed.end()) {
        gf_shuffle(found->second);
        return found->second;
    }
    std::string model;
    switch (gf_sizeCategoryOf(type)) {
    case SizeCategory::Light:
        model = lf_randomModel(gf_liveryCatalogueHooks().randomLightModel);
        break;
    case SizeCategory::Buzjets:
        model = lf_randomModel(gf_liveryCatalogueHooks().randomBuzjetModel);
        break;
    case SizeCategory::Rotorcraft:
        model = lf_randomModel(gf_liveryCatalogueHooks().randomRotorcraftModel);
        break;
    default:
        break;
    }
    if (model.empty()) return lf_emptyList();
    std::vector<std::string>& fallback = lf_fallbackList();
    fallback.clear();
    fallback.push_back(std::move(model));
    return fallback;
}

const std::vector<std::string>& gf_airlineSimilarTypesOf(const std::string& airline,
                                                         const std::string& type) {
    SimilarTypeMaps& maps = lf_similarMaps();
    const auto byAirline = maps.byAirline.find(airline);
    if (byAirline == maps.byAirline.end()) return lf_emptyList();
    const auto found = byAirline->second.find(type);
    if (found == byAirline->second.end()) return lf_emptyList();
    gf_shuffle(found->second);
    return found->second;
}

double gf_wingspanOf(std::string_view type) {
    if (const auto found = dbase.wingspans.find(std::string(type)); found != dbase.wingspans.end())
        return found->second;
    return dbase.categoryHalfSpans[static_cast<std::size_t>(gf_sizeCategoryOf(type))];
}

std::vector<std::string> gf_regSpellings(std::string_view reg) {
    std::vector<std::string> spellings;
    spellings.reserve(3);
    if (reg.size() >= 5 && reg.front() != 'N' && reg.find('-') == std::string_view::npos) {
        spellings.push_back(fmt::format("{}-{}", reg.substr(0, 2), reg.substr(2)));
        spellings.push_back(fmt::format("{}-{}", reg.substr(0, 1), reg.substr(1)));
    }
    spellings.emplace_back(reg);
    return spellings;
}

std::optional<RegRecord> gf_findRegRecord(std::string_view reg) {
    if (reg.empty()) return std::nullopt;
    for (const std::string& spelling : gf_regSpellings(reg))
        if (const auto found = dbase.registrations.find(spelling); found != dbase.registrations.end())
            return found->second;
    return std::nullopt;
}

std::string gf_airlineOfReg(std::string_view reg) {
    const std::optional<RegRecord> record = gf_findRegRecord(reg);
    return record ? record->airl : std::string();
}

std::string gf_operatorOfReg(std::string_view reg) {
    const std::optional<RegRecord> record = gf_findRegRecord(reg);
    return record ? record->opr : std::string();
}

std::optional<std::string> gf_findShortRegKeyIn(std::string_view reg) {
    for (const auto& entry : dbase.registrations) {
        const std::string& key = entry.first;
        // An empty key would occur in every registration.
        if (key.empty() || key.size() >= 6 || key.size() > reg.size()) continue;
        if (reg.find(key) != std::string_view::npos) return key;
    }
    return std::nullopt;
}

bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view text) {
    return text.empty() || lf_containsNoCase(path_to_utf8(path), text);
}

std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path) {
    const std::string text = path_to_utf8(path);
    for (const std::vector<std::string>& spellings : dbase.publisherLists) {
        for (const std::string& spelling : spellings) {
            // An empty spelling would match every path.
            if (spelling.empty()) continue;
            if (text.find(spelling) != std::string::npos || lf_containsNoCase(text, spelling))
                return spellings.front();
        }
    }
    return std::nullopt;
}

bool gf_numberAfterPrefix(std::string_view tag, std::string_view code, std::uint32_t& number,
                          std::string_view entry) {
    if (!entry.starts_with(code)) return false;
    const std::string_view rest = entry.substr(std::min<std::size_t>(4, entry.size()));
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error == std::errc{})
        number = value;
    else
        gf_logError(fmt::format("{} {} {} {}", tag, code, entry, "invalid number"));
    (void)end;
    return true;
}

void gf_resetTypeLookups() {
    lf_similarMaps() = SimilarTypeMaps{};
    lf_fallbackList().clear();
    gf_liveryCatalogueHooks() = LiveryCatalogueHooks{};
}
