#include "engine/static/static_parking_state.h"

#include "engine/base/engine_status.h"

StaticParkingState staticParkingState;

void StaticParkingState::clearRenewal() {
    renewalCollecting = false;
    renewalPending = false;
    calculationRequested = false;
}

void StaticParkingState::reset() {
    clearRenewal();
    busy = false;
    renewalCountdown = staticRenewalMinutes;
}

void gf_setStaticRenewalCountdown(std::int32_t minutes) {
    staticParkingState.renewalCountdown = minutes;
    engineStatus.renewalMinutes = minutes;
}

void gf_disableParkingControlsFromEngine() {
    staticParkingState.busy = true;
    if (const auto& hook = gf_engineHooks().disableParkingControls) hook();
}

void gf_enableParkingControlsFromEngine() {
    staticParkingState.busy = false;
    gf_setStaticRenewalCountdown(staticRenewalMinutes - 1);
    if (const auto& hook = gf_engineHooks().enableParkingControls) hook();
    if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
}
