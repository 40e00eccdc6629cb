#pragma once
// Helpers for the core tests: a temporary working folder and whole-file reads and writes.

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "platform/os/folders.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace testing_support {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A test that works in its own temporary working folder with the log open there; every global the
// core keeps is put back at the end.
class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        os::setWorkingFolder(folder.path());
        gf_resetCoreHooks();
        runControl.reset();
    }
    void TearDown() override {
        gf_resetLogForTests();
        gf_resetCoreHooks();
        runControl.reset();
        os::resetWorkingFolder();
    }
    void openLog() { gf_openLogFile(); }
    std::string logText() { return testing_support::logText(folder.path()); }

    TempFolder folder;
};

} // namespace testing_support
