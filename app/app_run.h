#pragma once
// The process: single instance, log, command-line switches, per-user folder, the main window and its
// message loop, and what the window does on its close button and on the program's two messages.

#include "platform/ui/window_host.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The result of the command-line scan for the production switch.
struct ProductionSwitch {
    bool value = false;
    bool given = false;
};
// "--production" / "/production" and "--no-production" / "/no-production", without regard to case;
// the last one wins. args holds the arguments after the program name.
ProductionSwitch gf_scanProductionSwitch(const std::vector<std::string>& args);
// The headless limit: "--quit-after=N" on the command line, else the environment variable
// SKYLOOM_QUIT_AFTER; after N seconds the window closes itself as if the user closed it. 0: none.
int gf_quitAfterSeconds(const std::vector<std::string>& args);
// The run's time scale from its text: a number from 1 to 10; nullopt for anything else.
std::optional<double> gf_parseTimeScale(std::string_view text);
// The time scale of the environment variable SKYLOOM_TIME_SCALE: the run's clock (its passes, waits,
// parked times and the headless limit) goes that many times as fast as real time, for runs against the
// stand-ins on a clock as fast. 1 without the variable; a value that is not a time scale is logged as an
// error and the run keeps real time.
double gf_timeScale();

// The process entry: -1 at once when another instance runs (before the log is touched), else the
// application run's exit code (0).
int gf_skyloomMain(int argc, char** argv);
// The application run on the window thread.
int runApplication(int argc, char** argv);

// Reads the window position settings from parameters.xml into MAIN_WINDOW_X and MAIN_WINDOW_Y
// (clamped, then the position check). A file that does not parse is kept as parameters0.xml and
// removed; a file that cannot be read is left alone. False when a file that does not parse could not
// be removed: no run may start on it.
bool gf_loadWindowPosition();

// What the window does on its close button, on UiMessage::startRun and on UiMessage::storeAndQuit
// (window thread).
void gf_onCloseButton();
void gf_onStartRun();
int gf_onStoreAndQuit(WindowPosition position);
// Joins the current worker (after the message loop, and in tests).
void gf_joinWorker();
