// Fuzz target: the file task of the livery scan over one aircraft.cfg of an ordinary package. Every
// livery it offers has a title, an airline and a type the type table knows.

#include <cstddef>
#include <cstdint>

#include "liveries/livery_files.h"
#include "refdata/type_lookups.h"
#include "tests/fuzz/cfg_scan_setup.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScanContext context;
    fuzz_support::knownTypesAndAirlines();
    const auto path =
        fuzz_support::writeInput("SimObjects/Airplanes/Fuzz/aircraft.cfg", fuzz_support::text(data, size));
    const FileScan scan = lf_searchLiveriesinFile(context, 1, path);
    for (const LiveryCandidate& c : scan.liveries)
        fuzz_support::require(!c.livery.title.empty() && !c.livery.airl.empty() &&
                              gf_isKnownAcType(c.livery.type));
    return 0;
}
