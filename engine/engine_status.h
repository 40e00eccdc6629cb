#pragma once
// What the status area shows of the traffic engine, and the engine's calls into the modules above it
// (hooks that the program wires at start-up). The worker writes the status; the window thread reads it
// (atomics, texts under a mutex) after the repaint hook asked for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct EngineStatus {
    // Counted by gf_countAircraft: active live aircraft not parked, parked active live aircraft, static
    // aircraft active or being removed.
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

    // "= {oid}" or "has left" beside the callsign box; empty when nothing is tracked.
    std::string callsignChoiceText() const;
    void setCallsignChoiceText(std::string text);
    // The park airport's display name ("LSZH (ZRH)"); empty when there is none.
    std::string parkAirportText() const;
    void setParkAirportText(std::string text);

    void reset();

private:
    mutable std::mutex mutex_;
    std::string callsignChoiceText_;
    std::string parkAirportText_;
};

extern EngineStatus engineStatus;

struct EngineHooks {
    // Repaint the counts and parking part of the status area after a change. Default: nothing.
    std::function<void()> repaintStatus;
    // Repaint the controls band (the callsign text). Default: nothing.
    std::function<void()> repaintControls;
};

EngineHooks& gf_engineHooks();
void gf_resetEngineHooks();

// The counts the window shows, refreshed into engineStatus.
struct EngineCounts {
    std::uint64_t live = 0;
    std::uint64_t parkedLive = 0;
    std::uint64_t statics = 0;
};
// Worker thread: counts the lists and stores the counts in engineStatus.
EngineCounts gf_countAircraft();
