#pragma once
// Calls that core makes into modules above it. Each hook has a plain default; the program wires them
// at start-up, before other threads run. Tests set them and call gf_resetCoreHooks afterwards.

#include <cstdint>
#include <functional>
#include <string_view>

// The status line. Default: nothing shown; the text is logged (unless stopping) when `log` is set.
void gf_showMessage(std::string_view text, bool log);
// The red error line. Default: nothing shown; logged as "Error {}" unless stopping.
void gf_showError(std::string_view text);

struct CoreHooks {
    std::function<void(std::string_view text, bool log)> showMessage;
    std::function<void(std::string_view text)> showError;
    // True while the chosen simulator is MSFS 2020 (default true).
    std::function<bool()> simulatorIs2020;
    // The RANDOM setting (default true).
    std::function<bool()> randomEnabled;
    // The traffic time source: the feed time of the latest traffic datagram (Unix seconds, 0 until the
    // first) and whether the RealTraffic peer is the professional edition. Defaults: 0 and false.
    std::function<double()> feedTime;
    std::function<bool()> professionalPeer;
    // The computer's clock in Unix seconds (default: the system clock).
    std::function<std::int64_t()> clock;
};

// The hooks in use. Write them only at start-up (or in a test before the code under test runs).
CoreHooks& gf_coreHooks();
// Back to the defaults.
void gf_resetCoreHooks();
