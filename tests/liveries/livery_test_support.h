#pragma once
// Helpers for the livery catalogue tests: a temporary working folder with the log, the input folder of
// the data files and the per-user folder inside it, a small type database, and livery lists.

#include "tests/core/base/test_support.h"

#include "liveries/livery_catalogue.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"

#include "core/hooks.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/version.h"
#include "core/xml.h"

#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/refdata.h"
#include "refdata/regcodes.h"
#include "refdata/type_lookups.h"

#include "tools/datapack/datapack.h"

#include <pugixml.hpp>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace livery_testing {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::splitLines;
using testing_support::writeFile;

inline LiveryData livery(std::string airl, std::string type, std::string title, std::string atcid = {},
                         bool cargo = false) {
    return LiveryData{std::move(airl), std::move(type), std::move(title), std::move(atcid), 0, cargo};
}

// A window control that remembers what it was told.
class FakeControl : public GuiControl {
public:
    void enable(bool on) override { enabled = on; }
    bool isEnabled() const override { return enabled; }
    void setChecked(bool on) override { checked = on; }
    void setText(const std::string&) override {}
    void fillChoices(const std::vector<std::string>&, std::optional<std::size_t>) override {}
    void selectChoice(std::size_t) override {}

    bool enabled = true;
    bool checked = true;
};

// Writes input/AIG-regcodes.enc from (title, registrations separated by ",", special) rows.
struct AigRow {
    std::string title;
    std::string regs;
    bool special = false;
};

class LiveryTest : public testing_support::WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        gf_resetSettingsForTests();
        gf_setUserFolder(folder / "user");
        fs::create_directories(folder / "user");
        gf_resetRefdata();
        gf_resetLiveriesForTests();
        refdataInputFolder() = folder / "input";
        fs::create_directories(folder / "input");
        fs::create_directories(folder / "output" / "info");
        fs::create_directories(folder / "output" / "errors");
        gf_installLiveryCatalogueHooks();
        gf_coreHooks().randomEnabled = [] { return false; };
        openLog();
    }
    void TearDown() override {
        gf_resetLiveriesForTests();
        gf_resetRefdata();
        gf_resetSettingsForTests();
        gf_setUserFolder({});
        WorkingFolderTest::TearDown();
    }

    // The tables as the processing builds them, from the given liveries (sorted first), without a file.
    void buildTables(std::initializer_list<LiveryData> liveries) {
        scannedLiveries.assign(liveries.begin(), liveries.end());
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
    }

    void writeScannedFile(std::initializer_list<LiveryData> liveries) {
        scannedLiveries.assign(liveries.begin(), liveries.end());
        ASSERT_TRUE(lf_writeScannedLiveries(gf_liveriesScannedPath()));
        scannedLiveries.clear();
    }

    void writeAigFile(std::initializer_list<AigRow> rows) {
        pugi::xml_document doc;
        MetaData meta;
        meta.version = gf_programVersion.toString();
        meta.setSim(1);
        gf_writeMetaData(doc, meta);
        pugi::xml_node list = doc.child("root").append_child("AIG-regcodes");
        for (const AigRow& row : rows) {
            pugi::xml_node liv = list.append_child("livery");
            liv.append_attribute("title").set_value(row.title.c_str());
            liv.append_attribute("reg").set_value(row.regs.c_str());
            if (row.special) liv.append_attribute("special").set_value("true");
        }
        const fs::path plain = folder / "aig-plain.xml";
        ASSERT_TRUE(doc.save_file(plain.c_str()));
        datapack::encryptDataFile(plain, folder / "input" / "AIG-regcodes.enc");
    }

    std::vector<std::string> logLines() { return splitLines(logText()); }
    bool logHas(std::string_view line) {
        for (const std::string& l : logLines())
            if (l == line) return true;
        return false;
    }
};

} // namespace livery_testing
