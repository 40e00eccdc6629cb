#include "app/run_state.h"

std::atomic<bool> freshStart{true};
std::atomic<bool> productionMode{false};
std::atomic<bool> simulatorIs2020{true};
std::atomic<std::int32_t> simulatorKind{1};
std::atomic<bool> referenceDataLoaded{false};
std::atomic<bool> secondTick{false};
std::atomic<std::int32_t> runSeconds{0};
std::atomic<bool> flightPaused{false};

void gf_resetRunStateForTests() {
    currentWeekSlot = 0;
    freshStart = true;
    productionMode = false;
    simulatorIs2020 = true;
    simulatorKind = 1;
    referenceDataLoaded = false;
    secondTick = false;
    runSeconds = 0;
    flightPaused = false;
    staticParkingState.renewalCollecting = false;
}
