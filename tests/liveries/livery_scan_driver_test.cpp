// The livery scan driver over a Community folder: the file, the report files and the log.

#include "livery_scan_support.h"

#include <iostream>

namespace livery_testing {
namespace {

class LiveryScanDriverTest : public LiveryScanTest {};

TEST_F(LiveryScanDriverTest, Probe) {
    community_tree::writeSampleCommunity(community);
    std::vector<fs::path> folders;
    lf_findAiPackageFolders(community, folders);
    EXPECT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);
    std::cout << scannedXmlLiveries();
    for (auto n : {"InvalidAirlineCodes.txt", "InvalidAircraftCodes.txt", "Fixes.txt", "InvalidAircraftCfgFiles.txt", "IncompleFltsimSections.txt", "AircraftCfgWithNoFltsimSection.txt", "AirlineModelConversions.txt"})
        std::cout << "---- " << n << "\n" << report(n);
    std::cout << "---- log\n" << logText();
}

} // namespace
} // namespace livery_testing
