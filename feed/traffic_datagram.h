#pragma once
// The traffic datagram: one live flight as one line of comma-separated fields. Its reading is one pure
// function, bytes and a filter in, a record or the reason it was dropped out, with no socket, lock or
// global in between: the traffic reader, the tests, the benchmark and the fuzz targets all call it.

#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "feed/traffic_record.h"

// Everything the filter judges a datagram by, copied once per datagram.
struct TrafficFilter {
    Lalo reference;                             // centre of the range filter
    double radiusNm = 40.0;                     // flights farther away are dropped
    std::optional<double> parkAirportElevation; // feet, from the park airport's airport file
    bool parkAirportChosen = false;             // a park airport is chosen
    Lalo parkAirportPosition;
    double parkAirportElevationFt = 0.0; // the park airport's elevation in the airports table
    bool airborneOnly = false;           // AIRBORNE_ONLY
};

// Why a datagram gave no record. Every reason but `error` is a silent drop.
enum class TrafficDrop {
    none,              // accepted: the record is filled in
    vehicle,           // a ground vehicle (" VEH" anywhere)
    tooFewFields,      // fewer than 29 fields
    error,             // a malformed or impossible value; the text says which
    outOfRange,        // beyond the traffic radius
    registration,      // a registration of more than 12 characters
    noType,            // no aircraft type
    category,          // an emitter category of a non-aircraft
    notAnAircraft,     // a type that is no aircraft, with a category given
    hexid,             // a transponder address of 10000 or less
    airborneOnly,      // too close to the park airport's height while AIRBORNE_ONLY is on
    callsign,          // a placeholder or overlong callsign
    noIdentity,        // neither registration nor callsign
    groundAwayFromPark // on the ground and not at the park airport
};

struct TrafficDatagramResult {
    TrafficDrop drop = TrafficDrop::none;
    // With `error`: what was wrong (it may quote the datagram's own text).
    std::string error;
    // The datagram's feed time once read; a later drop leaves it set.
    std::optional<double> feedTime;
    // The callsign to gather while callsigns of live flights are collected, a view into the datagram:
    // set (possibly empty: no callsign) once the datagram has passed the range and registration checks.
    std::optional<std::string_view> gatheredCallsign;
    // The accepted flight (drop none); its due pass is left for the queue to set.
    TrafficRecord record;
};

// Reads one datagram. Never throws (but for running out of memory).
TrafficDatagramResult gf_readTrafficDatagram(std::string_view datagram, const TrafficFilter& filter);

// The callsign rule: "null", one with "@" and one left empty once trailing "*" are stripped (a mark the
// simulator keeps for static aircraft) are no callsign; placeholders and callsigns longer than the
// simulator's ATC id drop the flight (empty result).
std::optional<std::string_view> gf_trafficCallsign(std::string_view field);
