#include "refdata_fixture.h"

#include "refdata/regcodes.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Shown by gtest when an entry differs.
void PrintTo(const RegcodeLivery& e, std::ostream* os) {
    *os << "{" << e.title << ";";
    for (const auto& r : e.regs)
        *os << r << ",";
    *os << (e.special ? ";#}" : "}");
}

namespace {

class RegcodesTest : public RefdataTest {
protected:
    std::filesystem::path folder() const { return input / "my_regcodes"; }
    void SetUp() override {
        RefdataTest::SetUp();
        std::filesystem::create_directories(folder());
    }
};

TEST_F(RegcodesTest, TextFileLines) {
    struct Case {
        const char* line;
        std::vector<RegcodeLivery> entries;
        bool ok;
        const char* logged;
    };
    const std::string file = (folder() / "mine.txt").string();
    const Case cases[] = {
        {"Swiss A320 ; PH-BXA", {{"Swiss A320", {"PH-BXA"}, true}}, true, ""},
        {"Swiss A320 ; PH-BXA ; ", {{"Swiss A320", {"PH-BXA"}, true}}, true, ""},
        {"Swiss A320;PH-BXB, PH-BXA", {{"Swiss A320", {"PH-BXA", "PH-BXB"}, false}}, true, ""},
        {"Swiss A320;PH-BXB,PH-BXA;#", {{"Swiss A320", {"PH-BXA", "PH-BXB"}, true}}, true, ""},
        {"Swiss A320;PH-BXB,PH-BXA;x", {{"Swiss A320", {"PH-BXA", "PH-BXB"}, false}}, true, ""},
        {"Swiss A320;PH-BXA,PH-BXA", {{"Swiss A320", {"PH-BXA"}, true}}, true, ""},
        {"Swiss A320;AB,PH-BXB", {{"Swiss A320", {"PH-BXB"}, false}}, false, "wrong regcode length 'AB' in "},
        {"Swiss A320;AB", {}, false, "wrong regcode length 'AB' in "},
        {"Swiss A320;ABCDEFGHIJKLM", {}, false, "wrong regcode length 'ABCDEFGHIJKLM' in "},
        {"Swiss A320;AB,CD", {}, false, " ; regs empty?"},
        {"Swiss A320;", {}, true, ""},
        {"Swiss A320", {{"Swiss A320", {}, false}}, true, ""},
        {"a;b;c;d", {}, false, ": wrong format 'a;b;c;d'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeFile(folder() / "mine.txt", std::string(c.line) + "\r\n\r\n");
        std::list<RegcodeLivery> entries;
        const std::size_t logBefore = logText().size();
        EXPECT_EQ(gf_readRegcodeFiles(folder(), entries), c.ok);
        EXPECT_THAT(entries, ::testing::ElementsAreArray(c.entries));
        const std::string log = logText().substr(logBefore);
        EXPECT_THAT(log, HasSubstr("Processing regcodes file '" + file + "'\n"));
        if (*c.logged) {
            EXPECT_THAT(log, HasSubstr(c.logged));
        }
    }
}

TEST_F(RegcodesTest, ReadsOnlyTxtFilesOfTheFolderAndAppends) {
    writeFile(folder() / "a.txt", "A;AB-CDE\n");
    writeFile(folder() / "b.TXT", "B;AB-CDF\n");
    writeFile(folder() / "c.csv", "C;AB-CDG\n");
    std::filesystem::create_directories(folder() / "sub.txt");
    writeFile(folder() / "sub.txt" / "d.txt", "D;AB-CDH\n");

    std::list<RegcodeLivery> entries{{"earlier", {}, false}};
    EXPECT_TRUE(gf_readRegcodeFiles(folder(), entries));
    std::vector<std::string> titles;
    for (const auto& e : entries)
        titles.push_back(e.title);
    std::sort(titles.begin() + 1, titles.end());
    EXPECT_THAT(titles, ElementsAre("earlier", "A", "B"));
    EXPECT_THAT(logText(), HasSubstr("\n3 liveries\n"));
}

TEST_F(RegcodesTest, MissingFolderIsLoggedNotThrown) {
    std::list<RegcodeLivery> entries;
    EXPECT_FALSE(gf_readRegcodeFiles(input / "absent", entries));
    EXPECT_THAT(logText(),
                HasSubstr("==> Error reading regcode files in " + (input / "absent").string() + ", what: "));
}

TEST_F(RegcodesTest, LiveryCountWording) {
    std::list<RegcodeLivery> entries;
    EXPECT_TRUE(gf_readRegcodeFiles(folder(), entries));
    writeFile(folder() / "one.txt", "A\n");
    EXPECT_TRUE(gf_readRegcodeFiles(folder(), entries));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("\n0 liveries\n"));
    EXPECT_THAT(log, HasSubstr("\n1 livery\n"));
}

const char* header = R"(<meta><info name="copyright" value="c"/><info name="sim" value="1"/></meta>)";

TEST_F(RegcodesTest, XmlFile) {
    writeFile(input / "AIG-regcodes.xml", std::string("<root>") + header + R"(<AIG-regcodes>
        <livery title="One" reg="PH-BXB, PH-BXA,PH-BXA" special="true"/>
        <livery title="One" reg="PH-BXC"/>
        <livery title="" reg="PH-BXD"/>
        <livery title="Two" reg="AB"/>
        <livery title="One" reg=""/>
      </AIG-regcodes></root>)");
    std::list<RegcodeLivery> entries;
    EXPECT_FALSE(gf_readRegcodesXml(entries));
    EXPECT_THAT(entries, ElementsAre(RegcodeLivery{"One", {"PH-BXA", "PH-BXB"}, true},
                                     RegcodeLivery{"Two", {"AB"}, false}, RegcodeLivery{"One", {}, false}));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("==> SAME AS PREVIOUS title 'One'\n"));
    EXPECT_THAT(log, HasSubstr("3 liveries read from AIG-regcodes\n"));
    // The reader leaves the plain file to its caller.
    EXPECT_TRUE(std::filesystem::exists(input / "AIG-regcodes.xml"));
}

TEST_F(RegcodesTest, XmlFileWithoutRootOrEntries) {
    writeFile(input / "AIG-regcodes.xml",
              std::string(header) + R"(<AIG-regcodes><livery title="A"/></AIG-regcodes>)");
    std::list<RegcodeLivery> entries;
    EXPECT_TRUE(gf_readRegcodesXml(entries));
    EXPECT_THAT(entries, ElementsAre(RegcodeLivery{"A", {}, false}));
    EXPECT_THAT(logText(), HasSubstr("1 livery read from AIG-regcodes\n"));

    writeFile(input / "AIG-regcodes.xml", std::string("<root>") + header + "</root>");
    EXPECT_TRUE(gf_readRegcodesXml(entries));
    EXPECT_EQ(entries.size(), 1u);
}

TEST_F(RegcodesTest, XmlFileFailures) {
    std::list<RegcodeLivery> entries{{"kept", {}, false}};
    writeFile(input / "AIG-regcodes.xml", R"(<root><AIG-regcodes><livery title="A"/></AIG-regcodes></root>)");
    EXPECT_FALSE(gf_readRegcodesXml(entries));
    EXPECT_EQ(entries.size(), 1u);
    // A header without its simulator entry is no header for this file.
    writeFile(
        input / "AIG-regcodes.xml",
        R"(<root><meta><info name="copyright" value="c"/></meta><AIG-regcodes><livery title="A"/></AIG-regcodes></root>)");
    EXPECT_FALSE(gf_readRegcodesXml(entries));
    EXPECT_EQ(entries.size(), 1u);

    writeFile(input / "AIG-regcodes.xml", "<root><AIG-regcodes>");
    EXPECT_FALSE(gf_readRegcodesXml(entries));
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(input / "AIG-regcodes.xml"));
    EXPECT_THAT(logText(), HasSubstr("==> Failed to load " + (input / "AIG-regcodes.xml").string() + "\n"));
}

} // namespace
