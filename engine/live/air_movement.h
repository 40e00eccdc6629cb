#pragma once
// The movement of an aircraft in the air: per leg the altitude, pitch, heading and bank steps, and the
// configuration of climb-out, cruise and approach (throttle, gear, flaps, lights).

#include "core/geodesy.h"
#include "engine/base/ac_records.h"

#include <optional>
#include <string>

// The park airport as the movement sees it (none while no park airport is chosen).
struct EngineParkAirport {
    std::string code;
    Lalo position;
    double elevationFt = 0;
};
std::optional<EngineParkAirport> gf_engineParkAirport();

// Largest pitch change per pass (radians), largest bank (radians) and largest bank change per pass
// (radians) of a size category.
double gf_maxPitchStep(SizeCategory category);
double gf_maxBank(SizeCategory category);
double gf_maxBankStep(SizeCategory category);

// The descent rate near the ground, corrected by the feed's QNH: ft/min.
double gf_qnhCorrectedRate(const LiveAc& ac);

// The climb search of an aircraft whose next samples are still on the ground: the first airborne
// sample from sample 2 on becomes sample 1 (the samples between are erased) and is re-timed; false
// when there is none.
bool gf_climbSearch(LiveAc& ac);

// The take-off start: an active taxiing aircraft gaining speed begins its take-off run.
void gf_startTakeOff(LiveAc& ac);
// During a landing roll two airborne samples in a row: the aircraft takes off again (a touch-and-go).
void gf_restartTakeOffRun(LiveAc& ac);
// The take-off phase start (the rotation): countdown, pitch step to the rotation pitch, phase take_off;
// a landing roll ends here with throttle, spoilers and flaps of a go.
void gf_startTakeOffPhase(LiveAc& ac);

// The per-pass attitude: the take-off rotation and climb, the rotation back to the standing pitch
// after a touchdown, the flare, the ground attitude, or the air's pitch, bank and altitude steps.
void gf_attitudePass(LiveAc& ac);

// The air step of a leg of `passes` passes from sample 0 to sample 1 (both still queued); the straight
// steps are set already.
void gf_airStep(LiveAc& ac, double passes);
