#include "refdata/size_category.h"

#include <stdexcept>

static_assert(
    [] {
        for (std::size_t i = 0; i < categoryProfiles.size(); ++i)
            if (static_cast<std::size_t>(categoryProfiles[i].category) != i) return false;
        return true;
    }(),
    "categoryProfiles holds one row per SizeCategory, in the order of their values");

const CategoryProfile& gf_categoryProfile(SizeCategory category) {
    const auto index = static_cast<std::size_t>(category);
    if (index >= categoryProfiles.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return categoryProfiles[index];
}

std::string_view gf_sizeCategoryName(SizeCategory category) {
    const auto index = static_cast<std::size_t>(category);
    return index < categoryProfiles.size() ? categoryProfiles[index].name : "?";
}

bool gf_categoryAdmitted(SizeCategory category, bool lightAircraft, bool helicopters, bool highPerfAircraft) {
    if (static_cast<std::size_t>(category) >= categoryProfiles.size()) return true;
    switch (categoryProfiles[static_cast<std::size_t>(category)].admittedBy) {
    case CategoryAdmission::lightAircraft:
        return lightAircraft;
    case CategoryAdmission::helicopters:
        return helicopters;
    case CategoryAdmission::highPerfAircraft:
        return highPerfAircraft;
    case CategoryAdmission::always:
        break;
    }
    return true;
}
