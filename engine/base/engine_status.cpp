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

void EngineStatus::setAirportFileText(std::string text) {
    std::lock_guard lock(mutex_);
    airportFileText_ = std::move(text);
}

void EngineStatus::setQualityText(std::string text) {
    std::lock_guard lock(mutex_);
    qualityText_ = std::move(text);
}

EngineStatusValue EngineStatus::value() const {
    std::lock_guard lock(mutex_);
    return EngineStatusValue{liveCount.load(),
                             parkedLiveCount.load(),
                             staticCount.load(),
                             refusedCount.load(),
                             standUpdateCount.load(),
                             cargoChangeCount.load(),
                             staticMeanHours.load(),
                             liveMeanHours.load(),
                             maxParkCount.load(),
                             maxParkPercent.load(),
                             softMark.load(),
                             weekMark.load(),
                             pendingStaticCount.load(),
                             standPlanCount.load(),
                             parkedFileRead.load(),
                             reservedStandOk.load(),
                             renewalMinutes.load(),
                             standCount.load(),
                             handmadeAirportFile.load(),
                             callsignChoiceText_,
                             parkAirportText_,
                             parkedFileText_,
                             reservedStandText_,
                             airportFileText_,
                             qualityText_};
}

void EngineStatus::clearRun() {
    liveCount = 0;
    parkedLiveCount = 0;
    staticCount = 0;
    staticMeanHours = 0.0f;
    liveMeanHours = 0.0f;
    setParkedFileText({});
    setAirportFileText({});
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
    standCount = 0;
    handmadeAirportFile = false;
    setParkedFileText({});
    setReservedStandText({});
    setAirportFileText({});
    setQualityText({});
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
