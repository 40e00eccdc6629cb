// Fuzz target: the file task of the livery scan over an IVAO MTL aircraft.cfg (the model and its type
// come from the folder name, the airline from the title or the texture). Every livery it offers has a
// title, an airline and the folder's type.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "liveries/livery_files.h"
#include "tests/fuzz/cfg_scan_setup.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScanContext context;
    static const std::filesystem::path model = "IVAO_MTL/SimObjects/Airplanes/IVAO_A320W";
    static const bool textures = [] {
        for (const char* airline : {"SWR", "DLH", "KLM", "swr"})
            std::filesystem::create_directories(fuzz_support::folder() / model /
                                                (std::string("texture.") + airline));
        return true;
    }();
    (void)textures;
    fuzz_support::knownTypesAndAirlines();
    const auto path = fuzz_support::writeInput(model / "aircraft.cfg", fuzz_support::text(data, size));
    const FileScan scan = lf_searchLiveriesinIVAOFile(context, 1, path);
    for (const LiveryCandidate& c : scan.liveries)
        fuzz_support::require(!c.livery.title.empty() && !c.livery.airl.empty() && c.livery.type == "A320");
    return 0;
}
