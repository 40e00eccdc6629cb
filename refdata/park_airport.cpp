#include "refdata/park_airport.h"

#include "core/restore_parameters.h"
#include "refdata/parking_format.h"

std::string parkAirportCode;
Airport currentParkAirport;
ParkAirportInfo parkAirportInfo;
bool handmadeApf = false;
bool learnedFileRefused = false;
std::atomic<bool> parkAirportLoaded{false};
std::atomic<std::int32_t> rtTrafficWeek{0};
QualityFactors parkQualityFactors;

ParkingHooks& gf_parkingHooks() {
    static ParkingHooks hooks;
    return hooks;
}

void gf_resetParkAirportForTests() {
    parkAirportCode.clear();
    currentParkAirport = Airport{};
    parkAirportInfo = ParkAirportInfo{};
    handmadeApf = false;
    learnedFileRefused = false;
    parkAirportLoaded = false;
    rtTrafficWeek = 0;
    parkQualityFactors = QualityFactors{};
    gf_clearParkPositions();
    gf_parkingHooks() = ParkingHooks{};
    learnedSettingsInForce = false;
}
