// The traffic datagram: one live flight as one line of comma-separated fields, parsed, checked and
// filtered into the adding stack.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double degreesToRadians = 0.017453292519943295;
constexpr double radiansToDegrees = 57.29577951308232;
constexpr std::size_t minimumFields = 29;
constexpr std::size_t maxRegistrationLength = 12;
// The simulator's ATC id holds at most 31 characters; a longer callsign could never be matched.
constexpr std::size_t maxCallsignLength = 31;
constexpr std::size_t maxAirportCodeLength = 4;

// Field numbers.
enum : std::size_t {
    fHexid = 1,
    fLat = 2,
    fLon = 3,
    fAltitude = 4,
    fVerticalSpeed = 5,
    fTrack = 7,
    fGroundSpeed = 8,
    fCallsign = 9,
    fType = 10,
    fRegistration = 11,
    fOrigin = 12,
    fDestination = 13,
    fTimestamp = 14,
    fSource = 17,
    fTrueAirspeed = 20,
    fRoll = 23,
    fTrueHeading = 25,
    fCategory = 28,
};

// A number as the feed writes it: optional minus, digits, fraction, exponent; characters after the
// number are ignored. Empty fields, text and non-finite values (inf, nan) are refused.
bool lf_readNumber(std::string_view field, double& out) {
    if (field.empty()) return false;
    const auto result =
        std::from_chars(field.data(), field.data() + field.size(), out, std::chars_format::general);
    return result.ec == std::errc() && std::isfinite(out);
}

// A named number field; an error reads "{name}:{field}".
double lf_number(std::string_view field, std::string_view name) {
    double value = 0.0;
    if (!lf_readNumber(field, value)) throw std::runtime_error(fmt::format("{}:{}", name, field));
    return value;
}

std::string lf_nullToEmpty(std::string_view field) {
    return field == "null" ? std::string() : std::string(field);
}

// An airport code goes into flight plans: only up to four letters and digits are taken.
std::string lf_airportCode(std::string_view field) {
    if (field == "null" || field.size() > maxAirportCodeLength) return {};
    const bool plain = std::all_of(field.begin(), field.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
    return plain ? std::string(field) : std::string();
}

// Registration: more than twelve characters drops the flight; "null" is none.
bool lf_takeRegcode(std::string_view field, std::string& reg) {
    if (field.size() > maxRegistrationLength) return false;
    reg = lf_nullToEmpty(field);
    return true;
}

// The ground rule and AIRBORNE_ONLY. Sets the altitude to 0 for a flight judged to be on the ground;
// false drops the flight.
bool lf_checkAltitude(double& alt, double gs, const TrafficFilterContext& ctx) {
    if (!(alt > 0.0)) {
        alt = 0.0;
    } else if (alt < 14000.0) {
        const double reference = ctx.parkAirportElevation.value_or(-1000.0);
        const double d = alt - reference;
        const double ad = std::fabs(d);
        if (d <= 0.0 || (ad <= 42.0 && gs <= 120.0) || (ad <= 84.0 && gs <= 80.0) ||
            (ad <= 108.0 && gs <= 43.0))
            alt = 0.0;
    }
    if (alt > 0.0 && gs <= 35.0) alt = 0.0;

    if (AIRBORNE_ONLY.value.load()) {
        const double e = ctx.parkAirportChosen ? ctx.parkAirportElevationFt : 0.0;
        if (!(std::fabs(alt - e) > 300.0)) return false;
    }
    return true;
}

// Callsign: "null" is none, one with "@" is emptied, placeholders and overlong ones drop the flight.
bool lf_takeCallsign(std::string_view field, std::string& cs) {
    if (field == "null") {
        cs.clear();
        return true;
    }
    if (field.find('@') != std::string_view::npos) {
        cs.clear();
        return true;
    }
    if (field == "ERARMTR1" || field == "AIRPORT1" || field == "00000000") return false;
    if (field.size() > maxCallsignLength) return false;
    cs.assign(field);
    return true;
}

bool lf_isDroppedCategory(std::string_view category) {
    return category == "B1" || category == "B2" || category == "B4" || category == "C1" || category == "C2";
}

double lf_defaultTrueAirspeed(double alt) {
    if (alt <= 2000.0) return 180.0;
    if (alt <= 5000.0) return 220.0;
    if (alt <= 10000.0) return 250.0;
    if (alt <= 20000.0) return 350.0;
    return 430.0;
}

} // namespace

TrafficReader::TrafficReader() : UdpReader("Traffic Reader") {
    fields_.reserve(64);
}

void TrafficReader::onDatagram() {
    if (data_.find(" VEH") != std::string_view::npos) return;
    fields_.clear();
    const char* p = data_.data();
    const char* const end = p + data_.size();
    for (;;) {
        const void* comma = std::memchr(p, ',', static_cast<std::size_t>(end - p));
        if (comma == nullptr) {
            fields_.emplace_back(p, static_cast<std::size_t>(end - p));
            break;
        }
        const char* c = static_cast<const char*>(comma);
        fields_.emplace_back(p, static_cast<std::size_t>(c - p));
        p = c + 1;
    }
    processLineSub();
}

void TrafficReader::processLineSub() {
    try {
        const auto& f = fields_;
        if (f.size() < minimumFields) return;

        TrafficRecord rec;
        const double timestamp = lf_number(f[fTimestamp], "timestamp");
        feedTimestamp.store(timestamp);
        rec.feedTime = timestamp;

        const double lat = lf_number(f[fLat], "lat");
        const double lon = lf_number(f[fLon], "lon");
        if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0) ||
            (std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001))
            throw std::runtime_error(fmt::format("invalid lalo: {:.6f},{:.6f}", lat, lon));
        rec.pos.lat = lat;
        rec.pos.lon = lon;

        const TrafficFilterContext ctx = filterContext();
        if (gf_distanceNm(ctx.reference, Lalo{lat, lon}) > trafficRadiusNm.load()) return;

        if (!lf_takeRegcode(f[fRegistration], rec.reg)) return;

        if (collectCallsigns_.load()) {
            const std::string_view cs = f[fCallsign];
            if (cs != "null" && !cs.empty() && cs.find('@') == std::string_view::npos &&
                cs.size() <= maxCallsignLength) {
                std::lock_guard lock(callsignMutex_);
                callsignSet_.emplace(cs);
            }
        }

        const std::string_view type = f[fType];
        if (type != "null" && type != "0" && type != "ZZZZ") rec.type.assign(type);

        const std::string_view category = f[fCategory];
        if (rec.type.empty()) return;
        if (category != "null" && !category.empty()) {
            if (lf_isDroppedCategory(category)) return;
            if (gf_isNonAircraftType(rec.type)) return;
        }

        if (f[fSource] == "adsb_icao") {
            const double heading = lf_number(f[fTrueHeading], "trueheading");
            if (heading > 360.0) throw std::runtime_error(fmt::format("trueheading: {:.2f}", heading));
            if (heading == 0.0)
                rec.pos.trueHeading = 2.0 * pi;
            else if (heading > 0.0)
                rec.pos.trueHeading = heading * degreesToRadians;
            rec.pos.hasTrueHeading = rec.pos.trueHeading.has_value();
        }

        const std::string_view hexField = f[fHexid];
        std::uint32_t hexid = 0;
        const auto hexResult = std::from_chars(hexField.data(), hexField.data() + hexField.size(), hexid);
        if (hexResult.ec != std::errc()) throw std::runtime_error(fmt::format("hexid incorrect{}", hexField));
        if (hexid <= 10000) return;
        rec.hexid = hexid;

        rec.pos.gs = lf_number(f[fGroundSpeed], "gs");

        double alt = 0.0;
        if (!lf_readNumber(f[fAltitude], alt))
            throw std::runtime_error(fmt::format("altitude {} incorrect, from: {}", f[fAltitude], data_));
        if (!lf_checkAltitude(alt, rec.pos.gs, ctx)) return;
        rec.pos.alt = alt;
        rec.pos.airborne = alt > 0.0;

        if (!lf_takeCallsign(f[fCallsign], rec.cs)) return;
        if (rec.reg.empty() && rec.cs.empty()) return;

        if (!rec.pos.airborne &&
            !(ctx.parkAirportChosen && gf_distanceNm(ctx.parkAirportPosition, Lalo{lat, lon}) <= 5.0))
            return;

        const std::string_view trackField = f[fTrack];
        if (!trackField.empty()) {
            if (!lf_readNumber(trackField, rec.pos.track))
                throw std::runtime_error(fmt::format("track incorrect {}", trackField));
            if (rec.pos.track == 0.0 && rec.pos.trueHeading)
                rec.pos.track = *rec.pos.trueHeading * radiansToDegrees;
        } else if (rec.pos.trueHeading) {
            rec.pos.track = *rec.pos.trueHeading * radiansToDegrees;
        }

        rec.pos.vs = lf_number(f[fVerticalSpeed], "vs");
        rec.orig = lf_airportCode(f[fOrigin]);
        rec.dest = lf_airportCode(f[fDestination]);

        if (rec.pos.airborne) {
            const double roll = lf_number(f[fRoll], "roll");
            if (roll != -1.0 && roll != 0.0) rec.pos.bank = -roll * degreesToRadians;
        }

        double tas = 0.0;
        if (!lf_readNumber(f[fTrueAirspeed], tas))
            throw std::runtime_error(fmt::format("TAS incorrect{}", f[fTrueAirspeed]));
        rec.pos.tas = tas == -1.0 ? lf_defaultTrueAirspeed(rec.pos.alt) : tas;
        rec.pos.standing = false;

        std::lock_guard lock(addingStackMutex);
        if (addingStackOpen) {
            rec.pos.duePass = enginePassCount.load() + feedDelayPasses;
            addingStack.push_back(std::move(rec));
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in processLineSub: {}", e.what()));
    }
}

void TrafficReader::setReferencePosition(const Lalo& position) {
    std::lock_guard lock(contextMutex_);
    context_.reference = position;
}

Lalo TrafficReader::referencePosition() const {
    std::lock_guard lock(contextMutex_);
    return context_.reference;
}

void TrafficReader::setParkAirportElevation(std::optional<double> elevationFt) {
    std::lock_guard lock(contextMutex_);
    context_.parkAirportElevation = elevationFt;
}

std::optional<double> TrafficReader::parkAirportElevation() const {
    std::lock_guard lock(contextMutex_);
    return context_.parkAirportElevation;
}

void TrafficReader::setParkAirport(const std::string& code, const Lalo& position, double elevationFt) {
    std::lock_guard lock(contextMutex_);
    parkAirportCode_ = code;
    context_.parkAirportChosen = !code.empty();
    context_.parkAirportPosition = position;
    context_.parkAirportElevationFt = elevationFt;
}

void TrafficReader::clearParkAirport() {
    setParkAirport({}, {}, 0.0);
}

std::string TrafficReader::parkAirportCode() const {
    std::lock_guard lock(contextMutex_);
    return parkAirportCode_;
}

TrafficFilterContext TrafficReader::filterContext() const {
    std::lock_guard lock(contextMutex_);
    return context_;
}

void TrafficReader::startCollectingCallsigns() {
    std::lock_guard lock(callsignMutex_);
    callsignSet_.clear();
    collectCallsigns_.store(true);
}

std::unordered_set<std::string> TrafficReader::takeCollectedCallsigns() {
    std::lock_guard lock(callsignMutex_);
    collectCallsigns_.store(false);
    return std::exchange(callsignSet_, {});
}

void TrafficReader::clearCallsigns() {
    std::lock_guard lock(callsignMutex_);
    callsignSet_.clear();
}
