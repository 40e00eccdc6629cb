// Shows the main window with a sample state for a few seconds (for the screenshot in the README):
//   xvfb-run window_demo [seconds]
// The settings stay at their defaults; nothing is saved.

#include "app/control_setters.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/status_line.h"
#include "core/settings.h"
#include "platform/ui/window_host.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    WindowOptions options;
    options.position = {0, 0};
    options.closeAfterSeconds = argc > 1 ? std::atoi(argv[1]) : 5;

    simLinkStatus.simConnected = true;
    simLinkStatus.simRunning = true;
    simLinkStatus.wingSpanKnown = true;
    simLinkStatus.setSimulatorText("MSFS 2020");
    simLinkStatus.setUserStandText("GATE D 7");
    simLinkStatus.setUserAircraftText("Airbus A320 Neo Asobo");
    feedStarting = false;
    feedStatus.realTrafficConnected = true;
    feedStatus.setRealTrafficText("RealTraffic 10.0.231 (standard)");
    feedStatus.trafficStatus = readerFlowing;
    feedStatus.qnhStatus = readerFlowing;
    feedStatus.qnh = 1017;
    engineStatus.liveCount = 23;
    liveryCount = 4182;
    simAddonAirportCount = 12;
    thirdPartyAirportCount = 0;
    engineStatus.setParkAirportText("EHAM");
    engineStatus.setParkedFileText("parked: learned");
    engineStatus.setAirportFileText("stock");
    engineStatus.setQualityText("0.82");
    engineStatus.parkedFileRead = true;
    engineStatus.standCount = 214;
    engineStatus.parkedLiveCount = 6;
    engineStatus.liveMeanHours = 2.5f;
    engineStatus.staticCount = 88;
    engineStatus.staticMeanHours = 6.0f;
    engineStatus.maxParkCount = 120;
    engineStatus.maxParkPercent = 30;
    engineStatus.standUpdateCount = 14;
    engineStatus.renewalMinutes = 12;
    gf_windowHooks().parkAirportLoaded = [] { return true; };
    gf_windowHooks().rtTrafficWeek = [] { return 49; };
    gf_windowShowMessage("Skyloom will update static parking in 9 seconds ...", false);

    WindowHandlers handlers;
    gf_addMainWindowHandlers(handlers);
    handlers.shown = [] {
        gf_fillChoiceLists();
        for (ControlPart* p : std::initializer_list<ControlPart*>{
                 &ALL_INSTALL_PATH, &BLOCK_CALLSIGN, &DESTINATION, &NOW_BUTTON, &REREAD_BUTTON,
                 &FLUSH_STATIC_BUTTON, &CS2OID_BUTTON, &TBLO_BUTTON})
            p->enable(true);
        ALL_INSTALL_PATH.setValue("/home/pilot/.local/share/Steam/steamapps/common/MicrosoftFlightSimulator");
        gf_showStringParameter(ALL_INSTALL_PATH);
        DESTINATION.setValue("EHAM");
        gf_showStringParameter(DESTINATION);
    };
    handlers.close = [] { gf_ui().post(UiMessage::storeAndQuit); };
    handlers.storeAndQuit = [](WindowPosition) { return 0; };
    const WindowRunResult result = gf_runWindow(argc, argv, options, handlers);
    return result.started ? result.exitCode : 1;
}
