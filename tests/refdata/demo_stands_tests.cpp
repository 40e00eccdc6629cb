// The demo stand layout of LSZH (data/LSZH.xml, made by data/make_lszh_stands.py) read as the user's
// airport file.

#include "parking_fixture.h"

#include <gtest/gtest.h>

#include <set>

namespace parking_test {
namespace {

class DemoStandsTest : public ParkingTest {};

TEST_F(DemoStandsTest, TheDemoLayoutReadsWithNeighboursAndFlightsAllWeek) {
    fs::create_directories(dir / "airports" / "my_thirdparty");
    fs::copy_file(fs::path(SKYLOOM_SOURCE_DIR) / "data" / "LSZH.xml",
                  dir / "airports" / "my_thirdparty" / "LSZH.xml", fs::copy_options::overwrite_existing);
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    ASSERT_EQ(parkPositions.size(), 99u);
    EXPECT_EQ(parkAirportInfo.altitude, 1416);

    // Stands of a row are each other's neighbours; the rows and the helipad stand apart.
    const ParkPos* a2 = stand("A2");
    ASSERT_NE(a2, nullptr);
    EXPECT_EQ(a2->adjacent, (std::vector<std::uint32_t>{stand("A1")->sid, stand("A3")->sid}));
    EXPECT_EQ(stand("A1")->adjacent, (std::vector<std::uint32_t>{a2->sid}));
    const ParkPos* helipad = stand("H1");
    ASSERT_NE(helipad, nullptr);
    EXPECT_TRUE(helipad->heli);
    EXPECT_TRUE(helipad->adjacent.empty());

    std::size_t cargo = 0;
    std::set<std::string> regs;
    std::vector<std::bitset<48>> week(8);
    for (const ParkPos& s : parkPositions) {
        cargo += s.cargo ? 1 : 0;
        EXPECT_FALSE(s.opts.empty()) << s.id;
        if (!s.heli) {
            EXPECT_FALSE(s.adjacent.empty()) << s.id;
        }
        for (const ParkOpt& o : s.opts) {
            regs.insert(o.reg);
            week[o.day] |= o.hh;
            EXPECT_EQ(o.origin, 1u);
            EXPECT_FALSE(o.cs2.empty()) << s.id;
        }
    }
    EXPECT_EQ(cargo, 8u);
    for (std::uint32_t day = 1; day <= 7; ++day)
        EXPECT_TRUE(week[day].all()) << "day " << day;
    for (const char* reg : {"HB-JNA", "HB-JXA", "D-ALFA", "TC-JHO", "PH-NXA"})
        EXPECT_TRUE(regs.contains(reg)) << reg;
    const ParkPos* wide = stand("E11");
    ASSERT_NE(wide, nullptr);
    EXPECT_NEAR(wide->radius * metresPerNm, 36.0, 1e-9);
}

} // namespace
} // namespace parking_test
