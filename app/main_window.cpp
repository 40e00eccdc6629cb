#include "app/main_window.h"

#include "app/commands.h"
#include "app/control_setters.h"
#include "app/controls.h"
#include "app/run_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"
#include "engine/static/static_parking_state.h"
#include "platform/ui/window_host.h"
#include "platform/ui/wx_canvas.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>

MainWindow mainWindow;

namespace {

WindowHooks& lf_hooks() {
    static WindowHooks hooks;
    return hooks;
}

template <class R> R lf_ask(const std::function<R()>& hook, R otherwise) {
    return hook ? hook() : otherwise;
}

void lf_text(Canvas& c, const TextAnchor& anchor, std::string_view text) {
    gf_textOut(c, anchor.x, anchor.y, text, anchor.colour);
}

void lf_text(Canvas& c, const TextAnchor& anchor, std::string_view text, Rgb colour) {
    gf_textOut(c, anchor.x, anchor.y, text, colour);
}

// The aircraft counts of the last refresh, kept only to repaint a band when its counts change.
struct {
    std::atomic<std::uint64_t> live{0};
    std::atomic<std::uint64_t> parkedLive{0};
    std::atomic<std::uint64_t> statics{0};
} lastCounts;

// The message and error lines of one paint, copied under the status mutex.
struct PaintLines {
    std::string message;
    std::string error;
};

// ---- The bands, one function each ----

void lf_paintFrame(Canvas& c) {
    const PaintAnchors& a = paintAnchors;
    for (const FilledRect& band : a.bands)
        c.fillRect(band.rect, band.colour);
    for (const LineAnchor& l : a.whiteLines)
        c.line(l.a, l.b, colour::white);
    lf_text(c, a.version, fmt::format("Version {}", gf_programVersion.toString()));
    lf_text(c, a.productName, gf_productName);
    lf_text(c, a.tagline, windowTagline);
    for (const LineAnchor& l : a.gridLines)
        c.line(l.a, l.b, colour::black);
}

void lf_paintSimulator(Canvas& c, const StatusView& v) {
    using namespace colour;
    const PaintAnchors& a = paintAnchors;
    const SimLinkStatusValue& sim = v.sim;
    const Rgb simBox = sim.simConnected && sim.simRunning && !sim.userAircraftText.empty() ? limeGreen
                       : sim.simConnected                                                  ? yellow
                                                                                           : red;
    c.fillRect(a.simBox, simBox);
    lf_text(c, a.simLabel, "Sim");
    if (sim.simConnected) {
        std::string line = sim.simulatorText;
        if (!sim.userStandText.empty()) line += ", user stand " + sim.userStandText;
        lf_text(c, a.simulatorLine, line, simBox);
        lf_text(c, a.userAircraft, sim.userAircraftText, sim.wingSpanKnown ? simBox : yellow);
    } else {
        lf_text(c, a.simulatorLine, "MSFS");
    }
    const auto count = [&](const TextAnchor& at, std::string_view label, std::uint64_t n, Rgb zeroColour) {
        if (n == 0)
            lf_text(c, at, fmt::format("{}: ...", label), zeroColour);
        else
            lf_text(c, at, fmt::format("{}: {}", label, n));
    };
    count(a.liveryCount, "# liveries", v.liveryCount, red);
    count(a.simAddonCount, "# simaddon", v.simAddonAirportCount, yellow);
    count(a.thirdPartyCount, "# thirdp", v.thirdPartyAirportCount, yellow);
}

void lf_paintRealTraffic(Canvas& c, const StatusView& v) {
    using namespace colour;
    const PaintAnchors& a = paintAnchors;
    const FeedStatusValue& feed = v.feed;
    const bool connected = feed.realTrafficConnected;
    const Rgb rtBox = v.feedStarting                                     ? black
                      : connected && feed.trafficStatus == readerFlowing ? limeGreen
                      : connected                                        ? yellow
                                                                         : red;
    c.fillRect(a.rtBox, rtBox);
    lf_text(c, a.rtLabel, "RT");
    const auto readerColour = [](ReaderStatus s) { return s == readerFlowing ? limeGreen : yellow; };
    if (connected) {
        lf_text(c, a.realTrafficLine, feed.realTrafficText);
        if (feed.qnhStatus != readerStopped) lf_text(c, a.weather, "Weather", readerColour(feed.qnhStatus));
        if (feed.trafficStatus != readerStopped)
            lf_text(c, a.traffic, "Traffic", readerColour(feed.trafficStatus));
    }
    c.line(a.rtBoxEdge.a, a.rtBoxEdge.b, black);
    if (!connected) return;
    if (feed.qnhStatus != readerStopped && feed.qnh > 0)
        lf_text(c, a.qnh, fmt::format("qnh: {:4}", feed.qnh));
    if (feed.trafficStatus != readerStopped)
        lf_text(c, a.live, fmt::format("live: {:3}", v.engine.liveCount));
}

bool lf_sourceOn(LabelSource source) {
    switch (source) {
    case LabelSource::scanLiveries:
        return SCAN_LIVERIES.value.load();
    case LabelSource::scanAirports:
        return SCAN_AIRPORTS.value.load();
    case LabelSource::lightAircraft:
        return gf_controlEnabled(LIGHT_AIRCRAFT.controlId);
    case LabelSource::helicopters:
        return gf_controlEnabled(HELICOPTERS.controlId);
    case LabelSource::highPerfAircraft:
        return gf_controlEnabled(HIGH_PERF_AIRCRAFT.controlId);
    case LabelSource::aerowinx:
        return AEROWINX.value.load();
    case LabelSource::guidChanges:
        return GUID_CHANGES.value.load();
    case LabelSource::autoRange:
        return AUTO_RANGE.value.load();
    case LabelSource::airborneOnly:
        return AIRBORNE_ONLY.value.load();
    case LabelSource::maxPark:
        return MAX_PARK_SEL.value.load() != 0;
    case LabelSource::maxLive:
        return MAX_LIVE_SEL.value.load() != 0;
    case LabelSource::straightPushBacksOnly:
        return STRAIGHT_PBS_ONLY.value.load();
    case LabelSource::initialLoadOnly:
        return INITIAL_LOAD_ONLY.value.load();
    case LabelSource::none:
        break;
    }
    return false;
}

Rgb lf_labelColour(const LabelAnchor& label, const StatusView& v) {
    using namespace colour;
    const bool on = lf_sourceOn(label.source);
    switch (label.rule) {
    case LabelRule::plain:
        return black;
    case LabelRule::yellowWhenOn:
        return on ? yellow : black;
    case LabelRule::yellowWhenOff:
        return on ? black : yellow;
    case LabelRule::greyWhenOff:
    case LabelRule::greyWhenDisabled:
        return on ? black : grey;
    case LabelRule::yellowWhileBusy:
        return v.staticParkingBusy ? yellow : black;
    case LabelRule::maxParkOrMaxLive: {
        const LabelSource other =
            label.source == LabelSource::maxPark ? LabelSource::maxLive : LabelSource::maxPark;
        return on ? black : lf_sourceOn(other) ? yellow : red;
    }
    }
    return black;
}

void lf_paintControls(Canvas& c, const StatusView& v) {
    const PaintAnchors& a = paintAnchors;
    for (const LabelAnchor& label : controlLabels)
        gf_textOut(c, label.x, label.y, label.text, lf_labelColour(label, v));
    if (v.tbloCollected) lf_text(c, a.tbloNotice, tbloNotice);
    if (!v.engine.callsignChoiceText.empty() && !CALLSIGN_2_OBJECTID.value().empty())
        lf_text(c, a.callsignChoice, v.engine.callsignChoiceText);
    if (!v.parkAirportLoaded || v.staticParkingBusy) return;
    if (INITIAL_LOAD_ONLY.value.load()) {
        lf_text(c, a.renewalCountdown, "(no next ... )");
    } else if (const std::int32_t minutes = v.engine.renewalMinutes; minutes >= 1 && minutes <= 19) {
        lf_text(c, a.renewalCountdown, fmt::format("(next in {} min)", minutes));
    }
}

// The park airport's first row: its files, markers, quality, reserved stand and updates.
void lf_paintParkingFiles(Canvas& c, const StatusView& v) {
    const PaintAnchors& a = paintAnchors;
    const EngineStatusValue& e = v.engine;
    lf_text(c, a.parkedFile,
            fmt::format(" {}, {}{}, wk={}", e.parkedFileText, e.airportFileText,
                        e.handmadeAirportFile ? " (h)" : "", v.rtTrafficWeek));
    if (e.softMark || e.weekMark)
        lf_text(c, a.markers, e.softMark && e.weekMark ? "*WS*" : e.softMark ? "*S*" : "*W*");
    lf_text(c, a.quality, fmt::format("qf: {}", e.qualityText));
    if (!e.reservedStandText.empty())
        lf_text(c, a.reservedStand, fmt::format("reserved stand: {}", e.reservedStandText),
                e.reservedStandOk ? colour::limeGreen : colour::red);
    lf_text(c, a.updates, fmt::format("# updates: {:4}", v.updateCount()));
}

// The second row: the stands and the aircraft parked on them.
void lf_paintParkingCounts(Canvas& c, const StatusView& v) {
    const PaintAnchors& a = paintAnchors;
    const EngineStatusValue& e = v.engine;
    lf_text(c, a.stands, fmt::format("# stands: {:3}", e.standCount));
    lf_text(c, a.parkedLive, fmt::format("parked live: {:3}", e.parkedLiveCount));
    if (e.liveMeanHours > 0.0f)
        lf_text(c, a.liveFit, fmt::format("average fit: {}", gf_float2string(e.liveMeanHours)));
    if (e.maxParkCount > 0) {
        lf_text(c, a.statics, fmt::format("static: {:3}", e.staticCount));
        if (e.pendingStaticCount != 0)
            lf_text(c, a.pendingStatics, fmt::format(" ({})", e.pendingStaticCount));
        if (!e.weekMark && e.staticMeanHours > 0.0f)
            lf_text(c, a.staticFit, fmt::format("average fit: {}", gf_float2string(e.staticMeanHours)));
    }
    lf_text(c, a.maxPark,
            e.maxParkCount != 0 ? fmt::format("max park: {:3} (={} %)", e.maxParkCount, e.maxParkPercent)
                                : std::string("no max park live"));
}

void lf_paintParking(Canvas& c, const StatusView& v) {
    if (v.engine.parkAirportText.empty()) return;
    const bool fileRead = v.engine.parkedFileRead;
    lf_text(c, paintAnchors.parkAirport, v.engine.parkAirportText,
            fileRead ? colour::limeGreen : colour::yellow);
    if (!fileRead) return;
    lf_paintParkingFiles(c, v);
    lf_paintParkingCounts(c, v);
}

void lf_paintMessage(Canvas& c, const PaintLines& lines) {
    const PaintAnchors& a = paintAnchors;
    if (lines.error.empty()) {
        c.fillRect(a.messageBand, colour::limeGreen);
        if (!lines.message.empty()) lf_text(c, a.messageLine, lines.message);
    } else {
        c.fillRect(a.messageBand, colour::red);
        lf_text(c, a.messageLine, lines.error);
    }
}

} // namespace

WindowHooks& gf_windowHooks() {
    return lf_hooks();
}
void gf_resetWindowHooks() {
    lf_hooks() = WindowHooks{};
}

std::int32_t StatusView::updateCount() const {
    const std::uint64_t count = staticParkingBusy ? engine.standPlanCount : engine.standUpdateCount;
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

StatusView gf_statusView() {
    const WindowHooks& hooks = lf_hooks();
    StatusView v;
    v.engine = engineStatus.value();
    v.feed = feedStatus.value();
    v.sim = simLinkStatus.value();
    v.feedStarting = feedStarting.load();
    v.liveryCount = liveryCount.load();
    v.simAddonAirportCount = simAddonAirportCount.load();
    v.thirdPartyAirportCount = thirdPartyAirportCount.load();
    v.tbloCollected = lf_ask(hooks.tbloCollected, false);
    v.parkAirportLoaded = lf_ask(hooks.parkAirportLoaded, false);
    v.rtTrafficWeek = lf_ask(hooks.rtTrafficWeek, 0);
    v.staticParkingBusy = staticParkingState.busy.load();
    return v;
}

MainWindow::MainWindow() = default;

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
        messageLine.clear();
        errorLine.clear();
        messageSecond = 0;
    }
    clockSecond = 0;
    for (auto* count : {&lastCounts.live, &lastCounts.parkedLive, &lastCounts.statics})
        count->store(0);
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
    PaintLines lines;
    {
        std::lock_guard lock(statusMutex);
        lines = PaintLines{messageLine, errorLine};
    }
    const StatusView view = gf_statusView();
    lf_paintFrame(c);
    lf_paintSimulator(c, view);
    lf_paintRealTraffic(c, view);
    lf_paintControls(c, view);
    lf_paintParking(c, view);
    lf_paintMessage(c, lines);
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
    if (lastCounts.live.exchange(counts.live) != counts.live) gf_invalidate(uiCountsBand);
    const bool parkedChanged = lastCounts.parkedLive.exchange(counts.parkedLive) != counts.parkedLive;
    if (lastCounts.statics.exchange(counts.statics) != counts.statics || parkedChanged)
        gf_invalidate(uiParkingBlock);
}

void gf_addMainWindowHandlers(WindowHandlers& handlers) {
    handlers.createControls = [](WxMainFrame& frame) { gf_createControls(frame); };
    handlers.paint = [](wxDC& dc) {
        WxCanvas canvas(dc);
        mainWindow.paint(canvas);
    };
    handlers.command = [](const UiCommand& command) { return gf_handleCommand(command); };
}
