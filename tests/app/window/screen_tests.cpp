// The real window under a display (Xvfb in the test runs): all controls exist, in their places, and
// none overlaps another.

#include "window_fixture.h"

#include "platform/ui/wx_frame.h"

#include <wx/odcombo.h>
#include <wx/window.h>

#include <cstdlib>

namespace {

using ScreenTest = WindowTest;

TEST_F(ScreenTest, TheWindowOpensWithAllControlsAndNoneOverlaps) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    gf_setUi(nullptr); // the window brings its own Ui
    WindowHandlers handlers;
    gf_addMainWindowHandlers(handlers);
    WxMainFrame* frame = nullptr;
    const auto create = handlers.createControls;
    handlers.createControls = [&](WxMainFrame& f) {
        frame = &f;
        create(f);
    };
    struct Placed {
        ControlKey key;
        wxRect rect;
    };
    std::vector<Placed> placed;
    std::size_t found = 0;
    handlers.shown = [&] {
        for (const auto& def : gf_controlSpecs()) {
            wxWindow* w = frame->findControl(def.key);
            if (!w) continue;
            ++found;
            placed.push_back({def.key, w->GetRect()});
        }
        gf_ui().post(UiMessage::storeAndQuit);
    };
    handlers.storeAndQuit = [](WindowPosition) { return 0; };
    char arg0[] = "window_screen_tests";
    char* argv[] = {arg0, nullptr};
    const WindowRunResult result = gf_runWindow(1, argv, WindowOptions{}, handlers);
    ASSERT_TRUE(result.started);

    EXPECT_EQ(gf_controlSpecs().size(), 42u);
    EXPECT_EQ(found, 42u);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const wxRect& r = placed[i].rect;
        EXPECT_GE(r.GetTop(), 112) << placed[i].key; // inside the controls band
        EXPECT_LE(r.GetBottom(), 391) << placed[i].key;
        for (std::size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(r.Intersects(placed[j].rect))
                << std::hex << placed[i].key << " overlaps " << placed[j].key;
    }
    // The settings got their controls.
    EXPECT_NE(RANGE.control(), nullptr);
    EXPECT_NE(FLUSH_STATIC_BUTTON.control(), nullptr);
}

} // namespace

namespace {

TEST_F(ScreenTest, AListSelectionReachesTheProgramWithItsText) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    gf_setUi(nullptr);
    WindowHandlers handlers;
    gf_addMainWindowHandlers(handlers);
    WxMainFrame* frame = nullptr;
    const auto create = handlers.createControls;
    handlers.createControls = [&](WxMainFrame& f) {
        frame = &f;
        create(f);
    };
    std::vector<UiCommand> commands;
    handlers.command = [&](const UiCommand& c) {
        commands.push_back(c);
        return true;
    };
    handlers.shown = [&] {
        gf_fillChoiceLists(); // queued to the window thread, ahead of the selection below
        frame->CallAfter([&] {
            auto* combo = dynamic_cast<wxOwnerDrawnComboBox*>(frame->findControl(SIM_CHOICE.controlId));
            ASSERT_NE(combo, nullptr);
            // What the list's popup sends when the user picks the second entry.
            wxCommandEvent event(wxEVT_COMBOBOX, combo->GetId());
            event.SetEventObject(combo);
            event.SetInt(1);
            combo->GetEventHandler()->ProcessEvent(event);
            gf_ui().post(UiMessage::storeAndQuit);
        });
    };
    handlers.storeAndQuit = [](WindowPosition) { return 0; };
    char arg0[] = "window_screen_tests";
    char* argv[] = {arg0, nullptr};
    ASSERT_TRUE(gf_runWindow(1, argv, WindowOptions{}, handlers).started);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].key, SIM_CHOICE.controlId);
    EXPECT_EQ(commands[0].kind, UiCommand::Kind::choice);
    EXPECT_EQ(commands[0].selection, 1);
    EXPECT_EQ(commands[0].text, "MSFS 2024");
}

} // namespace
