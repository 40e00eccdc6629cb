#pragma once
// What one queued live flight does: a new address becomes a new live aircraft (state buffer), a known
// one gives a new position sample, unless one of the intake rules drops the record.

#include "engine/base/ac_records.h"
#include "feed/traffic_record.h"

// A known aircraft's record passes the respawn check before its sample is taken.
enum class IntakeResult {
    created,  // a new live aircraft
    accepted, // a new sample of a known aircraft
    dropped,
};

IntakeResult gf_addOrUpdate(const TrafficRecord& record);
// Builds a new LiveAc from the record (type from the registration, admitted category, park-airport
// elevation rule); dropped when a rule refuses it.
IntakeResult gf_createFromRecord(const TrafficRecord& record);
// The park-airport elevation rule: an aircraft between 0 and 10000 ft within 108 ft of the park
// airport's elevation is on the ground there and is left to the static parking.
bool gf_atParkAirportElevation(const PosSample& sample);
// Hands an accepted sample to the movement's intake (decodeExisting); false when it was dropped.
bool gf_takeSample(LiveAc& ac, const PosSample& sample);
