#pragma once
// The scenery scan's shared state: the scan log, the flags it leaves for the program, the hooks into
// the program and the wait for a decoding task. Tests reset it with gf_resetScanState.

#include "scan/bgl_decoder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The lines of AirportsScanLog.txt of the running scan, guarded by scanLogMutex.
extern std::mutex scanLogMutex;
extern std::vector<std::string> scanLogLines;
// Appends one line under scanLogMutex.
void gf_addToScanLog(std::string line);
// While one lives, the lines that its thread adds to the scan log go to `lines` instead: work done
// ahead on another thread keeps its lines for the scan's thread to add in their place.
class ScanLogCapture {
public:
    explicit ScanLogCapture(std::vector<std::string>& lines);
    ~ScanLogCapture();
    ScanLogCapture(const ScanLogCapture&) = delete;
    ScanLogCapture& operator=(const ScanLogCapture&) = delete;

private:
    std::vector<std::string>* previous;
};
// A copy of the lines (tests).
std::vector<std::string> gf_scanLogCopy();

// Set when the scan linked an airport or wrote an airport file. Cleared at the start of every scan and
// when the user switches the simulator.
extern std::atomic<bool> airportFilesChanged;
// The number of entries that the last scan collected in the tblo folder (0: nothing to mail).
extern std::atomic<std::uint64_t> tbloFileCount;
// Set when the last collection could not pack tblo.zip: the copies stay in the tblo folder.
extern std::atomic<bool> tbloPackingFailed;
// True while the tblo folder holds a tblo.zip that the last scan wrote.
bool gf_tbloCollected();

struct ScanHooks {
    // The chosen simulator's package folder joined with a relative path ("Official", "Community").
    // Default: empty (no roots).
    std::function<std::filesystem::path(const std::filesystem::path& relative)> inInstallPath;
    // Repaints the status area. Default: nothing.
    std::function<void()> repaintStatus;
    // Tests only: the work of a decoding task in place of reading and decoding the file.
    std::function<BglDecodeResult(const std::filesystem::path& path)> decodeFile;
};
ScanHooks& gf_scanHooks();

// How long the scan waits for one decoding task before it goes on without it (10 seconds; tests
// shorten it).
extern std::atomic<std::int64_t> scanTaskWaitMs;

// A file above this size is not decoded.
inline constexpr std::uint64_t maxBglFileBytes = 256ull * 1024 * 1024;
// A manifest.json above this size is not read.
inline constexpr std::uint64_t maxManifestBytes = 1024ull * 1024;

// The maker's address in the request to mail tblo.zip.
inline constexpr std::string_view makerContactAddress = "airports@skyloom.invalid";

// Tests only: the scan's state and hooks back to their start.
void gf_resetScanState();
