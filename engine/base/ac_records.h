#pragma once
// The aircraft records of the traffic engine. Each layer adds to the one below: FlightIdent (the feed's
// identity head), AcData (type data), StaticAc (the simulator object and the stand), LiveAc (position
// block, sample queue and movement state). Also the two state enumerations with their names, and the
// text helpers every log line about an aircraft uses.

#include "feed/traffic_record.h"
#include "refdata/airl_type_key.h"
#include "refdata/size_category.h"
#include "simlink/sim_link.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// Where an aircraft stands in its life with the simulator.
enum class SimState : std::uint32_t {
    buffer = 0,          // known, not yet handed to the simulator
    adding2sim = 1,      // creation queued or sent, no object set up yet
    active = 2,          // the object exists and is driven
    liveryrespawn = 3,   // being removed to be created again with another livery
    removingfromsim = 4, // removal handed to the simulator
};

// What a live aircraft is doing.
enum class AcPhase : std::uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    take_off = 3,
    flying = 4,
    parking = 5,
    parked = 6,
    birth = 7,
};

// The enumerator's name. An unknown value throws std::out_of_range.
std::string_view gf_simStateName(SimState state);
std::string_view gf_acPhaseName(AcPhase phase);

// Transponder addresses above this mark live aircraft; at or below it static ones.
inline constexpr std::uint32_t liveHexidAbove = 10000;
inline bool gf_isLiveHexid(std::uint32_t hexid) {
    return hexid > liveHexidAbove;
}

// ---- Records ------------------------------------------------------------------------------------------

// Identity plus the type data of one aircraft.
struct AcData : FlightIdent {
    double halfSize = 0;     // half the wingspan, nautical miles
    double cgHeight = 0;     // feet from the ground to the centre of gravity; 0 until reported
    double staticPitch = 0;  // radians, standing on the ground; 0 until reported
    double takeoffPitch = 0; // radians, the pitch the rotation aims at (negative: nose up)
    double pitchB = 0;       // radians, the climb pitch
    double rateA = 0;        // radians per pass, the base turn rate
    double rateB = 0;        // radians per pass, the working turn rate
    double factorA = 0;      // largest altitude step per pass, feet (set for a live record)
    double factorB = 0;      // taxi speed, knots (set for a live record)
    std::uint32_t hexid = 0; // transponder address
    SizeCategory sizeCat = SizeCategory::Large;
    std::string_view liveryTitle;    // a view into the livery tables; empty until a livery is chosen
    std::uint32_t slotsA = 0;        // passes of the pitch change into the flare
    std::uint32_t onGroundSlots = 0; // passes to the standing attitude after touchdown
    std::uint32_t rotationSlots = 0; // passes of the take-off rotation
    std::uint32_t slotsD = 0;        // passes of the pitch change into the climb
    bool cargo = false;
    bool reverseFlag = false; // the model's throttle runs the other way at touchdown

    AcData() = default;
    // The type-data constructor: identity copied, type data from the type's size category
    // (take-off and climb pitch varied at random by 2.5 and 5 per cent).
    explicit AcData(const FlightIdent& ident);
};

// A stand position: latitude and longitude in degrees, heading in radians.
struct StandPlace {
    double lat = 0;
    double lon = 0;
    double hdg = 0;
};

// A static parked aircraft; also the simulator side of every live aircraft.
struct StaticAc : AcData {
    std::uint32_t oid = 0; // simulator object id; 0 until the object exists
    double standLat = 0;
    double standLon = 0;
    double standHdg = 0;           // radians
    std::uint64_t parkedSince = 0; // WeekSlot::packed() of the time it was parked; 0 at construction
    std::uint32_t sid = 0;         // stand number in the park airport's stand list; 0 is none
    SimState simState = SimState::buffer;
    std::uint32_t throttleIdx = 5; // last throttle index sent; 5: none yet
    std::uint32_t flapsIdx = 4;    // last flaps index sent
    bool standFlag = false;        // the parked cabin lights stay off
    bool removePending = false;    // remove as soon as the object is set up
    bool eraseNow = false;         // erase at the next compaction
    bool eraseDropped = false;     // the queued creation was withdrawn; erase at the next compaction

    StaticAc() = default;
    StaticAc(AcData data, std::uint32_t standId, const StandPlace& stand, bool flag);
};

// The movement state of a live aircraft (the movement and the take-off and landing steps).
struct MoveState {
    std::int32_t extrapolationCount = 0; // >0: dead-reckoned samples to come; -1: used up
    std::int64_t holdingSince = 0;       // pass at which the aircraft began to wait in place
    bool holding = false;
    double stepLat = 0, stepLon = 0;                     // degrees per pass on a straight leg
    double pitchStep = 0, bankStep = 0, headingStep = 0; // radians per pass
    double altStep = 0;                                  // feet per pass
    double shownVs = 0;                                  // feet per minute
    double shownTas = 0;                                 // knots
    double targetBearing = 0;                            // radians
    // The curve of the current turn; not-a-number in the last point: no curve.
    std::array<Lalo, 4> curve{
        Lalo{}, Lalo{}, Lalo{},
        Lalo{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()}};
    double curveT = 0, curveStep = 0;
    std::int32_t lagBound = 1000;
    std::int32_t leadBound = 1000;
    // Take-off and landing.
    std::int32_t rotationCountdown = 1;
    std::int32_t landingCounter = 0;
    bool approach = false;
    bool climbOutDone = false;
    bool takeoffRun = false;
    bool landing = false;
    bool landingRoll = false; // the rollout after a touchdown
    bool touchedDown = false;
    bool landed = false;
    bool towed = false;
    bool cruiseLightsSet = false;
    bool lowAltLightsSet = false;
    std::uint32_t flareStage = 0;
    double touchdownHeading = 0;       // radians
    double heightAboveGround = 2500.0; // feet, replaced by the simulator's reports
    double groundElevation = 0;
    bool groundElevationKnown = false;
    // Ground movement.
    bool turning = false;
    double turnAngle = 0;
    double curveAngle = 0;
    bool pushbackPending = false;
    std::uint32_t pushbackStage = 0;
    bool pushbackSideKnown = false;
    bool pushbackSide = false;
    std::optional<PosSample> pushbackEnd;
    double lastPushedBackDistance = 900;
};

// A live aircraft at its stand: what the feed's samples have shown of it there.
struct StandWatch {
    bool seenAtStand = false;   // the feed reports the aircraft at its stand
    bool distanceKnown = false; // the start and farthest distances below are set
    double startNm = 0;         // distance from the stand of the first sample there
    double farthestNm = 0;      // the farthest distance since
    std::uint32_t movesAway = 0;
    // Where a stand was last looked for after a halt (not-a-number: never).
    double lastTryLat = std::numeric_limits<double>::quiet_NaN();
    double lastTryLon = std::numeric_limits<double>::quiet_NaN();
};

// A live aircraft from the traffic feed.
struct LiveAc : StaticAc {
    AiPosition pos;                // the block sent to the simulator each frame
    std::deque<PosSample> samples; // oldest first
    double lastFeedTime = 0;
    double lastCheckLat = 0, lastCheckLon = 0;
    std::int64_t parkStartTicks = 0; // engine clock ticks when parked at spawn
    AcPhase phase = AcPhase::birth;
    AcPhase prevPhase = AcPhase::birth;
    bool onGround = false;
    bool heldForUser = false;
    bool hasFlightPlan = false;        // the AI flight plan was handed over (or written, MSFS 2024)
    std::uint8_t failedUpdates = 0;    // consecutive passes whose update failed
    std::optional<double> keptHeading; // radians, the heading before a livery respawn
    MoveState move;
    StandWatch standWatch;

    LiveAc() = default;
    LiveAc(const PosSample& first, AcData data, double feedTime);

    // Changes the phase when it differs, keeping the old one in prevPhase.
    void setPhase(AcPhase next);
};

// ---- Per-category tables of the engine ------------------------------------------------------------

// Largest altitude step per pass (feet) and taxi speed (knots) of a live aircraft.
double gf_factorAOf(SizeCategory category);
double gf_factorBOf(SizeCategory category);

// ---- Text helpers ------------------------------------------------------------------------------------

// {airline, type} equals the record's.
bool gf_isSameAirlType(std::string_view airl, std::string_view type, const FlightIdent& ac);
// "{:3}->{:3}" of origin and destination, or eight blanks when both are empty.
std::string gf_routeText(const FlightIdent& ac);
// "{:8}" of the callsign.
std::string gf_callsignColumn(const FlightIdent& ac);
// Route text, callsign column and registration.
std::string gf_identityText(const FlightIdent& ac);
// The start of every log line about one aircraft: the identity text and the airline-and-type key.
std::string gf_acLogText(const FlightIdent& ac);
// Callsign column, registration and airline-and-type key.
std::string gf_acLogTextWithReg(const FlightIdent& ac);
// The key of the no-match set: the airline-and-type key, a blank, the registration.
std::string gf_matchKey(const FlightIdent& ac);
// The first three characters upper-cased when they are letters and the fourth is a digit.
std::optional<std::string> gf_airlineFromCallsign(std::string_view cs);
// Non-empty, not "@@@@@@@@", at most eight characters.
bool gf_isValidCallsign(const FlightIdent& ac);
