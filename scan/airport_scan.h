#pragma once
// The add-on airport scan: prepares the output folders, walks the scenery roots, decodes every BGL
// file with an airport section on the thread that listed and checked it (a file it could not read
// whole, on a task of its own), acts on the results on the scan's thread in the order of the walk,
// writes AirportsScanLog.txt and collects the airports the maker does not know yet.

#include "scan/bgl_decoder.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The entry, called by the worker while SCAN_AIRPORTS is ticked and no stop is requested. A scan cut
// short by a stop leaves SCAN_AIRPORTS ticked, so that the next start scans again.
void gf_scanForAddonAirports();

// The roots of the chosen simulator: Official then Community (MSFS 2020), Community (MSFS 2024).
std::vector<std::filesystem::path> gf_airportScanRoots();
// The scan proper; true when an airport was linked or an airport file written.
bool gf_runAirportScan(const std::vector<std::filesystem::path>& roots);
// Paths that the walk passes over (and does not descend into).
bool gf_isSkippedScanPath(const std::filesystem::path& path);
// The quick check of a file: an airport section in its section table.
bool gf_hasAirportSection(const std::filesystem::path& path);
// The work of one task: reads the file and decodes it (a file above 256 MiB is not read).
// `knownAirport` tells the codes of the airports table (default: the table itself).
BglDecodeResult gf_decodeBglFile(const std::filesystem::path& path,
                                 const std::function<bool(const std::string&)>& knownAirport = {});

// True when the last scan was cut short by a stop.
bool gf_lastScanCutShort();
