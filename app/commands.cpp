#include "app/commands.h"

#include "app/control_setters.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/status_line.h"
#include "core/known_folders.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"
#include "engine/engine_cycle.h"
#include "engine/engine_requests.h"
#include "platform/os/folders.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

CommandHooks& lf_hooks() {
    static CommandHooks hooks;
    return hooks;
}

template <class F, class... Args> void lf_call(const F& hook, Args&&... args) {
    if (hook) hook(std::forward<Args>(args)...);
}

void lf_message(std::string_view text, bool log = false) {
    gf_windowShowMessage(text, log);
}

std::string lf_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = gf_toUpperChar(c);
    return out;
}

bool lf_is2020() {
    return SIM_CHOICE.value() == "MSFS 2020";
}

// ---- Buttons ----------------------------------------------------------------------------------------

void lf_enableBlockForChoice() {
    BLOCK_BUTTON.enable(!CALLSIGN_2_OBJECTID.value().empty());
}

bool lf_handleButtons(ControlKey id) {
    if (id == UNBLOCK_BUTTON.controlId) {
        if (BLOCK_CALLSIGN.value().empty())
            lf_message("Nothing to block or unblock...");
        else
            gf_unblockCallsign();
        lf_enableBlockForChoice();
        return true;
    }
    if (id == CS2OID_BUTTON.controlId) {
        engineRequests.callsignListRequested = true;
        BLOCK_BUTTON.enable(false);
        return true;
    }
    if (id == BLOCK_BUTTON.controlId) {
        const std::string callsign = CALLSIGN_2_OBJECTID.value();
        if (!callsign.empty()) gf_blockCallsign(callsign);
        lf_call(lf_hooks().resetCallsignChoice);
        BLOCK_BUTTON.enable(false);
        return true;
    }
    if (id == REREAD_BUTTON.controlId) {
        engineRequests.rereadParkAirportsRequested = true;
        REREAD_BUTTON.enable(false);
        DESTINATION.enable(false);
        return true;
    }
    if (id == FLUSH_STATIC_BUTTON.controlId) {
        lf_message("All static parked aircraft will be removed ...");
        engineRequests.flushStaticRequested = true;
        FLUSH_STATIC_BUTTON.enable(false);
        return true;
    }
    if (id == TBLO_BUTTON.controlId) {
        if (!gf_shellOpen(os::inWorkingFolder(tbloFolder / tbloZipPath))) {
            gf_ui().messageBox("Could not open File Explorer at tblo.zip.", std::string(gf_productName));
            return false;
        }
        return true;
    }
    if (id == NOW_BUTTON.controlId) {
        const auto& loaded = gf_windowHooks().parkAirportLoaded;
        if (!loaded || !loaded()) return true;
        if (!INITIAL_LOAD_ONLY.value.load()) {
            gf_startStaticParkingNow();
            lf_call(lf_hooks().setStaticRenewalCountdown, 20);
            gf_invalidate(uiControlsBand);
        } else {
            gf_clearMessage();
        }
        return true;
    }
    return false;
}

// ---- Check boxes ------------------------------------------------------------------------------------

void lf_messageOrClear(bool show, std::string_view text, bool log = false) {
    if (show)
        lf_message(text, log);
    else
        gf_clearMessage();
}

// A scan box: while the run still waits for RealTraffic the scan restarts it at once, else it runs at
// the next start.
void lf_handleScanBox(const CheckBoxParameter& box, bool on) {
    const auto& hooks = lf_hooks();
    const bool waiting = hooks.waitingForRealTraffic && hooks.waitingForRealTraffic();
    const bool liveries = &box == &SCAN_LIVERIES;
    if (liveries) AI_PACKAGE_SELECTOR.enable(!on);
    if (!on) {
        gf_clearMessage();
    } else if (waiting) {
        if (liveries) lf_call(hooks.clearLiveryTables);
        lf_message(fmt::format("Your {} will be scanned", liveries ? "liveries" : "airports"), true);
        gf_requestStop(StopReason::NewSettings, 2);
    } else {
        lf_message(fmt::format("Your {} will be scanned at the next start of {}",
                               liveries ? "liveries" : "airports", gf_productName));
    }
    gf_invalidate(uiControlsBand);
}

bool lf_handleCheckBoxes(ControlKey id, bool on) {
    CheckBoxParameter* box = nullptr;
    for (CheckBoxParameter* p : checkBoxParameters)
        if (p->controlId == id) box = p;
    if (!box) return false;
    box->value.store(on);
    box->save();

    const auto& hooks = lf_hooks();
    if (box == &LIG_AUTOMATIC) {
        lf_messageOrClear(!on, "The liveries defined by your lfolder parameters will be scanned");
        AI_PACKAGE_SELECTOR.enable(on);
    } else if (box == &LIG_PRIORITIZE) {
        lf_messageOrClear(
            on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped");
    } else if (box == &COLLISION_LIVE_PARKED_GND) {
        lf_messageOrClear(
            !on, "Be aware, live aircraft may collide with (run through) static parked on the ground");
    } else if (box == &COLLISION_USER_GND) {
        lf_messageOrClear(!on,
                          "Be aware, user aircraft may collide with (run through) live aircraft and static "
                          "parked on the ground");
    } else if (box == &COLLISION_USER_AIR) {
        lf_messageOrClear(!on,
                          "Be aware, user aircraft may collide with (run through) live aircraft in the air");
    } else if (box == &INITIAL_LOAD_ONLY) {
        lf_messageOrClear(on, fmt::format("Initial Load Only: static parked aircraft are generated once, no "
                                          "renewal every {} minutes",
                                          20));
        NOW_BUTTON.enable(!on && parkingControlsReady.load());
        gf_invalidate(uiControlsBand);
    } else if (box == &ALWAYS_ON_TOP) {
        lf_messageOrClear(on, fmt::format("{}'s window will remain visible", gf_productName));
        gf_ui().setAlwaysOnTop(on);
        gf_invalidate(uiControlsBand);
    } else if (box == &GUID_CHANGES) {
        lf_messageOrClear(
            !on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
        gf_invalidate(uiControlsBand);
    } else if (box == &AEROWINX) {
        lf_messageOrClear(on,
                          fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}",
                                      gf_productName));
    } else if (box == &AUTO_RANGE) {
        AR_ABOVE_HEIGHT.enable(on);
        gf_applyAutoRange();
    } else if (box == &SCAN_LIVERIES || box == &SCAN_AIRPORTS) {
        lf_handleScanBox(*box, on);
    } else if (box == &NAV_LIGHTS_WHILE_PARKED) {
        lf_call(hooks.setParkedNavLights, on);
    } else if (box == &AIRBORNE_ONLY) {
        lf_messageOrClear(on,
                          "Be aware, airborne live traffic only!  (greater than 300 ft above ground ...)");
        gf_invalidate(uiControlsBand);
    }
    // PARK_SOFT, WEEK, STRAIGHT_PBS_ONLY and the three category boxes: their readers use the new value.
    return true;
}

// ---- Drop-down lists --------------------------------------------------------------------------------

void lf_switchSimulator(const std::string& choice) {
    // The scanned liveries belong to the other simulator: they go first, so that a failure leaves the
    // old choice in place and the run on consistent data.
    const fs::path scanned = os::inWorkingFolder(outputFolder / "LiveriesScanned.xml");
    std::error_code ec;
    fs::remove(scanned, ec);
    if (ec) {
        SIM_CHOICE.fillCombo(); // the list shows the stored choice again
        lf_message(fmt::format("Could not switch the simulator: cannot remove {}: {}", scanned.string(),
                               ec.message()),
                   true);
        throw fs::filesystem_error("remove", scanned, ec);
    }
    SIM_CHOICE.set(choice);
    const bool is2020 = choice == "MSFS 2020";
    lf_call(lf_hooks().setSimulatorIs2020, is2020);
    lf_call(lf_hooks().clearLiveryTables);
    lf_call(lf_hooks().clearAirportFilesChanged);
    gf_setCheckBox(SCAN_AIRPORTS, true);
    gf_setCheckBox(SCAN_LIVERIES, true);
    lf_message(fmt::format("Switching Simulator to {}", is2020 ? "MSFS 2020" : "MSFS 2024"), true);
    ALL_INSTALL_PATH.setValue("");
    gf_showStringParameter(ALL_INSTALL_PATH);
    if (!is2020) MYSIMADDON24_VERSION.set("");
    gf_requestStop(StopReason::NewSettings, 3);
}

std::optional<std::int32_t> lf_entry(const NumericChoiceParameter& p, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= p.choices.size()) return std::nullopt;
    return p.clamped(p.choices[static_cast<std::size_t>(index)]);
}

// A text that is none of the list's entries (say, an event without its entry's text) is never stored.
bool lf_isChoice(const StringChoiceParameter& p, const std::string& text) {
    return std::find(p.choices.begin(), p.choices.end(), text) != p.choices.end();
}

bool lf_handleComboBoxes(const UiCommand& cmd) {
    const ControlKey id = cmd.key;
    if (cmd.selection < 0) return false;
    if (id == SIM_CHOICE.controlId) {
        if (!lf_isChoice(SIM_CHOICE, cmd.text)) return false;
        if (cmd.text != SIM_CHOICE.value()) lf_switchSimulator(cmd.text);
        return true;
    }
    if (id == AI_PACKAGE_SELECTOR.controlId) {
        if (!lf_isChoice(AI_PACKAGE_SELECTOR, cmd.text)) return false;
        if (cmd.text != AI_PACKAGE_SELECTOR.value()) {
            AI_PACKAGE_SELECTOR.set(cmd.text);
            lf_message("If you want to make this choice effective, you must start a Scan for liveries", true);
        }
        return true;
    }
    if (id == CALLSIGN_2_OBJECTID.controlId) {
        if (cmd.text != CALLSIGN_2_OBJECTID.value()) {
            CALLSIGN_2_OBJECTID.setValue(cmd.text);
            engineStatus.setCallsignChoiceText({});
            gf_invalidate(uiControlsBand);
            engineRequests.callsignChoiceChanged = true;
            BLOCK_BUTTON.enable(!gf_controlEnabled(UNBLOCK_BUTTON.controlId));
        }
        return true;
    }
    if (id == MAX_FIT_FL.controlId) {
        if (static_cast<std::size_t>(cmd.selection) >= MAX_FIT_FL.choices.size()) return false;
        const float hours = MAX_FIT_FL.choices[static_cast<std::size_t>(cmd.selection)];
        MAX_FIT_FL.value.store(hours);
        const std::int32_t slots = gsl::narrow<std::int32_t>(std::round(2.0 * hours)) - 1;
        MAX_FIT.setClamped(slots);
        MAX_FIT.save();
        return true;
    }
    for (NumericChoiceParameter* p : {&MATCHING_DEPTH, &MAX_PARK_SEL, &parking_percentage, &AIRP_RANGE,
                                      &AR_ABOVE_HEIGHT, &AIRP_HEIGHT, &RANGE, &MAX_LIVE_SEL}) {
        if (id != p->controlId) continue;
        const auto value = lf_entry(*p, cmd.selection);
        if (!value) return false;
        const std::int32_t old = p->value.exchange(*value);
        p->save();
        if (p == &MATCHING_DEPTH && *value > old) engineRequests.matchingDepthRaised = true;
        if (p == &RANGE) gf_setRange(*value);
        if (p == &MAX_LIVE_SEL) lf_call(lf_hooks().trimLiveAircraft, *value);
        return true;
    }
    return false;
}

// ---- Edit fields ------------------------------------------------------------------------------------

void lf_communityPathFound() {
    lf_message(fmt::format("Community path found, {} will restart ...", gf_productName), true);
    gf_requestStop(StopReason::NewSettings, 3);
}

void lf_setInstallPath(StringParameter& setting, const std::string& text) {
    gf_clearError();
    gf_clearMessage();
    if (text.empty()) {
        if (!setting.value().empty()) setting.set("");
        return;
    }
    // Trailing separators go first, so that ".../Community/" is taken as the Community folder itself.
    std::string trimmed = text;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\'))
        trimmed.pop_back();
    const fs::path path(trimmed);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        lf_message(fmt::format("Cannot access install path '{}': {}", text, ec.message()), true);
        return;
    }
    if (!fs::exists(status)) {
        lf_message(fmt::format("This install path does not exist: {}", text), true);
        return;
    }
    const auto hasCommunity = [](const fs::path& folder) {
        std::error_code e;
        return fs::is_directory(folder / "Community", e);
    };
    if (path.filename() != "Community") {
        if (!hasCommunity(path)) {
            lf_message("This path exists but is not a path to Community ...", true);
            return;
        }
        setting.set(text);
    } else {
        std::string parent = path_to_utf8(path.parent_path());
        while (parent.size() > 1 && (parent.back() == '/' || parent.back() == '\\'))
            parent.pop_back();
        if (!hasCommunity(fs::path(parent))) {
            lf_message("This path does not contain a valid Community folder (unexpected).", true);
            return;
        }
        setting.set(parent);
    }
    lf_communityPathFound();
}

void lf_onBlockCallsignEnter(const std::string& text) {
    gf_clearMessage();
    if (text.empty()) {
        if (!BLOCK_CALLSIGN.value().empty()) gf_unblockCallsign();
        return;
    }
    const std::size_t length = gf_utf8Length(text);
    if (length < 4 || length > 8) {
        lf_message(fmt::format("callsign '{}' is not valid", text), true);
        gf_showStringParameter(BLOCK_CALLSIGN);
        return;
    }
    const std::string callsign = lf_upper(text);
    if (callsign == BLOCK_CALLSIGN.value()) {
        lf_message(fmt::format("callsign '{}' was already set ...", callsign), true);
        gf_showStringParameter(BLOCK_CALLSIGN);
        return;
    }
    if (callsign == CALLSIGN_2_OBJECTID.value()) lf_call(lf_hooks().resetCallsignChoice);
    gf_blockCallsign(callsign);
}

void lf_showDestinationResult(int code, const std::string& text) {
    switch (code) {
    case 0:
        REREAD_BUTTON.enable(true);
        lf_message("destination set to empty", true);
        return;
    case 1:
        lf_message(fmt::format("destination '{}' is not valid", text), true);
        break;
    case 2:
        lf_message(fmt::format("destination '{}' was already set ...", text), true);
        break;
    default:
        lf_message(fmt::format("destination '{}' is unknown ...", text), true);
        break;
    }
    gf_showStringParameter(DESTINATION);
}

void lf_onDestinationEnter(const std::string& text) {
    gf_clearMessage();
    if (text.empty()) {
        DESTINATION.setValue("");
        lf_showDestinationResult(0, text);
        return;
    }
    if (gf_utf8Length(text) != 4) {
        lf_showDestinationResult(1, text);
        return;
    }
    const std::string code = lf_upper(text);
    if (code == DESTINATION.value()) {
        lf_showDestinationResult(2, code);
        return;
    }
    const auto& find = lf_hooks().findAirport;
    const std::optional<Lalo> position = find ? find(code) : std::nullopt;
    if (!position) {
        lf_showDestinationResult(3, code);
        return;
    }
    gf_setDestination(code, *position);
}

} // namespace

CommandHooks& gf_commandHooks() {
    return lf_hooks();
}

bool gf_handleCommand(const UiCommand& command) {
    try {
        bool handled = false;
        switch (command.kind) {
        case UiCommand::Kind::button:
            handled = lf_handleButtons(command.key);
            break;
        case UiCommand::Kind::checkBox:
            handled = lf_handleCheckBoxes(command.key, command.checked);
            break;
        case UiCommand::Kind::choice:
            handled = lf_handleComboBoxes(command);
            break;
        case UiCommand::Kind::textEnter:
            gf_onEditEnter(static_cast<std::uint16_t>(command.key), command.text);
            handled = true;
            break;
        }
        if (handled) return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    }
    gf_invalidate(uiControlsBand);
    return false;
}

void gf_onEditEnter(std::uint16_t controlId, const std::string& text) {
    gf_clearMessage();
    if (controlId == BLOCK_CALLSIGN.controlId)
        lf_onBlockCallsignEnter(text);
    else if (controlId == DESTINATION.controlId)
        lf_onDestinationEnter(text);
    else if (controlId == ALL_INSTALL_PATH.controlId)
        gf_setInstallPath(text);
}

void gf_setInstallPath(const std::string& text) {
    lf_setInstallPath(lf_is2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH, text);
}

void gf_blockCallsign(const std::string& callsign) {
    BLOCK_CALLSIGN.set(callsign);
    gf_showStringParameter(BLOCK_CALLSIGN);
    UNBLOCK_BUTTON.enable(true);
    engineRequests.blockListChanged = true;
}

void gf_unblockCallsign() {
    const std::string old = BLOCK_CALLSIGN.value();
    if (old.empty()) return;
    BLOCK_CALLSIGN.set("");
    gf_showStringParameter(BLOCK_CALLSIGN);
    UNBLOCK_BUTTON.enable(false);
    lf_message(fmt::format("no more blocking of live aircraft '{}'", old), true);
    engineRequests.blockListChanged = true;
}

void gf_setDestination(const std::string& icao, const Lalo& position) {
    DESTINATION.set(icao);
    gf_showStringParameter(DESTINATION);
    lf_message(fmt::format("New destination: {}", icao), true);
    lf_call(lf_hooks().setDestinationParkAirport, icao, position);
    REREAD_BUTTON.enable(false);
}

void gf_startStaticParkingNow() {
    gf_disableParkingControls();
    const std::int32_t s = lf_hooks().cycleSecond ? lf_hooks().cycleSecond() : 0;
    const std::int32_t seconds = gf_secondsToNext15SecondStep(s);
    lf_message(fmt::format("{} will update static parking in {} second{} ...", gf_productName, seconds,
                           gf_plural(seconds)));
    engineRequests.staticParkingBusyRequested = true;
    engineRequests.staticParkingNowRequested = true;
}

bool gf_openManual() {
    if (gf_shellOpen(os::inWorkingFolder(docsFolder / "Manual.pdf"))) return true;
    gf_ui().messageBox("Could not open local folder with Manual", std::string(gf_productName));
    return false;
}

bool gf_openParametersFolder() {
    if (gf_shellOpen(parametersPath())) return true;
    gf_ui().messageBox("Could not open folder with parameters.xml", std::string(gf_productName));
    return false;
}

void gf_clearWindowRequests() {
    engineRequests.clear();
}

void gf_resetCommandsForTests() {
    gf_clearWindowRequests();
    lf_hooks() = CommandHooks{};
}
