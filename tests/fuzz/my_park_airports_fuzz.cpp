// Fuzz target: airports/my_park_airports.txt as the park-airport list reads it. Every entry names a
// known airport once; when the first entry is saved back (the file rewritten sorted), reading the file
// again gives that airport with the same stand, whatever the stand's text (a quoted id may hold commas,
// quotes, line breaks and blanks at its ends).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "core/program_paths.h"
#include "engine/base/stands.h"
#include "engine/static/park_airports.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void lf_setUp() {
    static const bool done = [] {
        const auto work = fuzz_support::folder() / "work";
        std::filesystem::create_directories(work / "airports");
        os::setWorkingFolder(work);
        for (const char* code : {"EDDF", "EGLL", "EHAM", "KJFK", "LOWW", "LSZH", "LSGG", "Z"}) {
            Airport a;
            a.code = code;
            a.lat = 47.0 + static_cast<double>(airportTable.records.size()) * 0.01;
            a.lon = 8.0;
            airportTable.records.push_back(a);
            airportTable.codes.insert(code);
        }
        return true;
    }();
    (void)done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lf_setUp();
    const std::string_view bytes = fuzz_support::text(data, size);
    fuzz_support::writeInput(std::filesystem::path("work") / myParkAirportsPath, bytes);
    (void)lf_readMyParkAirports();

    std::set<std::string> codes;
    for (const ParkAirportEntry& e : parkAirport.parkAirports) {
        fuzz_support::require(gf_findAirport(e.code) != nullptr && codes.insert(e.code).second);
    }
    fuzz_support::require(parkAirport.parkAirports.size() <=
                          static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);

    if (!parkAirport.parkAirports.empty()) {
        const ParkAirportEntry first = parkAirport.parkAirports.front();
        fuzz_support::require(gf_saveMyParkAirport());
        (void)lf_readMyParkAirports();
        const auto again = std::find_if(parkAirport.parkAirports.begin(), parkAirport.parkAirports.end(),
                                        [&](const ParkAirportEntry& e) { return e.code == first.code; });
        fuzz_support::require(again != parkAirport.parkAirports.end() && again->stand == first.stand);
    }
    gf_resetParkAirportsForTests();
    return 0;
}
