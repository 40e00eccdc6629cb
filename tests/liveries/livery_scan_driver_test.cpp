// The livery scan driver over Community folders: LiveriesScanned.xml, the report files, the log, the
// folder ranks, the priority rule, tasks that outlive their wait, a stop, files that must not be read.

#include "livery_scan_support.h"

#include "tests/support/eventually.h"

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace livery_testing {
namespace {

class LiveryScanDriverTest : public LiveryScanTest {
protected:
    // The community path in a report line as "{C}".
    std::vector<std::string> reportWithMarks(std::string_view name) {
        std::vector<std::string> lines = reportLines(name);
        const std::string root = community.string();
        for (std::string& line : lines)
            for (std::size_t at; (at = line.find(root)) != std::string::npos;)
                line.replace(at, root.size(), "{C}");
        return lines;
    }
    // One package folder with one aircraft.cfg of one model and the given (title, airline) sections.
    fs::path writePackage(const std::string& name, const std::string& type,
                          const std::vector<std::pair<std::string, std::string>>& sections) {
        std::vector<std::string> lines{"[GENERAL]", "icao_type_designator = " + type};
        for (std::size_t i = 0; i < sections.size(); ++i) {
            lines.push_back("[fltsim." + std::to_string(i) + "]");
            lines.push_back("title = \"" + sections[i].first + "\"");
            lines.push_back("icao_airline = " + sections[i].second);
        }
        const fs::path package = community / name;
        community_tree::writeEncoded(package / "SimObjects/Airplanes" / (name + type) / "aircraft.cfg",
                                     community_tree::joinLines(lines), community_tree::Encoding::utf8);
        return package;
    }
    std::vector<std::string> scannedTitles() {
        lf_readScannedLiveries(gf_liveriesScannedPath());
        std::vector<std::string> titles;
        for (const LiveryData& l : scannedLiveries)
            titles.push_back(l.title);
        scannedLiveries.clear();
        return titles;
    }
    static constexpr std::array<std::string_view, 7> reportNames{
        "InvalidAirlineCodes.txt",     "InvalidAircraftCodes.txt",   "Fixes.txt",
        "InvalidAircraftCfgFiles.txt", "IncompleFltsimSections.txt", "AircraftCfgWithNoFltsimSection.txt",
        "AirlineModelConversions.txt"};
};

TEST_F(LiveryScanDriverTest, SampleCommunityGivesTheExpectedFilesAndTheSameBytesTwice) {
    community_tree::writeSampleCommunity(community);
    std::vector<fs::path> folders;
    lf_findAiPackageFolders(community, folders);
    ASSERT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);

    EXPECT_EQ(scannedXmlLiveries(),
              "  <liveries>\n"
              "    <liv airl=\"AUA\" type=\"B772\" title=\"Boeing 777-200ER Austrian Caf\xC3\xA9\" "
              "atcid=\"OE-LPA\" />\n"
              "    <liv airl=\"AUA\" type=\"B772\" title=\"Boeing 777-200ER Austrian Night ; remark\" />\n"
              "    <liv airl=\"BOX\" type=\"B77L\" cargo=\"true\" title=\"Boeing 777F AeroLogic\" "
              "atcid=\"D-AALA\" />\n"
              "    <liv airl=\"DLH\" type=\"A20N\" title=\"Airbus A320neo Lufthansa\" atcid=\"D-AINA\" />\n"
              "    <liv airl=\"DLH\" type=\"A320\" title=\"Airbus A320 Lufthansa FSLTL\" />\n"
              "    <liv airl=\"DLH\" type=\"B738\" title=\"B738WDLH Lufthansa\" />\n"
              "    <liv airl=\"EDW\" type=\"A320\" title=\"Airbus A320 Edelweiss\" atcid=\"HB-JJA\" />\n"
              "    <liv airl=\"GEC\" type=\"B77L\" cargo=\"true\" title=\"Boeing 777F Lufthansa Cargo\" "
              "atcid=\"D-ALFA\" />\n"
              "    <liv airl=\"PVT\" type=\"A20N\" title=\"Airbus A320neo Unknown\" />\n"
              "    <liv airl=\"PVT\" type=\"C172\" title=\"Cessna 172 white\" />\n"
              "    <liv airl=\"SWR\" type=\"A320\" title=\"Airbus A320 Swiss\" atcid=\"HB-JLT\" />\n"
              "    <liv airl=\"SWR\" type=\"B738\" title=\"B738W SWR Swiss\" />\n"
              "  </liveries>\n"
              "</root>\n");

    const std::string aig = "{C}/aig-aitraffic-oci/SimObjects/Airplanes/";
    const std::string ivao = "{C}/IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa";
    EXPECT_EQ(reportWithMarks("InvalidAirlineCodes.txt"),
              std::vector<std::string>{"XYZ          in " + aig + "FSXAI_A20N/AIRCRAFT.CFG [FLTSIM.1]"});
    EXPECT_EQ(reportWithMarks("InvalidAircraftCodes.txt"),
              std::vector<std::string>{
                  "ZZ99             in {C}/user-aitraffic/SimObjects/Airplanes/User_Unknown/aircraft.cfg"});
    EXPECT_EQ(reportWithMarks("Fixes.txt"),
              std::vector<std::string>{"Model fix: B77F found in " + aig +
                                       "FSXAI_B77L/aircraft.cfg changed into B77L"});
    EXPECT_EQ(report("InvalidAircraftCfgFiles.txt"), "");
    EXPECT_EQ(reportWithMarks("IncompleFltsimSections.txt"),
              (std::vector<std::string>{
                  ivao + " [FLTSIM.2] misses airlinecode in title: B738 DLH, and no regcode",
                  ivao + "/texture.KLM [FLTSIM.1] does not exist",
                  aig + "FSXAI_A20N/AIRCRAFT.CFG [FLTSIM.1] icao_airline is missing, or it has invalid info ",
                  aig + "FSXAI_A320_SWR [FLTSIM.2] title 'Airbus A320 Swiss' already exists",
                  "{C}/fsltl-traffic-base/SimObjects/Airplanes/FSLTL_A320 [FLTSIM.0] title 'Airbus A320 "
                  "Swiss' already exists",
                  "{C}/fsltl-traffic-base/SimObjects/Airplanes/FSLTL_A320 [FLTSIM.2] misses title",
                  "{C}/user-aitraffic/SimObjects/Airplanes/User_C172 [FLTSIM.1] title 'Boeing 777F Lufthansa "
                  "Cargo' "
                  "already exists",
                  "{C}/user-aitraffic/SimObjects/Airplanes/User_C172/aircraft.cfg [FLTSIM.0] icao_airline is "
                  "missing, "
                  "or it has invalid info ",
              }));
    EXPECT_EQ(reportWithMarks("AircraftCfgWithNoFltsimSection.txt"),
              std::vector<std::string>{"{C}/user-aitraffic/SimObjects/Airplanes/User_Empty/aircraft.cfg"});
    EXPECT_EQ(
        reportLines("AirlineModelConversions.txt"),
        std::vector<std::string>{fmt::format("{:80} D-AALA cargo false => true", "Boeing 777F AeroLogic")});

    const std::string c = community.string();
    for (const std::string& line :
         {"6 liveries found in " + c + "/aig-aitraffic-oci",
          "3 liveries found in " + c + "/fsltl-traffic-base", "2 liveries found in " + c + "/IVAO_MTL",
          "1 liverie found in " + c + "/user-aitraffic", std::string("12 in total"),
          "12 liveries in " + gf_liveriesScannedPath().string(), std::string("Errors:"),
          "8 incomplete [fltsim.x] sections, see " + gf_scanReportPath("IncompleFltsimSections.txt").string(),
          "1 invalid airline code, see " + gf_scanReportPath("InvalidAirlineCodes.txt").string(),
          "1 code fixes, see " + gf_scanReportPath("Fixes.txt").string(), std::string("Information:"),
          "1 empty aircraft.cfg files, see " +
              gf_scanReportPath("AircraftCfgWithNoFltsimSection.txt").string(),
          "1 liveries updated with real live data from dbase, see " +
              gf_scanReportPath("AirlineModelConversions.txt").string()})
        EXPECT_TRUE(logHas(line)) << line;

    // A second scan of the same tree gives the same bytes, whatever order the tasks finished in.
    std::map<std::string, std::string> first;
    first["xml"] = readFile(gf_liveriesScannedPath());
    for (const std::string_view name : reportNames)
        first[std::string(name)] = report(name);
    gf_setScanTaskLimit(1);
    ASSERT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);
    EXPECT_EQ(readFile(gf_liveriesScannedPath()), first["xml"]);
    for (const std::string_view name : reportNames)
        EXPECT_EQ(report(name), first[std::string(name)]) << name;
}

TEST_F(LiveryScanDriverTest, FolderListRanksAndSkips) {
    const fs::path a = writePackage("A", "A320", {{"A swiss", "SWR"}});
    const fs::path b = writePackage("B", "A320", {{"B swiss", "SWR"}, {"B edelweiss", "EDW"}});
    const fs::path file = community / "file.txt";
    community_tree::writePlain(file, "x");
    const fs::path missing = community / "missing";
    LIG_PRIORITIZE.value = true;
    ASSERT_EQ(lf_scanLiveryFolders({missing, a, file, fs::path(), b}), LiveryScanOutcome::complete);
    EXPECT_TRUE(logHas(missing.string() + " does not exist, skipped!"));
    EXPECT_TRUE(logHas(file.string() + " is not a folder name, skipped!"));
    EXPECT_TRUE(logHas("1 liverie found in " + a.string()));
    EXPECT_TRUE(logHas("2 liveries found in " + b.string()));
    EXPECT_TRUE(logHas("3 in total"));
    // A (rank 1) wins SWR/A320 over B (rank 2); B's EDW/A320 is only in B and stays.
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"B edelweiss", "A swiss"}));
}

TEST_F(LiveryScanDriverTest, SkipWordsInTheListedFolderAndBelowIt) {
    const auto cfg = [](const std::string& title) {
        return community_tree::joinLines({"[GENERAL]", "icao_type_designator = A320", "[fltsim.0]",
                                          "title = " + title, "icao_airline = SWR"});
    };
    using community_tree::Encoding;
    // A listed folder named after an airport: only its own aircraft.cfg is taken.
    const fs::path named = community / "lszh-airport-pack";
    community_tree::writeEncoded(named / "aircraft.cfg", cfg("Direct"), Encoding::utf8);
    community_tree::writeEncoded(named / "sub" / "aircraft.cfg", cfg("Below"), Encoding::utf8);
    // A package whose only file lies below a scenery folder; the skip words are case-sensitive.
    const fs::path scenery = community / "scenery-pack";
    community_tree::writeEncoded(scenery / "my-airport" / "aircraft.cfg", cfg("Scenery"), Encoding::utf8);
    const fs::path capital = community / "capital-pack";
    community_tree::writeEncoded(capital / "Airport" / "aircraft.cfg", cfg("Capital"), Encoding::utf8);

    LIG_PRIORITIZE.value = false;
    ASSERT_EQ(lf_scanLiveryFolders({named, scenery, capital}), LiveryScanOutcome::complete);
    EXPECT_TRUE(logHas("No liveries found in " + scenery.string()));
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"Capital", "Direct"}));
}

TEST_F(LiveryScanDriverTest, PriorityRuleOnAndOff) {
    const fs::path aig = writePackage("aig-aitraffic-oci", "A320", {{"AIG DLH A320", "DLH"}});
    writePackage("fsltl-traffic-base", "A320", {{"FSLTL DLH A320", "DLH"}});
    writePackage("fsltl-traffic-base", "A321", {{"FSLTL DLH A321", "DLH"}});
    const std::vector<fs::path> folders{aig, community / "fsltl-traffic-base"};
    for (const bool prioritize : {true, false}) {
        SCOPED_TRACE(prioritize);
        LIG_PRIORITIZE.value = prioritize;
        ASSERT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);
        const std::vector<std::string> both{"AIG DLH A320", "FSLTL DLH A320", "FSLTL DLH A321"};
        const std::vector<std::string> best{"AIG DLH A320", "FSLTL DLH A321"};
        EXPECT_EQ(scannedTitles(), prioritize ? best : both);
    }
}

TEST_F(LiveryScanDriverTest, TwelveFoldersRankTenFromTheTenth) {
    LIG_PRIORITIZE.value = true;
    // The early folders offer EDW/A320, the late ones (from `firstLate` on) SWR/B738: only the ranks
    // decide what stays. Ranks run 1..10 and stay 10 from the tenth folder on.
    const struct {
        int firstLate;
        std::vector<std::string> titles;
    } cases[] = {
        {10, {"Title 1", "Title 10", "Title 11", "Title 12"}}, // 10, 11 and 12 share rank 10
        {9, {"Title 1", "Title 9"}},                           // rank 9 beats rank 10
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstLate);
        fs::remove_all(community);
        std::vector<fs::path> folders;
        for (int i = 1; i <= 12; ++i) {
            const bool late = i >= c.firstLate;
            folders.push_back(writePackage("F" + std::to_string(i), late ? "B738" : "A320",
                                           {{"Title " + std::to_string(i), late ? "SWR" : "EDW"}}));
        }
        ASSERT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);
        EXPECT_EQ(scannedTitles(), c.titles);
    }
}

TEST_F(LiveryScanDriverTest, RegistrationDataCorrectsTheLiveries) {
    std::list<LiveryData> liveries{
        livery("EDW", "A320", "Wrong Swiss", "HB-JNA"), livery("SWR", "B77W", "Right", "HB-JNB"),
        livery("BOX", "B77L", "Not cargo", "D-AALA"), livery("XXX", "C172", "Small", "N1"),
        livery("SWR", "A320", "Unknown", "HB-QQQ")};
    const std::vector<std::string> lines = lf_applyRegistrationData(liveries);
    EXPECT_EQ(lines,
              (std::vector<std::string>{fmt::format("{:80} HB-JNA airl EDW => SWR", "Wrong Swiss"),
                                        fmt::format("{:80} HB-JNA model A320 => B77W", "Wrong Swiss"),
                                        fmt::format("{:80} D-AALA cargo false => true", "Not cargo")}));
    EXPECT_EQ(liveries.front().airl, "SWR");
    EXPECT_EQ(liveries.front().type, "B77W");
    EXPECT_EQ(std::next(liveries.begin(), 3)->airl, "XXX") << "a row without airline keeps the livery's";

    // The operator stands for the airline when it is an airline code; an operator given by name (as
    // older data files have it) leaves the record's airline.
    dbase.registrations["HB-OPC"] = RegRecord{"SWR", "A320", "EDW", false};
    dbase.registrations["HB-OPN"] = RegRecord{"SWR", "A320", "Edelweiss Air", false};
    std::list<LiveryData> operated{livery("SWR", "A320", "Operated", "HB-OPC"),
                                   livery("EDW", "A320", "Named", "HB-OPN")};
    EXPECT_EQ(lf_applyRegistrationData(operated),
              (std::vector<std::string>{fmt::format("{:80} HB-OPC airl SWR => EDW", "Operated"),
                                        fmt::format("{:80} HB-OPN airl EDW => SWR", "Named")}));
}

// Files that are not ordinary files or are too big are listed and not read; a folder link back into the
// tree is walked no second time, and a dangling link (to a folder or a file) is passed over.
TEST_F(LiveryScanDriverTest, FilesThatMustNotBeReadAreListed) {
    const fs::path package = writePackage("user-aitraffic", "A320", {{"Good", "SWR"}});
    const fs::path planes = package / "SimObjects/Airplanes";
    fs::create_directories(planes / "Fifo");
    ASSERT_EQ(mkfifo((planes / "Fifo/aircraft.cfg").c_str(), 0600), 0);
    fs::create_directories(planes / "Linked");
    fs::create_symlink(planes / "Fifo/aircraft.cfg", planes / "Linked/aircraft.cfg");
    fs::create_directories(planes / "Big");
    {
        std::ofstream big(planes / "Big/aircraft.cfg", std::ios::binary);
        big << "[fltsim.0]\ntitle = Big\n";
        big.seekp(static_cast<std::streamoff>(gf_maxAircraftCfgBytes));
        big << "x";
    }
    fs::create_directory_symlink(planes, planes / "Loop");
    fs::create_directory_symlink(planes / "Nowhere", planes / "Dangling");
    // A file link to nothing is passed over without a line.
    fs::create_directories(planes / "Broken");
    fs::create_symlink(planes / "Nowhere/aircraft.cfg", planes / "Broken/aircraft.cfg");

    ASSERT_EQ(lf_scanLiveryFolders({package}), LiveryScanOutcome::complete);
    EXPECT_EQ(scannedTitles(), std::vector<std::string>{"Good"});
    EXPECT_EQ(reportLines("InvalidAircraftCfgFiles.txt"),
              (std::vector<std::string>{
                  (planes / "Big/aircraft.cfg").string() + " is larger than 16 MiB, not read",
                  (planes / "Fifo/aircraft.cfg").string() + " is not a regular file, not read",
                  (planes / "Linked/aircraft.cfg").string() + " is not a regular file, not read"}));
}

// Packages linked into the folder (junctions on Windows) are walked like folders; a folder reached twice,
// through a second link or a link loop, is walked once.
TEST_F(LiveryScanDriverTest, LinkedPackagesAreWalkedOnceAndLoopsEnd) {
    const fs::path own = writePackage("user-aitraffic", "A320", {{"Own", "SWR"}});
    const fs::path elsewhere = folder / "Other drive";
    community_tree::writeEncoded(
        elsewhere / "linked-pkg/SimObjects/Airplanes/L/aircraft.cfg",
        community_tree::joinLines({"[GENERAL]", "icao_type_designator = B738", "[fltsim.0]", "title = Linked",
                                   "icao_airline = EDW"}),
        community_tree::Encoding::utf8);
    fs::create_directory_symlink(elsewhere / "linked-pkg", own / "Linked");
    fs::create_directory_symlink(elsewhere / "linked-pkg", own / "SimObjects/Again");
    fs::create_directory_symlink(own, own / "SimObjects/Airplanes/Loop");
    fs::create_directory_symlink(elsewhere, elsewhere / "linked-pkg/Up");

    ASSERT_EQ(lf_scanLiveryFolders({own}), LiveryScanOutcome::complete);
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"Linked", "Own"}));
    EXPECT_EQ(report("IncompleFltsimSections.txt"), "") << "a folder was walked twice";
}

// Tasks stuck on a slow file system hold every slot; a close ends the scan as a stop does.
TEST_F(LiveryScanDriverTest, ACloseEndsAScanWhoseTasksNeverFinish) {
    writeScannedFile({livery("SWR", "A320", "Previous")});
    const std::string previous = readFile(gf_liveriesScannedPath());
    for (const char* name : {"A", "B", "C", "D"})
        writePackage(name, "A320", {{std::string(name) + " title", "SWR"}});
    gf_setScanTaskLimit(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    liveryTaskProbe = [released](const fs::path&) { released.wait(); };

    auto outcome = std::make_shared<std::promise<LiveryScanOutcome>>();
    std::future<LiveryScanOutcome> scan = outcome->get_future();
    std::thread([outcome, root = community] { outcome->set_value(lf_scanLiveryFolders({root})); }).detach();
    ASSERT_TRUE(testing_support::eventually(
        [] { return gf_runningScanTasks.load() == 2 && gf_taskSlotWaits.load() > 0; }));
    gf_requestStop(StopReason::UserClosedSim, 0);
    const bool ended = scan.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    release.set_value();
    ASSERT_TRUE(ended) << "the scan went on waiting for a task slot";
    EXPECT_EQ(scan.get(), LiveryScanOutcome::stopped);
    EXPECT_EQ(readFile(gf_liveriesScannedPath()), previous);
    liveryTaskProbe = nullptr;
}

// A task that outlives its wait loses its liveries (inner or outer line); the others are kept. The task
// goes on after the scan and meets the next scan: nothing it touches is the driver's (checked under
// ThreadSanitizer). The same holds for a file held while the listing thread that found it decodes it.
TEST_F(LiveryScanDriverTest, TaskPastItsWaitLosesOnlyItsLiveries) {
    struct Case {
        std::int32_t limit;
        std::string line;
        bool onListingThread = false; // held in the decoding on the listing thread, not in a task
        int held = 1;                 // files held (2 with a limit of 2: every listing thread)
    };
    const std::map<std::string, std::vector<std::string>> titlesByModel{{"pkgA320", {"T A320 1", "T A320 2"}},
                                                                        {"pkgA321", {"T A321"}},
                                                                        {"pkgB738", {"T B738"}},
                                                                        {"pkgE195", {"T E195"}}};
    for (const Case& c :
         {Case{2, "==> liveries inner search aborted: Future wait timed out after 10 seconds"},
          Case{8, "==> liveries search aborted, futs outer, Future wait timed out after 10 seconds"},
          Case{2, "==> liveries inner search aborted: Future wait timed out after 10 seconds", true},
          Case{8, "==> liveries search aborted, futs outer, Future wait timed out after 10 seconds", true},
          Case{2, "==> liveries inner search aborted: Future wait timed out after 10 seconds", true, 2}}) {
        SCOPED_TRACE(testing::Message()
                     << c.limit << (c.onListingThread ? " listing thread" : " task") << " held " << c.held);
        fs::remove_all(community);
        for (const auto& [model, titles] : titlesByModel) {
            std::vector<std::pair<std::string, std::string>> sections;
            for (const std::string& title : titles)
                sections.emplace_back(title, "SWR");
            writePackage("pkg", model.substr(3), sections);
        }
        gf_setScanTaskLimit(c.limit);
        liveryTaskWait = std::chrono::milliseconds(50);
        // The first files started are held until the test lets them go.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        struct Held {
            std::mutex mutex;
            std::vector<fs::path> paths;
            std::atomic<int> decoded{0}; // files decoded on the listing threads
        };
        auto held = std::make_shared<Held>();
        const auto hold = [released, held, count = static_cast<std::size_t>(c.held)](const fs::path& path) {
            {
                std::lock_guard lock(held->mutex);
                if (held->paths.size() == count) return;
                held->paths.push_back(path);
            }
            released.wait();
        };
        if (c.onListingThread)
            liveryTaskBody = [hold, held](const ScanContext& context, std::int32_t rank,
                                          const fs::path& path) {
                hold(path);
                FileScan scan = lf_searchLiveriesinFile(context, rank, path);
                ++held->decoded;
                return scan;
            };
        else
            liveryTaskProbe = hold;

        ASSERT_EQ(lf_scanLiveryFolders({community / "pkg"}), LiveryScanOutcome::complete);
        EXPECT_TRUE(logHas(c.line));
        std::vector<std::string> kept;
        std::set<std::string> heldModels;
        {
            std::lock_guard lock(held->mutex);
            for (const fs::path& path : held->paths)
                heldModels.insert(path.parent_path().filename().string());
        }
        ASSERT_EQ(heldModels.size(), static_cast<std::size_t>(c.held));
        for (const auto& [model, titles] : titlesByModel)
            if (!heldModels.contains(model)) kept.insert(kept.end(), titles.begin(), titles.end());
        std::sort(kept.begin(), kept.end());
        std::vector<std::string> scanned = scannedTitles();
        std::sort(scanned.begin(), scanned.end());
        EXPECT_EQ(scanned, kept);

        // The held task runs on while the next scan starts.
        release.set_value();
        liveryTaskWait = std::chrono::milliseconds(10'000);
        ASSERT_EQ(lf_scanLiveryFolders({community / "pkg"}), LiveryScanOutcome::complete);
        EXPECT_EQ(scannedTitles().size(), 5u);
        EXPECT_TRUE(testing_support::eventually([] { return gf_runningScanTasks.load() == 0; }));
        // Work held on a listing thread is done before the files go.
        if (c.onListingThread) {
            EXPECT_TRUE(testing_support::eventually([&] { return held->decoded.load() == 8; }));
        }
        liveryTaskProbe = nullptr;
        liveryTaskBody = nullptr;
    }
}

TEST_F(LiveryScanDriverTest, StopDuringTheScanWritesNothingAndKeepsThePreviousFile) {
    writeScannedFile({livery("SWR", "A320", "Previous")});
    const std::string previous = readFile(gf_liveriesScannedPath());
    const fs::path a = writePackage("A", "A320", {{"A title", "SWR"}});
    const fs::path b = writePackage("B", "A320", {{"B title", "EDW"}});
    liveryTaskProbe = [](const fs::path&) { gf_requestStop(StopReason::NewSettings, 0); };
    EXPECT_EQ(lf_scanLiveryFolders({a, b}), LiveryScanOutcome::stopped);
    EXPECT_EQ(readFile(gf_liveriesScannedPath()), previous);
    EXPECT_FALSE(logHas("No liveries found in " + b.string())) << "B was not walked";
    EXPECT_FALSE(fs::exists(gf_scanReportPath("IncompleFltsimSections.txt")));
    EXPECT_TRUE(scannedLiveries.empty());
}

} // namespace
} // namespace livery_testing
