#pragma once
// A worker run without a screen: a temporary working folder (with docs) and per-user folder, the XDG
// folders pointed into it, the log open there, a recording Ui, every run step empty and a clock that
// only moves when the run sleeps. Actions can be scheduled at points of that clock.

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/main_run.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/status_line.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "feed/feed_state.h"
#include "platform/os/folders.h"
#include "platform/ui/ui.h"
#include "tests/app/status_fixture.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

class RunTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override {
        for (const char* sub : {"user", "work/docs", "config", "local"})
            std::filesystem::create_directories(root / sub);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "local").c_str(), 1);
        gf_setUserFolder(root / "user");
        os::setWorkingFolder(root / "work");
        resetAll();
        gf_setUi(&ui);
        gf_installStatusLine();
        auto& hooks = gf_coreHooks();
        hooks.showMessage = [this](std::string_view text, bool log) {
            shownMessages.emplace_back(text);
            gf_windowShowMessage(text, log);
        };
        hooks.showError = [this](std::string_view text) {
            shownErrors.emplace_back(text);
            gf_windowShowError(text);
        };
        gf_openLogFile();

        auto& s = gf_runSteps();
        s.now = [this] { return now; };
        s.sleep = [this](std::chrono::milliseconds d) { advance(d); };
    }

    void TearDown() override {
        gf_setUi(nullptr);
        resetAll();
        gf_resetLogForTests();
        gf_setUserFolder({});
        os::resetWorkingFolder();
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
    }

    static void resetAll() {
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        gf_resetWindowHooks();
        gf_resetCommandsForTests();
        gf_resetControlSettersForTests();
        mainWindow.resetForTests();
        resetModuleStatusForTests();
        runControl.reset();
        gf_resetRunStateForTests();
        gf_resetRunSteps();
        gf_resetMainRunState();
        realTrafficLocal = true;
    }

    // Moves the clock; runs every scheduled action that has come due.
    void advance(std::chrono::milliseconds d) {
        now += d;
        slept += d;
        while (!scheduled.empty() && scheduled.begin()->first <= slept) {
            auto action = std::move(scheduled.begin()->second);
            scheduled.erase(scheduled.begin());
            action();
        }
    }
    // Runs the action once the run has slept for `at` in total.
    void at(std::chrono::milliseconds when, std::function<void()> action) {
        scheduled.emplace(when, std::move(action));
    }

    std::string logText() const { return testing_support::logText(root / "work"); }
    bool logHas(const std::string& text) const { return logText().find(text) != std::string::npos; }
    std::size_t logCount(const std::string& text) const {
        return testing_support::occurrences(logText(), text);
    }
    std::string parametersFile() const {
        std::ifstream in(root / "user" / "parameters.xml");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool saved(const std::string& name, const std::string& value) const {
        return parametersFile().find("name=\"" + name + "\" value=\"" + value + "\"") != std::string::npos;
    }
    // The texts given to the message line and the error line, in order.
    std::vector<std::string> shownMessages;
    std::vector<std::string> shownErrors;

    testing_support::TempFolder tempFolder{"skyloom-run"};
    const std::filesystem::path root = tempFolder.path();
    RecordingUi ui;
    Clock::time_point now{};
    std::chrono::milliseconds slept{0};
    std::multimap<std::chrono::milliseconds, std::function<void()>> scheduled;
};
