// The wx frame under a display (xvfb-run): position and client size, the Ui calls from another
// thread, the program's messages, the close veto and the control keys.

#include "platform/ui/window_host.h"
#include "platform/ui/wx_frame.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr ControlKey checkKey = 0x8014;
constexpr ControlKey choiceKey = 0x8029;

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
        options.position = {150, 60};
        handlers.createControls = [this](WxMainFrame& f) {
            frame = &f;
            check = new wxCheckBox(f.surface(), f.wxIdFor(checkKey), "box", wxPoint(10, 120));
            f.registerControl(checkKey, check);
            choice = new wxChoice(f.surface(), f.wxIdFor(choiceKey), wxPoint(10, 150));
            f.registerControl(choiceKey, choice);
        };
        handlers.startRun = [this] { windowThreadCalls += std::this_thread::get_id() == windowThread; };
    }
    int run() {
        windowThread = std::this_thread::get_id();
        char name[] = "frame_test";
        char* argv[] = {name, nullptr};
        const WindowRunResult result = gf_runWindow(1, argv, options, handlers);
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }

    WindowOptions options;
    WindowHandlers handlers;
    WxMainFrame* frame = nullptr;
    wxCheckBox* check = nullptr;
    wxChoice* choice = nullptr;
    std::thread::id windowThread;
    int windowThreadCalls = 0;
};

TEST_F(FrameTest, UiCallsFromAnotherThreadReachTheControlsInOrder) {
    std::thread worker;
    handlers.shown = [&] {
        worker = std::thread([] {
            Ui& ui = gf_ui();
            ui.setCheck(checkKey, true);
            ui.enableControl(checkKey, false);
            ui.fillChoice(choiceKey, {"MSFS 2020", "MSFS 2024"}, 1);
            ui.setCheck(0x7777, true); // no such control: nothing happens
            ui.invalidate(uiCountsBand);
            ui.post(UiMessage::startRun);
            ui.post(UiMessage::storeAndQuit);
        });
    };
    handlers.storeAndQuit = [&](WindowPosition position) {
        EXPECT_EQ(position, (WindowPosition{150, 60}));
        EXPECT_EQ(frame->GetClientSize(), wxSize(uiClientWidth, uiClientHeight));
        EXPECT_TRUE(check->GetValue());
        EXPECT_FALSE(check->IsEnabled());
        EXPECT_EQ(choice->GetCount(), 2u);
        EXPECT_EQ(choice->GetSelection(), 1);
        EXPECT_EQ(windowThreadCalls, 1);
        EXPECT_LT(check->GetId(), 32767);
        EXPECT_EQ(frame->keyOf(check->GetId()), checkKey);
        return 7;
    };
    EXPECT_EQ(run(), 7);
    worker.join();
    gf_ui().post(UiMessage::storeAndQuit); // the window is gone: nothing happens
}

TEST_F(FrameTest, CloseIsVetoedAndControlsReportTheirKeys) {
    int closes = 0;
    std::vector<UiCommand> commands;
    handlers.command = [&](const UiCommand& c) {
        commands.push_back(c);
        return true;
    };
    handlers.close = [&] {
        ++closes;
        // The window is still there; the program ends it with its own message.
        wxCommandEvent click(wxEVT_CHECKBOX, check->GetId());
        click.SetEventObject(check);
        click.SetInt(1);
        check->ProcessWindowEvent(click);
        gf_ui().post(UiMessage::storeAndQuit);
    };
    std::string numeric, ctype;
    handlers.shown = [&] {
        numeric = std::setlocale(LC_NUMERIC, nullptr);
        ctype = std::setlocale(LC_CTYPE, nullptr);
        gf_ui().post(UiMessage::close);
    };
    setenv("LC_ALL", "C.UTF-8", 1); // GTK takes the locale from the environment
    handlers.storeAndQuit = [](WindowPosition) { return 0; };
    EXPECT_EQ(run(), 0);
    unsetenv("LC_ALL");
    EXPECT_EQ(numeric, "C");
    EXPECT_EQ(ctype, "C");
    EXPECT_EQ(closes, 1);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].key, checkKey);
    EXPECT_EQ(commands[0].kind, UiCommand::Kind::checkBox);
    EXPECT_TRUE(commands[0].checked);
}

} // namespace
