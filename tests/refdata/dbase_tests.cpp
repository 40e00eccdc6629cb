#include "core/units.h"
#include "refdata_fixture.h"

#include "core/version.h"
#include "refdata/dbase.h"
#include "refdata/type_lookups.h"

#include <gmock/gmock.h>

#include <map>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// A small database; each section can be replaced or left out.
std::string dbaseXml(const std::map<std::string, std::string>& replaced = {}) {
    std::map<std::string, std::string> sections{
        {"aircrafts",
         R"(<aircraft types=" A320 ,B738,	B77W , C172"/><aircraft types="EC35,F16,C56X,A388"/>)"},
        {"high_performance", R"(<hpf types="F16"/>)"},
        {"heavy", R"(<hvy types="B77W,A388"/>)"},
        {"large", R"(<lar types="A320,B738"/>)"},
        {"buzjet", R"(<bzj types="C56X"/>)"},
        {"rotorcraft", R"(<rot types="EC35"/>)"},
        {"cargo_types", R"(<cargo_type types="B77W"/>)"},
        {"similar_types", R"(<similar types="B738, A320"/>)"},
        {"ICAO_airlines", R"(<ICAO codes="SWR, AUA"/>)"},
        {"cargo_operators", R"(<ICAO codes="FDX"/>)"},
        {"publishers", R"(<pub names="Orbx, orbx"/><pub names="Aerosoft"/><pub names="Orbx, orbx"/>)"},
        {"wingspans", R"(<wingspan type="A320" meters="35.8"/><wingspan type="B77W" meters="64.8"/>
                         <wingspan type="B77W" meters="70"/><wingspan type="ZZZZ" meters="10"/>
                         <wingspan meters="10"/><wingspan type="C172" meters="11"/>)"},
        {"fixes", R"(<fx wro="A320NEO" cor="A320"/><fx wro="A320NEO" cor="B738"/><fx wro="X" cor="NOPE"/>
                     <fx wro="Y"/>)"},
        {"simaddons20", R"(<simaddon20 arpts="LSZH, LOWW"/>)"},
        {"thirdparties20", R"(<thirdpartie20 pub="Aerosoft" arpts="LOWW12, LSZH"/>)"},
        {"dbase", R"(<db reg="HB-JNA" airl="SWR" type="B77W" opr="Swiss"/>
                     <db reg="D-ALFA" airl="GEC" type="B77W" opr="Lufthansa Cargo" cargo="true"/>
                     <db reg="HB-JNA" airl="XXX"/>)"},
    };
    for (const auto& [name, content] : replaced)
        sections[name] = content;
    std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
    for (const auto& [name, content] : sections)
        if (content != "-") xml += "<" + name + ">" + content + "</" + name + ">\n";
    return xml + "</root>\n";
}

class DbaseTest : public RefdataTest {};

TEST_F(DbaseTest, ReadsEverySection) {
    packInput("dbase.enc", dbaseXml());
    ASSERT_TRUE(gf_readDbase());

    EXPECT_THAT(dbase.aircrafts, ElementsAre("A320", "A388", "B738", "B77W", "C172", "C56X", "EC35", "F16"));
    EXPECT_THAT(dbase.heavy, ElementsAre("A388", "B77W"));
    ASSERT_EQ(dbase.similarLists.size(), 1u);
    EXPECT_THAT(dbase.similarLists[0], ElementsAre("A320", "B738"));
    EXPECT_THAT(dbase.ICAO_airlines, ElementsAre("AUA", "SWR"));
    // Equal texts give one list; lists stand in the byte order of their texts.
    ASSERT_EQ(dbase.publisherLists.size(), 2u);
    EXPECT_THAT(dbase.publisherLists[0], ElementsAre("Aerosoft"));
    EXPECT_THAT(dbase.publisherLists[1], ElementsAre("Orbx", "orbx"));

    // Half the wingspan in NM; a second entry of a type is ignored but still counts as the largest.
    EXPECT_DOUBLE_EQ(dbase.wingspans.at("A320"), 35.8 / 2 / metresPerNm);
    EXPECT_DOUBLE_EQ(dbase.wingspans.at("B77W"), 64.8 / 2 / metresPerNm);
    EXPECT_DOUBLE_EQ(dbase.largestHalfSpan, 70.0 / 2 / metresPerNm);
    EXPECT_EQ(dbase.wingspans.size(), 3u);
    EXPECT_DOUBLE_EQ(dbase.categoryHalfSpans[static_cast<std::size_t>(SizeCategory::Heavy)],
                     64.8 / 2 / metresPerNm);

    EXPECT_EQ(dbase.fixes.size(), 1u);
    EXPECT_EQ(dbase.fixes.at("A320NEO"), "A320");
    EXPECT_THAT(dbase.simaddons20, ElementsAre("LOWW", "LSZH"));
    ASSERT_EQ(dbase.thirdparties20.size(), 1u);
    EXPECT_THAT(dbase.thirdparties20[0].arpts, ElementsAre("LOWW12", "LSZH"));
    EXPECT_TRUE(dbase.thirdparties24.empty());

    ASSERT_EQ(dbase.registrations.size(), 2u);
    EXPECT_EQ(dbase.registrations.at("HB-JNA").airl, "SWR");
    EXPECT_FALSE(dbase.registrations.at("HB-JNA").cargo);
    EXPECT_TRUE(dbase.registrations.at("D-ALFA").cargo);

    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("2 publishers read\n"));
    EXPECT_THAT(log, HasSubstr("==> wingspan model ZZZZ is not valid, skipped\n"));
    EXPECT_THAT(log, HasSubstr("==> wingspan model  is not valid, skipped\n"));
    EXPECT_THAT(log, HasSubstr("==> wrong part of fix: 'A320NEO', already exists, skipped\n"));
    EXPECT_THAT(log, HasSubstr("==> wrong fix X -> NOPE, the latter is not valid\n"));
    EXPECT_THAT(log, HasSubstr("==> wrong fix Y -> , the latter is not valid\n"));
    EXPECT_THAT(log, HasSubstr("==> regcode HB-JNA already exists\n"));
    EXPECT_THAT(log, HasSubstr("2 dbase records read\n"));
    EXPECT_FALSE(std::filesystem::exists(input / "dbase.xml"));
}

TEST_F(DbaseTest, EmptyRequiredListIsUserError61) {
    struct Case {
        const char* section;
        const char* element;
        const char* attribute;
    };
    const Case cases[] = {
        {"aircrafts", "aircraft", "types"},
        {"high_performance", "hpf", "types"},
        {"heavy", "hvy", "types"},
        {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},
        {"rotorcraft", "rot", "types"},
        {"cargo_types", "cargo_type", "types"},
        {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"},
        {"simaddons20", "simaddon20", "arpts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        // Missing section, and a section whose attribute is empty.
        for (const std::string& content :
             {std::string("-"), "<" + std::string(c.element) + " " + c.attribute + "=\"\"/>"}) {
            gf_resetDbase();
            packInput("dbase.enc", dbaseXml({{c.section, content}}));
            try {
                gf_readDbase();
                ADD_FAILURE() << "no exception";
            } catch (const orv::UserErrorException& e) {
                EXPECT_EQ(std::string(e.what()), std::string("61: In XML file section [") + c.section +
                                                     "], element [" + c.element + "], attribute [" +
                                                     c.attribute + "] is empty.");
            }
            EXPECT_FALSE(std::filesystem::exists(input / "dbase.xml"));
        }
    }
}

TEST_F(DbaseTest, FileFailures) {
    const std::string encPath = (input / "dbase.enc").string();
    try {
        gf_readDbase();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), encPath + " not available");
    }

    writeFile(input / "dbase.enc", std::string(200, 'x'));
    try {
        gf_readDbase();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), encPath + " stream decrypt failed");
    }

    packInput("dbase.enc", "<root><aircrafts>");
    EXPECT_FALSE(gf_readDbase());
    EXPECT_TRUE(dbase.aircrafts.empty());
    EXPECT_THAT(logText(), HasSubstr("==> '" + (input / "dbase.xml").string() + "' not read because of "));
    EXPECT_FALSE(std::filesystem::exists(input / "dbase.xml"));
}

} // namespace
