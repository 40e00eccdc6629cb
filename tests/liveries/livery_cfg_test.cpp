// aircraft.cfg files: the line matchers against the patterns they replace, the numbering check, the
// splitting, the section rules, the model rules, IVAO files and the encodings.

#include "livery_scan_support.h"

#include "liveries/cfg_lines.h"
#include "tests/liveries/cfg_patterns.h"

#include <random>
#include <regex>

namespace livery_testing {
namespace {

// ---- line matchers, checked against the ECMAScript patterns they stand for ----

using cfg_patterns::KeyPattern;

void expectMatchersAgreeWithPatterns(const std::string& line) {
    for (const KeyPattern& p : cfg_patterns::keyPatterns()) {
        std::smatch match;
        const bool matched = std::regex_match(line, match, p.pattern);
        const auto value = gf_cfgRawValue(line, p.key);
        ASSERT_EQ(value.has_value(), matched) << p.key << " on [" << line << "]";
        if (matched) {
            EXPECT_EQ(std::string(*value), match[2].str()) << p.key << " on [" << line << "]";
        }
    }
    std::smatch match;
    const std::string number = lf_fltsimNumberOf(line);
    if (line.size() >= 2 && line.starts_with("//")) {
        EXPECT_EQ(number, "") << line;
    } else if (std::regex_match(line, match, cfg_patterns::headerPattern())) {
        EXPECT_EQ(number, match[2].str()) << line;
    } else {
        const bool malformed =
            line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos;
        EXPECT_EQ(number, malformed ? "10000" : "") << line;
    }
}

TEST(LiveryCfgLines, MatchersAgreeWithThePatternsOnEdgeLines) {
    const std::vector<std::string> lines{
        "title=A",
        "  TITLE  =  \"  Airbus A320 Swiss  \"  ",
        "Title\t=\tvalue ; remark\t",
        "title = \"",
        "title =",
        "title =    ",
        "title = a\rb",
        "title = ab\r",
        "title = a\nb",
        "\ttitle = x\v\f",
        "titles = x",
        "atitle = x",
        "title x = y",
        "title == x",
        "title = = x",
        "icao_airline = \"\"",
        "icao_airline = ZZZZ",
        "ICAO_AIRLINE=dlh",
        "icao_type_designator = \"b738max\"",
        "atc_id = HB-J",
        "atc_id=HB-JLT;remark",
        "atc_parking_types = GATE , CARGO",
        "base_container = \"..\\Asobo_A320_NEO\"",
        "texture = caf\xC3\xA9",
        "title = \xE9t\xE9",
        std::string("title = a\0b", 11),
        "[FLTSIM.12]",
        "  [fltsim.0]  ",
        "[FltSim.x]",
        "[fltsim.-1]",
        "[fltsim.1] ; remark",
        ";[fltsim.2]",
        "//[FLTSIM.3]",
        "/",
        "[fltsim.]",
        "[FLTSIM.99999999999]",
        "[fltsim.1]\r",
        "",
    };
    for (const std::string& line : lines)
        expectMatchersAgreeWithPatterns(line);
}

TEST(LiveryCfgLines, MatchersAgreeWithThePatternsOnGeneratedLines) {
    // Lines made of the pieces the matchers look at, in random order and number.
    const std::vector<std::string> pieces{
        " ",      "\t",       "\r",       "\n",       "=", "\"",    ";",     "//",     "[",
        "]",      ".",        "x",        "Z",        "1", "title", "TiTlE", "atc_id", "icao_airline",
        "fltsim", "[fltsim.", "[FLTSIM.", "\xC3\xA9", "\v"};
    std::mt19937 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        const int count = static_cast<int>(random() % 9);
        for (int k = 0; k < count; ++k)
            line += pieces[random() % pieces.size()];
        expectMatchersAgreeWithPatterns(line);
        if (HasFatalFailure()) return;
    }
}

TEST(LiveryCfgLines, QuoteRuleAndExtractorResults) {
    struct Case {
        std::string value, unquoted;
    };
    for (const Case& c :
         {Case{"plain ; remark", "plain ; remark"}, Case{"\"  in quotes  \" tail", "  in quotes  "},
          Case{"\"", ""}, Case{"\"\"", ""}, Case{"a\"b", ""}, Case{"x\"b\"c\"d", "b"}})
        EXPECT_EQ(gf_cfgUnquote(c.value), c.unquoted) << c.value;

    std::string out = "kept";
    EXPECT_FALSE(lf_getTitle("title = \"\"", out));
    EXPECT_FALSE(lf_getTitle("title = \"", out));
    EXPECT_EQ(out, "kept") << "a false result leaves the output alone";
    EXPECT_TRUE(lf_getTitle("  TITLE = \" A320 Swiss \" ; x", out));
    EXPECT_EQ(out, " A320 Swiss ");
    EXPECT_FALSE(lf_getAtcId("atc_id = HB-J", out));
    EXPECT_TRUE(lf_getAtcId("atc_id = HB-JL", out));
    EXPECT_EQ(out, "HB-JL");
    for (const auto& [line, airline] :
         std::vector<std::pair<std::string, std::string>>{{"icao_airline = \"\"", "ZZZ"},
                                                          {"icao_airline=ZZZZ", "ZZZ"},
                                                          {"icao_airline = zzzz", "ZZZZ"},
                                                          {"icao_airline = dlh", "DLH"}}) {
        EXPECT_TRUE(lf_getIcaoAirline(line, out)) << line;
        EXPECT_EQ(out, airline) << line;
    }
    EXPECT_EQ(lf_icaoTypeDesignatorOf("icao_type_designator = \"b738mx\""), "B738");
    EXPECT_EQ(lf_icaoTypeDesignatorOf("icao_type = B738"), "");
    EXPECT_TRUE(lf_hasAtcIdKey("x atc_id=1"));
    EXPECT_FALSE(lf_hasAtcIdKey("atc_id = 1"));
}

TEST(LiveryCfgLines, HugeAndMalformedLinesAreHandledInLinearTime) {
    // A pattern engine that recurses per character overflows its stack on lines like these.
    const std::vector<std::string> lines{
        "title = " + std::string(4'000'000, 'a'), "title = \"" + std::string(4'000'000, ' ') + "x",
        std::string(4'000'000, ' ') + "=", "[fltsim." + std::string(4'000'000, '7') + "]",
        std::string(1'000'000, '[') + "fltsim."};
    for (const std::string& line : lines) {
        std::string out;
        (void)lf_getTitle(line, out);
        (void)lf_getIcaoAirline(line, out);
        (void)lf_icaoTypeDesignatorOf(line);
        (void)lf_fltsimNumberOf(line);
    }
    EXPECT_EQ(lf_fltsimNumberOf(lines[3]).size(), 4'000'000u);
}

// ---- numbering, splitting, sections ----

class LiveryCfgTest : public LiveryScanTest {
protected:
    ScanContext context;
    FileScan out;
    const fs::path file = "/pkg/SimObjects/Airplanes/M/aircraft.cfg";
    const fs::path folder = "/pkg/SimObjects/Airplanes/M";

    std::vector<std::string> titlesOf(const FileScan& scan) {
        std::vector<std::string> titles;
        for (const LiveryCandidate& c : scan.liveries)
            titles.push_back(c.livery.title);
        return titles;
    }
};

TEST_F(LiveryCfgTest, NumberingCheck) {
    ScanReports reports;
    const std::vector<std::string> fine{"[fltsim.0]", "[FLTSIM.5]", "[fltsim.5]", "[fltsim.x]"};
    EXPECT_TRUE(lf_checkFltsimNumbers(fine, file, reports))
        << "gaps, repeats and the 10000 of a bad header pass";

    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.1]", "[fltsim.10001]"}, file, reports));
    EXPECT_EQ(reports.invalidCfgFiles,
              std::vector<std::string>{file.string() +
                                       " contains a [fltsim.x] section with a number < 0 or > 10000"});

    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.99999999999]"}, file, reports));
    EXPECT_TRUE(logHas("==> fltsim num [fltsim.99999999999] incorrect"));

    EXPECT_TRUE(lf_checkFltsimNumbers({"[GENERAL]", "title = x"}, file, reports));
    EXPECT_EQ(reports.noFltsimFiles, std::vector<std::string>{file.string()});
}

TEST_F(LiveryCfgTest, SplittingFollowsTheHeaders) {
    const std::vector<std::string> lines{"title = \"Before any header\"",
                                         "icao_airline = SWR",
                                         "[FLTSIM.12]",
                                         "title = \"Twelve\"",
                                         "icao_airline = SWR",
                                         "description = \"text with [brackets] far in\"",
                                         "[FltSim.x]",
                                         "title = \"After a malformed header\"",
                                         "icao_airline = SWR",
                                         "[fltsim.0]",
                                         "title = \"Zero\"",
                                         "icao_airline = SWR",
                                         "//[FLTSIM.3]",
                                         "title = \"After a commented header\"",
                                         "icao_airline = SWR",
                                         "[fltsim.1] ; remark",
                                         "title = \"Numbered 10000\"",
                                         "icao_airline = SWR",
                                         "[CAMERADEFINITION.0]",
                                         "title = \"Pilot\""};
    lf_splitFltSimSections(context, out, 1, lines, "A320", file, folder);
    EXPECT_EQ(titlesOf(out), (std::vector<std::string>{"Twelve", "Zero", "Numbered 10000"}));
    EXPECT_TRUE(out.reports.incompleteSections.empty());

    // In an IVAO file a bracket anywhere in a line closes the section, a comment's too.
    const fs::path ivaoFolder = community / "IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa";
    fs::create_directories(ivaoFolder / "texture.SWR");
    FileScan ivao;
    lf_splitIvaoFltSimSections(context, ivao, 1,
                               {"[fltsim.0]", "title = B738WSWR One", "texture = SWR",
                                "description = text with [brackets] far in", "atc_id = HB-JLT", "[fltsim.1]",
                                "texture = SWR", "// see [notes]", "title = B738WSWR Two"},
                               "B738", ivaoFolder / "aircraft.cfg", ivaoFolder);
    EXPECT_EQ(titlesOf(ivao), std::vector<std::string>{"B738WSWR One"});
    ASSERT_EQ(ivao.liveries.size(), 1u);
    EXPECT_EQ(ivao.liveries.front().livery.atcid, "") << "the registration came after the closing line";
    EXPECT_EQ(ivao.reports.incompleteSections,
              std::vector<std::string>{ivaoFolder.string() + " [fltsim.1] misses title"});
}

// One section through the rules: the record (or none) and the report lines.
struct SectionCase {
    std::string name;
    std::vector<std::string> lines; // after the header
    std::string model;
    std::string airline; // "" = no record
    std::string registration;
    bool cargo;
    std::vector<std::string> incomplete; // "{F}" stands for the folder, "{P}" for the file
    std::vector<std::string> invalidAirlines;
};

TEST_F(LiveryCfgTest, SectionRules) {
    const std::string H = "[fltsim.0]";
    const std::vector<SectionCase> cases{
        {"plain",
         {"title = T", "icao_airline = SWR", "atc_id = HB-JLT"},
         "A320",
         "SWR",
         "HB-JLT",
         false,
         {},
         {}},
        {"Fenix title",
         {"title = FenixA320 SWR", "icao_airline = SWR"},
         "A320",
         "",
         "",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info "},
         {}},
        {"PMDG after the airline",
         {"icao_airline = SWR", "title = PMDG 737 SWR"},
         "B738",
         "",
         "",
         false,
         {},
         {}},
        {"empty airline is the generic one",
         {"title = T", "icao_airline = \"\"", "atc_id = HB-JLT"},
         "A320",
         "ZZZ",
         "",
         false,
         {},
         {}},
        {"4-letter C cut", {"title = T", "icao_airline = SWRC"}, "A320", "SWR", "", false, {}, {}},
        {"airline ending in a no-break space",
         {"title = T", "icao_airline = SWR\xC2\xA0"},
         "A320",
         "SWR",
         "",
         false,
         {},
         {}},
        {"4-letter X cut", {"title = T", "icao_airline = \"DLHX\""}, "A320", "DLH", "", false, {}, {}},
        {"RFO dropped",
         {"title = T", "icao_airline = RFO"},
         "A320",
         "",
         "",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info "},
         {}},
        {"unknown airline then known",
         {"title = T", "icao_airline = XYZ", "icao_airline = EDW"},
         "A320",
         "EDW",
         "",
         false,
         {},
         {"XYZ          in {P} [fltsim.0]"}},
        {"unknown airline, light type",
         {"title = Cessna N1 white", "icao_airline = XYZ"},
         "C172",
         "PVT",
         "N1",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info "},
         {"XYZ          in {P} [fltsim.0]"}},
        {"two titles",
         {"title = A", "title = B", "icao_airline = SWR"},
         "A320",
         "",
         "",
         false,
         {"{F} [fltsim.0] has more than one title key",
          "{P} [fltsim.0] icao_airline is missing, or it has invalid info "},
         {}},
        {"two airlines",
         {"title = A", "icao_airline = SWR", "icao_airline = EDW"},
         "A320",
         "",
         "",
         false,
         {"{F} [fltsim.0] has more than one icao_airline key"},
         {}},
        {"two parking types",
         {"title = A", "icao_airline = SWR", "atc_parking_types = GATE", "atc_parking_types = RAMP"},
         "A320",
         "",
         "",
         false,
         {"{F} [fltsim.0] has more than one atc_parking_types key"},
         {}},
        {"two registrations",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLT", "atc_id=HB-JLU"},
         "A320",
         "",
         "",
         false,
         {"{F}, [fltsim.0], has more than one atc_id key"},
         {}},
        {"two registrations in one",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLT, HB-JLU"},
         "A320",
         "SWR",
         "",
         false,
         {},
         {}},
        {"registration ends in comma",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLT,"},
         "A320",
         "SWR",
         "",
         false,
         {"invalid atc_id=HB-JLT, in: A"},
         {}},
        {"registration too long",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLTTTTTTTTT"},
         "A320",
         "SWR",
         "",
         false,
         {"invalid atc_id=HB-JLTTTTTTTTT in: A"},
         {}},
        {"registration with star",
         {"title = A", "icao_airline = SWR", "atc_id = HB-J*T"},
         "A320",
         "SWR",
         "",
         false,
         {"invalid atc_id=HB-J*T in: A"},
         {}},
        {"registration ending in a no-break space",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLT\xC2\xA0"},
         "A320",
         "SWR",
         "HB-JLT",
         false,
         {},
         {}},
        {"registration remark cut",
         {"title = A", "icao_airline = SWR", "atc_id = HB-JLT;x"},
         "A320",
         "SWR",
         "HB-JLT",
         false,
         {},
         {}},
        {"stub",
         {"title = Airbus-STUB", "icao_airline = SWR", "atc_id = HB-JLT"},
         "A320",
         "ZZZ",
         "",
         false,
         {},
         {}},
        {"heavy without airline or registration",
         {"title = A"},
         "B77W",
         "",
         "",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info ",
          "'{F}' '[fltsim.0]' has no airline and no regcode info"},
         {}},
        {"heavy with unknown registration",
         {"title = A", "atc_id = HB-QQQ"},
         "B77W",
         "",
         "",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info ",
          "'{F}' '[fltsim.0]' has no airline and regcode not in dbase"},
         {}},
        {"airline from the registration",
         {"title = A", "atc_id = HB-JNA"},
         "B77W",
         "SWR",
         "HB-JNA",
         false,
         {"{P} [fltsim.0] icao_airline is missing, or it has invalid info "},
         {}},
        {"gate and cargo",
         {"title = A", "icao_airline = GEC", "atc_parking_types = GATE,CARGO"},
         "B77L",
         "GEC",
         "",
         false,
         {},
         {}},
        {"lower-case cargo",
         {"title = A", "icao_airline = GEC", "atc_parking_types = cargo"},
         "B77L",
         "GEC",
         "",
         true,
         {},
         {}},
        {"no title",
         {"icao_airline = SWR", "// comment", ""},
         "A320",
         "",
         "",
         false,
         {"{F} [fltsim.0] misses title"},
         {}},
        {"don't-use title",
         {"title = Airbus A320 Test Livery", "icao_airline = SWR"},
         "A320",
         "",
         "",
         false,
         {},
         {}},
    };
    context.dontUseTitles.insert("Airbus A320 Test Livery");
    const auto fill = [&](std::string text) {
        for (const auto& [mark, value] : {std::pair{"{F}", folder.string()}, std::pair{"{P}", file.string()}})
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, 3, value);
        return text;
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        FileScan scan;
        std::vector<std::string> section{H};
        section.insert(section.end(), c.lines.begin(), c.lines.end());
        lf_procesFltSimSection(context, scan, 3, section, c.model, file, folder);
        if (c.airline.empty()) {
            EXPECT_TRUE(scan.liveries.empty());
        } else {
            ASSERT_EQ(scan.liveries.size(), 1u);
            const LiveryData& l = scan.liveries.front().livery;
            EXPECT_EQ(l.airl, c.airline);
            EXPECT_EQ(l.atcid, c.registration);
            EXPECT_EQ(l.cargo, c.cargo);
            EXPECT_EQ(l.type, c.model);
            EXPECT_EQ(l.priority, 3);
        }
        std::vector<std::string> incomplete, airlines;
        for (const std::string& line : c.incomplete)
            incomplete.push_back(fill(line));
        for (const std::string& line : c.invalidAirlines)
            airlines.push_back(fill(line));
        EXPECT_EQ(scan.reports.incompleteSections, incomplete);
        EXPECT_EQ(scan.reports.invalidAirlineLines, airlines);
    }
}

TEST_F(LiveryCfgTest, ModelRules) {
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        std::string path;
        std::string model;
        std::size_t fixes, invalidCodes, invalidFiles;
    };
    const std::string p = file.string();
    const std::vector<Case> cases{
        {"known type in lower case", {"icao_type_designator = \"a320\""}, p, "A320", 0, 0, 0},
        {"fixed type", {"icao_type_designator = B77F"}, p, "B77L", 1, 0, 0},
        {"unknown type beats a base container",
         {"icao_type_designator = ZZ99", "base_container = \"..\\Asobo_A320_NEO\""},
         p,
         "",
         0,
         1,
         0},
        {"base container", {"[GENERAL]", "base_container = \"..\\Asobo_A320_NEO\""}, p, "A20N", 0, 0, 0},
        {"base container in another case", {"base_container = \"..\\asobo_a320_neo\""}, p, "", 0, 0, 1},
        {"nothing, another path", {"[GENERAL]"}, "/c/other/aircraft.cfg", "", 0, 0, 1},
        {"nothing, fnx-aircraft-3 path", {"[GENERAL]"}, "/c/fnx-aircraft-3xx/aircraft.cfg", "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanReports reports;
        EXPECT_EQ(lf_modelOfFile(c.path, c.lines, reports), c.model);
        EXPECT_EQ(reports.fixLines.size(), c.fixes);
        EXPECT_EQ(reports.invalidAircraftLines.size(), c.invalidCodes);
        EXPECT_EQ(reports.invalidCfgFiles.size(), c.invalidFiles);
    }
    ScanReports reports;
    (void)lf_modelOfFile(p, {"icao_type_designator = B77F"}, reports);
    EXPECT_EQ(reports.fixLines,
              std::vector<std::string>{"Model fix: B77F found in " + p + " changed into B77L"});
    (void)lf_modelOfFile(p, {"base_container = \"..\\asobo_a320_neo\""}, reports);
    EXPECT_EQ(reports.invalidCfgFiles,
              std::vector<std::string>{"Line icao_type_designator= is missing in [General] section of " + p});
}

TEST_F(LiveryCfgTest, IvaoModelOfPath) {
    struct Case {
        std::string path, model, invalidLine;
    };
    const std::string base = "/c/IVAO_MTL/SimObjects/Airplanes/";
    for (const Case& c : std::vector<Case>{
             {base + "IVAO_B738WLfa/aircraft.cfg", "B738", ""},
             {base + "IVAO_A319fIAEw/aircraft.cfg", "A319", ""},
             {"/c/ivao_x-csl/simobjects/AIRPLANES/ivao_E195/Aircraft.cfg", "E195", ""},
             {"C:\\c\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_A320wCFM\\aircraft.cfg", "A320", ""},
             {base + "IVAO_B738WLfa/deeper/aircraft.cfg", "", "                 in "},
             {base + "IVAO_b738x/aircraft.cfg", "", "b738             in "},
             {"/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg", "", "                 in "},
         }) {
        ScanReports reports;
        EXPECT_EQ(lf_ivaoModelOfPath(c.path, reports), c.model) << c.path;
        if (c.invalidLine.empty())
            EXPECT_TRUE(reports.invalidAircraftLines.empty()) << c.path;
        else
            EXPECT_EQ(reports.invalidAircraftLines, std::vector<std::string>{c.invalidLine + c.path});
    }
}

TEST_F(LiveryCfgTest, IvaoSections) {
    const fs::path ivaoFolder = community / "IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa";
    const fs::path ivaoFile = ivaoFolder / "aircraft.cfg";
    fs::create_directories(ivaoFolder / "texture.SWR");
    const std::string F = ivaoFolder.string();
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        std::string airline, registration;
        std::string incomplete;
    };
    const std::vector<Case> cases{
        {"variant title",
         {"title = b738w  SWR Swiss", "texture = SWR", "atc_id = HB-JLT"},
         "SWR",
         "HB-JLT",
         ""},
        {"lower-case airline is looked up as written", {"title = B738Wswr", "texture = SWR"}, "", "", ""},
        {"missing texture folder, no title",
         {"texture = KLM"},
         "",
         "",
         (ivaoFolder / "texture.KLM").string() + " [fltsim.0] does not exist"},
        {"no title", {"texture = SWR"}, "", "", F + " [fltsim.0] misses title"},
        {"texture name too long for a folder name",
         {"title = B738WSWR", "texture = " + std::string(300, 'K')},
         "",
         "",
         (ivaoFolder / ("texture." + std::string(300, 'K'))).string() + " [fltsim.0] does not exist"},
        {"another model, known registration",
         {"title = A320 SWR", "texture = SWR", "atc_id = HB-JNA"},
         "SWR",
         "HB-JNA",
         ""},
        {"another model, no registration",
         {"title = A320 SWR", "texture = SWR"},
         "",
         "",
         F + " [fltsim.0] misses airlinecode in title: A320 SWR, and no regcode"},
        {"another model, unknown registration",
         {"title = A320 SWR", "texture = SWR", "atc_id = HB-QQQ"},
         "",
         "",
         F + " [fltsim.0] misses airlinecode in title: A320 SWR, and regcode unknown HB-QQQ"},
        {"two titles",
         {"title = B738WSWR", "title = B738WEDW", "texture = SWR"},
         "",
         "",
         F + " [fltsim.0] has more than one title key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileScan scan;
        std::vector<std::string> section{"[fltsim.0]"};
        section.insert(section.end(), c.lines.begin(), c.lines.end());
        lf_procesIvaoFltSimSection(context, scan, 2, section, "B738", ivaoFile, ivaoFolder);
        if (c.airline.empty()) {
            EXPECT_TRUE(scan.liveries.empty());
        } else {
            ASSERT_EQ(scan.liveries.size(), 1u);
            EXPECT_EQ(scan.liveries.front().livery.airl, c.airline);
            EXPECT_EQ(scan.liveries.front().livery.atcid, c.registration);
            EXPECT_FALSE(scan.liveries.front().livery.cargo);
        }
        if (!c.incomplete.empty()) {
            EXPECT_EQ(scan.reports.incompleteSections, std::vector<std::string>{c.incomplete});
        }
    }
}

TEST_F(LiveryCfgTest, EveryEncodingGivesTheSameLiveries) {
    using community_tree::Encoding;
    std::vector<std::vector<std::string>> results;
    int n = 0;
    // The last file is Windows-1252 after 4 KB of ASCII: the charset detection takes it for UTF-8.
    std::string asciiHead;
    while (asciiHead.size() <= 4096)
        asciiHead += "// an ASCII comment line before the sections\n";
    for (const auto& [encoding, head] :
         std::vector<std::pair<Encoding, std::string>>{{Encoding::utf8, ""},
                                                       {Encoding::utf8Bom, ""},
                                                       {Encoding::utf16le, ""},
                                                       {Encoding::utf16be, ""},
                                                       {Encoding::windows1252, ""},
                                                       {Encoding::windows1252, asciiHead}}) {
        const fs::path path = community / ("pkg" + std::to_string(n++)) / "aircraft.cfg";
        community_tree::writeEncoded(path, head + community_tree::encodingSample(), encoding);
        const FileScan scan = lf_searchLiveriesinFile(context, 1, path);
        std::vector<std::string> lines;
        for (const LiveryCandidate& c : scan.liveries)
            lines.push_back(c.livery.airl + "|" + c.livery.type + "|" + c.livery.title + "|" +
                            c.livery.atcid);
        results.push_back(lines);
    }
    const std::vector<std::string> expected{"AUA|B772|" + std::string(community_tree::cafeTitle) + "|OE-LPA",
                                            "AUA|B772|Boeing 777-200ER Austrian Night ; remark|"};
    for (const auto& result : results)
        EXPECT_EQ(result, expected);
}

} // namespace
} // namespace livery_testing
