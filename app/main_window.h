#pragma once
// The main window: its own lines (message, error, clock second), the status area's layout and its
// paint.
//
// The status area shows the engine, the feed and the simulator link as each of them publishes its
// status; every paint takes one StatusView of them. Any thread may invalidate one of the fixed bands
// after a change; only the window thread paints. The message and error lines are written and read
// under statusMutex only (setText / text, and the status line), and the paint copies them under it.

#include "engine/base/engine_status.h"
#include "feed/feed_state.h"
#include "platform/ui/canvas.h"
#include "platform/ui/ui.h"
#include "simlink/sim_link.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// Colours of the status area.
namespace colour {
inline constexpr Rgb red{255, 0, 0};
inline constexpr Rgb lightBlue{153, 204, 255};
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb limeGreen{50, 205, 50};
inline constexpr Rgb yellow{255, 255, 0};
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb grey{160, 160, 160};
} // namespace colour

// ---- The layout of the status area ------------------------------------------------------------------
//
// Every position and colour the paint uses. The status area has one font (the window's), so a text is
// placed by its top-left corner alone. Where a colour depends on a state the paint chooses it; the
// anchor keeps the one it has most of the time.

struct TextAnchor {
    int x = 0;
    int y = 0;
    Rgb colour;
};

struct FilledRect {
    Rect rect;
    Rgb colour;
};

struct LineAnchor {
    Point a;
    Point b;
};

// The colour rule of a label of the controls band.
enum class LabelRule : std::uint8_t {
    plain,            // black
    yellowWhenOn,     // the label's setting on: yellow, else black
    yellowWhenOff,    // the label's setting off: yellow, else black
    greyWhenOff,      // the label's setting off: grey, else black
    greyWhenDisabled, // the label's control disabled: grey, else black
    yellowWhileBusy,  // a static parking calculation busy: yellow, else black
    maxParkOrMaxLive, // its own selection set: black; only the other one set: yellow; neither: red
};

// What a label's rule reads.
enum class LabelSource : std::uint8_t {
    none,
    scanLiveries,
    scanAirports,
    lightAircraft,
    helicopters,
    highPerfAircraft,
    aerowinx,
    guidChanges,
    autoRange,
    airborneOnly,
    maxPark,
    maxLive,
    straightPushBacksOnly,
    initialLoadOnly,
};

struct LabelAnchor {
    std::string_view text;
    int x = 0;
    int y = 0;
    LabelRule rule = LabelRule::plain;
    LabelSource source = LabelSource::none;
};

struct PaintAnchors {
    // The bands and the white lines between them.
    std::array<FilledRect, 5> bands{{
        {{0, 0, 880, 28}, colour::black},
        {{0, 28, 880, 112}, colour::black},
        {{0, 112, 880, 392}, colour::lightBlue},
        {{0, 392, 880, 448}, colour::black},
        {{0, 448, 880, 476}, colour::limeGreen},
    }};
    std::array<LineAnchor, 4> whiteLines{{
        {{0, 28}, {880, 28}},
        {{0, 113}, {880, 113}},
        {{0, 449}, {880, 449}},
        {{0, 392}, {880, 392}},
    }};
    // The black grid of the controls band.
    std::array<LineAnchor, 8> gridLines{{
        {{0, 140}, {880, 140}},
        {{0, 168}, {642, 168}},
        {{0, 196}, {642, 196}},
        {{0, 224}, {642, 224}},
        {{0, 252}, {642, 252}},
        {{0, 280}, {642, 280}},
        {{0, 308}, {880, 308}},
        {{642, 140}, {642, 308}},
    }};

    // Title band.
    TextAnchor version{3, 7, colour::limeGreen};
    TextAnchor productName{390, 7, colour::limeGreen};
    TextAnchor tagline{632, 7, colour::limeGreen};

    // Connection and counts band: the simulator on the left, RealTraffic on the right of the boxes.
    Rect simBox{397, 30, 425, 112};
    TextAnchor simLabel{398, 63, colour::limeGreen};
    TextAnchor simulatorLine{5, 35, colour::limeGreen};     // "MSFS" until connected, then the box's colour
    TextAnchor userAircraft{5, 63, colour::limeGreen};      // the box's colour, yellow for an unknown model
    TextAnchor liveryCount{5, 91, colour::limeGreen};       // "...": red
    TextAnchor simAddonCount{141, 91, colour::limeGreen};   // "...": yellow
    TextAnchor thirdPartyCount{278, 91, colour::limeGreen}; // "...": yellow
    Rect rtBox{425, 30, 453, 112};
    TextAnchor rtLabel{430, 63, colour::limeGreen};
    LineAnchor rtBoxEdge{{425, 29}, {425, 112}};
    TextAnchor realTrafficLine{458, 35, colour::limeGreen};
    TextAnchor weather{458, 63, colour::limeGreen}; // yellow without data
    TextAnchor traffic{458, 91, colour::limeGreen}; // yellow without data
    TextAnchor qnh{642, 63, colour::limeGreen};
    TextAnchor live{642, 91, colour::limeGreen};

    // Controls band: the texts that come and go beside the labels.
    TextAnchor tbloNotice{323, 175, colour::red};
    TextAnchor callsignChoice{476, 259, colour::black};
    TextAnchor renewalCountdown{5, 343, colour::black};

    // Parking block: two rows.
    TextAnchor parkAirport{5, 399, colour::limeGreen}; // yellow until the park airport's stands are read
    TextAnchor parkedFile{85, 399, colour::limeGreen};
    TextAnchor markers{370, 399, colour::limeGreen};
    TextAnchor quality{430, 399, colour::limeGreen};
    TextAnchor reservedStand{571, 399, colour::limeGreen}; // red when it is no stand of the airport
    TextAnchor updates{748, 399, colour::limeGreen};
    TextAnchor stands{5, 427, colour::limeGreen};
    TextAnchor parkedLive{111, 427, colour::limeGreen};
    TextAnchor liveFit{249, 427, colour::limeGreen};
    TextAnchor statics{430, 427, colour::limeGreen};
    TextAnchor pendingStatics{500, 427, colour::yellow};
    TextAnchor staticFit{571, 427, colour::limeGreen};
    TextAnchor maxPark{708, 427, colour::limeGreen};

    // Message band: the message on green, the error on red, both in yellow.
    Rect messageBand{0, 448, 880, 476};
    TextAnchor messageLine{3, 455, colour::yellow};
};

inline constexpr PaintAnchors paintAnchors{};

// The fixed labels of the controls band, in drawing order.
inline constexpr auto controlLabels = std::to_array<LabelAnchor>({
    {"Scan for liveries", 25, 147, LabelRule::yellowWhenOn, LabelSource::scanLiveries},
    {"Automatic:", 237, 147},
    {"Prioritize", 556, 147},
    {"Stay on top", 768, 147},
    {"Scan for addon airports", 25, 175, LabelRule::yellowWhenOn, LabelSource::scanAirports},
    {"Nav lights", 768, 175},
    {"Max aircraft matching depth", 5, 203},
    {"Optional:", 258, 203},
    {"Light aircraft", 343, 203, LabelRule::greyWhenDisabled, LabelSource::lightAircraft},
    {"Helicopters", 450, 203, LabelRule::greyWhenDisabled, LabelSource::helicopters},
    {"FighterJets", 556, 203, LabelRule::greyWhenDisabled, LabelSource::highPerfAircraft},
    {"Aerowinx", 672, 203, LabelRule::yellowWhenOn, LabelSource::aerowinx},
    {"GUID changes", 768, 203, LabelRule::yellowWhenOff, LabelSource::guidChanges},
    {"Traffic injection", 5, 231},
    {"Radius:", 163, 231},
    {"nm, or", 270, 231},
    {"Auto range", 343, 231},
    {"Ah:", 430, 231, LabelRule::greyWhenOff, LabelSource::autoRange},
    {"ft", 536, 231, LabelRule::greyWhenOff, LabelSource::autoRange},
    {"AirOnly", 592, 231, LabelRule::yellowWhenOn, LabelSource::airborneOnly},
    {"Block callsign:", 5, 259},
    {"Collision avoidance", 5, 287},
    {"User ground", 237, 287},
    {"User air", 343, 287},
    {"Live X parked", 450, 287},
    {"Airport parking", 5, 315, LabelRule::yellowWhileBusy},
    {"Max park (static+live):", 171, 315, LabelRule::maxParkOrMaxLive, LabelSource::maxPark},
    {"Max live (park incl):", 401, 315, LabelRule::maxParkOrMaxLive, LabelSource::maxLive},
    {"Straight push backs only", 672, 315, LabelRule::greyWhenOff, LabelSource::straightPushBacksOnly},
    {"Destination:", 137, 343},
    {"Range:", 303, 343},
    {"nm", 403, 343},
    {"Height above gnd:", 440, 343},
    {"ft", 646, 343},
    {"ILO", 25, 371, LabelRule::yellowWhenOn, LabelSource::initialLoadOnly},
    {"Week", 91, 371},
    {"Soft", 171, 371},
    {"Target: ", 264, 371},
    {"%", 378, 371},
    {"Max fit:", 506, 371},
    {"hrs", 632, 371},
});

// ---- What the status area shows -------------------------------------------------------------------

// What the paint and the counts refresh need from modules that the window does not own. app wires
// them at start-up; the defaults show nothing.
struct WindowHooks {
    // The scenery scan collected add-on airports that the maker does not know yet.
    std::function<bool()> tbloCollected;
    // A park airport is loaded.
    std::function<bool()> parkAirportLoaded;
    // The RT_traffic_week parameter of the park airport's file (0 when absent).
    std::function<std::int32_t()> rtTrafficWeek;
    // Counted by the traffic engine on the worker thread: active live aircraft not parked, parked live
    // aircraft and static aircraft (the engine publishes them in its status and also refreshes the two
    // average fits).
    struct AircraftCounts {
        std::uint64_t live = 0;
        std::uint64_t parkedLive = 0;
        std::uint64_t statics = 0;
    };
    std::function<AircraftCounts()> countAircraft;
};
WindowHooks& gf_windowHooks();
void gf_resetWindowHooks();

// One paint's view of the program: the status values of the engine, the feed and the simulator link,
// each copied under its own lock, and the few values of the run that no module publishes.
struct StatusView {
    EngineStatusValue engine;
    FeedStatusValue feed;
    SimLinkStatusValue sim;
    // The run has not started the feed yet: the "RT" box stays black.
    bool feedStarting = true;
    std::uint64_t liveryCount = 0;
    std::uint64_t simAddonAirportCount = 0;
    std::uint64_t thirdPartyAirportCount = 0;
    bool tbloCollected = false;
    bool parkAirportLoaded = false;
    std::int32_t rtTrafficWeek = 0;
    // A static parking calculation is busy.
    bool staticParkingBusy = false;

    // "# updates": while a parking calculation is busy, the picks of its stand plan not placed yet; else
    // the stand updates since the stands were last saved.
    std::int32_t updateCount() const;
};

// Takes the view (any thread).
StatusView gf_statusView();

class MainWindow {
public:
    MainWindow();
    virtual ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Guards the message and error lines and messageSecond.
    mutable std::mutex statusMutex;

    // Write them with setText (or under statusMutex), read them with text().
    std::string messageLine;
    std::string errorLine;

    void setText(std::string MainWindow::*field, std::string_view value);
    std::string text(std::string MainWindow::*field) const;

    std::atomic<std::int32_t> clockSecond{0};
    std::atomic<std::int32_t> messageSecond{0}; // written under statusMutex

    // The whole status-area paint.
    void paint(Canvas& canvas) const;

    // Back to the state of a new window (tests).
    void resetForTests();
};

extern MainWindow mainWindow;

// Invalidates one band of the main window (any thread).
void gf_invalidate(const UiRect& band);

// Draws one UTF-8 text; invalid UTF-8 is logged and not drawn.
void gf_textOut(Canvas& canvas, int x, int y, std::string_view text, Rgb colour);

// After the window position settings were set (at the end, or after reading parameters.xml): a
// coordinate at its range's minimum or maximum (a minimised window's position) gets its previous value
// back, clamped, and is saved.
void gf_restoreWindowPosition(std::int32_t previousX, std::int32_t previousY);

// Asks the traffic engine for its counts (worker thread) and repaints the bands whose counts changed.
void gf_updateAircraftCounts();

// The third text of the title band.
inline constexpr std::string_view windowTagline = "live traffic for MSFS";
// The notice shown while the scenery scan has collected unknown add-on airports.
inline constexpr std::string_view tbloNotice = "Please send tblo.zip (button tblo) to the maker";

struct WindowHandlers;
// Fills the window's handlers for the controls, the paint and the commands.
void gf_addMainWindowHandlers(WindowHandlers& handlers);
