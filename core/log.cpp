#include "core/log.h"

#include "core/generations.h"
#include "core/run_control.h"
#include "core/timeutil.h"
#include "core/version.h"
#include "platform/os/folders.h"

#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

namespace {

constexpr std::string_view logFileName = "Log.txt";
constexpr std::string_view continuationIndent = "          ";

std::mutex logMutex;
std::ofstream logStream;

void writeLine(std::string_view prefix, std::string_view text, bool flush) {
    std::lock_guard lock(logMutex);
    if (!logStream.is_open()) return;
    // A failed write (a full disk) leaves the stream failed; without clearing it every later line
    // would be lost too, even once there is room again.
    logStream.clear();
    try {
        logStream.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
        logStream.write(text.data(), static_cast<std::streamsize>(text.size()));
        logStream.put('\n');
        if (flush) logStream.flush();
    } catch (...) {
        // A failing log (full disk) never stops the program.
    }
}

} // namespace

void gf_openLogFile() {
    const auto path = os::inWorkingFolder(std::filesystem::path(logFileName));
    gf_saveUpto3GenerationsOf(path);
    {
        std::lock_guard lock(logMutex);
        if (logStream.is_open()) logStream.close();
        logStream.clear();
        logStream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!logStream.is_open())
            throw std::runtime_error(fmt::format("Failed to write file {}", logFileName));
    }
    gf_log(fmt::format("{} (utc) {} version {} for {}", gf_utcTimeText(gf_utcNow()), gf_productName,
                       gf_programVersion.toString(), "MSFS 2020/2024"));
}

void gf_log(std::string_view text) {
    writeLine({}, text, false);
}

void gf_logError(std::string_view text) {
    writeLine("==> ", text, true);
}

void gf_logContinuation(std::string_view text) {
    writeLine(continuationIndent, text, false);
}

void gf_logAndFlush(std::string_view text) {
    writeLine({}, text, true);
}

void gf_logFlush() {
    std::lock_guard lock(logMutex);
    if (!logStream.is_open()) return;
    logStream.clear();
    try {
        logStream.flush();
    } catch (...) {
    }
}

void gf_logUnlessStopping(std::string_view text) {
    if (runControl.stop.load() || runControl.close.load()) return;
    gf_log(text);
}

bool gf_logIsOpen() {
    std::lock_guard lock(logMutex);
    return logStream.is_open();
}

void gf_resetLogForTests() {
    std::lock_guard lock(logMutex);
    if (logStream.is_open()) logStream.close();
    logStream.clear();
}
