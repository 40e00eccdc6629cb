// Learned parking files: the merge with the version rule, manual stands, handmade files, the header's
// settings and the user's own values brought back afterwards.

#include "parking_fixture.h"

#include "core/parameters.h"
#include "refdata/park_airport_file.h"

#include <functional>

using namespace parking_test;

namespace {

class LearnedFiles : public ParkingTest {
protected:
    void SetUp() override {
        ParkingTest::SetUp();
        writeAt(reference,
                apfXml({{"airport_name", "Zurich"}, {"publisher", "FlyTampa"}, {"altitude", "1416"}},
                       standXml("A1", 47.0, 8.0, "",
                                R"(<opt reg="HB-A" airl="SWR" type="A320" day="1" hh="4"/>)") +
                           standXml("A2", 47.01, 8.0)));
    }

    void writeLearned(const Params& params, const std::string& stands,
                      const std::string& version = "12.0.0") {
        writeAt(learned, apfXml(params, stands, version));
    }

    std::string logSince(std::size_t before) { return logText().substr(before); }

    const std::string reference = "airports/my_thirdparty/LSZH.xml";
    const fs::path learned = "airports/learned/thirdparty/FlyTampa/LSZH.xml";
    const Params name{{"airport_name", "Zurich"}};
};

const std::string learnedFlight = R"(<opt reg="HB-L" airl="SWR" type="A320" day="2" hh="5" cs="SWR5"/>)";

TEST_F(LearnedFiles, MergeFollowsTheVersionRuleAndItsChecks) {
    const std::string changedA1 =
        R"(<parkpos id="A1" radius_change="true" radius="30.0" cargo_change="true" cargo="true">)" +
        learnedFlight + "</parkpos>";
    const std::string manualM1 = standXml("M1", 47.02, 8.0, R"(manual="true")", learnedFlight);
    struct Case {
        std::string what;
        Params params;
        std::string stands;
        std::string version;
        std::function<void()> check;
        std::string logLine;
    };
    const std::vector<Case> cases{
        {"older file: corrections and manual stands only", name, changedA1 + manualM1, "11.9.3",
         [&] {
             const ParkPos* a1 = stand("A1");
             EXPECT_NEAR(a1->radius * metresPerNm, 30.0, 1e-9);
             EXPECT_TRUE(a1->cargo && a1->cargo_change && a1->radius_change);
             EXPECT_EQ(a1->opts.size(), 1u);
             const ParkPos* m1 = stand("M1");
             ASSERT_TRUE(m1);
             EXPECT_TRUE(m1->manual);
             ASSERT_EQ(m1->opts.size(), 1u);
             EXPECT_EQ(m1->opts[0].origin, 0u);
         },
         "This learned file was created with and older Skyloom version than 11.10.0"},
        {"11.10.0 adds the flights", name, changedA1, "11.10.0",
         [&] {
             const ParkPos* a1 = stand("A1");
             ASSERT_EQ(a1->opts.size(), 2u);
             EXPECT_EQ(a1->opts[1].seq, 2u);
             EXPECT_EQ(a1->opts[1].origin, 0u);
             EXPECT_EQ(a1->opts[1].cs, "SWR5");
         },
         ""},
        {"same flight with another callsign", name,
         R"(<parkpos id="A1"><opt reg="HB-A" airl="SWR" type="A320" day="1" hh="3:4" cs="OTHER"/>)"
         R"(<opt reg="HB-A" airl="SWR" type="A320" day="1" hh="6" cs="LATER"/></parkpos>)",
         "12.0.0",
         [&] {
             const ParkPos* a1 = stand("A1");
             ASSERT_EQ(a1->opts.size(), 2u) << "overlapping half hours: not added";
             EXPECT_EQ(a1->opts[1].cs, "LATER");
             EXPECT_EQ(a1->opts[1].seq, 2u);
         },
         ""},
        {"id with a leading blank", name, R"(<parkpos id=" A1">)" + learnedFlight + "</parkpos>", "12.0.0",
         [&] { EXPECT_EQ(stand("A1")->opts.size(), 1u); },
         "learned stand  A1 in airports/learned/thirdparty/FlyTampa/LSZH.xml not found?"},
        {"days outside the week and empty half hours", name,
         R"(<parkpos id="A2"><opt reg="X" day="0" hh="4"/><opt reg="Y" day="9" hh="4"/>)"
         R"(<opt reg="Z" day="7" hh="x"/><opt reg="W" day="7" hh="4"/></parkpos>)",
         "12.0.0",
         [&] {
             const ParkPos* a2 = stand("A2");
             ASSERT_EQ(a2->opts.size(), 1u);
             EXPECT_EQ(a2->opts[0].reg, "W");
             EXPECT_EQ(a2->opts[0].seq, 1u);
             EXPECT_NE(logText().find("==> learned flight of stand A2 with day 9 skipped"),
                       std::string::npos);
             EXPECT_NE(logText().find("==> empty bit set"), std::string::npos);
         },
         "==> learned flight of stand A2 with day 0 skipped"},
        {"manual stand almost at 0/0", name, standXml("M2", 0.00005, 0.00008, R"(manual="true")"), "12.0.0",
         [&] { EXPECT_FALSE(stand("M2")); },
         "==> manually created standid M2 misses correct attributes in "
         "airports/learned/thirdparty/FlyTampa/LSZH.xml"},
        {"manual stand without radius", name,
         R"(<parkpos id="M3" latitude="47.1" longitude="8.1" manual="true"/>)", "12.0.0",
         [&] { EXPECT_FALSE(stand("M3")); }, "==> manually created standid M3 misses correct attributes"},
        {"manual stand off the earth", name, standXml("M4", 95.0, 8.0, R"(manual="true")"), "12.0.0",
         [&] { EXPECT_FALSE(stand("M4")); }, "==> manually created standid M4 misses correct attributes"},
        {"manual stand with a taken id", name, standXml("A2", 47.3, 8.0, R"(manual="true")"), "12.0.0",
         [&] {
             EXPECT_EQ(parkPositions.size(), 2u);
             EXPECT_FALSE(stand("A2")->manual);
         },
         "==> manually created standid A2 already exists in"},
        {"radius changes beyond any stand's", name,
         R"(<parkpos id="A1" radius_change="true" radius="1e300"/>)"
         R"(<parkpos id="A2" radius_change="true" radius="-20000"/>)",
         "12.0.0",
         [&] {
             for (const char* id : {"A1", "A2"}) {
                 EXPECT_NEAR(stand(id)->radius * metresPerNm, 20.0, 1e-9) << id;
                 EXPECT_FALSE(stand(id)->radius_change) << id;
             }
         },
         ""},
        {"another airport name",
         {{"airport_name", "Kloten"}},
         "",
         "12.0.0",
         [] {},
         "Warning: learned file airport name: 'Kloten' differs from archived file airport name: 'Zurich'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeLearned(c.params, c.stands, c.version);
        const std::size_t before = logText().size();
        ASSERT_EQ(read(reference), "");
        EXPECT_FALSE(handmadeApf);
        c.check();
        const std::string log = logSince(before);
        EXPECT_NE(log.find("Read from learned airport file: 'airports/learned/thirdparty/FlyTampa/LSZH.xml'"),
                  std::string::npos);
        if (!c.logLine.empty()) {
            EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        }
        EXPECT_EQ(log.find("learned does not exist"), std::string::npos);
    }
}

TEST_F(LearnedFiles, PercentageIsClampedAndDefaultsTo30) {
    for (const auto& [text, expected] : std::vector<std::pair<std::optional<std::string>, std::int32_t>>{
             {std::nullopt, 30}, {"250", 100}, {"-5", 0}, {"55", 55}}) {
        parking_percentage.value = 70;
        Params params = name;
        if (text) params.emplace_back("parking_percentage", *text);
        writeLearned(params, "");
        ASSERT_EQ(read(reference), "");
        EXPECT_EQ(parking_percentage.value.load(), expected) << text.value_or("absent");
        EXPECT_EQ(control(parking_percentage).selected, parking_percentage.choiceIndex());
    }
}

TEST_F(LearnedFiles, AHandmadeFileReplacesTheStands) {
    writeLearned({{"airport_name", "Zurich"}, {"handmade", "false"}, {"Qf_real", "1"}, {"Qf_soft", "1"}},
                 standXml("H1", 47.2, 8.2, "", learnedFlight) + standXml("H2", 47.3, 8.2));
    ASSERT_EQ(read(reference), "");
    EXPECT_TRUE(handmadeApf) << "the presence of the entry decides";
    EXPECT_TRUE(handmadeShown);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions[0].id, "H1");
    EXPECT_EQ(parkPositions[0].opts.size(), 1u);
    EXPECT_EQ(standCount, 2u);
    EXPECT_EQ(parkQualityFactors, (QualityFactors{32, 0})) << "scored from the stands";
    const std::string log = logText();
    EXPECT_NE(log.find("          handmade                : false"), std::string::npos);
    EXPECT_NE(log.find("A handmade airport file overruled the archived file!"), std::string::npos);
    EXPECT_NE(log.find("Airport file read from 'airports/learned/thirdparty/FlyTampa/LSZH.xml' for Zurich"),
              std::string::npos);

    // An unreadable handmade file is refused as a whole: the airport file's stands are used, and the
    // reading goes on.
    writeLearned({{"handmade", "true"}}, standXml("H1", 47.2, 8.2) + standXml("H1", 47.3, 8.2));
    ASSERT_EQ(read(reference), "");
    EXPECT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions[0].id, "A1");
    EXPECT_FALSE(handmadeApf);
    EXPECT_TRUE(learnedFileRefused);
    EXPECT_NE(logText().find("lf_readLearned: 94: Parking position 'H1' appears more than once."),
              std::string::npos);
}

TEST_F(LearnedFiles, AnUnreadableLearnedFileIsKeptAsItsGeneration) {
    writeAt(learned, "<root><parameters>");
    ASSERT_EQ(read(reference), "");
    EXPECT_EQ(readFile(dir / "airports/learned/thirdparty/FlyTampa/LSZH0.xml"), "<root><parameters>");
    EXPECT_NE(
        logText().find("==> airports/learned/thirdparty/FlyTampa/LSZH.xml found, but could not be loaded, "
                       "saved as *.0.xml: "),
        std::string::npos);
    EXPECT_EQ(parkPositions.size(), 2u);
}

TEST_F(LearnedFiles, HeaderSettingsTakeOverAndTheUsersValuesComeBack) {
    // The user's own values, saved in parameters.xml.
    MAX_LIVE_SEL.value = 100;
    MAX_FIT.value = 20;
    RANGE.value = 40;
    parking_percentage.value = 45;
    AUTO_RANGE.value = true;
    INITIAL_LOAD_ONLY.value = true;
    PARK_SOFT.value = true;
    WEEK.value = false;
    ASSERT_TRUE(gf_saveParameters(false));

    std::vector<std::string> calls;
    auto& hooks = gf_restoreHooks();
    hooks.setRange = [&](std::int32_t nm) {
        calls.push_back(fmt::format("setRange {}", nm));
        RANGE.setClamped(nm);
    };
    hooks.applyAutoRange = [&] { calls.push_back("applyAutoRange"); };
    hooks.showMaxFit = [&] {
        calls.push_back("showMaxFit");
        MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value.load() + 1) / 2.0f;
    };
    hooks.parkingControlsReady = [] { return true; };

    writeLearned({{"airport_name", "Zurich"},
                  {"RANGE", "10"},
                  {"AUTO_RANGE", "false"},
                  {"WEEK", "true"},
                  {"PARK_SOFT", "false"},
                  {"parking_percentage", "80"},
                  {"INITIAL_LOAD_ONLY", "false"},
                  {"MAX_FIT", "99"},
                  {"MAX_LIVE_SEL", "75"}},
                 "");
    ASSERT_EQ(read(reference), "");
    EXPECT_EQ(MAX_LIVE_SEL.value.load(), 75);
    EXPECT_EQ(RANGE.value.load(), 10);
    EXPECT_FALSE(AUTO_RANGE.value.load());
    EXPECT_EQ(parking_percentage.value.load(), 80);
    EXPECT_TRUE(WEEK.value.load());
    EXPECT_FALSE(PARK_SOFT.value.load());
    EXPECT_EQ(MAX_FIT.value.load(), 47) << "clamped";
    EXPECT_EQ(MAX_FIT_FL.value.load(), 24.0f);
    EXPECT_FALSE(INITIAL_LOAD_ONLY.value.load());
    EXPECT_EQ(calls, (std::vector<std::string>{"setRange 10", "applyAutoRange", "showMaxFit"}));
    EXPECT_EQ(control(MAX_LIVE_SEL).selected, MAX_LIVE_SEL.choiceIndex());
    EXPECT_EQ(control(parking_percentage).selected, parking_percentage.choiceIndex());
    EXPECT_TRUE(control(RANGE).enabled);
    EXPECT_EQ(control(AUTO_RANGE).checked, false);
    EXPECT_EQ(control(WEEK).checked, true);
    EXPECT_EQ(control(PARK_SOFT).checked, false);
    EXPECT_EQ(control(INITIAL_LOAD_ONLY).checked, false);
    EXPECT_TRUE(control(NOW_BUTTON).enabled);
    EXPECT_NE(logText().find(
                  "          MAX_FIT                 : 47 (max number of half hours, is 24.0 hrs decimal)"),
              std::string::npos);
    EXPECT_EQ(fileValueOf("RANGE"), "40") << "learned values are not saved";

    // A second read while the learned values are in force must not take them for the user's.
    ASSERT_EQ(read(reference), "");
    gf_restoreOverriddenParameters();
    EXPECT_FALSE(learnedSettingsInForce.load());
    EXPECT_EQ(MAX_LIVE_SEL.value.load(), 100);
    EXPECT_EQ(MAX_FIT.value.load(), 20);
    EXPECT_EQ(RANGE.value.load(), 40);
    EXPECT_EQ(parking_percentage.value.load(), 45);
    EXPECT_TRUE(AUTO_RANGE.value.load());
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value.load());
    EXPECT_TRUE(PARK_SOFT.value.load());
    EXPECT_FALSE(WEEK.value.load());
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"MAX_LIVE_SEL", "100"},
                                                          {"MAX_FIT", "20"},
                                                          {"RANGE", "40"},
                                                          {"parking_percentage", "45"},
                                                          {"AUTO_RANGE", "true"},
                                                          {"INITIAL_LOAD_ONLY", "true"},
                                                          {"PARK_SOFT", "true"},
                                                          {"WEEK", "false"}})
        EXPECT_EQ(fileValueOf(key), value) << key;

    // After the restore the next airport's read takes the user's values afresh.
    MAX_LIVE_SEL.value = 50;
    ASSERT_EQ(read(reference), "");
    EXPECT_EQ(savedParkingSettings.maxLiveSel, 50);
}

// The merge as a function of two values: the airport file's stands and the learned file as read. Nothing
// of the park airport is touched; what it logs comes back in order with the stands.
TEST_F(LearnedFiles, TheMergeIsAFunctionOfTheTwoFiles) {
    pugi::xml_document airportDoc;
    ASSERT_TRUE(airportDoc.load_file((dir / reference).c_str()));
    const ParkAirportFile airport = gf_readParkAirportFile(airportDoc);
    ASSERT_EQ(airport.stands.stands.size(), 2u);
    const std::string path = "learned.xml";
    using Lines = std::vector<LogLine>;
    const auto error = [](std::string text) { return LogLine{LogLine::Kind::error, std::move(text)}; };
    struct Case {
        std::string what;
        Params params;
        std::string stands;
        std::vector<std::string> ids; // id:flights of each merged stand
        bool handmade, refused;
        Lines lines;
    };
    const std::vector<Case> cases{
        {"a learned flight at a stand of the file",
         name,
         R"(<parkpos id="A2" cargo_change="true" cargo="true">)" + learnedFlight + "</parkpos>",
         {"A1:1", "A2:1"},
         false,
         false,
         {}},
        {"a flight the file has",
         name,
         R"(<parkpos id="A1"><opt reg="HB-A" airl="SWR" type="A320" day="1" hh="4"/></parkpos>)",
         {"A1:1", "A2:0"},
         false,
         false,
         {}},
        {"a stand made by hand is added",
         name,
         standXml("M1", 47.02, 8.0, R"(manual="true")", learnedFlight),
         {"A1:1", "A2:0", "M1:1"},
         false,
         false,
         {}},
        {"a learned stand the file lacks",
         name,
         standXml("X9", 47.02, 8.0),
         {"A1:1", "A2:0"},
         false,
         false,
         {{LogLine::Kind::plain, "learned stand X9 in learned.xml not found?"}}},
        {"a stand made by hand twice",
         name,
         standXml("M1", 47.02, 8.0, R"(manual="true")") + standXml("M1", 47.03, 8.0, R"(manual="true")"),
         {"A1:1", "A2:0", "M1:0"},
         false,
         false,
         {error("manually created standid M1 already exists in learned.xml")}},
        {"a flight with half hours that do not read",
         name,
         R"(<parkpos id="A2"><opt reg="Z" day="7" hh="4:x"/></parkpos>)",
         {"A1:1", "A2:0"},
         false,
         false,
         {error("operator () invalid hour 'x' in 4:x"), error("empty bit set")}},
        {"a handmade file overrules the airport file",
         {{"airport_name", "Zurich"}, {"handmade", "true"}},
         standXml("H1", 47.2, 8.2, "", learnedFlight),
         {"H1:1"},
         true,
         false,
         {{LogLine::Kind::continuation, "handmade                : true"}}},
        {"a handmade file with a repeated id is refused",
         {{"handmade", "true"}},
         standXml("H1", 47.2, 8.2) + standXml("H1", 47.3, 8.2),
         {"A1:1", "A2:0"},
         false,
         true,
         {error("learned.xml: refused to load: lf_readLearned: 94: Parking position 'H1' appears more than "
                "once., the file is left as it is")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pugi::xml_document learnedDoc;
        ASSERT_TRUE(learnedDoc.load_string(apfXml(c.params, c.stands).c_str()));
        const LearnedFile learnedFile = gf_readLearnedFile(learnedDoc);
        const std::size_t logged = logText().size();
        const MergedStands merged = gf_mergeLearnedFile(airport.stands.stands, learnedFile, path);
        std::vector<std::string> ids;
        for (const ParkPos& stand : merged.stands)
            ids.push_back(stand.id + ":" + std::to_string(stand.opts.size()));
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(merged.handmade, c.handmade);
        EXPECT_EQ(merged.refused, c.refused);
        EXPECT_EQ(merged.lines, c.lines);
        EXPECT_EQ(logText().size(), logged) << "the merge writes nothing itself";
    }
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_FALSE(handmadeApf || learnedFileRefused);
}

} // namespace
