// Fuzz target: LiveriesScanned.xml. A file that reads is written and read again: the same liveries come
// back.

#include <cstddef>
#include <cstdint>
#include <list>

#include "core/version.h"
#include "liveries/livery_data.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("LiveriesScanned.xml", fuzz_support::text(data, size));
    try {
        lf_readScannedLiveries(path);
    } catch (const orv::UserErrorException&) {
        return 0;
    }
    const std::list<LiveryData> first = scannedLiveries;
    const auto written = fuzz_support::folder() / "written.xml";
    fuzz_support::require(lf_writeScannedLiveries(written));
    lf_readScannedLiveries(written);
    fuzz_support::require(scannedLiveries == first);
    scannedLiveries.clear();
    return 0;
}
