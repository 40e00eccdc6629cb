#include "app/main_window.h"

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/controls.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"
#include "engine/static/static_parking_state.h"
#include "platform/ui/window_host.h"
#include "platform/ui/wx_canvas.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

MainWindow mainWindow;

namespace {

WindowHooks& lf_hooks() {
    static WindowHooks hooks;
    return hooks;
}

constexpr std::array<std::array<Point, 2>, 7> gridLines{{
    {{{0, 140}, {880, 140}}},
    {{{0, 168}, {642, 168}}},
    {{{0, 196}, {642, 196}}},
    {{{0, 224}, {642, 224}}},
    {{{0, 252}, {642, 252}}},
    {{{0, 280}, {642, 280}}},
    {{{0, 308}, {880, 308}}},
}};

// The texts of one paint, copied under the status mutex.
struct PaintTexts {
    std::string messageLine, errorLine, userAircraftTitle, parkAirportText, parkedFileText, airportFileText,
        qualityText, simulatorText, realTrafficText, userStand, callsignChoiceText;
};

Rect toRect(const UiRect& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

} // namespace

WindowHooks& gf_windowHooks() {
    return lf_hooks();
}
void gf_resetWindowHooks() {
    lf_hooks() = WindowHooks{};
}

MainWindow::MainWindow() {
    ready.store(true);
}

MainWindow::~MainWindow() = default;

void MainWindow::setText(std::string MainWindow::*field, std::string_view value) {
    std::lock_guard lock(statusMutex);
    (this->*field).assign(value);
}

std::string MainWindow::text(std::string MainWindow::*field) const {
    std::lock_guard lock(statusMutex);
    return this->*field;
}

void MainWindow::resetForTests() {
    {
        std::lock_guard lock(statusMutex);
        for (auto field :
             {&MainWindow::messageLine, &MainWindow::errorLine, &MainWindow::userAircraftTitle,
              &MainWindow::parkAirportText, &MainWindow::parkedFileText, &MainWindow::airportFileText,
              &MainWindow::qualityText, &MainWindow::simulatorText, &MainWindow::realTrafficText,
              &MainWindow::userStand, &MainWindow::callsignChoiceText})
            (this->*field).clear();
        messageSecond = 0;
    }
    staticAverageFit = -1.0f;
    liveAverageFit = -1.0f;
    for (auto* c : {&liveCount, &simAddonAirportCount, &thirdPartyAirportCount, &liveryCount,
                    &parkedLiveCount, &staticCount, &standCount, &pendingStaticCount})
        c->store(0);
    for (auto* v : {&maxParkPercent, &maxParkCount, &qnh, &staticRenewalMinutes, &clockSecond, &updateCount})
        v->store(0);
    for (auto* f : {&handmadeAirportFile, &realTrafficConnected, &parkedFileRead, &simConnected, &simRunning,
                    &softMarker, &weekMarker, &reservedStandOk})
        f->store(false);
    feedStarting = true;
    userModelKnown = true;
    trafficStatus = 3;
    qnhStatus = 3;
}

void gf_invalidate(const UiRect& band) {
    gf_ui().invalidate(band);
}

void gf_textOut(Canvas& canvas, int x, int y, std::string_view text, Rgb colour) {
    try {
        (void)utf8_to_wide(text); // the same check the screen's conversion makes, with a reason
    } catch (const std::exception& e) {
        gf_logUnlessStopping(fmt::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
        return;
    }
    canvas.textOut(x, y, text, colour);
}

void MainWindow::paint(Canvas& c) const {
    using namespace colour;
    PaintTexts t;
    {
        std::lock_guard lock(statusMutex);
        t = PaintTexts{messageLine,     errorLine,       userAircraftTitle, parkAirportText,
                       parkedFileText,  airportFileText, qualityText,       simulatorText,
                       realTrafficText, userStand,       callsignChoiceText};
    }
    const auto& hooks = lf_hooks();

    // 1. Bands and white lines.
    c.fillRect({0, 0, 880, 28}, black);
    c.fillRect(toRect(uiCountsBand), black);
    c.fillRect(toRect(uiControlsBand), lightBlue);
    c.fillRect(toRect(uiParkingBlock), black);
    c.fillRect(toRect(uiMessageBand), limeGreen);
    c.line({0, 28}, {880, 28}, white);
    c.line({0, 113}, {880, 113}, white);
    c.line({0, 449}, {880, 449}, white);
    c.line({0, 392}, {880, 392}, white);

    // 2. Title band.
    gf_textOut(c, 3, 7, fmt::format("Version {}", gf_programVersion.toString()), limeGreen);
    gf_textOut(c, 390, 7, gf_productName, limeGreen);
    gf_textOut(c, 632, 7, windowTagline, limeGreen);

    // 3. Grid of the controls band.
    for (const auto& g : gridLines)
        c.line(g[0], g[1], black);
    c.line({642, 140}, {642, 308}, black);

    // 4. Connection and counts band.
    const bool simConn = simConnected.load();
    const Rgb simBox = simConn && simRunning.load() && !t.userAircraftTitle.empty() ? limeGreen
                       : simConn                                                    ? yellow
                                                                                    : red;
    c.fillRect({397, 30, 425, 112}, simBox);
    gf_textOut(c, 398, 63, "Sim", limeGreen);
    if (simConn) {
        std::string line = t.simulatorText;
        if (!t.userStand.empty()) line += ", user stand " + t.userStand;
        gf_textOut(c, 5, 35, line, simBox);
        gf_textOut(c, 5, 63, t.userAircraftTitle, userModelKnown.load() ? simBox : yellow);
    } else {
        gf_textOut(c, 5, 35, "MSFS", limeGreen);
    }
    const auto countText = [&](int x, std::string_view label, std::uint64_t n, Rgb zeroColour) {
        if (n == 0)
            gf_textOut(c, x, 91, fmt::format("{}: ...", label), zeroColour);
        else
            gf_textOut(c, x, 91, fmt::format("{}: {}", label, n), limeGreen);
    };
    countText(5, "# liveries", liveryCount.load(), red);
    countText(141, "# simaddon", simAddonAirportCount.load(), yellow);
    countText(278, "# thirdp", thirdPartyAirportCount.load(), yellow);

    const bool rtConn = realTrafficConnected.load();
    const std::int32_t trafficSt = trafficStatus.load();
    const std::int32_t qnhSt = qnhStatus.load();
    const Rgb rtBox = feedStarting.load()        ? black
                      : rtConn && trafficSt == 1 ? limeGreen
                      : rtConn                   ? yellow
                                                 : red;
    c.fillRect({425, 30, 453, 112}, rtBox);
    gf_textOut(c, 430, 63, "RT", limeGreen);
    if (rtConn) {
        gf_textOut(c, 458, 35, t.realTrafficText, limeGreen);
        if (qnhSt != 3) gf_textOut(c, 458, 63, "Weather", qnhSt == 1 ? limeGreen : yellow);
        if (trafficSt != 3) gf_textOut(c, 458, 91, "Traffic", trafficSt == 1 ? limeGreen : yellow);
    }
    c.line({425, 29}, {425, 112}, black);

    // 5. QNH and live count.
    if (rtConn) {
        if ((qnhSt == 1 || qnhSt == 2) && qnh.load() > 0)
            gf_textOut(c, 642, 63, fmt::format("qnh: {:4}", qnh.load()), limeGreen);
        if (trafficSt == 1 || trafficSt == 2)
            gf_textOut(c, 642, 91, fmt::format("live: {:3}", liveCount.load()), limeGreen);
    }

    // 6. Labels of the controls.
    const auto label = [&](std::string_view text, int x, int row, Rgb colour = black) {
        gf_textOut(c, x, row, text, colour);
    };
    const bool busy = staticParkingState.busy.load();
    label("Scan for liveries", 25, 147, SCAN_LIVERIES.value.load() ? yellow : black);
    label("Automatic:", 237, 147);
    label("Prioritize", 556, 147);
    label("Stay on top", 768, 147);
    label("Scan for addon airports", 25, 175, SCAN_AIRPORTS.value.load() ? yellow : black);
    if (hooks.tbloCollected && hooks.tbloCollected()) label(tbloNotice, 323, 175, red);
    label("Nav lights", 768, 175);
    label("Max aircraft matching depth", 5, 203);
    label("Optional:", 258, 203);
    label("Light aircraft", 343, 203, gf_controlEnabled(LIGHT_AIRCRAFT.controlId) ? black : grey);
    label("Helicopters", 450, 203, gf_controlEnabled(HELICOPTERS.controlId) ? black : grey);
    label("FighterJets", 556, 203, gf_controlEnabled(HIGH_PERF_AIRCRAFT.controlId) ? black : grey);
    label("Aerowinx", 672, 203, AEROWINX.value.load() ? yellow : black);
    label("GUID changes", 768, 203, GUID_CHANGES.value.load() ? black : yellow);
    label("Traffic injection", 5, 231);
    label("Radius:", 163, 231);
    label("nm, or", 270, 231);
    label("Auto range", 343, 231);
    const Rgb autoColour = AUTO_RANGE.value.load() ? black : grey;
    label("Ah:", 430, 231, autoColour);
    label("ft", 536, 231, autoColour);
    label("AirOnly", 592, 231, AIRBORNE_ONLY.value.load() ? yellow : black);
    label("Block callsign:", 5, 259);
    if (!t.callsignChoiceText.empty() && !CALLSIGN_2_OBJECTID.value().empty())
        label(t.callsignChoiceText, 476, 259);
    label("Collision avoidance", 5, 287);
    label("User ground", 237, 287);
    label("User air", 343, 287);
    label("Live X parked", 450, 287);
    label("Airport parking", 5, 315, busy ? yellow : black);
    const std::int32_t maxPark = MAX_PARK_SEL.value.load();
    const std::int32_t maxLive = MAX_LIVE_SEL.value.load();
    label("Max park (static+live):", 171, 315, maxPark != 0 ? black : maxLive != 0 ? yellow : red);
    label("Max live (park incl):", 401, 315, maxLive != 0 ? black : maxPark != 0 ? yellow : red);
    label("Straight push backs only", 672, 315, STRAIGHT_PBS_ONLY.value.load() ? black : grey);
    label("Destination:", 137, 343);
    label("Range:", 303, 343);
    label("nm", 403, 343);
    label("Height above gnd:", 440, 343);
    label("ft", 646, 343);
    if (hooks.parkAirportLoaded && hooks.parkAirportLoaded() && !busy) {
        if (!INITIAL_LOAD_ONLY.value.load()) {
            const std::int32_t minutes = staticRenewalMinutes.load();
            if (minutes >= 1 && minutes <= 19) label(fmt::format("(next in {} min)", minutes), 5, 343);
        } else {
            label("(no next ... )", 5, 343);
        }
    }
    label("ILO", 25, 371, INITIAL_LOAD_ONLY.value.load() ? yellow : black);
    label("Week", 91, 371);
    label("Soft", 171, 371);
    label("Target: ", 264, 371);
    label("%", 378, 371);
    label("Max fit:", 506, 371);
    label("hrs", 632, 371);

    // 7. Parking block.
    if (!t.parkAirportText.empty()) {
        const int y0 = parkingBlockY;
        const int y1 = y0 + 28;
        const bool fileRead = parkedFileRead.load();
        gf_textOut(c, 5, y0, t.parkAirportText, fileRead ? limeGreen : yellow);
        if (fileRead) {
            const std::int32_t week = hooks.rtTrafficWeek ? hooks.rtTrafficWeek() : 0;
            gf_textOut(c, 85, y0,
                       fmt::format(" {}, {}{}, wk={}", t.parkedFileText, t.airportFileText,
                                   handmadeAirportFile.load() ? " (h)" : "", week),
                       limeGreen);
            const bool soft = softMarker.load();
            const bool wk = weekMarker.load();
            if (soft || wk) gf_textOut(c, 370, y0, soft && wk ? "*WS*" : soft ? "*S*" : "*W*", limeGreen);
            gf_textOut(c, 430, y0, fmt::format("qf: {}", t.qualityText), limeGreen);
            const std::string stand = hooks.reservedStandName ? hooks.reservedStandName() : std::string();
            if (!stand.empty())
                gf_textOut(c, 571, y0, fmt::format("reserved stand: {}", stand),
                           reservedStandOk.load() ? limeGreen : red);
            gf_textOut(c, 748, y0, fmt::format("# updates: {:4}", updateCount.load()), limeGreen);

            gf_textOut(c, 5, y1, fmt::format("# stands: {:3}", standCount.load()), limeGreen);
            gf_textOut(c, 111, y1, fmt::format("parked live: {:3}", parkedLiveCount.load()), limeGreen);
            const float liveFit = liveAverageFit.load();
            if (liveFit > 0.0f)
                gf_textOut(c, 249, y1, fmt::format("average fit: {}", gf_float2string(liveFit)), limeGreen);
            const std::int32_t maxCount = maxParkCount.load();
            if (maxCount > 0) {
                gf_textOut(c, 430, y1, fmt::format("static: {:3}", staticCount.load()), limeGreen);
                const std::uint64_t pending = pendingStaticCount.load();
                if (pending != 0) gf_textOut(c, 500, y1, fmt::format(" ({})", pending), yellow);
                const float staticFit = staticAverageFit.load();
                if (!wk && staticFit > 0.0f)
                    gf_textOut(c, 571, y1, fmt::format("average fit: {}", gf_float2string(staticFit)),
                               limeGreen);
            }
            gf_textOut(c, 708, y1,
                       maxCount != 0 ? fmt::format("max park: {:3} (={} %)", maxCount, maxParkPercent.load())
                                     : std::string("no max park live"),
                       limeGreen);
        }
    }

    // 8. Message band, from the copies taken under the status mutex.
    if (t.errorLine.empty()) {
        c.fillRect(toRect(uiMessageBand), limeGreen);
        if (!t.messageLine.empty()) gf_textOut(c, 3, 455, t.messageLine, yellow);
    } else {
        c.fillRect(toRect(uiMessageBand), red);
        gf_textOut(c, 3, 455, t.errorLine, yellow);
    }
}

void gf_restoreWindowPosition(std::int32_t previousX, std::int32_t previousY) {
    const auto restore = [](IntParameter& p, std::int32_t previous) {
        const std::int32_t v = p.value.load();
        if (v != p.min && v != p.max) return;
        p.value.store(std::clamp(previous, p.min, p.max));
        p.save();
    };
    restore(MAIN_WINDOW_X, previousX);
    restore(MAIN_WINDOW_Y, previousY);
}

void gf_updateAircraftCounts() {
    const auto& hooks = lf_hooks();
    if (!hooks.countAircraft) return;
    const WindowHooks::AircraftCounts counts = hooks.countAircraft();
    if (mainWindow.liveCount.exchange(counts.live) != counts.live) gf_invalidate(uiCountsBand);
    const bool parkedChanged = mainWindow.parkedLiveCount.load() != counts.parkedLive ||
                               mainWindow.staticCount.load() != counts.statics;
    if (parkedChanged) {
        mainWindow.parkedLiveCount = counts.parkedLive;
        mainWindow.staticCount = counts.statics;
        gf_invalidate(uiParkingBlock);
    }
}

void gf_addMainWindowHandlers(WindowHandlers& handlers) {
    handlers.createControls = [](WxMainFrame& frame) { gf_createControls(frame); };
    handlers.paint = [](wxDC& dc) {
        WxCanvas canvas(dc);
        mainWindow.paint(canvas);
    };
    handlers.command = [](const UiCommand& command) { return gf_handleCommand(command); };
}
