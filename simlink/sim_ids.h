#pragma once
// The numeric identifiers the simulator link uses with the simulator: system events, data
// definitions, client events, the notification group and the requests.

#include <cstdint>

enum SystemEventId : std::uint32_t {
    evSim = 201,
    evObjectAdded = 202,
    evObjectRemoved = 203,
    evFrame = 204,
    evFlightLoaded = 205,
};

enum DataDefId : std::uint32_t {
    defAcControls = 401,    // spoilers handle, throttle levers 1 and 2 (percent), three f64
    defAiPosition = 402,    // AiPosition, 64 bytes
    defUserState = 403,     // UserState, 96 bytes
    defObjectsByType = 404, // altitude above ground, ground altitude, on ground, "ATC ID": 56 bytes
    defStaticCg = 405,      // "Static CG to Ground", "Static Pitch"
    defLightOnStates = 406,
    defUserTitle = 407,    // variable-length text
    defUserAtcModel = 408, // 32-byte text
    defUserOnGround = 409, // one i64
};

enum ClientEventId : std::uint32_t {
    evBeaconLightsSet = 206,
    evNavLightsSet = 207,
    evTaxiLightsSet = 208,
    evStrobesSet = 209,
    evLandingLightsSet = 210,
    evCabinLightsSet = 211,
    evLogoLightsSet = 212,
    evAllLightsToggle = 213,
    evFreezeLatLonSet = 214,
    evFreezeAltitudeSet = 215,
    evFreezeAttitudeSet = 216,
    evFlapsSet = 217,
    evSpoilersSet = 218,
    evGearSet = 219,
    evEngineAutoStart = 220,
    evEngineAutoShutdown = 221,
    evThrottleSet = 222,
};

enum NotificationGroupId : std::uint32_t {
    grpAiControl = 301,
};

enum RequestId : std::uint32_t {
    reqObjectsByType = 101,
    reqStaticCg = 102,
    reqAiReleaseControl = 103,
    reqAiCreate = 104,
    reqAiRemove = 105,
    reqUserTitle = 106,
    reqUserAtcModel = 107,
    reqUserOnGround = 108,
    reqUserState = 109,
    reqAiFlightPlan = 110,
    reqNewObject = 111, // definition 404 of one object just added, wherever it is
};
