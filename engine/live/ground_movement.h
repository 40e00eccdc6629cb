#pragma once
// Ground movement of live aircraft: taxi legs with corner curves, push-back and pull-out, the take-off
// run and the landing roll, the drive onto a stand and the arrival there. Also the per-pass integration
// that every active aircraft runs between two movement steps (curve, heading turn, straight step), which
// the air movement shares.

#include "engine/base/ac_records.h"
#include "refdata/parking_format.h"

#include <optional>

// Metres per degree of latitude in the flat local frame of a curve.
inline constexpr double curveMetresPerDegree = 111132.95;

// Rotation speed (knots) of a size category.
double gf_rotationSpeed(SizeCategory category);

// A cargo operator's aircraft (cargo flag set, standFlag clear) parks on a stand with the cargo mark: the
// mark goes (the stand is not kept for freight only), the change is counted, logged and shown.
void gf_cargoCheckAtStand(const LiveAc& ac, ParkPos& stand);

// A curve is active while its end point is a number.
bool gf_hasCurve(const MoveState& m);
// Makes the quadratic curve from `from` (the aircraft) through `control` to `end`.
void gf_makeCurve(MoveState& m, const Lalo& from, const Lalo& control, const Lalo& end);
// A point of the curve with the heading of its tangent (radians in [0, 2*pi)); no heading when the
// tangent is zero. Nothing when there is no curve or t lies outside 0..1.
struct CurvePoint {
    Lalo pos;
    std::optional<double> heading;
};
std::optional<CurvePoint> gf_curveAt(const MoveState& m, double t);

// The per-pass integration of an active aircraft whose sample 0 moves: the curve step or the heading
// turn and the straight step, then the attitude; latitude and longitude kept in range.
void gf_integratePass(LiveAc& ac);

// Ground leg preparation, run by the consume step in ground mode while sample 0 and 1 are queued: the
// push-back stages, the parked aircraft's start, corner curves, midpoints and the turning mark. The
// consume step then runs the parking trigger (parking) and gf_timeGroundLeg.
void nextPosGround(LiveAc& ac);
// The ground leg's timing: the due pass of sample 1 and the lag and lead bounds.
void gf_timeGroundLeg(LiveAc& ac);

// The ground attitude and power step of a leg of `passes` passes (after the straight steps are set).
void gf_groundAttitudeStep(LiveAc& ac, double passes);

// Inserts a sample halfway between samples 0 and 1.
void gf_insertMidpoint(LiveAc& ac);

// A feed sample while the aircraft is being pushed back or waits pushed back: false drops it.
bool gf_checkPushBackSample(LiveAc& ac, PosSample& sample);

// Push back from the aircraft's stand (nothing when the stand is not in the stand list), and pulling
// out forwards.
void gf_pushBack(LiveAc& ac);
void gf_pullOut(LiveAc& ac);

// Appends the legs that take the aircraft from its last queued sample onto the stand (position in
// degrees, heading in radians).
void drive2Stand(LiveAc& ac, const StandPlace& stand);

// The queue of an aircraft in phase parking has run dry: it parks when it is at its stand, taxis on when
// it is not, and is removed (its count of made-up samples set to 1) when another aircraft holds the
// stand.
void gf_arriveAtStand(LiveAc& ac);
