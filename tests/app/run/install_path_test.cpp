// Detection of the simulator's package folder in test trees of the XDG folders.

#include "app/install_path.h"
#include "run_fixture.h"

namespace fs = std::filesystem;

namespace {

class PackageFolderTest : public RunTest {
protected:
    fs::path roaming() const { return root / "config"; }
    fs::path local() const { return root / "local"; }

    // A package folder with Community and the official folder of the given name.
    fs::path makePackages(const std::string& name, const std::string& official = "Official") {
        const fs::path p = root / name;
        fs::create_directories(p / "Community");
        fs::create_directories(p / official);
        return p;
    }
    static void writeUserCfg(const fs::path& file, const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string cfgLine(const fs::path& packages) {
        return "Version 1\nInstalledPackagesPath \"" + packages.string() + "\"\n";
    }
};

TEST_F(PackageFolderTest, SteamTreeIsFoundFirst) {
    const fs::path steam = roaming() / "Microsoft Flight Simulator" / "Packages";
    fs::create_directories(steam / "Community");
    fs::create_directories(steam / "Official");
    writeUserCfg(roaming() / "Microsoft Flight Simulator" / "UserCfg.opt", cfgLine(makePackages("other")));
    EXPECT_EQ(gf_detectInstallPath(), steam);
    EXPECT_TRUE(logHas("Steam packages:" + steam.string()));
    EXPECT_FALSE(logHas("UserCfg.opt"));
}

TEST_F(PackageFolderTest, EachUserCfgPlaceIsFound) {
    const fs::path places[] = {
        local() / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
        roaming() / "Microsoft Flight Simulator" / "UserCfg.opt",
        local() / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
        local() / "MSFSPackages" / "UserCfg.opt",
    };
    const char* missing[] = {"MSFS detection, no Store:", "MSFS detection, no Steam1:",
                             "MSFS detection, no Steam2:", "MSFS detection, no Boxed:"};
    const fs::path packages = makePackages("packages");
    for (std::size_t i = 0; i < std::size(places); ++i) {
        SCOPED_TRACE(i);
        for (const auto& p : places)
            fs::remove(p);
        writeUserCfg(places[i], cfgLine(packages));
        const std::size_t before = logCount("MSFS detection, no ");
        EXPECT_EQ(gf_findUserCfgOpt(), places[i]);
        EXPECT_EQ(gf_detectInstallPath(), packages);
        EXPECT_TRUE(logHas("UserCfg.opt: InstalledPackagesPath=" + packages.string()));
        // Each place before the one found is logged as missing (twice: both calls above).
        EXPECT_EQ(logCount("MSFS detection, no ") - before, 2 * i);
        if (i > 0) {
            EXPECT_TRUE(logHas(missing[i - 1] + places[i - 1].string()));
        }
    }
}

TEST_F(PackageFolderTest, SteamTreeWithoutTheChosenOfficialFolderFallsBackToUserCfg) {
    SIM_CHOICE.setValue("MSFS 2024");
    simulatorIs2020 = false;
    const fs::path steam = roaming() / "Microsoft Flight Simulator 2024" / "Packages";
    fs::create_directories(steam / "Community");
    fs::create_directories(steam / "Official"); // the 2020 name only
    const fs::path packages = makePackages("packages2024", "Official2024");
    writeUserCfg(roaming() / "Microsoft Flight Simulator 2024" / "UserCfg.opt", cfgLine(packages));
    EXPECT_EQ(gf_detectInstallPath(), packages);
}

TEST_F(PackageFolderTest, NothingValidGivesAnEmptyPath) {
    EXPECT_TRUE(gf_detectInstallPath().empty());
    EXPECT_TRUE(logHas("No UserCfg.opt found?"));
    // A named folder that is not a package folder.
    writeUserCfg(local() / "MSFSPackages" / "UserCfg.opt", cfgLine(root / "nowhere"));
    EXPECT_TRUE(gf_detectInstallPath().empty());
}

TEST_F(PackageFolderTest, InstalledPackagesValueOfUserCfgLines) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"InstalledPackagesPath \"D:\\MSFS\\Packages\""}, "D:\\MSFS\\Packages"},
        {{"InstalledPackagesPath D:\\MSFS\\Packages"}, "InstalledPackagesPath D:\\MSFS\\Packages"},
        {{"InstalledPackagesPath \"\"   "}, ""},
        {{"InstalledPackagesPath \"D:\\open"}, ""},
        {{"  InstalledPackagesPath \""}, ""},
        {{"InstalledPackagesPath"}, "InstalledPackagesPath"},
        {{"Other \"x\"", "InstalledPackagesPath \"first\"", "InstalledPackagesPath \"second\""}, "first"},
        {{}, "???"},
    };
    for (const auto& [lines, expected] : cases)
        EXPECT_EQ(gf_installedPackagesValue(lines), expected);
}

TEST_F(PackageFolderTest, InInstallPathFollowsTheChosenSimulator) {
    EXPECT_EQ(gf_inInstallPath("Community"), fs::path("Community"));
    MSFS_INSTALL_PATH.setValue("/sim/2020");
    MSFS_2024_INSTALL_PATH.setValue("/sim/2024");
    EXPECT_EQ(gf_inInstallPath("Official"), fs::path("/sim/2020/Official"));
    simulatorIs2020 = false;
    EXPECT_EQ(gf_inInstallPath("Community"), fs::path("/sim/2024/Community"));
}

} // namespace
