// The message and error lines.

#include "window_fixture.h"

namespace {

using StatusLineTest = WindowTest;

TEST_F(StatusLineTest, AMessageExpiresAfter25Seconds) {
    mainWindow.clockSecond = 10;
    gf_windowShowMessage("hello", false);
    EXPECT_EQ(mainWindow.messageSecond.load(), 10);
    mainWindow.clockSecond = 34;
    gf_expireMessageLine();
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "hello");
    mainWindow.clockSecond = 35;
    gf_expireMessageLine();
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "");
    EXPECT_EQ(ui.calls().back().rect, uiMessageBand);
}

TEST_F(StatusLineTest, AMessageAtSecondZeroStillExpiresAndAnEmptyOneNever) {
    mainWindow.clockSecond = 0;
    gf_windowShowMessage("early", false);
    EXPECT_EQ(mainWindow.messageSecond.load(), 1);
    gf_clearMessage();
    EXPECT_EQ(mainWindow.messageSecond.load(), 0);
    mainWindow.clockSecond = 1000;
    ui.clear();
    gf_expireMessageLine();
    EXPECT_EQ(ui.count(RecordingUi::Kind::invalidate), 0u);
}

TEST_F(StatusLineTest, TheErrorLineHasPriority) {
    gf_windowShowMessage("before", false);
    gf_windowShowError("disk full");
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "");
    gf_windowShowMessage("ignored", false);
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "");
    EXPECT_EQ(mainWindow.text(&MainWindow::errorLine), "disk full");
    gf_clearError();
    gf_windowShowMessage("after", false);
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "after");
}

TEST_F(StatusLineTest, CoreHooksReachTheWindow) {
    gf_installStatusLine();
    gf_showMessage("from core", false);
    EXPECT_EQ(mainWindow.text(&MainWindow::messageLine), "from core");
    gf_showError("core error");
    EXPECT_EQ(mainWindow.text(&MainWindow::errorLine), "core error");
}

} // namespace
