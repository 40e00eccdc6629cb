// LiveriesScanned.xml: the record's equality, writing and reading back, and the read errors.

#include "livery_test_support.h"

#include "core/version.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace livery_testing {
namespace {

using LiveryFileTest = LiveryTest;

TEST(LiveryDataTest, EqualityIgnoresPriorityOnly) {
    LiveryData a = livery("BAW", "A320", "British Airways A320", "G-EUUA");
    LiveryData b = a;
    b.priority = 7;
    EXPECT_EQ(a, b);
    for (const auto& change : std::vector<std::function<void(LiveryData&)>>{
             [](LiveryData& l) { l.cargo = true; }, [](LiveryData& l) { l.atcid.clear(); },
             [](LiveryData& l) { l.title += " "; }, [](LiveryData& l) { l.airl = "BA"; },
             [](LiveryData& l) { l.type = "A321"; }}) {
        LiveryData c = a;
        change(c);
        EXPECT_NE(a, c);
    }
}

// Enough records for the sort to run on several threads: texts that share long prefixes, texts longer
// than a key's prefix, empty ones, bytes above 127 and equal records (ties keep the list's order, told
// apart by the priority). The order is std::list::sort's by airline, type and title.
TEST(LiverySortTest, SortIsStableAndOrdersAsTheTextsDoOnManyRecords) {
    const std::vector<std::string> airlines{"",
                                            "BAW",
                                            "BA",
                                            "BAWX123456",
                                            "BAWX12345",
                                            "\xc3\xa9"
                                            "AW",
                                            "ZZZ"};
    const std::vector<std::string> types{"A320", "A32", "B738", "B7380000X", "B7380000"};
    std::list<LiveryData> liveries;
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % range;
    };
    for (std::int32_t i = 0; i < 40'000; ++i) {
        LiveryData record = livery(airlines[next(airlines.size())], types[next(types.size())],
                                   "Livery title with a long common prefix " + std::to_string(next(3000)));
        record.priority = i;
        liveries.push_back(std::move(record));
    }
    std::list<LiveryData> expected = liveries;
    expected.sort(gf_liveryLess);
    std::list<LiveryData> bySort = liveries;
    gf_sortLiveries(bySort);
    std::vector<LiverySortKey> keys = gf_sortKeysOf(liveries);
    gf_sortLiveryKeys(keys);
    ASSERT_EQ(keys.size(), expected.size());
    auto want = expected.begin();
    auto sorted = bySort.begin();
    for (const LiverySortKey& key : keys) {
        ASSERT_EQ(key.livery->priority, want->priority);
        ASSERT_EQ(sorted->priority, want->priority);
        ++want;
        ++sorted;
    }
}

TEST_F(LiveryFileTest, RoundTripKeepsEveryFieldAndWritesOptionalAttributesOnlyWhenSet) {
    writeScannedFile({livery("BAW", "A320", "BA 1", "G-EUUA"),
                      livery("DHL", "B752", "DHL freighter", "", true),
                      livery("ZZZ", "C172", "Cessna & <white>")});
    const std::string text = readFile(gf_liveriesScannedPath());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(text.find("<liv airl=\"BAW\" type=\"A320\" title=\"BA 1\" atcid=\"G-EUUA\" />"),
              std::string::npos);
    EXPECT_NE(text.find("<liv airl=\"DHL\" type=\"B752\" cargo=\"true\" title=\"DHL freighter\" />"),
              std::string::npos);
    EXPECT_NE(text.find("<liv airl=\"ZZZ\" type=\"C172\" title=\"Cessna &amp; &lt;white>\" />"),
              std::string::npos);
    EXPECT_TRUE(logHas(fmt::format("3 liveries in {}", gf_liveriesScannedPath().string())));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(gf_liveriesScannedPath().c_str()));
    const std::optional<MetaData> meta = gf_readMetaData(doc);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->version, gf_programVersion.toString());

    lf_readScannedLiveries(gf_liveriesScannedPath());
    const std::list<LiveryData> expected{livery("BAW", "A320", "BA 1", "G-EUUA"),
                                         livery("DHL", "B752", "DHL freighter", "", true),
                                         livery("ZZZ", "C172", "Cessna & <white>")};
    EXPECT_EQ(scannedLiveries, expected);
    for (const LiveryData& l : scannedLiveries)
        EXPECT_EQ(l.priority, 0);
    EXPECT_TRUE(logHas(fmt::format("3 liveries read from {}", gf_liveriesScannedPath().string())));
}

// The livery lines are written without building nodes: the file must be what the XML library would
// write for the same document, for every character a title may hold.
TEST_F(LiveryFileTest, FileIsWhatTheXmlLibraryWrites) {
    std::string every;
    for (int c = 1; c < 256; ++c)
        every += static_cast<char>(c);
    const std::list<LiveryData> liveries{livery("A&B", "<T>", every, "\"quoted\" 'reg'", true),
                                         livery("", "", "title\r\nwith\tbreaks"),
                                         livery("SWR", "A320", std::string("cut\0after", 9), "HB-JLT")};
    scannedLiveries = liveries;
    ASSERT_TRUE(lf_writeScannedLiveries(gf_liveriesScannedPath()));

    pugi::xml_document doc;
    MetaData meta;
    meta.version = gf_programVersion.toString();
    meta.setSim(1);
    gf_writeMetaData(doc, meta);
    pugi::xml_node list = doc.child("root").append_child("liveries");
    for (const LiveryData& l : liveries) {
        pugi::xml_node liv = list.append_child("liv");
        liv.append_attribute("airl").set_value(l.airl.c_str());
        liv.append_attribute("type").set_value(l.type.c_str());
        if (l.cargo) liv.append_attribute("cargo").set_value("true");
        liv.append_attribute("title").set_value(l.title.c_str());
        if (!l.atcid.empty()) liv.append_attribute("atcid").set_value(l.atcid.c_str());
    }
    const fs::path oracle = folder / "oracle.xml";
    ASSERT_TRUE(gf_prependXmlDeclaration(doc, oracle));
    EXPECT_EQ(readFile(gf_liveriesScannedPath()), readFile(oracle));
}

// The file's text is laid out from the line sizes the keys hold: a record changed after its key was made
// (longer, shorter, with a character to escape) must still be written whole, and nothing else.
TEST_F(LiveryFileTest, RecordsChangedAfterTheirKeysAreWrittenWhole) {
    std::list<LiveryData> liveries{livery("BAW", "A320", "BA 1"), livery("DLH", "A321", "LH 2", "D-AIRA"),
                                   livery("SWR", "A320", "LX 3")};
    std::vector<LiverySortKey> keys = gf_sortKeysOf(liveries);
    for (LiverySortKey& key : keys)
        key.lineBytes = gf_liveryLineBytes(*key.livery);
    liveries.front().title = "BA 1 with a much longer title & <more>";
    std::next(liveries.begin())->atcid.clear();
    liveries.back().cargo = true;
    ASSERT_TRUE(lf_writeLiveriesInOrder(gf_liveriesScannedPath(), keys));
    const auto liveriesOf = [](const std::string& text) { return text.substr(text.find("  <liveries>")); };
    const std::string byKeys = liveriesOf(readFile(gf_liveriesScannedPath()));
    scannedLiveries = liveries;
    ASSERT_TRUE(lf_writeScannedLiveries(gf_liveriesScannedPath()));
    EXPECT_EQ(byKeys, liveriesOf(readFile(gf_liveriesScannedPath())));
    EXPECT_NE(byKeys.find("title=\"BA 1 with a much longer title &amp; &lt;more>\" />"), std::string::npos);
}

TEST_F(LiveryFileTest, EmptyListWritesNoFile) {
    EXPECT_TRUE(lf_writeScannedLiveries(gf_liveriesScannedPath()));
    EXPECT_FALSE(fs::exists(gf_liveriesScannedPath()));
}

TEST_F(LiveryFileTest, FailedSaveIsLoggedAsErrorAndReported) {
    // The output folder is a file, so nothing can be saved below it.
    const fs::path path = folder / "blocked" / "LiveriesScanned.xml";
    writeFile(folder / "blocked", "not a folder");
    scannedLiveries = {livery("BAW", "A320", "BA 1")};
    EXPECT_FALSE(lf_writeScannedLiveries(path));
    EXPECT_TRUE(logHas("==> Could not save 1 liveries in " + path.string()));
    EXPECT_FALSE(logHas("1 liveries in " + path.string()));
}

TEST_F(LiveryFileTest, ReadSortsAcceptsAnyElementNameAndConvertsCargo) {
    writeFile(gf_liveriesScannedPath(), R"(<?xml version="1.0"?>
<root><liveries>
  <liv airl="KLM" type="B738" title="b" cargo="yes"/>
  <livery airl="KLM" type="B738" title="a" cargo="1" atcid="PH-BXA"/>
  <x airl="AAL" type="A321" title="z" cargo="false"/>
  <liv airl="" type="B738" title=""/>
</liveries></root>)");
    lf_readScannedLiveries(gf_liveriesScannedPath());
    const std::list<LiveryData> expected{livery("", "B738", ""), livery("AAL", "A321", "z"),
                                         livery("KLM", "B738", "a", "PH-BXA", true),
                                         livery("KLM", "B738", "b", "", true)};
    EXPECT_EQ(scannedLiveries, expected);
}

TEST_F(LiveryFileTest, ReadErrorsCarryTheirCodesAndTexts) {
    const fs::path path = gf_liveriesScannedPath();
    const std::string p = path.string();
    struct Case {
        const char* content; // nullptr: no file
        std::string message;
        std::size_t keptRecords;
    };
    const std::vector<Case> cases{
        {nullptr, "51: File " + p + " not found", 0},
        {"<root><liveries>", "51: File " + p + " not found", 0},
        {"<root><other/></root>", "52: " + p + " does not contain a <liveries> section", 0},
        {"<root><liveries/></root>", "533: " + p + " does not contain liveries", 0},
        {"<top><liveries><liv airl='A' type='B' title='C'/></liveries></top>",
         "533: " + p + " does not contain liveries", 0},
        {"<root><liveries><liv airl='A' type='B' title='C'/><liv airl='A' title='D'/></liveries></root>",
         "999: Missing required attribute 'type' in <liv>", 1},
        {"<root><liveries><item type='B' title='D'/></liveries></root>",
         "999: Missing required attribute 'airl' in <item>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove(path);
        if (c.content) writeFile(path, c.content);
        scannedLiveries = {livery("OLD", "A320", "left over")};
        try {
            lf_readScannedLiveries(path);
            ADD_FAILURE() << "no exception";
        } catch (const orv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(scannedLiveries.size(), c.keptRecords);
    }
}

} // namespace
} // namespace livery_testing
