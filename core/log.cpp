#include "core/log.h"

#include "core/generations.h"
#include "core/run_control.h"
#include "core/timeutil.h"
#include "core/version.h"
#include "platform/os/folders.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include <fmt/format.h>

namespace {

constexpr std::string_view logFileName = "Log.txt";
constexpr std::string_view continuationIndent = "          ";

std::mutex logMutex;
std::ofstream logStream;

constexpr std::string_view errorPrefix = "==> ";

bool lf_isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Outside text (callsigns, registrations, file contents, folder names) reaches the log inside the
// program's own lines, so the log makes every line safe for every caller: a control byte is written
// escaped ("\n" for a line break, "\xNN" for the others) and cannot end a line or start a forged one.
// The program's blank lines stay: line breaks at the very start and the very end of the text, unless the
// text after the leading ones starts like a line the program writes itself (an error or a continuation
// line): such a start can only be outside text.
std::string lf_safeLine(std::string_view text) {
    std::size_t lead = 0;
    while (lead < text.size() && text[lead] == '\n')
        ++lead;
    std::size_t end = text.size();
    while (end > lead && text[end - 1] == '\n')
        --end;
    const std::string_view body = text.substr(lead, end - lead);
    if (lead != 0 && (body.starts_with(errorPrefix) || body.starts_with(continuationIndent))) lead = 0;
    std::string line(text.substr(0, lead));
    line.reserve(text.size() + 16);
    for (std::size_t i = lead; i < end; ++i) {
        const char c = text[i];
        if (!lf_isControl(c))
            line.push_back(c);
        else if (c == '\n')
            line += "\\n";
        else
            line += fmt::format("\\x{:02X}", static_cast<unsigned char>(c));
    }
    line.append(text.substr(end));
    return line;
}

void writeLine(std::string_view prefix, std::string_view rawText, bool flush) {
    std::string safe;
    std::string_view text = rawText;
    if (std::any_of(rawText.begin(), rawText.end(), lf_isControl)) {
        safe = lf_safeLine(rawText);
        text = safe;
    }
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

thread_local LogCapture* capture = nullptr;

} // namespace

bool LogCapture::keep(LogLine::Kind kind, std::string_view text) {
    if (capture == nullptr) return false;
    capture->lines_.push_back(LogLine{kind, std::string(text)});
    return true;
}

LogCapture::LogCapture() : outer_(capture) {
    capture = this;
}

LogCapture::~LogCapture() {
    capture = outer_;
}

std::vector<LogLine> LogCapture::take() {
    return std::exchange(lines_, {});
}

void gf_writeLogLines(const std::vector<LogLine>& lines) {
    for (const LogLine& line : lines) {
        switch (line.kind) {
        case LogLine::Kind::plain:
            gf_log(line.text);
            break;
        case LogLine::Kind::error:
            gf_logError(line.text);
            break;
        case LogLine::Kind::continuation:
            gf_logContinuation(line.text);
            break;
        case LogLine::Kind::flushed:
            gf_logAndFlush(line.text);
            break;
        }
    }
}

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
    if (LogCapture::keep(LogLine::Kind::plain, text)) return;
    writeLine({}, text, false);
}

void gf_logError(std::string_view text) {
    if (LogCapture::keep(LogLine::Kind::error, text)) return;
    writeLine("==> ", text, true);
}

void gf_logContinuation(std::string_view text) {
    if (LogCapture::keep(LogLine::Kind::continuation, text)) return;
    writeLine(continuationIndent, text, false);
}

void gf_logAndFlush(std::string_view text) {
    if (LogCapture::keep(LogLine::Kind::flushed, text)) return;
    writeLine({}, text, true);
}

void gf_logFlush() {
    if (capture != nullptr) return;
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
