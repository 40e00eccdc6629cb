#pragma once
// The program's log: one file, Log.txt, in the working folder. Every thread writes through these
// functions; each call writes one whole line under the log mutex. Before gf_openLogFile has succeeded
// every writer is a silent no-op.

#include <string>
#include <string_view>
#include <vector>

// Keeps the three previous logs as generations (Log0.txt, Log00.txt, Log000.txt), opens Log.txt in the
// working folder (truncating) and writes the header line. Throws std::runtime_error
// "Failed to write file Log.txt" when the file cannot be opened.
void gf_openLogFile();

// text + "\n"; no flush.
void gf_log(std::string_view text);
// "==> " + text + "\n", flushed before the lock is released.
void gf_logError(std::string_view text);
// ten blanks + text + "\n": a line that belongs under the line before it.
void gf_logContinuation(std::string_view text);
// as gf_log, then flush.
void gf_logAndFlush(std::string_view text);
// flush only.
void gf_logFlush();
// as gf_log, but only while neither the stop flag nor the close flag of the run control is set.
// Settings changes and status-line messages log through this rule.
void gf_logUnlessStopping(std::string_view text);

// One line as a log function above would write it: which function, and the text.
struct LogLine {
    enum class Kind { plain, error, continuation, flushed };
    Kind kind = Kind::plain;
    std::string text;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};

// While a capture lives, the lines its thread logs are kept in it instead of being written (gf_logFlush
// does nothing), so that work done away from the thread that owns the outcome hands its lines over to be
// written there, in their order. Captures nest: the innermost one keeps the lines.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // The lines kept so far; the capture goes on empty.
    std::vector<LogLine> take();
    // The log functions' first step: true when the line went to this thread's capture.
    static bool keep(LogLine::Kind kind, std::string_view text);

private:
    LogCapture* outer_;
    std::vector<LogLine> lines_;
};

// Writes kept lines as their functions write them.
void gf_writeLogLines(const std::vector<LogLine>& lines);

// True once the log is open.
bool gf_logIsOpen();

// Tests only: closes the log so that a later gf_openLogFile opens it again.
void gf_resetLogForTests();
