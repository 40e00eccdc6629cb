// The paint of the status area, checked through the recording canvas.

#include "window_fixture.h"

#include "app/run_state.h"
#include "core/version.h"
#include "engine/static/static_parking_state.h"

#include <thread>

namespace {

using Op = RecordingCanvas::Op;

class PaintTest : public WindowTest {
protected:
    RecordingCanvas paint() {
        RecordingCanvas canvas;
        mainWindow.paint(canvas);
        return canvas;
    }
    // The colour of the text drawn at (x, y); fails the test when there is none.
    static Rgb colourAt(const RecordingCanvas& c, int x, int y) {
        const Op* op = c.textAt(x, y);
        EXPECT_NE(op, nullptr) << "no text at " << x << "," << y;
        return op ? op->colour : Rgb{1, 2, 3};
    }
    static std::string textAt(const RecordingCanvas& c, int x, int y) {
        const Op* op = c.textAt(x, y);
        return op ? op->text : std::string("<none>");
    }
    static Rgb fillOf(const RecordingCanvas& c, Rect r) {
        const Op* op = c.fillOf(r);
        EXPECT_NE(op, nullptr);
        return op ? op->colour : Rgb{1, 2, 3};
    }
    static constexpr Rect simBox{397, 30, 425, 112};
    static constexpr Rect rtBox{425, 30, 453, 112};
    static constexpr Rect messageBand{0, 448, 880, 476};
};

TEST_F(PaintTest, IdleWindowShowsNothingConnected) {
    const auto c = paint();
    EXPECT_EQ(fillOf(c, {0, 112, 880, 392}), colour::lightBlue);
    EXPECT_EQ(fillOf(c, simBox), colour::red);
    EXPECT_EQ(fillOf(c, rtBox), colour::black); // the feed has not started
    EXPECT_EQ(textAt(c, 5, 35), "MSFS");
    EXPECT_EQ(colourAt(c, 5, 35), colour::limeGreen);
    EXPECT_EQ(textAt(c, 5, 91), "# liveries: ...");
    EXPECT_EQ(colourAt(c, 5, 91), colour::red);
    EXPECT_EQ(textAt(c, 141, 91), "# simaddon: ...");
    EXPECT_EQ(colourAt(c, 141, 91), colour::yellow);
    EXPECT_EQ(textAt(c, 3, 7), "Version " + gf_programVersion.toString());
    EXPECT_EQ(textAt(c, 390, 7), "Skyloom");
    // Nothing of RealTraffic, nothing of the parking block, an empty green message band.
    EXPECT_FALSE(c.hasText("Weather"));
    EXPECT_EQ(c.textAt(642, 63), nullptr);
    EXPECT_EQ(c.textAt(5, 399), nullptr);
    EXPECT_EQ(c.ops().back().kind, RecordingCanvas::Kind::fill);
    EXPECT_EQ(c.ops().back().colour, colour::limeGreen);
    // Labels follow their settings: scans on by default (yellow), GUID changes on (black).
    EXPECT_EQ(colourAt(c, 25, 147), colour::yellow);
    EXPECT_EQ(colourAt(c, 768, 203), colour::black);
    EXPECT_EQ(colourAt(c, 171, 315), colour::black);
}

TEST_F(PaintTest, ConnectedWithQnhAndTraffic) {
    simLinkStatus.simConnected = true;
    simLinkStatus.simRunning = true;
    simLinkStatus.setSimulatorText("MSFS 2020");
    simLinkStatus.setUserStandText("GATE A 12");
    simLinkStatus.setUserAircraftText("Cessna 172");
    feedStarting = false;
    feedStatus.realTrafficConnected = true;
    feedStatus.setRealTrafficText("RealTraffic 10.0");
    feedStatus.trafficStatus = readerFlowing;
    feedStatus.qnhStatus = readerNoData;
    feedStatus.qnh = 1013;
    engineStatus.liveCount = 7;
    liveryCount = 1234;

    const auto c = paint();
    EXPECT_EQ(fillOf(c, simBox), colour::limeGreen);
    EXPECT_EQ(fillOf(c, rtBox), colour::limeGreen);
    EXPECT_EQ(textAt(c, 5, 35), "MSFS 2020, user stand GATE A 12");
    EXPECT_EQ(textAt(c, 5, 63), "Cessna 172");
    EXPECT_EQ(textAt(c, 5, 91), "# liveries: 1234");
    EXPECT_EQ(textAt(c, 458, 35), "RealTraffic 10.0");
    EXPECT_EQ(colourAt(c, 458, 63), colour::yellow); // QNH reader without data
    EXPECT_EQ(colourAt(c, 458, 91), colour::limeGreen);
    EXPECT_EQ(textAt(c, 642, 63), "qnh: 1013");
    EXPECT_EQ(textAt(c, 642, 91), "live:   7");
}

TEST_F(PaintTest, BoxColoursFollowTheStates) {
    simLinkStatus.simConnected = true; // connected, no user aircraft yet
    simLinkStatus.wingSpanKnown = false;
    simLinkStatus.setUserAircraftText("Unknown model");
    feedStarting = false;
    feedStatus.realTrafficConnected = true;
    feedStatus.trafficStatus = readerNoData;
    feedStatus.qnhStatus = readerFlowing;
    feedStatus.qnh = 0; // connected, but no QNH value yet
    auto c = paint();
    EXPECT_EQ(fillOf(c, simBox), colour::yellow);
    EXPECT_EQ(colourAt(c, 5, 63), colour::yellow);
    EXPECT_EQ(fillOf(c, rtBox), colour::yellow);
    EXPECT_EQ(c.textAt(642, 63), nullptr);

    feedStatus.realTrafficConnected = false;
    c = paint();
    EXPECT_EQ(fillOf(c, rtBox), colour::red);
    EXPECT_EQ(c.textAt(642, 91), nullptr);
}

TEST_F(PaintTest, ParkingBlockWithoutParkedFileShowsOnlyTheAirport) {
    engineStatus.setParkAirportText("EHAM Schiphol");
    const auto c = paint();
    EXPECT_EQ(textAt(c, 5, 399), "EHAM Schiphol");
    EXPECT_EQ(colourAt(c, 5, 399), colour::yellow);
    for (const auto& op : c.ops()) {
        if (op.kind == RecordingCanvas::Kind::text && op.at.y >= 399 && op.at.y < 448) {
            EXPECT_EQ(op.text, "EHAM Schiphol");
        }
    }
}

TEST_F(PaintTest, ParkingBlockWithParkedFile) {
    int week = 0;
    gf_windowHooks().rtTrafficWeek = [&] { return week; };
    engineStatus.setReservedStandText("G7");
    engineStatus.setParkAirportText("EHAM Schiphol");
    engineStatus.setParkedFileText("parked 2024");
    engineStatus.setAirportFileText("apf 3");
    engineStatus.setQualityText("0.8");
    engineStatus.parkedFileRead = true;
    engineStatus.handmadeAirportFile = true;
    engineStatus.softMark = true;
    engineStatus.weekMark = true;
    engineStatus.standCount = 412;
    engineStatus.parkedLiveCount = 3;
    engineStatus.liveMeanHours = 2.5f;
    engineStatus.staticMeanHours = 4.0f;
    engineStatus.maxParkCount = 120;
    engineStatus.maxParkPercent = 30;
    engineStatus.staticCount = 80;
    engineStatus.pendingStaticCount = 5;
    engineStatus.standUpdateCount = 12;
    week = 33;

    auto c = paint();
    EXPECT_EQ(colourAt(c, 5, 399), colour::limeGreen);
    EXPECT_EQ(textAt(c, 85, 399), " parked 2024, apf 3 (h), wk=33");
    EXPECT_EQ(textAt(c, 370, 399), "*WS*");
    EXPECT_EQ(textAt(c, 430, 399), "qf: 0.8");
    EXPECT_EQ(textAt(c, 571, 399), "reserved stand: G7");
    EXPECT_EQ(colourAt(c, 571, 399), colour::red);
    EXPECT_EQ(textAt(c, 748, 399), "# updates:   12");
    EXPECT_EQ(textAt(c, 5, 427), "# stands: 412");
    EXPECT_EQ(textAt(c, 111, 427), "parked live:   3");
    EXPECT_EQ(textAt(c, 249, 427), "average fit: 2.5");
    EXPECT_EQ(textAt(c, 430, 427), "static:  80");
    EXPECT_EQ(textAt(c, 500, 427), " (5)");
    EXPECT_EQ(colourAt(c, 500, 427), colour::yellow);
    EXPECT_EQ(c.textAt(571, 427), nullptr); // the week marker hides the static fit
    EXPECT_EQ(textAt(c, 708, 427), "max park: 120 (=30 %)");

    engineStatus.weekMark = false;
    engineStatus.maxParkCount = 0;
    engineStatus.pendingStaticCount = 0;
    c = paint();
    EXPECT_EQ(textAt(c, 370, 399), "*S*");
    EXPECT_EQ(textAt(c, 708, 427), "no max park live");
    EXPECT_EQ(c.textAt(430, 427), nullptr);
    EXPECT_EQ(c.textAt(571, 427), nullptr);
}

// Every anchor of the layout table is painted where the table puts it, in its colour, by a window that
// shows everything at once; every label of the controls band stands at its place.
TEST_F(PaintTest, TheWholeWindowFollowsTheAnchorTable) {
    simLinkStatus.simConnected = true;
    simLinkStatus.simRunning = true;
    simLinkStatus.wingSpanKnown = true;
    simLinkStatus.setSimulatorText("MSFS 2020");
    simLinkStatus.setUserStandText("A1");
    simLinkStatus.setUserAircraftText("A320");
    feedStarting = false;
    feedStatus.realTrafficConnected = true;
    feedStatus.setRealTrafficText("RT 10");
    feedStatus.trafficStatus = readerFlowing;
    feedStatus.qnhStatus = readerFlowing;
    feedStatus.qnh = 1020;
    liveryCount = 10;
    simAddonAirportCount = 2;
    thirdPartyAirportCount = 3;
    engineStatus.liveCount = 4;
    engineStatus.setParkAirportText("LSZH");
    engineStatus.setParkedFileText("LSZH.xml");
    engineStatus.setAirportFileText("stock");
    engineStatus.setQualityText("0.9");
    engineStatus.setReservedStandText("E12");
    engineStatus.reservedStandOk = true;
    engineStatus.parkedFileRead = true;
    engineStatus.softMark = true;
    engineStatus.standUpdateCount = 5;
    engineStatus.standCount = 120;
    engineStatus.parkedLiveCount = 6;
    engineStatus.liveMeanHours = 1.5f;
    engineStatus.maxParkCount = 30;
    engineStatus.maxParkPercent = 25;
    engineStatus.staticCount = 20;
    engineStatus.pendingStaticCount = 2;
    engineStatus.staticMeanHours = 3.0f;
    engineStatus.renewalMinutes = 7;
    engineStatus.setCallsignChoiceText("= 77");
    CALLSIGN_2_OBJECTID.setValue("SWR12");
    gf_windowHooks().tbloCollected = [] { return true; };
    gf_windowHooks().parkAirportLoaded = [] { return true; };
    gf_windowHooks().rtTrafficWeek = [] { return 49; };
    gf_windowShowMessage("hello", false);

    const auto c = paint();
    const PaintAnchors& a = paintAnchors;
    const std::pair<TextAnchor, std::string> texts[] = {
        {a.version, "Version " + gf_programVersion.toString()},
        {a.productName, "Skyloom"},
        {a.tagline, "live traffic for MSFS"},
        {a.simLabel, "Sim"},
        {a.simulatorLine, "MSFS 2020, user stand A1"},
        {a.userAircraft, "A320"},
        {a.liveryCount, "# liveries: 10"},
        {a.simAddonCount, "# simaddon: 2"},
        {a.thirdPartyCount, "# thirdp: 3"},
        {a.rtLabel, "RT"},
        {a.realTrafficLine, "RT 10"},
        {a.weather, "Weather"},
        {a.traffic, "Traffic"},
        {a.qnh, "qnh: 1020"},
        {a.live, "live:   4"},
        {a.tbloNotice, "Please send tblo.zip (button tblo) to the maker"},
        {a.callsignChoice, "= 77"},
        {a.renewalCountdown, "(next in 7 min)"},
        {a.parkAirport, "LSZH"},
        {a.parkedFile, " LSZH.xml, stock, wk=49"},
        {a.markers, "*S*"},
        {a.quality, "qf: 0.9"},
        {a.reservedStand, "reserved stand: E12"},
        {a.updates, "# updates:    5"},
        {a.stands, "# stands: 120"},
        {a.parkedLive, "parked live:   6"},
        {a.liveFit, "average fit: 1.5"},
        {a.statics, "static:  20"},
        {a.pendingStatics, " (2)"},
        {a.staticFit, "average fit: 3"},
        {a.maxPark, "max park:  30 (=25 %)"},
        {a.messageLine, "hello"},
    };
    for (const auto& [anchor, text] : texts) {
        SCOPED_TRACE(text);
        const Op* op = c.textAt(anchor.x, anchor.y);
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->text, text);
        EXPECT_EQ(op->colour, anchor.colour);
    }
    for (const LabelAnchor& label : controlLabels)
        EXPECT_TRUE(c.textAt(label.x, label.y) && c.textAt(label.x, label.y)->text == label.text)
            << label.text;
    for (const FilledRect& band : a.bands)
        EXPECT_NE(c.fillOf(band.rect), nullptr);
    EXPECT_EQ(fillOf(c, a.simBox), colour::limeGreen);
    EXPECT_EQ(fillOf(c, a.rtBox), colour::limeGreen);
    // Nothing is painted that the table does not place.
    std::size_t placed = 0;
    for (const Op& op : c.ops())
        placed += op.kind == RecordingCanvas::Kind::text;
    EXPECT_EQ(placed, std::size(texts) + controlLabels.size());
}

TEST_F(PaintTest, ErrorLineTakesTheMessageBand) {
    gf_windowShowMessage("hello", false);
    auto c = paint();
    EXPECT_EQ(textAt(c, 3, 455), "hello");
    EXPECT_EQ(colourAt(c, 3, 455), colour::yellow);

    gf_windowShowError("150: no Community folder");
    c = paint();
    EXPECT_EQ(c.ops().size() >= 2, true);
    const Op& fill = c.ops()[c.ops().size() - 2];
    EXPECT_EQ(fill.kind, RecordingCanvas::Kind::fill);
    EXPECT_EQ(fill.rect, messageBand);
    EXPECT_EQ(fill.colour, colour::red);
    EXPECT_EQ(textAt(c, 3, 455), "150: no Community folder");
}

TEST_F(PaintTest, LabelColoursFollowSettingsAndControls) {
    MAX_PARK_SEL.value = 0;
    MAX_LIVE_SEL.value = 0;
    AUTO_RANGE.value = false;
    LIGHT_AIRCRAFT.enable(false);
    STRAIGHT_PBS_ONLY.value = false;
    auto c = paint();
    EXPECT_EQ(colourAt(c, 171, 315), colour::red);
    EXPECT_EQ(colourAt(c, 401, 315), colour::red);
    EXPECT_EQ(colourAt(c, 430, 231), colour::grey);
    EXPECT_EQ(colourAt(c, 343, 203), colour::grey);
    EXPECT_EQ(colourAt(c, 450, 203), colour::black);
    EXPECT_EQ(colourAt(c, 672, 315), colour::grey);

    MAX_LIVE_SEL.value = 10;
    c = paint();
    EXPECT_EQ(colourAt(c, 171, 315), colour::yellow);
    EXPECT_EQ(colourAt(c, 401, 315), colour::black);
}

TEST_F(PaintTest, RenewalCountdownOnlyWithAParkAirportAndNoRenewal) {
    bool loaded = false;
    gf_windowHooks().parkAirportLoaded = [&] { return loaded; };
    engineStatus.renewalMinutes = 7;
    EXPECT_EQ(paint().textAt(5, 343), nullptr);
    loaded = true;
    EXPECT_EQ(textAt(paint(), 5, 343), "(next in 7 min)");
    engineStatus.renewalMinutes = 20;
    EXPECT_EQ(paint().textAt(5, 343), nullptr);
    INITIAL_LOAD_ONLY.value = true;
    EXPECT_EQ(textAt(paint(), 5, 343), "(no next ... )");
    staticParkingState.busy = true;
    EXPECT_EQ(paint().textAt(5, 343), nullptr);
    EXPECT_EQ(colourAt(paint(), 5, 315), colour::yellow);
}

TEST_F(PaintTest, InvalidUtf8IsNotDrawn) {
    engineStatus.setParkAirportText(std::string("EH\xff\xfe"));
    const auto c = paint();
    EXPECT_EQ(c.textAt(5, 399), nullptr);
}

TEST_F(PaintTest, TextsWrittenWhilePaintingAreCopiedWhole) {
    // Writers replace texts of different lengths while the window paints; every painted text must be
    // one of the written values, never a torn mix.
    const std::string a(200, 'a');
    const std::string b = "short";
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            engineStatus.setParkAirportText(i % 2 ? a : b);
        done = true;
    });
    while (!done) {
        const auto c = paint();
        if (const Op* op = c.textAt(5, 399)) {
            EXPECT_TRUE(op->text == a || op->text == b);
        }
    }
    writer.join();
}

TEST_F(PaintTest, AMinimisedWindowKeepsThePreviousPosition) {
    MAIN_WINDOW_X.value = -30000; // a minimised window reports the range's end
    MAIN_WINDOW_Y.value = 240;
    gf_restoreWindowPosition(512, 100);
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), 512);
    EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 240);
    EXPECT_TRUE(saved("MAIN_WINDOW_X", "512"));
    MAIN_WINDOW_Y.value = 30000;
    gf_restoreWindowPosition(512, 99999);
    EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 30000); // the previous value, clamped
}

TEST_F(PaintTest, AircraftCountsInvalidateOnlyOnChange) {
    WindowHooks::AircraftCounts counts{3, 1, 5};
    gf_windowHooks().countAircraft = [&] { // as the engine counts: published in its status
        engineStatus.liveCount = counts.live;
        engineStatus.parkedLiveCount = counts.parkedLive;
        engineStatus.staticCount = counts.statics;
        return counts;
    };
    gf_updateAircraftCounts();
    EXPECT_EQ(gf_statusView().engine.liveCount, 3u);
    EXPECT_EQ(gf_statusView().engine.staticCount, 5u);
    EXPECT_EQ(ui.count(RecordingUi::Kind::invalidate), 2u);
    ui.clear();
    gf_updateAircraftCounts();
    EXPECT_EQ(ui.count(RecordingUi::Kind::invalidate), 0u);
    counts.parkedLive = 2;
    gf_updateAircraftCounts();
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rect, uiParkingBlock);
}

} // namespace
