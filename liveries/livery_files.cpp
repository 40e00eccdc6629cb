#include "liveries/livery_files.h"

#include "liveries/cfg_lines.h"

#include "core/log.h"
#include "core/scan_tasks.h"
#include "core/strings.h"
#include "core/textfile.h"

#include "refdata/dbase.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <system_error>

namespace fs = std::filesystem;

void ScanReports::append(ScanReports&& other) {
    const auto move = [](std::vector<std::string>& to, std::vector<std::string>& from) {
        if (to.empty()) {
            to = std::move(from);
            return;
        }
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    move(fixLines, other.fixLines);
    move(invalidCfgFiles, other.invalidCfgFiles);
    move(incompleteSections, other.incompleteSections);
    move(invalidAirlineLines, other.invalidAirlineLines);
    move(invalidAircraftLines, other.invalidAircraftLines);
    move(noFltsimFiles, other.noFltsimFiles);
}

void ScanReports::clear() {
    *this = ScanReports{};
}

const TextMap<std::string>& gf_baseContainerTypes() {
    static const TextMap<std::string> types{
        {"Asobo_FlightDesignCT", "FDCT"},
        {"Asobo_Longitude", "C700"},
        {"Asobo_VL3", "VL3"},
        {"Asobo_Savage_Cub", "SAVG"},
        {"Asobo_Savage_ShockUltra", "SAVG"},
        {"Asobo_XCub", "CC19"},
        {"Asobo_Pitts", "PTS2"},
        {"Asobo_SR22", "SR22"},
        {"Asobo_Icon", "A5"},
        {"Asobo_TBM930", "TBM9"},
        {"Asobo_KingAir350", "B350"},
        {"Asobo_E330", "E300"},
        {"Asobo_DV20", "DV20"},
        {"Asobo_DR400", "DR40"},
        {"Asobo_DA62", "DA62"},
        {"Asobo_DA40_TDI", "DA40"},
        {"Asobo_DA40_NG", "DA40"},
        {"Asobo_Cap10C", "CP10"},
        {"Asobo_CJ4", "C25C"},
        {"Asobo_C152", "C152"},
        {"Asobo_C152_Aerobat", "C152"},
        {"Asobo_C172sp_AS1000", "C172"},
        {"Asobo_C172sp_classic", "C172"},
        {"Asobo_Bonanza_G36", "BE36"},
        {"Asobo_Baron_G58", "B58T"},
        {"Asobo_B747_8i", "B748"},
        {"Asobo_B787_10", "B78X"},
        {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
        {"Asobo_A320_NEO", "A20N"},
        {"FlyByWire_A320_NEO", "A20N"},
    };
    return types;
}

std::string lf_pathToUtf8(const fs::path& path) {
    return path.empty() ? std::string() : path_to_utf8(path);
}

namespace {

constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

bool lf_contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void lf_addInvalidAirline(ScanReports& reports, std::string_view code, std::string_view fileText,
                          std::string_view header) {
    reports.invalidAirlineLines.push_back(fmt::format("{:12} in {} {}", code, fileText, header));
}

void lf_addInvalidAircraftCode(ScanReports& reports, std::string_view type, const fs::path& file) {
    reports.invalidAircraftLines.push_back(fmt::format("{:16} in {}", type, file.string()));
}

// A known type stays; a wrong type with a fix becomes the fixed type (reported); any other is
// reported and gives no model.
std::string lf_checkType(const std::string& type, const fs::path& path, ScanReports& reports) {
    if (gf_isKnownAcType(type)) return type;
    if (const auto fix = dbase.fixes.find(type); fix != dbase.fixes.end()) {
        reports.fixLines.push_back(
            fmt::format("Model fix: {} found in {} changed into {}", type, path.string(), fix->second));
        return fix->second;
    }
    lf_addInvalidAircraftCode(reports, type, path);
    return {};
}

void lf_dropTrailingComments(std::vector<std::string_view>& section) {
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//")))
        section.pop_back();
}

// A file that may be read: an existing regular file (also through a symlink) of at most 16 MiB.
// Missing: false without a report; anything else unreadable: false and one report line.
bool lf_readableFile(const fs::path& path, ScanReports& reports) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return false;
    if (ec) {
        reports.invalidCfgFiles.push_back(fmt::format("{} cannot be read: {}", path.string(), ec.message()));
        return false;
    }
    if (!fs::is_regular_file(status)) {
        reports.invalidCfgFiles.push_back(fmt::format("{} is not a regular file, not read", path.string()));
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > gf_maxAircraftCfgBytes) {
        reports.invalidCfgFiles.push_back(
            fmt::format("{} is larger than {} MiB, not read", path.string(), gf_maxAircraftCfgBytes >> 20));
        return false;
    }
    return true;
}

// Detects the encoding and reads the lines; false (logged) when that fails.
bool lf_readCfgLines(const fs::path& path, std::vector<std::string>& lines, bool noEncodingIsError) {
    const Charset charset = gf_detectCharset(path);
    if (charset == Charset::none_found) {
        const std::string line = fmt::format("! No text encoding detected for {}", lf_pathToUtf8(path));
        if (noEncodingIsError)
            gf_logError(line);
        else
            gf_log(line);
        return false;
    }
    // Room for the lines of a large file (4096), but never more than the file can hold (a line takes at
    // least one byte): most files are small, and the scan reads thousands of them.
    std::error_code sizeError;
    const std::uintmax_t bytes = fs::file_size(path, sizeError);
    lines.reserve(sizeError ? 4096 : static_cast<std::size_t>(std::min<std::uintmax_t>(4096, bytes + 1)));
    if (!gf_readLinesByCharset(charset, path, lines)) {
        gf_log(fmt::format("! Failed reading {}", lf_pathToUtf8(path)));
        return false;
    }
    return true;
}

// The lines of one file as views: into its bytes, into the lines converted to UTF-8 where they were
// not, or (a file read the slow way) into lines of their own.
struct CfgText {
    std::string bytes;
    std::vector<std::string> ownLines;
    std::deque<std::string> converted;
    std::vector<std::string_view> lines;
};

// Reads the file whole with one open and decodes it (UTF-16 files, and files that the quick read could
// not open, take the readers by path). False, with its report or log line, when the file gives no
// lines: as lf_readableFile and lf_readCfgLines.
bool lf_loadCfgText(const fs::path& path, CfgText& text, ScanReports& reports, bool noEncodingIsError) {
    const auto readByPath = [&] {
        if (!lf_readableFile(path, reports) || !lf_readCfgLines(path, text.ownLines, noEncodingIsError))
            return false;
        text.lines.assign(text.ownLines.begin(), text.ownLines.end());
        return true;
    };
    switch (gf_readScanFile(path.c_str(), gf_maxAircraftCfgBytes, text.bytes)) {
    case ScanFileRead::read:
        break;
    case ScanFileRead::missing:
        return false;
    case ScanFileRead::notRegular:
        reports.invalidCfgFiles.push_back(fmt::format("{} is not a regular file, not read", path.string()));
        return false;
    case ScanFileRead::tooLarge:
        reports.invalidCfgFiles.push_back(
            fmt::format("{} is larger than {} MiB, not read", path.string(), gf_maxAircraftCfgBytes >> 20));
        return false;
    case ScanFileRead::failed:
        return readByPath();
    }
    const Charset charset = gf_detectCharsetOf(text.bytes);
    if (charset == Charset::Unicode || charset == Charset::Unicode_big_endian) return readByPath();
    // Room for the lines of most files at once (their lines are rarely shorter than 16 bytes).
    text.lines.reserve(text.bytes.size() / 16 + 8);
    if (charset == Charset::ANSI) {
        // Windows-1252 maps line feeds and carriage returns to themselves and no other byte to them:
        // the whole text converted has the lines of the bytes, each converted.
        text.bytes = ansi_to_utf8(text.bytes);
        gf_splitLineViews(text.bytes, text.lines);
        return true;
    }
    gf_splitLineViews(text.bytes, text.lines);
    if (charset == Charset::UTF8_with_BOM && !text.lines.empty() && text.lines.front().starts_with(utf8Mark))
        text.lines.front().remove_prefix(utf8Mark.size());
    // The charset was judged on the first 4096 bytes only: a line further on that is not UTF-8 is read
    // as Windows-1252. Plain ASCII (most files) is UTF-8 throughout.
    if (gf_isAscii(text.bytes)) return true;
    for (std::string_view& line : text.lines) {
        if (gf_isValidUtf8(line)) continue;
        line = text.converted.emplace_back(ansi_to_utf8(line));
    }
    return true;
}

// The model folder's name of an IVAO file: the path must end in
// <package>/SimObjects/Airplanes/IVAO_<word>/aircraft.cfg with package IVAO_MTL or ivao_x-csl (any case,
// either separator) and something before the package folder.
std::optional<std::string> lf_ivaoModelFolder(const fs::path& path) {
    const std::string text = path.string();
    if (text.find_first_of("\n\r") != std::string::npos) return std::nullopt;
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '/' || text[i] == '\\') {
            parts.emplace_back(std::string_view(text).substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() < 6) return std::nullopt;
    const std::size_t n = parts.size();
    const auto is = [](std::string_view part, std::string_view lowerWord) {
        if (part.size() != lowerWord.size()) return false;
        for (std::size_t i = 0; i < part.size(); ++i) {
            const char c =
                (part[i] >= 'A' && part[i] <= 'Z') ? static_cast<char>(part[i] - 'A' + 'a') : part[i];
            // The file name's dot stands for any character.
            if (lowerWord[i] != '?' && c != lowerWord[i]) return false;
        }
        return true;
    };
    if (!is(parts[n - 1], "aircraft?cfg") || !is(parts[n - 3], "airplanes") ||
        !is(parts[n - 4], "simobjects") || !(is(parts[n - 5], "ivao_mtl") || is(parts[n - 5], "ivao_x-csl")))
        return std::nullopt;
    // Something before the package folder's separator.
    std::size_t before = 0;
    for (std::size_t i = 0; i + 5 < n; ++i)
        before += parts[i].size() + 1;
    if (before < 2) return std::nullopt;
    const std::string_view model = parts[n - 2];
    if (model.size() < 6 || !is(model.substr(0, 5), "ivao_")) return std::nullopt;
    for (const char c : model.substr(5))
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return std::nullopt;
    return std::string(model.substr(5));
}

bool lf_isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The airline code that follows the model (and "W" for the variant folders) at the start of an IVAO
// title, as written; empty when the title does not have that shape.
std::string lf_ivaoAirlineOfTitle(std::string_view title, std::string_view model, bool variant) {
    std::string prefix(model);
    if (variant) prefix += 'W';
    if (title.size() < prefix.size()) return {};
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(title[i]) != lower(prefix[i])) return {};
    }
    std::size_t at = prefix.size();
    while (at < title.size() && (title[at] == ' ' || title[at] == '\t' || title[at] == '\n' ||
                                 title[at] == '\v' || title[at] == '\f' || title[at] == '\r'))
        ++at;
    if (title.size() - at < 3) return {};
    for (std::size_t i = at; i < at + 3; ++i)
        if (!lf_isWordChar(title[i])) return {};
    if (title.substr(at + 3).find_first_of("\n\r") != std::string_view::npos) return {};
    return std::string(title.substr(at, 3));
}

} // namespace

bool lf_validAtcId(std::string_view value, std::string& out) {
    const std::vector<std::string> pieces = gf_splitAndTrim(value, ',');
    if (pieces.empty()) return false;
    for (const std::string& piece : pieces)
        if (piece.empty() || piece.size() > 12 || lf_contains(piece, "*")) return false;
    if (pieces.size() == 1)
        out = pieces.front();
    else
        out.clear();
    return true;
}

std::string lf_typeOfBaseContainer(std::string_view line) {
    const auto value = lf_baseContainerValueOf(line);
    if (!value || value->size() < 4) return {};
    const auto& types = gf_baseContainerTypes();
    const auto found = types.find(std::string_view(*value).substr(3));
    if (found == types.end()) return {};
    return gf_upperAscii(found->second);
}

namespace {

using LineViews = std::vector<std::string_view>;

LineViews lf_viewsOf(const std::vector<std::string>& lines) {
    return LineViews(lines.begin(), lines.end());
}

// The texts of a file's paths, made once for all its sections.
struct FilePaths {
    FilePaths(const fs::path& file, const fs::path& folder)
        : file(file), folder(folder), fileText(file.string()), folderText(folder.string()) {}
    const fs::path& file;
    const fs::path& folder;
    std::string fileText;
    std::string folderText;
};

std::string lf_modelFromBaseContainerOf(const fs::path& path, const LineViews& lines, ScanReports& reports) {
    for (const std::string_view line : lines) {
        const std::string type = lf_typeOfBaseContainer(line);
        if (!type.empty()) return lf_checkType(type, path, reports);
    }
    const std::string text = path.string();
    if (lf_contains(text, "pmdg-aircraft-7") || lf_contains(text, "fnx-aircraft-3")) return {};
    reports.invalidCfgFiles.push_back("Line icao_type_designator= is missing in [General] section of " +
                                      text);
    return {};
}

std::string lf_modelOf(const fs::path& path, const LineViews& lines, ScanReports& reports) {
    for (const std::string_view line : lines) {
        const std::string type = lf_icaoTypeDesignatorOf(line);
        if (!type.empty()) return lf_checkType(type, path, reports);
    }
    return lf_modelFromBaseContainerOf(path, lines, reports);
}

} // namespace

std::string lf_modelFromBaseContainer(const fs::path& path, const std::vector<std::string>& lines,
                                      ScanReports& reports) {
    return lf_modelFromBaseContainerOf(path, lf_viewsOf(lines), reports);
}

std::string lf_modelOfFile(const fs::path& path, const std::vector<std::string>& lines,
                           ScanReports& reports) {
    return lf_modelOf(path, lf_viewsOf(lines), reports);
}

std::string lf_ivaoModelOfPath(const fs::path& path, ScanReports& reports) {
    const auto folder = lf_ivaoModelFolder(path);
    if (!folder) {
        lf_addInvalidAircraftCode(reports, "  ", path);
        return {};
    }
    return lf_checkType(folder->substr(0, 4), path, reports);
}

namespace {

bool lf_checkNumbers(const LineViews& lines, const fs::path& path, ScanReports& reports) {
    bool anyHeader = false;
    bool outOfRange = false;
    for (const std::string_view line : lines) {
        const std::string number = lf_fltsimNumberOf(line);
        if (number.empty()) continue;
        anyHeader = true;
        std::int32_t value = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error != std::errc{} || end != number.data() + number.size()) {
            gf_logError(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        if (static_cast<std::uint32_t>(value) > 10000u) outOfRange = true;
    }
    if (!anyHeader) {
        reports.noFltsimFiles.push_back(path.string());
        return true;
    }
    if (outOfRange) {
        reports.invalidCfgFiles.push_back(
            fmt::format("{} contains a [fltsim.x] section with a number < 0 or > {}", path.string(), 10000));
        return false;
    }
    return true;
}

void lf_processSection(const ScanContext& context, FileScan& out, std::int32_t priority, LineViews& section,
                       const std::string& model, const FilePaths& paths) {
    try {
        lf_dropTrailingComments(section);
        if (section.empty()) return;
        const std::string_view header = section.front();
        const std::string& folderText = paths.folderText;
        const std::string& fileText = paths.fileText;
        std::vector<std::string>& incomplete = out.reports.incompleteSections;

        std::string title, airline, parking, registration, value;
        bool usable = true;
        for (const std::string_view line : section) {
            // Title.
            if (title.empty()) {
                if (lf_getTitle(line, value)) {
                    title = gf_trim(value);
                    if (lf_contains(title, "FenixA320") || lf_contains(title, "PMDG 737")) {
                        usable = false;
                        break;
                    }
                    continue;
                }
            } else if (lf_getTitle(line, value)) {
                incomplete.push_back(fmt::format("{} {} has more than one title key", folderText, header));
                usable = false;
                break;
            }
            // Airline.
            if (airline.empty()) {
                if (lf_getIcaoAirline(line, value)) {
                    gf_normalizeCommaList(value);
                    if (value.size() == 4 && (value[3] == 'X' || value[3] == 'C')) value.resize(3);
                    if (gf_isIcaoAirline(value)) {
                        airline = value;
                    } else if (value == "RFO") {
                        usable = false;
                        break;
                    } else {
                        lf_addInvalidAirline(out.reports, value, fileText, header);
                    }
                    continue;
                }
            } else if (lf_contains(line, "icao_airline")) {
                incomplete.push_back(
                    fmt::format("{} {} has more than one icao_airline key", folderText, header));
                usable = false;
                break;
            }
            // Parking types.
            if (parking.empty()) {
                if (lf_getAtcParkingTypes(line, value)) {
                    gf_normalizeCommaList(value);
                    parking = gf_upperAscii(value);
                    continue;
                }
            } else if (lf_hasAtcParkingTypesKey(line)) {
                incomplete.push_back(
                    fmt::format("{} {} has more than one atc_parking_types key", folderText, header));
                usable = false;
                break;
            }
            // Registration.
            if (registration.empty()) {
                if (lf_getAtcId(line, value)) {
                    if (const std::size_t remark = value.find(';'); remark != std::string::npos)
                        value.erase(remark);
                    std::string valid;
                    if (lf_validAtcId(value, valid))
                        registration = std::move(valid);
                    else
                        incomplete.push_back(fmt::format("invalid atc_id={} in: {}", value, title));
                    continue;
                }
            } else if (lf_hasAtcIdKey(line)) {
                incomplete.push_back(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
                usable = false;
                break;
            }
        }

        if (airline.empty())
            incomplete.push_back(
                fmt::format("{} {} icao_airline is missing, or it has invalid info ", fileText, header));
        if (!usable) return;

        if (title.empty()) {
            incomplete.push_back(fmt::format("{} {} misses title", folderText, header));
            return;
        }
        if (title.size() >= 5 && title.ends_with("-STUB")) airline = gf_genericAirline;
        if (context.dontUseTitles.contains(title)) return;
        if (airline == gf_genericAirline) registration.clear();
        if (airline.empty()) {
            const bool heavy = gf_sizeCategoryOf(model) == SizeCategory::Heavy;
            if (!registration.empty()) {
                const auto record = gf_findRegRecord(registration);
                if (record && !record->airl.empty()) {
                    airline = record->airl;
                } else if (!record && heavy) {
                    incomplete.push_back(
                        fmt::format("'{}' '{}' has no airline and regcode not in dbase", folderText, header));
                    return;
                } else {
                    airline = gf_privateAirline;
                }
            } else {
                if (heavy) {
                    incomplete.push_back(
                        fmt::format("'{}' '{}' has no airline and no regcode info", folderText, header));
                    return;
                }
                airline = gf_privateAirline;
                registration = gf_findShortRegKeyIn(title).value_or(std::string());
            }
        }
        const bool cargo = lf_contains(parking, "CARGO") && !lf_contains(parking, "GATE");
        out.liveries.push_back(LiveryCandidate{
            LiveryData{std::move(airline), model, std::move(title), std::move(registration), priority, cargo},
            std::string(header)});
    } catch (const std::exception& e) {
        gf_log(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(),
                           lf_pathToUtf8(paths.file)));
        throw;
    }
}

void lf_processIvaoSection(const ScanContext& context, FileScan& out, std::int32_t priority,
                           LineViews& section, const std::string& model, const FilePaths& paths) {
    static constexpr std::array<std::string_view, 5> variantFolders{
        "IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM", "IVAO_A320wIAE", "IVAO_A319fIAEw"};
    const std::string& folderText = paths.folderText;
    bool variant = false;
    for (const std::string_view name : variantFolders)
        variant = variant || lf_contains(folderText, name);

    lf_dropTrailingComments(section);
    if (section.empty()) return;
    const std::string_view header = section.front();
    std::vector<std::string>& incomplete = out.reports.incompleteSections;

    std::string title, parking, registration, texture, value;
    for (const std::string_view line : section) {
        if (title.empty()) {
            if (lf_getTitle(line, value)) {
                title = gf_trim(value);
                if (title != value)
                    gf_log(fmt::format("removed spaces around title '{}' --> '{}'", value, title));
                continue;
            }
        } else if (lf_getTitle(line, value)) {
            incomplete.push_back(fmt::format("{} {} has more than one title key", folderText, header));
            return;
        }
        if (parking.empty()) {
            if (lf_getAtcParkingTypes(line, value)) {
                gf_normalizeCommaList(value);
                parking = gf_upperAscii(value);
                continue;
            }
        } else if (lf_hasAtcParkingTypesKey(line)) {
            incomplete.push_back(
                fmt::format("{} {} has more than one atc_parking_types key", folderText, header));
            return;
        }
        if (registration.empty()) {
            if (lf_getAtcId(line, value)) {
                std::string valid;
                if (lf_validAtcId(value, valid))
                    registration = std::move(valid);
                else
                    incomplete.push_back(fmt::format("invalid atc_id={} in {}", value, title));
                continue;
            }
        } else if (lf_hasAtcIdKey(line)) {
            incomplete.push_back(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return;
        }
        if (texture.empty() && lf_getTexture(line, value)) texture = value;
    }

    const fs::path textureFolder = paths.folder / ("texture." + texture);
    // A folder that cannot be looked at (a name too long for the file system, ...) is not there: one
    // section of one file never stops the scan.
    std::error_code folderError;
    if (!fs::is_directory(textureFolder, folderError)) {
        incomplete.push_back(fmt::format("{} {} does not exist", textureFolder.string(), header));
        return;
    }
    if (title.empty()) {
        incomplete.push_back(fmt::format("{} {} misses title", folderText, header));
        return;
    }
    if (context.dontUseTitles.contains(title)) return;

    std::string airline = lf_ivaoAirlineOfTitle(title, model, variant);
    if (airline.empty()) {
        if (registration.empty()) {
            incomplete.push_back(fmt::format("{} {} misses airlinecode in title: {}, and no regcode",
                                             folderText, header, title));
            return;
        }
        const auto record = gf_findRegRecord(registration);
        if (!record) {
            incomplete.push_back(fmt::format("{} {} misses airlinecode in title: {}, and regcode unknown {}",
                                             folderText, header, title, registration));
            return;
        }
        airline = record->airl;
        if (airline.empty()) return; // a database row without an airline names no airline either
    } else if (!gf_isIcaoAirline(airline)) {
        lf_addInvalidAirline(out.reports, airline, paths.fileText, header);
        return;
    }
    if (airline == gf_genericAirline) registration.clear();
    out.liveries.push_back(LiveryCandidate{
        LiveryData{std::move(airline), model, std::move(title), std::move(registration), priority, false},
        std::string(header)});
}

// Cuts the lines into [fltsim.N] sections and processes each. Another kind of header closes a section:
// in an ordinary file a '[' among a line's first six characters, in an IVAO file one anywhere.
void lf_splitSections(const ScanContext& context, FileScan& out, std::int32_t priority,
                      const LineViews& lines, const std::string& model, const FilePaths& paths, bool ivao) {
    out.folderText = paths.folderText;
    out.ivao = ivao;
    // Room for a livery from every section the file has.
    out.liveries.reserve(static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [](std::string_view line) { return line.starts_with('['); })));
    LineViews section;
    section.reserve(48);
    bool inSection = false;
    const auto process = [&] {
        if (ivao)
            lf_processIvaoSection(context, out, priority, section, model, paths);
        else
            lf_processSection(context, out, priority, section, model, paths);
        section.clear();
    };
    for (const std::string_view line : lines) {
        if (!lf_fltsimNumberOf(line).empty()) {
            if (!section.empty()) process();
            inSection = true;
            section.push_back(line);
        } else if ((ivao ? line : line.substr(0, 6)).find('[') != std::string_view::npos) {
            if (inSection && !section.empty()) process();
            inSection = false;
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (!section.empty()) process();
}

} // namespace

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const fs::path& path,
                           ScanReports& reports) {
    return lf_checkNumbers(lf_viewsOf(lines), path, reports);
}

void lf_procesFltSimSection(const ScanContext& context, FileScan& out, std::int32_t priority,
                            std::vector<std::string> section, const std::string& model, const fs::path& file,
                            const fs::path& folder) {
    LineViews views = lf_viewsOf(section);
    const FilePaths paths(file, folder);
    out.folderText = paths.folderText;
    lf_processSection(context, out, priority, views, model, paths);
}

void lf_procesIvaoFltSimSection(const ScanContext& context, FileScan& out, std::int32_t priority,
                                std::vector<std::string> section, const std::string& model,
                                const fs::path& file, const fs::path& folder) {
    LineViews views = lf_viewsOf(section);
    const FilePaths paths(file, folder);
    out.folderText = paths.folderText;
    out.ivao = true;
    lf_processIvaoSection(context, out, priority, views, model, paths);
}

void lf_splitFltSimSections(const ScanContext& context, FileScan& out, std::int32_t priority,
                            const std::vector<std::string>& lines, const std::string& model,
                            const fs::path& file, const fs::path& folder) {
    lf_splitSections(context, out, priority, lf_viewsOf(lines), model, FilePaths(file, folder), false);
}

void lf_splitIvaoFltSimSections(const ScanContext& context, FileScan& out, std::int32_t priority,
                                const std::vector<std::string>& lines, const std::string& model,
                                const fs::path& file, const fs::path& folder) {
    lf_splitSections(context, out, priority, lf_viewsOf(lines), model, FilePaths(file, folder), true);
}

std::string FileScan::duplicateLine(std::string_view header, std::string_view title) const {
    return ivao ? fmt::format("{} {} title already exists: {}", folderText, header, title)
                : fmt::format("{} {} title '{}' already exists", folderText, header, title);
}

FileScan lf_searchLiveriesinFile(const ScanContext& context, std::int32_t priority, const fs::path& path) {
    FileScan out;
    try {
        if (context.beforeParse) context.beforeParse(path);
        CfgText text;
        if (!lf_loadCfgText(path, text, out.reports, false)) return out;
        if (!lf_checkNumbers(text.lines, path, out.reports)) return out;
        const std::string model = lf_modelOf(path, text.lines, out.reports);
        if (model.empty()) return out;
        const fs::path folder = path.parent_path();
        lf_splitSections(context, out, priority, text.lines, model, FilePaths(path, folder), false);
    } catch (const std::exception& e) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", lf_pathToUtf8(path), e.what()));
        throw;
    }
    return out;
}

FileScan lf_searchLiveriesinIVAOFile(const ScanContext& context, std::int32_t priority,
                                     const fs::path& path) {
    FileScan out;
    try {
        if (context.beforeParse) context.beforeParse(path);
        const std::string model = lf_ivaoModelOfPath(path, out.reports);
        if (model.empty()) return out;
        CfgText text;
        if (!lf_loadCfgText(path, text, out.reports, true)) return out;
        if (!lf_checkNumbers(text.lines, path, out.reports)) return out;
        const fs::path folder = path.parent_path();
        lf_splitSections(context, out, priority, text.lines, model, FilePaths(path, folder), true);
    } catch (const std::exception& e) {
        gf_log(
            fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", lf_pathToUtf8(path), e.what()));
        throw;
    } catch (...) {
        gf_log(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", lf_pathToUtf8(path)));
        throw;
    }
    return out;
}
