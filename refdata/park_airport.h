#pragma once
// The park airport's state that the window and the feed read, and the calls the parking files make into
// the modules above (wired by the program at start-up). The traffic engine's park-airport owner
// (ParkAirport in engine/base/stands.h) alone writes the state, on its worker thread; the reading of the
// files (park_airport_file.h) makes values and touches none of it.

#include "refdata/airports.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// The park airport as read from its airport file. The caller empties it before each read.
struct ParkAirportInfo {
    std::string airport_name;
    std::string publisher;
    std::int32_t altitude = 0; // feet; below sea level is negative
};

// Quality of the stands' coverage by real and soft flights, 0..100 each; -1/-1 when no stand has a
// flight.
struct QualityFactors {
    std::int32_t Qf_real = 0;
    std::int32_t Qf_soft = 0;
    friend bool operator==(const QualityFactors&, const QualityFactors&) = default;
};

// The ICAO code of the current park airport; the traffic engine writes it (empty: none chosen).
extern std::string parkAirportCode;
// The park airport's record of the airports table; the install sets its elevation from the file.
extern Airport currentParkAirport;
extern ParkAirportInfo parkAirportInfo;
// The park airport's stands came from a handmade learned file.
extern bool handmadeApf;
// The park airport's learned file was there but could not be read as a whole (its header refused, or a
// handmade file with a faulty stand): leaving the airport leaves it as it is.
extern bool learnedFileRefused;
// The park airport's stands are loaded (the window thread tests it).
extern std::atomic<bool> parkAirportLoaded;
// "RT_traffic_week" of the airport file; 0 when absent.
extern std::atomic<std::int32_t> rtTrafficWeek;
extern QualityFactors parkQualityFactors;

// Calls of the parking files into the window, the feed and the downloads. The defaults do nothing;
// the default fetch fails.
struct ParkingHooks {
    // The status area: number of stands, the airport file's publisher and handmade mark, the quality
    // text. Each repaints its band.
    std::function<void(std::uint64_t count)> showStandCount;
    std::function<void(const std::string& publisher, bool handmade)> showAirportFile;
    std::function<void(const std::string& text)> showQualityText;
    // The traffic reader's elevation of the park airport (feet; empty when none).
    std::function<void(std::optional<double> elevationFt)> setParkAirportElevation;
    // Fetches an archived airport file from the maker's server ("downloads/MSFS/archive/stock/EDDF.xml")
    // into the target file; true on success.
    std::function<bool(const std::string& serverPath, const std::filesystem::path& target)> fetchArchivedFile;
};
ParkingHooks& gf_parkingHooks();

// Tests only: the park airport's state, parkPositions, the hooks and learnedSettingsInForce back to
// their start.
void gf_resetParkAirportForTests();
