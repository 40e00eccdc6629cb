// Shows the main window with a sample state for a few seconds (for the screenshot in the README):
//   xvfb-run window_demo [seconds]
// The settings stay at their defaults; nothing is saved.

#include "app/control_setters.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/status_line.h"
#include "core/settings.h"
#include "platform/ui/window_host.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    WindowOptions options;
    options.position = {0, 0};
    options.closeAfterSeconds = argc > 1 ? std::atoi(argv[1]) : 5;

    MainWindow& w = mainWindow;
    w.simConnected = true;
    w.simRunning = true;
    w.setText(&MainWindow::simulatorText, "MSFS 2020");
    w.setText(&MainWindow::userStand, "GATE D 7");
    w.setText(&MainWindow::userAircraftTitle, "Airbus A320 Neo Asobo");
    w.feedStarting = false;
    w.realTrafficConnected = true;
    w.setText(&MainWindow::realTrafficText, "RealTraffic 10.0.231 (standard)");
    w.trafficStatus = 1;
    w.qnhStatus = 1;
    w.qnh = 1017;
    w.liveCount = 23;
    w.liveryCount = 4182;
    w.simAddonAirportCount = 12;
    w.thirdPartyAirportCount = 0;
    w.setText(&MainWindow::parkAirportText, "EHAM");
    w.setText(&MainWindow::parkedFileText, "parked: learned");
    w.setText(&MainWindow::airportFileText, "stock");
    w.setText(&MainWindow::qualityText, "0.82");
    w.parkedFileRead = true;
    w.standCount = 214;
    w.parkedLiveCount = 6;
    w.liveAverageFit = 2.5f;
    w.staticCount = 88;
    w.staticAverageFit = 6.0f;
    w.maxParkCount = 120;
    w.maxParkPercent = 30;
    w.updateCount = 14;
    w.staticRenewalMinutes = 12;
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
