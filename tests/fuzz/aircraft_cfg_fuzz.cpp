// Fuzz target: the file task of the livery scan over one aircraft.cfg, as an ordinary package's file
// and as an IVAO MTL file. Every livery it offers has a title, an airline and a type.

#include <cstddef>
#include <cstdint>

#include "liveries/livery_files.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScanContext context;
    const auto path =
        fuzz_support::writeInput("SimObjects/Airplanes/Fuzz/aircraft.cfg", fuzz_support::text(data, size));
    for (const bool ivao : {false, true}) {
        const FileScan scan =
            ivao ? lf_searchLiveriesinIVAOFile(context, 1, path) : lf_searchLiveriesinFile(context, 1, path);
        for (const LiveryCandidate& c : scan.liveries)
            fuzz_support::require(!c.livery.title.empty() && !c.livery.airl.empty() &&
                                  !c.livery.type.empty());
    }
    return 0;
}
