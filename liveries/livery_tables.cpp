#include "liveries/livery_tables.h"

#include "liveries/livery_data.h"
#include "liveries/regcodes.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"

#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

TextMap<TextMap<std::vector<LiveryEntry>>> airlineLiveries;
std::array<TextMap<TextMap<TitleViews>>, 2> airlineTypeTitles;
std::array<TextMap<TitleViews>, 2> typeTitles;
std::vector<std::string> lightModels;
std::vector<std::string> buzjetModels;
std::vector<std::string> rotorcraftModels;
TextSet installedPaxTypes;
TextSet installedCargoTypes;

namespace {

// The first stored title of each text, in table order. Built with `airlineLiveries`.
std::unordered_set<TitleView> titleIndex;
bool tablesReserved = false;

// The settings and texts of the categories that can be switched off.
struct CategorySwitch {
    CheckBoxParameter* setting;
    std::string_view missing; // what the user does not have installed
};

std::optional<CategorySwitch> lf_categorySwitch(SizeCategory category) {
    switch (category) {
    case SizeCategory::Light:
        return CategorySwitch{&LIGHT_AIRCRAFT, "light aircraft"};
    case SizeCategory::HighPerf:
        return CategorySwitch{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
    case SizeCategory::Rotorcraft:
        return CategorySwitch{&HELICOPTERS, "Helicopters"};
    default:
        return std::nullopt;
    }
}

void lf_buildTitleIndex() {
    titleIndex.clear();
    std::size_t count = 0;
    for (const auto& [airline, types] : airlineLiveries)
        for (const auto& [type, entries] : types)
            count += entries.size();
    titleIndex.reserve(count);
    for (const auto& [airline, types] : airlineLiveries)
        for (const auto& [type, entries] : types)
            for (const LiveryEntry& entry : entries)
                titleIndex.emplace(entry.title);
}

const std::string& lf_pickModel(const std::vector<std::string>& models) {
    static const std::string none;
    if (models.empty()) return none;
    return models[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(models.size())))];
}

} // namespace

void lf_buildAirlineTable() {
    std::string currentAirline;
    std::string currentType;
    std::vector<LiveryEntry> entries; // liveries of the current airline and type
    entries.reserve(4048);
    TextMap<std::vector<LiveryEntry>> types(16); // types of the current airline

    // Moves the gathered liveries into the airline's map as a vector of their own size; the working
    // vector starts empty again, so no livery is carried over to the next airline or type.
    const auto storeEntries = [&] {
        if (entries.empty()) return;
        types.try_emplace(currentType, std::make_move_iterator(entries.begin()),
                          std::make_move_iterator(entries.end()));
        entries.clear();
    };
    const auto storeAirline = [&] {
        storeEntries();
        if (types.empty()) return;
        airlineLiveries.try_emplace(currentAirline, std::move(types));
        types = TextMap<std::vector<LiveryEntry>>(16);
    };

    for (const LiveryData& livery : scannedLiveries) {
        if (livery.type != currentType) {
            storeEntries();
            currentType = livery.type;
        }
        if (livery.airl != currentAirline) {
            storeAirline();
            currentAirline = livery.airl;
        }
        LiveryEntry& entry = entries.emplace_back(LiveryEntry{livery.title, livery.cargo});
        entry.title.shrink_to_fit();
    }
    storeAirline();
    lf_buildTitleIndex();
}

void lf_buildAirlineTypeTables() {
    for (const auto& [airline, types] : airlineLiveries) {
        std::array<TextMap<TitleViews>, 2> inner;
        for (const auto& [type, entries] : types) {
            std::array<TitleViews, 2> titles;
            for (const LiveryEntry& entry : entries)
                titles[entry.cargo ? 1 : 0].push_back(entry.title);
            for (std::size_t index = 0; index < 2; ++index) {
                if (titles[index].empty()) continue;
                titles[index].shrink_to_fit();
                inner[index].try_emplace(type, std::move(titles[index]));
            }
        }
        for (std::size_t index = 0; index < 2; ++index)
            if (!inner[index].empty()) airlineTypeTitles[index].try_emplace(airline, std::move(inner[index]));
    }
}

void lf_buildTypeTables() {
    struct Record {
        std::string_view type;
        TitleView title;
        bool cargo;
    };
    std::vector<Record> records;
    for (const auto& [airline, types] : airlineLiveries)
        for (const auto& [type, entries] : types)
            for (const LiveryEntry& entry : entries)
                records.push_back({type, entry.title, entry.cargo});
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.type < b.type; });

    std::array<TitleViews, 2> titles;
    titles[0].reserve(15000);
    titles[1].reserve(15000);
    const auto store = [&](std::string_view type) {
        for (std::size_t index = 0; index < 2; ++index) {
            if (titles[index].empty()) continue;
            typeTitles[index].try_emplace(std::string(type), titles[index].begin(), titles[index].end());
            (index == 0 ? installedPaxTypes : installedCargoTypes).emplace(type);
            titles[index].clear();
        }
    };
    std::string_view currentType;
    for (const Record& record : records) {
        if (record.type != currentType) {
            store(currentType);
            currentType = record.type;
        }
        titles[record.cargo ? 1 : 0].push_back(record.title);
    }
    store(currentType);
}

void lf_logModelList(bool toLight, bool toBuzjet, bool toRotorcraft, const std::vector<std::string>& types) {
    std::vector<std::string>* list = toLight        ? &lightModels
                                     : toBuzjet     ? &buzjetModels
                                     : toRotorcraft ? &rotorcraftModels
                                                    : nullptr;
    std::string line;
    std::size_t onLine = 0;
    for (const std::string& type : types) {
        if (list) list->push_back(type);
        line += onLine == 0 ? "  " : ", ";
        line += type;
        if (++onLine == 20) {
            gf_log(line);
            line.clear();
            onLine = 0;
        }
    }
    if (onLine > 0) gf_log(line);
}

void lf_buildCategory(SizeCategory category) {
    std::array<std::int64_t, 2> pairs{0, 0};
    std::vector<std::string> types;
    for (std::size_t index = 0; index < 2; ++index) {
        for (const auto& [type, titles] : typeTitles[index]) {
            if (gf_sizeCategoryOf(type) != category) continue;
            pairs[index] += static_cast<std::int64_t>(titles.size());
            types.push_back(type);
        }
    }
    const std::string_view name = gf_sizeCategoryName(category);
    const std::optional<CategorySwitch> categorySwitch = lf_categorySwitch(category);
    if (pairs[0] + pairs[1] > 0) {
        const std::string cargoText =
            pairs[1] > 0 ? fmt::format(" and {} cargo liverie{}", pairs[1], gf_plural(pairs[1]))
                         : std::string();
        gf_log(
            fmt::format("Category {}: {} pax liverie{}{}", name, pairs[0], gf_plural(pairs[0]), cargoText));
        std::sort(types.begin(), types.end());
        types.erase(std::unique(types.begin(), types.end()), types.end());
        lf_logModelList(category == SizeCategory::Light, category == SizeCategory::Buzjets,
                        category == SizeCategory::Rotorcraft, types);
        if (categorySwitch) categorySwitch->setting->enable(true);
        return;
    }
    gf_log(fmt::format("Category {}: No livery found", name));
    if (!categorySwitch) return;
    CheckBoxParameter& setting = *categorySwitch->setting;
    if (setting.value.exchange(false)) {
        setting.save();
        setting.showValue();
        gf_log(fmt::format("{} temporarily switched off because you do not have {} installed", setting.name,
                           categorySwitch->missing));
    }
    setting.enable(false);
}

void lf_logGenericLiveries() {
    const auto generic = airlineLiveries.find(gf_genericAirline);
    if (generic == airlineLiveries.end()) {
        gf_log("No generic liveries");
        return;
    }
    std::vector<std::string> types;
    types.reserve(generic->second.size());
    for (const auto& [type, entries] : generic->second)
        types.push_back(type);
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    gf_log(fmt::format("{} model{} have a generic livery", types.size(),
                       gf_plural(std::uint64_t{types.size()})));
    lf_logModelList(false, false, false, types);
}

TitleView lf_findTitleView(std::string_view title) {
    const auto found = titleIndex.find(title);
    return found == titleIndex.end() ? TitleView() : *found;
}

bool gf_airlineHasModel(std::string_view airline, std::string_view type) {
    const auto found = airlineLiveries.find(airline);
    return found != airlineLiveries.end() && found->second.find(type) != found->second.end();
}

std::vector<std::string> gf_liveryAirlines() {
    std::vector<std::string> airlines;
    airlines.reserve(airlineLiveries.size());
    for (const auto& [airline, types] : airlineLiveries)
        airlines.push_back(airline.substr(0, 3));
    return airlines;
}

std::string gf_randomLightModel() {
    return lf_pickModel(lightModels);
}
std::string gf_randomBuzjetModel() {
    return lf_pickModel(buzjetModels);
}
std::string gf_randomRotorcraftModel() {
    return lf_pickModel(rotorcraftModels);
}

bool gf_isInstalledType(std::string_view type) {
    return installedPaxTypes.find(type) != installedPaxTypes.end() ||
           installedCargoTypes.find(type) != installedCargoTypes.end();
}

void gf_clearLiveryTables() {
    lightModels.clear();
    buzjetModels.clear();
    rotorcraftModels.clear();
    gf_clearRegcodeTables();
    for (auto& table : typeTitles)
        table.clear();
    installedPaxTypes.clear();
    installedCargoTypes.clear();
    for (auto& table : airlineTypeTitles)
        table.clear();
    titleIndex.clear();
    airlineLiveries.clear();
}

void gf_reserveLiveryTables() {
    if (tablesReserved) return;
    tablesReserved = true;
    specialTitles.reserve(4096);
    lightModels.reserve(64);
    buzjetModels.reserve(128);
    rotorcraftModels.reserve(32);
}

void gf_resetLiveryTablesForTests() {
    gf_clearLiveryTables();
    tablesReserved = false;
}
