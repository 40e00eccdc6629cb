#pragma once
// A main window without a screen: settings at their defaults in a temporary per-user folder, the
// controls attached to a recording Ui, every window-side global back to its start.

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/status_line.h"
#include "core/hooks.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "platform/ui/ui.h"
#include "tests/app/status_fixture.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root / "user");
        std::filesystem::create_directories(root / "work" / "output");
        gf_setUserFolder(root / "user");
        os::setWorkingFolder(root / "work");
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        gf_resetWindowHooks();
        gf_resetCommandsForTests();
        gf_resetControlSettersForTests();
        mainWindow.resetForTests();
        resetModuleStatusForTests();
        gf_resetRunStateForTests();
        runControl.reset();
        gf_setUi(&ui);
        gf_attachControls();
    }
    void TearDown() override {
        gf_setUi(nullptr);
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        gf_setUserFolder({});
        os::resetWorkingFolder();
    }

    // The text of parameters.xml ("" when there is none).
    std::string parametersFile() const {
        std::ifstream in(root / "user" / "parameters.xml");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Whether parameters.xml holds the entry name=value.
    bool saved(const std::string& name, const std::string& value) const {
        return parametersFile().find("name=\"" + name + "\" value=\"" + value + "\"") != std::string::npos;
    }

    std::string message() const { return mainWindow.text(&MainWindow::messageLine); }

    static UiCommand button(const ControlPart& part) { return {part.controlId, UiCommand::Kind::button}; }
    static UiCommand tick(const ControlPart& part, bool on) {
        return {part.controlId, UiCommand::Kind::checkBox, on};
    }
    static UiCommand choose(const ControlPart& part, int index, std::string text = {}) {
        return {part.controlId, UiCommand::Kind::choice, false, index, std::move(text)};
    }
    static UiCommand enter(const ControlPart& part, std::string text) {
        return {part.controlId, UiCommand::Kind::textEnter, false, -1, std::move(text)};
    }

    testing_support::TempFolder tempFolder{"skyloom-window"};
    const std::filesystem::path root = tempFolder.path();
    RecordingUi ui;
};
