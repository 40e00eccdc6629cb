#pragma once
// A working folder with airports/, a per-user folder for parameters.xml, fake controls on the parking
// settings and recording parking hooks, and small builders of airport and learned files.

#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/restore_parameters.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/xml.h"
#include "engine/base/stands.h"
#include "refdata/airport_files.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"
#include "refdata_fixture.h"

#include <fmt/format.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace parking_test {

namespace fs = std::filesystem;

class FakeControl : public GuiControl {
public:
    void enable(bool on) override { enabled = on; }
    bool isEnabled() const override { return enabled; }
    void setChecked(bool on) override { checked = on; }
    void setText(const std::string& t) override { text = t; }
    void fillChoices(const std::vector<std::string>&, std::optional<std::size_t> s) override { selected = s; }
    void selectChoice(std::size_t index) override { selected = index; }

    bool enabled = false;
    std::optional<bool> checked;
    std::optional<std::string> text;
    std::optional<std::size_t> selected;
};

using Params = std::vector<std::pair<std::string, std::string>>;

// <parameters> with the entries in order.
inline std::string parametersXml(const Params& params) {
    std::string text = "<parameters>";
    for (const auto& [name, value] : params)
        text += "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
    return text + "</parameters>";
}

// A whole parking file: meta of the version, the parameters, the given parkpos elements.
inline std::string apfXml(const Params& params, const std::string& stands,
                          const std::string& version = "12.0.0") {
    return "<?xml version=\"1.0\"?>\n<root><meta><info name=\"author\" value=\"Skyloom\"/><info "
           "name=\"version\" "
           "value=\"" +
           version +
           "\"/><info name=\"copyright\" value=\"Copyright Skyloom\"/><info name=\"sim\" "
           "value=\"1\"/></meta>" +
           parametersXml(params) + "<parkpositions>" + stands + "</parkpositions></root>\n";
}

// <parkpos id=.. latitude=.. longitude=.. + extra>opts</parkpos>
inline std::string standXml(const std::string& id, double lat, double lon, const std::string& extra = "",
                            const std::string& opts = "") {
    return fmt::format(
        R"(<parkpos id="{}" latitude="{:.6f}" longitude="{:.6f}" radius="20.0" {}>{}</parkpos>)", id, lat,
        lon, extra, opts);
}

class ParkingTest : public RefdataTest {
protected:
    void SetUp() override {
        RefdataTest::SetUp();
        user = dir / "user";
        fs::create_directories(user);
        fs::create_directories(dir / "airports" / "my_thirdparty");
        fs::create_directories(dir / "airports" / "my_simaddon");
        gf_setUserFolder(user);
        gf_resetSettingsForTests();
        gf_resetRestoreHooks();
        runControl.reset();
        savedParkingSettings = SavedParkingSettings{};
        for (auto& [part, control] : controls())
            part->attach(&control);
        auto& hooks = gf_parkingHooks();
        hooks.showStandCount = [this](std::uint64_t n) { standCount = n; };
        hooks.showAirportFile = [this](const std::string& p, bool h) {
            airportFileText = p;
            handmadeShown = h;
        };
        hooks.showQualityText = [this](const std::string& t) { qualityText = t; };
        hooks.setParkAirportElevation = [this](std::optional<double> e) { elevation = e; };
        hooks.fetchArchivedFile = [this](const std::string& serverPath, const fs::path& target) {
            fetched.push_back(serverPath);
            const auto it = server.find(serverPath);
            if (it == server.end()) {
                writeFile(target, "<root><partial");
                return false;
            }
            writeFile(target, it->second);
            return true;
        };
        parkAirportCode = "LSZH";
    }

    void TearDown() override {
        gf_resetSettingsForTests();
        gf_resetRestoreHooks();
        gf_setUserFolder({});
        savedParkingSettings = SavedParkingSettings{};
        RefdataTest::TearDown();
    }

    // Controls of the settings that the parking files change.
    std::map<ControlPart*, FakeControl>& controls() {
        if (controls_.empty())
            for (ControlPart* part : std::initializer_list<ControlPart*>{
                     &PARK_SOFT, &WEEK, &AUTO_RANGE, &INITIAL_LOAD_ONLY, &parking_percentage, &MAX_LIVE_SEL,
                     &MAX_FIT_FL, &RANGE, &AR_ABOVE_HEIGHT, &NOW_BUTTON, &FLUSH_STATIC_BUTTON})
                controls_[part];
        return controls_;
    }
    FakeControl& control(ControlPart& part) { return controls()[&part]; }

    void addAirport(const std::string& code, std::int32_t stands) {
        Airport a;
        a.code = code;
        a.lat = 47.0;
        a.lon = 8.0;
        a.stands = stands;
        airportTable.records.push_back(a);
        airportTable.codes.insert(code);
    }

    void writeAt(const fs::path& relative, const std::string& content) {
        fs::create_directories((dir / relative).parent_path());
        writeFile(dir / relative, content);
    }

    // Reads the park airport as the engine does: stands emptied, info emptied, the files read into a value
    // and installed by the park airport's owner.
    std::string read(const std::string& reference) {
        gf_clearParkPositions();
        parkAirportInfo = ParkAirportInfo{};
        return gf_loadParkStands(reference);
    }

    // The value of a key in parameters.xml, "" when missing.
    std::string fileValueOf(const std::string& key) const {
        pugi::xml_document doc;
        if (!doc.load_file((user / "parameters.xml").c_str())) return {};
        return gf_readStringParameter(doc, key).value_or("");
    }

    const ParkPos* stand(const std::string& id) const {
        for (const auto& s : parkPositions)
            if (s.id == id) return &s;
        return nullptr;
    }

    fs::path user;
    std::map<std::string, std::string> server; // server path -> content
    std::vector<std::string> fetched;
    std::uint64_t standCount = 0;
    std::string airportFileText, qualityText;
    bool handmadeShown = false;
    std::optional<double> elevation;

private:
    std::map<ControlPart*, FakeControl> controls_;
};

} // namespace parking_test
