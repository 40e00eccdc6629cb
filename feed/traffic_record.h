#pragma once
// One live flight as the traffic reader accepts it, and the identity head that every aircraft record
// of the program starts with.

#include <cstdint>
#include <optional>
#include <string>

// The identity texts of an aircraft. The feed fills type, orig, dest, cs and reg; the traffic engine
// uses the other fields.
struct FlightIdent {
    std::string airl;   // airline ICAO code ("PVT" for a private flight)
    std::string type;   // ICAO aircraft type designator
    std::string orig;   // origin airport code
    std::string dest;   // destination airport code
    std::string cs;     // callsign
    std::string feedCs; // the callsign as it came from the feed
    std::string text;   // a further callsign text of the engine
    std::string reg;    // registration mark
    bool identFlag = false;
};

// The position block of one feed sample; the traffic engine keeps these in an aircraft's sample queue.
struct PosSample {
    double lat = 0.0;         // degrees
    double lon = 0.0;         // degrees
    double alt = 0.0;         // feet; 0 means on the ground
    double gs = 0.0;          // ground speed, knots
    double track = 0.0;       // degrees
    double vs = 0.0;          // vertical speed as sent, feet per minute
    double tas = 0.0;         // true airspeed, knots
    std::int64_t duePass = 0; // the engine pass at which the sample is due (64-bit: never wraps)
    bool airborne = false;
    bool standing = false;             // never set by the feed; the engine's mark for a standing aircraft
    bool hasTrueHeading = false;       // the true heading below came from the feed's own heading field
    std::optional<double> bank;        // radians (minus the reported roll)
    std::optional<double> trueHeading; // radians, in (0, 2*pi]
};

// One accepted live flight, queued by value in the adding stack.
struct TrafficRecord : FlightIdent {
    PosSample pos;
    double feedTime = 0.0;   // Unix seconds of the datagram
    std::uint32_t hexid = 0; // transponder address; above 10000 for every live flight
};
