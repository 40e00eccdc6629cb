#pragma once
// An engine component test at Zurich: the traffic reader centred on the airport, LSZH the park airport
// at its elevation, and its stands read from the demo airport file (data/LSZH.xml), copied into the
// test's working folder where the program looks for its airport files.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "engine/base/stands.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"
#include "refdata/park_airport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace enginetest {

class LszhStandsTest : public EngineTest {
protected:
    static constexpr Lalo lszh{47.4581, 8.5481};
    static constexpr char standsFile[] = "airports/my_thirdparty/LSZH.xml";

    // After the test's own livery and type set-up: the range, the park airport and its stands.
    void enterLszh() {
        RANGE.value = 40;
        trafficRadiusNm = 40.0;
        gf_setAddingStackOpen(true);
        trafficReader.setReferencePosition(lszh);
        currentWeekSlot = WeekSlot{3, 20}.packed();
        parkAirportCode = "LSZH";
        currentParkAirport.code = "LSZH";
        currentParkAirport.lat = lszh.lat;
        currentParkAirport.lon = lszh.lon;
        currentParkAirport.alt = 1416;
        previousFolder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        std::filesystem::create_directories(std::filesystem::path(standsFile).parent_path());
        std::filesystem::copy_file(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "data/LSZH.xml", standsFile,
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(gf_loadParkStands(standsFile), "");
    }

    void TearDown() override {
        gf_clearParkStands();
        gf_resetStandIndexForTests();
        gf_resetParkAirportForTests();
        if (!previousFolder_.empty()) std::filesystem::current_path(previousFolder_);
        EngineTest::TearDown();
    }

private:
    std::filesystem::path previousFolder_;
};

} // namespace enginetest
