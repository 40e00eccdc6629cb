#include "refdata/airport_files.h"

#include "core/file_io.h"
#include "core/generations.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/textfile.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/data_files.h"
#include "refdata/parking_format.h"
#include "refdata/parking_quality.h"
#include "refdata/stand_reading.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <system_error>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view readTag = "gf_readApf";
constexpr std::string_view learnedTag = "lf_readLearned";
// Learned files written before this version keep their stand corrections, not their flights.
constexpr VersionData flightsKeptSince{11, 10, 0};

const fs::path airportsFolder = "airports";
const fs::path parkAirportCopy = airportsFolder / "park_airport.xml";

bool lf_isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

bool lf_startsWithAirports(std::string_view reference) {
    return reference.starts_with("airports");
}

// The reference as a local path ("\" written by Windows programs becomes "/").
fs::path lf_localPath(std::string reference) {
    std::replace(reference.begin(), reference.end(), '\\', '/');
    return fs::path(reference);
}

// The code as a file name, when it is one.
bool lf_isSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || c == ':' || lf_isControl(static_cast<unsigned char>(c));
    });
}

std::string lf_pathText(const fs::path& path) {
    return path.generic_string();
}

} // namespace

fs::path gf_xmlFileNameOf(const fs::path& name) {
    auto path = name;
    path += ".xml";
    return path;
}

fs::path gf_txtFileNameOf(const fs::path& name) {
    auto path = name;
    path += ".txt";
    return path;
}

bool gf_isSafeReference(std::string_view reference) {
    if (reference.empty()) return false;
    if (std::any_of(reference.begin(), reference.end(),
                    [](char c) { return lf_isControl(static_cast<unsigned char>(c)); }))
        return false;
    if (reference.front() == '/' || reference.front() == '\\') return false;
    // A drive letter ("C:") or any other colon that Windows reads as a stream or device.
    if (reference.find(':') != std::string_view::npos) return false;
    std::size_t begin = 0;
    while (begin <= reference.size()) {
        const std::size_t end = reference.find_first_of("/\\", begin);
        const std::string_view part =
            reference.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
        if (part == "." || part == "..") return false;
        if (end == std::string_view::npos) break;
        begin = end + 1;
    }
    return true;
}

bool gf_readPointerFile(const fs::path& path, std::string& reference) {
    reference.clear();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::vector<std::string> lines;
    if (!gf_readLinesByCharset(gf_detectCharset(path), path, lines) || lines.empty()) return false;
    std::string first = lines.front();
    while (!first.empty() && std::isspace(static_cast<unsigned char>(first.back())))
        first.pop_back();
    if (first.size() < 4) return false;
    std::string extension = first.substr(first.size() - 4);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".xml" || !gf_isSafeReference(first)) return false;
    reference = std::move(first);
    return true;
}

bool gf_hasParkingSource(const std::string& code) {
    if (lf_isSafeFileName(code)) {
        std::error_code ec;
        for (const char* folder : {"my_thirdparty", "my_simaddon"}) {
            if (fs::exists(gf_xmlFileNameOf(airportsFolder / folder / code), ec)) return true;
            if (fs::exists(gf_txtFileNameOf(airportsFolder / folder / code), ec)) return true;
        }
    }
    const Airport* airport = gf_findAirport(code);
    return airport && airport->stands >= 1;
}

std::string gf_apfRefOf(const std::string& code) {
    if (lf_isSafeFileName(code)) {
        std::error_code ec;
        for (const char* folder : {"my_thirdparty", "my_simaddon"}) {
            std::string reference;
            if (gf_readPointerFile(gf_txtFileNameOf(airportsFolder / folder / code), reference))
                return reference;
            const fs::path file = gf_xmlFileNameOf(airportsFolder / folder / code);
            if (fs::exists(file, ec)) return lf_pathText(file);
        }
    }
    const Airport* airport = gf_findAirport(code);
    if (airport && airport->stands >= 1) return "archive/stock/" + code + ".xml";
    return {};
}

std::string gf_downloadArchivedApf(const std::string& reference, const fs::path& target) {
    const bool msfsFolder = SIM_CHOICE.value() == "MSFS 2020" ||
                            reference.find("simaddon") != std::string::npos ||
                            reference.find("stock") != std::string::npos;
    const std::string serverPath =
        std::string(msfsFolder ? "downloads/MSFS/" : "downloads/MSFS2024/") + reference;
    const auto& fetch = gf_parkingHooks().fetchArchivedFile;
    if (target.has_parent_path()) {
        std::error_code ignored;
        fs::create_directories(target.parent_path(), ignored);
    }
    if (gf_isSafeReference(reference) && fetch && fetch(serverPath, target)) return {};
    gf_removeIfExists(target);
    std::string text = fmt::format("failed to download: '{}'", serverPath);
    gf_log(text);
    return text;
}

std::string gf_publisherFolderName(std::string_view publisher) {
    std::string name;
    name.reserve(publisher.size());
    for (char c : publisher) {
        if (lf_isControl(static_cast<unsigned char>(c))) continue;
        name += (c == '/' || c == '\\') ? ' ' : c;
    }
    name = gf_trim(name);
    if (name.size() > 100) {
        // Cut at a character boundary of the UTF-8 text.
        std::size_t cut = 100;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name = gf_trim(std::string_view(name).substr(0, cut));
    }
    if (name == "." || name == "..") return {};
    return name;
}

fs::path gf_learnedPathOf(std::string_view code, std::string_view publisher) {
    if (!lf_isSafeFileName(code)) return {};
    const fs::path learned = airportsFolder / "learned";
    const fs::path file = gf_xmlFileNameOf(fs::path(std::string(code)));
    if (publisher == "stock") return learned / "stock" / file;
    if (publisher == "simaddon") return learned / "simaddon" / file;
    const std::string folder = gf_publisherFolderName(publisher);
    if (folder.empty()) return learned / "thirdparty" / file;
    return learned / "thirdparty" / folder / file;
}

bool gf_isExcludedMaker(std::string_view name) {
    return name.size() == excludedMakerName.size() &&
           std::equal(name.begin(), name.end(), excludedMakerName.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool gf_apfHasPublisher(const fs::path& path) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        gf_logError(fmt::format("'{}' not found", lf_pathText(path)));
        return false;
    }
    if (!gf_readStringParameter(doc, "publisher").value_or("").empty()) return true;
    for (const char* key : {"manufacturer", "creator"}) {
        const auto maker = gf_readStringParameter(doc, key);
        if (maker && maker->size() >= 4 && !gf_isExcludedMaker(*maker)) return true;
    }
    return false;
}

// ---- Learned files ---------------------------------------------------------------------------------

namespace {

struct LearnedStandContext {
    std::string id; // as written
    pugi::xml_node parkpos;
    bool olderFile = false;
};

bool lf_mergeLearnedStand(const LearnedStandContext& context, ParkPos& stand) {
    if (stand.id != context.id) return false;
    const auto& node = context.parkpos;
    if (node.attribute("radius_change").as_bool(false)) {
        if (const auto metres = gf_standRadiusMetres(node)) {
            stand.radius = *metres * nmPerMetre;
            stand.radius_change = true;
        }
    }
    if (node.attribute("cargo_change").as_bool(false)) {
        stand.cargo = node.attribute("cargo").as_bool(false);
        stand.cargo_change = true;
    }
    if (context.olderFile) return true;

    std::uint32_t next = stand.opts.empty() ? 1 : stand.opts.back().seq + 1;
    for (auto opt : node.children("opt")) {
        OptIdentity identity = gf_optIdentity(opt);
        const HalfHourSet hh = gf_hours2bitset(opt.attribute("hh").as_string());
        if (hh.none()) {
            gf_logError("empty bit set");
            continue;
        }
        const int day = opt.attribute("day").as_int(0);
        if (day < 1 || day > 7) {
            gf_logError(fmt::format("learned flight of stand {} with day {} skipped", stand.id,
                                    opt.attribute("day").as_string()));
            continue;
        }
        ParkOpt entry;
        entry.airl = std::move(identity.airl);
        entry.type = std::move(identity.type);
        entry.reg = opt.attribute("reg").as_string();
        entry.cs = std::move(identity.cs);
        entry.cs2 = std::move(identity.cs2);
        entry.hh = hh;
        entry.seq = next;
        entry.day = static_cast<std::uint32_t>(day);
        entry.origin = 0;
        entry.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
        entry.cpl = opt.attribute("cpl").as_bool(false);
        const bool known = std::any_of(stand.opts.begin(), stand.opts.end(),
                                       [&](const ParkOpt& o) { return gf_isSameParkOpt(o, entry); });
        if (known) continue;
        stand.opts.push_back(std::move(entry));
        ++next;
    }
    return true;
}

void lf_logSetting(std::string_view key, const auto& value) {
    gf_logContinuation(fmt::format("{:24}: {}", key, value));
}

// The parking settings of the learned file's header take over the user's.
void lf_applyLearnedSettings(const pugi::xml_document& doc) {
    const auto& hooks = gf_restoreHooks();
    learnedSettingsInForce = true;
    if (const auto v = gf_readIntParameter(doc, "MAX_LIVE_SEL")) {
        MAX_LIVE_SEL.setClamped(*v);
        MAX_LIVE_SEL.selectValue();
        lf_logSetting("MAX_LIVE_SEL", MAX_LIVE_SEL.value.load());
    }
    if (const auto v = gf_readIntParameter(doc, "RANGE")) {
        if (hooks.setRange)
            hooks.setRange(*v);
        else
            RANGE.setClamped(*v);
        RANGE.enable(true);
        lf_logSetting("RANGE", *v);
    }
    if (const auto v = gf_readBoolParameter(doc, "AUTO_RANGE")) {
        AUTO_RANGE.value = *v;
        AUTO_RANGE.showValue();
        if (hooks.applyAutoRange) hooks.applyAutoRange();
        lf_logSetting("AUTO_RANGE", *v);
    }
    if (const auto v = gf_readIntParameter(doc, "parking_percentage")) {
        parking_percentage.setClamped(*v);
        lf_logSetting("parking_percentage", parking_percentage.value.load());
    } else {
        parking_percentage.setClamped(30);
    }
    parking_percentage.selectValue();
    for (auto* box : {&WEEK, &PARK_SOFT}) {
        if (const auto v = gf_readBoolParameter(doc, box->name)) {
            box->value = *v;
            box->showValue();
            lf_logSetting(box->name, *v);
        }
    }
    if (const auto v = gf_readIntParameter(doc, "MAX_FIT")) {
        MAX_FIT.setClamped(*v);
        if (hooks.showMaxFit) hooks.showMaxFit();
        gf_logContinuation(fmt::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)",
                                       "MAX_FIT", MAX_FIT.value.load(), MAX_FIT_FL.value.load()));
    }
    if (const auto v = gf_readBoolParameter(doc, "INITIAL_LOAD_ONLY")) {
        INITIAL_LOAD_ONLY.value = *v;
        INITIAL_LOAD_ONLY.showValue();
        const bool ready = hooks.parkingControlsReady && hooks.parkingControlsReady();
        NOW_BUTTON.enable(!*v && ready);
        lf_logSetting("INITIAL_LOAD_ONLY", *v);
    }
}

void lf_readLearnedStands(const pugi::xml_document& doc, const fs::path& path, bool olderFile) {
    const auto section = gf_rootChild(doc, "parkpositions");
    if (!section) return;
    const std::string pathText = lf_pathText(path);
    for (auto parkpos : section.children("parkpos")) {
        LearnedStandContext context{parkpos.attribute("id").as_string(), parkpos, olderFile};
        if (!parkpos.attribute("manual").as_bool(false)) {
            const bool merged = std::any_of(parkPositions.begin(), parkPositions.end(), [&](ParkPos& stand) {
                return lf_mergeLearnedStand(context, stand);
            });
            if (!merged) gf_log(fmt::format("learned stand {} in {} not found?", context.id, pathText));
            continue;
        }
        const bool exists = std::any_of(parkPositions.begin(), parkPositions.end(),
                                        [&](const ParkPos& stand) { return stand.id == context.id; });
        if (exists) {
            gf_logError(
                fmt::format("manually created standid {} already exists in {}", context.id, pathText));
            continue;
        }
        const double lat = gf_finiteAttribute(parkpos, "latitude").value_or(0.0);
        const double lon = gf_finiteAttribute(parkpos, "longitude").value_or(0.0);
        const double radius = gf_standRadiusMetres(parkpos).value_or(0.0);
        const std::size_t before = parkPositions.size();
        if (!(std::abs(lat) < 0.0001 && std::abs(lon) < 0.0001) && radius != 0.0 &&
            !gf_trim(context.id).empty())
            gf_readParkpos(parkpos, context.id, 0);
        if (parkPositions.size() == before) {
            gf_logError(fmt::format("manually created standid {} misses correct attributes in {}", context.id,
                                    pathText));
            continue;
        }
        parkPositions.back().manual = true;
    }
}

// What the header of a file the MetaData reader refused lacks, for the user who edits the file.
std::string lf_headerRefusal(const pugi::xml_node& doc) {
    const auto root = doc.child("root");
    const auto meta = (root ? root : doc).child("meta");
    if (!meta) return "missing header";
    const auto copyright = meta.find_child_by_attribute("info", "name", "copyright");
    if (!copyright || std::string_view(copyright.attribute("value").as_string()).empty())
        return "missing copyright";
    return "missing simulator entry";
}

// A learned file that is there but cannot be read as a whole is never written over: what the user's
// file holds would be lost.
void lf_refuseLearned(const fs::path& path, std::string_view reason) {
    learnedFileRefused = true;
    gf_logError(fmt::format("{}: refused to load: {}, the file is left as it is", lf_pathText(path), reason));
}

void lf_readLearned(const fs::path& path, const ParkAirportInfo& info) {
    try {
        pugi::xml_document doc;
        if (const auto result = doc.load_file(path.c_str()); !result) {
            gf_save1GenerationOf(path);
            gf_logError(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}",
                                    lf_pathText(path), result.description()));
            return;
        }
        gf_logAndFlush(fmt::format("Read from learned airport file: '{}'", lf_pathText(path)));
        const auto meta = gf_readMetaData(doc);
        if (!meta) {
            lf_refuseLearned(path, lf_headerRefusal(doc));
            return;
        }
        const bool olderFile = flightsKeptSince.isNewerThan(VersionData(meta->version));
        if (olderFile) {
            gf_log(fmt::format("\nThis learned file was created with and older {} version than {},",
                               gf_productName, flightsKeptSince.toString()));
            gf_log("All flights will be cleared, except for a handmade file\n");
        }
        const std::string learnedName = gf_readStringParameter(doc, "airport_name").value_or("");
        if (learnedName != info.airport_name)
            gf_showMessage(fmt::format("Warning: learned file airport name: '{}' differs from archived file "
                                       "airport name: '{}'",
                                       learnedName, info.airport_name),
                           true);
        lf_applyLearnedSettings(doc);
        if (const auto handmade = gf_readStringParameter(doc, "handmade")) {
            // A handmade file replaces the airport file's stands only when every stand of it reads.
            std::vector<ParkPos> airportStands = std::move(parkPositions);
            gf_clearParkPositions();
            try {
                gf_readParkpositions(doc);
            } catch (const std::exception& e) {
                parkPositions = std::move(airportStands);
                lf_refuseLearned(path, fmt::format("{}: {}", learnedTag, e.what()));
                return;
            }
            handmadeApf = true;
            lf_logSetting("handmade", *handmade);
            return;
        }
        handmadeApf = false;
        lf_readLearnedStands(doc, path, olderFile);
    } catch (const std::exception& e) {
        // Merged in part: saving it would cut the file short.
        lf_refuseLearned(path, fmt::format("{}: {}", learnedTag, e.what()));
    }
}

// A first visit: a few parking settings from the file's quality and the airports table's stands.
void lf_setFirstVisitDefaults() {
    const QualityFactors qf = parkQualityFactors;
    if (qf.Qf_real < 3 && qf.Qf_soft >= 1) {
        for (auto* box : {&PARK_SOFT, &WEEK}) {
            box->value = true;
            box->showValue();
        }
        // The stand search reads the half hours; the combo box shows the hours.
        MAX_FIT.setClamped(47);
        MAX_FIT_FL.value = 24.0f;
        if (const auto index = MAX_FIT_FL.choiceIndex())
            if (GuiControl* control = MAX_FIT_FL.control()) control->selectChoice(*index);
    } else if (qf.Qf_real >= 46) {
        for (auto* box : {&PARK_SOFT, &WEEK}) {
            box->value = false;
            box->showValue();
        }
    }
    const Airport* airport = gf_findAirport(parkAirportCode);
    const std::int32_t stands = airport ? airport->stands : 0;
    parking_percentage.setClamped(stands == 1 ? 100 : stands == 2 ? 50 : 30);
    gf_logContinuation(fmt::format("{:24}: {}%", parking_percentage.name, parking_percentage.value.load()));
    parking_percentage.selectValue();
    parking_percentage.enable(true);
}

// "altitude" in whole feet; absent unless it reads as a finite number in the 32-bit range.
std::optional<std::int32_t> lf_altitudeOf(const pugi::xml_document& doc) {
    const auto text = gf_readStringParameter(doc, "altitude");
    if (!text) return std::nullopt;
    const auto feet = gf_finiteNumber(*text);
    if (!feet || std::abs(*feet) >= 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(*feet);
}

// The stands read from the file go to parkPositions; a refused file's stands read before the faulty one
// stay there, as gf_readParkpositions leaves them.
void lf_installStands(ParkingFileStands read) {
    parkPositions.insert(parkPositions.end(), std::make_move_iterator(read.stands.begin()),
                         std::make_move_iterator(read.stands.end()));
    if (read.refused()) throw orv::UserErrorException(read.errorNumber, read.refusal);
}

std::string lf_readApf(const std::string& reference, ParkAirportInfo& info, ParkFileRead* preread) {
    if (reference.empty()) return fmt::format("{}: xml is empty", readTag);
    if (parkAirportCode.empty()) return fmt::format("{}: no park airport set", readTag);
    const bool local = lf_startsWithAirports(reference);
    if (!gf_isSafeReference(reference)) return fmt::format("{}: refused reference '{}'", readTag, reference);
    if (!local) {
        if (auto failure = gf_downloadArchivedApf(reference, parkAirportCopy); !failure.empty())
            return failure;
    }
    handmadeApf = false;
    learnedFileRefused = false;
    const fs::path file = local ? lf_localPath(reference) : parkAirportCopy;
    const bool useRead = local && preread && preread->reference == reference && preread->document;
    pugi::xml_document ownDoc;
    const pugi::xml_document& doc = useRead ? *preread->document : ownDoc;
    if (!(useRead ? preread->loaded : static_cast<bool>(ownDoc.load_file(file.c_str()))))
        return fmt::format("{}: could not load file: {}", reference, lf_pathText(file));
    if (!gf_readMetaData(doc))
        return fmt::format("{}: refused to load: {}", reference, lf_headerRefusal(doc));

    rtTrafficWeek = gf_readIntParameter(doc, "RT_traffic_week").value_or(0);
    info.publisher = gf_readStringParameter(doc, "publisher").value_or("");
    const auto altitude = lf_altitudeOf(doc);
    if (!altitude) throw orv::UserErrorException(65, std::string("Parameter ") + "altitude" + " not found");
    info.altitude = *altitude;
    currentParkAirport.alt = *altitude;
    info.airport_name = gf_readStringParameter(doc, "airport_name").value_or("");

    if (useRead && preread->stands)
        lf_installStands(std::move(*preread->stands));
    else
        gf_readParkpositions(doc);

    const auto qfReal = gf_readIntParameter(doc, "Qf_real");
    const auto qfSoft = gf_readIntParameter(doc, "Qf_soft");
    // A file without its factors is scored from its own stands, never with the previous airport's.
    // Factors beyond their range (-1 unknown, else 0..100) are taken at the nearest end.
    parkQualityFactors = qfReal && qfSoft
                             ? QualityFactors{std::clamp(*qfReal, -1, 100), std::clamp(*qfSoft, -1, 100)}
                             : gf_qualityFactors();

    // While settings of a learned file or of a first visit are in force, the saved values are the
    // user's own: keep them.
    if (!learnedSettingsInForce) {
        savedParkingSettings = SavedParkingSettings{
            MAX_LIVE_SEL.value.load(),       MAX_FIT.value.load(),    RANGE.value.load(),
            parking_percentage.value.load(), AUTO_RANGE.value.load(), INITIAL_LOAD_ONLY.value.load(),
            PARK_SOFT.value.load(),          WEEK.value.load()};
    }

    const fs::path learned = gf_learnedPathOf(parkAirportCode, info.publisher);
    if (!learned.empty()) gf_removeStaleTemporaryFiles(learned);
    if (!learned.empty() && fs::exists(learned)) {
        lf_readLearned(learned, info);
        parkQualityFactors = gf_qualityFactors();
        if (handmadeApf) gf_log("A handmade airport file overruled the archived file!");
    } else {
        gf_logAndFlush("learned does not exist");
        learnedSettingsInForce = true;
        lf_setFirstVisitDefaults();
    }

    auto& hooks = gf_parkingHooks();
    if (hooks.showStandCount) hooks.showStandCount(parkPositions.size());
    std::uint32_t sid = 0;
    for (auto& stand : parkPositions)
        stand.sid = ++sid;
    gf_setNeighbours(parkPositions);

    gf_log(fmt::format("Airport file read from '{}' for {}", handmadeApf ? lf_pathText(learned) : reference,
                       info.airport_name));
    if (hooks.showAirportFile) hooks.showAirportFile(info.publisher, handmadeApf);
    const std::string quality = gf_qualityText();
    gf_logContinuation(fmt::format("{:24}: {}", "publisher", info.publisher));
    gf_logContinuation(fmt::format("{:24}: {} ft", "altitude", info.altitude));
    gf_logContinuation(fmt::format("{:24}: {}", "num_parkpos", parkPositions.size()));
    gf_logContinuation(fmt::format("{:24}: {}", "quality factor", quality));
    gf_logContinuation(fmt::format("{:24}: {}", "RT traffic week", rtTrafficWeek.load()));

    if (hooks.showQualityText) hooks.showQualityText(quality);
    // Only a read that found stands loads the airport: leaving an airport that was not loaded saves
    // nothing over its learned file.
    if (!parkPositions.empty()) {
        parkAirportLoaded = true;
        FLUSH_STATIC_BUTTON.enable(true);
    }
    if (hooks.setParkAirportElevation)
        hooks.setParkAirportElevation(parkAirportCode.empty() ? std::nullopt
                                                              : std::optional<double>(info.altitude));
    return parkPositions.empty() ? "no stands found" : "";
}

} // namespace

ParkFileRead gf_readParkFile(const std::string& reference) {
    ParkFileRead read;
    read.reference = reference;
    if (!lf_startsWithAirports(reference) || !gf_isSafeReference(reference)) return read;
    try {
        read.document = std::make_unique<pugi::xml_document>();
        read.loaded = static_cast<bool>(read.document->load_file(lf_localPath(reference).c_str()));
        // The header is judged on the cycle (its refusal is logged there).
        if (read.loaded) read.stands = gf_parseParkpositions(*read.document);
    } catch (const std::exception&) {
        // Left to the reader on the cycle, which meets the same fault and reports it.
        read = ParkFileRead{reference, nullptr, false, std::nullopt};
    }
    return read;
}

std::string gf_readApf(const std::string& reference, ParkAirportInfo& info, ParkFileRead* preread) {
    try {
        return lf_readApf(reference, info, preread);
    } catch (const orv::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", readTag, e.what());
    }
}
