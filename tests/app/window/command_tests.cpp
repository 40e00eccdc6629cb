// The controls' command handling against the recording Ui.

#include "engine/engine_requests.h"
#include "engine/static/static_parking_state.h"
#include "window_fixture.h"

#include <fstream>
#include <vector>

namespace {

class CommandTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gf_commandHooks().waitingForRealTraffic = [this] { return waiting; };
        gf_commandHooks().clearLiveryTables = [this] { ++liveryClears; };
        gf_commandHooks().setSimulatorIs2020 = [this](bool is2020) { simIs2020 = is2020; };
        gf_commandHooks().resetCallsignChoice = [this] {
            ++choiceResets;
            CALLSIGN_2_OBJECTID.setValue("");
        };
    }
    bool handle(const UiCommand& c) { return gf_handleCommand(c); }
    std::optional<bool> enabled(const ControlPart& p) const { return ui.enabled(p.controlId); }

    bool waiting = false;
    int liveryClears = 0;
    int choiceResets = 0;
    std::optional<bool> simIs2020;
};

// ---- Simulator choice -------------------------------------------------------------------------------

TEST_F(CommandTest, SwitchingTheSimulatorRestartsWithBothScans) {
    std::ofstream(root / "work" / "output" / "LiveriesScanned.xml") << "<root/>";
    SCAN_LIVERIES.value = false;
    SCAN_AIRPORTS.value = false;
    ALL_INSTALL_PATH.setValue("/games/msfs");
    MYSIMADDON24_VERSION.setValue("1.2.3");

    EXPECT_TRUE(handle(choose(SIM_CHOICE, 1, "MSFS 2024")));
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_TRUE(saved("SIM_CHOICE", "MSFS 2024"));
    EXPECT_FALSE(std::filesystem::exists(root / "work" / "output" / "LiveriesScanned.xml"));
    EXPECT_EQ(simIs2020, false);
    EXPECT_EQ(liveryClears, 1);
    EXPECT_TRUE(SCAN_LIVERIES.value && SCAN_AIRPORTS.value);
    EXPECT_TRUE(saved("SCAN_LIVERIES", "true"));
    EXPECT_EQ(ui.checked(SCAN_AIRPORTS.controlId), true);
    EXPECT_EQ(ALL_INSTALL_PATH.value(), "");
    EXPECT_EQ(ui.text(ALL_INSTALL_PATH.controlId), "");
    EXPECT_EQ(MYSIMADDON24_VERSION.value(), "");
    EXPECT_EQ(message(), "Switching Simulator to MSFS 2024");
    EXPECT_EQ(runControl.stopReason(), StopReason::NewSettings);
    EXPECT_EQ(runControl.restartDelay.load(), 3);
}

TEST_F(CommandTest, SelectingTheStoredSimulatorChangesNothing) {
    EXPECT_TRUE(handle(choose(SIM_CHOICE, 0, "MSFS 2020")));
    EXPECT_FALSE(runControl.stop.load());
    EXPECT_EQ(parametersFile(), "");
    EXPECT_EQ(liveryClears, 0);
}

TEST_F(CommandTest, AFailedSwitchKeepsTheStoredSimulator) {
    // The scanned-liveries file cannot be removed (here: a folder with content in its place).
    std::filesystem::create_directories(root / "work" / "output" / "LiveriesScanned.xml" / "x");
    EXPECT_FALSE(handle(choose(SIM_CHOICE, 1, "MSFS 2024")));
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2020");
    EXPECT_FALSE(saved("SIM_CHOICE", "MSFS 2024"));
    EXPECT_FALSE(runControl.stop.load());
    EXPECT_EQ(liveryClears, 0);
    EXPECT_EQ(ui.selection(SIM_CHOICE.controlId), 0); // the list shows the stored choice again
}

// ---- Check boxes ------------------------------------------------------------------------------------

TEST_F(CommandTest, ScanTickBeforeRealTrafficConnectsRestarts) {
    waiting = true;
    SCAN_LIVERIES.value = false;
    EXPECT_TRUE(handle(tick(SCAN_LIVERIES, true)));
    EXPECT_TRUE(SCAN_LIVERIES.value);
    EXPECT_TRUE(saved("SCAN_LIVERIES", "true"));
    EXPECT_EQ(enabled(AI_PACKAGE_SELECTOR), false);
    EXPECT_EQ(liveryClears, 1);
    EXPECT_EQ(message(), "Your liveries will be scanned");
    EXPECT_EQ(runControl.stopReason(), StopReason::NewSettings);
    EXPECT_EQ(runControl.restartDelay.load(), 2);
}

TEST_F(CommandTest, ScanTickAfterRealTrafficConnectedOnlyAnnounces) {
    SCAN_AIRPORTS.value = false;
    EXPECT_TRUE(handle(tick(SCAN_AIRPORTS, true)));
    EXPECT_TRUE(saved("SCAN_AIRPORTS", "true"));
    EXPECT_EQ(message(), "Your airports will be scanned at the next start of Skyloom");
    EXPECT_FALSE(runControl.stop.load());

    EXPECT_TRUE(handle(tick(SCAN_AIRPORTS, false)));
    EXPECT_TRUE(saved("SCAN_AIRPORTS", "false"));
    EXPECT_EQ(message(), "");
}

TEST_F(CommandTest, CheckBoxesStoreTheReportedStateAndAct) {
    struct Case {
        CheckBoxParameter* box;
        bool on;
        std::string message;
    };
    const std::vector<Case> cases{
        {&LIG_AUTOMATIC, false, "The liveries defined by your lfolder parameters will be scanned"},
        {&COLLISION_USER_AIR, false,
         "Be aware, user aircraft may collide with (run through) live aircraft in the air"},
        {&ALWAYS_ON_TOP, true, "Skyloom's window will remain visible"},
        {&AIRBORNE_ONLY, true,
         "Be aware, airborne live traffic only!  (greater than 300 ft above ground ...)"},
        {&INITIAL_LOAD_ONLY, true,
         "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes"},
        {&WEEK, true, ""},
    };
    for (const auto& c : cases) {
        gf_clearMessage();
        EXPECT_TRUE(handle(tick(*c.box, c.on))) << c.box->name;
        EXPECT_EQ(c.box->value.load(), c.on) << c.box->name;
        EXPECT_TRUE(saved(c.box->name, c.on ? "true" : "false")) << c.box->name;
        EXPECT_EQ(message(), c.message) << c.box->name;
    }
    EXPECT_EQ(enabled(AI_PACKAGE_SELECTOR), false);
    EXPECT_EQ(enabled(NOW_BUTTON), false);
    EXPECT_EQ(ui.count(RecordingUi::Kind::onTop), 1u);
}

TEST_F(CommandTest, ParkedNavLightsGoToTheWorker) {
    std::vector<bool> requests;
    gf_commandHooks().setParkedNavLights = [&](bool on) { requests.push_back(on); };
    EXPECT_TRUE(handle(tick(NAV_LIGHTS_WHILE_PARKED, false)));
    EXPECT_EQ(requests, std::vector<bool>{false});
}

// ---- Drop-down lists --------------------------------------------------------------------------------

TEST_F(CommandTest, MaxFitHoursBecomeSlots) {
    const auto index = [](float hours) {
        for (std::size_t i = 0; i < MAX_FIT_FL.choices.size(); ++i)
            if (MAX_FIT_FL.choices[i] == hours) return static_cast<int>(i);
        return -1;
    };
    for (const auto& [hours, slots] :
         std::vector<std::pair<float, int>>{{24.0f, 47}, {0.5f, 0}, {4.5f, 8}, {12.0f, 23}}) {
        EXPECT_TRUE(handle(choose(MAX_FIT_FL, index(hours))));
        EXPECT_EQ(MAX_FIT_FL.value.load(), hours);
        EXPECT_EQ(MAX_FIT.value.load(), slots) << hours;
        EXPECT_TRUE(saved("MAX_FIT", std::to_string(slots)));
    }
}

TEST_F(CommandTest, MatchingDepthRaisedOnlyWhenItGrows) {
    MATCHING_DEPTH.value = 2;
    EXPECT_TRUE(handle(choose(MATCHING_DEPTH, 0))); // 1
    EXPECT_EQ(MATCHING_DEPTH.value.load(), 1);
    EXPECT_FALSE(engineRequests.matchingDepthRaised.load());
    EXPECT_TRUE(handle(choose(MATCHING_DEPTH, 3))); // 4
    EXPECT_EQ(MATCHING_DEPTH.value.load(), 4);
    EXPECT_TRUE(saved("MATCHING_DEPTH", "4"));
    EXPECT_TRUE(engineRequests.matchingDepthRaised.load());
}

TEST_F(CommandTest, MaxLiveIsSavedAndTheTrimGoesToTheWorker) {
    std::vector<int> trims;
    gf_commandHooks().trimLiveAircraft = [&](std::int32_t n) { trims.push_back(n); };
    EXPECT_TRUE(handle(choose(MAX_LIVE_SEL, 1))); // 10
    EXPECT_EQ(MAX_LIVE_SEL.value.load(), 10);
    EXPECT_TRUE(saved("MAX_LIVE_SEL", "10"));
    EXPECT_EQ(trims, std::vector<int>{10});
}

TEST_F(CommandTest, RangeChoiceSavesAndSetsTheRadius) {
    EXPECT_TRUE(handle(choose(RANGE, 16))); // 50
    EXPECT_TRUE(saved("RANGE", "50"));
    EXPECT_EQ(rangeMeters.load(), 92600u);
    EXPECT_EQ(gf_trafficRadiusNm(), 50.0);
}

TEST_F(CommandTest, ASelectionOutsideTheListIsNotHandled) {
    EXPECT_FALSE(handle(choose(RANGE, 99)));
    EXPECT_EQ(RANGE.value.load(), 40);
    EXPECT_EQ(ui.calls().back().kind, RecordingUi::Kind::invalidate);
}

// ---- Buttons and blocking ---------------------------------------------------------------------------

TEST_F(CommandTest, UnblockWithNothingBlocked) {
    EXPECT_TRUE(handle(button(UNBLOCK_BUTTON)));
    EXPECT_EQ(message(), "Nothing to block or unblock...");
    EXPECT_EQ(enabled(BLOCK_BUTTON), false);
    CALLSIGN_2_OBJECTID.setValue("KLM123");
    EXPECT_TRUE(handle(button(UNBLOCK_BUTTON)));
    EXPECT_EQ(enabled(BLOCK_BUTTON), true);
}

TEST_F(CommandTest, BlockTheChosenCallsignThenUnblockIt) {
    EXPECT_TRUE(handle(choose(CALLSIGN_2_OBJECTID, 1, "KLM123")));
    EXPECT_TRUE(engineRequests.callsignChoiceChanged.load());
    EXPECT_EQ(enabled(BLOCK_BUTTON), true); // "Unblock" is disabled

    EXPECT_TRUE(handle(button(BLOCK_BUTTON)));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "KLM123");
    EXPECT_TRUE(saved("BLOCK_CALLSIGN", "KLM123"));
    EXPECT_EQ(ui.text(BLOCK_CALLSIGN.controlId), "KLM123");
    EXPECT_EQ(enabled(UNBLOCK_BUTTON), true);
    EXPECT_EQ(enabled(BLOCK_BUTTON), false);
    EXPECT_EQ(choiceResets, 1);
    EXPECT_TRUE(engineRequests.blockListChanged.exchange(false));

    EXPECT_TRUE(handle(button(UNBLOCK_BUTTON)));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
    EXPECT_TRUE(saved("BLOCK_CALLSIGN", ""));
    EXPECT_EQ(enabled(UNBLOCK_BUTTON), false);
    EXPECT_EQ(message(), "no more blocking of live aircraft 'KLM123'");
    EXPECT_TRUE(engineRequests.blockListChanged.load());
}

TEST_F(CommandTest, BlockCallsignField) {
    struct Case {
        std::string typed;
        std::string stored;
        std::string message;
    };
    const std::vector<Case> cases{
        {"klm123", "KLM123", ""},
        {"KLM123", "KLM123", "callsign 'KLM123' was already set ..."},
        {"abc", "KLM123", "callsign 'abc' is not valid"},
        {"ABCDEFGHI", "KLM123", "callsign 'ABCDEFGHI' is not valid"},
        // Characters count, not bytes: 8 characters in 10 bytes, and 3 in 6.
        {"\xC3\xBC\xC3\xBCRICH12", "\xC3\xBC\xC3\xBCRICH12", ""},
        {"\xC3\xBC\xC3\xBC\xC3\xBC", "\xC3\xBC\xC3\xBCRICH12",
         "callsign '\xC3\xBC\xC3\xBC\xC3\xBC' is not valid"},
        {"KLM123", "KLM123", ""},
        {"", "", "no more blocking of live aircraft 'KLM123'"},
    };
    for (const auto& c : cases) {
        ui.clear();
        gf_handleCommand(enter(BLOCK_CALLSIGN, c.typed));
        EXPECT_EQ(BLOCK_CALLSIGN.value(), c.stored) << c.typed;
        EXPECT_EQ(message(), c.message) << c.typed;
        EXPECT_EQ(ui.text(BLOCK_CALLSIGN.controlId), c.stored) << c.typed; // the field shows the value
    }
}

TEST_F(CommandTest, BlockingTheChosenCallsignResetsTheChoice) {
    CALLSIGN_2_OBJECTID.setValue("DLH4AB");
    gf_handleCommand(enter(BLOCK_CALLSIGN, "dlh4ab"));
    EXPECT_EQ(choiceResets, 1);
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "DLH4AB");
}

TEST_F(CommandTest, DestinationField) {
    std::vector<std::string> parkRequests;
    gf_commandHooks().findAirport = [](const std::string& code) -> std::optional<Lalo> {
        if (code == "EHAM") return Lalo{52.3, 4.76};
        return std::nullopt;
    };
    gf_commandHooks().setDestinationParkAirport = [&](const std::string& code, const Lalo&) {
        parkRequests.push_back(code);
    };
    struct Case {
        std::string typed;
        std::string stored;
        std::string message;
    };
    const std::vector<Case> cases{
        {"eham", "EHAM", "New destination: EHAM"},
        {"EHAM", "EHAM", "destination 'EHAM' was already set ..."},
        {"EHA", "EHAM", "destination 'EHA' is not valid"},
        // Four characters in five bytes is a code to look up; three in four bytes is not.
        {"\xC3\x84HAM", "EHAM", "destination '\xC3\x84HAM' is unknown ..."},
        {"\xC3\x84HA", "EHAM", "destination '\xC3\x84HA' is not valid"},
        {"zzzz", "EHAM", "destination 'ZZZZ' is unknown ..."},
        {"", "", "destination set to empty"},
    };
    for (const auto& c : cases) {
        gf_handleCommand(enter(DESTINATION, c.typed));
        EXPECT_EQ(DESTINATION.value(), c.stored) << c.typed;
        EXPECT_EQ(message(), c.message) << c.typed;
    }
    EXPECT_EQ(parkRequests, std::vector<std::string>{"EHAM"});
    EXPECT_TRUE(saved("DESTINATION", "EHAM")); // the empty value is not written here
    EXPECT_EQ(enabled(REREAD_BUTTON), true);
}

TEST_F(CommandTest, NowAnnouncesTheNextFifteenSecondStep) {
    bool loaded = false;
    std::int32_t second = 0;
    std::int32_t countdown = 0;
    gf_windowHooks().parkAirportLoaded = [&] { return loaded; };
    gf_commandHooks().cycleSecond = [&] { return second; };
    gf_commandHooks().setStaticRenewalCountdown = [&](std::int32_t m) { // as wired: the engine's countdown
        countdown = m;
        engineRequests.requestRenewalCountdown(m);
    };

    EXPECT_TRUE(handle(button(NOW_BUTTON)));
    EXPECT_FALSE(engineRequests.staticParkingNowRequested.load()); // no park airport
    loaded = true;
    for (const auto& [s, text] : std::vector<std::pair<int, std::string>>{{15, "15 seconds"},
                                                                          {30, "15 seconds"},
                                                                          {45, "15 seconds"},
                                                                          {44, "1 second"},
                                                                          {3, "12 seconds"}}) {
        second = s;
        EXPECT_TRUE(handle(button(NOW_BUTTON)));
        EXPECT_EQ(message(), "Skyloom will update static parking in " + text + " ...") << s;
    }
    gf_serveEngineRequests(); // the engine's next pass takes what the window asked for
    EXPECT_TRUE(engineRequests.staticParkingNowRequested.load());
    EXPECT_TRUE(staticParkingState.busy.load());
    EXPECT_EQ(countdown, 20);
    EXPECT_EQ(gf_statusView().engine.renewalMinutes, 20);
    EXPECT_EQ(enabled(MAX_PARK_SEL), false);
}

TEST_F(CommandTest, RereadAndFlushRaiseTheirRequests) {
    EXPECT_TRUE(handle(button(REREAD_BUTTON)));
    EXPECT_TRUE(engineRequests.rereadParkAirportsRequested.load());
    EXPECT_EQ(enabled(DESTINATION), false);
    EXPECT_TRUE(handle(button(FLUSH_STATIC_BUTTON)));
    EXPECT_TRUE(engineRequests.flushStaticRequested.load());
    EXPECT_EQ(message(), "All static parked aircraft will be removed ...");
    EXPECT_EQ(enabled(FLUSH_STATIC_BUTTON), false);
}

// ---- Install path -----------------------------------------------------------------------------------

class InstallPathTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        sim = root / "sim";
        std::filesystem::create_directories(sim / "Community");
    }
    std::filesystem::path sim;
};

TEST_F(InstallPathTest, TheCommunityFolderStoresItsParent) {
    for (const std::string suffix : {"", "/", "//"}) {
        runControl.reset();
        MSFS_INSTALL_PATH.setValue("");
        gf_handleCommand(enter(ALL_INSTALL_PATH, (sim / "Community").string() + suffix));
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), sim.string()) << suffix;
        EXPECT_EQ(message(), "Community path found, Skyloom will restart ...");
        EXPECT_EQ(runControl.restartDelay.load(), 3);
    }
    EXPECT_TRUE(saved("MSFS_INSTALL_PATH", sim.string()));
}

TEST_F(InstallPathTest, TheParentIsStoredAsTyped) {
    SIM_CHOICE.setValue("MSFS 2024");
    gf_handleCommand(enter(ALL_INSTALL_PATH, sim.string()));
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value(), sim.string());
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
    EXPECT_EQ(runControl.stopReason(), StopReason::NewSettings);
}

TEST_F(InstallPathTest, RefusedPaths) {
    std::filesystem::create_directories(root / "other");
    const std::vector<std::pair<std::string, std::string>> cases{
        {(root / "missing").string(), "This install path does not exist: " + (root / "missing").string()},
        {(root / "other").string(), "This path exists but is not a path to Community ..."},
    };
    for (const auto& [typed, text] : cases) {
        gf_handleCommand(enter(ALL_INSTALL_PATH, typed));
        EXPECT_EQ(message(), text);
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
    }
    EXPECT_FALSE(runControl.stop.load());
}

TEST_F(InstallPathTest, AnEnteredPathClearsTheErrorLineAndEmptyClearsTheSetting) {
    gf_windowShowError("150: no Community folder");
    MSFS_INSTALL_PATH.setValue(sim.string());
    gf_handleCommand(enter(ALL_INSTALL_PATH, ""));
    EXPECT_EQ(mainWindow.text(&MainWindow::errorLine), "");
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
    EXPECT_TRUE(saved("MSFS_INSTALL_PATH", ""));
    EXPECT_FALSE(runControl.stop.load());
}

TEST_F(CommandTest, HandlerExceptionsAreCaught) {
    gf_commandHooks().trimLiveAircraft = [](std::int32_t) { throw std::runtime_error("boom"); };
    EXPECT_FALSE(handle(choose(MAX_LIVE_SEL, 2)));
    EXPECT_EQ(ui.calls().back().rect, uiControlsBand);
}

} // namespace

namespace {

TEST_F(CommandTest, AChoiceTextOutsideTheListIsNeverStored) {
    EXPECT_FALSE(handle(choose(SIM_CHOICE, 1, "")));
    EXPECT_FALSE(handle(choose(AI_PACKAGE_SELECTOR, 3, "AIG, XYZ")));
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2020");
    EXPECT_EQ(AI_PACKAGE_SELECTOR.value(), "AIG, FSLTL, JF, MTL");
    EXPECT_FALSE(runControl.stop.load());
    EXPECT_TRUE(handle(choose(AI_PACKAGE_SELECTOR, 63, "MTL")));
    EXPECT_TRUE(saved("AI_PACKAGE_SELECTOR", "MTL"));
    EXPECT_EQ(message(), "If you want to make this choice effective, you must start a Scan for liveries");
}

TEST_F(CommandTest, FoldersThatCannotBeShownGiveAMessageBox) {
    // Nothing of docs/Manual.pdf or tblo/tblo.zip exists in the test's working folder.
    EXPECT_FALSE(gf_openManual());
    EXPECT_FALSE(handle(button(TBLO_BUTTON)));
    const auto calls = ui.calls();
    std::vector<std::string> boxes;
    for (const auto& c : calls) {
        if (c.kind == RecordingUi::Kind::messageBox) {
            EXPECT_EQ(c.caption, "Skyloom");
            boxes.push_back(c.text);
        }
    }
    EXPECT_EQ(boxes, (std::vector<std::string>{"Could not open local folder with Manual",
                                               "Could not open File Explorer at tblo.zip."}));
}

} // namespace
