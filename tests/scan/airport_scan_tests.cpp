// The scan as a whole: the files it leaves in airports/my_simaddon and airports/my_thirdparty, its
// scan log, the tblo collection, the walk and its tasks.

#include "scan_fixture.h"

#include "refdata/airport_files.h"
#include "scan/scan_writer.h"
#include "scan/tblo.h"
#include "tests/support/eventually.h"

#include <fmt/format.h>

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <thread>
#include <utility>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace fs = std::filesystem;

namespace {

const std::string flyTampa = R"({"manufacturer": "FlyTampa", "creator": "FlyTampa"})";

class AirportScan : public ScanTest {};

TEST_F(AirportScan, FilesAndLinksFromTheScan) {
    struct Case {
        std::string what;
        bool is2020;
        std::function<void(AirportScan&)> tree;
        std::vector<std::string> thirdparty;
        std::vector<std::string> simaddon;
        std::vector<std::string> lines; // in the scan log
        std::function<void(AirportScan&)> check;
    };
    const std::vector<Case> cases{
        {"publisher with blanks in the reference",
         true,
         [](AirportScan& t) {
             t.bgl("Community/loww-pkg/scenery/a/x.bgl", airportFile("LOWW", 3));
             t.text(t.dir / "sim/Community/loww-pkg/manifest.json",
                    R"({"manufacturer": "Big Old Airports"})");
         },
         {"LOWW.txt"},
         {},
         {"thirdparty airport LOWW linked to archive/thirdparty/Big%20Old%20Airports/LOWW.xml"},
         [](AirportScan& t) {
             EXPECT_EQ(read(t.dir / "airports/my_thirdparty/LOWW.txt"),
                       "archive/thirdparty/Big%20Old%20Airports/LOWW.xml\n");
         }},
        {"40 stands as archived: only the link",
         true,
         [](AirportScan& t) { t.bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 40)); },
         {"LSZH.txt"},
         {},
         {"thirdparty airport LSZH linked to archive/thirdparty/FlyTampa/LSZH.xml"},
         nullptr},
        {"41 stands: link and file",
         true,
         [](AirportScan& t) { t.bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 41)); },
         {"LSZH.txt"}, // the generated file went to tblo.zip
         {},
         {"===> LSZH has 41 parkpos while archived one has 40", "Generated LSZH.xml: 41 positions"},
         [](AirportScan& t) {
             const auto entries = gf_zipEntries(t.dir / "tblo/tblo.zip");
             ASSERT_TRUE(entries);
             EXPECT_THAT(*entries, ElementsAre(::testing::Key("LSZH.xml")));
         }},
        {"41 stands under 2024: only the link",
         false,
         [](AirportScan& t) { t.bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 41)); },
         {"LSZH.txt"},
         {},
         {"thirdparty airport LSZH linked"},
         nullptr},
        {"no publisher: file with the BGL path",
         true,
         [](AirportScan& t) {
             t.bgl("Community/unknown-pkg/scenery/a/x.bgl",
                   bglw::file({bglw::Section{
                       3,
                       0,
                       {bglw::airport("EDDF", 0,
                                      {bglw::helipad(47.3, 8.3, 20.0F), bglw::parkingList(gates(2))})}}}));
         },
         {"EDDF.xml"},
         {},
         {"===> No publisher found", "Generated EDDF.xml: 3 positions, of which 1 helipad"},
         [](AirportScan& t) {
             const std::string xml = read(t.dir / "airports/my_thirdparty/EDDF.xml");
             EXPECT_THAT(xml, HasSubstr("BGLpath"));
             EXPECT_THAT(xml, HasSubstr("unknown-pkg"));
             EXPECT_THAT(xml, Not(HasSubstr("nan")));
         }},
        {"simaddon in the archive and not",
         true,
         [](AirportScan& t) {
             t.bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", airportFile("LSGG", 4));
             t.bgl("Official/OneStore/microsoft-airport-kmci/scenery/x.bgl", airportFile("KMCI", 4));
         },
         {},
         {"KMCI.xml", "LSGG.txt"},
         {"simaddon airport LSGG linked to archive/simaddon/LSGG.xml", "KMCI does not exist as simaddon"},
         nullptr},
        {"not recognised: code from the stem, the title and the path",
         false,
         [](AirportScan& t) {
             const auto unknown =
                 bglw::file({bglw::Section{3, 0, {bglw::record(0x0113, bglw::Bytes(10, 0))}}});
             t.bgl("Community/flytampa-a/scenery/lszh.bgl", unknown);
             t.bgl("Community/b/scenery/x/y.bgl", unknown);
             t.text(t.dir / "sim/Community/b/manifest.json",
                    R"({"creator": "Orbx", "title": "EDDF Frankfurt"})");
             t.bgl("Community/c-loww-x/scenery/x/z.bgl", unknown);
             t.text(t.dir / "sim/Community/c-loww-x/manifest.json", R"({"creator": "Big Old Airports"})");
             t.bgl("Community/d/scenery/x/w.bgl", unknown);
         },
         {"EDDF.txt", "LOWW.txt", "LSZH.txt"},
         {},
         {"Non complyingairport has ICAO code 'LSZH' as BGL stem",
          "Non complying airport has ICAO 'EDDF' in title 'EDDF Frankfurt' of manifest",
          "Non complying airport has ICAO 'LOWW' in BGL path", "Non complying airport lost"},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        is2020 = c.is2020;
        c.tree(*this);
        gf_scanForAddonAirports();
        const std::string log = scanLog();
        EXPECT_THAT(filesIn("airports/my_thirdparty"), ::testing::ContainerEq(c.thirdparty)) << log;
        EXPECT_THAT(filesIn("airports/my_simaddon"), ::testing::ContainerEq(c.simaddon)) << log;
        for (const std::string& line : c.lines)
            EXPECT_THAT(log, HasSubstr(line));
        if (c.check) c.check(*this);
        EXPECT_FALSE(SCAN_AIRPORTS.value);
    }
}

TEST_F(AirportScan, TheWalkPassesOverSkippedPathsAndFilesWithoutAirports) {
    bgl("Community/pkg/scenery/A.BGL", airportFile("LSZH", 1));
    bgl("Community/pkg/Statics/b.bgl", airportFile("LOWW", 1));
    bgl("Community/pkg/statics/c.bgl", airportFile("EDDF", 1));
    bgl("Community/aig-aitraffic-pkg/d.bgl", airportFile("KMCI", 1));
    bgl("Community/pkg/scenery/none.bgl", bglw::file({bglw::Section{9, 0, {}}}));
    bgl("Community/pkg/scenery/e.txt", airportFile("EHAM", 1));
    bgl("Community/pkg/afcad updates/f.bgl", airportFile("EHAM", 1));
    bgl("Community/pkg/scenery/x_heliports/g.bgl", airportFile("EHAM", 1));
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("LOWW.xml", "LSZH.xml")) << scanLog();

    // A root whose own path holds a skip word yields nothing.
    TearDown();
    SetUp();
    gf_scanHooks().inInstallPath = [this](const fs::path& r) { return dir / "sim" / "aircraft" / r; };
    bgl("aircraft/Community/pkg/scenery/a.bgl", airportFile("LSZH", 1));
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_thirdparty"), IsEmpty());
    EXPECT_THAT(logText(), HasSubstr("Warning: Scan has not found any add-on airports"));
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    EXPECT_FALSE(fs::exists(dir / "tblo"));
}

// Airports linked into Community from another drive (junctions on Windows) are scanned; a folder reached
// twice, through a second link or a link loop, is walked once.
TEST_F(AirportScan, LinkedAirportsAreScannedOnceAndLoopsEnd) {
    std::atomic<int> decoded{0};
    gf_scanHooks().decodeFile = [&decoded](const fs::path& path) {
        ++decoded;
        return gf_decodeBglFile(path);
    };
    const fs::path elsewhere = dir / "other drive";
    bglw::save(elsewhere / "lszh-addon/scenery/x.bgl", airportFile("LSZH", 3));
    bgl("Community/unknown/scenery/y.bgl", airportFile("LOWW", 2));
    fs::create_directory_symlink(elsewhere / "lszh-addon", dir / "sim/Community/lszh-addon");
    fs::create_directory_symlink(elsewhere / "lszh-addon", dir / "sim/Community/unknown/again");
    fs::create_directory_symlink(dir / "sim/Community", dir / "sim/Community/unknown/scenery/loop");
    fs::create_directory_symlink(dir / "sim/nowhere", dir / "sim/Community/dangling");
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("LOWW.xml", "LSZH.xml")) << scanLog();
    EXPECT_EQ(decoded.load(), 2) << "a file was decoded twice";
}

TEST_F(AirportScan, RootsPerSimulator) {
    EXPECT_THAT(gf_airportScanRoots(), ElementsAre(dir / "sim/Official", dir / "sim/Community"));
    is2020 = false;
    EXPECT_THAT(gf_airportScanRoots(), ElementsAre(dir / "sim/Community"));
    EXPECT_TRUE(gf_isSkippedScanPath("/x/GSX-Pro/y"));
    EXPECT_TRUE(gf_isSkippedScanPath(std::string(250, 'a')));
    EXPECT_FALSE(gf_isSkippedScanPath(std::string(249, 'a')));
}

TEST_F(AirportScan, UsersOwnFilesSurviveTwoScans) {
    // The user's own airport file names its maker and has a link beside it: a collection that did not
    // tell the user's files from the program's would pack it and delete it.
    ApfRecord own;
    own.code = "LSZH";
    own.publisher = "FlyTampa";
    own.stands.emplace_back("g1", std::vector<ParkOpt>{}, 47.0, 8.0, 1.0, 20.0, false, false, false);
    ASSERT_TRUE(gf_writeApf(own, dir / "airports/my_thirdparty/LSZH.xml", apfAirportMode, 1));
    const std::string mine = read(dir / "airports/my_thirdparty/LSZH.xml");
    text("airports/my_thirdparty/LSZH.txt", "archive/thirdparty/FlyTampa/LSZH.xml\n");
    text("airports/my_thirdparty/NOTE.txt", "my notes\n");
    text("airports/my_simaddon/LSGG.txt", "airports/my_simaddon/LSGG_mine.xml\n");
    bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 41));
    bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", airportFile("LSGG", 4));
    bgl("Community/unknown/scenery/a/x.bgl", airportFile("EDDF", 2));
    for (int scan = 0; scan < 2; ++scan) {
        SCAN_AIRPORTS.value = true;
        gf_scanForAddonAirports();
        EXPECT_EQ(read(dir / "airports/my_thirdparty/LSZH.xml"), mine);
        EXPECT_EQ(read(dir / "airports/my_thirdparty/NOTE.txt"), "my notes\n");
        EXPECT_EQ(read(dir / "airports/my_simaddon/LSGG.txt"), "airports/my_simaddon/LSGG_mine.xml\n");
        EXPECT_THAT(filesIn("airports/my_thirdparty"),
                    ElementsAre("EDDF.xml", "LSZH.txt", "LSZH.xml", "NOTE.txt"));
        EXPECT_FALSE(fs::exists(dir / "tblo"));
        EXPECT_THAT(scanLog(), HasSubstr("LSZH is left alone"));
        EXPECT_THAT(scanLog(), HasSubstr("LSGG is left alone"));
    }
    // A program-made file the user edited is the user's from then on.
    text("airports/my_thirdparty/EDDF.xml", "<edited/>\n");
    gf_scanForAddonAirports();
    EXPECT_EQ(read(dir / "airports/my_thirdparty/EDDF.xml"), "<edited/>\n");
    EXPECT_THAT(logText(), HasSubstr("EDDF.xml is your own file: kept"));
}

TEST_F(AirportScan, Under2024MySimaddonKeepsItsFiles) {
    is2020 = false;
    text("airports/my_simaddon/EHAM.txt", "archive/simaddon/EHAM.xml\n");
    gf_scanMadeFiles().recordFromDisk(dir / "airports/my_simaddon/EHAM.txt");
    gf_scanMadeFiles().save();
    bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", airportFile("LSGG", 4)); // not a 2024 root
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_simaddon"), ElementsAre("EHAM.txt"));
}

TEST_F(AirportScan, AStopStartsNoFurtherTaskAndKeepsTheBoxTicked) {
    gf_setScanTaskLimit(1);
    std::atomic<int> decoded{0};
    gf_scanHooks().decodeFile = [&decoded](const fs::path& path) {
        ++decoded;
        runControl.stop = true;
        return gf_decodeBglFile(path);
    };
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    bgl("Community/unknown/scenery/b.bgl", airportFile("LOWW", 2));
    bgl("Community/unknown/scenery/c.bgl", airportFile("EDDF", 2));
    gf_scanForAddonAirports();
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(filesIn("airports/my_thirdparty").size(), 1u); // the started task was waited for
    EXPECT_TRUE(SCAN_AIRPORTS.value);
    EXPECT_TRUE(fs::exists(dir / "output/info/AirportsScanLog.txt"));
}

// Tasks stuck on a slow file system hold every slot: closing the window ends the scan at once, without
// waiting for them; the box stays ticked, so the next start scans again.
TEST_F(AirportScan, ACloseEndsAScanWhoseTasksNeverFinish) {
    gf_setScanTaskLimit(1);
    auto release = std::make_shared<std::atomic<bool>>(false);
    gf_scanHooks().decodeFile = [release](const fs::path& path) {
        while (!release->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return gf_decodeBglFile(path);
    };
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    bgl("Community/unknown/scenery/b.bgl", airportFile("LOWW", 2));
    bgl("Community/unknown/scenery/c.bgl", airportFile("EDDF", 2));
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> scan = ended->get_future();
    std::thread([ended] {
        gf_scanForAddonAirports();
        ended->set_value();
    }).detach();
    ASSERT_TRUE(testing_support::eventually(
        [] { return gf_runningScanTasks.load() == 1 && gf_taskSlotWaits.load() > 0; }));
    gf_requestStop(StopReason::UserClosedSim, 0);
    const bool closed = scan.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    release->store(true);
    scan.wait();
    EXPECT_TRUE(closed) << "the scan went on waiting for its tasks";
    EXPECT_TRUE(SCAN_AIRPORTS.value);
    EXPECT_THAT(filesIn("airports/my_thirdparty"), IsEmpty());
    EXPECT_TRUE(testing_support::eventually([] { return gf_runningScanTasks.load() == 0; }));
}

TEST_F(AirportScan, AThrowingTaskIsReportedAndTheScanLogWritten) {
    gf_scanHooks().decodeFile = [](const fs::path& path) -> BglDecodeResult {
        if (path.filename() == "bad.bgl") throw std::runtime_error("boom");
        return gf_decodeBglFile(path);
    };
    bgl("Community/unknown/scenery/bad.bgl", airportFile("LSZH", 2));
    bgl("Community/unknown/scenery/good.bgl", airportFile("LOWW", 2));
    gf_scanForAddonAirports();
    const std::string log = scanLog();
    EXPECT_TRUE(log.find("futs outer error: boom") != std::string::npos ||
                log.find("futs inner,\nboom") != std::string::npos)
        << log;
    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("LOWW.xml"));
    EXPECT_THAT(logText(), HasSubstr("Exception in lf_processBGLfile (std::ex)"));
}

TEST_F(AirportScan, ATaskThatOutlivesItsWaitWritesNothingLater) {
    scanTaskWaitMs = 1;
    std::atomic<bool> release{false};
    gf_scanHooks().decodeFile = [&release](const fs::path& path) {
        while (!release)
            std::this_thread::yield();
        return gf_decodeBglFile(path);
    };
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    gf_scanForAddonAirports();
    release = true;
    while (gf_runningScanTasks.load() != 0)
        std::this_thread::yield();
    EXPECT_THAT(scanLog(), HasSubstr("Future wait timed out after 10 seconds"));
    EXPECT_THAT(filesIn("airports/my_thirdparty"), IsEmpty());
}

TEST_F(AirportScan, SwitchingTheScanClearsTheEarlierSuccess) {
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    gf_scanForAddonAirports();
    EXPECT_TRUE(airportFilesChanged);
    fs::remove_all(dir / "sim/Community/unknown");
    gf_scanForAddonAirports();
    EXPECT_FALSE(airportFilesChanged);
    EXPECT_THAT(logText(), HasSubstr("Warning: Scan has not found any add-on airports"));
}

// ---- tblo -----------------------------------------------------------------------------------------

class Tblo : public ScanTest {};

TEST_F(Tblo, CollectsGeneratedFilesOfKnownMakersIntoTheZip) {
    // LSZH: FlyTampa, 41 stands (link and file); EDDF: no maker named; KMCI: TropicalSim; LOWW: a
    // maker named only in the manifest and no archive entry.
    bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 41));
    bgl("Community/unknown/scenery/a/x.bgl", airportFile("EDDF", 2));
    bgl("Community/tropicalsim-kmci/scenery/a/x.bgl", airportFile("KMCI", 3));
    bgl("Community/loww/scenery/a/x.bgl", airportFile("LOWW", 9));
    text(dir / "sim/Community/loww/manifest.json", R"({"manufacturer": "Vienna Scenery Works"})");
    gf_scanForAddonAirports();

    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("EDDF.xml", "LOWW.xml", "LSZH.txt"))
        << scanLog();
    EXPECT_THAT(filesIn("tblo"), ElementsAre("tblo.zip"));
    const auto entries = gf_zipEntries(dir / "tblo/tblo.zip");
    ASSERT_TRUE(entries);
    EXPECT_THAT(*entries, ElementsAre(::testing::Key("LOWW.xml"), ::testing::Key("LSZH.xml")));
    EXPECT_EQ(entries->at("LOWW.xml"), fs::file_size(dir / "airports/my_thirdparty/LOWW.xml"));
    EXPECT_EQ(tbloFileCount, 2u);
    EXPECT_TRUE(gf_tbloCollected());
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("\n! Mail " + (dir / "tblo/tblo.zip").string() + " to " +
                               std::string(makerContactAddress) + "\n"));
    EXPECT_THAT(log, HasSubstr("[zip] Added 2 files, ok_close=true, exists=true"));
}

TEST_F(Tblo, NothingCollectedMakesNoZip) {
    bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 40));
    bgl("Community/unknown/scenery/a/x.bgl", airportFile("EDDF", 2)); // no maker named
    gf_scanForAddonAirports();
    EXPECT_THAT(logText(),
                HasSubstr("All your third party airports are recognised, no off line learning needed."));
    EXPECT_FALSE(fs::exists(dir / "tblo"));
    EXPECT_EQ(tbloFileCount, 0u);
}

TEST_F(Tblo, KmciOfOneMakerIsDeletedAnotherMakersIsCollected) {
    for (const char* maker : {"TropicalSim", "Orbx"}) {
        SCOPED_TRACE(maker);
        TearDown();
        SetUp();
        bgl("Community/kmci/scenery/a/x.bgl", airportFile("KMCI", 3));
        text(dir / "sim/Community/kmci/manifest.json", std::string(R"({"manufacturer": ")") + maker + "\"}");
        gf_scanForAddonAirports();
        const bool tropical = std::string(maker) == "TropicalSim";
        EXPECT_EQ(fs::exists(dir / "airports/my_thirdparty/KMCI.xml"), !tropical);
        EXPECT_EQ(fs::exists(dir / "tblo/tblo.zip"), !tropical);
    }
}

TEST_F(Tblo, AFailedPackingKeepsTheCopiesAndTheOriginalsAndAsksForNoMail) {
    const fs::path original = dir / "airports/my_thirdparty/LSZH.xml";
    ApfRecord record;
    record.code = "LSZH";
    record.publisher = "FlyTampa";
    record.stands.emplace_back("g1", std::vector<ParkOpt>{}, 47.0, 8.0, 1.0, 20.0, false, false, false);
    ASSERT_TRUE(gf_writeApf(record, original, apfAirportMode, 1));
    gf_scanMadeFiles().recordFromDisk(original);
    gf_scanMadeFiles().writeAndRecord(dir / "airports/my_thirdparty/LSZH.txt",
                                      "archive/thirdparty/FlyTampa/LSZH.xml\n");
    // A folder in the zip's place: the archive cannot be written.
    fs::create_directories(dir / "tblo/tblo.zip/in-the-way");
    gf_collectTblo({"LSZH"});
    EXPECT_TRUE(fs::exists(dir / "tblo/LSZH.xml"));
    EXPECT_TRUE(fs::exists(original));
    EXPECT_EQ(tbloFileCount, 0u);
    EXPECT_TRUE(tbloPackingFailed);
    EXPECT_FALSE(gf_tbloCollected());
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("Zippen TBLO folder failed"));
    EXPECT_THAT(log, Not(HasSubstr("! Mail")));

    // Once the zip can be written and read back, the linked original goes.
    fs::remove_all(dir / "tblo/tblo.zip");
    gf_collectTblo({"LSZH"});
    EXPECT_FALSE(fs::exists(original));
    EXPECT_EQ(tbloFileCount, 1u);
    EXPECT_THAT(logText(), HasSubstr("! Mail"));
}

} // namespace

namespace {

// Two files of one airport are written one after the other, and a tree gives the same folders on
// every scan.
TEST_F(AirportScan, OneTreeGivesTheSameFoldersEveryTime) {
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 3));
    bgl("Community/unknown/scenery/b.bgl", airportFile("LSZH", 7));
    bgl("Community/flytampa-lszh2/scenery/c.bgl", airportFile("EDDF", 2));
    gf_scanForAddonAirports();
    const std::string first = read(dir / "airports/my_thirdparty/LSZH.xml");
    EXPECT_THAT(first, ::testing::AnyOf(HasSubstr("num_parkpos\" value=\"3\""),
                                        HasSubstr("num_parkpos\" value=\"7\"")));
    for (int scan = 0; scan < 3; ++scan) {
        gf_scanForAddonAirports();
        EXPECT_EQ(read(dir / "airports/my_thirdparty/LSZH.xml"), first);
        EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("EDDF.xml", "LSZH.xml"));
    }
}

TEST(ScanWriters, WritesOfOneKeyKeepTheirOrder) {
    gf_startScanWriters(4);
    std::mutex mutex;
    std::map<std::string, std::vector<int>> done;
    for (int i = 0; i < 200; ++i) {
        const std::string key = "K" + std::to_string(i % 5);
        gf_submitScanWrite(key, [&, key, i] {
            std::lock_guard lock(mutex);
            done[key].push_back(i);
        });
    }
    gf_finishScanWrites();
    ASSERT_EQ(done.size(), 5u);
    for (const auto& [key, order] : done) {
        EXPECT_EQ(order.size(), 40u);
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << key;
    }
    // Without writers a write runs at once.
    bool ran = false;
    gf_submitScanWrite("x", [&ran] { ran = true; });
    EXPECT_TRUE(ran);
}

// During a scan the files are written without waiting for the disk; the list of program-made files
// names a file only once it was synced, with the hash of what was written. A file that could not be
// synced is reported and stays unlisted; outside a scan a write is listed at once.
TEST_F(AirportScan, ScanFilesAreListedOnlyOnceSynced) {
    const fs::path folder = dir / "airports/my_thirdparty";
    fs::create_directories(folder);
    MadeFiles& made = gf_scanMadeFiles();
    gf_startScanWriters(2);
    ASSERT_TRUE(gf_writeScanFile(folder / "AAAA.txt", "archive/x\n"));
    ASSERT_TRUE(gf_writeScanFile(folder / "BBBB.txt", "archive/y\n"));
    EXPECT_EQ(made.state(folder / "AAAA.txt"), MadeFiles::State::notListed);
    fs::remove(folder / "BBBB.txt");
    gf_finishScanWrites();
    EXPECT_EQ(made.state(folder / "AAAA.txt"), MadeFiles::State::unchanged);
    EXPECT_EQ(made.entries().count("my_thirdparty/BBBB.txt"), 0u);
    EXPECT_THAT(gf_scanLogCopy(),
                ::testing::Contains("===> Writing " + (folder / "BBBB.txt").string() + " did not succeed"));

    ASSERT_TRUE(gf_writeScanFile(folder / "CCCC.txt", "archive/z\n"));
    EXPECT_EQ(made.state(folder / "CCCC.txt"), MadeFiles::State::unchanged);

    // What a whole scan leaves on disk: the list names its files as they are.
    bgl("Community/unknown/scenery/a/x.bgl", airportFile("EDDF", 2));
    bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 40));
    gf_scanForAddonAirports();
    MadeFiles onDisk(dir / "airports");
    ASSERT_TRUE(onDisk.load());
    EXPECT_EQ(onDisk.state(folder / "EDDF.xml"), MadeFiles::State::unchanged);
    EXPECT_EQ(onDisk.state(folder / "LSZH.txt"), MadeFiles::State::unchanged);
}

// The collection asks whether a generated file names a maker without reading it back: the answer from
// the record must be what the file gives.
TEST_F(AirportScan, PublisherOfARecordIsWhatItsFileGives) {
    struct Case {
        std::string publisher, manufacturer, creator;
    };
    const std::vector<Case> cases{
        {"FlyTampa", "", ""},
        {"", "Orbx", ""},
        {"", "Abc", "Orbx"},
        {"", "Abc", "Xyz"},
        {"", "asobo studio", ""},
        {"", "Asobo Studio", "Asobo"},
        {"", "", ""},
        {std::string("\0Fly", 4), "Orbx", "Orbx"},
        {"", std::string("Or\0bx", 5), std::string("Abcd\0", 5)},
        {"", " \t\r\n", ""},
    };
    const fs::path file = dir / "airports/my_thirdparty/LSZH.xml";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.publisher + "|" + c.manufacturer + "|" + c.creator);
        ApfRecord record;
        record.code = "LSZH";
        record.publisher = c.publisher;
        record.manufacturer = c.manufacturer;
        record.creator = c.creator;
        ASSERT_TRUE(gf_writeApf(record, file, apfAirportMode, 1));
        EXPECT_EQ(gf_recordHasPublisher(record), gf_apfHasPublisher(file));
    }
}

} // namespace

namespace {

// A file above 256 MiB gets a task (its header lists an airport section) but is not read.
TEST_F(AirportScan, AFileAbove256MiBIsSkippedWithALine) {
    const fs::path big = bgl("Community/unknown/scenery/big.bgl", airportFile("LSZH", 2));
    fs::resize_file(big, maxBglFileBytes + 1); // sparse
    EXPECT_TRUE(gf_hasAirportSection(big));
    const BglDecodeResult result = gf_decodeBglFile(big);
    EXPECT_TRUE(result.airports.empty());
    ASSERT_EQ(result.events.size(), 1u);
    EXPECT_THAT(result.events[0].note.text, HasSubstr("is larger than 256 MiB"));
}

// The walk reads a file with an airport whole with the open of its quick check. Files longer than the
// check's first read, a section table that runs past it, a link to a file, a file too large to be read
// and a folder of more airport files than the listing decodes ahead of the walk (one thread: the walk
// takes a folder once it is listed, and starts the tasks of those only noted) leave the airport files
// and the scan log that tasks reading every file themselves leave.
TEST_F(AirportScan, FilesReadByTheQuickCheckGiveWhatTasksReadingThemGive) {
    // The airport section's entry starts where the first read ends.
    std::vector<bglw::Section> sections(202, bglw::Section{9, 0, {}});
    sections.push_back(bglw::Section{3, 0, {bglw::airport("LOWW", 400000, {bglw::parkingList(gates(5))})}});
    const auto scan = [&] {
        gf_setScanTaskLimit(1);
        for (int i = 0; i < 12; ++i) {
            const std::string code = fmt::format("XB{:02}", i);
            airportTable.records.push_back(Airport{code, "", 47.0, 8.0, 1000.0, 0});
            airportTable.codes.insert(code);
            bgl(fmt::format("Community/many/scenery/{}.bgl", code), airportFile(code, 1 + i));
        }
        bgl("Community/big/scenery/a.bgl", airportFile("LSZH", 400));
        bgl("Community/table/scenery/b.bgl", bglw::file(sections));
        const fs::path outside = bgl("elsewhere/c.bgl", airportFile("EDDF", 3));
        fs::create_directories(dir / "sim/Community/linked/scenery");
        fs::create_symlink(outside, dir / "sim/Community/linked/scenery/c.bgl");
        fs::resize_file(bgl("Community/huge/scenery/d.bgl", airportFile("KMCI", 2)), maxBglFileBytes + 1);
        gf_scanForAddonAirports();
        std::map<std::string, std::string> files;
        for (const std::string& name : filesIn("airports/my_thirdparty"))
            files[name] = read(dir / "airports/my_thirdparty" / name);
        return std::pair(files, scanLog());
    };
    gf_scanHooks().decodeFile = [](const fs::path& path) { return gf_decodeBglFile(path); };
    const auto byTasks = scan();
    TearDown();
    SetUp();
    const auto byWalk = scan();
    EXPECT_EQ(byWalk.first, byTasks.first);
    EXPECT_EQ(byWalk.second, byTasks.second);
    EXPECT_THAT(byWalk.second, HasSubstr("Generated LSZH.xml: 400 positions"));
    EXPECT_THAT(byWalk.second, HasSubstr("Generated LOWW.xml: 5 positions"));
    EXPECT_THAT(byWalk.second, HasSubstr("Generated EDDF.xml: 3 positions"));
    EXPECT_THAT(byWalk.second, HasSubstr("is larger than 256 MiB"));
    EXPECT_THAT(byWalk.second, HasSubstr("Generated XB11.xml: 12 positions"));
}

// The quick check of a file on disk reads as far as its section table goes: an airport section at the
// end of a long table is found, one cut off by the file's end is not.
TEST_F(AirportScan, TheQuickCheckOfAFileReadsItsWholeSectionTable) {
    std::vector<bglw::Section> sections(300, bglw::Section{9, 0, {}});
    sections.push_back(bglw::Section{3, 0, {}});
    const bglw::Bytes bytes = bglw::file(sections);
    EXPECT_TRUE(gf_hasAirportSection(bgl("Community/unknown/scenery/long.bgl", bytes)));
    bglw::Bytes cut(bytes.begin(), bytes.begin() + 56 + 20 * 300 + 2);
    EXPECT_FALSE(gf_hasAirportSection(bgl("Community/unknown/scenery/cut.bgl", cut)));
    sections.pop_back();
    EXPECT_FALSE(gf_hasAirportSection(bgl("Community/unknown/scenery/none.bgl", bglw::file(sections))));
    EXPECT_FALSE(gf_hasAirportSection(dir / "sim/Community/unknown"));
}

} // namespace

// Stands are written in the byte order of their ids, also where ids share their first eight bytes,
// differ only in a byte above 127, or one is the other with a NUL or more after it.
TEST_F(AirportScan, StandsAreWrittenInTheByteOrderOfTheirIds) {
    std::vector<std::string> ids{
        "GATE A 10",  "GATE A 1", "GATE A 2",  "GATE A", "GATE B",  "GATE A 100", std::string("GATE A\0", 7),
        "\xC3\x84 1", "A",        "GATE A 1X", "",       "GATE  A", "Z 9"};
    gf_scanHooks().decodeFile = [ids](const fs::path&) {
        BglDecodeResult result;
        BglAirport airport;
        airport.code = "LSZH";
        for (std::size_t i = 0; i < ids.size(); ++i)
            airport.stands.push_back(BglStand{ids[i], 47.0 + 0.001 * static_cast<double>(i), 8.0, 0.0, 20.0});
        result.airports.push_back(airport);
        result.events.push_back(BglEvent{BglEvent::Kind::airport, {}, 0});
        return result;
    };
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    gf_scanForAddonAirports();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((dir / "airports" / "my_thirdparty" / "LSZH.xml").c_str()));
    std::vector<std::string> written;
    for (const auto stand : doc.child("root").child("parkpositions").children("parkpos"))
        written.emplace_back(stand.attribute("id").value());
    std::vector<std::string> expected = ids;
    std::sort(expected.begin(), expected.end());
    for (std::string& id : expected)
        id = id.substr(0, id.find('\0')); // an attribute ends at a NUL
    EXPECT_EQ(written, expected);
}
