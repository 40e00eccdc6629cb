#include "engine/static/park_airports.h"

#include "engine/base/engine_status.h"
#include "engine/base/stands.h"
#include "engine/stands/conflicts.h"
#include "engine/static/static_parking_state.h"
#include "simlink/sim_link.h"

#include "core/file_io.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/strings.h"
#include "core/textfile.h"
#include "feed/udp_readers.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/park_airport.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view parkAirportsFileName = "my_park_airports.txt";

// The copy of the first entry for other threads, and a stand the link kept for it.
struct FirstEntryCopy {
    std::string code;
    std::string stand;
    Lalo pos;
    bool listed = false;
    std::string parkAirport; // the park airport's code when published
    bool standKept = false;  // the link changed the stand; the worker has not taken it yet
};
std::mutex firstEntryMutex;
FirstEntryCopy firstEntry;
std::atomic<bool> keptStandWaiting{false};
// The file is rewritten by the worker and by the link's thread: one save at a time.
std::mutex saveMutex;

std::string_view lf_plural(std::size_t count) {
    return count == 1 ? "" : "s";
}

// One line of my_park_airports.txt: "CODE" or "CODE,stand". A stand id that the plain form cannot hold
// (a comma, a quote, a control character, blanks at either end) is written in double quotes, with
// \" for a quote, \\ for a backslash and \xHH for a control character: "CODE,"B\"12"".
struct ParkLine {
    enum class Kind { empty, entry, wrongSyntax } kind = Kind::empty;
    std::string code;
    std::string stand;
};

bool lf_needsQuotes(std::string_view stand) {
    if (stand.empty()) return false;
    if (gf_trim(stand).size() != stand.size()) return true;
    return std::any_of(stand.begin(), stand.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == ',' || c == '"' || u < 0x20 || u == 0x7f;
    });
}

std::string lf_quoteStand(std::string_view stand) {
    std::string text = "\"";
    for (const char c : stand) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (u < 0x20 || u == 0x7f) {
            text += fmt::format("\\x{:02x}", u);
        } else {
            text += c;
        }
    }
    return text + '"';
}

// The quoted form back to the id; empty when it is not one.
std::optional<std::string> lf_unquoteStand(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::nullopt;
    std::string stand;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') return std::nullopt;
        if (c != '\\') {
            stand += c;
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const char next = text[++i];
        if (next == '"' || next == '\\') {
            stand += next;
        } else if (next == 'x' && i + 3 < text.size()) {
            unsigned value = 0;
            const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
            if (error != std::errc{} || end != text.data() + i + 3) return std::nullopt;
            stand += static_cast<char>(value);
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return stand;
}

// Splits a line the way the reader takes it.
ParkLine lf_parseParkLine(std::string_view line) {
    ParkLine parsed;
    const auto comma = line.find(',');
    parsed.code = gf_trim(line.substr(0, comma));
    if (comma == std::string_view::npos) {
        parsed.kind = parsed.code.empty() ? ParkLine::Kind::empty : ParkLine::Kind::entry;
        return parsed;
    }
    parsed.kind = ParkLine::Kind::entry;
    const std::string rest = gf_trim(line.substr(comma + 1));
    if (!rest.empty() && rest.front() == '"') {
        if (auto stand = lf_unquoteStand(rest))
            parsed.stand = std::move(*stand);
        else
            parsed.kind = ParkLine::Kind::wrongSyntax;
    } else if (rest.find(',') != std::string::npos) {
        parsed.kind = ParkLine::Kind::wrongSyntax;
    } else {
        parsed.stand = rest;
    }
    return parsed;
}

// The line of an airport, its stand quoted when the plain form cannot hold it.
std::string lf_parkLineText(const std::string& code, const std::string& stand) {
    if (stand.empty()) return code;
    return code + "," + (lf_needsQuotes(stand) ? lf_quoteStand(stand) : stand);
}

bool lf_isListed(const std::string& code) {
    return std::any_of(parkAirport.parkAirports.begin(), parkAirport.parkAirports.end(),
                       [&](const ParkAirportEntry& entry) { return entry.code == code; });
}

// The entries of the text file; false when it names an unknown airport or cannot be read.
bool lf_readParkAirportsFile() {
    const fs::path path = os::inWorkingFolder(myParkAirportsPath);
    if (!fs::exists(path)) {
        gf_log(fmt::format("{} not found", path_to_utf8(path)));
        return true;
    }
    TextFile file(path);
    const TextFile::Result read = file.readLines();
    if (std::holds_alternative<TextFile::Error>(read)) {
        gf_logError(fmt::format("{} could not be read", path_to_utf8(path)));
        return false;
    }
    bool result = true;
    std::set<std::string> seen;
    for (const std::string& line : file.lines) {
        ParkLine parsed = lf_parseParkLine(line);
        if (parsed.kind == ParkLine::Kind::empty) continue;
        if (parsed.kind == ParkLine::Kind::wrongSyntax) {
            gf_logError(fmt::format("{}:{} wrong syntax, skipped", parkAirportsFileName, line));
            continue;
        }
        const std::string& code = parsed.code;
        if (seen.contains(code)) {
            gf_logError(fmt::format("{}:{} double, skipped", parkAirportsFileName, code));
            continue;
        }
        const Airport* airport = gf_findAirport(code);
        if (airport == nullptr) {
            gf_showMessage(fmt::format("airport {} is unknown", code), true);
            result = false;
            continue;
        }
        parkAirport.parkAirports.push_back({code, std::move(parsed.stand), {airport->lat, airport->lon}, 0});
        seen.insert(code);
    }
    if (!parkAirport.parkAirports.empty()) {
        gf_log(fmt::format("{} park airport{} read from '{}'", parkAirport.parkAirports.size(),
                           lf_plural(parkAirport.parkAirports.size()), parkAirportsFileName));
        if (parkAirport.parkAirports.size() > parkAirportWarnCount)
            gf_showMessage(
                fmt::format("Warning: There are a lot of airports ({}), that will cost Skyloom much cpu "
                            "time and may cause stutters",
                            parkAirport.parkAirports.size()),
                true);
    }
    return result;
}

// The airports with a file of their own in my_thirdparty that the text file does not name. A folder that
// is not there holds none.
void lf_addThirdpartyAirports() {
    const fs::path folder = os::inWorkingFolder(myThirdpartyFolder);
    if (!fs::exists(folder)) return;
    std::size_t added = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string code = path_to_utf8(entry.path().stem());
        if (lf_isListed(code)) continue;
        const Airport* airport = gf_findAirport(code);
        if (airport == nullptr) continue;
        parkAirport.parkAirports.push_back({code, {}, {airport->lat, airport->lon}, 0});
        ++added;
    }
    if (added > 0)
        gf_log(fmt::format("{} park airport{} added from my_thirdparty folder(-s)", added, lf_plural(added)));
}

} // namespace

bool lf_readMyParkAirports() {
    parkAirport.parkAirports.clear();
    bool result = false;
    try {
        result = lf_readParkAirportsFile();
        lf_addThirdpartyAirports();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        result = false;
    }
    gf_publishFirstParkAirport();
    return result;
}

namespace {

bool lf_saveParkAirportLine(const std::string& code, const std::string& stand) {
    std::lock_guard saving(saveMutex);
    const std::string line = lf_parkLineText(code, stand);
    const fs::path path = os::inWorkingFolder(myParkAirportsPath);

    std::vector<std::string> lines;
    std::string done;
    std::error_code exists;
    if (!fs::exists(path, exists)) {
        lines.push_back(line);
        done = fmt::format("{} created with {}", parkAirportsFileName, line);
    } else {
        // A file that is there but cannot be read is left as it is rather than replaced by one line.
        TextFile file(path);
        if (std::holds_alternative<TextFile::Error>(file.readLines())) {
            gf_logError(fmt::format("{} could not be read, {} not saved", path_to_utf8(path), line));
            return false;
        }
        // Only the first line of an airport is read; later ones are doubles the reader skips. They go:
        // sorted before the first, one of them would take its place at the next read. Every other
        // line stays as it is.
        std::set<std::string> seen;
        bool replaced = false;
        for (std::string& l : file.lines) {
            const ParkLine parsed = lf_parseParkLine(l);
            if (parsed.kind == ParkLine::Kind::entry) {
                if (!seen.insert(parsed.code).second) continue;
                if (parsed.code == code) {
                    lines.push_back(line);
                    replaced = true;
                    continue;
                }
            }
            lines.push_back(std::move(l));
        }
        if (replaced) {
            done = fmt::format("{}:{} updated stand", parkAirportsFileName, line);
        } else {
            lines.insert(lines.begin(), line);
            done = fmt::format("{}:{} new entry", parkAirportsFileName, line);
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::string content;
    for (const std::string& l : lines) {
        content += l;
        content += '\n';
    }
    std::error_code error;
    if (!gf_writeFileAtomically(path, content, &error)) {
        gf_logError(fmt::format("{} could not be written ({}), {} not saved", path_to_utf8(path),
                                error.message(), line));
        return false;
    }
    gf_log(done);
    return true;
}

} // namespace

bool gf_saveMyParkAirport() {
    if (parkAirport.parkAirports.empty()) return false;
    return lf_saveParkAirportLine(parkAirport.parkAirports.front().code,
                                  parkAirport.parkAirports.front().stand);
}

void gf_setDestinationParkAirport(const std::string& code, const Lalo& position) {
    const auto found = std::find_if(parkAirport.parkAirports.begin(), parkAirport.parkAirports.end(),
                                    [&](const ParkAirportEntry& entry) { return entry.code == code; });
    if (found != parkAirport.parkAirports.end()) {
        parkAirport.parkAirports.splice(parkAirport.parkAirports.begin(), parkAirport.parkAirports, found);
        gf_publishFirstParkAirport();
        return;
    }
    parkAirport.parkAirports.push_front({code, {}, position, 0});
    gf_saveMyParkAirport();
    gf_publishFirstParkAirport();
}

bool gf_setParkAirport(const std::string& code) {
    const Airport* airport = gf_findAirport(code);
    const auto repaint = [] {
        if (const auto& hook = gf_engineHooks().repaintStatus) hook();
    };
    if (airport == nullptr) {
        engineStatus.setParkAirportText({});
        repaint();
        return false;
    }
    parkAirport.choose(*airport);
    trafficReader.setParkAirport(airport->code, {airport->lat, airport->lon}, airport->alt);
    const std::string displayName = gf_airportDisplayName(*airport);
    gf_log(fmt::format("\nThe park airport is {}", displayName));
    engineStatus.setParkAirportText(displayName);
    repaint();
    gf_publishFirstParkAirport();
    return true;
}

bool gf_checkParkAirports(bool checkStand, std::string& message) {
    if (!lf_readMyParkAirports()) return false;
    if (checkStand && userOnGroundKnown.load() && !staticParkingState.busy.load() &&
        !parkAirport.parkAirports.empty() && !parkAirportCode.empty() &&
        parkAirport.parkAirports.front().code == parkAirportCode && gf_userStandName().empty() &&
        !parkAirport.parkAirports.front().stand.empty() &&
        parkAirport.parkAirports.front().stand != parkAirport.reservedStandName) {
        const std::string& stand = parkAirport.parkAirports.front().stand;
        message =
            fmt::format("reserved stand changed from '{}' to '{}'", parkAirport.reservedStandName, stand);
        for (ParkPos& p : parkPositions)
            if (!parkAirport.reservedStandName.empty() && p.id == parkAirport.reservedStandName)
                p.blocked = false;
        parkAirport.reservedStandName = stand;
        gf_clearReservedStand(parkAirport.reservedStandName);
        bool found = false;
        for (ParkPos& p : parkPositions)
            if (p.id == parkAirport.reservedStandName) {
                p.blocked = true;
                found = true;
            }
        engineStatus.setReservedStandText(parkAirport.reservedStandName);
        engineStatus.reservedStandOk = found;
        if (const auto& hook = gf_engineHooks().repaintStatus) hook();
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}

namespace {

// Worker, under firstEntryMutex: a stand the link kept goes into the list first.
void lf_takeKeptStandLocked() {
    if (!firstEntry.standKept) return;
    firstEntry.standKept = false;
    if (!parkAirport.parkAirports.empty() && parkAirport.parkAirports.front().code == firstEntry.code)
        parkAirport.parkAirports.front().stand = firstEntry.stand;
}

} // namespace

void gf_publishFirstParkAirport() {
    std::lock_guard lock(firstEntryMutex);
    lf_takeKeptStandLocked();
    if (parkAirport.parkAirports.empty()) {
        firstEntry.code.clear();
        firstEntry.stand.clear();
        firstEntry.listed = false;
    } else {
        firstEntry.code = parkAirport.parkAirports.front().code;
        firstEntry.stand = parkAirport.parkAirports.front().stand;
        firstEntry.pos = parkAirport.parkAirports.front().pos;
        firstEntry.listed = true;
    }
    firstEntry.parkAirport = parkAirportCode;
}

std::optional<Lalo> gf_firstParkAirportPosition() {
    std::lock_guard lock(firstEntryMutex);
    if (!firstEntry.listed) return std::nullopt;
    return firstEntry.pos;
}

void gf_keepUserStand(const std::string& stand) {
    std::string code;
    {
        std::lock_guard lock(firstEntryMutex);
        if (!firstEntry.listed || firstEntry.code != firstEntry.parkAirport || stand.empty() ||
            firstEntry.stand == stand)
            return;
        firstEntry.stand = stand;
        firstEntry.standKept = true;
        code = firstEntry.code;
        keptStandWaiting = true;
    }
    lf_saveParkAirportLine(code, stand);
}

void gf_takeKeptUserStand() {
    if (!keptStandWaiting.exchange(false)) return;
    std::lock_guard lock(firstEntryMutex);
    lf_takeKeptStandLocked();
}

void gf_resetParkAirportsForTests() {
    parkAirport.parkAirports.clear();
    std::lock_guard lock(firstEntryMutex);
    firstEntry = FirstEntryCopy{};
    keptStandWaiting = false;
}
