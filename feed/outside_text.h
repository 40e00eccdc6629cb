#pragma once
// Text that comes from outside the program (datagrams, RealTraffic's replies) on its way into the log:
// made harmless and short, and held back when one kind of line repeats too often.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// How many bytes of an outside text reach the log.
inline constexpr std::size_t outsideTextLimit = 200;

// The text with every control byte escaped (a line break as "\n", the others as "\xNN"), so that it
// stays on its line and no NUL or terminal control reaches the log; cut to at most `limit` bytes (never
// inside an escape or a UTF-8 character) and then marked with " ... ({n} bytes)", n the text's length.
std::string gf_outsideText(std::string_view text, std::size_t limit = outsideTextLimit);

// Holds back log lines of a kind beyond linesPerMinute a minute and sums up what it held back in one
// line a minute. Each kind's minute starts with its first line. Used by one thread.
class LogThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int linesPerMinute = 10;
    static constexpr std::chrono::seconds period{60};

    // True when a line of the kind may be written now; false when it is only counted.
    bool admit(std::string_view kind, Clock::time_point now);
    // The summary lines of every kind whose minute is over (all kinds when `all`), each
    // "{source}: {n} more lines like "{kind}" were not logged in the last minute"; those kinds start
    // afresh.
    std::vector<std::string> summaries(std::string_view source, Clock::time_point now, bool all = false);
    void clear() { kinds_.clear(); }

private:
    struct Kind {
        std::string name;
        Clock::time_point start;
        int written = 0;
        int held = 0;
    };
    std::vector<Kind> kinds_;
};
