#pragma once
// One installed livery as the livery scan finds it, the list of scanned liveries, and the file
// LiveriesScanned.xml that carries the list from a scan to every later start-up.

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>

struct LiveryData {
    std::string airl;          // airline code (upper case); "ZZZ" for a generic livery
    std::string type;          // ICAO type designator of the model
    std::string title;         // the title the simulator creates the aircraft with
    std::string atcid;         // registration; empty when the livery has none
    std::int32_t priority = 0; // rank of the scanned folder (1..10); 0 when read back from the file
    bool cargo = false;

    // Equal when title, airline, type, registration and cargo flag are; the priority takes no part.
    friend bool operator==(const LiveryData& a, const LiveryData& b) {
        return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid &&
               a.cargo == b.cargo;
    }
};

// Order by airline, then type, then title (byte order).
bool gf_liveryLess(const LiveryData& a, const LiveryData& b);
// Stable sort of a livery list by airline, type and title; with `dropRepeats` every livery that equals
// its predecessor (operator==) is removed, as std::list::unique after the sort.
void gf_sortLiveries(std::list<LiveryData>& liveries, bool dropRepeats = false);

// The scanned liveries: filled by the scan or by the reader, emptied once the tables are built.
extern std::list<LiveryData> scannedLiveries;

// LiveriesScanned.xml in the output folder of the working folder.
std::filesystem::path gf_liveriesScannedPath();

// Writes `scannedLiveries` to the file (meta header, then root > liveries > liv). An empty list writes
// nothing and returns true. A failed save is logged as an error and returns false.
bool lf_writeScannedLiveries(const std::filesystem::path& path);

// Empties `scannedLiveries` and fills it from the file, sorted. Throws orv::UserErrorException:
// 51 the file is missing or does not parse, 52 root has no <liveries>, 999 a record lacks airl,
// type or title, 533 no record at all.
void lf_readScannedLiveries(const std::filesystem::path& path);
