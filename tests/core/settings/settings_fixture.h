#pragma once
// A temporary working folder with an open log and a per-user folder, and a fake window control.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "core/log.h"
#include "core/program_paths.h"
#include "core/restore_parameters.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"

namespace settings_test {

namespace fs = std::filesystem;

class FakeControl : public GuiControl {
public:
    void enable(bool on) override { enabled = on; }
    bool isEnabled() const override { return enabled; }
    void setChecked(bool on) override { checked = on; }
    void setText(const std::string& t) override { text = t; }
    void fillChoices(const std::vector<std::string>& e, std::optional<std::size_t> s) override {
        entries = e;
        selected = s;
    }
    void selectChoice(std::size_t index) override {
        selected = index;
        ++selectCalls;
    }

    bool enabled = true;
    std::optional<bool> checked;
    std::optional<std::string> text;
    std::vector<std::string> entries;
    std::optional<std::size_t> selected;
    int selectCalls = 0;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// <?xml ...?><root><parameters> + the given entries.
inline std::string parametersFile(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n" + entries +
           "  </parameters>\n</root>\n";
}

inline std::string entry(const std::string& key, const std::string& value) {
    return "    <parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
}

// The (name, value) pairs of the file, in file order.
inline std::vector<std::pair<std::string, std::string>> fileEntries(const fs::path& path) {
    pugi::xml_document doc;
    std::vector<std::pair<std::string, std::string>> list;
    if (!doc.load_file(path.c_str())) return list;
    auto section = doc.child("root").child("parameters");
    if (!section) section = doc.child("parameters");
    for (auto e : section.children("parameter"))
        list.emplace_back(e.attribute("name").as_string(), e.attribute("value").as_string());
    return list;
}

inline std::optional<std::string> fileValue(const fs::path& path, const std::string& key) {
    for (auto& [k, v] : fileEntries(path))
        if (k == key) return v;
    return std::nullopt;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        work = temp / "work";
        user = temp / "user";
        fs::create_directories(work);
        fs::create_directories(user);
        os::setWorkingFolder(work);
        gf_resetLogForTests();
        gf_openLogFile();
        gf_setUserFolder(user);
        gf_resetSettingsForTests();
        gf_resetRestoreHooks();
        runControl.reset();
    }

    void TearDown() override {
        gf_resetLogForTests();
        gf_setUserFolder({});
        gf_resetSettingsForTests();
        os::resetWorkingFolder();
    }

    fs::path file() const { return user / "parameters.xml"; }
    std::string logText() { return testing_support::logText(work); }

    testing_support::TempFolder tempFolder{"skyloom-settings"};
    const fs::path temp = tempFolder.path();
    fs::path work, user;
};

} // namespace settings_test
