// The message and error lines.

#include "window_fixture.h"

#include "core/log.h"

#include <fstream>

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

namespace {

class StatusLogTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gf_openLogFile();
    }
    void TearDown() override {
        gf_resetLogForTests();
        WindowTest::TearDown();
    }
    std::string logText() { return testing_support::logText(root / "work"); }
};

TEST_F(StatusLogTest, MessagesAreLoggedWhenAskedAndNotWhileStopping) {
    gf_windowShowMessage("logged line", true);
    gf_windowShowMessage("screen only", false);
    gf_requestStop(StopReason::NewSettings, 3);
    gf_windowShowMessage("during a stop", true);
    gf_windowShowError("late error");
    const std::string log = logText();
    EXPECT_NE(log.find("logged line"), std::string::npos);
    EXPECT_EQ(log.find("screen only"), std::string::npos);
    EXPECT_EQ(log.find("during a stop"), std::string::npos);
    EXPECT_EQ(log.find("late error"), std::string::npos);
    EXPECT_EQ(mainWindow.text(&MainWindow::errorLine), "late error"); // still shown
}

TEST_F(StatusLogTest, ErrorsAreLoggedWithTheirPrefixAndEmptyingTheLineIsNot) {
    gf_windowShowError("disk full");
    gf_windowShowError("");
    const std::string log = logText();
    EXPECT_NE(log.find("Error disk full"), std::string::npos);
    EXPECT_EQ(log.find("Error \n"), std::string::npos) << log;
    EXPECT_TRUE(mainWindow.text(&MainWindow::errorLine).empty());
}

} // namespace
