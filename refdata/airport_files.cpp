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
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"
#include "refdata/parking_quality.h"
#include "refdata/stand_reading.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <system_error>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view readTag = "gf_readApf";

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

// ---- The read of the park airport -------------------------------------------------------------------

namespace {

// One read at a time: an archived file is fetched into the one copy.
std::mutex readMutex;

void lf_append(std::vector<LogLine>& lines, std::vector<LogLine> more) {
    lines.insert(lines.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

// The learned file beside the airport file, read and merged into its stands.
void lf_readLearnedInto(ParkAirportRead& read) {
    const fs::path& path = read.learnedPath;
    const std::string pathText = lf_pathText(path);
    LogCapture capture;
    pugi::xml_document doc;
    if (const auto result = doc.load_file(path.c_str()); !result) {
        gf_save1GenerationOf(path);
        gf_logError(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", pathText,
                                result.description()));
        lf_append(read.learnedLines, capture.take());
        return;
    }
    gf_logAndFlush(fmt::format("Read from learned airport file: '{}'", pathText));
    if (!gf_readMetaData(doc)) {
        // A learned file that is there but cannot be read as a whole is never written over: what the
        // user's file holds would be lost.
        read.merged.refused = true;
        gf_logError(fmt::format("{}: refused to load: {}, the file is left as it is", pathText,
                                gf_parkingHeaderRefusal(doc)));
        lf_append(read.learnedLines, capture.take());
        return;
    }
    LearnedFile learned = gf_readLearnedFile(doc);
    lf_append(read.learnedLines, capture.take());
    lf_append(read.learnedLines, std::move(learned.lines));
    learned.lines.clear();
    read.learned = ParkAirportRead::LearnedHeader{learned.airport_name, learned.settings};
    read.merged = gf_mergeLearnedFile(std::move(read.merged.stands), std::move(learned), pathText);
}

ParkAirportRead lf_readParkAirport(ParkAirportRead read) {
    const std::string& reference = read.reference;
    if (reference.empty()) {
        read.failure = fmt::format("{}: xml is empty", readTag);
        return read;
    }
    if (read.code.empty()) {
        read.failure = fmt::format("{}: no park airport set", readTag);
        return read;
    }
    const bool local = lf_startsWithAirports(reference);
    if (!gf_isSafeReference(reference)) {
        read.failure = fmt::format("{}: refused reference '{}'", readTag, reference);
        return read;
    }
    LogCapture capture;
    if (!local) {
        read.failure = gf_downloadArchivedApf(reference, parkAirportCopy);
        read.lines = capture.take();
        if (!read.failure.empty()) return read;
    }
    read.fileReached = true;
    const fs::path file = local ? lf_localPath(reference) : parkAirportCopy;
    auto loaded = gf_loadParkAirportFile(file);
    if (!loaded) {
        read.failure = fmt::format("{}: could not load file: {}", reference, lf_pathText(file));
        return read;
    }
    read.file = std::move(*loaded);
    if (!read.file.headerRefusal.empty()) {
        read.failure = fmt::format("{}: refused to load: {}", reference, read.file.headerRefusal);
        return read;
    }
    lf_append(read.lines, std::move(read.file.lines));
    read.file.lines.clear();
    read.merged.stands = std::move(read.file.stands.stands);
    read.file.stands.stands.clear();
    if (read.file.errorNumber() != 0) return read;
    // A file without its factors is scored from its own stands, never with the previous airport's.
    const ParkingFileStands& fileStands = read.file.stands;
    read.qualityFactors = read.file.qualityFactors
                              ? *read.file.qualityFactors
                              : gf_qualityFactorsOfSums(fileStands.realScores, fileStands.softScores,
                                                        read.merged.stands.size(), fileStands.anyEntry);

    read.learnedPath = gf_learnedPathOf(read.code, read.file.publisher);
    if (!read.learnedPath.empty()) {
        gf_removeStaleTemporaryFiles(read.learnedPath);
        std::error_code ec;
        read.learnedExists = fs::exists(read.learnedPath, ec);
    }
    read.learnedLines = capture.take();
    if (read.learnedExists) {
        lf_readLearnedInto(read);
        read.qualityFactors = gf_qualityFactorsOf(read.merged.stands);
    }
    std::uint32_t sid = 0;
    for (auto& stand : read.merged.stands)
        stand.sid = ++sid;
    gf_setNeighbours(read.merged.stands);
    return read;
}

} // namespace

ParkAirportRead gf_readParkAirport(const std::string& code, const std::string& reference) {
    std::lock_guard lock(readMutex);
    ParkAirportRead read;
    read.code = code;
    read.reference = reference;
    try {
        return lf_readParkAirport(std::move(read));
    } catch (const std::exception& e) {
        ParkAirportRead failed;
        failed.code = code;
        failed.reference = reference;
        failed.failure = fmt::format("{}: {}", readTag, e.what());
        return failed;
    }
}
