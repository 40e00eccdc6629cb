#pragma once
// A temporary working folder with its log and per-user folder, the airports table and the database
// filled for the scenery scan, a simulator package folder "sim" with Official and Community, and
// helpers to lay out scenery trees.

#include "bgl_writer.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/scan_tasks.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/refdata.h"
#include "scan/airport_files.h"
#include "scan/airport_scan.h"
#include "scan/scan_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class ScanTest : public ::testing::Test {
public:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir = std::filesystem::temp_directory_path() /
              ("skyloom-scan-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "user");
        std::filesystem::create_directories(dir / "sim" / "Official");
        std::filesystem::create_directories(dir / "sim" / "Community");
        previousCwd = std::filesystem::current_path();
        ASSERT_TRUE(os::enterWorkingFolder(dir));
        gf_setUserFolder(dir / "user");
        resetAll();
        gf_openLogFile();
        gf_coreHooks().simulatorIs2020 = [this] { return is2020; };
        gf_scanHooks().inInstallPath = [this](const std::filesystem::path& relative) {
            return dir / "sim" / relative;
        };
        SCAN_AIRPORTS.value = true;

        for (const char* code : {"LSZH", "LOWW", "EDDF", "KMCI", "LSGG", "EHAM"}) {
            airportTable.records.push_back(Airport{code, "", 47.0, 8.0, 1000.0, 0});
            airportTable.codes.insert(code);
        }
        airportTable.loaded = true;
        dbase.publisherLists = {{"FlyTampa", "Fly Tampa"}, {"TropicalSim"}, {"Big Old Airports"}, {"Orbx"}};
        dbase.simaddons20 = {"LSGG", "EHAM"};
        dbase.thirdparties20 = {
            {"FlyTampa", {"LSZH40"}}, {"Big Old Airports", {"LOWW5"}}, {"Orbx", {"EDDF2"}}};
        dbase.thirdparties24 = dbase.thirdparties20;
    }

    void TearDown() override {
        gf_resetLogForTests();
        resetAll();
        gf_setUserFolder({});
        std::filesystem::current_path(previousCwd);
        os::resetWorkingFolder();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    static void resetAll() {
        gf_resetSettingsForTests();
        gf_resetRefdata();
        gf_resetScanState();
        gf_resetCoreHooks();
        gf_resetScanTasks();
        runControl.reset();
    }

    // The parking entries g1..gN around 47/8.
    static std::vector<bglw::Parking> gates(int n) {
        std::vector<bglw::Parking> list;
        for (int i = 1; i <= n; ++i) {
            bglw::Parking p;
            p.number = static_cast<std::uint32_t>(i);
            p.lat = 47.0 + i * 0.0005;
            p.lon = 8.0;
            list.push_back(p);
        }
        return list;
    }
    static bglw::Bytes airportFile(const std::string& code, int stands) {
        std::vector<bglw::Bytes> subs;
        if (stands > 0) subs.push_back(bglw::parkingList(gates(stands)));
        return bglw::file({bglw::Section{3, 0, {bglw::airport(code, 400000, subs)}}});
    }
    // A BGL file below the simulator folder.
    std::filesystem::path bgl(const std::string& relative, const bglw::Bytes& bytes) {
        const std::filesystem::path path = dir / "sim" / relative;
        bglw::save(path, bytes);
        return path;
    }
    std::filesystem::path text(const std::filesystem::path& relative, const std::string& content) {
        const std::filesystem::path path = relative.is_absolute() ? relative : dir / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
        return path;
    }
    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream t;
        t << in.rdbuf();
        return t.str();
    }
    std::string scanLog() const { return read(dir / "output" / "info" / "AirportsScanLog.txt"); }
    std::string logText() const {
        gf_logFlush();
        return read(dir / "Log.txt");
    }
    // The file names in a folder below the working folder, sorted.
    std::vector<std::string> filesIn(const std::filesystem::path& relative) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir / relative, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path dir;
    std::filesystem::path previousCwd;
    bool is2020 = true;
};
