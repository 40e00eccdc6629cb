#pragma once
// What the status area shows of the traffic engine, and the engine's calls into the modules above it
// (hooks that the program wires at start-up). The worker writes the status; the window thread reads it
// (atomics, texts under a mutex) after the repaint hook asked for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// One copy of everything EngineStatus holds, taken at once (EngineStatus::value).
struct EngineStatusValue {
    std::uint64_t liveCount = 0;
    std::uint64_t parkedLiveCount = 0;
    std::uint64_t staticCount = 0;
    std::uint64_t refusedCount = 0;
    std::uint32_t standUpdateCount = 0;
    std::uint32_t cargoChangeCount = 0;
    float staticMeanHours = 0.0f;
    float liveMeanHours = 0.0f;
    std::int32_t maxParkCount = 0;
    std::int32_t maxParkPercent = 0;
    bool softMark = false;
    bool weekMark = false;
    std::uint64_t pendingStaticCount = 0;
    std::uint64_t standPlanCount = 0;
    bool parkedFileRead = false;
    bool reservedStandOk = false;
    std::int32_t renewalMinutes = 0;
    std::uint64_t standCount = 0;
    bool handmadeAirportFile = false;
    std::string callsignChoiceText;
    std::string parkAirportText;
    std::string parkedFileText;
    std::string reservedStandText;
    std::string airportFileText;
    std::string qualityText;
};

// The worker thread writes it; the window thread reads it (atomics, texts under the mutex).
struct EngineStatus {
    // Counted by gf_countAircraft (aircraft_counts): active live aircraft not parked, parked active live
    // aircraft, static aircraft active or being removed.
    std::atomic<std::uint64_t> liveCount{0};
    std::atomic<std::uint64_t> parkedLiveCount{0};
    std::atomic<std::uint64_t> staticCount{0};
    // Creations the simulator refused during this process.
    std::atomic<std::uint64_t> refusedCount{0};
    // Stand updates (learned options, enlarged radii) since the stands were last saved.
    std::atomic<std::uint32_t> standUpdateCount{0};
    // Stands whose cargo mark was taken away because a passenger aircraft parked there.
    std::atomic<std::uint32_t> cargoChangeCount{0};
    // The mean parked time of the static aircraft, hours.
    std::atomic<float> staticMeanHours{0.0f};
    // The mean parked time of the parked live aircraft, hours (0 with none).
    std::atomic<float> liveMeanHours{0.0f};

    // The static parking: the wanted number of static aircraft (max park) and its share of the stands
    // in percent; the last search took soft flights (soft mark) or flights of any weekday (week mark).
    std::atomic<std::int32_t> maxParkCount{0};
    std::atomic<std::int32_t> maxParkPercent{0};
    std::atomic<bool> softMark{false};
    std::atomic<bool> weekMark{false};
    // Static aircraft still waiting to be placed.
    std::atomic<std::uint64_t> pendingStaticCount{0};
    // The stand-plan list's length (staticPicks.staticAddList: the picks of the last calculation not placed
    // yet), refreshed by the calculation and once a second while it is busy; "# updates" shows it then.
    std::atomic<std::uint64_t> standPlanCount{0};
    // The park airport's stands were read without an error (parked-file mark).
    std::atomic<bool> parkedFileRead{false};
    // The reserved stand is a stand of the park airport.
    std::atomic<bool> reservedStandOk{false};
    // Minutes to the next renewal of the static aircraft.
    std::atomic<std::int32_t> renewalMinutes{0};
    // The park airport's stands as its airport file gave them, and whether that file is hand-made.
    std::atomic<std::uint64_t> standCount{0};
    std::atomic<bool> handmadeAirportFile{false};

    // "= {oid}" or "has left" beside the callsign box; empty when nothing is tracked.
    std::string callsignChoiceText() const;
    void setCallsignChoiceText(std::string text);
    // The park airport's display name ("LSZH (ZRH)"); empty when there is none.
    std::string parkAirportText() const;
    void setParkAirportText(std::string text);
    // The park airport's stands as read ("LSZH.xml" and the like); empty when none are loaded.
    std::string parkedFileText() const;
    void setParkedFileText(std::string text);
    // The reserved stand's name; empty when none. A copy for the window thread.
    std::string reservedStandText() const;
    void setReservedStandText(std::string text);
    // The airport file's publisher ("stock", "FlyTampa" and the like) and its quality text.
    void setAirportFileText(std::string text);
    void setQualityText(std::string text);

    // Everything above, copied under the lock.
    EngineStatusValue value() const;

    // The run reset: the counts, the mean parked times and the park airport's file texts of the last
    // run are shown no more.
    void clearRun();
    void reset();

private:
    mutable std::mutex mutex_;
    std::string callsignChoiceText_;
    std::string parkAirportText_;
    std::string parkedFileText_;
    std::string reservedStandText_;
    std::string airportFileText_;
    std::string qualityText_;
};

extern EngineStatus engineStatus;

struct EngineHooks {
    // Repaint the counts and parking part of the status area after a change. Default: nothing.
    std::function<void()> repaintStatus;
    // Repaint the controls band (the callsign text). Default: nothing.
    std::function<void()> repaintControls;
    // The parking controls (percentages, fit, max park, "Now", "Flush static", "Re-read") off while
    // static aircraft are calculated and on again afterwards. Defaults: nothing (the busy flag and the
    // countdown are the engine's own).
    std::function<void()> disableParkingControls;
    std::function<void()> enableParkingControls;
    // The DESTINATION edit field on or off. Default: nothing.
    std::function<void(bool enabled)> enableDestination;
    // The park airport was forgotten: "Now" (unless INITIAL_LOAD_ONLY) and "Flush static" off.
    // Default: nothing.
    std::function<void()> parkAirportForgotten;
};

EngineHooks& gf_engineHooks();
void gf_resetEngineHooks();
