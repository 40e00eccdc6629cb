#include "scan/airport_files.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/strings.h"
#include "platform/os/folders.h"
#include "refdata/airport_files.h"
#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/made_files.h"
#include "refdata/type_lookups.h"
#include "scan/path_keys.h"
#include "scan/publishers.h"
#include "scan/scan_folders.h"
#include "scan/scan_state.h"
#include "scan/scan_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

void lf_notePublisher(const fs::path& file, bool hasPublisher);

bool lf_is2020() {
    const auto& hook = gf_coreHooks().simulatorIs2020;
    return hook ? hook() : true;
}

fs::path lf_folderFor(const std::string& publisher) {
    return os::inWorkingFolder(publisher == "simaddon" ? mySimaddonFolder : myThirdpartyFolder);
}

// A file of the user's for this code in the folder (the link or the airport file), if any. A file
// this scan asked to write is the program's, also while it is still being written.
// What the scan found at its start answers without a look at the disk: a file that was not there, or
// that the program made and nobody changed, is not the user's. (The writer replaces no file of the
// user's that came during the scan.)
std::optional<fs::path> lf_usersFileFor(const fs::path& folder, const std::string& code) {
    for (const fs::path& file : {folder / gf_xmlFileNameOf(code), folder / gf_txtFileNameOf(code)}) {
        if (gf_writtenByThisScan(file)) continue;
        if (const auto atStart = gf_stateAtScanStart(file)) {
            if (*atStart == MadeFiles::State::unchanged || *atStart == MadeFiles::State::missing) continue;
            return file;
        }
        if (gf_scanMadeFiles().isUsersFile(file)) return file;
    }
    return std::nullopt;
}

bool lf_leftToTheUser(const fs::path& folder, const std::string& code) {
    const auto users = lf_usersFileFor(folder, code);
    if (!users) return false;
    gf_addToScanLog(
        fmt::format("{}{} is left alone: {} is your own file", "===> ", code, path_to_utf8(*users)));
    return true;
}

// The folders known to exist during this scan.
std::mutex foldersMutex;
std::set<fs::path::string_type, std::less<>> foldersThere;

void lf_createFolder(const fs::path& folder) {
    {
        std::lock_guard lock(foldersMutex);
        if (foldersThere.contains(folder.native())) return;
    }
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (ec) throw fs::filesystem_error("exists", folder, ec);
    if (!exists && !fs::create_directories(folder, ec) && ec)
        throw fs::filesystem_error("create_directory", folder, ec);
    std::lock_guard lock(foldersMutex);
    foldersThere.insert(folder.native());
}

void lf_writeLink(const fs::path& folder, const std::string& code, const std::string& reference) {
    lf_createFolder(folder);
    const fs::path file = folder / gf_txtFileNameOf(code);
    gf_noteScanWrite(file);
    gf_submitScanWrite(code, [file, content = reference + "\n"] {
        if (!gf_writeScanFile(file, content))
            gf_addToScanLog(fmt::format("{}Writing {} did not succeed", "===> ", path_to_utf8(file)));
    });
}

std::optional<std::string> lf_simaddonArchiveRef(const ApfRecord& record) {
    if (!dbase.simaddons20.contains(record.code)) {
        gf_addToScanLog(fmt::format("{} does not exist as simaddon", record.code));
        return std::nullopt;
    }
    return "archive/simaddon/" + record.code + ".xml";
}

std::optional<std::string> lf_thirdpartyArchiveRef(const std::string& publisher, const ApfRecord& record,
                                                   std::uint32_t& archivedCount) {
    const auto& lists = lf_is2020() ? dbase.thirdparties20 : dbase.thirdparties24;
    for (const ThirdPartyPublisher& entry : lists) {
        if (entry.pub != publisher) continue;
        for (const std::string& airport : entry.arpts)
            if (gf_numberAfterPrefix("thirdparty", record.code, archivedCount, airport))
                return gf_thirdpartyReference(publisher, record.code);
    }
    gf_addToScanLog(fmt::format("thirdparty {} {} does not exist", publisher, record.code));
    return std::nullopt;
}

// The list of stands of the last airport file of this thread, kept for the next one: a writer that
// gave the memory back after each file would have the system unmap and map it again every time.
thread_local std::vector<ParkPos> spareStands;
// Likewise the text of the thread's last airport file.
thread_local std::string spareText;

// The stands in the order of their ids (a file's ids are unique): the order is found on pointers, and
// each stand is built once in its place. The sort compares a key of each id's first eight bytes,
// big-endian and padded with zeros, which orders as the bytes do; only ids that share those bytes
// compare as strings.
std::vector<ParkPos> lf_sortedStandsOf(const std::vector<BglStand>& stands) {
    struct Keyed {
        std::uint64_t key;
        const BglStand* stand;
    };
    thread_local std::vector<Keyed> order;
    order.clear();
    order.reserve(stands.size());
    for (const BglStand& s : stands) {
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < 8; ++i)
            key = (key << 8) | (i < s.id.size() ? static_cast<unsigned char>(s.id[i]) : 0U);
        order.push_back({key, &s});
    }
    std::sort(order.begin(), order.end(), [](const Keyed& a, const Keyed& b) {
        if (a.key != b.key) return a.key < b.key;
        return a.stand->id < b.stand->id;
    });
    std::vector<ParkPos> result = std::exchange(spareStands, {});
    result.clear();
    result.reserve(stands.size());
    for (const Keyed& k : order) {
        const BglStand* s = k.stand;
        result.emplace_back(s->id, std::vector<ParkOpt>{}, s->lat, s->lon, s->heading, s->radiusMetres,
                            s->cargo, s->ramp, s->heli);
    }
    return result;
}

void lf_report(const BglNote& note) {
    switch (note.to) {
    case BglNote::To::scanLog:
        gf_addToScanLog(note.text);
        break;
    case BglNote::To::log:
        gf_logAndFlush(note.text);
        break;
    case BglNote::To::logError:
        gf_logError(note.text);
        break;
    }
}

// Writes <code>.xml for `n` stands on the writer of its code. `fill`, when given, puts the stands into
// the record there, off the scan's thread, in the order of their ids.
void lf_generate(ApfRecord& record, std::size_t n, std::int32_t helipads,
                 std::function<void(ApfRecord&)> fill, const PreparedAirportFile* ready = nullptr) {
    if (n == 0) return;
    const fs::path folder = lf_folderFor(record.publisher);
    const std::string name = record.code + ".xml";
    if (lf_leftToTheUser(folder, record.code)) return;
    const std::string heliPart =
        helipads > 0 ? fmt::format(", of which {} helipad{}", helipads, gf_plural(helipads)) : std::string();
    gf_addToScanLog(fmt::format("Generated {}: {} position{}{}", name, n,
                                gf_plural(static_cast<std::uint64_t>(n)), heliPart));
    lf_createFolder(folder);
    const fs::path file = folder / name;
    // The text made ahead holds for a file that this scan has not written yet (the disk may change
    // with this scan's own writes only).
    const bool useReady = ready && ready->file == file && !gf_writtenByThisScan(file);
    gf_noteScanWrite(file);
    if (useReady && ready->sameOnDisk && gf_keepScanFileAsFound(file, ready->hash)) {
        lf_notePublisher(file, ready->hasPublisher);
        airportFilesChanged = true;
        return;
    }
    const std::string key = record.code;
    if (useReady && !ready->sameOnDisk) {
        gf_submitScanWrite(key, [file, text = ready->text, hasPublisher = ready->hasPublisher] {
            if (!gf_writeScanFile(file, text)) {
                gf_addToScanLog(fmt::format("{}Generating {} did not succeed", "===> ", path_to_utf8(file)));
                return;
            }
            lf_notePublisher(file, hasPublisher);
            airportFilesChanged = true;
        });
        return;
    }
    // The stands, their order and the text are the writer's work.
    gf_submitScanWrite(key, [file, record = std::move(record), fill = std::move(fill),
                             simKind = lf_is2020() ? 1 : 2]() mutable {
        if (fill)
            fill(record);
        else
            std::sort(record.stands.begin(), record.stands.end(),
                      [](const ParkPos& a, const ParkPos& b) { return a.id < b.id; });
        std::string& text = spareText;
        gf_apfTextInto(text, record, apfAirportMode, simKind);
        const bool written = gf_writeScanFile(file, text);
        if (text.capacity() > 4 * 1024 * 1024) text = std::string();
        if (fill) {
            spareStands = std::move(record.stands);
            spareStands.clear();
        }
        if (!written) {
            gf_addToScanLog(fmt::format("{}Generating {} did not succeed", "===> ", path_to_utf8(file)));
            return;
        }
        lf_notePublisher(file, gf_recordHasPublisher(record));
        airportFilesChanged = true;
    });
}

// `stands`, when given, are the airport's own stands that the file's job may take.
void lf_applyAirport(const fs::path& bglPath, const BglAirport& airport, std::vector<BglStand>* stands,
                     const FoundPublisher* publisher, const PreparedAirportFile* ready) {
    ApfRecord record;
    record.code = airport.code;
    record.altitude = airport.altitudeFt;
    std::uint32_t archived = 0;
    const bool linked = gf_linkToArchive(record, archived, bglPath, publisher);
    if (!lf_is2020() && linked) return;
    for (const BglNote& note : airport.notes)
        lf_report(note);
    const std::size_t found = airport.stands.size();
    const bool moreThanArchived = found > archived && record.publisher != "simaddon";
    if (moreThanArchived)
        gf_addToScanLog(fmt::format("{}{} has {} parkpos while archived one has {}", "===> ", record.code,
                                    found, archived));
    if (!linked || moreThanArchived)
        lf_generate(
            record, found, airport.helipads,
            [stands = stands ? std::move(*stands) : airport.stands](ApfRecord& r) {
                r.stands = lf_sortedStandsOf(stands);
            },
            ready);
}

void lf_applyDecoded(const fs::path& bglPath, const BglDecodeResult& decoded, BglDecodeResult* owned,
                     const PreparedFile* prepared = nullptr) {
    const FoundPublisher* publisher = prepared && prepared->publisher ? &*prepared->publisher : nullptr;
    for (const BglEvent& event : decoded.events) {
        switch (event.kind) {
        case BglEvent::Kind::note:
            lf_report(event.note);
            break;
        case BglEvent::Kind::airport: {
            const PreparedAirportFile* ready = nullptr;
            if (prepared && event.airport < prepared->airports.size() && prepared->airports[event.airport])
                ready = &*prepared->airports[event.airport];
            lf_applyAirport(bglPath, decoded.airports.at(event.airport),
                            owned ? &owned->airports.at(event.airport).stands : nullptr, publisher, ready);
            break;
        }
        case BglEvent::Kind::notRecognised:
            gf_notRecognisedAirport(bglPath);
            break;
        }
    }
}

} // namespace

namespace {

// Whether each airport file of this scan holds a publisher, as the writer knew it.
std::mutex publishersMutex;
std::map<std::string, bool> publisherOfFile;

std::string lf_fileKey(const fs::path& file) {
    return gf_normalAbsoluteKey(file);
}

void lf_notePublisher(const fs::path& file, bool hasPublisher) {
    std::lock_guard lock(publishersMutex);
    publisherOfFile[lf_fileKey(file)] = hasPublisher;
}

} // namespace

std::optional<bool> gf_generatedFileHasPublisher(const fs::path& file) {
    std::lock_guard lock(publishersMutex);
    const auto it = publisherOfFile.find(lf_fileKey(file));
    if (it == publisherOfFile.end()) return std::nullopt;
    return it->second;
}

void gf_forgetGeneratedPublishers() {
    {
        std::lock_guard lock(publishersMutex);
        publisherOfFile.clear();
    }
    std::lock_guard lock(foldersMutex);
    foldersThere.clear();
}

bool gf_recordHasPublisher(const ApfRecord& record) {
    // A text ends at a NUL in the file, as it does here.
    const auto written = [](const std::string& text) { return std::string_view(text.c_str()); };
    if (!record.publisher.empty()) return !written(record.publisher).empty();
    for (const std::string* maker : {&record.manufacturer, &record.creator})
        if (written(*maker).size() >= 4 && !gf_isExcludedMaker(written(*maker))) return true;
    return false;
}

namespace {
std::mutex madeFilesMutex;
std::unique_ptr<MadeFiles> madeFiles;
// The entries as the list file holds them (last loaded or saved); nothing when not known.
std::optional<std::map<std::string, std::string>> savedEntries;
} // namespace

void gf_saveScanMadeFilesIfChanged() {
    MadeFiles& made = gf_scanMadeFiles();
    std::map<std::string, std::string> entries = made.entries();
    {
        std::lock_guard lock(madeFilesMutex);
        if (savedEntries == entries) return;
    }
    std::error_code ec;
    if (!made.save(&ec)) {
        gf_logError(fmt::format("Cannot write {}: {}", path_to_utf8(made.listPath()), ec.message()));
        return;
    }
    std::lock_guard lock(madeFilesMutex);
    savedEntries = std::move(entries);
}

MadeFiles& gf_scanMadeFiles() {
    std::lock_guard lock(madeFilesMutex);
    if (!madeFiles) madeFiles = std::make_unique<MadeFiles>(os::inWorkingFolder(airportsFolder));
    return *madeFiles;
}

MadeFiles& gf_loadScanMadeFiles() {
    {
        std::lock_guard lock(madeFilesMutex);
        madeFiles = std::make_unique<MadeFiles>(os::inWorkingFolder(airportsFolder));
        savedEntries.reset();
    }
    std::error_code ec;
    if (madeFiles->load(&ec)) {
        std::lock_guard lock(madeFilesMutex);
        savedEntries = madeFiles->entries();
    } else {
        gf_logError(fmt::format("Cannot read {}: {}", path_to_utf8(madeFiles->listPath()), ec.message()));
    }
    return *madeFiles;
}

void gf_forgetScanMadeFiles() {
    std::lock_guard lock(madeFilesMutex);
    madeFiles.reset();
    savedEntries.reset();
}

std::string gf_thirdpartyReference(const std::string& publisher, const std::string& code) {
    std::string escaped;
    for (const char c : publisher) {
        if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    return "archive/thirdparty/" + escaped + "/" + code + ".xml";
}

bool gf_linkToArchive(ApfRecord& record, std::uint32_t& archivedCount, const fs::path& bglPath,
                      const FoundPublisher* found) {
    archivedCount = 0;
    record.BGLpath = path_to_utf8(bglPath);
    if (found)
        for (const std::string& line : found->lines)
            gf_addToScanLog(line);
    const PublisherInfo info = found ? found->info : gf_findPublisher(bglPath);
    record.publisher = info.publisher;
    record.manufacturer = info.manufacturer;
    record.creator = info.creator;
    if (record.publisher.empty()) return false;
    const fs::path folder = lf_folderFor(record.publisher);
    if (record.publisher == "simaddon") {
        const auto reference = lf_simaddonArchiveRef(record);
        if (!reference || lf_leftToTheUser(folder, record.code)) return false;
        lf_writeLink(folder, record.code, *reference);
        gf_addToScanLog(fmt::format("{} airport {} linked to {}", "simaddon", record.code, *reference));
    } else {
        const auto reference = lf_thirdpartyArchiveRef(record.publisher, record, archivedCount);
        if (!reference) return false;
        if (lf_leftToTheUser(folder, record.code)) {
            archivedCount = 0;
            return false;
        }
        lf_writeLink(folder, record.code, *reference);
        gf_addToScanLog(fmt::format("thirdparty airport {} linked to {}", record.code, *reference));
    }
    airportFilesChanged = true;
    return true;
}

void gf_generateAirportFile(ApfRecord& record, std::int32_t helipads) {
    const std::size_t n = record.stands.size();
    lf_generate(record, n, helipads, nullptr);
}

void gf_notRecognisedAirport(const fs::path& bglPath) {
    gf_addToScanLog(fmt::format("\n==> Not recognised airport {}", path_to_utf8(bglPath)));
    const std::string code = gf_identFromNames(bglPath);
    if (code.size() != 4) return;
    ApfRecord record;
    record.code = code;
    std::uint32_t archived = 0;
    gf_linkToArchive(record, archived, bglPath);
}

std::string gf_identFromNames(const fs::path& bglPath) {
    auto upper = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string stem = upper(path_to_utf8(bglPath.stem()));
    if (stem.size() == 4 && gf_findAirport(stem)) {
        gf_addToScanLog(fmt::format("Non complyingairport has ICAO code '{}' as BGL stem", stem));
        return stem;
    }
    if (const ManifestInfo manifest = gf_searchManifest(bglPath)) {
        const std::string fromTitle = upper(gf_airportCodeAtStartOf(manifest->title));
        if (!fromTitle.empty()) {
            gf_addToScanLog(fmt::format("Non complying airport has ICAO '{}' in title '{}' of manifest",
                                        fromTitle, manifest->title));
            return fromTitle;
        }
        const std::string fromPath = upper(gf_airportCodeInPath(bglPath));
        if (!fromPath.empty()) {
            gf_addToScanLog(fmt::format("Non complying airport has ICAO '{}' in BGL path '{}'", fromPath,
                                        path_to_utf8(bglPath)));
            return fromPath;
        }
    }
    gf_addToScanLog(
        fmt::format("==================> Non complying airport lost ... '{}'", path_to_utf8(bglPath)));
    return {};
}

void gf_applyDecodedFile(const fs::path& bglPath, const BglDecodeResult& decoded) {
    lf_applyDecoded(bglPath, decoded, nullptr);
}

void gf_applyDecodedFile(const fs::path& bglPath, BglDecodeResult&& decoded) {
    lf_applyDecoded(bglPath, decoded, &decoded);
}

void gf_applyDecodedFile(const fs::path& bglPath, BglDecodeResult&& decoded, const PreparedFile& prepared) {
    lf_applyDecoded(bglPath, decoded, &decoded, &prepared);
}

PreparedFile gf_prepareDecodedFile(const fs::path& bglPath, const BglDecodeResult& decoded) {
    PreparedFile prepared;
    if (decoded.airports.empty()) return prepared;
    try {
        FoundPublisher found;
        {
            ScanLogCapture capture(found.lines);
            found.info = gf_findPublisher(bglPath);
        }
        prepared.airports.resize(decoded.airports.size());
        const int simKind = lf_is2020() ? 1 : 2;
        for (std::size_t i = 0; i < decoded.airports.size(); ++i) {
            const BglAirport& airport = decoded.airports[i];
            if (airport.stands.empty()) continue;
            // The record as the scan's thread fills it for this airport.
            ApfRecord record;
            record.code = airport.code;
            record.altitude = airport.altitudeFt;
            record.BGLpath = path_to_utf8(bglPath);
            record.publisher = found.info.publisher;
            record.manufacturer = found.info.manufacturer;
            record.creator = found.info.creator;
            record.stands = lf_sortedStandsOf(airport.stands);
            PreparedAirportFile& ready = prepared.airports[i].emplace();
            ready.file = lf_folderFor(record.publisher) / (record.code + ".xml");
            // The text is built in a buffer of the thread's, kept for its next file: most files of a
            // rescan are on the disk already and need no copy of their own.
            std::string& text = spareText;
            gf_apfTextInto(text, record, apfAirportMode, simKind);
            ready.hasPublisher = gf_recordHasPublisher(record);
            spareStands = std::move(record.stands);
            // A listed file is read whole: the hash of what it holds tells its state at the scan's start.
            const bool listed = gf_listedHashAtScanStart(ready.file).has_value();
            std::string onDisk;
            ready.sameOnDisk = gf_scanFileHolds(ready.file, text, listed ? &onDisk : nullptr);
            if (listed && !onDisk.empty()) gf_noteHashAtScanStart(ready.file, onDisk);
            if (ready.sameOnDisk) {
                // Kept as found: the hash stands for the text.
                ready.hash = listed && !onDisk.empty() ? std::move(onDisk) : gf_contentHash(text);
            } else {
                ready.text = text;
            }
            if (text.capacity() > 4 * 1024 * 1024) text = std::string(); // a rare large file does not stay
        }
        prepared.publisher = std::move(found);
    } catch (const std::exception&) {
        prepared = PreparedFile{}; // the scan's thread does it all
    }
    return prepared;
}
