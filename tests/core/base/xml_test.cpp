#include "core/xml.h"

#include "test_support.h"

#include <sstream>

using namespace testing_support;

namespace {

constexpr std::int64_t decemberNinth = 1796813799; // Wed Dec 09 10:56:39 2026 UTC

class XmlTest : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        gf_coreHooks().clock = [] { return decemberNinth; };
    }

    static std::vector<std::pair<std::string, std::string>> infoEntries(const pugi::xml_document& doc) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (auto info : doc.child("root").child("meta").children("info"))
            entries.emplace_back(info.attribute("name").as_string(), info.attribute("value").as_string());
        return entries;
    }

    static pugi::xml_document parse(std::string_view text, unsigned options = pugi::parse_default) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_buffer(text.data(), text.size(), options));
        return doc;
    }
};

using Entries = std::vector<std::pair<std::string, std::string>>;

// The header the program writes is one it can read back: it carries a non-empty copyright entry.
TEST_F(XmlTest, WrittenHeadersReadBack) {
    struct Case {
        std::int32_t sim;
        std::string p3d, msfs;
        Entries lastEntries; // after author, version, date, copyright
    };
    const std::vector<Case> cases{
        {1, "", "2020", {{"sim", "1"}}},
        {2, "", "2024", {{"sim", "2"}}},
        {-1, "", "2024", {{"sim", "-1"}, {"MSFS", "2024"}}},
        {0, "v56", "", {{"sim", "0"}, {"P3D", "v56"}}},
    };
    for (const auto& c : cases) {
        MetaData meta;
        meta.version = "11.10.5";
        meta.sim = c.sim;
        meta.p3d = c.p3d;
        meta.msfs = c.msfs;
        pugi::xml_document doc;
        ASSERT_TRUE(gf_writeMetaData(doc, meta));

        Entries expected{{"author", "Skyloom"}, {"version", "11.10.5"}, {"date", "Dec 09, 2026"}};
        const auto entries = infoEntries(doc);
        ASSERT_GE(entries.size(), 4u);
        EXPECT_EQ(entries[3].first, "copyright");
        EXPECT_FALSE(entries[3].second.empty());
        expected.push_back(entries[3]);
        expected.insert(expected.end(), c.lastEntries.begin(), c.lastEntries.end());
        EXPECT_EQ(entries, expected) << "sim " << c.sim;

        const auto read = gf_readMetaData(doc);
        ASSERT_TRUE(read.has_value()) << "sim " << c.sim;
        EXPECT_EQ(read->author, "Skyloom");
        EXPECT_EQ(read->version, "11.10.5");
        EXPECT_EQ(read->date, "Dec 09, 2026");
        EXPECT_EQ(read->sim, c.sim);
        EXPECT_EQ(read->p3d, c.sim <= 0 ? c.p3d : "");
        EXPECT_EQ(read->msfs, c.sim <= 0 && c.p3d.empty() ? c.msfs : "");
    }
}

TEST_F(XmlTest, WritingReusesAnExistingRoot) {
    pugi::xml_document doc;
    doc.append_child("root").append_child("airport");
    MetaData meta;
    meta.setSim(1);
    ASSERT_TRUE(gf_writeMetaData(doc, meta));
    EXPECT_EQ(std::distance(doc.children("root").begin(), doc.children("root").end()), 1);
    EXPECT_TRUE(doc.child("root").child("airport"));
    EXPECT_TRUE(doc.child("root").child("meta"));
}

TEST_F(XmlTest, SetSimFillsTheSimulatorTexts) {
    struct Case {
        std::int32_t kind;
        std::string p3d, msfs;
    };
    for (const auto& c :
         std::vector<Case>{{1, "", "2020"}, {3, "v56", ""}, {2, "", "2024"}, {-1, "", "2024"}}) {
        MetaData meta;
        meta.p3d = "old";
        meta.msfs = "old";
        meta.setSim(c.kind);
        EXPECT_EQ(meta.sim, c.kind);
        EXPECT_EQ(meta.p3d, c.p3d) << c.kind;
        EXPECT_EQ(meta.msfs, c.msfs) << c.kind;
    }
}

TEST_F(XmlTest, ReadingHeaders) {
    openLog();
    // meta directly under the document; the first of two version entries counts; unknown names skipped.
    auto direct = parse(R"(<meta><info name="copyright" value="c"/><info name="version" value="1"/>
        <info name="version" value="2"/><info name="other" value="x"/><info name="sim" value="abc"/></meta>)");
    auto read = gf_readMetaData(direct);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->version, "1");
    EXPECT_EQ(read->sim, 0); // present but not a number

    // No header, no copyright entry: nothing, and nothing logged.
    EXPECT_FALSE(gf_readMetaData(parse("<root><parameters/></root>")));
    EXPECT_FALSE(gf_readMetaData(parse(R"(<root><meta><info name="sim" value="1"/></meta></root>)")));
    EXPECT_EQ(logText().find("copyright"), std::string::npos);

    // An empty copyright value ends the reading with a log line.
    EXPECT_FALSE(
        gf_readMetaData(parse(R"(<root><meta><info name="copyright" value=""/><info name="sim" value="1"/>
        </meta></root>)")));
    EXPECT_NE(logText().find("==> no copyright info in the file?\n"), std::string::npos);

    // Without a simulator entry only when the caller accepts it.
    auto noSim = parse(
        R"(<root><meta><info name="copyright" value="c"/><info name="author" value="a"/></meta></root>)");
    EXPECT_FALSE(gf_readMetaData(noSim, false));
    const auto accepted = gf_readMetaData(noSim, true);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->sim, -1);
    EXPECT_EQ(accepted->author, "a");
    EXPECT_TRUE(gf_readMetaData(parse(
        R"(<root><meta><info name="copyright" value="c"/><info name="MSFS" value="2024"/></meta></root>)")));
}

TEST_F(XmlTest, SavingAddsOrCompletesTheDeclaration) {
    const auto p = folder / "out.xml";
    pugi::xml_document doc;
    doc.append_child("root").append_child("parameters");
    ASSERT_TRUE(gf_prependXmlDeclaration(doc, p));
    EXPECT_EQ(readFile(p), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters />\n</root>\n");
    ASSERT_TRUE(gf_prependXmlDeclaration(doc, p)); // a second save keeps one declaration
    EXPECT_EQ(readFile(p), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters />\n</root>\n");

    auto withDecl = parse(R"(<?xml version="1.1" standalone="yes"?><root a="é"/>)",
                          pugi::parse_default | pugi::parse_declaration);
    ASSERT_TRUE(gf_prependXmlDeclaration(withDecl, p));
    EXPECT_EQ(readFile(p),
              "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?>\n<root a=\"é\" />\n");

    EXPECT_FALSE(gf_prependXmlDeclaration(doc, folder / "missing-folder" / "out.xml"));
}

TEST_F(XmlTest, ParametersReadAndAppend) {
    pugi::xml_document doc;
    auto parameters = doc.append_child("root").append_child("parameters");
    ASSERT_TRUE(gf_appendBoolParameter(parameters, "RANDOM", true));
    ASSERT_TRUE(gf_appendIntParameter(parameters, "RANGE", -40));
    ASSERT_TRUE(gf_appendStringParameter(parameters, "BLOCK_CALLSIGN", "AB, CD"));
    ASSERT_TRUE(gf_appendStringParameter(parameters, "RANGE", "99"));
    parameters.append_child("parameter").append_attribute("name").set_value("NO_VALUE");

    EXPECT_EQ(gf_readBoolParameter(doc, "RANDOM"), true);
    EXPECT_EQ(gf_readIntParameter(doc, "RANGE"), -40); // the first entry of a key counts
    EXPECT_EQ(gf_readStringParameter(doc, "BLOCK_CALLSIGN"), "AB, CD");
    EXPECT_EQ(gf_readStringParameter(doc, "MISSING"), std::nullopt);
    EXPECT_EQ(gf_readBoolParameter(doc, "NO_VALUE"), false);
    EXPECT_EQ(gf_readIntParameter(doc, "NO_VALUE"), 0);
    EXPECT_EQ(gf_readStringParameter(doc, "NO_VALUE"), "");
    EXPECT_EQ(gf_readStringParameter(parse("<root/>"), "RANGE"), std::nullopt);
    // parameters directly under the document
    EXPECT_EQ(gf_readIntParameter(parse(R"(<parameters><parameter name="X" value="7"/></parameters>)"), "X"),
              7);

    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(out.str(),
              R"(<root><parameters><parameter name="RANDOM" value="true"/>)"
              R"(<parameter name="RANGE" value="-40"/><parameter name="BLOCK_CALLSIGN" value="AB, CD"/>)"
              R"(<parameter name="RANGE" value="99"/><parameter name="NO_VALUE"/></parameters></root>)");
}

TEST_F(XmlTest, AttributeHelpers) {
    pugi::xml_document doc;
    auto node = doc.append_child("stand");
    ASSERT_TRUE(gf_appendAttribute(node, "id", "A12"));
    ASSERT_TRUE(gf_appendBoolAttribute(node, "cargo", false));
    EXPECT_EQ(gf_attributeString(node, "id"), "A12");
    EXPECT_EQ(gf_attributeString(node, "cargo"), "false");
    EXPECT_EQ(gf_attributeString(node, "missing"), "");
    EXPECT_EQ(gf_rootChild(parse("<root><a x='1'/></root>"), "a").attribute("x").as_int(), 1);
    EXPECT_FALSE(gf_appendAttribute(pugi::xml_node(), "id", "x"));
}

} // namespace
