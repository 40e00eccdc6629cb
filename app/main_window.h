#pragma once
// The main window's painted state and the paint of its status area.
//
// Any thread may change a field and then invalidate one of the fixed bands; only the window thread
// paints. Counters and flags are atomics with one writer each. The texts are written and read under
// statusMutex only (setText / text), and the paint copies them under that mutex before drawing.

#include "platform/ui/canvas.h"
#include "platform/ui/ui.h"

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

// What the paint and the counts refresh need from modules that the window does not own. app wires
// them at start-up; the defaults show nothing.
struct WindowHooks {
    // The scenery scan collected add-on airports that the maker does not know yet.
    std::function<bool()> tbloCollected;
    // A park airport is loaded.
    std::function<bool()> parkAirportLoaded;
    // The RT_traffic_week parameter of the park airport's file (0 when absent).
    std::function<std::int32_t()> rtTrafficWeek;
    // The name of the reserved stand ("" when there is none).
    std::function<std::string()> reservedStandName;
    // Counted by the traffic engine on the worker thread: active live aircraft not parked, parked live
    // aircraft and static aircraft (the engine also refreshes the two average fits).
    struct AircraftCounts {
        std::uint64_t live = 0;
        std::uint64_t parkedLive = 0;
        std::uint64_t statics = 0;
    };
    std::function<AircraftCounts()> countAircraft;
};
WindowHooks& gf_windowHooks();
void gf_resetWindowHooks();

class MainWindow {
public:
    MainWindow();
    virtual ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Guards the texts below (the message and error lines included).
    mutable std::mutex statusMutex;

    // Texts. Write them with setText (or under statusMutex), read them with text().
    std::string messageLine;
    std::string errorLine;
    std::string userAircraftTitle;
    std::string parkAirportText;
    std::string parkedFileText;
    std::string airportFileText;
    std::string qualityText;
    std::string simulatorText;
    std::string realTrafficText;
    std::string userStand;
    std::string callsignChoiceText;

    void setText(std::string MainWindow::*field, std::string_view value);
    std::string text(std::string MainWindow::*field) const;

    std::atomic<float> staticAverageFit{-1.0f};
    std::atomic<float> liveAverageFit{-1.0f};

    std::atomic<std::uint64_t> liveCount{0};
    std::atomic<std::uint64_t> simAddonAirportCount{0};
    std::atomic<std::uint64_t> thirdPartyAirportCount{0};
    std::atomic<std::uint64_t> liveryCount{0};
    std::atomic<std::uint64_t> parkedLiveCount{0};
    std::atomic<std::uint64_t> staticCount{0};
    std::atomic<std::uint64_t> standCount{0};

    const std::int32_t parkingBlockY = 399;
    std::atomic<std::int32_t> maxParkPercent{0};
    std::atomic<std::int32_t> maxParkCount{0};
    std::atomic<std::int32_t> qnh{0};
    std::atomic<std::int32_t> staticRenewalMinutes{0};
    std::atomic<std::int32_t> clockSecond{0};
    std::atomic<std::int32_t> messageSecond{0}; // written under statusMutex
    std::atomic<std::int32_t> updateCount{0};

    std::atomic<std::uint64_t> pendingStaticCount{0};

    std::atomic<bool> handmadeAirportFile{false};
    std::atomic<bool> feedStarting{true};
    std::atomic<bool> realTrafficConnected{false};
    std::atomic<bool> parkedFileRead{false};
    std::atomic<bool> simConnected{false};
    std::atomic<bool> simRunning{false};
    std::atomic<bool> userModelKnown{true};
    std::atomic<bool> softMarker{false};
    std::atomic<bool> weekMarker{false};
    std::atomic<bool> reservedStandOk{false};
    std::atomic<bool> ready{false};

    // Reader statuses: 1 connected, 2 no data, 3 stopped.
    std::atomic<std::int32_t> trafficStatus{3};
    std::atomic<std::int32_t> qnhStatus{3};

    // The whole status-area paint.
    void paint(Canvas& canvas) const;

    // Back to the state of a new window (tests, and the run reset for the parts it covers).
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

// Refreshes liveCount, parkedLiveCount and staticCount from the traffic engine (worker thread).
void gf_updateAircraftCounts();

// The third text of the title band.
inline constexpr std::string_view windowTagline = "live traffic for MSFS";
// The notice shown while the scenery scan has collected unknown add-on airports.
inline constexpr std::string_view tbloNotice = "Please send tblo.zip (button tblo) to the maker";

struct WindowHandlers;
// Fills the window's handlers for the controls, the paint and the commands.
void gf_addMainWindowHandlers(WindowHandlers& handlers);
