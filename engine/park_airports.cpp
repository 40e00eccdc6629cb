#include "engine/park_airports.h"

#include "engine/conflicts.h"
#include "engine/engine_status.h"
#include "engine/stands.h"
#include "engine/static_parking_state.h"
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
#include <exception>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <variant>
#include <vector>

std::list<ParkAirportEntry> parkAirports;

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

bool lf_isListed(const std::string& code) {
    return std::any_of(parkAirports.begin(), parkAirports.end(),
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
        const std::vector<std::string> fields = gf_splitAndTrim(line, ',');
        if (fields.empty() || (fields.size() == 1 && fields.front().empty())) continue;
        if (fields.size() >= 3) {
            gf_logError(fmt::format("{}:{} wrong syntax, skipped", parkAirportsFileName, line));
            continue;
        }
        const std::string& code = fields.front();
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
        parkAirports.push_back(
            {code, fields.size() == 2 ? fields[1] : std::string(), {airport->lat, airport->lon}, 0});
        seen.insert(code);
    }
    if (!parkAirports.empty()) {
        gf_log(fmt::format("{} park airport{} read from '{}'", parkAirports.size(),
                           lf_plural(parkAirports.size()), parkAirportsFileName));
        if (parkAirports.size() > parkAirportWarnCount)
            gf_showMessage(
                fmt::format("Warning: There are a lot of airports ({}), that will cost Skyloom much cpu "
                            "time and may cause stutters",
                            parkAirports.size()),
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
        parkAirports.push_back({code, {}, {airport->lat, airport->lon}, 0});
        ++added;
    }
    if (added > 0)
        gf_log(fmt::format("{} park airport{} added from my_thirdparty folder(-s)", added, lf_plural(added)));
}

std::string lf_firstField(const std::string& line) {
    const std::vector<std::string> fields = gf_splitAndTrim(line, ',');
    return fields.empty() ? std::string() : fields.front();
}

} // namespace

bool lf_readMyParkAirports() {
    parkAirports.clear();
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
    const std::string line = stand.empty() ? code : fmt::format("{},{}", code, stand);
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
        lines = std::move(file.lines);
        const auto found = std::find_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return lf_firstField(l) == code; });
        if (found != lines.end()) {
            *found = line;
            done = fmt::format("{}:{} updated stand", parkAirportsFileName, line);
        } else {
            lines.insert(lines.begin(), line);
            done = fmt::format("{}:{} new entry", parkAirportsFileName, line);
        }
    }
    // Only the first line of an airport is read, later ones are doubles: they go, for sorted before the
    // saved line one of them would take its place at the next read.
    bool firstOfAirport = true;
    std::erase_if(lines, [&](const std::string& l) {
        if (lf_firstField(l) != code) return false;
        const bool later = !firstOfAirport;
        firstOfAirport = false;
        return later;
    });
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
    if (parkAirports.empty()) return false;
    return lf_saveParkAirportLine(parkAirports.front().code, parkAirports.front().stand);
}

void gf_setDestinationParkAirport(const std::string& code, const Lalo& position) {
    const auto found = std::find_if(parkAirports.begin(), parkAirports.end(),
                                    [&](const ParkAirportEntry& entry) { return entry.code == code; });
    if (found != parkAirports.end()) {
        parkAirports.splice(parkAirports.begin(), parkAirports, found);
        gf_publishFirstParkAirport();
        return;
    }
    parkAirports.push_front({code, {}, position, 0});
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
    currentParkAirport = *airport;
    parkAirportCode = airport->code;
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
    if (checkStand && userOnGroundKnown.load() && !staticParkingState.busy.load() && !parkAirports.empty() &&
        !parkAirportCode.empty() && parkAirports.front().code == parkAirportCode &&
        gf_userStandName().empty() && !parkAirports.front().stand.empty() &&
        parkAirports.front().stand != reservedStandName) {
        const std::string& stand = parkAirports.front().stand;
        message = fmt::format("reserved stand changed from '{}' to '{}'", reservedStandName, stand);
        for (ParkPos& p : parkPositions)
            if (!reservedStandName.empty() && p.id == reservedStandName) p.blocked = false;
        reservedStandName = stand;
        gf_clearReservedStand(reservedStandName);
        bool found = false;
        for (ParkPos& p : parkPositions)
            if (p.id == reservedStandName) {
                p.blocked = true;
                found = true;
            }
        engineStatus.setReservedStandText(reservedStandName);
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
    if (!parkAirports.empty() && parkAirports.front().code == firstEntry.code)
        parkAirports.front().stand = firstEntry.stand;
}

} // namespace

void gf_publishFirstParkAirport() {
    std::lock_guard lock(firstEntryMutex);
    lf_takeKeptStandLocked();
    if (parkAirports.empty()) {
        firstEntry.code.clear();
        firstEntry.stand.clear();
        firstEntry.listed = false;
    } else {
        firstEntry.code = parkAirports.front().code;
        firstEntry.stand = parkAirports.front().stand;
        firstEntry.pos = parkAirports.front().pos;
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
    parkAirports.clear();
    std::lock_guard lock(firstEntryMutex);
    firstEntry = FirstEntryCopy{};
    keptStandWaiting = false;
}
