#include "scan_fixture.h"

#include "scan/publishers.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class Publishers : public ScanTest {
protected:
    std::string lines() {
        std::string text;
        for (const auto& line : gf_scanLogCopy())
            text += line + "\n";
        return text;
    }
};

TEST_F(Publishers, FromPathListsAndManifest) {
    struct Case {
        std::string bgl;                                            // below sim/
        std::vector<std::pair<std::string, std::string>> manifests; // below sim/, content
        std::string publisher;
        std::string line; // a line the search logs
    };
    const std::string fromMaker = R"({"manufacturer": "FlyTampa Studios", "creator": "Orbx"})";
    const std::vector<Case> cases{
        {"Official/OneStore/Microsoft-Airport-EHAM/scenery/a/x.bgl",
         {{"Official/OneStore/Microsoft-Airport-EHAM/manifest.json", fromMaker}},
         "simaddon",
         "from filename => publisher simaddon"},
        {"Community/orbx-lszh/scenery/a/x.bgl",
         {{"Community/orbx-lszh/manifest.json", fromMaker}},
         "Orbx",
         "publisher 'Orbx' found"},
        {"Community/p1/scenery/a/x.bgl",
         {{"Community/p1/manifest.json", fromMaker}},
         "FlyTampa",
         "from manifest.json: manufacturer 'FlyTampa Studios' => publisher 'FlyTampa'"},
        {"Community/p2/scenery/a/x.bgl",
         {{"Community/p2/manifest.json", R"({"manufacturer": "Nobody", "creator": "Big Old Airports Ltd"})"}},
         "Big Old Airports",
         "from manifest.json: creator 'Big Old Airports Ltd' => publisher 'Big Old Airports'"},
        {"Community/p3/scenery/a/x.bgl",
         {{"Community/p3/manifest.json", R"({"creator": "TropicalSim"})"}},
         "TropicalSim",
         "creator 'TropicalSim'"},
        {"Community/p4/scenery/a/x.bgl",
         {{"Community/p4/manifest.json", R"({"manufacturer": "Nobody", "creator": null})"}},
         "",
         "no valid info found in manifest about publisher, manufacturer:'Nobody', creator:''"},
        {"Community/p5/scenery/a/x.bgl",
         {{"Community/p5/manifest.json", R"({"manufacturer": 5})"}},
         "",
         "exception in gf_searchManifest: [json.exception.type_error.302] type must be string, but is "
         "number"},
        {"Community/p6/scenery/a/x.bgl",
         {{"Community/p6/manifest.json", "\xEF\xBB\xBF{\r\n \"manufacturer\":\r\n \"Orbx\"\r\n}\r\n"}},
         "Orbx",
         "manufacturer 'Orbx'"},
        // Outside Community the search goes upwards through every parent.
        {"Addons/p7/scenery/deep/er/x.bgl",
         {{"Addons/p7/manifest.json", fromMaker}},
         "FlyTampa",
         "manifest.json found"},
        // Nothing anywhere: the walk ends at the root.
        {"Addons/p8/x.bgl", {}, "", "===> No publisher found"},
        {"Community/p9/scenery/a/x.bgl",
         {{"Community/p9/manifest.json",
           R"({"manufacturer": "Orbx", "x": ")" + std::string(1100000, 'x') + "\"}"}},
         "",
         "===> No publisher found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bgl);
        {
            std::lock_guard lock(scanLogMutex);
            scanLogLines.clear();
        }
        for (const auto& [path, content] : c.manifests)
            text(dir / "sim" / path, content);
        const std::filesystem::path file = bgl(c.bgl, {});
        const PublisherInfo info = gf_findPublisher(file);
        EXPECT_EQ(info.publisher, c.publisher) << lines();
        EXPECT_THAT(lines(), HasSubstr(c.line));
    }
}

TEST_F(Publishers, ManifestOnlyDirectlyInsideAFolder) {
    text(dir / "a" / "b" / "manifest.json", "{}");
    text(dir / "a" / "manifest.txt", "{}");
    EXPECT_TRUE(gf_findManifestIn(dir / "a").empty());
    EXPECT_EQ(gf_findManifestIn(dir / "a" / "b"), dir / "a" / "b" / "manifest.json");
    EXPECT_TRUE(gf_findManifestIn(dir / "none").empty());
    // Only a regular file of exactly that name.
    text(dir / "c" / "Manifest.json", "{}");
    std::filesystem::create_directories(dir / "d" / "manifest.json");
    EXPECT_TRUE(gf_findManifestIn(dir / "c").empty());
    EXPECT_TRUE(gf_findManifestIn(dir / "d").empty());
    text(dir / "m.json", "[1, 2]");
    EXPECT_FALSE(gf_readManifest(dir / "m.json"));
    text(dir / "m.json", R"({"title": "LSZH Zurich"})");
    EXPECT_EQ(gf_readManifest(dir / "m.json")->title, "LSZH Zurich");
}

} // namespace
