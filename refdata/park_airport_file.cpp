#include "refdata/park_airport_file.h"

#include "core/strings.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/stand_reading.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <unordered_map>
#include <utility>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view learnedTag = "lf_readLearned";
// Learned files written before this version keep their stand corrections, not their flights.
constexpr VersionData flightsKeptSince{11, 10, 0};

// "altitude" in whole feet; absent unless it reads as a finite number in the 32-bit range.
std::optional<std::int32_t> lf_altitudeOf(const pugi::xml_document& doc) {
    const auto text = gf_readStringParameter(doc, "altitude");
    if (!text) return std::nullopt;
    const auto feet = gf_finiteNumber(*text);
    if (!feet || std::abs(*feet) >= 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(*feet);
}

// The stands that read() gives with what their reading logged.
template <typename Read> ParkingFileStands lf_readStands(Read&& read, std::vector<LogLine>& lines) {
    LogCapture capture;
    ParkingFileStands stands = read();
    auto logged = capture.take();
    lines.insert(lines.end(), std::make_move_iterator(logged.begin()), std::make_move_iterator(logged.end()));
    return stands;
}

// The stands of the document with what their reading logged.
ParkingFileStands lf_parseStands(const pugi::xml_node& doc, std::vector<LogLine>& lines) {
    return lf_readStands([&] { return gf_parseParkpositions(doc); }, lines);
}

LearnedOpt lf_learnedOpt(const pugi::xml_node& opt) {
    const OptAttributes attributes = gf_optAttributes(opt);
    LearnedOpt learned;
    ParkOpt& entry = learned.entry;
    OptIdentity identity = gf_optIdentityOf(attributes);
    entry.airl = std::move(identity.airl);
    entry.type = std::move(identity.type);
    entry.reg = attributes.reg.as_string();
    entry.cs = std::move(identity.cs);
    entry.cs2 = std::move(identity.cs2);
    {
        LogCapture capture;
        entry.hh = gf_halfHoursOf(attributes.hh.as_string());
        learned.hhLines = capture.take();
    }
    const int day = attributes.day.as_int(0);
    if (day < 1 || day > 7) learned.dayText = attributes.day.as_string();
    entry.day = static_cast<std::uint32_t>(std::clamp(day, 0, 8));
    entry.origin = 0;
    entry.real = attributes.soft.as_bool(false) ? 0 : 1;
    entry.cpl = attributes.cpl.as_bool(false);
    return learned;
}

LearnedStand lf_learnedStand(const pugi::xml_node& parkpos, bool olderFile) {
    LearnedStand stand;
    stand.id = parkpos.attribute("id").as_string();
    stand.manual = parkpos.attribute("manual").as_bool(false);
    if (stand.manual) {
        const double lat = gf_finiteAttribute(parkpos, "latitude").value_or(0.0);
        const double lon = gf_finiteAttribute(parkpos, "longitude").value_or(0.0);
        const double radius = gf_standRadiusMetres(parkpos).value_or(0.0);
        if (!(std::abs(lat) < 0.0001 && std::abs(lon) < 0.0001) && radius != 0.0 &&
            !gf_trim(stand.id).empty()) {
            LogCapture capture;
            std::vector<ParkPos> read;
            gf_appendStand(read, parkpos, gf_standAttributes(parkpos), stand.id, 0);
            stand.createdLines = capture.take();
            if (!read.empty()) stand.created = std::move(read.front());
        }
        return stand;
    }
    if (parkpos.attribute("radius_change").as_bool(false)) stand.radiusMetres = gf_standRadiusMetres(parkpos);
    stand.cargoChange = parkpos.attribute("cargo_change").as_bool(false);
    stand.cargo = parkpos.attribute("cargo").as_bool(false);
    if (olderFile) return stand;
    const auto opts = parkpos.children("opt");
    stand.opts.reserve(static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
    for (auto opt : opts)
        stand.opts.push_back(lf_learnedOpt(opt));
    return stand;
}

LearnedSettings lf_learnedSettings(const pugi::xml_document& doc) {
    LearnedSettings s;
    s.maxLiveSel = gf_readIntParameter(doc, "MAX_LIVE_SEL");
    s.range = gf_readIntParameter(doc, "RANGE");
    s.autoRange = gf_readBoolParameter(doc, "AUTO_RANGE");
    s.parkingPercentage = gf_readIntParameter(doc, "parking_percentage");
    s.week = gf_readBoolParameter(doc, "WEEK");
    s.parkSoft = gf_readBoolParameter(doc, "PARK_SOFT");
    s.maxFit = gf_readIntParameter(doc, "MAX_FIT");
    s.initialLoadOnly = gf_readBoolParameter(doc, "INITIAL_LOAD_ONLY");
    return s;
}

void lf_refuse(MergedStands& merged, std::string_view pathText, std::string_view reason) {
    merged.refused = true;
    merged.lines.push_back(
        {LogLine::Kind::error,
         fmt::format("{}: refused to load: {}, the file is left as it is", pathText, reason)});
}

// The corrections and new flights of a learned stand, to the airport file's stand of its id.
void lf_mergeIntoStand(LearnedStand& learned, ParkPos& stand, bool olderFile, std::vector<LogLine>& lines) {
    if (learned.radiusMetres) {
        stand.radius = *learned.radiusMetres * nmPerMetre;
        stand.radius_change = true;
    }
    if (learned.cargoChange) {
        stand.cargo = learned.cargo;
        stand.cargo_change = true;
    }
    if (olderFile) return;
    std::uint32_t next = stand.opts.empty() ? 1 : stand.opts.back().seq + 1;
    for (LearnedOpt& opt : learned.opts) {
        lines.insert(lines.end(), std::make_move_iterator(opt.hhLines.begin()),
                     std::make_move_iterator(opt.hhLines.end()));
        ParkOpt& entry = opt.entry;
        if (entry.hh.none()) {
            lines.push_back({LogLine::Kind::error, "empty bit set"});
            continue;
        }
        if (entry.day < 1 || entry.day > 7) {
            lines.push_back(
                {LogLine::Kind::error,
                 fmt::format("learned flight of stand {} with day {} skipped", stand.id, opt.dayText)});
            continue;
        }
        entry.seq = next;
        const bool known = std::any_of(stand.opts.begin(), stand.opts.end(),
                                       [&](const ParkOpt& o) { return gf_isSameParkOpt(o, entry); });
        if (known) continue;
        stand.opts.push_back(std::move(entry));
        ++next;
    }
}

} // namespace

std::string gf_parkingHeaderRefusal(const pugi::xml_node& doc) {
    const auto root = doc.child("root");
    const auto meta = (root ? root : doc).child("meta");
    if (!meta) return "missing header";
    const auto copyright = meta.find_child_by_attribute("info", "name", "copyright");
    if (!copyright || std::string_view(copyright.attribute("value").as_string()).empty())
        return "missing copyright";
    return "missing simulator entry";
}

std::int32_t ParkAirportFile::errorNumber() const {
    if (!headerRefusal.empty()) return 0;
    if (!altitude) return 65;
    return stands.errorNumber;
}

std::string ParkAirportFile::errorText() const {
    if (!headerRefusal.empty()) return {};
    if (!altitude) return std::string("Parameter ") + "altitude" + " not found";
    return stands.refusal;
}

namespace {

// The airport file of the document, its stands (when the header is taken) from readStands().
template <typename ReadStands>
ParkAirportFile lf_readParkAirportFile(const pugi::xml_document& doc, ReadStands&& readStands) {
    ParkAirportFile file;
    if (!gf_readMetaData(doc)) {
        file.headerRefusal = gf_parkingHeaderRefusal(doc);
        return file;
    }
    file.rtTrafficWeek = gf_readIntParameter(doc, "RT_traffic_week").value_or(0);
    file.publisher = gf_readStringParameter(doc, "publisher").value_or("");
    file.altitude = lf_altitudeOf(doc);
    if (!file.altitude) return file;
    file.airport_name = gf_readStringParameter(doc, "airport_name").value_or("");
    file.stands = lf_readStands(readStands, file.lines);
    const auto qfReal = gf_readIntParameter(doc, "Qf_real");
    const auto qfSoft = gf_readIntParameter(doc, "Qf_soft");
    // Factors beyond their range (-1 unknown, else 0..100) are taken at the nearest end.
    if (qfReal && qfSoft)
        file.qualityFactors = QualityFactors{std::clamp(*qfReal, -1, 100), std::clamp(*qfSoft, -1, 100)};
    return file;
}

// Smaller files are parsed whole: their pieces would cost more than they save.
constexpr std::size_t pieceBytes = 16 * 1024;
constexpr std::size_t maxPieces = 64;

// Placed where the stands were cut out of a file's text: an element the section holds only when the text
// before the cut ends between two nodes of the section.
constexpr std::string_view cutMark = "<cut_mark/>";

// Whether the text at `at` is the start of a stand element ("<parkpos" and what ends an element's name).
bool lf_isStandAt(std::string_view text, std::size_t at) {
    constexpr std::string_view start = "<parkpos";
    if (text.compare(at, start.size(), start) != 0 || at + start.size() >= text.size()) return false;
    const char next = text[at + start.size()];
    return next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '/' || next == '>';
}

// The next stand element's start from `from` on, before `end`; npos when there is none.
std::size_t lf_nextStand(std::string_view text, std::size_t from, std::size_t end) {
    for (std::size_t at = text.find("<parkpos", from); at < end; at = text.find("<parkpos", at + 1))
        if (lf_isStandAt(text, at)) return at;
    return std::string_view::npos;
}

// A file's text cut for reading its stands in pieces: the text before the first stand element that
// follows the section's start tag (`head`), the pieces from there to the section's last end tag, and
// the text from that end tag on (`tail`). Empty for a file too small or without such a layout.
struct StandCut {
    std::size_t head = 0;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    std::size_t tail = 0;
};
std::optional<StandCut> lf_cutStands(std::string_view text) {
    if (text.size() < 2 * pieceBytes) return std::nullopt;
    const std::size_t section = text.find("<parkpositions");
    if (section == std::string_view::npos) return std::nullopt;
    const std::size_t tail = text.rfind("</parkpositions");
    const std::size_t first = lf_nextStand(text, section, tail);
    if (tail == std::string_view::npos || first == std::string_view::npos) return std::nullopt;
    const std::size_t count = std::min(maxPieces, (tail - first) / pieceBytes);
    if (count < 2) return std::nullopt;
    StandCut cut;
    cut.head = first;
    cut.tail = tail;
    std::size_t begin = first;
    for (std::size_t k = 1; k < count; ++k) {
        const std::size_t at =
            lf_nextStand(text, std::max(begin + 1, first + k * (tail - first) / count), tail);
        if (at == std::string_view::npos) break;
        cut.pieces.emplace_back(begin, at);
        begin = at;
    }
    cut.pieces.emplace_back(begin, tail);
    return cut;
}

// The file's text without its stands: the head, the mark and the tail, parsed; the document's section
// (with the mark taken out) when the head ended between two nodes of it and the file's encoding is
// UTF-8, else empty.
pugi::xml_node lf_parseWithoutStands(std::string_view text, const StandCut& cut, pugi::xml_document& doc) {
    const std::size_t size = cut.head + cutMark.size() + (text.size() - cut.tail);
    char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(size));
    if (!buffer) throw std::bad_alloc();
    char* out = std::copy(text.begin(), text.begin() + cut.head, buffer);
    out = std::copy(cutMark.begin(), cutMark.end(), out);
    std::copy(text.begin() + cut.tail, text.end(), out);
    const pugi::xml_parse_result result = doc.load_buffer_inplace_own(buffer, size);
    if (!result || result.encoding != pugi::encoding_utf8) return {};
    pugi::xml_node section = gf_rootChild(doc, "parkpositions");
    const pugi::xml_node mark = section.last_child();
    // The mark's own element (its name where the mark was placed), and no stand of the section before it.
    if (!mark || mark.type() != pugi::node_element ||
        mark.offset_debug() != static_cast<std::ptrdiff_t>(cut.head + 1) || section.child("parkpos"))
        return {};
    section.remove_child(mark);
    return section;
}

// The whole file in a buffer of the XML library's memory (freed by the document that takes it).
struct FileText {
    char* data = nullptr;
    std::size_t size = 0;
    ~FileText() {
        if (data) pugi::get_memory_deallocation_function()(data);
    }
    char* release() { return std::exchange(data, nullptr); }
};
bool lf_readWhole(const std::filesystem::path& path, FileText& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat status {};
    bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (read) {
        text.size = static_cast<std::size_t>(status.st_size);
        text.data = static_cast<char*>(pugi::get_memory_allocation_function()(text.size + 1));
        read = text.data != nullptr;
        for (std::size_t done = 0; read && done < text.size;) {
            const ssize_t got = ::read(fd, text.data + done, text.size - done);
            if (got < 0 && errno == EINTR) continue;
            read = got > 0;
            if (read) done += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return read;
}

} // namespace

ParkAirportFile gf_readParkAirportFile(const pugi::xml_document& doc) {
    return lf_readParkAirportFile(doc, [&] { return gf_parseParkpositions(doc); });
}

// A large file's stands are parsed in pieces on several threads (StandTextReading), the rest of the file
// in one small document; when a piece does not hold whole elements of the section, or the rest does not
// end the text before the stands between two nodes of the section, the file is parsed whole after all.
std::optional<ParkAirportFile> gf_loadParkAirportFile(const std::filesystem::path& path) {
    FileText text;
    if (!lf_readWhole(path, text)) return std::nullopt;
    const std::string_view view(text.data, text.size);
    if (const auto cut = lf_cutStands(view)) {
        pugi::xml_document rest;
        if (const pugi::xml_node section = lf_parseWithoutStands(view, *cut, rest)) {
            const auto stated = gf_readIntParameter(rest, "num_parkpos").value_or(0);
            StandTextReading stands(text.data, cut->pieces,
                                    static_cast<std::size_t>(std::clamp(stated, 0, 20000)),
                                    allReadingThreads);
            if (stands.whole()) return lf_readParkAirportFile(rest, [&] { return stands.take(); });
        }
    }
    pugi::xml_document doc;
    const std::size_t size = text.size;
    if (!doc.load_buffer_inplace_own(text.release(), size)) return std::nullopt;
    return gf_readParkAirportFile(doc);
}

LearnedFile gf_readLearnedFile(const pugi::xml_document& doc) {
    LearnedFile learned;
    try {
        if (const auto meta = gf_readMetaData(doc))
            learned.olderFile = flightsKeptSince.isNewerThan(VersionData(meta->version));
        if (learned.olderFile) {
            learned.lines.push_back(
                {LogLine::Kind::plain,
                 fmt::format("\nThis learned file was created with and older {} version than {},",
                             gf_productName, flightsKeptSince.toString())});
            learned.lines.push_back(
                {LogLine::Kind::plain, "All flights will be cleared, except for a handmade file\n"});
        }
        learned.airport_name = gf_readStringParameter(doc, "airport_name").value_or("");
        learned.settings = lf_learnedSettings(doc);
        learned.handmade = gf_readStringParameter(doc, "handmade");
        if (learned.handmade) {
            learned.handmadeStands = lf_parseStands(doc, learned.handmadeLines);
            return learned;
        }
        const auto section = gf_rootChild(doc, "parkpositions");
        if (!section) return learned;
        for (auto parkpos : section.children("parkpos"))
            learned.stands.push_back(lf_learnedStand(parkpos, learned.olderFile));
    } catch (const std::exception& e) {
        // Read in part: merging and later saving it would cut the file short.
        learned.failure = fmt::format("{}: {}", learnedTag, e.what());
    }
    return learned;
}

MergedStands gf_mergeLearnedFile(std::vector<ParkPos> airportStands, LearnedFile learned,
                                 std::string_view pathText) {
    MergedStands merged;
    if (learned.handmade) {
        merged.lines = std::move(learned.handmadeLines);
        // A handmade file replaces the airport file's stands only when every stand of it reads.
        if (learned.handmadeStands.refused()) {
            merged.stands = std::move(airportStands);
            lf_refuse(merged, pathText,
                      fmt::format("{}: {}: {}", learnedTag, learned.handmadeStands.errorNumber,
                                  learned.handmadeStands.refusal));
            return merged;
        }
        merged.stands = std::move(learned.handmadeStands.stands);
        merged.handmade = true;
        merged.lines.push_back(
            {LogLine::Kind::continuation, fmt::format("{:24}: {}", "handmade", *learned.handmade)});
        return merged;
    }
    merged.stands = std::move(airportStands);
    // Each id's first stand, as a walk over the stands finds it.
    std::unordered_map<std::string, std::size_t> firstOfId;
    firstOfId.reserve(merged.stands.size() + learned.stands.size());
    for (std::size_t i = 0; i < merged.stands.size(); ++i)
        firstOfId.emplace(merged.stands[i].id, i);
    for (LearnedStand& learnedStand : learned.stands) {
        const auto found = firstOfId.find(learnedStand.id);
        if (!learnedStand.manual) {
            if (found == firstOfId.end()) {
                merged.lines.push_back({LogLine::Kind::plain, fmt::format("learned stand {} in {} not found?",
                                                                          learnedStand.id, pathText)});
                continue;
            }
            lf_mergeIntoStand(learnedStand, merged.stands[found->second], learned.olderFile, merged.lines);
            continue;
        }
        if (found != firstOfId.end()) {
            merged.lines.push_back(
                {LogLine::Kind::error,
                 fmt::format("manually created standid {} already exists in {}", learnedStand.id, pathText)});
            continue;
        }
        merged.lines.insert(merged.lines.end(), std::make_move_iterator(learnedStand.createdLines.begin()),
                            std::make_move_iterator(learnedStand.createdLines.end()));
        if (!learnedStand.created) {
            merged.lines.push_back({LogLine::Kind::error,
                                    fmt::format("manually created standid {} misses correct attributes in {}",
                                                learnedStand.id, pathText)});
            continue;
        }
        merged.stands.push_back(std::move(*learnedStand.created));
        merged.stands.back().manual = true;
        firstOfId.emplace(merged.stands.back().id, merged.stands.size() - 1);
    }
    if (!learned.failure.empty()) lf_refuse(merged, pathText, learned.failure);
    return merged;
}
