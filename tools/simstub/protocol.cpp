#include "tools/simstub/protocol.h"

#include "platform/simconnect/simconnect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace skyloom::simstub::protocol {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return s;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

double distanceNm(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * kDegToRad, p2 = lat2 * kDegToRad;
    const double dp = p2 - p1, dl = (lon2 - lon1) * kDegToRad;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * kEarthRadiusNm * std::asin(std::min(1.0, std::sqrt(a)));
}

const std::set<std::string>& knownUnits() {
    static const std::set<std::string> names{
        "",     "none", "bool",  "boolean",         "degree", "degrees", "radian", "radians", "feet",
        "foot", "knot", "knots", "feet per second", "second", "seconds", "number", "mask",    "percent"};
    return names;
}

const std::set<std::string>& knownSystemEvents() {
    static const std::set<std::string> names{"sim", "objectadded", "objectremoved", "frame", "flightloaded"};
    return names;
}

const std::set<std::string>& knownSimEvents() {
    static const std::set<std::string> names{
        "NAV_LIGHTS_SET",      "BEACON_LIGHTS_SET",    "LANDING_LIGHTS_SET",
        "TAXI_LIGHTS_SET",     "STROBES_SET",          "LOGO_LIGHTS_SET",
        "CABIN_LIGHTS_SET",    "ALL_LIGHTS_TOGGLE",    "GEAR_SET",
        "FLAPS_SET",           "SPOILERS_SET",         "THROTTLE_SET",
        "ENGINE_AUTO_START",   "ENGINE_AUTO_SHUTDOWN", "FREEZE_LATITUDE_LONGITUDE_SET",
        "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"};
    return names;
}

double angleOut(double radians, const std::string& units) {
    return units.find("degree") != std::string::npos ? radians / kDegToRad : radians;
}
double angleIn(double value, const std::string& units) {
    return units.find("degree") != std::string::npos ? value * kDegToRad : value;
}
double latLonOut(double degrees, const std::string& units) {
    return units.find("radian") != std::string::npos ? degrees * kDegToRad : degrees;
}
double latLonIn(double value, const std::string& units) {
    return units.find("radian") != std::string::npos ? value / kDegToRad : value;
}

namespace {

Value number(double v) {
    return Value{v, {}};
}
Value text(std::string s) {
    return Value{0, std::move(s)};
}
double latitudeOf(const DatumSource& s) {
    return s.ai ? s.ai->latitude : s.user->latitude;
}
double longitudeOf(const DatumSource& s) {
    return s.ai ? s.ai->longitude : s.user->longitude;
}
double altitudeOf(const DatumSource& s) {
    return s.ai ? s.ai->altitudeFt : s.user->altitudeFt;
}

using U = const std::string&;

} // namespace

const std::map<std::string, DatumSpec>& datumTable() {
    static const std::map<std::string, DatumSpec> table{
        {"plane latitude",
         {false, true, [](const DatumSource& s, U u) { return number(latLonOut(latitudeOf(s), u)); },
          [](AiObject& a, double x, U u) { a.latitude = latLonIn(x, u); },
          [](UserAircraft& p, double x, U u) { p.latitude = latLonIn(x, u); }}},
        {"plane longitude",
         {false, true, [](const DatumSource& s, U u) { return number(latLonOut(longitudeOf(s), u)); },
          [](AiObject& a, double x, U u) { a.longitude = latLonIn(x, u); },
          [](UserAircraft& p, double x, U u) { p.longitude = latLonIn(x, u); }}},
        {"plane pitch degrees",
         {false, false,
          [](const DatumSource& s, U u) {
              return number(angleOut(s.ai ? s.ai->pitchRad : s.user->pitchDeg * kDegToRad, u));
          },
          [](AiObject& a, double x, U u) { a.pitchRad = angleIn(x, u); },
          [](UserAircraft& p, double x, U u) { p.pitchDeg = angleIn(x, u) / kDegToRad; }}},
        {"plane bank degrees",
         {false, false,
          [](const DatumSource& s, U u) {
              return number(angleOut(s.ai ? s.ai->bankRad : s.user->bankDeg * kDegToRad, u));
          },
          [](AiObject& a, double x, U u) { a.bankRad = angleIn(x, u); },
          [](UserAircraft& p, double x, U u) { p.bankDeg = angleIn(x, u) / kDegToRad; }}},
        {"plane heading degrees true",
         {false, false,
          [](const DatumSource& s, U u) {
              return number(angleOut(s.ai ? s.ai->headingRad : s.user->headingDeg * kDegToRad, u));
          },
          [](AiObject& a, double x, U u) { a.headingRad = angleIn(x, u); },
          [](UserAircraft& p, double x, U u) { p.headingDeg = angleIn(x, u) / kDegToRad; }}},
        {"plane altitude",
         {false, true, [](const DatumSource& s, U) { return number(altitudeOf(s)); },
          [](AiObject& a, double x, U) { a.altitudeFt = x; },
          [](UserAircraft& p, double x, U) { p.altitudeFt = x; }}},
        {"plane alt above ground",
         {false, false, [](const DatumSource& s, U) { return number(altitudeOf(s) - s.groundFt); }}},
        {"ground altitude", {false, false, [](const DatumSource& s, U) { return number(s.groundFt); }}},
        {"vertical speed",
         {false, false, [](const DatumSource& s, U) { return number(s.ai ? s.ai->verticalSpeedFps : 0.0); },
          [](AiObject& a, double x, U) { a.verticalSpeedFps = x; }}},
        {"airspeed true",
         {false, false,
          [](const DatumSource& s, U) { return number(s.ai ? s.ai->trueAirspeedKt : s.user->groundSpeedKt); },
          [](AiObject& a, double x, U) { a.trueAirspeedKt = x; }}},
        {"ground velocity",
         {false, false,
          [](const DatumSource& s, U) { return number(s.ai ? s.ai->trueAirspeedKt : s.user->groundSpeedKt); },
          nullptr, [](UserAircraft& p, double x, U) { p.groundSpeedKt = x; }}},
        {"sim on ground",
         {false, false,
          [](const DatumSource& s, U) {
              return number((s.ai ? s.ai->onGround : s.user->onGround) ? 1 : 0);
          }}},
        {"title",
         {true, false, [](const DatumSource& s, U) { return text(s.ai ? s.ai->title : s.user->title); }}},
        {"atc model",
         {true, false,
          [](const DatumSource& s, U) { return text(s.ai ? std::string() : s.user->atcModel); }}},
        {"atc id",
         {true, false,
          [](const DatumSource& s, U) { return text((s.ai ? s.ai->tail : s.user->atcId).substr(0, 31)); }}},
        {"zulu time",
         {false, false,
          [](const DatumSource& s, U) { return number(static_cast<double>(s.user->zuluTime)); }}},
        {"zulu day of year",
         {false, false,
          [](const DatumSource& s, U) { return number(static_cast<double>(s.user->dayOfYear)); }}},
        {"zulu year",
         {false, false, [](const DatumSource& s, U) { return number(static_cast<double>(s.user->year)); }}},
        {"light states",
         {false, false,
          [](const DatumSource& s, U) { return number(s.ai ? s.ai->lights : s.user->lightStates); }}},
        {"light on states",
         {false, false,
          [](const DatumSource& s, U) { return number(s.ai ? s.ai->lights : s.user->lightStates); }}},
        {"static cg to ground",
         {false, false, [](const DatumSource& s, U) { return number(s.cg.cgHeightFt); }}},
        {"static pitch",
         {false, false, [](const DatumSource& s, U u) { return number(angleOut(s.cg.staticPitchRad, u)); }}},
        {"spoilers handle position",
         {false, false, [](const DatumSource& s, U) { return number(s.ai ? s.ai->spoilersHandlePct : 0.0); },
          [](AiObject& a, double x, U) { a.spoilersHandlePct = x; }}},
        {"general eng throttle lever position:1",
         {false, false, [](const DatumSource& s, U) { return number(s.ai ? s.ai->throttleLever1Pct : 0.0); },
          [](AiObject& a, double x, U) { a.throttleLever1Pct = x; }}},
        {"general eng throttle lever position:2",
         {false, false, [](const DatumSource& s, U) { return number(s.ai ? s.ai->throttleLever2Pct : 0.0); },
          [](AiObject& a, double x, U) { a.throttleLever2Pct = x; }}},
    };
    return table;
}

const DatumSpec* findDatum(const std::string& lowerName) {
    const auto& table = datumTable();
    const auto it = table.find(lowerName);
    return it == table.end() ? nullptr : &it->second;
}

void appendValue(std::string& block, std::uint32_t type, const Value& v) {
    char raw[8];
    switch (type) {
    case SIMCONNECT_DATATYPE_FLOAT64: {
        std::memcpy(raw, &v.number, 8);
        block.append(raw, 8);
        break;
    }
    case SIMCONNECT_DATATYPE_FLOAT32: {
        const auto f = static_cast<float>(v.number);
        std::memcpy(raw, &f, 4);
        block.append(raw, 4);
        break;
    }
    case SIMCONNECT_DATATYPE_INT64: {
        const auto i = static_cast<std::int64_t>(std::llround(v.number));
        std::memcpy(raw, &i, 8);
        block.append(raw, 8);
        break;
    }
    case SIMCONNECT_DATATYPE_INT32: {
        const auto i = static_cast<std::int32_t>(std::lround(v.number));
        std::memcpy(raw, &i, 4);
        block.append(raw, 4);
        break;
    }
    case SIMCONNECT_DATATYPE_STRING32: {
        std::string s = v.text.substr(0, 31);
        s.resize(32, '\0');
        block += s;
        break;
    }
    case SIMCONNECT_DATATYPE_STRINGV: {
        block += v.text;
        block.push_back('\0');
        break;
    }
    default:
        break;
    }
}

std::optional<std::vector<Value>> decodeBlock(const std::vector<Datum>& def, const std::string& data) {
    std::vector<Value> values;
    std::size_t pos = 0;
    for (const Datum& d : def) {
        Value v;
        if (d.type == SIMCONNECT_DATATYPE_STRINGV) {
            const auto nul = data.find('\0', pos);
            if (nul == std::string::npos) return std::nullopt;
            v.text = data.substr(pos, nul - pos);
            pos = nul + 1;
        } else {
            const std::size_t n = SimConnect_DatumSize(d.type);
            if (data.size() - pos < n) return std::nullopt;
            const char* p = data.data() + pos;
            if (d.type == SIMCONNECT_DATATYPE_FLOAT64) {
                std::memcpy(&v.number, p, 8);
            } else if (d.type == SIMCONNECT_DATATYPE_FLOAT32) {
                float f;
                std::memcpy(&f, p, 4);
                v.number = f;
            } else if (d.type == SIMCONNECT_DATATYPE_INT64) {
                std::int64_t i;
                std::memcpy(&i, p, 8);
                v.number = static_cast<double>(i);
            } else if (d.type == SIMCONNECT_DATATYPE_INT32) {
                std::int32_t i;
                std::memcpy(&i, p, 4);
                v.number = i;
            } else {
                v.text = std::string(p, strnlen(p, n));
            }
            pos += n;
        }
        values.push_back(std::move(v));
    }
    if (pos != data.size()) return std::nullopt;
    return values;
}

} // namespace skyloom::simstub::protocol
