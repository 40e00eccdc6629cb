// The traffic datagram: one live flight as one line of comma-separated fields, parsed, checked and
// filtered; the traffic reader queues what passes into the adding stack.

#include "feed/traffic_datagram.h"

#include "core/units.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "feed/feed_state.h"
#include "feed/outside_text.h"
#include "feed/udp_readers.h"

namespace {

constexpr std::size_t minimumFields = 29;
constexpr std::size_t maxRegistrationLength = 12;
// The simulator's ATC id holds at most 31 characters; a longer callsign could never be matched.
constexpr std::size_t maxCallsignLength = 31;
constexpr std::size_t maxAirportCodeLength = 4;
// A position within this many degrees of 0,0 in both axes is no position.
constexpr double noPositionDegrees = 0.0001;
// Transponder addresses up to this one are no live flights.
constexpr std::uint32_t highestNonFlightHexid = 10000;

// The ground rule. Above the ceiling only the taxi speed decides; below it a flight is compared with
// the park airport's elevation, or with a reference far below any airport when none is known.
constexpr double groundRuleCeilingFt = 14000.0;
constexpr double unknownGroundElevationFt = -1000.0;
// A flight at most maxHeightFt from the reference and at most maxSpeedKn fast is on the ground.
struct GroundBand {
    double maxHeightFt;
    double maxSpeedKn;
};
constexpr std::array<GroundBand, 3> groundBands{{{42.0, 120.0}, {84.0, 80.0}, {108.0, 43.0}}};
// Slower than this at any height is taxiing.
constexpr double maxTaxiSpeedKn = 35.0;
// AIRBORNE_ONLY keeps flights more than this above or below the park airport.
constexpr double airborneOnlyMarginFt = 300.0;
// Flights on the ground are taken only this close to the park airport.
constexpr double groundTrafficRadiusNm = 5.0;

// A datagram that cannot be read. Its text may quote the datagram, NUL bytes included, so it is kept
// whole rather than as what() gives it.
struct DatagramError {
    std::string text;
};

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
    if (!lf_readNumber(field, value)) throw DatagramError{fmt::format("{}:{}", name, field)};
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

// The ground rule: sets the altitude to 0 for a flight judged to be on the ground. Below the ceiling a
// flight close above the reference elevation and slow enough for its height is on the ground; at any
// height one slower than a taxiing aircraft is.
void lf_applyGroundRule(double& alt, double gs, const TrafficFilter& filter) {
    if (!(alt > 0.0)) {
        alt = 0.0;
    } else if (alt < groundRuleCeilingFt) {
        const double reference = filter.parkAirportElevation.value_or(unknownGroundElevationFt);
        const double d = alt - reference;
        const double ad = std::fabs(d);
        const bool onGround =
            d <= 0.0 || std::any_of(groundBands.begin(), groundBands.end(), [&](const GroundBand& band) {
                return ad <= band.maxHeightFt && gs <= band.maxSpeedKn;
            });
        if (onGround) alt = 0.0;
    }
    if (alt > 0.0 && gs <= maxTaxiSpeedKn) alt = 0.0;
}

// AIRBORNE_ONLY: only flights well above or below the park airport (or sea level without one) pass.
bool lf_passesAirborneOnly(double alt, const TrafficFilter& filter) {
    if (!filter.airborneOnly) return true;
    const double e = filter.parkAirportChosen ? filter.parkAirportElevationFt : 0.0;
    return std::fabs(alt - e) > airborneOnlyMarginFt;
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

// The first 29 fields of a datagram, views into it; false when it has fewer.
bool lf_splitFields(std::string_view datagram, std::array<std::string_view, minimumFields>& fields) {
    const char* p = datagram.data();
    const char* const end = p + datagram.size();
    for (std::size_t i = 0; i < minimumFields; ++i) {
        // An empty view may have no data pointer at all, and memchr must not be given one.
        const void* comma = p == end ? nullptr : std::memchr(p, ',', static_cast<std::size_t>(end - p));
        if (comma == nullptr) {
            fields[i] = std::string_view(p, static_cast<std::size_t>(end - p));
            return i + 1 == minimumFields;
        }
        const char* c = static_cast<const char*>(comma);
        fields[i] = std::string_view(p, static_cast<std::size_t>(c - p));
        p = c + 1;
    }
    return true;
}

// The reading proper; an error is thrown with its text.
TrafficDrop lf_read(std::string_view datagram, const TrafficFilter& filter, TrafficDatagramResult& out) {
    if (datagram.find(" VEH") != std::string_view::npos) return TrafficDrop::vehicle;
    std::array<std::string_view, minimumFields> f;
    if (!lf_splitFields(datagram, f)) return TrafficDrop::tooFewFields;

    TrafficRecord& rec = out.record;
    const double timestamp = lf_number(f[fTimestamp], "timestamp");
    out.feedTime = timestamp;
    rec.feedTime = timestamp;

    const double lat = lf_number(f[fLat], "lat");
    const double lon = lf_number(f[fLon], "lon");
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0) ||
        (std::fabs(lat) <= noPositionDegrees && std::fabs(lon) <= noPositionDegrees))
        throw DatagramError{fmt::format("invalid lalo: {:.6f},{:.6f}", lat, lon)};
    rec.pos.lat = lat;
    rec.pos.lon = lon;

    if (gf_distanceNm(filter.reference, Lalo{lat, lon}) > filter.radiusNm) return TrafficDrop::outOfRange;

    if (!lf_takeRegcode(f[fRegistration], rec.reg)) return TrafficDrop::registration;

    const std::optional<std::string_view> callsign = gf_trafficCallsign(f[fCallsign]);
    if (callsign) out.gatheredCallsign = *callsign;

    const std::string_view type = f[fType];
    if (type != "null" && type != "0" && type != "ZZZZ") rec.type.assign(type);

    const std::string_view category = f[fCategory];
    if (rec.type.empty()) return TrafficDrop::noType;
    if (category != "null" && !category.empty()) {
        if (lf_isDroppedCategory(category)) return TrafficDrop::category;
        if (gf_isNonAircraftType(rec.type)) return TrafficDrop::notAnAircraft;
    }

    if (f[fSource] == "adsb_icao") {
        const double heading = lf_number(f[fTrueHeading], "trueheading");
        if (heading > 360.0) throw DatagramError{fmt::format("trueheading: {:.2f}", heading)};
        if (heading == 0.0)
            rec.pos.trueHeading = twoPi;
        else if (heading > 0.0)
            rec.pos.trueHeading = heading * radiansPerDegree;
        rec.pos.hasTrueHeading = rec.pos.trueHeading.has_value();
    }

    const std::string_view hexField = f[fHexid];
    std::uint32_t hexid = 0;
    const auto hexResult = std::from_chars(hexField.data(), hexField.data() + hexField.size(), hexid);
    if (hexResult.ec != std::errc()) throw DatagramError{fmt::format("hexid incorrect{}", hexField)};
    if (hexid <= highestNonFlightHexid) return TrafficDrop::hexid;
    rec.hexid = hexid;

    rec.pos.gs = lf_number(f[fGroundSpeed], "gs");

    double alt = 0.0;
    if (!lf_readNumber(f[fAltitude], alt))
        throw DatagramError{fmt::format("altitude {} incorrect, from: {}", f[fAltitude], datagram)};
    lf_applyGroundRule(alt, rec.pos.gs, filter);
    if (!lf_passesAirborneOnly(alt, filter)) return TrafficDrop::airborneOnly;
    rec.pos.alt = alt;
    rec.pos.airborne = alt > 0.0;

    if (!callsign) return TrafficDrop::callsign;
    rec.cs.assign(*callsign);
    if (rec.reg.empty() && rec.cs.empty()) return TrafficDrop::noIdentity;

    if (!rec.pos.airborne &&
        !(filter.parkAirportChosen &&
          gf_distanceNm(filter.parkAirportPosition, Lalo{lat, lon}) <= groundTrafficRadiusNm))
        return TrafficDrop::groundAwayFromPark;

    const std::string_view trackField = f[fTrack];
    if (!trackField.empty()) {
        if (!lf_readNumber(trackField, rec.pos.track))
            throw DatagramError{fmt::format("track incorrect {}", trackField)};
        if (rec.pos.track == 0.0 && rec.pos.trueHeading)
            rec.pos.track = *rec.pos.trueHeading * degreesPerRadian;
    } else if (rec.pos.trueHeading) {
        rec.pos.track = *rec.pos.trueHeading * degreesPerRadian;
    }

    rec.pos.vs = lf_number(f[fVerticalSpeed], "vs");
    rec.orig = lf_airportCode(f[fOrigin]);
    rec.dest = lf_airportCode(f[fDestination]);

    if (rec.pos.airborne) {
        const double roll = lf_number(f[fRoll], "roll");
        if (roll != -1.0 && roll != 0.0) rec.pos.bank = -roll * radiansPerDegree;
    }

    double tas = 0.0;
    if (!lf_readNumber(f[fTrueAirspeed], tas))
        throw DatagramError{fmt::format("TAS incorrect{}", f[fTrueAirspeed])};
    rec.pos.tas = tas == -1.0 ? lf_defaultTrueAirspeed(rec.pos.alt) : tas;
    rec.pos.standing = false;
    return TrafficDrop::none;
}

} // namespace

std::optional<std::string_view> gf_trafficCallsign(std::string_view field) {
    if (field == "null" || field.find('@') != std::string_view::npos) return std::string_view();
    while (!field.empty() && field.back() == '*')
        field.remove_suffix(1);
    if (field == "ERARMTR1" || field == "AIRPORT1" || field == "00000000") return std::nullopt;
    if (field.size() > maxCallsignLength) return std::nullopt;
    return field;
}

TrafficDatagramResult gf_readTrafficDatagram(std::string_view datagram, const TrafficFilter& filter) {
    TrafficDatagramResult out;
    try {
        out.drop = lf_read(datagram, filter, out);
    } catch (DatagramError& e) {
        out.drop = TrafficDrop::error;
        out.error = std::move(e.text);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        out.drop = TrafficDrop::error;
        out.error = e.what();
    }
    if (out.drop != TrafficDrop::none) out.record = TrafficRecord{};
    return out;
}

TrafficReader::TrafficReader() : UdpReader("Traffic Reader") {}

void TrafficReader::onDatagram() {
    processLineSub();
}

void TrafficReader::processLineSub() {
    try {
        const TrafficFilterContext ctx = filterContext();
        const TrafficFilter filter{ctx.reference,
                                   trafficRadiusNm.load(),
                                   ctx.parkAirportElevation,
                                   ctx.parkAirportChosen,
                                   ctx.parkAirportPosition,
                                   ctx.parkAirportElevationFt,
                                   AIRBORNE_ONLY.value.load()};
        TrafficDatagramResult result = gf_readTrafficDatagram(data_, filter);
        if (result.feedTime) feedTimestamp.store(*result.feedTime);
        if (result.gatheredCallsign && !result.gatheredCallsign->empty() && collectCallsigns_.load()) {
            std::lock_guard lock(callsignMutex_);
            if (collectCallsigns_.load()) callsignSet_.emplace(*result.gatheredCallsign);
        }
        if (result.drop == TrafficDrop::error) {
            logLimited("exception in processLineSub",
                       "exception in processLineSub: " + gf_outsideText(result.error));
            return;
        }
        if (result.drop != TrafficDrop::none) return;

        std::lock_guard lock(addingStackMutex);
        if (addingStackOpen) {
            result.record.pos.duePass = enginePassCount.load() + feedDelayPasses;
            addingStack.push_back(std::move(result.record));
        }
    } catch (const std::exception& e) {
        logLimited("exception in processLineSub", "exception in processLineSub: " + gf_outsideText(e.what()));
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
