#include "app/run_state.h"

std::atomic<bool> freshStart{true};
std::atomic<bool> productionMode{false};
std::atomic<bool> simulatorIs2020{true};
std::atomic<bool> referenceDataLoaded{false};
std::atomic<bool> secondTick{false};
std::atomic<std::int32_t> runSeconds{0};
std::atomic<bool> flightPaused{false};
std::atomic<bool> feedStarting{true};
std::atomic<std::uint64_t> liveryCount{0};
std::atomic<std::uint64_t> simAddonAirportCount{0};
std::atomic<std::uint64_t> thirdPartyAirportCount{0};

std::int32_t gf_simulatorKind() {
    return simulatorIs2020.load() ? 1 : 2;
}

void gf_resetRunStateForTests() {
    currentWeekSlot = 0;
    freshStart = true;
    productionMode = false;
    simulatorIs2020 = true;
    referenceDataLoaded = false;
    secondTick = false;
    runSeconds = 0;
    flightPaused = false;
    staticParkingState.renewalCollecting = false;
    feedStarting = true;
    liveryCount = 0;
    simAddonAirportCount = 0;
    thirdPartyAirportCount = 0;
}
