#include "app/app_run.h"

#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/wiring.h"
#include "app/worker.h"
#include "core/generations.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/timeutil.h"
#include "core/version.h"
#include "core/xml.h"
#include "engine/base/engine_clock.h"
#include "platform/os/instance_lock.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::jthread currentWorker;

std::string lf_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int lf_parseSeconds(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0) return 0;
    return value;
}

bool lf_isParseError(pugi::xml_parse_status status) {
    switch (status) {
    case pugi::status_ok:
    case pugi::status_file_not_found: // also any other failure to open the file
    case pugi::status_io_error:
    case pugi::status_out_of_memory:
    case pugi::status_internal_error:
        return false;
    default:
        return true;
    }
}

} // namespace

ProductionSwitch gf_scanProductionSwitch(const std::vector<std::string>& args) {
    ProductionSwitch result;
    for (const auto& arg : args) {
        const std::string a = lf_lower(arg);
        if (a == "--production" || a == "/production")
            result = {true, true};
        else if (a == "--no-production" || a == "/no-production")
            result = {false, true};
    }
    return result;
}

int gf_quitAfterSeconds(const std::vector<std::string>& args) {
    constexpr std::string_view prefix = "--quit-after=";
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        if (it->starts_with(prefix)) return lf_parseSeconds(std::string_view(*it).substr(prefix.size()));
    if (const char* env = std::getenv("SKYLOOM_QUIT_AFTER")) return lf_parseSeconds(env);
    return 0;
}

std::optional<double> gf_parseTimeScale(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || !(value >= 1 && value <= 10)) return {};
    return value;
}

double gf_timeScale() {
    const char* env = std::getenv("SKYLOOM_TIME_SCALE");
    if (!env) return 1;
    const auto scale = gf_parseTimeScale(env);
    if (!scale) {
        gf_logError(fmt::format("SKYLOOM_TIME_SCALE={} is not a time scale (a number from 1 to 10): the run "
                                "keeps real time",
                                env));
        return 1;
    }
    if (*scale != 1)
        gf_log(fmt::format("Time scale {}: the run's clock goes {} times as fast", *scale, *scale));
    return *scale;
}

bool gf_loadWindowPosition() {
    const fs::path path = parametersPath();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (parsed) {
        for (auto* p : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
            if (auto v = gf_readIntParameter(doc, p->name))
                p->setClamped(*v);
            else
                p->value = p->defaultValue;
        }
        gf_restoreWindowPosition(MAIN_WINDOW_X.defaultValue, MAIN_WINDOW_Y.defaultValue);
        return true;
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) return true; // a first start: nothing to read yet
    const std::string shown = path.string();
    if (!lf_isParseError(parsed.status)) {
        // Unreadable is not broken: the file stays, the settings load reports it.
        gf_logError(fmt::format("{} could not be read: {}", shown, parsed.description()));
        return true;
    }
    if (!gf_save1GenerationOf(path)) {
        gf_logError(fmt::format("{} failed to load, syntax error?", shown));
        gf_log(" --> could not be saved as 0.xml, file kept\n");
        return true;
    }
    if (!fs::remove(path, ec) && ec) {
        gf_logError(fmt::format("{} failed to load, syntax error?", shown));
        gf_log(fmt::format(" --> saved as 0.xml, file not removed: {}\n", ec.message()));
        return false;
    }
    gf_logError(fmt::format("{} failed to load, syntax error?", shown));
    gf_log(" --> saved as 0.xml,  file removed\n");
    return true;
}

void gf_onCloseButton() {
    gf_showMessage(fmt::format("Close window button clicked, closing {} ...", gf_productName), false);
    gf_requestStop(StopReason::UserClosedSim, 0);
}

void gf_onStartRun() {
    std::jthread next;
    try {
        next = std::jthread(trafficThread);
    } catch (const std::system_error& e) {
        gf_logError(fmt::format("Failed to start the worker thread: {}", e.what()));
    }
    if (currentWorker.joinable()) {
        currentWorker.request_stop();
        currentWorker.join(); // it posted this message as its last act
    }
    currentWorker = std::move(next);
    // Without a worker nothing would ever end the process: it ends here.
    if (!currentWorker.joinable()) gf_ui().post(UiMessage::storeAndQuit);
}

void gf_joinWorker() {
    if (currentWorker.joinable()) currentWorker.join();
}

int gf_onStoreAndQuit(WindowPosition position) {
    const std::int32_t previousX = MAIN_WINDOW_X.value;
    const std::int32_t previousY = MAIN_WINDOW_Y.value;
    MAIN_WINDOW_X.setClamped(position.x);
    MAIN_WINDOW_X.save();
    MAIN_WINDOW_Y.setClamped(position.y);
    MAIN_WINDOW_Y.save();
    gf_restoreWindowPosition(previousX, previousY);
    gf_log(gf_utcTimeText(gf_utcNow()));
    return 0;
}

int runApplication(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const ProductionSwitch production = gf_scanProductionSwitch(args);

    // Without a per-user folder, or with a damaged parameters.xml that cannot be removed, the settings
    // can be neither loaded nor kept: the window still opens, shows why on its error line and closes on
    // request, with no run and nothing saved.
    std::string folderError;
    try {
        const fs::path folder = gf_resolveUserFolder();
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) fs::create_directories(folder);
    } catch (const std::exception& e) {
        gf_log(fmt::format("Failed to create directory: {}", e.what()));
        folderError = e.what();
    }

    gf_wireProgram();
    gf_checkWiring();
    const double timeScale = gf_timeScale();
    gf_scaleRunClock(timeScale);
    gf_scaleEngineClock(timeScale);
    if (folderError.empty() && !gf_loadWindowPosition())
        folderError = fmt::format("{} is damaged and could not be removed", parametersPath().string());

    WindowOptions options;
    options.title = std::string(gf_productName);
    options.position = {MAIN_WINDOW_X.value, MAIN_WINDOW_Y.value};
    // The limit counts seconds of the run's clock; the window's timer counts whole seconds of real time.
    options.closeAfterSeconds = static_cast<int>(std::ceil(gf_quitAfterSeconds(args) / timeScale));

    WindowHandlers handlers;
    gf_addMainWindowHandlers(handlers);
    handlers.close = gf_onCloseButton;
    handlers.startRun = gf_onStartRun;
    handlers.storeAndQuit = gf_onStoreAndQuit;
    handlers.shown = [production] {
        if (production.given && production.value) productionMode = true;
        gf_ui().post(UiMessage::startRun);
    };
    if (!folderError.empty()) {
        handlers.shown = [folderError] { gf_showError(folderError); };
        handlers.close = [] { gf_ui().post(UiMessage::storeAndQuit); };
        handlers.storeAndQuit = [](WindowPosition) { return 0; };
    }

    const WindowRunResult result = gf_runWindow(argc, argv, options, std::move(handlers));
    if (!result.started) {
        gf_logError("initInstance failed");
        return 0;
    }
    gf_joinWorker();
    gf_unwireProgram();
    return result.exitCode;
}

int gf_skyloomMain(int argc, char** argv) {
    if (!os::acquireProcessInstanceLock(os::instanceLockPath(gf_productName))) return -1;
    try {
        gf_openLogFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return runApplication(argc, argv);
}
