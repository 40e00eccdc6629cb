#include "refdata/apf_writer.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/airl_type_key.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"

#include <cmath>
#include <system_error>

#include <fmt/format.h>
#include <gsl/narrow>

namespace {

bool lf_appendPosition(pugi::xml_node parkpos, const ParkPos& stand) {
    bool ok =
        gf_appendAttribute(parkpos, "latitude", fmt::format("{:.6f}", stand.lat)) &&
        gf_appendAttribute(parkpos, "longitude", fmt::format("{:.6f}", stand.lon)) &&
        gf_appendAttribute(parkpos, "heading", fmt::format("{:.1f}", stand.heading * radiansToDegrees)) &&
        gf_appendAttribute(parkpos, "radius", fmt::format("{:.1f}", stand.radius * nmToMetres));
    if (!ok) return false;
    ok = stand.heli ? gf_appendAttribute(parkpos, "heli", "true")
                    : gf_appendBoolAttribute(parkpos, "cargo", stand.cargo);
    ok = ok && gf_appendBoolAttribute(parkpos, "ramp", stand.ramp);
    if (ok && stand.manual) ok = gf_appendAttribute(parkpos, "manual", "true");
    return ok;
}

bool lf_appendFlights(pugi::xml_node parkpos, const ParkPos& stand) {
    for (const ParkOpt& entry : stand.opts) {
        if (entry.seq == 0) continue;
        const auto hh = gf_bitset2hours(entry.hh);
        if (!hh) {
            gf_logError(fmt::format("bit set problem: {} {} {}", entry.reg, entry.cs, gf_airlTypeKey(entry)));
            continue;
        }
        auto opt = parkpos.append_child("opt");
        if (!opt) return false;
        bool ok = gf_appendAttribute(opt, "reg", entry.reg);
        if (ok && !gf_findRegRecord(entry.reg))
            ok = gf_appendAttribute(opt, "airl", entry.airl) && gf_appendAttribute(opt, "type", entry.type);
        if (ok && entry.real == 0) ok = gf_appendAttribute(opt, "soft", "true");
        ok = ok && gf_appendAttribute(opt, "day", fmt::format("{}", entry.day)) &&
             gf_appendAttribute(opt, "hh", *hh);
        if (ok && !entry.cs.empty())
            ok = gf_appendAttribute(opt, "cs", entry.cs2.empty() ? entry.cs : entry.cs + ":" + entry.cs2);
        if (ok && entry.cpl) ok = gf_appendAttribute(opt, "cpl", "true");
        if (!ok) return false;
    }
    return true;
}

bool lf_appendStand(pugi::xml_node parkpositions, const ParkPos& stand, int mode) {
    auto parkpos = parkpositions.append_child("parkpos");
    if (!parkpos || !gf_appendAttribute(parkpos, "id", stand.id)) return false;
    if (mode == apfAirportMode) return lf_appendPosition(parkpos, stand);
    const bool changed = stand.radius_change || stand.cargo_change;
    bool ok = true;
    if (!changed || stand.manual) {
        if (stand.manual || handmadeApf) ok = lf_appendPosition(parkpos, stand);
    } else if (handmadeApf) {
        // A handmade file is read back like an airport file: every stand needs its position, which
        // holds the changed radius and cargo use.
        ok = lf_appendPosition(parkpos, stand);
        if (ok && stand.radius_change) ok = gf_appendAttribute(parkpos, "radius_change", "true");
        if (ok && stand.cargo_change) ok = gf_appendAttribute(parkpos, "cargo_change", "true");
    } else {
        if (stand.radius_change)
            ok = gf_appendAttribute(parkpos, "radius_change", "true") &&
                 gf_appendAttribute(parkpos, "radius", fmt::format("{:.1f}", stand.radius * nmToMetres));
        if (ok && stand.cargo_change)
            ok = gf_appendAttribute(parkpos, "cargo_change", "true") &&
                 gf_appendBoolAttribute(parkpos, "cargo", stand.cargo);
    }
    return ok && lf_appendFlights(parkpos, stand);
}

} // namespace

bool gf_writeApfHeader(pugi::xml_node root, const ApfData& data, int mode) {
    auto parameters = root.append_child("parameters");
    if (!parameters) return false;
    bool ok = gf_appendStringParameter(parameters, "airport_name", data.airport_name) &&
              gf_appendStringParameter(parameters, "publisher", data.publisher);
    if (ok && handmadeApf) ok = gf_appendStringParameter(parameters, "handmade", "true");
    if (ok && (handmadeApf || mode == apfAirportMode))
        ok = gf_appendIntParameter(parameters, "altitude", data.altitude);
    if (ok && mode == apfAirportMode)
        ok = gf_appendIntParameter(parameters, "num_parkpos", static_cast<std::int64_t>(data.stands.size()));
    if (ok && handmadeApf)
        ok = gf_appendIntParameter(parameters, "Qf_real", data.Qf_real) &&
             gf_appendIntParameter(parameters, "Qf_soft", data.Qf_soft);
    if (ok && data.publisher.empty())
        ok = gf_appendStringParameter(parameters, "BGLpath", data.BGLpath) &&
             gf_appendStringParameter(parameters, "manufacturer", data.manufacturer) &&
             gf_appendStringParameter(parameters, "creator", data.creator);
    if (ok && mode == apfLearnedMode) {
        // MAX_FIT counts half hours: 24.0 hours are 47.
        const double doubled = std::round(2.0 * static_cast<double>(MAX_FIT_FL.value.load()));
        if (!(std::fabs(doubled) < 2147483648.0)) throw gsl::narrowing_error{};
        const std::int32_t maxFit = gsl::narrow<std::int32_t>(static_cast<std::int64_t>(doubled)) - 1;
        ok = gf_appendIntParameter(parameters, "RANGE", RANGE.value.load()) &&
             gf_appendBoolParameter(parameters, "AUTO_RANGE", AUTO_RANGE.value.load()) &&
             gf_appendBoolParameter(parameters, "WEEK", WEEK.value.load()) &&
             gf_appendBoolParameter(parameters, "PARK_SOFT", PARK_SOFT.value.load()) &&
             gf_appendIntParameter(parameters, "parking_percentage", parking_percentage.value.load()) &&
             gf_appendBoolParameter(parameters, "INITIAL_LOAD_ONLY", INITIAL_LOAD_ONLY.value.load()) &&
             gf_appendIntParameter(parameters, "MAX_FIT", maxFit) &&
             gf_appendIntParameter(parameters, "MAX_LIVE_SEL", MAX_LIVE_SEL.value.load());
    }
    return ok;
}

bool gf_writeApf(const ApfData& data, const std::filesystem::path& path, int mode, std::int32_t simKind) {
    pugi::xml_document doc;
    MetaData meta;
    meta.version = gf_programVersion.toString();
    meta.setSim(simKind);
    if (!gf_writeMetaData(doc, meta)) return false;
    auto root = doc.child("root");
    if (!root) return false;
    if (!gf_writeApfHeader(root, data, mode)) return false;
    auto parkpositions = root.append_child("parkpositions");
    if (!parkpositions) return false;
    for (const ParkPos& stand : data.stands)
        if (!lf_appendStand(parkpositions, stand, mode)) return false;
    if (!path.empty() && path.has_parent_path()) {
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    return gf_prependXmlDeclaration(doc, path);
}
