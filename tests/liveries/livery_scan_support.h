#pragma once
// The livery scan's fixture: the livery test folder with the program's data set (type database and
// registration file), a Community folder inside it, and helpers to read the report files.

#include "community_tree.h"
#include "livery_test_support.h"

#include "liveries/livery_files.h"
#include "liveries/livery_scan.h"

#include "core/run_control.h"
#include "core/scan_tasks.h"

#include "tests/support/eventually.h"

#include <gtest/gtest.h>

namespace livery_testing {

class LiveryScanTest : public LiveryTest {
protected:
    void SetUp() override {
        LiveryTest::SetUp();
        const fs::path data = fs::path(SKYLOOM_SOURCE_DIR) / "data";
        datapack::encryptDataFile(data / "dbase.xml", folder / "input" / "dbase.enc");
        datapack::encryptDataFile(data / "AIG-regcodes.xml", folder / "input" / "AIG-regcodes.enc");
        ASSERT_TRUE(gf_readDbase());
        gf_setScanTaskLimit(4);
        gf_runningScanTasks = 0;
        runControl.reset();
        community = folder / "Community";
        fs::create_directories(community);
    }
    void TearDown() override {
        // A task that outlived its wait must be gone before the database and the folders are.
        EXPECT_TRUE(testing_support::eventually([] { return gf_runningScanTasks.load() <= 0; }));
        // Whatever the scan read, every text it wrote is UTF-8.
        std::vector<fs::path> written{gf_liveriesScannedPath()};
        for (const std::string_view name :
             {"InvalidAirlineCodes.txt", "InvalidAircraftCodes.txt", "Fixes.txt",
              "InvalidAircraftCfgFiles.txt", "IncompleFltsimSections.txt",
              "AircraftCfgWithNoFltsimSection.txt", "AirlineModelConversions.txt"})
            written.push_back(gf_scanReportPath(name));
        for (const fs::path& path : written) {
            if (!fs::exists(path)) continue;
            const std::string text = readFile(path);
            EXPECT_NO_THROW(utf8_to_wide(text)) << path << " is not valid UTF-8";
        }
        runControl.reset();
        gf_resetScanTasks();
        LiveryTest::TearDown();
    }

    std::string report(std::string_view name) {
        const fs::path path = gf_scanReportPath(name);
        return fs::exists(path) ? readFile(path) : std::string();
    }
    std::vector<std::string> reportLines(std::string_view name) { return splitLines(report(name)); }
    std::string scannedXmlLiveries() {
        // The liveries element only: the meta header holds the date.
        const std::string text = readFile(gf_liveriesScannedPath());
        const std::size_t from = text.find("  <liveries>");
        return from == std::string::npos ? std::string() : text.substr(from);
    }

    fs::path community;
};

} // namespace livery_testing
