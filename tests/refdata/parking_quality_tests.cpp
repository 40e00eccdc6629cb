// Quality factors of the park airport's stands and the closest stand of another airport.

#include "parking_fixture.h"

#include "refdata/parking_quality.h"

using namespace parking_test;

namespace {

class ParkingQuality : public ParkingTest {
protected:
    static ParkOpt entry(std::uint32_t real, std::uint32_t day, std::initializer_list<std::size_t> hh,
                         std::uint32_t seq = 1) {
        ParkOpt o;
        o.real = real;
        o.day = day;
        o.seq = seq;
        for (auto n : hh)
            o.hh.set(n);
        return o;
    }
    static void addStand(std::vector<ParkOpt> opts) {
        parkPositions.emplace_back("S" + std::to_string(parkPositions.size()), std::move(opts), 47.0, 8.0,
                                   0.0, 20.0, false, false, false);
    }
};

TEST_F(ParkingQuality, FactorsAreTheMeanStandScore) {
    struct Case {
        std::string what;
        std::vector<std::vector<ParkOpt>> stands;
        QualityFactors factors;
        std::string text;
    };
    std::vector<ParkOpt> many;
    for (std::uint32_t i = 0; i < 300; ++i)
        many.push_back(entry(1, 1 + i % 7, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, i + 1));
    const std::vector<Case> cases{
        {"no stands", {}, {-1, -1}, "  "},
        {"stands without entries", {{}, {}}, {-1, -1}, "  "},
        {"one real entry", {{entry(1, 3, {4})}}, {63, 0}, "63"},
        {"one real entry on one of two stands", {{entry(1, 3, {4})}, {}}, {32, 0}, "32/ 0"},
        {"one soft entry", {{entry(0, 3, {4})}}, {0, 63}, " 0/63"},
        {"entries not scored", {{entry(1, 3, {4}, 0)}}, {0, 0}, " 0/ 0"},
        {"scores capped", {many}, {99, 0}, "99"},
        {"two days, three slots, two entries", {{entry(1, 1, {4, 5}), entry(1, 2, {9}, 2)}}, {64, 0}, "64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gf_clearParkPositions();
        for (const auto& opts : c.stands)
            addStand(opts);
        parkQualityFactors = gf_qualityFactors();
        EXPECT_EQ(parkQualityFactors, c.factors);
        EXPECT_EQ(gf_qualityText(), c.text);
    }
    parkQualityFactors = {45, 10};
    EXPECT_EQ(gf_qualityText(), "45");
    parkQualityFactors = {44, 10};
    EXPECT_EQ(gf_qualityText(), "44/10");
    parkQualityFactors = {-1, 3};
    EXPECT_EQ(gf_qualityText(), "-1/ 3");
}

TEST_F(ParkingQuality, ClosestStandOfAnotherAirport) {
    const Lalo here{47.0, 8.0};
    const double nm = 1.0 / 60.0; // degrees of latitude
    const std::string near = standXml("FAR", 47.0 + 0.2 * nm, 8.0) + standXml("NEAR", 47.0 + 0.05 * nm, 8.0) +
                             standXml("NEXT", 47.0 + 0.05 * nm, 8.0);
    writeAt("airports/my_thirdparty/LSZH.xml", apfXml({}, near));
    std::string id = "before";
    EXPECT_NEAR(gf_readDestApfForClosestStand("LSZH", here, id), 0.05, 1e-4);
    EXPECT_EQ(id, "NEAR") << "only a strictly nearer stand wins";

    writeAt("airports/my_thirdparty/LSZH.xml", apfXml({}, standXml("AWAY", 49.0, 8.0)));
    id = "before";
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", here, id), 100.0);
    EXPECT_EQ(id, "before");
    EXPECT_EQ(gf_readDestApfForClosestStand("NONE", here, id), 100.0) << "no file";

    // An archived file is fetched into airport.xml, which goes again, loaded or not.
    fs::remove(dir / "airports/my_thirdparty/LSZH.xml");
    addAirport("LSZH", 3);
    server["downloads/MSFS/archive/stock/LSZH.xml"] = apfXml({}, near);
    EXPECT_NEAR(gf_readDestApfForClosestStand("LSZH", here, id), 0.05, 1e-4);
    EXPECT_EQ(fetched, std::vector<std::string>{"downloads/MSFS/archive/stock/LSZH.xml"});
    EXPECT_FALSE(fs::exists(dir / "airport.xml"));
    server["downloads/MSFS/archive/stock/LSZH.xml"] = "<root><parkpositions>";
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", here, id), 100.0);
    EXPECT_FALSE(fs::exists(dir / "airport.xml"));
    server.clear();
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", here, id), 100.0);
    EXPECT_FALSE(fs::exists(dir / "airport.xml"));
}

} // namespace
