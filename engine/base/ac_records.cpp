#include "engine/base/ac_records.h"

#include "core/strings.h"
#include "core/units.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <cctype>
#include <unordered_map>
#include <utility>

namespace {

template <class E> std::string_view lf_nameOf(const std::unordered_map<E, std::string_view>& table, E value) {
    return table.at(value); // std::out_of_range for a value outside the table
}

} // namespace

std::string_view gf_simStateName(SimState state) {
    static const std::unordered_map<SimState, std::string_view> names{
        {SimState::buffer, "buffer"},
        {SimState::adding2sim, "adding2sim"},
        {SimState::active, "active"},
        {SimState::liveryrespawn, "liveryrespawn"},
        {SimState::removingfromsim, "removingfromsim"}};
    return lf_nameOf(names, state);
}

std::string_view gf_acPhaseName(AcPhase phase) {
    static const std::unordered_map<AcPhase, std::string_view> names{{AcPhase::pushing_back, "pushing_back"},
                                                                     {AcPhase::pushed_back, "pushed_back"},
                                                                     {AcPhase::taxi, "taxi"},
                                                                     {AcPhase::take_off, "take_off"},
                                                                     {AcPhase::flying, "flying"},
                                                                     {AcPhase::parking, "parking"},
                                                                     {AcPhase::parked, "parked"},
                                                                     {AcPhase::birth, "birth"}};
    return lf_nameOf(names, phase);
}

double gf_factorAOf(SizeCategory category) {
    return gf_categoryProfile(category).factorA;
}

double gf_factorBOf(SizeCategory category) {
    return gf_categoryProfile(category).factorB;
}

AcData::AcData(const FlightIdent& ident) : FlightIdent(ident) {
    halfSize = gf_wingspanOf(type);
    sizeCat = gf_sizeCategoryOf(type);
    const CategoryProfile& profile = gf_categoryProfile(sizeCat);
    takeoffPitch = gf_varyByPercent(profile.categoryAngleA, 2.5) * radiansPerDegree;
    pitchB = gf_varyByPercent(profile.categoryAngleB, 5.0) * radiansPerDegree;
    rateA = profile.categoryAngleC;
    slotsA = profile.categoryFigureA;
    onGroundSlots = profile.categoryFigureB;
    rotationSlots = profile.categoryFigureC;
    slotsD = profile.categoryFigureD;
}

StaticAc::StaticAc(AcData data, std::uint32_t standId, const StandPlace& stand, bool flag)
    : AcData(std::move(data)), standLat(stand.lat), standLon(stand.lon), standHdg(stand.hdg), sid(standId),
      standFlag(flag) {}

LiveAc::LiveAc(const PosSample& first, AcData data, double feedTime)
    : StaticAc(std::move(data), 0, StandPlace{}, false), lastFeedTime(feedTime) {
    samples.push_back(first);
}

void LiveAc::setPhase(AcPhase next) {
    if (next == phase) return;
    prevPhase = phase;
    phase = next;
}

bool gf_isSameAirlType(std::string_view airl, std::string_view type, const FlightIdent& ac) {
    return airl == ac.airl && type == ac.type;
}

std::string gf_routeText(const FlightIdent& ac) {
    if (ac.orig.empty() && ac.dest.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", ac.orig, ac.dest);
}

std::string gf_callsignColumn(const FlightIdent& ac) {
    return fmt::format("{:8}", ac.cs);
}

std::string gf_identityText(const FlightIdent& ac) {
    return fmt::format("{} {:8} {}", gf_routeText(ac), gf_callsignColumn(ac), ac.reg);
}

std::string gf_acLogText(const FlightIdent& ac) {
    return fmt::format("{} {}", gf_identityText(ac), gf_airlTypeKey(ac));
}

std::string gf_acLogTextWithReg(const FlightIdent& ac) {
    return fmt::format("{} {} {}", gf_callsignColumn(ac), ac.reg, gf_airlTypeKey(ac));
}

std::string gf_matchKey(const FlightIdent& ac) {
    return gf_airlTypeKey(ac) + " " + ac.reg;
}

std::optional<std::string> gf_airlineFromCallsign(std::string_view cs) {
    if (cs.size() < 4) return std::nullopt;
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    if (!letter(cs[0]) || !letter(cs[1]) || !letter(cs[2])) return std::nullopt;
    if (!std::isdigit(static_cast<unsigned char>(cs[3]))) return std::nullopt;
    std::string airline(cs.substr(0, 3));
    for (char& c : airline)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return airline;
}

bool gf_isValidCallsign(const FlightIdent& ac) {
    return !ac.cs.empty() && ac.cs != "@@@@@@@@" && ac.cs.size() <= 8;
}
