#include "engine/base/engine_status.h"

#include <utility>

EngineStatus engineStatus;

std::string EngineStatus::callsignChoiceText() const {
    std::lock_guard lock(mutex_);
    return callsignChoiceText_;
}

void EngineStatus::setCallsignChoiceText(std::string text) {
    std::lock_guard lock(mutex_);
    callsignChoiceText_ = std::move(text);
}

std::string EngineStatus::parkAirportText() const {
    std::lock_guard lock(mutex_);
    return parkAirportText_;
}

void EngineStatus::setParkAirportText(std::string text) {
    std::lock_guard lock(mutex_);
    parkAirportText_ = std::move(text);
}

std::string EngineStatus::parkedFileText() const {
    std::lock_guard lock(mutex_);
    return parkedFileText_;
}

void EngineStatus::setParkedFileText(std::string text) {
    std::lock_guard lock(mutex_);
    parkedFileText_ = std::move(text);
}

std::string EngineStatus::reservedStandText() const {
    std::lock_guard lock(mutex_);
    return reservedStandText_;
}

void EngineStatus::setReservedStandText(std::string text) {
    std::lock_guard lock(mutex_);
    reservedStandText_ = std::move(text);
}

void EngineStatus::reset() {
    liveCount = 0;
    parkedLiveCount = 0;
    staticCount = 0;
    refusedCount = 0;
    standUpdateCount = 0;
    cargoChangeCount = 0;
    staticMeanHours = 0.0f;
    liveMeanHours = 0.0f;
    setCallsignChoiceText({});
    setParkAirportText({});
    maxParkCount = 0;
    maxParkPercent = 0;
    softMark = false;
    weekMark = false;
    pendingStaticCount = 0;
    standPlanCount = 0;
    parkedFileRead = false;
    reservedStandOk = false;
    renewalMinutes = 0;
    setParkedFileText({});
    setReservedStandText({});
}

namespace {

EngineHooks hooks;

} // namespace

EngineHooks& gf_engineHooks() {
    return hooks;
}

void gf_resetEngineHooks() {
    hooks = EngineHooks{};
}
