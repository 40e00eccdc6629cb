// The stand-in's side of the client protocol: the names it understands, unit conversions, the table of the
// data it reads and writes per datum name, and the coding of data blocks. Internal to tools/simstub.
#pragma once

#include "core/units.h"
#include "tools/simstub/simstub.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace skyloom::simstub::protocol {

constexpr double kDegToRad = radiansPerDegree;
constexpr double kEarthRadiusNm = 60.0 * degreesPerRadian; // 60 nautical miles per degree of arc
constexpr double kMetresPerNm = metresPerNm;
constexpr std::size_t kCallLogLimit = 20000;
constexpr std::uint32_t kUserObjectId = 1;

std::string lower(std::string s);
std::string upper(std::string s);
std::string trim(const std::string& s);
double distanceNm(double lat1, double lon1, double lat2, double lon2);

// The units the stand-in delivers its data in, lower case ("" when the datum has none).
const std::set<std::string>& knownUnits();
// The system events the stand-in delivers, lower case.
const std::set<std::string>& knownSystemEvents();
// The simulator events the stand-in carries out on an aircraft.
const std::set<std::string>& knownSimEvents();

// Value of an angle stored in radians, in the datum's unit, and back.
double angleOut(double radians, const std::string& units);
double angleIn(double value, const std::string& units);
// Latitude and longitude are kept in degrees.
double latLonOut(double degrees, const std::string& units);
double latLonIn(double value, const std::string& units);

// One datum of a client's data definition.
struct Datum {
    std::string name;  // lower case
    std::string units; // lower case
    std::uint32_t type = 0;
};

// One datum's value: a number, or a text for the text datums.
struct Value {
    double number = 0;
    std::string text;
};

// What a datum reads from: the user or one AI object, with the ground below it and its model's CG data.
struct DatumSource {
    const UserAircraft* user = nullptr; // the user's state, also for the zulu clock
    const AiObject* ai = nullptr;       // set for an AI object
    double groundFt = 0;
    ModelCg cg;
};

// What the stand-in does with one datum name. `read` gives the value a data request sends; `writeAi` and
// `writeUser` take a value from a data block (absent: the value is taken and changes nothing).
struct DatumSpec {
    bool text = false;
    bool position = false; // setting it moves an AI object
    Value (*read)(const DatumSource&, const std::string& units) = nullptr;
    void (*writeAi)(AiObject&, double, const std::string& units) = nullptr;
    void (*writeUser)(UserAircraft&, double, const std::string& units) = nullptr;
};

// The datum names the stand-in knows, lower case.
const std::map<std::string, DatumSpec>& datumTable();
const DatumSpec* findDatum(const std::string& lowerName);

// Appends a value in the datum's type to a data block.
void appendValue(std::string& block, std::uint32_t type, const Value& v);
// Splits a data block by its definition; nothing when its size does not fit.
std::optional<std::vector<Value>> decodeBlock(const std::vector<Datum>& def, const std::string& data);

} // namespace skyloom::simstub::protocol
