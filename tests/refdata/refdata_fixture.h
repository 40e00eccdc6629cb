#pragma once
// A temporary working folder with its own Log.txt and input folder, so that each test sees only its
// own files and log lines.

#include "core/hooks.h"
#include "core/log.h"
#include "platform/os/folders.h"
#include "refdata/data_files.h"
#include "refdata/refdata.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"
#include "tools/datapack/datapack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class RefdataTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "input");
        previousCwd = std::filesystem::current_path();
        ASSERT_TRUE(os::enterWorkingFolder(dir));
        gf_resetRefdata();
        gf_coreHooks().randomEnabled = [] { return false; };
        gf_openLogFile();
        input = dir / "input";
        refdataInputFolder() = input;
    }

    void TearDown() override {
        gf_resetLogForTests();
        gf_resetRefdata();
        gf_resetCoreHooks();
        std::filesystem::current_path(previousCwd);
        os::resetWorkingFolder();
    }

    std::string logText() const { return testing_support::logText(dir); }

    static std::string readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void writeFile(const std::filesystem::path& path, const std::string& content) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }

    // Encrypts `plain` into input/<name> with the program's key.
    void packInput(const std::string& name, const std::string& plain,
                   const datapack::EncryptOptions& options = {}) {
        const std::filesystem::path source = dir / (name + ".plain");
        writeFile(source, plain);
        datapack::encryptDataFile(source, input / name, options);
        std::filesystem::remove(source);
    }

    testing_support::TempFolder tempFolder{"skyloom-refdata"};
    const std::filesystem::path dir = tempFolder.path();
    std::filesystem::path input;
    std::filesystem::path previousCwd;
};
